// The Network and Alert pages in both forms, driven through their widgets against simulated
// projectors over loopback HTTP, and a relocation followed end to end by the main window's
// discovery on loopback.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <QTableView>
#include "app/command_test_support.h"
#include "app/projector_list_model.h"
#include "app/settings_dialogs.h"
#include "controls/ip_address_edit.h"
#include "protocol/codec.h"
#include "protocol/text_encoding.h"
#include "protocol/wire_fields.h"
#include "settings/common/password_form.h"
#include "settings/projector/page_set.h"
#include "settings/projector/prj_set_dlg.h"
#include "settings/shared/grp_alert.h"
#include "settings/shared/grp_network.h"
#include "settings/shared/grp_prj.h"
#include "settings/shared/grp_set_dlg.h"
#include "settings/shared/network_texts.h"
#include "settings/shared/prj_alert.h"
#include "settings/shared/prj_network.h"
#include "sim/fleet.h"
#include "sim/netns_pair.h"
#include "tab_page_fixture.h"

namespace vistrel::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

constexpr int kWaitMs = 10000;

std::string Blanks(size_t n) {
    return std::string(n, ' ');
}

// Types `text` into `edit` one character at a time, as a keyboard with those keys would.
void Type(QLineEdit* edit, const QString& text) {
    for (QChar c : text) {
        QKeyEvent press(QEvent::KeyPress, 0, Qt::NoModifier, QString(c));
        QApplication::sendEvent(edit, &press);
    }
}

// A fleet on loopback and a console whose ring talks to it; `count` projectors, all
// addressed by the target lists and the batch array.
class PagesOverFleet : public ::testing::Test {
  protected:
    void StartFleet(size_t count, const char* first) {
        sim::FleetOptions options = sim::GenerateFleet(count, 11, first);
        options.discoveryPort = 0;
        options.httpPort = 0;
        for (sim::ProjectorConfig& p : options.projectors)
            p.state.power = sim::kPowerOn;
        fleet = std::make_unique<sim::Fleet>(std::move(options));
        std::string error;
        ASSERT_TRUE(fleet->Start(&error)) << error;
        NetworkProfile profile;
        profile.httpPort = fleet->HttpPort();
        console = std::make_unique<Console>(profile);
        for (size_t i = 0; i < count; ++i) {
            console->targetIps.push_back(fleet->Address(i));
            console->targetMacs.push_back(fleet->Mac(i));
            MsgCmd entry;
            entry.ip = fleet->Address(i);
            console->batch.push_back(entry);
        }
        RequestRingOptions ringOptions;
        ringOptions.pause = std::chrono::milliseconds(10);
        ringOptions.shutdownGrace = std::chrono::milliseconds(1000);
        HttpOptions http;
        http.port = fleet->HttpPort();
        http.connectTimeoutMs = 1500;
        http.totalTimeoutMs = 1500;
        ringOptions.sender = HttpSender(http);
        ring = std::make_unique<RequestRing>(*console, ringOptions);
        ring->StartRequestWorker();
    }
    void TearDown() override {
        prjDialog.reset();
        grpDialog.reset();
        ring.reset();
        console.reset();
        if (fleet)
            fleet->Stop();
    }

    // Bodies the fleet received, as (address, body), that start with `prefix`.
    std::vector<std::pair<std::string, std::string>> Received(const std::string& prefix) const {
        std::vector<std::pair<std::string, std::string>> out;
        for (const sim::LogEntry& entry : fleet->Log().Entries()) {
            if (entry.kind == "http" && entry.body.starts_with(prefix))
                out.emplace_back(entry.address, entry.body);
        }
        return out;
    }
    bool WaitForReceived(const std::string& prefix, size_t count) const {
        return QTest::qWaitFor([&] { return Received(prefix).size() >= count; }, kWaitMs);
    }

    // Every request queued so far answered and its reply handed on: one of our own goes
    // behind them, and the ring answers in order.
    bool Drained() {
        auto done = std::make_shared<bool>(false);
        auto sink = std::make_shared<Barrier>(done);
        ring->Enqueue(std::string(kQueryInfoBody), sink, fleet->Address(0));
        return QTest::qWaitFor([&] { return *done; }, kWaitMs);
    }

    template <typename T>
    static T* Ctl(QWidget* page, int id) {
        T* widget = page->findChild<T*>(ControlName(id));
        EXPECT_NE(widget, nullptr) << id;
        return widget;
    }
    // Clicks `button` from the event loop, so a message box it opens does not block the test.
    static void ClickLater(QAbstractButton* button) {
        QTimer::singleShot(0, button, [button] { button->click(); });
    }

    vistrel::testing::TempDir storeDir;
    RegStore store{storeDir.File(), "vistrel-test"};
    std::unique_ptr<sim::Fleet> fleet;
    std::unique_ptr<Console> console;
    std::unique_ptr<RequestRing> ring;
    std::unique_ptr<CPrjSetDlg> prjDialog;
    std::unique_ptr<CGrpSetDlg> grpDialog;
};

// --- projector form of the Network page ------------------------------------------------------

class PrjNetworkTest : public PagesOverFleet {
  protected:
    void SetUp() override { StartFleet(1, "127.0.16.10"); }
    void Open() {
        prjDialog = std::make_unique<CPrjSetDlg>(nullptr, *console, *ring, store, fleet->Address(0),
                                                 "", "");
        prjDialog->show();
        prjDialog->ShowNetworkSide();
    }
    CPrjNetwork* Page() const {
        return static_cast<CPrjNetwork*>(prjDialog->SidePage(CPrjSetDlg::kSideNetwork));
    }
    QString Text(int id) const { return Ctl<QLineEdit>(Page(), id)->text(); }
    bool Enabled(int id) const { return Ctl<QWidget>(Page(), id)->isEnabled(); }
    bool WaitEnabled() const {
        return QTest::qWaitFor([&] { return Enabled(CPrjNetwork::kSubmitNetwork); }, kWaitMs);
    }
};

