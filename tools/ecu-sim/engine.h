// The simulated engine behind the simulated ECU: a drive that starts cold, idles, revs
// and warms up, or fixed register values from a file.
#pragma once

#include "ecu/protocol.h"
#include "tools/common/drive_log.h"

#include <cstdint>
#include <map>
#include <string>

namespace ecusim {

// The engine's state at one moment, in engineering units.
struct EngineState {
    double rpm;
    double injectorMs;
    double advanceDeg;
    double pressureMb;
    double airC;
    double waterC;
    double throttleDeg;
    double batteryV;
    double vae;
    uint8_t faultFlags1, faultFlags2, faultFlags3;
    uint8_t faultType1, faultType2, faultType3;
};

// The scenario, t seconds after the engine is started: cranking for two seconds, idle
// near 850 rpm, a rev to 5000 rpm from 10 to 14 s, again every 40 s; the water warms
// from 20 to 90 C over five minutes; the battery charges at about 14 V; the water
// sensor reports a short circuit from 20 to 30 s of every 40.
EngineState Scenario(double t);

// The byte the ECU answers for an address, from a state. Addresses 1/2 and 3/4 are the
// high and low bytes of the engine-speed and injector periods; unknown addresses give 0.
uint8_t RegisterByte(const EngineState& s, uint8_t address);
// The byte of a register, by its address, in a mirror of the ECU's registers.
uint8_t ByAddress(const EcuRegisterMirror& r, uint8_t address);

// Fixed register values, "address value" per line (decimal or 0x hex; # comments).
// Returns false with a message when a line cannot be read.
bool LoadReplay(const std::string& path, std::map<uint8_t, uint8_t>* registers, std::string* error);

// The register bytes that give a logged line's readings: the dashboard's conversions
// turned round, each to the nearest byte; the fault-present bytes as logged (the log holds
// no short/open bytes).
EcuRegisterMirror RegistersOf(const drivelog::Line& line);

// Whether a log read for --replay-log can be answered from: false, with why in one line,
// when it holds no line of readings.
bool Replayable(const drivelog::Log& log, std::string* refusal);

} // namespace ecusim
