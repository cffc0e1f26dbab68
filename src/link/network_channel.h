// SPDX-License-Identifier: MIT
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

#include "link/poll_event.h"
#include "link/port_url.h"
#include "link/serial_channel.h"
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
// remote line to the open's settings and purges it. The same contract as the local channel:
//
// One monitor thread per started port blocks in poll() on, by priority, the shutdown event, the
// write-request event and the socket, and never waits for the window thread: received bytes are
// posted to the listener a run at a time, queued frames written in order at once. Before each
// write what has arrived is handed over; then, over RFC 2217, the frame is preceded by a purge of
// the server's buffer of bytes from the line (what the device sent and the server has not passed
// on yet). Raw TCP has no way to purge the far end, so only what reached the socket is handed
// over. start() drops what reached the socket and, over RFC 2217, has the server purge and waits
// for its answer, so that what the device sends after start() returns is read. The server closing
// the connection (or the connection failing) is a hang-up: the port is
// closed, the monitor ends and onSerialPortLost is told once. Every notification of a session is
// dropped once stop(), a later open() or destruction has ended it.
//
// open() connects within NetworkTimeouts::connect, with TCP keep-alive and without Nagle's delay,
// so a host that does not answer costs the window thread that long and no more. A server that
// closes a fresh connection (ser2net refusing a second client) gives OpenError::InUse: over
// RFC 2217 always, as the open waits for the server's answer to the line settings; over raw TCP
// when it closes within NetworkTimeouts::refusalGrace, else it is reported as a lost port later.
//
// All public operations are for the window thread; the error reporter is called from the window
// thread or the monitor thread.
class CNetworkChannel final : public SerialChannel {
  public:
    using ErrorReporter = std::function<void(const std::string& text)>;

    static constexpr std::size_t kMaxQueuedFrames = 64;
    static constexpr std::size_t kMaxUnhandledBytes = 50'000;

    CNetworkChannel(WindowThreadExecutor& windowThread, PortUrlLookup lookup,
                    NetworkTimeouts timeouts = {});
    ~CNetworkChannel() override;

    CNetworkChannel(const CNetworkChannel&) = delete;
    CNetworkChannel& operator=(const CNetworkChannel&) = delete;

    // The event mask and the settings mean what they mean to the local channel; the settings go
    // to the server over RFC 2217 and nowhere over raw TCP.
    bool open(SerialListener& owner, int port, int baud, char parity, int dataBits, int stopBits,
              std::uint32_t eventMask, std::uint32_t bufferSize) override;
    bool start() override;
    void queueWrite(std::span<const std::uint8_t> bytes) override;
    void stop() override;
    bool holdsPort() const override;
    std::optional<OpenFailure> lastOpenFailure() const override;

    // Set before the first open(); receives "<call name>: <system error text>".
    void setErrorReporter(ErrorReporter reporter);

  private:
    struct Session;
    enum class MonitorEnd { Shutdown, PortLost };
    // What a read from the socket gave: data delivered (or stale data dropped), nothing there
    // yet, or the end of the connection.
    enum class ReadResult { Data, Nothing, Closed };

    void reportError(std::string_view callName, int error) const;
    bool refuseOpen(OpenError reason, int port, std::string device, int systemError,
                    std::string detail = {});
    std::optional<OpenFailure> handshake(int fd, std::chrono::steady_clock::time_point deadline);
    void setSocketOptions(int fd) const;
    void purgeServer(int fd);

    void endMonitor();
    void closeSocket(bool serverGone = false);

    void monitor(const std::shared_ptr<Session>& session, int fd);
    MonitorEnd monitorLoop(const std::shared_ptr<Session>& session, int fd);
    ReadResult readOnce(int fd, const std::function<void(std::vector<std::uint8_t>)>& take);
    ReadResult readAndDeliver(const std::shared_ptr<Session>& session, int fd);
    void writeNextFrame(const std::shared_ptr<Session>& session, int fd);
    void sendAll(int fd, std::span<const std::uint8_t> bytes) const;
    void deliver(const std::shared_ptr<Session>& session, std::vector<std::uint8_t> bytes);

    WindowThreadExecutor& windowThread_;
    const PortUrlLookup lookup_;
    const NetworkTimeouts timeouts_;
    ErrorReporter errorReporter_;

    // Signalled until the next open() resets them.
    PollEvent shutdownEvent_;
    PollEvent writeRequestEvent_;

    // Guards socketFd_ (the monitor closes it on shutdown or hang-up) and the queued frames.
    mutable std::mutex lock_;
    int socketFd_ = -1;
    std::size_t bufferSize_ = 0;
    std::deque<std::vector<std::uint8_t>> queuedFrames_;

    // The Telnet side of an RFC 2217 connection, empty over raw TCP. Used by open() and start()
    // on the window thread while no monitor runs, and by the monitor while it runs.
    std::optional<TelnetCodec> telnet_;

    // Window-thread state.
    std::optional<OpenFailure> lastOpenFailure_;
    bool stopRequested_ = false;
    std::shared_ptr<Session> session_;
    std::thread monitor_;
};

}  // namespace krx
