// The PJLink projector dialog against the demo's simulated PJLink projectors on 127.0.27.x:
// what it shows is what the projector holds, what it sends is exactly what the projector
// receives, and a projector that refuses the password or lacks class 2 says so.
#include <gtest/gtest.h>

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSignalSpy>
#include <QTableView>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

#include "app/console_session.h"
#include "app/projector_list_model.h"
#include "app/projector_list_proxy.h"
#include "pjlink/pjlink_monitor.h"
#include "settings/projector/pjlink_dlg.h"
#include "sim/pjlink_fleet.h"

namespace vistrel::test {
namespace {

using namespace std::chrono_literals;

// Index of the demo's PJLink projectors (every other one class 2, every third one with the
// password "panel", the fourth in standby, the last with a lamp warning).
constexpr size_t kClass1 = 0;
constexpr size_t kClass2 = 1;
constexpr size_t kClass1Password = 2;
constexpr size_t kClass2Standby = 3;
constexpr size_t kClass2Password = 5;

SessionOptions MixedDemo(const QTemporaryDir& dir) {
    SessionOptions options;
    options.appName = "vistrel-gui-test";
    options.storeFile = (dir.path() + "/registry.reg").toStdString();
    DemoOptions demo;
    demo.count = 2;
    demo.firstAddress = "127.0.27.2";
    demo.consoleAddress = "127.0.27.1";
    demo.silentAfter = 0ms;
    demo.pjlinkCount = 6;
    options.demo = demo;
    return options;
}

// The commands (not the queries) projector `address` received, in order.
std::vector<std::string> CommandsTo(const sim::PjlinkFleet& fleet, const std::string& address) {
    std::vector<std::string> lines;
    for (const sim::PjlinkLogEntry& entry : fleet.Log()) {
        if (entry.address == address && entry.line.find('?') == std::string::npos)
            lines.push_back(entry.line);
    }
    return lines;
}

// Waits until the dialog has no exchange outstanding and has shown an answer or a failure.
bool Settled(CPjlinkDlg& dialog) {
    QSignalSpy shown(&dialog, &CPjlinkDlg::refreshed);
    while (dialog.pending() > 0) {
        if (!shown.wait(20000))
            return false;
    }
    return true;
}

TEST(PjlinkDialog, ClassTwoShowsTheProjectorAndSendsExactlyWhatIsChosen) {
    QTemporaryDir dir;
    ConsoleSession session(MixedDemo(dir));
    std::string error;
    ASSERT_TRUE(session.Start(&error)) << error;
    CVistrelDlg& window = session.window();
    window.show();
    sim::PjlinkFleet& fleet = *session.demo()->pjlink();
    const std::string ip = fleet.Address(kClass2);
    const sim::PjlinkProjectorConfig config = fleet.Config(kClass2);

    // Found by the search and polled: its row opens the PJLink dialog, not the other one.
    ProjectorListModel& model = *window.Model();
    const std::string key = pjlink::PjlinkKey(ip);
    QTRY_VERIFY_WITH_TIMEOUT(
        model.FindRow(key) >= 0 &&
            !model.Cell(model.FindRow(key), ProjectorListModel::kPower).empty(),
        20000);
    const QModelIndex shownAt = window.Proxy()->mapFromSource(model.index(model.FindRow(key), 0));
    window.ProjectorView()->selectRow(shownAt.row());
    bool opened = false;
    bool sidesOff = false;
    QTimer::singleShot(0, &window, [&] {
        // Runs inside the dialog's own event loop once it is up.
        QTRY_VERIFY_WITH_TIMEOUT(QApplication::activeModalWidget() != nullptr, 10000);
        auto* dialog = qobject_cast<CPjlinkDlg*>(QApplication::activeModalWidget());
        opened = dialog != nullptr;
        if (dialog) {
            sidesOff =
                dialog->SideButton(1024)->isEnabled() && !dialog->SideButton(1025)->isEnabled() &&
                !dialog->SideButton(1026)->isEnabled() && !dialog->SideButton(1027)->isEnabled() &&
                dialog->PasswordButton()->isVisibleTo(dialog);
        }
        if (auto* modal = qobject_cast<QDialog*>(QApplication::activeModalWidget()))
            modal->accept();
    });
    emit window.ProjectorView()->doubleClicked(shownAt);
    EXPECT_TRUE(opened);
    EXPECT_TRUE(sidesOff);

    CPjlinkDlg dialog(&window, *session.backend().Pjlink(), ip, "", config.name);
    dialog.setModal(false);
    dialog.show();
    ASSERT_TRUE(Settled(dialog));
    ASSERT_TRUE(dialog.answered()) << dialog.NoticeLine()->text().toStdString();
    EXPECT_EQ(dialog.StatusLine()->text(), "Ready");
    EXPECT_EQ(dialog.PowerState()->text(), "On");
    EXPECT_FALSE(dialog.PowerOnButton()->isEnabled());
    EXPECT_TRUE(dialog.PowerOffButton()->isEnabled());
    // Inputs in the projector's order, by their class-2 names; the current one chosen.
    ASSERT_EQ(dialog.InputList()->count(), static_cast<int>(config.inputs.size()));
    for (size_t i = 0; i < config.inputs.size(); ++i) {
        EXPECT_EQ(dialog.InputList()->itemText(static_cast<int>(i)).toStdString(),
                  config.inputNames[i]);
    }
    EXPECT_EQ(dialog.InputList()->currentData().toString().toStdString(), config.input);
    EXPECT_EQ(dialog.AvMuteList()->currentIndex(), CPjlinkDlg::kMuteOff);
    EXPECT_FALSE(dialog.FreezeBox()->isChecked());
    EXPECT_TRUE(dialog.FreezeBox()->isEnabled());
    EXPECT_TRUE(dialog.VolumeButton(true, false)->isEnabled());
    EXPECT_EQ(dialog.LampLine()->text(), QStringLiteral("Lamp 1: %1 h (on)").arg(config.lampHours));
    EXPECT_EQ(dialog.FilterLine()->text(), QStringLiteral("Filter: %1 h").arg(config.filterHours));
    const std::string identity[] = {config.maker, config.model, config.serial, config.software};
    for (int row = 0; row < 4; ++row) {
        EXPECT_EQ(dialog.IdentityValue(row)->text().toStdString(), identity[row]) << row;
    }
    for (int item = 0; item < pjlink::kErrorItems; ++item) {
        EXPECT_EQ(dialog.ErrorState(item)->text(), "Fine") << item;
    }

    // Each choice goes out as its exact command, and the page then shows the projector's word.
    fleet.ClearLog();
    emit dialog.InputList()->activated(0);
    ASSERT_TRUE(Settled(dialog));
    EXPECT_EQ(fleet.Config(kClass2).input, config.inputs[0]);
    EXPECT_EQ(dialog.InputList()->currentText().toStdString(), config.inputNames[0]);
    emit dialog.AvMuteList()->activated(CPjlinkDlg::kMuteBoth);
    ASSERT_TRUE(Settled(dialog));
    EXPECT_EQ(dialog.AvMuteList()->currentIndex(), CPjlinkDlg::kMuteBoth);
    emit dialog.AvMuteList()->activated(CPjlinkDlg::kMuteVideo);
    ASSERT_TRUE(Settled(dialog));
    EXPECT_EQ(dialog.AvMuteList()->currentIndex(), CPjlinkDlg::kMuteVideo);
    dialog.FreezeBox()->click();
    ASSERT_TRUE(Settled(dialog));
    EXPECT_TRUE(dialog.FreezeBox()->isChecked());
    dialog.VolumeButton(false, true)->click();
    ASSERT_TRUE(Settled(dialog));
    dialog.VolumeButton(true, false)->click();
    ASSERT_TRUE(Settled(dialog));
    EXPECT_TRUE(dialog.NoticeLine()->text().isEmpty()) << dialog.NoticeLine()->text().toStdString();
    const std::vector<std::string> expected = {"%1INPT 11", "%1AVMT 31", "%1AVMT 11", "%1AVMT 20",
                                               "%2FREZ 1",  "%2SVOL 1",  "%2MVOL 0"};
    EXPECT_EQ(CommandsTo(fleet, ip), expected);

    // Off: the projector cools down, and the page follows it to standby on its own.
    dialog.PowerOffButton()->click();
    QTRY_COMPARE_WITH_TIMEOUT(dialog.PowerState()->text(), QStringLiteral("Standby"), 30000);
    EXPECT_EQ(CommandsTo(fleet, ip).back(), "%1POWR 0");
    EXPECT_TRUE(dialog.PowerOnButton()->isEnabled());
    EXPECT_FALSE(dialog.InputList()->isEnabled());  // a projector in standby refuses inputs
    dialog.close();
}

TEST(PjlinkDialog, ClassOneLacksClassTwoControlsAndARefusedPasswordIsShown) {
    QTemporaryDir dir;
    ConsoleSession session(MixedDemo(dir));
    std::string error;
    ASSERT_TRUE(session.Start(&error)) << error;
    CVistrelDlg& window = session.window();
    sim::PjlinkFleet& fleet = *session.demo()->pjlink();
    pjlink::Monitor& monitor = *session.backend().Pjlink();

    {
        CPjlinkDlg dialog(&window, monitor, fleet.Address(kClass1), "", "");
        dialog.show();
        ASSERT_TRUE(Settled(dialog));
        ASSERT_TRUE(dialog.answered());
        EXPECT_EQ(dialog.PowerState()->text(), "On");
        // Class 1 names its inputs by kind and number.
        EXPECT_EQ(dialog.InputList()->currentText(), "Digital 1");
        EXPECT_EQ(dialog.InputList()->itemText(0), "RGB 1");
        EXPECT_TRUE(dialog.InputList()->isEnabled());
        EXPECT_TRUE(dialog.AvMuteList()->isEnabled());
        EXPECT_FALSE(dialog.FreezeBox()->isEnabled());
        for (bool mic : {false, true}) {
            for (bool up : {false, true}) {
                EXPECT_FALSE(dialog.VolumeButton(mic, up)->isEnabled());
            }
        }
        EXPECT_EQ(dialog.IdentityValue(2)->text(), "not reported");
        EXPECT_EQ(dialog.FilterLine()->text(), "Filter: not reported");
        // Nothing of class 2 was ever asked of it.
        for (const sim::PjlinkLogEntry& entry : fleet.Log()) {
            if (entry.address == fleet.Address(kClass1)) {
                EXPECT_EQ(entry.line.rfind("%2", 0), std::string::npos) << entry.line;
            }
        }
    }

    {
        const std::string ip = fleet.Address(kClass1Password);
        CPjlinkDlg dialog(&window, monitor, ip, "", "");
        dialog.SetPasswordSetter([&session, ip](const std::string& password, std::string* why) {
            return session.backend().SetPjlinkPassword(ip, password, why);
        });
        dialog.show();
        ASSERT_TRUE(Settled(dialog));
        EXPECT_FALSE(dialog.answered());
        EXPECT_EQ(dialog.StatusLine()->text(), "Refused");
        EXPECT_TRUE(dialog.NoticeLine()->text().contains("PJLink password refused"));
        EXPECT_TRUE(dialog.PasswordButton()->isVisibleTo(&dialog));
        EXPECT_FALSE(dialog.PowerOnButton()->isEnabled());
        EXPECT_FALSE(dialog.PowerOffButton()->isEnabled());
        // A wrong one typed is refused again; the right one gets the answer.
        ASSERT_TRUE(dialog.SetPassword("pannel"));
        ASSERT_TRUE(Settled(dialog));
        EXPECT_FALSE(dialog.answered());
        EXPECT_EQ(dialog.StatusLine()->text(), "Refused");
        ASSERT_TRUE(dialog.SetPassword("panel"));
        ASSERT_TRUE(Settled(dialog));
        ASSERT_TRUE(dialog.answered());
        EXPECT_EQ(dialog.StatusLine()->text(), "Ready");
        EXPECT_TRUE(dialog.NoticeLine()->text().isEmpty());
        EXPECT_EQ(dialog.IdentityValue(1)->text().toStdString(),
                  fleet.Config(kClass1Password).model);
    }

    {
        // In standby only power on is offered, and a command the projector turns down says why.
        CPjlinkDlg dialog(&window, monitor, fleet.Address(kClass2Standby), "", "");
        dialog.show();
        ASSERT_TRUE(Settled(dialog));
        ASSERT_TRUE(dialog.answered());
        EXPECT_EQ(dialog.PowerState()->text(), "Standby");
        EXPECT_TRUE(dialog.PowerOnButton()->isEnabled());
        EXPECT_FALSE(dialog.PowerOffButton()->isEnabled());
        EXPECT_FALSE(dialog.AvMuteList()->isEnabled());
        emit dialog.AvMuteList()->activated(CPjlinkDlg::kMuteBoth);
        ASSERT_TRUE(Settled(dialog));
        EXPECT_EQ(dialog.NoticeLine()->text(), "AV mute: unavailable now");
    }

    ASSERT_TRUE(session.backend().SetPjlinkPassword({}, "panel", &error)) << error;
    {
        // Class 2 behind a password, with a lamp warning.
        CPjlinkDlg dialog(&window, monitor, fleet.Address(kClass2Password), "", "");
        dialog.show();
        ASSERT_TRUE(Settled(dialog));
        ASSERT_TRUE(dialog.answered());
        EXPECT_TRUE(dialog.FreezeBox()->isEnabled());
        const std::string errors = fleet.Config(kClass2Password).errors;
        for (int item = 0; item < pjlink::kErrorItems; ++item) {
            const char* word = errors[static_cast<size_t>(item)] == '1' ? "Warning" : "Fine";
            EXPECT_EQ(dialog.ErrorState(item)->text(), word) << item;
        }
        EXPECT_NE(dialog.ErrorState(static_cast<int>(pjlink::ErrorItem::Lamp))
                      ->palette()
                      .color(QPalette::WindowText),
                  dialog.ErrorState(0)->palette().color(QPalette::WindowText));
    }
}

}  // namespace
}  // namespace vistrel::test
