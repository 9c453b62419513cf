// The Image tab against one simulated projector: which display-mode list the model and 3D
// flag choose, the enabling rules, the up-downs, and the failure path.
#include "settings/projector/page_img.h"

#include <QLabel>
#include <QPushButton>

#include "settings/common/up_down.h"
#include "tab_page_fixture.h"

namespace vistrel::test {
namespace {

constexpr int kTab = CPrjSetDlg::kTabImage;

class PageImgTest : public TabPageTest {
  protected:
    QComboBox* List(int id) const { return Ctl<QComboBox>(kTab, id); }
    bool Shown(int id) const { return Ctl<QWidget>(kTab, id)->isVisible(); }
    // The one display-mode list on show, or 0 when not exactly one shows.
    int ShownModeList() const {
        int shown = 0;
        int count = 0;
        for (int id : {CPageImg::kModeListA, CPageImg::kModeListB, CPageImg::kModeListC}) {
            if (Shown(id)) {
                shown = id;
                ++count;
            }
        }
        return count == 1 ? shown : 0;
    }
};

TEST_F(PageImgTest, ModelAndThreeDFlagChooseTheListTheRowAndTheCaptions) {
    struct Case {
        const char* model;
        int threeD;
        int mode;
        int list;
        const char* row;
        bool captions;
    };
    const Case cases[] = {
        {"6", 0, 7, CPageImg::kModeListB, "Blackboard", true},
        {"6", 0, 6, CPageImg::kModeListB, "User", true},
        {"7", 0, 8, CPageImg::kModeListB, "Classroom", true},
        {"7", 0, 3, CPageImg::kModeListB, "Movie", true},
        {"5", 1, 9, CPageImg::kModeListC, "3D", false},
        {"6", 1, 5, CPageImg::kModeListC, "User", true},
        {"5", 0, 6, CPageImg::kModeListA, "User-2", false},
        {"1", 0, 3, CPageImg::kModeListA, "Movie", false},
        {"2", 1, 8, CPageImg::kModeListA, "Classroom", true},
        {"4", 0, 6, CPageImg::kModeListA, "User-2", true},
    };
    sim::ProjectorState state = StartState();
    StartFleet(state);
    ASSERT_FALSE(HasFatalFailure());
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("model ") + c.model + " 3D " + std::to_string(c.threeD) +
                     " mode " + std::to_string(c.mode));
        fleet->UpdateState(0, [&](sim::ProjectorState& s) {
            s.model = c.model;
            s.control.threeD = c.threeD;
            s.displayMode = c.mode;
        });
        Open(kTab);
        ASSERT_FALSE(HasFatalFailure());
        EXPECT_EQ(ShownModeList(), c.list);
        EXPECT_EQ(List(c.list)->currentText().toStdString(), c.row);
        EXPECT_TRUE(List(c.list)->isEnabled());
        // Each list has its own label at the same place.
        EXPECT_TRUE(Shown(c.list + (CPageImg::kModeLabelA - CPageImg::kModeListA)));
        EXPECT_EQ(Shown(CPageImg::kClosedCaptioning), c.captions);
        EXPECT_EQ(Shown(CPageImg::kClosedCaptioningLabel), c.captions);
        dialog.reset();
    }
}

