// The dashboard in the mechanic's own language: each language of po/ gives the menu, the
// boxes, the gauges and the fault panel its catalogue's texts, numbers its decimal
// separator, and every text still fits its place in the window's fixed geometry; a
// language there is no catalogue for, and C, give English. The log is the same file in
// every language.
#include "app/state.h"
#include "dashboard/dashboard.h"
#include "dashboard/faults.h"
#include "fixtures/ecu_model.h"
#include "platform/posix/gdi32/gdi.h"
#include "platform/posix/harness/harness.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <unistd.h>

namespace fs = std::filesystem;

namespace {

using headless::Harness;

// A language's translations, msgid to msgstr, as the build takes them from its .po file
// (cmake/po_to_rc.py catalogue: each text followed by a NUL byte).
std::map<std::string, std::string> Catalogue(const std::string& language) {
    std::map<std::string, std::string> catalogue;
    if (language.empty()) return catalogue;
    std::ifstream in(std::string(QUORVEL_TEST_OUTPUT) + "/" + language + ".catalogue",
                     std::ios::binary);
    EXPECT_TRUE(in) << "no catalogue of " << language << ": the build makes one of each .po file";
    std::string id;
    std::string str;
    while (std::getline(in, id, '\0') && std::getline(in, str, '\0'))
        catalogue[id] = str;
    return catalogue;
}

struct Language {
    const char* locale; // LANG
    const char* po;     // the catalogue it must show, "" for English
    const char* separator;
};
void PrintTo(const Language& l, std::ostream* out) { *out << l.locale; }

class Languages : public ::testing::TestWithParam<Language> {
  protected:
    Languages() : catalogue(Catalogue(GetParam().po)) {
        for (const char* name : {"LC_ALL", "LC_MESSAGES", "LC_NUMERIC", "LANGUAGE"})
            unsetenv(name);
        setenv("LANG", GetParam().locale, 1);
    }
    // The English text in the language under test.
    std::string Tr(const std::string& english) const {
        auto it = catalogue.find(english);
        if (*GetParam().po == '\0') return english;
        EXPECT_NE(it, catalogue.end()) << "no translation of \"" << english << "\"";
        return it != catalogue.end() ? it->second : english;
    }
    // Every text drawn in the window stands inside one of the places (as drawn cells).
    void ExpectEveryTextInItsPlace(const std::vector<RECT>& places) {
        HWND main = h.MainWindow();
        for (const w32::DrawnText& t : w32::TextsDrawn()) {
            if (t.window != main) continue;
            bool inside = false;
            for (const RECT& p : places) {
                inside = inside || (t.cell.left >= p.left && t.cell.right <= p.right &&
                                    t.cell.top >= p.top && t.cell.bottom <= p.bottom);
            }
            EXPECT_TRUE(inside) << "\"" << t.text << "\" at " << t.cell.left << "," << t.cell.top
                                << " to " << t.cell.right << "," << t.cell.bottom;
        }
    }

