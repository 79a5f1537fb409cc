// SPDX-License-Identifier: MIT
#include "simcy22150.h"

void SimCy22150::start() {
    state_ = State::Address;
}

void SimCy22150::stop() {
    state_ = State::Idle;
}

void SimCy22150::store(quint8 byte) {
    if (state_ == State::Pointer) {
        pointer_ = byte;
        state_ = State::Receiving;
        return;
    }
    registers_[pointer_] = byte;
    pointer_ = quint8(pointer_ + 1);  // 0xFF wraps to 0
}

bool SimCy22150::write(quint8 byte) {
    switch (state_) {
        case State::Address:
            if (byte >> 1 != address_) {
                state_ = State::Idle;
                return false;
            }
            state_ = (byte & 1) != 0 ? State::Transmitting : State::Pointer;
            return true;
        case State::Pointer:
        case State::Receiving:
            if (refusesData_)
                return false;
            store(byte);
            return true;
        case State::Transmitting:
            // The chip shifts out its next register while the master writes; the acknowledge
            // bit is the master's to drive, so nobody pulls it low and the chip stops sending.
            pointer_ = quint8(pointer_ + 1);
            state_ = State::Idle;
            return false;
        case State::Idle:
            break;
    }
    return false;
}

quint8 SimCy22150::read(bool masterAcknowledges) {
    if (state_ != State::Transmitting) {
        // A chip that is not sending takes the released bus as a byte of ones.
        write(0xFF);
        return 0xFF;
    }
    const quint8 value = registers_[pointer_];
    pointer_ = quint8(pointer_ + 1);
    if (!masterAcknowledges)
        state_ = State::Idle;
    return value;
}
