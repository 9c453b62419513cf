#include "app/gui_test_env.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <memory>

#include "app/vistrel_app.h"

namespace vistrel::test {

namespace {

class QtEnvironment : public ::testing::Environment {
  public:
    void SetUp() override {
        qputenv("QT_QPA_PLATFORM", "offscreen");
        static int argc = 1;
        static char name[] = "gui_tests";
        static char* argv[] = {name, nullptr};
        app_ = std::make_unique<QApplication>(argc, argv);
        InitGuiResources();
    }
    void TearDown() override { app_.reset(); }

  private:
    std::unique_ptr<QApplication> app_;
};

[[maybe_unused]] const auto* const kEnvironment =
    ::testing::AddGlobalTestEnvironment(new QtEnvironment);

}  // namespace

std::vector<std::string> RecordingBackend::LoadGroupNames() {
    calls.push_back("LoadGroupNames");
    return groups;
}

uint32_t RecordingBackend::GetAppDword(const std::string& name, uint32_t fallback) {
    calls.push_back("GetAppDword " + name);
    auto it = appValues.find(name);
    return it == appValues.end() ? fallback : it->second;
}

bool RecordingBackend::SetAppDword(const std::string& name, uint32_t value) {
    appValues[name] = value;
    return true;
}

uint32_t RecordingBackend::GetProjectorDword(const std::string& mac, const std::string& name,
                                             uint32_t fallback) {
    auto it = projectorValues.find(mac + "/" + name);
    return it == projectorValues.end() ? fallback : it->second;
}

bool RecordingBackend::SetProjectorDword(const std::string& mac, const std::string& name,
                                         uint32_t value) {
    projectorValues[mac + "/" + name] = value;
    return true;
}

ConsoleBackend::DiscoveryStatus RecordingBackend::OpenDiscovery() {
    calls.push_back("OpenDiscovery");
    DiscoveryStatus status;
    status.open = !discoveryFails;
    if (discoveryFails) {
        status.reason = "port 250 needs privileges";
        status.remedy = "run with CAP_NET_BIND_SERVICE";
    }
    return status;
}

Info MakeInfo(const std::string& mac, uint32_t freshness, const std::string& group) {
    Info info(mac);
    info.ip = "127.0.4.9";
    info.freshness = freshness;
    info.groupName = group;
    info.power = "ON";
    return info;
}

}  // namespace vistrel::test
