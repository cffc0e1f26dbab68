// SPDX-License-Identifier: MIT
#include "link/poll_event.h"

#include <sys/eventfd.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <system_error>

namespace krx {

PollEvent::PollEvent() : fd_(::eventfd(0, EFD_CLOEXEC | EFD_NONBLOCK)) {
    if (fd_ < 0)
        throw std::system_error(errno, std::generic_category(), "eventfd()");
}

PollEvent::~PollEvent() {
    ::close(fd_);
}

void PollEvent::signal() const {
    const std::uint64_t one = 1;
    // Cannot fail short of the counter overflowing, which 2^64 signals would take.
    while (::write(fd_, &one, sizeof one) < 0 && errno == EINTR) {
    }
}

void PollEvent::reset() const {
    std::uint64_t count = 0;
    // Non-blocking: EAGAIN means it was not signalled.
    while (::read(fd_, &count, sizeof count) < 0 && errno == EINTR) {
    }
}

}  // namespace krx
