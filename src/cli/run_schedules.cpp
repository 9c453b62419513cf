#include <algorithm>
#include <chrono>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "cli/schedule_commands.h"
#include "cli/task_time.h"
#include "metrics/service_exporter.h"
#include "monitor/discovery.h"
#include "pjlink/mixed_bulk.h"
#include "pjlink/pjlink_store.h"
#include "protocol/codec.h"
#include "protocol/console.h"
#include "protocol/http_engine.h"
#include "protocol/option_tables.h"
#include "protocol/request_ring.h"
#include "schedule/local_time.h"
#include "schedule/schedule_role.h"
#include "schedule/schedule_runner.h"
#include "store/reg_store.h"

namespace vistrel::cli {
namespace {

using SteadyClock = std::chrono::steady_clock;
using std::chrono::milliseconds;

constexpr uint32_t kDefaultInterval = 10000;
// Longest sleep between looks at the stop flag (and, while firing, for an opening window).
constexpr milliseconds kStopLatency{200};
// What the journal has last said holds the role, when it is an open window.
constexpr const char* kWindowOpen = "an open console window";

// Lines from the main loop and from the request worker, one at a time.
class Journal {
  public:
    Journal(std::ostream& out, const Clock& clock) : out_(out), clock_(clock) {}
    void Line(const std::string& text) {
        std::lock_guard lock(mutex_);
        out_ << LocalDateTime(clock_.Now()) << "  " << text << '\n';
        out_.flush();
    }

  private:
    std::mutex mutex_;
    std::ostream& out_;
    const Clock& clock_;
};

std::string TaskLabel(const std::string& body) {
    for (int i = 0; i < RowCount(kTaskCommandTable); ++i) {
        if (body == BuildCommand(CommandAt(kTaskCommandTable, i))) {
            return std::string(LabelAt(kTaskCommandTable, i));
        }
    }
    return body;
}

// The owner of the fired commands: reports how each exchange ended. Runs on the worker.
class ReplyJournal final : public ReplySink {
  public:
    ReplyJournal(const RequestRing& ring, Journal& journal) : ring_(ring), journal_(journal) {}
    void Post(uint32_t message, uintptr_t wparam, intptr_t) override {
        if (message != kMsgReply)
            return;
        const MsgCmd slot = ring_.Slot(static_cast<uint32_t>(wparam));
        ExchangeResult result{slot.ip, slot.body, slot.reply, false};
        journal_.Line(slot.ip + "  " + TaskLabel(slot.body) + ": " +
                      std::string(OutcomeText(CommandOutcome(result))));
    }

