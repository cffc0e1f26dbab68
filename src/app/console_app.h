// SPDX-License-Identifier: MIT
#pragma once

#include <QApplication>

namespace krx {

// The application: builds the framework services, the serial channel and the main window, runs
// the window modally until the operator closes it, and tears everything down in reverse order.
// Nothing is saved at exit.
class CConsoleApp final : public QApplication {
  public:
    CConsoleApp(int& argc, char** argv);

    // The whole run of the console. Returns false: the application ends when the main window
    // closes.
    bool initInstance();
};

}  // namespace krx
