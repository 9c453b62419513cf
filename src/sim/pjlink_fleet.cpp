#include "sim/pjlink_fleet.h"

#include <asio.hpp>
#include <atomic>
#include <mutex>
#include <random>
#include <set>
#include <thread>

#include "pjlink/md5.h"
#include "sim/fleet_options.h"

namespace vistrel::sim {

namespace {

using asio::ip::tcp;
using asio::ip::udp;

constexpr size_t kLineLimit = 256;

std::string MacWithColons(const std::string& mac) {
    std::string out;
    for (size_t i = 0; i < mac.size(); ++i) {
        if (i > 0 && i % 2 == 0)
            out += ':';
        out += mac[i];
    }
    return out;
}

bool IsHex(const std::string& text) {
    return text.find_first_not_of("0123456789abcdefABCDEF") == std::string::npos;
}

}  // namespace

PjlinkFleetOptions GeneratePjlinkFleet(size_t count, const std::string& firstAddress) {
    PjlinkFleetOptions options;
    std::string address = firstAddress;
    for (size_t i = 0; i < count; ++i) {
        PjlinkProjectorConfig p;
        p.address = address;
        char mac[32];
        std::snprintf(mac, sizeof mac, "0050A1%06X", static_cast<unsigned>((i + 1) & 0xffffff));
        p.mac = mac;
        p.commandClass = i % 2 == 0 ? 1 : 2;
        if (i % 3 == 2)
            p.password = "panel";
        p.name = "PJLink " + std::to_string(i + 1);
        p.maker = i % 2 == 0 ? "Simulated" : "Simulated Pro";
        p.model = p.commandClass == 2 ? "PJ-2000" : "PJ-100";
        p.serial = "SN" + std::to_string(10000 + i);
        p.software = p.commandClass == 2 ? "2.1" : "";
        p.power = i % 4 == 3 ? 0 : 1;
        p.lampHours = static_cast<uint32_t>(400 + 137 * i);
        if (i % 7 == 5)
            p.errors = "010000";  // a lamp warning
        options.projectors.push_back(std::move(p));
        if (auto next = NextAddress(address))
            address = *next;
    }
    return options;
}

struct PjlinkFleet::Impl : std::enable_shared_from_this<PjlinkFleet::Impl> {
    struct Projector {
        explicit Projector(PjlinkProjectorConfig c) : config(std::move(c)) {}
        PjlinkProjectorConfig config;
        // Warming up or cooling down until this moment; the state after it is config.power.
        std::chrono::steady_clock::time_point transitionEnd{};
        int transitionState = 0;  // 2 cooling, 3 warm-up, 0 none
        std::unique_ptr<tcp::acceptor> acceptor;
        std::unique_ptr<udp::socket> search;
        udp::endpoint searchFrom;
        char searchBuffer[512] = {};
    };

    explicit Impl(PjlinkFleetOptions o) : options(std::move(o)) {
        for (auto& config : options.projectors)
            projectors.push_back(std::make_unique<Projector>(config));
    }

    // The power digit now, ending a passing state that has run its time.
    int PowerNow(Projector& p) {
        if (p.transitionState != 0 && std::chrono::steady_clock::now() >= p.transitionEnd)
            p.transitionState = 0;
        return p.transitionState != 0 ? p.transitionState : p.config.power;
    }

    std::string Handle(Projector& p, const std::string& line);
    void Accept(Projector& p);
    void ReceiveSearch(udp::socket& socket, udp::endpoint& from, char* buffer, Projector* own);
    void AnswerSearch(const udp::endpoint& to);

