#include "monitor/discovery.h"

#include <cerrno>
#include <optional>
#include <utility>
#include <vector>

namespace vistrel {

DiscoveryFailure DescribeDiscoveryFailure(const std::string& step, int errorCode,
                                          const std::string& bindAddress, uint16_t port) {
    const std::string portText = "UDP port " + std::to_string(port);
    const std::string errorText = SocketErrorText(errorCode);
    DiscoveryFailure failure;
    if (step == "address") {
        failure.reason =
            "Projector discovery cannot start: \"" + bindAddress + "\" is not an IPv4 address.";
        failure.remedy = "Correct the discovery address of the network settings.";
        return failure;
    }
    if (step == "sendto") {
        failure.reason =
            "Projector discovery cannot send its probe on " + portText + ": " + errorText + ".";
        failure.remedy =
            "Check that this computer is connected to the projector network and that no "
            "firewall blocks " +
            portText + ".";
        return failure;
    }
    failure.reason = "Projector discovery cannot open " + portText + " on " + bindAddress + ": " +
                     errorText + ".";
#ifndef _WIN32
    if ((errorCode == EACCES || errorCode == EPERM) && port < 1024) {
        failure.remedy =
            "Ports below 1024 need extra rights on this system. Start the console as root, "
            "or grant the program the right once with "
            "\"sudo setcap cap_net_bind_service=+ep <path of the program>\". "
            "Until then no projector will be found.";
        return failure;
    }
    if (errorCode == EADDRINUSE) {
        failure.portInUse = true;
        failure.remedy = "Another program on this computer holds " + portText +
                         " (another console window, or vistrel-cli discovering or running "
                         "schedules) and receives the projectors' answers. Close it and start "
                         "again. Until then no projector will be found.";
        return failure;
    }
    if (errorCode == EADDRNOTAVAIL) {
        failure.remedy = "The address " + bindAddress +
                         " does not belong to this computer. Correct the discovery address.";
        return failure;
    }
#endif
    failure.remedy =
        "Check the network connection and start the console again. Until then no projector "
        "will be found.";
    return failure;
}

Discovery::Discovery(Console& console, FailureHandler onFailure)
    : console_(console), onFailure_(std::move(onFailure)) {}

void Discovery::Report(const std::string& step, int errorCode) {
    if (failure_)
        return;
    failure_ = DescribeDiscoveryFailure(step, errorCode, console_.profile.bindAddress,
                                        console_.profile.discoveryPort);
    if (onFailure_)
        onFailure_(*failure_);
}

bool Discovery::OpenDiscovery() {
    const auto use = console_.profile.SharesDiscoveryPort() ? UdpSocket::PortUse::kShared
                                                            : UdpSocket::PortUse::kExclusive;
    if (!socket_.Open(console_.profile.bindAddress, console_.profile.discoveryPort, use)) {
        Report(socket_.LastStep(), socket_.LastError());
        return false;
    }
    Broadcast();
    return true;
}

bool Discovery::Broadcast() {
    if (!socket_.IsOpen())
        return false;
    const bool sent = socket_.SendTo(console_.profile.broadcastAddress,
                                     console_.profile.discoveryPort, kProbeText);
    if (!sent)
        Report(socket_.LastStep(), socket_.LastError());
    // A subnet that cannot be reached today must not keep the others from being probed, nor
    // stop discovery on the local one.
    for (const std::string& address : console_.profile.directedBroadcasts) {
        if (address != console_.profile.broadcastAddress)
            socket_.SendTo(address, console_.profile.discoveryPort, kProbeText);
    }
    return sent;
}

bool Discovery::HandleAnswer() {
    std::string datagram;
    std::string sender;
    uint16_t senderPort = 0;
    switch (socket_.Receive(datagram, sender, senderPort)) {
        case UdpSocket::ReceiveStatus::kDatagram:
            ProcessAnswer(datagram, sender);
            return true;
        case UdpSocket::ReceiveStatus::kTruncated:
            return true;  // read and dropped: too long to be an answer
        case UdpSocket::ReceiveStatus::kWouldBlock:
        case UdpSocket::ReceiveStatus::kError:
            break;
    }
    return false;
}

size_t Discovery::HandleAnswersFor(std::chrono::milliseconds window) {
    if (!socket_.IsOpen())
        return 0;
    using SteadyClock = std::chrono::steady_clock;
    const auto deadline = SteadyClock::now() + window;
    size_t handled = 0;
    for (;;) {
        const auto left =
            std::chrono::ceil<std::chrono::milliseconds>(deadline - SteadyClock::now());
        if (left.count() <= 0)
            return handled;
        if (!socket_.WaitReadable(static_cast<int>(left.count())))
            continue;
        if (!HandleAnswer())
            return handled;  // readable yet nothing to read: a socket error
        ++handled;
        while (HandleAnswer())
            ++handled;
    }
}

void Discovery::ProcessAnswer(std::string_view datagram, const std::string& sender) {
    // The datagram is read as text: it ends at its first NUL byte.
    std::string_view text = datagram.substr(0, datagram.find('\0'));
    if (text == kProbeText)
        return;  // our own probe, heard on the port we send to
    if (text.substr(0, kAnswerPrefix.size()) != kAnswerPrefix)
        return;
    if (text.size() <= kAnswerMacOffset)
        return;  // no identity at all: nothing to key on
    const std::string mac(text.substr(kAnswerMacOffset, kMacLength));

    std::shared_ptr<RelocationWindow> finished;
    std::optional<Info> seen;
    {
        auto table = console_.table.Lock();
        Info* record = table.Find(mac);
        if (!record) {
            table.Store(Info(mac));
            record = table.Find(mac);
        }
        record->ip = sender;
        record->freshness = kFreshnessOnAnswer;

        if (record->relocating && !console_.targetMacs.empty() && console_.targetMacs[0] == mac &&
            sender != kUnusableAddress &&
            TickElapsed(console_.clock.TickMs(), record->relocateTick) > kRelocationSettleMs &&
            !console_.targetIps.empty()) {
            finished = relocationWindow_.lock();
            if (finished && !finished->ExpectedAddress().empty() &&
                finished->ExpectedAddress() != sender) {
                finished.reset();  // still the old address: the projector has not moved yet
            }
            if (finished) {
                record->relocating = false;
                console_.targetIps[0] = sender;
                relocationWindow_.reset();
                follow_.Stop();
            }
        }
        if (console_.presence.Active())
            seen = *record;
    }
    if (seen)
        console_.presence.Tell(PresenceEvent::kSeen, *seen);
    // Outside the lock: the dialog may read the table while it re-queries.
    if (finished)
        finished->QueryNetwork();
}

void Discovery::AutoDiscoveryCycle() {
    if (!console_.autoSearchEnabled.load())
        return;
    std::vector<Info> dropped;
    {
        auto table = console_.table.Lock();
        for (Info& record : table.Records()) {
            if (record.pjlink)
                continue;  // aged by its own polls: a class-1 projector answers no probe
            if (record.freshness > 0)
                --record.freshness;
            if (record.freshness == kListedFreshness - 1 && console_.presence.Active())
                dropped.push_back(record);
        }
    }
    for (const Info& record : dropped)
        console_.presence.Tell(PresenceEvent::kDropped, record);
    Broadcast();
}

void Discovery::RefreshAllProjectors(
    const std::function<void(ProjectorTable::Guard&)>& rebuildList) {
    console_.refreshNow.store(true);
    std::vector<Info> dropped;
    {
        auto table = console_.table.Lock();
        for (Info& record : table.Records()) {
            if (record.freshness >= kListedFreshness && console_.presence.Active())
                dropped.push_back(record);
            record.freshness = 0;
        }
        if (rebuildList)
            rebuildList(table);
    }
    for (Info& record : dropped) {
        record.freshness = 0;
        console_.presence.Tell(PresenceEvent::kDropped, record);
    }
    Broadcast();
}

void Discovery::RequestRelocationProbe(std::weak_ptr<RelocationWindow> window) {
    Broadcast();
    relocationWindow_ = std::move(window);
    follow_.Start(console_.clock.TickMs());
}

bool Discovery::FollowRelocation() {
    if (!follow_.Active())
        return false;
    std::shared_ptr<RelocationWindow> window = relocationWindow_.lock();
    const auto action = follow_.Next(console_.clock.TickMs(), kRelocationSettleMs);
    if (!window || action == RelocationFollow::Action::kGiveUp) {
        follow_.Stop();
        relocationWindow_.reset();
        {
            // Left marked, the projector would never be polled again.
            auto table = console_.table.Lock();
            if (!console_.targetMacs.empty()) {
                if (Info* record = table.Find(console_.targetMacs[0]))
                    record->relocating = false;
            }
        }
        if (window)
            window->RelocationLost();
        return false;
    }
    if (action == RelocationFollow::Action::kProbe)
        Broadcast();
    return true;
}

}  // namespace vistrel
