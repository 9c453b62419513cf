#include "app/about_dlg.h"

#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QVBoxLayout>

#include "controls/icons.h"

#ifndef VISTREL_VERSION
#error "VISTREL_VERSION must come from the build"
#endif

namespace vistrel {

QString VistrelVersion() {
    return QStringLiteral(VISTREL_VERSION);
}

CAboutDlg::CAboutDlg(QWidget* parent) : QDialog(parent) {
    setObjectName(QStringLiteral("aboutDialog"));
    setWindowTitle(QStringLiteral("About Vistrel"));
    auto* icon = new QLabel(this);
    icon->setPixmap(AppIcon(IconId::kApp).pixmap(32, 32));
    icon->setAlignment(Qt::AlignTop);
    auto* text = new QLabel(QStringLiteral("Vistrel Version %1").arg(VistrelVersion()), this);
    text->setObjectName(QStringLiteral("aboutText"));
    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok, this);
    buttons->button(QDialogButtonBox::Ok)->setDefault(true);
    connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);

    auto* row = new QHBoxLayout;
    row->addWidget(icon);
    row->addSpacing(12);
    row->addWidget(text, 1);
    auto* layout = new QVBoxLayout(this);
    layout->addLayout(row);
    layout->addWidget(buttons);
    setFixedSize(sizeHint().expandedTo(QSize(350, 90)));
}

}  // namespace vistrel
