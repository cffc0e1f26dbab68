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
#include <atomic>
#include <cerrno>
#include <climits>
#include <condition_variable>
#include <system_error>
#include <utility>
#include <variant>

namespace krx {

namespace {

using Clock = std::chrono::steady_clock;

// Event-mask bit asking for received characters, as for the local channel.
constexpr std::uint32_t kReceiveCharEvent = 0x0001;

// Bytes taken from the socket per read, and so the longest run handed over at once.
constexpr std::size_t kReadChunkBytes = 4096;

// The local channel's write timeouts: 1000 ms plus 1000 ms per byte.
constexpr std::chrono::milliseconds kWriteTimeoutConstant{1000};
constexpr std::chrono::milliseconds kWriteTimeoutPerByte{1000};

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

// Blocks in poll() until one of `waits` is ready or `timeoutMs` (-1: none) has passed, resuming
// after a signal; the number ready, or -1 when poll() fails otherwise.
int pollFor(std::span<pollfd> waits, int timeoutMs) {
    for (;;) {
        const int ready = ::poll(waits.data(), waits.size(), timeoutMs);
        if (ready >= 0 || errno != EINTR)
            return ready;
    }
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

// --- session ---------------------------------------------------------------------------------

// What one open() shares with its monitor thread and the tasks it posts. The tasks hold it, never
// the channel, so a task that runs after the channel is gone touches only this.
struct CNetworkChannel::Session {
    Session(SerialListener& owner, int portNumber, std::uint32_t mask)
        : listener(&owner), port(portNumber), eventMask(mask) {}

    SerialListener* const listener;
    const int port;
    const std::uint32_t eventMask;
    // Bytes posted to the window thread and not yet handled there.
    std::atomic<std::size_t> unhandledBytes{0};
    // Signalled by the window thread when unhandledBytes falls below the bound again.
    PollEvent caughtUp;
    // Set and read on the window thread only: a task of an ended session does nothing.
    bool ended = false;
};

// --- window-thread operations ----------------------------------------------------------------

CNetworkChannel::CNetworkChannel(WindowThreadExecutor& windowThread, PortUrlLookup lookup,
                                 NetworkTimeouts timeouts)
    : windowThread_(windowThread), lookup_(std::move(lookup)), timeouts_(timeouts) {}

CNetworkChannel::~CNetworkChannel() {
    endMonitor();
    closeSocket();
}

void CNetworkChannel::setErrorReporter(ErrorReporter reporter) {
    errorReporter_ = std::move(reporter);
}

void CNetworkChannel::reportError(std::string_view callName, int error) const {
    if (errorReporter_)
        errorReporter_(std::string(callName) + ": " +
                       std::error_code(error, std::generic_category()).message());
}

bool CNetworkChannel::open(SerialListener& owner, int port, int baud, char parity, int dataBits,
                           int stopBits, std::uint32_t eventMask, std::uint32_t bufferSize) {
    endMonitor();
    closeSocket();
    session_.reset();
    telnet_.reset();
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
        reportError("eventfd()", failure.code().value());
        return refuseOpen(OpenError::SystemError, port, {}, failure.code().value());
    }

    const std::optional<std::string> text = lookup_ ? lookup_(port) : std::nullopt;
    if (!text)
        return refuseOpen(OpenError::NoSuchPort, port, {}, 0);
    const auto parsed = parsePortUrl(*text);
    if (const auto* reason = std::get_if<std::string>(&parsed)) {
        const std::size_t first = text->find_first_not_of(" \t\r\n");
        const std::size_t last = text->find_last_not_of(" \t\r\n");
        const std::string written =
            first == std::string::npos ? std::string() : text->substr(first, last - first + 1);
        return refuseOpen(OpenError::BadAddress, port, written, 0, *reason);
    }
    const PortUrl& url = std::get<PortUrl>(parsed);
    const std::string device = formatPortUrl(url);

    const auto deadline = Clock::now() + timeouts_.connect;
    auto addresses = resolve(url, deadline);
    if (const auto* failure = std::get_if<std::string>(&addresses))
        return refuseOpen(OpenError::SystemError, port, device, 0, *failure);
    const Connection connection = connectWithin(std::get<AddressList>(addresses).get(), deadline);
    if (connection.fd < 0)
        return refuseOpen(OpenError::SystemError, port, device, connection.error);
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
        lastOpenFailure_ = std::move(*refusal);
        return false;
    }
    {
        const std::lock_guard guard(lock_);
        socketFd_ = fd;
    }
    session_ = std::move(session);
    lastOpenFailure_.reset();
    return true;
}

bool CNetworkChannel::refuseOpen(OpenError reason, int port, std::string device, int systemError,
                                 std::string detail) {
    lastOpenFailure_ =
        OpenFailure{reason, port, std::move(device), systemError, {}, std::move(detail)};
    return false;
}

std::optional<OpenFailure> CNetworkChannel::lastOpenFailure() const {
    return lastOpenFailure_;
}

void CNetworkChannel::setSocketOptions(int fd) const {
    const auto set = [&](int level, int name, int value, std::string_view call) {
        if (::setsockopt(fd, level, name, &value, sizeof value) != 0)
            reportError(call, errno);
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
    const auto keep = [&](std::vector<std::uint8_t> bytes) {
        said.insert(said.end(), bytes.begin(), bytes.end());
        if (said.size() > 4 * kMaxServerText)
            said.erase(said.begin(), said.end() - static_cast<long>(2 * kMaxServerText));
    };
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
        if (readOnce(fd, keep) == ReadResult::Closed)
            return OpenFailure{OpenError::InUse, 0, {}, 0, {}, lastLine(said)};
    }
    // The line keeps the server's settings, and a refusal of this client cannot be told from
    // a working connection.
    if (telnet_->comPort() == TelnetCodec::ComPort::Refused)
        reportError("COM-port control refused by the server", EPROTONOSUPPORT);
    return std::nullopt;
}

bool CNetworkChannel::start() {
    if (stopRequested_ || monitor_.joinable() || !session_)
        return false;
    int fd = -1;
    {
        const std::lock_guard guard(lock_);
        fd = socketFd_;
    }
    if (fd < 0)
        return false;
    // What arrived while nothing monitored the port is stale, here and, over RFC 2217, in the
    // server; dropped here rather than by the monitor, so that anything sent after start()
    // returns is read. An end of the connection seen here is seen again by the monitor.
    const auto drop = [](std::vector<std::uint8_t>) {};
    while (readOnce(fd, drop) == ReadResult::Data) {
    }
    if (telnet_ && telnet_->comPort() == TelnetCodec::ComPort::Configured)
        purgeServer(fd);
    try {
        monitor_ = std::thread(&CNetworkChannel::monitor, this, session_, fd);
    } catch (const std::system_error& failure) {
        reportError("pthread_create()", failure.code().value());
        return false;
    }
    return true;
}

// Has the server drop what the line has sent and waits until it says it has, which is when bytes
// from the line are kept again; what arrives meanwhile was sent before the purge.
void CNetworkChannel::purgeServer(int fd) {
    const std::size_t answersBefore = telnet_->purgeAnswers();
    std::vector<std::uint8_t> purge;
    TelnetCodec::appendPurge(telnet::PurgeBuffers::FromLine, purge);
    sendAll(fd, purge);
    const auto deadline = Clock::now() + timeouts_.connect;
    while (telnet_->purgeAnswers() == answersBefore) {
        std::array<pollfd, 1> wait{{{fd, POLLIN, 0}}};
        const int ready = pollFor(wait, remainingMs(deadline));
        if (ready <= 0) {
            reportError("PURGE-DATA", ready == 0 ? ETIMEDOUT : errno);
            return;
        }
        if (readOnce(fd, [](std::vector<std::uint8_t>) {}) == ReadResult::Closed)
            return;
    }
}

void CNetworkChannel::queueWrite(std::span<const std::uint8_t> bytes) {
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

void CNetworkChannel::stop() {
    stopRequested_ = true;
    if (session_)
        session_->ended = true;
    shutdownEvent_.signal();
}

bool CNetworkChannel::holdsPort() const {
    const std::lock_guard guard(lock_);
    return socketFd_ >= 0;
}

// Joining cannot deadlock: the monitor never waits for the window thread, and post() never
// blocks.
void CNetworkChannel::endMonitor() {
    if (session_)
        session_->ended = true;
    shutdownEvent_.signal();
    if (monitor_.joinable())
        monitor_.join();
}

// Called by the window thread with no monitor running, or by the monitor as it ends. A
// connection the server has ended needs no goodbye.
void CNetworkChannel::closeSocket(bool serverGone) {
    int fd = -1;
    {
        const std::lock_guard guard(lock_);
        fd = std::exchange(socketFd_, -1);
    }
    if (fd < 0)
        return;
    if (serverGone)
        ::close(fd);
    else
        closeGracefully(fd);
}

// --- monitor thread --------------------------------------------------------------------------

void CNetworkChannel::monitor(const std::shared_ptr<Session>& session, int fd) {
    const MonitorEnd end = monitorLoop(session, fd);
    closeSocket(end == MonitorEnd::PortLost);
    if (end == MonitorEnd::PortLost) {
        windowThread_.post([session] {
            if (session->ended)
                return;
            session->ended = true;
            session->listener->onSerialPortLost(session->port);
        });
    }
}

CNetworkChannel::MonitorEnd CNetworkChannel::monitorLoop(const std::shared_ptr<Session>& session,
                                                         int fd) {
    const short socketEvents = (session->eventMask & kReceiveCharEvent) != 0 ? POLLIN : 0;
    for (;;) {
        // Past the bound the socket is left unread until the window thread has caught up; a
        // failed connection is still reported by poll().
        bool behind = session->unhandledBytes.load() >= kMaxUnhandledBytes;
        if (behind) {
            session->caughtUp.reset();
            behind = session->unhandledBytes.load() >= kMaxUnhandledBytes;
        }
        std::array<pollfd, 4> waits{
            {{shutdownEvent_.fd(), POLLIN, 0},
             {writeRequestEvent_.fd(), POLLIN, 0},
             {fd, behind ? short{0} : socketEvents, 0},
             {session->caughtUp.fd(), behind ? short{POLLIN} : short{0}, 0}}};
        if (pollFor(waits, -1) < 0) {
            reportError("poll()", errno);
            return MonitorEnd::PortLost;
        }
        // Shutdown, then a write request, then the socket; one frame or one read per pass.
        if (waits[0].revents != 0)
            return MonitorEnd::Shutdown;
        if (waits[1].revents != 0) {
            writeNextFrame(session, fd);
            continue;
        }
        const short socketState = waits[2].revents;
        if ((socketState & POLLIN) != 0) {
            if (readAndDeliver(session, fd) == ReadResult::Closed)
                return MonitorEnd::PortLost;
            continue;
        }
        if ((socketState & (POLLHUP | POLLERR | POLLNVAL)) != 0)
            return MonitorEnd::PortLost;
    }
}

// One read from the socket; over RFC 2217 the Telnet commands are taken out and answered, and
// what remains goes to `take`.
CNetworkChannel::ReadResult CNetworkChannel::readOnce(
    int fd, const std::function<void(std::vector<std::uint8_t>)>& take) {
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
            reportError("recv()", errno);
        return ReadResult::Closed;
    }
    const std::span<const std::uint8_t> received(buffer.data(), static_cast<std::size_t>(count));
    if (!telnet_) {
        take(std::vector<std::uint8_t>(received.begin(), received.end()));
        return ReadResult::Data;
    }
    std::vector<std::uint8_t> data;
    std::vector<std::uint8_t> reply;
    telnet_->receive(received, data, reply);
    if (!reply.empty())
        sendAll(fd, reply);
    if (!data.empty())
        take(std::move(data));
    return ReadResult::Data;
}

CNetworkChannel::ReadResult CNetworkChannel::readAndDeliver(const std::shared_ptr<Session>& session,
                                                            int fd) {
    return readOnce(fd,
                    [&](std::vector<std::uint8_t> bytes) { deliver(session, std::move(bytes)); });
}

void CNetworkChannel::writeNextFrame(const std::shared_ptr<Session>& session, int fd) {
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
    // What has reached the socket is handed over first, up to the bound; an end of the
    // connection found here is found again by the monitor's next poll.
    while (session->unhandledBytes.load() < kMaxUnhandledBytes &&
           readAndDeliver(session, fd) == ReadResult::Data) {
    }
    std::vector<std::uint8_t> out;
    if (telnet_) {
        // The server drops what the line sent and it has not passed on; the frame before this
        // one, on its way to the line, is left alone.
        TelnetCodec::appendPurge(telnet::PurgeBuffers::FromLine, out);
        TelnetCodec::appendData(frame, out);
    } else {
        out = std::move(frame);
    }
    sendAll(fd, out);
    windowThread_.post([session] {
        if (!session->ended)
            session->listener->onSerialTxEmpty(session->port);
    });
}

// Sends every byte, waiting for room up to the write timeouts or until shutdown; a failure is
// reported and the rest dropped (a failed connection then ends the monitor through poll()).
void CNetworkChannel::sendAll(int fd, std::span<const std::uint8_t> bytes) const {
    const auto deadline =
        Clock::now() + kWriteTimeoutConstant +
        kWriteTimeoutPerByte * static_cast<std::chrono::milliseconds::rep>(bytes.size());
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t count =
            ::send(fd, bytes.data() + sent, bytes.size() - sent, MSG_NOSIGNAL | MSG_DONTWAIT);
        if (count > 0) {
            sent += static_cast<std::size_t>(count);
            continue;
        }
        if (count < 0 && errno == EINTR)
            continue;
        if (count < 0 && errno != EAGAIN && errno != EWOULDBLOCK) {
            reportError("send()", errno);
            return;
        }
        const int timeoutMs = remainingMs(deadline);
        if (timeoutMs <= 0) {
            reportError("send()", ETIMEDOUT);
            return;
        }
        std::array<pollfd, 2> waits{{{shutdownEvent_.fd(), POLLIN, 0}, {fd, POLLOUT, 0}}};
        if (pollFor(waits, timeoutMs) < 0) {
            reportError("poll()", errno);
            return;
        }
        if (waits[0].revents != 0)
            return;  // shutting down: the rest is abandoned
    }
}

void CNetworkChannel::deliver(const std::shared_ptr<Session>& session,
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
