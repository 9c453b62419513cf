// "Add new group": asks for the name of a new group. OK is refused, with the dialog left
// open for correction, when the name is already a group (case ignored) or cannot be a group
// name; an empty name is accepted and left for the caller to ignore.
#pragma once

#include <QDialog>
#include <QStringList>

class QLineEdit;

namespace vistrel {

class CAddGroup : public QDialog {
    Q_OBJECT
  public:
    // `existingGroups`: the entries of the main window's group list.
    explicit CAddGroup(QStringList existingGroups, QWidget* parent = nullptr);

    // The name typed (edit 1015); read after OK.
    QString name;

    QLineEdit* NameEdit() const { return edit_; }

  public slots:
    void accept() override;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    QStringList existing_;
    QLineEdit* edit_ = nullptr;
};

}  // namespace vistrel
