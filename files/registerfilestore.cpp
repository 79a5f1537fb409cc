// SPDX-License-Identifier: MIT
#include "files/registerfilestore.h"

#include <QByteArray>
#include <QFileInfo>
#include <QSaveFile>

namespace {
// Writes all of `bytes`, going on after a short write so that the one that fails sets the error.
bool writeAll(QSaveFile& file, const QByteArray& bytes) {
    qint64 written = 0;
    while (written < bytes.size()) {
        const qint64 step = file.write(bytes.constData() + written, bytes.size() - written);
        if (step <= 0)
            return false;
        written += step;
    }
    return true;
}
}  // namespace

bool mayReplaceWithRegisterFile(const QString& path, QString& reason) {
    const QFileInfo info(path);
    if (!info.exists())
        return true;
    if (info.isDir()) {
        reason = QStringLiteral("is a directory");
        return false;
    }
    RegisterFileContents existing;
    QString why;
    if (!readRegisterFileAt(path, existing, why)) {
        reason =
            QStringLiteral("exists and is not a register file (%1); it is left as it is").arg(why);
        return false;
    }
    return true;
}

// QSaveFile writes beside the file and renames at commit. Unbuffered, because a buffered
// QFileDevice can lose the tail of a short write (a full disk, a size limit) without reporting
// it, and the commit would then install a truncated file.
bool saveRegisterFileAt(const QString& path, const RegisterFileContents& contents, QString& reason,
                        const std::function<void()>& beforeCommit) {
    // QSaveFile would warn on stderr about a missing name before it failed.
    if (path.isEmpty()) {
        reason = QStringLiteral("the file name is empty");
        return false;
    }
    const QByteArray bytes = encodeRegisterFile(contents);
    QSaveFile file(path);
    const bool written =
        file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) && writeAll(file, bytes);
    if (written && beforeCommit)
        beforeCommit();
    if (!written || !file.commit()) {
        reason = file.errorString();
        return false;
    }
    return true;
}
