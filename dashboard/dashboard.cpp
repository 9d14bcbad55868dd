#include "dashboard/dashboard.h"

#include "app/state.h"
#include "app/texts.h"
#include "dashboard/faults.h"
#include "dashboard/gauge_table.h"
#include "platform/texts.h"

// The ten gauges, built from their parameters before WinMain runs.
Gauge revsGauge = MakeGauge(kRevsGauge);
Gauge airGauge = MakeGauge(kAirGauge);
Gauge pressureGauge = MakeGauge(kPressureGauge);
Gauge throttleGauge = MakeGauge(kThrottleGauge);
Gauge voltsGauge = MakeGauge(kVoltsGauge);
Gauge injectorGauge = MakeGauge(kInjectorGauge);
// Built but never drawn: its slot stays empty and its value stays at its minimum.
Gauge injTimingGauge = MakeGauge(kInjTimingGauge);
Gauge advanceGauge = MakeGauge(kAdvanceGauge);
Gauge vaeGauge = MakeGauge(kVaeGauge);
Gauge waterGauge = MakeGauge(kWaterGauge);

namespace {

// Each gauge's name and units in the string table.
struct GaugeTexts {
    Gauge* gauge;
    UINT name;
    UINT units;
};
const GaugeTexts gaugeTexts[] = {
    {&revsGauge, kTextRevs, kTextRpm},
    {&airGauge, kTextAir, kTextCelsius},
    {&pressureGauge, kTextPressure, kTextMillibar},
    {&throttleGauge, kTextThrottle, kTextDegrees},
    {&voltsGauge, kTextVolts, kTextVoltUnit},
    {&injectorGauge, kTextInjector, kTextMilliseconds},
    {&injTimingGauge, kTextInjTiming, kTextDegrees},
    {&advanceGauge, kTextAdvance, kTextDegrees},
    {&vaeGauge, kTextVae, kTextPercent},
    {&waterGauge, kTextWater, kTextCelsius},
};

} // namespace

void LoadDashboardTexts() {
    for (const GaugeTexts& t : gaugeTexts) {
        LoadShownTextA(appInstance, t.name, t.gauge->name, sizeof t.gauge->name);
        LoadShownTextA(appInstance, t.units, t.gauge->units, sizeof t.gauge->units);
    }
    static_assert(sizeof kTextFaults / sizeof kTextFaults[0] ==
                      sizeof kFaultEntries / sizeof kFaultEntries[0],
                  "a fault entry without its texts, or texts without their entry");
    for (int i = 0; i < 11; ++i) {
        for (int k = 0; k < 3; ++k) {
            LoadShownTextA(appInstance, kTextFaults[i][k], faultTexts[i][k],
                           sizeof faultTexts[i][k]);
        }
    }
}

namespace {

// The nine gauges on screen with the reading each shows, in drawing order; the
// injection-timing gauge is not among them.
struct ShownGauge {
    Gauge* gauge;
    const float* reading;
};
const ShownGauge shownGauges[] = {
    {&revsGauge, &EngineReadings.engineSpeed},
    {&airGauge, &EngineReadings.airTemp},
    {&waterGauge, &EngineReadings.waterTemp},
    {&injectorGauge, &EngineReadings.injectorTime},
    {&advanceGauge, &EngineReadings.sparkAdvance},
    {&pressureGauge, &EngineReadings.manifoldPressure},
    {&throttleGauge, &EngineReadings.throttleAngle},
    {&voltsGauge, &EngineReadings.batteryVolts},
    {&vaeGauge, &EngineReadings.vaeValue},
};

} // namespace

void PaintDashboard(HWND window) {
    HDC hdc = BeginPaint(window, &paintInfo);
    for (const ShownGauge& shown : shownGauges)
        shown.gauge->Paint(hdc, *shown.reading);

    HGDIOBJ kept = SelectObject(hdc, panelBrush);
    RoundRect(hdc, 11, 431, 609, 529, 20, 20);
    SelectObject(hdc, kept);
    DrawFaultPanel(hdc);

    EndPaint(window, &paintInfo);
}

void UpdateDashboard(HWND window) {
    tickDC = GetDC(window);
    for (const ShownGauge& shown : shownGauges)
        shown.gauge->Update(tickDC, *shown.reading);
    CheckFaultChange(window);
    ReleaseDC(window, tickDC);
}

// Only the fault-present bytes count: a change of the short/open bytes alone shows at
// the next repaint that has another cause.
void CheckFaultChange(HWND window) {
    if (EcuRegisters.faultFlags1 != lastFaultFlags1 ||
        EcuRegisters.faultFlags2 != lastFaultFlags2 ||
        EcuRegisters.faultFlags3 != lastFaultFlags3) {
        lastFaultFlags1 = EcuRegisters.faultFlags1;
        lastFaultFlags2 = EcuRegisters.faultFlags2;
        lastFaultFlags3 = EcuRegisters.faultFlags3;
        InvalidateRect(window, nullptr, FALSE);
        UpdateWindow(window);
    }
}
