// PJLink projectors in the console's projector table: remembered addresses, the class-2
// search, and a polling of its own at the table's 15-second rhythm over the PJLink engine.
// Rows follow the same presence rules as the others, counted in their own polls rather than
// in discovery cycles (a class-1 projector answers nothing else): an answer sets the
// freshness, and while Auto Search is on each failed poll ages it by one, so the row leaves
// after three failed polls whatever the discovery interval. Their records are keyed by
// PjlinkKey(address).
#pragma once

#include <chrono>
#include <condition_variable>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "pjlink/pjlink_codec.h"
#include "pjlink/pjlink_engine.h"
#include "protocol/console.h"

namespace vistrel::pjlink {

inline constexpr std::string_view kKeyPrefix = "PJLINK-";
inline constexpr std::string_view kSearchText = "%2SRCH\r";
// The row's text when the projector refused the password.
inline constexpr std::string_view kPasswordRefusedText = "PJLink password refused";

std::string PjlinkKey(const std::string& ip);
bool IsPjlinkKey(std::string_view key);
// "00:11:22:aa:bb:cc" (or without separators) as 12 upper-case hex digits; empty if not a MAC.
std::string NormalizeMac(std::string_view text);

struct MonitorOptions {
    // Limits of the engine; its port comes from the console's profile.
    EngineOptions engine{};
    uint32_t minIntervalMs = 15000;
    // Longest time between two looks for due projectors (a look also comes when the next
    // projector falls due, or at once when one is asked for).
    std::chrono::milliseconds look{500};
    // The password for a projector (by address); empty when none is set.
    std::function<std::string(const std::string& ip)> password;
};

// What a command did on one PJLink projector.
struct CommandResult {
    std::string ip;
    bool ok = false;
    std::string text;  // "OK", or why not, for the operator
};

class Monitor {
  public:
    Monitor(Console& console, MonitorOptions options = {});
    ~Monitor();
    Monitor(const Monitor&) = delete;
    Monitor& operator=(const Monitor&) = delete;

    // A projector added by address, with the group the console keeps for it. Its row
    // appears at its first answer. False for an address no request may go to.
    bool Add(const std::string& ip, const std::string& group = {});
    std::vector<std::string> Addresses() const;
    bool Knows(const std::string& ip) const;
    // Sets the console-kept group of a PJLink projector's record.
    void SetGroup(const std::string& ip, const std::string& group);

    void Start();
    // Ends the polling and the engine; returns promptly.
    void Stop();
    // Polls these addresses at the next look instead of waiting out their 15 seconds.
    void PollSoon(const std::string& ip);
    void PollAllSoon();

    // A datagram on the search port: "%2ACKN=<MAC>" adds or refreshes a projector,
    // "%2LKUP=<MAC>" brings a known one back at once. True when it was one of these.
    bool HandleSearchDatagram(std::string_view text, const std::string& sender);

    // The full status of the last poll (for the dialog and fleet health).
    std::optional<Status> StatusOf(const std::string& ip) const;

    // Sends command lines to each address; `done` runs once with every result, on an
    // engine thread (or at once when there is nothing to do).
    void Command(const std::vector<std::string>& ips,
                 const std::function<std::vector<std::string>(const std::string& ip,
                                                              std::string& skipped)>& linesFor,
                 std::function<void(std::vector<CommandResult>)> done);

    // Everything about one projector, asked afresh and outside the polling (the projector
    // dialog): the poll's queries, freeze for class 2 and the name of every input. `done`
    // runs once on an engine thread (or at once) with how the last exchange ended and what
    // the answers said; a refused password or no answer leaves `Status` as far as it got.
    using QueryDone = std::function<void(Failure, Status)>;
    void Query(const std::string& ip, QueryDone done);

    Engine& engine() { return *engine_; }
    uint64_t Polls() const;

  private:
    struct Projector {
        std::string group;
        Status status;
        bool polled = false;  // `status` holds an answer
        bool tried = false;
        uint32_t lastEnd = 0;  // when the last poll ended, answered or not
    };
    void Run();
    // Polls the projectors due; returns how long until the next look.
    std::chrono::milliseconds Look();
    void Poll(const std::string& ip, std::vector<std::string> lines);
    void OnPoll(const std::string& ip, const std::vector<std::string>& lines, Exchange exchange);
    std::vector<std::string> LinesFor(const std::string& ip) const;
    std::string PasswordFor(const std::string& ip) const;
    struct QueryState;
    void QueryNext(const std::string& ip, std::shared_ptr<QueryState> query);

    Console& console_;
    MonitorOptions options_;
    std::unique_ptr<Engine> engine_;

    mutable std::mutex mutex_;
    std::condition_variable wake_;
    bool stop_ = false;
    bool kicked_ = false;                          // something to poll now: look at once
    std::map<std::string, Projector> projectors_;  // by address
    std::set<std::string> inFlight_;
    std::set<std::string> soon_;
    uint64_t polls_ = 0;
    std::thread thread_;
};

// The row's columns from a poll's answer: power, source, lamp hours, firmware, name and
// the ERST digits; the display mode stays blank.
void FillRecord(const Status& status, Info& record);

// The PJLink input for a source of the console's source list ("HDMI", "VGA-1", "VGA-2",
// "Video", "S-Video"), among the inputs the projector has (all when not yet known);
// nullopt when it has none such.
std::optional<std::string> InputForSource(std::string_view source, const Status& status);

// Folds the replies of one exchange into `status`, each with the command it answered (an
// INNM reply names no input: its command does).
void ApplyExchange(const std::vector<std::string>& lines, const std::vector<std::string>& replies,
                   Status& status);

}  // namespace vistrel::pjlink
