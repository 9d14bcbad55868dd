#include "plot.h"

#include "dashboard/faults.h"
#include "dashboard/gauge_table.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace plot {

namespace {

using canvas::Align;
using canvas::Color;
using Points = std::vector<std::pair<double, double>>;

// The dashboard's band colours, pale enough that the reading reads over them.
const Color kRed = {255, 200, 200};
const Color kYellow = {255, 243, 176};
const Color kGreen = {200, 238, 200};
const Color kInk = {20, 20, 20};
const Color kGray = {120, 120, 120};
const Color kGrid = {215, 215, 215};
const Color kSeries = {20, 50, 150};
const Color kFaultOn = {220, 30, 30};
const Color kFaultOff = {236, 236, 236};

// The bands of a gauge from the top: above threshold1 red, then yellow, green, yellow,
// and red at or below threshold4 (a value on a threshold belongs to the band below).
void Bands(int chart, const GaugeParameters& g, canvas::Canvas* c) {
    const double edges[6] = {static_cast<double>(g.maximum),    static_cast<double>(g.threshold1),
                             static_cast<double>(g.threshold2), static_cast<double>(g.threshold3),
                             static_cast<double>(g.threshold4), static_cast<double>(g.minimum)};
    const Color colors[5] = {kRed, kYellow, kGreen, kYellow, kRed};
    for (int b = 0; b < 5; ++b) {
        double high = std::min(edges[b], static_cast<double>(g.maximum));
        double low = std::max(edges[b + 1], static_cast<double>(g.minimum));
        if (high <= low) continue;
        double y0 = YOf(chart, high);
        double y1 = YOf(chart, low);
        c->Rectangle(kLeft, y0, kPlotWidth, y1 - y0, colors[b]);
    }
}

// The reading's points: every line's while they fit the width, else each pixel column's
// lowest and highest in the order they came, so that no spike is lost.
Points Series(const drivelog::Log& log, int chart) {
    const auto member = kLoggedReadings[chart].value;
    const size_t n = log.lines.size();
    Points points;
    if (n <= static_cast<size_t>(kPlotWidth)) {
        for (size_t i = 0; i < n; ++i)
            points.emplace_back(XOf(i, n), YOf(chart, log.lines[i].readings.*member));
        return points;
    }
    for (int column = 0; column < kPlotWidth; ++column) {
        size_t first = n * static_cast<size_t>(column) / kPlotWidth;
        size_t last = n * static_cast<size_t>(column + 1) / kPlotWidth;
        size_t low = first;
        size_t high = first;
        for (size_t i = first; i < last; ++i) {
            float v = log.lines[i].readings.*member;
            if (v < log.lines[low].readings.*member) low = i;
            if (v > log.lines[high].readings.*member) high = i;
        }
        double x = kLeft + column + 0.5;
        double yLow = YOf(chart, log.lines[low].readings.*member);
        double yHigh = YOf(chart, log.lines[high].readings.*member);
        if (low <= high) {
            points.emplace_back(x, yLow);
            if (high != low) points.emplace_back(x, yHigh);
        } else {
            points.emplace_back(x, yHigh);
            points.emplace_back(x, yLow);
        }
    }
    return points;
}

// The time axis's step: a round one that gives six to a dozen ticks.
double TickStep(double length) {
    const double steps[] = {1,   2,   5,    10,   15,   30,    60,    120,   300,
                            600, 900, 1800, 3600, 7200, 10800, 21600, 43200, 86400};
    for (double s : steps) {
        if (length / s <= 12) return s;
    }
    return steps[sizeof steps / sizeof steps[0] - 1];
}

void Grid(size_t lines, double top, double height, canvas::Canvas* c) {
    const double length = static_cast<double>(lines) * drivelog::kSecondsPerLine;
    const double step = TickStep(length);
    for (int tick = 1; tick * step < length - 1e-9; ++tick) {
        double x = kLeft + kPlotWidth * tick * step / length;
        c->Polyline({{x, top}, {x, top + height}}, kGrid, 1);
    }
}

void Chart(const drivelog::Log& log, int chart, canvas::Canvas* c) {
    const LoggedReading& reading = kLoggedReadings[chart];
    const GaugeParameters& g = *reading.gauge;
    const double top = kTop + chart * kChartStep;
    Bands(chart, g, c);
    Grid(log.lines.size(), top, kChartHeight, c);
    c->Polyline({{kLeft, top},
                 {kLeft + kPlotWidth, top},
                 {kLeft + kPlotWidth, top + kChartHeight},
                 {kLeft, top + kChartHeight},
                 {kLeft, top}},
                kGray, 1);
    c->Text(10, top + 16, g.name, 13, kInk, Align::Left);
    c->Text(10, top + 32, g.units, 11, kGray, Align::Left);
    c->Text(kLeft - 6, top + 10, std::to_string(g.maximum), 10, kGray, Align::Right);
    c->Text(kLeft - 6, top + kChartHeight, std::to_string(g.minimum), 10, kGray, Align::Right);
    c->Polyline(Series(log, chart), kSeries, 1.2);
}

// Runs of a fault's presence, as spans of x.
std::vector<std::pair<double, double>> FaultSpans(const drivelog::Log& log, const FaultEntry& e) {
    std::vector<std::pair<double, double>> spans;
    const size_t n = log.lines.size();
    const size_t slots = std::min(n, static_cast<size_t>(kPlotWidth));
    auto present = [&](size_t slot) {
        size_t first = n * slot / slots;
        size_t last = n * (slot + 1) / slots;
        for (size_t i = first; i < last; ++i) {
            if (FaultPresent(e, log.lines[i].faults)) return true;
        }
        return false;
    };
    for (size_t s = 0; s < slots; ++s) {
        if (!present(s)) continue;
        double x0 = kLeft + kPlotWidth * static_cast<double>(s) / static_cast<double>(slots);
        double x1 = kLeft + kPlotWidth * static_cast<double>(s + 1) / static_cast<double>(slots);
        if (!spans.empty() && std::abs(spans.back().second - x0) < 1e-9) {
            spans.back().second = x1;
        } else {
            spans.emplace_back(x0, x1);
        }
    }
    return spans;
}

void Faults(const drivelog::Log& log, canvas::Canvas* c) {
    for (int f = 0; f < 11; ++f) {
        const FaultEntry& e = kFaultEntries[f];
        const double top = kFaultTop + f * kFaultStep;
        c->Text(10, top + kFaultHeight - 2, e.name, 11, kInk, Align::Left);
        c->Rectangle(kLeft, top, kPlotWidth, kFaultHeight, kFaultOff);
        Grid(log.lines.size(), top, kFaultHeight, c);
        for (const auto& [x0, x1] : FaultSpans(log, e))
            c->Rectangle(x0, top, std::max(x1 - x0, 1.0), kFaultHeight, kFaultOn);
    }
}

std::string Clock(double seconds) {
    long s = std::lround(seconds);
    char text[32];
    if (s >= 3600) {
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
    } else {
        std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
    }
    return text;
}

void TimeAxis(size_t lines, canvas::Canvas* c) {
    const double length = static_cast<double>(lines) * drivelog::kSecondsPerLine;
    const double step = TickStep(length);
    for (int tick = 0; tick * step <= length + 1e-9; ++tick) {
        double t = tick * step;
        double x = kLeft + kPlotWidth * (length > 0 ? t / length : 0);
        c->Text(x, kAxisTop + 14, Clock(t), 11, kGray, Align::Center);
    }
    c->Text(kLeft + kPlotWidth / 2.0, kAxisTop + 30,
            "time since logging began (minutes:seconds), one answered poll every 0.5 s", 11, kGray,
            Align::Center);
}

} // namespace

