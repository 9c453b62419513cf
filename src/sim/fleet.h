// A fleet of simulated projectors in one process: each projector answers discovery
// probes from its own address and serves web control on its own address, all on one shared
// pair of port numbers, with a fixed number of I/O threads for the whole fleet.
//
// Typical test use:
//   auto options = vistrel::sim::GenerateFleet(10, /*seed=*/7, "127.0.5.2");
//   options.discoveryPort = 0;  // choose free ports
//   options.httpPort = 0;
//   vistrel::sim::Fleet fleet(std::move(options));
//   ASSERT_TRUE(fleet.Start());
//   ... talk to fleet.Address(i) on fleet.HttpPort() / fleet.DiscoveryPort() ...
//   fleet.SetFaults(3, {.hang = true});
//   fleet.Log().Entries();
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "sim/fleet_options.h"
#include "sim/projector_state.h"
#include "sim/request_log.h"

namespace vistrel::sim {

class Fleet {
  public:
    explicit Fleet(FleetOptions options);
    ~Fleet();
    Fleet(const Fleet&) = delete;
    Fleet& operator=(const Fleet&) = delete;

    // Binds every socket and starts the I/O threads. False (with `error`) when a socket
    // cannot be bound; nothing is left running then. A fleet starts once.
    bool Start(std::string* error = nullptr);
    // Closes every socket and connection and joins the threads. Safe to call twice. State,
    // faults and the log stay readable.
    void Stop();
    bool Running() const;

    size_t Size() const;
    // The ports in use (the chosen ones when 0 was asked for); 0 before Start.
    uint16_t DiscoveryPort() const;
    uint16_t HttpPort() const;
    // I/O threads serving the fleet (the fleet starts no others).
    int ThreadCount() const;

    std::string Address(size_t index) const;  // current address (changes on relocation)
    std::string Mac(size_t index) const;
    std::optional<size_t> FindByAddress(const std::string& address) const;
    std::optional<size_t> FindByMac(const std::string& mac) const;

    ProjectorState State(size_t index) const;
    void SetState(size_t index, const ProjectorState& state);
    void UpdateState(size_t index, const std::function<void(ProjectorState&)>& change);
    Faults GetFaults(size_t index) const;
    // Takes effect for the next request; "gone" closes or reopens the projector's sockets.
    void SetFaults(size_t index, const Faults& faults);
    ProjectorConfig Config(size_t index) const;

    RequestLog& Log();
    const RequestLog& Log() const;
    // Totals of the log plus the fleet's shape, for the end of a run.
    std::string Summary() const;

  private:
    struct Projector;
    struct Io;
    struct Sender;
    class HttpSession;
    class BroadcastAnswers;
    friend class HttpSession;
    friend class BroadcastAnswers;

    bool OpenSockets(Projector& p, std::string* error);
    void CloseSockets(Projector& p);
    void StartAccept(Projector& p);
    void StartReceive(Projector& p);
    void StartBroadcastReceive();
    void HandleDatagram(Projector* target, const std::string& text, const Sender& sender);
    void AnswerProbe(Projector& p, const Sender& sender);
    void Relocate(Projector& p, const std::string& address);
    bool BindAll(std::string* error);
    void ReleaseIo();

    FleetOptions options_;
    std::vector<std::unique_ptr<Projector>> projectors_;
    std::unique_ptr<Io> io_;
    RequestLog log_;
    uint16_t discoveryPort_ = 0;
    uint16_t httpPort_ = 0;
    bool started_ = false;
    bool running_ = false;
};

}  // namespace vistrel::sim
