// vistrel-shots: pictures of the settings pages as an operator sees them, taken from the
// demo fleet on loopback. Used by scripts/screenshots.sh.
//   vistrel-shots DIR     writes DIR/prjdlg-projector.png (and one PNG per finished page)
#include <QApplication>
#include <QDeadlineTimer>
#include <QDir>
#include <QLabel>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QThread>
#include <cstdio>
#include <functional>

#include "app/console_session.h"
#include "app/vistrel_app.h"
#include "settings/projector/page_prj.h"
#include "settings/projector/prj_set_dlg.h"
#include "sim/fleet.h"

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

}  // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: vistrel-shots DIR\n", stderr);
        return 2;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vistrel"));
    vistrel::InitGuiResources();
    const QDir out(QString::fromLocal8Bit(argv[1]));
    QTemporaryDir storeDir;

    vistrel::SessionOptions options;
    options.storeFile = storeDir.filePath(QStringLiteral("registry.reg")).toStdString();
    vistrel::DemoOptions demo;
    demo.count = 3;
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
    });
    const vistrel::sim::ProjectorState state = fleet.State(0);
    session.console().targetIps = {fleet.Address(0)};
    session.console().targetMacs = {fleet.Mac(0)};

    vistrel::CPrjSetDlg dialog(&session.window(), session.console(), session.backend().ring(),
                               fleet.Address(0), state.group, state.name);
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
    for (const auto& [tab, file] : pages) {
        dialog.Tabs()->setCurrentIndex(tab);
        QApplication::processEvents();
        const QString path = out.filePath(QString::fromLatin1(file));
        if (dialog.grab().save(path, "PNG")) {
            std::printf("%s\n", qPrintable(path));
        } else {
            std::fprintf(stderr, "vistrel-shots: cannot write %s\n", qPrintable(path));
            ++failures;
        }
    }
    dialog.close();
    return failures == 0 ? 0 : 1;
}