TEST_F(PrjNetworkTest, DisabledUntilTheNetworkReplyThenFilledByIt) {
    Open();
    for (int id : CPrjNetwork::PageControls())
        EXPECT_FALSE(Enabled(id)) << id;
    // A "<user>" reply alone sets the lists but enables nothing.
    Page()->ParseReply("<return>\n<user>10");
    EXPECT_EQ(Ctl<QComboBox>(Page(), PasswordControls::kAdminAccess)->currentText(), "ON");
    EXPECT_EQ(Ctl<QComboBox>(Page(), PasswordControls::kUserAccess)->currentText(), "OFF");
    EXPECT_FALSE(Enabled(PasswordControls::kSubmit));

    for (const std::string hex :
         {"C0A80064FFFFFF00C0A80001C0A80001", "c0a80064ffffff00c0a80001c0a80001"}) {
        Page()->ParseReply("<return>\n<network>" + hex + "1");
        EXPECT_EQ(Text(CPrjNetwork::kIp), "192.168.0.100") << hex;
        EXPECT_EQ(Text(CPrjNetwork::kMask), "255.255.255.0");
        EXPECT_EQ(Text(CPrjNetwork::kGateway), "192.168.0.1");
        EXPECT_EQ(Text(CPrjNetwork::kDns), "192.168.0.1");
        EXPECT_TRUE(Ctl<QCheckBox>(Page(), CPrjNetwork::kDhcp)->isChecked());
        // With DHCP the server gives the addresses: their controls stay disabled.
        for (int id :
             {CPrjNetwork::kIp, CPrjNetwork::kMask, CPrjNetwork::kGateway, CPrjNetwork::kDns})
            EXPECT_FALSE(Enabled(id)) << id;
        for (int id : std::initializer_list<int>{
                 CPrjNetwork::kDhcp, CPrjNetwork::kSubmitNetwork, PasswordControls::kAdminAccess,
                 PasswordControls::kAdminPassword, PasswordControls::kSubmit, CPrjNetwork::kMac})
            EXPECT_TRUE(Enabled(id)) << id;
    }
    EXPECT_EQ(Ctl<QLabel>(Page(), CPrjNetwork::kMac)->text().toStdString(), fleet->Mac(0));
    // The user row exists, hidden.
    EXPECT_FALSE(Ctl<QWidget>(Page(), PasswordControls::kUserPassword)->isVisible());
    EXPECT_EQ(Ctl<QLineEdit>(Page(), PasswordControls::kAdminPassword)->echoMode(),
              QLineEdit::Password);

    // Clearing DHCP opens the address controls.
    QTest::mouseClick(Ctl<QCheckBox>(Page(), CPrjNetwork::kDhcp), Qt::LeftButton);
    EXPECT_TRUE(Enabled(CPrjNetwork::kIp));

    // Through the dialog: the projector's own reply fills the page.
    Open();
    ASSERT_TRUE(WaitEnabled());
    EXPECT_EQ(Text(CPrjNetwork::kIp).toStdString(), fleet->Address(0));
    EXPECT_EQ(Text(CPrjNetwork::kMask), "255.255.255.0");
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return Ctl<QComboBox>(Page(), PasswordControls::kAdminAccess)->currentIndex() == 0; },
        kWaitMs));
}

TEST_F(PrjNetworkTest, RepliesCutShortOrMalformedNeverPassForTheProjectorsSettings) {
    sim::Faults cut;
    cut.truncate["network"] = 40;
    cut.truncate["user"] = 16;
    fleet->SetFaults(0, cut);
    Open();
    ASSERT_TRUE(Drained());
    ASSERT_EQ(Received("query=network").size(), 1u);
    ASSERT_EQ(Received("query=user").size(), 1u);
    // Nothing whole came back: no addresses, no access, nothing to submit.
    for (int id : CPrjNetwork::PageControls())
        EXPECT_FALSE(Enabled(id)) << id;
    EXPECT_EQ(Text(CPrjNetwork::kIp), "");
    EXPECT_EQ(Ctl<QComboBox>(Page(), PasswordControls::kAdminAccess)->currentIndex(), -1);

    // Whole replies again: the side button asks anew and the page fills.
    fleet->SetFaults(0, {});
    prjDialog->ShowNetworkSide();
    ASSERT_TRUE(WaitEnabled());
    ASSERT_TRUE(Drained());
    const QString address = QString::fromStdString(fleet->Address(0));
    EXPECT_EQ(Text(CPrjNetwork::kIp), address);
    EXPECT_EQ(Ctl<QComboBox>(Page(), PasswordControls::kAdminAccess)->currentIndex(), 0);
    const bool dhcp = Ctl<QCheckBox>(Page(), CPrjNetwork::kDhcp)->isChecked();

    // Later replies cut short, or with an address field that is not hexadecimal, leave it so.
    for (const std::string reply :
         {"<return>\n<network>0A0000", "<return>\n<network>7F00XX0AFFFFFF007F0000017F0000011",
          "<return>\n<network>7F00000AFFFFFF007F0000017F000001", "<return>\n<user>0"}) {
        Page()->ParseReply(reply);
        EXPECT_EQ(Text(CPrjNetwork::kIp), address) << reply;
        EXPECT_EQ(Text(CPrjNetwork::kMask), "255.255.255.0") << reply;
        EXPECT_EQ(Ctl<QCheckBox>(Page(), CPrjNetwork::kDhcp)->isChecked(), dhcp) << reply;
        EXPECT_EQ(Ctl<QComboBox>(Page(), PasswordControls::kAdminAccess)->currentIndex(), 0)
            << reply;
        EXPECT_TRUE(Enabled(CPrjNetwork::kSubmitNetwork)) << reply;
    }
}

