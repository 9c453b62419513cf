#include "cli/set_command.h"

#include <arpa/inet.h>

#include <algorithm>
#include <fstream>
#include <map>
#include <optional>
#include <thread>

#include "cli/listing.h"
#include "cli/network_commands.h"
#include "cli/pjlink_commands.h"
#include "cli/projector_client.h"
#include "monitor/discovery.h"
#include "protocol/alert_fields.h"
#include "protocol/codec.h"

namespace vistrel::cli {
namespace {

using SteadyClock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr milliseconds kDefaultRelocationWait{30000};
constexpr milliseconds kIdentityWait{1000};
constexpr milliseconds kProbeRepeat{1000};

uint32_t Packed(const std::string& dotted) {
    in_addr addr{};
    inet_pton(AF_INET, dotted.c_str(), &addr);
    return ntohl(addr.s_addr);
}

// Passwords named NAME=- come from standard input, one line each in the order given;
// NAME=@FILE from the first line of FILE.
bool ReadSecrets(const CliContext& context, std::map<std::string, std::string>& values) {
    for (const SettingAssignment& a : context.options.assignments) {
        const SettingName* setting = Settings().Find(a.name);
        if (setting->kind != ValueKind::Secret)
            continue;
        if (!ReadSecret(context, a.name, a.value, setting->maxBytes, values[a.name]))
            return false;
    }
    return true;
}

// Sends `bodies` (one per row; empty: nothing for that row) at once and records what each
// projector did with its body, under `name`.
void SendRecords(const ProjectorClient& client, std::vector<ProjectorRow>& rows,
                 const std::vector<std::string>& bodies, const std::string& name) {
    std::vector<ExchangeRequest> requests;
    std::vector<size_t> index;
    for (size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].failure || bodies[i].empty())
            continue;
        requests.push_back({rows[i].ip, bodies[i]});
        index.push_back(i);
    }
    const auto results = client.Exchange(requests);
    for (size_t k = 0; k < results.size(); ++k) {
        ProjectorRow& row = rows[index[k]];
        const Outcome outcome = CommandOutcome(results[k]);
        if (outcome == Outcome::Ok) {
            ++row.applied;
        } else {
            row.failure = outcome;
            row.failedAt = name;
        }
    }
}

// Asks every row that has not failed for one topic; a row whose reply lacks the tag or ends
// early fails. Returns the replies by row.
std::vector<std::string> QueryAll(const ProjectorClient& client, std::vector<ProjectorRow>& rows,
                                  QueryTopic topic, std::string_view tag, size_t minLength) {
    std::vector<std::string> replies(rows.size());
    std::vector<ExchangeRequest> requests;
    std::vector<size_t> index;
    for (size_t i = 0; i < rows.size(); ++i) {
        if (!rows[i].failure) {
            requests.push_back({rows[i].ip, QueryBody(topic)});
            index.push_back(i);
        }
    }
    const auto results = client.Exchange(requests);
    for (size_t k = 0; k < results.size(); ++k) {
        const bool understood =
            ReplyContains(results[k].reply, tag) && results[k].reply.size() >= minLength;
        const Outcome outcome = QueryOutcome(results[k], understood);
        if (outcome != Outcome::Ok) {
            rows[index[k]].failure = outcome;
            rows[index[k]].failedAt = std::string(QueryBody(topic));
        } else {
            replies[index[k]] = results[k].reply;
        }
    }
    return replies;
}

