// The PJLink side of vistrel-cli: the pjlink commands, and what status, power, source, get,
// set and health do for the PJLink projectors among their targets. A target is a PJLink
// projector when its address was added with "pjlink add" (or "pjlink scan --add").
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "cli/cli_context.h"
#include "cli/listing.h"
#include "pjlink/pjlink_engine.h"
#include "pjlink/pjlink_store.h"
#include "protocol/records.h"

namespace vistrel::cli {

int RunPjlinkAdd(const CliContext& context);
int RunPjlinkRemove(const CliContext& context);
int RunPjlinkList(const CliContext& context);
int RunPjlinkScan(const CliContext& context);
int RunPjlinkPassword(const CliContext& context);

// The PJLink projectors the store remembers: address and the group the console keeps.
std::vector<std::pair<std::string, std::string>> StoredPjlink(const CliContext& context);

// Splits addresses into the stored PJLink projectors and the others, each in the given order.
void SplitPjlink(const CliContext& context, const std::vector<std::string>& ips,
                 std::vector<std::string>& pjlinkIps, std::vector<std::string>& otherIps);

// What one PJLink projector said to a full query, as a row of the console's list.
struct PjlinkLook {
    pjlink::Failure failure = pjlink::Failure::None;
    std::optional<pjlink::Status> status;  // set when it answered
    Info record;                           // ip, group, and what the answer filled in
    std::string Result() const;            // "OK" or why not
};

// One engine and the passwords file, for the PJLink part of one command.
class PjlinkSession {
  public:
    explicit PjlinkSession(const CliContext& context);
    ~PjlinkSession();

    // One exchange per address, all at once; the results in the order of `ips`. `lines`
    // gives each address's command lines; an address with none is not contacted and gets an
    // empty exchange.
    std::vector<pjlink::Exchange> ExchangeAll(
        const std::vector<std::string>& ips,
        const std::function<std::vector<std::string>(size_t index)>& lines);
    // The status of each projector, as the console's polling asks for it.
    std::vector<PjlinkLook> LookAt(const std::vector<std::string>& ips);

  private:
    std::map<std::string, std::string> groups_;
    pjlink::Passwords passwords_;
    std::unique_ptr<pjlink::Engine> engine_;
};

// get and set for the PJLink projectors among their targets: power, source, av-mute and
// freeze, and the volume stepped up or down (volume=up|down). Rows are added to `listing`
// in the form of the command's own; `allOk` is cleared when one fails.
void PjlinkGet(const CliContext& context, const std::vector<std::string>& ips, Listing& listing,
               bool& allOk);
void PjlinkSet(const CliContext& context, const std::vector<std::string>& ips, Listing& listing,
               bool& allOk);

// Whether an exchange was carried out: connected and every reply OK or a value. `text`
// says why not.
bool ExchangeSucceeded(const pjlink::Exchange& exchange, std::string& text);

}  // namespace vistrel::cli
