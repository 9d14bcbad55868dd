#include "plot.h"

#include "dashboard/faults.h"
#include "dashboard/gauge_table.h"
#include "platform/utf8.h"
#include "texts.h"
#include "tools/common/texts.h"

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

// A text the system gave (a date) as the picture takes it: UTF-8. The string table's
// texts come as UTF-8 for it (texts::Utf8Text), never through the code page.
std::string Shown(const std::string& text) { return platform::Utf8FromSystem(text); }

// The bands of a gauge from the top: above threshold1 red, then yellow, green, yellow,
// and red at or below threshold4 (a value on a threshold belongs to the band below),
// each as far as the chart's range shows it.
void Bands(int chart, const GaugeParameters& g, const Range& range, canvas::Canvas* c) {
    const double edges[6] = {static_cast<double>(g.maximum),    static_cast<double>(g.threshold1),
                             static_cast<double>(g.threshold2), static_cast<double>(g.threshold3),
                             static_cast<double>(g.threshold4), static_cast<double>(g.minimum)};
    const Color colors[5] = {kRed, kYellow, kGreen, kYellow, kRed};
    for (int b = 0; b < 5; ++b) {
        double high = std::min({edges[b], static_cast<double>(g.maximum), range.high});
        double low = std::max({edges[b + 1], static_cast<double>(g.minimum), range.low});
        if (high <= low) continue;
        double y0 = YOf(chart, high, range);
        double y1 = YOf(chart, low, range);
        c->Rectangle(kLeft, y0, kPlotWidth, y1 - y0, colors[b]);
    }
}

