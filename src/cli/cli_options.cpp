#include "cli/cli_options.h"

#include <arpa/inet.h>

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>
#include <initializer_list>
#include <set>

#include "protocol/option_tables.h"

namespace vistrel::cli {
namespace {

constexpr size_t kNameFieldBytes = 32;
// The window's view of every projector; its tasks are kept under this name.
constexpr const char* kAllProjectorsLabel = "All Projectors";
constexpr const char* kSeeHelp = " (see \"vistrel-cli --help\")";

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

[[noreturn]] void Fail(const std::string& message) {
    throw UsageError(message + kSeeHelp);
}

bool ParseInt(const std::string& text, long long min, long long max, long long& value) {
    if (text.empty())
        return false;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end && value >= min && value <= max;
}

std::string CommandWords(Command c) {
    switch (c) {
        case Command::Help:
            return "help";
        case Command::Version:
            return "version";
        case Command::Discover:
            return "discover";
        case Command::Status:
            return "status";
        case Command::Power:
            return "power";
        case Command::Source:
            return "source";
        case Command::GroupSet:
            return "group set";
        case Command::Query:
            return "query";
        case Command::Send:
            return "send";
        case Command::ScheduleList:
            return "schedule list";
        case Command::ScheduleSet:
            return "schedule set";
        case Command::RunSchedules:
            return "run-schedules";
    }
    return "";
}

struct OptionSpec {
    const char* name;
    bool takesValue;
    std::vector<Command> only;  // empty: every command
};

const std::vector<OptionSpec>& Specs() {
    static const std::vector<OptionSpec> specs = {
        {"--help", false, {}},
        {"--version", false, {}},
        {"--json", false, {}},
        {"--csv", false, {}},
        {"--timeout", true, {}},
        {"--broadcast", true, {}},
        {"--bind", true, {}},
        {"--discovery-port", true, {}},
        {"--http-port", true, {}},
        {"--app-name", true, {}},
        {"--store", true, {}},
        {"--wait", true, {Command::Discover, Command::Status, Command::Power}},
        {"--name", true, {Command::GroupSet}},
        {"--projector", true, {Command::ScheduleList, Command::ScheduleSet}},
        {"--group", true, {Command::ScheduleList, Command::ScheduleSet}},
        {"--task", true, {Command::ScheduleSet}},
        {"--enable", false, {Command::ScheduleSet}},
        {"--disable", false, {Command::ScheduleSet}},
        {"--period", true, {Command::ScheduleSet}},
        {"--time", true, {Command::ScheduleSet}},
        {"--date", true, {Command::ScheduleSet}},
        {"--command", true, {Command::ScheduleSet}},
    };
    return specs;
}

struct GivenOption {
    std::string name;
    std::string value;
};

uint16_t ParsePort(const GivenOption& o) {
    long long v = 0;
    if (!ParseInt(o.value, 1, 65535, v)) {
        Fail(o.name + " needs a port number from 1 to 65535, not \"" + o.value + "\"");
    }
    return static_cast<uint16_t>(v);
}

std::string ParseAddress(const GivenOption& o) {
    if (!IsDottedQuad(o.value)) {
        Fail(o.name + " needs an IPv4 address such as 192.168.1.255, not \"" + o.value + "\"");
    }
    return o.value;
}

int ParsePeriod(const std::string& text) {
    static const char* names[] = {"once", "daily", "weekly", "monthly"};
    const std::string lower = Lower(text);
    for (int i = 0; i < 4; ++i) {
        if (lower == names[i])
            return i;
    }
    Fail("--period must be once, daily, weekly or monthly, not \"" + text + "\"");
}

int ParseTaskCommand(const std::string& text) {
    const std::string lower = Lower(text);
    if (lower == "on" || lower == "power-on" || lower == "power_on")
        return 0;
    if (lower == "off" || lower == "power-off" || lower == "power_off")
        return 1;
    Fail("--command must be on or off, not \"" + text + "\"");
}

void ParseTime(const std::string& text, TaskEdit& edit) {
    long long h = 0, m = 0, s = 0;
    const auto bad = [&] {
        Fail("--time needs HH:MM or HH:MM:SS (24-hour), not \"" + text + "\"");
    };
    const size_t c1 = text.find(':');
    if (c1 == std::string::npos)
        bad();
    const size_t c2 = text.find(':', c1 + 1);
    const std::string hs = text.substr(0, c1);
    const std::string ms =
        text.substr(c1 + 1, c2 == std::string::npos ? std::string::npos : c2 - c1 - 1);
    if (!ParseInt(hs, 0, 23, h) || ms.size() != 2 || !ParseInt(ms, 0, 59, m))
        bad();
    if (c2 != std::string::npos) {
        const std::string ss = text.substr(c2 + 1);
        if (ss.size() != 2 || !ParseInt(ss, 0, 59, s))
            bad();
    }
    edit.hour = static_cast<int>(h);
    edit.minute = static_cast<int>(m);
    edit.second = static_cast<int>(s);
}

void ParseDate(const std::string& text, TaskEdit& edit) {
    long long y = 0, mo = 0, d = 0;
    const auto bad = [&] { Fail("--date needs YYYY-MM-DD, not \"" + text + "\""); };
    if (text.size() != 10 || text[4] != '-' || text[7] != '-')
        bad();
    if (!ParseInt(text.substr(0, 4), 1970, 2105, y) || !ParseInt(text.substr(5, 2), 1, 12, mo) ||
        !ParseInt(text.substr(8, 2), 1, 31, d)) {
        bad();
    }
    static const int days[] = {31, 29, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    const bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
    if (d > days[mo - 1] || (mo == 2 && d == 29 && !leap))
        Fail(text + " is not a calendar date");
    edit.year = static_cast<int>(y);
    edit.month = static_cast<int>(mo);
    edit.day = static_cast<int>(d);
}

void TakeIps(const std::vector<std::string>& words, size_t from, CliOptions& options) {
    for (size_t i = from; i < words.size(); ++i) {
        if (!IsDottedQuad(words[i])) {
            Fail("\"" + words[i] +
                 "\" is not a projector address; give IPv4 addresses such as "
                 "192.168.1.20");
        }
        if (std::find(options.ips.begin(), options.ips.end(), words[i]) == options.ips.end()) {
            options.ips.push_back(words[i]);
        }
    }
}

void NeedIps(const CliOptions& options, const std::string& what) {
    if (options.ips.empty())
        Fail(what + " needs at least one projector address");
}

void NeedCount(const std::vector<std::string>& words, size_t count, const std::string& usage) {
    if (words.size() != count)
        Fail("usage: vistrel-cli " + usage);
}

}  // namespace

bool IsDottedQuad(const std::string& text) {
    in_addr addr{};
    return text.size() <= 15 && inet_pton(AF_INET, text.c_str(), &addr) == 1;
}

std::string CheckGroupName(const std::string& name, bool allowAllProjectors) {
    if (name.size() > kNameFieldBytes) {
        return "group name \"" + name + "\" is " + std::to_string(name.size()) +
               " bytes long; projectors store at most 32";
    }
    if (name.find('\\') != std::string::npos) {
        return "group name \"" + name + "\" contains a backslash, which a group name cannot hold";
    }
    for (unsigned char c : name) {
        if (c < 0x20 || c == 0x7F)
            return "group name contains a control character";
    }
    if (!allowAllProjectors && Lower(name) == Lower(kAllProjectorsLabel)) {
        return "\"" + name + "\" is the name of the view of every projector, not a group";
    }
    return {};
}

std::string CheckProjectorName(const std::string& name) {
    if (name.size() > kNameFieldBytes) {
        return "projector name \"" + name + "\" is " + std::to_string(name.size()) +
               " bytes long; projectors store at most 32";
    }
    for (unsigned char c : name) {
        if (c < 0x20 || c == 0x7F)
            return "projector name contains a control character";
    }
    return {};
}

std::string CheckMac(const std::string& mac) {
    if (mac.size() != 12) {
        return "\"" + mac +
               "\" is not a projector identity: it has 12 characters, as "
               "\"vistrel-cli discover\" shows them";
    }
    for (unsigned char c : mac) {
        if (c <= 0x20 || c == 0x7F || c == '\\' || c >= 0x80) {
            return "\"" + mac +
                   "\" is not a projector identity: it holds a blank, a backslash "
                   "or another character that an identity never has";
        }
    }
    return {};
}

CliOptions ParseArguments(const std::vector<std::string>& args) {
    CliOptions options;
    std::vector<std::string> words;
    std::vector<GivenOption> given;
    bool optionsEnded = false;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.size() < 2 || arg[0] != '-' ||
            (arg != "--" && arg.rfind("--", 0) != 0 && arg != "-h")) {
            words.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        std::string name = arg == "-h" ? "--help" : arg;
        std::optional<std::string> inlineValue;
        if (const size_t eq = name.find('='); eq != std::string::npos) {
            inlineValue = name.substr(eq + 1);
            name.resize(eq);
        }
        const auto& specs = Specs();
        auto spec = std::find_if(specs.begin(), specs.end(),
                                 [&](const OptionSpec& s) { return name == s.name; });
        if (spec == specs.end())
            Fail("unknown option " + name);
        GivenOption o{name, {}};
        if (spec->takesValue) {
            if (inlineValue) {
                o.value = *inlineValue;
            } else if (i + 1 < args.size()) {
                o.value = args[++i];
            } else {
                Fail(name + " needs a value");
            }
        } else if (inlineValue) {
            Fail(name + " takes no value");
        }
        given.push_back(o);
    }

