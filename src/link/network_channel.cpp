// SPDX-License-Identifier: MIT
#include "link/network_channel.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>
#include <utility>
#include <variant>

#include "link/port_url.h"

namespace krx {

namespace {

using Clock = std::chrono::steady_clock;

// Bytes taken from the socket per read, and so the longest run handed over at once.
constexpr std::size_t kReadChunkBytes = 4096;

// A connection whose far end went silent: keep-alive probes after 10 s idle, every 5 s, three
// unanswered ones end it; unacknowledged data ends it after 20 s. Either is a lost port.
constexpr int kKeepAliveIdleS = 10;
constexpr int kKeepAliveIntervalS = 5;
constexpr int kKeepAliveProbes = 3;
constexpr int kUnacknowledgedLimitMs = 20'000;

// How long a closing end waits for the server to close its side.
constexpr std::chrono::milliseconds kCloseLinger{500};

// What is kept of a refusing server's words: its last line, printable ASCII, this long at most.
constexpr std::size_t kMaxServerText = 80;

int remainingMs(Clock::time_point deadline) {
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
    return static_cast<int>(std::clamp<long long>(left, 0, INT_MAX));
}

struct AddressListDeleter {
    void operator()(addrinfo* list) const { ::freeaddrinfo(list); }
};
using AddressList = std::unique_ptr<addrinfo, AddressListDeleter>;

// A name lookup that cannot be cancelled runs on a thread of its own, which outlives a caller
// that stops waiting and frees what it finds.
struct PendingLookup {
    std::mutex mutex;
    std::condition_variable finished;
    bool done = false;
    int status = 0;
    AddressList addresses;
};

// The addresses of `url`, or the failure to give the operator. An address literal is read at
// once; a name is looked up until `deadline`.
std::variant<AddressList, std::string> resolve(const PortUrl& url, Clock::time_point deadline) {
    addrinfo hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_flags = AI_NUMERICSERV | AI_NUMERICHOST;
    const std::string service = std::to_string(url.port);
    addrinfo* found = nullptr;
    if (::getaddrinfo(url.host.c_str(), service.c_str(), &hints, &found) == 0)
        return AddressList(found);

    hints.ai_flags = AI_NUMERICSERV;
    auto pending = std::make_shared<PendingLookup>();
    try {
        std::thread([pending, hints, host = url.host, service] {
            addrinfo* result = nullptr;
            const int status = ::getaddrinfo(host.c_str(), service.c_str(), &hints, &result);
            const std::lock_guard guard(pending->mutex);
            pending->status = status;
            pending->addresses.reset(result);
            pending->done = true;
            pending->finished.notify_all();
        }).detach();
    } catch (const std::system_error& failure) {
        return "cannot look up " + url.host + ": " + failure.code().message();
    }
    std::unique_lock guard(pending->mutex);
    if (!pending->finished.wait_until(guard, deadline, [&] { return pending->done; }))
        return "no answer looking up " + url.host;
    if (pending->status != 0)
        return "unknown host " + url.host + ": " + ::gai_strerror(pending->status);
    return std::move(pending->addresses);
}

// A non-blocking socket connected to the first of `addresses` that answers, or the errno of the
// last attempt.
struct Connection {
    int fd = -1;
    int error = 0;
};

Connection connectWithin(const addrinfo* addresses, Clock::time_point deadline) {
    int error = ETIMEDOUT;
    for (const addrinfo* address = addresses; address && Clock::now() < deadline;
         address = address->ai_next) {
        const int fd =
            ::socket(address->ai_family, address->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                     address->ai_protocol);
        if (fd < 0) {
            error = errno;
            continue;
        }
        if (::connect(fd, address->ai_addr, address->ai_addrlen) == 0)
            return {fd, 0};
        error = errno;
        if (error == EINPROGRESS) {
            std::array<pollfd, 1> wait{{{fd, POLLOUT, 0}}};
            const int ready = pollFor(wait, remainingMs(deadline));
            socklen_t size = sizeof error;
            if (ready == 0)
                error = ETIMEDOUT;
            else if (ready < 0 || ::getsockopt(fd, SOL_SOCKET, SO_ERROR, &error, &size) != 0)
                error = errno;
            if (error == 0)
                return {fd, 0};
        }
        ::close(fd);
    }
    return {-1, error};
}

// Tells the server this end is done and waits, up to kCloseLinger, until it has closed its side
// too, dropping what still arrives. A server that serves one client at a time (ser2net) has then
// let go of the line, and refuses no open() that follows at once.
void closeGracefully(int fd) {
    if (::shutdown(fd, SHUT_WR) == 0) {
        const auto deadline = Clock::now() + kCloseLinger;
        std::array<std::uint8_t, 512> sink;  // what arrives is dropped unread
        for (;;) {
            std::array<pollfd, 1> wait{{{fd, POLLIN, 0}}};
            if (pollFor(wait, remainingMs(deadline)) <= 0)
                break;
            const ssize_t count = ::recv(fd, sink.data(), sink.size(), 0);
            if (count == 0 || (count < 0 && errno != EINTR && errno != EAGAIN))
                break;
        }
    }
    ::close(fd);
}

// The last line of `text` with anything but printable ASCII left out.
std::string lastLine(const std::vector<std::uint8_t>& text) {
    std::string line;
    std::string last;
    for (std::uint8_t byte : text) {
        if (byte == '\n' || byte == '\r') {
            if (!line.empty())
                last = std::exchange(line, {});
        } else if (byte >= 0x20 && byte < 0x7F) {
            line.push_back(static_cast<char>(byte));
        }
    }
    if (!line.empty())
        last = std::move(line);
    if (last.size() > kMaxServerText)
        last.resize(kMaxServerText);
    return last;
}

}  // namespace

// --- window-thread operations ----------------------------------------------------------------

CNetworkChannel::CNetworkChannel(WindowThreadExecutor& windowThread, PortUrlLookup lookup,
                                 NetworkTimeouts timeouts)
    : MonitoredChannel(windowThread), lookup_(std::move(lookup)), timeouts_(timeouts) {}

CNetworkChannel::~CNetworkChannel() {
    shutDown();
}

bool CNetworkChannel::open(SerialListener& owner, int port, int baud, char parity, int dataBits,
                           int stopBits, std::uint32_t eventMask, std::uint32_t bufferSize) {
    const bool begun = beginOpen(owner, port, eventMask, bufferSize);
    telnet_.reset();
    if (!begun)
        return false;
    const std::optional<std::string> text = lookup_ ? lookup_(port) : std::nullopt;
    if (!text)
        return refuseOpen({OpenError::NoSuchPort, port, {}, 0, {}});
    const auto parsed = parsePortUrl(*text);
    if (const auto* reason = std::get_if<std::string>(&parsed)) {
        const std::size_t first = text->find_first_not_of(" \t\r\n");
        const std::size_t last = text->find_last_not_of(" \t\r\n");
        const std::string written =
            first == std::string::npos ? std::string() : text->substr(first, last - first + 1);
        return refuseOpen({OpenError::BadAddress, port, written, 0, {}, *reason});
    }
    const PortUrl& url = std::get<PortUrl>(parsed);
    const std::string device = formatPortUrl(url);

    const auto deadline = Clock::now() + timeouts_.connect;
    auto addresses = resolve(url, deadline);
    if (const auto* failure = std::get_if<std::string>(&addresses))
        return refuseOpen({OpenError::SystemError, port, device, 0, {}, *failure});
    const Connection connection = connectWithin(std::get<AddressList>(addresses).get(), deadline);
    if (connection.fd < 0)
        return refuseOpen({OpenError::SystemError, port, device, connection.error, {}});
    const int fd = connection.fd;
    setSocketOptions(fd);

    if (url.scheme == PortScheme::Rfc2217) {
        const auto baudValue = static_cast<std::uint32_t>(std::max(baud, 0));
        telnet_.emplace(RemoteLineSettings{baudValue, dataBits, parity, stopBits});
    }
    if (auto refusal = handshake(fd, deadline)) {
        ::close(fd);
        telnet_.reset();
        refusal->port = port;
        refusal->device = device;
        return refuseOpen(std::move(*refusal));
    }
    return acceptOpen(fd);
}

void CNetworkChannel::setSocketOptions(int fd) const {
    const auto set = [&](int level, int name, int value, std::string_view call) {
        if (::setsockopt(fd, level, name, &value, sizeof value) != 0)
            reportError(call);
    };
    set(SOL_SOCKET, SO_KEEPALIVE, 1, "setsockopt(SO_KEEPALIVE)");
    set(IPPROTO_TCP, TCP_KEEPIDLE, kKeepAliveIdleS, "setsockopt(TCP_KEEPIDLE)");
    set(IPPROTO_TCP, TCP_KEEPINTVL, kKeepAliveIntervalS, "setsockopt(TCP_KEEPINTVL)");
    set(IPPROTO_TCP, TCP_KEEPCNT, kKeepAliveProbes, "setsockopt(TCP_KEEPCNT)");
    set(IPPROTO_TCP, TCP_USER_TIMEOUT, kUnacknowledgedLimitMs, "setsockopt(TCP_USER_TIMEOUT)");
    set(IPPROTO_TCP, TCP_NODELAY, 1, "setsockopt(TCP_NODELAY)");
}

// Over RFC 2217: negotiates until the server has answered the line settings, which shows that it
// serves this client. Over raw TCP: watches the connection for the refusal grace. Data arriving
// meanwhile is stale, as a local open purges the port; it is kept only to quote a refusal.
std::optional<OpenFailure> CNetworkChannel::handshake(int fd, Clock::time_point deadline) {
    const auto watchUntil = telnet_ ? deadline : Clock::now() + timeouts_.refusalGrace;
    if (telnet_)
        sendAll(fd, telnet_->greeting());
    std::vector<std::uint8_t> said;
    std::vector<std::uint8_t> bytes;
    while (!telnet_ || telnet_->comPort() == TelnetCodec::ComPort::Offered ||
           telnet_->comPort() == TelnetCodec::ComPort::Requested) {
        std::array<pollfd, 1> wait{{{fd, POLLIN, 0}}};
        const int ready = pollFor(wait, remainingMs(watchUntil));
        if (ready < 0)
            return OpenFailure{OpenError::SystemError, 0, {}, errno, {}, {}};
        if (ready == 0) {
            if (!telnet_)
                return std::nullopt;
            return OpenFailure{OpenError::SystemError, 0, {}, ETIMEDOUT, {}, {}};
        }
        if (readOnce(fd, bytes) == ReadResult::Closed)
            return OpenFailure{OpenError::InUse, 0, {}, 0, {}, lastLine(said)};
        said.insert(said.end(), bytes.begin(), bytes.end());
        if (said.size() > 4 * kMaxServerText)
            said.erase(said.begin(), said.end() - static_cast<long>(2 * kMaxServerText));
    }
    // The line keeps the server's settings, and a refusal of this client cannot be told from
    // a working connection.
    if (telnet_->comPort() == TelnetCodec::ComPort::Refused)
        reportError("COM-port control refused by the server", EPROTONOSUPPORT);
    return std::nullopt;
}

// What reached the socket is stale, and so, over RFC 2217, is what the server holds. An end of
// the connection seen here is seen again by the monitor.
void CNetworkChannel::dropStaleInput(int fd) {
    std::vector<std::uint8_t> stale;
    while (readOnce(fd, stale) == ReadResult::Data) {
    }
    if (telnet_ && telnet_->comPort() == TelnetCodec::ComPort::Configured)
        purgeServer(fd);
}

// Has the server drop what the line has sent and waits until it says it has, which is when bytes
// from the line are kept again; what arrives meanwhile was sent before the purge.
void CNetworkChannel::purgeServer(int fd) {
    const std::size_t answersBefore = telnet_->purgeAnswers();
    std::vector<std::uint8_t> purge;
    TelnetCodec::appendPurge(telnet::PurgeBuffers::FromLine, purge);
    sendAll(fd, purge);
    const auto deadline = Clock::now() + timeouts_.connect;
    std::vector<std::uint8_t> dropped;
    while (telnet_->purgeAnswers() == answersBefore) {
        std::array<pollfd, 1> wait{{{fd, POLLIN, 0}}};
        const int ready = pollFor(wait, remainingMs(deadline));
        if (ready <= 0) {
            reportError("PURGE-DATA", ready == 0 ? ETIMEDOUT : errno);
            return;
        }
        if (readOnce(fd, dropped) == ReadResult::Closed)
            return;
    }
}

// A connection the server has ended needs no goodbye.
void CNetworkChannel::closeDescriptor(int fd, bool lost) {
    if (lost)
        ::close(fd);
    else
        closeGracefully(fd);
}

// --- monitor thread (and the window thread while none runs) -----------------------------------

// Over RFC 2217 the Telnet commands are taken out and answered; what remains is the line's.
CNetworkChannel::ReadResult CNetworkChannel::readOnce(int fd, std::vector<std::uint8_t>& bytes) {
    bytes.clear();
    std::array<std::uint8_t, kReadChunkBytes> buffer;  // filled by recv(), never read past count
    ssize_t count = 0;
    do {
        count = ::recv(fd, buffer.data(), buffer.size(), 0);
    } while (count < 0 && errno == EINTR);
    if (count == 0)
        return ReadResult::Closed;
    // A server that writes each byte from the line as it comes, with Nagle's algorithm on (as
    // ser2net does without its character delay), sends the next only once this end acknowledges
    // the last: acknowledge at once rather than up to 40 ms later. The kernel falls back to
    // delayed acknowledgement by itself, so this is asked after every read.
    const int quickAck = 1;
    ::setsockopt(fd, IPPROTO_TCP, TCP_QUICKACK, &quickAck, sizeof quickAck);
    if (count < 0) {
        if (errno == EAGAIN || errno == EWOULDBLOCK)
            return ReadResult::Nothing;
        if (errno != ECONNRESET && errno != ETIMEDOUT)
            reportError("recv()");
        return ReadResult::Closed;
    }
    const std::span<const std::uint8_t> received(buffer.data(), static_cast<std::size_t>(count));
    if (!telnet_) {
        bytes.assign(received.begin(), received.end());
        return ReadResult::Data;
    }
    std::vector<std::uint8_t> reply;
    telnet_->receive(received, bytes, reply);
    if (!reply.empty())
        sendAll(fd, reply);
    return ReadResult::Data;
}

void CNetworkChannel::writeFrame(int fd, std::span<const std::uint8_t> frame) {
    if (!telnet_) {
        sendAll(fd, frame);
        return;
    }
    // The server drops what the line sent and it has not passed on; the frame before this one,
    // on its way to the line, is left alone.
    std::vector<std::uint8_t> out;
    TelnetCodec::appendPurge(telnet::PurgeBuffers::FromLine, out);
    TelnetCodec::appendData(frame, out);
    sendAll(fd, out);
}

// Without SIGPIPE: a connection that failed is reported here, and ends the monitor at its next
// poll().
void CNetworkChannel::sendAll(int fd, std::span<const std::uint8_t> bytes) const {
    const auto send = [](int socket, const void* data, std::size_t size) {
        return ::send(socket, data, size, MSG_NOSIGNAL | MSG_DONTWAIT);
    };
    writeAll(fd, bytes, send, "send()");
}

}  // namespace krx
