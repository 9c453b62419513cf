// Run-time control of a running fleet: line commands that change projectors' state and
// faults and read the log. Reachable through a Unix socket (mode 0600), so only the local
// machine, and there only the owner, can reach it.
#pragma once

#include <atomic>
#include <functional>
#include <string>
#include <thread>

namespace vistrel::sim {

class Fleet;

// Executes one command line and returns the answer: "OK ..." or "ERR ..." lines, each ended
// by a line feed. "stop" sets `*stopRequested`.
std::string RunControlCommand(Fleet& fleet, const std::string& line, bool* stopRequested);

// The command summary shown by "help" and by --help.
const char* ControlHelp();

class ControlChannel {
  public:
    // `onStop` runs (on the channel's thread) when a client sends "stop".
    ControlChannel(Fleet& fleet, std::string path, std::function<void()> onStop);
    ~ControlChannel();
    ControlChannel(const ControlChannel&) = delete;
    ControlChannel& operator=(const ControlChannel&) = delete;

    // Creates the socket (replacing a stale one) and starts the one thread that serves it.
    bool Start(std::string* error);
    void Stop();

  private:
    void Serve();
    void ServeClient(int fd);

    Fleet& fleet_;
    std::string path_;
    std::function<void()> onStop_;
    int listenFd_ = -1;
    int wakeFds_[2] = {-1, -1};
    std::thread thread_;
};

}  // namespace vistrel::sim
