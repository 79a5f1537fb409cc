// SPDX-License-Identifier: MIT
#include "common/printabletext.h"

namespace {
constexpr char16_t ControlPictures = 0x2400;
constexpr char16_t DeletePicture = 0x2421;
constexpr char32_t Replacement = 0xFFFD;
constexpr char32_t Invalid = 0xFFFFFFFF;

// The code point of the valid UTF-8 sequence at bytes[i], and its length in `length`; Invalid
// when no valid sequence starts there (overlong forms, surrogates and values beyond U+10FFFF are
// invalid).
char32_t decodeAt(const std::string& bytes, std::size_t i, std::size_t& length) {
    const auto byte = [&bytes](std::size_t at) { return static_cast<unsigned char>(bytes[at]); };
    const unsigned char lead = byte(i);
    char32_t minimum = 0;
    if (lead < 0x80) {
        length = 1;
        return lead;
    }
    char32_t code = 0;
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        code = lead & 0x1F;
        minimum = 0x80;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        code = lead & 0x0F;
        minimum = 0x800;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        code = lead & 0x07;
        minimum = 0x10000;
    } else {
        return Invalid;
    }
    if (i + length > bytes.size())
        return Invalid;
    for (std::size_t k = 1; k < length; ++k) {
        if ((byte(i + k) & 0xC0) != 0x80)
            return Invalid;
        code = (code << 6) | (byte(i + k) & 0x3F);
    }
    if (code < minimum || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return Invalid;
    return code;
}
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
            shown += QChar(char16_t(Replacement));
        } else {
            shown += c;
        }
    }
    return shown;
}

QString printableDeviceString(const std::string& bytes) {
    QString text;
    text.reserve(qsizetype(bytes.size()));
    for (std::size_t i = 0; i < bytes.size();) {
        std::size_t length = 1;
        const char32_t code = decodeAt(bytes, i, length);
        if (code == Invalid) {
            text += QChar(char16_t(Replacement));
            ++i;
            continue;
        }
        const char32_t codes[1] = {code};
        text += QString::fromUcs4(codes, 1);
        i += length;
    }
    return printableText(text);
}
