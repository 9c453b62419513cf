// The whole console against the in-process simulated fleet on 127.0.4.x: the list fills
// from discovery and polling, a projector that falls silent leaves it, and closing with a
// hung projector ends within the grace.
#include <gtest/gtest.h>

#include <QApplication>
#include <QTemporaryDir>
#include <QTest>
#include <chrono>
#include <set>

#include "app/console_session.h"
#include "app/gui_test_env.h"
#include "app/projector_list_model.h"
#include "controls/grp_list.h"
#include "controls/my_button.h"
#include "sim/fleet.h"

namespace vistrel::test {
namespace {

using namespace std::chrono_literals;

SessionOptions DemoSession(const QTemporaryDir& dir, size_t count) {
    SessionOptions options;
    options.appName = "vistrel-gui-test";
    options.storeFile = (dir.path() + "/registry.reg").toStdString();
    DemoOptions demo;
    demo.count = count;
    demo.firstAddress = "127.0.4.2";
    demo.consoleAddress = "127.0.4.1";
    demo.silentAfter = 0ms;
    options.demo = demo;
    return options;
}

bool AllPolled(const ProjectorListModel& model, int rows) {
    if (model.RowCount() != rows)
        return false;
    for (int r = 0; r < rows; ++r) {
        if (model.Cell(r, ProjectorListModel::kPower).empty() ||
            model.Cell(r, ProjectorListModel::kProjectorName).empty()) {
            return false;
        }
    }
    return true;
}

TEST(DemoRun, TheFleetShowsUpInTheListAndASilentProjectorLeavesIt) {
    QTemporaryDir dir;
    SessionOptions options = DemoSession(dir, 8);
    // A short discovery cycle, so a silent projector ages out within the test.
    RegStore(options.storeFile, options.appName).SetAppDword("Interval", 400);
    ConsoleSession session(options);
    std::string error;
    ASSERT_TRUE(session.Start(&error)) << error;
    CVistrelDlg& window = session.window();
    window.show();
    EXPECT_TRUE(window.DiscoveryOpen());
    EXPECT_EQ(session.console().profile.broadcastAddress, "127.255.255.255");
    // The demo's groups are in its own store and in the pane.
    EXPECT_GT(window.GroupList()->count(), 0);

    const ProjectorListModel& model = *window.Model();
    QTRY_VERIFY_WITH_TIMEOUT(AllPolled(model, 8), 20000);
    std::set<std::string> macs;
    for (int r = 0; r < model.RowCount(); ++r) {
        macs.insert(model.Cell(r, ProjectorListModel::kMac));
        EXPECT_EQ(model.Cell(r, ProjectorListModel::kIp).rfind("127.0.4.", 0), 0u);
        const size_t index = *session.demo()->fleet().FindByMac(model.Cell(r, 0));
        EXPECT_EQ(model.Cell(r, ProjectorListModel::kProjectorName),
                  session.demo()->fleet().State(index).name);
    }
    EXPECT_EQ(macs.size(), 8u);
    EXPECT_TRUE(window.Button(kCmdCheckAllButton)->isEnabled());
    // The console opens a projector's settings and a group's.
    EXPECT_TRUE(session.projectorCommands().ProjectorSettingsAvailable());
    EXPECT_TRUE(session.projectorCommands().GroupSettingsAvailable());

    session.demo()->SilenceOne();
    const std::string silent = session.demo()->fleet().Mac(7);
    QTRY_VERIFY_WITH_TIMEOUT(model.FindRow(silent) < 0, 15000);
    EXPECT_EQ(model.RowCount(), 7);
}

TEST(DemoRun, ClosingWithAHungProjectorEndsWithinTheGrace) {
    QTemporaryDir dir;
    SessionOptions options = DemoSession(dir, 3);
    options.backend.ring.shutdownGrace = 1500ms;
    options.backend.poller.http.totalTimeoutMs = 60000;  // only cancellation can end it
    ConsoleSession session(options);
    std::string error;
    ASSERT_TRUE(session.Start(&error)) << error;
    sim::Fleet& fleet = session.demo()->fleet();
    sim::Faults hang;
    hang.hang = true;
    fleet.SetFaults(0, hang);
    session.window().show();
    // Wait until the hung projector is being polled, and give the worker a send to it too.
    QTRY_VERIFY_WITH_TIMEOUT(session.window().Model()->RowCount() == 3, 20000);
    session.backend().ring().Enqueue("query=info", {}, fleet.Address(0));
    QTest::qWait(1500);

    const auto start = std::chrono::steady_clock::now();
    session.window().close();
    const auto took = std::chrono::steady_clock::now() - start;
    EXPECT_FALSE(session.backend().poller().Running());
    // Polling stops at once by cancelling; the worker gets its grace, then is cancelled.
    EXPECT_LT(took, 1500ms + 2s) << std::chrono::duration<double>(took).count() << " s";
}

}  // namespace
}  // namespace vistrel::test
