// The Display tab against one simulated projector: signed values both ways, the signal
// group, the up-down ends, typed values, and a time-out in place of the control reply.
#include "settings/projector/page_disp.h"

#include <QPushButton>

#include "settings/common/up_down.h"
#include "settings/projector/page_img.h"
#include "settings/projector/page_prj.h"
#include "settings/projector/page_set.h"
#include "tab_page_fixture.h"

namespace vistrel::test {
namespace {

constexpr int kTab = CPrjSetDlg::kTabDisplay;

class PageDispTest : public TabPageTest {
  protected:
    QString Text(int id) const { return Ctl<QLineEdit>(kTab, id)->text(); }
    QString Row(int id) const { return Ctl<QComboBox>(kTab, id)->currentText(); }
};

TEST_F(PageDispTest, ShowsSignedValuesAsTheProjectorReportsThem) {
    sim::ProjectorState state = StartState();
    state.control.imageShift = -10;
    state.control.keystone = 10;
    state.control.zoom = -5;
    state.control.projection = 3;
    state.control.displayFormat = 4;
    OpenWith(state, kTab);
    ASSERT_FALSE(HasFatalFailure());
    // The reply carries "-10", "010" and "-5" in their fields.
    EXPECT_NE(dialog->controlText().find("-10010"), std::string::npos) << dialog->controlText();
    EXPECT_EQ(Text(CPageDisp::kImageShiftEdit), "-10");
    EXPECT_EQ(Text(CPageDisp::kKeystoneEdit), "10");
    EXPECT_EQ(Text(CPageDisp::kZoomEdit), "-5");
    EXPECT_EQ(Row(CPageDisp::kProjection), "Rear + Ceiling");
    EXPECT_EQ(Row(CPageDisp::kDisplayFormat), "Auto");

    fleet->UpdateState(0, [](sim::ProjectorState& s) {
        s.control.imageShift = 10;
        s.control.keystone = -40;
        s.control.zoom = 25;
        s.control.projection = 1;
    });
    ASSERT_TRUE(Refresh());
    EXPECT_EQ(Text(CPageDisp::kImageShiftEdit), "10");
    EXPECT_EQ(Text(CPageDisp::kKeystoneEdit), "-40");
    EXPECT_EQ(Text(CPageDisp::kZoomEdit), "25");
    EXPECT_EQ(Row(CPageDisp::kProjection), "Front + Ceiling");
}

TEST_F(PageDispTest, UpDownsSendSignedValuesOnlyWithinRange) {
    sim::ProjectorState state = StartState();
    state.control.zoom = 25;
    state.control.imageShift = -9;
    state.control.keystone = -40;
    OpenWith(state, kTab);
    ASSERT_FALSE(HasFatalFailure());
    const size_t commands = CountCommands();
    Ctl<CUpDown>(kTab, CPageDisp::kZoomUpDown)->Step(+1);  // 26: nothing
    EXPECT_EQ(Text(CPageDisp::kZoomEdit), "25");
    Ctl<CUpDown>(kTab, CPageDisp::kKeystoneUpDown)->Step(-1);  // -41: nothing
    ASSERT_TRUE(WaitForReady());
    EXPECT_EQ(CountCommands(), commands);

    fleet->UpdateState(0, [](sim::ProjectorState& s) { s.control.zoom = -4; });
    ASSERT_TRUE(Refresh());
    QTest::mouseClick(Ctl<CUpDown>(kTab, CPageDisp::kZoomUpDown)->downButton(), Qt::LeftButton);
    EXPECT_EQ(Text(CPageDisp::kZoomEdit), "-5");
    ASSERT_TRUE(WaitForCount("command=~0062 -5", 1));
    Ctl<CUpDown>(kTab, CPageDisp::kImageShiftUpDown)->Step(-1);
    ASSERT_TRUE(WaitForCount("command=~0064 -10", 1));
    Ctl<CUpDown>(kTab, CPageDisp::kKeystoneUpDown)->Step(+1);
    ASSERT_TRUE(WaitForCount("command=~0066 -39", 1));
    ASSERT_TRUE(WaitForReady());
    EXPECT_EQ(State().control.zoom, -5);
    EXPECT_EQ(State().control.imageShift, -10);
    EXPECT_EQ(State().control.keystone, -39);
}

TEST_F(PageDispTest, TypedValuesListsAndSetButtonsChangeTheProjector) {
    OpenWith(StartState(), kTab);
    ASSERT_FALSE(HasFatalFailure());
    const size_t commands = CountCommands();
    auto* keystone = Ctl<QLineEdit>(kTab, CPageDisp::kKeystoneEdit);
    auto* keystoneSet = Ctl<QPushButton>(kTab, CPageDisp::kKeystoneSet);
    EXPECT_EQ(SetExpectingMessage(keystone, keystoneSet, "-41"),
              "Please enter an integer between -40 and 40.");
    EXPECT_EQ(SetExpectingMessage(keystone, keystoneSet, "4.5"), "Please enter an integer.");
    ASSERT_TRUE(WaitForReady());
    EXPECT_EQ(CountCommands(), commands);

    keystone->setText("-40");
    QTest::mouseClick(keystoneSet, Qt::LeftButton);
    Ctl<QLineEdit>(kTab, CPageDisp::kImageShiftEdit)->setText("50");
    QTest::mouseClick(Ctl<QPushButton>(kTab, CPageDisp::kImageShiftSet), Qt::LeftButton);
    Ctl<QLineEdit>(kTab, CPageDisp::kZoomEdit)->setText("-3");
    QTest::mouseClick(Ctl<QPushButton>(kTab, CPageDisp::kZoomSet), Qt::LeftButton);
    Choose(kTab, CPageDisp::kProjection, 3);
    Choose(kTab, CPageDisp::kDisplayFormat, 3);
    ASSERT_TRUE(WaitForCount("command=~0060 6", 1));
    ASSERT_TRUE(WaitForReady());
    EXPECT_EQ(Count("command=~0066 -40"), 1u);
    EXPECT_EQ(Count("command=~0064 50"), 1u);
    EXPECT_EQ(Count("command=~0062 -3"), 1u);
    EXPECT_EQ(Count("command=~0071 4"), 1u);
    const sim::ProjectorState now = State();
    EXPECT_EQ(now.control.keystone, -40);
    EXPECT_EQ(now.control.imageShift, 50);
    EXPECT_EQ(now.control.zoom, -3);
    EXPECT_EQ(now.control.projection, 3);
    EXPECT_EQ(now.control.displayFormat, 3);
    EXPECT_TRUE(AllEnabled(kTab, CPageDisp::FullGroup()));
}

TEST_F(PageDispTest, SourceNoneAndAvMuteNarrowWhatCanBeChanged) {
    sim::ProjectorState state = StartState();
    state.source = 0;
    OpenWith(state, kTab);
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_TRUE(NoneEnabled(kTab, CPageDisp::SignalGroup()));
    EXPECT_TRUE(AllEnabled(
        kTab, {CPageDisp::kProjection, CPageDisp::kDisplayFormat, CPageDisp::kKeystoneEdit,
               CPageDisp::kKeystoneUpDown, CPageDisp::kKeystoneSet}));

    fleet->UpdateState(0, [](sim::ProjectorState& s) { s.source = 2; });
    ASSERT_TRUE(Refresh());
    EXPECT_TRUE(AllEnabled(kTab, CPageDisp::FullGroup()));

    fleet->UpdateState(0, [](sim::ProjectorState& s) { s.control.avMute = 1; });
    ASSERT_TRUE(Refresh());
    EXPECT_TRUE(NoneEnabled(kTab, CPageDisp::FullGroup()));

    fleet->UpdateState(0, [](sim::ProjectorState& s) {
        s.control.avMute = 0;
        s.power = sim::kPowerOff;
    });
    ASSERT_TRUE(Refresh());
    EXPECT_TRUE(NoneEnabled(kTab, CPageDisp::FullGroup()));
}

TEST_F(PageDispTest, ATimeOutInPlaceOfTheControlReplyDisablesDisplayAndSetting) {
    OpenWith(StartState(), kTab);
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_TRUE(AllEnabled(kTab, CPageDisp::FullGroup()));
    const int settingTab = CPrjSetDlg::kTabSetting;
    ASSERT_TRUE(AllEnabled(settingTab, CPageSet::FullGroup()));
    const QString zoom = Text(CPageDisp::kZoomEdit);

    for (int tab = 0; tab < CPrjSetDlg::kTabCount; ++tab)
        Page(tab)->ParseReply("<return>\n<result>timeout</result>");
    EXPECT_TRUE(NoneEnabled(kTab, CPageDisp::FullGroup()));
    EXPECT_TRUE(NoneEnabled(settingTab, CPageSet::FullGroup()));
    EXPECT_TRUE(AllEnabled(settingTab, {CPageSet::kSend, CPageSet::kResetAll}));
    // The values stay as they were.
    EXPECT_EQ(Text(CPageDisp::kZoomEdit), zoom);

    ASSERT_TRUE(Refresh());
    EXPECT_TRUE(AllEnabled(kTab, CPageDisp::FullGroup()));
    EXPECT_TRUE(AllEnabled(settingTab, CPageSet::FullGroup()));
}

TEST_F(PageDispTest, AControlReplyCutShortKeepsTheValuesItDoesNotCarry) {
    sim::ProjectorState state = StartState();
    state.control.volume = 4;
    state.control.brightness = 40;
    state.control.contrast = 75;
    state.control.imageShift = 12;
    state.control.keystone = -7;
    state.control.autoPowerOff = 120;
    state.control.sleepTimer = 45;
    OpenWith(state, kTab);
    ASSERT_FALSE(HasFatalFailure());

    // The projector's answer now ends inside the contrast field (offsets 58 to 60).
    fleet->UpdateState(0, [](sim::ProjectorState& s) {
        s.control.volume = 6;
        s.control.brightness = 55;
        s.control.contrast = 80;
        s.control.imageShift = -3;
        s.control.autoPowerOff = 30;
        s.control.sleepTimer = 90;
    });
    sim::Faults faults;
    faults.truncate["control"] = 60;
    fleet->SetFaults(0, faults);
    dialog->QueryControl();
    ASSERT_TRUE(WaitForReady());
    ASSERT_EQ(dialog->controlText().size(), 60u);

    struct Shown {
        int tab;
        int id;
        const char* text;
    };
    auto expectShown = [&](std::initializer_list<Shown> fields) {
        for (const Shown& field : fields)
            EXPECT_EQ(Ctl<QLineEdit>(field.tab, field.id)->text(), field.text) << field.id;
    };
    constexpr int kPrj = CPrjSetDlg::kTabProjector;
    constexpr int kImg = CPrjSetDlg::kTabImage;
    constexpr int kSet = CPrjSetDlg::kTabSetting;
    // What the reply carries is shown; what it does not carry keeps the projector's last
    // reported value, neither 0 nor the first digits of the field ("08" would read as 8).
    expectShown({{kPrj, CPagePrj::kVolumeEdit, "6"},
                 {kImg, CPageImg::kBrightnessEdit, "55"},
                 {kImg, CPageImg::kContrastEdit, "75"},
                 {kTab, CPageDisp::kImageShiftEdit, "12"},
                 {kTab, CPageDisp::kKeystoneEdit, "-7"},
                 {kPrj, CPagePrj::kAutoPowerOffEdit, "120"},
                 {kSet, CPageSet::kSleepTimerEdit, "45"}});
    // The power digit is there: the pages stay usable.
    EXPECT_TRUE(AllEnabled(kTab, CPageDisp::FullGroup()));

    fleet->SetFaults(0, sim::Faults{});
    ASSERT_TRUE(Refresh());
    expectShown({{kImg, CPageImg::kContrastEdit, "80"}, {kSet, CPageSet::kSleepTimerEdit, "90"}});
}

TEST_F(PageDispTest, AFailedCommandDisablesThePageAndAsksForFreshState) {
    sim::ProjectorState state = StartState();
    state.control.projection = 0;
    OpenWith(state, kTab);
    ASSERT_FALSE(HasFatalFailure());
    sim::Faults faults;
    faults.commandTimeout = true;
    fleet->SetFaults(0, faults);
    const size_t controls = Count("query=control");
    Choose(kTab, CPageDisp::kProjection, 2);
    ASSERT_TRUE(WaitForCount("command=~0071 2", 1));
    // The fresh control reply brings the page back with the projector's real value.
    ASSERT_TRUE(WaitForCount("query=control", controls + 1));
    ASSERT_TRUE(WaitForReady());
    EXPECT_TRUE(AllEnabled(kTab, CPageDisp::FullGroup()));
    EXPECT_EQ(Ctl<QComboBox>(kTab, CPageDisp::kProjection)->currentIndex(),
              State().control.projection);
    EXPECT_NE(State().control.projection, 2);
}

}  // namespace
}  // namespace vistrel::test
