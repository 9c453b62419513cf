// The "Group Setting" dialog and its Projector page, driven through their widgets against a
// simulated fleet of three projectors over loopback HTTP.
#include "settings/shared/grp_set_dlg.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QElapsedTimer>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>

#include "app/command_test_support.h"
#include "app/console_session.h"
#include "app/projector_list_model.h"
#include "controls/grp_list.h"
#include "controls/static_text.h"
#include "controls/text_fit.h"
#include "protocol/wire_fields.h"
#include "settings/common/batch_progress.h"
#include "settings/common/dialog_frame.h"
#include "settings/common/up_down.h"
#include "settings/shared/grp_prj.h"
#include "sim/fleet.h"

namespace vistrel::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr char kFirst[] = "127.0.12.10";
constexpr int kWaitMs = 10000;
// The transport's time limit in these tests: a hung projector is given up after it.
constexpr int kTimeLimitMs = 1500;

class GrpSetDlgTest : public ::testing::Test {
  protected:
    void SetUp() override {
        sim::FleetOptions options = sim::GenerateFleet(3, 7, kFirst);
        options.discoveryPort = 0;
        options.httpPort = 0;
        for (sim::ProjectorConfig& p : options.projectors) {
            p.state.power = sim::kPowerOn;
            p.state.control.volume = 2;
        }
        fleet = std::make_unique<sim::Fleet>(std::move(options));
        std::string error;
        ASSERT_TRUE(fleet->Start(&error)) << error;

        NetworkProfile profile;
        profile.httpPort = fleet->HttpPort();
        console = std::make_unique<Console>(profile);
        for (size_t i = 0; i < 3; ++i) {
            console->targetIps.push_back(fleet->Address(i));
            console->targetMacs.push_back("MAC" + std::to_string(i));
            MsgCmd entry;
            entry.ip = fleet->Address(i);
            console->batch.push_back(entry);
        }
        RequestRingOptions ringOptions;
        ringOptions.pause = std::chrono::milliseconds(10);
        ringOptions.shutdownGrace = std::chrono::milliseconds(1000);
        HttpOptions http;
        http.port = fleet->HttpPort();
        http.connectTimeoutMs = kTimeLimitMs;
        http.totalTimeoutMs = kTimeLimitMs;
        ringOptions.sender = HttpSender(http);
        ring = std::make_unique<RequestRing>(*console, ringOptions);
    }

    void TearDown() override {
        dialog.reset();
        ring.reset();
        fleet->Stop();
    }

    testing::TempDir storeDir;
    RegStore store{storeDir.File(), "vistrel-test"};

    void Open(const std::string& group = "Lab", bool startWorker = true) {
        if (startWorker)
            ring->StartRequestWorker();
        dialog = std::make_unique<CGrpSetDlg>(nullptr, *console, *ring, store, group);
        dialog->show();
        // Every value the bar takes, and whether the page was still disabled then.
        QObject::connect(dialog->ProgressBar(), &QProgressBar::valueChanged, dialog.get(),
                         [this](int value) {
                             barValues.push_back(value);
                             enabledAtValue.push_back(Ctl<QWidget>(CGrpPrj::kPower)->isEnabled());
                         });
    }

    CGrpPrj* Page() const { return dialog->ProjectorPage(); }
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
    std::vector<int> EnabledControls() const {
        std::vector<int> ids;
        for (int id : CGrpPrj::PageControls()) {
            if (Ctl<QWidget>(id)->isEnabled())
                ids.push_back(id);
        }
        return ids;
    }
    void Choose(int comboId, int index) {
        auto* combo = Ctl<QComboBox>(comboId);
        combo->setCurrentIndex(index);
        emit combo->activated(index);
    }
    void UpDown(int id, int delta, const QString& start) {
        auto* upDown = Ctl<CUpDown>(id);
        Ctl<QLineEdit>(id == CGrpPrj::kVolumeUpDown ? CGrpPrj::kVolumeEdit
                                                    : CGrpPrj::kAutoPowerOffEdit)
            ->setText(start);
        QTest::mouseClick(delta > 0 ? upDown->upButton() : upDown->downButton(), Qt::LeftButton);
    }
    bool WaitUntilBack() const {
        return QTest::qWaitFor([&] { return !Page()->Waiting(); }, kWaitMs);
    }

