// SPDX-License-Identifier: MIT
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <vector>

#include "link/monitored_channel.h"
#include "link/telnet_codec.h"

namespace krx {

// The port URL a COM number stands for ("rfc2217://rack3:4001"), as its owner wrote it; nothing
// when the number names no network port. Called on the window thread by open().
using PortUrlLookup = std::function<std::optional<std::string>(int port)>;

struct NetworkTimeouts {
    // Name lookup, connection and, over RFC 2217, the server's answer to the line settings: the
    // longest an open() waits for a host that does not answer.
    std::chrono::milliseconds connect{2000};
    // Raw TCP has no handshake: a server that refuses a client closes the connection at once
    // (after a line of text, perhaps). A fresh connection is watched this long for that.
    std::chrono::milliseconds refusalGrace{100};
};

// A COM port whose line is behind a serial device server: `tcp://HOST:PORT` carries the line's
// bytes as they are, `rfc2217://HOST:PORT` speaks Telnet with COM-port control, which sets the
// remote line to the open's settings and purges it. The local channel's contract over TCP, with
// the same monitor (see monitored_channel.h):
//
// Before each write what has arrived is handed over; then, over RFC 2217, the frame is preceded by
// a purge of the server's buffer of bytes from the line (what the device sent and the server has
// not passed on yet). Raw TCP has no way to purge the far end, so only what reached the socket is
// handed over. start() drops what reached the socket and, over RFC 2217, has the server purge and
// waits for its answer, so that what the device sends after start() returns is read. The server
// closing the connection (or the connection failing) is a hang-up: the port is closed, the
// monitor ends and onSerialPortLost is told once.
//
// open() connects within NetworkTimeouts::connect, with TCP keep-alive and without Nagle's delay,
// so a host that does not answer costs the window thread that long and no more. A server that
// closes a fresh connection (ser2net refusing a second client) gives OpenError::InUse: over
// RFC 2217 always, as the open waits for the server's answer to the line settings; over raw TCP
// when it closes within NetworkTimeouts::refusalGrace, else it is reported as a lost port later.
class CNetworkChannel final : public MonitoredChannel {
  public:
    CNetworkChannel(WindowThreadExecutor& windowThread, PortUrlLookup lookup,
                    NetworkTimeouts timeouts = {});
    ~CNetworkChannel() override;

    // The event mask and the settings mean what they mean to the local channel; the settings go
    // to the server over RFC 2217 and nowhere over raw TCP.
    bool open(SerialListener& owner, int port, int baud, char parity, int dataBits, int stopBits,
              std::uint32_t eventMask, std::uint32_t bufferSize) override;

  private:
    std::optional<OpenFailure> handshake(int fd, std::chrono::steady_clock::time_point deadline);
    void setSocketOptions(int fd) const;
    void purgeServer(int fd);
    void sendAll(int fd, std::span<const std::uint8_t> bytes) const;

    ReadResult readOnce(int fd, std::vector<std::uint8_t>& bytes) override;
    void writeFrame(int fd, std::span<const std::uint8_t> frame) override;
    void dropStaleInput(int fd) override;
    void closeDescriptor(int fd, bool lost) override;

    const PortUrlLookup lookup_;
    const NetworkTimeouts timeouts_;

    // The Telnet side of an RFC 2217 connection, empty over raw TCP. Used by open() and start()
    // on the window thread while no monitor runs, and by the monitor while it runs.
    std::optional<TelnetCodec> telnet_;
};

}  // namespace krx
