// Start-up of the console process: the application name and its store key path, the
// socket layer, the main window run until it closes.
#pragma once

#include <QString>
#include <string>

namespace vistrel {

class CVistrelApp {
  public:
    // `argv0` gives the application name: the executable's base name without extension.
    explicit CVistrelApp(const char* argv0);

    // "Software\\Brightwerk\\" + application name.
    const std::string& AppKeyPath() const { return AppKeyPath_; }
    const std::string& AppName() const { return appName_; }

    // Prepares the platform's socket layer where it needs one. False (after telling the
    // operator "Windows sockets initialization failed.") when it cannot.
    static bool InitSockets();

  private:
    std::string appName_;
    std::string AppKeyPath_;
};

// Makes the icons of the static GUI library available to the executable.
void InitGuiResources();

}  // namespace vistrel
