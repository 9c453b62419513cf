#include "app/console_session.h"

#include <QTimer>

#include "app/settings_dialogs.h"
#include "store/broadcast_list.h"
#include "store/reg_file.h"

namespace vistrel {

ConsoleSession::ConsoleSession(SessionOptions options) : options_(std::move(options)) {}

ConsoleSession::~ConsoleSession() {
    dialogs_.reset();
    window_.reset();
    backend_.reset();
    store_.reset();
    console_.reset();
    demo_.reset();
}

std::filesystem::path ConsoleSession::DemoStoreFile() {
    return DefaultRegistryPath().parent_path() / "demo-registry.reg";
}

bool ConsoleSession::Start(std::string* error) {
    NetworkProfile profile;  // the real network's defaults
    storeFile_ = options_.storeFile;
    if (options_.demo) {
        demo_ = std::make_unique<DemoFleet>(*options_.demo);
        if (!demo_->Start(error))
            return false;
        profile = demo_->Profile();
        if (storeFile_.empty())
            storeFile_ = DemoStoreFile();
    } else if (storeFile_.empty()) {
        storeFile_ = DefaultRegistryPath();
    }
    store_ = std::make_unique<RegStore>(storeFile_, options_.appName);
    // The demo fleet lives on loopback; subnets beyond a router belong to the real network.
    if (!demo_)
        profile.directedBroadcasts = LoadDirectedBroadcasts(*store_);
    console_ = std::make_unique<Console>(profile);
    if (demo_) {
        // The demo's groups exist from the first run, so the group pane has something to show.
        RegStore::Batch batch(*store_);
        for (const std::string& group : demo_->GroupNames()) {
            store_->OpenGroupKey(group, kGroupKeyRoot, 0);
        }
    }
    backend_ =
        std::make_unique<CoreBackend>(*console_, *store_, options_.appName, options_.backend);
    if (demo_) {
        const std::vector<std::string> groups = demo_->GroupNames();
        for (const std::string& ip : demo_->PjlinkAddedAddresses())
            backend_->AddPjlinkProjector(ip, groups.empty() ? std::string() : groups.front());
    }
    window_ = std::make_unique<CVistrelDlg>(*console_, *backend_);
    // The window owns its commands (they are its children).
    const CommandContext commands{*window_, *store_, backend_->ring()};
    projectorCommands_ = new ProjectorCommands(commands);
    groupCommands_ = new GroupCommands(commands);
    dialogs_ = std::make_unique<SettingsDialogs>(*window_, *console_, backend_->ring(), *store_);
    dialogs_->InstallOn(*projectorCommands_);
    if (demo_ && demo_->SilentAfter().count() > 0) {
        QTimer::singleShot(demo_->SilentAfter(), window_.get(), [this] { demo_->SilenceOne(); });
    }
    return true;
}

}  // namespace vistrel
