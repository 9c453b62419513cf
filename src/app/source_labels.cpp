#include "app/source_labels.h"

#include "protocol/option_tables.h"

namespace vistrel {

QStringList SourceLabels() {
    QStringList labels;
    for (const OptionRow& row : option_rows::kSource) {
        labels << QString::fromUtf8(row.label.data(), static_cast<qsizetype>(row.label.size()));
    }
    return labels;
}

}  // namespace vistrel
