#include "pjlink/pjlink_monitor.h"

#include <algorithm>
#include <atomic>
#include <cctype>
#include <limits>

#include "monitor/discovery.h"
#include "protocol/host_address.h"

namespace vistrel::pjlink {

std::string PjlinkKey(const std::string& ip) {
    return std::string(kKeyPrefix) + ip;
}

bool IsPjlinkKey(std::string_view key) {
    return key.substr(0, kKeyPrefix.size()) == kKeyPrefix;
}

std::string NormalizeMac(std::string_view text) {
    std::string mac;
    for (char c : text) {
        if (c == ':' || c == '-')
            continue;
        if (!std::isxdigit(static_cast<unsigned char>(c)))
            return {};
        mac += static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    }
    return mac.size() == 12 ? mac : std::string();
}

std::optional<std::string> InputForSource(std::string_view source, const Status& status) {
    std::vector<std::string> candidates;
    if (source == "HDMI") {
        for (char n : std::string_view("123456789"))
            candidates.push_back(std::string("3") + n);
    } else if (source == "VGA-1") {
        candidates = {"11"};
    } else if (source == "VGA-2") {
        candidates = {"12"};
    } else if (source == "Video") {
        candidates = {"21"};
    } else if (source == "S-Video") {
        candidates = {"22"};
    }
    for (const std::string& code : candidates) {
        if (status.inputs.empty())
            return code;  // not known yet: the projector itself will say ERR2
        for (const Input& input : status.inputs) {
            if (input.Code() == code)
                return code;
        }
    }
    return std::nullopt;
}

void FillRecord(const Status& status, Info& record) {
    record.power = status.power ? PowerLabel(*status.power) : "";
    record.source = SourceLabel(status);
    record.lampHour = status.lamps.empty() ? "" : std::to_string(status.lamps[0].hours);
    record.displayMode.clear();
    record.fwVersion = status.software;
    record.pjlinkErrors.clear();
    if (status.errors) {
        for (int state : *status.errors)
            record.pjlinkErrors += static_cast<char>('0' + state);
    }
    record.projectorName = status.name;
}

void ApplyExchange(const std::vector<std::string>& lines, const std::vector<std::string>& replies,
                   Status& status) {
    for (size_t i = 0; i < replies.size() && i < lines.size(); ++i) {
        // An INNM command names its input after "?": "%2INNM ?31\r".
        const std::string_view line = lines[i];
        const std::string_view innm =
            line.substr(0, 7) == "%2INNM " && line.size() >= 10 ? line.substr(8, 2) : "";
        ApplyReply(ParseReply(replies[i]), status, innm);
    }
}

Monitor::Monitor(Console& console, MonitorOptions options)
    : console_(console), options_(std::move(options)) {
    EngineOptions engineOptions = options_.engine;
    engineOptions.port = console_.profile.pjlinkPort;
    engine_ = std::make_unique<Engine>(engineOptions);
}

Monitor::~Monitor() {
    Stop();
}

bool Monitor::Add(const std::string& ip, const std::string& group) {
    if (!IsUsableHostAddress(ip))
        return false;
    {
        std::lock_guard lock(mutex_);
        auto& p = projectors_[ip];
        p.group = group;
        soon_.insert(ip);
        kicked_ = true;
    }
    {
        auto table = console_.table.Lock();
        const std::string key = PjlinkKey(ip);
        Info record;
        if (!table.Lookup(key, record)) {
            record = Info(key);
            record.ip = ip;
            record.pjlink = true;
            record.freshness = 0;  // listed once it answers
        }
        record.groupName = group;
        table.Store(record);
    }
    wake_.notify_all();
    return true;
}

std::vector<std::string> Monitor::Addresses() const {
    std::lock_guard lock(mutex_);
    std::vector<std::string> ips;
    for (const auto& [ip, p] : projectors_)
        ips.push_back(ip);
    return ips;
}

bool Monitor::Knows(const std::string& ip) const {
    std::lock_guard lock(mutex_);
    return projectors_.count(ip) != 0;
}

void Monitor::SetGroup(const std::string& ip, const std::string& group) {
    {
        std::lock_guard lock(mutex_);
        auto it = projectors_.find(ip);
        if (it == projectors_.end())
            return;
        it->second.group = group;
    }
    auto table = console_.table.Lock();
    if (Info* record = table.Find(PjlinkKey(ip)))
        record->groupName = group;
}

void Monitor::Start() {
    std::lock_guard lock(mutex_);
    if (thread_.joinable() || stop_)
        return;
    thread_ = StartThread(options_.engine.threadStarter, "PJLink polling", [this] { Run(); });
}

void Monitor::Stop() {
    {
        std::lock_guard lock(mutex_);
        stop_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable())
        thread_.join();
    engine_->Stop();  // every exchange in flight ends now, with Failure::Stopped
}

void Monitor::PollSoon(const std::string& ip) {
    {
        std::lock_guard lock(mutex_);
        soon_.insert(ip);
        kicked_ = true;
    }
    wake_.notify_all();
}

void Monitor::PollAllSoon() {
    {
        std::lock_guard lock(mutex_);
        for (const auto& [ip, p] : projectors_)
            soon_.insert(ip);
        kicked_ = true;
    }
    wake_.notify_all();
}

uint64_t Monitor::Polls() const {
    std::lock_guard lock(mutex_);
    return polls_;
}

std::optional<Status> Monitor::StatusOf(const std::string& ip) const {
    std::lock_guard lock(mutex_);
    auto it = projectors_.find(ip);
    if (it == projectors_.end() || !it->second.polled)
        return std::nullopt;
    return it->second.status;
}

std::string Monitor::PasswordFor(const std::string& ip) const {
    return options_.password ? options_.password(ip) : std::string();
}

void Monitor::Run() {
    std::unique_lock lock(mutex_);
    while (!stop_) {
        lock.unlock();
        const auto next = Look();
        lock.lock();
        wake_.wait_for(lock, next, [this] { return stop_ || kicked_; });
        kicked_ = false;
    }
}

std::chrono::milliseconds Monitor::Look() {
    // Due: minIntervalMs after the end of the last poll (answered or not), or asked for now.
    // The next look comes when the next projector falls due, so the rhythm is not stretched
    // by the time between looks.
    std::vector<std::string> due;
    uint32_t untilNext = std::numeric_limits<uint32_t>::max();
    {
        std::lock_guard lock(mutex_);
        const uint32_t now = console_.clock.TickMs();
        for (auto& [ip, p] : projectors_) {
            if (inFlight_.count(ip) != 0)
                continue;
            const bool asked = soon_.erase(ip) != 0;
            const uint32_t elapsed = TickElapsed(now, p.lastEnd);
            if (asked || !p.tried || elapsed >= options_.minIntervalMs) {
                inFlight_.insert(ip);
                due.push_back(ip);
            } else {
                untilNext = std::min(untilNext, options_.minIntervalMs - elapsed);
            }
        }
    }
    for (const std::string& ip : due)
        Poll(ip, LinesFor(ip));
    return std::min(options_.look, std::chrono::milliseconds(std::max<uint32_t>(untilNext, 1)));
}

std::vector<std::string> Monitor::LinesFor(const std::string& ip) const {
    std::lock_guard lock(mutex_);
    auto it = projectors_.find(ip);
    const Status* status =
        it != projectors_.end() && it->second.polled ? &it->second.status : nullptr;
    std::vector<std::string> lines = PollCommands(status ? status->commandClass : 1);
    if (status && status->commandClass >= 2) {
        // Input names change rarely: asked for until each input has one.
        for (const Input& input : status->inputs) {
            const bool named =
                std::any_of(status->inputNames.begin(), status->inputNames.end(),
                            [&input](const auto& entry) { return entry.first == input.Code(); });
            if (!named) {
                // Appended rather than "?" + code: GCC's -O3 warns (wrongly) on the latter.
                std::string query = "?";
                query += input.Code();
                lines.push_back(BuildCommand(2, "INNM", query));
            }
        }
    }
    return lines;
}

void Monitor::Poll(const std::string& ip, std::vector<std::string> lines) {
    auto shared = std::make_shared<std::vector<std::string>>(std::move(lines));
    engine_->Send(ip, *shared, PasswordFor(ip), [this, ip, shared](Exchange exchange) {
        OnPoll(ip, *shared, std::move(exchange));
    });
}

void Monitor::OnPoll(const std::string& ip, const std::vector<std::string>& lines,
                     Exchange exchange) {
    // The poll ended now, before its row changes: whoever sees the row changed sees a
    // poll that ended no later than that.
    const uint32_t endedAt = console_.clock.TickMs();
    bool stored = false;
    bool dropped = false;
    bool classChanged = false;
    std::optional<Info> told;
    PresenceEvent event = PresenceEvent::kPollFailed;
    if (exchange.failure != Failure::Stopped) {
        Status status;
        std::string group;
        {
            std::lock_guard lock(mutex_);
            auto it = projectors_.find(ip);
            if (it != projectors_.end()) {
                status = it->second.status;
                group = it->second.group;
            }
        }
        const int classBefore = status.commandClass;
        ApplyExchange(lines, exchange.replies, status);
        const bool answered = exchange.failure == Failure::None;
        const bool refused = exchange.failure == Failure::PasswordRefused;
        if (answered || refused) {
            classChanged = status.commandClass != classBefore;
            {
                std::lock_guard lock(mutex_);
                auto it = projectors_.find(ip);
                if (it != projectors_.end() && answered) {
                    it->second.status = status;
                    it->second.polled = true;
                }
                ++polls_;
            }
            auto table = console_.table.Lock();
            if (Info* record = table.Find(PjlinkKey(ip))) {
                // An answer is a sign of life, a refused password too: the row says why it
                // shows nothing else.
                record->freshness = kFreshnessOnAnswer;
                record->pollTick = console_.clock.TickMs();
                record->groupName = group;
                if (refused) {
                    record->power = std::string(kPasswordRefusedText);
                } else {
                    FillRecord(status, *record);
                }
                stored = true;
                event = PresenceEvent::kAnswered;
                if (console_.presence.Active())
                    told = *record;
            }
        } else {
            // A silent poll counts as a silent discovery cycle does for the other rows.
            auto table = console_.table.Lock();
            if (Info* record = table.Find(PjlinkKey(ip))) {
                if (console_.autoSearchEnabled.load() && record->freshness > 0) {
                    --record->freshness;
                    dropped = record->freshness == kListedFreshness - 1;
                }
                if (console_.presence.Active())
                    told = *record;
            }
        }
    }
    if (told) {
        console_.presence.Tell(event, *told);
        if (dropped)
            console_.presence.Tell(PresenceEvent::kDropped, *told);
    }
    {
        std::lock_guard lock(mutex_);
        inFlight_.erase(ip);
        if (auto it = projectors_.find(ip); it != projectors_.end()) {
            it->second.tried = true;
            it->second.lastEnd = endedAt;
        }
        // A class-2 projector found on its first poll is asked its class-2 details at once.
        if (stored && classChanged) {
            soon_.insert(ip);
            kicked_ = true;
        }
    }
    wake_.notify_all();
}

struct Monitor::QueryState {
    Status status;
    bool askedClass2 = false;
    bool askedNames = false;
    int exchanges = 0;
    QueryDone done;
};

void Monitor::Query(const std::string& ip, QueryDone done) {
    auto query = std::make_shared<QueryState>();
    query->done = std::move(done);
    // The class the polling learned saves a round; unknown, class 1 is asked first.
    if (const auto known = StatusOf(ip))
        query->status.commandClass = known->commandClass;
    QueryNext(ip, std::move(query));
}

void Monitor::QueryNext(const std::string& ip, std::shared_ptr<QueryState> query) {
    Status& status = query->status;
    std::vector<std::string> lines;
    const auto addClass2 = [&lines, &query] {
        for (const char* name : {"SVER", "SNUM", "FILT", "INST", "FREZ"})
            lines.push_back(BuildCommand(2, name, "?"));
        query->askedClass2 = true;
    };
    if (query->exchanges == 0) {
        lines = PollCommands(status.commandClass);
        if (status.commandClass >= 2) {
            lines.push_back(BuildCommand(2, "FREZ", "?"));
            query->askedClass2 = true;
        }
    } else if (status.commandClass >= 2) {
        if (!query->askedClass2)
            addClass2();
        if (!query->askedNames) {
            // The inputs are known from the first exchange's INST: name each once.
            for (const Input& input : status.inputs)
                lines.push_back(BuildCommand(2, "INNM", "?" + input.Code()));
            query->askedNames = true;
        }
    }
    if (lines.empty()) {
        query->done(Failure::None, std::move(status));
        return;
    }
    ++query->exchanges;
    auto sent = std::make_shared<std::vector<std::string>>(lines);
    engine_->Send(ip, std::move(lines), PasswordFor(ip),
                  [this, ip, query, sent](Exchange exchange) {
                      ApplyExchange(*sent, exchange.replies, query->status);
                      if (exchange.failure != Failure::None) {
                          query->done(exchange.failure, std::move(query->status));
                          return;
                      }
                      QueryNext(ip, query);
                  });
}

bool Monitor::HandleSearchDatagram(std::string_view text, const std::string& sender) {
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n'))
        text.remove_suffix(1);
    const bool ack = text.substr(0, 7) == "%2ACKN=";
    const bool linkUp = text.substr(0, 7) == "%2LKUP=";
    if (!ack && !linkUp)
        return false;
    const std::string mac = NormalizeMac(text.substr(7));
    if (mac.empty() || !IsUsableHostAddress(sender))
        return false;
    bool known = false;
    {
        std::lock_guard lock(mutex_);
        known = projectors_.count(sender) != 0;
    }
    if (!known) {
        if (!ack)
            return true;  // a link coming up elsewhere is not ours to add
        Add(sender);
    }
    {
        auto table = console_.table.Lock();
        if (Info* record = table.Find(PjlinkKey(sender))) {
            record->pjlinkMac = mac;
            // Answering the search is a sign of life, as a discovery answer is.
            record->freshness = kFreshnessOnAnswer;
        }
    }
    if (linkUp)
        PollSoon(sender);
    return true;
}

void Monitor::Command(const std::vector<std::string>& ips,
                      const std::function<std::vector<std::string>(const std::string& ip,
                                                                   std::string& skipped)>& linesFor,
                      std::function<void(std::vector<CommandResult>)> done) {
    struct Gather {
        std::mutex mutex;
        std::vector<CommandResult> results;
        size_t remaining = 0;
        std::function<void(std::vector<CommandResult>)> done;
    };
    auto gather = std::make_shared<Gather>();
    gather->done = std::move(done);
    gather->remaining = ips.size() + 1;  // one for this call until every send is out
    auto finishOne = [gather](CommandResult result) {
        std::vector<CommandResult> all;
        {
            std::lock_guard lock(gather->mutex);
            if (!result.ip.empty())
                gather->results.push_back(std::move(result));
            if (--gather->remaining != 0)
                return;
            all = std::move(gather->results);
        }
        gather->done(std::move(all));
    };
    for (const std::string& ip : ips) {
        std::string skipped;
        std::vector<std::string> lines = linesFor(ip, skipped);
        if (lines.empty()) {
            finishOne({ip, false, skipped.empty() ? "nothing to send" : skipped});
            continue;
        }
        engine_->Send(ip, lines, PasswordFor(ip), [this, ip, finishOne](Exchange exchange) {
            CommandResult result{ip, false, FailureText(exchange.failure)};
            if (exchange.failure == Failure::None) {
                result.ok = true;
                result.text = "OK";
                for (const std::string& line : exchange.replies) {
                    const Reply reply = ParseReply(line);
                    if (reply.outcome != Outcome::Ok && reply.outcome != Outcome::Value) {
                        result.ok = false;
                        result.text = OutcomeText(reply.outcome);
                    }
                }
                PollSoon(ip);  // the row shows the new state without waiting 15 seconds
            }
            finishOne(std::move(result));
        });
    }
    finishOne({});
}

}  // namespace vistrel::pjlink
