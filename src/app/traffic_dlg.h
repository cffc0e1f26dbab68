// SPDX-License-Identifier: MIT
#pragma once

#include <QWidget>
#include <filesystem>

#include "framework/window_services.h"
#include "link/traffic_tap.h"

class QLineEdit;
class QPushButton;
class QTableView;

namespace krx {

class TrafficModel;

// The traffic window beside the main window: the frames the tap kept, newest last, with their
// time, direction, bytes, command name, note and, for an answer, whether the receiver accepted
// it. A filter keeps the rows whose command name or note holds its text; pause freezes the list
// while the tap goes on recording; "Save..." writes the rows shown as JSON Lines, the format of
// --log. While hidden it takes no notice of the tap and holds no rows. Window thread only.
class CTrafficDlg final : public QWidget {
  public:
    CTrafficDlg(WindowServices& services, TrafficTap& tap, QWidget* parent);
    ~CTrafficDlg() override;

    // Writes the rows shown; false (and a message to the operator) when the file cannot be saved.
    bool saveTo(const std::filesystem::path& path);
    // Brings the list up to the tap's records, unless paused. Runs by itself after the tap's
    // notice, once per turn of the event loop.
    void catchUp();

    QLineEdit* filterField() const { return filter_; }
    QPushButton* pauseButton() const { return pause_; }
    QPushButton* saveButton() const { return save_; }
    QTableView* table() const { return table_; }

  protected:
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;

  private:
    void onSave();
    void onPause(bool paused);

    WindowServices& services_;
    TrafficTap& tap_;
    TrafficModel* model_;
    QLineEdit* filter_;
    QPushButton* pause_;
    QPushButton* save_;
    QTableView* table_;
    bool catchUpQueued_ = false;
    bool placed_ = false;
};

}  // namespace krx
