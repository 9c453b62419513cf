// The demo fleet of `vistrel --demo`: simulated projectors in this process on loopback
// addresses and free ports, and the network profile that points the console at them.
#pragma once

#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "protocol/network_profile.h"

namespace vistrel {

namespace sim {
class Fleet;
class PjlinkFleet;
}  // namespace sim

struct DemoOptions {
    size_t count = 12;
    uint64_t seed = 2026;
    // Projectors take consecutive addresses from here; the console binds `consoleAddress`.
    std::string firstAddress = "127.0.0.2";
    std::string consoleAddress = "127.0.0.1";
    // The last projector stops answering this long after the start (0: never).
    std::chrono::milliseconds silentAfter{std::chrono::seconds(45)};
    // PJLink projectors after the others' addresses: a mixed fleet.
    size_t pjlinkCount = 6;
};

class DemoFleet {
  public:
    explicit DemoFleet(DemoOptions options);
    ~DemoFleet();
    DemoFleet(const DemoFleet&) = delete;
    DemoFleet& operator=(const DemoFleet&) = delete;

    // Binds the fleet on free ports. False with `error` when it cannot.
    bool Start(std::string* error);
    // Loopback broadcast and the fleet's ports; never the real network's.
    NetworkProfile Profile() const;
    // The groups the fleet's projectors report, in first-seen order.
    std::vector<std::string> GroupNames() const;
    // The projector that is meant to fall silent does so now: it stops answering probes and
    // requests. Called by the console's timer after `silentAfter`.
    void SilenceOne();
    std::chrono::milliseconds SilentAfter() const { return options_.silentAfter; }
    size_t Size() const;
    // The PJLink projectors beside the others.
    size_t PjlinkCount() const { return options_.pjlinkCount; }
    sim::Fleet& fleet() { return *fleet_; }
    // The PJLink projectors (none when `pjlinkCount` is 0).
    sim::PjlinkFleet* pjlink() { return pjlink_.get(); }
    // The PJLink projectors of class 1, which no search finds: the console adds them by
    // address, as an operator would.
    std::vector<std::string> PjlinkAddedAddresses() const;

  private:
    DemoOptions options_;
    std::unique_ptr<sim::Fleet> fleet_;
    std::unique_ptr<sim::PjlinkFleet> pjlink_;
};

}  // namespace vistrel
