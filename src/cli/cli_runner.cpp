#include "cli/cli_runner.h"

#include "cli/help_text.h"
#include "cli/network_commands.h"
#include "cli/schedule_commands.h"

namespace vistrel::cli {

int RunCli(const std::vector<std::string>& args, CliEnvironment& env) {
    CliOptions options;
    try {
        options = ParseArguments(args);
    } catch (const UsageError& e) {
        env.err << "vistrel-cli: " << e.what() << '\n';
        if (args.empty())
            env.err << ShortUsage();
        return kExitUsage;
    }
    const CliContext context{options, env};
    switch (options.command) {
        case Command::Help:
            env.out << HelpText();
            return kExitOk;
        case Command::Version:
            env.out << "vistrel-cli " << VISTREL_VERSION << '\n';
            return kExitOk;
        case Command::Discover:
            return RunDiscover(context);
        case Command::Status:
            return RunStatus(context);
        case Command::Power:
            return RunPower(context);
        case Command::Source:
            return RunSource(context);
        case Command::GroupSet:
            return RunGroupSet(context);
        case Command::Query:
            return RunQuery(context);
        case Command::Send:
            return RunSend(context);
        case Command::ScheduleList:
            return RunScheduleList(context);
        case Command::ScheduleSet:
            return RunScheduleSet(context);
        case Command::RunSchedules:
            return RunSchedulesHeadless(context);
    }
    return kExitUsage;
}

}  // namespace vistrel::cli
