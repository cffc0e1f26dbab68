// SPDX-License-Identifier: MIT
#include "serial_test_support.h"

#include <fcntl.h>
#include <poll.h>
#include <stdlib.h>
#include <sys/file.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <iterator>
#include <stdexcept>
#include <system_error>

namespace krx::test {

namespace {

[[noreturn]] void fail(const char* call) {
    throw std::system_error(errno, std::generic_category(), call);
}

// The most the master side takes per read: whatever is there, up to this.
constexpr std::size_t kChunkBytes = 4096;

}  // namespace

// --- PtyPair ---------------------------------------------------------------------------------

PtyPair::PtyPair() : master_(::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK)) {
    if (master_ < 0)
        fail("posix_openpt()");
    char name[128] = {};
    if (::grantpt(master_) != 0 || ::unlockpt(master_) != 0 ||
        ::ptsname_r(master_, name, sizeof name) != 0) {
        ::close(master_);
        fail("ptsname_r()");
    }
    slavePath_ = name;
}

PtyPair::~PtyPair() {
    hangUp();
}

void PtyPair::hangUp() {
    if (master_ >= 0)
        ::close(master_);
    master_ = -1;
}

void PtyPair::send(std::span<const std::uint8_t> bytes) const {
    if (sendWhileTaken(bytes, kSafetyTimeout) < bytes.size())
        throw std::runtime_error("the channel stopped reading");
}

std::size_t PtyPair::sendWhileTaken(std::span<const std::uint8_t> bytes,
                                    std::chrono::milliseconds stall) const {
    std::size_t sent = 0;
    while (sent < bytes.size()) {
        const ssize_t count = ::write(master_, bytes.data() + sent, bytes.size() - sent);
        if (count > 0) {
            sent += static_cast<std::size_t>(count);
            continue;
        }
        if (count < 0 && errno != EAGAIN && errno != EINTR)
            fail("write()");
        pollfd wait{master_, POLLOUT, 0};
        if (::poll(&wait, 1, static_cast<int>(stall.count())) == 0)
            break;
    }
    return sent;
}

std::vector<std::uint8_t> PtyPair::receive(std::size_t count) const {
    std::vector<std::uint8_t> received;
    while (received.size() < count) {
        if (!testing::waitReadable(master_))
            break;
        std::uint8_t chunk[kChunkBytes];
        const ssize_t got = ::read(master_, chunk, std::min(sizeof chunk, count - received.size()));
        if (got > 0)
            received.insert(received.end(), chunk, chunk + got);
        else if (got == 0 || (errno != EAGAIN && errno != EINTR))
            break;  // EIO: the channel's side is closed
    }
    return received;
}

// --- PortsDir --------------------------------------------------------------------------------

std::filesystem::path PortsDir::entry(int port) const {
    return path() / ("COM" + std::to_string(port));
}

void PortsDir::link(int port, const std::filesystem::path& target) const {
    std::filesystem::create_symlink(target, entry(port));
}

// --- QueueExecutor ---------------------------------------------------------------------------

void QueueExecutor::post(std::function<void()> task) {
    {
        const std::lock_guard guard(mutex_);
        tasks_.push_back(std::move(task));
    }
    queued_.notify_all();
}

bool QueueExecutor::runOne(std::chrono::steady_clock::time_point deadline) {
    std::function<void()> task;
    {
        std::unique_lock guard(mutex_);
        if (!queued_.wait_until(guard, deadline, [this] { return !tasks_.empty(); }))
            return false;
        task = std::move(tasks_.front());
        tasks_.pop_front();
    }
    task();
    return true;
}

bool QueueExecutor::runUntil(const std::function<bool()>& done, std::chrono::milliseconds timeout) {
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!done()) {
        if (!runOne(deadline))
            return done();
    }
    return true;
}

std::size_t QueueExecutor::runFor(std::chrono::milliseconds duration) {
    const auto deadline = std::chrono::steady_clock::now() + duration;
    std::size_t ran = 0;
    while (runOne(deadline))
        ++ran;
    return ran;
}

std::size_t QueueExecutor::queued() {
    const std::lock_guard guard(mutex_);
    return tasks_.size();
}

bool QueueExecutor::waitUntilQueued(std::size_t count, std::chrono::milliseconds timeout) {
    std::unique_lock guard(mutex_);
    return queued_.wait_for(guard, timeout, [this, count] { return tasks_.size() >= count; });
}

// --- RecordingListener -----------------------------------------------------------------------

void RecordingListener::onSerialBytes(int port, std::span<const std::uint8_t> run) {
    bytes.insert(bytes.end(), run.begin(), run.end());
    ports.push_back(port);
    ++runs;
    if (onBytes)
        onBytes();
}

void RecordingListener::onSerialTxEmpty(int port) {
    ports.push_back(port);
    ++txEmpty;
}

void RecordingListener::onSerialPortLost(int port) {
    ports.push_back(port);
    ++portLost;
}

// --- /proc -----------------------------------------------------------------------------------

std::set<pid_t> threadIds() {
    std::set<pid_t> ids;
    for (const auto& entry : std::filesystem::directory_iterator("/proc/self/task"))
        ids.insert(static_cast<pid_t>(std::stol(entry.path().filename().string())));
    return ids;
}

std::size_t openDescriptorCount() {
    return static_cast<std::size_t>(
        std::distance(std::filesystem::directory_iterator("/proc/self/fd"), {}));
}

}  // namespace krx::test
