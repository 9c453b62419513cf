#include "sim/fleet.h"

#include <sys/resource.h>

#include <algorithm>
#include <array>
#include <asio.hpp>
#include <atomic>
#include <future>
#include <optional>
#include <random>
#include <sstream>
#include <thread>

#include "sim/netns_pair.h"
#include "sim/web_control.h"

namespace vistrel::sim {
namespace {

using asio::ip::tcp;
using asio::ip::udp;
using Strand = asio::strand<asio::io_context::executor_type>;

constexpr std::string_view kProbe = "Hello 250#";
constexpr std::string_view kAnswerPrefix = "Hello 13.#";
constexpr size_t kMaxHeader = 16 * 1024;
constexpr size_t kMaxBody = 64 * 1024;
constexpr auto kIdleLimit = std::chrono::seconds(10);
constexpr int kBindAttempts = 8;

bool IsLoopback(const std::string& address) {
    auto packed = PackAddress(address);
    return packed && (*packed >> 24) == 127;
}

std::string Lower(std::string text) {
    std::transform(text.begin(), text.end(), text.begin(),
                   [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
    return text;
}

std::string Trim(const std::string& text) {
    size_t begin = text.find_first_not_of(" \t");
    size_t end = text.find_last_not_of(" \t\r");
    return begin == std::string::npos ? "" : text.substr(begin, end - begin + 1);
}

// Each projector needs a listening and a datagram socket, plus room for connections.
void RaiseFileLimit(size_t projectors) {
    rlimit limit{};
    if (getrlimit(RLIMIT_NOFILE, &limit) != 0) {
        return;
    }
    rlim_t wanted = static_cast<rlim_t>(projectors) * 4 + 256;
    if (limit.rlim_cur < wanted) {
        limit.rlim_cur = std::min(wanted, limit.rlim_max);
        setrlimit(RLIMIT_NOFILE, &limit);
    }
}

// Runs `work` with sockets created in `netns` (a thread of its own enters the namespace,
// so the caller's namespace never changes).
bool InNamespace(const std::string& netns, const std::function<bool(std::string*)>& work,
                 std::string* error) {
    if (netns.empty()) {
        return work(error);
    }
    bool ok = false;
    std::thread worker([&] { ok = EnterNetns(netns, error) && work(error); });
    worker.join();
    return ok;
}

}  // namespace

struct Fleet::Sender {
    udp::endpoint endpoint;
};

struct Fleet::Io {
    asio::io_context context;
    std::optional<asio::executor_work_guard<asio::io_context::executor_type>> work;
    std::vector<std::thread> threads;
    Strand broadcastStrand{asio::make_strand(context)};
    std::unique_ptr<udp::socket> broadcast;
    std::array<char, 4096> rx{};
    udp::endpoint from;
    std::atomic<uint64_t> garbageSeed{1};
};

struct Fleet::Projector {
    size_t index = 0;
    std::string mac;
    std::string answer;  // the discovery answer, fixed for the projector's life

    mutable std::mutex mutex;  // guards config
    ProjectorConfig config;
    ProjectorState startUp;  // what "Reset all" returns the settings to; fixed

    // I/O objects: used only on `strand`, or while no I/O thread runs.
    std::optional<Strand> strand;
    std::unique_ptr<tcp::acceptor> acceptor;
    std::unique_ptr<udp::socket> datagram;
    std::unique_ptr<asio::steady_timer> relocateTimer;
    std::array<char, 4096> rx{};
    udp::endpoint from;
};

// One HTTP connection: reads one POST, lets the projector answer it (faults applied),
// writes the reply and closes.
// Answers one broadcast probe from every projector, a burst per millisecond.
class Fleet::BroadcastAnswers : public std::enable_shared_from_this<BroadcastAnswers> {
  public:
    BroadcastAnswers(Fleet& fleet, Sender sender, size_t burst)
        : fleet_(fleet),
          sender_(std::move(sender)),
          burst_(burst),
          timer_(fleet.io_->broadcastStrand) {}

    void Step() {
        size_t end = std::min(fleet_.projectors_.size(), next_ + burst_);
        for (; next_ < end; ++next_) {
            Projector& p = *fleet_.projectors_[next_];
            asio::post(*p.strand,
                       [fleet = &fleet_, &p, sender = sender_] { fleet->AnswerProbe(p, sender); });
        }
        if (next_ >= fleet_.projectors_.size()) {
            return;
        }
        timer_.expires_after(std::chrono::milliseconds(1));
        timer_.async_wait([self = shared_from_this()](std::error_code ec) {
            if (!ec) {
                self->Step();
            }
        });
    }

  private:
    Fleet& fleet_;
    Sender sender_;
    size_t burst_;
    size_t next_ = 0;
    asio::steady_timer timer_;
};

class Fleet::HttpSession : public std::enable_shared_from_this<HttpSession> {
  public:
    HttpSession(Fleet& fleet, Projector& projector, tcp::socket socket)
        : fleet_(fleet),
          projector_(projector),
          socket_(std::move(socket)),
          timer_(socket_.get_executor()),
          buffer_(kMaxHeader) {}

    void Start() {
        ArmIdleTimer();
        auto self = shared_from_this();
        asio::async_read_until(socket_, buffer_, "\r\n\r\n",
                               [self](std::error_code ec, size_t n) { self->OnHeader(ec, n); });
    }

  private:
    void ArmIdleTimer() {
        timer_.expires_after(kIdleLimit);
        timer_.async_wait([self = shared_from_this()](std::error_code ec) {
            if (!ec) {
                self->Close();
            }
        });
    }

    void OnHeader(std::error_code ec, size_t n) {
        if (ec) {
            return Close();
        }
        std::string head(asio::buffers_begin(buffer_.data()),
                         asio::buffers_begin(buffer_.data()) + static_cast<std::ptrdiff_t>(n));
        buffer_.consume(n);
        std::istringstream lines(head);
        std::string requestLine;
        std::getline(lines, requestLine);
        std::istringstream request(requestLine);
        std::string method;
        std::string target;
        request >> method >> target;
        size_t length = 0;
        bool expectContinue = false;
        bool chunked = false;
        for (std::string line; std::getline(lines, line);) {
            size_t colon = line.find(':');
            if (colon == std::string::npos) {
                continue;
            }
            std::string name = Lower(Trim(line.substr(0, colon)));
            std::string value = Trim(line.substr(colon + 1));
            if (name == "content-length") {
                length = std::strtoul(value.c_str(), nullptr, 10);
            } else if (name == "expect") {
                expectContinue = Lower(value) == "100-continue";
            } else if (name == "transfer-encoding") {
                chunked = Lower(value) != "identity";
            }
        }
        if (method != "POST" || target != "/tgi/return.tgi") {
            return Respond("404 Not Found", "", "not-found");
        }
        if (chunked) {
            return Respond("411 Length Required", "", "chunked");
        }
        if (length > kMaxBody) {
            return Respond("413 Payload Too Large", "", "too-large");
        }
        length_ = length;
        if (buffer_.size() >= length_) {
            return OnBody({});
        }
        auto self = shared_from_this();
        auto readBody = [self] {
            asio::async_read(self->socket_, self->buffer_,
                             asio::transfer_exactly(self->length_ - self->buffer_.size()),
                             [self](std::error_code ec, size_t) { self->OnBody(ec); });
        };
        if (!expectContinue) {
            return readBody();
        }
        static const std::string kContinue = "HTTP/1.1 100 Continue\r\n\r\n";
        asio::async_write(socket_, asio::buffer(kContinue),
                          [self, readBody](std::error_code ec, size_t) {
                              if (ec) {
                                  return self->Close();
                              }
                              readBody();
                          });
    }

    void OnBody(std::error_code ec) {
        if (ec) {
            return Close();
        }
        body_.assign(asio::buffers_begin(buffer_.data()),
                     asio::buffers_begin(buffer_.data()) + static_cast<std::ptrdiff_t>(length_));
        buffer_.consume(length_);
        Faults faults;
        {
            std::lock_guard lock(projector_.mutex);
            faults = projector_.config.faults;
        }
        if (faults.hang) {
            return Hang();
        }
        if (faults.closeWithoutReply) {
            LogRequest("", "closed");
            return Close();
        }
        if (faults.replyDelayMs > 0) {
            timer_.expires_after(std::chrono::milliseconds(faults.replyDelayMs));
            timer_.async_wait([self = shared_from_this()](std::error_code ec) {
                if (!ec) {
                    self->Answer();
                }
            });
            return;
        }
        Answer();
    }

    void Answer() {
        ArmIdleTimer();
        WebReply reply;
        Faults faults;
        std::string address;
        bool standby = false;
        {
            std::lock_guard lock(projector_.mutex);
            faults = projector_.config.faults;
            address = projector_.config.address;
            reply = HandleWebRequest(projector_.config.state, address, body_, faults.commandTimeout,
                                     &projector_.startUp);
            standby = projector_.config.state.power == kPowerStandby;
        }
        std::string note;
        constexpr size_t kPowerDigitAt = 20;
        if (faults.standbyDigit && reply.topic == "control" && standby &&
            reply.text.size() > kPowerDigitAt) {
            reply.text[kPowerDigitAt] = '2';
        }
        if (faults.commandTimeout && (reply.topic == "command" || reply.topic == "set")) {
            note = "command-timeout";
        }
        const auto& garbage = faults.garbage;
        if (!reply.topic.empty() &&
            std::find(garbage.begin(), garbage.end(), reply.topic) != garbage.end()) {
            std::mt19937 random(static_cast<uint32_t>(fleet_.io_->garbageSeed++));
            for (char& c : reply.text) {
                c = static_cast<char>(random() & 0xFF);
            }
            note = "garbage";
        }
        if (auto cut = faults.truncate.find(reply.topic);
            cut != faults.truncate.end() && cut->second >= 0 &&
            static_cast<size_t>(cut->second) < reply.text.size()) {
            reply.text.resize(static_cast<size_t>(cut->second));
            note = "truncated";
        }
        if (faults.emptyReply) {
            reply.text.clear();
            note = "empty";
        }
        if (faults.replyDelayMs > 0 && note.empty()) {
            note = "delayed";
        }
        if (reply.newAddress) {
            fleet_.Relocate(projector_, *reply.newAddress);
        }
        Respond("200 OK", reply.text, note, address);
    }

    void Respond(const std::string& status, const std::string& text, const std::string& note,
                 std::string address = {}) {
        if (address.empty()) {
            std::lock_guard lock(projector_.mutex);
            address = projector_.config.address;
        }
        LogRequest(text, note, address);
        response_ = "HTTP/1.1 " + status + "\r\nContent-Type: text/html\r\nContent-Length: " +
                    std::to_string(text.size()) + "\r\nConnection: close\r\n\r\n" + text;
        asio::async_write(socket_, asio::buffer(response_),
                          [self = shared_from_this()](std::error_code ec, size_t) {
                              if (ec) {
                                  return self->Close();
                              }
                              // Half-close and wait for the client's close, so the reply
                              // is never cut by a reset.
                              std::error_code ignored;
                              self->socket_.shutdown(tcp::socket::shutdown_send, ignored);
                              self->DrainUntilClosed();
                          });
    }

    // Keeps the connection open without answering until the client gives up.
    void Hang() {
        LogRequest("", "hang");
        timer_.cancel();
        DrainUntilClosed();
    }

    void DrainUntilClosed() {
        socket_.async_read_some(asio::buffer(drain_),
                                [self = shared_from_this()](std::error_code ec, size_t) {
                                    if (ec) {
                                        return self->Close();
                                    }
                                    self->DrainUntilClosed();
                                });
    }

    void LogRequest(const std::string& reply, const std::string& note, std::string address = {}) {
        if (address.empty()) {
            std::lock_guard lock(projector_.mutex);
            address = projector_.config.address;
        }
        fleet_.log_.Add({0, projector_.index, address, "http", body_, reply, note});
    }

    void Close() {
        std::error_code ignored;
        timer_.cancel();
        socket_.close(ignored);
    }

    Fleet& fleet_;
    Projector& projector_;
    tcp::socket socket_;
    asio::steady_timer timer_;
    asio::streambuf buffer_;
    size_t length_ = 0;
    std::string body_;
    std::string response_;
    std::array<char, 512> drain_{};
};

Fleet::Fleet(FleetOptions options) : options_(std::move(options)), io_(std::make_unique<Io>()) {
    options_.threads = std::clamp(options_.threads, 1, 64);
    projectors_.reserve(options_.projectors.size());
    for (size_t i = 0; i < options_.projectors.size(); ++i) {
        auto p = std::make_unique<Projector>();
        p->index = i;
        p->config = options_.projectors[i];
        p->startUp = p->config.state;
        p->mac = p->config.mac;
        p->answer = std::string(kAnswerPrefix) + " " + p->mac;
        projectors_.push_back(std::move(p));
    }
    options_.projectors.clear();
}

Fleet::~Fleet() {
    Stop();
    ReleaseIo();
}

bool Fleet::Start(std::string* error) {
    std::string ignored;
    error = error ? error : &ignored;
    if (started_) {
        *error = "a fleet starts once";
        return false;
    }
    started_ = true;
    if (!options_.logFile.empty() && !log_.OpenFile(options_.logFile)) {
        *error = "cannot open log file " + options_.logFile;
        return false;
    }
    RaiseFileLimit(projectors_.size());
    if (!InNamespace(
            options_.netns, [this](std::string* e) { return BindAll(e); }, error)) {
        for (auto& p : projectors_) {
            CloseSockets(*p);
        }
        io_->broadcast.reset();
        return false;
    }
    io_->work.emplace(io_->context.get_executor());
    for (int i = 0; i < options_.threads; ++i) {
        io_->threads.emplace_back([this] {
            std::string ignoredError;
            if (!options_.netns.empty()) {
                EnterNetns(options_.netns, &ignoredError);
            }
            io_->context.run();
        });
    }
    running_ = true;
    return true;
}

bool Fleet::BindAll(std::string* error) {
    std::string first = projectors_.empty() ? std::string(kDefaultFirstAddress)
                                            : projectors_.front()->config.address;
    std::string listen = options_.broadcastListenAddress;
    if (listen.empty()) {
        listen = IsLoopback(first) ? "127.255.255.255" : "0.0.0.0";
    }
    for (int attempt = 0; attempt < kBindAttempts; ++attempt) {
        std::error_code ec;
        discoveryPort_ = options_.discoveryPort;
        httpPort_ = options_.httpPort;
        // Broadcast receiver first: with port 0 it picks the discovery port for everyone.
        auto broadcast = std::make_unique<udp::socket>(io_->broadcastStrand);
        broadcast->open(udp::v4(), ec);
        if (!ec) {
            broadcast->set_option(asio::socket_base::reuse_address(true), ec);
            broadcast->set_option(asio::socket_base::broadcast(true), ec);
            broadcast->bind({asio::ip::make_address_v4(listen, ec), discoveryPort_}, ec);
        }
        if (ec) {
            *error = "cannot bind discovery on " + listen + ":" + std::to_string(discoveryPort_) +
                     ": " + ec.message();
            return false;
        }
        discoveryPort_ = broadcast->local_endpoint().port();
        if (httpPort_ == 0) {
            // Borrow a free port on the first address; every projector then binds it.
            tcp::acceptor probe(io_->context);
            probe.open(tcp::v4(), ec);
            probe.bind({asio::ip::make_address_v4(first, ec), 0}, ec);
            if (ec) {
                *error = "cannot bind " + first + ": " + ec.message();
                return false;
            }
            httpPort_ = probe.local_endpoint().port();
        }
        bool ok = true;
        for (auto& p : projectors_) {
            p->strand.emplace(asio::make_strand(io_->context));
            p->relocateTimer = std::make_unique<asio::steady_timer>(*p->strand);
            bool gone;
            {
                std::lock_guard lock(p->mutex);
                gone = p->config.faults.gone;
            }
            if (!gone && !OpenSockets(*p, error)) {
                ok = false;
                break;
            }
        }
        if (ok) {
            io_->broadcast = std::move(broadcast);
            StartBroadcastReceive();
            return true;
        }
        for (auto& p : projectors_) {
            CloseSockets(*p);
        }
        // Only a chosen port may be chosen again.
        if (options_.discoveryPort != 0 && options_.httpPort != 0) {
            return false;
        }
    }
    return false;
}

bool Fleet::OpenSockets(Projector& p, std::string* error) {
    std::string address;
    {
        std::lock_guard lock(p.mutex);
        address = p.config.address;
    }
    std::error_code ec;
    auto ip = asio::ip::make_address_v4(address, ec);
    auto acceptor = std::make_unique<tcp::acceptor>(*p.strand);
    auto socket = std::make_unique<udp::socket>(*p.strand);
    if (!ec) {
        acceptor->open(tcp::v4(), ec);
    }
    if (!ec) {
        acceptor->set_option(asio::socket_base::reuse_address(true), ec);
        acceptor->bind({ip, httpPort_}, ec);
    }
    if (!ec) {
        acceptor->listen(asio::socket_base::max_listen_connections, ec);
    }
    if (!ec) {
        socket->open(udp::v4(), ec);
    }
    if (!ec) {
        socket->set_option(asio::socket_base::reuse_address(true), ec);
        socket->set_option(asio::socket_base::broadcast(true), ec);
        socket->bind({ip, discoveryPort_}, ec);
    }
    if (ec) {
        if (error) {
            *error = "cannot bind projector " + std::to_string(p.index) + " on " + address +
                     " (http " + std::to_string(httpPort_) + ", discovery " +
                     std::to_string(discoveryPort_) + "): " + ec.message();
        }
        return false;
    }
    p.acceptor = std::move(acceptor);
    p.datagram = std::move(socket);
    StartAccept(p);
    StartReceive(p);
    return true;
}

void Fleet::CloseSockets(Projector& p) {
    std::error_code ignored;
    if (p.acceptor) {
        p.acceptor->close(ignored);
    }
    if (p.datagram) {
        p.datagram->close(ignored);
    }
}

void Fleet::StartAccept(Projector& p) {
    tcp::acceptor* acceptor = p.acceptor.get();
    acceptor->async_accept(asio::make_strand(io_->context), [this, &p, acceptor](std::error_code ec,
                                                                                 tcp::socket s) {
        if (ec == asio::error::operation_aborted || acceptor != p.acceptor.get() ||
            !acceptor->is_open()) {
            return;
        }
        if (!ec) {
            std::make_shared<HttpSession>(*this, p, std::move(s))->Start();
            return StartAccept(p);
        }
        // Out of descriptors or similar: try again shortly instead of spinning.
        auto timer = std::make_shared<asio::steady_timer>(*p.strand, std::chrono::milliseconds(50));
        timer->async_wait([this, &p, acceptor, timer](std::error_code) {
            if (acceptor == p.acceptor.get() && acceptor->is_open()) {
                StartAccept(p);
            }
        });
    });
}

void Fleet::StartReceive(Projector& p) {
    udp::socket* socket = p.datagram.get();
    socket->async_receive_from(
        asio::buffer(p.rx), p.from, [this, &p, socket](std::error_code ec, size_t n) {
            if (ec == asio::error::operation_aborted || socket != p.datagram.get() ||
                !socket->is_open()) {
                return;
            }
            if (!ec) {
                HandleDatagram(&p, std::string(p.rx.data(), n), Sender{p.from});
            }
            StartReceive(p);
        });
}

void Fleet::StartBroadcastReceive() {
    io_->broadcast->async_receive_from(
        asio::buffer(io_->rx), io_->from, [this](std::error_code ec, size_t n) {
            if (ec == asio::error::operation_aborted || !io_->broadcast->is_open()) {
                return;
            }
            if (!ec) {
                HandleDatagram(nullptr, std::string(io_->rx.data(), n), Sender{io_->from});
            }
            StartBroadcastReceive();
        });
}

void Fleet::HandleDatagram(Projector* target, const std::string& text, const Sender& sender) {
    if (text != kProbe) {
        std::string where = target ? Address(target->index)
                                   : io_->broadcast->local_endpoint().address().to_string();
        log_.Add({0, target ? target->index : SIZE_MAX, where, "udp", text, "", "ignored"});
        return;
    }
    if (target) {
        return AnswerProbe(*target, sender);
    }
    // A broadcast reaches every projector. Answers go out in bursts so that the asker's
    // socket buffer is not flooded by a large fleet at once.
    size_t burst =
        options_.answersPerMs > 0 ? static_cast<size_t>(options_.answersPerMs) : projectors_.size();
    std::make_shared<BroadcastAnswers>(*this, sender, burst)->Step();
}

void Fleet::AnswerProbe(Projector& p, const Sender& sender) {
    Faults faults;
    std::string address;
    {
        std::lock_guard lock(p.mutex);
        faults = p.config.faults;
        address = p.config.address;
    }
    if (faults.gone || !p.datagram || !p.datagram->is_open()) {
        return;
    }
    if (faults.silentDiscovery) {
        log_.Add({0, p.index, address, "udp", std::string(kProbe), "", "silent"});
        return;
    }
    std::error_code ec;
    // A datagram this small goes out at once or not at all; no need to wait for it.
    p.datagram->send_to(asio::buffer(p.answer), sender.endpoint, 0, ec);
    log_.Add({0, p.index, address, "udp", std::string(kProbe), ec ? "" : p.answer,
              ec ? "send-failed" : ""});
}

void Fleet::Relocate(Projector& p, const std::string& address) {
    asio::post(*p.strand, [this, &p, address] {
        p.relocateTimer->expires_after(std::chrono::milliseconds(options_.relocationDelayMs));
        p.relocateTimer->async_wait([this, &p, address](std::error_code ec) {
            if (ec) {
                return;
            }
            std::string old;
            bool gone;
            {
                std::lock_guard lock(p.mutex);
                old = p.config.address;
                p.config.address = address;
                gone = p.config.faults.gone;
            }
            CloseSockets(p);
            std::string error;
            if (!gone && !OpenSockets(p, &error)) {
                log_.Add({0, p.index, address, "http", "", "", "relocation-failed: " + error});
                return;
            }
            log_.Add({0, p.index, address, "http", "", "", "relocated from " + old});
        });
    });
}

void Fleet::Stop() {
    if (!running_) {
        return;
    }
    running_ = false;
    io_->work.reset();
    io_->context.stop();
    for (auto& thread : io_->threads) {
        thread.join();
    }
    io_->threads.clear();
    ReleaseIo();
    io_ = std::make_unique<Io>();
}

void Fleet::ReleaseIo() {
    // No thread runs now: close and drop every I/O object, then the context, which also
    // destroys the connections still waiting in it. Strands must not outlive their context.
    for (auto& p : projectors_) {
        CloseSockets(*p);
        p->acceptor.reset();
        p->datagram.reset();
        p->relocateTimer.reset();
        p->strand.reset();
    }
    io_.reset();
}

bool Fleet::Running() const {
    return running_;
}
size_t Fleet::Size() const {
    return projectors_.size();
}
uint16_t Fleet::DiscoveryPort() const {
    return discoveryPort_;
}
uint16_t Fleet::HttpPort() const {
    return httpPort_;
}
int Fleet::ThreadCount() const {
    return options_.threads;
}

std::string Fleet::Address(size_t index) const {
    std::lock_guard lock(projectors_.at(index)->mutex);
    return projectors_[index]->config.address;
}

std::string Fleet::Mac(size_t index) const {
    return projectors_.at(index)->mac;
}

std::optional<size_t> Fleet::FindByAddress(const std::string& address) const {
    for (size_t i = 0; i < projectors_.size(); ++i) {
        if (Address(i) == address) {
            return i;
        }
    }
    return std::nullopt;
}

std::optional<size_t> Fleet::FindByMac(const std::string& mac) const {
    for (size_t i = 0; i < projectors_.size(); ++i) {
        if (projectors_[i]->mac == mac) {
            return i;
        }
    }
    return std::nullopt;
}

ProjectorState Fleet::State(size_t index) const {
    std::lock_guard lock(projectors_.at(index)->mutex);
    return projectors_[index]->config.state;
}

void Fleet::SetState(size_t index, const ProjectorState& state) {
    UpdateState(index, [&](ProjectorState& s) { s = state; });
}

void Fleet::UpdateState(size_t index, const std::function<void(ProjectorState&)>& change) {
    std::lock_guard lock(projectors_.at(index)->mutex);
    change(projectors_[index]->config.state);
}

Faults Fleet::GetFaults(size_t index) const {
    std::lock_guard lock(projectors_.at(index)->mutex);
    return projectors_[index]->config.faults;
}

void Fleet::SetFaults(size_t index, const Faults& faults) {
    Projector& p = *projectors_.at(index);
    bool wasGone;
    {
        std::lock_guard lock(p.mutex);
        wasGone = p.config.faults.gone;
        p.config.faults = faults;
    }
    if (wasGone == faults.gone || !running_) {
        return;
    }
    // An I/O thread (the control channel) must not wait for another handler.
    bool wait = !io_->context.get_executor().running_in_this_thread();
    // Sockets belong to the projector's strand; open and close them there.
    auto done = std::make_shared<std::promise<void>>();
    asio::post(*p.strand, [this, &p, done] {
        bool gone;
        {
            std::lock_guard lock(p.mutex);
            gone = p.config.faults.gone;
        }
        CloseSockets(p);
        if (!gone) {
            std::string error;
            if (!OpenSockets(p, &error)) {
                log_.Add({0, p.index, Address(p.index), "http", "", "", "reopen-failed: " + error});
            }
        }
        done->set_value();
    });
    if (wait) {
        done->get_future().wait();
    }
}

ProjectorConfig Fleet::Config(size_t index) const {
    std::lock_guard lock(projectors_.at(index)->mutex);
    return projectors_[index]->config;
}

RequestLog& Fleet::Log() {
    return log_;
}
const RequestLog& Fleet::Log() const {
    return log_;
}

std::string Fleet::Summary() const {
    std::ostringstream out;
    out << projectors_.size() << " projectors, " << options_.threads
        << " I/O threads, discovery port " << discoveryPort_ << ", http port " << httpPort_ << '\n'
        << log_.Summary();
    return out.str();
}

}  // namespace vistrel::sim
