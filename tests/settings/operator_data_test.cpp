// The settings dialogs change nothing the operator did not ask for: commands to different
// settings all arrive, names keep their bytes and what is being typed, values nobody
// reported are not offered, a group's record keeps each projector's own name and user
// access. Driven through the widgets against simulated projectors over loopback HTTP.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include "app/command_test_support.h"
#include "app/projector_list_model.h"
#include "controls/ip_address_edit.h"
#include "controls/set_button.h"
#include "controls/static_text.h"
#include "protocol/codec.h"
#include "protocol/wire_fields.h"
#include "settings/common/password_form.h"
#include "settings/common/up_down.h"
#include "settings/projector/page_img.h"
#include "settings/projector/page_prj.h"
#include "settings/projector/page_set.h"
#include "settings/shared/grp_network.h"
#include "settings/shared/grp_prj.h"
#include "settings/shared/grp_set_dlg.h"
#include "settings/shared/prj_network.h"
#include "tab_page_fixture.h"

namespace vistrel::test {
namespace {

std::string Padded(const std::string& text, size_t width = kTextFieldWidth) {
    return text + std::string(width - text.size(), ' ');
}

// Types `text` into `edit` one character at a time, as a keyboard with those keys would.
void Type(QLineEdit* edit, const QString& text) {
    for (QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(edit, &press);
    }
}

// --- the projector dialog ------------------------------------------------------------------

using OperatorDataTest = TabPageTest;

TEST_F(OperatorDataTest, ThreeBoxesClickedTogetherAllReachTheProjector) {
    OpenWith(StartState(), 0);
    ASSERT_TRUE(AllEnabled(0, {CPagePrj::kFreeze, CPagePrj::kSourceLock, CPagePrj::kDirectPower}));
    // Within the same moment: the last two are still queued when the first is sent, and
    // "~00100" (source lock) and "~00105" (DirectPower) share their first digits.
    for (int id : {CPagePrj::kFreeze, CPagePrj::kSourceLock, CPagePrj::kDirectPower})
        QTest::mouseClick(Ctl<QCheckBox>(0, id), Qt::LeftButton);
    for (const char* body : {"command=~0004 1", "command=~00100 1", "command=~00105 1"})
        ASSERT_TRUE(WaitForCount(body, 1)) << body;
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            return AllEnabled(0, {CPagePrj::kSourceLock, CPagePrj::kDirectPower});
        },
        kWaitMs));
    EXPECT_EQ(State().control.freeze, 1);
    EXPECT_EQ(State().control.sourceLock, 1);
    EXPECT_EQ(State().control.directPower, 1);
    for (int id : {CPagePrj::kFreeze, CPagePrj::kSourceLock, CPagePrj::kDirectPower})
        EXPECT_TRUE(Ctl<QCheckBox>(0, id)->isChecked()) << id;

    // The same on the Setting tab: "~00101" (high altitude) and "~00103" (keypad lock).
    for (int id : {CPageSet::kHighAltitude, CPageSet::kKeypadLock})
        QTest::mouseClick(Ctl<QCheckBox>(3, id), Qt::LeftButton);
    ASSERT_TRUE(WaitForCount("command=~00101 1", 1));
    ASSERT_TRUE(WaitForCount("command=~00103 1", 1));
    EXPECT_EQ(State().control.highAltitude, 1);
    EXPECT_EQ(State().control.keypadLock, 1);
}

TEST_F(OperatorDataTest, StandbyProjectorIsSwitchedOnFromTheDialog) {
    sim::ProjectorState state = StartState();
    state.power = sim::kPowerStandby;
    StartFleet(state);
    sim::Faults faults;
    faults.standbyDigit = true;  // its control reply says 2, as some firmware does
    fleet->SetFaults(0, faults);
    Open(0);
    auto* button = Ctl<QPushButton>(0, CPagePrj::kPowerButton);
    auto* status = Ctl<QLabel>(0, CPagePrj::kPowerText);
    EXPECT_EQ(status->text(), "Standby");
    EXPECT_EQ(button->text(), "Power ON");
    QTest::mouseClick(button, Qt::LeftButton);
    ASSERT_TRUE(WaitForCount("command=~0000 1", 1));
    ASSERT_TRUE(QTest::qWaitFor([&] { return status->text() == "ON"; }, kWaitMs));
    EXPECT_EQ(State().power, sim::kPowerOn);
    EXPECT_EQ(Count("command=~0000 0"), 0u);
    EXPECT_EQ(button->text(), "Power OFF");
}