    PjlinkFleetOptions options;
    // Owned apart so that Stop can destroy it: the handlers still queued in it hold the
    // fleet, and only destroying the context lets them go.
    std::unique_ptr<asio::io_context> io = std::make_unique<asio::io_context>();
    std::vector<std::unique_ptr<Projector>> projectors;
    std::unique_ptr<udp::socket> searchListener;
    udp::endpoint listenerFrom;
    char listenerBuffer[512];
    std::vector<std::thread> threads;
    mutable std::mutex mutex;  // the projectors' state and the log
    std::vector<PjlinkLogEntry> log;
    uint16_t port = 0;
    uint16_t searchPort = 0;
    std::atomic<uint64_t> accepted{0};
    std::atomic<uint64_t> idleClosed{0};
    std::atomic<size_t> open{0};
    std::atomic<size_t> peak{0};
    std::mt19937 random{std::random_device{}()};
};

std::string PjlinkFleet::Impl::Handle(Projector& p, const std::string& line) {
    std::lock_guard lock(mutex);
    log.push_back({p.config.address, line, std::chrono::steady_clock::now()});
    if (line.size() < 6 || line[0] != '%')
        return {};  // nothing to answer to
    const std::string head = line.substr(0, 6);
    const auto answer = [&head](const std::string& value) { return head + "=" + value; };
    if (line.size() < 8 || line[6] != ' ')
        return answer("ERR2");
    const int cls = line[1] - '0';
    const std::string name = line.substr(2, 4);
    const std::string param = line.substr(7);
    if (cls < 1 || cls > p.config.commandClass)
        return answer("ERR1");
    const bool query = param == "?";
    const int power = PowerNow(p);
    const bool on = power == 1;
    auto& c = p.config;

    if (name == "POWR") {
        if (query)
            return answer(std::to_string(power));
        if (param != "0" && param != "1")
            return answer("ERR2");
        if (power == 2 || power == 3)
            return answer("ERR3");
        const int wanted = param == "1" ? 1 : 0;
        if (wanted != c.power) {
            c.power = wanted;
            p.transitionState = wanted == 1 ? 3 : 2;
            p.transitionEnd = std::chrono::steady_clock::now() + options.transition;
        }
        return answer("OK");
    }
    if (name == "INPT") {
        if (query)
            return on ? answer(c.input) : answer("ERR3");
        if (std::find(c.inputs.begin(), c.inputs.end(), param) == c.inputs.end())
            return answer("ERR2");
        if (!on)
            return answer("ERR3");
        c.input = param;
        return answer("OK");
    }
    if (name == "AVMT") {
        if (query) {
            if (!on)
                return answer("ERR3");
            if (c.videoMute && c.audioMute)
                return answer("31");
            return answer(c.videoMute ? "11" : c.audioMute ? "21" : "30");
        }
        if (param.size() != 2 || param[0] < '1' || param[0] > '3' ||
            (param[1] != '0' && param[1] != '1'))
            return answer("ERR2");
        if (!on)
            return answer("ERR3");
        const bool mute = param[1] == '1';
        if (param[0] != '2')
            c.videoMute = mute;
        if (param[0] != '1')
            c.audioMute = mute;
        return answer("OK");
    }
    if (name == "ERST" && query)
        return answer(c.errors);
    if (name == "LAMP" && query)
        return answer(std::to_string(c.lampHours) + (on ? " 1" : " 0"));
    if (name == "INST" && query) {
        std::string list;
        for (const auto& input : c.inputs)
            list += (list.empty() ? "" : " ") + input;
        return answer(list);
    }
    if (name == "NAME" && query)
        return answer(c.name);
    if (name == "INF1" && query)
        return answer(c.maker);
    if (name == "INF2" && query)
        return answer(c.model);
    if (name == "INFO" && query)
        return answer("simulated");
    if (name == "CLSS" && query)
        return answer(std::to_string(c.commandClass));
    if (cls == 2) {
        if (name == "SNUM" && query)
            return answer(c.serial);
        if (name == "SVER" && query)
            return answer(c.software);
        if (name == "FILT" && query)
            return answer(std::to_string(c.filterHours));
        if (name == "INNM" && param.size() == 3 && param[0] == '?') {
            const auto at = std::find(c.inputs.begin(), c.inputs.end(), param.substr(1));
            if (at == c.inputs.end())
                return answer("ERR2");
            const size_t i = static_cast<size_t>(at - c.inputs.begin());
            return answer(i < c.inputNames.size() ? c.inputNames[i] : "");
        }
        if (name == "FREZ") {
            if (query)
                return on ? answer(c.freeze ? "1" : "0") : answer("ERR3");
            if (param != "0" && param != "1")
                return answer("ERR2");
            if (!on)
                return answer("ERR3");
            c.freeze = param == "1";
            return answer("OK");
        }
        if (name == "SVOL" || name == "MVOL") {
            if (param != "0" && param != "1")
                return answer("ERR2");
            return on ? answer("OK") : answer("ERR3");
        }
        if ((name == "IRES" || name == "RRES") && query)
            return on ? answer("1920x1080") : answer("ERR3");
    }
    // A command it knows with a parameter it does not: ERR2; anything else: ERR1.
    static const std::set<std::string> kKnown = {"ERST", "LAMP", "INST", "NAME", "INF1",
                                                 "INF2", "INFO", "CLSS", "SNUM", "SVER",
                                                 "FILT", "IRES", "RRES"};
    return answer(kKnown.count(name) != 0 ? "ERR2" : "ERR1");
}

namespace {

// One TCP connection to one simulated projector.
class PjlinkConnection : public std::enable_shared_from_this<PjlinkConnection> {
  public:
    using Impl = PjlinkFleet::Impl;
    PjlinkConnection(std::shared_ptr<Impl> fleet, Impl::Projector& p, tcp::socket socket)
        : fleet_(std::move(fleet)),
          projector_(p),
          socket_(std::move(socket)),
          timer_(socket_.get_executor()),
          buffer_(kLineLimit) {}

