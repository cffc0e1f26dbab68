// SPDX-License-Identifier: MIT
#pragma once

#include <QString>

class QButtonGroup;
class QComboBox;
class QLabel;
class QLineEdit;
class QWidget;

namespace krx {

class WindowServices;

// Copies a window's members to its controls (save == false) or reads them back (save == true) in
// one pass. When reading, the first field that does not parse shows its message, takes the focus
// and ends the pass: it and every later member keep their values. ok() tells whether it got
// through.
class DataExchange {
  public:
    DataExchange(WindowServices& services, QWidget* owner, bool save)
        : services_(services), owner_(owner), save_(save) {}

    void text(QLabel* control, QString& value);
    void text(QLineEdit* control, QString& value);
    // Radio group position, -1 for none; the group's ids are the positions.
    void radio(QButtonGroup* group, int& position);
    void comboIndex(QComboBox* control, int& index);
    void intField(QLineEdit* control, int& value);
    // Shown with six significant digits ("%.*g").
    void floatField(QLineEdit* control, float& value);

    bool ok() const { return ok_; }

  private:
    void fail(QLineEdit* control, const char* message);

    WindowServices& services_;
    QWidget* owner_;
    bool save_;
    bool ok_ = true;
};

// "%.*g" with six digits, as the float fields show their values.
QString formatFloat6(float value);

}  // namespace krx
