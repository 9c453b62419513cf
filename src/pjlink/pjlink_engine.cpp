#include "pjlink/pjlink_engine.h"

#include <array>
#include <asio.hpp>
#include <atomic>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_map>

#include "protocol/host_address.h"

namespace vistrel::pjlink {

const char* FailureText(Failure failure) {
    switch (failure) {
        case Failure::None:
            return "OK";
        case Failure::BadAddress:
            return "not a projector address";
        case Failure::Unreachable:
            return "no connection";
        case Failure::TimedOut:
            return "no reply in time";
        case Failure::Closed:
            return "connection closed by the projector";
        case Failure::PasswordRefused:
            return "PJLink password refused";
        case Failure::Malformed:
            return "not a PJLink reply";
        case Failure::Stopped:
            return "stopped";
    }
    return "";
}

namespace {

struct Job {
    std::vector<std::string> commands;
    std::string password;
    Engine::Done done;
};

}  // namespace

class Session;

// The fleet's connections: how many are open or opening, the sessions waiting for one (in
// the order they asked) and the open ones with nothing to do, which go first when another
// waits.
struct Slots {
    explicit Slots(size_t limit) : limit(std::max<size_t>(limit, 1)) {}
    std::mutex mutex;
    const size_t limit;
    size_t used = 0;
    std::deque<std::shared_ptr<Session>> waiting;
    std::vector<std::shared_ptr<Session>> idle;
};

// One projector's connection and the exchanges waiting for it. The queue and the current
// job are guarded by `mutex` (Stop completes them after the loop has ended); the socket,
// the timer and the reading state belong to the session's strand.
class Session : public std::enable_shared_from_this<Session> {
  public:
    Session(asio::io_context& io, std::string ip, const EngineOptions& options,
            std::atomic<uint64_t>& opened, std::atomic<size_t>& open, Slots& slots)
        : strand_(asio::make_strand(io)),
          socket_(strand_),
          timer_(strand_),
          buffer_(kMaxLine),
          ip_(std::move(ip)),
          options_(options),
          opened_(opened),
          open_(open),
          slots_(slots) {}

    void Enqueue(Job job) {
        {
            std::lock_guard lock(mutex);
            queue.push_back(std::move(job));
        }
        asio::post(strand_, [self = shared_from_this()] { self->Next(); });
    }

    // After the loop has stopped: everything not yet answered.
    std::vector<Job> TakeAll() {
        std::lock_guard lock(mutex);
        std::vector<Job> jobs;
        if (current)
            jobs.push_back(std::move(*current));
        current.reset();
        for (Job& job : queue)
            jobs.push_back(std::move(job));
        queue.clear();
        return jobs;
    }

    std::mutex mutex;
    std::optional<Job> current;
    std::deque<Job> queue;

  private:
    void Next() {
        {
            std::lock_guard lock(mutex);
            if (current || queue.empty() || closing_)
                return;
            current = std::move(queue.front());
            queue.pop_front();
        }
        SetIdle(false);
        Disarm();  // the idle timer
        result_ = Exchange{};
        index_ = 0;
        retried_ = false;
        if (socket_.is_open()) {
            reusing_ = true;
            result_.authenticated = !random_.empty();
            WriteCommand();
        } else {
            Open();
        }
    }

    // A connection for the current job, once the fleet has room for one.
    void Open() {
        reusing_ = false;
        random_.clear();
        asio::error_code ec;
        address_ = asio::ip::make_address_v4(ip_, ec);
        if (ec || !IsUsableHostAddress(ip_))
            return Finish(Failure::BadAddress);
        if (hasSlot_ || TakeSlot())
            Connect();
        // else OnSlot connects when another connection has closed
    }

    // On the strand, handed a slot by a session that closed its connection.
    void OnSlot() {
        hasSlot_ = true;
        Connect();
    }

    // Closes an idle connection because another projector waits for one.
    void EvictIfIdle() {
        if (socket_.is_open() && !closing_ && !HasCurrent())
            CloseGracefully();
    }

    bool HasCurrent() {
        std::lock_guard lock(mutex);
        return current.has_value();
    }

