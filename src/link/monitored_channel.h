// SPDX-License-Identifier: MIT
#pragma once

#include <sys/types.h>

#include <cerrno>
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
#include "link/serial_channel.h"

namespace krx {

// What every channel on a byte stream descriptor (a tty, a socket) shares: the session, the queue
// of frames and the monitor thread. A channel opens its descriptor itself, between beginOpen() and
// acceptOpen(), and adds its transport through four hooks: how the descriptor is read, written,
// readied for monitoring and closed.
//
// One monitor thread per started port blocks in poll() on, by priority, the shutdown event, the
// write-request event and the descriptor. It never waits for the window thread: received bytes are
// read as they come and posted to the listener a run at a time, so a frame queued while earlier
// bytes wait to be handled (or while the window thread sleeps in a handler) is written at once.
// Queued frames are written one by one in the order queued; none replaces another. Before each
// write it hands over what has arrived, so that the transport's purge before the write drops
// nothing that had arrived when the write began. Every notification of a session (one open) is
// dropped once the session has ended by stop(), a later open() or destruction, so the listener
// must only outlive the channel's use, not its queued tasks. A hang-up closes the descriptor, ends
// the monitor and is told once through onSerialPortLost.
//
// All public operations are for the window thread; the error reporter is called from the window
// thread or the monitor thread. The hooks run on the window thread while no monitor runs (open(),
// start(), destruction) and on the monitor thread while it runs, never on both at once.
class MonitoredChannel : public SerialChannel {
  public:
    using ErrorReporter = std::function<void(const std::string& text)>;

    // Frames written back to back take a few milliseconds each; more than this waiting means the
    // line has stopped taking them.
    static constexpr std::size_t kMaxQueuedFrames = 64;
    // Received bytes posted but not yet handled; beyond this the descriptor is left unread until
    // the window thread catches up.
    static constexpr std::size_t kMaxUnhandledBytes = 50'000;

    ~MonitoredChannel() override;
    MonitoredChannel(const MonitoredChannel&) = delete;
    MonitoredChannel& operator=(const MonitoredChannel&) = delete;

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

    // Reports the failure of `callName` with `error`, by default the current errno.
    void reportError(std::string_view callName, int error = errno) const;

  protected:
    // What one read of the descriptor gave: bytes (the line's, or only the transport's own),
    // nothing there after all, or the end of the port (hang-up, connection ended, failed read).
    enum class ReadResult { Data, Nothing, Closed };

    // ::write() or a socket's send(); the call that writeAll() repeats.
    using WriteCall = ssize_t (*)(int fd, const void* bytes, std::size_t count);

    explicit MonitoredChannel(WindowThreadExecutor& windowThread);

    // The steps of open() around the transport's own. beginOpen() ends a running monitor, closes
    // the port and drops the queued frames; false, with the failure recorded, when the new
    // session cannot be made. Then either acceptOpen() with the opened descriptor, which the
    // channel holds from then on, or refuseOpen(); both return what open() returns.
    bool beginOpen(SerialListener& owner, int port, std::uint32_t eventMask,
                   std::uint32_t bufferSize);
    bool acceptOpen(int fd);
    bool refuseOpen(OpenFailure failure);

    // Ends the monitor and closes the port. The destructor of the most derived channel calls it
    // first, while the hooks the monitor runs are still there.
    void shutDown();

    // Writes every byte with `write`, waiting for room up to the write timeouts (1000 ms plus
    // 1000 ms per byte) or until shutdown. A failure is reported as `callName`, a shutdown
    // abandons the rest; either way the rest is dropped.
    void writeAll(int fd, std::span<const std::uint8_t> bytes, WriteCall write,
                  std::string_view callName) const;

  private:
    struct Session;
    enum class MonitorEnd { Shutdown, PortLost };

    // One read of `fd`; `bytes` is replaced by what it brought from the line (empty when there
    // was nothing, or only the transport's own traffic).
    virtual ReadResult readOnce(int fd, std::vector<std::uint8_t>& bytes) = 0;
    // Purges what the line has sent and not been read, then writes `frame` (with writeAll()).
    virtual void writeFrame(int fd, std::span<const std::uint8_t> frame) = 0;
    // Drops what arrived while nothing monitored the port, so that anything sent after start()
    // returns is read.
    virtual void dropStaleInput(int fd) = 0;
    // `lost`: the port went away (hang-up, connection ended) rather than being let go.
    virtual void closeDescriptor(int fd, bool lost) = 0;

    void closePort(bool lost);

    void monitor(const std::shared_ptr<Session>& session, int fd);
    MonitorEnd monitorLoop(const std::shared_ptr<Session>& session, int fd);
    ReadResult readAndDeliver(const std::shared_ptr<Session>& session, int fd);
    void writeNextFrame(const std::shared_ptr<Session>& session, int fd);
    void deliver(const std::shared_ptr<Session>& session, std::vector<std::uint8_t> bytes);

    WindowThreadExecutor& windowThread_;
    ErrorReporter errorReporter_;

    // Signalled until the next open() resets them.
    PollEvent shutdownEvent_;
    PollEvent writeRequestEvent_;

    // Guards fd_ (the monitor closes it on shutdown or hang-up) and the queued frames.
    mutable std::mutex lock_;
    int fd_ = -1;
    std::size_t bufferSize_ = 0;
    std::deque<std::vector<std::uint8_t>> queuedFrames_;

    // Window-thread state.
    std::optional<OpenFailure> lastOpenFailure_;
    bool stopRequested_ = false;
    std::shared_ptr<Session> session_;
    std::thread monitor_;
};

}  // namespace krx