    void Start() {
        std::string greeting = "PJLINK 0\r";
        {
            std::lock_guard lock(fleet_->mutex);
            if (!projector_.config.password.empty()) {
                char random[9];
                std::snprintf(random, sizeof random, "%08x",
                              static_cast<unsigned>(fleet_->random()));
                random_ = random;
                greeting = "PJLINK 1 " + random_ + "\r";
            }
        }
        Write(greeting, false);
    }

  private:
    void Write(std::string text, bool closeAfter) {
        auto data = std::make_shared<std::string>(std::move(text));
        asio::async_write(
            socket_, asio::buffer(*data),
            [self = shared_from_this(), data, closeAfter](const asio::error_code& ec, size_t) {
                if (ec || closeAfter)
                    return self->Close();
                self->Read();
            });
    }

    void Read() {
        timer_.expires_after(fleet_->options.idleClose);
        timer_.async_wait([self = shared_from_this()](const asio::error_code& ec) {
            if (ec)
                return;
            self->fleet_->idleClosed.fetch_add(1);
            self->Close();
        });
        asio::async_read_until(
            socket_, buffer_, '\r',
            [self = shared_from_this()](const asio::error_code& ec, size_t length) {
                self->timer_.cancel();
                if (ec)
                    return self->Close();
                std::string line(asio::buffers_begin(self->buffer_.data()),
                                 asio::buffers_begin(self->buffer_.data()) + length - 1);
                self->buffer_.consume(length);
                self->OnLine(std::move(line));
            });
    }

    void OnLine(std::string line) {
        if (!random_.empty()) {
            // The first command of an authenticated connection carries the digest.
            std::string password;
            {
                std::lock_guard lock(fleet_->mutex);
                password = projector_.config.password;
            }
            const std::string digest = line.substr(0, 32);
            if (line.size() < 32 || !IsHex(digest) || digest != pjlink::Md5Hex(random_ + password))
                return Write("PJLINK ERRA\r", true);
            line.erase(0, 32);
            random_.clear();
        }
        const std::string reply = fleet_->Handle(projector_, line);
        if (reply.empty())
            return Read();
        Write(reply + "\r", false);
    }

    void Close() {
        // Uncounted before the socket closes, so a client that sees the close sees the count
        // already lowered.
        if (!closed_.exchange(true))
            fleet_->open.fetch_sub(1);
        asio::error_code ignored;
        timer_.cancel();
        socket_.close(ignored);
    }

