// SPDX-License-Identifier: MIT
#pragma once

#include <QApplication>
#include <optional>

#include "link/traffic_record.h"

namespace krx {

// The application: builds the framework services, the serial channel and the main window, runs
// the window modally until the operator closes it, and tears everything down in reverse order.
// Nothing is saved at exit.
class CConsoleApp final : public QApplication {
  public:
    CConsoleApp(int& argc, char** argv);

    // Reads the command line (--log FILE, --help, --version; the toolkit's own options are gone
    // by then). Returns the exit status when the run ends here: 0 after --help or --version, 1
    // after a wrong option or a log file that cannot be written (emptied and locked), said on
    // standard error.
    std::optional<int> parseArguments();

    // The whole run of the console. Returns false: the application ends when the main window
    // closes.
    bool initInstance();

  private:
    TrafficLogFile log_;
};

}  // namespace krx
