// One event loop for every PJLink session the console has: a couple of threads drive all
// connections, so a hung projector costs a timer, not a thread. One session per projector
// (projectors accept few connections), kept open between exchanges for less than the
// projector's own idle limit, so the 15-second polling reuses it. The whole fleet shares a
// bounded number of connections: beyond it exchanges wait for one to close, and an idle
// connection is closed at once when another projector waits.
#pragma once

#include <chrono>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "pjlink/pjlink_codec.h"
#include "protocol/thread_starter.h"

namespace vistrel::pjlink {

struct EngineOptions {
    uint16_t port = kPort;
    std::chrono::milliseconds connectTimeout{3000};
    // From a command (or the connection) to its reply line.
    std::chrono::milliseconds replyTimeout{5000};
    // An open connection is closed after this long unused; projectors drop theirs at ~30 s.
    std::chrono::milliseconds keepIdle{20000};
    // Most connections open at once, over all projectors.
    size_t maxConnections = 64;
    // How long a connection being closed waits for the projector to close its side (until
    // then the projector counts it among its few) before its place goes to another.
    std::chrono::milliseconds closeWait{500};
    int threads = 2;
    ThreadStarter threadStarter;
};

enum class Failure {
    None,
    BadAddress,       // not one IPv4 host
    Unreachable,      // refused or no connection in time
    TimedOut,         // connected, but a reply did not come in time
    Closed,           // the projector closed the connection
    PasswordRefused,  // PJLINK ERRA
    Malformed,        // a greeting or line that is not PJLink, or too long
    Stopped,          // the engine stopped first
};
const char* FailureText(Failure failure);

// How one exchange ended: the reply lines (without CR) of the commands answered, in order.
struct Exchange {
    Failure failure = Failure::None;
    std::vector<std::string> replies;
    // Whether the projector asked for a password when the connection opened.
    bool authenticated = false;
};

class Engine {
  public:
    using Done = std::function<void(Exchange)>;

    explicit Engine(EngineOptions options = {});
    ~Engine();  // Stop()
    Engine(const Engine&) = delete;
    Engine& operator=(const Engine&) = delete;

    // Sends `commands` (lines with their CR, from BuildCommand) to the projector at `ip` one
    // after another, each after the reply to the one before, and calls `done` exactly once
    // on an engine thread (at once on the caller's when the engine cannot take it).
    // Exchanges with one projector run in the order sent; the time limits of one start
    // when it starts, not while it waits for a connection. `password` is used when the
    // projector asks for one. Thread-safe.
    void Send(const std::string& ip, std::vector<std::string> commands, std::string password,
              Done done);
    // Ends every session; pending exchanges end with Failure::Stopped. Returns promptly. From
    // inside a `done` it only stops the loop; the destructor then joins.
    void Stop();

    // Connections opened so far (a reused connection is not counted again).
    uint64_t ConnectionsOpened() const;
    size_t OpenConnections() const;
    const EngineOptions& Options() const;

  private:
    struct Impl;
    std::shared_ptr<Impl> impl_;
};

// The CLI's blocking form.
Exchange SendAndWait(Engine& engine, const std::string& ip, std::vector<std::string> commands,
                     const std::string& password);

}  // namespace vistrel::pjlink