    bool TakeSlot() {
        std::shared_ptr<Session> evict;
        {
            std::lock_guard lock(slots_.mutex);
            if (slots_.used < slots_.limit) {
                ++slots_.used;
                hasSlot_ = true;
                return true;
            }
            slots_.waiting.push_back(shared_from_this());
            if (!slots_.idle.empty()) {
                evict = std::move(slots_.idle.front());
                slots_.idle.erase(slots_.idle.begin());
                evict->idleListed_ = false;
            }
        }
        if (evict)
            asio::post(evict->strand_, [evict] { evict->EvictIfIdle(); });
        return false;
    }

    // The connection is closed: its slot goes to the first session waiting, if any.
    void ReleaseSlot() {
        if (!hasSlot_)
            return;
        hasSlot_ = false;
        std::shared_ptr<Session> next;
        {
            std::lock_guard lock(slots_.mutex);
            if (slots_.waiting.empty()) {
                --slots_.used;
            } else {
                next = std::move(slots_.waiting.front());
                slots_.waiting.pop_front();
            }
        }
        if (next)
            asio::post(next->strand_, [next] { next->OnSlot(); });
    }

    bool OthersWait() {
        std::lock_guard lock(slots_.mutex);
        return !slots_.waiting.empty();
    }

    void SetIdle(bool idle) {
        std::lock_guard lock(slots_.mutex);
        if (idle == idleListed_)
            return;
        idleListed_ = idle;
        if (idle) {
            slots_.idle.push_back(shared_from_this());
        } else {
            std::erase_if(slots_.idle, [this](const auto& s) { return s.get() == this; });
        }
    }

    // Half-closes and waits (bounded) for the projector to close its side, so that by the
    // time the slot goes to another projector this one has let the connection go.
    void CloseGracefully() {
        closing_ = true;
        SetIdle(false);
        asio::error_code ignored;
        socket_.shutdown(asio::ip::tcp::socket::shutdown_send, ignored);
        Arm(options_.closeWait);
        DrainUntilClosed();
    }

    void DrainUntilClosed() {
        socket_.async_read_some(asio::buffer(drain_),
                                [self = shared_from_this()](const asio::error_code& error, size_t) {
                                    if (!error && !self->timedOut_)
                                        return self->DrainUntilClosed();
                                    self->closing_ = false;
                                    self->CloseSocket();
                                    self->Next();
                                });
    }

    void Connect() {
        Arm(options_.connectTimeout);
        socket_.async_connect(
            asio::ip::tcp::endpoint(address_, options_.port),
            [self = shared_from_this()](const asio::error_code& error) { self->OnConnect(error); });
    }

    void OnConnect(const asio::error_code& error) {
        if (error || timedOut_) {
            CloseSocket();
            return Finish(Failure::Unreachable);
        }
        opened_.fetch_add(1);
        open_.fetch_add(1);
        counted_ = true;
        ReadLine([self = shared_from_this()](std::optional<std::string> line) {
            self->OnGreeting(std::move(line));
        });
    }

    void OnGreeting(std::optional<std::string> line) {
        if (!line)
            return Fail();
        const Greeting greeting = ParseGreeting(*line);
        switch (greeting.kind) {
            case Greeting::Kind::Open:
                break;
            case Greeting::Kind::Authenticate:
                random_ = greeting.random;
                result_.authenticated = true;
                break;
            case Greeting::Kind::Refused:
                CloseSocket();
                return Finish(Failure::PasswordRefused);
            case Greeting::Kind::Malformed:
                CloseSocket();
                return Finish(Failure::Malformed);
        }
        freshConnection_ = true;
        WriteCommand();
    }

    void WriteCommand() {
        const Job& job = *current;
        if (index_ >= job.commands.size())
            return Finish(Failure::None);
        out_ = job.commands[index_];
        // The digest goes with the first command of an authenticated connection only.
        if (freshConnection_ && !random_.empty())
            out_ = AuthenticatedCommand(random_, job.password, out_);
        freshConnection_ = false;
        Arm(options_.replyTimeout);
        asio::async_write(socket_, asio::buffer(out_),
                          [self = shared_from_this()](const asio::error_code& error, size_t) {
                              if (error || self->timedOut_)
                                  return self->Fail(error);
                              self->ReadLine([self](std::optional<std::string> line) {
                                  self->OnReply(std::move(line));
                              });
                          });
    }

