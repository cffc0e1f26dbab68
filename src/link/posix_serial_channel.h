// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <vector>

#include "link/monitored_channel.h"
#include "link/port_map.h"

namespace krx {

// A COM port on a POSIX tty (termios). COMn is found through the ports directories first, then the
// standard device names (see port_map.h). The port is held exclusively (flock and TIOCEXCL).
//
// The monitor, the queue of frames and the session are those of every monitored channel (see
// monitored_channel.h). Before each write, once what has arrived is handed over, the driver's input
// is discarded, so a purge drops nothing that had arrived when the write began; output is not
// purged. A hang-up (POLLHUP or POLLERR, or a read failing with EIO; not a 0-byte read, which
// another reader of the tty may cause) closes the port, ends the monitor and is told once through
// onSerialPortLost.
class CSerialChannel final : public MonitoredChannel {
  public:
    CSerialChannel(WindowThreadExecutor& windowThread, PortsDirectories portsDirs);
    // One ports directory.
    CSerialChannel(WindowThreadExecutor& windowThread, std::filesystem::path portsDir);
    ~CSerialChannel() override;

    bool open(SerialListener& owner, int port, int baud, char parity, int dataBits, int stopBits,
              std::uint32_t eventMask, std::uint32_t bufferSize) override;

  private:
    bool refuse(OpenError reason, int port, std::filesystem::path device, int systemError);
    void configurePort(int fd, int baud, char parity, int dataBits, int stopBits) const;
    void purge(int fd) const;

    ReadResult readOnce(int fd, std::vector<std::uint8_t>& bytes) override;
    void writeFrame(int fd, std::span<const std::uint8_t> frame) override;
    void dropStaleInput(int fd) override;
    void closeDescriptor(int fd, bool lost) override;

    const PortsDirectories portsDirs_;
};

}  // namespace krx
