// SPDX-License-Identifier: MIT
#include "cli/programming.h"

#include "cli/boardoptions.h"
#include "cli/commandlog.h"
#include "cli/progressbar.h"
#include "usb/chipprogram.h"
#include "usb/chipreading.h"
#include "usb/deviceid.h"

namespace {
std::vector<quint8> registersOf(const ProgramFromChip& how) {
    if (!how.registers.empty())
        return how.registers;
    return std::vector<quint8>(SafeWriteOrder.begin(), SafeWriteOrder.end());
}

// The log's entry for an adapter; null without --log.
CommandLog::Entry* logEntry(const CliContext& cli, const ListedDevice& adapter) {
    if (!cli.log)
        return nullptr;
    CommandLog::Entry& entry = cli.log->add();
    entry.adapter = deviceIdentification(adapter.info);
    return &entry;
}

// Writes and verifies on the open adapter; the differences a verify found are listed on stdout
// unless --json keeps it for the document.
bool program(AdapterConnection& c, const RegisterImage& image, const ProgramFromChip& how,
             const CliContext& cli, CommandLog::Entry* logged, QString& error) {
    const ProgramOutcome outcome = programRegisters(c, image, registersOf(how), how.verify);
    if (logged != nullptr) {
        for (quint8 address : outcome.written)
            logged->written.emplace_back(address, image[address]);
        if (outcome.written.size() == registersOf(how).size())
            logged->verify = !how.verify ? "skipped" : outcome.ok ? "passed" : "failed";
    }
    if (!how.json) {
        for (const RegisterDifference& d : outcome.differences)
            cli.out << QString::asprintf("0x%02X: wrote 0x%02X, read back 0x%02X", d.address,
                                         d.expected, d.read)
                    << Qt::endl;
    }
    error = outcome.error;
    return outcome.ok;
}

void noteProgrammed(const ProgramFromChip& how) {
    if (how.programmedNote != nullptr)
        *how.programmedNote << "Programmed the chip." << Qt::endl;
}

// Ends a command: its log lines go out with the exit code. A log that cannot be written turns a
// success into a failure, for the record it promised is missing.
int logged(const CliContext& cli, int code) {
    if (!cli.log)
        return code;
    QString reason;
    if (!cli.log->finish(code, reason)) {
        cli.fail(ExitCode::Failure, QStringLiteral("--log: ") + reason);
        return code == ExitCode::Done ? ExitCode::Failure : code;
    }
    return code;
}
}  // namespace

int programImage(const CliContext& cli, const AdapterOptions& adapters, const ProgramFromChip& how,
                 const RegisterImage& image, const ProgrammedReport& report) {
    if (cli.log && !how.file.isEmpty())
        cli.log->setFile(how.file);
    // Refused before any adapter is opened: nothing reaches the chip.
    if (std::optional<int> refused =
            refuseBrokenRules(image, how.referenceHz, how.board, how.force, cli, !how.json))
        return logged(cli, *refused);
    ProgressBar bar(cli.err, cli.env.stderrIsTerminal);
    return logged(
        cli, runOnAdapters(cli, adapters, &bar,
                           [&](AdapterConnection& c, const ListedDevice& adapter, QString& text) {
                               const bool ok =
                                   program(c, image, how, cli, logEntry(cli, adapter), text);
                               bar.finish();
                               if (ok && report)
                                   report(c, adapter);
                               else if (ok)
                                   noteProgrammed(how);
                               return ok;
                           }));
}

int programFromChip(const CliContext& cli, const AdapterOptions& adapters,
                    const ProgramFromChip& how, const ConfigurationChange& change) {
    ProgressBar bar(cli.err, cli.env.stderrIsTerminal);
    std::optional<int> stopped;
    const int code = runOnAdapters(
        cli, adapters, &bar, [&](AdapterConnection& c, const ListedDevice& adapter, QString& text) {
            CommandLog::Entry* const entry = logEntry(cli, adapter);
            RegisterImage image;
            const bool read = readWholeChip(c, image, "reading the chip", text);
            bar.finish();
            if (!read)
                return false;
            stopped = change(image);
            if (!stopped)
                stopped =
                    refuseBrokenRules(image, how.referenceHz, how.board, how.force, cli, !how.json);
            if (stopped)
                return true;  // reported; nothing is written
            const bool ok = program(c, image, how, cli, entry, text);
            bar.finish();
            if (ok)
                noteProgrammed(how);
            return ok;
        });
    return logged(cli, stopped ? *stopped : code);
}
