#include "cli/settings_commands.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <nlohmann/json.hpp>
#include <sstream>

#include "cli/listing.h"
#include "cli/network_commands.h"
#include "cli/pjlink_commands.h"
#include "cli/set_command.h"
#include "cli/setting_names.h"
#include "protocol/alert_fields.h"
#include "protocol/codec.h"
#include "protocol/wire_fields.h"

namespace vistrel::cli {
namespace {

using json = nlohmann::json;

// The control reply of every projector, asked at once; a projector whose reply is not a
// control reply gets an outcome instead.
struct ControlRead {
    std::string ip;
    std::string reply;
    Outcome outcome = Outcome::Ok;
};

std::vector<ControlRead> ReadControl(const ProjectorClient& client,
                                     const std::vector<std::string>& ips) {
    std::vector<ControlRead> reads;
    const auto results = client.SendToAll(ips, QueryBody(QueryTopic::Control));
    for (const ExchangeResult& r : results) {
        const bool understood = ReplyContains(r.reply, kControlTag);
        ControlRead read{r.ip, {}, QueryOutcome(r, understood)};
        if (read.outcome == Outcome::Ok)
            read.reply = r.reply;
        reads.push_back(std::move(read));
    }
    return reads;
}

std::vector<const SettingDef*> Readable() {
    std::vector<const SettingDef*> defs;
    for (const SettingDef& def : AllSettings()) {
        if (def.width > 0 && !def.groupVariant)
            defs.push_back(&def);
    }
    return defs;
}

bool IsNumber(const SettingDef& def) {
    return def.kind == SettingKind::Number;
}

}  // namespace

std::optional<std::string_view> ImportPart(const SettingDef& def) {
    if (def.width == 0 || def.kind == SettingKind::Action)
        return std::nullopt;
    if (def.name == "projector-id")
        return "identity";  // names one projector: copied only when asked
    switch (def.page) {
        case SettingPage::Group:
            return std::nullopt;  // the group page's own entries describe no one projector
        case SettingPage::Image:
            return "picture";
        case SettingPage::Display:
            return "display";
        case SettingPage::Setting:
            return "settings";
        case SettingPage::Projector:
            break;
    }
    // The projector page mixes lasting settings with what the projector is doing now.
    for (std::string_view live : {"power", "source", "freeze", "av-mute"}) {
        if (def.name == live)
            return std::nullopt;
    }
    return "settings";
}

int RunGet(const CliContext& context) {
    std::vector<const SettingDef*> defs;
    for (const std::string& name : context.options.settingNames)
        defs.push_back(FindSetting(name));
    if (defs.empty())
        defs = Readable();

    std::vector<std::string> pjlinkIps, ips;
    SplitPjlink(context, context.options.ips, pjlinkIps, ips);
    ProjectorClient client(context.Http());
    Listing listing;
    listing.columns = {
        {"ip", "IP"}, {"setting", "SETTING"}, {"value", "VALUE"}, {"result", "RESULT"}};
    bool allOk = true;
    for (const ControlRead& read : ReadControl(client, ips)) {
        if (read.outcome != Outcome::Ok) {
            allOk = false;
            listing.AddRow({Cell::Text(read.ip), Cell::Null(), Cell::Null(),
                            Cell::Text(std::string(OutcomeText(read.outcome)))});
            continue;
        }
        for (const SettingDef* def : defs) {
            const auto value = CatalogValueText(*def, read.reply);
            Cell cell = !value           ? Cell::Null()
                        : IsNumber(*def) ? Cell::Number(std::stoll(*value))
                                         : Cell::Text(*value);
            listing.AddRow({Cell::Text(read.ip), Cell::Text(std::string(def->name)),
                            std::move(cell), Cell::Text("OK")});
        }
    }
    if (!pjlinkIps.empty()) {
        PjlinkGet(context, pjlinkIps, listing, allOk);
        OrderAsGiven(context, listing.rows, 0);
    }
    Render(listing, context.options.format, context.Out());
    return allOk ? kExitOk : kExitProjectorFailed;
}

int RunSettingsList(const CliContext& context) {
    Listing listing;
    listing.columns = {{"name", "NAME"}, {"values", "VALUES"}, {"description", "DESCRIPTION"}};
    for (const SettingName& s : Settings().All())
        listing.AddRow({Cell::Text(s.name), Cell::Text(ValueSpec(s)), Cell::Text(s.help)});
    Render(listing, context.options.format, context.Out());
    return kExitOk;
}

namespace {

// One reply of one projector to a query; nullopt, with the reason printed, when it is not
// the reply asked for.
std::optional<std::string> AskOne(const CliContext& context, const ProjectorClient& client,
                                  const std::string& ip, QueryTopic topic, std::string_view tag,
                                  size_t minLength) {
    const ExchangeResult r = client.Exchange({{ip, QueryBody(topic)}}).front();
    const bool understood = ReplyContains(r.reply, tag) && r.reply.size() >= minLength;
    const Outcome outcome = QueryOutcome(r, understood);
    if (outcome == Outcome::Ok)
        return r.reply;
    context.Err() << "vistrel-cli: " << ip << ": " << QueryBody(topic) << ": "
                  << OutcomeText(outcome) << '\n';
    return std::nullopt;
}

// Whether the model offers a setting that only some models have; an unknown model is
// taken to offer everything, as its pages show everything.
bool ModelOffers(const SettingDef& def, const std::string& model) {
    return !def.offeredBy || def.offeredBy(model) != false;
}

}  // namespace

int RunExport(const CliContext& context) {
    ProjectorClient client(context.Http());
    const std::string& ip = context.options.ips.front();
    const ControlRead read = ReadControl(client, {ip}).front();
    if (read.outcome != Outcome::Ok) {
        context.Err() << "vistrel-cli: " << read.ip << ": " << OutcomeText(read.outcome) << '\n';
        return kExitProjectorFailed;
    }
    // The rest of what the projector tells; a file that silently lacked a part would copy
    // less than its reader expects.
    const auto model = AskOne(context, client, ip, QueryTopic::Model, kModelReplyPrefix, 0);
    const auto alertReply =
        AskOne(context, client, ip, QueryTopic::Alert, kAlertTag, kAlertReplyLength);
    const auto groupReply = AskOne(context, client, ip, QueryTopic::Group, kGroupTag, 0);
    const auto networkReply =
        AskOne(context, client, ip, QueryTopic::Network, kNetworkTag, kNetworkReplyLength);
    if (!model || !alertReply || !groupReply || !networkReply)
        return kExitProjectorFailed;
    const std::string modelCode = ParseModelReply(*model).value_or(std::string());
    const auto network = ParseNetworkReply(*networkReply);
    if (!network || !network->complete) {
        context.Err() << "vistrel-cli: " << ip
                      << ": query=network: " << OutcomeText(Outcome::Unexpected) << '\n';
        return kExitProjectorFailed;
    }

    json settings = json::object();
    for (const SettingDef* def : Readable()) {
        const auto value = CatalogValueText(*def, read.reply);
        // A list code the console does not know cannot be sent back, and what the model
        // lacks is not a setting of this projector: leave them out.
        if (!value || CurrentValue(*def, read.reply) < 0 || !ModelOffers(*def, modelCode))
            continue;
        if (IsNumber(*def))
            settings[std::string(def->name)] = std::stoi(*value);
        else
            settings[std::string(def->name)] = *value;
    }
    json alert = json::object();
    const AlertSettings alertSettings = *ParseAlertReply(*alertReply);
    for (const AlertFieldDef& field : AlertFields()) {
        // The SMTP password stays on the projector: files get copied and mailed around.
        if (field.kind != AlertFieldKind::Secret)
            alert[std::string(field.name)] = AlertFieldValue(field, alertSettings);
    }
    const GroupNames names = ReadGroupNames(*groupReply);
    const NetworkConfig& config = network->config;
    const json file = {
        {"from", ip},
        {"model", modelCode},
        {"settings", settings},
        {"alert", alert},
        {"identity", {{"group-name", names.groupName}, {"projector-name", names.projectorName}}},
        {"network",
         {{"dhcp", config.dhcp ? "on" : "off"},
          {"ip", DottedAddress(config.ip)},
          {"mask", DottedAddress(config.mask)},
          {"gateway", DottedAddress(config.gateway)},
          {"dns", DottedAddress(config.dns)}}},
    };
    context.Out() << file.dump(2, ' ', false, json::error_handler_t::replace) << '\n';
    return kExitOk;
}

namespace {

bool Wanted(const CliOptions& options, std::string_view part) {
    return std::find(options.importParts.begin(), options.importParts.end(), part) !=
           options.importParts.end();
}

// A file's value as the command line would spell it: a text, a whole number, or on/off
// for true/false.
std::string ValueText(const std::string& name, const json& value) {
    if (value.is_string())
        return value.get<std::string>();
    if (value.is_number_integer())
        return std::to_string(value.get<long long>());
    if (value.is_boolean())
        return value.get<bool>() ? "on" : "off";
    throw std::runtime_error(name + " needs a text or a whole number");
}

const json* Block(const json& file, const char* name) {
    if (!file.contains(name))
        return nullptr;
    const json& block = file.at(name);
    if (!block.is_object())
        throw std::runtime_error(std::string("\"") + name + "\" is not an object");
    return &block;
}

// What an import sends, read and checked from the file before anything goes out.
struct ImportPlan {
    SettingsPlan settings;
    bool identity = false;          // the file names the projector (name, group or ID)
    std::string fixedAddress;       // the network part gives one
    bool dhcpOn = false;            // the network part switches DHCP on
    std::vector<std::string> kept;  // alert fields each projector keeps
    // Settings the file holds that an import never copies (what a projector is doing now,
    // actions, the group page's entries).
    std::vector<std::string> neverCopied;
};

// The parts an export writes; "from" and "model" only describe where it came from.
constexpr std::string_view kFileParts[] = {"from",  "model",    "settings",
                                           "alert", "identity", "network"};

void Assign(SettingsPlan& plan, const std::string& name, const std::string& value) {
    plan.assignments.push_back({name, value});
    plan.values[name] = value;
}

ImportPlan ReadImportFile(const CliOptions& options, std::istream& in) {
    ImportPlan plan;
    const json file = json::parse(in);
    if (!file.is_object())
        throw std::runtime_error("not an export file (no \"settings\")");
    const json* settings = Block(file, "settings");
    const json* alert = Block(file, "alert");
    const json* identity = Block(file, "identity");
    const json* network = Block(file, "network");
    if (!settings && !alert && !identity && !network)
        throw std::runtime_error("not an export file (no \"settings\")");
    for (const auto& [part, value] : file.items()) {
        if (std::find(std::begin(kFileParts), std::end(kFileParts), part) == std::end(kFileParts)) {
            std::string known;
            for (std::string_view name : kFileParts)
                known += (known.empty() ? "" : ", ") + std::string(name);
            throw std::runtime_error("unknown part \"" + part + "\"; an export file holds " +
                                     known);
        }
    }

    if (settings) {
        for (const auto& [name, value] : settings->items()) {
            const SettingDef* def = FindSetting(name);
            if (!def)
                throw std::runtime_error("unknown setting \"" + name + "\"");
            ValueText(name, value);
            if (!ImportPart(*def))
                plan.neverCopied.push_back(name);
        }
        for (const SettingDef& def : AllSettings()) {
            const auto part = ImportPart(def);
            if (!part || !settings->contains(def.name) || !Wanted(options, *part))
                continue;
            const std::string name(def.name);
            Assign(plan.settings, name,
                   CheckCatalogValue(def, ValueText(name, settings->at(name))));
            plan.identity = plan.identity || *part == "identity";
        }
    }
    if (alert) {
        for (const auto& [name, value] : alert->items()) {
            const AlertFieldDef* field = FindAlertField(name);
            if (!field)
                throw std::runtime_error("unknown alert setting \"" + name + "\"");
            if (field->kind == AlertFieldKind::Secret) {
                throw std::runtime_error(name +
                                         " is never read from a file: give --smtp-password - or "
                                         "--smtp-password @FILE");
            }
            const std::string text = ValueText(name, value);
            AlertSettings probe;
            if (!SetAlertFieldValue(*field, probe, text)) {
                throw std::runtime_error(
                    name + (field->kind == AlertFieldKind::Flag
                                ? " is on or off, not \"" + text + "\""
                                : " " + AlertTextProblem(text).value_or("does not fit")));
            }
        }
        if (Wanted(options, "alert")) {
            for (const AlertFieldDef& field : AlertFields()) {
                const std::string name(field.name);
                if (alert->contains(name)) {
                    std::string text = ValueText(name, alert->at(name));
                    if (field.kind == AlertFieldKind::Flag)
                        text = *OnOffValue(text) ? "on" : "off";
                    Assign(plan.settings, name, text);
                } else if (field.kind != AlertFieldKind::Secret) {
                    plan.kept.push_back(name);
                }
            }
        }
    }
    if (identity) {
        for (const auto& [name, value] : identity->items()) {
            if (name != "group-name" && name != "projector-name")
                throw std::runtime_error("unknown identity setting \"" + name + "\"");
            if (!value.is_string())
                throw std::runtime_error(name + " needs a text");
            const std::string why = name == "group-name"
                                        ? CheckGroupName(value.get<std::string>())
                                        : CheckProjectorName(value.get<std::string>());
            if (!why.empty())
                throw std::runtime_error(why);
        }
        if (Wanted(options, "identity")) {
            if (identity->contains("group-name"))
                plan.settings.groupName = identity->at("group-name").get<std::string>();
            if (identity->contains("projector-name"))
                plan.settings.projectorName = identity->at("projector-name").get<std::string>();
            plan.identity = plan.identity || !identity->empty();
        }
    }
    if (network) {
        std::map<std::string, std::string> values;
        for (const auto& [name, value] : network->items()) {
            const SettingName* setting = Settings().Find(name);
            if (!setting || setting->record != SettingRecord::Network)
                throw std::runtime_error("unknown network setting \"" + name + "\"");
            // The same checks as on the command line.
            values[setting->name] = ParseAssignment(name + "=" + ValueText(name, value)).value;
        }
        const bool dhcp = values.count("dhcp") && values.at("dhcp") == "on";
        if (!dhcp && !values.count("ip") && !values.empty())
            throw std::runtime_error("the network part needs dhcp on or a fixed ip");
        if (Wanted(options, "network") && !values.empty()) {
            if (dhcp) {
                // Each projector keeps its own addresses, as with set dhcp=on.
                Assign(plan.settings, "dhcp", "on");
                plan.dhcpOn = true;
            } else {
                for (const char* name : {"ip", "mask", "gateway", "dns"}) {
                    if (values.count(name))
                        Assign(plan.settings, name, values.at(name));
                }
                plan.fixedAddress = values.at("ip");
            }
        }
    }
    return plan;
}

std::string Kept(const std::string& what, size_t width) {
    std::string text = "<" + what + ">";
    text.resize(std::max(text.size(), width), ' ');
    return text;
}

// The bodies an import would send to each projector, for --dry-run. What each projector
// keeps of its own is shown in angle brackets; a password never shows.
std::vector<std::pair<std::string, std::string>> DryRunBodies(const ImportPlan& plan) {
    std::vector<std::pair<std::string, std::string>> bodies;
    const SettingsPlan& s = plan.settings;
    for (const SettingAssignment& a : s.assignments) {
        const SettingName* setting = Settings().Find(a.name);
        if (setting->record == SettingRecord::Control)
            bodies.emplace_back(a.name, *CatalogBody(*setting->def, a.value));
    }
    bool alert = false;
    std::string alertBody = "set=alert";
    for (const AlertFieldDef& field : AlertFields()) {
        const std::string name(field.name);
        const auto it = s.values.find(name);
        alert = alert || it != s.values.end();
        if (field.kind == AlertFieldKind::Flag) {
            alertBody += it == s.values.end() ? "?" : (it->second == "on" ? "1" : "0");
        } else if (field.kind == AlertFieldKind::Secret) {
            alertBody +=
                Kept(it == s.values.end() ? "own password" : "password given", kTextFieldWidth);
        } else {
            alertBody += it == s.values.end() ? Kept("own", kTextFieldWidth)
                                              : PadField(it->second, kTextFieldWidth);
        }
    }
    if (alert)
        bodies.emplace_back("alert", alertBody);
    if (s.groupName || s.projectorName) {
        bodies.emplace_back(
            "identity", BuildGroupRecord(s.groupName.value_or(Kept("own", kTextFieldWidth)),
                                         s.projectorName.value_or(Kept("own", kTextFieldWidth))));
    }
    if (plan.dhcpOn)
        bodies.emplace_back("network", "set=network1" + Kept("own addresses", 0));
    if (!plan.fixedAddress.empty()) {
        std::string body = "set=network0";
        for (const char* name : {"ip", "mask", "gateway", "dns"}) {
            const auto it = s.values.find(name);
            body += it == s.values.end() ? Kept("own " + std::string(name), 0)
                                         : HexAddress(*PackAddress(it->second));
        }
        bodies.emplace_back("network", body);
    }
    return bodies;
}

}  // namespace

int RunImport(const CliContext& context) {
    const CliOptions& options = context.options;
    std::ifstream in(options.importFile, std::ios::binary);
    if (!in) {
        context.Err() << "vistrel-cli: cannot read " << options.importFile << '\n';
        return kExitUsage;
    }
    // Everything is checked before anything goes out.
    ImportPlan plan;
    try {
        plan = ReadImportFile(options, in);
    } catch (const std::exception& e) {
        context.Err() << "vistrel-cli: " << options.importFile << ": " << e.what() << '\n';
        return kExitUsage;
    }
    if (!plan.neverCopied.empty()) {
        std::string names;
        for (const std::string& name : plan.neverCopied)
            names += (names.empty() ? "" : ", ") + name;
        const bool nothingElse = plan.settings.assignments.empty() && !plan.settings.groupName &&
                                 !plan.settings.projectorName;
        context.Err() << "vistrel-cli: " << options.importFile << ": import never copies " << names
                      << (nothingElse ? ", and the file holds nothing else to import\n"
                                      : "; left out\n");
        if (nothingElse)
            return kExitUsage;
    }
    const size_t targets = options.ips.size();
    if (!plan.fixedAddress.empty() && targets != 1) {
        context.Err() << "vistrel-cli: the file's network part gives the fixed address "
                      << plan.fixedAddress << ", which only one projector can have: import it "
                      << "onto exactly one projector (" << targets
                      << " given), or leave the network part out\n";
        return kExitUsage;
    }
    if (plan.identity && targets != 1) {
        context.Err() << "vistrel-cli: the file's identity part names one projector: import it "
                      << "onto exactly one projector (" << targets
                      << " given), or leave the identity part out\n";
        return kExitUsage;
    }
    if (options.smtpPasswordSource) {
        if (!Wanted(options, "alert")) {
            context.Err() << "vistrel-cli: --smtp-password goes with the alert part, which this "
                          << "import leaves out\n";
            return kExitUsage;
        }
        std::string password;
        if (!ReadSecret(context, "smtp-password", *options.smtpPasswordSource, kTextFieldWidth,
                        password)) {
            return kExitUsage;
        }
        Assign(plan.settings, "smtp-password", password);
    }

    if (options.dryRun) {
        Listing listing;
        listing.columns = {{"ip", "IP"}, {"setting", "SETTING"}, {"body", "BODY"}};
        const auto bodies = DryRunBodies(plan);
        for (const std::string& ip : options.ips) {
            for (const auto& [name, body] : bodies)
                listing.AddRow({Cell::Text(ip), Cell::Text(name), Cell::Text(body)});
        }
        Render(listing, options.format, context.Out());
        return kExitOk;
    }

    std::vector<ProjectorRow> rows = RowsFor(options.ips);
    const int status = ApplySettings(context, plan.settings, rows);
    const bool moved = !plan.fixedAddress.empty();
    Listing listing;
    listing.columns = {
        {"ip", "IP"}, {"applied", "APPLIED"}, {"failedAt", "FAILED AT"}, {"result", "RESULT"}};
    if (moved)
        listing.columns.insert(listing.columns.begin() + 1, {"newIp", "NEW IP"});
    bool allOk = true;
    bool anyOk = false;
    for (const ProjectorRow& row : rows) {
        allOk = allOk && !row.failure;
        anyOk = anyOk || !row.failure;
        std::vector<Cell> cells = {
            Cell::Text(row.ip), Cell::Number(static_cast<int64_t>(row.applied)),
            row.failure ? Cell::Text(row.failedAt) : Cell::Null(),
            Cell::Text(row.failure ? std::string(OutcomeText(*row.failure)) : "OK")};
        if (moved)
            cells.insert(cells.begin() + 1, Cell::Text(row.newIp));
        listing.AddRow(std::move(cells));
        if (!row.note.empty())
            context.Err() << "vistrel-cli: " << row.ip << ": " << row.note << '\n';
    }
    if (anyOk && plan.settings.groupName)
        RememberGroup(context, *plan.settings.groupName);
    Render(listing, options.format, context.Out());
    if (status != kExitOk)
        return status;
    return allOk ? kExitOk : kExitProjectorFailed;
}

}  // namespace vistrel::cli
