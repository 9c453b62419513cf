// The "Projector Setting" dialog and its Projector page, driven through their widgets against
// one simulated projector over loopback HTTP.
#include "settings/projector/prj_set_dlg.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QToolButton>
#include <atomic>

#include "app/command_test_support.h"
#include "controls/set_button.h"
#include "controls/static_text.h"
#include "protocol/codec.h"
#include "settings/common/up_down.h"
#include "settings/projector/page_disp.h"
#include "settings/projector/page_img.h"
#include "settings/projector/page_prj.h"
#include "settings/projector/page_set.h"
#include "sim/fleet.h"

namespace vistrel::test {
namespace {

using ::testing::ElementsAre;

constexpr char kAddress[] = "127.0.4.200";
constexpr int kWaitMs = 8000;

sim::Faults Slow(int delayMs) {
    sim::Faults faults;
    faults.replyDelayMs = delayMs;
    return faults;
}

class PrjSetDlgTest : public ::testing::Test {
  protected:
    void SetUp() override {
        sim::FleetOptions options = sim::GenerateFleet(1, 5, kAddress);
        options.discoveryPort = 0;
        options.httpPort = 0;
        sim::ProjectorState& s = options.projectors[0].state;
        s.power = sim::kPowerOn;
        s.model = "6";
        s.group = "Hall A";
        s.name = "Room 7";
        s.source = 5;
        s.lampHours = 1234;
        s.firmware = "B042";
        s.control.avMute = 0;
        s.control.volume = 4;
        s.control.autoPowerOff = 60;
        s.control.freeze = 0;
        s.control.sourceLock = 0;
        s.control.directPower = 0;
        fleet = std::make_unique<sim::Fleet>(std::move(options));
        std::string error;
        ASSERT_TRUE(fleet->Start(&error)) << error;

        NetworkProfile profile;
        profile.httpPort = fleet->HttpPort();
        console = std::make_unique<Console>(profile);
        console->targetIps = {kAddress};
        RequestRingOptions ringOptions;
        ringOptions.pause = std::chrono::milliseconds(10);
        ringOptions.shutdownGrace = std::chrono::milliseconds(1000);
        ring = std::make_unique<RequestRing>(*console, ringOptions);
        ring->StartRequestWorker();
    }

    void TearDown() override {
        dialog.reset();
        ring.reset();
        fleet->Stop();
    }

    testing::TempDir storeDir;
    RegStore store{storeDir.File(), "vistrel-test"};

    void Open() {
        dialog = std::make_unique<CPrjSetDlg>(nullptr, *console, *ring, store, kAddress, "Hall A",
                                              "Room 7");
        dialog->show();
    }

    // Opens the dialog and waits until the page shows the projector switched on.
    void OpenAndWaitReady() {
        Open();
        ASSERT_TRUE(
            QTest::qWaitFor([&] { return Page()->powerState() == 1 && Enabled(1046); }, kWaitMs));
        ASSERT_TRUE(WaitForReady());
    }

    bool WaitForReady() {
        return QTest::qWaitFor(
            [&] { return dialog->StatusLine()->text() == "Ready" && ring->Head() == ring->Tail(); },
            kWaitMs);
    }

    CPagePrj* Page() const { return dialog->ProjectorPage(); }
    template <typename T>
    T* Ctl(int id) const {
        T* widget = Page()->findChild<T*>(ControlName(id));
        EXPECT_NE(widget, nullptr) << id;
        return widget;
    }
    template <typename T>
    T* FrameCtl(int id) const {
        return dialog->findChild<T*>(ControlName(id), Qt::FindDirectChildrenOnly);
    }
    bool Enabled(int id) const { return Ctl<QWidget>(id)->isEnabled(); }

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
    bool WaitForCount(const std::string& body, size_t count) const {
        return QTest::qWaitFor([&] { return Count(body) >= count; }, kWaitMs);
    }
    sim::ProjectorState State() const { return fleet->State(0); }