TEST_F(PrjNetworkTest, PasswordsGoOutOnlyWhenBothEntriesAgree) {
    Open();
    ASSERT_TRUE(WaitEnabled());
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return Ctl<QComboBox>(Page(), PasswordControls::kUserAccess)->currentIndex() == 1; },
        kWaitMs));
    auto* submit = Ctl<QPushButton>(Page(), PasswordControls::kSubmit);
    Ctl<QLineEdit>(Page(), PasswordControls::kAdminPassword)->setText("abc");
    Ctl<QLineEdit>(Page(), PasswordControls::kAdminConfirm)->setText("abd");
    // Said as the group form says it; nothing goes out.
    {
        ModalScript script;
        script.Then(script.Answer(QMessageBox::Ok));
        ClickLater(submit);
        ASSERT_TRUE(QTest::qWaitFor([&] { return script.Finished(); }, kWaitMs));
        ASSERT_EQ(script.boxes.size(), 1u);
        EXPECT_EQ(script.boxes[0].text, kConfirmPasswordError);
    }
    // Typed passwords never show in clear.
    for (int id : {PasswordControls::kAdminPassword, PasswordControls::kAdminConfirm})
        EXPECT_EQ(Ctl<QLineEdit>(Page(), id)->echoMode(), QLineEdit::Password) << id;
    Ctl<QLineEdit>(Page(), PasswordControls::kAdminConfirm)->setText("abc");
    // The record also clears the user password: the operator is told before it goes.
    ModalScript script;
    script.Then(script.Answer(QMessageBox::Ok));
    ClickLater(submit);
    ASSERT_TRUE(QTest::qWaitFor([&] { return script.Finished(); }, kWaitMs));
    EXPECT_TRUE(script.boxes[0].text.contains("clears the user password"));
    ASSERT_TRUE(WaitForReceived("set=user", 1));
    // Only the agreeing pair went out; the projector holds it.
    EXPECT_THAT(
        Received("set=user"),
        ElementsAre(std::pair{fleet->Address(0), "set=user1abc" + Blanks(29) + "0" + Blanks(32)}));
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return fleet->State(0).user.adminPassword == "abc"; }, kWaitMs));
}

TEST_F(PrjNetworkTest, CancelSendsNothingAndAnEmptyAddressIsReported) {
    Open();
    ASSERT_TRUE(WaitEnabled());
    auto* submit = Ctl<QPushButton>(Page(), CPrjNetwork::kSubmitNetwork);
    if (Ctl<QCheckBox>(Page(), CPrjNetwork::kDhcp)->isChecked())
        QTest::mouseClick(Ctl<QCheckBox>(Page(), CPrjNetwork::kDhcp), Qt::LeftButton);
    {
        ModalScript script;
        script.Then(script.Answer(QMessageBox::Cancel));
        ClickLater(submit);
        ASSERT_TRUE(QTest::qWaitFor([&] { return script.Finished(); }, kWaitMs));
        ASSERT_EQ(script.boxes.size(), 1u);
        // The question names where the projector would go.
        EXPECT_TRUE(script.boxes[0].text.contains(Text(CPrjNetwork::kIp)))
            << script.boxes[0].text.toStdString();
        EXPECT_EQ(script.boxes[0].icon, QMessageBox::Warning);
        EXPECT_EQ(script.boxes[0].buttons, QMessageBox::Ok | QMessageBox::Cancel);
    }
    EXPECT_TRUE(submit->isEnabled());

    // An address that cannot be sent is refused before any question.
    const QString address = Text(CPrjNetwork::kIp);
    Ctl<QLineEdit>(Page(), CPrjNetwork::kIp)->setText("300.1.2.3");
    {
        ModalScript script;
        script.Then(script.Answer(QMessageBox::Ok));
        ClickLater(submit);
        ASSERT_TRUE(QTest::qWaitFor([&] { return script.Finished(); }, kWaitMs));
        ASSERT_EQ(script.boxes.size(), 1u);
        EXPECT_EQ(script.boxes[0].text, kBadAddressText);
    }
    EXPECT_TRUE(submit->isEnabled());
    Ctl<QLineEdit>(Page(), CPrjNetwork::kIp)->setText(address);

    console->targetIps = {""};
    {
        ModalScript script;
        script.Then(script.Answer(QMessageBox::Ok)).Then(script.Answer(QMessageBox::Ok));
        ClickLater(submit);
        ASSERT_TRUE(QTest::qWaitFor([&] { return script.Finished(); }, kWaitMs));
        ASSERT_EQ(script.boxes.size(), 2u);
        EXPECT_EQ(script.boxes[1].text, "IP error, please check your DHCP server!");
    }
    EXPECT_FALSE(submit->isEnabled());
    EXPECT_EQ(console->background.Running(), 0u);
    EXPECT_THAT(Received("set=network"), IsEmpty());
}

TEST_F(PrjNetworkTest, FixedConfigurationGoesStraightToTheProjector) {
    Open();
    ASSERT_TRUE(WaitEnabled());
    // Marked in the table, the projector gets a relocation request to the main window.
    {
        auto table = console->table.Lock();
        Info info(fleet->Mac(0));
        info.ip = fleet->Address(0);
        table.Store(info);
    }
    int requests = 0;
    prjDialog->SetRelocationRequest([&](std::weak_ptr<RelocationWindow> waiter) {
        EXPECT_FALSE(waiter.expired());
        ++requests;
    });
    Ctl<QLineEdit>(Page(), CPrjNetwork::kIp)->setText("127.0.16.99");
    Ctl<QLineEdit>(Page(), CPrjNetwork::kMask)->setText("255.0.0.0");
    Ctl<QLineEdit>(Page(), CPrjNetwork::kGateway)->setText("127.0.0.1");
    Ctl<QLineEdit>(Page(), CPrjNetwork::kDns)->setText("127.0.0.2");
    ModalScript script;
    script.Then(script.Answer(QMessageBox::Ok));
    ClickLater(Ctl<QPushButton>(Page(), CPrjNetwork::kSubmitNetwork));
    ASSERT_TRUE(QTest::qWaitFor([&] { return script.Finished(); }, kWaitMs));
    EXPECT_FALSE(Enabled(CPrjNetwork::kSubmitNetwork));
    ASSERT_TRUE(WaitForReceived("set=network", 1));
    EXPECT_THAT(
        Received("set=network"),
        ElementsAre(std::pair{std::string("127.0.16.10"),
                              std::string("set=network07F001063FF0000007F0000017F000002")}));
    Info info;
    {
        auto table = console->table.Lock();
        ASSERT_TRUE(table.Lookup(fleet->Mac(0), info));
    }
    EXPECT_TRUE(info.relocating);
    ASSERT_TRUE(QTest::qWaitFor([&] { return requests == 1; }, kWaitMs));
}

