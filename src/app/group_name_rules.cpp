#include "app/group_name_rules.h"

namespace vistrel {

namespace {
constexpr char kAllProjectorsName[] = "All Projectors";
}  // namespace

QString TrimGroupName(const QString& typed) {
    return typed.trimmed();
}

QString GroupNameProblem(const QString& typed) {
    const QString name = TrimGroupName(typed);
    if (name.isEmpty() && !typed.isEmpty())
        return QStringLiteral("A group name cannot be made of blanks only.");
    if (name.compare(QLatin1String(kAllProjectorsName), Qt::CaseInsensitive) == 0) {
        return QStringLiteral("\"%1\" is the list of every projector and cannot be a group name.")
            .arg(QLatin1String(kAllProjectorsName));
    }
    if (name.contains(QLatin1Char('\\')))
        return QStringLiteral("A group name cannot contain a backslash (\\).");
    for (const QChar c : name) {
        if (c.category() == QChar::Other_Control)
            return QStringLiteral("A group name cannot contain control characters.");
    }
    if (name.toUtf8().size() > kGroupNameMaxBytes) {
        return QStringLiteral("A group name can be at most %1 bytes long; \"%2\" has %3.")
            .arg(kGroupNameMaxBytes)
            .arg(name)
            .arg(name.toUtf8().size());
    }
    return {};
}

int FindGroupIgnoringCase(const QStringList& existing, const QString& name) {
    for (int i = 0; i < existing.size(); ++i) {
        if (existing[i].compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

QString DuplicateGroupMessage(const QString& typed) {
    return QStringLiteral("The Group %1 has already existed").arg(typed);
}

}  // namespace vistrel
