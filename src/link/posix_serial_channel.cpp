// SPDX-License-Identifier: MIT
#include "link/posix_serial_channel.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <sys/file.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <climits>
#include <system_error>
#include <utility>

#include "link/line_settings.h"
#include "link/port_map.h"

namespace krx {

namespace {

// Event-mask bit asking for received characters; the console always sets it. The other bits
// (event character, CTS, break, line error, ring) have no notification in SerialListener and no
// effect here; nor has the event character itself, which termios cannot express.
constexpr std::uint32_t kReceiveCharEvent = 0x0001;

// Blocks in poll() until one of `waits` is ready, resuming after a signal; false when poll()
// fails otherwise.
bool pollWithoutLimit(std::span<pollfd> waits) {
    while (::poll(waits.data(), waits.size(), -1) < 0) {
        if (errno != EINTR)
            return false;
    }
    return true;
}

// Bytes taken from the port per read, and so the longest run handed over at once.
constexpr std::size_t kReadChunkBytes = 4096;

// Timeouts. The port's write timeouts are 1000 ms plus 1000 ms per byte; a write the driver cannot
// take at once waits for room up to that total (or until shutdown), then fails. Reads never wait:
// poll() reports queued bytes and a non-blocking read (VMIN 0, VTIME 0) takes what is there, so
// the read-interval and read-total timeouts of 1000 ms have no counterpart.
constexpr std::chrono::milliseconds kWriteTimeoutConstant{1000};
constexpr std::chrono::milliseconds kWriteTimeoutPerByte{1000};

OpenError openErrorFor(int error) {
    switch (error) {
        case ENOENT:
        case ENXIO:
        case ENODEV:
            return OpenError::NoSuchDevice;
        case EACCES:
        case EPERM:
            return OpenError::PermissionDenied;
        case EBUSY:  // TIOCEXCL set by another program
        case EWOULDBLOCK:
            return OpenError::InUse;
        case EISDIR:
        case ENOTTY:
            return OpenError::NotASerialPort;
        default:
            return OpenError::SystemError;
    }
}

// The group that may read and write `device`, the usual remedy for a refused open; empty when
// the group has no such access or cannot be named.
std::string accessGroupOf(const std::filesystem::path& device) {
    struct stat info {};
    constexpr mode_t kGroupReadWrite = S_IRGRP | S_IWGRP;
    if (::stat(device.c_str(), &info) != 0 || (info.st_mode & kGroupReadWrite) != kGroupReadWrite)
        return {};
    group entry{};
    group* found = nullptr;
    std::array<char, 4096> buffer{};
    if (::getgrgid_r(info.st_gid, &entry, buffer.data(), buffer.size(), &found) != 0 || !found)
        return {};
    return entry.gr_name;
}

}  // namespace

// --- session ---------------------------------------------------------------------------------

// What one open() shares with its monitor thread and the tasks it posts. The tasks hold it, never
// the channel, so a task that runs after the channel is gone touches only this.
struct CSerialChannel::Session {
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

CSerialChannel::CSerialChannel(WindowThreadExecutor& windowThread, PortsDirectories portsDirs)
    : windowThread_(windowThread), portsDirs_(std::move(portsDirs)) {}

CSerialChannel::CSerialChannel(WindowThreadExecutor& windowThread, std::filesystem::path portsDir)
    : CSerialChannel(windowThread, PortsDirectories{std::move(portsDir)}) {}

CSerialChannel::~CSerialChannel() {
    endMonitor();
    closePort();
}

void CSerialChannel::setErrorReporter(ErrorReporter reporter) {
    errorReporter_ = std::move(reporter);
}

void CSerialChannel::reportError(std::string_view callName) const {
    const int error = errno;
    if (errorReporter_)
        errorReporter_(std::string(callName) + ": " +
                       std::error_code(error, std::generic_category()).message());
}

bool CSerialChannel::open(SerialListener& owner, int port, int baud, char parity, int dataBits,
                          int stopBits, std::uint32_t eventMask, std::uint32_t bufferSize) {
    endMonitor();
    closePort();
    session_.reset();
    shutdownEvent_.reset();
    writeRequestEvent_.reset();
    stopRequested_ = false;
    {
        const std::lock_guard guard(lock_);
        bufferSize_ = bufferSize;
        queuedFrames_.clear();
    }

    std::shared_ptr<Session> session;
    try {
        session = std::make_shared<Session>(owner, port, eventMask);
    } catch (const std::system_error& failure) {
        errno = failure.code().value();
        reportError("eventfd()");
        return refuseOpen(OpenError::SystemError, port, {}, failure.code().value());
    }

    const auto device = comPortDevice(port, portsDirs_);
    if (!device) {
        // COM97-COM99 exist only as entries of a ports directory; the first one is named.
        if (port >= kFirstComPort && port <= kLastComPort) {
            const std::filesystem::path first = portsDirs_.empty() ? "" : portsDirs_.front();
            return refuseOpen(OpenError::NoSuchDevice, port, portsEntryPath(port, first), 0);
        }
        return refuseOpen(OpenError::NoSuchPort, port, {}, 0);
    }
    // O_NONBLOCK also keeps open() from waiting for carrier on a real port.
    const int fd = ::open(device->c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        return refuseOpen(openErrorFor(error), port, *device, error);
    }
    if (!::isatty(fd)) {
        ::close(fd);
        return refuseOpen(OpenError::NotASerialPort, port, *device, 0);
    }
    // Without sharing: flock keeps out every cooperating program, TIOCEXCL every other open by a
    // non-root one.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        return refuseOpen(openErrorFor(error), port, *device, error);
    }
    if (::ioctl(fd, TIOCEXCL) != 0)
        reportError("ioctl(TIOCEXCL)");
    configurePort(fd, baud, parity, dataBits, stopBits);
    purge(fd);

