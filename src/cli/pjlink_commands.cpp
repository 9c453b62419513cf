#include "cli/pjlink_commands.h"

#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <condition_variable>
#include <iostream>
#include <mutex>

#include "cli/listing.h"
#include "cli/network_commands.h"
#include "pjlink/pjlink_monitor.h"
#include "pjlink/pjlink_scan.h"
#include "store/reg_store.h"

namespace vistrel::cli {
namespace {

using namespace pjlink;

RegStore OpenStore(const CliContext& context) {
    return RegStore(context.StorePath(), context.options.appName, context.env.clock);
}

std::filesystem::path PasswordsFile(const CliContext& context) {
    return Passwords::DefaultPath(context.StorePath());
}

std::string StoreError(RegStore& store) {
    return "the store could not be written: " + store.LastError();
}

// The row of one stored address in the add and scan listings.
std::string Remember(RegStore& store, const std::string& ip,
                     const std::optional<std::string>& group,
                     const std::vector<std::pair<std::string, std::string>>& known, bool& ok) {
    const auto it = std::find_if(known.begin(), known.end(),
                                 [&ip](const auto& entry) { return entry.first == ip; });
    const bool wasKnown = it != known.end();
    const std::string keptGroup = group ? *group : wasKnown ? it->second : std::string();
    if (wasKnown && keptGroup == it->second)
        return "already known";
    if (!SaveProjector(store, ip, keptGroup)) {
        ok = false;
        return StoreError(store);
    }
    return wasKnown ? "already known, group set" : "added";
}

// One line of standard input, not echoed when it is a terminal.
bool ReadPasswordLine(const CliContext& context, std::string& line) {
    std::istream& in = context.env.in ? *context.env.in : std::cin;
    const bool terminal = &in == &std::cin && ::isatty(STDIN_FILENO);
    termios saved{};
    const bool quieted = terminal && ::tcgetattr(STDIN_FILENO, &saved) == 0;
    if (quieted) {
        termios quiet = saved;
        quiet.c_lflag &= ~static_cast<tcflag_t>(ECHO);
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &quiet);
        context.Err() << "PJLink password: " << std::flush;
    }
    const bool read = static_cast<bool>(std::getline(in, line));
    if (quieted) {
        ::tcsetattr(STDIN_FILENO, TCSAFLUSH, &saved);
        context.Err() << '\n';
    }
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    return read;
}

EngineOptions EngineFor(const CliContext& context) {
    EngineOptions options;
    options.port = context.options.profile.pjlinkPort;
    if (context.options.timeoutMs) {
        const std::chrono::milliseconds limit(*context.options.timeoutMs);
        options.connectTimeout = std::min(options.connectTimeout, limit);
        options.replyTimeout = limit;
    }
    return options;
}

}  // namespace

std::vector<std::pair<std::string, std::string>> StoredPjlink(const CliContext& context) {
    RegStore store = OpenStore(context);
    return LoadProjectors(store);
}

void SplitPjlink(const CliContext& context, const std::vector<std::string>& ips,
                 std::vector<std::string>& pjlinkIps, std::vector<std::string>& otherIps) {
    const auto stored = StoredPjlink(context);
    for (const std::string& ip : ips) {
        const bool known = std::any_of(stored.begin(), stored.end(),
                                       [&ip](const auto& entry) { return entry.first == ip; });
        (known ? pjlinkIps : otherIps).push_back(ip);
    }
}

int RunPjlinkAdd(const CliContext& context) {
    RegStore store = OpenStore(context);
    const auto known = LoadProjectors(store);
    Listing listing;
    listing.columns = {{"ip", "IP"}, {"group", "GROUP"}, {"result", "RESULT"}};
    bool ok = true;
    for (const std::string& ip : context.options.pjlinkAddresses) {
        const std::string result = Remember(store, ip, context.options.pjlinkGroup, known, ok);
        std::string group;
        for (const auto& [storedIp, storedGroup] : LoadProjectors(store)) {
            if (storedIp == ip)
                group = storedGroup;
        }
        listing.AddRow({Cell::Text(ip), Cell::Text(group), Cell::Text(result)});
    }
    if (ok && context.options.pjlinkGroup)
        RememberGroup(context, *context.options.pjlinkGroup);
    Render(listing, context.options.format, context.Out());
    return ok ? kExitOk : kExitUsage;
}

