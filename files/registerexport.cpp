// SPDX-License-Identifier: MIT
#include "files/registerexport.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

QString exportI2cset(const RegisterImage& image, int bus, quint8 i2cAddress) {
    QString text;
    for (quint8 address : SafeWriteOrder) {
        text += QString::asprintf("i2cset -y %d 0x%02X 0x%02X 0x%02X\n", bus, i2cAddress, address,
                                  image[address]);
    }
    return text;
}

QString exportCArray(const RegisterImage& image, quint8 i2cAddress) {
    QString text = QString::asprintf(
        "/* CY22150 at I2C address 0x%02X: {register, value} in write order. */\n"
        "static const unsigned char cy22150_writes[%d][2] = {\n",
        i2cAddress, int(SafeWriteOrder.size()));
    for (quint8 address : SafeWriteOrder)
        text += QString::asprintf("    {0x%02X, 0x%02X},\n", address, image[address]);
    text += QStringLiteral("};\n");
    return text;
}

QString exportJson(const RegisterImage& image, quint8 i2cAddress) {
    QJsonArray writes;
    for (quint8 address : SafeWriteOrder)
        writes.append(QJsonObject{{"register", address}, {"value", image[address]}});
    const QJsonObject root{{"i2cAddress", i2cAddress}, {"writes", writes}};
    return QString::fromUtf8(QJsonDocument(root).toJson(QJsonDocument::Indented));
}
