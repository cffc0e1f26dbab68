// SPDX-License-Identifier: MIT
#include "link/port_channel.h"

#include <utility>

namespace krx {

CPortChannel::CPortChannel(WindowThreadExecutor& windowThread, PortsDirectories portsDirs,
                           NetworkTimeouts timeouts)
    : windowThread_(windowThread), portsDirs_(std::move(portsDirs)), timeouts_(timeouts) {}

// The channels end their monitors in their own destructors.
CPortChannel::~CPortChannel() = default;

void CPortChannel::setErrorReporter(ErrorReporter reporter) {
    errorReporter_ = std::move(reporter);
}

bool CPortChannel::open(SerialListener& owner, int port, int baud, char parity, int dataBits,
                        int stopBits, std::uint32_t eventMask, std::uint32_t bufferSize) {
    urlText_ = comPortUrlText(port, portsDirs_);
    SerialChannel* channel = nullptr;
    if (urlText_) {
        local_.reset();
        if (!network_) {
            network_ = std::make_unique<CNetworkChannel>(
                windowThread_, [this](int) { return urlText_; }, timeouts_);
            network_->setErrorReporter(errorReporter_);
        }
        channel = network_.get();
    } else {
        network_.reset();
        if (!local_) {
            local_ = std::make_unique<CSerialChannel>(windowThread_, portsDirs_);
            local_->setErrorReporter(errorReporter_);
        }
        channel = local_.get();
    }
    return channel->open(owner, port, baud, parity, dataBits, stopBits, eventMask, bufferSize);
}

bool CPortChannel::start() {
    if (local_)
        return local_->start();
    return network_ && network_->start();
}

void CPortChannel::queueWrite(std::span<const std::uint8_t> bytes) {
    if (local_)
        local_->queueWrite(bytes);
    else if (network_)
        network_->queueWrite(bytes);
}

void CPortChannel::stop() {
    if (local_)
        local_->stop();
    else if (network_)
        network_->stop();
}

bool CPortChannel::holdsPort() const {
    return (local_ && local_->holdsPort()) || (network_ && network_->holdsPort());
}

std::optional<OpenFailure> CPortChannel::lastOpenFailure() const {
    if (local_)
        return local_->lastOpenFailure();
    return network_ ? network_->lastOpenFailure() : std::nullopt;
}

}  // namespace krx
