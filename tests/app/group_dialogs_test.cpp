// The four group dialogs on their own: titles, labels, focus, data, and the checks that keep
// a dialog open.
#include <gtest/gtest.h>

#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTest>
#include <QToolButton>

#include "app/add_group_dialog.h"
#include "app/command_test_support.h"
#include "app/group_action_dialog.h"
#include "app/group_name_rules.h"
#include "app/refresh_dialog.h"
#include "app/rename_group_dialog.h"

namespace vistrel::test {
namespace {

QStringList Labels(const QWidget& dialog) {
    QStringList texts;
    for (const QGroupBox* box : dialog.findChildren<QGroupBox*>())
        texts << box->title();
    for (const QLabel* label : dialog.findChildren<QLabel*>())
        texts << label->text();
    return texts;
}

void ClickOk(QDialog& dialog) {
    QTest::mouseClick(dialog.findChild<QPushButton*>("okButton"), Qt::LeftButton);
}

// Shows the dialog as the operator sees it and waits until it is up and focused.
void ShowAndWait(QDialog& dialog) {
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    QApplication::setActiveWindow(&dialog);
    QTest::qWait(20);
}

TEST(GroupNameRules, RefusesBackslashControlAndLongNamesAndFindsDuplicatesIgnoringCase) {
    EXPECT_TRUE(GroupNameProblem("").isEmpty());
    EXPECT_TRUE(GroupNameProblem(QString(32, 'x')).isEmpty());
    EXPECT_FALSE(GroupNameProblem(QString(33, 'x')).isEmpty());
    // Bytes, not characters: 11 three-byte characters do not fit 32 bytes.
    EXPECT_FALSE(GroupNameProblem(QString(11, QChar(0x20AC))).isEmpty());
    EXPECT_TRUE(GroupNameProblem(QString(10, QChar(0x20AC))).isEmpty());
    EXPECT_TRUE(GroupNameProblem("a\\b").contains("backslash"));
    EXPECT_FALSE(GroupNameProblem("a\nb").isEmpty());
    EXPECT_EQ(FindGroupIgnoringCase({"Lab", "ABC"}, "abc"), 1);
    EXPECT_EQ(FindGroupIgnoringCase({"Lab", "ABC"}, "abcd"), -1);
}

// Projectors report names without trailing blanks: "Lab " would never have members.
TEST(GroupNameRules, BlanksAroundAreDroppedAndBlankOrReservedNamesRefused) {
    EXPECT_EQ(TrimGroupName("  Lab \t"), "Lab");
    EXPECT_EQ(TrimGroupName("Lecture Hall"), "Lecture Hall");
    EXPECT_TRUE(GroupNameProblem(" Lab ").isEmpty());
    EXPECT_TRUE(GroupNameProblem(" " + QString(32, 'x') + "  ").isEmpty());
    EXPECT_TRUE(GroupNameProblem("").isEmpty());  // nothing typed: ignored by the commands
    EXPECT_TRUE(GroupNameProblem("   ").contains("blanks"));
    for (const char* reserved : {"All Projectors", "all projectors", " ALL PROJECTORS "})
        EXPECT_FALSE(GroupNameProblem(reserved).isEmpty()) << reserved;
    EXPECT_TRUE(GroupNameProblem("All Projectors 2").isEmpty());
}

TEST(AddGroupDialog, TypedNameIsTrimmedAndBlankOrReservedNamesKeepItOpen) {
    CAddGroup dialog({"Lab"});
    ShowAndWait(dialog);
    for (const QString& bad : {QString("    "), QString("all projectors"), QString(" lab ")}) {
        dialog.NameEdit()->setText(bad);
        ModalScript script;
        script.Then(script.Answer(QMessageBox::Ok));
        ClickOk(dialog);
        ASSERT_TRUE(script.Finished()) << bad.toStdString();
        if (bad == " lab ") {
            EXPECT_EQ(script.boxes.at(0).text, "The Group lab has already existed");
        }
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_NE(dialog.result(), QDialog::Accepted);
    }
    dialog.NameEdit()->setText("  Lecture Hall ");
    ClickOk(dialog);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.name, "Lecture Hall");
}

TEST(RenameGroupDialog, RefusesEveryKnownNameButItsOwnAndTrims) {
    CRenGrpDlg dialog({"Lab", "Hall", "Aula", "All Projectors"});
    dialog.currentName = "Lab";
    ShowAndWait(dialog);
    for (const QString& bad : {QString("aula "), QString("   "), QString("ALL projectors")}) {
        dialog.NewNameEdit()->setText(bad);
        ModalScript script;
        script.Then(script.Answer(QMessageBox::Ok));
        ClickOk(dialog);
        ASSERT_TRUE(script.Finished()) << bad.toStdString();
        EXPECT_TRUE(dialog.isVisible());
    }
    dialog.NewNameEdit()->setText(" LAB ");
    ClickOk(dialog);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.newName, "LAB");
}

