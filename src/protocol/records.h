// The records every part of the console shares: one projector (Info), one request in
// flight (MsgCmd) and one timed power task (SchedTask).
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "protocol/reply_sink.h"

namespace vistrel {

// One scheduled power task. Times are seconds since 1970-01-01 UTC.
struct SchedTask {
    int32_t enabled = 0;  // 1 enabled, 0 disabled
    int32_t period = 0;   // 0 Once, 1 Daily, 2 Weekly, 3 Monthly
    int64_t time = 0;     // time of day
    int64_t date = 0;     // date
    int64_t start = 0;    // next due moment
    int32_t command = 0;  // row of the task-command table: 0 Power On, 1 Power Off

    bool operator==(const SchedTask&) const = default;
};

inline constexpr int kTaskCount = 4;

// One projector, copied by value into and out of the projector table.
struct Info {
    std::string mac;
    std::string ip;
    std::string power;
    std::string source;
    std::string lampHour;
    std::string displayMode;
    std::string fwVersion;
    std::string groupName;
    std::string projectorName;
    // A PJLink projector: keyed by PjlinkKey(address), its MAC (class 2 search) shown instead.
    bool pjlink = false;
    std::string pjlinkMac;
    // Its ERST answer: six digits for fan, lamp, temperature, cover, filter and other, each
    // 0 fine, 1 warning, 2 error; empty until known.
    std::string pjlinkErrors;
    std::array<SchedTask, kTaskCount> tasks{};
    bool relocating = false;
    uint32_t freshness = 5;
    uint32_t relocateTick = 0;
    uint32_t pollTick = 0;

    Info() = default;
    explicit Info(std::string key) : mac(std::move(key)) {}
    bool operator==(const Info&) const = default;
};

// Message ids carried by MsgCmd::message and posted to owners.
inline constexpr uint32_t kMsgDiscoveryReadable = 0x40a;
inline constexpr uint32_t kMsgReply = 0x464;
inline constexpr uint32_t kMsgRelocationProbe = 0x590;
inline constexpr uint32_t kMsgResumePolling = 0x591;
inline constexpr uint32_t kMsgQueueStatus = 0x592;

// One HTTP request with its reply. The owner is held weakly: a window that has gone is
// skipped by the sender without touching it.
struct MsgCmd {
    std::weak_ptr<ReplySink> owner;
    uint32_t message = 0;
    std::string ip;
    std::string body;
    std::string reply;
};

// Elapsed milliseconds between two readings of the wrapping 32-bit tick counter.
constexpr uint32_t TickElapsed(uint32_t now, uint32_t then) {
    return now - then;
}

}  // namespace vistrel
