// The Setting tab against one simulated projector: the inverted "Information Hide" digit,
// the check boxes and their failure, the sleep timer's steps, the fixed-length message, and
// "Reset all".
#include "settings/projector/page_set.h"

#include <QCheckBox>
#include <QPushButton>

#include "settings/common/up_down.h"
#include "settings/projector/page_img.h"
#include "tab_page_fixture.h"

namespace vistrel::test {
namespace {

constexpr int kTab = CPrjSetDlg::kTabSetting;

class PageSetTest : public TabPageTest {
  protected:
    QCheckBox* Box(int id) const { return Ctl<QCheckBox>(kTab, id); }
    QString Text(int id) const { return Ctl<QLineEdit>(kTab, id)->text(); }
    void Click(int id) { QTest::mouseClick(Ctl<QWidget>(kTab, id), Qt::LeftButton); }
};

TEST_F(PageSetTest, ShowsTheProjectorsSettingsWithInformationHideInverted) {
    sim::ProjectorState state = StartState();
    state.control.infoHide = 1;  // reported as digit 0
    state.control.brightMode = 1;
    state.control.highAltitude = 0;
    state.control.keypadLock = 1;
    state.control.background = 2;
    state.control.logo = 1;
    state.control.projectorId = 7;
    state.control.sleepTimer = 120;
    OpenWith(state, kTab);
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_EQ(dialog->controlText()[26], '0');
    EXPECT_TRUE(Box(CPageSet::kInformationHide)->isChecked());
    EXPECT_TRUE(Box(CPageSet::kBrightMode)->isChecked());
    EXPECT_FALSE(Box(CPageSet::kHighAltitude)->isChecked());
    EXPECT_TRUE(Box(CPageSet::kKeypadLock)->isChecked());
    EXPECT_EQ(Ctl<QComboBox>(kTab, CPageSet::kBackgroundColor)->currentText(), "Blue");
    EXPECT_EQ(Ctl<QComboBox>(kTab, CPageSet::kLogo)->currentText(), "User");
    EXPECT_EQ(Text(CPageSet::kProjectorIdEdit), "7");
    EXPECT_EQ(Text(CPageSet::kSleepTimerEdit), "120");
    EXPECT_TRUE(Ctl<QLineEdit>(kTab, CPageSet::kSleepTimerEdit)->isReadOnly());
    EXPECT_FALSE(Ctl<QWidget>(kTab, CPageSet::kSleepTimerSet)->isVisible());
    EXPECT_TRUE(AllEnabled(kTab, CPageSet::FullGroup()));

    fleet->UpdateState(0, [](sim::ProjectorState& s) { s.control.infoHide = 0; });
    ASSERT_TRUE(Refresh());
    EXPECT_FALSE(Box(CPageSet::kInformationHide)->isChecked());
}

TEST_F(PageSetTest, CheckBoxesListsAndNumbersChangeTheProjector) {
    sim::ProjectorState state = StartState();
    state.control.infoHide = 0;
    state.control.brightMode = 0;
    state.control.highAltitude = 0;
    state.control.keypadLock = 0;
    state.control.projectorId = 98;
    OpenWith(state, kTab);
    ASSERT_FALSE(HasFatalFailure());
    for (int id : {CPageSet::kBrightMode, CPageSet::kInformationHide, CPageSet::kHighAltitude,
                   CPageSet::kKeypadLock}) {
        Click(id);
        EXPECT_TRUE(Box(id)->isChecked()) << id;
        // Until the projector answers the box waits.
        EXPECT_FALSE(Box(id)->isEnabled()) << id;
        // One at a time: the queue drops a request that the next one of the same code
        // family supersedes.
        ASSERT_TRUE(WaitForReady());
        EXPECT_TRUE(Box(id)->isEnabled()) << id;
    }
    Choose(kTab, CPageSet::kBackgroundColor, 2);
    Choose(kTab, CPageSet::kLogo, 1);
    Ctl<CUpDown>(kTab, CPageSet::kProjectorIdUpDown)->Step(+1);
    ASSERT_TRUE(WaitForCount("command=~0079 99", 1));
    Ctl<CUpDown>(kTab, CPageSet::kProjectorIdUpDown)->Step(+1);  // 100: nothing
    EXPECT_EQ(Text(CPageSet::kProjectorIdEdit), "99");
    ASSERT_TRUE(WaitForReady());
    EXPECT_EQ(Count("command=~00110 1"), 1u);
    EXPECT_EQ(Count("command=~00102 1"), 1u);
    EXPECT_EQ(Count("command=~00101 1"), 1u);
    EXPECT_EQ(Count("command=~00103 1"), 1u);
    EXPECT_EQ(Count("command=~00104 1"), 1u);  // "Blue"
    EXPECT_EQ(Count("command=~0082 2"), 1u);
    EXPECT_EQ(Count("command=~0079 100"), 0u);
    for (int id : {CPageSet::kBrightMode, CPageSet::kInformationHide, CPageSet::kHighAltitude,
                   CPageSet::kKeypadLock}) {
        EXPECT_TRUE(Box(id)->isChecked()) << id;
        EXPECT_TRUE(Box(id)->isEnabled()) << id;
    }
    sim::ProjectorState now = State();
    EXPECT_EQ(now.control.brightMode, 1);
    EXPECT_EQ(now.control.infoHide, 1);
    EXPECT_EQ(now.control.highAltitude, 1);
    EXPECT_EQ(now.control.keypadLock, 1);
    EXPECT_EQ(now.control.background, 2);
    EXPECT_EQ(now.control.logo, 1);
    EXPECT_EQ(now.control.projectorId, 99);

    auto* id = Ctl<QLineEdit>(kTab, CPageSet::kProjectorIdEdit);
    auto* idSet = Ctl<QPushButton>(kTab, CPageSet::kProjectorIdSet);
    EXPECT_EQ(SetExpectingMessage(id, idSet, "100"), "Please enter an integer between 0 and 99.");
    EXPECT_EQ(SetExpectingMessage(id, idSet, "one"), "Please enter an integer.");
    id->setText("0");
    QTest::mouseClick(idSet, Qt::LeftButton);
    ASSERT_TRUE(WaitForCount("command=~0079 0", 1));
    ASSERT_TRUE(WaitForReady());
    EXPECT_EQ(State().control.projectorId, 0);
}

TEST_F(PageSetTest, SleepTimerMovesInFivesAndNeverPastItsRange) {
    sim::ProjectorState state = StartState();
    state.control.sleepTimer = 990;
    OpenWith(state, kTab);
    ASSERT_FALSE(HasFatalFailure());
    CUpDown* sleep = Ctl<CUpDown>(kTab, CPageSet::kSleepTimerUpDown);
    QTest::mouseClick(sleep->upButton(), Qt::LeftButton);
    EXPECT_EQ(Text(CPageSet::kSleepTimerEdit), "995");
    ASSERT_TRUE(WaitForCount("command=~00107 995", 1));
    ASSERT_TRUE(WaitForReady());
    const size_t commands = CountCommands();
    sleep->Step(+1);  // 1000 is outside: nothing, and the field keeps what the projector has
    EXPECT_EQ(Text(CPageSet::kSleepTimerEdit), "995");
    sleep->Step(-1);
    EXPECT_EQ(Text(CPageSet::kSleepTimerEdit), "990");
    ASSERT_TRUE(WaitForCount("command=~00107 990", 1));
    ASSERT_TRUE(WaitForReady());
    EXPECT_EQ(CountCommands(), commands + 1);
    EXPECT_EQ(State().control.sleepTimer, 990);

    fleet->UpdateState(0, [](sim::ProjectorState& s) { s.control.sleepTimer = 3; });
    ASSERT_TRUE(Refresh());
    sleep->Step(-1);  // -2: nothing
    EXPECT_EQ(Text(CPageSet::kSleepTimerEdit), "3");
    ASSERT_TRUE(WaitForReady());
    EXPECT_EQ(CountCommands(), commands + 1);
}

TEST_F(PageSetTest, TheMessageAlwaysFillsItsThirtyByteField) {
    OpenWith(StartState(), kTab);
    ASSERT_FALSE(HasFatalFailure());
    auto* message = Ctl<QLineEdit>(kTab, CPageSet::kMessageEdit);
    QTest::keyClicks(message, "Hello");
    Click(CPageSet::kSend);
    ASSERT_TRUE(WaitForCount("command=~00210 Hello" + std::string(25, ' '), 1));
    message->clear();
    Click(CPageSet::kSend);
    ASSERT_TRUE(WaitForCount("command=~00210 " + std::string(30, ' '), 1));
    ASSERT_TRUE(WaitForReady());
    EXPECT_EQ(State().control.message, "");

    // Accented letters are one byte each on the projector: the field takes thirty.
    message->setText(QString(20, QChar(0x00E9)));
    EXPECT_EQ(message->text(), QString(20, QChar(0x00E9)));
    message->setText(QStringLiteral("abc") + QString(30, QChar(0x00E9)));
    EXPECT_EQ(message->text(), QStringLiteral("abc") + QString(27, QChar(0x00E9)));
    Click(CPageSet::kSend);
    const std::string expected = "command=~00210 abc" + std::string(27, '\xE9');
    ASSERT_TRUE(WaitForCount(expected, 1));
    for (const std::string& body : Bodies()) {
        if (body.starts_with("command=~00210 ")) {
            EXPECT_EQ(body.size(), 15u + 30u) << body;
        }
    }
}

TEST_F(PageSetTest, AFailedCheckBoxIsPutBackWithoutDisablingThePage) {
    sim::ProjectorState state = StartState();
    state.control.keypadLock = 0;
    OpenWith(state, kTab);
    ASSERT_FALSE(HasFatalFailure());
    sim::Faults faults;
    faults.commandTimeout = true;
    fleet->SetFaults(0, faults);
    const size_t controls = Count("query=control");
    Click(CPageSet::kKeypadLock);
    EXPECT_FALSE(Box(CPageSet::kKeypadLock)->isEnabled());
    ASSERT_TRUE(WaitForCount("command=~00103 1", 1));
    ASSERT_TRUE(QTest::qWaitFor([&] { return Box(CPageSet::kKeypadLock)->isEnabled(); }, kWaitMs));
    EXPECT_FALSE(Box(CPageSet::kKeypadLock)->isChecked());
    EXPECT_EQ(State().control.keypadLock, 0);
    ASSERT_TRUE(WaitForReady());
    EXPECT_TRUE(AllEnabled(kTab, CPageSet::FullGroup()));
    EXPECT_EQ(Count("query=control"), controls);

    // Any other failed command disables the page until fresh state comes.
    faults.truncate["control"] = 0;
    fleet->SetFaults(0, faults);
    Choose(kTab, CPageSet::kLogo, 0);
    ASSERT_TRUE(WaitForCount("query=control", controls + 1));
    ASSERT_TRUE(WaitForReady());
    EXPECT_TRUE(NoneEnabled(kTab, CPageSet::FullGroup()));
    EXPECT_TRUE(AllEnabled(kTab, {CPageSet::kSend, CPageSet::kResetAll}));
    fleet->SetFaults(0, {});
    ASSERT_TRUE(Refresh());
    EXPECT_TRUE(AllEnabled(kTab, CPageSet::FullGroup()));
}

TEST_F(PageSetTest, CheckBoxesQueuedTogetherAreAllSent) {
    sim::ProjectorState state = StartState();
    state.control.highAltitude = 0;
    state.control.infoHide = 0;
    OpenWith(state, kTab);
    ASSERT_FALSE(HasFatalFailure());
    // A slow answer keeps the queue busy, so both clicks wait in it together; they share
    // their first digits ("~00101", "~00102") but are different settings: both go out.
    sim::Faults slow;
    slow.replyDelayMs = 1500;
    fleet->SetFaults(0, slow);
    const size_t infos = Count("query=info");
    dialog->QueryInfo();
    Click(CPageSet::kHighAltitude);
    Click(CPageSet::kInformationHide);
    if (Count("query=info") != infos)
        GTEST_SKIP() << "the slow request was answered before both clicks were queued";
    fleet->SetFaults(0, {});

    ASSERT_TRUE(WaitForCount("command=~00101 1", 1));
    ASSERT_TRUE(WaitForCount("command=~00102 1", 1));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return Box(CPageSet::kHighAltitude)->isEnabled() &&
                   Box(CPageSet::kInformationHide)->isEnabled();
        },
        kWaitMs));
    EXPECT_TRUE(Box(CPageSet::kHighAltitude)->isChecked());
    EXPECT_TRUE(Box(CPageSet::kInformationHide)->isChecked());
    EXPECT_EQ(State().control.highAltitude, 1);
}