// The reading's lines: one point a poll while the polls fit the width, else each pixel
// column's lowest and highest in the order they came, so that no spike is lost. A poll
// whose line could not be read (or a column without one) breaks the line there.
std::vector<Points> Series(const drivelog::Log& log, int chart, const Range& range) {
    const auto member = kLoggedReadings[chart].value;
    const size_t polls = static_cast<size_t>(std::max(log.polls, 1));
    std::vector<Points> segments(1);
    size_t next = 0; // the poll (or column) that continues the segment
    auto place = [&](size_t at, double x, std::initializer_list<double> ys) {
        if (at != next && !segments.back().empty()) segments.emplace_back();
        for (double y : ys)
            segments.back().emplace_back(x, y);
        next = at + 1;
    };
    if (polls <= static_cast<size_t>(kPlotWidth)) {
        for (const drivelog::Line& line : log.lines) {
            size_t at = log.PollOf(line);
            place(at, XOf(at, polls), {YOf(chart, line.readings.*member, range)});
        }
    } else {
        size_t i = 0;
        for (int column = 0; column < kPlotWidth; ++column) {
            size_t last = polls * static_cast<size_t>(column + 1) / kPlotWidth;
            const drivelog::Line* low = nullptr;
            const drivelog::Line* high = nullptr;
            for (; i < log.lines.size() && log.PollOf(log.lines[i]) < last; ++i) {
                const drivelog::Line& line = log.lines[i];
                float v = line.readings.*member;
                if (low == nullptr || v < low->readings.*member) low = &line;
                if (high == nullptr || v > high->readings.*member) high = &line;
            }
            if (low == nullptr) continue;
            double x = kLeft + column + 0.5;
            double yLow = YOf(chart, low->readings.*member, range);
            double yHigh = YOf(chart, high->readings.*member, range);
            const auto at = static_cast<size_t>(column);
            if (low == high) {
                place(at, x, {yLow});
            } else if (low->number < high->number) {
                place(at, x, {yLow, yHigh});
            } else {
                place(at, x, {yHigh, yLow});
            }
        }
    }
    if (segments.back().empty()) segments.pop_back();
    return segments;
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

void Grid(int polls, double top, double height, canvas::Canvas* c) {
    const double length = polls * drivelog::kSecondsPerLine;
    const double step = TickStep(length);
    for (int tick = 1; tick * step < length - 1e-9; ++tick) {
        double x = kLeft + kPlotWidth * tick * step / length;
        c->Polyline({{x, top}, {x, top + height}}, kGrid, 1);
    }
}

// A value as a tick shows it: no more decimals than it needs (2.5, 14, 0.25).
std::string TickText(double value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.3f", value);
    std::string s = text;
    while (s.back() == '0')
        s.pop_back();
    if (s.back() == '.') s.pop_back();
    return texts::WithDecimalSeparator(s == "-0" ? "0" : s);
}

// The chart's value ticks between its ends, with light lines across; none so near an end
// that its label would run into the end's.
void ValueTicks(int chart, const Range& range, canvas::Canvas* c) {
    const double step = ValueStep(range.high - range.low);
    const double top = kTop + chart * kChartStep;
    // Counted in whole steps, so that no rounding adds up along the way.
    const auto first = static_cast<long>(std::ceil(range.low / step - 1e-9));
    for (long k = first; static_cast<double>(k) * step < range.high; ++k) {
        const double v = static_cast<double>(k) * step;
        double y = YOf(chart, v, range);
        if (y < top + 14 || y > top + kChartHeight - 12) continue;
        c->Polyline({{kLeft, y}, {kLeft + kPlotWidth, y}}, kGrid, 1);
        c->Text(kLeft - 6, y + 4, TickText(v), 10, kGray, Align::Right);
    }
}

void Chart(const drivelog::Log& log, int chart, const Range& range, canvas::Canvas* c) {
    const LoggedReading& reading = kLoggedReadings[chart];
    const GaugeParameters& g = *reading.gauge;
    const double top = kTop + chart * kChartStep;
    Bands(chart, g, range, c);
    Grid(log.polls, top, kChartHeight, c);
    ValueTicks(chart, range, c);
    c->Polyline({{kLeft, top},
                 {kLeft + kPlotWidth, top},
                 {kLeft + kPlotWidth, top + kChartHeight},
                 {kLeft, top + kChartHeight},
                 {kLeft, top}},
                kGray, 1);
    c->Text(10, top + 16, texts::Utf8Text(texts::GaugeNameOf(chart)), 13, kInk, Align::Left);
    c->Text(10, top + 32, texts::Utf8Text(texts::UnitsOf(chart)), 11, kGray, Align::Left);
    c->Text(kLeft - 6, top + 10, TickText(range.high), 10, kGray, Align::Right);
    c->Text(kLeft - 6, top + kChartHeight, TickText(range.low), 10, kGray, Align::Right);
    for (const Points& segment : Series(log, chart, range))
        c->Polyline(segment, kSeries, 1.2);
}

// Runs of a fault's presence, as spans of x, by the polls' places.
std::vector<std::pair<double, double>> FaultSpans(const drivelog::Log& log, const FaultEntry& e) {
    std::vector<std::pair<double, double>> spans;
    const size_t polls = static_cast<size_t>(std::max(log.polls, 1));
    const size_t slots = std::min(polls, static_cast<size_t>(kPlotWidth));
    std::vector<bool> present(slots, false);
    for (const drivelog::Line& line : log.lines) {
        if (FaultPresent(e, line.faults)) present[log.PollOf(line) * slots / polls] = true;
    }
    for (size_t s = 0; s < slots; ++s) {
        if (!present[s]) continue;
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
        c->Text(10, top + kFaultHeight - 2, texts::Utf8FaultName(f), 11, kInk, Align::Left);
        c->Rectangle(kLeft, top, kPlotWidth, kFaultHeight, kFaultOff);
        Grid(log.polls, top, kFaultHeight, c);
        for (const auto& [x0, x1] : FaultSpans(log, e))
            c->Rectangle(x0, top, std::max(x1 - x0, 1.0), kFaultHeight, kFaultOn);
    }
}

// m:ss, or h:mm:ss on an axis that reaches an hour (every label alike, as its caption says).
std::string Clock(double seconds, bool hours) {
    long s = std::lround(seconds);
    char text[32];
    if (hours) {
        std::snprintf(text, sizeof text, "%ld:%02ld:%02ld", s / 3600, s / 60 % 60, s % 60);
    } else {
        std::snprintf(text, sizeof text, "%ld:%02ld", s / 60, s % 60);
    }
    return text;
}

void TimeAxis(int polls, canvas::Canvas* c) {
    const double length = polls * drivelog::kSecondsPerLine;
    const double step = TickStep(length);
    for (int tick = 0; tick * step <= length + 1e-9; ++tick) {
        double t = tick * step;
        double x = kLeft + kPlotWidth * (length > 0 ? t / length : 0);
        c->Text(x, kAxisTop + 14, Clock(t, length >= 3600), 11, kGray, Align::Center);
    }
    c->Text(kLeft + kPlotWidth / 2.0, kAxisTop + 30,
            texts::Utf8Text(length >= 3600 ? kTextAxisHours : kTextAxisMinutes), 11, kGray,
            Align::Center);
}

} // namespace

