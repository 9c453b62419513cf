// Parsing of the whole command line: CLI11 reads it against the command tree, then the
// selected command turns its words and options into CliOptions.
#include "cli/cli_options.h"

#include <algorithm>

#include "cli/commands.h"

namespace vistrel::cli {
namespace {

// Messages for what CLI11 reports in its own words.
std::string Rephrase(const CLI::Error& e) {
    const std::string what = e.what();
    if (e.get_name() == "ValidationError") {
        // "--option: reason": the reason of Check() names the option itself.
        const size_t colon = what.find(": ");
        return colon == std::string::npos ? what : what.substr(colon + 2);
    }
    if (e.get_name() == "ArgumentMismatch") {
        const size_t colon = what.find(':');
        if (what.find("flag override") != std::string::npos) {
            std::string name = what.substr(0, what.find(' '));
            if (name.rfind("-", 0) != 0)
                name = "--" + name;
            return name + " takes no value";
        }
        if (colon != std::string::npos && what.find("required") != std::string::npos)
            return what.substr(0, colon) + " needs a value";
    }
    return what;
}

// Options and words that no definition took.
void FailOnExtras(CommandTree& tree, const CliCommand* command);

// A line that selects no command: a family without its command, an unknown word or option,
// nothing.
[[noreturn]] void FailWithoutCommand(CommandTree& tree) {
    for (CLI::App* family : tree.app.get_subcommands()) {
        std::string next;
        for (const CLI::App* member : family->get_subcommands({}))
            next += (next.empty() ? "" : "|") + member->get_name();
        Fail("usage: vistrel-cli " + family->get_name() + " " + next + " ...");
    }
    const std::vector<std::string> rest = tree.app.remaining();
    if (!rest.empty() && rest.front().rfind("-", 0) != 0)
        Fail("unknown command \"" + rest.front() + "\"");
    if (!rest.empty())
        FailOnExtras(tree, nullptr);
    Fail("no command given");
}

void FailOnExtras(CommandTree& tree, const CliCommand* command) {
    for (const std::string& extra : tree.app.remaining(true)) {
        if (extra == "--")
            continue;
        if (extra.size() > 1 && extra[0] == '-') {
            const std::string optionName = extra.substr(0, extra.find('='));
            const auto owners = tree.CommandsWithOption(optionName);
            if (owners.empty() || !command)
                Fail("unknown option " + optionName);
            std::string list;
            for (const std::string& owner : owners)
                list += (list.empty() ? "" : ", ") + owner;
            if (std::find(owners.begin(), owners.end(), command->words) != owners.end())
                Fail(optionName + " goes after the command: vistrel-cli " + command->usage);
            Fail(optionName + " belongs to " + list + ", not to " + command->words);
        }
        if (!command)
            Fail("unknown command \"" + extra + "\"");
        command->FailUsage();
    }
}

}  // namespace

bool NeedsTargetResolution(const CliOptions& options) {
    return !options.targetMacs.empty() || options.targetGroup || options.ticked || options.all;
}

CliOptions ParseArguments(const std::vector<std::string>& args) {
    CliOptions options;
    CommandTree tree;

    // Everything after "--" is a word, even when it begins with a dash.
    std::vector<std::string> head = args;
    std::vector<std::string> tail;
    if (const auto dashes = std::find(args.begin(), args.end(), "--"); dashes != args.end()) {
        head.assign(args.begin(), dashes);
        tail.assign(dashes + 1, args.end());
    }
    std::vector<std::string> reversed(head.rbegin(), head.rend());
    const auto help = [&] {
        const CliCommand* command = tree.Selected();
        options.command = Command::Help;
        options.run = PrintText;
        options.text = command ? command->app->help() : tree.app.help();
        return options;
    };
    try {
        tree.app.parse(reversed);
    } catch (const CLI::CallForHelp&) {
        return help();
    } catch (const CLI::CallForVersion&) {
        options.command = Command::Version;
        options.run = PrintText;
        options.text = std::string("vistrel-cli ") + VISTREL_VERSION + "\n";
        return options;
    } catch (const CLI::ValidationError& e) {
        // CLI11 checks values before it looks for --help; asking for help still gets it.
        if (std::find_if(head.begin(), head.end(), [](const std::string& word) {
                return word == "-h" || word == "--help";
            }) != head.end()) {
            return help();
        }
        Fail(Rephrase(e));
    } catch (const CLI::Error& e) {
        Fail(Rephrase(e));
    }

    CliCommand* command = tree.Selected();
    if (!command)
        FailWithoutCommand(tree);
    FailOnExtras(tree, command);

    options.command = command->command;
    options.run = command->run;
    std::vector<std::string> words = command->Positionals();
    words.insert(words.end(), tail.begin(), tail.end());
    ApplySharedOptions(tree, *command, options);
    command->parse(words, options);
    return options;
}

}  // namespace vistrel::cli
