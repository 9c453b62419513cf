// Finding projectors: the discovery socket, the probe broadcast, the handling of answers
// (which creates and refreshes table records and completes IP relocations), and the two
// ways in which presence decays or is reset. Everything here runs on one thread, the one
// that owns the socket (the GUI thread in the console, the main thread in the CLI).
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <string_view>

#include "monitor/relocation_follow.h"
#include "monitor/udp_socket.h"
#include "protocol/console.h"

namespace vistrel {

inline constexpr std::string_view kProbeText = "Hello 250#";
inline constexpr std::string_view kAnswerPrefix = "Hello 13.#";
inline constexpr size_t kAnswerMacOffset = 11;
inline constexpr size_t kMacLength = 12;
inline constexpr uint32_t kFreshnessOnAnswer = 5;
inline constexpr uint32_t kRelocationSettleMs = 800;
inline constexpr std::string_view kUnusableAddress = "0.0.0.0";
// The list shows a record while its freshness is not below this; one that falls below it
// has been dropped by the presence rules.
inline constexpr uint32_t kListedFreshness = 3;

// The settings dialog that waits for a relocated projector to answer from its new address.
class RelocationWindow {
  public:
    virtual ~RelocationWindow() = default;
    // Queries the network settings of the target list again and shows the new address.
    virtual void QueryNetwork() = 0;
    // The projector did not answer from a new address within the follow-up's wait.
    virtual void RelocationLost() {}
    // The fixed address the projector was sent to, or empty (DHCP: any address will do).
    // With a fixed address, a late answer from the old one does not end the relocation.
    virtual std::string ExpectedAddress() const { return {}; }
};

// Why discovery cannot run, in words for the operator.
struct DiscoveryFailure {
    std::string reason;  // what failed, with the system's error text
    std::string remedy;  // what the operator can do about it
    // Another socket holds the port: a condition that passes when that program ends.
    bool portInUse = false;
};

// Builds the operator's text for a socket step that failed with a system error code.
DiscoveryFailure DescribeDiscoveryFailure(const std::string& step, int errorCode,
                                          const std::string& bindAddress, uint16_t port);

class Discovery {
  public:
    // Told once per Discovery object, on the owning thread, the first time the socket
    // cannot be opened or a probe cannot be sent.
    using FailureHandler = std::function<void(const DiscoveryFailure&)>;

    explicit Discovery(Console& console, FailureHandler onFailure = {});
    Discovery(const Discovery&) = delete;
    Discovery& operator=(const Discovery&) = delete;

    // Opens the socket of console.profile (bindAddress:discoveryPort, broadcast on) and
    // sends the first probe. False when the socket could not be opened; the console goes
    // on without discovery and the failure handler has been told.
    bool OpenDiscovery();
    // Sends one probe to profile.broadcastAddress:discoveryPort and one to each directed
    // broadcast address. False when the first could not be sent.
    bool Broadcast();

    // Reads one datagram and acts on it. Returns false when nothing could be read (no
    // datagram waiting, or no socket), so a caller may drain with `while (HandleAnswer())`.
    bool HandleAnswer();
    // For callers without an event loop: handles every datagram that arrives within
    // `window`, returning how many were read.
    size_t HandleAnswersFor(std::chrono::milliseconds window);
    // The handling of one received datagram text from `sender` (dotted quad).
    void ProcessAnswer(std::string_view datagram, const std::string& sender);

    // Timer 1: while auto search is on, ages every record by one (never below 0) and probes.
    // PJLink records are aged by their own polls instead.
    void AutoDiscoveryCycle();
    // "Refresh all projectors": asks the polling thread for a pass, sets every freshness to
    // 0 and probes. `rebuildList`, when given, runs with the table lock held right after
    // the reset, so the list it builds shows no projector.
    void RefreshAllProjectors(const std::function<void(ProjectorTable::Guard&)>& rebuildList = {});

    // The relocation request of a projector network page (message 0x590): probe, then
    // remember the dialog that waits. Replaces a pending one.
    void RequestRelocationProbe(std::weak_ptr<RelocationWindow> window);
    bool RelocationPending() const { return !relocationWindow_.expired(); }
    // Called every few hundred milliseconds while a relocation is pending, whatever the
    // Auto Search setting: probes again after the settle time until the projector answers
    // from its new address, and after kRelocationGiveUpMs stops waiting, clears the
    // projector's relocating mark and tells the window. Returns whether it still follows.
    bool FollowRelocation();

    bool IsOpen() const { return socket_.IsOpen(); }
    NativeSocket Descriptor() const { return socket_.Descriptor(); }
    uint16_t LocalPort() const { return socket_.LocalPort(); }
    // The failure reported so far, if any.
    const std::optional<DiscoveryFailure>& Failure() const { return failure_; }

  private:
    void Report(const std::string& step, int errorCode);

    Console& console_;
    FailureHandler onFailure_;
    UdpSocket socket_;
    std::weak_ptr<RelocationWindow> relocationWindow_;
    RelocationFollow follow_;
    std::optional<DiscoveryFailure> failure_;
};

}  // namespace vistrel
