// SPDX-License-Identifier: MIT
// Runs the krx-vtp-sim program for tests and benchmarks that need the real process on a real
// pseudo-terminal. Header-only so that both can use it without a library of their own.
#pragma once

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <stdexcept>
#include <string>
#include <vector>

extern char** environ;

namespace krx::testing {

// Starts `binary` with `args` and returns once the simulator has printed its first line (the pty
// it listens on), which it does when the line is ready. The destructor ends it with SIGTERM, which
// lets it remove its link, and reaps it.
class SimProcess {
  public:
    SimProcess(const std::string& binary, const std::vector<std::string>& args) {
        int out[2];
        if (::pipe2(out, O_CLOEXEC) != 0)
            throw std::runtime_error("pipe2 failed");
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_adddup2(&actions, out[1], STDOUT_FILENO);
        std::vector<char*> argv;
        argv.push_back(const_cast<char*>(binary.c_str()));
        for (const std::string& arg : args)
            argv.push_back(const_cast<char*>(arg.c_str()));
        argv.push_back(nullptr);
        const int spawned =
            posix_spawn(&pid_, binary.c_str(), &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        ::close(out[1]);
        if (spawned != 0) {
            ::close(out[0]);
            throw std::runtime_error("cannot start " + binary);
        }
        // Blocks until the first line; end of file means the simulator gave up (bad arguments).
        char c = 0;
        ssize_t got = 0;
        while ((got = ::read(out[0], &c, 1)) == 1 && c != '\n')
            readyLine_ += c;
        ::close(out[0]);
        if (got != 1) {
            terminate();
            throw std::runtime_error("the simulator ended before it was ready");
        }
    }

    ~SimProcess() { terminate(); }

    SimProcess(const SimProcess&) = delete;
    SimProcess& operator=(const SimProcess&) = delete;

    const std::string& readyLine() const { return readyLine_; }
    pid_t pid() const { return pid_; }

  private:
    void terminate() {
        if (pid_ <= 0)
            return;
        ::kill(pid_, SIGTERM);
        int status = 0;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
        pid_ = -1;
    }

    pid_t pid_ = -1;
    std::string readyLine_;
};

}  // namespace krx::testing
