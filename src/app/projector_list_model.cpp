#include "app/projector_list_model.h"

#include <QFont>

#include <algorithm>

#include "protocol/text_encoding.h"

namespace vistrel {

namespace {

constexpr uint32_t kListThreshold = 3;

const std::string& ScheduleText(const Info& info) {
    static const std::string kOn = "ON";
    static const std::string kOff = "OFF";
    const bool any = std::any_of(info.tasks.begin(), info.tasks.end(),
                                 [](const SchedTask& t) { return t.enabled != 0; });
    return any ? kOn : kOff;
}

}  // namespace

const std::array<ProjectorListModel::ColumnSpec, ProjectorListModel::kColumnCount>&
ProjectorListModel::Columns() {
    static const std::array<ColumnSpec, kColumnCount> kColumns{{
        {"Mac", 120, true},
        {"IP", 120, true},
        {"Group Name", 100, true},
        {"Projector Name", 120, true},
        {"Power", 100, true},
        {"Source", 100, true},
        {"Lamp Hour", 100, true},
        {"Display Mode", 100, true},
        {"FW Version", 80, true},
        {"Schedule", 80, true},
    }};
    return kColumns;
}

ProjectorListModel::ProjectorListModel(QObject* parent) : QAbstractTableModel(parent) {}

void ProjectorListModel::SetCheckStore(CheckedReader reader, CheckedWriter writer) {
    readChecked_ = std::move(reader);
    writeChecked_ = std::move(writer);
}

void ProjectorListModel::Refresh(const std::vector<Info>& records, const std::string* groupFilter) {
    // Rows that go and rows that come are handled in one block each after the walk, so a
    // fleet that appears or vanishes at once costs the view one change, not one per row.
    // The result is the walk's: the rows left in place, the new ones appended in table order.
    std::vector<int> gone;
    std::vector<const Info*> added;
    for (const Info& info : records) {
        const int row = FindRow(info.mac);
        if (groupFilter && info.groupName != *groupFilter) {
            // Moved to another group: its row leaves this group's view.
            if (row >= 0)
                gone.push_back(row);
            continue;
        }
        if (row < 0) {
            if (info.freshness > kListThreshold)
                added.push_back(&info);
        } else if (info.freshness < kListThreshold) {
            gone.push_back(row);
        } else {
            UpdateRow(row, info);
        }
    }
    RemoveRows(std::move(gone));
    AppendRows(added);
}

void ProjectorListModel::FillCells(Row& row, const Info& info) {
    row.shownMac = info.pjlink ? info.pjlinkMac : info.mac;
    row.cells[kIp] = info.ip;
    row.cells[kPower] = info.power;
    row.cells[kLampHour] = info.lampHour;
    row.cells[kSource] = info.source;
    row.cells[kFwVersion] = info.fwVersion;
    row.cells[kDisplayMode] = info.displayMode;
    row.cells[kGroupName] = info.groupName;
    row.cells[kProjectorName] = info.projectorName;
    row.cells[kSchedule] = ScheduleText(info);
}

void ProjectorListModel::AppendRows(const std::vector<const Info*>& records) {
    if (records.empty())
        return;
    const int first = RowCount();
    const int last = first + static_cast<int>(records.size()) - 1;
    beginInsertRows({}, first, last);
    rows_.reserve(rows_.size() + records.size());
    for (const Info* info : records) {
        Row added;
        added.cells[kMac] = info->mac;
        FillCells(added, *info);
        index_.emplace(info->mac, RowCount());
        rows_.push_back(std::move(added));
    }
    endInsertRows();
    // Rows that were just inserted take their ticks from the store; nothing is written back.
    std::vector<bool> stored;
    if (readCheckedBatch_) {
        std::vector<std::string> macs;
        macs.reserve(records.size());
        for (const Info* info : records)
            macs.push_back(info->mac);
        stored = readCheckedBatch_(macs);
    }
    int firstTicked = -1;
    int lastTicked = -1;
    for (int row = first; row <= last; ++row) {
        const size_t at = static_cast<size_t>(row - first);
        const bool ticked = at < stored.size() ? stored[at]
                            : readChecked_     ? readChecked_(rows_[row].cells[kMac])
                                               : false;
        if (!ticked)
            continue;
        rows_[row].checked = true;
        ++checkedCount_;
        firstTicked = firstTicked < 0 ? row : firstTicked;
        lastTicked = row;
    }
    if (firstTicked >= 0)
        emit dataChanged(index(firstTicked, kMac), index(lastTicked, kMac), {Qt::CheckStateRole});
    emit ticksChanged();
}

void ProjectorListModel::RemoveRows(std::vector<int> rows) {
    if (rows.empty())
        return;
    std::sort(rows.begin(), rows.end());
    rows.erase(std::unique(rows.begin(), rows.end()), rows.end());
    // Contiguous runs, last first, so the earlier rows keep their numbers meanwhile.
    size_t end = rows.size();
    while (end > 0) {
        size_t begin = end - 1;
        while (begin > 0 && rows[begin - 1] == rows[begin] - 1)
            --begin;
        const int from = rows[begin];
        const int to = rows[end - 1];
        beginRemoveRows({}, from, to);
        for (int row = from; row <= to; ++row) {
            if (rows_[row].checked)
                --checkedCount_;
            index_.erase(rows_[row].cells[kMac]);
        }
        rows_.erase(rows_.begin() + from, rows_.begin() + to + 1);
        endRemoveRows();
        end = begin;
    }
    Reindex(rows.front());
    emit ticksChanged();
}

int ProjectorListModel::FindRow(const std::string& mac) const {
    auto it = index_.find(mac);
    return it == index_.end() ? -1 : it->second;
}

int ProjectorListModel::AppendRow(const std::string& mac) {
    const int row = RowCount();
    beginInsertRows({}, row, row);
    Row added;
    added.cells[kMac] = mac;
    rows_.push_back(std::move(added));
    index_.emplace(mac, row);
    endInsertRows();
    // A row that was just inserted takes its tick from the store; nothing is written back.
    if (readChecked_ && readChecked_(mac)) {
        rows_[row].checked = true;
        ++checkedCount_;
        const QModelIndex cell = index(row, kMac);
        emit dataChanged(cell, cell, {Qt::CheckStateRole});
    }
    emit ticksChanged();
    return row;
}

void ProjectorListModel::RemoveRow(int row) {
    if (row < 0 || row >= RowCount())
        return;
    beginRemoveRows({}, row, row);
    if (rows_[row].checked)
        --checkedCount_;
    index_.erase(rows_[row].cells[kMac]);
    rows_.erase(rows_.begin() + row);
    Reindex(row);
    endRemoveRows();
    emit ticksChanged();
}

void ProjectorListModel::Clear() {
    if (rows_.empty())
        return;
    beginResetModel();
    rows_.clear();
    index_.clear();
    checkedCount_ = 0;
    endResetModel();
    emit ticksChanged();
}

void ProjectorListModel::Reindex(int fromRow) {
    for (int r = fromRow; r < RowCount(); ++r)
        index_[rows_[r].cells[kMac]] = r;
}

void ProjectorListModel::SetCell(int row, int column, const std::string& text) {
    std::string& cell = rows_[row].cells[column];
    if (cell == text)
        return;
    cell = text;
    ++cellsChanged_;
    const QModelIndex at = index(row, column);
    emit dataChanged(at, at, {Qt::DisplayRole});
}

void ProjectorListModel::UpdateRow(int row, const Info& info) {
    const std::string& shown = info.pjlink ? info.pjlinkMac : info.mac;
    if (rows_[row].shownMac != shown) {
        rows_[row].shownMac = shown;  // a PJLink projector's search answer came after its row
        const QModelIndex cell = index(row, kMac);
        emit dataChanged(cell, cell, {Qt::DisplayRole});
    }
    SetCell(row, kIp, info.ip);
    SetCell(row, kPower, info.power);
    SetCell(row, kLampHour, info.lampHour);
    SetCell(row, kSource, info.source);
    SetCell(row, kFwVersion, info.fwVersion);
    SetCell(row, kDisplayMode, info.displayMode);
    SetCell(row, kGroupName, info.groupName);
    SetCell(row, kProjectorName, info.projectorName);
    SetCell(row, kSchedule, ScheduleText(info));
}

void ProjectorListModel::SetChecked(int row, bool checked) {
    if (row < 0 || row >= RowCount() || rows_[row].checked == checked)
        return;
    rows_[row].checked = checked;
    checkedCount_ += checked ? 1 : -1;
    if (writeChecked_)
        writeChecked_({{rows_[row].cells[kMac], checked}});
    const QModelIndex cell = index(row, kMac);
    emit dataChanged(cell, cell, {Qt::CheckStateRole});
    emit ticksChanged();
}

void ProjectorListModel::SetAllChecked(bool checked) {
    std::vector<int> all(rows_.size());
    for (int row = 0; row < RowCount(); ++row)
        all[static_cast<size_t>(row)] = row;
    SetRowsChecked(all, checked);
}

void ProjectorListModel::SetRowsChecked(const std::vector<int>& rows, bool checked) {
    std::vector<std::pair<std::string, bool>> changed;
    int first = -1;
    int last = -1;
    for (int row : rows) {
        if (row < 0 || row >= RowCount() || rows_[row].checked == checked)
            continue;
        rows_[row].checked = checked;
        checkedCount_ += checked ? 1 : -1;
        changed.emplace_back(rows_[row].cells[kMac], checked);
        first = first < 0 ? row : std::min(first, row);
        last = std::max(last, row);
    }
    if (changed.empty())
        return;
    if (writeChecked_)
        writeChecked_(changed);
    emit dataChanged(index(first, kMac), index(last, kMac), {Qt::CheckStateRole});
    emit ticksChanged();
}

void ProjectorListModel::SetRowHealth(const std::vector<RowHealth>& byRow) {
    static const RowHealth kNone;
    for (int row = 0; row < RowCount(); ++row) {
        const RowHealth& next =
            static_cast<size_t>(row) < byRow.size() ? byRow[static_cast<size_t>(row)] : kNone;
        if (rows_[row].health == next)
            continue;
        rows_[row].health = next;
        emit dataChanged(index(row, 0), index(row, kColumnCount - 1),
                         {Qt::ForegroundRole, Qt::DecorationRole, Qt::ToolTipRole, Qt::FontRole});
    }
}

void ProjectorListModel::SetHealthLook(HealthLook look) {
    look_ = std::move(look);
    if (!rows_.empty()) {
        emit dataChanged(index(0, 0), index(RowCount() - 1, kColumnCount - 1),
                         {Qt::ForegroundRole, Qt::DecorationRole});
    }
}

int ProjectorListModel::rowCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : RowCount();
}