TEST_F(OperatorDataTest, ValuesNobodyReportedAreBlankAndDisabledAndArrowsThatSendNothingStay) {
    sim::ProjectorState state = StartState();
    state.control.autoPowerOff = 178;
    StartFleet(state);
    sim::Faults faults;
    faults.truncate["control"] = 48;
    fleet->SetFaults(0, faults);
    Open(1);
    // Volume (45) came whole; brightness (55) and auto power off (67) did not.
    auto* volume = Ctl<QLineEdit>(0, CPagePrj::kVolumeEdit);
    EXPECT_EQ(volume->text(), QString::number(state.control.volume));
    EXPECT_TRUE(volume->isEnabled());
    for (auto [tab, id] : {std::pair{0, int(CPagePrj::kAutoPowerOffEdit)},
                           std::pair{1, int(CPageImg::kBrightnessEdit)}}) {
        auto* edit = Ctl<QLineEdit>(tab, id);
        EXPECT_EQ(edit->text(), "") << id;
        EXPECT_FALSE(edit->isEnabled()) << id;
    }
    EXPECT_FALSE(Ctl<QWidget>(1, CPageImg::kBrightnessUpDown)->isEnabled());
    EXPECT_FALSE(Ctl<QWidget>(0, CPagePrj::kAutoPowerOffUpDown)->isEnabled());
    // A "Set" of a reported value does not trip over a field nobody reported.
    volume->setText("7");
    QTest::mouseClick(Ctl<QWidget>(0, CPagePrj::kVolumeSet), Qt::LeftButton);
    ASSERT_TRUE(WaitForCount("command=~0081 7", 1));

    fleet->SetFaults(0, {});
    ASSERT_TRUE(Refresh());
    auto* brightness = Ctl<QLineEdit>(1, CPageImg::kBrightnessEdit);
    EXPECT_EQ(brightness->text(), QString::number(state.control.brightness));
    EXPECT_TRUE(brightness->isEnabled());
    auto* autoPowerOff = Ctl<QLineEdit>(0, CPagePrj::kAutoPowerOffEdit);
    ASSERT_EQ(autoPowerOff->text(), "178");
    ASSERT_TRUE(autoPowerOff->isEnabled());
    // 178 + 5 is beyond 180: nothing goes out and the field keeps 178.
    Ctl<CUpDown>(0, CPagePrj::kAutoPowerOffUpDown)->Step(1);
    ASSERT_TRUE(WaitForReady());
    EXPECT_EQ(autoPowerOff->text(), "178");
    EXPECT_EQ(CountCommands(), 1u);
}

// Opens the dialog as the main window does, with the names from the table (their bytes).
class EightBitNamesTest : public TabPageTest {
  protected:
    static constexpr char kGroup[] = "Gruppe \xDC";     // Windows-1252
    static constexpr char kName[] = "Salle \xC9t\xE9";  // Windows-1252
    void OpenNamed() {
        sim::ProjectorState state = StartState();
        state.group = kGroup;
        state.name = kName;
        StartFleet(state);
        dialog = std::make_unique<CPrjSetDlg>(nullptr, *console, *ring, store, fleet->Address(0),
                                              kGroup, kName);
        dialog->show();
        ASSERT_TRUE(WaitForReady());
    }
    QString HeaderText(int id) const {
        return dialog->findChild<CStaticText*>(ControlName(id), Qt::FindDirectChildrenOnly)->text();
    }
};

