// A drive as a picture: one strip chart per reading on a shared time axis, each scaled
// to its gauge's range with the gauge's bands behind it, and under them a bar for each
// fault the panel shows, drawn where the fault was present.
#pragma once

#include "platform/canvas.h"
#include "tools/common/drive_log.h"

#include <string>

namespace plot {

// Where things stand, in pixels.
constexpr int kWidth = 1200;
constexpr int kLeft = 160;       // the charts' left edge
constexpr int kPlotWidth = 1000; // the drive's whole length
constexpr int kTop = 70;         // the first chart's top
constexpr int kChartHeight = 80;
constexpr int kChartStep = 96; // from one chart's top to the next
constexpr int kFaultTop = kTop + 9 * kChartStep + 10;
constexpr int kFaultStep = 16;
constexpr int kFaultHeight = 12;
constexpr int kAxisTop = kFaultTop + 11 * kFaultStep + 4;
constexpr int kHeight = kAxisTop + 36;

// The values a chart spans, from its bottom to its top.
struct Range {
    double low;
    double high;
};
// The gauge's range of chart c (the log's column order).
Range GaugeRange(int chart);
// The range of chart c's own readings, widened to round values (--fit).
Range FitRange(const drivelog::Log& log, int chart);

// The x of poll i (from 0) of n: its time on an axis that spans the whole drive.
double XOf(size_t i, size_t n);
// The y of a reading on chart c, clamped to the range as the gauge clamps it (by default
// the gauge's own).
double YOf(int chart, double value);
double YOf(int chart, double value, const Range& range);

// The step between a chart's value ticks: 1, 2, 2.5 or 5 times a power of ten, so that a
// range holds at most five.
double ValueStep(double span);

// "12 min 30 s", "1 h 02 min 05 s", "45 s".
std::string Duration(double seconds);

struct Options {
    bool fit = false; // each chart scaled to its own readings, not to its gauge's range
};

// Draws the log with its title: the file's name and when the drive ended (the file's
// last change, "2026-12-08 18:10"; empty when not known).
void Draw(const drivelog::Log& log, const std::string& name, const std::string& ended,
          canvas::Canvas* c, const Options& options = {});

} // namespace plot
