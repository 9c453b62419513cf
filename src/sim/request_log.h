// The simulator's record of every HTTP request and discovery datagram it handled: kept in
// memory for tests to read, optionally written line by line to a file, summarised on exit.
#pragma once

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <fstream>
#include <functional>
#include <mutex>
#include <string>
#include <vector>

namespace vistrel::sim {

struct LogEntry {
    int64_t timeMs = 0;    // since the fleet started
    size_t projector = 0;  // index in the fleet
    std::string address;   // the projector's address when it handled the request
    std::string kind;      // "http" or "udp"
    std::string body;      // request body or datagram text
    std::string reply;     // what was sent back ("" when nothing was)
    std::string note;      // fault or outcome that shaped the reply, e.g. "hang", "ignored"
};

class RequestLog {
  public:
    RequestLog();

    // Lines go to `path` as well, starting now; an empty path stops writing. False when the
    // file cannot be opened.
    bool OpenFile(const std::string& path);

    void Add(LogEntry entry);
    std::vector<LogEntry> Entries() const;
    size_t Size() const;
    void Clear();
    // Blocks until `pred` holds for the entries or `timeout` passes; returns the last result.
    bool WaitFor(const std::function<bool(const std::vector<LogEntry>&)>& pred,
                 std::chrono::milliseconds timeout) const;
    int64_t ElapsedMs() const;

    // Totals per kind and note, one per line.
    std::string Summary() const;
    // One log line: time, address, kind, body and reply with control characters escaped.
    static std::string FormatLine(const LogEntry& entry);

    // Entries kept in memory; older ones are dropped (their totals remain in the summary).
    static constexpr size_t kMemoryCap = 200000;

  private:
    std::chrono::steady_clock::time_point start_;
    mutable std::mutex mutex_;
    mutable std::condition_variable changed_;
    std::vector<LogEntry> entries_;
    std::ofstream file_;
    size_t httpCount_ = 0;
    size_t udpCount_ = 0;
    std::vector<std::pair<std::string, size_t>> noteCounts_;
};

}  // namespace vistrel::sim
