// SPDX-License-Identifier: MIT
#include "usbdescriptors.h"

#include <QString>

namespace {
constexpr int DeviceLength = 18;
constexpr int ConfigurationLength = 9;
constexpr int InterfaceLength = 9;
constexpr quint8 InterfaceType = 4;
constexpr int MaxDescriptorLength = 255;

void appendWord(std::vector<quint8>& bytes, quint16 word) {
    bytes.push_back(quint8(word & 0xFF));
    bytes.push_back(quint8(word >> 8));
}
}  // namespace

const std::string* UsbDeviceIdentity::string(int index) const {
    if (index != 0 && index == manufacturerIndex())
        return &manufacturer;
    if (index != 0 && index == productIndex())
        return &product;
    return nullptr;
}

namespace UsbDescriptors {

std::vector<quint8> device(const UsbDeviceIdentity& identity) {
    std::vector<quint8> d{DeviceLength, DeviceType};
    appendWord(d, 0x0110);  // USB 1.1
    d.push_back(identity.deviceClass);
    d.push_back(0);  // subclass
    d.push_back(0);  // protocol
    d.push_back(8);  // endpoint 0 packet size, as on a low-speed device
    appendWord(d, identity.vendorId);
    appendWord(d, identity.productId);
    appendWord(d, identity.release);
    d.push_back(identity.manufacturerIndex());
    d.push_back(identity.productIndex());
    d.push_back(0);  // no serial number
    d.push_back(1);  // one configuration
    return d;
}

std::vector<quint8> configuration(const UsbDeviceIdentity& identity) {
    std::vector<quint8> c{ConfigurationLength, ConfigurationType};
    appendWord(c, ConfigurationLength + InterfaceLength);
    c.push_back(1);     // one interface
    c.push_back(1);     // bConfigurationValue
    c.push_back(0);     // no string
    c.push_back(0x80);  // bus powered
    c.push_back(quint8(identity.maxPower / 2));
    const std::vector<quint8> interface {
        InterfaceLength, InterfaceType, 0, 0, 0 /* endpoints besides 0 */, identity.deviceClass, 0,
            0, 0
    };
    c.insert(c.end(), interface.begin(), interface.end());
    return c;
}

std::vector<quint8> sysfsDescriptors(const UsbDeviceIdentity& identity) {
    std::vector<quint8> all = device(identity);
    const std::vector<quint8> config = configuration(identity);
    all.insert(all.end(), config.begin(), config.end());
    return all;
}

std::vector<quint8> languages() {
    std::vector<quint8> l{4, StringType};
    appendWord(l, EnglishUs);
    return l;
}

std::vector<quint8> string(const std::string& utf8) {
    const std::u16string text = QString::fromStdString(utf8).toStdU16String();
    std::vector<quint8> s{0, StringType};
    for (std::size_t i = 0; i < text.size(); ++i) {
        // A surrogate pair goes whole or not at all.
        const std::size_t units = QChar::isHighSurrogate(text[i]) ? 2 : 1;
        if (s.size() + 2 * units > MaxDescriptorLength || i + units > text.size())
            break;
        for (std::size_t u = 0; u < units; ++u)
            appendWord(s, quint16(text[i + u]));
        i += units - 1;
    }
    s[0] = quint8(s.size());
    return s;
}

}  // namespace UsbDescriptors
