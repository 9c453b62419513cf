#include "app/group_name_rules.h"

namespace vistrel {

QString GroupNameProblem(const QString& name) {
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
