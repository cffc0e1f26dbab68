// SPDX-License-Identifier: MIT
// ser2net run by a test or benchmark: a generated configuration serving one tty on 127.0.0.1 at a
// free port, in raw TCP or RFC 2217 mode, in the foreground, ended with its owner.
#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>

#include "support/child_process.h"
#include "support/files.h"

namespace krx::test {

enum class Ser2netMode { RawTcp, Rfc2217 };

class Ser2netServer {
  public:
    // Starts ser2net for `device` at 115200 8N1 and returns once its port takes connections.
    // `charDelay` keeps ser2net's default of holding bytes from the line for two character times
    // (at least 1 ms) before passing them on. Throws std::runtime_error, with ser2net's log, when
    // ser2net is missing, ends, or does not take connections.
    Ser2netServer(Ser2netMode mode, const std::string& device, bool charDelay = true);

    // "tcp://127.0.0.1:PORT" or "rfc2217://127.0.0.1:PORT".
    const std::string& url() const { return url_; }
    std::uint16_t port() const { return port_; }

    // Ends ser2net at once (SIGKILL): the kernel closes every connection it had.
    void kill();

  private:
    [[noreturn]] void fail(const std::string& why);

    // The configuration and the log; ser2net ends before it goes.
    testing::ScratchDir dir_;
    std::uint16_t port_ = 0;
    std::string url_;
    std::optional<testing::ChildProcess> process_;
};

}  // namespace krx::test