int RunPjlinkRemove(const CliContext& context) {
    RegStore store = OpenStore(context);
    const auto known = LoadProjectors(store);
    bool ok = true;
    Listing listing;
    listing.columns = {{"ip", "IP"}, {"result", "RESULT"}};
    for (const std::string& ip : context.options.pjlinkAddresses) {
        const bool wasKnown = std::any_of(known.begin(), known.end(),
                                          [&ip](const auto& entry) { return entry.first == ip; });
        std::string result = "not known";
        if (wasKnown) {
            result = "removed";
            if (!RemoveProjector(store, ip)) {
                result = StoreError(store);
                ok = false;
            }
        }
        listing.AddRow({Cell::Text(ip), Cell::Text(result)});
    }
    Render(listing, context.options.format, context.Out());
    return ok ? kExitOk : kExitUsage;
}

int RunPjlinkList(const CliContext& context) {
    Passwords passwords(PasswordsFile(context));
    std::string error;
    if (!passwords.Load(&error))
        context.Err() << "vistrel-cli: " << error << '\n';
    Listing listing;
    listing.columns = {{"ip", "IP"}, {"group", "GROUP"}, {"password", "PASSWORD"}};
    for (const auto& [ip, group] : StoredPjlink(context)) {
        const char* which = passwords.HasOwn(ip)   ? "own"
                            : passwords.HasFleet() ? "fleet-wide"
                                                   : "none";
        listing.AddRow({Cell::Text(ip), Cell::Text(group), Cell::Text(which)});
    }
    Render(listing, context.options.format, context.Out());
    return kExitOk;
}

int RunPjlinkScan(const CliContext& context) {
    const CliOptions& options = context.options;
    std::string why;
    const auto hosts = SubnetHosts(options.scanSubnet, why);
    if (!hosts) {
        context.Err() << "vistrel-cli: pjlink scan: " << why << '\n';
        return kExitUsage;
    }
    ScanOptions scan;
    scan.port = options.profile.pjlinkPort;
    scan.stop = context.env.stop;
    if (options.timeoutMs) {
        scan.connectTimeout = std::chrono::milliseconds(*options.timeoutMs);
        scan.greetingTimeout = std::chrono::milliseconds(*options.timeoutMs);
    }
    const auto began = std::chrono::steady_clock::now();
    const std::vector<ScanHit> hits = Scan(*hosts, scan);
    const auto took = std::chrono::duration_cast<std::chrono::milliseconds>(
        std::chrono::steady_clock::now() - began);

    Listing listing;
    listing.columns = {{"ip", "IP"}, {"password", "PASSWORD"}};
    if (options.scanAdd)
        listing.columns.push_back({"result", "RESULT"});
    bool ok = true;
    std::optional<RegStore> store;
    std::vector<std::pair<std::string, std::string>> known;
    if (options.scanAdd) {
        store.emplace(context.StorePath(), options.appName, context.env.clock);
        known = LoadProjectors(*store);
    }
    for (const ScanHit& hit : hits) {
        std::vector<Cell> row = {Cell::Text(hit.ip), Cell::Bool(hit.authenticated)};
        if (store)
            row.push_back(Cell::Text(Remember(*store, hit.ip, options.pjlinkGroup, known, ok)));
        listing.AddRow(std::move(row));
    }
    if (ok && store && !hits.empty() && options.pjlinkGroup)
        RememberGroup(context, *options.pjlinkGroup);
    Render(listing, options.format, context.Out());
    context.Err() << "vistrel-cli: " << hits.size() << " of " << hosts->size()
                  << (hosts->size() == 1 ? " address" : " addresses")
                  << " greeted as PJLink projectors on port " << options.profile.pjlinkPort << " ("
                  << took.count() / 1000.0 << " s)"
                  << (context.Stopped() ? "; the scan was stopped before the end" : "") << '\n';
    return ok ? kExitOk : kExitUsage;
}

int RunPjlinkPassword(const CliContext& context) {
    const std::string ip = context.options.passwordProjector.value_or("");
    std::string password;
    if (!ReadPasswordLine(context, password)) {
        context.Err() << "vistrel-cli: standard input ended before the password\n";
        return kExitUsage;
    }
    Passwords passwords(PasswordsFile(context));
    std::string error;
    if (!passwords.Set(ip, password, &error)) {
        context.Err() << "vistrel-cli: " << error << '\n';
        return kExitUsage;
    }
    const std::string whose =
        ip.empty() ? "the fleet-wide PJLink password" : "the PJLink password of " + ip;
    context.Out() << (password.empty() ? "Removed " : "Set ") << whose << '\n';
    return kExitOk;
}

// ---- The PJLink part of the other commands ---------------------------------------------------

