#include "app/source_labels.h"

#if __has_include("protocol/option_tables.h")
#include "protocol/option_tables.h"
#define VISTREL_HAVE_OPTION_TABLES 1
#endif

namespace vistrel {

QStringList SourceLabels() {
    QStringList labels;
#ifdef VISTREL_HAVE_OPTION_TABLES
    for (const OptionRow& row : option_rows::kSource) {
        labels << QString::fromUtf8(row.label.data(), static_cast<qsizetype>(row.label.size()));
    }
#else
    labels << "None"
           << "HDMI"
           << "VGA-1"
           << "VGA-2"
           << "S-Video"
           << "Video";
#endif
    return labels;
}

}  // namespace vistrel
