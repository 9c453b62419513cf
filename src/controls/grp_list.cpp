#include "controls/grp_list.h"

#include <QMenu>
#include <QMouseEvent>
#include <QPainter>
#include <QStyledItemDelegate>

#include "controls/gradient.h"
#include "controls/icons.h"

namespace vistrel {

namespace {

constexpr int kTextMargin = 16;  // each side of the text
constexpr int kToolSlack = 14;   // a name wider than the item less this is "cut"
constexpr int kMarkSize = 12;

class GroupItemDelegate : public QStyledItemDelegate {
  public:
    explicit GroupItemDelegate(CGrpList* list) : QStyledItemDelegate(list), list_(list) {}

    QSize sizeHint(const QStyleOptionViewItem&, const QModelIndex&) const override {
        return QSize(list_->viewport()->width(), list_->ItemHeight());
    }

    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        const QRect r = option.rect;
        const bool selected = option.state & QStyle::State_Selected;
        const bool active = list_->hasFocus();
        QColor text = list_->normalText;
        if (!selected) {
            painter->fillRect(r, list_->normalBack);
        } else if (active) {
            PaintGradient(*painter, r, list_->selectedStart, list_->selectedEnd);
            text = list_->selectedText;
        } else {
            painter->fillRect(r, list_->inactiveBack);
            text = list_->inactiveText;
        }
        painter->fillRect(QRect(r.left(), r.top(), r.width(), 1), Qt::white);
        painter->fillRect(QRect(r.left(), r.bottom(), r.width(), 1), Qt::white);
        if (selected) {
            AppIcon(IconId::kSelectedGroup)
                .paint(painter, QRect(r.left() + 2, r.top() + 4, kMarkSize, kMarkSize));
        }
        painter->save();
        painter->setFont(list_->font());
        painter->setPen(text);
        const QRect textRect = r.adjusted(kTextMargin, 0, -kTextMargin, 0);
        const QString name = index.data(Qt::DisplayRole).toString();
        const QString shown =
            painter->fontMetrics().elidedText(name, Qt::ElideRight, textRect.width());
        painter->drawText(textRect, Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine, shown);
        painter->restore();
    }

  private:
    CGrpList* list_;
};

}  // namespace

CGrpList::CGrpList(QWidget* parent) : QListWidget(parent) {
    setItemDelegate(new GroupItemDelegate(this));
    setSelectionMode(QAbstractItemView::SingleSelection);
    setMouseTracking(true);
    setUniformItemSizes(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setContextMenuPolicy(Qt::NoContextMenu);
    setFrameShape(QFrame::NoFrame);
    QPalette pal = palette();
    pal.setColor(QPalette::Base, QColor(71, 58, 101));
    setPalette(pal);
    connect(this, &QListWidget::currentRowChanged, this, [this](int row) {
        if (row >= 0 && !inPress_)
            emit selectionCommand();
    });
}

int CGrpList::ItemHeight() const {
    return fontMetrics().boundingRect(QStringLiteral("test item")).height() + 6;
}

bool CGrpList::IsCut(int row) const {
    const QListWidgetItem* it = item(row);
    if (!it)
        return false;
    return fontMetrics().horizontalAdvance(it->text()) > viewport()->width() - kToolSlack;
}

void CGrpList::mousePressEvent(QMouseEvent* event) {
    if (event->button() != Qt::RightButton) {
        // The view makes the item current before it selects it, so the window is told once
        // the click has done both. A click on the group that is already current changes no
        // row, yet the window may show every projector meanwhile: it still shows the group.
        inPress_ = true;
        QListWidget::mousePressEvent(event);
        inPress_ = false;
        const QListWidgetItem* it = itemAt(event->position().toPoint());
        if (it && row(it) == currentRow() && it->isSelected())
            emit selectionCommand();
        return;
    }
    QListWidgetItem* it = itemAt(event->position().toPoint());
    if (!it)
        return;  // empty space: nothing changes, no menu
    const int r = row(it);
    if (r == currentRow()) {
        emit selectionCommand();
    } else {
        setCurrentRow(r);  // the selection change shows the group
    }
    emit contextMenuAboutToShow();
    ShowContextMenu(event->globalPosition().toPoint());
}

void CGrpList::ShowContextMenu(const QPoint& globalPos) {
    if (!groupMenu_)
        return;
    QMenu popup(this);
    for (QAction* action : groupMenu_->actions()) {
        popup.addAction(action);
        if (action->text().compare(QStringLiteral("Se&tting"), Qt::CaseInsensitive) == 0)
            break;
    }
    emit contextMenuShown(&popup);
    popup.exec(globalPos);
}

void CGrpList::mouseMoveEvent(QMouseEvent* event) {
    const QPoint pos = event->position().toPoint();
    const QListWidgetItem* it = itemAt(pos);
    const QString tip = it && IsCut(row(it)) ? it->text() : QString();
    if (tip != toolText_) {
        toolText_ = tip;
        viewport()->setToolTip(tip);
    }
    QListWidget::mouseMoveEvent(event);
}

void CGrpList::focusInEvent(QFocusEvent* event) {
    QListWidget::focusInEvent(event);
    viewport()->update();
}

void CGrpList::focusOutEvent(QFocusEvent* event) {
    QListWidget::focusOutEvent(event);
    viewport()->update();
}

}  // namespace vistrel
