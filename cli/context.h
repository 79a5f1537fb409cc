// SPDX-License-Identifier: MIT
#pragma once

#include "cli/exitcodes.h"

#include <QString>
#include <QTextStream>

class UsbBackend;

// What every command works with.
struct CliContext {
    UsbBackend& usb;
    QTextStream& out;
    QTextStream& err;
    CliEnvironment env;

    // Prints the one "Error: " line of a failure and returns `code`.
    int fail(int code, const QString& message) const {
        err << (message.startsWith(QLatin1String("Error: ")) ? message
                                                             : QStringLiteral("Error: ") + message)
            << Qt::endl;
        return code;
    }
};
