#include "cli/config_commands.h"

#include <algorithm>

#include "cli/listing.h"
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

}  // namespace vistrel::cli
