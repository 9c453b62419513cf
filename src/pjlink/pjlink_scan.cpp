#include "pjlink/pjlink_scan.h"

#include <asio.hpp>
#include <charconv>
#include <memory>

#include "protocol/host_address.h"

namespace vistrel::pjlink {

namespace {

std::optional<uint32_t> ParseQuad(std::string_view text) {
    asio::error_code ec;
    const auto address = asio::ip::make_address_v4(std::string(text), ec);
    if (ec)
        return std::nullopt;
    return address.to_uint();
}

std::string QuadText(uint32_t value) {
    return std::to_string(value >> 24) + "." + std::to_string((value >> 16) & 0xFF) + "." +
           std::to_string((value >> 8) & 0xFF) + "." + std::to_string(value & 0xFF);
}

// One address being tried: the connection, its timer and what it read.
struct Attempt : std::enable_shared_from_this<Attempt> {
    Attempt(asio::io_context& io, size_t index) : socket(io), timer(io), index(index) {}

    asio::ip::tcp::socket socket;
    asio::steady_timer timer;
    size_t index;
    std::string greeting;
    bool finished = false;
};

class Scanner {
  public:
    Scanner(const std::vector<std::string>& ips, const ScanOptions& options)
        : ips_(ips), options_(options), found_(ips.size()) {}

    std::vector<ScanHit> Run() {
        const size_t first = std::min(std::max<size_t>(options_.concurrency, 1), ips_.size());
        for (size_t i = 0; i < first; ++i)
            StartNext();
        io_.run();
        std::vector<ScanHit> hits;
        for (auto& hit : found_) {
            if (hit)
                hits.push_back(std::move(*hit));
        }
        return hits;
    }

  private:
    void StartNext() {
        if (next_ >= ips_.size() || (options_.stop && options_.stop->load()))
            return;
        const size_t index = next_++;
        asio::error_code ec;
        const auto address = asio::ip::make_address_v4(ips_[index], ec);
        if (ec || !IsUsableHostAddress(ips_[index])) {
            asio::post(io_, [this] { StartNext(); });
            return;
        }
        auto attempt = std::make_shared<Attempt>(io_, index);
        attempt->timer.expires_after(options_.connectTimeout);
        attempt->timer.async_wait([attempt](const asio::error_code& e) {
            if (!e)
                attempt->socket.close();  // cancels the connect or the read
        });
        attempt->socket.async_connect(
            asio::ip::tcp::endpoint(address, options_.port),
            [this, attempt](const asio::error_code& e) {
                if (e) {
                    Finish(*attempt);
                    return;
                }
                attempt->timer.expires_after(options_.greetingTimeout);
                attempt->timer.async_wait([attempt](const asio::error_code& te) {
                    if (!te)
                        attempt->socket.close();
                });
                Read(attempt);
            });
    }

    void Read(const std::shared_ptr<Attempt>& attempt) {
        auto buffer = std::make_shared<std::array<char, 64>>();
        attempt->socket.async_read_some(
            asio::buffer(*buffer), [this, attempt, buffer](const asio::error_code& e, size_t n) {
                attempt->greeting.append(buffer->data(), n);
                const size_t cr = attempt->greeting.find('\r');
                if (cr != std::string::npos) {
                    const Greeting greeting = ParseGreeting(attempt->greeting.substr(0, cr));
                    if (greeting.kind == Greeting::Kind::Open ||
                        greeting.kind == Greeting::Kind::Authenticate) {
                        found_[attempt->index] = ScanHit{
                            ips_[attempt->index], greeting.kind == Greeting::Kind::Authenticate};
                    }
                    Finish(*attempt);
                    return;
                }
                // A greeting is one short line: anything longer is not a projector.
                if (e || attempt->greeting.size() > kMaxLine) {
                    Finish(*attempt);
                    return;
                }
                Read(attempt);
            });
    }

    void Finish(Attempt& attempt) {
        if (attempt.finished)
            return;
        attempt.finished = true;
        asio::error_code ignored;
        attempt.timer.cancel();
        attempt.socket.close(ignored);
        StartNext();
    }

    const std::vector<std::string>& ips_;
    const ScanOptions& options_;
    asio::io_context io_{1};
    size_t next_ = 0;
    std::vector<std::optional<ScanHit>> found_;
};

}  // namespace

std::optional<std::vector<std::string>> SubnetHosts(std::string_view cidr, std::string& why) {
    const size_t slash = cidr.find('/');
    const std::string_view addressText = cidr.substr(0, slash);
    int prefix = 32;
    if (slash != std::string_view::npos) {
        const std::string_view prefixText = cidr.substr(slash + 1);
        const auto [end, ec] =
            std::from_chars(prefixText.data(), prefixText.data() + prefixText.size(), prefix);
        if (ec != std::errc() || end != prefixText.data() + prefixText.size() || prefix < 0 ||
            prefix > 32 || prefixText.empty()) {
            why = "\"" + std::string(cidr) + "\" is not a subnet such as 10.1.2.0/24";
            return std::nullopt;
        }
    }
    const auto address = ParseQuad(addressText);
    if (!address) {
        why = "\"" + std::string(cidr) + "\" is not a subnet such as 10.1.2.0/24";
        return std::nullopt;
    }
    if (prefix < kWidestScanPrefix) {
        why = "/" + std::to_string(prefix) + " is too wide to scan (" +
              std::to_string(uint64_t{1} << (32 - prefix)) +
              " addresses); scan at most a /16 at a time";
        return std::nullopt;
    }
    const uint32_t mask = prefix == 0 ? 0 : ~uint32_t{0} << (32 - prefix);
    const uint32_t network = *address & mask;
    const uint32_t last = network | ~mask;
    uint32_t from = network, to = last;
    if (prefix < 31) {
        ++from;  // the network's own address
        --to;    // its broadcast address
    }
    std::vector<std::string> hosts;
    hosts.reserve(to - from + 1);
    for (uint64_t at = from; at <= to; ++at) {
        std::string text = QuadText(static_cast<uint32_t>(at));
        if (IsUsableHostAddress(text))
            hosts.push_back(std::move(text));
    }
    if (hosts.empty()) {
        why = "\"" + std::string(cidr) + "\" holds no address a projector may have";
        return std::nullopt;
    }
    return hosts;
}

std::vector<ScanHit> Scan(const std::vector<std::string>& ips, const ScanOptions& options) {
    if (ips.empty())
        return {};
    Scanner scanner(ips, options);
    return scanner.Run();
}

}  // namespace vistrel::pjlink
