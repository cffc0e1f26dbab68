// SPDX-License-Identifier: MIT
#include "ser2net_server.h"

#include <arpa/inet.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <stdexcept>
#include <vector>

namespace krx::test {

namespace {

// ser2net says nothing when its port is up, so a connection is the only sign: tried this often,
// waiting this long after each refusal (less if ser2net ends). It usually takes one or two.
constexpr int kConnectTries = 500;
constexpr std::chrono::milliseconds kRetryWait{10};

// A TCP socket and its address on 127.0.0.1 at `port`.
int loopbackSocket(sockaddr_in& address, std::uint16_t port) {
    address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    return ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
}

}  // namespace

Ser2netServer::Ser2netServer(Ser2netMode mode, const std::string& device, bool charDelay) {
    // A port nobody listens on now, from the kernel's ephemeral range.
    sockaddr_in address{};
    const int probe = loopbackSocket(address, 0);
    socklen_t size = sizeof address;
    const bool bound = ::bind(probe, reinterpret_cast<sockaddr*>(&address), size) == 0 &&
                       ::getsockname(probe, reinterpret_cast<sockaddr*>(&address), &size) == 0;
    ::close(probe);
    if (!bound)
        fail("no free loopback port");
    port_ = ntohs(address.sin_port);

    const bool rfc2217 = mode == Ser2netMode::Rfc2217;
    url_ = (rfc2217 ? "rfc2217://127.0.0.1:" : "tcp://127.0.0.1:") + std::to_string(port_);
    const auto config = dir_.path() / "ser2net.yaml";
    std::ofstream(config) << "%YAML 1.1\n---\nconnection: &generator\n    accepter: "
                          << (rfc2217 ? "telnet(rfc2217),tcp," : "tcp,") << "127.0.0.1," << port_
                          << "\n    connector: serialdev," << device << ",115200n81,local\n"
                          << "    options:\n      chardelay: " << (charDelay ? "true" : "false")
                          << "\n";

    // Foreground (-n), log to standard output (-d), no UUCP lock files (-u).
    const std::string log = dir_.path() / "ser2net.log";
    try {
        process_.emplace(KRX_SER2NET,
                         std::vector<std::string>{"-n", "-d", "-u", "-c", config.string()}, log,
                         "/dev/null", log);
    } catch (const std::runtime_error& error) {
        fail(error.what() + std::string(" (scripts/deps.sh installs it)"));
    }

    // Connects until ser2net takes the connection, then says goodbye and waits for ser2net's own
    // close, so that this connection is over for ser2net before the test makes one.
    for (int attempt = 0; attempt < kConnectTries; ++attempt) {
        const int fd = loopbackSocket(address, port_);
        if (::connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0) {
            ::shutdown(fd, SHUT_WR);
            char chunk[256];
            while (testing::waitReadable(fd) && ::read(fd, chunk, sizeof chunk) > 0) {
            }
            ::close(fd);
            return;
        }
        ::close(fd);
        if (process_->waitExit(kRetryWait))
            fail("ser2net ended at start");
    }
    fail("ser2net does not take connections on port " + std::to_string(port_));
}

void Ser2netServer::kill() {
    process_->terminate(SIGKILL);
    process_->waitExit();
}

void Ser2netServer::fail(const std::string& why) {
    process_.reset();
    throw std::runtime_error(why + "\n" + testing::fileContents(dir_.path() / "ser2net.log"));
}

}  // namespace krx::test
