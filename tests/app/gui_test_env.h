// Shared pieces of the GUI tests: one QApplication on the offscreen platform for the whole
// program, and a backend double that records what the window asks of it.
#pragma once

#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "app/console_backend.h"

namespace vistrel::test {

// Records every call in order; store values live in memory; discovery can be made to
// fail. The window under test runs against it exactly as against the real backend.
class RecordingBackend : public ConsoleBackend {
  public:
    std::vector<std::string> calls;
    std::vector<std::string> groups;
    std::map<std::string, uint32_t> appValues;
    std::map<std::string, uint32_t> projectorValues;  // "mac/name"
    bool discoveryFails = false;
    int schedulesRun = 0;
    int cycles = 0;
    int watchdogTicks = 0;

    std::vector<std::string> LoadGroupNames() override;
    uint32_t GetAppDword(const std::string& name, uint32_t fallback) override;
    bool SetAppDword(const std::string& name, uint32_t value) override;
    uint32_t GetProjectorDword(const std::string& mac, const std::string& name,
                               uint32_t fallback) override;
    bool SetProjectorDword(const std::string& mac, const std::string& name,
                           uint32_t value) override;
    DiscoveryStatus OpenDiscovery() override;
    bool HandleAnswer() override { return false; }
    void Broadcast() override { calls.push_back("Broadcast"); }
    void DiscoveryCycle() override { ++cycles; }
    void RequestRelocationProbe(std::weak_ptr<RelocationWindow>) override {
        calls.push_back("RelocationProbe");
    }
    void StartPolling() override { calls.push_back("StartPolling"); }
    void PausePolling(bool paused) override {
        calls.push_back(paused ? "PausePolling" : "ResumePolling");
    }
    bool StopPolling(std::chrono::milliseconds) override {
        calls.push_back("StopPolling");
        return true;
    }
    void StartRequestWorker() override { calls.push_back("StartRequestWorker"); }
    void WatchdogTick() override { ++watchdogTicks; }
    bool StopRequestWorker(std::chrono::milliseconds) override {
        calls.push_back("StopRequestWorker");
        return true;
    }
    void RunSchedules() override { ++schedulesRun; }
};

// A record as discovery and polling would leave it.
Info MakeInfo(const std::string& mac, uint32_t freshness, const std::string& group = {});

}  // namespace vistrel::test
