// Operator feedback: every message box of the console is modal, titled with the application's
// name and named, so tests can find and answer it. One builder makes them all; the short
// forms below are the boxes the console asks most often.
#pragma once

#include <QMessageBox>
#include <QString>

namespace vistrel {

inline constexpr char kAppTitle[] = "Vistrel";

// Shows a box with `icon`, `text` and `buttons` and returns the button the operator chose.
// `name` is the box's objectName, by which tests tell the boxes apart; `details`, when not
// empty, is shown under the text.
QMessageBox::StandardButton ShowMessageBox(QWidget* parent, QMessageBox::Icon icon,
                                           const QString& text,
                                           QMessageBox::StandardButtons buttons = QMessageBox::Ok,
                                           const QString& name = QStringLiteral("appMessage"),
                                           const QString& details = {});

// An information box with one OK button.
inline void ShowInformation(QWidget* parent, const QString& text) {
    ShowMessageBox(parent, QMessageBox::Information, text);
}

// A Yes/No question with the question icon; true only for Yes.
inline bool AskYesNo(QWidget* parent, const QString& text) {
    return ShowMessageBox(parent, QMessageBox::Question, text, QMessageBox::Yes | QMessageBox::No,
                          QStringLiteral("appQuestion")) == QMessageBox::Yes;
}

// A warning box, OK alone or OK and Cancel; returns the button.
inline QMessageBox::StandardButton ShowWarning(QWidget* parent, const QString& text,
                                               bool withCancel = false,
                                               const QString& details = {}) {
    return ShowMessageBox(parent, QMessageBox::Warning, text,
                          withCancel ? QMessageBox::Ok | QMessageBox::Cancel : QMessageBox::Ok,
                          QStringLiteral("appMessage"), details);
}

}  // namespace vistrel
