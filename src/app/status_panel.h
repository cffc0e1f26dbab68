// SPDX-License-Identifier: MIT
#pragma once

#include <QString>
#include <array>

#include "pages/page_host.h"

class QLabel;
class QWidget;

namespace krx {

class DialogUnits;
class WindowServices;

// The status panel of the main window's left column: "Hot Plug:" and the "Video Output" and
// "Audio Output" groups, each a label and a bordered value field. It turns the generator's codes
// into texts and keeps them; the fields show them at refresh(). All empty until written; nothing
// clears them. Window thread only.
class CStatusPanel final : public StatusPanel {
  public:
    explicit CStatusPanel(WindowServices& services) : services_(services) {}

    // Builds the fields into `window`, below the address group.
    void build(QWidget* window, const DialogUnits& du);

    void setOptionText(SettingOption option, int value) override;
    void writeOptionText(SettingOption option, std::string_view text) override;
    void setTimingText(TimingCode code, const TimingDetails& shown) override;
    // Any non-zero value is "ON ".
    void setHotPlugText(int value);
    void refresh() override;

    // The value fields; the audio source's is "Audio Type:".
    const QLabel* field(SettingOption option) const { return fields_[index(option)]; }
    const QLabel* hotPlugField() const { return hotPlugField_; }
    const QLabel* timingField() const { return timingField_; }

  private:
    static std::size_t index(SettingOption option) { return static_cast<std::size_t>(option); }

    WindowServices& services_;
    std::array<QString, kSettingOptionCount> texts_;
    QString hotPlug_;
    QString timing_;
    std::array<QLabel*, kSettingOptionCount> fields_{};
    QLabel* hotPlugField_ = nullptr;
    QLabel* timingField_ = nullptr;
};

}  // namespace krx
