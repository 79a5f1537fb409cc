// SPDX-License-Identifier: MIT
#include "cli/registerfiles.h"

#include "common/printabletext.h"
#include "files/registerfilestore.h"

#include <QStringList>

#include <pthread.h>
#include <signal.h>

std::optional<int> loadInputFile(const QString& path, const CliContext& cli,
                                 RegisterFileContents& contents) {
    if (path.isEmpty())
        return cli.fail(ExitCode::Usage, QStringLiteral("the register file's name is empty"));
    QString reason;
    if (!readRegisterFileAt(path, contents, reason))
        return cli.fail(
            ExitCode::Usage,
            QStringLiteral("%1 could not be loaded: %2").arg(printableText(path), reason));
    return std::nullopt;
}

std::optional<int> loadFileArgument(const QStringList& positional, const char* command,
                                    const CliContext& cli, RegisterFileContents& contents) {
    if (positional.size() != 1)
        return cli.fail(ExitCode::Usage,
                        QStringLiteral("%1 takes one register file").arg(QLatin1String(command)));
    return loadInputFile(positional.first(), cli, contents);
}

std::optional<int> checkOutputFile(const QString& path, const CliContext& cli) {
    if (path.isEmpty())
        return cli.fail(ExitCode::Usage, QStringLiteral("the output file's name is empty"));
    QString reason;
    if (!mayReplaceWithRegisterFile(path, reason))
        return cli.fail(ExitCode::Usage, QStringLiteral("%1 %2").arg(printableText(path), reason));
    return std::nullopt;
}

namespace {
// Holds the signals that end a command from the keyboard or a supervisor until it goes out of
// scope; one that came meanwhile is delivered then.
class InterruptionsHeld {
public:
    InterruptionsHeld() {
        sigset_t held;
        sigemptyset(&held);
        for (int signal : {SIGINT, SIGTERM, SIGHUP})
            sigaddset(&held, signal);
        pthread_sigmask(SIG_BLOCK, &held, &previous_);
    }
    ~InterruptionsHeld() { pthread_sigmask(SIG_SETMASK, &previous_, nullptr); }
    InterruptionsHeld(const InterruptionsHeld&) = delete;
    InterruptionsHeld& operator=(const InterruptionsHeld&) = delete;

private:
    sigset_t previous_;
};
}  // namespace

std::optional<int> saveOutputFile(const QString& path, const CliContext& cli,
                                  const RegisterFileContents& contents,
                                  const std::function<void()>& beforeCommit) {
    QString reason;
    bool saved = false;
    {
        const InterruptionsHeld held;
        saved = saveRegisterFileAt(path, contents, reason, beforeCommit);
    }
    if (!saved)
        return cli.fail(
            ExitCode::Usage,
            QStringLiteral("%1 could not be saved: %2").arg(printableText(path), reason));
    return std::nullopt;
}