double XOf(size_t i, size_t n) {
    return kLeft +
           kPlotWidth * static_cast<double>(i) / static_cast<double>(std::max<size_t>(n, 1));
}

double YOf(int chart, double value) {
    const GaugeParameters& g = *kLoggedReadings[chart].gauge;
    double v = std::clamp(value, static_cast<double>(g.minimum), static_cast<double>(g.maximum));
    return kTop + chart * kChartStep +
           kChartHeight * (g.maximum - v) / static_cast<double>(g.maximum - g.minimum);
}

std::string Duration(double seconds) {
    long s = std::lround(seconds);
    char text[48];
    if (s >= 3600) {
        std::snprintf(text, sizeof text, "%ld h %02ld min %02ld s", s / 3600, s / 60 % 60, s % 60);
    } else if (s >= 60) {
        std::snprintf(text, sizeof text, "%ld min %02ld s", s / 60, s % 60);
    } else {
        std::snprintf(text, sizeof text, "%ld s", s);
    }
    return text;
}

void Draw(const drivelog::Log& log, const std::string& name, const std::string& date,
          canvas::Canvas* c) {
    const size_t n = log.lines.size();
    c->Text(10, 26, name + (date.empty() ? "" : ", " + date), 17, kInk, Align::Left);
    c->Text(10, 48,
            Duration(static_cast<double>(n) * drivelog::kSecondsPerLine) + " of driving: " +
                std::to_string(n) + (n == 1 ? " answered poll" : " answered polls") +
                ", one answered poll every 0.5 s (the log has no times of its own: each line is "
                "one poll the ECU answered)",
            12, kGray, Align::Left);
    TimeAxis(n, c);
    for (int chart = 0; chart < 9; ++chart)
        Chart(log, chart, c);
    Faults(log, c);
}

} // namespace plot
