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

uint8_t Byte(double v) { return static_cast<uint8_t>(std::clamp(std::lround(v), 0L, 255L)); }

uint16_t Word(double v) { return static_cast<uint16_t>(std::clamp(std::lround(v), 0L, 65535L)); }

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

uint8_t RegisterByte(const EngineState& s, uint8_t address) {
    uint16_t speedPeriod = s.rpm > 0 ? Word(15000000.0 / s.rpm) : 0;
    uint16_t injectorPeriod = Word(s.injectorMs * 500);
    switch (address) {
    case 1:
        return static_cast<uint8_t>(speedPeriod >> 8);
    case 2:
        return static_cast<uint8_t>(speedPeriod & 0xFF);
    case 3:
        return static_cast<uint8_t>(injectorPeriod >> 8);
    case 4:
        return static_cast<uint8_t>(injectorPeriod & 0xFF);
    case 5:
        return Byte(s.advanceDeg * 2);
    case 6:
        return Byte(s.pressureMb / 4);
    case 7:
        return Byte(s.airC + 40);
    case 8:
        return Byte(s.waterC + 40);
    case 9:
        return Byte((s.throttleDeg + 2.9638) / 0.4234);
    case 10:
        return Byte(s.batteryV * 16);
    case 12:
        return Byte(s.vae);
    case 16:
        return s.faultFlags1;
    case 17:
        return s.faultFlags2;
    case 18:
        return s.faultFlags3;
    case 43:
        return s.faultType1;
    case 44:
        return s.faultType2;
    case 45:
        return s.faultType3;
    default:
        return 0;
    }
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

} // namespace ecusim
