// SPDX-License-Identifier: MIT
#include "app/status_panel.h"

#include "app/layout_kit.h"
#include "framework/data_exchange.h"

namespace krx {

void CStatusPanel::build(QWidget* window, const DialogUnits& du) {
    // Borderless labels, bordered value fields, rows 11 units apart. The timing text gets a
    // centred field of its own across the group box, wide enough for the longest timing name.
    auto valueField = [](QWidget* parent, const QString& name, QRect r) {
        auto* value = new QLabel(parent);
        value->setGeometry(r);
        value->setFrameStyle(QFrame::Panel | QFrame::Sunken);
        value->setAccessibleDescription(name);
        return value;
    };
    auto row = [&](QWidget* parent, SettingOption option, const char* name, int at) {
        const QString text = QString::fromLatin1(name);
        makeLabel(du, parent, text, 6, 10 + at * 11, 52);
        fields_[index(option)] =
            valueField(parent, text.chopped(1), du.rect(60, 10 + at * 11, 47, 10));
    };
    makeLabel(du, window, QStringLiteral("Hot Plug:"), 13, 221, 52);
    hotPlugField_ = valueField(window, QStringLiteral("Hot Plug"), du.rect(67, 221, 47, 10));
    QGroupBox* video = makeGroup("Video Output", window, du.rect(7, 232, 113, 81));
    row(video, SettingOption::Hdcp, "HDCP:", 0);
    row(video, SettingOption::OutputMode, "HDMI/DVI:", 1);
    row(video, SettingOption::ColorSpace, "Color Space:", 2);
    row(video, SettingOption::ColorDepth, "Color Depth:", 3);
    makeLabel(du, video, QStringLiteral("Timing:"), 6, 54, 52);
    timingField_ = valueField(video, QStringLiteral("Timing"), du.rect(6, 65, 101, 10));
    timingField_->setAlignment(Qt::AlignCenter);
    QGroupBox* audio = makeGroup("Audio Output", window, du.rect(7, 315, 113, 61));
    row(audio, SettingOption::SampleRate, "Sample rate:", 0);
    row(audio, SettingOption::AudioBits, "Audio bit:", 1);
    row(audio, SettingOption::Channels, "Channels:", 2);
    row(audio, SettingOption::AudioSource, "Audio Type:", 3);
}

void CStatusPanel::setOptionText(SettingOption option, int value) {
    texts_[index(option)] = latin1(optionText(option, value));
}

void CStatusPanel::writeOptionText(SettingOption option, std::string_view text) {
    texts_[index(option)] = latin1(text);
}

void CStatusPanel::setTimingText(TimingCode code, const TimingDetails& shown) {
    timing_ = QString::fromStdString(timingText(code, shown));
}

void CStatusPanel::setHotPlugText(int value) {
    hotPlug_ = latin1(hotPlugText(value));
}

void CStatusPanel::refresh() {
    DataExchange dx(services_, hotPlugField_->window(), false);
    dx.text(hotPlugField_, hotPlug_);
    for (std::size_t i = 0; i < kSettingOptionCount; ++i)
        dx.text(fields_[i], texts_[i]);
    dx.text(timingField_, timing_);
}

}  // namespace krx
