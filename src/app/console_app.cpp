// SPDX-License-Identifier: MIT
#include "app/console_app.h"

#include <QCommandLineParser>
#include <cstdio>
#include <filesystem>

#include "address/sg_ini_location.h"
#include "app/console_dlg.h"
#include "app/port_return_watch.h"
#include "app/serial_log.h"
#include "files/atomic_save.h"
#include "files/settings_dirs.h"
#include "framework/qt_window_services.h"
#include "link/port_channel.h"
#include "link/port_map.h"

namespace krx {

CConsoleApp::CConsoleApp(int& argc, char** argv) : QApplication(argc, argv) {
    // Wayland desktops match the window to its menu entry and icon by this name.
    setDesktopFileName(QStringLiteral(KRX_APP_ID));
    setApplicationName(QStringLiteral("krx-vtp-sg"));
    setApplicationVersion(QStringLiteral(KRX_VERSION));
}

std::optional<int> CConsoleApp::parseArguments() {
    QCommandLineParser parser;
    parser.setApplicationDescription(
        QStringLiteral("Console of the KRX-VTP HDMI 2.0 test-signal generator."));
    const QCommandLineOption help = parser.addHelpOption();
    const QCommandLineOption version = parser.addVersionOption();
    const QCommandLineOption log(
        QStringLiteral("log"),
        QStringLiteral(
            "Append every frame sent and received to FILE as JSON Lines, emptied first."),
        QStringLiteral("FILE"));
    parser.addOption(log);
    if (!parser.parse(arguments())) {
        std::fprintf(stderr, "krx-vtp-sg: %s\n", qPrintable(parser.errorText()));
        return 1;
    }
    if (!parser.positionalArguments().isEmpty()) {
        std::fprintf(stderr, "krx-vtp-sg: unexpected argument %s\n",
                     qPrintable(parser.positionalArguments().front()));
        return 1;
    }
    if (parser.isSet(help) || parser.isSet(QStringLiteral("help-all"))) {
        std::fputs(qPrintable(parser.helpText()), stdout);
        return 0;
    }
    if (parser.isSet(version)) {
        std::printf("krx-vtp-sg %s\n", KRX_VERSION);
        return 0;
    }
    if (parser.isSet(log)) {
        if (const std::string error = log_.open(parser.value(log).toStdString()); !error.empty()) {
            std::fprintf(stderr, "krx-vtp-sg: %s\n", error.c_str());
            return 1;
        }
    }
    return std::nullopt;
}

bool CConsoleApp::initInstance() {
    QtWindowServices services;

    // Ports and the address book are looked up beside the executable first (COMn -> ports/COMn,
    // a device or a URL file), then in the user's settings folder, where an installed program
    // keeps them.
    const std::filesystem::path executableDir(applicationDirPath().toStdString());
    const SettingsEnvironment environment = SettingsEnvironment::fromProcess();
    const PortsDirectories portsDirs =
        portsDirectories(executableDir, userSettingsDirectory(environment));
    CPortChannel channel(services, portsDirs);
    // A lost port is waited for where its ports entry or device would come back.
    CPortReturnWatch returnWatch(portsDirs);
    // Failures after a port has opened are not shown to the operator; they go to the log only.
    channel.setErrorReporter(
        [](const std::string& text) { qCDebug(serialLog, "%s", text.c_str()); });

    {
        CConsoleDlg window(services, channel, locateSgIni(executableDir, environment, probePath));
        window.connection().setReturnWatch(&returnWatch);
        if (log_.isOpen())
            window.logTrafficTo(log_);
        services.runModal(window);
    }  // the window stops the channel before the channel itself goes away
    return false;
}

}  // namespace krx
