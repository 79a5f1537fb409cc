#include "files/registerfilestore.h"

#include <QFile>
#include <QFileInfo>
#include <QSaveFile>

bool loadRegisterFileAt(const QString& path, RegisterFileContents& contents, QString& reason) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly)) {
        reason = QStringLiteral("cannot be read: %1").arg(file.errorString());
        return false;
    }
    return readRegisterFile(file, contents, reason);
}

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
    if (!loadRegisterFileAt(path, existing, why)) {
        reason =
            QStringLiteral("exists and is not a register file (%1); it is left as it is").arg(why);
        return false;
    }
    return true;
}

bool saveRegisterFileAt(const QString& path, const RegisterFileContents& contents,
                        QString& reason) {
    const QByteArray bytes = encodeRegisterFile(contents);
    // Unbuffered: a buffered device can lose the tail of a short write without reporting it.
    QSaveFile file(path);
    bool ok = file.open(QIODevice::WriteOnly | QIODevice::Unbuffered);
    qint64 written = 0;
    while (ok && written < bytes.size()) {
        const qint64 step = file.write(bytes.constData() + written, bytes.size() - written);
        ok = step > 0;
        written += ok ? step : 0;
    }
    if (!ok || !file.commit()) {
        reason = file.errorString();
        return false;
    }
    return true;
}