TEST_F(PageImgTest, WithoutAModelRuleOneListShowsAndItWaitsWithThePage) {
    sim::ProjectorState state = StartState();
    state.model = "3";  // a code the rules do not know
    state.power = sim::kPowerOff;
    StartFleet(state);
    ASSERT_FALSE(HasFatalFailure());
    dialog =
        std::make_unique<CPrjSetDlg>(nullptr, *console, *ring, store, fleet->Address(0), "", "");
    dialog->show();
    dialog->Tabs()->setCurrentIndex(kTab);
    auto* page = static_cast<CPageImg*>(Page(kTab));
    // Before any reply: list A alone, and nothing on the page usable.
    EXPECT_EQ(ShownModeList(), CPageImg::kModeListA);
    EXPECT_TRUE(NoneEnabled(kTab, CPageImg::FullGroup()));
    EXPECT_FALSE(List(CPageImg::kModeListC)->isEnabled());

    ASSERT_TRUE(WaitForCount("query=control", 1));
    ASSERT_TRUE(WaitForReady());
    EXPECT_EQ(ShownModeList(), CPageImg::kModeListA);
    EXPECT_FALSE(List(CPageImg::kModeListC)->isEnabled());
    EXPECT_FALSE(page->modelRulesApplied());

    // Switched on, an unknown model still leaves list A, now usable with the page.
    fleet->UpdateState(0, [](sim::ProjectorState& s) { s.power = sim::kPowerOn; });
    ASSERT_TRUE(Refresh());
    EXPECT_EQ(ShownModeList(), CPageImg::kModeListA);
    EXPECT_TRUE(AllEnabled(kTab, {CPageImg::kModeListA, CPageImg::kBrightnessEdit}));
    EXPECT_FALSE(Shown(CPageImg::kModeListC));

    // Once the model is known the rules take over; list C follows the page as A and B do.
    fleet->UpdateState(0, [](sim::ProjectorState& s) {
        s.model = "5";
        s.control.threeD = 1;
        s.displayMode = 9;
    });
    dialog->QueryModel();
    ASSERT_TRUE(Refresh());
    EXPECT_TRUE(page->modelRulesApplied());
    EXPECT_EQ(ShownModeList(), CPageImg::kModeListC);
    EXPECT_TRUE(List(CPageImg::kModeListC)->isEnabled());
}

TEST_F(PageImgTest, PhaseOnlyForTheVgaInputsAndAvMuteDisablesEveryList) {
    sim::ProjectorState state = StartState();
    state.model = "5";
    state.control.threeD = 1;
    state.displayMode = 9;
    state.source = 5;  // HDMI
    OpenWith(state, kTab);
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_TRUE(NoneEnabled(kTab, CPageImg::PhaseGroup()));
    EXPECT_TRUE(AllEnabled(kTab, {CPageImg::kBrightnessEdit, CPageImg::kBrightnessSet,
                                  CPageImg::kDegamma, CPageImg::kModeListC}));

    for (int source : {2, 1}) {
        fleet->UpdateState(0, [&](sim::ProjectorState& s) { s.source = source; });
        ASSERT_TRUE(Refresh());
        EXPECT_TRUE(AllEnabled(kTab, CPageImg::PhaseGroup())) << "source " << source;
    }
    for (int source : {3, 4, 0}) {
        fleet->UpdateState(0, [&](sim::ProjectorState& s) { s.source = source; });
        ASSERT_TRUE(Refresh());
        EXPECT_TRUE(NoneEnabled(kTab, CPageImg::PhaseGroup())) << "source " << source;
    }

    fleet->UpdateState(0, [](sim::ProjectorState& s) {
        s.control.avMute = 1;
        s.source = 1;
    });
    ASSERT_TRUE(Refresh());
    // List C follows the mute as lists A and B do.
    EXPECT_TRUE(NoneEnabled(kTab, CPageImg::FullGroup()));
    EXPECT_FALSE(List(CPageImg::kModeListC)->isEnabled());
    EXPECT_TRUE(Shown(CPageImg::kModeListC));
    fleet->UpdateState(0, [](sim::ProjectorState& s) { s.control.avMute = 0; });
    ASSERT_TRUE(Refresh());
    Choose(kTab, CPageImg::kModeListC, 0);
    ASSERT_TRUE(WaitForCount("command=~0020 5", 1));
    EXPECT_TRUE(QTest::qWaitFor([&] { return State().displayMode == 5; }, kWaitMs));
}