// --- Alert page, projector form ---------------------------------------------------------------

class PrjAlertTest : public PrjNetworkTest {
  protected:
    CPrjAlert* Alert() const {
        return static_cast<CPrjAlert*>(prjDialog->SidePage(CPrjSetDlg::kSideAlert));
    }
    void OpenAlert() {
        prjDialog = std::make_unique<CPrjSetDlg>(nullptr, *console, *ring, store, fleet->Address(0),
                                                 "", "");
        prjDialog->show();
        prjDialog->ShowAlertSide();
    }
};

TEST_F(PrjAlertTest, ReplyFillsTheTrimmedFieldsAndEnablesThePage) {
    fleet->UpdateState(0, [](sim::ProjectorState& s) {
        s.alert.mailTo = "ops@hall-a.example.o";  // 20 characters, 12 blanks on the wire
        s.alert.smtpPassword = "secret";
        s.alert.fanLock = 1;
        s.alert.lampFail = 1;
    });
    OpenAlert();
    int controls = 0;
    for (QWidget* control : Alert()->findChildren<QWidget*>()) {
        if (control->objectName().startsWith('c')) {
            ++controls;
            EXPECT_FALSE(control->isEnabled()) << control->objectName().toStdString();
        }
    }
    EXPECT_EQ(controls, 13);
    auto* submit = Ctl<QPushButton>(Alert(), CPrjAlert::kSubmit);
    ASSERT_TRUE(QTest::qWaitFor([&] { return submit->isEnabled(); }, kWaitMs));
    EXPECT_EQ(Ctl<QLineEdit>(Alert(), 1073)->text(), "ops@hall-a.example.o");
    EXPECT_TRUE(Ctl<QCheckBox>(Alert(), 1080)->isChecked());
    EXPECT_FALSE(Ctl<QCheckBox>(Alert(), 1081)->isChecked());
    EXPECT_TRUE(Ctl<QCheckBox>(Alert(), 1083)->isChecked());
    auto* password = Ctl<QLineEdit>(Alert(), 1079);
    EXPECT_EQ(password->text(), "secret");
    EXPECT_EQ(password->echoMode(), QLineEdit::Password);
    EXPECT_TRUE(Ctl<QPushButton>(Alert(), CPrjAlert::kTest)->isEnabled());

    // A reply without the tag changes nothing.
    Alert()->ParseReply("<return>\n<result>timeout");
    EXPECT_EQ(Ctl<QLineEdit>(Alert(), 1073)->text(), "ops@hall-a.example.o");
}

TEST_F(PrjAlertTest, SubmitStoresEveryFieldAndTheTestMailReadsNoControl) {
    OpenAlert();
    auto* submit = Ctl<QPushButton>(Alert(), CPrjAlert::kSubmit);
    ASSERT_TRUE(QTest::qWaitFor([&] { return submit->isEnabled(); }, kWaitMs));
    // Text goes out in the projector's 8-bit encoding, one byte a character, and is cut at
    // its field.
    const QString subject = QString::fromUtf8("Le projecteur de la salle Été a surchauffé");
    Ctl<QLineEdit>(Alert(), 1073)->setText("desk@example.org");
    Ctl<QLineEdit>(Alert(), 1075)->setText(subject);
    Ctl<QLineEdit>(Alert(), 1077)->setText("smtp.example.org");
    Ctl<QLineEdit>(Alert(), 1079)->setText(QString(50, 'x'));
    Ctl<QCheckBox>(Alert(), 1080)->setChecked(true);
    Ctl<QCheckBox>(Alert(), 1083)->setChecked(true);
    QTest::mouseClick(submit, Qt::LeftButton);
    ASSERT_TRUE(WaitForReceived("set=alert", 1));
    const std::string body = Received("set=alert").front().second;
    EXPECT_EQ(body.size(), 9u + 228u);
    EXPECT_TRUE(body.ends_with("1001")) << body;
    EXPECT_EQ(body.substr(9, 32), "desk@example.org" + Blanks(16));
    EXPECT_EQ(body.substr(9 + 6 * 32, 32), std::string(32, 'x'));
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return fleet->State(0).alert.smtpServer == "smtp.example.org"; }, kWaitMs));
    const std::string stored = fleet->State(0).alert.mailSubject;
    // The first 32 bytes, as the projector keeps them (without the trailing blank).
    EXPECT_EQ(stored, ProjectorTextFromUtf8(subject.toStdString())->substr(0, 31));

    // Unsaved edits stay unsaved: the test mail reads no control.
    Ctl<QLineEdit>(Alert(), 1073)->setText("unsaved@example.org");
    QTest::mouseClick(Ctl<QPushButton>(Alert(), CPrjAlert::kTest), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return fleet->State(0).alert.testMails == 1; }, kWaitMs));
    EXPECT_EQ(Received("set=alert").size(), 1u);
    EXPECT_EQ(Received("set=test").front().second, "set=test");
    EXPECT_EQ(Alert()->settings().mailTo, "desk@example.org");
    EXPECT_EQ(fleet->State(0).alert.mailTo, "desk@example.org");
}

