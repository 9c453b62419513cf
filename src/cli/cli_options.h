// The command line of vistrel-cli: which command to run, on which projectors, with which
// network profile, store and output form. Parsing never touches the network or the store.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include "cli/listing.h"
#include "cli/setting_names.h"
#include "protocol/network_profile.h"

namespace vistrel::cli {

// A command line that cannot be run as given. The message says what is wrong and what to
// type instead; the program prints it and exits with kExitUsage.
class UsageError : public std::runtime_error {
  public:
    using std::runtime_error::runtime_error;
};

inline constexpr int kExitOk = 0;
inline constexpr int kExitProjectorFailed = 1;
inline constexpr int kExitUsage = 2;  // also environment errors (port, store)

// The window's executable name: the CLI reads and writes the window's application key.
inline constexpr const char* kDefaultAppName = "vistrel";

enum class Command {
    Help,
    Version,
    Completion,
    Discover,
    Status,
    Power,
    Source,
    GroupSet,
    Query,
    Send,
    ScheduleList,
    ScheduleSet,
    RunSchedules,
    Set,
    AlertTest,
    ConfigBroadcast,
    Get,
    SettingsList,
    Export,
    Import,
    Health,
    ConfigHealth,
    PjlinkAdd,
    PjlinkRemove,
    PjlinkList,
    PjlinkScan,
    PjlinkPassword,
};

enum class ConfigAction { List, Add, Remove };

struct CliContext;
// What runs a command; each command registers its own (see commands.h).
using CommandHandler = int (*)(const CliContext& context);

// Changes asked of one stored task by "schedule set"; unset fields keep their stored value.
struct TaskEdit {
    int task = 0;  // 1 to 4
    std::optional<bool> enabled;
    std::optional<int> period;   // 0 Once, 1 Daily, 2 Weekly, 3 Monthly
    std::optional<int> command;  // 0 Power On, 1 Power Off
    // Local time of day and local calendar date.
    std::optional<int> hour, minute, second;
    std::optional<int> year, month, day;
};

struct CliOptions {
    Command command = Command::Help;
    CommandHandler run = nullptr;
    OutputFormat format = OutputFormat::Table;
    // Help: the text of the command asked about. Version: the version line.
    // Completion: the script.
    std::string text;

    NetworkProfile profile;
    // --broadcast was given: probe exactly those addresses, not the store's list as well.
    bool broadcastGiven = false;
    std::optional<int> timeoutMs;
    std::optional<double> waitSeconds;
    std::string appName = kDefaultAppName;
    std::optional<std::string> storeFile;

    // Projector addresses, in the order given, duplicates removed. Commands that take
    // other targets get them added here once discovery has resolved them.
    std::vector<std::string> ips;
    // Other targets: identities, the projectors of a group (by the group they report),
    // the window's ticked projectors, every projector that answers discovery.
    std::vector<std::string> targetMacs;
    std::optional<std::string> targetGroup;
    bool ticked = false;
    bool all = false;

    bool powerOn = false;                        // power
    std::string sourceLabel;                     // source: the label as the table spells it
    std::string groupName;                       // group set
    std::optional<std::string> projectorName;    // group set --name
    std::string topic;                           // query
    std::string body;                            // send
    std::vector<SettingAssignment> assignments;  // set
    // set volume=up|down: a step of a PJLink projector's speaker volume.
    std::optional<bool> volumeUp;
    std::vector<std::string> settingNames;  // get: empty reads every setting
    std::string importFile;                 // import
    // import: the parts of the file to apply, from kImportParts: the default ones, those of
    // --only, and those --include adds.
    std::vector<std::string> importParts;
    std::optional<std::string> smtpPasswordSource;  // import --smtp-password: "-" or "@FILE"
    bool dryRun = false;                            // import --dry-run

    bool healthCheck = false;  // health --check

    ConfigAction configAction = ConfigAction::List;  // config broadcast
    // config health: the thresholds to change; unset ones keep their stored value.
    std::optional<uint32_t> lampWarningHours, lampCriticalHours, notAnsweringSeconds;
    std::vector<std::string> configAddresses;

    // pjlink add / remove: the addresses; add and scan --group: the group the console keeps
    // for them. pjlink scan: the subnet, and --add. pjlink password --projector.
    std::vector<std::string> pjlinkAddresses;
    std::optional<std::string> pjlinkGroup;
    std::string scanSubnet;
    bool scanAdd = false;
    std::optional<std::string> passwordProjector;

    // run-schedules --metrics: where to serve metrics, "[ADDRESS:]PORT" (checked).
    std::optional<std::string> metrics;

    // schedule list / set
    std::vector<std::string> projectorMacs;
    std::optional<std::string> scheduleGroup;
    TaskEdit edit;
};

// The parts of an export file, in the order import applies them; identity and network only
// when asked.
inline constexpr const char* kImportParts[] = {"picture", "display",  "settings",
                                               "alert",   "identity", "network"};
inline constexpr size_t kDefaultImportParts = 4;

// Throws UsageError. `args` excludes the program name.
CliOptions ParseArguments(const std::vector<std::string>& args);

// Whether the options select projectors through discovery or the store rather than by
// address alone.
bool NeedsTargetResolution(const CliOptions& options);

// The top-level help and the bash completion script, from the same command definitions
// the parser uses.
std::string TopLevelHelp();
std::string BashCompletion();
// What an empty command line prints after its error.
std::string ShortUsage();

// Empty when valid, else the reason. Names travel in 32-byte fields of the "set=group"
// record; a group name is also a key name in the store.
// "All Projectors" names the window's view of every projector; it is refused unless
// `allowAllProjectors` (the window stores that view's tasks under the name).
std::string CheckGroupName(const std::string& name, bool allowAllProjectors = false);
std::string CheckProjectorName(const std::string& name);
std::string CheckMac(const std::string& mac);
// `option` needs an IPv4 address: empty when `text` is one, else the message.
std::string CheckAddress(const std::string& option, const std::string& text);
bool IsDottedQuad(const std::string& text);
// Twelve letters and digits, as discovery lists a projector's identity.
bool LooksLikeMac(const std::string& word);

}  // namespace vistrel::cli