TEST_F(EightBitNamesTest, NamesKeepTheirBytesAndWhatTheOperatorTypes) {
    OpenNamed();
    auto* group = Ctl<QLineEdit>(0, CPagePrj::kGroupNameEdit);
    auto* name = Ctl<QLineEdit>(0, CPagePrj::kProjectorNameEdit);
    EXPECT_EQ(HeaderText(1114), QString::fromUtf8("Gruppe Ü"));
    EXPECT_EQ(HeaderText(1039), QString::fromUtf8("Salle Été"));
    EXPECT_EQ(group->text(), QString::fromUtf8("Gruppe Ü"));
    EXPECT_EQ(name->text(), QString::fromUtf8("Salle Été"));

    // Unchanged: both go back with their own bytes.
    auto* apply = Ctl<QPushButton>(0, CPagePrj::kApply);
    QTest::mouseClick(apply, Qt::LeftButton);
    const std::string unchanged = "set=group" + Padded(kGroup) + Padded(kName);
    ASSERT_TRUE(WaitForCount(unchanged, 1));
    EXPECT_EQ(State().group, kGroup);
    EXPECT_EQ(State().name, kName);

    // A name being typed survives a control reply; renaming the group keeps the name's bytes.
    group->selectAll();
    Type(group, QString::fromUtf8("Säle"));
    ASSERT_TRUE(Refresh());
    EXPECT_EQ(group->text(), QString::fromUtf8("Säle"));
    QTest::mouseClick(apply, Qt::LeftButton);
    ASSERT_TRUE(WaitForCount("set=group" + Padded("S\xE4le") + Padded(kName), 1));
    EXPECT_EQ(State().group, "S\xE4le");
    EXPECT_EQ(State().name, kName);
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return HeaderText(1114) == QString::fromUtf8("Säle"); }, kWaitMs));

    // Thirty-two accented letters fit the 32-byte field; a character the projector cannot
    // store is refused with a word and nothing is sent.
    name->clear();
    Type(name, QString(40, QChar(0x00E9)));
    EXPECT_EQ(name->text(), QString(32, QChar(0x00E9)));
    const size_t before = Bodies().size();
    name->setText(QString::fromUtf8("Зал"));
    ModalScript script;
    script.Then(script.Answer(QMessageBox::Ok));
    QTimer::singleShot(0, apply, [apply] { apply->click(); });
    ASSERT_TRUE(QTest::qWaitFor([&] { return script.Finished(); }, kWaitMs));
    EXPECT_TRUE(script.boxes[0].text.contains(QString::fromUtf8("\"З\"")))
        << script.boxes[0].text.toStdString();
    ASSERT_TRUE(WaitForReady());
    EXPECT_EQ(Bodies().size(), before + 1);  // only the barrier's query
}

TEST_F(EightBitNamesTest, MessageGoesOutInTheProjectorsEncoding) {
    OpenNamed();
    dialog->Tabs()->setCurrentIndex(3);
    auto* message = Ctl<QLineEdit>(3, CPageSet::kMessageEdit);
    Type(message, QString::fromUtf8("Café"));
    QTest::mouseClick(Ctl<QPushButton>(3, CPageSet::kSend), Qt::LeftButton);
    ASSERT_TRUE(WaitForCount("command=~00210 " + Padded("Caf\xE9", 30), 1));
    EXPECT_EQ(State().control.message, "Caf\xE9");
    message->clear();
    Type(message, QString(35, QChar(0x00E0)));
    EXPECT_EQ(message->text(), QString(30, QChar(0x00E0)));
}

TEST_F(OperatorDataTest, RelocationKeepsSubmitAwayAndTheDialogFollowsTheList) {
    StartFleet(StartState());
    console->targetMacs = {fleet->Mac(0)};
    {
        auto table = console->table.Lock();
        Info info;
        info.mac = fleet->Mac(0);
        info.ip = fleet->Address(0);
        table.Store(info);
    }
    Open(0);
    dialog->ShowNetworkSide();
    auto* page = static_cast<CPrjNetwork*>(dialog->SidePage(CPrjSetDlg::kSideNetwork));
    auto* submit = page->findChild<QPushButton*>(ControlName(CPrjNetwork::kSubmitNetwork));
    ASSERT_TRUE(QTest::qWaitFor([&] { return submit->isEnabled(); }, kWaitMs));
    const std::string oldAddress = fleet->Address(0);
    const std::string newAddress = "127.0.4.222";
    page->findChild<CIpAddressEdit*>(ControlName(CPrjNetwork::kIp))
        ->SetAddress(*PackAddress(newAddress));
    {
        ModalScript script;
        script.Then(script.Answer(QMessageBox::Ok));
        QTimer::singleShot(0, submit, [submit] { submit->click(); });
        ASSERT_TRUE(QTest::qWaitFor([&] { return script.Finished(); }, kWaitMs));
    }
    ASSERT_TRUE(QTest::qWaitFor([&] { return fleet->Address(0) == newAddress; }, kWaitMs));
    // Ticking DHCP meanwhile does not offer a second submit.
    QTest::mouseClick(page->findChild<QCheckBox*>(ControlName(CPrjNetwork::kDhcp)), Qt::LeftButton);
    EXPECT_FALSE(submit->isEnabled());

    // Given up; the list has since heard the projector at its new address.
    {
        ModalScript script;
        script.Then(script.Answer(QMessageBox::Ok));
        QTimer::singleShot(0, page, [page] { page->OnRelocationLost(); });
        ASSERT_TRUE(QTest::qWaitFor([&] { return script.Finished(); }, kWaitMs));
    }
    EXPECT_TRUE(submit->isEnabled());
    {
        auto table = console->table.Lock();
        Info* info = table.Find(fleet->Mac(0));
        info->relocating = false;
        info->ip = newAddress;
    }
    fleet->Log().Clear();
    dialog->ShowNetworkSide();
    ASSERT_TRUE(WaitForCount("query=network", 1));
    EXPECT_EQ(dialog->ipText(), newAddress);
    for (const sim::LogEntry& entry : fleet->Log().Entries())
        EXPECT_EQ(entry.address, newAddress) << entry.body;
    EXPECT_NE(oldAddress, newAddress);
}

