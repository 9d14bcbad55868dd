#include "engine.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>

namespace ecusim {

namespace {

double Smooth(double from, double to, double f) {
    f = std::clamp(f, 0.0, 1.0);
    return from + (to - from) * (0.5 - 0.5 * std::cos(f * M_PI));
}

} // namespace

EngineState Scenario(double t) {
    EngineState s{};
    double cycle = std::fmod(std::max(t, 0.0), 40.0);
    double idle = 850 + 15 * std::sin(t * 2.1);
    if (t < 2) {
        s.rpm = 220 + 40 * std::sin(t * 17); // cranking
    } else if (cycle >= 10 && cycle < 14) {
        double f = cycle < 12 ? (cycle - 10) / 2 : cycle < 13 ? 1 : 1 - (cycle - 13);
        s.rpm = Smooth(idle, 5000, f);
    } else {
        s.rpm = idle;
    }
    double load = std::clamp((s.rpm - 850) / (5000 - 850), 0.0, 1.0);
    s.throttleDeg = 2 + 43 * load;
    s.pressureMb = 340 + 580 * load;
    s.injectorMs = 2.0 + 4.5 * load;
    s.advanceDeg = 10 + 24 * load;
    s.airC = 25;
    s.waterC = 20 + 70 * std::min(t, 300.0) / 300.0;
    s.batteryV = t < 2 ? 10.6 : 14.0 + 0.05 * std::sin(t);
    s.vae = 30 + 40 * load;
    if (cycle >= 20 && cycle < 30) {
        s.faultFlags1 = 0x08; // water temperature sensor,
        s.faultType1 = 0x08;  // short circuit
    }
    return s;
}

// The dashboard's own conversions turned round give the bytes.
uint8_t RegisterByte(const EngineState& s, uint8_t address) {
    EngineValues v{};
    v.engineSpeed = static_cast<float>(s.rpm);
    v.injectorTime = static_cast<float>(s.injectorMs);
    v.sparkAdvance = static_cast<float>(s.advanceDeg);
    v.manifoldPressure = static_cast<float>(s.pressureMb);
    v.airTemp = static_cast<float>(s.airC);
    v.waterTemp = static_cast<float>(s.waterC);
    v.throttleAngle = static_cast<float>(s.throttleDeg);
    v.batteryVolts = static_cast<float>(s.batteryV);
    v.vaeValue = static_cast<float>(s.vae);
    EcuRegisterMirror r{};
    RegistersFromReadings(v, &r);
    r.faultFlags1 = s.faultFlags1;
    r.faultFlags2 = s.faultFlags2;
    r.faultFlags3 = s.faultFlags3;
    r.faultType1 = s.faultType1;
    r.faultType2 = s.faultType2;
    r.faultType3 = s.faultType3;
    return ByAddress(r, address);
}

uint8_t ByAddress(const EcuRegisterMirror& r, uint8_t address) {
    for (int i = 0; i < kRegisterCount; ++i) {
        if (kEcuRegisters[i].address == address) return ::RegisterByte(r, i);
    }
    return 0; // an address the ECU does not have
}

bool LoadReplay(const std::string& path, std::map<uint8_t, uint8_t>* registers,
                std::string* error) {
    std::ifstream in(path);
    if (!in) {
        *error = "cannot read " + path;
        return false;
    }
    std::string line;
    int number = 0;
    while (std::getline(in, line)) {
        ++number;
        line = line.substr(0, line.find('#'));
        std::istringstream fields(line);
        std::string a;
        std::string v;
        if (!(fields >> a)) continue;
        if (!(fields >> v)) {
            *error = path + ":" + std::to_string(number) + ": expected \"address value\"";
            return false;
        }
        long address = std::strtol(a.c_str(), nullptr, 0);
        long value = std::strtol(v.c_str(), nullptr, 0);
        if (address < 0 || address > 255 || value < 0 || value > 255) {
            *error = path + ":" + std::to_string(number) + ": address and value are bytes";
            return false;
        }
        (*registers)[static_cast<uint8_t>(address)] = static_cast<uint8_t>(value);
    }
    return true;
}

EcuRegisterMirror RegistersOf(const drivelog::Line& line) {
    EcuRegisterMirror r{};
    RegistersFromReadings(line.readings, &r);
    r.faultFlags1 = line.faults[0];
    r.faultFlags2 = line.faults[1];
    r.faultFlags3 = line.faults[2];
    return r;
}

bool Replayable(const drivelog::Log& log, std::string* refusal) {
    if (!log.lines.empty()) return true;
    *refusal = "it holds no line of readings";
    if (!log.problems.empty()) {
        *refusal += " (" + std::to_string(log.problems.size()) +
                    (log.problems.size() == 1 ? " line" : " lines") +
                    " could not be read; the first: " + drivelog::Describe(log.problems[0]) + ")";
    }
    return false;
}

} // namespace ecusim
