#include "app/projector_list_proxy.h"

#include <algorithm>
#include <cstdint>
#include <optional>
#include <string_view>

#include "app/projector_list_model.h"
#include "protocol/text_encoding.h"

namespace vistrel {

namespace {

constexpr int kFindColumns[] = {ProjectorListModel::kMac, ProjectorListModel::kIp,
                                ProjectorListModel::kGroupName, ProjectorListModel::kProjectorName};

char FoldAscii(char c) {
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

bool ContainsFolded(std::string_view haystack, std::string_view foldedNeedle) {
    if (foldedNeedle.size() > haystack.size())
        return false;
    const auto it =
        std::search(haystack.begin(), haystack.end(), foldedNeedle.begin(), foldedNeedle.end(),
                    [](char h, char n) { return FoldAscii(h) == n; });
    return it != haystack.end();
}

// Lamp hours and other counters: digits only, compared by value.
std::optional<uint64_t> Number(std::string_view text) {
    if (text.empty() || text.size() > 18)
        return std::nullopt;
    uint64_t value = 0;
    for (char c : text) {
        if (c < '0' || c > '9')
            return std::nullopt;
        value = value * 10 + static_cast<uint64_t>(c - '0');
    }
    return value;
}

// A dotted IPv4 address as one number, first octet most significant.
std::optional<uint32_t> Address(std::string_view text) {
    uint32_t value = 0;
    for (int octet = 0; octet < 4; ++octet) {
        const size_t end = octet < 3 ? text.find('.') : text.size();
        if (end == std::string_view::npos)
            return std::nullopt;
        const auto part = Number(text.substr(0, end));
        if (!part || *part > 255)
            return std::nullopt;
        value = (value << 8) | static_cast<uint32_t>(*part);
        text.remove_prefix(std::min(end + 1, text.size()));
    }
    return value;
}

// Compares two values; a cell without one (a projector in standby reports no lamp hours)
// compares by its text among the others like it.
template <typename T>
int CompareKeys(const std::optional<T>& a, const std::optional<T>& b) {
    if (a && b)
        return *a < *b ? -1 : (*b < *a ? 1 : 0);
    return 0;
}

int CompareText(std::string_view a, std::string_view b) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const auto x = static_cast<unsigned char>(FoldAscii(a[i]));
        const auto y = static_cast<unsigned char>(FoldAscii(b[i]));
        if (x != y)
            return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

}  // namespace

ProjectorListProxy::ProjectorListProxy(ProjectorListModel* source, QObject* parent)
    : QSortFilterProxyModel(parent), model_(source) {
    setSourceModel(source);
    // New rows land in their sorted place and rows whose cells change are filtered again.
    setDynamicSortFilter(true);
}

void ProjectorListProxy::SetFindText(const QString& text) {
    if (text == findText_)
        return;
    findText_ = text;
    needleIsAscii_ = true;
    for (QChar c : text) {
        if (c.unicode() > 0x7f) {
            needleIsAscii_ = false;
            break;
        }
    }
    asciiNeedle_ = needleIsAscii_ ? text.toLower().toStdString() : std::string();
    invalidateRowsFilter();
}

void ProjectorListProxy::SetPredicate(const std::string& name, RowPredicate predicate) {
    predicates_[name] = std::move(predicate);
    invalidateRowsFilter();
}

void ProjectorListProxy::RemovePredicate(const std::string& name) {
    if (predicates_.erase(name) > 0)
        invalidateRowsFilter();
}

void ProjectorListProxy::ReapplyFilters() {
    invalidateRowsFilter();
}

void ProjectorListProxy::CycleSort(int column) {
    if (column != sortColumn()) {
        sort(column, Qt::AscendingOrder);
    } else if (sortOrder() == Qt::AscendingOrder) {
        sort(column, Qt::DescendingOrder);
    } else {
        sort(-1);  // the model's own order: discovery order
    }
}

int ProjectorListProxy::SourceRow(const QModelIndex& viewIndex) const {
    if (!viewIndex.isValid())
        return -1;
    return mapToSource(viewIndex).row();
}

int ProjectorListProxy::ViewRow(int sourceRow) const {
    if (sourceRow < 0 || sourceRow >= model_->RowCount())
        return -1;
    return mapFromSource(model_->index(sourceRow, 0)).row();
}

bool ProjectorListProxy::MatchesFindText(int sourceRow) const {
    if (findText_.isEmpty())
        return true;
    for (int column : kFindColumns) {
        const std::string& cell = model_->Cell(sourceRow, column);
        // Bytes outside ASCII never match an ASCII needle's bytes, whatever their encoding.
        if (needleIsAscii_) {
            if (ContainsFolded(cell, asciiNeedle_))
                return true;
        } else if (QString::fromStdString(ProjectorTextAsUtf8(cell))
                       .contains(findText_, Qt::CaseInsensitive)) {
            return true;
        }
    }
    return false;
}

bool ProjectorListProxy::filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const {
    if (sourceParent.isValid() || sourceRow >= model_->RowCount())
        return false;
    if (!MatchesFindText(sourceRow))
        return false;
    for (const auto& [name, predicate] : predicates_) {
        if (!predicate(*model_, sourceRow))
            return false;
    }
    return true;
}

bool ProjectorListProxy::lessThan(const QModelIndex& left, const QModelIndex& right) const {
    const int column = left.column();
    const std::string& a = model_->Cell(left.row(), column);
    const std::string& b = model_->Cell(right.row(), column);
    int order = 0;
    bool aHasValue = true;
    bool bHasValue = true;
    // Addresses and lamp hours compare by value; a cell without one is told apart.
    const auto byValue = [&](auto parse) {
        const auto x = parse(a);
        const auto y = parse(b);
        aHasValue = x.has_value();
        bHasValue = y.has_value();
        order = CompareKeys(x, y);
    };
    if (column == ProjectorListModel::kIp)
        byValue(Address);
    else if (column == ProjectorListModel::kLampHour)
        byValue(Number);
    // Cells without a value go last in either direction: a descending sort compares the
    // other way round, so "last" is "less" there.
    if (aHasValue != bHasValue)
        return sortOrder() == Qt::AscendingOrder ? !bHasValue : !aHasValue;
    // Equal keys (and texts) keep discovery order: the sort is stable.
    return (order != 0 ? order : CompareText(a, b)) < 0;
}

}  // namespace vistrel
