#include "cli/network_commands.h"

#include <algorithm>
#include <chrono>
#include <map>
#include <optional>
#include <set>
#include <thread>

#include "cli/listing.h"
#include "cli/pjlink_commands.h"
#include "health/health_report.h"
#include "health/health_thresholds.h"
#include "monitor/discovery.h"
#include "monitor/udp_socket.h"
#include "pjlink/pjlink_monitor.h"
#include "pjlink/pjlink_store.h"
#include "protocol/codec.h"
#include "protocol/console.h"
#include "protocol/option_tables.h"
#include "protocol/text_encoding.h"
#include "store/broadcast_list.h"
#include "store/reg_store.h"

namespace vistrel::cli {
namespace {

using SteadyClock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr milliseconds kDefaultDiscoveryWait{2000};
// How long status waits for the identities of projectors it was given by address.
constexpr milliseconds kDefaultIdentityWait{1000};
constexpr milliseconds kProbeRepeat{1000};
constexpr milliseconds kPowerPollPeriod{1000};

milliseconds WaitOr(const CliContext& context, milliseconds fallback) {
    if (!context.options.waitSeconds)
        return fallback;
    return milliseconds(static_cast<int64_t>(*context.options.waitSeconds * 1000.0));
}

void PrintDiscoveryFailure(const CliContext& context, const DiscoveryFailure& failure) {
    context.Err() << "vistrel-cli: " << failure.reason << '\n'
                  << "  " << failure.remedy << '\n'
                  << "  (A test or simulated fleet can use other ports: --discovery-port N, "
                     "--bind ADDR, --broadcast ADDR.)\n";
}

int MsUntil(SteadyClock::time_point until) {
    const auto left = std::chrono::duration_cast<milliseconds>(until - SteadyClock::now());
    return static_cast<int>(std::max<int64_t>(left.count(), 0));
}

}  // namespace

bool CollectByBroadcast(const CliContext& context, Console& console, milliseconds wait,
                        const std::function<bool()>& done, std::string* failure) {
    Discovery discovery(console);
    // Not opened, or opened but the probe could not be sent.
    if (!discovery.OpenDiscovery() || discovery.Failure()) {
        PrintDiscoveryFailure(context, *discovery.Failure());
        if (failure)
            *failure = discovery.Failure()->reason;
        return false;
    }
    const auto end = SteadyClock::now() + wait;
    while (!context.Stopped()) {
        const auto until = std::min(end, SteadyClock::now() + kProbeRepeat);
        discovery.HandleAnswersFor(milliseconds(MsUntil(until)));
        if (done && done())
            break;
        // Back early only on a socket error: keep the rhythm rather than probe in a loop.
        std::this_thread::sleep_until(until);
        if (SteadyClock::now() >= end || (done && done()))
            break;
        discovery.Broadcast();  // a lost probe or answer costs one repeat, not the run
    }
    return true;
}

std::map<std::string, std::string> IdentifyByProbe(const CliContext& context,
                                                   const std::vector<std::string>& ips,
                                                   milliseconds wait) {
    const NetworkProfile& profile = context.options.profile;
    Console console(profile, context.env.clock);
    Discovery reader(console);
    UdpSocket socket;
    // Projectors may answer on the discovery port rather than to the sender's port; take it
    // when it is free, any port otherwise. On the projectors' port it is never shared: a
    // console window there keeps its answers.
    const auto use = profile.SharesDiscoveryPort() ? UdpSocket::PortUse::kShared
                                                   : UdpSocket::PortUse::kExclusive;
    if (!socket.Open(profile.bindAddress, profile.discoveryPort, use) &&
        !socket.Open(profile.bindAddress, 0)) {
        return {};
    }
    for (const std::string& ip : ips)
        socket.SendTo(ip, profile.discoveryPort, kProbeText);

    std::set<std::string> pending(ips.begin(), ips.end());
    const auto end = SteadyClock::now() + wait;
    while (!pending.empty() && MsUntil(end) > 0 && socket.WaitReadable(MsUntil(end))) {
        std::string datagram, sender;
        uint16_t port = 0;
        while (socket.Receive(datagram, sender, port) == UdpSocket::ReceiveStatus::kDatagram) {
            reader.ProcessAnswer(datagram, sender);
            pending.erase(sender);
        }
    }
    std::map<std::string, std::string> macs;
    auto table = console.table.Lock();
    for (const Info& info : table.Records())
        macs[info.ip] = info.mac;
    return macs;
}

namespace {

int ExitFor(bool allOk) {
    return allOk ? kExitOk : kExitProjectorFailed;
}

Listing ResultListing(const std::vector<ExchangeResult>& results, bool& allOk) {
    Listing listing;
    listing.columns = {{"ip", "IP"}, {"result", "RESULT"}};
    allOk = true;
    for (const ExchangeResult& r : results) {
        const Outcome outcome = CommandOutcome(r);
        allOk = allOk && outcome == Outcome::Ok;
        listing.AddRow({Cell::Text(r.ip), Cell::Text(std::string(OutcomeText(outcome)))});
    }
    return listing;
}

}  // namespace

HttpOptions CliContext::Http() const {
    HttpOptions http;
    http.port = options.profile.httpPort;
    if (options.timeoutMs) {
        http.totalTimeoutMs = *options.timeoutMs;
        http.connectTimeoutMs = std::min(http.connectTimeoutMs, *options.timeoutMs);
    }
    return http;
}

NetworkProfile CliContext::DiscoveryProfile() const {
    NetworkProfile profile = options.profile;
    if (options.broadcastGiven)
        return profile;
    RegStore store(StorePath(), options.appName, env.clock);
    for (const std::string& address : LoadDirectedBroadcasts(store)) {
        if (address != profile.broadcastAddress)
            profile.directedBroadcasts.push_back(address);
    }
    return profile;
}

// Rows of a listing in the order their addresses were given, when they were given.
void OrderAsGiven(const CliContext& context, std::vector<std::vector<Cell>>& rows,
                  size_t ipColumn) {
    const auto& given = context.options.ips;
    if (given.empty())
        return;
    const auto rank = [&given, ipColumn](const std::vector<Cell>& row) {
        return std::find(given.begin(), given.end(), row[ipColumn].text) - given.begin();
    };
    std::stable_sort(rows.begin(), rows.end(),
                     [&rank](const auto& a, const auto& b) { return rank(a) < rank(b); });
}

int RunDiscover(const CliContext& context) {
    Console console(context.DiscoveryProfile(), context.env.clock);
    if (!CollectByBroadcast(context, console, WaitOr(context, kDefaultDiscoveryWait))) {
        return kExitUsage;
    }
    Listing listing;
    listing.columns = {{"mac", "MAC"}, {"ip", "IP"}};
    auto table = console.table.Lock();
    for (const Info& info : table.Records()) {
        listing.AddRow({Cell::Text(info.mac), Cell::Text(info.ip)});
    }
    Render(listing, context.options.format, context.Out());
    return kExitOk;
}

namespace {

// The projectors status and health report: those given by address (with the identities a
// probe finds), or every projector that answers discovery and every PJLink projector the store
// remembers. The PJLink ones go to `pjlinkIps`. Nullopt when discovery cannot run; `failure`
// then says why.
std::optional<std::vector<Info>> StatusTargets(const CliContext& context, std::string* failure,
                                               std::vector<std::string>& pjlinkIps) {
    std::vector<Info> targets;
    if (context.options.ips.empty()) {
        for (const auto& [ip, group] : StoredPjlink(context))
            pjlinkIps.push_back(ip);
        Console console(context.DiscoveryProfile(), context.env.clock);
        const milliseconds wait = WaitOr(context, kDefaultDiscoveryWait);
        if (!CollectByBroadcast(context, console, wait, {}, failure))
            return std::nullopt;
        auto table = console.table.Lock();
        targets = table.Records();
        if (targets.empty() && pjlinkIps.empty()) {
            context.Err() << "vistrel-cli: no projector answered discovery within "
                          << wait.count() / 1000.0 << " s\n";
        }
    } else {
        std::vector<std::string> ips;
        SplitPjlink(context, context.options.ips, pjlinkIps, ips);
        const auto macs =
            ips.empty() ? std::map<std::string, std::string>()
                        : IdentifyByProbe(context, ips, WaitOr(context, kDefaultIdentityWait));
        for (const std::string& ip : ips) {
            Info info;
            info.ip = ip;
            if (auto it = macs.find(ip); it != macs.end())
                info.mac = it->second;
            targets.push_back(std::move(info));
        }
    }
    return targets;
}

// Asks each target for its info, then its group, as the polling thread does, and fills the
// records in. Per target: whether the info request was answered, and the outcome of both.
struct Look {
    bool answered = false;
    Outcome outcome = Outcome::Ok;
};

std::vector<Look> LookAt(const CliContext& context, std::vector<Info>& targets) {
    std::vector<std::string> ips;
    for (const Info& info : targets)
        ips.push_back(info.ip);
    ProjectorClient client(context.Http());
    const auto infos = client.SendToAll(ips, QueryBody(QueryTopic::Info));
    const auto groups = client.SendToAll(ips, QueryBody(QueryTopic::Group));
    std::vector<Look> looks(targets.size());
    for (size_t i = 0; i < targets.size(); ++i) {
        Info& info = targets[i];
        Outcome outcome = QueryOutcome(infos[i], false);
        if (!infos[i].reply.empty()) {
            outcome = QueryOutcome(infos[i], ParseInfoReply(infos[i].reply, info));
        }
        looks[i].answered = outcome == Outcome::Ok;
        if (outcome == Outcome::Ok) {
            outcome = QueryOutcome(groups[i], ParseGroupReply(groups[i].reply, info));
        }
        looks[i].outcome = outcome;
    }
    return looks;
}

}  // namespace

int RunStatus(const CliContext& context) {
    std::vector<std::string> pjlinkIps;
    auto targets = StatusTargets(context, nullptr, pjlinkIps);
    if (!targets)
        return kExitUsage;
    const std::vector<Look> looks = LookAt(context, *targets);
    std::vector<PjlinkLook> pjlinkLooks;
    if (!pjlinkIps.empty())
        pjlinkLooks = PjlinkSession(context).LookAt(pjlinkIps);

    Listing listing;
    listing.columns = {{"mac", "MAC"},
                       {"ip", "IP"},
                       {"group", "GROUP"},
                       {"name", "NAME"},
                       {"power", "POWER"},
                       {"source", "SOURCE"},
                       {"lampHours", "LAMP HOURS"},
                       {"displayMode", "DISPLAY MODE"},
                       {"firmware", "FIRMWARE"},
                       {"result", "RESULT"}};
    bool allOk = true;
    for (size_t i = 0; i < targets->size(); ++i) {
        const Info& info = (*targets)[i];
        const Outcome outcome = looks[i].outcome;
        allOk = allOk && outcome == Outcome::Ok;
        const auto text = [](const std::string& s) { return Cell::Text(s); };
        listing.AddRow({text(info.mac), text(info.ip), text(info.groupName),
                        text(info.projectorName), text(info.power), text(info.source),
                        text(info.lampHour), text(info.displayMode), text(info.fwVersion),
                        Cell::Text(std::string(OutcomeText(outcome)))});
    }
    for (const PjlinkLook& look : pjlinkLooks) {
        const Info& info = look.record;
        allOk = allOk && look.failure == pjlink::Failure::None;
        const auto text = [](const std::string& s) { return Cell::Text(s); };
        // PJLink has no MAC to ask for; the class-2 search tells the window one.
        listing.AddRow({text(info.pjlinkMac), text(info.ip), text(info.groupName),
                        text(info.projectorName), text(info.power), text(info.source),
                        text(info.lampHour), text(info.displayMode), text(info.fwVersion),
                        text(look.Result())});
    }
    OrderAsGiven(context, listing.rows, 1);
    Render(listing, context.options.format, context.Out());
    return ExitFor(allOk);
}

int RunHealth(const CliContext& context) {
    const CliOptions& options = context.options;
    const bool check = options.healthCheck;
    // Monitoring systems read the first line of standard output and the exit status only.
    const auto unknown = [&](const std::string& reason) {
        const CheckResult result = UnknownCheck(reason);
        context.Out() << result.line << '\n';
        return static_cast<int>(result.status);
    };
    std::string failure;
    std::vector<std::string> pjlinkIps;
    auto targets = StatusTargets(context, &failure, pjlinkIps);
    if (!targets)
        return check ? unknown(failure) : kExitUsage;
    if (check && targets->empty() && pjlinkIps.empty())
        return unknown("no projector answered discovery");

    RegStore store(context.StorePath(), options.appName, context.env.clock);
    const HealthThresholds thresholds = LoadHealthThresholds(store);
    const int64_t now = context.env.clock.Now();
    const std::vector<Look> looks = LookAt(context, *targets);
    std::vector<HealthRow> rows;
    bool allAnswered = true;
    for (size_t i = 0; i < targets->size(); ++i) {
        rows.push_back(HealthFromLook((*targets)[i], looks[i].answered, thresholds, now));
        allAnswered = allAnswered && looks[i].answered;
    }
    if (!pjlinkIps.empty()) {
        for (PjlinkLook& look : PjlinkSession(context).LookAt(pjlinkIps)) {
            const bool answered = look.failure == pjlink::Failure::None;
            if (!answered)
                look.record.power = look.Result();    // why it tells nothing, as its row says
            look.record.mac = look.record.pjlinkMac;  // not the window's internal key
            rows.push_back(HealthFromLook(look.record, answered, thresholds, now));
            allAnswered = allAnswered && answered;
        }
    }
    const HealthReport report = MakeHealthReport(std::move(rows), thresholds, now);

    if (check) {
        const CheckResult result = MonitoringCheck(report);
        context.Out() << result.line << '\n';
        return static_cast<int>(result.status);
    }
    switch (options.format) {
        case OutputFormat::Json:
            context.Out() << HealthJson(report);
            break;
        case OutputFormat::Csv:
            context.Out() << HealthCsv(report);
            break;
        case OutputFormat::Table: {
            Listing listing;
            listing.columns = {{"mac", "MAC"},           {"ip", "IP"},
                               {"group", "GROUP"},       {"name", "NAME"},
                               {"power", "POWER"},       {"lampHours", "LAMP HOURS"},
                               {"firmware", "FIRMWARE"}, {"state", "STATE"}};
            for (const HealthRow& row : report.rows) {
                const ProjectorHealth& h = row.health;
                listing.AddRow({Cell::Text(h.mac), Cell::Text(h.ip), Cell::Text(row.group),
                                Cell::Text(row.name), Cell::Text(h.power),
                                h.lampHours ? Cell::Number(*h.lampHours) : Cell::Null(),
                                Cell::Text(h.fwVersion),
                                Cell::Text(std::string(HealthStateName(h.state)))});
            }
            Render(listing, OutputFormat::Table, context.Out());
            context.Out() << SummaryLine(report.counts, report.thresholds) << '\n';
            break;
        }
    }
    return ExitFor(allAnswered);
}

int RunPower(const CliContext& context) {
    const bool on = context.options.powerOn;
    std::vector<std::string> pjlinkIps, ips;
    SplitPjlink(context, context.options.ips, pjlinkIps, ips);
    // The rows of the task-command table are the console's own power commands.
    const std::string body =
        BuildCommand(CommandAt(kTaskCommandTable, on ? kTaskPowerOn : kTaskPowerOff));
    ProjectorClient client(context.Http());
    const auto results = client.SendToAll(ips, body);
    bool allOk = true;
    Listing listing = ResultListing(results, allOk);
    std::optional<PjlinkSession> pjlink;
    if (!pjlinkIps.empty()) {
        pjlink.emplace(context);
        const std::vector<std::string> line = {pjlink::BuildCommand(1, "POWR", on ? "1" : "0")};
        const auto exchanges = pjlink->ExchangeAll(pjlinkIps, [&line](size_t) { return line; });
        for (size_t i = 0; i < pjlinkIps.size(); ++i) {
            std::string text;
            allOk = ExchangeSucceeded(exchanges[i], text) && allOk;
            listing.AddRow({Cell::Text(pjlinkIps[i]), Cell::Text(text)});
        }
    }
    OrderAsGiven(context, listing.rows, 0);
    if (!context.options.waitSeconds) {
        Render(listing, context.options.format, context.Out());
        return ExitFor(allOk);
    }

    // Ask every projector for its power state until it reports the one asked for.
    const auto reachedState = [on](const std::string& power) {
        return on ? power == "ON" : (power == "OFF" || power == "standby");
    };
    std::map<std::string, std::string> lastPower;
    std::set<std::string> pending(context.options.ips.begin(), context.options.ips.end());
    const auto end = SteadyClock::now() +
                     milliseconds(static_cast<int64_t>(*context.options.waitSeconds * 1000));
    const std::vector<std::string> powerQuery = {pjlink::BuildCommand(1, "POWR", "?")};
    for (;;) {
        std::vector<std::string> ask, askPjlink;
        for (const std::string& ip : ips) {
            if (pending.count(ip))
                ask.push_back(ip);
        }
        for (const std::string& ip : pjlinkIps) {
            if (pending.count(ip))
                askPjlink.push_back(ip);
        }
        for (const ExchangeResult& r : client.SendToAll(ask, QueryBody(QueryTopic::Info))) {
            if (r.reply.empty())
                continue;
            Info info;
            ParseInfoReply(r.reply, info);
            lastPower[r.ip] = info.power;
            if (reachedState(info.power))
                pending.erase(r.ip);
        }
        const auto answers =
            askPjlink.empty() ? std::vector<pjlink::Exchange>()
                              : pjlink->ExchangeAll(askPjlink, [&](size_t) { return powerQuery; });
        for (size_t i = 0; i < answers.size(); ++i) {
            if (answers[i].failure != pjlink::Failure::None || answers[i].replies.empty())
                continue;
            const pjlink::Reply reply = pjlink::ParseReply(answers[i].replies.front());
            const auto power = pjlink::ParsePower(reply.value);
            if (reply.outcome != pjlink::Outcome::Value || !power)
                continue;
            lastPower[askPjlink[i]] = pjlink::PowerLabel(*power);
            if (*power == (on ? pjlink::Power::On : pjlink::Power::Standby))
                pending.erase(askPjlink[i]);
        }
        if (pending.empty() || context.Stopped())
            break;
        const auto next = SteadyClock::now() + kPowerPollPeriod;
        if (next >= end)
            break;
        std::this_thread::sleep_until(next);
    }

    listing.columns.push_back({"power", "POWER"});
    listing.columns.push_back({"reached", "REACHED"});
    for (size_t i = 0; i < listing.rows.size(); ++i) {
        const std::string ip = listing.rows[i][0].text;
        const auto seen = lastPower.find(ip);
        listing.rows[i].push_back(seen == lastPower.end() ? Cell::Null()
                                                          : Cell::Text(seen->second));
        const bool reached = !pending.count(ip);
        listing.rows[i].push_back(Cell::Bool(reached));
        allOk = allOk && reached;
    }
    Render(listing, context.options.format, context.Out());
    if (!pending.empty()) {
        context.Err() << "vistrel-cli: " << pending.size() << " projector"
                      << (pending.size() == 1 ? " did" : "s did") << " not report "
                      << (on ? "ON" : "OFF") << " within " << *context.options.waitSeconds
                      << " s\n";
    }
    return ExitFor(allOk);
}

namespace {

// Source for PJLink projectors: each is asked for its inputs, then sent the one that stands for
// the label; one without such an input is skipped, and said so.
void PjlinkSource(const CliContext& context, const std::vector<std::string>& ips, Listing& listing,
                  bool& allOk) {
    PjlinkSession session(context);
    const std::vector<std::string> askInputs = {pjlink::BuildCommand(1, "INST", "?")};
    const auto inputs = session.ExchangeAll(ips, [&askInputs](size_t) { return askInputs; });
    std::vector<std::vector<std::string>> lines(ips.size());
    std::vector<std::string> results(ips.size());
    for (size_t i = 0; i < ips.size(); ++i) {
        if (!ExchangeSucceeded(inputs[i], results[i]))
            continue;
        pjlink::Status status;
        if (!inputs[i].replies.empty())
            pjlink::ApplyReply(pjlink::ParseReply(inputs[i].replies.front()), status);
        const std::string& label = context.options.sourceLabel;
        if (const auto input = pjlink::InputForSource(label, status)) {
            lines[i] = {pjlink::BuildCommand(1, "INPT", *input)};
        } else {
            results[i] = "skipped: no " + label + " input";
            context.Err() << "vistrel-cli: " << ips[i] << ": source " << label
                          << " skipped: this PJLink projector has no such input\n";
        }
    }
    const auto sent = session.ExchangeAll(ips, [&lines](size_t i) { return lines[i]; });
    for (size_t i = 0; i < ips.size(); ++i) {
        bool ok = false;
        if (!lines[i].empty())
            ok = ExchangeSucceeded(sent[i], results[i]);
        allOk = allOk && ok;
        listing.AddRow({Cell::Text(ips[i]), Cell::Text(results[i])});
    }
}

}  // namespace

int RunSource(const CliContext& context) {
    std::vector<std::string> pjlinkIps, ips;
    SplitPjlink(context, context.options.ips, pjlinkIps, ips);
    int position = 0;
    for (int i = 0; i < RowCount(kSourceTable); ++i) {
        if (LabelAt(kSourceTable, i) == context.options.sourceLabel)
            position = i;
    }
    // "None" has no command: the console sends the bare "command=", and so does this.
    const std::string body = BuildCommand(CommandAt(kSourceTable, position));
    ProjectorClient client(context.Http());
    bool allOk = true;
    Listing listing = ResultListing(client.SendToAll(ips, body), allOk);
    if (!pjlinkIps.empty())
        PjlinkSource(context, pjlinkIps, listing, allOk);
    OrderAsGiven(context, listing.rows, 0);
    Render(listing, context.options.format, context.Out());
    return ExitFor(allOk);
}

void RememberGroup(const CliContext& context, const std::string& groupName) {
    // The console lists a group that its store knows; make sure it knows this one.
    if (groupName.empty())
        return;
    RegStore store(context.StorePath(), context.options.appName, context.env.clock);
    bool known = false;
    for (const std::string& name : store.LoadGroupNames())
        known = known || KeyNamesEqual(name, groupName);
    if (!known && !store.OpenGroupKey(groupName, kGroupKeyRoot, 0)) {
        context.Err() << "vistrel-cli: the group could not be added to the console's list: "
                      << store.LastError() << '\n';
    }
}

namespace {

// group set for PJLink projectors: the console keeps their group (PJLink has none) and their
// name is their own.
void PjlinkGroupSet(const CliContext& context, const std::vector<std::string>& ips,
                    Listing& listing, bool& allOk, bool& anyOk) {
    RegStore store(context.StorePath(), context.options.appName, context.env.clock);
    for (const std::string& ip : ips) {
        std::string result = "OK";
        if (context.options.projectorName) {
            result = "a PJLink projector keeps its own name";
        } else if (!pjlink::SaveProjector(store, ip, context.options.groupName)) {
            result = "the store could not be written: " + store.LastError();
        }
        const bool ok = result == "OK";
        allOk = allOk && ok;
        anyOk = anyOk || ok;
        listing.AddRow({Cell::Text(ip), Cell::Text(context.options.groupName), Cell::Null(),
                        Cell::Text(result)});
    }
}

}  // namespace

int RunGroupSet(const CliContext& context) {
    std::vector<std::string> pjlinkIps, ips;
    SplitPjlink(context, context.options.ips, pjlinkIps, ips);
    ProjectorClient client(context.Http());
    std::vector<std::string> names(ips.size());
    std::vector<std::optional<Outcome>> failed(ips.size());
    // Typed names go out in the projector's 8-bit encoding, as the console's pages send them.
    std::string refused;
    const auto group = ProjectorTextFromUtf8(context.options.groupName, &refused);
    const auto typedName = context.options.projectorName
                               ? ProjectorTextFromUtf8(*context.options.projectorName, &refused)
                               : std::optional<std::string>(std::string());
    if (!group || !typedName) {
        context.Err() << "vistrel-cli: the character \"" << refused
                      << "\" cannot be stored by a projector\n";
        return kExitUsage;
    }
    if (context.options.projectorName) {
        std::fill(names.begin(), names.end(), *typedName);
    } else {
        // The record carries both names: keep each projector's own.
        const auto replies = client.SendToAll(ips, QueryBody(QueryTopic::Group));
        for (size_t i = 0; i < ips.size(); ++i) {
            Info info;
            const Outcome outcome =
                QueryOutcome(replies[i], ParseGroupReply(replies[i].reply, info));
            if (outcome == Outcome::Ok) {
                names[i] = info.projectorName;
            } else {
                failed[i] = outcome;
            }
        }
    }

    std::vector<ExchangeRequest> requests;
    std::vector<size_t> sentIndex;
    for (size_t i = 0; i < ips.size(); ++i) {
        if (failed[i])
            continue;
        requests.push_back({ips[i], BuildGroupRecord(*group, names[i])});
        sentIndex.push_back(i);
    }
    const auto results = client.Exchange(requests);
    std::vector<Outcome> outcomes(ips.size(), Outcome::Ok);
    for (size_t i = 0; i < ips.size(); ++i) {
        if (failed[i])
            outcomes[i] = *failed[i];
    }
    for (size_t k = 0; k < results.size(); ++k)
        outcomes[sentIndex[k]] = CommandOutcome(results[k]);

    Listing listing;
    listing.columns = {{"ip", "IP"}, {"group", "GROUP"}, {"name", "NAME"}, {"result", "RESULT"}};
    bool allOk = true;
    bool anyOk = false;
    for (size_t i = 0; i < ips.size(); ++i) {
        allOk = allOk && outcomes[i] == Outcome::Ok;
        anyOk = anyOk || outcomes[i] == Outcome::Ok;
        listing.AddRow({Cell::Text(ips[i]), Cell::Text(context.options.groupName),
                        failed[i] ? Cell::Null() : Cell::Text(names[i]),
                        Cell::Text(std::string(OutcomeText(outcomes[i])))});
    }
    if (!pjlinkIps.empty()) {
        PjlinkGroupSet(context, pjlinkIps, listing, allOk, anyOk);
        OrderAsGiven(context, listing.rows, 0);
    }

    if (anyOk)
        RememberGroup(context, context.options.groupName);
    Render(listing, context.options.format, context.Out());
    return ExitFor(allOk);
}

namespace {

int RunRaw(const CliContext& context, const std::string& body, const std::string& label,
           const std::string& value) {
    ProjectorClient client(context.Http());
    const ExchangeResult r = client.SendToAll(context.options.ips, body).front();
    const Outcome outcome =
        QueryOutcome(r, !r.reply.empty() && r.reply.find(kTimeoutText) == std::string::npos);
    if (context.options.format == OutputFormat::Table) {
        if (!r.reply.empty()) {
            context.Out() << r.reply;
            if (r.reply.back() != '\n')
                context.Out() << '\n';
        }
        if (outcome != Outcome::Ok) {
            context.Err() << "vistrel-cli: " << r.ip << ": " << OutcomeText(outcome) << '\n';
        }
    } else {
        Listing listing;
        listing.columns = {{"ip", "IP"}, {label, ""}, {"reply", "REPLY"}, {"result", "RESULT"}};
        listing.AddRow({Cell::Text(r.ip), Cell::Text(value),
                        r.reply.empty() ? Cell::Null() : Cell::Text(r.reply),
                        Cell::Text(std::string(OutcomeText(outcome)))});
        Render(listing, context.options.format, context.Out());
    }
    return ExitFor(outcome == Outcome::Ok);
}

}  // namespace

int RunQuery(const CliContext& context) {
    static const std::map<std::string, QueryTopic> topics = {
        {"info", QueryTopic::Info},       {"group", QueryTopic::Group},
        {"model", QueryTopic::Model},     {"control", QueryTopic::Control},
        {"network", QueryTopic::Network}, {"user", QueryTopic::User},
        {"alert", QueryTopic::Alert}};
    const std::string body = QueryBody(topics.at(context.options.topic));
    return RunRaw(context, body, "topic", context.options.topic);
}

int RunSend(const CliContext& context) {
    return RunRaw(context, context.options.body, "body", context.options.body);
}

}  // namespace vistrel::cli