TEST_F(PrjAlertTest, RefusedAlertTestMailAndMessageAreSaidOnTheNoticeLineWithoutABox) {
    OpenAlert();
    auto* submit = Ctl<QPushButton>(Alert(), CPrjAlert::kSubmit);
    ASSERT_TRUE(QTest::qWaitFor([&] { return submit->isEnabled(); }, kWaitMs));
    QLabel* notice = prjDialog->NoticeLine();
    EXPECT_TRUE(notice->text().isEmpty());
    // Any message box would be answered here and counted.
    ModalScript script(60000);
    script.Then(script.Answer(QMessageBox::Ok));
    const QString address = QString::fromStdString(fleet->Address(0));
    auto said = [&](const char* what, const char* why) {
        return QTest::qWaitFor(
            [&] {
                const QString text = notice->text();
                return text.startsWith(what) && text.contains(address) && text.contains(why);
            },
            kWaitMs);
    };

    // The projector answers every set= with its time-out text.
    sim::Faults refuse;
    refuse.commandTimeout = true;
    fleet->SetFaults(0, refuse);
    QTest::mouseClick(submit, Qt::LeftButton);
    EXPECT_TRUE(said("Alert settings", "timed out")) << notice->text().toStdString();
    QTest::mouseClick(Ctl<QPushButton>(Alert(), CPrjAlert::kTest), Qt::LeftButton);
    EXPECT_TRUE(said("Test mail", "timed out")) << notice->text().toStdString();
    EXPECT_EQ(fleet->State(0).alert.testMails, 0);

    // The screen message on the Setting tab, refused the same way.
    prjDialog->ShowProjectorSide();
    prjDialog->Tabs()->setCurrentIndex(CPrjSetDlg::kTabSetting);
    QWidget* settingTab = prjDialog->TabPage(CPrjSetDlg::kTabSetting);
    Ctl<QLineEdit>(settingTab, CPageSet::kMessageEdit)->setText("Exam");
    QTest::mouseClick(Ctl<QPushButton>(settingTab, CPageSet::kSend), Qt::LeftButton);
    EXPECT_TRUE(said("Display Message", "timed out")) << notice->text().toStdString();

    // An empty answer is no answer.
    sim::Faults empty;
    empty.emptyReply = true;
    fleet->SetFaults(0, empty);
    prjDialog->ShowAlertSide();
    QTest::mouseClick(Ctl<QPushButton>(Alert(), CPrjAlert::kTest), Qt::LeftButton);
    EXPECT_TRUE(said("Test mail", "no answer")) << notice->text().toStdString();
    EXPECT_TRUE(script.boxes.empty());
}

TEST_F(PrjAlertTest, ARecordCutShortIsNeitherShownNorOfferedForSubmit) {
    fleet->UpdateState(0, [](sim::ProjectorState& s) {
        s.alert.mailTo = "ops@example.org";
        s.alert.fanLock = 1;
    });
    sim::Faults cut;
    cut.truncate["alert"] = 200;  // the flags and most of the SMTP account missing
    fleet->SetFaults(0, cut);
    OpenAlert();
    ASSERT_TRUE(Drained());
    ASSERT_EQ(Received("query=alert").size(), 1u);
    auto* submit = Ctl<QPushButton>(Alert(), CPrjAlert::kSubmit);
    EXPECT_FALSE(submit->isEnabled());
    EXPECT_FALSE(Ctl<QLineEdit>(Alert(), 1073)->isEnabled());
    EXPECT_EQ(Ctl<QLineEdit>(Alert(), 1073)->text(), "");

    fleet->SetFaults(0, {});
    prjDialog->ShowAlertSide();
    ASSERT_TRUE(QTest::qWaitFor([&] { return submit->isEnabled(); }, kWaitMs));
    EXPECT_EQ(Ctl<QLineEdit>(Alert(), 1073)->text(), "ops@example.org");
    // One digit short of whole: what the page shows stays.
    std::string shortReply = "<return>\n<alert>";
    for (int i = 0; i < 7; ++i)
        shortReply += PadField("other", 32);
    shortReply += "000";
    Alert()->ParseReply(shortReply);
    EXPECT_EQ(Ctl<QLineEdit>(Alert(), 1073)->text(), "ops@example.org");
    EXPECT_TRUE(Ctl<QCheckBox>(Alert(), 1080)->isChecked());
    // Whole, it is shown.
    Alert()->ParseReply(shortReply + "0");
    EXPECT_EQ(Ctl<QLineEdit>(Alert(), 1073)->text(), "other");
    EXPECT_FALSE(Ctl<QCheckBox>(Alert(), 1080)->isChecked());
}

// --- group forms -------------------------------------------------------------------------------

class GroupPagesTest : public PagesOverFleet {
  protected:
    void SetUp() override { StartFleet(3, "127.0.16.20"); }
    void Open() {
        grpDialog = std::make_unique<CGrpSetDlg>(nullptr, *console, *ring, store, "Lab");
        grpDialog->show();
        QObject::connect(grpDialog->ProgressBar(), &QProgressBar::valueChanged, grpDialog.get(),
                         [this](int value) { barValues.push_back(value); });
    }
    CGrpNetwork* Network() const {
        return static_cast<CGrpNetwork*>(grpDialog->Page(CGrpSetDlg::kSideNetwork));
    }
    CGrpAlert* Alert() const {
        return static_cast<CGrpAlert*>(grpDialog->Page(CGrpSetDlg::kSideAlert));
    }
    std::vector<int> barValues;
};

