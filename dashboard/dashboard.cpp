#include "dashboard/dashboard.h"

#include "app/state.h"

// name, units, height, left, top, minimum, maximum, major step, minor step,
// thresholds from the top band down, decimals
Gauge revsGauge("Revs", "rpm", 400, 10, 30, 0, 8000, 1000, 200, 6500, 6000, 1500, 1000, 0);
Gauge airGauge("Air", "C", 200, 110, 30, -55, 125, 30, 5, 105, 95, -60, -60, 0);
Gauge pressureGauge("Pressure", "mb", 200, 210, 30, 0, 1250, 250, 50, 1200, 1200, 0, 0, 0);
Gauge throttleGauge("Throttle", "deg", 200, 310, 30, 0, 90, 30, 10, 90, 90, 0, 0, 1);
Gauge voltsGauge("Volts", "V", 200, 410, 30, 0, 15, 3, 1, 15, 14, 13, 12, 2);
Gauge injectorGauge("Injector", "mS", 200, 110, 230, 0, 15, 15, 3, 15, 15, 0, 0, 3);
// Built but never drawn: its slot stays empty and its value stays at its minimum.
Gauge injTimingGauge("Inj. timing", "deg", 200, 210, 230, 0, 720, 180, 45, 720, 720, 0, 0, 0);
Gauge advanceGauge("Advance", "deg", 200, 310, 230, 0, 75, 15, 3, 75, 75, 0, 0, 0);
Gauge vaeGauge("VAE", "%", 200, 410, 230, 0, 100, 20, 5, 100, 100, 0, 0, 0);
Gauge waterGauge("Water", "C", 400, 510, 30, -55, 125, 15, 5, 105, 95, -60, -60, 0);

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
