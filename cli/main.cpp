// SPDX-License-Identifier: MIT
// vantrel-cli: the command-line companion of Vantrel, on the same widget-free core.

#include "cli/cli.h"
#include "usb/libusbbackend.h"

#include <QCoreApplication>
#include <QTextStream>

#include <unistd.h>

#include <cstdio>

int main(int argc, char* argv[]) {
    QCoreApplication app(argc, argv);
    QTextStream out(stdout);
    QTextStream err(stderr);
    LibUsbBackend usb;
    CliEnvironment env;
    env.stderrIsTerminal = isatty(STDERR_FILENO) == 1;
    const int code = runCli(app.arguments(), usb, out, err, env);
    out.flush();
    err.flush();
    return code;
}
