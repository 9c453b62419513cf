// A "Projector Setting" dialog open on one simulated projector over loopback HTTP, for the
// tests of its Image, Display and Setting tabs: the widgets are driven, the simulator's
// request log and state are read back.
#pragma once

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QLineEdit>
#include <QTest>
#include <QToolButton>
#include <algorithm>
#include <memory>
#include <string>
#include <vector>

#include "app/command_test_support.h"
#include "protocol/codec.h"
#include "protocol/console.h"
#include "protocol/request_ring.h"
#include "settings/common/settings_page.h"
#include "settings/projector/prj_set_dlg.h"
#include "sim/fleet.h"
#include "sim/web_control.h"

namespace vistrel::test {

// An owner whose reply marks the point up to which every earlier reply has been handled.
class Barrier : public ReplySink {
  public:
    explicit Barrier(std::shared_ptr<bool> done) : done_(std::move(done)) {}
    void Post(uint32_t, uintptr_t, intptr_t) override {
        QMetaObject::invokeMethod(
            qApp, [done = done_] { *done = true; }, Qt::QueuedConnection);
    }

  private:
    std::shared_ptr<bool> done_;
};

class TabPageTest : public ::testing::Test {
  protected:
    static constexpr int kWaitMs = 8000;

    // The projector every test starts from: on, model "6", HDMI, no mute, 3D off.
    static sim::ProjectorState StartState() {
        sim::ProjectorState s = sim::GenerateFleet(1, 11, "127.0.4.210").projectors[0].state;
        s.power = sim::kPowerOn;
        s.model = "6";
        s.source = 5;
        s.displayMode = 1;
        s.control.avMute = 0;
        s.control.threeD = 0;
        return s;
    }

    // Starts the simulated projector with `state` (as it will be at start-up, so "Reset all"
    // returns to it).
    void StartFleet(const sim::ProjectorState& state) {
        sim::FleetOptions options = sim::GenerateFleet(1, 11, "127.0.4.210");
        options.discoveryPort = 0;
        options.httpPort = 0;
        options.projectors[0].state = state;
        fleet = std::make_unique<sim::Fleet>(std::move(options));
        std::string error;
        ASSERT_TRUE(fleet->Start(&error)) << error;

        NetworkProfile profile;
        profile.httpPort = fleet->HttpPort();
        console = std::make_unique<Console>(profile);
        console->targetIps = {fleet->Address(0)};
        RequestRingOptions ringOptions;
        ringOptions.pause = std::chrono::milliseconds(10);
        ringOptions.shutdownGrace = std::chrono::milliseconds(1000);
        ring = std::make_unique<RequestRing>(*console, ringOptions);
        ring->StartRequestWorker();
    }

    void TearDown() override {
        dialog.reset();
        ring.reset();
        if (fleet)
            fleet->Stop();
    }

    // Opens the dialog on `tab` and waits until every opening query has been answered.
    void Open(int tab) {
        dialog = std::make_unique<CPrjSetDlg>(nullptr, *console, *ring, store, fleet->Address(0),
                                              "", "");
        dialog->show();
        dialog->Tabs()->setCurrentIndex(tab);
        ASSERT_TRUE(WaitForReady());
        ASSERT_TRUE(IsControlReply(dialog->controlText()));
    }

    // Starts the projector with `state` and opens the dialog on `tab`.
    void OpenWith(const sim::ProjectorState& state, int tab) {
        StartFleet(state);
        if (HasFatalFailure())
            return;
        Open(tab);
    }

    // Every request queued so far answered and its reply handled: a request of our own is
    // queued behind them, and the ring answers in order and the replies reach their owners
    // in the order they were posted.
    bool WaitForReady() {
        auto done = std::make_shared<bool>(false);
        auto sink = std::make_shared<Barrier>(done);
        ring->Enqueue(std::string(kQueryInfoBody), sink, fleet->Address(0));
        return QTest::qWaitFor([&] { return *done; }, kWaitMs);
    }

    // Asks for a fresh control reply and waits until the pages have it.
    bool Refresh() {
        dialog->QueryControl();
        return WaitForReady() && dialog->controlText() == sim::ControlReply(State());
    }

    CSettingsPage* Page(int tab) const { return dialog->TabPage(tab); }

    template <typename T>
    T* Ctl(int tab, int id) const {
        T* widget = Page(tab)->template findChild<T*>(ControlName(id));
        EXPECT_NE(widget, nullptr) << id;
        return widget;
    }

    bool AllEnabled(int tab, const std::vector<int>& ids) const {
        return std::all_of(ids.begin(), ids.end(),
                           [&](int id) { return Ctl<QWidget>(tab, id)->isEnabled(); });
    }
    bool NoneEnabled(int tab, const std::vector<int>& ids) const {
        return std::none_of(ids.begin(), ids.end(),
                            [&](int id) { return Ctl<QWidget>(tab, id)->isEnabled(); });
    }

    // Chooses row `index` of a list as the operator does.
    void Choose(int tab, int id, int index) {
        QComboBox* list = Ctl<QComboBox>(tab, id);
        list->setCurrentIndex(index);
        emit list->activated(index);
    }

    std::vector<std::string> Bodies() const {
        std::vector<std::string> bodies;
        for (const sim::LogEntry& entry : fleet->Log().Entries()) {
            if (entry.kind == "http")
                bodies.push_back(entry.body);
        }
        return bodies;
    }
    size_t Count(const std::string& body) const {
        const auto all = Bodies();
        return static_cast<size_t>(std::count(all.begin(), all.end(), body));
    }
    size_t CountCommands() const {
        const auto all = Bodies();
        return static_cast<size_t>(std::count_if(all.begin(), all.end(), [](const std::string& b) {
            return b.starts_with("command=");
        }));
    }
    bool WaitForCount(const std::string& body, size_t count) const {
        return QTest::qWaitFor([&] { return Count(body) >= count; }, kWaitMs);
    }
    sim::ProjectorState State() const { return fleet->State(0); }

    // Types `text` into `edit`, clicks `set` and answers the message box that must come up;
    // returns its text.
    std::string SetExpectingMessage(QLineEdit* edit, QWidget* set, const QString& text) {
        edit->setText(text);
        ModalScript script;
        script.Then(script.Answer(QMessageBox::Ok));
        QTest::mouseClick(set, Qt::LeftButton);
        EXPECT_TRUE(QTest::qWaitFor([&] { return script.Finished(); }, kWaitMs));
        if (script.boxes.size() != 1)
            return "(" + std::to_string(script.boxes.size()) + " message boxes)";
        EXPECT_EQ(script.boxes[0].title, "Vistrel");
        return script.boxes[0].text.toStdString();
    }

    vistrel::testing::TempDir storeDir;
    RegStore store{storeDir.File(), "vistrel-test"};
    std::unique_ptr<sim::Fleet> fleet;
    std::unique_ptr<Console> console;
    std::unique_ptr<RequestRing> ring;
    std::unique_ptr<CPrjSetDlg> dialog;
};

}  // namespace vistrel::test
