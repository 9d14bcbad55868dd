// libFuzzer target: any bytes as a drive log, as users bring one to quorvel-plot and to
// ecu-sim --replay-log: written by the dashboard, re-saved by a spreadsheet, cut short
// by a crash, or another program's file given by mistake.
//
// Checked after each input: a file that is no log is refused with its reason in one
// line; of a log, every line after the header is kept or named by its number, never
// both; every reading kept is one a poll can give (within a step of what some register
// bytes convert to), and so are the readings of the bytes ecu-sim answers for it; a log
// ecu-sim cannot answer from is refused in one line.
#include "dashboard/gauge_table.h"
#include "ecu/protocol.h"
#include "tools/common/drive_log.h"
#include "tools/ecu-sim/engine.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <set>
#include <string>

namespace {

// The register field behind each logged reading (the log's column order): its value, its
// largest value, and the reading it converts to.
int Field(const EcuRegisterMirror& r, int column) {
    switch (column) {
    case 0:
        return r.speedPeriod;
    case 1:
        return r.waterTempRaw;
    case 2:
        return r.airTempRaw;
    case 3:
        return r.throttleRaw;
    case 4:
        return r.injectorPeriod;
    case 5:
        return r.advanceRaw;
    case 6:
        return r.batteryRaw;
    case 7:
        return r.pressureRaw;
    default:
        return r.vaeRaw;
    }
}

int Largest(int column) { return column == 0 || column == 4 ? 65535 : 255; }

double Reading(int column, int value) {
    EcuRegisterMirror r{};
    switch (column) {
    case 0:
        r.speedPeriod = static_cast<uint16_t>(value);
        break;
    case 1:
        r.waterTempRaw = static_cast<uint8_t>(value);
        break;
    case 2:
        r.airTempRaw = static_cast<uint8_t>(value);
        break;
    case 3:
        r.throttleRaw = static_cast<uint8_t>(value);
        break;
    case 4:
        r.injectorPeriod = static_cast<uint16_t>(value);
        break;
    case 5:
        r.advanceRaw = static_cast<uint8_t>(value);
        break;
    case 6:
        r.batteryRaw = static_cast<uint8_t>(value);
        break;
    case 7:
        r.pressureRaw = static_cast<uint8_t>(value);
        break;
    default:
        r.vaeRaw = static_cast<uint8_t>(value);
        break;
    }
    EngineValues v{};
    ConvertRegisters(r, &v);
    const float readings[9] = {v.engineSpeed,   v.waterTemp,        v.airTemp,
                               v.throttleAngle, v.injectorTime,     v.sparkAdvance,
                               v.batteryVolts,  v.manifoldPressure, v.vaeValue};
    return readings[column];
}

// The reading x lies within a step of what the field's value converts to: between the
// readings of its neighbours (a speed period of 0 is 0 rpm, apart from the others), give
// or take the rounding the reader allows (two decimals, or the gauge's own).
bool WithinAStep(int column, int value, double x) {
    const double shown = 0.5 * std::pow(10.0, -kLoggedReadings[column].gauge->decimals);
    const double tolerance = std::max(0.005, shown) + 1e-6 * std::fabs(x);
    const double y = Reading(column, value);
    if (column == 0 && value == 0) return std::fabs(x - y) <= tolerance;
    const int lowest = column == 0 ? 1 : 0;
    const double a = Reading(column, value > lowest ? value - 1 : value);
    const double b = Reading(column, value < Largest(column) ? value + 1 : value);
    return x >= std::fmin(a, b) - tolerance && x <= std::fmax(a, b) + tolerance;
}

float Logged(const drivelog::Line& line, int column) {
    const EngineValues& v = line.readings;
    const float readings[9] = {v.engineSpeed,   v.waterTemp,        v.airTemp,
                               v.throttleAngle, v.injectorTime,     v.sparkAdvance,
                               v.batteryVolts,  v.manifoldPressure, v.vaeValue};
    return readings[column];
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    drivelog::Log log;
    std::string error;
    const bool parsed = drivelog::Parse(text, &log, &error);
    if (log.headerColumns == 0) {
        // No log at all: refused, in one line, with nothing of it read.
        if (parsed || error.empty() || error.find('\n') != std::string::npos) std::abort();
        if (!log.lines.empty() || !log.problems.empty()) std::abort();
        return 0;
    }
    // Every line after the header is a poll's: kept, or named by its number.
    std::set<int> kept;
    std::set<int> named;
    for (const drivelog::Line& line : log.lines) {
        if (line.number < 2 || line.number > log.polls + 1 || !kept.insert(line.number).second)
            std::abort();
    }
    for (const drivelog::Problem& p : log.problems) {
        if (p.line == 1) continue; // the header's own column count
        if (p.line < 2 || p.line > log.polls + 1 || kept.count(p.line) != 0) std::abort();
        if (drivelog::Describe(p).find('\n') != std::string::npos) std::abort();
        named.insert(p.line);
    }
    if (static_cast<int>(kept.size() + named.size()) != log.polls) std::abort();

    // ecu-sim answers from a log with lines; without, it refuses it in one line.
    std::string refusal;
    if (!ecusim::Replayable(log, &refusal)) {
        if (!log.lines.empty() || refusal.empty() || refusal.find('\n') != std::string::npos)
            std::abort();
        return 0;
    }
    for (const drivelog::Line& line : log.lines) {
        const EcuRegisterMirror bytes = ecusim::RegistersOf(line);
        for (int c = 0; c < 9; ++c) {
            const double x = Logged(line, c);
            if (!std::isfinite(x) || !WithinAStep(c, Field(bytes, c), x)) std::abort();
        }
        if (bytes.faultFlags1 != line.faults[0] || bytes.faultFlags2 != line.faults[1] ||
            bytes.faultFlags3 != line.faults[2]) {
            std::abort();
        }
    }
    return 0;
}