    std::unique_ptr<sim::Fleet> fleet;
    std::unique_ptr<Console> console;
    std::unique_ptr<RequestRing> ring;
    std::unique_ptr<CPrjSetDlg> dialog;
};

TEST_F(PrjSetDlgTest, OpeningQueriesModelGroupInfoControlThenShowsTheProjector) {
    // Slow answers keep the worker busy long enough to see the status line say so.
    fleet->SetFaults(0, Slow(150));
    Open();
    EXPECT_EQ(ring->Head(), 4u);
    EXPECT_TRUE(QTest::qWaitFor(
        [&] { return dialog->StatusLine()->text().contains(QRegularExpression("^Busy \\d+->4$")); },
        kWaitMs))
        << dialog->StatusLine()->text().toStdString();
    ASSERT_TRUE(WaitForReady());
    EXPECT_THAT(Bodies(), ElementsAre("query=model", "query=group", "query=info", "query=control"));
    for (const sim::LogEntry& entry : fleet->Log().Entries())
        EXPECT_EQ(entry.address, kAddress);

    ASSERT_TRUE(QTest::qWaitFor([&] { return Enabled(1046); }, kWaitMs));
    EXPECT_EQ(console->modelCode, "6");
    EXPECT_EQ(FrameCtl<CStaticText>(1033)->text(), kAddress);
    EXPECT_EQ(FrameCtl<CStaticText>(1114)->text(), "Hall A");
    EXPECT_EQ(FrameCtl<CStaticText>(1039)->text(), "Room 7");
    EXPECT_EQ(Ctl<QLabel>(1020)->text(), "ON");
    EXPECT_EQ(Ctl<QPushButton>(1026)->text(), "Power OFF");
    EXPECT_EQ(Ctl<QLineEdit>(1046)->text(), "4");
    EXPECT_EQ(Ctl<QLineEdit>(1047)->text(), "60");
    EXPECT_EQ(Ctl<QComboBox>(1012)->currentText(), "HDMI");
    EXPECT_EQ(Ctl<QLabel>(1022)->text(), "1234");
    EXPECT_EQ(Ctl<QLabel>(1023)->text(), "B042");
    EXPECT_EQ(Ctl<QLabel>(1025)->text(), "normal");
    EXPECT_EQ(Ctl<QLineEdit>(1071)->text(), "Hall A");
    EXPECT_EQ(Ctl<QLineEdit>(1072)->text(), "Room 7");
}

TEST_F(PrjSetDlgTest, FrameLayoutSideButtonsAndTabs) {
    Open();
    QTabWidget* tabs = dialog->Tabs();
    ASSERT_EQ(tabs->count(), 4);
    EXPECT_EQ(tabs->tabText(0), "Projector");
    EXPECT_EQ(tabs->tabText(1), "Image");
    EXPECT_EQ(tabs->tabText(2), "Display");
    EXPECT_EQ(tabs->tabText(3), "Setting");
    EXPECT_EQ(tabs->currentIndex(), 0);
    EXPECT_TRUE(FrameCtl<QPushButton>(1024)->isChecked());
    EXPECT_FALSE(FrameCtl<QWidget>(1005)->isVisible());
    for (int id : {1028, 1029, 1030, 1031})
        EXPECT_EQ(FrameCtl<CStaticText>(id)->weight(), 700) << id;
    EXPECT_EQ(FrameCtl<CStaticText>(1113)->textColor(), QColor(255, 255, 255));
    EXPECT_EQ(dialog->windowTitle(), "Projector Setting");
    ASSERT_TRUE(WaitForReady());
    const size_t before = Bodies().size();

    // Switching tabs sends nothing, and only one tab page shows at a time.
    for (int i : {2, 1, 3, 0}) {
        tabs->setCurrentIndex(i);
        int shown = 0;
        for (int t = 0; t < 4; ++t)
            shown += dialog->TabPage(t)->isVisible() ? 1 : 0;
        EXPECT_EQ(shown, 1);
        EXPECT_TRUE(dialog->TabPage(i)->isVisible());
    }

    // Scheduler: nothing to ask. Alert: a flush marker (never sent) and the alert query.
    QTest::mouseClick(FrameCtl<QPushButton>(1027), Qt::LeftButton);
    EXPECT_TRUE(dialog->SidePage(CPrjSetDlg::kSideScheduler)->isVisible());
    EXPECT_FALSE(tabs->isVisible());
    QTest::mouseClick(FrameCtl<QPushButton>(1026), Qt::LeftButton);
    EXPECT_TRUE(dialog->SidePage(CPrjSetDlg::kSideAlert)->isVisible());
    EXPECT_FALSE(dialog->SidePage(CPrjSetDlg::kSideScheduler)->isVisible());
    ASSERT_TRUE(WaitForCount("query=alert", 1));
    QTest::mouseClick(FrameCtl<QPushButton>(1025), Qt::LeftButton);
    ASSERT_TRUE(WaitForCount("query=user", 1));
    EXPECT_TRUE(dialog->SidePage(CPrjSetDlg::kSideNetwork)->isVisible());
    const auto bodies = Bodies();
    EXPECT_THAT(std::vector<std::string>(bodies.begin() + static_cast<long>(before), bodies.end()),
                ElementsAre("query=alert", "query=network", "query=user"));

    QTest::mouseClick(FrameCtl<QPushButton>(1024), Qt::LeftButton);
    EXPECT_TRUE(tabs->isVisible());
    EXPECT_EQ(tabs->currentIndex(), 0);
    ASSERT_TRUE(WaitForCount("query=control", 2));
    EXPECT_EQ(Count(std::string(kFlushBody)), 0u);
}

TEST_F(PrjSetDlgTest, ControlReplyReachesTheProjectorPageWhileAnotherPageShows) {
    OpenAndWaitReady();
    dialog->Tabs()->setCurrentIndex(2);
    QTest::mouseClick(FrameCtl<QPushButton>(1027), Qt::LeftButton);
    fleet->UpdateState(0, [](sim::ProjectorState& s) { s.control.volume = 9; });
    dialog->QueryControl();
    EXPECT_TRUE(QTest::qWaitFor([&] { return Ctl<QLineEdit>(1046)->text() == "9"; }, kWaitMs));
    EXPECT_TRUE(IsControlReply(dialog->controlText()));
}

TEST_F(PrjSetDlgTest, PowerOffDisablesTheWholePageAtOnceAndPowerOnBringsItBack) {
    OpenAndWaitReady();
    QPushButton* power = Ctl<QPushButton>(1026);
    QTest::mouseClick(power, Qt::LeftButton);
    EXPECT_FALSE(power->isEnabled());
    // The OK reply marks the kept control reply as off before any new request comes back.
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return dialog->controlText().size() > 20 && dialog->controlText()[20] == '0'; },
        kWaitMs));
    EXPECT_EQ(State().power, sim::kPowerOff);
    for (int id : CPagePrj::FullGroup())
        EXPECT_FALSE(Enabled(id)) << id;
    EXPECT_TRUE(power->isEnabled());
    EXPECT_EQ(Count("command=~0000 0"), 1u);
    ASSERT_TRUE(QTest::qWaitFor([&] { return power->text() == "Power ON"; }, kWaitMs));

    QTest::mouseClick(power, Qt::LeftButton);
    ASSERT_TRUE(WaitForCount("command=~0000 1", 1));
    EXPECT_TRUE(
        QTest::qWaitFor([&] { return power->text() == "Power OFF" && Enabled(1046); }, kWaitMs));
    EXPECT_EQ(State().power, sim::kPowerOn);
}

