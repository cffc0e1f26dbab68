// SPDX-License-Identifier: MIT
#pragma once

#include <QDialog>

class QPushButton;

namespace krx {

// The About box: the application icon, the product line and an OK button that closes it.
class CAboutDlg final : public QDialog {
  public:
    explicit CAboutDlg(QWidget* parent = nullptr);
    QPushButton* okButton = nullptr;
};

}  // namespace krx