    const bool wantsHelp = std::any_of(given.begin(), given.end(),
                                       [](const GivenOption& o) { return o.name == "--help"; });
    if (wantsHelp || (!words.empty() && words[0] == "help")) {
        options.command = Command::Help;
        return options;
    }
    const bool wantsVersion = std::any_of(
        given.begin(), given.end(), [](const GivenOption& o) { return o.name == "--version"; });
    if (wantsVersion) {
        options.command = Command::Version;
        return options;
    }
    if (words.empty())
        Fail("no command given");

    // The command and its own words.
    const std::string& verb = words[0];
    if (verb == "discover") {
        options.command = Command::Discover;
        NeedCount(words, 1, "discover [--wait SECONDS]");
    } else if (verb == "status") {
        options.command = Command::Status;
        TakeIps(words, 1, options);
    } else if (verb == "power") {
        options.command = Command::Power;
        if (words.size() < 2 || (words[1] != "on" && words[1] != "off")) {
            Fail("usage: vistrel-cli power on|off IP... [--wait SECONDS]");
        }
        options.powerOn = words[1] == "on";
        TakeIps(words, 2, options);
        NeedIps(options, "power " + words[1]);
    } else if (verb == "source") {
        options.command = Command::Source;
        if (words.size() < 2)
            Fail("usage: vistrel-cli source LABEL IP...");
        std::string labels;
        for (int i = 0; i < RowCount(kSourceTable); ++i) {
            const std::string label(LabelAt(kSourceTable, i));
            labels += (i ? ", " : "") + label;
            if (Lower(label) == Lower(words[1]))
                options.sourceLabel = label;
        }
        if (options.sourceLabel.empty()) {
            Fail("unknown source \"" + words[1] + "\"; the sources are " + labels);
        }
        TakeIps(words, 2, options);
        NeedIps(options, "source");
    } else if (verb == "group") {
        if (words.size() < 2 || words[1] != "set" || words.size() < 3) {
            Fail("usage: vistrel-cli group set GROUP [--name NAME] IP...");
        }
        options.command = Command::GroupSet;
        options.groupName = words[2];
        if (std::string why = CheckGroupName(options.groupName); !why.empty())
            Fail(why);
        TakeIps(words, 3, options);
        NeedIps(options, "group set");
    } else if (verb == "query") {
        options.command = Command::Query;
        NeedCount(words, 3, "query TOPIC IP");
        static const char* topics[] = {"info",    "group", "model", "control",
                                       "network", "user",  "alert"};
        const auto known = std::find(std::begin(topics), std::end(topics), words[1]);
        if (known == std::end(topics)) {
            Fail("unknown topic \"" + words[1] +
                 "\"; the topics are info, group, model, control, network, user, alert");
        }
        options.topic = words[1];
        TakeIps(words, 2, options);
    } else if (verb == "send") {
        options.command = Command::Send;
        NeedCount(words, 3, "send BODY IP");
        options.body = words[1];
        if (options.body.empty())
            Fail("send needs a body such as \"command=~0000 1\"");
        TakeIps(words, 2, options);
    } else if (verb == "schedule") {
        if (words.size() >= 2 && words[1] == "list") {
            options.command = Command::ScheduleList;
            NeedCount(words, 2, "schedule list [--projector MAC | --group NAME]");
        } else if (words.size() >= 2 && words[1] == "set") {
            options.command = Command::ScheduleSet;
            NeedCount(words, 2,
                      "schedule set (--projector MAC... | --group NAME) --task N [changes]");
        } else {
            Fail("usage: vistrel-cli schedule list|set ...");
        }
    } else if (verb == "run-schedules") {
        options.command = Command::RunSchedules;
        NeedCount(words, 1, "run-schedules");
    } else {
        Fail("unknown command \"" + verb + "\"");
    }

