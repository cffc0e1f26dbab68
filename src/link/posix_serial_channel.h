// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
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

#include "link/serial_channel.h"

namespace krx {

// A COM port on a POSIX tty (termios). COMn is found through the ports directory first, then the
// standard device names (see port_map.h). The port is held exclusively (flock and TIOCEXCL).
//
// One monitor thread per started port blocks in poll() on, by priority, the shutdown event, the
// write-request event and the port. Received bytes go to the listener on the window thread, a run
// at a time, and the monitor reads no more until that run was handled; then it hands over what
// arrived meanwhile before it serves a write request, whose purge would otherwise discard it. Every
// notification of a session (one open) is dropped once the session has ended by stop(), a later
// open() or destruction, so the listener must only outlive the channel's use, not its queued tasks.
// A hang-up (device gone, pty closed) closes the port, ends the monitor and is told once through
// onSerialPortLost.
//
// All public operations are for the window thread; the error reporter is called from the window
// thread or the monitor thread.
class CSerialChannel final : public SerialChannel {
  public:
    using ErrorReporter = std::function<void(const std::string& text)>;

    CSerialChannel(WindowThreadExecutor& windowThread, std::filesystem::path portsDir);
    ~CSerialChannel() override;

    CSerialChannel(const CSerialChannel&) = delete;
    CSerialChannel& operator=(const CSerialChannel&) = delete;

    bool open(SerialListener& owner, int port, int baud, char parity, int dataBits, int stopBits,
              std::uint32_t eventMask, std::uint32_t bufferSize) override;

    // False, with no thread created, when no port is open, a monitor already runs, or stop() was
    // called since the last open(): a stopped port needs a fresh open() before it is monitored.
    bool start() override;

    // A frame longer than the open's buffer size is refused and reported.
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
    // A manual-reset event that poll() can wait on.
    class Event {
      public:
        Event();
        ~Event();
        Event(const Event&) = delete;
        Event& operator=(const Event&) = delete;

        int fd() const { return fd_; }
        void signal() const;
        void reset() const;

      private:
        int fd_;
    };

    struct Session;
    enum class MonitorEnd { Shutdown, PortLost };

    void endMonitor();
    void closePort();
    void configurePort(int fd, int baud, char parity, int dataBits, int stopBits) const;
    void purge(int fd) const;

    bool refuseOpen(OpenError reason, int port, std::filesystem::path device, int systemError);

    void monitor(const std::shared_ptr<Session>& session, int fd);
    MonitorEnd monitorLoop(const std::shared_ptr<Session>& session, int fd);
    std::optional<MonitorEnd> drainInput(const std::shared_ptr<Session>& session, int fd,
                                         short portState);
    void writePendingFrame(const std::shared_ptr<Session>& session, int fd);
    void writeWithDeadline(int fd, std::span<const std::uint8_t> frame) const;
    void deliver(const std::shared_ptr<Session>& session, std::vector<std::uint8_t> bytes);
    std::optional<MonitorEnd> waitUntilHandled(const Session& session) const;

    WindowThreadExecutor& windowThread_;
    const std::filesystem::path portsDir_;
    ErrorReporter errorReporter_;

    // Signalled until the next open() resets them.
    Event shutdownEvent_;
    Event writeRequestEvent_;

    // Guards portFd_ (the monitor closes it on shutdown or hang-up) and the pending frame.
    mutable std::mutex lock_;
    int portFd_ = -1;
    std::vector<std::uint8_t> pendingFrame_;
    std::size_t pendingLength_ = 0;

    // Window-thread state.
    std::optional<OpenFailure> lastOpenFailure_;
    bool stopRequested_ = false;
    std::shared_ptr<Session> session_;
    std::thread monitor_;
};

}  // namespace krx
