// Prints how fast one simulator process serves a fleet of 1,000 projectors on loopback:
// the time until all answers to one broadcast probe have arrived, and the time for one
// "query=info" to each projector (sequential, and from 8 client threads).
#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <chrono>
#include <cstdio>
#include <string>
#include <thread>
#include <vector>

#include "sim/fleet.h"

namespace {

using Clock = std::chrono::steady_clock;
constexpr size_t kProjectors = 1000;

double Ms(Clock::duration d) {
    return std::chrono::duration<double, std::milli>(d).count();
}

sockaddr_in Endpoint(const std::string& address, uint16_t port) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_port = htons(port);
    inet_pton(AF_INET, address.c_str(), &addr.sin_addr);
    return addr;
}

// One POST over a fresh connection; true when a reply body arrived.
bool Query(const std::string& address, uint16_t port) {
    int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in addr = Endpoint(address, port);
    bool ok = false;
    if (connect(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0) {
        std::string request =
            "POST /tgi/return.tgi HTTP/1.1\r\nContent-Type: application/x-www-form-urlencoded\r\n"
            "Content-Length: 10\r\n\r\nquery=info";
        send(fd, request.data(), request.size(), MSG_NOSIGNAL);
        std::string reply;
        char buf[1024];
        for (ssize_t n; (n = recv(fd, buf, sizeof buf, 0)) > 0;) {
            reply.append(buf, static_cast<size_t>(n));
        }
        ok = reply.find("<info>OK") != std::string::npos;
    }
    close(fd);
    return ok;
}

size_t CountDiscoveryAnswers(uint16_t port, Clock::duration* took) {
    int fd = socket(AF_INET, SOCK_DGRAM | SOCK_CLOEXEC, 0);
    int one = 1;
    int buffer = 4 << 20;
    setsockopt(fd, SOL_SOCKET, SO_BROADCAST, &one, sizeof one);
    setsockopt(fd, SOL_SOCKET, SO_RCVBUFFORCE, &buffer, sizeof buffer);
    sockaddr_in local = Endpoint("127.0.0.1", 0);
    bind(fd, reinterpret_cast<sockaddr*>(&local), sizeof local);
    sockaddr_in target = Endpoint("127.255.255.255", port);
    auto start = Clock::now();
    sendto(fd, "Hello 250#", 10, 0, reinterpret_cast<sockaddr*>(&target), sizeof target);
    size_t answers = 0;
    char buf[256];
    while (answers < kProjectors) {
        pollfd p{fd, POLLIN, 0};
        if (poll(&p, 1, 5000) <= 0) {
            break;
        }
        if (recv(fd, buf, sizeof buf, 0) > 0) {
            ++answers;
        }
    }
    *took = Clock::now() - start;
    close(fd);
    return answers;
}

}  // namespace

int main() {
    using namespace vistrel::sim;
    FleetOptions options = GenerateFleet(kProjectors, 1, "127.0.6.2");
    options.discoveryPort = 0;
    options.httpPort = 0;
    auto startAt = Clock::now();
    Fleet fleet(std::move(options));
    std::string error;
    if (!fleet.Start(&error)) {
        std::fprintf(stderr, "cannot start the fleet: %s\n", error.c_str());
        return 1;
    }
    std::printf("fleet of %zu projectors, %d I/O threads, started in %.1f ms\n", fleet.Size(),
                fleet.ThreadCount(), Ms(Clock::now() - startAt));

    for (int round = 0; round < 3; ++round) {
        Clock::duration took{};
        size_t answers = CountDiscoveryAnswers(fleet.DiscoveryPort(), &took);
        std::printf("discovery: %zu answers to one probe in %.1f ms (bursts of 100 per ms)\n",
                    answers, Ms(took));
    }

    auto start = Clock::now();
    size_t good = 0;
    for (size_t i = 0; i < kProjectors; ++i) {
        good += Query(fleet.Address(i), fleet.HttpPort()) ? 1 : 0;
    }
    std::printf("info queries, one client: %zu of %zu answered in %.1f ms\n", good, kProjectors,
                Ms(Clock::now() - start));

    std::atomic<size_t> next{0};
    std::atomic<size_t> parallelGood{0};
    start = Clock::now();
    std::vector<std::thread> clients;
    for (int t = 0; t < 8; ++t) {
        clients.emplace_back([&] {
            for (size_t i; (i = next++) < kProjectors;) {
                parallelGood += Query(fleet.Address(i), fleet.HttpPort()) ? 1 : 0;
            }
        });
    }
    for (auto& c : clients) {
        c.join();
    }
    std::printf("info queries, 8 clients: %zu of %zu answered in %.1f ms\n", parallelGood.load(),
                kProjectors, Ms(Clock::now() - start));
    fleet.Stop();
    return 0;
}
