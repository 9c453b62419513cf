#include "sim/netns_pair.h"

#include <fcntl.h>
#include <sched.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>

extern char** environ;

namespace vistrel::sim {
namespace {

std::atomic<int> pairCounter{0};

std::string NsPath(const std::string& nameOrPath) {
    return nameOrPath.find('/') == std::string::npos ? "/run/netns/" + nameOrPath : nameOrPath;
}

// Runs a program without a shell and collects its output; true on exit status 0.
bool Run(const std::vector<std::string>& argv, std::string* output) {
    int pipeFds[2];
    if (pipe2(pipeFds, O_CLOEXEC) != 0) {
        *output = std::strerror(errno);
        return false;
    }
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 1);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], 2);
    std::vector<char*> args;
    for (const auto& a : argv) {
        args.push_back(const_cast<char*>(a.c_str()));
    }
    args.push_back(nullptr);
    pid_t pid = 0;
    int rc = posix_spawnp(&pid, args[0], &actions, nullptr, args.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    output->clear();
    char buf[512];
    for (ssize_t n; (n = read(pipeFds[0], buf, sizeof buf)) > 0;) {
        output->append(buf, static_cast<size_t>(n));
    }
    close(pipeFds[0]);
    if (rc != 0) {
        *output = argv[0] + ": " + std::strerror(rc);
        return false;
    }
    int status = 0;
    while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
    }
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

}  // namespace

bool EnterNetns(const std::string& nameOrPath, std::string* error) {
    std::string path = NsPath(nameOrPath);
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        *error = "cannot open " + path + ": " + std::strerror(errno);
        return false;
    }
    int rc = setns(fd, CLONE_NEWNET);
    int saved = errno;
    close(fd);
    if (rc != 0) {
        *error = "cannot enter " + path + ": " + std::strerror(saved);
        return false;
    }
    return true;
}

NetnsPair::NetnsPair() {
    int n = pairCounter++;
    std::string id = std::to_string(getpid()) + "-" + std::to_string(n);
    consoleNs_ = "vistrel-c" + id;
    fleetNs_ = "vistrel-f" + id;
    // Interface names are limited to 15 characters.
    consoleVeth_ = ("vc" + id).substr(0, 15);
    fleetVeth_ = ("vf" + id).substr(0, 15);
}

NetnsPair::~NetnsPair() {
    Remove();
}

bool NetnsPair::Ip(const std::vector<std::string>& args, std::string* error) {
    std::vector<std::string> argv{"ip"};
    argv.insert(argv.end(), args.begin(), args.end());
    std::string output;
    if (Run(argv, &output)) {
        return true;
    }
    std::string command;
    for (const auto& a : argv) {
        command += (command.empty() ? "" : " ") + a;
    }
    *error = command + ": " + output;
    while (!error->empty() && error->back() == '\n') {
        error->pop_back();
    }
    return false;
}

bool NetnsPair::Create(std::string* error) {
    std::string ignored;
    error = error ? error : &ignored;
    if (geteuid() != 0) {
        *error = "network namespaces need root";
        return false;
    }
    if (created_) {
        return true;
    }
    if (!Ip({"netns", "add", consoleNs_}, error)) {
        return false;
    }
    created_ = true;
    const std::string& c = consoleNs_;
    const std::string& f = fleetNs_;
    bool ok =
        Ip({"netns", "add", f}, error) &&
        Ip({"-n", c, "link", "add", consoleVeth_, "type", "veth", "peer", "name", fleetVeth_,
            "netns", f},
           error) &&
        Ip({"-n", c, "addr", "add", std::string(kConsoleAddress) + "/16", "dev", consoleVeth_},
           error) &&
        Ip({"-n", f, "addr", "add", std::string(kFleetAddress) + "/16", "dev", fleetVeth_},
           error) &&
        Ip({"-n", c, "link", "set", "lo", "up"}, error) &&
        Ip({"-n", f, "link", "set", "lo", "up"}, error) &&
        Ip({"-n", c, "link", "set", consoleVeth_, "up"}, error) &&
        Ip({"-n", f, "link", "set", fleetVeth_, "up"}, error) &&
        Ip({"-n", f, "route", "add", "local", "10.77.128.0/17", "dev", "lo"}, error) &&
        Ip({"-n", c, "route", "add", "default", "via", kFleetAddress, "dev", consoleVeth_}, error);
    if (!ok) {
        Remove();
    }
    return ok;
}

void NetnsPair::Remove() {
    if (!created_) {
        return;
    }
    created_ = false;
    std::string ignored;
    // Deleting a namespace takes its end of the veth pair, and with it the other end.
    Ip({"netns", "del", fleetNs_}, &ignored);
    Ip({"netns", "del", consoleNs_}, &ignored);
}

ScopedNetns::ScopedNetns(const std::string& nameOrPath) {
    previous_ = open("/proc/thread-self/ns/net", O_RDONLY | O_CLOEXEC);
    if (previous_ < 0) {
        error_ = std::string("cannot open the current namespace: ") + std::strerror(errno);
        return;
    }
    ok_ = EnterNetns(nameOrPath, &error_);
}

ScopedNetns::~ScopedNetns() {
    if (previous_ >= 0) {
        if (ok_) {
            setns(previous_, CLONE_NEWNET);
        }
        close(previous_);
    }
}

}  // namespace vistrel::sim
