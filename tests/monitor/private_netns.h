// Runs a piece of a test on a thread of its own inside a new, empty network namespace, with
// its loopback interface up. Tests that need the projectors' real discovery port use it, so
// nothing they bind or send touches the machine's own network. Needs root (or
// CAP_SYS_ADMIN); without it the body does not run and the caller skips.
#pragma once

#include <net/if.h>
#include <sched.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <functional>
#include <string>
#include <thread>

namespace vistrel::test {

// False, with the reason, when no namespace could be made; `body` has then not run.
inline bool RunInPrivateNetns(const std::function<void()>& body, std::string* why) {
    bool entered = false;
    std::thread worker([&] {
        // The namespace belongs to this thread alone; the rest of the process stays put.
        if (::unshare(CLONE_NEWNET) != 0) {
            *why = std::string("unshare(CLONE_NEWNET): ") + std::strerror(errno);
            return;
        }
        const int fd = ::socket(AF_INET, SOCK_DGRAM, 0);
        ifreq request{};
        std::strncpy(request.ifr_name, "lo", IFNAMSIZ - 1);
        const bool up = fd >= 0 && ::ioctl(fd, SIOCGIFFLAGS, &request) == 0 &&
                        (request.ifr_flags |= IFF_UP, ::ioctl(fd, SIOCSIFFLAGS, &request) == 0);
        if (fd >= 0)
            ::close(fd);
        if (!up) {
            *why = std::string("bringing lo up: ") + std::strerror(errno);
            return;
        }
        entered = true;
        body();
    });
    worker.join();
    return entered;
}

}  // namespace vistrel::test
