// One running console: its context, store, backend and main window, and in demo mode the
// simulated fleet they talk to. Built by `vistrel` and by the tests that run it whole.
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string>

#include "app/core_backend.h"
#include "app/demo_fleet.h"
#include "app/group_commands.h"
#include "app/projector_commands.h"
#include "app/vistrel_dlg.h"

namespace vistrel {

class SettingsDialogs;

struct SessionOptions {
    std::string appName = "vistrel";
    // Empty: the user's registry file, or in demo mode the demo file beside it.
    std::filesystem::path storeFile;
    std::optional<DemoOptions> demo;
    CoreBackendOptions backend{};
};

class ConsoleSession {
  public:
    explicit ConsoleSession(SessionOptions options);
    ~ConsoleSession();

    // Starts the demo fleet (if any) and builds the window, which starts discovery, polling
    // and the worker. False with `error` when the fleet cannot start.
    bool Start(std::string* error);

    CVistrelDlg& window() { return *window_; }
    ProjectorCommands& projectorCommands() { return *projectorCommands_; }
    GroupCommands& groupCommands() { return *groupCommands_; }
    Console& console() { return *console_; }
    RegStore& store() { return *store_; }
    CoreBackend& backend() { return *backend_; }
    DemoFleet* demo() { return demo_.get(); }
    const std::filesystem::path& storeFile() const { return storeFile_; }

    static std::filesystem::path DemoStoreFile();

  private:
    SessionOptions options_;
    std::filesystem::path storeFile_;
    // Declaration order is teardown order reversed: the window goes first (stopping the
    // threads), the fleet last.
    std::unique_ptr<DemoFleet> demo_;
    std::unique_ptr<Console> console_;
    std::unique_ptr<RegStore> store_;
    std::unique_ptr<CoreBackend> backend_;
    std::unique_ptr<CVistrelDlg> window_;
    std::unique_ptr<SettingsDialogs> dialogs_;
    ProjectorCommands* projectorCommands_ = nullptr;  // owned by the window
    GroupCommands* groupCommands_ = nullptr;          // owned by the window
};

}  // namespace vistrel