// --- the group dialog ------------------------------------------------------------------------

class GroupOperatorDataTest : public ::testing::Test {
  protected:
    static constexpr size_t kCount = 3;
    static constexpr int kWaitMs = 10000;

    void SetUp() override {
        sim::FleetOptions options = sim::GenerateFleet(kCount, 17, "127.0.18.10");
        options.discoveryPort = 0;
        options.httpPort = 0;
        for (size_t i = 0; i < kCount; ++i) {
            sim::ProjectorState& s = options.projectors[i].state;
            s.power = sim::kPowerOn;
            s.group = "Lab";
            s.name = "Room " + std::to_string(i + 1);
        }
        fleet = std::make_unique<sim::Fleet>(std::move(options));
        std::string error;
        ASSERT_TRUE(fleet->Start(&error)) << error;
        NetworkProfile profile;
        profile.httpPort = fleet->HttpPort();
        console = std::make_unique<Console>(profile);
        auto table = console->table.Lock();
        for (size_t i = 0; i < kCount; ++i) {
            console->targetIps.push_back(fleet->Address(i));
            console->targetMacs.push_back(fleet->Mac(i));
            MsgCmd entry;
            entry.ip = fleet->Address(i);
            console->batch.push_back(entry);
            Info info;
            info.mac = fleet->Mac(i);
            info.ip = fleet->Address(i);
            info.groupName = fleet->State(i).group;
            info.projectorName = fleet->State(i).name;
            table.Store(info);
        }
    }
    void Open() {
        RequestRingOptions ringOptions;
        ringOptions.pause = std::chrono::milliseconds(10);
        ring = std::make_unique<RequestRing>(*console, ringOptions);
        ring->StartRequestWorker();
        dialog = std::make_unique<CGrpSetDlg>(nullptr, *console, *ring, store, "Lab");
        dialog->show();
    }
    void TearDown() override {
        dialog.reset();
        ring.reset();
        fleet->Stop();
    }
    template <typename T>
    static T* Ctl(QWidget* page, int id) {
        T* widget = page->findChild<T*>(ControlName(id));
        EXPECT_NE(widget, nullptr) << id;
        return widget;
    }
    size_t Received(const std::string& prefix) const {
        size_t count = 0;
        for (const sim::LogEntry& entry : fleet->Log().Entries())
            count += entry.kind == "http" && entry.body.starts_with(prefix) ? 1 : 0;
        return count;
    }

    vistrel::testing::TempDir storeDir;
    RegStore store{storeDir.File(), "vistrel-test"};
    std::unique_ptr<sim::Fleet> fleet;
    std::unique_ptr<Console> console;
    std::unique_ptr<RequestRing> ring;
    std::unique_ptr<CGrpSetDlg> dialog;
};

TEST_F(GroupOperatorDataTest, ApplyWithOneFieldKeepsEachProjectorsOtherField) {
    Open();
    CGrpPrj* page = dialog->ProjectorPage();
    // What polling would do: the table hears the projectors' names again.
    auto tableHears = [this] {
        auto table = console->table.Lock();
        for (size_t i = 0; i < kCount; ++i) {
            Info* info = table.Find(fleet->Mac(i));
            info->groupName = fleet->State(i).group;
            info->projectorName = fleet->State(i).name;
        }
    };
    auto* apply = Ctl<QPushButton>(page, CGrpPrj::kApply);
    QTest::keyClicks(Ctl<QLineEdit>(page, CGrpPrj::kGroupNameEdit), "Sales");
    QTest::mouseClick(apply, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Received("set=group") == kCount; }, kWaitMs));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !page->Waiting(); }, kWaitMs));
    for (size_t i = 0; i < kCount; ++i) {
        EXPECT_EQ(fleet->State(i).group, "Sales") << i;
        EXPECT_EQ(fleet->State(i).name, "Room " + std::to_string(i + 1)) << i;
    }

    // Only a name: each keeps its group, as the table last heard it.
    tableHears();
    Ctl<QLineEdit>(page, CGrpPrj::kGroupNameEdit)->clear();
    QTest::keyClicks(Ctl<QLineEdit>(page, CGrpPrj::kProjectorNameEdit), "Spare");
    QTest::mouseClick(apply, Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Received("set=group") == 2 * kCount; }, kWaitMs));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !page->Waiting(); }, kWaitMs));
    for (size_t i = 0; i < kCount; ++i) {
        EXPECT_EQ(fleet->State(i).group, "Sales") << i;
        EXPECT_EQ(fleet->State(i).name, "Spare") << i;
    }
}

