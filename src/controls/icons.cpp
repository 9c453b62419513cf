#include "controls/icons.h"

#include <array>

namespace vistrel {

QString IconPath(IconId id) {
    switch (id) {
        case IconId::kApp:
            return QStringLiteral(":/icons/vistrel.svg");
        case IconId::kLogo:
            return QStringLiteral(":/icons/logo.svg");
        case IconId::kAddGroup:
            return QStringLiteral(":/icons/group_add.svg");
        case IconId::kDeleteGroup:
            return QStringLiteral(":/icons/group_delete.svg");
        case IconId::kGroupPane:
            return QStringLiteral(":/icons/group_pane.svg");
        case IconId::kRefresh:
            return QStringLiteral(":/icons/refresh.svg");
        case IconId::kCheckAll:
            return QStringLiteral(":/icons/check_all.svg");
        case IconId::kUncheckAll:
            return QStringLiteral(":/icons/uncheck_all.svg");
        case IconId::kPowerOn:
            return QStringLiteral(":/icons/power_on.svg");
        case IconId::kPowerOff:
            return QStringLiteral(":/icons/power_off.svg");
        case IconId::kGroupSetting:
            return QStringLiteral(":/icons/group_setting.svg");
        case IconId::kSelectedGroup:
            return QStringLiteral(":/icons/group_selected.svg");
        case IconId::kAllProjectors:
            return QStringLiteral(":/icons/all_projectors.svg");
        case IconId::kSet:
            return QStringLiteral(":/icons/set.svg");
        case IconId::kSideProjector:
            return QStringLiteral(":/icons/side_projector.svg");
        case IconId::kSideNetwork:
            return QStringLiteral(":/icons/side_network.svg");
        case IconId::kSideAlert:
            return QStringLiteral(":/icons/side_alert.svg");
        case IconId::kSideScheduler:
            return QStringLiteral(":/icons/side_scheduler.svg");
        case IconId::kNotAnswering:
            return QStringLiteral(":/icons/not_answering.svg");
    }
    return {};
}

const QIcon& AppIcon(IconId id) {
    static std::array<QIcon, static_cast<size_t>(IconId::kNotAnswering) + 1> cache;
    QIcon& icon = cache[static_cast<size_t>(id)];
    if (icon.isNull())
        icon = QIcon(IconPath(id));
    return icon;
}

}  // namespace vistrel
