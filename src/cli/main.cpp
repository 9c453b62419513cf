// vistrel-cli: the console's projector jobs from a shell.
#include <unistd.h>

#include <atomic>
#include <csignal>
#include <iostream>

#include "cli/cli_runner.h"

namespace {

std::atomic<bool> stopRequested{false};

// The first signal asks the command to finish cleanly (run-schedules releases its role and
// lets the last request go out); a second one ends the program at once.
extern "C" void OnStopSignal(int signal) {
    if (stopRequested.exchange(true))
        _exit(128 + signal);
}

}  // namespace

int main(int argc, char** argv) {
    static_assert(std::atomic<bool>::is_always_lock_free, "set from a signal handler");
    struct sigaction action {};
    action.sa_handler = OnStopSignal;
    sigemptyset(&action.sa_mask);
    sigaction(SIGINT, &action, nullptr);
    sigaction(SIGTERM, &action, nullptr);
    std::signal(SIGPIPE, SIG_IGN);

    std::vector<std::string> args(argv + 1, argv + argc);
    vistrel::cli::CliEnvironment env{std::cout, std::cerr};
    env.stop = &stopRequested;
    const int status = vistrel::cli::RunCli(args, env);
    std::cout.flush();
    return status;
}
