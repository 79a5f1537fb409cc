#include "files/registerfilestore.h"

#include <QByteArray>
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

// QSaveFile writes beside the file and renames at commit. Unbuffered, because a buffered
// QFileDevice can lose the tail of a short write (a full disk, a size limit) without reporting
// it, and the commit would then install a truncated file.
bool writeRegisterFile(const QString& path, const RegisterFileContents& contents, QString& reason) {
    const QByteArray bytes = encodeRegisterFile(contents);
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Unbuffered) || !writeAll(file, bytes) ||
        !file.commit()) {
        reason = file.errorString();
        return false;
    }
    return true;
}
