// SPDX-License-Identifier: MIT
// A SerialChannel that forwards to another one and lets a test or benchmark watch the traffic as
// it passes: written frames and delivered runs. Window thread only.
#pragma once

#include <functional>
#include <span>

#include "link/serial_channel.h"

namespace krx::testing {

class ChannelTap final : public SerialChannel, public SerialListener {
  public:
    explicit ChannelTap(SerialChannel& inner) : inner_(inner) {}

    // Each is called after the owner has had the event.
    std::function<void(std::span<const std::uint8_t>)> written;
    std::function<void(std::span<const std::uint8_t>)> delivered;

    bool open(SerialListener& owner, int port, int baud, char parity, int dataBits, int stopBits,
              std::uint32_t eventMask, std::uint32_t bufferSize) override {
        owner_ = &owner;
        return inner_.open(*this, port, baud, parity, dataBits, stopBits, eventMask, bufferSize);
    }
    bool start() override { return inner_.start(); }
    void queueWrite(std::span<const std::uint8_t> bytes) override {
        inner_.queueWrite(bytes);
        if (written)
            written(bytes);
    }
    void stop() override { inner_.stop(); }
    bool holdsPort() const override { return inner_.holdsPort(); }
    std::optional<OpenFailure> lastOpenFailure() const override { return inner_.lastOpenFailure(); }

    void onSerialBytes(int port, std::span<const std::uint8_t> bytes) override {
        owner_->onSerialBytes(port, bytes);
        if (delivered)
            delivered(bytes);
    }
    void onSerialTxEmpty(int port) override { owner_->onSerialTxEmpty(port); }
    void onSerialPortLost(int port) override { owner_->onSerialPortLost(port); }

  private:
    SerialChannel& inner_;
    SerialListener* owner_ = nullptr;
};

}  // namespace krx::testing