// Waits until discovery hears `mac` answer from `newIp`, after the projector has had time to
// move. The new address is also probed directly, so a move into another subnet is followed.
bool FollowRelocation(const CliContext& context, const std::string& mac, const std::string& newIp,
                      SteadyClock::time_point sentAt, milliseconds wait, bool& discoveryFailed) {
    NetworkProfile profile = context.DiscoveryProfile();
    profile.directedBroadcasts.push_back(newIp);
    Console console(profile, context.env.clock);
    Discovery discovery(console);
    if (!discovery.OpenDiscovery()) {
        const DiscoveryFailure& failure = *discovery.Failure();
        context.Err() << "vistrel-cli: " << failure.reason << '\n'
                      << "  " << failure.remedy << '\n';
        discoveryFailed = true;
        return false;
    }
    const auto settled = sentAt + milliseconds(kRelocationSettleMs);
    const auto end = sentAt + wait;
    const auto found = [&]() {
        if (SteadyClock::now() <= settled)
            return false;
        auto table = console.table.Lock();
        const Info* info = table.Find(mac);
        return info && info->ip == newIp;
    };
    while (!context.Stopped()) {
        const auto now = SteadyClock::now();
        const auto until = std::min(end, now + kProbeRepeat);
        discovery.HandleAnswersFor(std::chrono::duration_cast<milliseconds>(until - now));
        if (found())
            return true;
        std::this_thread::sleep_until(until);
        if (SteadyClock::now() >= end)
            return found();
        // A record from before the move must not count: forget it and ask again.
        {
            auto table = console.table.Lock();
            if (Info* info = table.Find(mac))
                info->ip.clear();
        }
        discovery.Broadcast();
    }
    return false;
}

// Settings some models lack (the pages hide or disable them, or list other display modes):
// a projector whose model does not offer a value given gets nothing at all. An unknown model
// is not held back, as its pages are not.
void RefuseWhatModelsLack(const std::vector<SettingAssignment>& assignments,
                          const ProjectorClient& client, std::vector<ProjectorRow>& rows) {
    // The settings that depend on the model, and the 3D flag, which picks the mode list.
    std::map<std::string, std::string> asked;
    for (const SettingAssignment& a : assignments) {
        const SettingDef* def = FindSetting(a.name);
        if (def && (def->offeredBy || !def->otherLists.empty() || a.name == "three-d"))
            asked[a.name] = a.value;
    }
    if (asked.empty() || (asked.size() == 1 && asked.count("three-d")))
        return;
    const auto models = QueryAll(client, rows, QueryTopic::Model, kModelReplyPrefix, 0);
    std::vector<std::string> controls(rows.size());
    const bool mode = asked.count("display-mode") > 0;
    // Which list the page shows follows the 3D flag; one given in the same run counts.
    if (mode && !asked.count("three-d"))
        controls = QueryAll(client, rows, QueryTopic::Control, kControlTag, 0);
    for (size_t i = 0; i < rows.size(); ++i) {
        if (rows[i].failure)
            continue;
        const std::string model = ParseModelReply(models[i]).value_or(std::string());
        std::string lacking;
        for (const auto& [name, value] : asked) {
            const SettingDef& def = Setting(name);
            if (lacking.empty() && def.offeredBy && def.offeredBy(model) == false)
                lacking = name;
        }
        if (mode) {
            const std::string& value = asked.at("display-mode");
            const int threeD = asked.count("three-d") ? (asked.at("three-d") == "on" ? 1 : 0)
                                                      : ReadControlReply(controls[i]).threeD;
            const auto list = DisplayModeListFor(model, threeD);
            // The lists share mode commands, not row codes.
            const SettingDef& def = Setting("display-mode");
            const std::string_view command =
                CommandAt(def.options, ChoiceRowByLabel(def, value).value_or(-1));
            const auto offers = [&](OptionTable table) {
                for (int r = 0; r < RowCount(table); ++r) {
                    if (CommandAt(table, r) == command)
                        return true;
                }
                return false;
            };
            if (list && !offers(*list)) {
                // Models with a 3D list show it only while 3D is on.
                const auto other = DisplayModeListFor(model, 1 - threeD);
                const bool threeDList = other && other->data() != list->data();
                lacking = "display-mode=" + value;
                if (threeDList && (threeD == 0 || threeD == 1))
                    lacking += threeD ? " while 3D is on" : " while 3D is off";
            }
        }
        if (!lacking.empty()) {
            rows[i].failure = Outcome::Refused;
            rows[i].failedAt = lacking.substr(0, lacking.find('='));
            rows[i].note = "model " + model + " does not offer " + lacking + "; nothing was sent";
        }
    }
}

}  // namespace

