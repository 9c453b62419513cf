// What a group name may be. A group is a key of the store and a 32-byte field of the
// projector's group record, so a name with a backslash would split the key and a longer
// one would not fit the field. Projectors report names without trailing blanks, so blanks
// around a typed name are dropped before anything else. An empty name is allowed here (the
// commands ignore it); one made only of blanks is refused.
#pragma once

#include <QString>
#include <QStringList>

namespace vistrel {

inline constexpr int kGroupNameMaxBytes = 32;

// The typed text without leading and trailing blanks: the name a group gets.
QString TrimGroupName(const QString& typed);

// The message that refuses the typed text (judged as TrimGroupName leaves it), or an empty
// text when the name may be used. "All Projectors" in any case is refused: it names the
// list of every projector, and a group key of that name is never loaded.
QString GroupNameProblem(const QString& typed);

// The entry of `existing` that equals `name` without regard to case, or -1.
int FindGroupIgnoringCase(const QStringList& existing, const QString& name);

// "The Group %s has already existed" for the typed name.
QString DuplicateGroupMessage(const QString& typed);

}  // namespace vistrel
