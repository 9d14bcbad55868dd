// The cost of one full dashboard paint against one per-tick update, on the headless
// backend. Both run in one process, so their ratio holds on a busy machine too.
#include "app/state.h"
#include "dashboard/dashboard.h"
#include "platform/posix/harness/harness.h"

#include <benchmark/benchmark.h>

namespace {

// One program for the whole run; its destructor ends it at exit.
headless::Harness& Program() {
    static headless::Harness h;
    static bool started = (h.Start(), true);
    (void)started;
    return h;
}

void BM_PaintDashboard(benchmark::State& state) {
    headless::Harness& h = Program();
    h.Run([&] {
        for (auto _ : state) {
            InvalidateRect(mainWindow, nullptr, FALSE);
            PaintDashboard(mainWindow);
        }
    });
}
BENCHMARK(BM_PaintDashboard)->Unit(benchmark::kMicrosecond);

void BM_UpdateDashboard(benchmark::State& state) {
    headless::Harness& h = Program();
    h.Run([&] {
        float speed = 800;
        for (auto _ : state) {
            // A moving engine, so that every pointer and readout really changes.
            speed = speed > 7000 ? 800 : speed + 37;
            EngineReadings.engineSpeed = speed;
            EngineReadings.waterTemp = speed / 80;
            EngineReadings.batteryVolts = 12 + speed / 4000;
            UpdateDashboard(mainWindow);
        }
    });
}
BENCHMARK(BM_UpdateDashboard)->Unit(benchmark::kMicrosecond);

} // namespace

BENCHMARK_MAIN();
