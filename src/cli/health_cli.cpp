// health: the fleet's health from a shell, and the one-line check that monitoring systems run.
#include "cli/commands.h"
#include "cli/network_commands.h"

namespace vistrel::cli {

void AddHealthCommands(CommandTree& tree) {
    CliCommand& health = tree.Add(
        &tree.app, "health", "health", Command::Health,
        "Query projectors (every projector that answers discovery, and every PJLink projector "
        "added, when no target is given) and list each one's health: power, lamp hours, "
        "firmware and a state (ok, warning, critical, not answering), then a summary line. "
        "Lamp thresholds come from the store (config health).",
        "health [TARGET...] [--json|--csv|--check]");
    health.Words({}, "TARGET");
    tree.Targets(health);
    tree.Wait(health, "Seconds to wait for discovery answers");
    bool& check = tree.Keep<bool>();
    AddFlag(health.app, "--check", check,
            "Print one line for a monitoring system and exit with its status (see below)");
    health.app->footer(
        "With --check, the exit status follows the monitoring-plugin convention instead of the "
        "usual 0/1/2:\n"
        "  0 OK        no projector needs attention\n"
        "  1 WARNING   a lamp is past its warning threshold, or a PJLink projector reports a "
        "warning\n"
        "  2 CRITICAL  a lamp is past its critical threshold, a projector does not answer, or a "
        "PJLink projector reports a lamp or filter error\n"
        "  3 UNKNOWN   no check could be made (discovery port busy, no projector answered)");
    health.run = RunHealth;
    health.parse = [&check](const std::vector<std::string>& words, CliOptions& options) {
        TakeTargets(words, 0, options);
        options.healthCheck = check;
        if (check && options.format != OutputFormat::Table)
            Fail("--check prints one line of its own; leave out --json and --csv");
    };
}

}  // namespace vistrel::cli
