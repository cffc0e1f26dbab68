// SPDX-License-Identifier: MIT
// The network channel as the channel contract suite drives it: the test plays the device on a
// pseudo-terminal, ser2net serves the pty on loopback, the channel connects to ser2net. The test
// holds the slave side open too, raw, as a real port stays configured and present between
// ser2net's sessions.
#pragma once

#include <fcntl.h>
#include <termios.h>
#include <unistd.h>

#include "link/network_channel.h"
#include "ser2net_server.h"
#include "serial_test_support.h"

namespace krx::test {

template <Ser2netMode Mode>
class NetworkLine : public PtyDeviceLine<NetworkLine<Mode>> {
  public:
    static constexpr const char* kName =
        Mode == Ser2netMode::RawTcp ? "NetworkRawTcp" : "NetworkRfc2217";

    NetworkLine() = default;
    ~NetworkLine() { ::close(slave_); }
    NetworkLine(const NetworkLine&) = delete;
    NetworkLine& operator=(const NetworkLine&) = delete;

    SerialChannel& channel() { return channel_; }
    PtyPair& pty() { return pty_; }
    const Ser2netServer& server() const { return server_; }
    // The server goes away with every connection it had.
    void unplug() { server_.kill(); }

  private:
    // Opened and made raw before ser2net starts.
    static int openRaw(const std::string& path) {
        const int fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_CLOEXEC);
        termios settings{};
        ::tcgetattr(fd, &settings);
        ::cfmakeraw(&settings);
        ::tcsetattr(fd, TCSANOW, &settings);
        return fd;
    }

    PtyPair pty_;
    int slave_ = openRaw(pty_.slavePath());
    Ser2netServer server_{Mode, pty_.slavePath()};
    CNetworkChannel channel_{this->windowThread_, [url = server_.url()](int) {
                                 return std::optional<std::string>(url);
                             }};
};

}  // namespace krx::test
