// SPDX-License-Identifier: MIT
#pragma once

#include "simcy22150.h"
#include "usb/i2cbus.h"

#include <QtGlobal>

#include <map>
#include <memory>
#include <string>
#include <vector>

// What a kernel I2C adapter driver accepts in one I2C_RDWR and how it reports a chip that does
// not answer, as the drivers themselves behave (not as Vantrel's table says).
struct SimI2cDriver {
    enum class Shape {
        Any,                // any messages, a repeated START between them
        WriteThenRead,      // one message, or a write then a read to the same address
        ReadLastOnly,       // at most one read, and it comes last
        EachMessageAlone,   // every message its own transaction (STOP after each)
        SingleMessageOnly,  // one message per ioctl (a combined transfer is EOPNOTSUPP)
    };
    const char* name;  // the driver as sysfs names it
    int maxRead;       // longest read message; 0: none of its own
    int maxWrite;      // longest write message; 0: none of its own
    int lengthError;   // errno of a message beyond those lengths
    Shape shape;
    int noAckWrite;  // errno when the chip refuses a write message
    int noAckRead;   // errno when the chip does not answer a read message
};

namespace SimI2cDrivers {
const SimI2cDriver& tinyUsb();
const SimI2cDriver& bcm2835();
const SimI2cDriver& mcp2221();
const SimI2cDriver& ft260();
const SimI2cDriver& cp2112();
const SimI2cDriver& dln2();
// A driver not in Vantrel's table that refuses combined transfers.
const SimI2cDriver& singleMessage();
}  // namespace SimI2cDrivers

// One I2C_RDWR as the simulated bus saw it.
struct SimI2cCall {
    struct Message {
        quint16 address = 0;
        bool read = false;
        int length = 0;
        std::vector<quint8> data;  // the bytes written, or read
    };
    std::string node;
    std::vector<Message> messages;
    int result = 0;
};

// Linux's i2c-dev with buses whose drivers behave as a profile says, a CY22150 on each. Can put
// another program's transaction between every two ioctls, as a busy kernel does.
class SimI2cBus : public I2cBusBackend {
public:
    // A node /dev/i2c-N served by `driver` with `chip` on its wires.
    void addNode(const std::string& node, const SimI2cDriver& driver,
                 std::shared_ptr<SimCy22150> chip);
    // Opening the node fails with this errno from now on (0: opens again).
    void setOpenError(const std::string& node, int error);
    // The `number`th I2C_RDWR from now on (0: the next) fails with `error`, reaching no chip.
    void failCall(int number, int error);
    // Before every I2C_RDWR after the first of a handle, another program reads one register of
    // the chip at a pointer of its own, moving the chip's pointer.
    void setKernelTraffic(bool on) { kernelTraffic_ = on; }
    int injectedTransactions() const { return injected_; }

    const std::vector<SimI2cCall>& calls() const { return calls_; }
    void resetCalls();
    int openHandleCount() const { return int(handles_.size()); }
    int functionalityQueries() const { return functionalityQueries_; }

    int open(const std::string& node) override;
    void close(int handle) override;
    int functionality(int handle, unsigned long& mask) override;
    int transfer(int handle, I2cMessage* messages, int count) override;

private:
    struct Node {
        const SimI2cDriver* driver = nullptr;
        std::shared_ptr<SimCy22150> chip;
        int openError = 0;
    };
    int refusedShape(const Node& node, const I2cMessage* messages, int count) const;
    int carryOut(Node& node, I2cMessage* messages, int count);
    void otherProgram(Node& node);

    std::map<std::string, Node> nodes_;
    std::map<int, std::string> handles_;  // handle -> node
    std::map<int, bool> handleUsed_;
    int nextHandle_ = 3;
    std::map<int, int> failures_;  // call number -> errno
    std::vector<SimI2cCall> calls_;
    int callsSinceReset_ = 0;
    bool kernelTraffic_ = false;
    int injected_ = 0;
    int functionalityQueries_ = 0;
};
