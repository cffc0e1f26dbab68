// SPDX-License-Identifier: MIT
#pragma once

#include <QDialog>

class QPushButton;

namespace krx {

// "Notes": the fixed table of addressing modes and the invalid pairs, closed by "OK".
class CAddressNotesDlg final : public QDialog {
  public:
    explicit CAddressNotesDlg(QWidget* parent = nullptr);

    QPushButton* okButton = nullptr;
};

}  // namespace krx
