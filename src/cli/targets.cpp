#include "cli/targets.h"

#include <algorithm>

#include "cli/network_commands.h"
#include "cli/pjlink_commands.h"
#include "cli/projector_client.h"
#include "monitor/discovery.h"
#include "pjlink/pjlink_monitor.h"
#include "protocol/codec.h"
#include "store/reg_store.h"

namespace vistrel::cli {
namespace {

void AddIp(ResolvedTargets& r, const std::string& ip) {
    if (std::find(r.ips.begin(), r.ips.end(), ip) == r.ips.end())
        r.ips.push_back(ip);
}

// The identities ticked in the window's list.
std::vector<std::string> TickedMacs(const CliContext& context) {
    RegStore store(context.StorePath(), context.options.appName, context.env.clock);
    std::vector<std::string> macs;
    for (const std::string& mac : store.SubKeyNames({"Projector"})) {
        if (store.ReadDword({"Projector", mac}, "Checked").value_or(0) != 0)
            macs.push_back(mac);
    }
    return macs;
}

}  // namespace

ResolvedTargets ResolveTargets(const CliContext& context) {
    const CliOptions& options = context.options;
    ResolvedTargets r;
    r.ips = options.ips;
    if (!NeedsTargetResolution(options))
        return r;

    // PJLink projectors are the store's: no discovery finds them.
    const auto pjlinkStored = StoredPjlink(context);
    const auto isStored = [&pjlinkStored](const std::string& ip) {
        return std::any_of(pjlinkStored.begin(), pjlinkStored.end(),
                           [&ip](const auto& entry) { return entry.first == ip; });
    };
    bool pjlinkInGroup = false;
    for (const auto& [ip, group] : pjlinkStored) {
        const bool inGroup = options.targetGroup && KeyNamesEqual(group, *options.targetGroup);
        pjlinkInGroup = pjlinkInGroup || inGroup;
        if (options.all || inGroup)
            AddIp(r, ip);
    }

    std::vector<std::string> wantedMacs = options.targetMacs;
    bool pjlinkTicked = false;
    if (options.ticked) {
        for (const std::string& mac : TickedMacs(context)) {
            if (pjlink::IsPjlinkKey(mac)) {
                // The window keeps a PJLink row's tick under its key: "PJLINK-<address>".
                const std::string ip = mac.substr(pjlink::kKeyPrefix.size());
                if (isStored(ip)) {
                    AddIp(r, ip);
                    pjlinkTicked = true;
                }
                continue;
            }
            const bool known =
                std::any_of(wantedMacs.begin(), wantedMacs.end(),
                            [&](const std::string& m) { return KeyNamesEqual(m, mac); });
            if (!known)
                wantedMacs.push_back(mac);
        }
        if (wantedMacs.empty() && !options.all && !options.targetGroup) {
            if (pjlinkTicked)
                return r;
            context.Err() << "vistrel-cli: no projector is ticked in the console window\n";
            return r;
        }
    }

    Console console(context.DiscoveryProfile(), context.env.clock);
    const auto ipOf = [&console](const std::string& mac) -> std::string {
        auto table = console.table.Lock();
        for (const Info& info : table.Records()) {
            if (KeyNamesEqual(info.mac, mac) && info.ip != kUnusableAddress)
                return info.ip;
        }
        return {};
    };
    // Identities alone may stop as soon as each has answered; a selection waits for all.
    const bool selection = options.all || options.targetGroup.has_value();
    const auto everyMacFound = [&]() {
        return !selection && std::all_of(wantedMacs.begin(), wantedMacs.end(),
                                         [&](const std::string& m) { return !ipOf(m).empty(); });
    };
    r.discoveryRan = true;
    if (!CollectByBroadcast(context, console, kTargetDiscoveryWait, everyMacFound)) {
        r.discoveryFailed = true;
        return r;
    }

    for (const std::string& mac : wantedMacs) {
        const std::string ip = ipOf(mac);
        if (ip.empty()) {
            r.notFound.push_back(mac);
            continue;
        }
        r.macByIp[ip] = mac;
        AddIp(r, ip);
    }

    std::vector<Info> answered;
    {
        auto table = console.table.Lock();
        for (const Info& info : table.Records()) {
            if (info.ip != kUnusableAddress)
                answered.push_back(info);
        }
    }
    if (options.all) {
        for (const Info& info : answered) {
            r.macByIp[info.ip] = info.mac;
            AddIp(r, info.ip);
        }
    }
    if (options.targetGroup) {
        // Membership lives on the projectors: ask every one that answered, all at once.
        std::vector<std::string> ips;
        for (const Info& info : answered)
            ips.push_back(info.ip);
        ProjectorClient client(context.Http());
        const auto replies = client.SendToAll(ips, QueryBody(QueryTopic::Group));
        bool any = false;
        for (size_t i = 0; i < replies.size(); ++i) {
            Info info;
            if (ParseGroupReply(replies[i].reply, info) &&
                KeyNamesEqual(info.groupName, *options.targetGroup)) {
                r.macByIp[answered[i].ip] = answered[i].mac;
                AddIp(r, answered[i].ip);
                any = true;
            }
        }
        if (!any && !pjlinkInGroup)
            r.notFound.push_back("group \"" + *options.targetGroup + "\"");
    }
    return r;
}

}  // namespace vistrel::cli