bool ReadSecret(const CliContext& context, const std::string& name, const std::string& source,
                size_t maxBytes, std::string& value) {
    std::string line;
    if (source == "-") {
        if (!context.env.in || !std::getline(*context.env.in, line)) {
            context.Err() << "vistrel-cli: standard input ended before " << name << '\n';
            return false;
        }
    } else {
        std::ifstream file(source.substr(1), std::ios::binary);
        if (!file || (!std::getline(file, line) && !file.eof())) {
            context.Err() << "vistrel-cli: " << name << ": cannot read " << source.substr(1)
                          << '\n';
            return false;
        }
    }
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    if (line.size() > maxBytes) {
        context.Err() << "vistrel-cli: " << name << " is " << line.size()
                      << " bytes long; projectors store at most " << maxBytes << '\n';
        return false;
    }
    if (std::any_of(line.begin(), line.end(),
                    [](unsigned char c) { return c < 0x20 || c == 0x7F; })) {
        context.Err() << "vistrel-cli: " << name << " contains a control character\n";
        return false;
    }
    value = line;
    return true;
}

std::vector<ProjectorRow> RowsFor(const std::vector<std::string>& ips) {
    std::vector<ProjectorRow> rows;
    for (const std::string& ip : ips)
        rows.push_back({ip, std::nullopt, {}, {}, 0, {}});
    return rows;
}

