#include "app/add_group_dialog.h"

#include <QDialogButtonBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/group_name_rules.h"
#include "controls/message_box.h"

namespace vistrel {

CAddGroup::CAddGroup(QStringList existingGroups, QWidget* parent)
    : QDialog(parent), existing_(std::move(existingGroups)) {
    setObjectName(QStringLiteral("addGroupDialog"));
    setWindowTitle(QStringLiteral("Dialog"));

    auto* box = new QGroupBox(QStringLiteral("Add new group"), this);
    auto* label = new QLabel(QStringLiteral("new group name:"), box);
    edit_ = new QLineEdit(box);
    edit_->setObjectName(QStringLiteral("edit1015"));
    label->setBuddy(edit_);
    auto* row = new QHBoxLayout(box);
    row->addWidget(label);
    row->addWidget(edit_, 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("okButton"));
    buttons->button(QDialogButtonBox::Ok)->setDefault(true);
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("cancelButton"));
    connect(buttons, &QDialogButtonBox::accepted, this, &CAddGroup::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(box);
    layout->addWidget(buttons);
    setMinimumWidth(320);
}

void CAddGroup::showEvent(QShowEvent* event) {
    QDialog::showEvent(event);
    edit_->setFocus();
}

void CAddGroup::accept() {
    const QString typed = edit_->text();
    const QString trimmed = TrimGroupName(typed);
    if (!trimmed.isEmpty() && FindGroupIgnoringCase(existing_, trimmed) >= 0) {
        ShowInformation(this, DuplicateGroupMessage(trimmed));
        edit_->setFocus();
        return;
    }
    const QString problem = GroupNameProblem(typed);
    if (!problem.isEmpty()) {
        ShowInformation(this, problem);
        edit_->setFocus();
        return;
    }
    name = trimmed;
    QDialog::accept();
}

}  // namespace vistrel
