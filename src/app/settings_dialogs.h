// The two settings dialogs as the main window's commands open them: the projector dialog,
// whose relocation request (message 0x590) goes to the window queued, as a posted message
// would, and the group dialog. The session and the tests that run the window whole install
// the same runners.
#pragma once

#include <QPointer>
#include <string>

namespace vistrel {

class CVistrelDlg;
class ProjectorCommands;
class RegStore;
class RequestRing;
struct Console;

class SettingsDialogs {
  public:
    SettingsDialogs(CVistrelDlg& window, Console& console, RequestRing& ring, RegStore& store);

    // Installs both runners on `commands`; this object must outlive them.
    void InstallOn(ProjectorCommands& commands);

    // Each runs its dialog modally.
    void RunProjectorDialog(const std::string& ip, const std::string& group,
                            const std::string& name);
    void RunGroupDialog(const std::string& group);

  private:
    QPointer<CVistrelDlg> window_;
    Console& console_;
    RequestRing& ring_;
    RegStore& store_;
};

}  // namespace vistrel
