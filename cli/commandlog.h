// SPDX-License-Identifier: MIT
#pragma once

#include <QCommandLineParser>
#include <QFile>
#include <QJsonObject>
#include <QString>
#include <QStringList>

#include <memory>
#include <optional>
#include <vector>

struct CliContext;

// --log FILE of the commands that program the chip (write, set, solve --write, plan --write): one
// JSON line per adapter a command worked on, appended, for production records:
// {"time", "adapter", "command", "file" or "request", "registers": {"0x0C": "0x08", ...},
// "verify": "passed"|"failed"|"skipped"|"not run", "exit"}. The file is opened when the command's
// arguments are read, so that a log that cannot be written fails the command before anything
// touches the chip.
class CommandLog {
public:
    // What one adapter saw; an entry without an adapter is a command refused before any.
    struct Entry {
        QString adapter;
        std::vector<std::pair<quint8, quint8>> written;  // register, value, in the order written
        QString verify = QStringLiteral("not run");
    };

    // Opens `path` for appending; false with the reason when it cannot be.
    bool open(const QString& path, QString& reason);
    // The command and its arguments (after the command's name), for "command" and "request";
    // `file`, when the command programs a register file, goes in place of the request.
    void setCommand(const QStringList& arguments);
    void setFile(const QString& file) { file_ = file; }
    Entry& add() { return entries_.emplace_back(); }
    // Appends one line per entry (one for a command that reached no adapter) with the exit code.
    // Returns false with the reason when the lines could not be written.
    bool finish(int exitCode, QString& reason);

private:
    QFile file;
    QString command_;
    QStringList request_;
    QString file_;
    std::vector<Entry> entries_;
};

// Adds --log FILE.
void addLogOption(QCommandLineParser& parser);
// After parsing: opens the log when --log was given. Returns the exit code of a log that cannot
// be written.
std::optional<int> openLogIfAsked(const QCommandLineParser& parser, const CliContext& cli);
