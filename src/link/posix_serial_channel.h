// SPDX-License-Identifier: MIT
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <deque>
#include <filesystem>
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
#include "link/port_map.h"
#include "link/serial_channel.h"

namespace krx {

// A COM port on a POSIX tty (termios). COMn is found through the ports directories first, then the
// standard device names (see port_map.h). The port is held exclusively (flock and TIOCEXCL).
//
// One monitor thread per started port blocks in poll() on, by priority, the shutdown event, the
// write-request event and the port. It never waits for the window thread: received bytes are read
// as they come and posted to the listener a run at a time, so a frame queued while earlier bytes
// wait to be handled (or while the window thread sleeps in a handler) is written at once. Queued
// frames are written one by one in the order queued; none replaces another. Before each write
// it hands over what has arrived and then discards the driver's input, so a purge drops nothing
// that had arrived when the write began. Every notification of a
// session (one open) is dropped once the session has ended by stop(), a later open() or
// destruction, so the listener must only outlive the channel's use, not its queued tasks. A hang-up
// (device gone, pty closed) closes the port, ends the monitor and is told once through
// onSerialPortLost.
//
// All public operations are for the window thread; the error reporter is called from the window
// thread or the monitor thread.
class CSerialChannel final : public SerialChannel {
  public:
    using ErrorReporter = std::function<void(const std::string& text)>;

    // Frames written back to back take a few milliseconds each; more than this waiting means the
    // line has stopped taking them.
    static constexpr std::size_t kMaxQueuedFrames = 64;
    // Received bytes posted but not yet handled; beyond this the port is left unread until the
    // window thread catches up.
    static constexpr std::size_t kMaxUnhandledBytes = 50'000;

    CSerialChannel(WindowThreadExecutor& windowThread, PortsDirectories portsDirs);
    // One ports directory.
    CSerialChannel(WindowThreadExecutor& windowThread, std::filesystem::path portsDir);
    ~CSerialChannel() override;

    CSerialChannel(const CSerialChannel&) = delete;
    CSerialChannel& operator=(const CSerialChannel&) = delete;

    bool open(SerialListener& owner, int port, int baud, char parity, int dataBits, int stopBits,
              std::uint32_t eventMask, std::uint32_t bufferSize) override;

    // False, with no thread created, when no port is open, a monitor already runs, or stop() was
    // called since the last open(): a stopped port needs a fresh open() before it is monitored.
    bool start() override;

    // A frame longer than the open's buffer size, or one beyond kMaxQueuedFrames waiting, is
    // refused and reported.
    void queueWrite(std::span<const std::uint8_t> bytes) override;

    // Monitoring: the monitor closes the port and ends. Opened but not started: the port stays
    // open until the next open() or destruction. Either way no further notification arrives.
    void stop() override;

    bool holdsPort() const override;
    std::optional<OpenFailure> lastOpenFailure() const override;

    // Set before the first open(); receives "<call name>: <system error text>".
    void setErrorReporter(ErrorReporter reporter);

    // Reports the failure of `callName` with the current errno.
    void reportError(std::string_view callName) const;

  private:
    struct Session;
    enum class MonitorEnd { Shutdown, PortLost };

    void endMonitor();
    void closePort();
    void configurePort(int fd, int baud, char parity, int dataBits, int stopBits) const;
    void purge(int fd) const;

    bool refuseOpen(OpenError reason, int port, std::filesystem::path device, int systemError);

    void monitor(const std::shared_ptr<Session>& session, int fd);
    MonitorEnd monitorLoop(const std::shared_ptr<Session>& session, int fd);
    std::optional<MonitorEnd> readInput(const std::shared_ptr<Session>& session, int fd,
                                        short portState);
    ssize_t readAndDeliver(const std::shared_ptr<Session>& session, int fd);
    void readQueuedInput(const std::shared_ptr<Session>& session, int fd);
    void writeNextFrame(const std::shared_ptr<Session>& session, int fd);
    void writeWithDeadline(int fd, std::span<const std::uint8_t> frame) const;
    void deliver(const std::shared_ptr<Session>& session, std::vector<std::uint8_t> bytes);

    WindowThreadExecutor& windowThread_;
    const PortsDirectories portsDirs_;
    ErrorReporter errorReporter_;

    // Signalled until the next open() resets them.
    PollEvent shutdownEvent_;
    PollEvent writeRequestEvent_;

    // Guards portFd_ (the monitor closes it on shutdown or hang-up) and the queued frames.
    mutable std::mutex lock_;
    int portFd_ = -1;
    std::size_t bufferSize_ = 0;
    std::deque<std::vector<std::uint8_t>> queuedFrames_;

    // Window-thread state.
    std::optional<OpenFailure> lastOpenFailure_;
    bool stopRequested_ = false;
    std::shared_ptr<Session> session_;
    std::thread monitor_;
};

}  // namespace krx
