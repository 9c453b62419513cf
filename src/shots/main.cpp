// vistrel-shots: pictures of the settings pages as an operator sees them, taken from the
// demo fleet on loopback. Used by scripts/screenshots.sh.
//   vistrel-shots DIR [TEXT%]
//                         writes DIR/prjdlg-*.png and DIR/grpdlg-*.png (one PNG per page),
//                         DIR/screenshot.png (the main window with the fleet listed) and
//                         DIR/main-find-sort.png (the list narrowed by the find field and
//                         sorted by a column), DIR/main-health*.png (the health counts
//                         under the list, the list narrowed by one, a dark theme),
//                         DIR/fleet-report.png, DIR/health-thresholds.png and
//                         DIR/pjlink-dialog*.png (a PJLink projector of class 2, of class
//                         1, and one whose password is refused). TEXT% (such as
//                         150) enlarges the application font as a larger text size setting
//                         does. Every label, button, list or field whose text does not fit is
//                         named on stderr ("cut: ...").
#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QDeadlineTimer>
#include <QDir>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>
#include <functional>
#include <map>

#include "app/about_dlg.h"
#include "app/add_group_dialog.h"
#include "app/console_session.h"
#include "app/fleet_report_dlg.h"
#include "app/group_action_dialog.h"
#include "app/health_thresholds_dlg.h"
#include "app/projector_list_model.h"
#include "app/projector_list_proxy.h"
#include "app/refresh_dialog.h"
#include "app/rename_group_dialog.h"
#include "app/vistrel_app.h"
#include "app/vistrel_dlg.h"
#include "controls/static_text.h"
#include "controls/text_fit.h"
#include "settings/common/password_form.h"
#include "settings/projector/page_prj.h"
#include "settings/projector/pjlink_dlg.h"
#include "settings/projector/prj_set_dlg.h"
#include "settings/shared/grp_set_dlg.h"
#include "settings/shared/prj_alert.h"
#include "settings/shared/prj_network.h"
#include "sim/fleet.h"
#include "sim/pjlink_fleet.h"
#include "store/reg_store.h"