int ApplySettings(const CliContext& context, const SettingsPlan& plan,
                  std::vector<ProjectorRow>& rows) {
    const CliOptions& options = context.options;
    std::map<std::string, std::string> values = plan.values;
    const auto has = [&](const std::string& name) { return values.count(name) > 0; };
    const auto on = [&](const std::string& name) { return values.at(name) == "on"; };
    const auto anyOf = [&](SettingRecord record) {
        return std::any_of(
            plan.assignments.begin(), plan.assignments.end(),
            [&](const SettingAssignment& a) { return Settings().Find(a.name)->record == record; });
    };
    ProjectorClient client(context.Http());
    const size_t n = rows.size();

    // A projector that is about to move must be one discovery can find again.
    const bool relocate = has("ip");
    std::string mac;
    if (relocate) {
        const auto macs = IdentifyByProbe(context, {rows[0].ip}, kIdentityWait);
        if (auto it = macs.find(rows[0].ip); it != macs.end())
            mac = it->second;
        if (mac.empty()) {
            rows[0].failure = Outcome::Unreachable;
            rows[0].failedAt = "discovery";
            rows[0].note =
                "did not answer discovery, so its move could not be followed; "
                "nothing was sent";
        }
    }

    // Every record is built from the projector's own values for what was not given.
    std::vector<std::string> userBodies(n), alertBodies(n), groupBodies(n), networkBodies(n);
    if (anyOf(SettingRecord::User)) {
        std::vector<std::string> replies(n);
        if (!has("admin-access") || !has("user-access"))
            replies = QueryAll(client, rows, QueryTopic::User, kUserTag, kUserReplyLength);
        for (size_t i = 0; i < n; ++i) {
            if (rows[i].failure)
                continue;
            UserReply current;
            if (!replies[i].empty())
                current = *ParseUserReply(replies[i]);
            const int admin = has("admin-access") ? on("admin-access") : current.adminAccess;
            const int user = has("user-access") ? on("user-access") : current.userAccess;
            userBodies[i] = BuildUserRecord(admin, values["admin-password"], user,
                                            has("user-password") ? values["user-password"] : "");
        }
    }
    if (anyOf(SettingRecord::Alert)) {
        const auto replies =
            QueryAll(client, rows, QueryTopic::Alert, kAlertTag, kAlertReplyLength);
        for (size_t i = 0; i < n; ++i) {
            if (rows[i].failure)
                continue;
            AlertSettings a = *ParseAlertReply(replies[i]);
            for (const AlertFieldDef& field : AlertFields()) {
                if (has(std::string(field.name)))
                    SetAlertFieldValue(field, a, values.at(std::string(field.name)));
            }
            alertBodies[i] = BuildAlertRecord(a);
        }
    }
    if (plan.groupName || plan.projectorName) {
        std::vector<std::string> replies(n);
        if (!plan.groupName || !plan.projectorName)
            replies = QueryAll(client, rows, QueryTopic::Group, kGroupTag, 0);
        for (size_t i = 0; i < n; ++i) {
            if (rows[i].failure)
                continue;
            const GroupNames own = ReadGroupNames(replies[i]);
            groupBodies[i] = BuildGroupRecord(plan.groupName.value_or(own.groupName),
                                              plan.projectorName.value_or(own.projectorName));
        }
    }
    if (anyOf(SettingRecord::Network)) {
        const bool keepAll = relocate && has("mask") && has("gateway") && has("dns");
        std::vector<std::string> replies(n);
        if (!keepAll)
            replies = QueryAll(client, rows, QueryTopic::Network, kNetworkTag, 0);
        for (size_t i = 0; i < n; ++i) {
            if (rows[i].failure)
                continue;
            if (relocate) {
                NetworkConfig config;
                if (!keepAll) {
                    const auto current = ParseNetworkReply(replies[i]);
                    if (!current->complete) {
                        rows[i].failure = Outcome::Unexpected;
                        continue;
                    }
                    config = current->config;
                }
                config.dhcp = false;
                config.ip = Packed(values["ip"]);
                for (const auto& [name, field] :
                     {std::pair{"mask", &config.mask}, std::pair{"gateway", &config.gateway},
                      std::pair{"dns", &config.dns}}) {
                    if (has(name))
                        *field = Packed(values[name]);
                }
                networkBodies[i] = BuildNetworkRecord(config);
                rows[i].newIp = values["ip"];
            } else {
                // A record with broken address fields would hand the projector a broken
                // configuration: refuse it rather than send it.
                auto body = BuildNetworkRecordKeepingAddresses(on("dhcp"), replies[i]);
                if (!body) {
                    rows[i].failure = Outcome::Unexpected;
                    continue;
                }
                networkBodies[i] = *body;
            }
        }
    }

    RefuseWhatModelsLack(plan.assignments, client, rows);

    // Page settings one after another, each to every projector at once; a projector that
    // refuses one gets nothing more.
    for (const SettingAssignment& a : plan.assignments) {
        const SettingName* setting = Settings().Find(a.name);
        if (setting->record != SettingRecord::Control)
            continue;
        const std::optional<std::string> body = CatalogBody(*setting->def, a.value);
        std::vector<std::string> bodies(n, body.value_or(std::string()));
        std::vector<bool> failedBefore(n);
        for (size_t i = 0; i < n; ++i)
            failedBefore[i] = rows[i].failure.has_value();
        SendRecords(client, rows, bodies, a.name);
        for (size_t i = 0; i < n; ++i) {
            if (rows[i].failure && !failedBefore[i])
                rows[i].note = "failed at " + a.name + "; the settings after it were not sent";
        }
    }

    // Access, alert and name records first: the network record may move the projector away.
    SendRecords(client, rows, userBodies, "user record");
    SendRecords(client, rows, alertBodies, "alert record");
    SendRecords(client, rows, groupBodies, "group record");

    int status = kExitOk;
    if (relocate && !rows[0].failure) {
        const auto sentAt = SteadyClock::now();
        const ExchangeResult r = client.Exchange({{rows[0].ip, networkBodies[0]}}).front();
        // A projector that moves may drop the connection before it answers; only a refusal
        // stops the wait.
        if (!r.reply.empty() && !BeginsWithOk(r.reply)) {
            rows[0].failure = CommandOutcome(r);
            rows[0].failedAt = "network record";
        } else {
            const milliseconds wait =
                options.waitSeconds
                    ? milliseconds(static_cast<int64_t>(*options.waitSeconds * 1000.0))
                    : kDefaultRelocationWait;
            bool discoveryFailed = false;
            if (FollowRelocation(context, mac, rows[0].newIp, sentAt, wait, discoveryFailed)) {
                ++rows[0].applied;
            } else {
                if (discoveryFailed)
                    status = kExitUsage;
                rows[0].failure = Outcome::TimeOut;
                rows[0].failedAt = "relocation";
                rows[0].note = "not found at " + rows[0].newIp + " within " +
                               std::to_string(wait.count() / 1000.0).substr(0, 6) + " s";
            }
        }
    } else if (!relocate) {
        SendRecords(client, rows, networkBodies, "network record");
    }
    return status;
}

