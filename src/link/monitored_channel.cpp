// SPDX-License-Identifier: MIT
#include "link/monitored_channel.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <climits>
#include <system_error>
#include <utility>

namespace krx {

namespace {

// Event-mask bit asking for received characters; the console always sets it. The other bits
// (event character, CTS, break, line error, ring) have no notification in SerialListener and no
// effect here; nor has the event character itself, which neither termios nor a device server
// can express.
constexpr std::uint32_t kReceiveCharEvent = 0x0001;

// The write timeouts of a port: a write the line cannot take at once waits for room up to
// 1000 ms plus 1000 ms per byte, then fails. Reads never wait: poll() reports what is there and
// a non-blocking read takes it, so the port's read timeouts have no counterpart.
constexpr std::chrono::milliseconds kWriteTimeoutConstant{1000};
constexpr std::chrono::milliseconds kWriteTimeoutPerByte{1000};

}  // namespace

// --- session ---------------------------------------------------------------------------------

// What one open() shares with its monitor thread and the tasks it posts. The tasks hold it, never
// the channel, so a task that runs after the channel is gone touches only this.
struct MonitoredChannel::Session {
    Session(SerialListener& owner, int portNumber, std::uint32_t mask)
        : listener(&owner), port(portNumber), eventMask(mask) {}

    SerialListener* const listener;
    const int port;
    const std::uint32_t eventMask;
    // Bytes posted to the window thread and not yet handled there.
    std::atomic<std::size_t> unhandledBytes{0};
    // Signalled by the window thread when unhandledBytes falls below the bound again.
    PollEvent caughtUp;
    // Set on the window thread by stop(), open() and destruction, and read only there: a task
    // of an ended session does nothing.
    bool ended = false;
};

// --- window-thread operations ----------------------------------------------------------------

MonitoredChannel::MonitoredChannel(WindowThreadExecutor& windowThread)
    : windowThread_(windowThread) {}

MonitoredChannel::~MonitoredChannel() = default;

void MonitoredChannel::setErrorReporter(ErrorReporter reporter) {
    errorReporter_ = std::move(reporter);
}

void MonitoredChannel::reportError(std::string_view callName, int error) const {
    if (errorReporter_)
        errorReporter_(std::string(callName) + ": " +
                       std::error_code(error, std::generic_category()).message());
}

bool MonitoredChannel::beginOpen(SerialListener& owner, int port, std::uint32_t eventMask,
                                 std::uint32_t bufferSize) {
    shutDown();
    session_.reset();
    shutdownEvent_.reset();
    writeRequestEvent_.reset();
    stopRequested_ = false;
    {
        const std::lock_guard guard(lock_);
        bufferSize_ = bufferSize;
        queuedFrames_.clear();
    }
    try {
        session_ = std::make_shared<Session>(owner, port, eventMask);
    } catch (const std::system_error& failure) {
        reportError("eventfd()", failure.code().value());
        return refuseOpen({OpenError::SystemError, port, {}, failure.code().value(), {}});
    }
    return true;
}

bool MonitoredChannel::acceptOpen(int fd) {
    {
        const std::lock_guard guard(lock_);
        fd_ = fd;
    }
    lastOpenFailure_.reset();
    return true;
}

bool MonitoredChannel::refuseOpen(OpenFailure failure) {
    session_.reset();
    lastOpenFailure_ = std::move(failure);
    return false;
}

std::optional<OpenFailure> MonitoredChannel::lastOpenFailure() const {
    return lastOpenFailure_;
}

bool MonitoredChannel::start() {
    if (stopRequested_ || monitor_.joinable() || !session_)
        return false;
    int fd = -1;
    {
        const std::lock_guard guard(lock_);
        fd = fd_;
    }
    if (fd < 0)
        return false;
    dropStaleInput(fd);
    try {
        monitor_ = std::thread(&MonitoredChannel::monitor, this, session_, fd);
    } catch (const std::system_error& failure) {
        reportError("pthread_create()", failure.code().value());
        return false;
    }
    return true;
}

void MonitoredChannel::queueWrite(std::span<const std::uint8_t> bytes) {
    int error = 0;
    {
        const std::lock_guard guard(lock_);
        if (bytes.size() > bufferSize_) {
            error = EMSGSIZE;
        } else if (queuedFrames_.size() >= kMaxQueuedFrames) {
            error = ENOBUFS;
        } else {
            queuedFrames_.emplace_back(bytes.begin(), bytes.end());
            writeRequestEvent_.signal();
            return;
        }
    }
    reportError("queueWrite()", error);
}

void MonitoredChannel::stop() {
    stopRequested_ = true;
    if (session_)
        session_->ended = true;
    shutdownEvent_.signal();
}

bool MonitoredChannel::holdsPort() const {
    const std::lock_guard guard(lock_);
    return fd_ >= 0;
}

// Joining cannot deadlock: the monitor never waits for the window thread, and post() never
// blocks.
void MonitoredChannel::shutDown() {
    if (session_)
        session_->ended = true;
    shutdownEvent_.signal();
    if (monitor_.joinable())
        monitor_.join();
    closePort(false);
}

// Called by the window thread with no monitor running, or by the monitor as it ends.
void MonitoredChannel::closePort(bool lost) {
    int fd = -1;
    {
        const std::lock_guard guard(lock_);
        fd = std::exchange(fd_, -1);
    }
    if (fd >= 0)
        closeDescriptor(fd, lost);
}

// --- shared by the window thread and the monitor thread ---------------------------------------

void MonitoredChannel::writeAll(int fd, std::span<const std::uint8_t> bytes, WriteCall write,
                                std::string_view callName) const {
    using Clock = std::chrono::steady_clock;
    const auto deadline =
        Clock::now() + kWriteTimeoutConstant +
        kWriteTimeoutPerByte * static_cast<std::chrono::milliseconds::rep>(bytes.size());
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t count = write(fd, bytes.data() + written, bytes.size() - written);
        if (count > 0) {
            written += static_cast<std::size_t>(count);
            continue;
        }
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            reportError(callName);
            return;
        }
        const auto remaining =
            std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (remaining <= 0) {
            reportError(callName, ETIMEDOUT);
            return;
        }
        std::array<pollfd, 2> waits{{{shutdownEvent_.fd(), POLLIN, 0}, {fd, POLLOUT, 0}}};
        if (pollFor(waits, static_cast<int>(std::min<long long>(remaining, INT_MAX))) < 0) {
            reportError("poll()");
            return;
        }
        if (waits[0].revents != 0)
            return;  // shutting down: the rest is abandoned
    }
}