TEST_F(PrjSetDlgTest, SourceChoiceSendsItsCodeAndRefreshesTwoSecondsLater) {
    OpenAndWaitReady();
    const size_t controlsBefore = Count("query=control");
    QComboBox* source = Ctl<QComboBox>(1012);
    source->setCurrentIndex(2);
    emit source->activated(2);  // "VGA-1"
    EXPECT_TRUE(Page()->refreshTimer().isActive());
    EXPECT_EQ(Page()->refreshTimer().interval(), 2000);
    ASSERT_TRUE(WaitForCount("command=~0012 5", 1));
    EXPECT_EQ(State().source, 1);
    // The page's own control query after the wait, then the frame's flush and query.
    ASSERT_TRUE(WaitForCount("query=control", controlsBefore + 2));
    EXPECT_FALSE(Page()->refreshTimer().isActive());
    ASSERT_TRUE(QTest::qWaitFor([&] { return Enabled(1012); }, kWaitMs));
    EXPECT_EQ(source->currentText(), "VGA-1");

    // "None" has no code text: the body is "command=" alone.
    source->setCurrentIndex(0);
    emit source->activated(0);
    ASSERT_TRUE(WaitForCount("command=", 1));
}

TEST_F(PrjSetDlgTest, UpDownsStepWithinTheirRangesAndSendOnlyValuesInside) {
    fleet->UpdateState(0, [](sim::ProjectorState& s) {
        s.control.autoPowerOff = 175;
        s.control.volume = 0;
    });
    OpenAndWaitReady();
    ASSERT_EQ(Ctl<QLineEdit>(1047)->text(), "175");
    CUpDown* autoOff = Ctl<CUpDown>(1034);
    autoOff->Step(+1);
    EXPECT_EQ(Ctl<QLineEdit>(1047)->text(), "180");
    ASSERT_TRUE(WaitForCount("command=~00106 180", 1));
    EXPECT_EQ(State().control.autoPowerOff, 180);
    autoOff->Step(+1);  // 185 is outside: nothing sent, the edit stays at 180
    EXPECT_EQ(Ctl<QLineEdit>(1047)->text(), "180");
    QTest::mouseClick(autoOff->downButton(), Qt::LeftButton);  // steps by 5, down
    EXPECT_EQ(Ctl<QLineEdit>(1047)->text(), "175");
    ASSERT_TRUE(WaitForCount("command=~00106 175", 1));

    CUpDown* volume = Ctl<CUpDown>(1035);
    volume->Step(-1);  // at 0: nothing
    volume->Step(+1);
    ASSERT_TRUE(WaitForCount("command=~0081 1", 1));
    ASSERT_TRUE(WaitForReady());
    for (const std::string& body : Bodies()) {
        EXPECT_NE(body, "command=~00106 185");
        EXPECT_NE(body, "command=~0081 -1");
    }
    EXPECT_EQ(State().control.volume, 1);
}

