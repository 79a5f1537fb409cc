// SPDX-License-Identifier: MIT
#include "usb/chipreading.h"

#include "usb/chipaccess.h"

namespace {
// Notes which register the read had reached and passes the progress on.
class ReadPosition : public TransportObserver {
public:
    explicit ReadPosition(TransportObserver* next) : next_(next) {}
    void readProgress(int done, int count) override {
        reached = done;
        if (next_ != nullptr)
            next_->readProgress(done, count);
    }
    int reached = -1;  // the register whose byte came next; -1 before the first

private:
    TransportObserver* next_;
};

// The transfer a read result stands for; the transport reports the step, the position the byte.
QString failedTransfer(int result, int reached) {
    const quint8 reg = quint8(reached < 0 ? 0 : reached);
    switch (result) {
        case I2cResult::SetupFailed:
            return QStringLiteral("setting the register pointer");
        case I2cResult::NoAcknowledge:
            return QStringLiteral("the status query after setting the register pointer");
        case I2cResult::ByteFailed:
        case I2cResult::LastByteFailed:
            return QString::asprintf("reading register 0x%02X", reg);
        case I2cResult::ReadNotAcknowledged:
            return QString::asprintf("the status query after register 0x%02X", reg);
        case I2cResult::BusTransferFailed:
        case I2cResult::BusNoAcknowledge:
            return QString::asprintf("the transfer of the registers from 0x%02X", reg);
        default:
            return QStringLiteral("the register count");
    }
}

QString withoutPrefix(const QString& error) {
    return error.startsWith(QLatin1String("Error: ")) ? error.mid(7) : error;
}
}  // namespace

bool readChipRegisters(AdapterConnection& c, quint8 first, int count, quint8* bytes,
                       const char* what, QString& error) {
    ReadPosition position(c.progress);
    TransportObserver* const previous = c.progress;
    c.progress = &position;
    const int result = i2c_read_registers(c, c.i2cAddress, first, count, bytes);
    c.progress = previous;
    if (result == I2cResult::Ok)
        return true;
    const int reached = position.reached < 0 ? -1 : first + position.reached;
    error = QStringLiteral("Error: %1 failed at %2: %3")
                .arg(QLatin1String(what), failedTransfer(result, reached),
                     withoutPrefix(i2c_error_text(c)));
    return false;
}

bool readWholeChip(AdapterConnection& c, RegisterImage& image, const char* what, QString& error) {
    return readChipRegisters(c, 0, RegisterImage::Size, image.bytes.data(), what, error);
}
