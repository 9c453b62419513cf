// What the projector list's view shows: the model's rows narrowed by the find text (and by
// any further condition a caller adds) and, while a header was clicked, sorted by that
// column. The model underneath keeps discovery order, so the ticks, the commands on ticked
// rows and the store never see the view's order.
#pragma once

#include <QSortFilterProxyModel>
#include <QString>
#include <functional>
#include <map>
#include <string>

namespace vistrel {

class ProjectorListModel;

class ProjectorListProxy : public QSortFilterProxyModel {
  public:
    // A further condition a model row must meet to be shown.
    using RowPredicate = std::function<bool(const ProjectorListModel& model, int sourceRow)>;

    explicit ProjectorListProxy(ProjectorListModel* source, QObject* parent = nullptr);

    // Shows only rows whose MAC, address, group name or projector name contains `text`,
    // ignoring case; an empty text shows every row.
    void SetFindText(const QString& text);
    QString FindText() const { return findText_; }

    // Adds a named condition (replacing one of the same name) or removes it; the rows are
    // filtered again. ReapplyFilters() re-runs them when what a condition reads changed.
    void SetPredicate(const std::string& name, RowPredicate predicate);
    void RemovePredicate(const std::string& name);
    void ReapplyFilters();

    // A header click: ascending, then descending, then back to discovery order.
    void CycleSort(int column);

    ProjectorListModel& Source() const { return *model_; }
    int SourceRow(const QModelIndex& viewIndex) const;
    // The view row of a model row, or -1 when the row is filtered out.
    int ViewRow(int sourceRow) const;

  protected:
    bool filterAcceptsRow(int sourceRow, const QModelIndex& sourceParent) const override;
    bool lessThan(const QModelIndex& left, const QModelIndex& right) const override;

  private:
    bool MatchesFindText(int sourceRow) const;

    ProjectorListModel* model_;
    QString findText_;
    // The find text folded for the byte-wise search (ASCII) or for QString's (otherwise).
    std::string asciiNeedle_;
    bool needleIsAscii_ = true;
    std::map<std::string, RowPredicate> predicates_;
};

}  // namespace vistrel
