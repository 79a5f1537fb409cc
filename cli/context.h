// SPDX-License-Identifier: MIT
#pragma once

#include "cli/exitcodes.h"
#include "common/printabletext.h"

#include <QString>
#include <QStringList>
#include <QTextStream>

#include <memory>

class CommandLog;
class UsbBackend;

// What every command works with.
struct CliContext {
    UsbBackend& usb;
    QTextStream& out;
    QTextStream& err;
    CliEnvironment env;
    QStringList arguments;  // the command's name and its arguments, as given
    // --log, once a command that programs the chip has opened it (openLogIfAsked).
    mutable std::shared_ptr<CommandLog> log;

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