// --- monitor thread --------------------------------------------------------------------------

void MonitoredChannel::monitor(const std::shared_ptr<Session>& session, int fd) {
    const MonitorEnd end = monitorLoop(session, fd);
    closePort(end == MonitorEnd::PortLost);
    if (end == MonitorEnd::PortLost) {
        windowThread_.post([session] {
            if (session->ended)
                return;
            session->ended = true;
            session->listener->onSerialPortLost(session->port);
        });
    }
}

MonitoredChannel::MonitorEnd MonitoredChannel::monitorLoop(const std::shared_ptr<Session>& session,
                                                           int fd) {
    const short portEvents = (session->eventMask & kReceiveCharEvent) != 0 ? POLLIN : 0;
    for (;;) {
        // Past the bound the port is left unread until the window thread has caught up; a
        // hang-up is still reported by poll().
        bool behind = session->unhandledBytes.load() >= kMaxUnhandledBytes;
        if (behind) {
            session->caughtUp.reset();
            behind = session->unhandledBytes.load() >= kMaxUnhandledBytes;
        }
        std::array<pollfd, 4> waits{
            {{shutdownEvent_.fd(), POLLIN, 0},
             {writeRequestEvent_.fd(), POLLIN, 0},
             {fd, behind ? short{0} : portEvents, 0},
             {session->caughtUp.fd(), behind ? short{POLLIN} : short{0}, 0}}};
        if (pollFor(waits, -1) < 0) {
            reportError("poll()");
            return MonitorEnd::PortLost;
        }
        // Several may be ready at once: shutdown, then a write request, then the port; one
        // frame or one read per pass, so a write waits for no more than one read.
        if (waits[0].revents != 0)
            return MonitorEnd::Shutdown;
        if (waits[1].revents != 0) {
            writeNextFrame(session, fd);
            continue;
        }
        const short portState = waits[2].revents;
        if ((portState & POLLIN) != 0) {
            // A read that finds nothing (another reader of a tty may have taken what poll()
            // saw) is a hang-up only together with POLLHUP or POLLERR.
            const ReadResult result = readAndDeliver(session, fd);
            if (result == ReadResult::Closed ||
                (result == ReadResult::Nothing && (portState & (POLLHUP | POLLERR)) != 0))
                return MonitorEnd::PortLost;
            continue;
        }
        if ((portState & (POLLHUP | POLLERR | POLLNVAL)) != 0)
            return MonitorEnd::PortLost;
    }
}

MonitoredChannel::ReadResult MonitoredChannel::readAndDeliver(
    const std::shared_ptr<Session>& session, int fd) {
    std::vector<std::uint8_t> bytes;
    const ReadResult result = readOnce(fd, bytes);
    if (!bytes.empty())
        deliver(session, std::move(bytes));
    return result;
}

void MonitoredChannel::writeNextFrame(const std::shared_ptr<Session>& session, int fd) {
    std::vector<std::uint8_t> frame;
    {
        // Taking the last frame and resetting the request go together, so a frame queued
        // meanwhile signals anew.
        const std::lock_guard guard(lock_);
        if (queuedFrames_.empty()) {
            writeRequestEvent_.reset();
            return;
        }
        frame = std::move(queuedFrames_.front());
        queuedFrames_.pop_front();
        if (queuedFrames_.empty())
            writeRequestEvent_.reset();
    }
    // What has arrived by now is handed over first, up to the bound, so the purge before the
    // write discards only what had not: input that arrived before the frame was queued reaches
    // the owner however late this thread got to it. An end of the port found here is found
    // again by the monitor's next poll.
    while (session->unhandledBytes.load() < kMaxUnhandledBytes &&
           readAndDeliver(session, fd) == ReadResult::Data) {
    }
    writeFrame(fd, frame);
    windowThread_.post([session] {
        if (!session->ended)
            session->listener->onSerialTxEmpty(session->port);
    });
}

void MonitoredChannel::deliver(const std::shared_ptr<Session>& session,
                               std::vector<std::uint8_t> bytes) {
    session->unhandledBytes += bytes.size();
    windowThread_.post([session, bytes = std::move(bytes)] {
        if (!session->ended)
            session->listener->onSerialBytes(session->port, bytes);
        const std::size_t before = session->unhandledBytes.fetch_sub(bytes.size());
        if (before >= kMaxUnhandledBytes && before - bytes.size() < kMaxUnhandledBytes)
            session->caughtUp.signal();
    });
}

}  // namespace krx
