// The gauges' parameters and the readings they show: the dashboard builds its gauges
// from them, and the tools beside it (the port probe, the log plot) read ranges, bands,
// units and names from them rather than from copies.
#pragma once

#include "app/state.h"

struct GaugeParameters {
    const char* name;
    const char* units;
    int height;
    int left;
    int top;
    int minimum;
    int maximum;
    int majorStep;
    int minorStep;
    // From the top band down: above threshold1 red, then yellow, green, yellow, red.
    int threshold1;
    int threshold2;
    int threshold3;
    int threshold4;
    int decimals;
};

// clang-format off
// name, units, height, left, top, minimum, maximum, major step, minor step,
// thresholds from the top band down, decimals
const GaugeParameters kRevsGauge = {"Revs", "rpm", 400, 10, 30, 0, 8000, 1000, 200, 6500, 6000, 1500, 1000, 0};
const GaugeParameters kAirGauge = {"Air", "C", 200, 110, 30, -55, 125, 30, 5, 105, 95, -60, -60, 0};
const GaugeParameters kPressureGauge = {"Pressure", "mb", 200, 210, 30, 0, 1250, 250, 50, 1200, 1200, 0, 0, 0};
const GaugeParameters kThrottleGauge = {"Throttle", "deg", 200, 310, 30, 0, 90, 30, 10, 90, 90, 0, 0, 1};
const GaugeParameters kVoltsGauge = {"Volts", "V", 200, 410, 30, 0, 15, 3, 1, 15, 14, 13, 12, 2};
const GaugeParameters kInjectorGauge = {"Injector", "mS", 200, 110, 230, 0, 15, 15, 3, 15, 15, 0, 0, 3};
const GaugeParameters kInjTimingGauge = {"Inj. timing", "deg", 200, 210, 230, 0, 720, 180, 45, 720, 720, 0, 0, 0};
const GaugeParameters kAdvanceGauge = {"Advance", "deg", 200, 310, 230, 0, 75, 15, 3, 75, 75, 0, 0, 0};
const GaugeParameters kVaeGauge = {"VAE", "%", 200, 410, 230, 0, 100, 20, 5, 100, 100, 0, 0, 0};
const GaugeParameters kWaterGauge = {"Water", "C", 400, 510, 30, -55, 125, 15, 5, 105, 95, -60, -60, 0};
// The pressure gauge once an engine family is chosen: its top band starts at 1500 mb.
const GaugeParameters kPressureGaugeForEngine = {"Pressure", "mb", 200, 210, 30, 0, 1250, 250, 50, 1500, 1200, 0, 0, 0};
// clang-format on

// A reading with the gauge that shows it (as the dashboard shows it while it polls).
struct LoggedReading {
    const char* name;
    float EngineValues::*value;
    const GaugeParameters* gauge;
};

// The nine readings in the order of the data log's first nine columns.
const LoggedReading kLoggedReadings[9] = {
    {"engine speed", &EngineValues::engineSpeed, &kRevsGauge},
    {"water temperature", &EngineValues::waterTemp, &kWaterGauge},
    {"air temperature", &EngineValues::airTemp, &kAirGauge},
    {"throttle angle", &EngineValues::throttleAngle, &kThrottleGauge},
    {"injector time", &EngineValues::injectorTime, &kInjectorGauge},
    {"ignition advance", &EngineValues::sparkAdvance, &kAdvanceGauge},
    {"battery voltage", &EngineValues::batteryVolts, &kVoltsGauge},
    {"manifold pressure", &EngineValues::manifoldPressure, &kPressureGaugeForEngine},
    {"VAE", &EngineValues::vaeValue, &kVaeGauge},
};