TEST_F(GroupPagesTest, AlertGoesToEveryProjectorAndTheBarCountsTheAnswers) {
    Open();
    grpDialog->ShowSide(CGrpSetDlg::kSideAlert);
    Ctl<QLineEdit>(Alert(), 1073)->setText("ops@example.org");
    Ctl<QCheckBox>(Alert(), 1082)->setChecked(true);
    QTest::mouseClick(Ctl<QPushButton>(Alert(), CGrpAlert::kSubmit), Qt::LeftButton);
    // Answers are delivered through the event loop: none has been counted yet.
    EXPECT_EQ(grpDialog->ProgressBar()->maximum(), 3);
    EXPECT_EQ(grpDialog->ProgressBar()->value(), 0);
    // The page stays usable while answers come in.
    EXPECT_TRUE(Ctl<QPushButton>(Alert(), CGrpAlert::kSubmit)->isEnabled());
    ASSERT_TRUE(QTest::qWaitFor([&] { return barValues.size() == 3; }, kWaitMs));
    EXPECT_THAT(barValues, ElementsAre(1, 2, 3));
    for (size_t i = 0; i < 3; ++i) {
        EXPECT_EQ(fleet->State(i).alert.mailTo, "ops@example.org") << i;
        EXPECT_EQ(fleet->State(i).alert.lampHours, 1) << i;
    }
    // The bar keeps showing that all three answered: past the page's settling, it stays.
    ASSERT_TRUE(QTest::qWaitFor([&] { return !Alert()->Waiting(); }, kWaitMs));
    QTest::qWait(700);
    EXPECT_EQ(grpDialog->ProgressBar()->value(), 3);
    EXPECT_THAT(barValues, ElementsAre(1, 2, 3));

    // The next send counts afresh from 0.
    barValues.clear();
    QTest::mouseClick(Ctl<QPushButton>(Alert(), CGrpAlert::kTest), Qt::LeftButton);
    ASSERT_TRUE(QTest::qWaitFor([&] { return barValues.size() == 4; }, kWaitMs));
    EXPECT_THAT(barValues, ElementsAre(0, 1, 2, 3));
    for (size_t i = 0; i < 3; ++i)
        EXPECT_EQ(fleet->State(i).alert.testMails, 1) << i;
    EXPECT_EQ(Received("set=alert").size(), 3u);
}

TEST_F(GroupPagesTest, TextsStopAtWhatTheirRecordFieldHoldsSoNothingIsCutOnTheWire) {
    Open();
    grpDialog->ShowSide(CGrpSetDlg::kSideAlert);
    auto* to = Ctl<QLineEdit>(Alert(), 1073);
    Type(to, QString(40, 'a'));
    EXPECT_EQ(to->text(), QString(32, 'a'));
    // One byte a letter in the projector's encoding: 32 accented letters fit, the 33rd is
    // refused.
    const QString subject(40, QChar(0x00E9));
    auto* subjectEdit = Ctl<QLineEdit>(Alert(), 1075);
    Type(subjectEdit, subject);
    EXPECT_EQ(subjectEdit->text(), subject.left(32));
    QTest::mouseClick(Ctl<QPushButton>(Alert(), CGrpAlert::kSubmit), Qt::LeftButton);
    ASSERT_TRUE(WaitForReceived("set=alert", 3));
    // What the operator sees is what every projector keeps.
    for (size_t i = 0; i < 3; ++i) {
        ASSERT_TRUE(QTest::qWaitFor(
            [&] { return fleet->State(i).alert.mailSubject == std::string(32, '\xE9'); }, kWaitMs))
            << i;
        EXPECT_EQ(fleet->State(i).alert.mailTo, std::string(32, 'a')) << i;
    }

    grpDialog->ShowSide(CGrpSetDlg::kSideNetwork);
    for (int id : {PasswordControls::kAdminPassword, PasswordControls::kAdminConfirm}) {
        auto* edit = Ctl<QLineEdit>(Network(), id);
        Type(edit, QString(33, 'p'));
        EXPECT_EQ(edit->text(), QString(32, 'p')) << id;
    }
    auto* name = Ctl<QLineEdit>(grpDialog->ProjectorPage(), CGrpPrj::kProjectorNameEdit);
    Type(name, QString(40, QChar(0x00E9)));
    EXPECT_EQ(name->text(), QString(32, QChar(0x00E9)));
}

TEST_F(GroupPagesTest, PasswordsNeedMatchingEntriesThenReachEveryProjector) {
    Open();
    grpDialog->ShowSide(CGrpSetDlg::kSideNetwork);
    auto* submit = Ctl<QPushButton>(Network(), PasswordControls::kSubmit);
    auto* list = Ctl<QComboBox>(Network(), PasswordControls::kAdminAccess);
    EXPECT_EQ(list->currentIndex(), -1);
    EXPECT_EQ(list->itemText(0), "On");
    list->setCurrentIndex(0);
    Ctl<QLineEdit>(Network(), PasswordControls::kAdminPassword)->setText("pw1");
    Ctl<QLineEdit>(Network(), PasswordControls::kAdminConfirm)->setText("pw2");
    {
        ModalScript script;
        script.Then(script.Answer(QMessageBox::Ok));
        ClickLater(submit);
        ASSERT_TRUE(QTest::qWaitFor([&] { return script.Finished(); }, kWaitMs));
        ASSERT_EQ(script.boxes.size(), 1u);
        EXPECT_EQ(script.boxes[0].text, kConfirmPasswordError);
        EXPECT_EQ(script.boxes[0].title, "Vistrel");
    }
    EXPECT_TRUE(submit->isEnabled());
    Ctl<QLineEdit>(Network(), PasswordControls::kAdminConfirm)->setText("pw1");
    QTest::mouseClick(submit, Qt::LeftButton);
    EXPECT_FALSE(submit->isEnabled());
    {
        // Each projector's user record is read first; then the operator confirms.
        ModalScript script;
        script.Then(script.Answer(QMessageBox::Ok));
        ASSERT_TRUE(QTest::qWaitFor([&] { return script.Finished(); }, kWaitMs));
        EXPECT_TRUE(script.boxes[0].text.contains("clears the user password on 3 projectors"));
    }
    EXPECT_EQ(Received("query=user").size(), 3u);
    ASSERT_TRUE(QTest::qWaitFor([&] { return Received("set=user").size() == 3; }, kWaitMs));
    ASSERT_TRUE(QTest::qWaitFor([&] { return submit->isEnabled(); }, kWaitMs));
    EXPECT_EQ(Received("set=user").size(), 3u);
    for (const auto& [address, body] : Received("set=user"))
        EXPECT_EQ(body, "set=user1pw1" + Blanks(29) + "0" + Blanks(32)) << address;
    for (size_t i = 0; i < 3; ++i)
        EXPECT_EQ(fleet->State(i).user.adminPassword, "pw1") << i;
}