TEST_F(PageSetTest, AvMuteDisablesOnlyBrightModeAndPowerOffLeavesSendAndReset) {
    sim::ProjectorState state = StartState();
    state.control.avMute = 1;
    OpenWith(state, kTab);
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_FALSE(Box(CPageSet::kBrightMode)->isEnabled());
    std::vector<int> others = CPageSet::FullGroup();
    std::erase(others, static_cast<int>(CPageSet::kBrightMode));
    EXPECT_TRUE(AllEnabled(kTab, others));

    fleet->UpdateState(0, [](sim::ProjectorState& s) { s.power = sim::kPowerOff; });
    ASSERT_TRUE(Refresh());
    EXPECT_TRUE(NoneEnabled(kTab, CPageSet::FullGroup()));
    EXPECT_TRUE(AllEnabled(kTab, {CPageSet::kSend, CPageSet::kResetAll}));
}

TEST_F(PageSetTest, ResetAllReturnsTheProjectorToItsStartUpSettingsAndShowsThem) {
    sim::ProjectorState state = StartState();
    state.control.brightness = 61;
    state.control.keystone = -7;
    state.control.sleepTimer = 45;
    OpenWith(state, kTab);
    ASSERT_FALSE(HasFatalFailure());
    fleet->UpdateState(0, [](sim::ProjectorState& s) {
        s.control.brightness = 5;
        s.control.keystone = 33;
        s.control.sleepTimer = 500;
    });
    ASSERT_TRUE(Refresh());
    ASSERT_EQ(Text(CPageSet::kSleepTimerEdit), "500");

    const size_t controls = Count("query=control");
    Click(CPageSet::kResetAll);
    ASSERT_TRUE(WaitForCount("command=~00112 1", 1));
    // Every page shows the settings the reset brought back.
    ASSERT_TRUE(WaitForCount("query=control", controls + 1));
    ASSERT_TRUE(WaitForReady());
    EXPECT_EQ(State().control.brightness, 61);
    EXPECT_EQ(State().control.keystone, -7);
    EXPECT_EQ(Text(CPageSet::kSleepTimerEdit), "45");
    EXPECT_EQ(Ctl<QLineEdit>(CPrjSetDlg::kTabImage, CPageImg::kBrightnessEdit)->text(), "61");
}

}  // namespace
}  // namespace vistrel::test
