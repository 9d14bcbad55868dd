// The probe: the ECU woken on one port exactly as the dashboard wakes it, the seventeen
// registers read once, and what came back made plain.
#pragma once

#include "app/state.h"
#include "ecu/protocol.h"
#include "platform/portinfo.h"

#include <ostream>
#include <string>
#include <vector>

namespace ports {

struct ProbeResult {
    bool opened = false;
    std::string openProblem; // the system's words when the port did not open
    std::string rateProblem; // the system's words when it would not run 7680 baud
    int wakeEchoes = 0;      // bytes that came back during the wake-up
    Answer answers[kRegisterCount] = {};
    EcuRegisterMirror registers = {};
    EngineValues readings = {};
    int answered = 0; // registers whose answer came
    int echoed = 0;   // requests whose first read found a byte
    // The lead's chip, when it may not run 7680 baud though its driver took the rate
    // (a CP210x whose part is not named, on Windows): "" when that is no question.
    std::string chipDoubt;
};

// What a silent ECU's verdict adds of the port's chip: its family and why it may not
// run 7680 baud, where the driver takes a rate without running it; "" otherwise.
std::string ChipDoubt(const portinfo::Port& port, bool driversRunTheRatesTheyTake);

// Wakes and reads the ECU behind \\.\COMn: the wake-up bytes and the register requests
// are all it writes. It says what it does as it goes, a line at a time, flushed: that the
// ECU was woken, then each register as it is read or times out (a silent ECU takes half a
// second a register).
ProbeResult RunProbe(const std::string& com, std::ostream& out);

// Writes what the readings and faults were and what to try next.
void WriteProbeVerdict(std::ostream& out, const ProbeResult& r);

// "COM3" from "COM3", "com3" or "3"; "" when it names no port.
std::string ComName(const std::string& argument);

// The port a --probe argument names among the listed ports: by its COM number, or by its
// device (a path such as /dev/ttyUSB0 on Linux). "" with why not in problem.
std::string ProbedPort(const std::string& argument, const std::vector<portinfo::Port>& ports,
                       std::string* problem);

} // namespace ports
