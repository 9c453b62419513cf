// Hosts that are not projectors but talk to the console anyway: one that answers discovery
// with malformed and duplicate identities, and one web server whose replies never end.
#pragma once

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace vistrel::soak {

// Sends a round of bad discovery answers, one every `periodMs`, from two addresses to the
// console's discovery socket. Unsolicited answers reach the console exactly as answers to
// its probe do.
class RogueDiscovery {
  public:
    // Identities it announces that a poller will try: one duplicated across both addresses,
    // one served by the oversized web server on the second address.
    static constexpr const char* kDuplicateMac = "D0D0D0D0D0D0";
    static constexpr const char* kOversizedMac = "B16B16B16B16";

    RogueDiscovery(std::string firstAddress, std::string secondAddress, std::string target,
                   uint16_t targetPort, std::string impersonatedMac, int periodMs);
    ~RogueDiscovery();
    bool Start(std::string* error);
    void Stop();
    uint64_t Sent() const { return sent_.load(); }
    // Every datagram of one round, in order.
    std::vector<std::string> Datagrams() const;

  private:
    void Run(int first, int second);

    std::string firstAddress_, secondAddress_, target_;
    uint16_t targetPort_;
    std::string impersonatedMac_;
    int periodMs_;
    std::atomic<bool> stop_{false};
    std::atomic<uint64_t> sent_{0};
    std::thread thread_;
};

// A web server on one address whose every reply is far larger than any projector's: half
// of the time a declared length of 300 kB, half of the time an undeclared stream of 2 MB.
class OversizedWebServer {
  public:
    OversizedWebServer(std::string address, uint16_t port);
    ~OversizedWebServer();
    bool Start(std::string* error);
    void Stop();
    uint64_t Connections() const { return connections_.load(); }

  private:
    void Run(int listener);
    void Serve(int connection, bool declared);

    std::string address_;
    uint16_t port_;
    std::atomic<bool> stop_{false};
    std::atomic<uint64_t> connections_{0};
    std::thread thread_;
};

}  // namespace vistrel::soak