Range GaugeRange(int chart) {
    const GaugeParameters& g = *kLoggedReadings[chart].gauge;
    return Range{static_cast<double>(g.minimum), static_cast<double>(g.maximum)};
}

double ValueStep(double span) {
    if (!(span > 0) || !std::isfinite(span)) return 1;
    double power = std::pow(10.0, std::floor(std::log10(span)) - 1);
    for (;;) {
        for (double m : {1.0, 2.0, 2.5, 5.0}) {
            if (span / (m * power) <= 5 + 1e-9) return m * power;
        }
        power *= 10;
    }
}

Range FitRange(const drivelog::Log& log, int chart) {
    const auto member = kLoggedReadings[chart].value;
    double low = 0;
    double high = 0;
    bool any = false;
    for (const drivelog::Line& line : log.lines) {
        double v = line.readings.*member;
        low = any ? std::min(low, v) : v;
        high = any ? std::max(high, v) : v;
        any = true;
    }
    if (!any) return GaugeRange(chart);
    if (high - low < 1e-6) {
        // One value all through: a little either side of it.
        double pad = std::max(std::fabs(low) * 0.05, 1.0);
        low -= pad;
        high += pad;
    }
    const double step = ValueStep(high - low);
    return Range{std::floor(low / step) * step, std::ceil(high / step) * step};
}

double XOf(size_t i, size_t n) {
    return kLeft +
           kPlotWidth * static_cast<double>(i) / static_cast<double>(std::max<size_t>(n, 1));
}

double YOf(int chart, double value) { return YOf(chart, value, GaugeRange(chart)); }

double YOf(int chart, double value, const Range& range) {
    double v = std::clamp(value, range.low, range.high);
    return kTop + chart * kChartStep + kChartHeight * (range.high - v) / (range.high - range.low);
}

namespace {
// h min s, m s or s: for the console, or as UTF-8 for the picture.
std::string DurationText(double seconds, bool utf8) {
    long s = std::lround(seconds);
    auto text = [utf8](unsigned id) { return utf8 ? texts::Utf8Text(id) : texts::Text(id); };
    if (s >= 3600) return texts::Filled(text(kTextHours), s / 3600, s / 60 % 60, s % 60);
    if (s >= 60) return texts::Filled(text(kTextMinutes), s / 60, s % 60);
    return texts::Filled(text(kTextSeconds), s);
}
} // namespace

std::string Duration(double seconds) { return DurationText(seconds, false); }

void Draw(const drivelog::Log& log, const std::string& name, const std::string& ended,
          canvas::Canvas* c, const Options& options) {
    const size_t n = log.lines.size();
    const std::string end =
        ended.empty() ? "" : texts::Utf8Format(kTextEnded, Shown(ended).c_str());
    c->Text(10, 26, name + end, 17, kInk, Align::Left);
    const std::string duration = DurationText(log.polls * drivelog::kSecondsPerLine, true);
    std::string under = log.polls == 1 ? texts::Utf8Format(kTextOnePoll, duration.c_str())
                                       : texts::Utf8Format(kTextPolls, duration.c_str(), log.polls);
    if (static_cast<int>(n) < log.polls)
        under += texts::Utf8Format(kTextUnreadable, log.polls - static_cast<int>(n));
    if (options.fit) under += texts::Utf8Text(kTextFitted);
    c->Text(10, 45, under, 12, kGray, Align::Left);
    c->Text(10, 60, texts::Utf8Text(kTextPollEvery), 12, kGray, Align::Left);
    TimeAxis(log.polls, c);
    for (int chart = 0; chart < 9; ++chart)
        Chart(log, chart, options.fit ? FitRange(log, chart) : GaugeRange(chart), c);
    Faults(log, c);
}

} // namespace plot