int ProjectorListModel::columnCount(const QModelIndex& parent) const {
    return parent.isValid() ? 0 : kColumnCount;
}

QVariant ProjectorListModel::data(const QModelIndex& index, int role) const {
    if (!checkIndex(index, CheckIndexOption::IndexIsValid | CheckIndexOption::ParentIsInvalid)) {
        return {};
    }
    const Row& row = rows_[index.row()];
    const bool lampCell = index.column() == kLampHour;
    const bool lampMarked = lampCell && (row.health.lampWarning || row.health.lampCritical);
    switch (role) {
        case Qt::ForegroundRole:
            // A lamp's colour says more than the grey of a silent projector.
            if (lampMarked)
                return row.health.lampCritical ? look_.critical : look_.warning;
            if (row.health.notAnswering && look_.quiet.isValid())
                return look_.quiet;
            return {};
        case Qt::FontRole:
            if (lampMarked) {
                QFont bold;
                bold.setBold(true);
                return bold;
            }
            return {};
        case Qt::DecorationRole:
            if (index.column() == kPower && row.health.notAnswering)
                return look_.notAnswering;
            return {};
        case Qt::ToolTipRole:
            if (row.health.notAnswering)
                return QStringLiteral("Not answering since %1")
                    .arg(QString::fromStdString(row.health.since));
            if (lampMarked) {
                return row.health.lampCritical
                           ? QStringLiteral("Lamp hours past the critical threshold")
                           : QStringLiteral("Lamp hours past the warning threshold");
            }
            [[fallthrough]];
        case Qt::DisplayRole:
            // Cells keep the projector's bytes (they go back on the wire as they came).
            if (index.column() == kMac)
                return QString::fromStdString(row.shownMac);
            return QString::fromStdString(ProjectorTextAsUtf8(row.cells[index.column()]));
        case Qt::CheckStateRole:
            if (index.column() == kMac)
                return row.checked ? Qt::Checked : Qt::Unchecked;
            return {};
        case Qt::TextAlignmentRole:
            return QVariant::fromValue(Qt::Alignment(Qt::AlignCenter));
        default:
            return {};
    }
}

QVariant ProjectorListModel::headerData(int section, Qt::Orientation orientation, int role) const {
    if (orientation != Qt::Horizontal || section < 0 || section >= kColumnCount)
        return {};
    if (role == Qt::DisplayRole)
        return QString::fromLatin1(Columns()[section].header);
    if (role == Qt::TextAlignmentRole) {
        return QVariant::fromValue(Qt::Alignment(Qt::AlignCenter));
    }
    return {};
}

Qt::ItemFlags ProjectorListModel::flags(const QModelIndex& index) const {
    if (!index.isValid())
        return Qt::NoItemFlags;
    Qt::ItemFlags f = Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemNeverHasChildren;
    if (index.column() == kMac)
        f |= Qt::ItemIsUserCheckable;
    return f;
}

bool ProjectorListModel::setData(const QModelIndex& index, const QVariant& value, int role) {
    if (role != Qt::CheckStateRole || !index.isValid() || index.column() != kMac)
        return false;
    SetChecked(index.row(), value.toInt() == Qt::Checked);
    return true;
}

}  // namespace vistrel
