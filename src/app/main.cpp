// vistrel: the projector console.
//   vistrel                       the console on the real network
//   vistrel --demo [N]            the console against N simulated projectors on loopback
//   vistrel --screenshot FILE [--after SECONDS]   save the main window to FILE and exit
//   vistrel --version
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <string>

#include "app/about_dlg.h"
#include "app/console_session.h"
#include "app/vistrel_app.h"

namespace {

struct Arguments {
    bool version = false;
    bool help = false;
    std::optional<size_t> demo;
    std::string screenshot;
    double after = 3.0;
    std::string error;
};

bool ParseNumber(const char* text, double& out) {
    char* end = nullptr;
    out = std::strtod(text, &end);
    return end && *end == '\0' && end != text && out >= 0;
}

Arguments Parse(int argc, char** argv) {
    Arguments args;
    for (int i = 1; i < argc; ++i) {
        const std::string a = argv[i];
        if (a == "--version") {
            args.version = true;
        } else if (a == "--help" || a == "-h") {
            args.help = true;
        } else if (a == "--demo") {
            args.demo = 12;
            double n = 0;
            if (i + 1 < argc && ParseNumber(argv[i + 1], n)) {
                if (n < 1 || n > 5000) {
                    args.error = "--demo takes a count from 1 to 5000";
                    return args;
                }
                args.demo = static_cast<size_t>(n);
                ++i;
            }
        } else if (a == "--screenshot" && i + 1 < argc) {
            args.screenshot = argv[++i];
        } else if (a == "--after" && i + 1 < argc) {
            if (!ParseNumber(argv[++i], args.after)) {
                args.error = "--after takes a number of seconds";
                return args;
            }
        } else if (a.rfind("-", 0) == 0 && a.rfind("-platform", 0) != 0 &&
                   a.rfind("-style", 0) != 0) {
            args.error = "unknown option " + a;
            return args;
        }
    }
    return args;
}

const char kUsage[] =
    "usage: vistrel [--demo [N]] [--screenshot FILE [--after SECONDS]] [--version]\n"
    "The projector console: lists the projectors that answer discovery (UDP port 250)\n"
    "and controls them over HTTP (port 80).\n"
    "  --demo [N]          run against N simulated projectors on loopback (default 12);\n"
    "                      the demo keeps its own store (demo-registry.reg)\n"
    "  --screenshot FILE   save the main window as PNG after --after seconds (default 3)\n"
    "                      and exit\n"
    "  --version           print the version\n"
    "  -h, --help          this text\n";

}  // namespace

int main(int argc, char** argv) {
    const Arguments args = Parse(argc, argv);
    if (!args.error.empty()) {
        std::fprintf(stderr, "vistrel: %s\n%s", args.error.c_str(), kUsage);
        return 2;
    }
    if (args.help) {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (args.version) {
        std::printf("vistrel %s\n", VISTREL_VERSION);
        return 0;
    }

    QApplication app(argc, argv);
    QApplication::setApplicationName(QStringLiteral("Vistrel"));
    QApplication::setApplicationVersion(vistrel::VistrelVersion());
    vistrel::InitGuiResources();

    vistrel::CVistrelApp theApp(argv[0]);
    if (!vistrel::CVistrelApp::InitSockets())
        return 1;

    vistrel::SessionOptions options;
    options.appName = theApp.AppName();
    if (args.demo) {
        vistrel::DemoOptions demo;
        demo.count = *args.demo;
        options.demo = demo;
    }
    vistrel::ConsoleSession session(options);
    std::string error;
    if (!session.Start(&error)) {
        std::fprintf(stderr, "vistrel: the demo fleet cannot start: %s\n", error.c_str());
        return 1;
    }
    if (args.demo) {
        std::fprintf(stderr, "vistrel: demo fleet of %zu projectors on loopback; store %s\n",
                     *args.demo, session.storeFile().string().c_str());
    }
    vistrel::CVistrelDlg& window = session.window();
    window.show();
    const std::string storeError = session.store().LastError();
    if (!storeError.empty()) {
        QMessageBox::warning(&window, window.windowTitle(), QString::fromStdString(storeError));
    }
    if (!args.screenshot.empty()) {
        const QString file = QString::fromStdString(args.screenshot);
        QTimer::singleShot(static_cast<int>(args.after * 1000), &window, [&window, file] {
            const bool saved = window.grab().save(file, "PNG");
            if (!saved)
                std::fprintf(stderr, "vistrel: cannot write %s\n", qPrintable(file));
            window.close();
            QApplication::exit(saved ? 0 : 1);
        });
    }
    return app.exec();
}
