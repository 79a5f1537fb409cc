// SPDX-License-Identifier: MIT
#include "common/printabletext.h"

namespace {
constexpr char16_t ControlPictures = 0x2400;
constexpr char16_t DeletePicture = 0x2421;
constexpr char16_t Replacement = 0xFFFD;
}  // namespace

QString printableText(const QString& text) {
    QString shown;
    shown.reserve(text.size());
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text.at(i);
        const char16_t u = c.unicode();
        if (c.isHighSurrogate() && i + 1 < text.size() && text.at(i + 1).isLowSurrogate()) {
            shown += c;
            shown += text.at(++i);
        } else if (u < 0x20) {
            shown += QChar(char16_t(ControlPictures + u));
        } else if (u == 0x7F) {
            shown += QChar(DeletePicture);
        } else if ((u >= 0x80 && u <= 0x9F) || u == 0x2028 || u == 0x2029 || c.isSurrogate()) {
            shown += QChar(Replacement);
        } else {
            shown += c;
        }
    }
    return shown;
}

QString cutWhole(const QString& text, int maxLength) {
    if (text.size() <= maxLength)
        return text;
    int length = maxLength;
    if (length > 0 && text.at(length - 1).isHighSurrogate())
        --length;
    return text.left(length);
}

// Qt's decoder shows what is not valid UTF-8 as U+FFFD.
QString printableDeviceString(const std::string& bytes) {
    return printableText(QString::fromUtf8(bytes.data(), qsizetype(bytes.size())));
}