    // (address, body) of every HTTP request the fleet received.
    std::vector<std::pair<std::string, std::string>> Requests() const {
        std::vector<std::pair<std::string, std::string>> out;
        for (const sim::LogEntry& entry : fleet->Log().Entries()) {
            if (entry.kind == "http")
                out.emplace_back(entry.address, entry.body);
        }
        return out;
    }
    std::vector<std::string> AddressesOf(const std::string& body) const {
        std::vector<std::string> out;
        for (const auto& [address, b] : Requests()) {
            if (b == body)
                out.push_back(address);
        }
        std::sort(out.begin(), out.end());
        return out;
    }
    std::vector<std::string> All() const {
        return {fleet->Address(0), fleet->Address(1), fleet->Address(2)};
    }

    std::unique_ptr<sim::Fleet> fleet;
    std::unique_ptr<Console> console;
    std::unique_ptr<RequestRing> ring;
    std::unique_ptr<CGrpSetDlg> dialog;
    std::vector<int> barValues;
    std::vector<bool> enabledAtValue;
};

TEST_F(GrpSetDlgTest, PowerGoesToEveryProjectorInParallelAndThePageWaitsForAllAnswers) {
    for (size_t i = 0; i < 3; ++i)
        fleet->UpdateState(i, [](sim::ProjectorState& s) { s.power = sim::kPowerOff; });
    Open();
    EXPECT_EQ(EnabledControls(), CGrpPrj::PageControls());

    QElapsedTimer clock;
    Choose(CGrpPrj::kPower, 1);  // "ON"
    EXPECT_THAT(EnabledControls(), IsEmpty());
    EXPECT_EQ(dialog->ProgressBar()->maximum(), 3);
    EXPECT_EQ(dialog->ProgressBar()->value(), 0);

    // One step per answer; the page stays disabled through the third, then the bar goes
    // back to 0 and the page comes back half a second later.
    ASSERT_TRUE(QTest::qWaitFor([&] { return barValues.size() == 3; }, kWaitMs));
    clock.start();
    ASSERT_TRUE(WaitUntilBack());
    EXPECT_GE(clock.elapsed(), 400);
    EXPECT_THAT(barValues, ElementsAre(1, 2, 3, 0));
    EXPECT_THAT(enabledAtValue, ElementsAre(false, false, false, false));
    EXPECT_EQ(EnabledControls(), CGrpPrj::PageControls());

    EXPECT_EQ(AddressesOf("command=~0000 1"), All());
    EXPECT_EQ(Requests().size(), 3u);
    for (size_t i = 0; i < 3; ++i)
        EXPECT_EQ(fleet->State(i).power, sim::kPowerOn) << i;

    // "OFF" sends the power-off command.
    Choose(CGrpPrj::kPower, 0);
    ASSERT_TRUE(WaitUntilBack());
    EXPECT_EQ(AddressesOf("command=~0000 0"), All());
    for (size_t i = 0; i < 3; ++i)
        EXPECT_EQ(fleet->State(i).power, sim::kPowerOff) << i;
}

// Both settings dialogs are drawn at fixed places for the default text size: a larger text
// size grows the whole dialog, places and sizes alike, instead of cutting its captions.
TEST_F(GrpSetDlgTest, ALargerTextSizeGrowsTheDialogInsteadOfCuttingItsCaptions) {
    Open("Lab", false);
    EXPECT_EQ(dialog->size(), kFrameDialogSize);
    const QRect drawnVolume = Ctl<QWidget>(CGrpPrj::kVolumeEdit)->geometry();

    const QFont drawnFont = QApplication::font();
    QFont larger = drawnFont;
    larger.setPointSizeF(drawnFont.pointSizeF() * 1.5);
    QApplication::setFont(larger);
    dialog.reset();
    Open("Lab", false);
    QApplication::setFont(drawnFont);  // before any check can leave the test early

    for (const CutText& cut : CutTexts(*dialog))
        ADD_FAILURE() << cut.widget->objectName().toStdString() << " needs " << cut.needed.width()
                      << "x" << cut.needed.height();
    EXPECT_GT(dialog->width(), kFrameDialogSize.width());
    EXPECT_GT(dialog->height(), kFrameDialogSize.height());
    // The page grew with its captions: the field sits further right, and is wider.
    const QRect grownVolume = Ctl<QWidget>(CGrpPrj::kVolumeEdit)->geometry();
    EXPECT_GT(grownVolume.left(), drawnVolume.left());
    EXPECT_GT(grownVolume.width(), drawnVolume.width());
}

