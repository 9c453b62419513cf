#include "app/demo_fleet.h"

#include <algorithm>

#include "sim/fleet.h"
#include "sim/fleet_options.h"
#include "sim/pjlink_fleet.h"

namespace vistrel {

namespace {

constexpr int kStandbyEvery = 4;  // a few projectors rest in standby

}  // namespace

DemoFleet::DemoFleet(DemoOptions options) : options_(std::move(options)) {
    sim::FleetOptions fleetOptions =
        sim::GenerateFleet(options_.count, options_.seed, options_.firstAddress);
    for (size_t i = 0; i < fleetOptions.projectors.size(); ++i) {
        if (i % kStandbyEvery == kStandbyEvery - 1) {
            fleetOptions.projectors[i].state.power = sim::kPowerStandby;
        }
    }
    fleetOptions.discoveryPort = 0;  // free ports: no privileges, no clash with other runs
    fleetOptions.httpPort = 0;
    std::string next = options_.firstAddress;
    if (!fleetOptions.projectors.empty())
        next = sim::NextAddress(fleetOptions.projectors.back().address).value_or(next);
    fleet_ = std::make_unique<sim::Fleet>(std::move(fleetOptions));
    if (options_.pjlinkCount > 0) {
        sim::PjlinkFleetOptions pjOptions = sim::GeneratePjlinkFleet(options_.pjlinkCount, next);
        pjOptions.port = 0;
        pjOptions.searchPort = 0;
        pjlink_ = std::make_unique<sim::PjlinkFleet>(std::move(pjOptions));
    }
}

DemoFleet::~DemoFleet() {
    if (pjlink_)
        pjlink_->Stop();
    fleet_->Stop();
}

bool DemoFleet::Start(std::string* error) {
    return fleet_->Start(error) && (!pjlink_ || pjlink_->Start(error));
}

std::vector<std::string> DemoFleet::PjlinkAddedAddresses() const {
    std::vector<std::string> addresses;
    for (size_t i = 0; pjlink_ && i < pjlink_->Size(); ++i) {
        if (pjlink_->Config(i).commandClass == 1)
            addresses.push_back(pjlink_->Address(i));
    }
    return addresses;
}

NetworkProfile DemoFleet::Profile() const {
    NetworkProfile profile;
    profile.broadcastAddress = "127.255.255.255";
    profile.bindAddress = options_.consoleAddress;
    profile.discoveryPort = fleet_->DiscoveryPort();
    profile.httpPort = fleet_->HttpPort();
    if (pjlink_) {
        profile.pjlinkPort = pjlink_->Port();
        profile.pjlinkSearchPort = pjlink_->SearchPort();
    }
    return profile;
}

std::vector<std::string> DemoFleet::GroupNames() const {
    std::vector<std::string> names;
    for (size_t i = 0; i < fleet_->Size(); ++i) {
        const std::string group = fleet_->State(i).group;
        if (!group.empty() && std::find(names.begin(), names.end(), group) == names.end()) {
            names.push_back(group);
        }
    }
    return names;
}

void DemoFleet::SilenceOne() {
    if (fleet_->Size() == 0)
        return;
    const size_t last = fleet_->Size() - 1;
    sim::Faults faults = fleet_->GetFaults(last);
    faults.silentDiscovery = true;
    faults.gone = true;
    fleet_->SetFaults(last, faults);
}

size_t DemoFleet::Size() const {
    return fleet_->Size();
}

}  // namespace vistrel