TEST_F(PrjSetDlgTest, TypedVolumeIsCheckedBeforeItIsSent) {
    OpenAndWaitReady();
    QLineEdit* volume = Ctl<QLineEdit>(1046);
    auto* set = Ctl<CSetButton>(1129);

    for (const auto& [typed, message] : std::vector<std::pair<QString, QString>>{
             {"12", "Please enter an integer between 0 and 10."},
             {"loud", "Please enter an integer."}}) {
        volume->setText(typed);
        ModalScript script;
        script.Then(script.Answer(QMessageBox::Ok));
        QTest::mouseClick(set, Qt::LeftButton);
        ASSERT_TRUE(QTest::qWaitFor([&] { return script.Finished(); }, kWaitMs));
        ASSERT_EQ(script.boxes.size(), 1u);
        EXPECT_EQ(script.boxes[0].title, "Vistrel");
        EXPECT_EQ(script.boxes[0].text, message);
    }
    volume->setText("7");
    QTest::mouseClick(set, Qt::LeftButton);
    ASSERT_TRUE(WaitForCount("command=~0081 7", 1));
    ASSERT_TRUE(WaitForReady());
    for (const std::string& body : Bodies())
        EXPECT_FALSE(body.starts_with("command=~0081 1")) << body;
    EXPECT_EQ(State().control.volume, 7);

    // Only "Set" tells. An arrow clicked over a refused value steps from the volume the page
    // holds, without a word, and the field shows the value that went to the projector; a
    // check box beside a bad volume reads only itself.
    ModalScript script(60000);
    script.Then(script.Answer(QMessageBox::Ok));
    volume->setText("12");
    Ctl<CUpDown>(1035)->Step(+1);
    ASSERT_TRUE(WaitForCount("command=~0081 8", 1));
    EXPECT_EQ(volume->text(), "8");
    volume->setText("abc");
    QTest::mouseClick(Ctl<QCheckBox>(1043), Qt::LeftButton);
    ASSERT_TRUE(WaitForCount("command=~0004 1", 1));
    // At the range end the arrow does nothing: no message, nothing sent, the field stays.
    volume->setText("10");
    ASSERT_TRUE(WaitForReady());
    const size_t sent = Bodies().size();
    Ctl<CUpDown>(1035)->Step(+1);
    EXPECT_EQ(volume->text(), "10");
    ASSERT_TRUE(WaitForReady());
    EXPECT_EQ(Bodies().size(), sent);
    EXPECT_TRUE(script.boxes.empty());
    EXPECT_EQ(State().control.volume, 8);
}