TEST_F(GrpSetDlgTest, SourceAndCheckBoxesThatGoInParallel) {
    Open();
    EXPECT_EQ(Ctl<QComboBox>(CGrpPrj::kPower)->count(), 2);
    EXPECT_EQ(Ctl<QComboBox>(CGrpPrj::kPower)->itemText(0), "OFF");
    EXPECT_EQ(Ctl<QComboBox>(CGrpPrj::kPower)->itemText(1), "ON");
    EXPECT_EQ(Ctl<QComboBox>(CGrpPrj::kPower)->currentIndex(), -1);
    EXPECT_EQ(Ctl<QComboBox>(CGrpPrj::kSource)->currentIndex(), -1);

    Choose(CGrpPrj::kSource, 0);  // "None": no command text
    ASSERT_TRUE(WaitUntilBack());
    EXPECT_EQ(AddressesOf("command="), All());
    Choose(CGrpPrj::kSource, 2);  // "VGA-1"
    ASSERT_TRUE(WaitUntilBack());
    EXPECT_EQ(AddressesOf("command=~0012 5"), All());

    // Parallel boxes disable the whole page, not only themselves.
    QTest::mouseClick(Ctl<QCheckBox>(CGrpPrj::kFreeze), Qt::LeftButton);
    EXPECT_THAT(EnabledControls(), IsEmpty());
    ASSERT_TRUE(WaitUntilBack());
    QTest::mouseClick(Ctl<QCheckBox>(CGrpPrj::kAvMute), Qt::LeftButton);
    ASSERT_TRUE(WaitUntilBack());
    QTest::mouseClick(Ctl<QCheckBox>(CGrpPrj::kSourceLock), Qt::LeftButton);
    ASSERT_TRUE(WaitUntilBack());
    QTest::mouseClick(Ctl<QCheckBox>(CGrpPrj::kSourceLock), Qt::LeftButton);
    ASSERT_TRUE(WaitUntilBack());
    QTest::mouseClick(Ctl<QPushButton>(CGrpPrj::kResync), Qt::LeftButton);
    ASSERT_TRUE(WaitUntilBack());
    EXPECT_EQ(AddressesOf("command=~0004 1"), All());
    EXPECT_EQ(AddressesOf("command=~0002 1"), All());
    EXPECT_EQ(AddressesOf("command=~00100 1"), All());
    EXPECT_EQ(AddressesOf("command=~00100 0"), All());
    EXPECT_EQ(AddressesOf("command=~0001 1"), All());
    for (size_t i = 0; i < 3; ++i) {
        const sim::ProjectorState s = fleet->State(i);
        EXPECT_EQ(s.source, 1) << i;  // VGA-1
        EXPECT_EQ(s.control.freeze, 1) << i;
        EXPECT_EQ(s.control.avMute, 1) << i;
        EXPECT_EQ(s.control.sourceLock, 0) << i;
    }
    EXPECT_EQ(Requests().size(), 7u * 3u);
}

TEST_F(GrpSetDlgTest, VolumeAndAutoPowerOffSendOnlyValuesInRange) {
    Open();
    // At the top of the range the arrow sends nothing; the field stays at 15.
    UpDown(CGrpPrj::kVolumeUpDown, +1, "15");
    EXPECT_FALSE(Page()->Waiting());
    EXPECT_EQ(Ctl<QLineEdit>(CGrpPrj::kVolumeEdit)->text(), "15");
    UpDown(CGrpPrj::kVolumeUpDown, -1, "0");
    EXPECT_FALSE(Page()->Waiting());
    EXPECT_EQ(Ctl<QLineEdit>(CGrpPrj::kVolumeEdit)->text(), "0");
    UpDown(CGrpPrj::kAutoPowerOffUpDown, +1, "180");
    EXPECT_FALSE(Page()->Waiting());

    // From 4 the arrow sends 5 right-aligned in three places, and the field shows 5.
    UpDown(CGrpPrj::kVolumeUpDown, +1, "4");
    EXPECT_EQ(Ctl<QLineEdit>(CGrpPrj::kVolumeEdit)->text(), "5");
    ASSERT_TRUE(WaitUntilBack());
    EXPECT_EQ(AddressesOf("command=~0081   5"), All());

    // "Set" writes the same value with leading zeros.
    QTest::mouseClick(Ctl<QPushButton>(CGrpPrj::kVolumeSet), Qt::LeftButton);
    ASSERT_TRUE(WaitUntilBack());
    EXPECT_EQ(AddressesOf("command=~0081 005"), All());

    // Auto power off moves by one in the group form.
    UpDown(CGrpPrj::kAutoPowerOffUpDown, +1, "179");
    EXPECT_EQ(Ctl<QLineEdit>(CGrpPrj::kAutoPowerOffEdit)->text(), "180");
    ASSERT_TRUE(WaitUntilBack());
    EXPECT_EQ(AddressesOf("command=~00106 180"), All());

    EXPECT_EQ(Requests().size(), 9u);
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(fleet->State(i).control.volume, 5) << i;
        EXPECT_EQ(fleet->State(i).control.autoPowerOff, 180) << i;
    }
}

