// Chooses a group for an action: the group to move projectors to ("Move to:") or the group
// to show ("Go to:"). In group mode, choosing the group already shown closes as Cancel.
#pragma once

#include <QDialog>
#include <QStringList>

class QLabel;
class QListWidget;

namespace vistrel {

class CGrpActDlg : public QDialog {
    Q_OBJECT
  public:
    static constexpr char kMoveTo[] = "Move to:";
    static constexpr char kGoTo[] = "Go to:";

    // `groups`: the entries of the main window's group list; `selectedGroup`: the text of its
    // selected entry (empty when none); `groupMode`: the main window shows one group.
    CGrpActDlg(QStringList groups, QString selectedGroup, bool groupMode,
               QWidget* parent = nullptr);

    QString currentGroup;
    QString actionLabel;  // static 1111; set by the caller before exec()
    QString chosenName;   // static 1110
    int chosenIndex = -1;

    QListWidget* GroupBox() const { return list_; }
    QLabel* ChosenLabel() const { return chosen_; }
    QLabel* ActionLabel() const { return action_; }

  public slots:
    void accept() override;

  protected:
    void showEvent(QShowEvent* event) override;

  private:
    void TakeSelection();

    bool groupMode_;
    QListWidget* list_ = nullptr;
    QLabel* action_ = nullptr;
    QLabel* chosen_ = nullptr;
};

}  // namespace vistrel
