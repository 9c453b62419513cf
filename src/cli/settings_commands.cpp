#include "cli/settings_commands.h"

#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "cli/listing.h"
#include "cli/setting_names.h"
#include "protocol/codec.h"

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
    return def.kind == vistrel::SettingKind::Number;
}

}  // namespace

std::optional<std::string_view> ImportPart(const SettingDef& def) {
    if (def.width == 0 || def.kind == vistrel::SettingKind::Action || def.name == "projector-id")
        return std::nullopt;
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

    ProjectorClient client(context.Http());
    Listing listing;
    listing.columns = {
        {"ip", "IP"}, {"setting", "SETTING"}, {"value", "VALUE"}, {"result", "RESULT"}};
    bool allOk = true;
    for (const ControlRead& read : ReadControl(client, context.options.ips)) {
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

int RunExport(const CliContext& context) {
    ProjectorClient client(context.Http());
    const ControlRead read = ReadControl(client, context.options.ips).front();
    if (read.outcome != Outcome::Ok) {
        context.Err() << "vistrel-cli: " << read.ip << ": " << OutcomeText(read.outcome) << '\n';
        return kExitProjectorFailed;
    }
    json settings = json::object();
    for (const SettingDef* def : Readable()) {
        const auto value = CatalogValueText(*def, read.reply);
        // A list code the console does not know cannot be sent back; leave it out.
        if (!value || CurrentValue(*def, read.reply) < 0)
            continue;
        if (IsNumber(*def))
            settings[std::string(def->name)] = std::stoi(*value);
        else
            settings[std::string(def->name)] = *value;
    }
    const json file = {{"from", read.ip}, {"settings", settings}};
    context.Out() << file.dump(2, ' ', false, json::error_handler_t::replace) << '\n';
    return kExitOk;
}

int RunImport(const CliContext& context) {
    const CliOptions& options = context.options;
    std::ifstream in(options.importFile, std::ios::binary);
    if (!in) {
        context.Err() << "vistrel-cli: cannot read " << options.importFile << '\n';
        return kExitUsage;
    }
    // The settings to send, in the catalog's order, checked before anything goes out.
    std::vector<std::pair<const SettingDef*, std::string>> chosen;
    try {
        const json file = json::parse(in);
        const json& settings = file.at("settings");
        if (!settings.is_object())
            throw std::runtime_error("\"settings\" is not an object");
        for (const auto& [name, value] : settings.items()) {
            const SettingDef* def = FindSetting(name);
            if (!def)
                throw std::runtime_error("unknown setting \"" + name + "\"");
            if (!value.is_string() && !value.is_number_integer())
                throw std::runtime_error(name + " needs a text or a whole number");
        }
        for (const SettingDef& def : AllSettings()) {
            const auto part = ImportPart(def);
            if (!part || !settings.contains(def.name) ||
                (options.importOnly && *options.importOnly != *part)) {
                continue;
            }
            const json& value = settings.at(std::string(def.name));
            const std::string text = value.is_string() ? value.get<std::string>()
                                                       : std::to_string(value.get<long long>());
            chosen.emplace_back(&def, CheckCatalogValue(def, text));
        }
    } catch (const std::exception& e) {
        context.Err() << "vistrel-cli: " << options.importFile << ": " << e.what() << '\n';
        return kExitUsage;
    }

    if (options.dryRun) {
        Listing listing;
        listing.columns = {{"ip", "IP"}, {"setting", "SETTING"}, {"body", "BODY"}};
        for (const std::string& ip : options.ips) {
            for (const auto& [def, value] : chosen) {
                listing.AddRow({Cell::Text(ip), Cell::Text(std::string(def->name)),
                                Cell::Text(*CatalogBody(*def, value))});
            }
        }
        Render(listing, options.format, context.Out());
        return kExitOk;
    }

    // One setting at a time to every projector at once; a projector that refuses one gets
    // no more, and the first it refused is reported.
    ProjectorClient client(context.Http());
    std::vector<std::optional<Outcome>> failure(options.ips.size());
    std::vector<std::string> failedAt(options.ips.size());
    std::vector<size_t> applied(options.ips.size(), 0);
    for (const auto& [def, value] : chosen) {
        const std::string body = *CatalogBody(*def, value);
        std::vector<ExchangeRequest> requests;
        std::vector<size_t> index;
        for (size_t i = 0; i < options.ips.size(); ++i) {
            if (!failure[i]) {
                requests.push_back({options.ips[i], body});
                index.push_back(i);
            }
        }
        const auto results = client.Exchange(requests);
        for (size_t k = 0; k < results.size(); ++k) {
            const Outcome outcome = CommandOutcome(results[k]);
            if (outcome == Outcome::Ok) {
                ++applied[index[k]];
            } else {
                failure[index[k]] = outcome;
                failedAt[index[k]] = std::string(def->name);
            }
        }
    }
    Listing listing;
    listing.columns = {
        {"ip", "IP"}, {"applied", "APPLIED"}, {"failedAt", "FAILED AT"}, {"result", "RESULT"}};
    bool allOk = true;
    for (size_t i = 0; i < options.ips.size(); ++i) {
        allOk = allOk && !failure[i];
        listing.AddRow({Cell::Text(options.ips[i]), Cell::Number(static_cast<int64_t>(applied[i])),
                        failure[i] ? Cell::Text(failedAt[i]) : Cell::Null(),
                        Cell::Text(failure[i] ? std::string(OutcomeText(*failure[i])) : "OK")});
    }
    Render(listing, options.format, context.Out());
    return allOk ? kExitOk : kExitProjectorFailed;
}

}  // namespace vistrel::cli
