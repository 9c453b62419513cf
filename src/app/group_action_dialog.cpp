#include "app/group_action_dialog.h"

#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

namespace vistrel {

CGrpActDlg::CGrpActDlg(QStringList groups, QString selectedGroup, bool groupMode, QWidget* parent)
    : QDialog(parent), currentGroup(std::move(selectedGroup)), groupMode_(groupMode) {
    setObjectName(QStringLiteral("groupActionDialog"));
    setWindowTitle(QString());

    auto* box = new QGroupBox(QStringLiteral("Projector group"), this);
    list_ = new QListWidget(box);
    list_->setObjectName(QStringLiteral("list1109"));
    list_->setSortingEnabled(false);
    for (const QString& group : groups) {
        if (!group.isEmpty())
            list_->addItem(group);
    }
    action_ = new QLabel(box);
    action_->setObjectName(QStringLiteral("static1111"));
    chosen_ = new QLabel(QStringLiteral("group name"), box);
    chosen_->setObjectName(QStringLiteral("static1110"));
    auto* chosenRow = new QHBoxLayout;
    chosenRow->addWidget(action_);
    chosenRow->addWidget(chosen_, 1);
    auto* inner = new QVBoxLayout(box);
    inner->addWidget(list_, 1);
    inner->addLayout(chosenRow);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("okButton"));
    buttons->button(QDialogButtonBox::Ok)->setDefault(true);
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("cancelButton"));
    connect(buttons, &QDialogButtonBox::accepted, this, &CGrpActDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    connect(list_, &QListWidget::currentRowChanged, this, [this] { TakeSelection(); });
    connect(list_, &QListWidget::itemDoubleClicked, this, [this] { accept(); });

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(box);
    layout->addWidget(buttons);
    setMinimumSize(260, 280);

    // The first group is preselected and shown; choosing starts with the operator.
    if (list_->count() > 0) {
        const QSignalBlocker blocker(list_);
        list_->setCurrentRow(0);
        chosen_->setText(list_->item(0)->text());
    }
}

void CGrpActDlg::showEvent(QShowEvent* event) {
    action_->setText(actionLabel);
    QDialog::showEvent(event);
    list_->setFocus();
}

void CGrpActDlg::TakeSelection() {
    const int row = list_->currentRow();
    if (row < 0)
        return;
    const QString text = list_->item(row)->text();
    if (text.isEmpty())
        return;
    chosen_->setText(text);
    chosenName = text;
    chosenIndex = row;
}

void CGrpActDlg::accept() {
    TakeSelection();
    if (groupMode_ && chosenName == currentGroup) {
        reject();
        return;
    }
    QDialog::accept();
}

}  // namespace vistrel