TEST_F(GrpSetDlgTest, SetRefusesAVolumeOutsideTheRange) {
    Open();
    Ctl<QLineEdit>(CGrpPrj::kVolumeEdit)->setText("16");
    ModalScript script;
    script.Then(script.Answer(QMessageBox::Ok));
    QTest::mouseClick(Ctl<QPushButton>(CGrpPrj::kVolumeSet), Qt::LeftButton);
    ASSERT_TRUE(script.Finished());
    ASSERT_EQ(script.boxes.size(), 1u);
    EXPECT_EQ(script.boxes[0].text, "Please enter an integer between 0 and 15.");
    EXPECT_FALSE(Page()->Waiting());
    EXPECT_EQ(ring->Head(), 0u);
    EXPECT_THAT(Requests(), IsEmpty());
}

TEST_F(GrpSetDlgTest, RingBoxesDisableOnlyThemselvesAndGoInListOrder) {
    Open();
    QTest::mouseClick(Ctl<QCheckBox>(CGrpPrj::kThreeD), Qt::LeftButton);
    std::vector<int> others = CGrpPrj::PageControls();
    std::erase(others, CGrpPrj::kThreeD);
    EXPECT_EQ(EnabledControls(), others);
    EXPECT_EQ(dialog->ProgressBar()->maximum(), 3);
    ASSERT_TRUE(WaitUntilBack());
    EXPECT_THAT(barValues, ElementsAre(1, 2, 3, 0));
    EXPECT_EQ(EnabledControls(), CGrpPrj::PageControls());

    QTest::mouseClick(Ctl<QCheckBox>(CGrpPrj::kSyncInvert), Qt::LeftButton);
    EXPECT_FALSE(Ctl<QWidget>(CGrpPrj::kSyncInvert)->isEnabled());
    ASSERT_TRUE(WaitUntilBack());
    QTest::mouseClick(Ctl<QCheckBox>(CGrpPrj::kAutoKeystone), Qt::LeftButton);
    EXPECT_FALSE(Ctl<QWidget>(CGrpPrj::kAutoKeystone)->isEnabled());
    EXPECT_TRUE(Ctl<QWidget>(CGrpPrj::kThreeD)->isEnabled());
    ASSERT_TRUE(WaitUntilBack());

    const std::vector<std::pair<std::string, std::string>> expected = {
        {fleet->Address(0), "command=~0090 1"}, {fleet->Address(1), "command=~0090 1"},
        {fleet->Address(2), "command=~0090 1"}, {fleet->Address(0), "command=~0091 1"},
        {fleet->Address(1), "command=~0091 1"}, {fleet->Address(2), "command=~0091 1"},
        {fleet->Address(0), "command=~0069 1"}, {fleet->Address(1), "command=~0069 1"},
        {fleet->Address(2), "command=~0069 1"},
    };
    EXPECT_EQ(Requests(), expected);
    for (size_t i = 0; i < 3; ++i) {
        const sim::ProjectorState s = fleet->State(i);
        EXPECT_EQ(s.control.threeD, 1) << i;
        EXPECT_EQ(s.control.threeDSyncInvert, 1) << i;
        EXPECT_EQ(s.control.autoKeystone, 1) << i;
    }
}

