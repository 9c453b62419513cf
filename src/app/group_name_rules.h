// What a group name may be. A group is a key of the store and a 32-byte field of the
// projector's group record, so a name with a backslash would split the key and a longer
// one would not fit the field. An empty name is allowed here: the commands ignore it.
#pragma once

#include <QString>
#include <QStringList>

namespace vistrel {

inline constexpr int kGroupNameMaxBytes = 32;

// The message that refuses `name`, or an empty text when the name may be used.
QString GroupNameProblem(const QString& name);

// The entry of `existing` that equals `name` without regard to case, or -1.
int FindGroupIgnoringCase(const QStringList& existing, const QString& name);

// "The Group %s has already existed" for the typed name.
QString DuplicateGroupMessage(const QString& typed);

}  // namespace vistrel
