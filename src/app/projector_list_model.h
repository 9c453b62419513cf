// The rows of the projector list: one per shown projector, keyed by MAC through a hash
// index, in the order they were added (never sorted). A refresh rewrites only the cells
// whose text changed and tells the view about exactly those cells.
#pragma once

#include <QAbstractTableModel>
#include <QColor>
#include <QIcon>
#include <array>
#include <functional>
#include <string>
#include <unordered_map>
#include <utility>
#include <vector>

#include "protocol/records.h"

namespace vistrel {

class ProjectorListModel : public QAbstractTableModel {
    Q_OBJECT
  public:
    enum Column {
        kMac,
        kIp,
        kGroupName,
        kProjectorName,
        kPower,
        kSource,
        kLampHour,
        kDisplayMode,
        kFwVersion,
        kSchedule,
        kColumnCount
    };
    struct ColumnSpec {
        const char* header;
        int width;
        bool visible;
    };
    static const std::array<ColumnSpec, kColumnCount>& Columns();

    // Reads the persisted tick of a MAC (for a row's first insertion) and writes changed
    // ones: all the ticks one action changed come in one call, so they are stored at once.
    using CheckedReader = std::function<bool(const std::string& mac)>;
    using CheckedWriter =
        std::function<void(const std::vector<std::pair<std::string, bool>>& changed)>;

    // Reads the persisted ticks of several MACs at once (rows added by one refresh).
    using CheckedBatchReader =
        std::function<std::vector<bool>(const std::vector<std::string>& macs)>;

    // What the fleet health model says of a row's projector, for marking it.
    struct RowHealth {
        bool notAnswering = false;
        bool lampWarning = false;
        bool lampCritical = false;
        std::string since;  // local time it stopped answering, "08:12"

        bool operator==(const RowHealth&) const = default;
    };
    // How marked rows look; the window derives it from the list's palette.
    struct HealthLook {
        QColor quiet;     // text of a projector that does not answer
        QColor warning;   // lamp hours past the warning threshold
        QColor critical;  // lamp hours past the critical threshold
        QIcon notAnswering;
    };

    explicit ProjectorListModel(QObject* parent = nullptr);
    void SetCheckStore(CheckedReader reader, CheckedWriter writer);
    void SetCheckBatchReader(CheckedBatchReader reader) { readCheckedBatch_ = std::move(reader); }

    // The list walk over the projector table (records in table order). With `groupFilter`
    // set only records of that group (exact match) are shown. Rows appear for freshness
    // above 3 and go below 3; exactly 3 keeps a row and adds none.
    void Refresh(const std::vector<Info>& records, const std::string* groupFilter);

    int FindRow(const std::string& mac) const;
    int AppendRow(const std::string& mac);
    void RemoveRow(int row);
    void Clear();
    // Rewrites the changed cells of `row` from `info`; the "Schedule" cell is always written.
    void UpdateRow(int row, const Info& info);

    const std::string& Cell(int row, int column) const { return rows_[row].cells[column]; }
    bool IsChecked(int row) const { return rows_[row].checked; }
    // Ticks or unticks a row and persists the change.
    void SetChecked(int row, bool checked);
    // Ticks or unticks every row; the changed ticks are persisted together.
    void SetAllChecked(bool checked);
    // The same for the given rows (in ascending order) only.
    void SetRowsChecked(const std::vector<int>& rows, bool checked);
    int CheckedCount() const { return checkedCount_; }
    int RowCount() const { return static_cast<int>(rows_.size()); }

    // One entry per row (a shorter vector leaves the remaining rows unmarked); only rows
    // whose marks changed are told to the view.
    void SetRowHealth(const std::vector<RowHealth>& byRow);
    const RowHealth& HealthOf(int row) const { return rows_[row].health; }
    void SetHealthLook(HealthLook look);

    // Counters for the refresh benchmark and tests.
    uint64_t CellsChanged() const { return cellsChanged_; }

    int rowCount(const QModelIndex& parent = {}) const override;
    int columnCount(const QModelIndex& parent = {}) const override;
    QVariant data(const QModelIndex& index, int role) const override;
    QVariant headerData(int section, Qt::Orientation orientation, int role) const override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;
    bool setData(const QModelIndex& index, const QVariant& value, int role) override;

  signals:
    // Any tick changed, or a row was inserted (its persisted tick applied); the window
    // re-evaluates its commands.
    void ticksChanged();

  private:
    struct Row {
        std::array<std::string, kColumnCount> cells;
        // What the MAC column shows: the key itself, except for a PJLink projector, keyed by
        // its address, which shows the MAC its search answer gave (blank for class 1).
        std::string shownMac;
        bool checked = false;
        RowHealth health;
    };
    void SetCell(int row, int column, const std::string& text);
    void Reindex(int fromRow);
    static void FillCells(Row& row, const Info& info);
    void AppendRows(const std::vector<const Info*>& records);
    void RemoveRows(std::vector<int> rows);

    std::vector<Row> rows_;
    std::unordered_map<std::string, int> index_;
    CheckedReader readChecked_;
    CheckedBatchReader readCheckedBatch_;
    CheckedWriter writeChecked_;
    int checkedCount_ = 0;
    HealthLook look_;
    uint64_t cellsChanged_ = 0;
};

}  // namespace vistrel
