#include "sim/fleet_options.h"

#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>

#include "sim/web_control.h"

namespace vistrel::sim {

NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE_WITH_DEFAULT(
    ControlSettings, brightMode, freeze, sourceLock, avMute, infoHide, highAltitude, keypadLock,
    directPower, displayFormat, colorTemp, degamma, projection, logo, background, colorSpace,
    projectorId, volume, sharpness, phase, brilliantColor, zoom, brightness, contrast, imageShift,
    keystone, autoPowerOff, sleepTimer, closedCaption, autoKeystone, threeD, threeDSyncInvert,
    message)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE_WITH_DEFAULT(NetworkSettings, mask, gateway, dns, dhcp)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE_WITH_DEFAULT(UserSettings, adminAccess, adminPassword,
                                                userAccess, userPassword)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE_WITH_DEFAULT(AlertSettings, mailTo, mailCc, mailSubject,
                                                mailFrom, smtpServer, smtpUser, smtpPassword,
                                                fanLock, overTemperature, lampHours, lampFail,
                                                testMails)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE_WITH_DEFAULT(ProjectorState, model, power, lampHours, source,
                                                firmware, displayMode, group, name, control,
                                                network, user, alert)
NLOHMANN_DEFINE_TYPE_NON_INTRUSIVE_WITH_DEFAULT(Faults, replyDelayMs, hang, emptyReply,
                                                closeWithoutReply, commandTimeout, garbage,
                                                truncate, silentDiscovery, gone, standbyDigit)

namespace {

using nlohmann::json;

const std::vector<std::string> kTopics = {"info",    "group", "model", "control",
                                          "network", "user",  "alert"};

json ToJson(const ProjectorConfig& config) {
    json j = config.state;
    j["address"] = config.address;
    j["mac"] = config.mac;
    j["faults"] = config.faults;
    return j;
}

// Rejects keys the reference does not have, so that a misspelt field is reported rather
// than silently ignored. Maps keyed by topic are checked against the topic words.
bool CheckKeys(const json& given, const json& reference, const std::string& path,
               std::string* error) {
    if (!given.is_object()) {
        return true;
    }
    for (const auto& [key, value] : given.items()) {
        std::string where = path.empty() ? key : path + "." + key;
        if (path == "faults" && key == "truncate") {
            for (const auto& [topic, cut] : value.items()) {
                if (std::find(kTopics.begin(), kTopics.end(), topic) == kTopics.end()) {
                    *error = "unknown topic '" + topic + "' in " + where;
                    return false;
                }
            }
            continue;
        }
        if (!reference.contains(key)) {
            *error = "unknown field '" + where + "'";
            return false;
        }
        if (!CheckKeys(value, reference[key], where, error)) {
            return false;
        }
    }
    if (path == "faults" && given.contains("garbage")) {
        for (const auto& topic : given["garbage"]) {
            if (!topic.is_string() || std::find(kTopics.begin(), kTopics.end(),
                                                topic.get<std::string>()) == kTopics.end()) {
                *error = "unknown topic in faults.garbage: " + topic.dump();
                return false;
            }
        }
    }
    return true;
}

bool Validate(const ProjectorConfig& c, std::string* error) {
    if (!PackAddress(c.address)) {
        *error = "bad address '" + c.address + "'";
        return false;
    }
    if (c.mac.size() != 12) {
        *error = "MAC '" + c.mac + "' is not 12 characters";
        return false;
    }
    if (c.state.power < 0 || c.state.power > 2) {
        *error = "power must be 0 (off), 1 (on) or 2 (standby)";
        return false;
    }
    if (c.state.group.size() > 32 || c.state.name.size() > 32) {
        *error = "group and name are at most 32 characters";
        return false;
    }
    return true;
}

}  // namespace

std::optional<std::string> NextAddress(const std::string& address, uint32_t steps) {
    auto packed = PackAddress(address);
    if (!packed || *packed > 0xFFFFFFFFu - steps) {
        return std::nullopt;
    }
    return DottedAddress(*packed + steps);
}

FleetOptions GenerateFleet(size_t count, uint64_t seed, const std::string& firstAddress) {
    FleetOptions options;
    options.projectors.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        GeneratedIdentity id = GenerateProjector(seed, i);
        ProjectorConfig config;
        config.address = NextAddress(firstAddress, static_cast<uint32_t>(i)).value_or("");
        config.mac = id.mac;
        config.state = id.state;
        options.projectors.push_back(std::move(config));
    }
    return options;
}