std::string PjlinkLook::Result() const {
    return FailureText(failure);
}

bool ExchangeSucceeded(const Exchange& exchange, std::string& text) {
    if (exchange.failure != Failure::None) {
        text = FailureText(exchange.failure);
        return false;
    }
    text = "OK";
    for (const std::string& line : exchange.replies) {
        const Reply reply = ParseReply(line);
        if (reply.outcome != pjlink::Outcome::Ok && reply.outcome != pjlink::Outcome::Value) {
            text = OutcomeText(reply.outcome);
            return false;
        }
    }
    return true;
}

PjlinkSession::PjlinkSession(const CliContext& context)
    : passwords_(PasswordsFile(context)), engine_(std::make_unique<Engine>(EngineFor(context))) {
    std::string error;
    if (!passwords_.Load(&error))
        context.Err() << "vistrel-cli: " << error << '\n';
    for (const auto& [ip, group] : StoredPjlink(context))
        groups_[ip] = group;
}

PjlinkSession::~PjlinkSession() {
    engine_->Stop();
}

std::vector<Exchange> PjlinkSession::ExchangeAll(
    const std::vector<std::string>& ips,
    const std::function<std::vector<std::string>(size_t index)>& lines) {
    std::mutex mutex;
    std::condition_variable done;
    std::vector<Exchange> results(ips.size());
    size_t remaining = 0;
    for (size_t i = 0; i < ips.size(); ++i) {
        std::vector<std::string> commands = lines(i);
        if (commands.empty())
            continue;
        {
            std::lock_guard lock(mutex);
            ++remaining;
        }
        engine_->Send(ips[i], std::move(commands), passwords_.For(ips[i]),
                      [&, i](Exchange exchange) {
                          std::lock_guard lock(mutex);
                          results[i] = std::move(exchange);
                          if (--remaining == 0)
                              done.notify_all();
                      });
    }
    // Every exchange ends by itself: the engine bounds the connection and each reply.
    std::unique_lock lock(mutex);
    done.wait(lock, [&] { return remaining == 0; });
    return results;
}

std::vector<PjlinkLook> PjlinkSession::LookAt(const std::vector<std::string>& ips) {
    const std::vector<std::string> first = PollCommands(1);
    std::vector<PjlinkLook> looks(ips.size());
    const auto apply = [](const std::vector<std::string>& lines, const Exchange& exchange,
                          Status& status) {
        for (size_t i = 0; i < exchange.replies.size() && i < lines.size(); ++i) {
            const std::string_view line = lines[i];
            // An INNM query names its input after "?": "%2INNM ?31".
            const std::string_view innm =
                line.substr(0, 7) == "%2INNM " && line.size() >= 10 ? line.substr(8, 2) : "";
            ApplyReply(ParseReply(exchange.replies[i]), status, innm);
        }
    };
    const auto firstAnswers = ExchangeAll(ips, [&first](size_t) { return first; });
    std::vector<Status> statuses(ips.size());
    std::vector<std::vector<std::string>> more(ips.size());
    for (size_t i = 0; i < ips.size(); ++i) {
        looks[i].failure = firstAnswers[i].failure;
        if (firstAnswers[i].failure != Failure::None)
            continue;
        apply(first, firstAnswers[i], statuses[i]);
        if (statuses[i].commandClass < 2)
            continue;
        // Class 2: its details, and the names of its inputs.
        for (const std::string& line : PollCommands(2)) {
            if (std::find(first.begin(), first.end(), line) == first.end())
                more[i].push_back(line);
        }
        for (const Input& input : statuses[i].inputs)
            more[i].push_back(BuildCommand(2, "INNM", "?" + input.Code()));
    }
    const auto secondAnswers = ExchangeAll(ips, [&more](size_t i) { return more[i]; });
    for (size_t i = 0; i < ips.size(); ++i) {
        PjlinkLook& look = looks[i];
        look.record = Info(PjlinkKey(ips[i]));
        look.record.ip = ips[i];
        look.record.pjlink = true;
        if (auto it = groups_.find(ips[i]); it != groups_.end())
            look.record.groupName = it->second;
        if (look.failure != Failure::None)
            continue;
        if (!more[i].empty()) {
            if (secondAnswers[i].failure != Failure::None)
                look.failure = secondAnswers[i].failure;
            else
                apply(more[i], secondAnswers[i], statuses[i]);
        }
        if (look.failure == Failure::None) {
            look.status = statuses[i];
            FillRecord(statuses[i], look.record);
        }
    }
    return looks;
}

}  // namespace vistrel::cli
