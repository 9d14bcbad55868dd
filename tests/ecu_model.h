// An ECU behind a scripted line, as tests need one: the interface echoes every byte,
// and the ECU answers each register address from a table after a delay.
#pragma once

#include "platform/posix/serial.h"

#include <map>

struct EcuModel {
    std::map<uint8_t, uint8_t> registers;
    bool echo = true;
    bool answers = true;
    uint64_t echoDelay = 1;
    uint64_t replyDelay = 3;

    void Attach(w32::ScriptedLine& line) {
        line.onWrite = [this](w32::ScriptedLine& l, uint8_t byte) {
            if (echo) l.Deliver(byte, echoDelay);
            if (!answers || l.Baud() != 7680) return;
            auto it = registers.find(byte);
            if (it != registers.end()) l.Deliver(it->second, replyDelay);
        };
    }
};