    {
        const std::lock_guard guard(lock_);
        portFd_ = fd;
    }
    session_ = std::move(session);
    lastOpenFailure_.reset();
    return true;
}

bool CSerialChannel::refuseOpen(OpenError reason, int port, std::filesystem::path device,
                                int systemError) {
    OpenFailure failure{reason, port, std::move(device), systemError, {}};
    if (reason == OpenError::PermissionDenied)
        failure.accessGroup = accessGroupOf(failure.device);
    lastOpenFailure_ = std::move(failure);
    return false;
}

std::optional<OpenFailure> CSerialChannel::lastOpenFailure() const {
    return lastOpenFailure_;
}

bool CSerialChannel::start() {
    if (stopRequested_ || monitor_.joinable() || !session_)
        return false;
    int fd = -1;
    {
        const std::lock_guard guard(lock_);
        fd = portFd_;
    }
    if (fd < 0)
        return false;
    // What arrived while nothing monitored the port is stale. Purged here rather than by the
    // monitor, so that anything sent after start() returns is read.
    purge(fd);
    try {
        monitor_ = std::thread(&CSerialChannel::monitor, this, session_, fd);
    } catch (const std::system_error& failure) {
        errno = failure.code().value();
        reportError("pthread_create()");
        return false;
    }
    return true;
}

void CSerialChannel::queueWrite(std::span<const std::uint8_t> bytes) {
    {
        const std::lock_guard guard(lock_);
        if (bytes.size() > bufferSize_) {
            errno = EMSGSIZE;
        } else if (queuedFrames_.size() >= kMaxQueuedFrames) {
            errno = ENOBUFS;
        } else {
            queuedFrames_.emplace_back(bytes.begin(), bytes.end());
            writeRequestEvent_.signal();
            return;
        }
    }
    reportError("queueWrite()");
}

void CSerialChannel::stop() {
    stopRequested_ = true;
    if (session_)
        session_->ended = true;
    shutdownEvent_.signal();
}

bool CSerialChannel::holdsPort() const {
    const std::lock_guard guard(lock_);
    return portFd_ >= 0;
}

// Joining cannot deadlock: the monitor never waits for the window thread, and post() never
// blocks.
void CSerialChannel::endMonitor() {
    if (session_)
        session_->ended = true;
    shutdownEvent_.signal();
    if (monitor_.joinable())
        monitor_.join();
}

// Called by the window thread with no monitor running, or by the monitor as it ends.
void CSerialChannel::closePort() {
    int fd = -1;
    {
        const std::lock_guard guard(lock_);
        fd = std::exchange(portFd_, -1);
    }
    if (fd < 0)
        return;
    // Exclusive mode belongs to the tty, not to this descriptor: leave it as found.
    ::ioctl(fd, TIOCNXCL);
    ::close(fd);
}

// Stops at the first failing call, like the configuration it replaces; the port stays open with
// whatever was applied.
void CSerialChannel::configurePort(int fd, int baud, char parity, int dataBits,
                                   int stopBits) const {
    termios settings{};
    if (::tcgetattr(fd, &settings) != 0) {
        reportError("tcgetattr()");
        return;
    }
    makeRaw(settings);
    const auto speed = termiosSpeed(baud);
    if (!speed || ::cfsetispeed(&settings, *speed) != 0 || ::cfsetospeed(&settings, *speed) != 0) {
        if (!speed)
            errno = EINVAL;
        reportError("cfsetspeed()");
        return;
    }
    if (!setCharacterFormat(settings, parity, dataBits, stopBits)) {
        errno = EINVAL;
        reportError("tcsetattr()");
        return;
    }
    if (::tcsetattr(fd, TCSANOW, &settings) != 0) {
        reportError("tcsetattr()");
        return;
    }
    const int rts = TIOCM_RTS;
    if (::ioctl(fd, TIOCMBIS, &rts) != 0)
        reportError("ioctl(TIOCMBIS)");
}

void CSerialChannel::purge(int fd) const {
    if (::tcflush(fd, TCIOFLUSH) != 0)
        reportError("tcflush()");
}

// --- monitor thread --------------------------------------------------------------------------

void CSerialChannel::monitor(const std::shared_ptr<Session>& session, int fd) {
    const MonitorEnd end = monitorLoop(session, fd);
    closePort();
    if (end == MonitorEnd::PortLost) {
        windowThread_.post([session] {
            if (session->ended)
                return;
            session->ended = true;
            session->listener->onSerialPortLost(session->port);
        });
    }
}

CSerialChannel::MonitorEnd CSerialChannel::monitorLoop(const std::shared_ptr<Session>& session,
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
        if (!pollWithoutLimit(waits)) {
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
            if (const auto end = readInput(session, fd, portState))
                return *end;
            continue;
        }
        if ((portState & (POLLHUP | POLLERR | POLLNVAL)) != 0)
            return MonitorEnd::PortLost;
    }
}

