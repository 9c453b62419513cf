#include "app/core_backend.h"

#include <chrono>
#include <cstdio>
#include <thread>

#include "pjlink/mixed_bulk.h"
#include "schedule/local_time.h"

namespace vistrel {

namespace {

// How long the window waits at start for a runner to hand over the discovery port.
constexpr std::chrono::milliseconds kRunnerHandOver{3000};
// How the window names itself as the role's holder.
constexpr const char* kWindowHolder = "console window";

// The shared engine goes to whichever part does not bring a transport of its own.
CoreBackendOptions WithEngine(CoreBackendOptions options,
                              const std::shared_ptr<HttpEngine>& engine) {
    if (!options.poller.engine)
        options.poller.engine = engine;
    if (!options.ring.engine)
        options.ring.engine = engine;
    return options;
}

std::shared_ptr<HttpEngine> EngineFor(const Console& console, const CoreBackendOptions& options) {
    HttpEngineOptions engineOptions;
    engineOptions.http = options.poller.http;
    engineOptions.http.port = console.profile.httpPort;
    engineOptions.threadStarter = options.ring.threadStarter;
    return std::make_shared<HttpEngine>(engineOptions);
}

pjlink::MonitorOptions PjlinkOptions(const pjlink::Passwords& passwords) {
    pjlink::MonitorOptions options;
    options.password = [&passwords](const std::string& ip) { return passwords.For(ip); };
    return options;
}

template <typename F>
bool WithinGrace(std::chrono::milliseconds grace, F&& stop) {
    const auto start = std::chrono::steady_clock::now();
    stop();
    return std::chrono::steady_clock::now() - start <= grace;
}

}  // namespace

CoreBackend::CoreBackend(Console& console, RegStore& store, const std::string& appName,
                         CoreBackendOptions options)
    : console_(console),
      store_(store),
      discovery_(console),
      engine_(EngineFor(console, options)),
      poller_(console, WithEngine(options, engine_).poller),
      ring_(console, WithEngine(options, engine_).ring),
      passwords_(pjlink::Passwords::DefaultPath(store.FilePath())),
      pjlink_(console, PjlinkOptions(passwords_)),
      search_(console, pjlink_),
      role_(ScheduleRole::LockPathFor(store.FilePath(), appName), kWindowHolder),
      windowMark_(WindowMark::PathFor(store.FilePath(), appName)),
      // The main window does not read replies to scheduled commands: they have no owner.
      runner_(store, console.clock, SystemLocalTime::Instance(),
              [this](const std::string& body, const std::string& ip) {
                  // A PJLink projector's task goes out in its own protocol.
                  if (pjlink_.Knows(ip)) {
                      if (const auto action = pjlink::ActionForBody(body)) {
                          pjlink::SendPjlinkPart(pjlink_, {{pjlink::PjlinkKey(ip), ip}},
                                                 action->action, action->source,
                                                 [](std::vector<pjlink::CommandResult>) {});
                      }
                      return;
                  }
                  ring_.Enqueue(body, {}, ip);
              }) {
    std::string error;
    if (!passwords_.Load(&error))
        std::fprintf(stderr, "vistrel: %s\n", error.c_str());
    for (const auto& [ip, group] : pjlink::LoadProjectors(store_))
        pjlink_.Add(ip, group);
}

bool CoreBackend::AddPjlinkProjector(const std::string& ip, const std::string& group) {
    if (!pjlink_.Add(ip, group))
        return false;
    return pjlink::SaveProjector(store_, ip, group);
}

bool CoreBackend::SetPjlinkPassword(const std::string& ip, const std::string& password,
                                    std::string* error) {
    if (!passwords_.Set(ip, password, error))
        return false;
    if (ip.empty()) {
        for (const std::string& each : pjlink_.Addresses())
            pjlink_.PollSoon(each);
    } else {
        pjlink_.PollSoon(ip);
    }
    return true;
}

CoreBackend::~CoreBackend() {
    pjlink_.Stop();
    poller_.Stop();
    ring_.Shutdown();
    engine_->Stop();
}

std::vector<std::string> CoreBackend::LoadGroupNames() {
    return store_.LoadGroupNames();
}

uint32_t CoreBackend::GetAppDword(const std::string& name, uint32_t fallback) {
    return store_.GetAppDword(name, fallback);
}

bool CoreBackend::SetAppDword(const std::string& name, uint32_t value) {
    return store_.SetAppDword(name, value) != 0;
}

uint32_t CoreBackend::GetProjectorDword(const std::string& mac, const std::string& name,
                                        uint32_t fallback) {
    return store_.GetProjectorDword(mac, kProjectorKeyRoot, 0, name, fallback);
}

bool CoreBackend::SetProjectorDword(const std::string& mac, const std::string& name,
                                    uint32_t value) {
    return store_.SetProjectorDword(mac, kProjectorKeyRoot, 0, name, value) != 0;
}

std::vector<uint32_t> CoreBackend::GetProjectorDwords(const std::vector<std::string>& macs,
                                                      const std::string& name, uint32_t fallback) {
    // One look at the file for all of them: a fleet's first display reads every tick.
    RegStore::Batch batch(store_);
    std::vector<uint32_t> values;
    values.reserve(macs.size());
    for (const std::string& mac : macs)
        values.push_back(store_.GetProjectorDword(mac, kProjectorKeyRoot, 0, name, fallback));
    return values;
}

bool CoreBackend::SetProjectorDwords(const std::string& name,
                                     const std::vector<std::pair<std::string, uint32_t>>& values) {
    // One lock of the file and one write, however many rows an action changed.
    RegStore::Batch batch(store_);
    bool all = true;
    for (const auto& [mac, value] : values)
        all = store_.SetProjectorDword(mac, kProjectorKeyRoot, 0, name, value) != 0 && all;
    return batch.Commit() && all;
}

HealthThresholds CoreBackend::LoadHealthThresholds() {
    return vistrel::LoadHealthThresholds(store_);
}

bool CoreBackend::SaveHealthThresholds(const HealthThresholds& thresholds) {
    // All three in one change of the store: no reader sees half of them.
    return vistrel::SaveHealthThresholds(store_, thresholds) == 1;
}

ConsoleBackend::DiscoveryStatus CoreBackend::OpenDiscovery() {
    DiscoveryStatus status;
    status.open = discovery_.OpenDiscovery();
    // A headless runner that holds the role holds the port too; seeing this window's mark, it
    // closes the port and then lets the role go, at its next look (a fifth of a second).
    // Anyone else on the port (another window among them) is told at once.
    const auto deadline = std::chrono::steady_clock::now() + kRunnerHandOver;
    bool triedAfterRelease = false;
    while (!status.open && discovery_.Failure() && discovery_.Failure()->portInUse &&
           std::chrono::steady_clock::now() < deadline) {
        const std::string holder = role_.Holder();
        if (holder.rfind(kWindowHolder, 0) == 0)
            break;
        if (holder.empty()) {
            if (triedAfterRelease)
                break;
            triedAfterRelease = true;  // the port may have gone just before the role
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(50));
        }
        status.open = discovery_.OpenDiscovery();
    }
    if (discovery_.IsOpen())
        status.descriptor = static_cast<int>(discovery_.Descriptor());
    // A console that cannot search still polls the PJLink projectors added by address.
    if (!search_.IsOpen() && !search_.Open())
        std::fprintf(stderr, "vistrel: %s\n", search_.Error().c_str());
    else
        search_.Broadcast();
    if (search_.IsOpen())
        status.searchDescriptor = static_cast<int>(search_.Descriptor());
    if (const auto& failure = discovery_.Failure()) {
        status.reason = failure->reason;
        status.remedy = failure->remedy;
    }
    return status;
}

