// Simulated PJLink projectors: each serves the PJLink text protocol on TCP from its own
// address (class 1 or 2, with or without a password, busy while warming up or cooling down,
// closing idle connections) and answers the class-2 UDP search. Its own reading of the
// protocol: it shares nothing with the console's PJLink code but the digest function.
//
//   vistrel::sim::PjlinkFleetOptions options = vistrel::sim::GeneratePjlinkFleet(4, "127.0.6.2");
//   options.port = 0;  // a free port, shared by every projector
//   options.searchPort = 0;
//   vistrel::sim::PjlinkFleet fleet(std::move(options));
//   ASSERT_TRUE(fleet.Start());
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace vistrel::sim {

struct PjlinkProjectorConfig {
    std::string address;
    std::string mac;  // 12 hex digits; reported only by class 2
    int commandClass = 1;
    std::string password;  // empty: no authentication
    std::string name = "PJLink projector";
    std::string maker = "Simulated";
    std::string model = "PJ-1";
    std::string serial = "SN0001";
    std::string software = "1.0";
    int power = 0;  // 0 standby, 1 on (2 cooling and 3 warm-up are passing states)
    std::string input = "31";
    std::vector<std::string> inputs{"11", "12", "21", "31", "32"};
    std::vector<std::string> inputNames{"Computer 1", "Computer 2", "Video", "HDMI 1", "HDMI 2"};
    uint32_t lampHours = 1200;
    std::string errors = "000000";
    uint32_t filterHours = 300;
    bool videoMute = false;
    bool audioMute = false;
    bool freeze = false;  // class 2
};

struct PjlinkFleetOptions {
    std::vector<PjlinkProjectorConfig> projectors;
    uint16_t port = 4352;        // TCP; 0 chooses a free one shared by every projector
    uint16_t searchPort = 4352;  // UDP search; 0 chooses a free one
    // Where broadcast searches are received; empty: 127.255.255.255 on loopback, else any.
    std::string searchListenAddress;
    // How long warming up and cooling down last.
    std::chrono::milliseconds transition{2000};
    // A connection with no command for this long is closed, as projectors do.
    std::chrono::milliseconds idleClose{30000};
    int threads = 1;
};

// `count` projectors on consecutive addresses: every other one class 2, every third one
// with the password "panel".
PjlinkFleetOptions GeneratePjlinkFleet(size_t count, const std::string& firstAddress);

// What one projector received, for tests: commands without any digest, in order.
struct PjlinkLogEntry {
    std::string address;
    std::string line;  // without CR
    std::chrono::steady_clock::time_point at{};
};

class PjlinkFleet {
  public:
    explicit PjlinkFleet(PjlinkFleetOptions options);
    ~PjlinkFleet();
    PjlinkFleet(const PjlinkFleet&) = delete;
    PjlinkFleet& operator=(const PjlinkFleet&) = delete;

    bool Start(std::string* error = nullptr);
    void Stop();

    size_t Size() const;
    uint16_t Port() const;
    uint16_t SearchPort() const;
    std::string Address(size_t index) const;
    PjlinkProjectorConfig Config(size_t index) const;  // the current state
    void SetPower(size_t index, int power);
    // Connections accepted and closed so far, over the whole fleet.
    uint64_t Accepted() const;
    uint64_t IdleClosed() const;
    // Connections open now, and the most that were open at once since the last reset.
    size_t OpenConnections() const;
    size_t PeakConnections() const;
    void ResetPeak();
    std::vector<PjlinkLogEntry> Log() const;
    void ClearLog();
    // Sends "%2LKUP=<MAC>" from projector `index` to host:port, as when its link comes up.
    bool SendLinkUp(size_t index, const std::string& host, uint16_t port);

    struct Impl;  // (public only for the connection class in the source file)

  private:
    std::shared_ptr<Impl> impl_;
};

}  // namespace vistrel::sim
