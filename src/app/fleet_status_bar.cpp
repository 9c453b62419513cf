#include "app/fleet_status_bar.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QLabel>

namespace vistrel {

namespace {

const char* const kKeys[kHealthFilterCount] = {"all",          "on",          "standby",     "off",
                                               "notanswering", "lampwarning", "lampcritical"};

}  // namespace

FleetStatusBar::FleetStatusBar(QWidget* parent) : QWidget(parent) {
    setObjectName(QStringLiteral("fleetStatusBar"));
    setAccessibleName(QStringLiteral("Fleet health"));
    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(4, 0, 4, 0);
    layout->setSpacing(16);
    for (int i = 0; i < kHealthFilterCount; ++i) {
        auto* label = new QLabel(this);
        label->setObjectName(QStringLiteral("health_%1").arg(QLatin1String(kKeys[i])));
        label->setTextFormat(Qt::RichText);
        label->setTextInteractionFlags(Qt::LinksAccessibleByMouse | Qt::LinksAccessibleByKeyboard);
        connect(label, &QLabel::linkActivated, this,
                [this, i](const QString&) { emit filterRequested(static_cast<HealthFilter>(i)); });
        labels_[static_cast<size_t>(i)] = label;
        layout->addWidget(label);
    }
    layout->addStretch(1);
    Render();
}

void FleetStatusBar::SetCounts(const FleetCounts& counts, const HealthThresholds& thresholds) {
    if (counts == counts_ && thresholds == thresholds_)
        return;
    counts_ = counts;
    thresholds_ = thresholds;
    Render();
}

void FleetStatusBar::SetActive(HealthFilter filter) {
    if (filter == active_)
        return;
    active_ = filter;
    Render();
}

void FleetStatusBar::SetMarkColours(QColor warning, QColor critical, QColor quiet) {
    warning_ = warning;
    critical_ = critical;
    quiet_ = quiet;
    Render();
}

QString FleetStatusBar::Text() const {
    QStringList parts;
    for (QLabel* label : labels_)
        parts << label->accessibleName();
    return parts.join(QStringLiteral(" | "));
}

void FleetStatusBar::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::PaletteChange)
        Render();
}

void FleetStatusBar::Render() {
    const std::array<size_t, kHealthFilterCount> values{
        counts_.listed,       counts_.on,          counts_.standby,     counts_.off,
        counts_.notAnswering, counts_.lampWarning, counts_.lampCritical};
    const std::array<QString, kHealthFilterCount> words{
        QStringLiteral("listed"),
        QStringLiteral("on"),
        QStringLiteral("standby"),
        QStringLiteral("off"),
        QStringLiteral("not answering"),
        (counts_.lampWarning == 1 ? QStringLiteral("lamp past %1 h")
                                  : QStringLiteral("lamps past %1 h"))
            .arg(thresholds_.lampWarningHours),
        (counts_.lampCritical == 1 ? QStringLiteral("lamp past %1 h")
                                   : QStringLiteral("lamps past %1 h"))
            .arg(thresholds_.lampCriticalHours)};
    // Named in the text, so a theme change lays the labels out again in its own link colour.
    const QString link = palette().color(QPalette::Link).name();
    const std::array<QColor, kHealthFilterCount> marks{QColor(), QColor(), QColor(), QColor(),
                                                       quiet_,   warning_, critical_};
    for (int i = 0; i < kHealthFilterCount; ++i) {
        const auto at = static_cast<size_t>(i);
        const auto filter = static_cast<HealthFilter>(i);
        const QString text = QStringLiteral("%1 %2").arg(values[at]).arg(words[at]);
        // A square of the row marks' colour ties each count to what it marks in the list.
        QString mark;
        if (marks[at].isValid() && values[at] > 0) {
            mark = QStringLiteral("<span style=\"color:%1\">&#9632;</span>&nbsp;")
                       .arg(marks[at].name());
        }
        QString html;
        if (filter == active_ && filter != HealthFilter::kAll) {
            // The narrowed count: bold, and its link shows every row again.
            html = QStringLiteral("%1<a href=\"%2\" style=\"color:%4\"><b>%3</b></a> &#10005;")
                       .arg(mark, QLatin1String(kKeys[i]), text.toHtmlEscaped(), link);
        } else if (values[at] > 0 || filter == HealthFilter::kAll) {
            html = QStringLiteral("%1<a href=\"%2\" style=\"color:%4\">%3</a>")
                       .arg(mark, QLatin1String(kKeys[i]), text.toHtmlEscaped(), link);
        } else {
            html = text.toHtmlEscaped();  // nothing to narrow to
        }
        QLabel* label = labels_[at];
        label->setText(html);
        label->setAccessibleName(text);
        label->setToolTip(filter == active_ && filter != HealthFilter::kAll
                              ? QStringLiteral("Show all projectors again (Esc)")
                          : filter == HealthFilter::kAll
                              ? QStringLiteral("Show all projectors")
                              : QStringLiteral("Show only these projectors"));
    }
}

}  // namespace vistrel
