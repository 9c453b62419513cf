// The group pane: an owner-drawn list of group names. Unselected items are flat, the selected
// one is a gradient with a 12 x 12 mark, and it turns dark with grey text when the list loses
// the focus. Names too wide for their item are cut with an ellipsis and shown whole in a tool
// tip. A right click on an item selects it and opens the "&Group" context menu.
#pragma once

#include <QColor>
#include <QListWidget>
#include <QPointer>

#include <QMenu>

namespace vistrel {

class CGrpList : public QListWidget {
    Q_OBJECT
  public:
    explicit CGrpList(QWidget* parent = nullptr);

    // The menu whose items, up to and including "Se&tting", make the context menu.
    void setContextSource(QMenu* groupMenu) { groupMenu_ = groupMenu; }

    // Item text the tool tip shows for the item under the mouse; empty when it fits.
    QString toolText() const { return toolText_; }
    // Whether `row`'s name is wider than its item allows and is therefore cut.
    bool IsCut(int row) const;
    int ItemHeight() const;

    // Colours, public so the settings dialogs' lists can match them.
    QColor normalText{0, 0, 0};
    QColor normalBack{131, 113, 172};
    QColor selectedText{255, 255, 255};
    QColor selectedStart{71, 58, 101};
    QColor inactiveText{180, 180, 180};
    QColor inactiveBack{71, 58, 101};
    QColor selectedEnd{180, 180, 180};

  signals:
    // The operator chose a group (click or right click): the window shows it.
    void selectionCommand();
    // Sent before the context menu opens so the window can update its commands.
    void contextMenuAboutToShow();
    // The context menu that was shown (for tests); empty when none was.
    void contextMenuShown(QMenu* menu);

  protected:
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void focusInEvent(QFocusEvent* event) override;
    void focusOutEvent(QFocusEvent* event) override;

  private:
    void ShowContextMenu(const QPoint& globalPos);

    QPointer<QMenu> groupMenu_;
    QString toolText_;
    bool inPress_ = false;  // a mouse press is changing the current row
};

}  // namespace vistrel