TEST_F(GroupPagesTest, CancelledDhcpChangeSendsNothing) {
    Open();
    grpDialog->ShowSide(CGrpSetDlg::kSideNetwork);
    ModalScript script;
    script.Then(script.Answer(QMessageBox::Cancel));
    ClickLater(Ctl<QPushButton>(Network(), CGrpNetwork::kSubmitDhcp));
    ASSERT_TRUE(QTest::qWaitFor([&] { return script.Finished(); }, kWaitMs));
    EXPECT_TRUE(Ctl<QPushButton>(Network(), CGrpNetwork::kSubmitDhcp)->isEnabled());
    EXPECT_FALSE(Network()->Relocating());
    EXPECT_TRUE(grpDialog->isVisible());
    EXPECT_THAT(Received("query=network"), IsEmpty());
    EXPECT_THAT(Received("set=network"), IsEmpty());
}

TEST_F(GroupPagesTest, DhcpChangeKeepsEachAddressSkipsAHungProjectorAndClosesTheDialog) {
    fleet->UpdateState(2, [](sim::ProjectorState& s) { s.network.mask = "255.255.0.0"; });
    sim::Faults hang;
    hang.hang = true;
    fleet->SetFaults(1, hang);
    Open();
    grpDialog->ShowSide(CGrpSetDlg::kSideNetwork);
    Network()->SetTimeLimits(4000, 4000);
    Ctl<QCheckBox>(Network(), CGrpNetwork::kDhcp)->setChecked(true);

    // The GUI thread keeps turning while the hung projector holds the relocation.
    int ticks = 0;
    QTimer ticker;
    QObject::connect(&ticker, &QTimer::timeout, [&] { ++ticks; });
    ticker.start(20);
    bool sent = false;
    QObject::connect(Network(), &CGrpNetwork::relocationSent, [&] { sent = true; });

    ModalScript script(20000);
    script.Then(script.Answer(QMessageBox::Ok)).Then(script.Answer(QMessageBox::Ok));
    ClickLater(Ctl<QPushButton>(Network(), CGrpNetwork::kSubmitDhcp));
    ASSERT_TRUE(QTest::qWaitFor([&] { return script.boxes.size() == 1; }, kWaitMs));
    // The first projector is done, the second hangs: the bar shows one and the page is off.
    ASSERT_TRUE(QTest::qWaitFor([&] { return grpDialog->ProgressBar()->value() == 1; }, kWaitMs));
    const int ticksBefore = ticks;
    ASSERT_TRUE(QTest::qWaitFor([&] { return ticks > ticksBefore + 5; }, kWaitMs));
    EXPECT_FALSE(sent);
    EXPECT_FALSE(Ctl<QPushButton>(Network(), PasswordControls::kSubmit)->isEnabled());

    ASSERT_TRUE(QTest::qWaitFor([&] { return sent; }, kWaitMs));
    EXPECT_EQ(grpDialog->ProgressBar()->value(), 3);
    EXPECT_THAT(Network()->Skipped(), ElementsAre(fleet->Address(1)));
    ASSERT_TRUE(QTest::qWaitFor([&] { return !grpDialog->isVisible(); }, kWaitMs));
    ASSERT_TRUE(script.Finished());
    ASSERT_EQ(script.boxes.size(), 2u);
    EXPECT_EQ(script.boxes[1].text, kGroupRelocatedText);
    EXPECT_EQ(grpDialog->ProgressBar()->value(), 0);

    ASSERT_TRUE(WaitForReceived("set=network", 2));
    std::map<std::string, std::string> bodies;
    for (const auto& [address, body] : Received("set=network"))
        bodies[address] = body;
    EXPECT_EQ(bodies.size(), 2u);
    EXPECT_EQ(bodies.count(fleet->Address(1)), 0u);
    // Each keeps its own fields; only the DHCP digit changes.
    EXPECT_EQ(bodies[fleet->Address(0)], "set=network1" +
                                             HexAddress(*PackAddress(fleet->Address(0))) +
                                             "FFFFFF00" + "7F0000017F000001");
    EXPECT_EQ(bodies[fleet->Address(2)], "set=network1" +
                                             HexAddress(*PackAddress(fleet->Address(2))) +
                                             "FFFF0000" + "7F0000017F000001");
    // Under DHCP they stay where they are.
    ASSERT_TRUE(QTest::qWaitFor([&] { return fleet->State(2).network.dhcp == 1; }, kWaitMs));
    EXPECT_EQ(fleet->Address(2), "127.0.16.22");
}

// --- relocation followed by the main window ---------------------------------------------------

// Opens the settings dialog of list row `row` from the main window, submits `newAddress` on
// its Network page and waits until the page shows the projector at that address again.
// Returns whether the dialog followed the projector there.
bool RelocateThroughTheDialog(CVistrelDlg& window, Console& console, ConsoleBackend& backend,
                              RequestRing& ring, RegStore& store, ProjectorCommands& commands,
                              int row, const std::string& newAddress, int timeoutMs) {
    SettingsDialogs dialogs(window, console, ring, store);
    dialogs.InstallOn(commands);
    (void)backend;
    CPrjSetDlg* open = nullptr;
    auto page = [&] { return static_cast<CPrjNetwork*>(open->SidePage(CPrjSetDlg::kSideNetwork)); };
    auto control = [&](int id) { return page()->findChild<QWidget*>(ControlName(id)); };
    bool followed = false;
    ModalScript script(timeoutMs);
    script
        .Then([&](QWidget* modal) {
            open = qobject_cast<CPrjSetDlg*>(modal);
            if (!open)
                return false;
            open->ShowNetworkSide();
            return true;
        })
        .Then([&](QWidget*) {
            auto* submit = static_cast<QPushButton*>(control(CPrjNetwork::kSubmitNetwork));
            if (!submit->isEnabled())
                return false;
            static_cast<QLineEdit*>(control(CPrjNetwork::kIp))
                ->setText(QString::fromStdString(newAddress));
            QTimer::singleShot(0, submit, [submit] { submit->click(); });
            return true;
        })
        .Then(script.Answer(QMessageBox::Ok))
        .Then([&](QWidget*) {
            // Followed: the header shows the new address and the page, re-queried there, is
            // usable again.
            if (open->ipText() != newAddress ||
                !control(CPrjNetwork::kSubmitNetwork)->isEnabled() ||
                static_cast<QLineEdit*>(control(CPrjNetwork::kIp))->text().toStdString() !=
                    newAddress)
                return false;
            followed = true;
            open->accept();
            return true;
        });
    emit window.projectorActivated(row);
    const bool finished = script.Finished();
    // The runners call into `dialogs`, which ends here.
    commands.SetProjectorSettingsRunner({});
    commands.SetGroupSettingsRunner({});
    return finished && followed;
}

