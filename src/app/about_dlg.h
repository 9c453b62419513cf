// "About Vistrel": the application icon, the name and version, and OK.
#pragma once

#include <QDialog>

namespace vistrel {

class CAboutDlg : public QDialog {
    Q_OBJECT
  public:
    explicit CAboutDlg(QWidget* parent = nullptr);
};

QString VistrelVersion();

}  // namespace vistrel
