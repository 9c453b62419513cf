// help, completion and the program's own help text: all of it generated from the command tree.
#include "cli/cli_context.h"
#include "cli/commands.h"

namespace vistrel::cli {
namespace {

constexpr const char* kProgramFooter = R"HELP(TARGETS
  Projectors are named by IPv4 address or by their 12-character identity (MAC, as
  "discover" lists it), or selected with --group NAME (the group they report), --ticked
  (the projectors ticked in the console window) or --all (every projector that answers
  discovery). Identities and selections are resolved by discovery; a projector that does
  not answer is reported as not found. Commands to several projectors go to all of them at
  once and report each one's result.

EXIT STATUS
  0  every projector succeeded
  1  some projector failed (unreachable, time-out, unexpected reply, not found)
  2  usage error, or the environment stops the command (discovery port unavailable,
     store unusable); the reason and the remedy are printed on standard error
  "health --check" is the exception: it exits as monitoring systems expect, 0 OK,
  1 WARNING, 2 CRITICAL, 3 UNKNOWN (discovery impossible, port busy)

Discovery uses UDP port 250, which needs root or the CAP_NET_BIND_SERVICE capability:
  sudo setcap cap_net_bind_service=+ep "$(command -v vistrel-cli)"

"vistrel-cli COMMAND --help" explains a command.

EXAMPLES
  vistrel-cli discover --wait 3
  vistrel-cli status --csv > fleet.csv
  vistrel-cli power off --group "Lecture Hall" --wait 60
  vistrel-cli source HDMI 192.168.1.20 00A0B1C2D3E4
  vistrel-cli group set "Lecture Hall" --name "Left" 192.168.1.20
  vistrel-cli query info 192.168.1.20
  vistrel-cli send "command=~0000 1" 192.168.1.20
  vistrel-cli set dhcp=on --ticked
  vistrel-cli alert-test --all
  vistrel-cli config broadcast add 10.1.2.255
  vistrel-cli schedule set --projector 00A0B1C2D3E4 --task 1 --enable --period daily \
      --time 22:00 --date 2026-01-05 --command off
  vistrel-cli run-schedules
)HELP";

std::string OptionWords(const CLI::App& app, bool withHelp) {
    std::string words;
    for (const CLI::Option* o : app.get_options()) {
        if (!withHelp && o == app.get_help_ptr())
            continue;
        for (const std::string& n : o->get_lnames())
            words += " --" + n;
        for (const std::string& n : o->get_snames())
            words += " -" + n;
    }
    return words;
}

// One "case" branch of the completion script per command path, children first.
void CompletionCases(CommandTree& tree, CLI::App& app, const std::string& path,
                     const std::string& shared, std::string& names, std::string& cases) {
    std::string words;
    for (CLI::App* child : app.get_subcommands([](CLI::App*) { return true; })) {
        words += " " + child->get_name();
        const std::string childPath = path + "/" + child->get_name();
        names += (names.empty() ? "" : "|") + childPath;
        CompletionCases(tree, *child, childPath, shared, names, cases);
    }
    if (CliCommand* command = tree.Find(&app)) {
        for (const std::string& w : command->completions)
            words += " " + w;
    }
    if (&app != &tree.app)
        words += OptionWords(app, false);
    cases += "        \"" + path + "\") words=\"" + words.substr(words.empty() ? 0 : 1) + shared +
             "\" ;;\n";
}

}  // namespace

int PrintText(const CliContext& context) {
    context.Out() << context.options.text;
    return kExitOk;
}

void AddHelpCommands(CommandTree& tree) {
    CliCommand& completion =
        tree.Add(&tree.app, "completion", "completion", Command::Completion,
                 "Print the shell completion script: source <(vistrel-cli completion bash)",
                 "completion bash");
    completion.Words({"SHELL"});
    completion.completions = {"bash"};
    completion.run = PrintText;
    completion.parse = [](const std::vector<std::string>& words, CliOptions& options) {
        if (words.size() != 1 || words[0] != "bash")
            Fail("usage: vistrel-cli completion bash");
        options.text = BashCompletion();
    };

    CliCommand& help =
        tree.Add(&tree.app, "help", "help", Command::Help,
                 "Print the help of the program or of a command.", "help [COMMAND...]");
    help.Words({}, "COMMAND");
    help.run = PrintText;
    help.parse = [&tree](const std::vector<std::string>& words, CliOptions& options) {
        std::string asked;
        for (const std::string& w : words)
            asked += (asked.empty() ? "" : " ") + w;
        options.text = tree.app.help();
        for (const auto& command : tree.commands) {
            if (command->words == asked)
                options.text = command->app->help();
        }
    };

    tree.app.footer(kProgramFooter);
}

std::string TopLevelHelp() {
    CommandTree tree;
    return tree.app.help();
}

std::string ShortUsage() {
    CommandTree tree;
    std::string commands;
    for (const auto& command : tree.commands)
        commands += (commands.empty() ? "" : ", ") + command->words;
    return "usage: vistrel-cli COMMAND [OPTIONS]\ncommands: " + commands +
           "\n\"vistrel-cli --help\" explains each with examples.\n";
}

std::string BashCompletion() {
    CommandTree tree;
    const std::string shared = OptionWords(tree.app, true);
    std::string names, cases;
    CompletionCases(tree, tree.app, "", shared, names, cases);
    return "# bash completion for vistrel-cli; made by \"vistrel-cli completion bash\"\n"
           "_vistrel_cli() {\n"
           "    local cur=\"${COMP_WORDS[COMP_CWORD]}\" path=\"\" words w i\n"
           "    for ((i = 1; i < COMP_CWORD; i++)); do\n"
           "        w=\"${COMP_WORDS[i]}\"\n"
           "        case \"$path/$w\" in\n"
           "        " +
           names +
           ") path=\"$path/$w\" ;;\n"
           "        esac\n"
           "    done\n"
           "    case \"$path\" in\n" +
           cases +
           "    esac\n"
           "    COMPREPLY=($(compgen -W \"$words\" -- \"$cur\"))\n"
           "    # A setting name ends in '=': its value follows without a blank.\n"
           "    if [[ ${#COMPREPLY[@]} -eq 1 && ${COMPREPLY[0]} == *= ]]; then\n"
           "        compopt -o nospace 2>/dev/null\n"
           "    fi\n"
           "}\n"
           "complete -F _vistrel_cli vistrel-cli\n";
}

}  // namespace vistrel::cli
