// SPDX-License-Identifier: MIT
#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <span>

#include "link/open_failure.h"

namespace krx {

// Receives a channel's notifications. Every call arrives on the window thread.
class SerialListener {
  public:
    virtual ~SerialListener() = default;

    // Bytes read from the port, in arrival order; a run of bytes read together arrives in one
    // call, to be handled one at a time. The channel goes on reading and writing meanwhile.
    virtual void onSerialBytes(int port, std::span<const std::uint8_t> bytes) = 0;

    // After every write attempt, whether or not it succeeded.
    virtual void onSerialTxEmpty(int port) = 0;

    // The device went away (adapter unplugged, pty closed). Sent once; the channel has stopped
    // using the port and is closed.
    virtual void onSerialPortLost(int port) = 0;
};

// Runs tasks on the window thread. post() may be called from any thread and never blocks.
class WindowThreadExecutor {
  public:
    virtual ~WindowThreadExecutor() = default;
    virtual void post(std::function<void()> task) = 0;
};

// One COM port: open, monitor, write. The console runs the same code against the real port and
// against the simulator, which implements this interface too.
class SerialChannel {
  public:
    virtual ~SerialChannel() = default;

    // Opens COMn (1..99) for exclusive use, configured as asked. Ends a running monitor first. The
    // monitor is not started. False when the device is missing, held by another program, or not
    // accessible; the channel is then closed.
    virtual bool open(SerialListener& owner, int port, int baud, char parity, int dataBits,
                      int stopBits, std::uint32_t eventMask, std::uint32_t bufferSize) = 0;

    // Starts monitoring the opened port; false when no thread could be created.
    virtual bool start() = 0;

    // Queues a frame (at most the open's buffer size) to be written after those queued before it,
    // at once once the port is monitored, whatever the window thread does meanwhile. Returns at
    // once.
    virtual void queueWrite(std::span<const std::uint8_t> bytes) = 0;

    // Asks the monitor to close the port and end; returns at once.
    virtual void stop() = 0;

    // Whether a port is open (monitored or not).
    virtual bool holdsPort() const = 0;

    // Why the last open() failed; nothing after a successful one.
    virtual std::optional<OpenFailure> lastOpenFailure() const = 0;
};

}  // namespace krx
