#include "app/vistrel_app.h"

#include <QMessageBox>

#include "store/reg_store.h"

#ifdef _WIN32
#include <winsock2.h>
#endif

static void InitVistrelResource() {
    Q_INIT_RESOURCE(vistrel);
}

namespace vistrel {

CVistrelApp::CVistrelApp(const char* argv0) {
    appName_ = RegStore::AppNameFromExecutable(argv0 ? argv0 : "");
    if (appName_.empty())
        appName_ = "vistrel";
    AppKeyPath_ = RegStore::AppKeyPathFor(appName_);
}

bool CVistrelApp::InitSockets() {
#ifdef _WIN32
    WSADATA data;
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0) {
        QMessageBox::warning(nullptr, QString(),
                             QStringLiteral("Windows sockets initialization failed."));
        return false;
    }
#endif
    return true;
}

void InitGuiResources() {
    InitVistrelResource();
}

}  // namespace vistrel
