// SPDX-License-Identifier: MIT
#include "cli/commandlog.h"

#include "cli/context.h"
#include "common/printabletext.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>

namespace {
const QCommandLineOption LogOption(
    "log", "Appends one JSON line of what was written to FILE (production records).", "FILE");
}  // namespace

bool CommandLog::open(const QString& path, QString& reason) {
    if (path.isEmpty()) {
        reason = QStringLiteral("the log file's name is empty");
        return false;
    }
    file.setFileName(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Append)) {
        reason =
            QStringLiteral("%1 cannot be written: %2").arg(printableText(path), file.errorString());
        return false;
    }
    return true;
}

void CommandLog::setCommand(const QStringList& arguments) {
    command_ = arguments.value(0);
    request_ = arguments.mid(1);
}

bool CommandLog::finish(int exitCode, QString& reason) {
    if (entries_.empty())
        entries_.emplace_back();
    const QString time = QDateTime::currentDateTimeUtc().toString(Qt::ISODateWithMs);
    QByteArray lines;
    for (const Entry& e : entries_) {
        QJsonObject registers;
        for (const auto& [address, value] : e.written)
            registers.insert(QString::asprintf("0x%02X", address),
                             QString::asprintf("0x%02X", value));
        QJsonObject line{{"time", time},
                         {"adapter", e.adapter.isEmpty() ? QJsonValue() : QJsonValue(e.adapter)},
                         {"command", command_},
                         {"registers", registers},
                         {"verify", e.verify},
                         {"exit", exitCode}};
        if (file_.isEmpty())
            line.insert("request", QJsonArray::fromStringList(request_));
        else
            line.insert("file", file_);
        lines += QJsonDocument(line).toJson(QJsonDocument::Compact) + '\n';
    }
    entries_.clear();
    // One write of whole lines, so that lines of commands logging at once do not interleave.
    if (file.write(lines) != lines.size() || !file.flush()) {
        reason = QStringLiteral("%1 could not be written: %2")
                     .arg(printableText(file.fileName()), file.errorString());
        return false;
    }
    return true;
}

void addLogOption(QCommandLineParser& parser) {
    parser.addOption(LogOption);
}

std::optional<int> openLogIfAsked(const QCommandLineParser& parser, const CliContext& cli) {
    // Only a command that added the option can have been given it.
    if (!parser.optionNames().contains(LogOption.names().first()))
        return std::nullopt;
    auto log = std::make_shared<CommandLog>();
    QString reason;
    if (!log->open(parser.value(LogOption), reason))
        return cli.fail(ExitCode::Usage, QStringLiteral("--log: ") + reason);
    log->setCommand(cli.arguments);
    cli.log = log;
    return std::nullopt;
}
