#include "controls/text_fit.h"

#include <QAbstractButton>
#include <QAbstractScrollArea>
#include <QAbstractSpinBox>
#include <QApplication>
#include <QComboBox>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QPushButton>
#include <QStackedWidget>
#include <QTabWidget>
#include <algorithm>
#include <cmath>

#include "controls/set_button.h"
#include "controls/static_text.h"

namespace vistrel {

namespace {

// The width `widget` needs for its text, or 0 when it shows none that could be cut.
int WidthForText(const QWidget& widget, bool shownValues) {
    const QFontMetrics metrics = widget.fontMetrics();
    if (const auto* label = qobject_cast<const QLabel*>(&widget)) {
        if (label->wordWrap() || label->text().isEmpty() || !label->pixmap().isNull())
            return 0;
        return label->sizeHint().width();
    }
    if (const auto* caption = qobject_cast<const CStaticText*>(&widget))
        return caption->text().isEmpty() ? 0 : caption->sizeHint().width();
    // The "Set" button draws an icon; its text only names it.
    if (qobject_cast<const CSetButton*>(&widget))
        return 0;
    if (const auto* button = qobject_cast<const QPushButton*>(&widget)) {
        // The text and a little frame: a style's minimum button width is no text of its own.
        QString text = button->text();
        text.remove(QLatin1Char('&'));
        return text.isEmpty() ? 0 : metrics.horizontalAdvance(text) + 8;
    }
    if (const auto* button = qobject_cast<const QAbstractButton*>(&widget))
        return button->text().isEmpty() ? 0 : button->sizeHint().width();
    if (!shownValues)
        return 0;
    if (const auto* list = qobject_cast<const QComboBox*>(&widget)) {
        // Room for the arrow beside the chosen row.
        return list->currentText().isEmpty()
                   ? 0
                   : metrics.horizontalAdvance(list->currentText()) + 2 * metrics.height();
    }
    if (const auto* edit = qobject_cast<const QLineEdit*>(&widget)) {
        if (edit->text().isEmpty() || edit->echoMode() != QLineEdit::Normal)
            return 0;
        return metrics.horizontalAdvance(edit->text()) + 8;
    }
    return 0;
}

// The height a control needs for one line of its text.
int HeightForText(const QWidget& widget) {
    const bool framed = qobject_cast<const QLineEdit*>(&widget) ||
                        qobject_cast<const QComboBox*>(&widget) ||
                        qobject_cast<const QAbstractSpinBox*>(&widget);
    const auto* label = qobject_cast<const QLabel*>(&widget);
    const auto* caption = qobject_cast<const CStaticText*>(&widget);
    const auto* button = qobject_cast<const CSetButton*>(&widget)
                             ? nullptr
                             : qobject_cast<const QAbstractButton*>(&widget);
    // Arrows and icons are not text.
    const bool text = framed || (button && !button->text().isEmpty()) ||
                      (label && !label->text().isEmpty() && label->pixmap().isNull()) ||
                      (caption && !caption->text().isEmpty());
    if (!text)
        return 0;
    return widget.fontMetrics().height() + (framed ? 2 : 0);
}

// Children that `parent` places itself: not windows, and not inside a layout or a compound
// control that places its own parts.
bool PlacesItsChildren(const QWidget& parent) {
    return !parent.layout() && !qobject_cast<const QAbstractSpinBox*>(&parent) &&
           !qobject_cast<const QComboBox*>(&parent) &&
           !qobject_cast<const QAbstractScrollArea*>(&parent) &&
           !qobject_cast<const QTabWidget*>(&parent) &&
           !qobject_cast<const QStackedWidget*>(&parent);
}

// The pages of a tab or stacked widget, which place their own children.
QList<QWidget*> PagesOf(QWidget& widget) {
    QList<QWidget*> pages;
    if (auto* tabs = qobject_cast<QTabWidget*>(&widget)) {
        for (int i = 0; i < tabs->count(); ++i)
            pages << tabs->widget(i);
    } else if (auto* stack = qobject_cast<QStackedWidget*>(&widget)) {
        for (int i = 0; i < stack->count(); ++i)
            pages << stack->widget(i);
    }
    return pages;
}

void GrowChildren(QWidget& parent, double factor) {
    auto scaled = [factor](int v) { return static_cast<int>(std::lround(v * factor)); };
    for (QWidget* child : parent.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
        if (child->isWindow())
            continue;
        if (PlacesItsChildren(parent)) {
            const QRect g = child->geometry();
            const QRect grown(scaled(g.x()), scaled(g.y()), scaled(g.width()), scaled(g.height()));
            if (child->minimumSize() == child->maximumSize())
                child->setFixedSize(grown.size());
            child->setGeometry(grown);
        }
        if (PlacesItsChildren(*child))
            GrowChildren(*child, factor);
        for (QWidget* page : PagesOf(*child))
            GrowChildren(*page, factor);
    }
}

}  // namespace

std::vector<CutText> CutTexts(const QWidget& root, bool shownValues) {
    std::vector<CutText> cut;
    for (const QWidget* widget : root.findChildren<QWidget*>()) {
        if (widget->isWindow() || widget->width() <= 0 || widget->height() <= 0)
            continue;
        const QSize needed(WidthForText(*widget, shownValues), HeightForText(*widget));
        if (needed.width() > widget->width() || needed.height() > widget->height())
            cut.push_back({widget, needed.expandedTo(widget->size())});
    }
    return cut;
}

double TextGrowth(const QWidget& root) {
    double growth = 1.0;
    for (const CutText& text : CutTexts(root)) {
        const QSize has = text.widget->size();
        growth = std::max({growth, static_cast<double>(text.needed.width()) / has.width(),
                           static_cast<double>(text.needed.height()) / has.height()});
    }
    return growth;
}

void GrowGeometry(QWidget& root, double factor) {
    if (factor <= 1.0)
        return;
    GrowChildren(root, factor);
    for (QWidget* page : PagesOf(root))
        GrowChildren(*page, factor);
    const QSize grown(static_cast<int>(std::lround(root.width() * factor)),
                      static_cast<int>(std::lround(root.height() * factor)));
    if (root.minimumSize() == root.maximumSize())
        root.setFixedSize(grown);
    else
        root.resize(grown);
}

void FitToText(QWidget& root) {
    // At the platform's own text size the window keeps exactly the look it was drawn with.
    const qreal drawnFor = QFontDatabase::systemFont(QFontDatabase::GeneralFont).pointSizeF();
    if (QApplication::font().pointSizeF() <= drawnFor)
        return;
    GrowGeometry(root, TextGrowth(root));
}

}  // namespace vistrel
