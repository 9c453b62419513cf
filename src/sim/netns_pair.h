// A pair of private network namespaces for end-to-end tests with the real ports: a console
// side and a fleet side joined by a veth pair, with a default route on the console side so a
// broadcast to 255.255.255.255 reaches the fleet. Needs root (CAP_SYS_ADMIN, CAP_NET_ADMIN);
// callers skip when Create fails and never fall back to the machine's own namespace.
#pragma once

#include <string>
#include <vector>

namespace vistrel::sim {

// Moves the calling thread into network namespace `name` (under /run/netns) or `path`.
// Sockets created by the thread afterwards, and threads it starts, belong to that namespace.
bool EnterNetns(const std::string& nameOrPath, std::string* error);

class NetnsPair {
  public:
    // Console side 10.77.0.1/16; fleet side 10.77.0.2/16. Every address of 10.77.128.0/17 is
    // local on the fleet side, so projectors bind kFleetFirstAddress upward without one
    // configuration step per projector (and can relocate within that range).
    static constexpr const char* kConsoleAddress = "10.77.0.1";
    static constexpr const char* kFleetAddress = "10.77.0.2";
    static constexpr const char* kFleetFirstAddress = "10.77.128.1";

    NetnsPair();
    ~NetnsPair();  // removes both namespaces
    NetnsPair(const NetnsPair&) = delete;
    NetnsPair& operator=(const NetnsPair&) = delete;

    // Builds both namespaces. False with the reason (not root, no `ip`, no namespace
    // support); whatever was half built is removed.
    bool Create(std::string* error);
    void Remove();

    // Names unique to this process and pair ("vistrel-c<pid>-<n>", "vistrel-f<pid>-<n>").
    const std::string& ConsoleNs() const { return consoleNs_; }
    const std::string& FleetNs() const { return fleetNs_; }

  private:
    bool Ip(const std::vector<std::string>& args, std::string* error);

    std::string consoleNs_;
    std::string fleetNs_;
    std::string consoleVeth_;
    std::string fleetVeth_;
    bool created_ = false;
};

// Enters a namespace for the current thread and returns to the previous one when destroyed.
class ScopedNetns {
  public:
    explicit ScopedNetns(const std::string& nameOrPath);
    ~ScopedNetns();
    ScopedNetns(const ScopedNetns&) = delete;
    ScopedNetns& operator=(const ScopedNetns&) = delete;
    bool Ok() const { return ok_; }
    const std::string& Error() const { return error_; }

  private:
    int previous_ = -1;
    bool ok_ = false;
    std::string error_;
};

}  // namespace vistrel::sim
