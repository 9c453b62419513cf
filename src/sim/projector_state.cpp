#include "sim/projector_state.h"

#include <array>
#include <cstdio>

namespace vistrel::sim {
namespace {

// splitmix64: small, fast and identical on every platform, so a seed always names the same fleet.
class SeededRandom {
  public:
    explicit SeededRandom(uint64_t seed) : state_(seed) {}
    uint64_t Next() {
        uint64_t z = (state_ += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        return z ^ (z >> 31);
    }
    int Below(int n) { return static_cast<int>(Next() % static_cast<uint64_t>(n)); }
    int Between(int low, int high) { return low + Below(high - low + 1); }

  private:
    uint64_t state_;
};

constexpr std::array kModels = {"1", "2", "4", "5", "6", "7"};
constexpr std::array kGroups = {"", "Lab", "Hall A", "Hall B", "Library"};

}  // namespace

GeneratedIdentity GenerateProjector(uint64_t seed, size_t index) {
    SeededRandom random(seed * 0x100000001B3ull + index + 1);
    GeneratedIdentity out;
    // A locally administered prefix, then the index so that MACs never repeat within a fleet.
    uint64_t tail = (random.Next() & 0xFFFF000000ull) | (index & 0xFFFFFFull);
    char mac[16];
    std::snprintf(mac, sizeof mac, "02%010llX", static_cast<unsigned long long>(tail));
    out.mac = mac;

    ProjectorState& s = out.state;
    s.model = kModels[static_cast<size_t>(random.Below(kModels.size()))];
    int powerRoll = random.Below(10);
    s.power = powerRoll < 7 ? kPowerOn : (powerRoll < 9 ? kPowerOff : kPowerStandby);
    s.lampHours = random.Between(0, 5000);
    s.source = random.Between(0, 5);
    char fw[8];
    std::snprintf(fw, sizeof fw, "%c%03d", 'A' + random.Below(4), random.Between(0, 999));
    s.firmware = fw;
    s.displayMode = random.Between(1, 8);
    s.group = kGroups[static_cast<size_t>(random.Below(kGroups.size()))];
    char name[40];
    std::snprintf(name, sizeof name, "Room %03zu", index + 1);
    s.name = name;

    ControlSettings& c = s.control;
    c.brightMode = random.Below(2);
    c.displayFormat = random.Below(5);
    c.colorTemp = random.Below(3);
    c.degamma = random.Below(4);
    c.projection = random.Below(4);
    c.background = random.Below(5);
    c.colorSpace = random.Below(3);
    c.projectorId = random.Below(100);
    c.volume = random.Between(0, 10);
    c.sharpness = random.Between(0, 31);
    c.phase = random.Between(0, 31);
    c.brilliantColor = random.Between(0, 10);
    c.zoom = random.Between(-5, 25);
    c.brightness = random.Between(0, 100);
    c.contrast = random.Between(0, 100);
    c.imageShift = random.Between(-50, 50);
    c.keystone = random.Between(-40, 40);
    c.autoPowerOff = random.Between(0, 36) * 5;
    c.sleepTimer = random.Between(0, 199) * 5;
    c.closedCaption = random.Below(3);
    c.autoKeystone = random.Below(2);
    return out;
}

void ResetSettings(ProjectorState& state, const ProjectorState* startUp) {
    ControlSettings fresh = startUp ? startUp->control : ControlSettings{};
    fresh.message = state.control.message;
    state.control = fresh;
    state.displayMode = startUp ? startUp->displayMode : 1;
}

}  // namespace vistrel::sim
