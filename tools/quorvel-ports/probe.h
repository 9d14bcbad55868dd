// The probe: the ECU woken on one port exactly as the dashboard wakes it, the seventeen
// registers read once, and what came back made plain.
#pragma once

#include "app/state.h"
#include "ecu/protocol.h"

#include <ostream>
#include <string>

namespace ports {

struct ProbeResult {
    bool opened = false;
    std::string openProblem; // the system's words when the port did not open
    int wakeEchoes = 0;      // bytes that came back during the wake-up
    Answer answers[kRegisterCount] = {};
    EcuRegisterMirror registers = {};
    EngineValues readings = {};
    int answered = 0; // registers whose answer came
    int echoed = 0;   // requests whose first read found a byte
};

// Wakes and reads the ECU behind \\.\COMn: the wake-up bytes and the register requests
// are all it writes.
ProbeResult RunProbe(const std::string& com);

// Writes what the probe found and what to try next.
void WriteProbe(std::ostream& out, const std::string& com, const ProbeResult& r);

// "COM3" from "COM3", "com3" or "3"; "" when it names no port.
std::string ComName(const std::string& argument);

} // namespace ports