TEST_F(PrjSetDlgTest, AReplyDoesNotInterruptTypingWithAMessage) {
    OpenAndWaitReady();
    fleet->SetFaults(0, Slow(300));
    QCheckBox* freeze = Ctl<QCheckBox>(1043);
    QTest::mouseClick(freeze, Qt::LeftButton);
    Ctl<QLineEdit>(1046)->setText("");  // the operator is retyping the volume
    // Any message box would be answered here and counted.
    ModalScript script(60000);
    script.Then(script.Answer(QMessageBox::Ok));
    ASSERT_TRUE(QTest::qWaitFor([&] { return freeze->isEnabled(); }, kWaitMs));
    EXPECT_TRUE(script.boxes.empty());
    EXPECT_TRUE(freeze->isChecked());
    EXPECT_EQ(Ctl<QLineEdit>(1046)->text(), "");
}

TEST_F(PrjSetDlgTest, ApplySendsTheGroupRecordAndTheHeaderFollows) {
    OpenAndWaitReady();
    Ctl<QLineEdit>(1071)->setText("Lab");
    Ctl<QLineEdit>(1072)->setText("P1");
    QTest::mouseClick(Ctl<QPushButton>(1112), Qt::LeftButton);
    const std::string record =
        "set=group" + std::string("Lab") + std::string(29, ' ') + "P1" + std::string(30, ' ');
    ASSERT_EQ(record.size(), 73u);
    ASSERT_TRUE(WaitForCount(record, 1));
    // The projector acknowledges without names: the header shows the names it accepted, and
    // nothing more goes on the wire for it.
    EXPECT_TRUE(QTest::qWaitFor(
        [&] {
            return FrameCtl<CStaticText>(1114)->text() == "Lab" &&
                   FrameCtl<CStaticText>(1039)->text() == "P1";
        },
        kWaitMs));
    ASSERT_TRUE(WaitForReady());
    EXPECT_EQ(dialog->groupText(), "Lab");
    EXPECT_EQ(dialog->nameText(), "P1");
    EXPECT_EQ(State().group, "Lab");
    EXPECT_EQ(State().name, "P1");
    EXPECT_EQ(Count("query=group"), 1u);
    EXPECT_EQ(Bodies().back(), record);

    // A projector that refuses the record leaves the header as it was; the edits keep what
    // the operator typed.
    sim::Faults faults;
    faults.commandTimeout = true;
    fleet->SetFaults(0, faults);
    Ctl<QLineEdit>(1071)->setText("Stage");
    Ctl<QLineEdit>(1072)->setText("P2");
    QTest::mouseClick(Ctl<QPushButton>(1112), Qt::LeftButton);
    ASSERT_TRUE(WaitForCount(
        "set=group" + std::string("Stage") + std::string(27, ' ') + "P2" + std::string(30, ' '),
        1));
    ASSERT_TRUE(WaitForReady());
    EXPECT_EQ(FrameCtl<CStaticText>(1114)->text(), "Lab");
    EXPECT_EQ(FrameCtl<CStaticText>(1039)->text(), "P1");
    EXPECT_EQ(Ctl<QLineEdit>(1071)->text(), "Stage");
    EXPECT_EQ(Ctl<QLineEdit>(1072)->text(), "P2");
    EXPECT_EQ(State().group, "Lab");
}

