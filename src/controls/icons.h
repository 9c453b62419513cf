// The console's icons, by the role they play. All are our own SVGs in the resource file.
#pragma once

#include <QIcon>
#include <QString>

namespace vistrel {

enum class IconId {
    kApp,            // application icon
    kLogo,           // top-bar logo
    kAddGroup,       // "add new group"
    kDeleteGroup,    // "delete group"
    kGroupPane,      // "close or show group list"
    kRefresh,        // "Refresh all projectors"
    kCheckAll,       // "check all projectors"
    kUncheckAll,     // "uncheck all projectors"
    kPowerOn,        // "power on projectors"
    kPowerOff,       // "power off projectors"
    kGroupSetting,   // "group setting"
    kSelectedGroup,  // 12 x 12 mark of the selected group
    kAllProjectors,  // 12 x 12 mark on the "All Projectors" button
    kSet,            // 12 x 12 face of the small "Set" buttons
    kSideProjector,  // settings dialog side buttons
    kSideNetwork,
    kSideAlert,
    kSideScheduler,
    kNotAnswering,  // 16 x 16 mark of a projector that stopped answering
};

QString IconPath(IconId id);
// Cached; loaded from the resource file on first use.
const QIcon& AppIcon(IconId id);

}  // namespace vistrel