TEST_F(PageImgTest, ShowsTheProjectorsValuesAndEveryControlChangesIt) {
    sim::ProjectorState state = StartState();
    state.source = 1;
    state.displayMode = 4;
    state.control.brightness = 99;
    state.control.contrast = 7;
    state.control.sharpness = 31;
    state.control.brilliantColor = 10;
    state.control.phase = 0;
    state.control.degamma = 2;
    state.control.colorTemp = 1;
    state.control.colorSpace = 2;
    state.control.closedCaption = 1;
    OpenWith(state, kTab);
    ASSERT_FALSE(HasFatalFailure());
    EXPECT_EQ(List(CPageImg::kModeListB)->currentText(), "sRGB");
    EXPECT_EQ(Ctl<QLineEdit>(kTab, CPageImg::kBrightnessEdit)->text(), "99");
    EXPECT_EQ(Ctl<QLineEdit>(kTab, CPageImg::kContrastEdit)->text(), "7");
    EXPECT_EQ(Ctl<QLineEdit>(kTab, CPageImg::kSharpnessEdit)->text(), "31");
    EXPECT_EQ(Ctl<QLineEdit>(kTab, CPageImg::kBrilliantColorEdit)->text(), "10");
    EXPECT_EQ(Ctl<QLineEdit>(kTab, CPageImg::kPhaseEdit)->text(), "0");
    EXPECT_EQ(List(CPageImg::kDegamma)->currentText(), "Graphics");
    EXPECT_EQ(List(CPageImg::kColorTemperature)->currentText(), "Medium");
    EXPECT_EQ(List(CPageImg::kColorSpace)->currentText(), "YUV");
    EXPECT_EQ(List(CPageImg::kClosedCaptioning)->currentText(), "CC1");

    // Brightness 99 up sends 100; at 100 up sends nothing and the field stays.
    CUpDown* brightness = Ctl<CUpDown>(kTab, CPageImg::kBrightnessUpDown);
    QTest::mouseClick(brightness->upButton(), Qt::LeftButton);
    EXPECT_EQ(Ctl<QLineEdit>(kTab, CPageImg::kBrightnessEdit)->text(), "100");
    ASSERT_TRUE(WaitForCount("command=~0021 100", 1));
    const size_t commands = CountCommands();
    brightness->Step(+1);
    EXPECT_EQ(Ctl<QLineEdit>(kTab, CPageImg::kBrightnessEdit)->text(), "100");

    Ctl<CUpDown>(kTab, CPageImg::kPhaseUpDown)->Step(-1);  // at 0: nothing
    Ctl<CUpDown>(kTab, CPageImg::kSharpnessUpDown)->Step(-1);
    Ctl<CUpDown>(kTab, CPageImg::kBrilliantColorUpDown)->Step(-1);
    Choose(kTab, CPageImg::kModeListB, 5);
    Choose(kTab, CPageImg::kDegamma, 3);
    Choose(kTab, CPageImg::kColorTemperature, 2);
    Choose(kTab, CPageImg::kColorSpace, 0);
    Choose(kTab, CPageImg::kClosedCaptioning, 2);
    Ctl<QLineEdit>(kTab, CPageImg::kContrastEdit)->setText("42");
    QTest::mouseClick(Ctl<QPushButton>(kTab, CPageImg::kContrastSet), Qt::LeftButton);
    Ctl<QLineEdit>(kTab, CPageImg::kPhaseEdit)->setText("12");
    QTest::mouseClick(Ctl<QPushButton>(kTab, CPageImg::kPhaseSet), Qt::LeftButton);
    ASSERT_TRUE(WaitForCount("command=~0074 12", 1));
    ASSERT_TRUE(WaitForReady());
    EXPECT_EQ(CountCommands(), commands + 9);
    EXPECT_EQ(Count("command=~0074 -1"), 0u);

    const sim::ProjectorState now = State();
    EXPECT_EQ(now.control.brightness, 100);
    EXPECT_EQ(now.control.sharpness, 30);
    EXPECT_EQ(now.control.brilliantColor, 9);
    EXPECT_EQ(now.displayMode, 7);
    EXPECT_EQ(now.control.degamma, 3);
    EXPECT_EQ(now.control.colorTemp, 2);
    EXPECT_EQ(now.control.colorSpace, 0);
    EXPECT_EQ(now.control.closedCaption, 2);
    EXPECT_EQ(now.control.contrast, 42);
    EXPECT_EQ(now.control.phase, 12);
    EXPECT_TRUE(AllEnabled(kTab, CPageImg::FullGroup()));
}

