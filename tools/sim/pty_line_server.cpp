// SPDX-License-Identifier: MIT
#include "pty_line_server.h"

#include <fcntl.h>
#include <poll.h>
#include <pthread.h>
#include <termios.h>
#include <unistd.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <ctime>
#include <system_error>

namespace krx::sim {
namespace {

constexpr std::int64_t kNsPerUs = 1000;
constexpr std::int64_t kNsPerSecond = 1'000'000'000;
// Interrupts the writer's sleep when the server stops.
constexpr int kWakeSignal = SIGUSR2;
// Closing the master discards whatever the console has not read yet, so the line stays up this
// long after its last answer byte: the answer before a hang-up is not lost with it.
constexpr std::int64_t kHangUpGraceUs = 250'000;

std::int64_t monotonicNs() {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    return static_cast<std::int64_t>(now.tv_sec) * kNsPerSecond + now.tv_nsec;
}

std::string systemError(std::string_view what) {
    return std::string(what) + ": " + std::error_code(errno, std::generic_category()).message();
}

void ignoreSignal(int) {}

}  // namespace

PtyLineServer::PtyLineServer(GeneratorLine& line, std::function<void()> onEnd)
    : line_(line), onEnd_(std::move(onEnd)) {}

PtyLineServer::~PtyLineServer() {
    stop();
}

std::string PtyLineServer::open() {
    masterFd_ = posix_openpt(O_RDWR | O_NOCTTY);
    if (masterFd_ < 0)
        return systemError("posix_openpt");
    if (grantpt(masterFd_) != 0 || unlockpt(masterFd_) != 0)
        return systemError("unlocking the pty");
    std::array<char, 128> name{};
    if (ptsname_r(masterFd_, name.data(), name.size()) != 0)
        return systemError("ptsname");
    slavePath_ = name.data();
    slaveFd_ = ::open(slavePath_.c_str(), O_RDWR | O_NOCTTY);
    if (slaveFd_ < 0)
        return systemError("opening " + slavePath_);
    termios settings{};
    if (tcgetattr(slaveFd_, &settings) != 0)
        return systemError("tcgetattr");
    cfmakeraw(&settings);
    settings.c_cflag &= ~static_cast<tcflag_t>(CSTOPB | PARENB | CSIZE);
    settings.c_cflag |= CS8 | CLOCAL | CREAD;
    cfsetispeed(&settings, B115200);
    cfsetospeed(&settings, B115200);
    if (tcsetattr(slaveFd_, TCSANOW, &settings) != 0)
        return systemError("tcsetattr");
    // A console that stops reading must not block the writer: its bytes are then lost, as on a
    // real line whose receiver is not listening.
    if (fcntl(masterFd_, F_SETFL, fcntl(masterFd_, F_GETFL) | O_NONBLOCK) != 0)
        return systemError("fcntl");
    std::array<int, 2> pipe{};
    if (::pipe2(pipe.data(), O_CLOEXEC) != 0)
        return systemError("pipe");
    wakeRead_ = pipe[0];
    wakeWrite_ = pipe[1];
    originNs_ = monotonicNs();
    return {};
}

std::int64_t PtyLineServer::nowUs() const {
    return (monotonicNs() - originNs_) / kNsPerUs;
}

void PtyLineServer::start(std::function<void(const LineEvent&)> onEvent) {
    line_.setObserver(std::move(onEvent));
    struct sigaction action {};
    action.sa_handler = ignoreSignal;  // no SA_RESTART: the writer's sleep returns EINTR
    sigemptyset(&action.sa_mask);
    sigaction(kWakeSignal, &action, nullptr);
    reader_ = std::thread([this] { readLoop(); });
    writer_ = std::thread([this] { writeLoop(); });
}

void PtyLineServer::stop() {
    if (reader_.joinable() || writer_.joinable()) {
        {
            std::lock_guard lock(mutex_);
            stopping_ = true;
        }
        wake_.notify_all();
        const char stopByte = 1;
        [[maybe_unused]] const ssize_t written = ::write(wakeWrite_, &stopByte, 1);
        if (writer_.joinable()) {
            pthread_kill(writer_.native_handle(), kWakeSignal);
            writer_.join();
        }
        if (reader_.joinable())
            reader_.join();
    }
    closeFds();
}

void PtyLineServer::closeFds() {
    for (int* fd : {&masterFd_, &slaveFd_, &wakeRead_, &wakeWrite_}) {
        if (*fd >= 0)
            ::close(*fd);
        *fd = -1;
    }
}

void PtyLineServer::readLoop() {
    std::array<std::uint8_t, 512> buffer{};
    std::array<pollfd, 2> fds = {pollfd{masterFd_, POLLIN, 0}, pollfd{wakeRead_, POLLIN, 0}};
    const auto queueAnswer = [this](const std::vector<TimedByte>& answer) {
        {
            std::lock_guard lock(mutex_);
            for (const TimedByte& byte : answer)
                outgoing_.push_back({byte.timeUs, byte.value, false});
            if (line_.hangUpTimeUs() && !hangUpQueued_) {
                hangUpQueued_ = true;
                outgoing_.push_back({*line_.hangUpTimeUs() + kHangUpGraceUs, 0, true});
            }
        }
        wake_.notify_one();
    };
    while (!stopping_) {
        // While a request is under way, wake when the devices give up on it.
        int timeoutMs = -1;
        if (const std::optional<std::int64_t> deadline = line_.requestDeadlineUs())
            timeoutMs =
                static_cast<int>(std::max<std::int64_t>(0, (*deadline - nowUs() + 999) / 1000));
        const int ready = poll(fds.data(), fds.size(), timeoutMs);
        if (ready < 0) {
            if (errno == EINTR)
                continue;
            break;
        }
        if (ready == 0) {
            queueAnswer(line_.expire(nowUs()));
            continue;
        }
        if (fds[1].revents != 0)
            return;
        if ((fds[0].revents & POLLIN) == 0) {
            if ((fds[0].revents & (POLLHUP | POLLERR | POLLNVAL)) != 0)
                break;
            continue;
        }
        const ssize_t count = ::read(masterFd_, buffer.data(), buffer.size());
        if (count < 0 && (errno == EAGAIN || errno == EINTR))
            continue;
        if (count <= 0)
            break;
        queueAnswer(line_.receive(
            std::span<const std::uint8_t>(buffer.data(), static_cast<std::size_t>(count)),
            nowUs()));
    }
    if (!stopping_ && onEnd_)
        onEnd_();
}

void PtyLineServer::sleepUntilUs(std::int64_t timeUs) const {
    const std::int64_t deadlineNs = originNs_ + timeUs * kNsPerUs;
    const timespec deadline{static_cast<time_t>(deadlineNs / kNsPerSecond),
                            static_cast<long>(deadlineNs % kNsPerSecond)};
    while (!stopping_ &&
           clock_nanosleep(CLOCK_MONOTONIC, TIMER_ABSTIME, &deadline, nullptr) == EINTR) {
    }
}

void PtyLineServer::writeLoop() {
    sigset_t wakeSignal;
    sigemptyset(&wakeSignal);
    sigaddset(&wakeSignal, kWakeSignal);
    pthread_sigmask(SIG_UNBLOCK, &wakeSignal, nullptr);

    std::vector<std::uint8_t> batch;
    while (true) {
        std::int64_t dueUs = 0;
        bool hangUp = false;
        batch.clear();
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return stopping_ || !outgoing_.empty(); });
            if (stopping_)
                return;
            // Bytes due at the same time (an unpaced answer) go out in one write.
            dueUs = outgoing_.front().timeUs;
            hangUp = outgoing_.front().hangUp;
            while (!outgoing_.empty() && !outgoing_.front().hangUp &&
                   outgoing_.front().timeUs == dueUs && !hangUp) {
                batch.push_back(outgoing_.front().value);
                outgoing_.pop_front();
            }
            if (hangUp)
                outgoing_.pop_front();
        }
        sleepUntilUs(dueUs);
        if (stopping_)
            return;
        if (hangUp) {
            if (onEnd_)
                onEnd_();
            return;
        }
        [[maybe_unused]] const ssize_t written = ::write(masterFd_, batch.data(), batch.size());
    }
}

}  // namespace krx::sim
