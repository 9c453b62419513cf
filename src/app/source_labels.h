// Labels of the "Source:" selector, in the source table's row order.
#pragma once

#include <QStringList>

namespace vistrel {

QStringList SourceLabels();

}  // namespace vistrel