  private:
    const RequestRing& ring_;
    Journal& journal_;
};

}  // namespace

int RunSchedulesHeadless(const CliContext& context) {
    const CliOptions& options = context.options;
    const TimerPeriods& timers = context.env.timers;
    const std::filesystem::path storePath = context.StorePath();

    RegStore store(storePath, options.appName, context.env.clock);
    store.SetErrorHandler([&context](const std::string& problem) {
        context.Err() << "vistrel-cli: store: " << problem << '\n';
    });
    // Projectors beyond a router are found through the store's directed broadcasts too.
    Console console(context.DiscoveryProfile(), context.env.clock);
    Journal journal(context.Out(), context.env.clock);
    // Discovery runs only while this program fires: beside a window on the same port it
    // would take a share of the window's answers.
    std::optional<Discovery> discovery;
    bool toldPortBusy = false;
    enum class Opened { kYes, kPortBusy, kNo };
    const auto openDiscovery = [&]() {
        discovery.emplace(console);
        if (discovery->OpenDiscovery()) {
            toldPortBusy = false;
            return Opened::kYes;
        }
        const DiscoveryFailure failure = *discovery->Failure();
        discovery.reset();
        // The port of a holder that has just ended is freed with its role, but not in the
        // same instant; another program on the port may end too. Either way: try again.
        if (failure.portInUse) {
            if (!toldPortBusy)
                journal.Line(failure.reason + " Trying again at every check.");
            toldPortBusy = true;
            return Opened::kPortBusy;
        }
        context.Err() << "vistrel-cli: " << failure.reason << '\n'
                      << "  " << failure.remedy << '\n';
        return Opened::kNo;
    };
    // The ring's exchanges run on an engine with the command line's limits and port; it
    // outlives the ring, which cancels what it still has in flight when it stops.
    HttpEngineOptions engineOptions;
    engineOptions.http = context.Http();
    auto engine = std::make_shared<HttpEngine>(engineOptions);
    RequestRingOptions ringOptions;
    ringOptions.pause = timers.requestPause;
    ringOptions.engine = engine;
    RequestRing ring(console, ringOptions);
    ring.StartRequestWorker();
    auto owner = std::make_shared<ReplyJournal>(ring, journal);
    // With --metrics, this program also polls the projectors' status while it holds them and
    // serves what it knows; the port is tried at once, so that a problem is told now.
    std::unique_ptr<metrics::ServiceExporter> exporter;
    if (options.metrics) {
        const auto where = metrics::ParseListenAddress(*options.metrics, nullptr);
        exporter = std::make_unique<metrics::ServiceExporter>(console, store, ring, engine,
                                                              VISTREL_VERSION);
        std::string problem;
        if (!where || !exporter->Serve(*where, &problem)) {
            context.Err() << "vistrel-cli: " << problem << '\n'
                          << "  Choose another port with --metrics, or end the program that "
                             "has this one.\n";
            ring.Shutdown();
            return kExitUsage;
        }
        journal.Line("serving metrics at http://" + where->Text() + "/metrics");
    }

    // PJLink projectors added to the store have rows, so that their tasks are read, and get
    // their due tasks in their own protocol. They are not polled: a task is one exchange, and
    // beside a window that polls them a second session would take one of their few places.
    pjlink::Passwords passwords(pjlink::Passwords::DefaultPath(storePath));
    if (std::string problem; !passwords.Load(&problem))
        context.Err() << "vistrel-cli: " << problem << '\n';
    pjlink::MonitorOptions pjlinkOptions;
    pjlinkOptions.password = [&passwords](const std::string& ip) { return passwords.For(ip); };
    pjlink::Monitor pjlinkMonitor(console, pjlinkOptions);
    for (const auto& [ip, group] : pjlink::LoadProjectors(store))
        pjlinkMonitor.Add(ip, group);

    ScheduleRunner runner(
        store, context.env.clock, SystemLocalTime::Instance(),
        [&](const std::string& body, const std::string& ip) {
            const std::string label = TaskLabel(body);
            journal.Line(ip + "  " + label + " due: sending");
            if (exporter)
                exporter->CountTaskFired();
            if (!pjlinkMonitor.Knows(ip)) {
                ring.Enqueue(body, owner, ip);
                return;
            }
            const auto action = pjlink::ActionForBody(body);
            if (!action) {
                journal.Line(ip + "  " + label + ": not a command PJLink carries");
                return;
            }
            pjlink::SendPjlinkPart(pjlinkMonitor, {{pjlink::PjlinkKey(ip), ip}}, action->action,
                                   action->source,
                                   [&journal, label](std::vector<pjlink::CommandResult> results) {
                                       for (const pjlink::CommandResult& r : results)
                                           journal.Line(r.ip + "  " + label + ": " + r.text);
                                   });
        });
    ScheduleRole role(ScheduleRole::LockPathFor(storePath, options.appName),
                      "vistrel-cli run-schedules");
    const std::filesystem::path windowMark = WindowMark::PathFor(storePath, options.appName);

    std::string announcedHolder;
    bool announcedWaiting = false;
    // Whether this program may fire now; tells the operator when that changes.
    const auto holdRole = [&]() {
        // An open window comes first: it needs the port for everything it shows.
        if (WindowMark::Present(windowMark)) {
            if (role.Held()) {
                if (exporter)
                    exporter->Watch(false);  // the window polls its projectors itself
                discovery.reset();           // the port before the role: the window waits for both
                role.Release();
                journal.Line(
                    "a console window opened: leaving it the schedule role and the "
                    "discovery port; waiting to take over when it ends");
            } else if (!announcedWaiting || announcedHolder != kWindowOpen) {
                journal.Line(
                    "a console window is open, which fires the tasks; waiting to take "
                    "over when it ends");
            }
            announcedHolder = kWindowOpen;
            announcedWaiting = true;
            return false;
        }
        if (role.Held())
            return true;
        if (role.TryAcquire()) {
            journal.Line(announcedWaiting ? "took over the schedule role: firing due tasks"
                                          : "holding the schedule role: firing due tasks");
            return true;
        }
        const std::string holder = role.Holder();
        if (!announcedWaiting || holder != announcedHolder) {
            if (!role.LastError().empty()) {
                journal.Line("cannot take the schedule role: " + role.LastError());
            } else {
                journal.Line("the schedule role is held by " +
                             (holder.empty() ? std::string("another program") : holder) +
                             ", which fires the tasks; waiting to take over when it ends");
            }
            announcedHolder = holder;
            announcedWaiting = true;
        }
        return false;
    };
    bool failed = false;
    const auto check = [&]() {
        if (!holdRole())
            return;
        if (!discovery) {
            const Opened opened = openDiscovery();
            failed = opened == Opened::kNo;
            if (opened != Opened::kYes)
                return;
        }
        if (exporter)
            exporter->Watch(true);
        runner.RunSchedules(console.table);
    };
    const auto discoveryPeriod = [&]() {
        if (timers.discoveryOverride.count() > 0)
            return timers.discoveryOverride;
        const milliseconds interval(store.GetAppDword("Interval", kDefaultInterval));
        return std::max(interval, timers.discoveryMinimum);
    };

    std::string probed = console.profile.broadcastAddress;
    for (const std::string& address : console.profile.directedBroadcasts)
        probed += ", " + address;
    journal.Line("running: store " + storePath.string() + ", key HKEY_CURRENT_USER\\" +
                 store.AppKeyPath() + ", discovery " + options.profile.bindAddress + ":" +
                 std::to_string(options.profile.discoveryPort) + " to " + probed);
    // Beside a window that holds the role (and the discovery port) this program only waits.
    // When it is to fire, the port is tried at once, so that a port problem is told now
    // rather than at the first check.
    if (holdRole() && openDiscovery() == Opened::kNo)
        return kExitUsage;
    auto now = SteadyClock::now();
    auto nextDiscovery = now + discoveryPeriod();
    auto nextList = now + timers.listRefresh;
    auto nextCheck = now + timers.scheduleCheck;
    auto nextWatchdog = now + timers.watchdog;
    while (!context.Stopped() && !failed) {
        const auto due = std::min(
            {nextDiscovery, nextList, nextCheck, nextWatchdog, SteadyClock::now() + kStopLatency});
        const auto wait = std::chrono::duration_cast<milliseconds>(due - SteadyClock::now());
        if (discovery)
            discovery->HandleAnswersFor(std::max(wait, milliseconds(0)));
        // Back early only on a socket error: keep the rhythm rather than spin.
        std::this_thread::sleep_until(due);
        if (role.Held())
            holdRole();  // a window that has just opened gets the port within this beat
        now = SteadyClock::now();
        if (now >= nextWatchdog) {
            ring.WatchdogTick();
            nextWatchdog = now + timers.watchdog;
        }
        if (now >= nextDiscovery) {
            if (discovery) {
                discovery->AutoDiscoveryCycle();
                if (exporter) {
                    exporter->CountDiscoveryCycle();
                    exporter->ReloadThresholds();
                }
            }
            nextDiscovery = now + discoveryPeriod();
        }
        if (now >= nextList) {
            check();  // after the list refresh, as timer 2 does
            nextList = now + timers.listRefresh;
        }
        if (now >= nextCheck) {
            check();
            nextCheck = now + timers.scheduleCheck;
        }
    }
    journal.Line("stopping");
    if (exporter)
        exporter->StopPolling();
    pjlinkMonitor.Stop();  // exchanges still out end now, and are told
    ring.Shutdown();       // lets commands already queued go out
    role.Release();
    return failed ? kExitUsage : kExitOk;
}

}  // namespace vistrel::cli
