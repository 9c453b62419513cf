// "Rename group": shows the current name and asks for a new one. A new name that cannot be
// a group name, or that another group already has (case ignored), is refused with the
// dialog left open; an empty one is accepted and left for the caller to ignore.
#pragma once

#include <QDialog>
#include <QStringList>

class QLabel;
class QLineEdit;

namespace vistrel {

class CRenGrpDlg : public QDialog {
    Q_OBJECT
  public:
    // `existingGroups`: the entries of the main window's group list (the current name among
    // them; it may be given again with another case) and the group keys of the store.
    explicit CRenGrpDlg(QStringList existingGroups = {}, QWidget* parent = nullptr);

    QString newName;      // edit 1107, read after OK
    QString currentName;  // static 1108, set by the caller before exec()

    QLineEdit* NewNameEdit() const { return edit_; }
    QLabel* CurrentNameLabel() const { return current_; }

  public slots:
    void accept() override;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    QStringList existing_;
    QLabel* current_ = nullptr;
    QLineEdit* edit_ = nullptr;
};

}  // namespace vistrel