TEST_F(GrpSetDlgTest, ApplyGivesEveryProjectorTheSameGroupAndName) {
    for (size_t i = 0; i < 3; ++i)
        fleet->UpdateState(i, [](sim::ProjectorState& s) { s.name = "Old"; });
    Open();
    QTest::keyClicks(Ctl<QLineEdit>(CGrpPrj::kGroupNameEdit), "Lobby");
    QTest::mouseClick(Ctl<QPushButton>(CGrpPrj::kApply), Qt::LeftButton);
    ASSERT_TRUE(WaitUntilBack());
    EXPECT_EQ(AddressesOf("set=group" + std::string("Lobby") + std::string(27 + 32, ' ')), All());
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(fleet->State(i).group, "Lobby") << i;
        EXPECT_EQ(fleet->State(i).name, "") << i;
    }
    // A name longer than the record's field cannot be typed.
    auto* name = Ctl<QLineEdit>(CGrpPrj::kProjectorNameEdit);
    QTest::keyClicks(name, QString(40, 'x'));
    EXPECT_EQ(name->text().size(), 32);
}

TEST_F(GrpSetDlgTest, RequestsTheRingDropsCountAsAnswered) {
    Open();
    // Hold the worker on a projector that answers only after the time limit, then fill the
    // ring to one free slot: of the three requests for "3D" the ring keeps the first
    // target's and drops the other two.
    sim::Faults slow;
    slow.replyDelayMs = 3000;
    fleet->SetFaults(2, slow);
    ring->Enqueue("query=info", {}, fleet->Address(2));
    ASSERT_TRUE(QTest::qWaitFor([&] { return ring->Tail() == 1; }, kWaitMs));
    while (ring->Head() < 61)
        ring->Enqueue("query=info", {}, fleet->Address(0));
    QTest::mouseClick(Ctl<QCheckBox>(CGrpPrj::kThreeD), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Page()->Pending() == 1; }, kWaitMs));
    EXPECT_EQ(dialog->ProgressBar()->value(), 2);
    EXPECT_FALSE(Ctl<QWidget>(CGrpPrj::kThreeD)->isEnabled());

    // The page comes back once the request that was kept is answered; the bar keeps saying
    // that two never went out.
    ASSERT_TRUE(WaitUntilBack());
    EXPECT_THAT(barValues, ElementsAre(1, 2, 3));
    EXPECT_TRUE(dialog->ProgressBar()->text().startsWith("1 done, 2 failed"))
        << dialog->ProgressBar()->text().toStdString();
    EXPECT_TRUE(Ctl<QWidget>(CGrpPrj::kThreeD)->isEnabled());
    EXPECT_THAT(AddressesOf("command=~0090 1"), ElementsAre(fleet->Address(0)));
}

TEST_F(GrpSetDlgTest, FailedProjectorsAreCountedAndNamedOnTheBarUntilTheNextSend) {
    sim::Faults hang;
    hang.hang = true;
    fleet->SetFaults(1, hang);
    sim::Faults refuse;
    refuse.commandTimeout = true;
    fleet->SetFaults(2, refuse);
    for (size_t i = 0; i < 3; ++i)
        fleet->UpdateState(i, [](sim::ProjectorState& s) { s.power = sim::kPowerOff; });
    Open();
    QProgressBar* bar = dialog->ProgressBar();
    Choose(CGrpPrj::kPower, 1);
    // The two that answer step the bar while the third hangs, holding the page only until
    // the time limit.
    ASSERT_TRUE(QTest::qWaitFor([&] { return barValues.size() >= 2; }, kWaitMs));
    EXPECT_THAT(EnabledControls(), IsEmpty());
    EXPECT_FALSE(bar->isTextVisible());
    ASSERT_TRUE(WaitUntilBack());
    EXPECT_EQ(EnabledControls(), CGrpPrj::PageControls());
    EXPECT_EQ(fleet->State(0).power, sim::kPowerOn);
    EXPECT_NE(fleet->State(2).power, sim::kPowerOn);

    // The bar stays full and says which failed and why.
    EXPECT_THAT(barValues, ElementsAre(1, 2, 3));
    ASSERT_TRUE(bar->isTextVisible());
    const std::string said = bar->text().toStdString();
    EXPECT_THAT(said, ::testing::StartsWith("1 done, 2 failed"));
    EXPECT_THAT(said, ::testing::HasSubstr(fleet->Address(1) + " (no answer)"));
    EXPECT_THAT(said, ::testing::HasSubstr(fleet->Address(2) + " (timed out)"));
    EXPECT_EQ(dialog->findChildren<QMessageBox*>().size(), 0);

    // The next send starts a fresh count; all answering, the bar goes back to empty.
    fleet->SetFaults(1, {});
    fleet->SetFaults(2, {});
    barValues.clear();
    Ctl<QLineEdit>(CGrpPrj::kGroupNameEdit)->setText("Lab");
    QTest::mouseClick(Ctl<QPushButton>(CGrpPrj::kApply), Qt::LeftButton);
    ASSERT_TRUE(WaitUntilBack());
    ASSERT_TRUE(QTest::qWaitFor([&] { return bar->value() == 0; }, kWaitMs));
    EXPECT_THAT(barValues, ElementsAre(0, 1, 2, 3, 0));
    EXPECT_FALSE(bar->isTextVisible());
}