int RunSet(const CliContext& context) {
    const CliOptions& options = context.options;
    SettingsPlan plan;
    plan.assignments = options.assignments;
    for (const SettingAssignment& a : options.assignments)
        plan.values[a.name] = a.value;
    if (!ReadSecrets(context, plan.values))
        return kExitUsage;
    std::vector<std::string> pjlinkIps, ips;
    SplitPjlink(context, options.ips, pjlinkIps, ips);
    std::vector<ProjectorRow> rows = RowsFor(ips);
    int status = kExitOk;
    if (options.volumeUp) {
        // The console's projectors take a volume, not a step: nothing is sent to them.
        for (ProjectorRow& row : rows) {
            row.failure = Outcome::Refused;
            row.note = "volume=up|down steps PJLink projectors; give volume=0..10";
        }
    } else if (!rows.empty()) {
        status = ApplySettings(context, plan, rows);
    }
    const bool relocate = plan.values.count("ip") > 0;

    std::string names;
    for (const SettingAssignment& a : options.assignments)
        names += (names.empty() ? "" : " ") + a.name;
    if (options.volumeUp)
        names += (names.empty() ? "" : " ") + std::string("volume");
    Listing listing;
    listing.columns = {{"ip", "IP"}, {"settings", "SETTINGS"}, {"result", "RESULT"}};
    if (relocate)
        listing.columns.insert(listing.columns.begin() + 1, {"newIp", "NEW IP"});
    bool allOk = true;
    for (const ProjectorRow& row : rows) {
        allOk = allOk && !row.failure;
        std::vector<Cell> cells = {
            Cell::Text(row.ip), Cell::Text(names),
            Cell::Text(row.failure ? std::string(OutcomeText(*row.failure)) : "OK")};
        if (relocate)
            cells.insert(cells.begin() + 1, Cell::Text(row.newIp));
        listing.AddRow(std::move(cells));
        if (!row.note.empty())
            context.Err() << "vistrel-cli: " << row.ip << ": " << row.note << '\n';
    }
    if (!pjlinkIps.empty()) {
        Listing pjlink;
        PjlinkSet(context, pjlinkIps, pjlink, allOk);
        for (auto& row : pjlink.rows) {
            if (relocate)
                row.insert(row.begin() + 1, Cell::Null());
            listing.AddRow(std::move(row));
        }
        OrderAsGiven(context, listing.rows, 0);
    }
    Render(listing, options.format, context.Out());
    // The access record always carries the user password: say what happened to it.
    const bool userRecord = std::any_of(
        options.assignments.begin(), options.assignments.end(), [](const SettingAssignment& a) {
            return Settings().Find(a.name)->record == SettingRecord::User;
        });
    if (userRecord && !plan.values.count("user-password")) {
        const auto cleared = static_cast<size_t>(std::count_if(
            rows.begin(), rows.end(), [](const ProjectorRow& row) { return !row.failure; }));
        if (cleared > 0) {
            context.Err() << "vistrel-cli: this also cleared the user password on " << cleared
                          << (cleared == 1 ? " projector" : " projectors")
                          << " (give user-password=- to set one)\n";
        }
    }
    if (status != kExitOk)
        return status;
    return allOk ? kExitOk : kExitProjectorFailed;
}

int RunAlertTest(const CliContext& context) {
    ProjectorClient client(context.Http());
    const auto results = client.SendToAll(context.options.ips, std::string(kTestBody));
    Listing listing;
    listing.columns = {{"ip", "IP"}, {"result", "RESULT"}};
    bool allOk = true;
    for (const ExchangeResult& r : results) {
        const Outcome outcome = CommandOutcome(r);
        allOk = allOk && outcome == Outcome::Ok;
        listing.AddRow({Cell::Text(r.ip), Cell::Text(std::string(OutcomeText(outcome)))});
    }
    Render(listing, context.options.format, context.Out());
    return allOk ? kExitOk : kExitProjectorFailed;
}

}  // namespace vistrel::cli