namespace {

bool WaitFor(const std::function<bool()>& ready, int timeoutMs) {
    QDeadlineTimer deadline(timeoutMs);
    while (!ready()) {
        if (deadline.hasExpired())
            return false;
        QApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(10);
    }
    return true;
}

// Names every control of `root` whose text is cut, on stderr.
void ReportCutText(const QWidget& root, const char* picture) {
    for (const vistrel::CutText& cut : vistrel::CutTexts(root, true)) {
        if (!cut.widget->isVisibleTo(&root))
            continue;
        QString text;
        if (const auto* label = qobject_cast<const QLabel*>(cut.widget))
            text = label->text();
        else if (const auto* button = qobject_cast<const QAbstractButton*>(cut.widget))
            text = button->text();
        else if (const auto* list = qobject_cast<const QComboBox*>(cut.widget))
            text = list->currentText();
        else if (const auto* edit = qobject_cast<const QLineEdit*>(cut.widget))
            text = edit->text();
        else if (const auto* caption = qobject_cast<const vistrel::CStaticText*>(cut.widget))
            text = caption->text();
        std::fprintf(stderr, "cut: %s: %s %s \"%s\" needs %dx%d, has %dx%d\n", picture,
                     cut.widget->metaObject()->className(), qPrintable(cut.widget->objectName()),
                     qPrintable(text), cut.needed.width(), cut.needed.height(), cut.widget->width(),
                     cut.widget->height());
    }
}

// The fleet's health: a few lamps past their thresholds and one projector that stopped
// answering, shown by the status bar under the list, the list narrowed by one of its counts,
// the fleet report and the thresholds dialog.
template <typename Save>
int HealthPictures(vistrel::ConsoleSession& session, vistrel::CVistrelDlg& window, Save& save) {
    vistrel::sim::Fleet& fleet = session.demo()->fleet();
    // Back to discovery order, every row shown, nothing selected.
    emit window.ProjectorView()->horizontalHeader()->sectionClicked(
        vistrel::ProjectorListModel::kLampHour);
    window.FindField()->clear();
    window.ProjectorView()->clearSelection();
    // A fleet mostly on one firmware with a few behind, lamps spread below the thresholds...
    for (size_t i = 0; i < fleet.Size(); ++i) {
        fleet.UpdateState(i, [i](vistrel::sim::ProjectorState& s) {
            s.firmware = i == 10 ? "A101" : (i % 5 == 2 ? "A119" : "A123");
            s.lampHours = 300 + static_cast<int>(i) * 230;
        });
        // ...and the models as the Projector Setting dialogs read them.
        window.Health().RecordModel(fleet.Mac(i), fleet.State(i).model);
    }
    // ...but for four.
    const std::pair<size_t, int> lamps[] = {{1, 3240}, {4, 4310}, {6, 3620}, {9, 3050}};
    for (const auto& [index, hours] : lamps) {
        fleet.UpdateState(index, [hours = hours](vistrel::sim::ProjectorState& s) {
            s.power = vistrel::sim::kPowerOn;
            s.lampHours = hours;
        });
    }
    // The shortest silence the dialog accepts, so the picture need not wait two minutes.
    vistrel::HealthThresholds thresholds = window.Thresholds();
    thresholds.notAnsweringSeconds = vistrel::kMinNotAnsweringSeconds;
    window.ApplyThresholds(thresholds);
    const size_t silent = 7;
    fleet.UpdateState(silent, [](vistrel::sim::ProjectorState& s) {
        s.power = vistrel::sim::kPowerOn;
        s.lampHours = 2980;
    });
    const bool polled = WaitFor(
        [&] {
            window.RefreshNow();
            return window.StatusBar()->Counts().lampWarning == 3 &&
                   window.StatusBar()->Counts().lampCritical == 1 &&
                   window.Model()->Cell(window.Model()->FindRow(fleet.Mac(silent)),
                                        vistrel::ProjectorListModel::kLampHour) == "2980";
        },
        40000);
    // Its web server stops answering (discovery still hears it, so it stays listed).
    vistrel::sim::Faults mute;
    mute.emptyReply = true;
    fleet.SetFaults(silent, mute);
    const bool marked = polled && WaitFor(
                                      [&] {
                                          window.RefreshNow();
                                          return window.StatusBar()->Counts().notAnswering == 1;
                                      },
                                      60000);
    if (!marked) {
        std::fputs("vistrel-shots: the health marks did not show\n", stderr);
        return 1;
    }
    window.RefreshNow();
    int failures = 0;
    const auto saved = [&](QWidget& widget, const char* file) { save(widget, file); };
    saved(window, "main-health.png");
    window.SetHealthFilter(vistrel::HealthFilter::kLampWarning);
    saved(window, "main-health-filter.png");
    window.SetHealthFilter(vistrel::HealthFilter::kAll);

    vistrel::FleetReportDlg report(window.CurrentHealthReport(), &window);
    report.show();
    saved(report, "fleet-report.png");
    report.close();
    vistrel::HealthThresholdsDlg dialog(window.Thresholds(), &window);
    dialog.show();
    saved(dialog, "health-thresholds.png");
    dialog.close();

    // The same window under a dark theme: the marks must still read.
    const QPalette light = QApplication::palette();
    QPalette dark;
    dark.setColor(QPalette::Window, QColor(45, 45, 48));
    dark.setColor(QPalette::WindowText, QColor(230, 230, 230));
    dark.setColor(QPalette::Base, QColor(30, 30, 30));
    dark.setColor(QPalette::Text, QColor(230, 230, 230));
    dark.setColor(QPalette::Button, QColor(60, 60, 64));
    dark.setColor(QPalette::ButtonText, QColor(230, 230, 230));
    dark.setColor(QPalette::Highlight, QColor(70, 110, 170));
    dark.setColor(QPalette::Link, QColor(130, 180, 255));
    QApplication::setPalette(dark);
    window.RefreshNow();
    saved(window, "main-health-dark.png");
    QApplication::setPalette(light);
    return failures;
}

// The PJLink projector dialog: one whose password the console lacks, then, the password
// set, one of class 2 with a lamp warning, and one of class 1.
template <typename Save>
int PjlinkPictures(vistrel::ConsoleSession& session, vistrel::CVistrelDlg& window, Save& save) {
    vistrel::sim::PjlinkFleet* fleet = session.demo()->pjlink();
    if (fleet == nullptr || fleet->Size() < 6) {
        std::fputs("vistrel-shots: the demo has no PJLink projectors\n", stderr);
        return 1;
    }
    int failures = 0;
    auto picture = [&](size_t index, const char* file) {
        const vistrel::sim::PjlinkProjectorConfig config = fleet->Config(index);
        vistrel::CPjlinkDlg dialog(&window, *session.backend().Pjlink(), config.address,
                                   session.demo()->GroupNames().front(), config.name);
        dialog.SetPasswordSetter(
            [&session, ip = config.address](const std::string& password, std::string* error) {
                return session.backend().SetPjlinkPassword(ip, password, error);
            });
        dialog.setModal(false);
        dialog.show();
        if (!WaitFor(
                [&] {
                    return dialog.pending() == 0 &&
                           (dialog.answered() || !dialog.NoticeLine()->text().isEmpty());
                },
                15000)) {
            std::fprintf(stderr, "vistrel-shots: the PJLink dialog did not settle for %s\n", file);
            ++failures;
        }
        save(dialog, file);
        dialog.close();
    };
    // The demo's PJLink projectors: every other one class 2, every third one with a password.
    picture(2, "pjlink-dialog-refused.png");
    std::string error;
    if (!session.backend().SetPjlinkPassword({}, "panel", &error)) {
        std::fprintf(stderr, "vistrel-shots: %s\n", error.c_str());
        return failures + 1;
    }
    picture(5, "pjlink-dialog.png");
    picture(0, "pjlink-dialog-class1.png");
    return failures;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2 && argc != 3) {
        std::fputs("usage: vistrel-shots DIR [TEXT%]\n", stderr);
        return 2;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vistrel"));
    if (argc == 3) {
        const double scale = QString::fromLocal8Bit(argv[2]).toDouble() / 100.0;
        if (scale < 0.5 || scale > 4.0) {
            std::fputs("vistrel-shots: TEXT% is a percentage from 50 to 400\n", stderr);
            return 2;
        }
        QFont font = QApplication::font();
        font.setPointSizeF(font.pointSizeF() * scale);
        QApplication::setFont(font);
    }
    vistrel::InitGuiResources();
    const QDir out(QString::fromLocal8Bit(argv[1]));
    QTemporaryDir storeDir;

    vistrel::SessionOptions options;
    options.storeFile = storeDir.filePath(QStringLiteral("registry.reg")).toStdString();
    vistrel::DemoOptions demo;
    demo.count = 12;
    demo.silentAfter = std::chrono::milliseconds(0);
    options.demo = demo;
    vistrel::ConsoleSession session(options);
    std::string error;
    if (!session.Start(&error)) {
        std::fprintf(stderr, "vistrel-shots: the demo fleet cannot start: %s\n", error.c_str());
        return 1;
    }
    vistrel::sim::Fleet& fleet = session.demo()->fleet();
    fleet.UpdateState(0, [](vistrel::sim::ProjectorState& s) {
        s.power = vistrel::sim::kPowerOn;
        s.model = "6";
        s.control.avMute = 0;
        s.alert.mailTo = "av-team@example.org";
        s.alert.mailSubject = "Projector alert";
        s.alert.mailFrom = "projector@example.org";
        s.alert.smtpServer = "mail.example.org";
        s.alert.smtpUser = "projector";
        s.alert.smtpPassword = "secret";
        s.alert.fanLock = 1;
        s.alert.lampFail = 1;
    });
    const vistrel::sim::ProjectorState state = fleet.State(0);
    session.console().targetIps = {fleet.Address(0)};
    session.console().targetMacs = {fleet.Mac(0)};

    // Tasks to show on the Scheduler pages: one daily start and one weekly stop.
    {
        const int64_t now = session.console().clock.Now();
        vistrel::SchedTask on{1, 1, now, now, now, 0};
        vistrel::SchedTask off{1, 2, now + 9 * 3600, now, now + 9 * 3600, 1};
        vistrel::RegStore::Batch batch(session.store());
        session.store().WriteProjectorTask(fleet.Mac(0), 0, &on);
        session.store().WriteProjectorTask(fleet.Mac(0), 2, &off);
        session.store().WriteGroupTask("All Projectors", 1, &off);
    }
    vistrel::CPrjSetDlg dialog(&session.window(), session.console(), session.backend().ring(),
                               session.store(), fleet.Address(0), state.group, state.name);
    dialog.setModal(false);
    dialog.show();
    const bool ready = WaitFor(
        [&] {
            return dialog.StatusLine()->text() == QStringLiteral("Ready") &&
                   dialog.ProjectorPage()->powerState() == 1;
        },
        15000);
    if (!ready) {
        std::fputs("vistrel-shots: the dialog did not show the projector's state\n", stderr);
        return 1;
    }
    // Pages that are built; the others are still empty and get no picture.
    const std::pair<int, const char*> pages[] = {
        {vistrel::CPrjSetDlg::kTabProjector, "prjdlg-projector.png"},
        {vistrel::CPrjSetDlg::kTabImage, "prjdlg-image.png"},
        {vistrel::CPrjSetDlg::kTabDisplay, "prjdlg-display.png"},
        {vistrel::CPrjSetDlg::kTabSetting, "prjdlg-setting.png"},
    };
    int failures = 0;
    auto save = [&](QWidget& widget, const char* file) {
        QApplication::processEvents();
        const QString path = out.filePath(QString::fromLatin1(file));
        ReportCutText(widget, file);
        if (widget.grab().save(path, "PNG")) {
            std::printf("%s\n", qPrintable(path));
        } else {
            std::fprintf(stderr, "vistrel-shots: cannot write %s\n", qPrintable(path));
            ++failures;
        }
    };
    for (const auto& [tab, file] : pages) {
        dialog.Tabs()->setCurrentIndex(tab);
        save(dialog, file);
    }
    // Side pages, once the projector's reply has filled them.
    auto filled = [&](int side, int submitId) {
        QWidget* page = dialog.SidePage(side);
        return WaitFor(
            [&] {
                auto* submit = page->findChild<QPushButton*>(vistrel::ControlName(submitId));
                return submit && submit->isEnabled() &&
                       dialog.StatusLine()->text() == QStringLiteral("Ready");
            },
            15000);
    };
    // A password typed into both fields, as the operator sees it: masked.
    auto typePassword = [](QWidget* page) {
        for (int id : {vistrel::PasswordControls::kAdminPassword,
                       vistrel::PasswordControls::kAdminConfirm}) {
            if (auto* edit = page->findChild<QLineEdit*>(vistrel::ControlName(id)))
                edit->setText(QStringLiteral("adm123"));
        }
    };
    dialog.ShowNetworkSide();
    if (filled(vistrel::CPrjSetDlg::kSideNetwork, vistrel::CPrjNetwork::kSubmitNetwork)) {
        typePassword(dialog.SidePage(vistrel::CPrjSetDlg::kSideNetwork));
        save(dialog, "prjdlg-network.png");
    } else
        ++failures;
    dialog.ShowAlertSide();
    if (filled(vistrel::CPrjSetDlg::kSideAlert, vistrel::CPrjAlert::kSubmit))
        save(dialog, "prjdlg-alert.png");
    else
        ++failures;
    dialog.ShowSchedulerSide();
    save(dialog, "prjdlg-scheduler.png");
    dialog.close();

    // The group dialog for the whole demo fleet, as "All Projectors" opens it.
    vistrel::Console& console = session.console();
    console.targetIps.clear();
    console.targetMacs.clear();
    console.batch.clear();
    for (size_t i = 0; i < fleet.Size(); ++i) {
        console.targetIps.push_back(fleet.Address(i));
        console.targetMacs.push_back(fleet.Mac(i));
        vistrel::MsgCmd entry;
        entry.ip = fleet.Address(i);
        console.batch.push_back(entry);
    }
    vistrel::CGrpSetDlg group(&session.window(), console, session.backend().ring(), session.store(),
                              "All Projectors");
    group.setModal(false);
    group.show();
    const std::pair<int, const char*> groupPages[] = {
        {vistrel::CGrpSetDlg::kSideProjector, "grpdlg-projector.png"},
        {vistrel::CGrpSetDlg::kSideNetwork, "grpdlg-network.png"},
        {vistrel::CGrpSetDlg::kSideAlert, "grpdlg-alert.png"},
        {vistrel::CGrpSetDlg::kSideScheduler, "grpdlg-scheduler.png"},
    };
    typePassword(group.Page(vistrel::CGrpSetDlg::kSideNetwork));
    for (const auto& [side, file] : groupPages) {
        group.ShowSide(side);
        save(group, file);
    }
    group.close();

    // The main window once every projector is listed, then its list narrowed to the largest group
    // by the find field and sorted by lamp hours, longest first, with two projectors ticked.
    vistrel::CVistrelDlg& window = session.window();
    window.show();
    // The PJLink projectors of the mixed demo fleet are listed beside the others.
    const size_t everyone = fleet.Size() + session.demo()->PjlinkCount();
    const bool listed = WaitFor(
        [&] {
            window.RefreshNow();
            vistrel::ProjectorListModel* model = window.Model();
            if (model->RowCount() != static_cast<int>(everyone))
                return false;
            // Every row polled; a PJLink projector whose password is refused has no name.
            size_t named = 0;
            for (int row = 0; row < model->RowCount(); ++row) {
                if (model->Cell(row, vistrel::ProjectorListModel::kPower).empty())
                    return false;
                if (!model->Cell(row, vistrel::ProjectorListModel::kProjectorName).empty())
                    ++named;
            }
            return named >= fleet.Size();
        },
        20000);
    if (listed) {
        save(window, "screenshot.png");
        std::map<std::string, int> members;
        for (size_t i = 0; i < fleet.Size(); ++i) {
            if (!fleet.State(i).group.empty())
                ++members[fleet.State(i).group];
        }
        std::string largest;
        for (const auto& [name, count] : members) {
            if (largest.empty() || count > members[largest])
                largest = name;
        }
        window.FindField()->setText(QString::fromStdString(largest).toLower());
        QHeaderView* header = window.ProjectorView()->horizontalHeader();
        emit header->sectionClicked(vistrel::ProjectorListModel::kLampHour);
        emit header->sectionClicked(vistrel::ProjectorListModel::kLampHour);
        const QAbstractItemModel* shown = window.ProjectorView()->model();
        for (int row = 0; row < 2 && row < shown->rowCount(); ++row) {
            window.Model()->SetChecked(window.Proxy()->mapToSource(shown->index(row, 0)).row(),
                                       true);
        }
        window.ProjectorView()->selectRow(0);
        save(window, "main-find-sort.png");
        failures += HealthPictures(session, window, save);
    } else {
        std::fprintf(stderr, "vistrel-shots: the list shows %d of the %zu demo projectors\n",
                     window.Model()->RowCount(), everyone);
        ++failures;
    }

    // The small dialogs of the main window, as they first open.
    {
        vistrel::CAboutDlg about(&window);
        about.show();
        save(about, "dlg-about.png");
        vistrel::CAddGroup add({QStringLiteral("Lab")}, &window);
        add.show();
        save(add, "dlg-add-group.png");
        vistrel::CRenGrpDlg rename({QStringLiteral("Lab")}, &window);
        rename.show();
        save(rename, "dlg-rename-group.png");
        vistrel::CRefreshDlg refresh(30000, &window);
        refresh.show();
        save(refresh, "dlg-refresh.png");
        vistrel::CGrpActDlg action({QStringLiteral("Lab"), QStringLiteral("Hall")},
                                   QStringLiteral("Lab"), true, &window);
        action.actionLabel = QStringLiteral("Delete Group");
        action.show();
        save(action, "dlg-group-action.png");
    }
    failures += PjlinkPictures(session, window, save);
    return failures == 0 ? 0 : 1;
}