    std::shared_ptr<Impl> fleet_;
    Impl::Projector& projector_;
    tcp::socket socket_;
    asio::steady_timer timer_;
    asio::streambuf buffer_;
    std::string random_;
    std::atomic<bool> closed_{false};
};

}  // namespace

void PjlinkFleet::Impl::Accept(Projector& p) {
    p.acceptor->async_accept(
        [self = shared_from_this(), &p](const asio::error_code& ec, tcp::socket socket) {
            if (ec == asio::error::operation_aborted || !p.acceptor->is_open())
                return;
            if (!ec) {
                self->accepted.fetch_add(1);
                // Counted from here until the projector closes it: the count a projector
                // that accepts few connections would keep.
                const size_t now = self->open.fetch_add(1) + 1;
                size_t peak = self->peak.load();
                while (now > peak && !self->peak.compare_exchange_weak(peak, now)) {
                }
                std::make_shared<PjlinkConnection>(self, p, std::move(socket))->Start();
            }
            self->Accept(p);
        });
}

void PjlinkFleet::Impl::AnswerSearch(const udp::endpoint& to) {
    for (auto& p : projectors) {
        if (p->config.commandClass < 2 || !p->search)
            continue;
        auto text = std::make_shared<std::string>("%2ACKN=" + MacWithColons(p->config.mac) + "\r");
        p->search->async_send_to(asio::buffer(*text), to,
                                 [text](const asio::error_code&, size_t) {});
    }
}

void PjlinkFleet::Impl::ReceiveSearch(udp::socket& socket, udp::endpoint& from, char* buffer,
                                      Projector* own) {
    socket.async_receive_from(asio::buffer(buffer, 512), from,
                              [self = shared_from_this(), &socket, &from, buffer, own](
                                  const asio::error_code& ec, size_t n) {
                                  if (ec == asio::error::operation_aborted || !socket.is_open())
                                      return;
                                  if (!ec && std::string(buffer, n) == "%2SRCH\r") {
                                      if (own == nullptr) {
                                          self->AnswerSearch(from);
                                      } else if (own->config.commandClass >= 2) {
                                          auto text = std::make_shared<std::string>(
                                              "%2ACKN=" + MacWithColons(own->config.mac) + "\r");
                                          socket.async_send_to(
                                              asio::buffer(*text), from,
                                              [text](const asio::error_code&, size_t) {});
                                      }
                                  }
                                  self->ReceiveSearch(socket, from, buffer, own);
                              });
}

PjlinkFleet::PjlinkFleet(PjlinkFleetOptions options)
    : impl_(std::make_shared<Impl>(std::move(options))) {}

PjlinkFleet::~PjlinkFleet() {
    Stop();
}

bool PjlinkFleet::Start(std::string* error) {
    Impl& f = *impl_;
    if (!f.io)
        f.io = std::make_unique<asio::io_context>();
    asio::error_code ec;
    const auto fail = [&](const std::string& what) {
        if (error != nullptr)
            *error = what + ": " + ec.message();
        Stop();
        return false;
    };
    f.port = f.options.port;
    f.searchPort = f.options.searchPort;
    std::string listen = f.options.searchListenAddress;
    if (listen.empty()) {
        listen = !f.projectors.empty() && f.projectors[0]->config.address.rfind("127.", 0) == 0
                     ? "127.255.255.255"
                     : "0.0.0.0";
    }
    f.searchListener = std::make_unique<udp::socket>(*f.io);
    f.searchListener->open(udp::v4(), ec);
    f.searchListener->set_option(asio::socket_base::reuse_address(true), ec);
    f.searchListener->bind({asio::ip::make_address_v4(listen, ec), f.searchPort}, ec);
    if (ec)
        return fail("PJLink search on " + listen);
    f.searchPort = f.searchListener->local_endpoint().port();
    for (auto& p : f.projectors) {
        const auto address = asio::ip::make_address_v4(p->config.address, ec);
        if (ec)
            return fail("PJLink projector address " + p->config.address);
        p->acceptor = std::make_unique<tcp::acceptor>(*f.io);
        p->acceptor->open(tcp::v4(), ec);
        p->acceptor->set_option(asio::socket_base::reuse_address(true), ec);
        p->acceptor->bind({address, f.port}, ec);
        if (!ec)
            p->acceptor->listen(asio::socket_base::max_listen_connections, ec);
        if (ec)
            return fail("PJLink on " + p->config.address);
        f.port = p->acceptor->local_endpoint().port();
        p->search = std::make_unique<udp::socket>(*f.io);
        p->search->open(udp::v4(), ec);
        p->search->set_option(asio::socket_base::reuse_address(true), ec);
        p->search->set_option(asio::socket_base::broadcast(true), ec);
        p->search->bind({address, f.searchPort}, ec);
        if (ec)
            return fail("PJLink search on " + p->config.address);
    }
    for (auto& p : f.projectors) {
        f.Accept(*p);
        f.ReceiveSearch(*p->search, p->searchFrom, p->searchBuffer, p.get());
    }
    f.ReceiveSearch(*f.searchListener, f.listenerFrom, f.listenerBuffer, nullptr);
    for (int i = 0; i < std::max(1, f.options.threads); ++i)
        f.threads.emplace_back([io = f.io.get()] { io->run(); });
    return true;
}

void PjlinkFleet::Stop() {
    Impl& f = *impl_;
    if (!f.io)
        return;
    f.io->stop();
    for (auto& t : f.threads)
        t.join();
    f.threads.clear();
    // No thread runs now: drop the sockets, then the context with the connections and
    // handlers still waiting in it.
    for (auto& p : f.projectors) {
        p->acceptor.reset();
        p->search.reset();
    }
    f.searchListener.reset();
    f.io.reset();
}

size_t PjlinkFleet::Size() const {
    return impl_->projectors.size();
}
uint16_t PjlinkFleet::Port() const {
    return impl_->port;
}
uint16_t PjlinkFleet::SearchPort() const {
    return impl_->searchPort;
}
std::string PjlinkFleet::Address(size_t index) const {
    return impl_->projectors.at(index)->config.address;
}

PjlinkProjectorConfig PjlinkFleet::Config(size_t index) const {
    std::lock_guard lock(impl_->mutex);
    auto& p = *impl_->projectors.at(index);
    PjlinkProjectorConfig config = p.config;
    config.power = impl_->PowerNow(p);
    return config;
}

void PjlinkFleet::SetPower(size_t index, int power) {
    std::lock_guard lock(impl_->mutex);
    auto& p = *impl_->projectors.at(index);
    p.config.power = power;
    p.transitionState = 0;
}

size_t PjlinkFleet::OpenConnections() const {
    return impl_->open.load();
}

size_t PjlinkFleet::PeakConnections() const {
    return impl_->peak.load();
}

void PjlinkFleet::ResetPeak() {
    impl_->peak.store(impl_->open.load());
}

uint64_t PjlinkFleet::Accepted() const {
    return impl_->accepted.load();
}
uint64_t PjlinkFleet::IdleClosed() const {
    return impl_->idleClosed.load();
}

std::vector<PjlinkLogEntry> PjlinkFleet::Log() const {
    std::lock_guard lock(impl_->mutex);
    return impl_->log;
}

void PjlinkFleet::ClearLog() {
    std::lock_guard lock(impl_->mutex);
    impl_->log.clear();
}

bool PjlinkFleet::SendLinkUp(size_t index, const std::string& host, uint16_t port) {
    auto& p = *impl_->projectors.at(index);
    if (!p.search)
        return false;
    asio::error_code ec;
    const auto address = asio::ip::make_address_v4(host, ec);
    if (ec)
        return false;
    const std::string text = "%2LKUP=" + MacWithColons(p.config.mac) + "\r";
    p.search->send_to(asio::buffer(text), udp::endpoint(address, port), 0, ec);
    return !ec;
}

}  // namespace vistrel::sim
