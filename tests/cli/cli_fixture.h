// A simulated fleet on loopback (127.0.10.x, ports chosen by the system), a private store
// file, and a way to run vistrel-cli in-process and read what it printed.
#pragma once

#include <gtest/gtest.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <memory>
#include <mutex>
#include <ostream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/cli_runner.h"
#include "sim/fleet.h"

namespace vistrel::cli::test {

struct CliRun {
    int status = -1;
    std::string out;
    std::string err;
};

// What a command prints while it runs, readable from another thread: for long-running
// commands whose progress a test waits for.
class LiveText : public std::streambuf {
  public:
    std::string Text() const {
        std::lock_guard lock(mutex_);
        return text_;
    }
    bool WaitFor(const std::string& part, std::chrono::milliseconds limit) const {
        std::unique_lock lock(mutex_);
        return changed_.wait_for(lock, limit,
                                 [&] { return text_.find(part) != std::string::npos; });
    }

  protected:
    int_type overflow(int_type c) override {
        if (!traits_type::eq_int_type(c, traits_type::eof())) {
            const char ch = traits_type::to_char_type(c);
            xsputn(&ch, 1);
        }
        return traits_type::not_eof(c);
    }
    std::streamsize xsputn(const char* data, std::streamsize n) override {
        {
            std::lock_guard lock(mutex_);
            text_.append(data, static_cast<size_t>(n));
        }
        changed_.notify_all();
        return n;
    }

  private:
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::string text_;
};

class CliTest : public ::testing::Test {
  protected:
    // The fleet's first projector is on 127.0.10.2; the CLI's discovery socket on 127.0.10.1.
    static constexpr const char* kConsoleAddress = "127.0.10.1";
    static constexpr const char* kFirstProjector = "127.0.10.2";
    // Nobody listens here: connections are refused.
    static constexpr const char* kNobody = "127.0.10.250";

    void SetUp() override {
        dir_ = std::filesystem::temp_directory_path() /
               ("vistrel-cli-" + std::to_string(::getpid()) + "-" +
                ::testing::UnitTest::GetInstance()->current_test_info()->name());
        std::filesystem::remove_all(dir_);
        std::filesystem::create_directories(dir_);
    }
    void TearDown() override {
        if (fleet_)
            fleet_->Stop();
        std::filesystem::remove_all(dir_);
    }

    // Starts `count` projectors; `adjust` may change their state and faults first.
    void StartFleet(size_t count, const std::function<void(sim::FleetOptions&)>& adjust = {}) {
        sim::FleetOptions options = sim::GenerateFleet(count, 11, kFirstProjector);
        options.discoveryPort = 0;
        options.httpPort = 0;
        if (adjust)
            adjust(options);
        fleet_ = std::make_unique<sim::Fleet>(std::move(options));
        std::string error;
        ASSERT_TRUE(fleet_->Start(&error)) << error;
    }

    std::filesystem::path StoreFile() const { return dir_ / "Brightwerk" / "registry.reg"; }

    // The options that point the CLI at the fleet and never at the real network.
    std::vector<std::string> NetworkArgs() const {
        return {"--bind",           kConsoleAddress,
                "--broadcast",      "127.255.255.255",
                "--discovery-port", std::to_string(fleet_ ? fleet_->DiscoveryPort() : 1),
                "--http-port",      std::to_string(fleet_ ? fleet_->HttpPort() : 1)};
    }

    // With `live`, standard output goes there as it is printed (and into the result too).
    CliRun Run(std::vector<std::string> args, bool withNetwork = true,
               const std::atomic<bool>* stop = nullptr, LiveText* live = nullptr) {
        if (withNetwork) {
            const auto net = NetworkArgs();
            args.insert(args.end(), net.begin(), net.end());
        }
        std::ostringstream buffered, err;
        std::ostream liveStream(live);
        std::ostream& out = live ? liveStream : buffered;
        std::istringstream in(input_);
        CliEnvironment env(out, err);
        env.in = &in;
        env.defaultStore = StoreFile();
        env.stop = stop;
        env.timers = timers_;
        CliRun run;
        run.status = RunCli(args, env);
        run.out = live ? live->Text() : buffered.str();
        run.err = err.str();
        return run;
    }

    sim::Fleet& Fleet() { return *fleet_; }

    std::filesystem::path dir_;
    std::unique_ptr<sim::Fleet> fleet_;
    std::string input_;  // what the command reads as standard input
    TimerPeriods timers_;
};

// The lines of a text, without their line ends.
inline std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

// HTTP requests the simulated fleet received whose body begins with `prefix`.
inline size_t BodiesStartingWith(const sim::Fleet& fleet, const std::string& prefix) {
    size_t n = 0;
    for (const auto& e : fleet.Log().Entries())
        n += e.kind == "http" && e.body.rfind(prefix, 0) == 0;
    return n;
}

}  // namespace vistrel::cli::test
