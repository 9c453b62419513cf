// The command tree of vistrel-cli and what each command adds to it. A command registers its
// own CLI11 subcommand (see commands.h): its words, its options with their checks, what turns
// the parsed line into CliOptions, and the handler that runs it. Help, error messages and
// the completion script all come from this one tree.
#pragma once

#include <CLI/CLI.hpp>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "cli/cli_options.h"

namespace vistrel::cli {

// Throws UsageError with `message` and the pointer to --help.
[[noreturn]] void Fail(const std::string& message);
std::string Lower(std::string s);
bool ParseInt(const std::string& text, long long min, long long max, long long& value);
// Seconds from 0 to 3600, fractions allowed.
bool ParseSeconds(const std::string& text, double& seconds);

// A CLI11 check from a function that says what is wrong with a value ("" when nothing is).
// Its message is shown as the function words it.
CLI::Validator Check(std::function<std::string(const std::string&)> reason);

// A value per occurrence, never the words after it: "--group Lab 10.0.0.5" keeps the address.
CLI::Option* AddValue(CLI::App* app, const std::string& names, std::vector<std::string>& into,
                      const std::string& help, const std::string& type);
CLI::Option* AddFlag(CLI::App* app, const std::string& names, bool& into, const std::string& help);

// The values of a repeatable option: the last one given counts.
inline bool Given(const std::vector<std::string>& values) {
    return !values.empty();
}

// One command of the tree.
struct CliCommand {
    CLI::App* app = nullptr;
    Command command = Command::Help;
    std::string words;  // "group set"
    std::string usage;  // after "usage: vistrel-cli "
    // Checks the command's words (positionals, then what follows "--") and its own options,
    // and fills `options`; throws UsageError.
    std::function<void(const std::vector<std::string>& words, CliOptions& options)> parse;
    CommandHandler run = nullptr;
    // Words the shell may offer after the command (sources, topics, settings).
    std::vector<std::string> completions;
    bool takesTargets = false;

    // Positional arguments: `fixedNames` take one word each, `restName` any number after them.
    void Words(const std::vector<std::string>& fixedNames, const std::string& restName = {});
    // The words given, in order.
    std::vector<std::string> Positionals() const;
    [[noreturn]] void FailUsage() const;

  private:
    std::vector<std::pair<CLI::Option*, std::string*>> fixed_;
    std::vector<std::string> fixedValues_ = std::vector<std::string>(3);
    std::vector<std::string> restValues_;
};

// Options that every command takes, before or after its words.
struct SharedOptions {
    bool json = false, csv = false;
    std::vector<std::string> timeout, broadcast, bind, discoveryPort, httpPort, pjlinkPort, appName,
        store;
};

// Target selection and --wait, which a command adds when it takes them.
struct SelectionOptions {
    std::vector<std::string> group, wait;
    bool ticked = false, all = false;
};

class CommandTree {
  public:
    CommandTree();

    CLI::App app;
    SharedOptions shared;
    SelectionOptions selection;
    std::vector<std::unique_ptr<CliCommand>> commands;

    // A command under `parent` (the program or a family such as "schedule").
    CliCommand& Add(CLI::App* parent, const std::string& name, const std::string& words,
                    Command command, const std::string& description, const std::string& usage);
    // A family of commands ("group", "schedule", "config") that only holds subcommands.
    CLI::App* AddFamily(const std::string& name, const std::string& description,
                        const std::string& usage);
    // --group NAME, --ticked and --all: the projectors a command goes to.
    void Targets(CliCommand& command);
    void Wait(CliCommand& command, const std::string& what);

    // State a command's options bind to; it lives as long as the tree.
    template <typename T>
    T& Keep() {
        auto state = std::make_shared<T>();
        kept_.push_back(state);
        return *state;
    }

    CliCommand* Find(const CLI::App* app);
    CliCommand* Selected();
    std::vector<std::string> CommandsWithOption(const std::string& name) const;

  private:
    class UsageFormatter;
    std::shared_ptr<UsageFormatter> formatter_;
    std::vector<std::shared_ptr<void>> kept_;
};

// Takes the targets among `words` from `from` on: addresses and identities; throws
// UsageError on anything else.
void TakeTargets(const std::vector<std::string>& words, size_t from, CliOptions& options);
// Throws UsageError when the options name no projector.
void NeedTargets(const CliOptions& options, const std::string& what);
// The one projector of query, send and export.
void TakeSingleTarget(const std::vector<std::string>& words, size_t from, CliOptions& options,
                      const CliCommand& command);

}  // namespace vistrel::cli