    void OnReply(std::optional<std::string> line) {
        if (!line)
            return Fail();
        if (ParseReply(*line).outcome == Outcome::Refused) {
            CloseSocket();
            return Finish(Failure::PasswordRefused);
        }
        result_.replies.push_back(std::move(*line));
        ++index_;
        reusing_ = false;  // the connection has proved itself for this job
        WriteCommand();
    }

    // Reads one line ending in CR (a LF before it is dropped) within the reply time limit.
    template <class Then>
    void ReadLine(Then then) {
        Arm(options_.replyTimeout);
        asio::async_read_until(socket_, buffer_, '\r',
                               [self = shared_from_this(), then = std::move(then)](
                                   const asio::error_code& error, size_t length) mutable {
                                   self->Disarm();
                                   if (error || self->timedOut_) {
                                       self->lastError_ = error;
                                       return then(std::nullopt);
                                   }
                                   std::string line(
                                       asio::buffers_begin(self->buffer_.data()),
                                       asio::buffers_begin(self->buffer_.data()) + length - 1);
                                   self->buffer_.consume(length);
                                   while (!line.empty() && line.front() == '\n')
                                       line.erase(line.begin());
                                   then(std::move(line));
                               });
    }

    // A write or read failed. A reused connection the projector closed while idle is opened
    // again once; anything else ends the exchange.
    void Fail(const asio::error_code& error = {}) {
        const asio::error_code cause = error ? error : lastError_;
        lastError_ = {};
        const bool timed = timedOut_;
        CloseSocket();
        if (reusing_ && !retried_ && !timed) {
            retried_ = true;
            result_.replies.clear();
            return Open();
        }
        if (timed)
            return Finish(Failure::TimedOut);
        if (cause == asio::error::not_found)
            return Finish(Failure::Malformed);  // a line longer than the limit
        Finish(Failure::Closed);
    }

    // A timer that has already fired may still have its handler queued when it is set
    // again or cancelled; the generation tells such a stale handler to do nothing.
    void Arm(std::chrono::milliseconds limit) {
        timedOut_ = false;
        const uint64_t generation = ++generation_;
        timer_.expires_after(limit);
        timer_.async_wait([self = shared_from_this(), generation](const asio::error_code& error) {
            if (error || generation != self->generation_)
                return;  // the awaited step came first
            self->timedOut_ = true;
            asio::error_code ignored;
            self->socket_.cancel(ignored);
        });
    }

    void Disarm() {
        ++generation_;
        timer_.cancel();
    }

    void CloseSocket() {
        Disarm();
        asio::error_code ignored;
        socket_.shutdown(asio::ip::tcp::socket::shutdown_both, ignored);
        socket_.close(ignored);
        buffer_.consume(buffer_.size());
        random_.clear();
        if (counted_)
            open_.fetch_sub(1);
        counted_ = false;
        ReleaseSlot();
    }

    void Finish(Failure failure) {
        result_.failure = failure;
        Job job;
        {
            std::lock_guard lock(mutex);
            job = std::move(*current);
            current.reset();
        }
        job.done(std::move(result_));
        result_ = Exchange{};
        if (socket_.is_open() && OthersWait()) {
            CloseGracefully();  // another projector's turn; Next follows the close
        } else if (socket_.is_open()) {
            // Kept for the next exchange until it has been idle too long.
            SetIdle(true);
            timedOut_ = false;
            const uint64_t generation = ++generation_;
            timer_.expires_after(options_.keepIdle);
            timer_.async_wait(
                [self = shared_from_this(), generation](const asio::error_code& error) {
                    if (!error && generation == self->generation_)
                        self->CloseGracefully();
                });
        }
        Next();
    }

    asio::strand<asio::io_context::executor_type> strand_;
    asio::ip::tcp::socket socket_;
    asio::steady_timer timer_;
    asio::streambuf buffer_;
    const std::string ip_;
    const EngineOptions& options_;
    std::atomic<uint64_t>& opened_;
    std::atomic<size_t>& open_;
    Slots& slots_;