TEST_F(GrpSetDlgTest, FrameShowsTheGroupAndItsSidePagesSendNothing) {
    Open("All Projectors");
    EXPECT_EQ(dialog->windowTitle(), "Group Setting");
    EXPECT_EQ(dialog->targetGroup(), "All Projectors");
    EXPECT_EQ(FrameCtl<CStaticText>(1038)->text(), "Group:");
    EXPECT_EQ(FrameCtl<CStaticText>(1018)->text(), "All Projectors");
    for (int id : {1038, 1018}) {
        EXPECT_EQ(FrameCtl<CStaticText>(id)->textColor(), QColor(255, 255, 255)) << id;
        EXPECT_EQ(FrameCtl<CStaticText>(id)->weight(), 400) << id;
    }
    const std::pair<int, QColor> sides[] = {{1028, QColor(131, 113, 172)},
                                            {1029, QColor(131, 113, 172)},
                                            {1030, QColor(71, 58, 101)},
                                            {1031, QColor(71, 58, 101)}};
    for (const auto& [id, back] : sides) {
        EXPECT_EQ(FrameCtl<CStaticText>(id)->textColor(), QColor(60, 60, 60)) << id;
        EXPECT_EQ(FrameCtl<CStaticText>(id)->backColor(), back) << id;
        EXPECT_EQ(FrameCtl<CStaticText>(id)->weight(), 700) << id;
    }
    EXPECT_TRUE(FrameCtl<QPushButton>(1024)->isChecked());
    EXPECT_TRUE(Page()->isVisible());

    // Side buttons show one page at a time; the pages not built yet send nothing.
    for (int button : {1025, 1026, 1027, 1024}) {
        QTest::mouseClick(FrameCtl<QPushButton>(button), Qt::LeftButton);
        int shown = 0;
        for (int side = 0; side < CGrpSetDlg::kSideCount; ++side)
            shown += dialog->Page(side)->isVisible() ? 1 : 0;
        EXPECT_EQ(shown, 1);
        EXPECT_TRUE(dialog->Page(button - 1024)->isVisible()) << button;
    }
    // Nothing is queried on opening or switching.
    EXPECT_EQ(ring->Head(), 0u);
    EXPECT_THAT(Requests(), IsEmpty());

    // "OK" ends the dialog.
    QTest::mouseClick(FrameCtl<QPushButton>(1), Qt::LeftButton);
    EXPECT_FALSE(dialog->isVisible());
    EXPECT_EQ(dialog->result(), QDialog::Accepted);
}

TEST(BatchProgressTest, OverlappingSendsWidenTheRangeAndTheBarSettlesAfterTheLast) {
    QProgressBar bar;
    BatchProgress progress(&bar, nullptr);
    int settled = 0;
    QObject::connect(&progress, &BatchProgress::settled, [&] { ++settled; });
    progress.Begin(2);
    progress.Step();
    // Answers of the first send are still out: the second adds to them.
    progress.Begin(3);
    EXPECT_EQ(progress.Total(), 5);
    EXPECT_EQ(progress.Position(), 1);
    for (int i = 0; i < 4; ++i)
        progress.Step();
    EXPECT_EQ(progress.Position(), 5);
    progress.Step();  // an extra answer never goes past the end
    EXPECT_EQ(progress.Position(), 5);
    ASSERT_TRUE(QTest::qWaitFor([&] { return settled == 1; }, kWaitMs));
    EXPECT_EQ(progress.Position(), 0);

    // A send while the bar waits to go back to 0 starts a fresh count.
    progress.Begin(1);
    progress.Step();
    progress.Begin(4);
    EXPECT_EQ(progress.Total(), 4);
    EXPECT_EQ(progress.Position(), 0);
    QTest::qWait(700);
    EXPECT_EQ(settled, 1);
}