bool CoreBackend::HandleAnswer() {
    return discovery_.HandleAnswer();
}
bool CoreBackend::HandleSearchAnswer() {
    return search_.HandleOne();
}
void CoreBackend::Broadcast() {
    discovery_.Broadcast();
    search_.Broadcast();
    // Projectors that cannot be searched answer only their polls: asked at once.
    pjlink_.PollAllSoon();
}
void CoreBackend::DiscoveryCycle() {
    discovery_.AutoDiscoveryCycle();
    if (console_.autoSearchEnabled.load())
        search_.Broadcast();
}

void CoreBackend::RequestRelocationProbe(std::weak_ptr<RelocationWindow> waiter) {
    discovery_.RequestRelocationProbe(std::move(waiter));
}

bool CoreBackend::FollowRelocation() {
    return discovery_.FollowRelocation();
}

void CoreBackend::StartPolling() {
    poller_.StartPolling();
    pjlink_.Start();
}

void CoreBackend::PausePolling(bool paused) {
    if (paused) {
        poller_.Pause();
    } else {
        poller_.Resume();
    }
}

bool CoreBackend::StopPolling(std::chrono::milliseconds grace) {
    return WithinGrace(grace, [this] {
        pjlink_.Stop();
        poller_.Stop();
    });
}

void CoreBackend::StartRequestWorker() {
    ring_.StartRequestWorker();
}
void CoreBackend::WatchdogTick() {
    ring_.WatchdogTick();
}

bool CoreBackend::StopRequestWorker(std::chrono::milliseconds grace) {
    return WithinGrace(grace, [this] {
        ring_.Shutdown();
        engine_->Stop();
    });
}

void CoreBackend::RunSchedules() {
    // Another program (a headless runner) may be firing this store's tasks; then this
    // console leaves them to it and tries to take over at a later check.
    if (!role_.TryAcquire())
        return;
    runner_.RunSchedules(console_.table);
}

}  // namespace vistrel
