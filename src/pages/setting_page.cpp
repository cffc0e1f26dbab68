// SPDX-License-Identifier: MIT
#include "pages/setting_page.h"

#include <QButtonGroup>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

#include "framework/data_exchange.h"
#include "pages/page_host.h"

namespace krx {
namespace {

constexpr int kYuv420Position = 4;

struct GroupRow {
    const char* caption;
    int CSettingPage::*selection;
    std::array<const char*, 8> labels;  // in position order, unused entries null
};

const std::array<GroupRow, CSettingPage::kGroupCount> kGroupRows = {{
    {"HDMI/DVI", &CSettingPage::outputMode, {"DVI", "HDMI", "AUTO"}},
    {"HDCP", &CSettingPage::hdcp, {"HDCP OFF", "HDCP ON"}},
    {"Color Space",
     &CSettingPage::colorSpace,
     {"RGB4:4:4", "YUV4:4:4", "YUV4:2:2", "AUTO", "YUV4:2:0"}},
    {"Color Depth", &CSettingPage::colorDepth, {"24bit", "30bit", "36bit", "48bit", "AUTO"}},
    {"Audio Source Selection",
     &CSettingPage::audioSource,
     {"Internal generated", "External Stereo Input"}},
    {"Audio Sample Rate",
     &CSettingPage::sampleRate,
     {"32K", "44K", "48K", "88K", "96K", "176K", "192K", "AUTO"}},
    {"Audio Bit", &CSettingPage::audioBits, {"16bit", "20bit", "24bit", "AUTO"}},
    {"Audio channel",
     &CSettingPage::channels,
     {"2CH", "3CH", "4CH", "5CH", "6CH", "7CH", "8CH", "AUTO"}},
}};

constexpr std::size_t kColorSpaceGroup = 2;

}  // namespace

CSettingPage::CSettingPage(PageHost& host, QWidget* parent) : QWidget(parent), host_(host) {
    auto* column = new QVBoxLayout(this);
    for (std::size_t g = 0; g < kGroupRows.size(); ++g) {
        auto* frame = new QGroupBox(QString::fromLatin1(kGroupRows[g].caption), this);
        auto* row = new QHBoxLayout(frame);
        groups[g] = new QButtonGroup(this);
        int position = 0;
        for (const char* label : kGroupRows[g].labels) {
            if (label == nullptr)
                break;
            auto* button = new QRadioButton(QString::fromLatin1(label), frame);
            groups[g]->addButton(button, position++);
            row->addWidget(button);
        }
        column->addWidget(frame);
        if (g == kColorSpaceGroup) {
            // Only a reported value or the 4K colour rule may check it.
            groups[g]->button(kYuv420Position)->setEnabled(false);
            column->addWidget(new QLabel(
                QStringLiteral("NOTE: YUV4:2:0 is only available in 4K 50/60Hz mode (HDMI2.0)"),
                this));
        }
    }
    auto* resetRow = new QHBoxLayout;
    resetRow->addWidget(new QPushButton(QStringLiteral("Reset to Default Setting"), this));
    resetNoteLabel = new QLabel(this);
    resetNoteLabel->setAccessibleDescription(QStringLiteral("Reset note"));
    resetRow->addWidget(resetNoteLabel, 1);
    column->addLayout(resetRow);
}

void CSettingPage::showStatus(const DeviceStatus& status) {
    resetNote.clear();
    colorSpace = status.colorSpace;
    host_.setColorSpaceText(colorSpace);
    colorDepth = status.colorDepth;
    host_.setColorDepthText(colorDepth);
    hdcp = status.hdcp;
    host_.setHdcpText(hdcp);
    outputMode = status.outputMode;
    host_.setOutputModeText(outputMode);
    sampleRate = status.sampleRate;
    host_.setSampleRateText(sampleRate);
    audioBits = status.audioBits;
    host_.setAudioBitsText(audioBits);
    audioSource = status.audioSource;
    host_.setAudioTypeText();
    channels = status.channels;
    host_.setChannelsText(channels);
    refresh();
}

void CSettingPage::exchange(bool save) {
    DataExchange dx(host_.services(), this, save);
    for (std::size_t g = 0; g < kGroupRows.size(); ++g)
        dx.radio(groups[g], this->*kGroupRows[g].selection);
    dx.text(resetNoteLabel, resetNote);
}

void CSettingPage::refresh() {
    exchange(false);
}

void CSettingPage::read() {
    exchange(true);
}

}  // namespace krx