// The whole road from the main window: a double-click on a group opens the dialog for the
// ticked projectors, a choice reaches each of them, and closing resumes polling once.
class GroupDialogFromWindowTest : public CommandFixture {};

TEST_F(GroupDialogFromWindowTest, GroupDoubleClickOpensTheDialogForTheTickedProjectors) {
    Start({{"Lab", "P1"}, {"Lab", "P2"}, {"Lab", "P3"}}, {"Lab"});
    std::vector<std::string> shownGroup;
    projectorCommands->SetGroupSettingsRunner([&](const std::string& group) {
        CGrpSetDlg dialog(window.get(), *console, backend->ring(), *store, group);
        dialog.exec();
    });
    ASSERT_TRUE(WaitForGroupsPolled());
    SelectGroup(0);
    ASSERT_TRUE(WaitForRows(3));
    window->Model()->SetChecked(0, true);
    window->Model()->SetChecked(2, true);
    const std::vector<std::string> ticked = {window->Model()->Cell(0, ProjectorListModel::kIp),
                                             window->Model()->Cell(2, ProjectorListModel::kIp)};

    ModalScript script;
    script
        .Then(OnDialog<CGrpSetDlg>([&](CGrpSetDlg& dialog) {
            shownGroup.push_back(
                dialog.findChild<CStaticText*>(ControlName(1018))->text().toStdString());
            auto* source =
                dialog.ProjectorPage()->findChild<QComboBox*>(ControlName(CGrpPrj::kSource));
            source->setCurrentIndex(3);  // "VGA-2"
            emit source->activated(3);
        }))
        .Then([](QWidget* modal) {
            auto* dialog = qobject_cast<CGrpSetDlg*>(modal);
            if (!dialog || dialog->ProjectorPage()->Waiting())
                return false;
            dialog->accept();
            return true;
        });
    CGrpList* list = window->GroupList();
    const QRect item = list->visualItemRect(list->item(0));
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, item.center());
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, item.center());
    ASSERT_TRUE(script.Finished());
    EXPECT_THAT(shownGroup, ElementsAre("Lab"));

    std::vector<std::string> reached;
    for (const auto& [address, body] : Received("command=~0012 6"))
        reached.push_back(address);
    std::sort(reached.begin(), reached.end());
    std::vector<std::string> expected = ticked;
    std::sort(expected.begin(), expected.end());
    EXPECT_EQ(reached, expected);
    EXPECT_EQ(backend->pauseCalls, (std::vector<bool>{true, false}));
    EXPECT_FALSE(backend->poller().Paused());
}