TEST(AddGroupDialog, HasItsLabelsAndFocusesTheName) {
    CAddGroup dialog({"ABC"});
    EXPECT_EQ(dialog.windowTitle(), "Dialog");
    const QStringList labels = Labels(dialog);
    EXPECT_TRUE(labels.contains("Add new group"));
    EXPECT_TRUE(labels.contains("new group name:"));
    EXPECT_TRUE(dialog.findChild<QPushButton*>("okButton")->isDefault());
    EXPECT_EQ(dialog.findChild<QPushButton*>("cancelButton")->text().remove('&'), "Cancel");
    EXPECT_TRUE(dialog.name.isEmpty());
    ShowAndWait(dialog);
    EXPECT_EQ(QApplication::focusWidget(), dialog.NameEdit());
}

TEST(AddGroupDialog, DuplicateIgnoringCaseIsRefusedNamingTheTypedTextAndStaysOpen) {
    CAddGroup dialog({"Lab", "ABC"});
    ShowAndWait(dialog);
    QTest::keyClicks(dialog.NameEdit(), "abc");
    ModalScript script;
    script.Then(script.Answer(QMessageBox::Ok));
    ClickOk(dialog);
    ASSERT_TRUE(script.Finished());
    ASSERT_EQ(script.boxes.size(), 1u);
    EXPECT_EQ(script.boxes[0].text, "The Group abc has already existed");
    EXPECT_EQ(script.boxes[0].title, "Vistrel");
    EXPECT_EQ(script.boxes[0].icon, QMessageBox::Information);
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_NE(dialog.result(), QDialog::Accepted);
    EXPECT_TRUE(dialog.name.isEmpty());

    // Corrected, the same dialog closes with OK.
    dialog.NameEdit()->setText("abcd");
    ClickOk(dialog);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.name, "abcd");
}

TEST(AddGroupDialog, BackslashAndOverlongNamesAreRefusedEmptyIsAccepted) {
    for (const QString& bad : {QString("left\\right"), QString(33, 'n')}) {
        CAddGroup dialog({});
        ShowAndWait(dialog);
        dialog.NameEdit()->setText(bad);
        ModalScript script;
        script.Then(script.Answer(QMessageBox::Ok));
        ClickOk(dialog);
        ASSERT_TRUE(script.Finished()) << bad.toStdString();
        EXPECT_TRUE(dialog.isVisible());
        EXPECT_NE(dialog.result(), QDialog::Accepted);
    }
    CAddGroup empty({"ABC"});
    ShowAndWait(empty);
    ClickOk(empty);
    EXPECT_EQ(empty.result(), QDialog::Accepted);
    EXPECT_TRUE(empty.name.isEmpty());
}

TEST(RenameGroupDialog, ShowsCurrentNameFocusesNewNameAndRefusesAnotherGroupsName) {
    CRenGrpDlg dialog({"Lab", "Hall"});
    EXPECT_EQ(dialog.windowTitle(), "Rename group");
    dialog.currentName = "Lab";
    ShowAndWait(dialog);
    const QStringList labels = Labels(dialog);
    EXPECT_TRUE(labels.contains("Rename group"));
    EXPECT_TRUE(labels.contains("current group name:"));
    EXPECT_TRUE(labels.contains("new group name:"));
    EXPECT_EQ(dialog.CurrentNameLabel()->text(), "Lab");
    EXPECT_EQ(QApplication::focusWidget(), dialog.NewNameEdit());

    QTest::keyClicks(dialog.NewNameEdit(), "HALL");
    ModalScript script;
    script.Then(script.Answer(QMessageBox::Ok));
    ClickOk(dialog);
    ASSERT_TRUE(script.Finished());
    EXPECT_EQ(script.boxes.at(0).text, "The Group HALL has already existed");
    EXPECT_TRUE(dialog.isVisible());

    dialog.NewNameEdit()->setText("LAB");  // its own name in another case is fine
    ClickOk(dialog);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.newName, "LAB");
}

TEST(GroupActionDialog, ListsNonEmptyGroupsPreselectsTheFirstAndTracksTheChoice) {
    CGrpActDlg dialog({"Lab", "", "Hall"}, "Hall", true);
    dialog.actionLabel = CGrpActDlg::kMoveTo;
    EXPECT_TRUE(dialog.windowTitle().isEmpty());
    ShowAndWait(dialog);
    EXPECT_TRUE(Labels(dialog).contains("Projector group"));
    EXPECT_EQ(dialog.ActionLabel()->text(), "Move to:");
    ASSERT_EQ(dialog.GroupBox()->count(), 2);
    EXPECT_EQ(dialog.GroupBox()->currentRow(), 0);
    EXPECT_EQ(dialog.ChosenLabel()->text(), "Lab");
    EXPECT_EQ(dialog.chosenIndex, -1);  // nothing chosen until the operator acts

    dialog.GroupBox()->setCurrentRow(1);
    EXPECT_EQ(dialog.ChosenLabel()->text(), "Hall");
    EXPECT_EQ(dialog.chosenName, "Hall");
    EXPECT_EQ(dialog.chosenIndex, 1);
    // In group mode, the group already shown closes as Cancel.
    ClickOk(dialog);
    EXPECT_EQ(dialog.result(), QDialog::Rejected);
}

