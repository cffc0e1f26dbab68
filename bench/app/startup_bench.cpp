// SPDX-License-Identifier: MIT
// Start-up cost of the console's main window against a bare QDialog, run by hand.
//
// The binary re-executes itself once per mode and repetition, so that every run pays a fresh
// process start, library loading and QApplication set-up. Each child builds its window the way
// the console does, runs it modally through the framework services and, once the first paint has
// been handled, reports the time since the parent launched it and its peak RSS (ru_maxrss). The
// parent interleaves the two modes, takes the median of each and prints the ratios.
//
//   startup_bench [runs]     (default 15 runs per mode; the offscreen platform is used)
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <QApplication>
#include <QDialog>
#include <QEvent>
#include <QFontMetrics>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <sstream>
#include <string>
#include <vector>

#include "app/console_dlg.h"
#include "bench_main.h"
#include "framework/qt_window_services.h"

extern char** environ;

namespace {

std::int64_t monotonicNs() {
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

// The port stays closed during start-up, so the window needs a channel that is never opened.
class ClosedChannel final : public krx::SerialChannel {
  public:
    bool open(krx::SerialListener&, int, int, char, int, int, std::uint32_t,
              std::uint32_t) override {
        return false;
    }
    bool start() override { return false; }
    void queueWrite(std::span<const std::uint8_t>) override {}
    void stop() override {}
    bool holdsPort() const override { return false; }
    std::optional<krx::OpenFailure> lastOpenFailure() const override { return std::nullopt; }
};

// Reports once the first paint of `window` has been handled, then closes it.
class FirstPaintProbe final : public QObject {
  public:
    FirstPaintProbe(QDialog& window, std::int64_t launchNs) : window_(window), launchNs_(launchNs) {
        window.installEventFilter(this);
    }
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::Paint && !seen_) {
            seen_ = true;
            QTimer::singleShot(0, this, [this] { report(); });
        }
        return QObject::eventFilter(watched, event);
    }

  private:
    void report() {
        const std::int64_t elapsedUs = (monotonicNs() - launchNs_) / 1000;
        rusage usage{};
        getrusage(RUSAGE_SELF, &usage);
        std::printf("%lld %ld\n", static_cast<long long>(elapsedUs), usage.ru_maxrss);
        std::fflush(stdout);
        window_.done(0);
    }
    QDialog& window_;
    std::int64_t launchNs_;
    bool seen_ = false;
};

int runChild(const std::string& mode, std::int64_t launchNs, int argc, char** argv) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication application(argc, argv);
    krx::QtWindowServices services;
    if (mode == "console") {
        ClosedChannel channel;
        const QTemporaryDir bookDir;  // SG.ini is created there, as beside a fresh executable
        krx::CConsoleDlg window(services, channel, bookDir.path().toStdString());
        FirstPaintProbe probe(window, launchNs);
        services.runModal(window);
    } else {
        // The same title and the same 443 x 378 dialog-unit size as the main window.
        QDialog window;
        window.setWindowTitle(QStringLiteral("KRX-VTP-SG V1.0"));
        const QFontMetrics metrics = window.fontMetrics();
        window.setFixedSize((443 * metrics.averageCharWidth() + 2) / 4,
                            (378 * metrics.height() + 4) / 8);
        FirstPaintProbe probe(window, launchNs);
        services.runModal(window);
    }
    return 0;
}

struct Sample {
    double startupMs = 0;
    double cpuMs = 0;  // user + system time of the whole child, steadier on a loaded machine
    double rssKb = 0;
};

// Runs one child and reads its report; nothing when it failed.
bool runOnce(const char* self, const char* mode, Sample& sample) {
    int pipeFds[2];
    if (pipe(pipeFds) != 0)
        return false;
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, pipeFds[1], STDOUT_FILENO);
    posix_spawn_file_actions_addclose(&actions, pipeFds[0]);
    const std::string launch = std::to_string(monotonicNs());
    std::string childFlag = "--child";
    std::string modeArg = mode;
    std::string selfArg = self;
    std::string launchArg = launch;
    char* childArgv[] = {selfArg.data(), childFlag.data(), modeArg.data(), launchArg.data(),
                         nullptr};
    pid_t pid = 0;
    const int spawned = posix_spawn(&pid, self, &actions, nullptr, childArgv, environ);
    posix_spawn_file_actions_destroy(&actions);
    close(pipeFds[1]);
    if (spawned != 0) {
        close(pipeFds[0]);
        return false;
    }
    std::string output;
    char buffer[256];
    ssize_t n = 0;
    while ((n = read(pipeFds[0], buffer, sizeof buffer)) > 0)
        output.append(buffer, static_cast<std::size_t>(n));
    close(pipeFds[0]);
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    long long elapsedUs = 0;
    long rssKb = 0;
    std::istringstream figures(output);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0 || !(figures >> elapsedUs >> rssKb))
        return false;
    sample.startupMs = static_cast<double>(elapsedUs) / 1000.0;
    sample.rssKb = static_cast<double>(rssKb);
    auto ms = [](const timeval& t) {
        return static_cast<double>(t.tv_sec) * 1000.0 + static_cast<double>(t.tv_usec) / 1000.0;
    };
    sample.cpuMs = ms(usage.ru_utime) + ms(usage.ru_stime);
    return true;
}

double median(std::vector<double> values) {
    std::sort(values.begin(), values.end());
    const std::size_t mid = values.size() / 2;
    return values.size() % 2 == 1 ? values[mid] : (values[mid - 1] + values[mid]) / 2.0;
}

}  // namespace

int main(int argc, char** argv) {
    if (argc >= 4 && std::strcmp(argv[1], "--child") == 0)
        return runChild(argv[2], std::strtoll(argv[3], nullptr, 10), argc, argv);

    const int runs = krx::bench::repetitionsArgument(argc, argv, 15);
    const char* modes[] = {"bare", "console"};
    std::vector<double> startup[2];
    std::vector<double> cpu[2];
    std::vector<double> rss[2];
    for (int run = 0; run < runs; ++run) {
        for (int m = 0; m < 2; ++m) {
            Sample sample;
            if (!runOnce(argv[0], modes[m], sample)) {
                std::fprintf(stderr, "child run failed (%s)\n", modes[m]);
                return 1;
            }
            startup[m].push_back(sample.startupMs);
            cpu[m].push_back(sample.cpuMs);
            rss[m].push_back(sample.rssKb);
        }
    }
    std::printf("%d runs per mode, offscreen platform, medians\n", runs);
    std::printf("%-10s %14s %14s %14s\n", "mode", "first paint ms", "CPU ms", "peak RSS KiB");
    for (int m = 0; m < 2; ++m)
        std::printf("%-10s %14.1f %14.1f %14.0f\n", modes[m], median(startup[m]), median(cpu[m]),
                    median(rss[m]));
    std::printf(
        "ratio      %14.2f %14.2f %14.2f   (goal: first paint at most 1.80, RSS at most 1.30)\n",
        median(startup[1]) / median(startup[0]), median(cpu[1]) / median(cpu[0]),
        median(rss[1]) / median(rss[0]));
    return 0;
}