TEST_F(PrjSetDlgTest, ModelAndMuteDecideWhatMayBeChanged) {
    fleet->UpdateState(0, [](sim::ProjectorState& s) {
        s.model = "4";
        s.control.avMute = 1;
    });
    Open();
    ASSERT_TRUE(QTest::qWaitFor([&] { return Enabled(1029); }, kWaitMs));
    ASSERT_TRUE(WaitForReady());
    EXPECT_TRUE(Enabled(1049));  // model 4 offers Auto Keystone even while muted
    for (int id : {1043, 1039, 1046, 1035, 1129, 1012})
        EXPECT_FALSE(Enabled(id)) << id;
    for (int id : {1047, 1034, 1029, 1042, 1045, 1071, 1072, 1112})
        EXPECT_TRUE(Enabled(id)) << id;
    EXPECT_TRUE(Ctl<QCheckBox>(1045)->isChecked());

    // Model 1 never offers it.
    fleet->UpdateState(0, [](sim::ProjectorState& s) {
        s.model = "1";
        s.control.avMute = 0;
    });
    QTest::mouseClick(FrameCtl<QPushButton>(1024), Qt::LeftButton);
    dialog->QueryModel();
    dialog->QueryControl();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return console->modelCode == "1" && Enabled(1043); }, kWaitMs));
    EXPECT_FALSE(Enabled(1049));
}

TEST_F(PrjSetDlgTest, FailedCommandsPutTheirBoxBackOrRefreshThePage) {
    OpenAndWaitReady();
    sim::Faults timeouts;
    timeouts.commandTimeout = true;
    fleet->SetFaults(0, timeouts);
    QCheckBox* freeze = Ctl<QCheckBox>(1043);
    QTest::mouseClick(freeze, Qt::LeftButton);
    EXPECT_TRUE(freeze->isChecked());
    EXPECT_FALSE(freeze->isEnabled());
    ASSERT_TRUE(WaitForCount("command=~0004 1", 1));
    ASSERT_TRUE(QTest::qWaitFor([&] { return freeze->isEnabled(); }, kWaitMs));
    EXPECT_FALSE(freeze->isChecked());

    // A failed power command keeps the state and restores the button's text.
    QPushButton* power = Ctl<QPushButton>(1026);
    QTest::mouseClick(power, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return power->isEnabled(); }, kWaitMs));
    EXPECT_EQ(power->text(), "Power OFF");
    EXPECT_EQ(Page()->powerState(), 1);

    // Any other failure disables the page until a control reply says it is on.
    const size_t controlsBefore = Count("query=control");
    QTest::mouseClick(Ctl<QPushButton>(1039), Qt::LeftButton);  // Resync
    ASSERT_TRUE(WaitForCount("command=~0001 1", 1));
    ASSERT_TRUE(WaitForCount("query=control", controlsBefore + 1));
    ASSERT_TRUE(QTest::qWaitFor([&] { return Enabled(1046); }, kWaitMs));
    EXPECT_EQ(State().control.freeze, 0);
}

TEST_F(PrjSetDlgTest, TogglesQueuedTogetherAreAllSent) {
    OpenAndWaitReady();
    // The first command is slow, so the next two wait in the queue together; their bodies
    // have 16 characters and the same first 13, but they are different settings ("~00100"
    // and "~00105"): neither replaces the other.
    fleet->SetFaults(0, Slow(400));
    QTest::mouseClick(Ctl<QCheckBox>(1043), Qt::LeftButton);  // freeze: in flight
    ASSERT_TRUE(QTest::qWaitFor([&] { return ring->Tail() == ring->Head(); }, kWaitMs));
    QCheckBox* lock = Ctl<QCheckBox>(1042);
    QCheckBox* direct = Ctl<QCheckBox>(1029);
    QTest::mouseClick(lock, Qt::LeftButton);
    QTest::mouseClick(direct, Qt::LeftButton);
    EXPECT_FALSE(lock->isEnabled());
    fleet->SetFaults(0, {});
    ASSERT_TRUE(WaitForCount("command=~00100 1", 1));
    ASSERT_TRUE(WaitForCount("command=~00105 1", 1));
    ASSERT_TRUE(QTest::qWaitFor([&] { return lock->isEnabled() && direct->isEnabled(); }, kWaitMs));
    EXPECT_TRUE(lock->isChecked());
    EXPECT_TRUE(direct->isChecked());
    ASSERT_TRUE(WaitForReady());
    EXPECT_EQ(State().control.sourceLock, 1);
    EXPECT_EQ(State().control.directPower, 1);
}

