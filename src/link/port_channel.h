// SPDX-License-Identifier: MIT
#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "link/network_channel.h"
#include "link/port_map.h"
#include "link/posix_serial_channel.h"

namespace krx {

// The channel the console and krx-vtp-ctl own: COMn is a local tty or, when its ports entry is a
// URL file (see comPortUrlText), a generator behind a serial device server. Each open() looks the
// number up afresh and hands the whole session to a CSerialChannel or a CNetworkChannel; the
// listener cannot tell which. Changing kind destroys the channel of the other kind, which ends its
// monitor and frees its port or connection, as an open() on the same kind would.
//
// All public operations are for the window thread.
class CPortChannel final : public SerialChannel {
  public:
    using ErrorReporter = std::function<void(const std::string& text)>;

    CPortChannel(WindowThreadExecutor& windowThread, PortsDirectories portsDirs,
                 NetworkTimeouts timeouts = {});
    ~CPortChannel() override;

    CPortChannel(const CPortChannel&) = delete;
    CPortChannel& operator=(const CPortChannel&) = delete;

    bool open(SerialListener& owner, int port, int baud, char parity, int dataBits, int stopBits,
              std::uint32_t eventMask, std::uint32_t bufferSize) override;
    bool start() override;
    void queueWrite(std::span<const std::uint8_t> bytes) override;
    void stop() override;
    bool holdsPort() const override;
    std::optional<OpenFailure> lastOpenFailure() const override;

    // Set before the first open(); given to the channels of both kinds.
    void setErrorReporter(ErrorReporter reporter);

  private:
    WindowThreadExecutor& windowThread_;
    const PortsDirectories portsDirs_;
    const NetworkTimeouts timeouts_;
    ErrorReporter errorReporter_;

    // The URL text of the port being opened, read by the network channel's lookup during open().
    std::optional<std::string> urlText_;
    // At most one of the two exists: the kind of the last open().
    std::unique_ptr<CSerialChannel> local_;
    std::unique_ptr<CNetworkChannel> network_;
};

}  // namespace krx
