// Discovery answers: any host on the LAN can send any datagram to the discovery port. The
// input is a sequence of datagrams, each with a sender and a clock step, handled as the
// socket handler does after a receive.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "fuzz_check.h"
#include "monitor/discovery.h"

using namespace vistrel;
using fuzz::Check;

namespace {

class StepClock final : public Clock {
  public:
    uint32_t TickMs() const override { return tick; }
    int64_t Now() const override { return 1700000000; }
    uint32_t tick = 1000;
};

class CountingWindow final : public RelocationWindow {
  public:
    void QueryNetwork() override { ++queries; }
    int queries = 0;
};

constexpr const char* kSenders[] = {"127.0.11.1", "127.0.11.2", "0.0.0.0", "10.1.2.3"};
constexpr const char* kRelocatingMac = "001122334455";
constexpr size_t kSnapshotLimit = 16;

// Reads one datagram of the input: a control byte (sender, clock step, relocation request),
// a length byte, then that many bytes (fewer at the end of the input).
struct Step {
    std::string sender;
    uint32_t advanceMs = 0;
    bool requestRelocation = false;
    std::string datagram;
};

bool NextStep(const uint8_t*& data, size_t& size, Step& step) {
    if (size < 2)
        return false;
    const uint8_t control = data[0];
    size_t length = data[1];
    if (control & 0x80)
        length *= 17;  // room for long datagrams, up to the receive limit
    data += 2;
    size -= 2;
    length = std::min(length, size);
    step.sender = kSenders[control & 3];
    step.advanceMs = ((control >> 2) & 7) * 300u;
    step.requestRelocation = (control & 0x20) != 0;
    step.datagram.assign(reinterpret_cast<const char*>(data), length);
    data += length;
    size -= length;
    return true;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    StepClock clock;
    NetworkProfile profile;
    profile.bindAddress = "127.0.11.1";
    profile.broadcastAddress = "127.0.11.255";
    Console console(profile, clock);
    console.targetMacs = {kRelocatingMac};
    console.targetIps = {"10.9.9.9"};
    {
        auto table = console.table.Lock();
        Info moving(kRelocatingMac);
        moving.ip = "10.9.9.9";
        moving.relocating = true;
        moving.relocateTick = clock.tick;
        table.Store(moving);
    }

    // The socket is never opened: probes fail quietly and only the handling is exercised.
    Discovery discovery(console);
    auto window = std::make_shared<CountingWindow>();
    discovery.RequestRelocationProbe(window);

    size_t answers = 0;
    bool relocated = false;
    Step step;
    while (NextStep(data, size, step)) {
        clock.tick += step.advanceMs;
        if (step.requestRelocation && !relocated)
            discovery.RequestRelocationProbe(window);

        const std::string_view text =
            std::string_view(step.datagram).substr(0, step.datagram.find('\0'));
        const bool answer = text != kProbeText &&
                            text.substr(0, kAnswerPrefix.size()) == kAnswerPrefix &&
                            text.size() > kAnswerMacOffset;

        // A copy of the whole table before every datagram made long inputs quadratic: only
        // what is no answer needs one, and a large table is then checked by its size.
        std::vector<Info> before;
        const size_t sizeBefore = [&] {
            auto table = console.table.Lock();
            if (!answer && table.Size() <= kSnapshotLimit)
                before = table.Records();
            return table.Size();
        }();
        discovery.ProcessAnswer(step.datagram, step.sender);
        auto table = console.table.Lock();
        if (!answer) {
            Check(sizeBefore > kSnapshotLimit ? table.Size() == sizeBefore
                                              : table.Records() == before,
                  "anything but an answer leaves the table alone");
            continue;
        }
        ++answers;
        const std::string mac(text.substr(kAnswerMacOffset, kMacLength));
        const Info* record = table.Find(mac);
        Check(record != nullptr, "an answer's identity is in the table");
        Check(record->mac == mac && record->ip == step.sender &&
                  record->freshness == kFreshnessOnAnswer,
              "an answer sets the address and freshness");
        Check(table.Size() == sizeBefore || table.Size() == sizeBefore + 1,
              "one answer adds at most one projector");
        if (window->queries > 0 && !relocated) {
            relocated = true;
            Check(mac == kRelocatingMac && step.sender != kUnusableAddress &&
                      clock.tick - 1000 > kRelocationSettleMs,
                  "only the relocating projector, from a usable address, after the settle time, "
                  "ends a relocation");
            Check(!record->relocating && console.targetIps[0] == step.sender,
                  "a finished relocation updates the record and the target list");
        }
    }

    auto table = console.table.Lock();
    Check(table.Size() <= answers + 1, "the table grows only by answers");
    Check(window->queries == (relocated ? 1 : 0), "a relocation completes once");
    for (const Info& record : table.Records()) {
        Check(!record.mac.empty() && record.mac.size() <= kMacLength &&
                  record.mac.find('\0') == std::string::npos,
              "identities are 1 to 12 bytes of text");
    }
    return 0;
}
