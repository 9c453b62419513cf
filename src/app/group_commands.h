// The group commands of the main window: new, delete, rename, move the selected projectors
// to a group, go to a group, and the refresh interval. A group is a name in the group list
// and a store key; membership is what each projector reports, so moving, deleting and
// renaming send the members a group record and the list follows their next status.
#pragma once

#include <QObject>
#include <QStringList>
#include <string>
#include <vector>

#include "app/command_context.h"

namespace vistrel {

inline constexpr size_t kMaxMoveRows = 256;

class GroupCommands : public QObject {
    Q_OBJECT
  public:
    explicit GroupCommands(CommandContext context);

    void NewGroup();
    void DeleteGroup();
    void RenameGroup();
    void MoveToGroup();
    void GoToGroup();
    void SetInterval();

    // The parts after each dialog, for callers that already have the answer.
    void AddGroupNamed(const std::string& name);
    void DeleteGroupNamed(int row);
    void RenameGroupTo(int row, const std::string& newName);
    void MoveProjectorsTo(const std::vector<std::string>& macs, const std::string& group,
                          int groupRow);
    // Applies an interval of `seconds`; false when timer 1 was not running.
    bool ApplyInterval(uint32_t seconds);

  private:
    QStringList GroupEntries() const;
    // Sends the group record (group, projector's own name) to one projector, as a batch of
    // its own so that every member's request runs in parallel.
    void SendGroupRecord(const std::string& ip, const std::string& group,
                         const std::string& projectorName);
    void SetGroupCommandsEnabled(bool any, bool several);

    CommandContext ctx_;
};

}  // namespace vistrel
