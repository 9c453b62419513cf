// The request ring: windows queue requests without blocking, one worker thread sends them
// one at a time with a pause after each, and the owner of each request is told when its
// reply is in. Stale requests are dropped by flush markers and by the supersede rule; a
// watchdog replaces a worker whose send hangs. The ring also starts batches (SendBatch).
//
// Enqueue, SendBatch, WatchdogTick, StartRequestWorker, Shutdown and the status-window
// setters are called from one thread (the GUI thread); the readers from any thread.
#pragma once

#include <array>
#include <chrono>
#include <cstdint>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "protocol/batch_sender.h"
#include "protocol/console.h"
#include "protocol/http_engine.h"
#include "protocol/records.h"
#include "protocol/reply_sink.h"
#include "protocol/request_sender.h"

namespace vistrel {

inline constexpr uint32_t kRingSlots = 64;
inline constexpr uint32_t kRingMask = kRingSlots - 1;
// busyCounter while the worker is not sending; the watchdog trips when a send has lasted
// kWatchdogTicks ticks.
inline constexpr uint32_t kBusyIdle = 31;
inline constexpr uint32_t kWatchdogTicks = 30;
inline constexpr char kFlushMarker[] = "query=CMD_FLUSH";

struct RequestRingOptions {
    // Pause after each request.
    std::chrono::milliseconds pause{1000};
    // How long Shutdown lets the worker (and batches) go on before cancelling them.
    std::chrono::milliseconds shutdownGrace{6000};
    // Null: HTTP through `engine`.
    RequestSender sender;
    // Used when `sender` is null, for the ring and the batches; null: an engine of the
    // ring's own on the console's profile.httpPort.
    std::shared_ptr<HttpEngine> engine;
    // Pool threads for batches of an injected `sender`.
    size_t batchThreads = kBatchThreads;
    ThreadStarter threadStarter;
};

class RequestRing {
  public:
    explicit RequestRing(Console& console, RequestRingOptions options = {});
    ~RequestRing();  // Shutdown()
    RequestRing(const RequestRing&) = delete;
    RequestRing& operator=(const RequestRing&) = delete;

    // Empties the ring, resets busyCounter, quit and the wake event, and starts a worker.
    // A worker still running is abandoned first (as by the watchdog). Returns the worker's
    // generation number.
    uint64_t StartRequestWorker();

    // Queues `body` for `ip`, or for every entry of the console's targetIps (in list order)
    // when `ip` is empty. A full ring drops the request (per target) and tells the owner
    // through ReplySink::Dropped; so does a request superseded by the next one, and a
    // change (not a query) discarded by another owner's flush marker.
    void Enqueue(const std::string& body, const std::weak_ptr<ReplySink>& owner,
                 const std::string& ip);

    // Sends `body` to every entry of the console's batch list, in parallel. The batch works
    // on a copy of the entries. The owner reads the replies through the returned result.
    // `onAnswer`, when set, hears each entry once its reply is in.
    std::shared_ptr<BatchResult> SendBatch(const std::string& body,
                                           const std::weak_ptr<ReplySink>& owner,
                                           BatchResult::OnAnswer onAnswer = {});
    // The same with one body per entry of the batch list (`bodies[i]` for entry i); an entry
    // without a body is left out.
    std::shared_ptr<BatchResult> SendBatchEach(const std::vector<std::string>& bodies,
                                               const std::weak_ptr<ReplySink>& owner);

    // Whether a worker thread runs. Without one (it could not be started) every request is
    // answered at once with an empty reply, and the watchdog tries to start one again.
    bool HasWorker() const;

    // The main window's one-second timer. When one send has lasted kWatchdogTicks ticks it
    // is cancelled, the ring emptied and a new worker started; the abandoned slots' owners
    // hear nothing, and the old worker never touches the ring or posts again.
    void WatchdogTick();

    // Sets quit and wakes the worker, which still sends pending slots one pause apart;
    // after the grace the send in flight is cancelled. Returns within about the grace.
    void Shutdown();

    // The settings dialog that receives kMsgQueueStatus (lparam 0 idle, 1 busy).
    void SetStatusWindow(std::weak_ptr<ReplySink> window);
    void ClearStatusWindow();

    // A copy of slot `index` (masked to the ring). An owner told about slot T reads it
    // here; the capacity rule keeps T from being rewritten until the worker has taken
    // three more slots.
    MsgCmd Slot(uint32_t index) const;

    uint32_t Head() const;
    uint32_t Tail() const;
    uint32_t BusyCounter() const;
    // Generation of the current worker (0 before the first start).
    uint64_t Generation() const;

  private:
    struct State;
    struct Worker {
        uint64_t generation;
        std::thread thread;
    };
    static void RunWorker(std::shared_ptr<State> state, uint64_t generation);
    // Both with the state's lock held. Abandon cancels the current worker's send and retires
    // its generation; StartLocked abandons, empties the ring and starts a new worker.
    void AbandonLocked();
    uint64_t StartLocked();
    void ReapEndedWorkers();
    void WriteSlot(const std::string& body, const std::weak_ptr<ReplySink>& owner,
                   const std::string& ip);

    Console& console_;
    std::shared_ptr<HttpEngine> engine_;  // null with an injected sender
    bool ownsEngine_;
    ThreadStarter threadStarter_;
    std::shared_ptr<State> state_;
    std::vector<Worker> workers_;
    BatchSender batch_;
    const std::chrono::milliseconds grace_;
    bool shutDown_ = false;
    bool workerFailed_ = false;  // the last start found no thread
};

}  // namespace vistrel
