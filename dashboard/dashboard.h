// The dashboard: the ten gauges, the full paint and the per-tick update.
#pragma once

#include "dashboard/gauge.h"
#include "platform/win32.h"

extern Gauge revsGauge;
extern Gauge airGauge;
extern Gauge pressureGauge;
extern Gauge throttleGauge;
extern Gauge voltsGauge;
extern Gauge injectorGauge;
extern Gauge injTimingGauge;
extern Gauge advanceGauge;
extern Gauge vaeGauge;
extern Gauge waterGauge;

void PaintDashboard(HWND window);
void UpdateDashboard(HWND window);
void CheckFaultChange(HWND window);
void DrawFaultPanel(HDC hdc);
// The gauges' names and units and the fault panel's texts, in the user's language.
void LoadDashboardTexts();
