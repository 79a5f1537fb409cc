// SPDX-License-Identifier: MIT
#include "cli/programming.h"

#include "cli/boardoptions.h"
#include "cli/progressbar.h"
#include "usb/chipprogram.h"
#include "usb/chipreading.h"

#include <vector>

bool programChip(AdapterConnection& c, const RegisterImage& image, bool verify,
                 bool listDifferences, const CliContext& cli, QString& error) {
    const ProgramResult written = writeConfiguration(c, image);
    if (!written.ok) {
        error = writeFailureText(written.failedRegister, written.error);
        return false;
    }
    if (!verify)
        return true;
    RegisterImage readBack;
    if (!readWholeChip(c, readBack, "reading back", error))
        return false;
    const std::vector<RegisterDifference> differences = compareConfiguration(image, readBack);
    for (const RegisterDifference& d : differences) {
        if (listDifferences)
            cli.out << QString::asprintf("0x%02X: wrote 0x%02X, read back 0x%02X", d.address,
                                         d.expected, d.read)
                    << Qt::endl;
    }
    if (!differences.empty()) {
        error = verifyFailureText(differences.size());
        return false;
    }
    return true;
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
            const bool ok = programChip(c, image, how.verify, !how.json, cli, text);
            bar.finish();
            if (ok && how.programmedNote != nullptr)
                *how.programmedNote << "Programmed the chip." << Qt::endl;
            return ok;
        });
    return stopped ? *stopped : code;
}
