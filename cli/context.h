// SPDX-License-Identifier: MIT
#pragma once

#include "cli/exitcodes.h"
#include "common/printabletext.h"

#include <QString>
#include <QTextStream>

class UsbBackend;

// What every command works with.
struct CliContext {
    UsbBackend& usb;
    QTextStream& out;
    QTextStream& err;
    CliEnvironment env;

    // Prints the one "Error: " line of a failure and returns `code`. The message may echo
    // arguments and file names: made printable, it stays one line that cannot move the cursor.
    int fail(int code, const QString& message) const {
        const QString line = message.startsWith(QLatin1String("Error: "))
                                 ? message
                                 : QStringLiteral("Error: ") + message;
        err << printableText(line) << Qt::endl;
        return code;
    }
};
