// Prints figures for the HTTP transport on loopback: how long a Send takes to return after
// Cancel() from another thread, how closely the total time limit is kept, and the cost of
// one ordinary exchange. Usage: bench_http_transport [rounds]
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <thread>
#include <vector>

#include "protocol/http_request.h"

namespace {

using SteadyClock = std::chrono::steady_clock;
using vistrel::CancelToken;
using vistrel::CXHttpRequest;
using vistrel::HttpOptions;

constexpr const char* kAddress = "127.0.1.20";

// A loopback listener whose thread either answers every request or holds every
// connection open without a byte of answer.
class Peer {
  public:
    explicit Peer(bool answer) : answer_(answer) {
        fd_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        inet_pton(AF_INET, kAddress, &addr.sin_addr);
        if (fd_ < 0 || bind(fd_, reinterpret_cast<sockaddr*>(&addr), sizeof(addr)) != 0 ||
            listen(fd_, 128) != 0) {
            std::perror("listen");
            std::exit(1);
        }
        socklen_t len = sizeof(addr);
        getsockname(fd_, reinterpret_cast<sockaddr*>(&addr), &len);
        port_ = ntohs(addr.sin_port);
        thread_ = std::thread(&Peer::Run, this);
    }
    ~Peer() {
        stop_ = true;
        thread_.join();
        for (int fd : held_) {
            close(fd);
        }
        close(fd_);
    }
    uint16_t Port() const { return port_; }

  private:
    void Run() {
        while (!stop_) {
            pollfd p{fd_, POLLIN, 0};
            if (poll(&p, 1, 50) <= 0) {
                continue;
            }
            const int fd = accept4(fd_, nullptr, nullptr, SOCK_CLOEXEC);
            if (fd < 0) {
                continue;
            }
            if (!answer_) {
                held_.push_back(fd);
                continue;
            }
            // The bench bodies are tiny: the request arrives whole in a read or two.
            std::string request;
            char chunk[2048];
            while (request.find("query=info") == std::string::npos) {
                const ssize_t n = recv(fd, chunk, sizeof(chunk), 0);
                if (n <= 0) {
                    break;
                }
                request.append(chunk, static_cast<size_t>(n));
            }
            static const std::string kReply =
                "HTTP/1.1 200 OK\r\nContent-Length: 29\r\nConnection: close\r\n\r\n"
                "<return>\n<info>OK1012305A1234";
            send(fd, kReply.data(), kReply.size(), MSG_NOSIGNAL);
            close(fd);
        }
    }

    bool answer_;
    int fd_ = -1;
    uint16_t port_ = 0;
    std::atomic<bool> stop_{false};
    std::thread thread_;
    std::vector<int> held_;
};

double Ms(SteadyClock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

void PrintFigures(const char* what, std::vector<double> ms) {
    std::sort(ms.begin(), ms.end());
    const auto at = [&](double q) { return ms[static_cast<size_t>(q * (ms.size() - 1))]; };
    std::printf("%-44s n=%zu  median %.3f ms  p90 %.3f ms  p99 %.3f ms  max %.3f ms\n", what,
                ms.size(), at(0.5), at(0.9), at(0.99), ms.back());
}

}  // namespace

int main(int argc, char** argv) {
    const int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 100;

    {
        Peer silent(false);
        HttpOptions options;
        options.port = silent.Port();
        options.totalTimeoutMs = 20000;
        std::vector<double> latencies;
        for (int i = 0; i < rounds; ++i) {
            auto token = std::make_shared<CancelToken>();
            CXHttpRequest request(kAddress, "query=info", options, token);
            SteadyClock::time_point cancelledAt;
            // 20 ms is ample on loopback for the request to be written and the wait to begin.
            std::thread canceller([&] {
                std::this_thread::sleep_for(std::chrono::milliseconds(20));
                cancelledAt = SteadyClock::now();
                token->Cancel();
            });
            std::string reply;
            request.Send("POST", reply);
            const auto returnedAt = SteadyClock::now();
            canceller.join();
            latencies.push_back(Ms(returnedAt - cancelledAt));
        }
        PrintFigures("Cancel() to Send returning:", latencies);

        std::vector<double> cutOff;
        options.totalTimeoutMs = 300;
        for (int i = 0; i < std::min(rounds, 10); ++i) {
            CXHttpRequest request(kAddress, "query=info", options);
            std::string reply;
            const auto start = SteadyClock::now();
            request.Send("POST", reply);
            cutOff.push_back(Ms(SteadyClock::now() - start));
        }
        PrintFigures("silent peer, 300 ms limit, Send returned after:", cutOff);
    }

    {
        Peer answering(true);
        HttpOptions options;
        options.port = answering.Port();
        std::vector<double> exchanges;
        int failures = 0;
        for (int i = 0; i < rounds * 5; ++i) {
            CXHttpRequest request(kAddress, "query=info", options);
            std::string reply;
            const auto start = SteadyClock::now();
            failures += request.Send("POST", reply) ? 0 : 1;
            exchanges.push_back(Ms(SteadyClock::now() - start));
        }
        PrintFigures("one exchange (fresh connection):", exchanges);
        std::printf("failed exchanges: %d\n", failures);
    }
    return 0;
}
