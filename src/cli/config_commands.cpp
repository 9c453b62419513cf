#include "cli/config_commands.h"

#include <algorithm>

#include "cli/listing.h"
#include "health/health_thresholds.h"
#include "store/broadcast_list.h"
#include "store/reg_store.h"

namespace vistrel::cli {

int RunConfigBroadcast(const CliContext& context) {
    const CliOptions& options = context.options;
    RegStore store(context.StorePath(), options.appName, context.env.clock);
    std::vector<std::string> addresses = LoadDirectedBroadcasts(store);

    if (options.configAction != ConfigAction::List) {
        for (const std::string& address : options.configAddresses) {
            const auto at = std::find(addresses.begin(), addresses.end(), address);
            if (options.configAction == ConfigAction::Add) {
                if (at == addresses.end())
                    addresses.push_back(address);
            } else if (at != addresses.end()) {
                addresses.erase(at);
            } else {
                context.Err() << "vistrel-cli: " << address
                              << " is not among the stored broadcast addresses\n";
                return kExitUsage;
            }
        }
        if (!SaveDirectedBroadcasts(store, addresses)) {
            context.Err() << "vistrel-cli: the store could not be written: " << store.LastError()
                          << '\n';
            return kExitUsage;
        }
    }

    Listing listing;
    listing.columns = {{"address", "DIRECTED BROADCAST"}};
    for (const std::string& address : addresses)
        listing.AddRow({Cell::Text(address)});
    Render(listing, options.format, context.Out());
    return kExitOk;
}

int RunConfigHealth(const CliContext& context) {
    const CliOptions& options = context.options;
    RegStore store(context.StorePath(), options.appName, context.env.clock);
    HealthThresholds thresholds = LoadHealthThresholds(store);
    if (options.lampWarningHours || options.lampCriticalHours || options.notAnsweringSeconds) {
        thresholds.lampWarningHours =
            options.lampWarningHours.value_or(thresholds.lampWarningHours);
        thresholds.lampCriticalHours =
            options.lampCriticalHours.value_or(thresholds.lampCriticalHours);
        thresholds.notAnsweringSeconds =
            options.notAnsweringSeconds.value_or(thresholds.notAnsweringSeconds);
        if (std::string why = CheckHealthThresholds(thresholds); !why.empty()) {
            context.Err() << "vistrel-cli: " << why << '\n';
            return kExitUsage;
        }
        if (!SaveHealthThresholds(store, thresholds)) {
            context.Err() << "vistrel-cli: the store could not be written: " << store.LastError()
                          << '\n';
            return kExitUsage;
        }
    }
    Listing listing;
    listing.columns = {{"lampWarningHours", "LAMP WARNING (H)"},
                       {"lampCriticalHours", "LAMP CRITICAL (H)"},
                       {"notAnsweringSeconds", "NOT ANSWERING (S)"}};
    listing.AddRow({Cell::Number(thresholds.lampWarningHours),
                    Cell::Number(thresholds.lampCriticalHours),
                    Cell::Number(thresholds.notAnsweringSeconds)});
    Render(listing, options.format, context.Out());
    return kExitOk;
}

}  // namespace vistrel::cli
