// Operator feedback: message boxes titled with the application's name, as every box of the
// console is. The box is modal and named, so tests can find and answer it.
#pragma once

#include <QMessageBox>
#include <QString>

namespace vistrel {

inline constexpr char kAppTitle[] = "Vistrel";

// An information box with one OK button.
void ShowInformation(QWidget* parent, const QString& text);
// A Yes/No question with the question icon; true only for Yes.
bool AskYesNo(QWidget* parent, const QString& text);

}  // namespace vistrel