TEST_F(GroupOperatorDataTest, PasswordChangeKeepsUserAccessAndNamesTheProjectorItSkipped) {
    for (size_t i = 0; i < 2; ++i) {
        fleet->UpdateState(i, [i](sim::ProjectorState& s) {
            s.user.userAccess = 1;
            s.user.userPassword = "user" + std::to_string(i);
        });
    }
    sim::Faults cut;
    cut.truncate["user"] = 10;  // its user record cannot be read
    fleet->SetFaults(2, cut);
    const sim::ProjectorState untouched = fleet->State(2);
    Open();
    dialog->ShowSide(CGrpSetDlg::kSideNetwork);
    QWidget* page = dialog->Page(CGrpSetDlg::kSideNetwork);
    Ctl<QComboBox>(page, PasswordControls::kAdminAccess)->setCurrentIndex(0);
    Ctl<QLineEdit>(page, PasswordControls::kAdminPassword)->setText("adm123");
    Ctl<QLineEdit>(page, PasswordControls::kAdminConfirm)->setText("adm123");

    // Cancel first: the records were read, nothing was changed.
    {
        ModalScript script;
        script.Then(script.Answer(QMessageBox::Cancel));
        auto* submit = Ctl<QPushButton>(page, PasswordControls::kSubmit);
        QTimer::singleShot(0, submit, [submit] { submit->click(); });
        ASSERT_TRUE(QTest::qWaitFor([&] { return script.Finished(); }, kWaitMs));
        ASSERT_EQ(script.boxes.size(), 1u);
        EXPECT_TRUE(script.boxes[0].text.contains("clears the user password on 2 projectors"))
            << script.boxes[0].text.toStdString();
    }
    EXPECT_EQ(Received("query=user"), kCount);
    EXPECT_EQ(Received("set=user"), 0u);

    ModalScript script;
    script.Then(script.Answer(QMessageBox::Ok)).Then(script.Answer(QMessageBox::Ok));
    auto* submit = Ctl<QPushButton>(page, PasswordControls::kSubmit);
    QTimer::singleShot(0, submit, [submit] { submit->click(); });
    ASSERT_TRUE(QTest::qWaitFor([&] { return script.Finished(); }, kWaitMs));
    ASSERT_EQ(script.boxes.size(), 2u);
    EXPECT_TRUE(script.boxes[1].text.contains(QString::fromStdString(fleet->Address(2))))
        << script.boxes[1].text.toStdString();
    EXPECT_EQ(Received("set=user"), 2u);
    for (size_t i = 0; i < 2; ++i) {
        EXPECT_EQ(fleet->State(i).user.adminPassword, "adm123") << i;
        EXPECT_EQ(fleet->State(i).user.userAccess, 1) << i;
    }
    EXPECT_EQ(fleet->State(2).user, untouched.user);
}

// --- the main window's group view ------------------------------------------------------------

TEST(GroupViewTest, RowsFollowTheirProjectorsAndLeaveWhenTheirGroupChanges) {
    std::vector<Info> records;
    for (int i = 0; i < 3; ++i) {
        Info info("00AA0000000" + std::to_string(i));
        info.ip = "127.0.19." + std::to_string(i + 1);
        info.groupName = "Lab";
        info.power = "OFF";
        info.freshness = 10;
        records.push_back(info);
    }
    const std::string lab = "Lab";
    ProjectorListModel model;
    model.Refresh(records, &lab);
    ASSERT_EQ(model.RowCount(), 3);
    // Two are moved to "Sales" and switched on; one stays and is switched on.
    for (int i = 0; i < 3; ++i) {
        records[static_cast<size_t>(i)].power = "ON";
        if (i < 2)
            records[static_cast<size_t>(i)].groupName = "Sales";
    }
    model.Refresh(records, &lab);
    ASSERT_EQ(model.RowCount(), 1);
    EXPECT_EQ(model.Cell(0, ProjectorListModel::kMac), records[2].mac);
    EXPECT_EQ(model.Cell(0, ProjectorListModel::kPower), "ON");
}

}  // namespace
}  // namespace vistrel::test
