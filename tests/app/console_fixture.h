// SPDX-License-Identifier: MIT
#pragma once

#include <gtest/gtest.h>

#include <QAccessible>
#include <QApplication>
#include <QLabel>
#include <QPushButton>
#include <QTemporaryDir>
#include <cstdint>
#include <memory>
#include <vector>

#include "app/console_dlg.h"
#include "framework/virtual_window_services.h"
#include "sim/generator_line.h"
#include "sim/sim_edid.h"
#include "sim/simulated_channel.h"
#include "support/bytes.h"

namespace krx::testing {

constexpr TargetAddress kBroadcast{0x00, 0x00};

inline QString qs(std::string_view text) {
    return QString::fromLatin1(text.data(), static_cast<qsizetype>(text.size()));
}

// The real main window on the virtual clock, wired to the in-process generator simulator. Ports
// are attached per test; nothing is open at the start.
class ConsoleTest : public ::testing::Test {
  protected:
    ConsoleTest() : channel(services) {}

    // Builds the window; call after the ports are attached.
    CConsoleDlg& window() {
        if (!window_)
            window_ = std::make_unique<CConsoleDlg>(services, channel, bookDirectory());
        return *window_;
    }

    void destroyWindow() { window_.reset(); }

    // A scratch directory per test for SG.ini.
    std::filesystem::path bookDirectory() const { return bookDir_.path().toStdString(); }

    // A line with one generator at `address`, attached to COM`port`.
    sim::GeneratorLine& attachGenerator(int port, TargetAddress address = {0x01, 0x02},
                                        sim::LineConfig config = {}) {
        lines_.push_back(std::make_unique<sim::GeneratorLine>(
            config, std::vector<TargetAddress>{address}, sim::defaultTvEdid()));
        channel.attachLine(port, *lines_.back());
        return *lines_.back();
    }

    // Opens COM`port` with the port button and lets the sweep and its follow-ups finish.
    void connect(int port) {
        window().connection().changePort(port - 1);
        services.runFor(2000);
    }

    // Hands bytes to the window as the channel would, on COM1.
    void receive(const Bytes& bytes, int port = 1) {
        for (std::uint8_t byte : bytes)
            window().connection().onSerialByte(byte, port);
    }

    // The frames written to the line since `from`, as byte vectors.
    std::vector<Bytes> writtenSince(std::size_t from) const {
        std::vector<Bytes> frames;
        for (std::size_t i = from; i < channel.writes().size(); ++i)
            frames.push_back(channel.writes()[i].bytes);
        return frames;
    }

    void expectClosed() {
        const CConnection& c = window().connection();
        EXPECT_FALSE(c.portOpen());
        EXPECT_EQ(c.activityIconId(), 133);
        EXPECT_EQ(c.portButton()->text(), "Turn on Port");
    }
    void expectOpen() {
        const CConnection& c = window().connection();
        EXPECT_TRUE(c.portOpen());
        EXPECT_EQ(c.activityIconId(), 134);
        EXPECT_EQ(c.portButton()->text(), "Close Port");
    }

    // The status panel's value fields: hot plug, timing, then one per option.
    std::vector<const QLabel*> statusFields() {
        const CStatusPanel& p = window().statusPanel();
        std::vector<const QLabel*> fields = {p.hotPlugField(), p.timingField()};
        for (const SettingFacts& facts : kSettingFacts)
            fields.push_back(p.field(facts.option));
        return fields;
    }
    // What the status panel shows for an option, and for the timing.
    QString panelText(SettingOption option) { return window().statusPanel().field(option)->text(); }
    QString panelTiming() { return window().statusPanel().timingField()->text(); }

    QStringList messageTexts() const {
        QStringList texts;
        for (const auto& message : services.messages())
            texts << message.text;
        return texts;
    }

    VirtualWindowServices services;
    sim::SimulatedChannel channel;

  private:
    QTemporaryDir bookDir_;
    std::vector<std::unique_ptr<sim::GeneratorLine>> lines_;
    std::unique_ptr<CConsoleDlg> window_;
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
