#include "app/rename_group_dialog.h"

#include <QDialogButtonBox>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

#include "app/group_name_rules.h"
#include "controls/message_box.h"

namespace vistrel {

CRenGrpDlg::CRenGrpDlg(QStringList existingGroups, QWidget* parent)
    : QDialog(parent), existing_(std::move(existingGroups)) {
    setObjectName(QStringLiteral("renameGroupDialog"));
    setWindowTitle(QStringLiteral("Rename group"));

    auto* box = new QGroupBox(QStringLiteral("Rename group"), this);
    current_ = new QLabel(box);
    current_->setObjectName(QStringLiteral("static1108"));
    edit_ = new QLineEdit(box);
    edit_->setObjectName(QStringLiteral("edit1107"));
    auto* grid = new QGridLayout(box);
    grid->addWidget(new QLabel(QStringLiteral("current group name:"), box), 0, 0);
    grid->addWidget(current_, 0, 1);
    grid->addWidget(new QLabel(QStringLiteral("new group name:"), box), 1, 0);
    grid->addWidget(edit_, 1, 1);
    grid->setColumnStretch(1, 1);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
    buttons->button(QDialogButtonBox::Ok)->setObjectName(QStringLiteral("okButton"));
    buttons->button(QDialogButtonBox::Ok)->setDefault(true);
    buttons->button(QDialogButtonBox::Cancel)->setObjectName(QStringLiteral("cancelButton"));
    connect(buttons, &QDialogButtonBox::accepted, this, &CRenGrpDlg::accept);
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

    auto* layout = new QVBoxLayout(this);
    layout->addWidget(box);
    layout->addWidget(buttons);
    setMinimumWidth(340);
}

void CRenGrpDlg::showEvent(QShowEvent* event) {
    current_->setText(currentName);
    QDialog::showEvent(event);
    edit_->setFocus();
}

void CRenGrpDlg::accept() {
    const QString typed = edit_->text();
    const QString problem = GroupNameProblem(typed);
    if (!problem.isEmpty()) {
        ShowInformation(this, problem);
        edit_->setFocus();
        return;
    }
    // Renaming onto another group, or onto a key the store holds without listing it, would
    // leave two keys or lose the rename; a change of case of the group's own name is fine.
    const QString trimmed = TrimGroupName(typed);
    for (const QString& other : existing_) {
        if (!trimmed.isEmpty() && other.compare(trimmed, Qt::CaseInsensitive) == 0 &&
            other.compare(currentName, Qt::CaseInsensitive) != 0) {
            ShowInformation(this, DuplicateGroupMessage(trimmed));
            edit_->setFocus();
            return;
        }
    }
    newName = trimmed;
    QDialog::accept();
}

}  // namespace vistrel