TEST_F(PageImgTest, TypedValuesAreCheckedBeforeAnythingIsSent) {
    sim::ProjectorState state = StartState();
    state.control.brightness = 40;
    OpenWith(state, kTab);
    ASSERT_FALSE(HasFatalFailure());
    const size_t commands = CountCommands();
    auto* edit = Ctl<QLineEdit>(kTab, CPageImg::kBrightnessEdit);
    auto* set = Ctl<QPushButton>(kTab, CPageImg::kBrightnessSet);
    EXPECT_EQ(SetExpectingMessage(edit, set, "101"), "Please enter an integer between 0 and 100.");
    EXPECT_EQ(SetExpectingMessage(edit, set, "bright"), "Please enter an integer.");
    // Every field is checked on any "Set", so the bad one is put right first.
    edit->setText("50");
    EXPECT_EQ(SetExpectingMessage(Ctl<QLineEdit>(kTab, CPageImg::kSharpnessEdit),
                                  Ctl<QPushButton>(kTab, CPageImg::kSharpnessSet), "32"),
              "Please enter an integer between 0 and 31.");
    ASSERT_TRUE(WaitForReady());
    EXPECT_EQ(CountCommands(), commands);

    // An arrow over a typed value outside the range steps from the value the page holds
    // (the projector's 40, not 150 held at 100), and the field shows what was sent.
    ASSERT_TRUE(Refresh());
    ASSERT_EQ(edit->text(), "40");
    edit->setText("150");
    Ctl<CUpDown>(kTab, CPageImg::kBrightnessUpDown)->Step(+1);
    ASSERT_TRUE(WaitForCount("command=~0021 41", 1));
    EXPECT_EQ(edit->text(), "41");
    auto* sharpness = Ctl<QLineEdit>(kTab, CPageImg::kSharpnessEdit);
    // A typed value inside the range is where the arrow starts.
    sharpness->setText("20");
    Ctl<CUpDown>(kTab, CPageImg::kSharpnessUpDown)->Step(-1);
    ASSERT_TRUE(WaitForCount("command=~0023 19", 1));
    EXPECT_EQ(sharpness->text(), "19");
    ASSERT_TRUE(WaitForReady());
    EXPECT_EQ(State().control.brightness, 41);
    EXPECT_EQ(State().control.sharpness, 19);
}

TEST_F(PageImgTest, AFailedCommandDisablesThePageUntilTheNextControlReply) {
    OpenWith(StartState(), kTab);
    ASSERT_FALSE(HasFatalFailure());
    ASSERT_TRUE(AllEnabled(kTab, {CPageImg::kColorTemperature, CPageImg::kBrightnessEdit}));
    // The command times out and the control reply that follows is lost too.
    sim::Faults faults;
    faults.commandTimeout = true;
    faults.truncate["control"] = 0;
    fleet->SetFaults(0, faults);
    const size_t controls = Count("query=control");
    Choose(kTab, CPageImg::kColorTemperature, 1);
    ASSERT_TRUE(WaitForCount("command=~0036 2", 1));
    ASSERT_TRUE(WaitForCount("query=control", controls + 1));
    ASSERT_TRUE(WaitForReady());
    EXPECT_TRUE(NoneEnabled(kTab, CPageImg::FullGroup()));

    fleet->SetFaults(0, {});
    ASSERT_TRUE(Refresh());
    EXPECT_TRUE(AllEnabled(
        kTab, {CPageImg::kColorTemperature, CPageImg::kBrightnessEdit, CPageImg::kModeListB}));
}

}  // namespace
}  // namespace vistrel::test