bool ApplyProjectorJson(const std::string& text, ProjectorConfig& config, std::string* error) {
    std::string ignored;
    error = error ? error : &ignored;
    try {
        json given = json::parse(text);
        if (!given.is_object()) {
            *error = "a projector is a JSON object";
            return false;
        }
        json merged = ToJson(config);
        if (!CheckKeys(given, merged, "", error)) {
            return false;
        }
        merged.merge_patch(given);
        ProjectorConfig next;
        next.state = merged.get<ProjectorState>();
        next.faults = merged["faults"].get<Faults>();
        next.address = merged["address"].get<std::string>();
        next.mac = merged["mac"].get<std::string>();
        if (!Validate(next, error)) {
            return false;
        }
        config = std::move(next);
        return true;
    } catch (const std::exception& e) {
        *error = e.what();
        return false;
    }
}

std::string ProjectorJson(const ProjectorConfig& config) {
    return ToJson(config).dump();
}

std::optional<FleetOptions> ParseFleetJson(const std::string& text, const std::string& firstAddress,
                                           uint64_t seed, std::string* error) {
    std::string ignored;
    error = error ? error : &ignored;
    json doc;
    try {
        doc = json::parse(text);
    } catch (const std::exception& e) {
        *error = std::string("fleet file is not JSON: ") + e.what();
        return std::nullopt;
    }
    if (doc.is_array()) {
        doc = json{{"projectors", doc}};
    }
    if (!doc.is_object()) {
        *error = "fleet file must hold an object or an array of projectors";
        return std::nullopt;
    }
    for (const auto& [key, value] : doc.items()) {
        if (key != "seed" && key != "count" && key != "projectors") {
            *error = "unknown field '" + key + "' in the fleet file";
            return std::nullopt;
        }
    }
    try {
        seed = doc.value("seed", seed);
        json listed = doc.value("projectors", json::array());
        size_t count = std::max(doc.value("count", size_t{0}), listed.size());
        FleetOptions options = GenerateFleet(count, seed, firstAddress);
        std::string nextAddress = firstAddress;
        for (size_t i = 0; i < count; ++i) {
            ProjectorConfig& config = options.projectors[i];
            // Unaddressed projectors continue after the previous one.
            config.address = nextAddress;
            if (i < listed.size() && !ApplyProjectorJson(listed[i].dump(), config, error)) {
                *error = "projector " + std::to_string(i) + ": " + *error;
                return std::nullopt;
            }
            nextAddress = NextAddress(config.address).value_or("0.0.0.0");
        }
        return options;
    } catch (const std::exception& e) {
        *error = e.what();
        return std::nullopt;
    }
}

std::optional<FleetOptions> LoadFleetFile(const std::string& path, const std::string& firstAddress,
                                          uint64_t seed, std::string* error) {
    std::ifstream in(path);
    if (!in) {
        if (error) {
            *error = "cannot read fleet file " + path;
        }
        return std::nullopt;
    }
    std::stringstream text;
    text << in.rdbuf();
    return ParseFleetJson(text.str(), firstAddress, seed, error);
}

const char* FleetFileHelp() {
    return R"(Fleet file (--fleet FILE): JSON, either an array of projectors or
  {"seed": N, "count": N, "projectors": [ ... ]}
  "count" adds generated projectors after the listed ones. Every field of a projector is
  optional; missing ones come from the generator (deterministic from the seed), and a
  projector without "address" takes the one after the previous projector (the first
  starts at --first-address). Misspelt fields are refused. A projector:
  {
    "address": "127.0.0.2", "mac": "02AB00000001", "model": "6",
    "power": 1,                       0 off, 1 on, 2 standby
    "lampHours": 1234, "source": 5,   source codes 0 None 1 VGA-1 2 VGA-2 3 S-Video
                                      4 Video 5 HDMI
    "firmware": "A123", "displayMode": 4, "group": "Lab", "name": "P1",
    "control": {"volume": 5, "brightness": 50, "avMute": 0, "threeD": 0, ...},
    "network": {"mask": "255.255.255.0", "gateway": "127.0.0.1", "dns": "127.0.0.1",
                "dhcp": 0},
    "user": {"adminAccess": 1, "adminPassword": "", "userAccess": 0, "userPassword": ""},
    "alert": {"mailTo": "", "mailCc": "", "mailSubject": "", "mailFrom": "",
              "smtpServer": "", "smtpUser": "", "smtpPassword": "", "fanLock": 0,
              "overTemperature": 0, "lampHours": 0, "lampFail": 0},
    "faults": { see Faults }
  }
  control fields: brightMode freeze sourceLock avMute infoHide highAltitude keypadLock
  directPower displayFormat colorTemp degamma projection logo background colorSpace
  projectorId volume sharpness phase brilliantColor zoom brightness contrast imageShift
  keystone autoPowerOff sleepTimer closedCaption autoKeystone threeD threeDSyncInvert
  message (list settings are positions in the console's lists).
)";
}

}  // namespace vistrel::sim
