// SPDX-License-Identifier: MIT
// The application object does the whole run; the options only add the traffic log.
#include "app/console_app.h"

int main(int argc, char** argv) {
    krx::CConsoleApp application(argc, argv);
    if (const std::optional<int> status = application.parseArguments())
        return *status;
    application.initInstance();
    return 0;
}
