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

#include <array>
#include <cerrno>
#include <utility>

#include "link/line_settings.h"
#include "link/port_map.h"

namespace krx {

namespace {

// Bytes taken from the port per read, and so the longest run handed over at once.
constexpr std::size_t kReadChunkBytes = 4096;

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

// --- window-thread operations ----------------------------------------------------------------

CSerialChannel::CSerialChannel(WindowThreadExecutor& windowThread, PortsDirectories portsDirs)
    : MonitoredChannel(windowThread), portsDirs_(std::move(portsDirs)) {}

CSerialChannel::CSerialChannel(WindowThreadExecutor& windowThread, std::filesystem::path portsDir)
    : CSerialChannel(windowThread, PortsDirectories{std::move(portsDir)}) {}

CSerialChannel::~CSerialChannel() {
    shutDown();
}

bool CSerialChannel::open(SerialListener& owner, int port, int baud, char parity, int dataBits,
                          int stopBits, std::uint32_t eventMask, std::uint32_t bufferSize) {
    if (!beginOpen(owner, port, eventMask, bufferSize))
        return false;
    const auto device = comPortDevice(port, portsDirs_);
    if (!device) {
        // COM97-COM99 exist only as entries of a ports directory; the first one is named.
        if (port >= kFirstComPort && port <= kLastComPort) {
            const std::filesystem::path first = portsDirs_.empty() ? "" : portsDirs_.front();
            return refuse(OpenError::NoSuchDevice, port, portsEntryPath(port, first), 0);
        }
        return refuse(OpenError::NoSuchPort, port, {}, 0);
    }
    // O_NONBLOCK also keeps open() from waiting for carrier on a real port.
    const int fd = ::open(device->c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        const int error = errno;
        return refuse(openErrorFor(error), port, *device, error);
    }
    if (!::isatty(fd)) {
        ::close(fd);
        return refuse(OpenError::NotASerialPort, port, *device, 0);
    }
    // Without sharing: flock keeps out every cooperating program, TIOCEXCL every other open by a
    // non-root one.
    if (::flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        ::close(fd);
        return refuse(openErrorFor(error), port, *device, error);
    }
    if (::ioctl(fd, TIOCEXCL) != 0)
        reportError("ioctl(TIOCEXCL)");
    configurePort(fd, baud, parity, dataBits, stopBits);
    purge(fd);
    return acceptOpen(fd);
}

bool CSerialChannel::refuse(OpenError reason, int port, std::filesystem::path device,
                            int systemError) {
    OpenFailure failure{reason, port, std::move(device), systemError, {}};
    if (reason == OpenError::PermissionDenied)
        failure.accessGroup = accessGroupOf(failure.device);
    return refuseOpen(std::move(failure));
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
        reportError("cfsetspeed()", speed ? errno : EINVAL);
        return;
    }
    if (!setCharacterFormat(settings, parity, dataBits, stopBits)) {
        reportError("tcsetattr()", EINVAL);
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

// Both directions, as at open().
void CSerialChannel::dropStaleInput(int fd) {
    purge(fd);
}

// Exclusive mode belongs to the tty, not to this descriptor: leave it as found.
void CSerialChannel::closeDescriptor(int fd, bool /*lost*/) {
    ::ioctl(fd, TIOCNXCL);
    ::close(fd);
}

// --- monitor thread --------------------------------------------------------------------------

// Never waits: with VMIN 0 and VTIME 0 a read takes what is there. One that finds nothing returns
// 0 (another reader of the tty may have taken the bytes poll() saw), which is no hang-up by
// itself; EIO is one.
CSerialChannel::ReadResult CSerialChannel::readOnce(int fd, std::vector<std::uint8_t>& bytes) {
    bytes.clear();
    std::array<std::uint8_t, kReadChunkBytes> buffer;  // filled by read(), never read past count
    ssize_t count = 0;
    do {
        count = ::read(fd, buffer.data(), buffer.size());
    } while (count < 0 && errno == EINTR);
    if (count > 0) {
        bytes.assign(buffer.begin(), buffer.begin() + count);
        return ReadResult::Data;
    }
    if (count == 0 || errno == EAGAIN)
        return ReadResult::Nothing;
    // Anything but EIO would repeat on every pass.
    if (errno != EIO)
        reportError("read()");
    return ReadResult::Closed;
}

// Output is not purged: it is the frame queued before this one, still on its way.
void CSerialChannel::writeFrame(int fd, std::span<const std::uint8_t> frame) {
    if (::tcflush(fd, TCIFLUSH) != 0)
        reportError("tcflush()");
    writeAll(fd, frame, ::write, "write()");
}

}  // namespace krx
