// quorvel-sheet: a drive log as the user's spreadsheet opens it, read back as the log.
#include "dashboard/gauge_table.h"
#include "tools/common/drive_log.h"
#include "tools/quorvel-sheet/sheet.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <sstream>
#include <string>

namespace {

drivelog::Log Parsed(const std::string& text) {
    drivelog::Log log;
    drivelog::Parse(text, &log);
    return log;
}

// A log of four polls: idle, a rev with a fault, and each register at its ends.
const char kLog[] =
    "revs, water temp, air temp, throttle, injector period, advance, volts, pressure, VAE, "
    "error 1, error 2, error 3, , revs, water temp, air temp, throttle, injector timing, "
    "advance, volts, pressure, VAE\r\n"
    "850.000000, 90.000000, 25.000000, 30.908199, 2.000000, 20.000000, 14.000000, "
    "800.000000, 35.000000, 0, 0, 0, , 62, 80, 44, 34, 0, 26, 93, 64, 35\r\n"
    "5000.000000, 91.500000, 25.000000, 30.908199, 2.000000, 20.000000, 14.000000, "
    "800.000000, 35.000000, 8, 0, 0, , 62, 80, 44, 34, 0, 26, 93, 64, 35\r\n"
    "15000000.000000, -40.000000, -40.000000, -2.963800, 0.002000, 0.000000, 0.000000, "
    "0.000000, 0.000000, 0, 0, 0, , 100, 0, 0, 0, 0, 0, 0, 0, 0\r\n"
    "228.885330, 215.000000, 215.000000, 105.003197, 131.070007, 127.500000, 15.937500, "
    "1020.000000, 255.000000, 255, 255, 255, , 0, 100, 100, 100, 100, 100, 100, 100, 100\r\n";

// quorvel-sheet's copy in a spreadsheet's conventions reads back as the log it came from,
// each reading to the decimals its gauge shows; the gauges' positions kept or left out.
TEST(SheetCopy, ReadsBackAsTheLogInEveryConvention) {
    drivelog::Log log = Parsed(kLog);
    ASSERT_EQ(log.lines.size(), 4u);
    struct Case {
        sheet::Conventions conventions;
        bool gauges;
        size_t columns;
    } cases[] = {{{';', ',', true}, true, 21},
                 {{';', ',', false}, false, 12},
                 {{',', '.', true}, true, 21},
                 {{'\t', ',', false}, false, 12}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("list '") + c.conventions.list + "', decimal '" +
                     c.conventions.decimal + "', gauges " + (c.gauges ? "kept" : "left out"));
        const std::string copy = sheet::Copy(log, c.conventions, sheet::Options{c.gauges});
        EXPECT_EQ(copy.compare(0, 3, "\xEF\xBB\xBF") == 0, c.conventions.utf8);
        // Every line has its columns, and the numbers their decimal separator only.
        std::istringstream lines(copy);
        std::string line;
        while (std::getline(lines, line)) {
            EXPECT_EQ(static_cast<size_t>(std::count(line.begin(), line.end(), c.conventions.list)),
                      c.columns - 1)
                << line;
            const char other = c.conventions.decimal == ',' ? '.' : ',';
            if (other != c.conventions.list) {
                EXPECT_EQ(line.find(other), std::string::npos) << line;
            }
        }
        // The volts with the gauge's two decimals; in quotes where the decimal separator
        // is a comma, which a spreadsheet may also split columns at.
        const std::string volts = c.conventions.decimal == ',' ? "\"14,00\"" : "14.00";
        EXPECT_NE(copy.find(c.conventions.list + volts + c.conventions.list), std::string::npos)
            << copy.substr(0, 400);
        // The header in the user's language (English here) with the units.
        EXPECT_NE(copy.find("Revs (rpm)" + std::string(1, c.conventions.list) + "Water (C)"),
                  std::string::npos)
            << copy.substr(0, 200);
        EXPECT_NE(copy.find(c.conventions.list + std::string("Fault byte 3")), std::string::npos)
            << copy.substr(0, 400);
        EXPECT_EQ(copy.find("VAE (gauge %)") != std::string::npos, c.gauges) << copy.substr(0, 400);
        drivelog::Log back = Parsed(copy);
        EXPECT_TRUE(back.problems.empty())
            << (back.problems.empty() ? "" : drivelog::Describe(back.problems[0]));
        EXPECT_EQ(back.headerColumns, static_cast<int>(c.columns));
        // A copy made again of a copy without the gauges has none to give, whatever asked.
        const std::string again = sheet::Copy(back, c.conventions, sheet::Options{true});
        EXPECT_EQ(Parsed(again).headerColumns, static_cast<int>(c.columns));
        ASSERT_EQ(back.lines.size(), log.lines.size());
        for (size_t i = 0; i < log.lines.size(); ++i) {
            for (const LoggedReading& r : kLoggedReadings) {
                EXPECT_NEAR(back.lines[i].readings.*r.value, log.lines[i].readings.*r.value,
                            0.5 * std::pow(10.0, -r.gauge->decimals) + 1e-3)
                    << r.name << ", line " << i;
            }
            EXPECT_EQ(back.lines[i].faults[0], log.lines[i].faults[0]);
            EXPECT_EQ(back.lines[i].hasGauges, c.gauges);
            if (c.gauges) {
                EXPECT_EQ(back.lines[i].gauges[0], log.lines[i].gauges[0]);
            }
        }
    }
    // Beside the log, under a name the dashboard never gives one.
    EXPECT_EQ(sheet::DefaultCopyName("engine details.csv"), "engine details (sheet).csv");
    EXPECT_EQ(sheet::DefaultCopyName("C:\\Logs\\engine details 2026-12-08 143005.csv"),
              "C:\\Logs\\engine details 2026-12-08 143005 (sheet).csv");
    EXPECT_EQ(sheet::DefaultCopyName("/home/a.b/drive"), "/home/a.b/drive (sheet).csv");
    EXPECT_EQ(sheet::DefaultCopyName(".hidden"), ".hidden (sheet).csv");
    EXPECT_EQ(sheet::DefaultCopyName("logs/.hidden"), "logs/.hidden (sheet).csv");
    EXPECT_EQ(sheet::DefaultCopyName("logs/a.csv"), "logs/a (sheet).csv");
}

// The user's conventions: the locale's separators, and UTF-8 marked for the sheet (the
// layer's texts are UTF-8).
TEST(SheetCopy, TakesTheUsersConventions) {
    struct Case {
        const char* lang;
        char list;
        char decimal;
    } cases[] = {{"it_IT.UTF-8", ';', ','},
                 {"en_US.UTF-8", ',', '.'},
                 {"de_CH.UTF-8", ',', '.'},
                 {"pl_PL.UTF-8", ';', ','}};
    for (const Case& c : cases) {
        setenv("LANG", c.lang, 1);
        const sheet::Conventions conventions = sheet::UserConventions();
        EXPECT_EQ(conventions.list, c.list) << c.lang;
        EXPECT_EQ(conventions.decimal, c.decimal) << c.lang;
        EXPECT_TRUE(conventions.utf8) << c.lang;
    }
    unsetenv("LANG");
}

} // namespace