// The demo console as an operator runs it: a double-click on a group opens the dialog, and
// every control of the Projector page reaches each ticked projector of the group.
TEST(GroupDialogDemoTest, EveryControlReachesEveryProjectorOfTheGroup) {
    QTemporaryDir dir;
    SessionOptions options;
    options.appName = "vistrel-gui-test";
    options.storeFile = (dir.path() + "/registry.reg").toStdString();
    DemoOptions demo;
    demo.count = 6;
    demo.firstAddress = "127.0.13.2";
    demo.consoleAddress = "127.0.13.1";
    demo.silentAfter = std::chrono::milliseconds(0);
    options.demo = demo;
    ConsoleSession session(options);
    std::string error;
    ASSERT_TRUE(session.Start(&error)) << error;
    CVistrelDlg& window = session.window();
    window.show();
    sim::Fleet& fleet = session.demo()->fleet();
    for (size_t i = 0; i < fleet.Size(); ++i)
        fleet.UpdateState(i, [](sim::ProjectorState& s) { s.power = sim::kPowerOn; });

    // The first group that has projectors; its rows are what the group view shows.
    ASSERT_GT(window.GroupList()->count(), 0);
    window.GroupList()->setCurrentRow(0);
    window.ShowGroup();
    const std::string group = window.SelectedGroupName();
    std::vector<std::string> members;
    for (size_t i = 0; i < fleet.Size(); ++i) {
        if (fleet.State(i).group == group)
            members.push_back(fleet.Address(i));
    }
    ASSERT_FALSE(members.empty()) << group;
    const ProjectorListModel& model = *window.Model();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return model.RowCount() == static_cast<int>(members.size()); }, 20000));
    session.projectorCommands().CheckAll();

    // One operator action per step, each once the page has its answers back.
    using Act = std::function<void(CGrpPrj&)>;
    auto choose = [](int id, int index) {
        return [id, index](CGrpPrj& page) {
            auto* combo = page.findChild<QComboBox*>(ControlName(id));
            combo->setCurrentIndex(index);
            emit combo->activated(index);
        };
    };
    auto click = [](int id) {
        return [id](CGrpPrj& page) {
            QTest::mouseClick(page.findChild<QAbstractButton*>(ControlName(id)), Qt::LeftButton);
        };
    };
    auto step = [](int id, bool up) {
        return [id, up](CGrpPrj& page) {
            auto* upDown = page.findChild<CUpDown*>(ControlName(id));
            QTest::mouseClick(up ? upDown->upButton() : upDown->downButton(), Qt::LeftButton);
        };
    };
    const std::vector<std::pair<Act, std::string>> actions = {
        {choose(CGrpPrj::kPower, 1), "command=~0000 1"},
        {choose(CGrpPrj::kSource, 1), "command=~0012 1"},
        {click(CGrpPrj::kSourceLock), "command=~00100 1"},
        {click(CGrpPrj::kFreeze), "command=~0004 1"},
        {click(CGrpPrj::kAvMute), "command=~0002 1"},
        {click(CGrpPrj::kAutoKeystone), "command=~0069 1"},
        {click(CGrpPrj::kThreeD), "command=~0090 1"},
        {click(CGrpPrj::kSyncInvert), "command=~0091 1"},
        {step(CGrpPrj::kAutoPowerOffUpDown, true), "command=~00106 1"},
        {step(CGrpPrj::kVolumeUpDown, true), "command=~0081   1"},
        {click(CGrpPrj::kVolumeSet), "command=~0081 001"},
        {click(CGrpPrj::kResync), "command=~0001 1"},
        {[](CGrpPrj& page) {
             page.findChild<QLineEdit*>(ControlName(CGrpPrj::kGroupNameEdit))->setText("Atrium");
             page.findChild<QLineEdit*>(ControlName(CGrpPrj::kProjectorNameEdit))
                 ->setText("Beamer");
             QTest::mouseClick(page.findChild<QPushButton*>(ControlName(CGrpPrj::kApply)),
                               Qt::LeftButton);
         },
         "set=group" + PadField("Atrium", 32) + PadField("Beamer", 32)},
    };
    ModalScript script(60000);
    for (const auto& action : actions) {
        script.Then([&action](QWidget* modal) {
            auto* dialog = qobject_cast<CGrpSetDlg*>(modal);
            if (!dialog || dialog->ProjectorPage()->Waiting())
                return false;
            action.first(*dialog->ProjectorPage());
            return true;
        });
    }
    script.Then([](QWidget* modal) {
        auto* dialog = qobject_cast<CGrpSetDlg*>(modal);
        if (!dialog || dialog->ProjectorPage()->Waiting())
            return false;
        dialog->accept();
        return true;
    });
    CGrpList* list = window.GroupList();
    const QRect item = list->visualItemRect(list->currentItem());
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, item.center());
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, item.center());
    ASSERT_TRUE(script.Finished()) << model.CheckedCount() << " ticked";

    std::sort(members.begin(), members.end());
    for (const auto& [act, body] : actions) {
        std::vector<std::string> reached;
        for (const sim::LogEntry& entry : fleet.Log().Entries()) {
            if (entry.kind == "http" && entry.body == body)
                reached.push_back(entry.address);
        }
        std::sort(reached.begin(), reached.end());
        EXPECT_EQ(reached, members) << body;
    }
    size_t renamed = 0;
    for (size_t i = 0; i < fleet.Size(); ++i) {
        if (fleet.State(i).group != "Atrium")
            continue;
        ++renamed;
        const sim::ProjectorState s = fleet.State(i);
        EXPECT_EQ(s.name, "Beamer");
        EXPECT_EQ(s.control.threeD, 1);
        EXPECT_EQ(s.control.volume, 1);
    }
    EXPECT_EQ(renamed, members.size());
}

}  // namespace
}  // namespace vistrel::test
