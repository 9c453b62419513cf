#include "cli/cli_runner.h"

#include <iostream>

#include "cli/targets.h"

namespace vistrel::cli {
namespace {

int Dispatch(const CliContext& context) {
    return context.options.run ? context.options.run(context) : kExitUsage;
}

}  // namespace

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
    if (!env.in)
        env.in = &std::cin;
    if (!NeedsTargetResolution(options))
        return Dispatch(CliContext{options, env});

    // Identities and selections become addresses first; what did not answer is reported
    // and fails the run, the rest is done.
    const ResolvedTargets targets = ResolveTargets(CliContext{options, env});
    if (targets.discoveryFailed)
        return kExitUsage;
    for (const std::string& missing : targets.notFound) {
        env.err << "vistrel-cli: " << missing << ": not found by discovery within "
                << kTargetDiscoveryWait.count() / 1000.0 << " s\n";
    }
    if (targets.ips.empty()) {
        env.err << "vistrel-cli: no projector to address\n";
        return kExitProjectorFailed;
    }
    CliOptions resolved = options;
    resolved.ips = targets.ips;
    resolved.targetMacs.clear();
    resolved.targetGroup.reset();
    resolved.ticked = resolved.all = false;
    const int status = Dispatch(CliContext{resolved, env});
    if (!targets.notFound.empty() && status == kExitOk)
        return kExitProjectorFailed;
    return status;
}

}  // namespace vistrel::cli