// One read, whose bytes are handed over; read()'s result, with errno set when it is negative.
ssize_t CSerialChannel::readAndDeliver(const std::shared_ptr<Session>& session, int fd) {
    std::array<std::uint8_t, kReadChunkBytes> buffer;  // filled by read(), never read past count
    ssize_t count = 0;
    do {
        count = ::read(fd, buffer.data(), buffer.size());
    } while (count < 0 && errno == EINTR);
    if (count > 0)
        deliver(session, std::vector<std::uint8_t>(buffer.begin(),
                                                   buffer.begin() + static_cast<long>(count)));
    return count;
}

// With VMIN 0 a read that finds nothing returns 0 (another reader of the tty may have taken the
// bytes poll() saw): that is a hang-up only together with POLLHUP or POLLERR, or when the read
// fails with EIO.
std::optional<CSerialChannel::MonitorEnd> CSerialChannel::readInput(
    const std::shared_ptr<Session>& session, int fd, short portState) {
    const ssize_t count = readAndDeliver(session, fd);
    if (count > 0)
        return std::nullopt;
    if (count == 0 || errno == EAGAIN) {
        if ((portState & (POLLHUP | POLLERR)) != 0)
            return MonitorEnd::PortLost;
        return std::nullopt;
    }
    // Anything but EIO would repeat on every pass.
    if (errno != EIO)
        reportError("read()");
    return MonitorEnd::PortLost;
}

// Hands over everything queued, up to the bound; a failing read is left to the monitor loop,
// which sees the same condition on its next pass.
void CSerialChannel::readQueuedInput(const std::shared_ptr<Session>& session, int fd) {
    while (session->unhandledBytes.load() < kMaxUnhandledBytes && readAndDeliver(session, fd) > 0) {
    }
}

void CSerialChannel::writeNextFrame(const std::shared_ptr<Session>& session, int fd) {
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
    // What has arrived by now is handed over first, so the purge before the write discards
    // only what had not: input that arrived before the frame was queued reaches the owner however
    // late this thread got to it. Output is not purged: it is the frame queued before this one,
    // still on its way.
    readQueuedInput(session, fd);
    if (::tcflush(fd, TCIFLUSH) != 0)
        reportError("tcflush()");
    writeWithDeadline(fd, frame);
    windowThread_.post([session] {
        if (!session->ended)
            session->listener->onSerialTxEmpty(session->port);
    });
}

void CSerialChannel::writeWithDeadline(int fd, std::span<const std::uint8_t> frame) const {
    using Clock = std::chrono::steady_clock;
    const auto deadline =
        Clock::now() + kWriteTimeoutConstant +
        kWriteTimeoutPerByte * static_cast<std::chrono::milliseconds::rep>(frame.size());
    std::size_t written = 0;
    while (written < frame.size()) {
        const ssize_t count = ::write(fd, frame.data() + written, frame.size() - written);
        if (count > 0) {
            written += static_cast<std::size_t>(count);
            continue;
        }
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0 && errno != EAGAIN) {
            reportError("write()");
            return;
        }
        const auto remaining =
            std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (remaining <= 0) {
            errno = ETIMEDOUT;
            reportError("write()");
            return;
        }
        std::array<pollfd, 2> waits{{{shutdownEvent_.fd(), POLLIN, 0}, {fd, POLLOUT, 0}}};
        const int timeoutMs = static_cast<int>(std::min<long long>(remaining, INT_MAX));
        if (::poll(waits.data(), waits.size(), timeoutMs) < 0 && errno != EINTR) {
            reportError("poll()");
            return;
        }
        if (waits[0].revents != 0)
            return;  // shutting down: the rest of the frame is abandoned
    }
}

void CSerialChannel::deliver(const std::shared_ptr<Session>& session,
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
