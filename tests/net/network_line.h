// SPDX-License-Identifier: MIT
// The network channel as the channel contract suite drives it: the test plays the device on a
// pseudo-terminal, ser2net serves the pty on loopback, the channel connects to ser2net.
#pragma once

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include "link/network_channel.h"
#include "ser2net_server.h"
#include "serial_test_support.h"

namespace krx::test {

// The far end of a serial line behind ser2net. The test holds the slave side open too, raw, as a
// real port stays configured and present between ser2net's sessions.
class NetworkDevice {
  public:
    NetworkDevice() : slave_(::open(pty_.slavePath().c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC)) {
        termios settings{};
        ::tcgetattr(slave_, &settings);
        ::cfmakeraw(&settings);
        ::tcsetattr(slave_, TCSANOW, &settings);
    }
    ~NetworkDevice() { ::close(slave_); }
    NetworkDevice(const NetworkDevice&) = delete;
    NetworkDevice& operator=(const NetworkDevice&) = delete;

    PtyPair& pty() { return pty_; }

  private:
    PtyPair pty_;
    int slave_;
};

template <Ser2netMode Mode>
class NetworkLine : public PtyDeviceLine<NetworkLine<Mode>> {
  public:
    static constexpr const char* kName =
        Mode == Ser2netMode::RawTcp ? "NetworkRawTcp" : "NetworkRfc2217";

    SerialChannel& channel() { return channel_; }
    PtyPair& pty() { return device_.pty(); }
    // The server goes away with every connection it had.
    void unplug() { server_.kill(); }

  private:
    NetworkDevice device_;
    Ser2netServer server_{Mode, device_.pty().slavePath()};
    CNetworkChannel channel_{this->windowThread_, [url = server_.url()](int) {
                                 return std::optional<std::string>(url);
                             }};
};

}  // namespace krx::test
