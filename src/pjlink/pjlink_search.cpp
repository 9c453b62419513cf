#include "pjlink/pjlink_search.h"

namespace vistrel::pjlink {

Search::Search(Console& console, Monitor& monitor) : console_(console), monitor_(monitor) {}

bool Search::Open() {
    const NetworkProfile& profile = console_.profile;
    // On the standard's port the socket keeps it to itself, as discovery does on its own.
    const auto use = profile.pjlinkSearchPort == kPort ? UdpSocket::PortUse::kExclusive
                                                       : UdpSocket::PortUse::kShared;
    if (socket_.Open(profile.bindAddress, profile.pjlinkSearchPort, use))
        return true;
    error_ = "PJLink search on " + profile.bindAddress + ":" +
             std::to_string(profile.pjlinkSearchPort) + ": " + socket_.LastErrorText();
    return false;
}

bool Search::Broadcast() {
    if (!socket_.IsOpen())
        return false;
    const NetworkProfile& profile = console_.profile;
    const bool sent =
        socket_.SendTo(profile.broadcastAddress, profile.pjlinkSearchPort, kSearchText);
    for (const std::string& address : profile.directedBroadcasts) {
        if (address != profile.broadcastAddress)
            socket_.SendTo(address, profile.pjlinkSearchPort, kSearchText);
    }
    return sent;
}

bool Search::HandleOne() {
    bool handled = false;
    return Read(handled);
}

size_t Search::HandleWaiting() {
    size_t handled = 0;
    bool answer = false;
    while (Read(answer)) {
        if (answer)
            ++handled;
    }
    return handled;
}

bool Search::Read(bool& answer) {
    answer = false;
    std::string datagram;
    std::string sender;
    uint16_t port = 0;
    for (;;) {
        const auto status = socket_.Receive(datagram, sender, port);
        if (status == UdpSocket::ReceiveStatus::kTruncated)
            continue;  // too long to be an answer: skipped, the next one is read
        if (status != UdpSocket::ReceiveStatus::kDatagram)
            return false;
        answer = monitor_.HandleSearchDatagram(datagram, sender);
        return true;
    }
}

}  // namespace vistrel::pjlink