    std::map<std::string, std::string> catalogue;
    Harness h;
    EcuModel ecu;
};

// Where texts may stand: each gauge's panel inside its rounded corners (its readout in its
// box), each fault entry's highlight, and the port list.
std::vector<RECT> Places() {
    std::vector<RECT> places;
    for (const Gauge* g : {&revsGauge, &airGauge, &pressureGauge, &throttleGauge, &voltsGauge,
                           &injectorGauge, &advanceGauge, &vaeGauge, &waterGauge}) {
        places.push_back(RECT{g->left + 5, g->top, g->left + 95, g->top + 30}); // name
        places.push_back(
            RECT{g->left + 36, g->top + 15, g->left + 97, g->top + g->height - 10}); // ticks
        places.push_back(
            RECT{g->left + 10, g->top + g->height - 20, g->left + 90, g->top + g->height});
    }
    for (const FaultEntry& e : kFaultEntries) {
        int left = 0;
        int top = 0;
        FaultEntryBox(e, &left, &top);
        places.push_back(RECT{left + 5, top, left + 175, top + 20});
    }
    places.push_back(RECT{20, 6, 210, 30}); // the port list's face
    return places;
}

TEST_P(Languages, MenuBoxGaugesAndFaultPanelInTheCataloguesTextsAndEachFits) {
    // Every reading at its gauge's largest, then its smallest: the longest readouts.
    ecu.registers = {{1, 0x00}, {2, 0x01}, {3, 0xFF}, {4, 0xFF},  {5, 0xFF}, {6, 0xFF},
                     {7, 0xFF}, {8, 0xFF}, {9, 0xFF}, {10, 0xFF}, {12, 0xFF}};
    ecu.Attach(h.Line());
    fs::path dir = fs::temp_directory_path() / ("quorvel-languages-" + std::to_string(getpid()));
    fs::remove_all(dir);
    fs::create_directories(dir / "engine details.csv"); // a folder where the log would be
    fs::current_path(dir);
    h.Start();

    // The menu bar and an item of each popup, in the catalogue's words; the engines stay.
    std::vector<w32::MenuItemInfo> titles = w32::MenuItems(GetMenu(h.MainWindow()));
    const char* const english[] = {"&File",        "&Engine",         "&Logging",
                                   "E&rror codes", "&Active testing", "&Help"};
    ASSERT_EQ(titles.size(), 6u);
    std::set<char> keys;
    int edge = 4; // as the bar lays its titles out
    for (size_t i = 0; i < titles.size(); ++i) {
        EXPECT_EQ(titles[i].text, Tr(english[i]));
        size_t amp = titles[i].text.find('&');
        ASSERT_NE(amp, std::string::npos) << titles[i].text;
        EXPECT_TRUE(keys.insert(static_cast<char>(std::tolower(titles[i].text[amp + 1]))).second)
            << "two titles share the access key of " << titles[i].text;
        edge += w32::TextWidth(titles[i].text) + 16;
        // Within each popup, no two items share an access key either.
        std::set<char> itemKeys;
        for (const w32::MenuItemInfo& item : w32::MenuItems(titles[i].popup)) {
            size_t a = item.text.find('&');
            if (a == std::string::npos || a + 1 >= item.text.size()) continue;
            EXPECT_TRUE(itemKeys.insert(static_cast<char>(std::tolower(item.text[a + 1]))).second)
                << item.text;
        }
    }
    EXPECT_LE(edge, h.ClientWidth()) << "the menu bar is wider than the window";
    EXPECT_TRUE(h.MenuChecked(Tr("&Logging"), Tr("Logging off")));

    // The fault panel at rest: the entries' names.
    for (int i = 0; i < 11; ++i) {
        int left = 0;
        int top = 0;
        FaultEntryBox(kFaultEntries[i], &left, &top);
        EXPECT_EQ(h.TextAt(left + 10, top + 15), Tr(kFaultEntries[i].name));
    }

    // Polled at the gauges' largest: the readouts, with the user's decimal separator.
    ASSERT_TRUE(h.ChooseMenu(Tr("&Engine"), "500 (899/1000 SPI)"));
    h.Advance(1400);
    ASSERT_FLOAT_EQ(EngineReadings.batteryVolts, 15.9375f);
    EXPECT_EQ(h.TextAt(voltsGauge.left + 50, voltsGauge.top + voltsGauge.height - 5),
              std::string("15") + GetParam().separator + "00 " + Tr("V"));
    EXPECT_EQ(h.TextAt(revsGauge.left + 50, revsGauge.top + 15), Tr("Revs"));
    EXPECT_EQ(h.TextAt(waterGauge.left + 50, waterGauge.top + waterGauge.height - 5),
              "125 " + Tr("C"))
        << "the units are the catalogue's (the readout stops at the scale's top)";
    ExpectEveryTextInItsPlace(Places());
    // At their smallest.
    for (uint8_t a : {1, 3, 4, 5, 6, 7, 8, 9, 10, 12})
        ecu.registers[a] = 0;
    ecu.registers[2] = 0;
    h.Advance(1000);
    ExpectEveryTextInItsPlace(Places());

    // Every fault present, as a short circuit, then as an open one.
    for (uint8_t kinds : {0xFF, 0x00}) {
        for (uint8_t a : {16, 17, 18})
            ecu.registers[a] = 0xFF;
        ecu.registers[43] = kinds;
        ecu.registers[44] = kinds;
        h.Advance(1000);
        // The kind bytes alone repaint nothing: the panel is painted again.
        h.Run([] {
            InvalidateRect(mainWindow, nullptr, FALSE);
            UpdateWindow(mainWindow);
        });
        const uint8_t flags[3] = {0xFF, 0xFF, 0xFF};
        const uint8_t k[3] = {kinds, kinds, kinds};
        for (const FaultEntry& e : kFaultEntries) {
            int left = 0;
            int top = 0;
            FaultEntryBox(e, &left, &top);
            EXPECT_EQ(h.TextAt(left + 10, top + 15), Tr(FaultText(e, flags, k)));
        }
        ExpectEveryTextInItsPlace(Places());
    }

    // A box: the log cannot be opened.
    ASSERT_TRUE(h.ChooseMenu(Tr("&Logging"), Tr("Logging on")));
    ASSERT_TRUE(h.BoxOpen());
    EXPECT_EQ(h.Boxes().back().caption, Tr("File Error"));
    // Why, in the language too: a folder stands where the log would be.
    char why[512];
    std::snprintf(why, sizeof why, Tr("\"%s\" cannot be written: %s").c_str(), "engine details.csv",
                  "Access is denied.");
    EXPECT_EQ(h.Boxes().back().text,
              Tr("Unable to open the log file...\nno data will be logged") + "\n\n" + why);
    ASSERT_TRUE(h.AnswerBox());
    fs::current_path(fs::temp_directory_path());
    fs::remove_all(dir);
}

INSTANTIATE_TEST_SUITE_P(
    Po, Languages,
    ::testing::Values(Language{"C", "", "."}, Language{"ja_JP.UTF-8", "", "."},
                      Language{"en_GB.UTF-8", "", "."}, Language{"it_IT.UTF-8", "it", ","},
                      Language{"pl_PL.UTF-8", "pl", ","}, Language{"tr_TR.UTF-8", "tr", ","},
                      Language{"pt_BR.UTF-8", "pt_BR", ","}, Language{"pt_PT.UTF-8", "pt_BR", ","},
                      Language{"es_ES.UTF-8", "es", ","}, Language{"fr_FR.UTF-8", "fr", ","},
                      Language{"de_DE.UTF-8", "de", ","}, Language{"de_AT.UTF-8", "de", ","}),
    [](const ::testing::TestParamInfo<Language>& info) {
        std::string name = info.param.locale;
        for (char& c : name)
            if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
        return name;
    });

} // namespace
