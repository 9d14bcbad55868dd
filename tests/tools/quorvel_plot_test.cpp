// quorvel-plot: the log read back with its bad lines named, the series where the
// readings put them, a spike kept through the reduction to pixel columns, the faults'
// bars, and the PNG's pixels.
#include "dashboard/faults.h"
#include "dashboard/gauge_table.h"
#include "platform/canvas.h"
#include "platform/utf8.h"
#include "tools/common/drive_log.h"
#include "tools/quorvel-plot/plot.h"
#include "tools/quorvel-plot/svg_canvas.h"

#include <gtest/gtest.h>

#include <cairo.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <limits>
#include <regex>
#include <sstream>

namespace fs = std::filesystem;

namespace {

const char kHeader[] = "revs, water temp, air temp, throttle, injector period, advance, volts, "
                       "pressure, VAE, error 1, error 2, error 3, , revs, water temp, air temp, "
                       "throttle, injector timing, advance, volts, pressure, VAE\r\n";
const char kOldHeader[] =
    "revs, water temp, air temp, throttle, injector period, injector timing, advance, volts, "
    "pressure, VAE, error 1, error 2, error 3, , revs, water temp, air temp, throttle, "
    "injector period, injector timing, advance, volts, pressure, VAE\r\n";

// A data line as the dashboard writes it, with these revs, water temperature and faults.
std::string Line(double revs, double water = 90, int error1 = 0) {
    char text[256];
    std::snprintf(text, sizeof text,
                  "%f, %f, 25.000000, 30.908199, 2.000000, 20.000000, 14.000000, 800.000000, "
                  "35.000000, %d, 0, 0, , 62, 80, 44, 34, 0, 26, 93, 64, 35\r\n",
                  revs, water, error1);
    return text;
}

drivelog::Log Parsed(const std::string& text) {
    drivelog::Log log;
    drivelog::Parse(text, &log);
    return log;
}

// The lines the dashboard writes at the ends of every conversion: each register at 0
// (the periods at 1), and at 0xFF (the periods at 0xFFFF).
const char kSmallestRaw[] = "15000000.000000, -40.000000, -40.000000, -2.963800, 0.002000, "
                            "0.000000, 0.000000, 0.000000, 0.000000, 0, 0, 0, , 100, 0, 0, 0, 0, "
                            "0, 0, 0, 0\r\n";
const char kLargestRaw[] = "228.885330, 215.000000, 215.000000, 105.003197, 131.070007, "
                           "127.500000, 15.937500, 1020.000000, 255.000000, 255, 255, 255, , 0, "
                           "100, 100, 100, 100, 100, 100, 100, 100\r\n";

TEST(DriveLog, BothHeadersAndEveryGoodLineAreRead) {
    for (const char* header : {kHeader, kOldHeader}) {
        drivelog::Log log =
            Parsed(header + Line(850) + Line(5000, 91.5, 8) + kSmallestRaw + kLargestRaw);
        EXPECT_TRUE(log.problems.empty())
            << (log.problems.empty() ? "" : drivelog::Describe(log.problems[0]));
        ASSERT_EQ(log.lines.size(), 4u);
        EXPECT_FLOAT_EQ(log.lines[2].readings.throttleAngle, -2.9638f);
        EXPECT_FLOAT_EQ(log.lines[3].readings.engineSpeed, 228.88533f);
        EXPECT_FLOAT_EQ(log.lines[3].readings.airTemp, 215.0f);
        EXPECT_FLOAT_EQ(log.lines[1].readings.engineSpeed, 5000.0f);
        EXPECT_FLOAT_EQ(log.lines[1].readings.waterTemp, 91.5f);
        EXPECT_FLOAT_EQ(log.lines[1].readings.vaeValue, 35.0f);
        EXPECT_EQ(log.lines[1].faults[0], 8);
        EXPECT_EQ(log.lines[1].number, 3);
    }
    EXPECT_EQ(Parsed(kHeader).headerColumns, 22);
    EXPECT_EQ(Parsed(kOldHeader).headerColumns, 24);
}

// A log a spreadsheet saved again in its user's conventions, or quorvel-sheet's copy of
// it, reads as the log itself: the same two polls in every form.
TEST(DriveLog, ALogASpreadsheetSavedAgainIsRead) {
    const std::string kItalianSheet =
        "Giri (g/min);Acqua (\xC2\xB0"
        "C);Aria (\xC2\xB0"
        "C);Farfalla (gradi);Iniettore (ms);"
        "Anticipo (gradi);Volt (V);Pressione (mb);VAE (%);Errore 1;Errore 2;Errore 3";
    struct Case {
        const char* name;
        std::string text;
    } cases[] = {
        {"semicolons and decimal commas, as Calc saves it in Italy",
         "revs;water temp;air temp;throttle;injector period;advance;volts;pressure;VAE;error 1;"
         "error 2;error 3;;revs;water temp;air temp;throttle;injector timing;advance;volts;"
         "pressure;VAE\r\n"
         "850,00;90,00;25,00;30,91;2,00;20,00;14,00;800,00;35,00;0;0;0;;62;80;44;34;0;26;93;64;"
         "35\r\n"
         "5000;91,5;25;30,908199;2;20;14;800;35;8;0;0;;62;80;44;34;0;26;93;64;35\r\n"},
        {"tabs, a byte-order mark and the header without its spaces",
         "\xEF\xBB\xBFrevs\twater temp\tair temp\tthrottle\tinjector period\tadvance\tvolts\t"
         "pressure\tVAE\terror 1\terror 2\terror 3\t\trevs\twater temp\tair temp\tthrottle\t"
         "injector timing\tadvance\tvolts\tpressure\tVAE\n"
         "850\t90\t25\t30.91\t2\t20\t14\t800\t35\t0\t0\t0\t\t62\t80\t44\t34\t0\t26\t93\t64\t35\n"
         "5000\t91.5\t25\t30."
         "91\t2\t20\t14\t800\t35\t8\t0\t0\t\t62\t80\t44\t34\t0\t26\t93\t64\t35\n"},
        {"quoted fields, and thousands grouped",
         "\"revs\",\"water temp\",air temp,throttle,injector period,advance,volts,pressure,VAE,"
         "error 1,error 2,error 3,,revs,water temp,air temp,throttle,injector timing,advance,"
         "volts,pressure,VAE\r\n"
         "\"850,0\",90,25,30.91,2,20,14,800,35,0,0,0,,62,80,44,34,0,26,93,64,35\r\n"
         "\"5,000.00\",\"91,5\",25,30.91,2,20,14,800,35,8,0,0,\"\",62,80,44,34,0,26,93,64,35\r\n"},
        {"a French sheet: a no-break space and a narrow one between thousands",
         "revs;water temp;air temp;throttle;injector period;advance;volts;pressure;VAE;error 1;"
         "error 2;error 3;;revs;water temp;air temp;throttle;injector timing;advance;volts;"
         "pressure;VAE\r\n"
         "850;90;25;30,91;2;20;14;800;35;0;0;0;;62;80;44;34;0;26;93;64;35\r\n"
         "5\xC2\xA0"
         "000;91,5;25;30,91;2;20;14;800;35;8;0;0;;62;80;44;34;0;26;93;64;35\r\n"},
        {"the narrow no-break space",
         "revs;water temp;air temp;throttle;injector period;advance;volts;pressure;VAE;error 1;"
         "error 2;error 3;;revs;water temp;air temp;throttle;injector timing;advance;volts;"
         "pressure;VAE\r\n"
         "850;90;25;30,91;2;20;14;800;35;0;0;0;;62;80;44;34;0;26;93;64;35\r\n"
         "5\xE2\x80\xAF"
         "000,0;91,5;25;30,91;2;20;14;800;35;8;0;0;;62;80;44;34;0;26;93;64;35\r\n"},
        {"quorvel-sheet's Italian copy, its gauges left out, decimals as the gauges show them",
         kItalianSheet + "\r\n" + "850;90;25;30,9;2,00;20;14,00;800;35;0;0;0\r\n" +
             "5000;91,5;25;30,9;2,00;20;14,00;800;35;8;0;0\r\n"},
        {"quorvel-sheet's copy with the gauges",
         kItalianSheet +
             ";Giri (%);Acqua (%);Aria (%);Farfalla (%);Iniettore (%);Anticipo (%);Volt (%);"
             "Pressione (%);VAE (%)\r\n" +
             "850;90;25;30,9;2,00;20;14,00;800;35;0;0;0;62;80;44;34;0;26;93;64;35\r\n" +
             "5000;91,5;25;30,9;2,00;20;14,00;800;35;8;0;0;62;80;44;34;0;26;93;64;35\r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        drivelog::Log log = Parsed(c.text);
        EXPECT_TRUE(log.problems.empty())
            << (log.problems.empty() ? "" : drivelog::Describe(log.problems[0]));
        ASSERT_EQ(log.lines.size(), 2u);
        EXPECT_FLOAT_EQ(log.lines[0].readings.engineSpeed, 850.0f);
        EXPECT_FLOAT_EQ(log.lines[1].readings.engineSpeed, 5000.0f);
        EXPECT_FLOAT_EQ(log.lines[1].readings.waterTemp, 91.5f);
        EXPECT_NEAR(log.lines[1].readings.throttleAngle, 30.91f, 0.011f);
        EXPECT_FLOAT_EQ(log.lines[1].readings.manifoldPressure, 800.0f);
        EXPECT_EQ(log.lines[1].faults[0], 8);
        if (log.lines[1].hasGauges) {
            EXPECT_EQ(log.lines[1].gauges[8], 35);
        }
    }
    // A sheet's column named as the dashboard's header names it.
    drivelog::Log log = Parsed(kItalianSheet + "\r\n850;90;tiepida;30,9;2;20;14;800;35;0;0;0\r\n");
    ASSERT_EQ(log.problems.size(), 1u);
    EXPECT_EQ(drivelog::Describe(log.problems[0]),
              "line 2, column 3 (air temp): \"tiepida\" is not a number");
}

// Anything that does not begin with the dashboard's header is no log: refused at once,
// in one line, not line by line.
TEST(DriveLog, AFileWithoutTheHeaderIsRefusedAtOnce) {
    // A program's first bytes, NULs and all.
    const char kElf[] = "\x7f"
                        "ELF\x02\x01\x01\n\x00\x00garbage";
    for (const std::string& text :
         {Line(850) + Line(900), std::string("root:x:0:0:root:/root:/bin/bash\n") + Line(850),
          std::string(kElf, sizeof kElf - 1), std::string()}) {
        drivelog::Log log;
        std::string error;
        EXPECT_FALSE(drivelog::Parse(text, &log, &error));
        EXPECT_TRUE(log.lines.empty());
        EXPECT_TRUE(log.problems.empty()) << "no complaint line by line";
        EXPECT_EQ(error, "it does not begin with the header the dashboard writes (\"revs, water "
                         "temp, ...\")");
    }
}

TEST(DriveLog, BadLinesAreNamedByLineAndColumnAndLeftOut) {
    std::string text =
        std::string(kHeader) + Line(850) + "850.0, 20.0\r\n" +
        "850.000000, 20.000000, warm, 1, 2, 3, 4, 5, 6, 0, 0, 0, , 1, 2, 3, 4, "
        "5, 6, 7, 8, 9\r\n" +
        "850, 20, 25, 1, 2, 3, 4, 5, 6, 300, 0, 0, , 1, 2, 3, 4, 5, 6, 7, 8, 9\r\n" +
        "850, 20, 25, 1, 2, 3, 4, 5, 6, 0, 0, 0, x, 1, 2, 3, 4, 5, 6, 7, 8, 9\r\n" + "\r\n" +
        "1e39, 20, 25, 1, 2, 3, 4, 5, 6, 0, 0, 0, , 1, 2, 3, 4, 5, 6, 7, 8, 9\r\n" +
        "850, -4e38, 25, 1, 2, 3, 4, 5, 6, 0, 0, 0, , 1, 2, 3, 4, 5, 6, 7, 8, 9\r\n" +
        "850, 300, 25, 1, 2, 3, 4, 5, 6, 0, 0, 0, , 1, 2, 3, 4, 5, 6, 7, 8, 9\r\n" +
        "100, 20, 25, 1, 2, 3, 4, 5, 6, 0, 0, 0, , 1, 2, 3, 4, 5, 6, 7, 8, 9\r\n" +
        "850, 20, \x1b[2J\x1b]0;x\x07\\\xc3\xa9, 1, 2, 3, 4, 5, 6, 0, 0, 0, , 1, 2, 3, 4, 5, 6, "
        "7, 8, 9\r\n" +
        "850, 20, " + std::string(1 << 20, '7') +
        ", 1, 2, 3, 4, 5, 6, 0, 0, 0, , 1, 2, 3, 4, 5, "
        "6, 7, 8, 9\r\n" +
        Line(0, 214.999) + Line(228.89, -40.0) + Line(900);
    drivelog::Log log = Parsed(text);
    EXPECT_EQ(log.lines.size(), 4u) << "the ends of the ranges are readings";
    EXPECT_EQ(log.polls, 15) << "every line after the header is a poll's, read or not";
    ASSERT_EQ(log.problems.size(), 11u);
    EXPECT_EQ(drivelog::Describe(log.problems[0]), "line 3: 2 fields, not the 22 of a data line");
    EXPECT_EQ(drivelog::Describe(log.problems[1]),
              "line 4, column 3 (air temp): \"warm\" is not a number");
    EXPECT_EQ(drivelog::Describe(log.problems[2]),
              "line 5, column 10 (error 1): \"300\" is not a byte (0 to 255)");
    EXPECT_EQ(drivelog::Describe(log.problems[3]),
              "line 6, column 13: \"x\" where the empty column is");
    EXPECT_EQ(drivelog::Describe(log.problems[4]), "line 7: an empty line");
    // A number beyond a float: no poll gives it (and --fit would find no scale for it).
    EXPECT_EQ(drivelog::Describe(log.problems[5]),
              "line 8, column 1 (revs): \"1e39\" is beyond what a reading can hold");
    EXPECT_EQ(drivelog::Describe(log.problems[6]),
              "line 9, column 2 (water temp): \"-4e38\" is beyond what a reading can hold");
    // Within a float, but no poll gives it: beyond a conversion's ends, or between 0 rpm
    // (the engine stopped) and the slowest revs a period gives.
    EXPECT_EQ(drivelog::Describe(log.problems[7]),
              "line 10, column 2 (water temp): \"300\" is no reading a poll gives (-40 to 215)");
    EXPECT_EQ(drivelog::Describe(log.problems[8]),
              "line 11, column 1 (revs): \"100\" is no reading a poll gives (0, or 228.88533 to "
              "15000000)");
    // A damaged log's bytes reach the terminal as text: control characters written out, a
    // long field cut with its length said.
    EXPECT_EQ(
        drivelog::Describe(log.problems[9]),
        "line 12, column 3 (air temp): \"\\x1B[2J\\x1B]0;x\\x07\\x5C\\xC3\\xA9\" is not a number");
    EXPECT_EQ(drivelog::Describe(log.problems[10]), "line 13, column 3 (air temp): \"" +
                                                        std::string(40, '7') +
                                                        "...\" (1048576 bytes) is not a number");
    EXPECT_DOUBLE_EQ(plot::ValueStep(std::numeric_limits<double>::infinity()), 1);
    EXPECT_FALSE(drivelog::Parse(std::string(kHeader) + "nothing, here\r\n", &log));
    EXPECT_TRUE(log.lines.empty());
}

// The points of the first series polyline (the revs chart's) in an SVG.
std::string RevsPoints(const std::string& svg) {
    std::smatch m;
    std::regex series("<polyline fill=\"none\" stroke=\"#143296\"[^>]*points=\"([^\"]*)\"");
    return std::regex_search(svg, m, series) ? m[1].str() : "";
}

std::string Svg(const drivelog::Log& log) {
    fs::path file =
        fs::temp_directory_path() / ("quorvel-plot-" + std::to_string(getpid()) + ".svg");
    std::unique_ptr<canvas::Canvas> c = canvas::NewSvg(plot::kWidth, plot::kHeight);
    plot::Draw(log, "engine details.csv", "2026-12-08 14:30", c.get());
    std::string error;
    EXPECT_TRUE(c->Save(file.string(), &error)) << error;
    std::ifstream in(file);
    std::stringstream s;
    s << in.rdbuf();
    fs::remove(file);
    return s.str();
}

TEST(PlotSvg, KnownReadingsStandWhereTheGaugeRangePutsThem) {
    drivelog::Log log = Parsed(std::string(kHeader) + Line(0) + Line(4000) + Line(9000));
    // Revs 0 to 8000 over the chart's 80 pixels from y 70; three lines over 1000 pixels
    // from x 160; 9000 is above the range and stands at its top, as the gauge clamps it.
    EXPECT_EQ(RevsPoints(Svg(log)), "160,150 493.3,110 826.7,70");
    EXPECT_DOUBLE_EQ(plot::YOf(1, 35), plot::kTop + plot::kChartStep + 80 * (125 - 35) / 180.0)
        << "the water chart, -55 to 125 C";
    EXPECT_DOUBLE_EQ(plot::YOf(7, 1250), plot::kTop + 7 * plot::kChartStep)
        << "the pressure chart's top";
}

// Each line stands for its poll's half second: two lines that cannot be read leave a gap,
// and the readings after it keep their time.
TEST(PlotSvg, UnreadableLinesLeaveAGapAndLaterReadingsKeepTheirTime) {
    std::string text = std::string(kHeader) + Line(0) + Line(4000) + "bad\r\n" + "bad\r\n" +
                       Line(4000) + Line(8000) + Line(8000) + Line(0);
    drivelog::Log log = Parsed(text);
    ASSERT_EQ(log.polls, 8);
    std::string svg = Svg(log);
    // Eight polls over 1000 pixels: 125 each; polls 2 and 3 are missing.
    EXPECT_NE(svg.find("points=\"160,150 285,110\""), std::string::npos) << svg.substr(0, 3000);
    EXPECT_NE(svg.find("points=\"660,110 785,70 910,70 1035,150\""), std::string::npos)
        << "after the gap, at their own time";
    EXPECT_NE(svg.find("8 answered polls (2 unreadable, left as gaps)"), std::string::npos);
    // One line that cannot be read leaves its gap too.
    std::string one =
        Svg(Parsed(std::string(kHeader) + Line(0) + Line(4000) + "bad\r\n" + Line(8000) + Line(0)));
    EXPECT_EQ(RevsPoints(one), "160,150 360,110") << "the line before the gap ends there";
    EXPECT_NE(one.find("points=\"760,70 960,150\""), std::string::npos)
        << "and one begins after it";
}

// Values marked along each chart with light lines across; --fit scales a chart to its
// own readings, so that the water warming from 28 to 37 C is not a flat line.
TEST(PlotSvg, ChartsHaveValueTicksAndFitScalesThemToTheirReadings) {
    EXPECT_DOUBLE_EQ(plot::ValueStep(8000), 2000);
    EXPECT_DOUBLE_EQ(plot::ValueStep(180), 50);
    EXPECT_DOUBLE_EQ(plot::ValueStep(9), 2);
    EXPECT_DOUBLE_EQ(plot::ValueStep(1), 0.2);
    EXPECT_DOUBLE_EQ(plot::ValueStep(12), 2.5);
    std::string text = kHeader;
    for (int i = 0; i < 20; ++i)
        text += Line(850, 28 + 9.0 * i / 19);
    drivelog::Log log = Parsed(text);
    std::string gauge = Svg(log);
    // The revs chart (0 to 8000): ticks at 2000, 4000 and 6000 between its ends.
    for (const char* tick : {">2000</text>", ">4000</text>", ">6000</text>"})
        EXPECT_NE(gauge.find(tick), std::string::npos) << tick;
    plot::Range water = plot::FitRange(log, 1);
    EXPECT_DOUBLE_EQ(water.low, 28);
    EXPECT_DOUBLE_EQ(water.high, 38);
    EXPECT_DOUBLE_EQ(plot::YOf(1, 28, water), plot::kTop + plot::kChartStep + plot::kChartHeight);
    EXPECT_DOUBLE_EQ(plot::YOf(1, 38, water), plot::kTop + plot::kChartStep);
    std::unique_ptr<canvas::Canvas> c = canvas::NewSvg(plot::kWidth, plot::kHeight);
    plot::Draw(log, "engine details.csv", "", c.get(), plot::Options{true});
    fs::path file =
        fs::temp_directory_path() / ("quorvel-fit-" + std::to_string(getpid()) + ".svg");
    std::string error;
    ASSERT_TRUE(c->Save(file.string(), &error));
    std::ifstream in(file);
    std::stringstream fitted;
    fitted << in.rdbuf();
    fs::remove(file);
    EXPECT_NE(fitted.str().find(">38</text>"), std::string::npos) << "the water chart's top";
    EXPECT_NE(fitted.str().find("each chart scaled to its own readings"), std::string::npos);
    plot::Range steady = plot::FitRange(Parsed(std::string(kHeader) + Line(850) + Line(850)), 0);
    EXPECT_LT(steady.low, 850);
    EXPECT_GT(steady.high, 850) << "one value all through still has a height";
}

TEST(PlotSvg, TheTitleSaysTheFileTheDateTheLengthAndThatALineIsAPoll) {
    std::string svg = Svg(Parsed(std::string(kHeader) + Line(850) + Line(860) + Line(870)));
    EXPECT_NE(svg.find(">engine details.csv, ended 2026-12-08 14:30</text>"), std::string::npos)
        << "the date is when the drive ended, the log's last change";
    EXPECT_NE(svg.find(">2 s of driving: 3 answered polls</text>"), std::string::npos) << svg;
    EXPECT_NE(svg.find(">one answered poll every 0.5 s (the log has no times of its own"),
              std::string::npos);
    EXPECT_NE(svg.find("time since logging began (minutes:seconds)"), std::string::npos);
    // Each chart by its gauge's name and units, beside its own chart (the log's columns'
    // order, 96 px apart from y 70), each fault by the fault panel's name.
    const char* const kCharts[9][2] = {{"Revs", "rpm"},     {"Water", "C"},     {"Air", "C"},
                                       {"Throttle", "deg"}, {"Injector", "mS"}, {"Advance", "deg"},
                                       {"Volts", "V"},      {"Pressure", "mb"}, {"VAE", "%"}};
    for (int i = 0; i < 9; ++i) {
        const std::string name = "<text x=\"10\" y=\"" + std::to_string(70 + 96 * i + 16) +
                                 "\" font-size=\"13\" fill=\"#141414\" text-anchor=\"start\">" +
                                 kCharts[i][0] + "</text>";
        const std::string units = "y=\"" + std::to_string(70 + 96 * i + 32) +
                                  "\" font-size=\"11\" fill=\"#787878\" text-anchor=\"start\">" +
                                  kCharts[i][1] + "</text>";
        EXPECT_NE(svg.find(name), std::string::npos) << name;
        EXPECT_NE(svg.find(units), std::string::npos) << units;
    }
    for (const FaultEntry& e : kFaultEntries)
        EXPECT_NE(svg.find(std::string(">") + e.name + "<"), std::string::npos) << e.name;
    EXPECT_EQ(plot::Duration(86400), "24 h 00 min 00 s");
    EXPECT_EQ(plot::Duration(750), "12 min 30 s");
}

TEST(PlotSvg, ASpikeIsKeptWhenADayIsReducedToPixelColumns) {
    std::string text = kHeader;
    const int n = 172800;
    text.reserve(static_cast<size_t>(n) * 110);
    for (int i = 0; i < n; ++i)
        text += Line(i == 123457 ? 7999 : 850, 90, i == 98765 ? 8 : 0);
    drivelog::Log log = Parsed(text);
    ASSERT_EQ(log.lines.size(), static_cast<size_t>(n));
    std::string svg = Svg(log);
    std::string points = RevsPoints(svg);
    size_t count = static_cast<size_t>(std::count(points.begin(), points.end(), ','));
    EXPECT_LE(count, 2u * plot::kPlotWidth) << "two points a pixel column at most";
    // The spike's column: 123457 of 172800 lines is column 714; its top is 0.01 px below
    // the chart's top.
    EXPECT_NE(points.find("874.5,70"), std::string::npos) << "the one high reading is drawn";
    // The water sensor's one poll of fault is a bar in its column (571).
    const double top = plot::kFaultTop + 3 * plot::kFaultStep;
    EXPECT_NE(svg.find("<rect x=\"731\" y=\"" + std::to_string(static_cast<int>(top)) +
                       "\" width=\"1\" height=\"12\" fill=\"#dc1e1e\"/>"),
              std::string::npos);
    EXPECT_LT(svg.size(), 2u * 1024 * 1024) << "a day's picture stays under 2 MB";
    // A day's axis is in hours, minutes and seconds, and its caption says so.
    EXPECT_NE(svg.find(">12:00:00</text>"), std::string::npos);
    EXPECT_NE(svg.find(">0:00:00</text>"), std::string::npos);
    EXPECT_NE(svg.find("time since logging began (hours:minutes:seconds)"), std::string::npos);
}

// Two lines a pixel column: each column keeps its lowest and highest in the order they
// came, so a rise is drawn rising and a fall falling.
TEST(PlotSvg, AColumnKeepsItsLowestAndHighestInTheirOrder) {
    std::string text = kHeader;
    const int n = 2 * plot::kPlotWidth;
    for (int i = 0; i < n; ++i) {
        double revs = 850;
        if (i == 20) revs = 5000; // column 10: the peak first
        if (i == 23) revs = 5000; // column 11: the peak second
        if (i == 21 || i == 22) revs = 800;
        text += Line(revs);
    }
    std::string points = RevsPoints(Svg(Parsed(text)));
    auto y = [](double revs) {
        char v[32];
        std::snprintf(v, sizeof v, "%.1f", plot::YOf(0, revs));
        std::string s = v;
        if (s.size() > 2 && s.compare(s.size() - 2, 2, ".0") == 0) s.resize(s.size() - 2);
        return s;
    };
    const std::string x10 = std::to_string(static_cast<int>(plot::kLeft + 10)) + ".5,";
    const std::string x11 = std::to_string(static_cast<int>(plot::kLeft + 11)) + ".5,";
    EXPECT_NE(points.find(x10 + y(5000) + " " + x10 + y(800)), std::string::npos) << points;
    EXPECT_NE(points.find(x11 + y(800) + " " + x11 + y(5000)), std::string::npos) << points;
}

TEST(PlotPng, BandsAndTheReadingInThePixels) {
    drivelog::Log log = Parsed(std::string(kHeader) + Line(850, 110) + Line(850, 110));
    std::string error;
    std::unique_ptr<canvas::Canvas> c = canvas::NewPng(plot::kWidth, plot::kHeight, &error);
    ASSERT_NE(c, nullptr) << error;
    plot::Draw(log, "engine details.csv", "", c.get());
    fs::path file =
        fs::temp_directory_path() / ("quorvel-plot-" + std::to_string(getpid()) + ".png");
    ASSERT_TRUE(c->Save(file.string(), &error)) << error;
    cairo_surface_t* png = cairo_image_surface_create_from_png(file.string().c_str());
    fs::remove(file);
    ASSERT_EQ(cairo_surface_status(png), CAIRO_STATUS_SUCCESS);
    auto pixel = [&](double x, double y) {
        const unsigned char* data = cairo_image_surface_get_data(png);
        int stride = cairo_image_surface_get_stride(png);
        uint32_t p = *reinterpret_cast<const uint32_t*>(data + static_cast<int>(y) * stride +
                                                        static_cast<int>(x) * 4);
        return p & 0xFFFFFF;
    };
    const int x = plot::kLeft + 700;
    // Revs: red above 6500, yellow to 6000, green to 1500, yellow to 1000, red below.
    EXPECT_EQ(pixel(x, plot::YOf(0, 7500)), 0xFFC8C8u);
    EXPECT_EQ(pixel(x, plot::YOf(0, 6250)), 0xFFF3B0u);
    EXPECT_EQ(pixel(x, plot::YOf(0, 3000)), 0xC8EEC8u);
    EXPECT_EQ(pixel(x, plot::YOf(0, 1250)), 0xFFF3B0u);
    EXPECT_EQ(pixel(x, plot::YOf(0, 500)), 0xFFC8C8u);
    // Water at 110 C is above the gauge's 105: the line runs through the red band.
    uint32_t line = pixel(plot::kLeft + 250, plot::YOf(1, 110));
    EXPECT_LT((line >> 16) & 0xFF, 0x60u) << std::hex << line << ": the series' dark blue";
    EXPECT_EQ(pixel(plot::kLeft + 250, plot::YOf(1, 110) - 3), 0xFFC8C8u);
    cairo_surface_destroy(png);
}

// A file name that is not UTF-8 (Latin-1 on Linux; the ANSI code page on Windows) is made
// UTF-8 before it reaches a picture; a control character never reaches the SVG.
TEST(Picture, NamesThatAreNotUtf8AreMadeUtf8) {
    EXPECT_EQ(platform::Utf8FromSystem("viaggio citt\xe0.csv"), "viaggio citt\xc3\xa0.csv");
    EXPECT_EQ(platform::Utf8FromSystem("viaggio citt\xc3\xa0.csv"), "viaggio citt\xc3\xa0.csv")
        << "UTF-8 stays as it is";
    std::unique_ptr<canvas::Canvas> svg = canvas::NewSvg(100, 100);
    svg->Text(10, 10,
              "a\x01"
              "b",
              12, canvas::Color{0, 0, 0}, canvas::Align::Left);
    std::string path = (fs::temp_directory_path() / "quorvel-control.svg").string();
    std::string error;
    ASSERT_TRUE(svg->Save(path, &error));
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    EXPECT_EQ(text.str().find('\x01'), std::string::npos);
    EXPECT_NE(text.str().find("a\xEF\xBF\xBD"
                              "b"),
              std::string::npos);
    fs::remove(path);
}

// cairo takes only UTF-8: a stray byte must not leave the PNG blank.
TEST(Picture, APngTitleThatIsNotUtf8StillDraws) {
    std::string error;
    std::unique_ptr<canvas::Canvas> png = canvas::NewPng(200, 40, &error);
    ASSERT_NE(png, nullptr) << error;
    png->Rectangle(0, 0, 200, 40, canvas::Color{255, 255, 255});
    png->Text(10, 20, "citt\xe0", 12, canvas::Color{0, 0, 0}, canvas::Align::Left);
    png->Rectangle(100, 0, 50, 40, canvas::Color{255, 0, 0});
    std::string path = (fs::temp_directory_path() / "quorvel-latin1.png").string();
    ASSERT_TRUE(png->Save(path, &error)) << error;
    cairo_surface_t* s = cairo_image_surface_create_from_png(path.c_str());
    ASSERT_EQ(cairo_surface_status(s), CAIRO_STATUS_SUCCESS);
    const unsigned char* data = cairo_image_surface_get_data(s);
    uint32_t red =
        reinterpret_cast<const uint32_t*>(data + 20 * cairo_image_surface_get_stride(s))[120];
    EXPECT_EQ(red & 0xFFFFFF, 0xFF0000u) << "what is drawn after the text is there";
    cairo_surface_destroy(s);
    fs::remove(path);
}

} // namespace