class RelocationEndToEnd : public CommandFixture {};

TEST_F(RelocationEndToEnd, ThePageFollowsTheProjectorToItsNewAddressWithAutoSearchOff) {
    Start({{"Lab", "P1"}});
    ASSERT_TRUE(WaitForRows(1));
    // The follow-up must not depend on the automatic cycle.
    console->autoSearchEnabled = false;
    const std::string oldAddress = fleet->Address(0);
    const std::string newAddress = "127.0.4.231";
    SelectRows({0});
    ASSERT_TRUE(RelocateThroughTheDialog(*window, *console, *backend, backend->ring(), *store,
                                         *projectorCommands, 0, newAddress, 30000));
    EXPECT_EQ(fleet->Address(0), newAddress);
    EXPECT_EQ(console->targetIps, std::vector<std::string>{newAddress});
    Info info;
    {
        auto table = console->table.Lock();
        ASSERT_TRUE(table.Lookup(fleet->Mac(0), info));
    }
    EXPECT_FALSE(info.relocating);
    EXPECT_EQ(info.ip, newAddress);
    // The record went to the old address, not through the ring.
    ASSERT_EQ(Received("set=network").size(), 1u);
    EXPECT_EQ(Received("set=network").front().first, oldAddress);
}

// The same with the console's real defaults (probe to 255.255.255.255:250, web control on
// port 80), inside a private namespace pair; skipped where namespaces cannot be made.
TEST(RelocationRealDefaults, TheConsoleFollowsAProjectorToANewFixedAddress) {
    sim::NetnsPair pair;
    std::string error;
    if (!pair.Create(&error)) {
        GTEST_SKIP() << "network namespaces unavailable (" << error
                     << "); this test never runs in the machine's own namespace";
    }
    auto options = sim::GenerateFleet(2, 29, sim::NetnsPair::kFleetFirstAddress);
    options.netns = pair.FleetNs();
    ASSERT_EQ(options.discoveryPort, 250);
    ASSERT_EQ(options.httpPort, 80);
    sim::Fleet fleet(std::move(options));
    ASSERT_TRUE(fleet.Start(&error)) << error;
    const std::string newAddress = "10.77.130.7";
    {
        sim::ScopedNetns inside(pair.ConsoleNs());
        ASSERT_TRUE(inside.Ok()) << inside.Error();
        vistrel::testing::TempDir dir;
        Console console;  // the product defaults
        ASSERT_EQ(console.profile.discoveryPort, 250);
        ASSERT_EQ(console.profile.httpPort, 80);
        console.autoSearchEnabled = false;
        RegStore store(dir.File(), "Vistrel");
        PollerOptions poller;
        poller.pause = std::chrono::milliseconds(100);
        poller.minIntervalMs = 0;  // every pass polls, so the check below need not wait 15 s
        poller.idleSleep = std::chrono::milliseconds(100);
        RequestRingOptions ringOptions;
        ringOptions.pause = std::chrono::milliseconds(10);
        ringOptions.shutdownGrace = std::chrono::milliseconds(1000);
        FleetBackend backend(console, store, poller, ringOptions);
        {
            CVistrelDlg window(console, backend);
            ASSERT_TRUE(window.DiscoveryOpen());
            auto* commands = new ProjectorCommands({window, store, backend.ring()});
            window.show();
            ASSERT_TRUE(QTest::qWaitFor([&] { return window.Model()->RowCount() == 2; }, 15000));
            int row = -1;
            for (int r = 0; r < window.Model()->RowCount(); ++r) {
                if (window.Model()->Cell(r, ProjectorListModel::kIp) == fleet.Address(1))
                    row = r;
            }
            ASSERT_GE(row, 0);
            window.ProjectorView()->selectionModel()->select(
                window.ViewIndex(row, 0),
                QItemSelectionModel::ClearAndSelect | QItemSelectionModel::Rows);
            ASSERT_TRUE(RelocateThroughTheDialog(window, console, backend, backend.ring(), store,
                                                 *commands, row, newAddress, 40000));
            EXPECT_EQ(fleet.Address(1), newAddress);
            Info info;
            {
                auto table = console.table.Lock();
                ASSERT_TRUE(table.Lookup(fleet.Mac(1), info));
            }
            EXPECT_EQ(info.ip, newAddress);
            EXPECT_FALSE(info.relocating);
            // Polling (which rests while Auto Search is off) goes on at the new address,
            // without a restart.
            console.autoSearchEnabled = true;
            const size_t before = fleet.Log().Entries().size();
            ASSERT_TRUE(QTest::qWaitFor(
                [&] {
                    const auto entries = fleet.Log().Entries();
                    for (size_t i = before; i < entries.size(); ++i) {
                        if (entries[i].address == newAddress && entries[i].body == "query=info")
                            return true;
                    }
                    return false;
                },
                15000));
            window.close();
        }
    }
    fleet.Stop();
}

}  // namespace
}  // namespace vistrel::test
