#include "cli/cli_command.h"

#include <algorithm>
#include <cctype>
#include <charconv>
#include <cmath>

#include "cli/commands.h"

namespace vistrel::cli {

namespace {

constexpr const char* kSeeHelp = " (see \"vistrel-cli --help\")";

}  // namespace

void Fail(const std::string& message) {
    throw UsageError(message + kSeeHelp);
}

std::string Lower(std::string s) {
    std::transform(s.begin(), s.end(), s.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return s;
}

bool ParseInt(const std::string& text, long long min, long long max, long long& value) {
    if (text.empty())
        return false;
    const char* end = text.data() + text.size();
    auto [ptr, ec] = std::from_chars(text.data(), end, value);
    return ec == std::errc() && ptr == end && value >= min && value <= max;
}

bool ParseSeconds(const std::string& text, double& seconds) {
    auto [ptr, ec] = std::from_chars(text.data(), text.data() + text.size(), seconds);
    return ec == std::errc() && ptr == text.data() + text.size() && std::isfinite(seconds) &&
           seconds >= 0 && seconds <= 3600;
}

CLI::Validator Check(std::function<std::string(const std::string&)> reason) {
    return CLI::Validator(
        [reason = std::move(reason)](std::string& value) { return reason(value); }, "");
}

CLI::Option* AddValue(CLI::App* app, const std::string& names, std::vector<std::string>& into,
                      const std::string& help, const std::string& type) {
    return app->add_option(names, into, help)->allow_extra_args(false)->option_text(type);
}

CLI::Option* AddFlag(CLI::App* app, const std::string& names, bool& into, const std::string& help) {
    return app->add_flag(names, into, help)->disable_flag_override();
}

// ---- One command ---------------------------------------------------------------------------

void CliCommand::Words(const std::vector<std::string>& fixedNames, const std::string& restName) {
    for (size_t i = 0; i < fixedNames.size(); ++i) {
        CLI::Option* o = app->add_option(fixedNames[i], fixedValues_[i])->option_text("");
        fixed_.emplace_back(o, &fixedValues_[i]);
    }
    if (!restName.empty())
        app->add_option(restName, restValues_)->option_text("...");
}

std::vector<std::string> CliCommand::Positionals() const {
    std::vector<std::string> words;
    for (const auto& [option, value] : fixed_) {
        if (option->count() > 0)
            words.push_back(*value);
    }
    words.insert(words.end(), restValues_.begin(), restValues_.end());
    return words;
}

void CliCommand::FailUsage() const {
    Fail("usage: vistrel-cli " + usage);
}

// ---- The tree ------------------------------------------------------------------------------

// Usage lines that name the program and the command's words, as people type them.
class CommandTree::UsageFormatter : public CLI::Formatter {
  public:
    std::map<const CLI::App*, std::string> usages;

    std::string make_usage(const CLI::App* app, std::string name) const override {
        const auto it = usages.find(app);
        if (it == usages.end())
            return CLI::Formatter::make_usage(app, std::move(name));
        return get_label("Usage") + ": vistrel-cli " + it->second + "\n";
    }
};

CommandTree::CommandTree()
    : app("vistrel-cli - the projector console's jobs from a shell", "vistrel-cli"),
      formatter_(std::make_shared<UsageFormatter>()) {
    app.set_help_flag("-h,--help",
                      "Print this help and exit (after a command: that command's help)");
    app.set_version_flag("--version", std::string("vistrel-cli ") + VISTREL_VERSION,
                         "Print the version and exit");
    app.allow_extras();  // reported by ParseArguments in its own words
    app.require_subcommand(0, 1);
    formatter_->column_width(30);
    formatter_->usages[&app] = "[OPTIONS] COMMAND [ARGUMENTS]";
    app.formatter(formatter_);

    // The order here is the order of the help and of the completion script.
    AddSharedOptions(*this);
    AddProjectorCommands(*this);
    AddHealthCommands(*this);
    AddPjlinkCommands(*this);
    AddSettingsCommands(*this);
    AddScheduleCommands(*this);
    AddConfigCommands(*this);
    AddHelpCommands(*this);
}

CliCommand& CommandTree::Add(CLI::App* parent, const std::string& name, const std::string& words,
                             Command command, const std::string& description,
                             const std::string& usage) {
    auto added = std::make_unique<CliCommand>();
    added->app = parent->add_subcommand(name, description);
    added->app->fallthrough();  // shared options may follow the command
    added->app->group("Commands");
    added->command = command;
    added->words = words;
    added->usage = usage;
    formatter_->usages[added->app] = usage + " [OPTIONS]";
    commands.push_back(std::move(added));
    return *commands.back();
}

CLI::App* CommandTree::AddFamily(const std::string& name, const std::string& description,
                                 const std::string& usage) {
    CLI::App* family = app.add_subcommand(name, description);
    formatter_->usages[family] = usage;
    family->fallthrough();
    family->group("Commands");
    family->require_subcommand(0, 1);
    return family;
}

void CommandTree::Targets(CliCommand& command) {
    command.takesTargets = true;
    AddValue(command.app, "--group", selection.group, "The projectors that report this group",
             "NAME")
        ->check(Check([](const std::string& name) { return CheckGroupName(name); }));
    AddFlag(command.app, "--ticked", selection.ticked,
            "The projectors ticked in the console window");
    AddFlag(command.app, "--all", selection.all, "Every projector that answers discovery");
}

void CommandTree::Wait(CliCommand& command, const std::string& what) {
    AddValue(command.app, "--wait", selection.wait, what, "SECONDS")
        ->check(Check([](const std::string& text) -> std::string {
            double seconds = 0;
            if (ParseSeconds(text, seconds))
                return {};
            return "--wait needs seconds from 0 to 3600, not \"" + text + "\"";
        }));
}

CliCommand* CommandTree::Find(const CLI::App* which) {
    for (auto& command : commands) {
        if (command->app == which)
            return command.get();
    }
    return nullptr;
}

CliCommand* CommandTree::Selected() {
    const CLI::App* at = &app;
    CliCommand* found = nullptr;
    for (;;) {
        const auto chosen = at->get_subcommands();
        if (chosen.empty())
            return found;
        at = chosen.front();
        if (CliCommand* command = Find(at))
            found = command;
    }
}

std::vector<std::string> CommandTree::CommandsWithOption(const std::string& optionName) const {
    std::vector<std::string> words;
    for (const auto& command : commands) {
        if (command->app->get_option_no_throw(optionName))
            words.push_back(command->words);
    }
    return words;
}

// ---- Targets -------------------------------------------------------------------------------

void TakeTargets(const std::vector<std::string>& words, size_t from, CliOptions& options) {
    for (size_t i = from; i < words.size(); ++i) {
        const std::string& word = words[i];
        if (IsDottedQuad(word)) {
            if (std::find(options.ips.begin(), options.ips.end(), word) == options.ips.end())
                options.ips.push_back(word);
        } else if (LooksLikeMac(word)) {
            if (std::find(options.targetMacs.begin(), options.targetMacs.end(), word) ==
                options.targetMacs.end()) {
                options.targetMacs.push_back(word);
            }
        } else {
            Fail("\"" + word +
                 "\" is not a projector address; give IPv4 addresses such as 192.168.1.20 or "
                 "identities such as 00A0B1C2D3E4");
        }
    }
}

void NeedTargets(const CliOptions& options, const std::string& what) {
    if (options.ips.empty() && !NeedsTargetResolution(options)) {
        Fail(what +
             " needs at least one projector address (or an identity, --group, --ticked "
             "or --all)");
    }
}

void TakeSingleTarget(const std::vector<std::string>& words, size_t from, CliOptions& options,
                      const CliCommand& command) {
    if (words.size() != from + 1)
        command.FailUsage();
    TakeTargets(words, from, options);
}

}  // namespace vistrel::cli