    // Options, each checked against the command it was given with.
    bool json = false, csv = false;
    for (const GivenOption& o : given) {
        const auto& specs = Specs();
        const auto spec = std::find_if(specs.begin(), specs.end(),
                                       [&](const OptionSpec& s) { return o.name == s.name; });
        if (!spec->only.empty() &&
            std::find(spec->only.begin(), spec->only.end(), options.command) == spec->only.end()) {
            std::string commands;
            for (Command c : spec->only)
                commands += (commands.empty() ? "" : ", ") + CommandWords(c);
            Fail(o.name + " belongs to " + commands + ", not to " + CommandWords(options.command));
        }
        long long v = 0;
        if (o.name == "--json") {
            json = true;
        } else if (o.name == "--csv") {
            csv = true;
        } else if (o.name == "--timeout") {
            if (!ParseInt(o.value, 1, 300000, v)) {
                Fail("--timeout needs milliseconds from 1 to 300000, not \"" + o.value + "\"");
            }
            options.timeoutMs = static_cast<int>(v);
        } else if (o.name == "--broadcast") {
            options.profile.broadcastAddress = ParseAddress(o);
        } else if (o.name == "--bind") {
            options.profile.bindAddress = ParseAddress(o);
        } else if (o.name == "--discovery-port") {
            options.profile.discoveryPort = ParsePort(o);
        } else if (o.name == "--http-port") {
            options.profile.httpPort = ParsePort(o);
        } else if (o.name == "--app-name") {
            if (o.value.empty() || o.value.size() > 200 ||
                o.value.find_first_of("\\/") != std::string::npos ||
                std::any_of(o.value.begin(), o.value.end(),
                            [](unsigned char c) { return c < 0x20 || c == 0x7F; })) {
                Fail("--app-name needs the console's executable name, such as vistrel");
            }
            options.appName = o.value;
        } else if (o.name == "--store") {
            if (o.value.empty())
                Fail("--store needs a file name");
            options.storeFile = o.value;
        } else if (o.name == "--wait") {
            double seconds = 0;
            auto [ptr, ec] =
                std::from_chars(o.value.data(), o.value.data() + o.value.size(), seconds);
            if (ec != std::errc() || ptr != o.value.data() + o.value.size() ||
                !std::isfinite(seconds) || seconds < 0 || seconds > 3600) {
                Fail("--wait needs seconds from 0 to 3600, not \"" + o.value + "\"");
            }
            options.waitSeconds = seconds;
        } else if (o.name == "--name") {
            if (std::string why = CheckProjectorName(o.value); !why.empty())
                Fail(why);
            options.projectorName = o.value;
        } else if (o.name == "--projector") {
            if (std::string why = CheckMac(o.value); !why.empty())
                Fail(why);
            if (options.command == Command::ScheduleList && !options.projectorMacs.empty()) {
                Fail("schedule list takes one --projector");
            }
            options.projectorMacs.push_back(o.value);
        } else if (o.name == "--group") {
            if (options.scheduleGroup)
                Fail("--group may be given once");
            if (o.value.empty())
                Fail("--group needs a group name");
            if (std::string why = CheckGroupName(o.value, true); !why.empty())
                Fail(why);
            options.scheduleGroup = o.value;
        } else if (o.name == "--task") {
            if (!ParseInt(o.value, 1, 4, v))
                Fail("--task needs a task number from 1 to 4");
            options.edit.task = static_cast<int>(v);
        } else if (o.name == "--enable" || o.name == "--disable") {
            const bool enable = o.name == "--enable";
            if (options.edit.enabled && *options.edit.enabled != enable) {
                Fail("--enable and --disable exclude each other");
            }
            options.edit.enabled = enable;
        } else if (o.name == "--period") {
            options.edit.period = ParsePeriod(o.value);
        } else if (o.name == "--time") {
            ParseTime(o.value, options.edit);
        } else if (o.name == "--date") {
            ParseDate(o.value, options.edit);
        } else if (o.name == "--command") {
            options.edit.command = ParseTaskCommand(o.value);
        }
    }
    if (json && csv)
        Fail("--json and --csv exclude each other");
    options.format = json ? OutputFormat::Json : csv ? OutputFormat::Csv : OutputFormat::Table;

    if (options.command == Command::ScheduleList && !options.projectorMacs.empty() &&
        options.scheduleGroup) {
        Fail("schedule list takes --projector or --group, not both");
    }
    if (options.command == Command::ScheduleSet) {
        if (options.projectorMacs.empty() && !options.scheduleGroup) {
            Fail("schedule set needs --projector MAC or --group NAME");
        }
        if (options.edit.task == 0)
            Fail("schedule set needs --task N (1 to 4)");
    }
    return options;
}

}  // namespace vistrel::cli