TEST(GroupActionDialog, OkTakesThePreselectionAndDoubleClickActsAsOk) {
    CGrpActDlg first({"Lab", "Hall"}, "Hall", true);
    first.actionLabel = CGrpActDlg::kGoTo;
    ShowAndWait(first);
    EXPECT_EQ(first.ActionLabel()->text(), "Go to:");
    ClickOk(first);
    EXPECT_EQ(first.result(), QDialog::Accepted);
    EXPECT_EQ(first.chosenName, "Lab");
    EXPECT_EQ(first.chosenIndex, 0);

    // In "All Projectors" mode the current group may be chosen.
    CGrpActDlg all({"Lab", "Hall"}, "Hall", false);
    ShowAndWait(all);
    QListWidget* list = all.GroupBox();
    list->setCurrentRow(1);
    const QRect rect = list->visualItemRect(list->item(1));
    // A double-click follows the press of its first click.
    QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, rect.center());
    QTest::mouseDClick(list->viewport(), Qt::LeftButton, {}, rect.center());
    EXPECT_EQ(all.result(), QDialog::Accepted);
    EXPECT_EQ(all.chosenName, "Hall");
}

TEST(RefreshDialog, StartsFromTheIntervalAndStepsWithinItsRange) {
    CRefreshDlg dialog(10999);
    EXPECT_EQ(dialog.windowTitle(), "Set Interval");
    const QStringList labels = Labels(dialog);
    EXPECT_TRUE(labels.contains("Refresh interval"));
    EXPECT_TRUE(labels.contains("Interval (s):"));
    EXPECT_EQ(dialog.seconds, 10u);
    ShowAndWait(dialog);
    EXPECT_EQ(dialog.SecondsEdit()->text(), "10");
    EXPECT_EQ(QApplication::focusWidget(), dialog.SecondsEdit());

    QTest::keyClick(dialog.SecondsEdit(), Qt::Key_Up);
    EXPECT_EQ(dialog.SecondsEdit()->text(), "11");
    dialog.SecondsEdit()->setText("600");
    QTest::mouseClick(dialog.findChild<QToolButton*>("spin1018Up"), Qt::LeftButton);
    EXPECT_EQ(dialog.SecondsEdit()->text(), "600");
    dialog.SecondsEdit()->setText("0");
    QTest::mouseClick(dialog.findChild<QToolButton*>("spin1018Down"), Qt::LeftButton);
    EXPECT_EQ(dialog.SecondsEdit()->text(), "0");
}

TEST(RefreshDialog, NonNumbersAreRefusedAndZeroOrLargeNumbersAccepted) {
    EXPECT_EQ(CRefreshDlg::ParseSeconds(" 42 "), 42);
    EXPECT_EQ(CRefreshDlg::ParseSeconds("-1"), -1);
    EXPECT_EQ(CRefreshDlg::ParseSeconds("1.5"), -1);
    EXPECT_EQ(CRefreshDlg::ParseSeconds(""), -1);
    EXPECT_EQ(CRefreshDlg::ParseSeconds("4294967296"), -1);

    CRefreshDlg dialog(10000);
    ShowAndWait(dialog);
    dialog.SecondsEdit()->setText("ten");
    ModalScript script;
    script.Then(script.Answer(QMessageBox::Ok));
    ClickOk(dialog);
    ASSERT_TRUE(script.Finished());
    EXPECT_EQ(script.boxes.at(0).text, "Please enter a positive integer.");
    EXPECT_TRUE(dialog.isVisible());
    EXPECT_EQ(dialog.seconds, 10u);

    // No range check beyond what a timer can hold.
    dialog.SecondsEdit()->setText("3600");
    ClickOk(dialog);
    EXPECT_EQ(dialog.result(), QDialog::Accepted);
    EXPECT_EQ(dialog.seconds, 3600u);

    CRefreshDlg zero(10000);
    ShowAndWait(zero);
    zero.SecondsEdit()->setText("0");
    ClickOk(zero);
    EXPECT_EQ(zero.result(), QDialog::Accepted);
    EXPECT_EQ(zero.seconds, 0u);

    CRefreshDlg huge(10000);
    ShowAndWait(huge);
    huge.SecondsEdit()->setText("3000000");
    ModalScript refusal;
    refusal.Then(refusal.Answer(QMessageBox::Ok));
    ClickOk(huge);
    ASSERT_TRUE(refusal.Finished());
    EXPECT_NE(huge.result(), QDialog::Accepted);
}

}  // namespace
}  // namespace vistrel::test
