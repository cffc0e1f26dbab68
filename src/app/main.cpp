// SPDX-License-Identifier: MIT
// The console takes no arguments and keeps no settings: the application object does the whole
// run.
#include "app/console_app.h"

int main(int argc, char** argv) {
    krx::CConsoleApp application(argc, argv);
    application.initInstance();
    return 0;
}
