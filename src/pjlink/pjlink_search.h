// The class-2 search socket: sends "%2SRCH" to the broadcast addresses of the network
// profile with each discovery cycle, and hands answers ("%2ACKN") and link-up notices
// ("%2LKUP") to the PJLink monitor. Runs on the thread that owns it, as discovery does; the
// owner reads it when its descriptor is readable, so a projector is taken as it answers.
#pragma once

#include <string>

#include "monitor/udp_socket.h"
#include "pjlink/pjlink_monitor.h"

namespace vistrel::pjlink {

class Search {
  public:
    Search(Console& console, Monitor& monitor);

    // Binds profile.bindAddress:pjlinkSearchPort. False (see Error) when it cannot.
    bool Open();
    bool IsOpen() const { return socket_.IsOpen(); }
    NativeSocket Descriptor() const { return socket_.Descriptor(); }
    std::string Error() const { return error_; }

    // One search to the profile's broadcast address and each directed broadcast.
    bool Broadcast();
    // Reads and handles one waiting datagram; false when none was waiting (or no socket),
    // so a caller may drain with `while (HandleOne())`.
    bool HandleOne();
    // Reads every datagram waiting; returns how many were search answers or link-ups.
    size_t HandleWaiting();

  private:
    // One datagram; `answer` tells whether it was a search answer or a link-up.
    bool Read(bool& answer);

    Console& console_;
    Monitor& monitor_;
    UdpSocket socket_;
    std::string error_;
};

}  // namespace vistrel::pjlink