TEST_F(PrjSetDlgTest, PowerOffWithAShortControlReplyAsksForFreshState) {
    sim::Faults shortControl;
    shortControl.truncate["control"] = 15;
    fleet->SetFaults(0, shortControl);
    Open();
    ASSERT_TRUE(WaitForCount("query=control", 1));
    ASSERT_TRUE(WaitForReady());
    ASSERT_EQ(dialog->controlText().size(), 15u);
    dialog->RecordPowerState("0");
    EXPECT_EQ(dialog->controlText().size(), 15u);
    ASSERT_TRUE(WaitForCount("query=control", 2));
}

TEST_F(PrjSetDlgTest, EnterOnAPageKeepsTheDialogOpenAndEscapeClosesItFromAnywhere) {
    OpenAndWaitReady();
    QLineEdit* volume = Ctl<QLineEdit>(1046);
    volume->setFocus();
    QTest::keyClick(volume, Qt::Key_Return);
    EXPECT_TRUE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), 0);
    QTest::keyClick(volume, Qt::Key_Escape);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), QDialog::Rejected);
}

TEST_F(PrjSetDlgTest, ANotAnsweringProjectorLooksTheSameOnEveryTabUntilItAnswersAgain) {
    // A sender that stands in the projector's own time-out text for the control reply on cue,
    // and counts the control queries; everything else goes to the simulator.
    auto timeOut = std::make_shared<std::atomic<bool>>(false);
    auto controlQueries = std::make_shared<std::atomic<int>>(0);
    HttpOptions http;
    http.port = fleet->HttpPort();
    http.connectTimeoutMs = 1500;
    http.totalTimeoutMs = 1500;
    RequestRingOptions options;
    options.pause = std::chrono::milliseconds(10);
    options.shutdownGrace = std::chrono::milliseconds(1000);
    options.sender = [send = HttpSender(http), timeOut, controlQueries](
                         const std::string& ip, const std::string& body, std::string& reply,
                         const std::shared_ptr<CancelToken>& cancel) {
        if (body == kQueryControlBody) {
            ++*controlQueries;
            if (*timeOut) {
                reply = "<return>\n<result>timeout</result>";
                return true;
            }
        }
        return send(ip, body, reply, cancel);
    };
    ring = std::make_unique<RequestRing>(*console, options);
    ring->StartRequestWorker();
    OpenAndWaitReady();

    auto tabControls = [&](int tab, const std::vector<int>& ids) {
        std::vector<QWidget*> out;
        for (int id : ids)
            out.push_back(dialog->TabPage(tab)->findChild<QWidget*>(ControlName(id)));
        return out;
    };
    std::vector<QWidget*> everyTab = tabControls(CPrjSetDlg::kTabProjector, CPagePrj::FullGroup());
    for (const auto& [tab, ids] : std::vector<std::pair<int, std::vector<int>>>{
             {CPrjSetDlg::kTabImage, CPageImg::FullGroup()},
             {CPrjSetDlg::kTabDisplay, CPageDisp::FullGroup()},
             {CPrjSetDlg::kTabSetting, CPageSet::FullGroup()}}) {
        for (QWidget* w : tabControls(tab, ids))
            everyTab.push_back(w);
    }
    auto noneEnabled = [&] {
        return std::none_of(everyTab.begin(), everyTab.end(),
                            [](QWidget* w) { return w->isEnabled(); });
    };
    // What each tab offers for this projector (on, HDMI) once it answers.
    const std::vector<QWidget*> answering = {
        Ctl<QWidget>(1046),
        dialog->TabPage(CPrjSetDlg::kTabImage)
            ->findChild<QWidget*>(ControlName(CPageImg::kBrightnessEdit)),
        dialog->TabPage(CPrjSetDlg::kTabDisplay)
            ->findChild<QWidget*>(ControlName(CPageDisp::kProjection)),
        dialog->TabPage(CPrjSetDlg::kTabSetting)
            ->findChild<QWidget*>(ControlName(CPageSet::kBackgroundColor))};
    auto allAnswering = [&] {
        return std::all_of(answering.begin(), answering.end(),
                           [](QWidget* w) { return w->isEnabled(); });
    };
    ASSERT_TRUE(allAnswering());

    // Once for the projector's time-out text, once for a hung exchange (no answer in time).
    for (const char* why : {"timed out", "no answer"}) {
        SCOPED_TRACE(why);
        const bool hang = std::string(why) == "no answer";
        if (hang) {
            sim::Faults faults;
            faults.hang = true;
            fleet->SetFaults(0, faults);
        } else {
            *timeOut = true;
        }
        dialog->QueryControl();
        ASSERT_TRUE(QTest::qWaitFor(noneEnabled, kWaitMs));
        EXPECT_EQ(Ctl<QLabel>(1020)->text(), "No answer");
        EXPECT_TRUE(dialog->NoticeLine()->text().contains(why))
            << dialog->NoticeLine()->text().toStdString();
        // The dialog keeps asking by itself.
        const int asked = *controlQueries;
        ASSERT_TRUE(QTest::qWaitFor([&] { return *controlQueries > asked; }, kWaitMs));
        EXPECT_TRUE(noneEnabled());

        // It answers again: every tab offers what the reply allows, and the notice goes.
        *timeOut = false;
        fleet->SetFaults(0, {});
        ASSERT_TRUE(QTest::qWaitFor(allAnswering, 2 * kWaitMs));
        EXPECT_EQ(Ctl<QLabel>(1020)->text(), "ON");
        EXPECT_TRUE(dialog->NoticeLine()->text().isEmpty());
    }
}

