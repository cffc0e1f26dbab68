// SPDX-License-Identifier: MIT
#pragma once

#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QButtonGroup>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QToolButton>
#include <cstdint>
#include <memory>
#include <vector>

#include "app/console_dlg.h"
#include "framework/latin1.h"
#include "framework/virtual_window_services.h"
#include "pages/edid_page.h"
#include "pages/pattern_page.h"
#include "pages/setting_page.h"
#include "pages/timing_details_page.h"
#include "pages/timing_page.h"
#include "sim/generator_line.h"
#include "sim/sim_edid.h"
#include "sim/simulated_channel.h"
#include "support/bytes.h"

namespace krx::testing {

constexpr TargetAddress kBroadcast{0x00, 0x00};
inline const QString kNotOn = "Com port is not on yet.";

// A frame and its time in ms after the mark.
using TimedFrame = std::pair<std::int64_t, Bytes>;
using Frames = std::vector<TimedFrame>;

// A frame to the broadcast target `offsetMs` after the mark.
inline TimedFrame at(std::int64_t offsetMs, CommandCode code, const Bytes& payload = {}) {
    return {offsetMs, commandFrame(kBroadcast, code, payload)};
}

// The real main window on the virtual clock, wired to the in-process generator simulator. Ports
// are attached per test; nothing is open at the start.
class ConsoleTest : public ::testing::Test {
  protected:
    ConsoleTest() : channel_(services_) {}

    // Builds the window; call after the ports are attached.
    CConsoleDlg& window() {
        if (!window_)
            window_ = std::make_unique<CConsoleDlg>(services_, channel_, bookDirectory());
        return *window_;
    }

    void destroyWindow() { window_.reset(); }

    // A new window for the next row of a table: a generator on COM1, connected when `open`,
    // nothing sent or shown since.
    CConsoleDlg& freshWindow(bool open) {
        destroyWindow();
        attachGenerator(1);
        if (open)
            connect(1);
        mark(0);
        return window();
    }

    // A scratch directory per test for SG.ini.
    std::filesystem::path bookDirectory() const { return bookDir_.path().toStdString(); }

    // A line with one generator at `address`, attached to COM`port`.
    sim::GeneratorLine& attachGenerator(int port, TargetAddress address = {0x01, 0x02},
                                        const sim::LineConfig& config = {}) {
        lines_.push_back(std::make_unique<sim::GeneratorLine>(
            config, std::vector<TargetAddress>{address}, sim::defaultTvEdid()));
        channel_.attachLine(port, *lines_.back());
        return *lines_.back();
    }

    // Opens COM`port` from the list and lets the sweep and its follow-ups finish.
    void connect(int port) {
        window().connection().changePort(port - 1);
        services_.runFor(2000);
    }

    // The interval of the connection's watchdog; empty while it does not run.
    std::optional<int> watchdog() {
        return services_.timerInterval(window().connection(), CConnection::kWatchdogTimer);
    }

    // Hands bytes to the window as the channel would, on COM1.
    void receive(const Bytes& bytes, int port = 1) {
        for (std::uint8_t byte : bytes)
            window().connection().onSerialByte(byte, port);
    }

    // Lets `settleMs` pass (the command guard ends after 50), then counts frames and messages
    // afresh.
    void mark(int settleMs = 100) {
        services_.runFor(settleMs);
        from_ = channel_.writes().size();
        startUs_ = services_.nowUs();
        services_.clearMessages();
    }
    // Frames written since mark(), timed from it; lets 1 ms pass.
    Frames timedSent() {
        services_.runFor(1);
        Frames frames;
        for (std::size_t i = from_; i < channel_.writes().size(); ++i)
            frames.push_back(
                {(channel_.writes()[i].timeUs - startUs_) / 1000, channel_.writes()[i].bytes});
        return frames;
    }
    std::vector<Bytes> sent() {
        std::vector<Bytes> frames;
        for (const TimedFrame& frame : timedSent())
            frames.push_back(frame.second);
        return frames;
    }

    // What the status panel's value fields show: hot plug, timing, then one per option.
    QStringList statusTexts() {
        const CStatusPanel& p = window().statusPanel();
        QStringList texts = {p.hotPlugField()->text(), p.timingField()->text()};
        for (const SettingFacts& facts : kSettingFacts)
            texts << p.field(facts.option)->text();
        return texts;
    }
    // What the status panel shows for an option, and for the timing.
    QString panelText(SettingOption option) { return window().statusPanel().field(option)->text(); }
    QString panelTiming() { return window().statusPanel().timingField()->text(); }

    QStringList messageTexts() const {
        QStringList texts;
        for (const auto& message : services_.messages())
            texts << message.text;
        return texts;
    }

    VirtualWindowServices services_;
    sim::SimulatedChannel channel_;

  private:
    QTemporaryDir bookDir_;
    std::vector<std::unique_ptr<sim::GeneratorLine>> lines_;
    std::unique_ptr<CConsoleDlg> window_;
    std::size_t from_ = 0;
    std::int64_t startUs_ = 0;
};

// A click, or with `action` ("Toggle", "Press") the assistive action a screen reader uses.
inline void activate(QAbstractButton* button, const char* action = nullptr) {
    action ? QAccessible::queryAccessibleInterface(button)->actionInterface()->doAction(action)
           : button->click();
}

// The frames written, as spelled in hex ("AA 00 05 ..."): one frame, or none for "".
inline std::vector<Bytes> hexFrames(std::string_view text) {
    return text.empty() ? std::vector<Bytes>{} : std::vector<Bytes>{hex(text)};
}

}  // namespace krx::testing
