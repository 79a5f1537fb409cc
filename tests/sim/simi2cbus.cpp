// SPDX-License-Identifier: MIT
#include "simi2cbus.h"

#include <cerrno>

namespace {
// i2c-dev's own limits on one I2C_RDWR.
constexpr int MaxMessages = 42;
constexpr int MaxMessageLength = 8192;
using Shape = SimI2cDriver::Shape;
}  // namespace

namespace SimI2cDrivers {
// The firmware's data stage ends at 254 bytes; the driver passes the failure on as EIO.
const SimI2cDriver& tinyUsb() {
    static const SimI2cDriver d{"i2c-tiny-usb", 254, 254, EIO, Shape::Any, ENXIO, ENXIO};
    return d;
}
const SimI2cDriver& bcm2835() {
    static const SimI2cDriver d{"i2c-bcm2835", 0, 0, 0, Shape::ReadLastOnly, EREMOTEIO, EREMOTEIO};
    return d;
}
const SimI2cDriver& mcp2221() {
    static const SimI2cDriver d{"mcp2221", 0, 0, 0, Shape::WriteThenRead, ENXIO, ENXIO};
    return d;
}
const SimI2cDriver& ft260() {
    static const SimI2cDriver d{"ft260", 0, 0, 0, Shape::WriteThenRead, ENXIO, ENXIO};
    return d;
}
const SimI2cDriver& cp2112() {
    static const SimI2cDriver d{"cp2112",  512,      16, EOPNOTSUPP, Shape::WriteThenRead,
                                ETIMEDOUT, ETIMEDOUT};
    return d;
}
const SimI2cDriver& dln2() {
    static const SimI2cDriver d{"dln2-i2c", 256,      256, EOPNOTSUPP, Shape::EachMessageAlone,
                                EPROTO,     EREMOTEIO};
    return d;
}
const SimI2cDriver& singleMessage() {
    static const SimI2cDriver d{"i2c-other", 0, 0, 0, Shape::SingleMessageOnly, ENXIO, ENXIO};
    return d;
}
}  // namespace SimI2cDrivers

void SimI2cBus::addNode(const std::string& node, const SimI2cDriver& driver,
                        std::shared_ptr<SimCy22150> chip) {
    nodes_[node] = Node{&driver, std::move(chip), 0};
}

void SimI2cBus::setOpenError(const std::string& node, int error) {
    nodes_[node].openError = error;
}

void SimI2cBus::failCall(int number, int error) {
    failures_[callsSinceReset_ + number] = error;
}

void SimI2cBus::resetCalls() {
    calls_.clear();
    failures_.clear();
    callsSinceReset_ = 0;
}

int SimI2cBus::open(const std::string& node) {
    const auto it = nodes_.find(node);
    if (it == nodes_.end() || it->second.driver == nullptr)
        return -ENOENT;
    if (it->second.openError != 0)
        return -it->second.openError;
    const int handle = nextHandle_++;
    handles_[handle] = node;
    handleUsed_[handle] = false;
    return handle;
}

void SimI2cBus::close(int handle) {
    handles_.erase(handle);
    handleUsed_.erase(handle);
}

int SimI2cBus::functionality(int handle, unsigned long& mask) {
    if (handles_.count(handle) == 0)
        return -EBADF;
    ++functionalityQueries_;
    mask = I2cFunctionPlainI2c;
    return 0;
}

int SimI2cBus::refusedShape(const Node& node, const I2cMessage* messages, int count) const {
    const SimI2cDriver& d = *node.driver;
    for (int i = 0; i < count; ++i) {
        const int limit = messages[i].read ? d.maxRead : d.maxWrite;
        if (limit > 0 && messages[i].length > limit)
            return d.lengthError;
    }
    int reads = 0;
    for (int i = 0; i < count; ++i)
        reads += messages[i].read ? 1 : 0;
    switch (d.shape) {
        case Shape::Any:
        case Shape::EachMessageAlone:
            return 0;
        case Shape::ReadLastOnly:
            return reads > 1 || (reads == 1 && !messages[count - 1].read) ? EOPNOTSUPP : 0;
        case Shape::WriteThenRead:
            if (count == 1)
                return 0;
            return count == 2 && !messages[0].read && messages[1].read &&
                           messages[0].address == messages[1].address
                       ? 0
                       : EOPNOTSUPP;
        case Shape::SingleMessageOnly:
            return count == 1 ? 0 : EOPNOTSUPP;
    }
    return 0;
}

// The messages on the wires: START (or repeated START), address, bytes; a STOP at the end, and
// after every message where the driver makes each its own transaction.
int SimI2cBus::carryOut(Node& node, I2cMessage* messages, int count) {
    SimCy22150& chip = *node.chip;
    const bool alone = node.driver->shape == Shape::EachMessageAlone;
    for (int i = 0; i < count; ++i) {
        I2cMessage& m = messages[i];
        chip.start();
        if (!chip.write(quint8(m.address << 1 | (m.read ? 1 : 0)))) {
            chip.stop();
            return -(m.read ? node.driver->noAckRead : node.driver->noAckWrite);
        }
        for (int b = 0; b < m.length; ++b) {
            if (m.read) {
                m.data[b] = chip.read(b + 1 < m.length);
            } else if (!chip.write(m.data[b])) {
                chip.stop();
                return -node.driver->noAckWrite;
            }
        }
        if (alone)
            chip.stop();
    }
    chip.stop();
    return count;
}

void SimI2cBus::otherProgram(Node& node) {
    SimCy22150& chip = *node.chip;
    ++injected_;
    chip.start();
    if (chip.write(quint8(chip.i2cAddress() << 1)) && chip.write(quint8(chip.pointer() + 0x55))) {
        chip.start();
        chip.write(quint8(chip.i2cAddress() << 1 | 1));
        chip.read(false);
    }
    chip.stop();
}

int SimI2cBus::transfer(int handle, I2cMessage* messages, int count) {
    const auto h = handles_.find(handle);
    if (h == handles_.end())
        return -EBADF;
    Node& node = nodes_[h->second];
    SimI2cCall call;
    call.node = h->second;
    for (int i = 0; i < count; ++i) {
        SimI2cCall::Message m{messages[i].address, messages[i].read, messages[i].length, {}};
        if (!m.read)
            m.data.assign(messages[i].data, messages[i].data + messages[i].length);
        call.messages.push_back(m);
    }
    const int number = callsSinceReset_++;
    if (kernelTraffic_ && handleUsed_[handle])
        otherProgram(node);
    handleUsed_[handle] = true;

    int result = 0;
    bool tooLong = false;
    for (int i = 0; i < count; ++i)
        tooLong = tooLong || messages[i].length > MaxMessageLength;
    if (count < 1 || count > MaxMessages || tooLong) {
        result = -EINVAL;
    } else if (const auto failure = failures_.find(number); failure != failures_.end()) {
        result = -failure->second;
    } else if (const int refused = refusedShape(node, messages, count); refused != 0) {
        result = -refused;
    } else {
        result = carryOut(node, messages, count);
    }
    if (result >= 0) {
        for (int i = 0; i < count; ++i) {
            if (messages[i].read)
                call.messages[std::size_t(i)].data.assign(messages[i].data,
                                                          messages[i].data + messages[i].length);
        }
    }
    call.result = result;
    calls_.push_back(call);
    return result;
}
