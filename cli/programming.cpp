// SPDX-License-Identifier: MIT
#include "cli/programming.h"

#include "cli/boardoptions.h"
#include "cli/progressbar.h"
#include "usb/chipprogram.h"
#include "usb/chipreading.h"

namespace {
std::vector<quint8> registersOf(const ProgramFromChip& how) {
    if (!how.registers.empty())
        return how.registers;
    return std::vector<quint8>(SafeWriteOrder.begin(), SafeWriteOrder.end());
}

// Writes and verifies on the open adapter; the differences a verify found are listed on stdout
// unless --json keeps it for the document.
bool program(AdapterConnection& c, const RegisterImage& image, const ProgramFromChip& how,
             const CliContext& cli, QString& error) {
    const ProgramOutcome outcome = programRegisters(c, image, registersOf(how), how.verify);
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
}  // namespace

int programImage(const CliContext& cli, const AdapterOptions& adapters, const ProgramFromChip& how,
                 const RegisterImage& image, const ProgrammedReport& report) {
    // Refused before any adapter is opened: nothing reaches the chip.
    if (std::optional<int> refused =
            refuseBrokenRules(image, how.referenceHz, how.board, how.force, cli, !how.json))
        return *refused;
    ProgressBar bar(cli.err, cli.env.stderrIsTerminal);
    return runOnAdapters(cli, adapters, &bar,
                         [&](AdapterConnection& c, const ListedDevice& adapter, QString& text) {
                             const bool ok = program(c, image, how, cli, text);
                             bar.finish();
                             if (ok && report)
                                 report(c, adapter);
                             else if (ok)
                                 noteProgrammed(how);
                             return ok;
                         });
}

int programFromChip(const CliContext& cli, const AdapterOptions& adapters,
                    const ProgramFromChip& how, const ConfigurationChange& change) {
    ProgressBar bar(cli.err, cli.env.stderrIsTerminal);
    std::optional<int> stopped;
    const int code = runOnAdapters(
        cli, adapters, &bar, [&](AdapterConnection& c, const ListedDevice&, QString& text) {
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
            const bool ok = program(c, image, how, cli, text);
            bar.finish();
            if (ok)
                noteProgrammed(how);
            return ok;
        });
    return stopped ? *stopped : code;
}
