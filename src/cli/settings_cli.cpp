// The settings commands: set, get, settings --list, export and import, and alert-test,
// which mails with the stored alert settings.
#include <algorithm>
#include <set>
#include <sstream>

#include "cli/commands.h"
#include "cli/set_command.h"
#include "cli/settings_commands.h"

namespace vistrel::cli {
namespace {

std::string SettingsFooter() {
    std::string help = "\nSETTINGS\n";
    for (const SettingName& s : Settings().All()) {
        const bool action = s.def && s.def->kind == SettingKind::Action;
        std::string entry = "  " + s.name + (action ? "" : "=" + ValueSpec(s));
        entry.resize(std::max<size_t>(entry.size() + 1, 34), ' ');
        help += entry + s.help + "\n";
    }
    return help +
           "\nPJLINK PROJECTORS\n"
           "  Of these, power, source, av-mute and freeze reach PJLink projectors, and their\n"
           "  volume steps with volume=up or volume=down; other settings are refused for them.\n"
           "\nEXAMPLES\n"
           "  vistrel-cli set dhcp=off ip=10.1.2.40 mask=255.255.255.0 "
           "gateway=10.1.2.1 192.168.1.20\n"
           "  printf '%s\\n' \"$PW\" | vistrel-cli set admin-access=on "
           "admin-password=- --group Lab\n"
           "  vistrel-cli set mail-to=av@example.org alert-lamp-fail=on --ticked\n"
           "  vistrel-cli set auto-power-off=30 brightness=80 --group Lecture\n"
           "  vistrel-cli set display-mode=Movie resync 192.168.1.20\n";
}

// What set refuses although each value is fine on its own.
void CheckAssignmentsTogether(const std::set<std::string>& given, const CliOptions& options) {
    const bool userRecord = std::any_of(
        options.assignments.begin(), options.assignments.end(), [](const SettingAssignment& a) {
            return Settings().Find(a.name)->record == SettingRecord::User;
        });
    if (userRecord && !given.count("admin-password")) {
        // The access record carries the administrator password; sending it without one would
        // clear it.
        Fail(
            "access settings go out with the administrator password: give "
            "admin-password=- or admin-password=@FILE as well");
    }
    const bool fixed = given.count("ip") > 0;
    for (const char* part : {"mask", "gateway", "dns"}) {
        if (given.count(part) && !fixed)
            Fail(std::string(part) + "= belongs to a fixed address: give ip= with it");
    }
    if (!fixed)
        return;
    for (const SettingAssignment& a : options.assignments) {
        if (a.name == "dhcp" && a.value == "on")
            Fail("ip= gives a fixed address, which dhcp=on contradicts");
    }
    if (options.ips.size() + options.targetMacs.size() != 1 || options.targetGroup ||
        options.ticked || options.all) {
        Fail("ip= moves one projector: give exactly one address or identity");
    }
}

void AddSet(CommandTree& tree) {
    CliCommand& set = tree.Add(
        &tree.app, "set", "set", Command::Set,
        "Change settings of projectors, given as NAME=VALUE. Settings of one record go out "
        "together; what is not given keeps the projector's value (the user password is "
        "cleared unless given). Passwords are read from standard input (NAME=-, one line "
        "each) or a file (NAME=@FILE), never from the command line. ip= moves one projector "
        "to a fixed address and waits (--wait, default 30 s) until discovery finds it there.",
        "set NAME=VALUE... TARGET...");
    set.Words({}, "NAME=VALUE|TARGET");
    for (const SettingName& s : Settings().All())
        set.completions.push_back(s.name + "=");
    tree.Targets(set);
    tree.Wait(set, "Seconds to wait for a moved projector to answer from its new address");
    set.app->footer(SettingsFooter());
    set.run = RunSet;
    set.parse = [](const std::vector<std::string>& words, CliOptions& options) {
        std::vector<std::string> targets;
        std::set<std::string> given;
        for (const std::string& w : words) {
            if (w.find('=') == std::string::npos && !Settings().Find(w)) {
                targets.push_back(w);
                continue;
            }
            const std::string lower = Lower(w);
            if (lower == "volume=up" || lower == "volume=down") {
                if (!given.insert("volume").second)
                    Fail("volume is given twice");
                options.volumeUp = lower == "volume=up";
                continue;
            }
            SettingAssignment a = ParseAssignment(w);
            if (!given.insert(a.name).second)
                Fail(a.name + " is given twice");
            options.assignments.push_back(std::move(a));
        }
        if (options.assignments.empty() && !options.volumeUp)
            Fail("set needs at least one NAME=VALUE, such as dhcp=on");
        TakeTargets(targets, 0, options);
        NeedTargets(options, "set");
        CheckAssignmentsTogether(given, options);
    };
}

void AddGet(CommandTree& tree) {
    CliCommand& get =
        tree.Add(&tree.app, "get", "get", Command::Get,
                 "Read settings of the settings pages from projectors and list each with its "
                 "value (every readable setting when none is named).",
                 "get TARGET... [SETTING...]");
    get.Words({}, "TARGET|SETTING");
    for (const SettingDef& def : AllSettings()) {
        if (def.width > 0 && !def.groupVariant)
            get.completions.emplace_back(def.name);
    }
    tree.Targets(get);
    get.run = RunGet;
    get.parse = [](const std::vector<std::string>& words, CliOptions& options) {
        std::vector<std::string> targets;
        for (const std::string& w : words) {
            const SettingName* setting = Settings().Find(w);
            if (!setting) {
                targets.push_back(w);
                continue;
            }
            if (!setting->def || setting->def->width == 0)
                Fail(setting->name + " cannot be read back from a projector");
            if (std::find(options.settingNames.begin(), options.settingNames.end(),
                          setting->name) == options.settingNames.end()) {
                options.settingNames.push_back(setting->name);
            }
        }
        TakeTargets(targets, 0, options);
        NeedTargets(options, "get");
    };
}

void AddSettingsAndExport(CommandTree& tree) {
    CliCommand& settings =
        tree.Add(&tree.app, "settings", "settings", Command::SettingsList,
                 "List every setting name that get and set know, with its values or range.",
                 "settings --list");
    bool& list = tree.Keep<bool>();
    AddFlag(settings.app, "--list", list, "List the settings");
    settings.run = RunSettingsList;
    settings.parse = [&settings, &list](const std::vector<std::string>& words, CliOptions&) {
        if (!words.empty() || !list)
            settings.FailUsage();
    };

    CliCommand& exportCommand = tree.Add(
        &tree.app, "export", "export", Command::Export,
        "Write every readable setting of one projector as JSON to standard output, for import.",
        "export TARGET");
    exportCommand.Words({"TARGET"});
    exportCommand.run = RunExport;
    exportCommand.parse = [&exportCommand](const std::vector<std::string>& words,
                                           CliOptions& options) {
        TakeSingleTarget(words, 0, options, exportCommand);
    };
}

// The parts named by the values of --only or --include, each value a comma-separated list of
// the parts from `first` on.
std::set<std::string> ImportParts(const std::vector<std::string>& given, const char* option,
                                  size_t first) {
    std::set<std::string> chosen;
    for (const std::string& value : given) {
        std::stringstream words(value);
        for (std::string part; std::getline(words, part, ',');) {
            part = Lower(part);
            const auto known =
                std::find(std::begin(kImportParts) + first, std::end(kImportParts), part);
            if (known == std::end(kImportParts)) {
                std::string names;
                for (auto it = std::begin(kImportParts) + first; it != std::end(kImportParts);
                     ++it) {
                    names += (names.empty() ? "" : ", ") + std::string(*it);
                }
                Fail(std::string(option) + " takes " + names + ", not \"" + part + "\"");
            }
            chosen.insert(part);
        }
    }
    return chosen;
}

struct ImportOptions {
    std::vector<std::string> only, include, smtpPassword;
    bool dryRun = false;
};

void AddImport(CommandTree& tree) {
    CliCommand& import = tree.Add(
        &tree.app, "import", "import", Command::Import,
        "Apply the settings of an export file to projectors: the picture, display and "
        "settings pages and the alert settings. The identity (projector name, group and "
        "projector ID) and the network are applied only when asked with --include, each to "
        "exactly one projector (a fixed address moves it, followed as with set ip=; DHCP on "
        "may go to many). The SMTP password is never in the file: --smtp-password - or "
        "@FILE gives one, else each projector keeps its own. A value a projector's model "
        "does not offer fails that projector before anything is sent to it. --dry-run "
        "prints the request bodies instead of sending them.",
        "import FILE TARGET... [--only PART,...] [--include identity|network] "
        "[--smtp-password -|@FILE] [--dry-run] [--wait SECONDS]");
    import.Words({"FILE"}, "TARGET");
    ImportOptions& o = tree.Keep<ImportOptions>();
    AddValue(import.app, "--only", o.only,
             "Apply only these parts (comma-separated or repeated): picture, display, settings, "
             "alert, identity, network",
             "PART");
    AddValue(import.app, "--include", o.include,
             "Also apply these parts, left out unless asked: identity, network", "PART");
    AddValue(import.app, "--smtp-password", o.smtpPassword,
             "Where the SMTP password for the alert settings comes from: - (a line of standard "
             "input) or @FILE",
             "-|@FILE");
    AddFlag(import.app, "--dry-run", o.dryRun, "Print the bodies instead of sending them");
    tree.Targets(import);
    tree.Wait(import, "Seconds to wait for a projector that the network part moves");
    import.app->footer(
        "\nEXAMPLES\n"
        "  vistrel-cli import room.json --group Lecture\n"
        "  vistrel-cli import room.json 192.168.1.21 192.168.1.22 --only picture,alert\n"
        "  vistrel-cli import room.json 192.168.1.21 --only alert --smtp-password @smtp.pw\n"
        "  vistrel-cli import spare.json 192.168.1.30 --include identity,network --wait 30\n");
    import.run = RunImport;
    import.parse = [&import, &o ](const std::vector<std::string>& words, CliOptions& options) {
        if (words.empty()) import.FailUsage();
    options.importFile = words[0];
    TakeTargets(words, 1, options);
    NeedTargets(options, "import");
    std::set<std::string> chosen(std::begin(kImportParts),
                                 std::begin(kImportParts) + kDefaultImportParts);
    if (Given(o.only))
        chosen = ImportParts(o.only, "--only", 0);
    for (const std::string& part : ImportParts(o.include, "--include", kDefaultImportParts))
        chosen.insert(part);
    for (const char* part : kImportParts) {
        if (chosen.count(part))
            options.importParts.emplace_back(part);
    }
    if (Given(o.smtpPassword)) {
        const std::string& source = o.smtpPassword.back();
        if (source != "-" && (source.size() < 2 || source[0] != '@')) {
            Fail(
                "--smtp-password is never taken from the command line: give - to read it "
                "from standard input, or @FILE");
        }
        options.smtpPasswordSource = source;
    }
    options.dryRun = o.dryRun;
};
}  // namespace

void AddAlertTest(CommandTree& tree) {
    CliCommand& alertTest =
        tree.Add(&tree.app, "alert-test", "alert-test", Command::AlertTest,
                 "Ask projectors to send a test alert mail with their stored alert settings.",
                 "alert-test TARGET...");
    alertTest.Words({}, "TARGET");
    tree.Targets(alertTest);
    alertTest.run = RunAlertTest;
    alertTest.parse = [](const std::vector<std::string>& words, CliOptions& options) {
        TakeTargets(words, 0, options);
        NeedTargets(options, "alert-test");
    };
}

}  // namespace vistrel::cli

void AddSettingsCommands(CommandTree& tree) {
    AddSet(tree);
    AddGet(tree);
    AddSettingsAndExport(tree);
    AddImport(tree);
    AddAlertTest(tree);
}

}  // namespace vistrel::cli