// --- opened from the main window ------------------------------------------------------------

class PrjSetDlgFromListTest : public CommandFixture {};

TEST_F(PrjSetDlgFromListTest, DoubleClickOpensTheDialogForThatProjectorAndClosingResumesPolling) {
    Start({{"Lab", "P1"}, {"Lab", "P2"}});
    fleet->UpdateState(1, [](sim::ProjectorState& s) { s.power = sim::kPowerOn; });
    ASSERT_TRUE(WaitForRows(2));
    ASSERT_TRUE(WaitForGroupsPolled());
    projectorCommands->SetProjectorSettingsRunner(
        [this](const std::string& ip, const std::string& group, const std::string& name) {
            CPrjSetDlg dialog(window.get(), *console, backend->ring(), *store, ip, group, name);
            dialog.exec();
        });
    const int row = RowOfAddress(fleet->Address(1));
    ASSERT_GE(row, 0);
    SelectRows({row});
    backend->pauseCalls.clear();

    bool sawState = false;
    ModalScript script(15000);
    script.Then([&](QWidget* modal) {
        auto* dialog = qobject_cast<CPrjSetDlg*>(modal);
        // Wait (the script retries) until the dialog shows the projector's state.
        if (!dialog || dialog->StatusLine()->text() != "Ready" ||
            dialog->ProjectorPage()->powerState() != 1) {
            return false;
        }
        EXPECT_EQ(dialog->ipText(), fleet->Address(1));
        EXPECT_EQ(dialog->nameText(), "P2");
        sawState = true;
        dialog->accept();
        return true;
    });
    emit window->projectorActivated(row);
    EXPECT_TRUE(script.Finished());
    EXPECT_TRUE(sawState);
    EXPECT_EQ(console->targetIps, std::vector<std::string>{fleet->Address(1)});
    EXPECT_THAT(backend->pauseCalls, ElementsAre(true, false));
    for (const auto& [address, body] : Received("query=")) {
        if (body == "query=model" || body == "query=control") {
            EXPECT_EQ(address, fleet->Address(1));
        }
    }
}

}  // namespace
}  // namespace vistrel::test