    Exchange result_;
    asio::ip::address_v4 address_;
    std::array<char, 256> drain_{};
    bool hasSlot_ = false;
    bool closing_ = false;
    bool idleListed_ = false;  // guarded by slots_.mutex
    size_t index_ = 0;
    std::string out_;
    std::string random_;
    asio::error_code lastError_;
    bool timedOut_ = false;
    bool reusing_ = false;
    bool retried_ = false;
    bool freshConnection_ = false;
    bool counted_ = false;
    uint64_t generation_ = 0;
};

struct Engine::Impl {
    explicit Impl(EngineOptions o)
        : options(std::move(o)), work(asio::make_work_guard(io)), slots(options.maxConnections) {}

    EngineOptions options;
    asio::io_context io;
    asio::executor_work_guard<asio::io_context::executor_type> work;
    std::vector<std::thread> threads;
    std::mutex mutex;
    bool stopped = false;
    bool joined = false;
    std::unordered_map<std::string, std::shared_ptr<Session>> sessions;
    std::atomic<uint64_t> opened{0};
    std::atomic<size_t> open{0};
    Slots slots;

    bool OnEngineThread() const {
        for (const std::thread& t : threads) {
            if (t.get_id() == std::this_thread::get_id())
                return true;
        }
        return false;
    }
};

Engine::Engine(EngineOptions options) : impl_(std::make_shared<Impl>(std::move(options))) {}

Engine::~Engine() {
    Stop();
}

const EngineOptions& Engine::Options() const {
    return impl_->options;
}

uint64_t Engine::ConnectionsOpened() const {
    return impl_->opened.load();
}

size_t Engine::OpenConnections() const {
    return impl_->open.load();
}

void Engine::Send(const std::string& ip, std::vector<std::string> commands, std::string password,
                  Done done) {
    std::shared_ptr<Session> session;
    {
        std::lock_guard lock(impl_->mutex);
        if (!impl_->stopped) {
            if (impl_->threads.empty()) {
                // Started with the first exchange, so a program that never speaks PJLink
                // pays nothing.
                for (int i = 0; i < std::max(impl_->options.threads, 1); ++i) {
                    std::thread t = StartThread(impl_->options.threadStarter, "PJLink engine",
                                                [impl = impl_.get()] { impl->io.run(); });
                    if (t.joinable())
                        impl_->threads.push_back(std::move(t));
                }
            }
            if (!impl_->threads.empty()) {
                auto& slot = impl_->sessions[ip];
                if (!slot)
                    slot = std::make_shared<Session>(impl_->io, ip, impl_->options, impl_->opened,
                                                     impl_->open, impl_->slots);
                session = slot;
            }
        }
    }
    if (!session) {
        Exchange end;
        end.failure = Failure::Stopped;
        done(std::move(end));
        return;
    }
    session->Enqueue({std::move(commands), std::move(password), std::move(done)});
}

void Engine::Stop() {
    std::vector<std::thread> threads;
    std::unordered_map<std::string, std::shared_ptr<Session>> sessions;
    {
        std::lock_guard lock(impl_->mutex);
        impl_->stopped = true;
        impl_->work.reset();
        impl_->io.stop();
        if (impl_->OnEngineThread() || impl_->joined)
            return;
        impl_->joined = true;
        threads = std::move(impl_->threads);
        sessions = std::move(impl_->sessions);
    }
    for (std::thread& t : threads)
        t.join();
    {
        // The loop has ended: nothing else touches the sessions now.
        std::lock_guard lock(impl_->slots.mutex);
        impl_->slots.waiting.clear();
        impl_->slots.idle.clear();
    }
    for (auto& [ip, session] : sessions) {
        for (Job& job : session->TakeAll()) {
            Exchange end;
            end.failure = Failure::Stopped;
            job.done(std::move(end));
        }
    }
    sessions.clear();  // sockets close here, before the io_context goes
}

Exchange SendAndWait(Engine& engine, const std::string& ip, std::vector<std::string> commands,
                     const std::string& password) {
    std::mutex mutex;
    std::condition_variable cv;
    std::optional<Exchange> result;
    engine.Send(ip, std::move(commands), password, [&](Exchange end) {
        std::lock_guard lock(mutex);
        result = std::move(end);
        cv.notify_all();
    });
    std::unique_lock lock(mutex);
    cv.wait(lock, [&] { return result.has_value(); });
    return std::move(*result);
}

}  // namespace vistrel::pjlink
