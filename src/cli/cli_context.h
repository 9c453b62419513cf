// What a command runs with: the parsed options, the output streams, and the pieces that
// tests replace (clock, store location, stop flag, timer periods).
#pragma once

#include <atomic>
#include <chrono>
#include <filesystem>
#include <istream>
#include <ostream>

#include "cli/cli_options.h"
#include "cli/projector_client.h"
#include "protocol/clock.h"

namespace vistrel::cli {

// The rhythm of the window's timers, which run-schedules keeps.
struct TimerPeriods {
    std::chrono::milliseconds listRefresh{2000};    // timer 2: schedule check after the list
    std::chrono::milliseconds scheduleCheck{5000};  // timer 4
    std::chrono::milliseconds watchdog{1000};       // timer 5
    // Timer 1 takes its period from the store's "Interval"; tests may override it.
    std::chrono::milliseconds discoveryOverride{0};
    // Least period of timer 1: an "Interval" of 0 would otherwise probe without pause.
    std::chrono::milliseconds discoveryMinimum{1000};
    // Pause of the request worker after each request.
    std::chrono::milliseconds requestPause{1000};
};

struct CliEnvironment {
    CliEnvironment(std::ostream& output, std::ostream& errors) : out(output), err(errors) {}

    std::ostream& out;
    std::ostream& err;
    // Where passwords given as NAME=- are read; standard input unless a test replaces it.
    std::istream* in = nullptr;
    const Clock& clock = SystemClock::Instance();
    // Set by a signal handler (or a test); long-running commands end when it is true.
    const std::atomic<bool>* stop = nullptr;
    // The store used without --store; empty means the user's default file.
    std::filesystem::path defaultStore;
    TimerPeriods timers;
};

struct CliContext {
    const CliOptions& options;
    CliEnvironment& env;

    std::ostream& Out() const { return env.out; }
    std::ostream& Err() const { return env.err; }
    bool Stopped() const { return env.stop && env.stop->load(); }
    HttpOptions Http() const;
    std::filesystem::path StorePath() const;
    // The profile for discovery: the options' addresses, and the store's directed broadcasts
    // unless --broadcast chose the addresses.
    NetworkProfile DiscoveryProfile() const;
};

}  // namespace vistrel::cli
