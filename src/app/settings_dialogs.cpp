#include "app/settings_dialogs.h"

#include "app/projector_commands.h"
#include "app/vistrel_dlg.h"
#include "pjlink/pjlink_monitor.h"
#include "settings/projector/pjlink_dlg.h"
#include "settings/projector/prj_set_dlg.h"
#include "settings/shared/grp_set_dlg.h"

namespace vistrel {

SettingsDialogs::SettingsDialogs(CVistrelDlg& window, Console& console, RequestRing& ring,
                                 RegStore& store)
    : window_(&window), console_(console), ring_(ring), store_(store) {}

void SettingsDialogs::InstallOn(ProjectorCommands& commands) {
    commands.SetProjectorSettingsRunner(
        [this](const std::string& ip, const std::string& group, const std::string& name) {
            RunProjectorDialog(ip, group, name);
        });
    commands.SetGroupSettingsRunner([this](const std::string& group) { RunGroupDialog(group); });
}

void SettingsDialogs::RunProjectorDialog(const std::string& ip, const std::string& group,
                                         const std::string& name) {
    if (!window_)
        return;
    // The row's key tells the kinds apart: a PJLink projector is keyed by its address.
    pjlink::Monitor* pjlink = window_->backend().Pjlink();
    if (pjlink && console_.targetMacs.size() == 1 && pjlink::IsPjlinkKey(console_.targetMacs[0])) {
        CPjlinkDlg dialog(window_.data(), *pjlink, ip, group, name);
        dialog.SetPasswordSetter(
            [window = window_, ip](const std::string& password, std::string* error) {
                return window && window->backend().SetPjlinkPassword(ip, password, error);
            });
        dialog.exec();
        return;
    }
    CPrjSetDlg dialog(window_.data(), console_, ring_, store_, ip, group, name);
    dialog.SetRelocationRequest([window = window_](std::weak_ptr<RelocationWindow> waiter) {
        QMetaObject::invokeMethod(
            window.data(),
            [window, waiter] {
                if (window)
                    window->OnRelocationProbe(waiter);
            },
            Qt::QueuedConnection);
    });
    // The projector page asks for the model: the fleet report counts it.
    console_.modelCode.clear();
    dialog.exec();
    if (!window_ || console_.modelCode.empty())
        return;
    std::string mac;
    {
        auto table = console_.table.Lock();
        for (const Info& record : table.Records()) {
            if (record.ip == ip) {
                mac = record.mac;
                break;
            }
        }
    }
    if (!mac.empty())
        window_->Health().RecordModel(mac, console_.modelCode);
}

void SettingsDialogs::RunGroupDialog(const std::string& group) {
    if (!window_)
        return;
    CGrpSetDlg dialog(window_.data(), console_, ring_, store_, group);
    dialog.exec();
}

}  // namespace vistrel
