// Draws, headless, the picture of one state of the dashboard, for comparison with the
// same state on screen: one port of the given name on an ECU that answers the given
// register values, the first Engine item chosen, logging on, three seconds of ticks, in
// the language the environment asks for (LANG), as the program would show it. Beside
// OUTPUT.png it writes OUTPUT-bar.png, the menu bar as the layer draws it on a display,
// and OUTPUT-texts.txt, the menu bar's titles and the texts drawn in the window, a line
// each (UTF-8).
// With a fifth argument it also writes a mask (a PBM picture) of where another system's
// look may differ: text, whose font is the system's, and the system's own controls.
// With --probes it prints where the end-to-end tests look.
#include "dashboard/faults.h"
#include "dashboard/gauge_table.h"
#include "fixtures/ecu_model.h"
#include "platform/posix/harness/harness.h"
#include "tools/ecu-sim/engine.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

namespace {

// Another font is wider or narrower and stands a little higher or lower: each text's
// cell grows by a margin on every side (half its width sideways).
bool WriteMask(const char* path, int width, int height, const std::vector<RECT>& areas) {
    std::vector<unsigned char> on(static_cast<size_t>(width) * static_cast<size_t>(height), 0);
    for (const RECT& r : areas) {
        int grow = (r.right - r.left) / 4 + 3;
        for (int y = std::max(0, static_cast<int>(r.top) - 3);
             y < std::min(height, static_cast<int>(r.bottom) + 3); ++y) {
            for (int x = std::max(0, static_cast<int>(r.left) - grow);
                 x < std::min(width, static_cast<int>(r.right) + grow); ++x)
                on[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)] =
                    1;
        }
    }
    FILE* f = std::fopen(path, "w");
    if (f == nullptr) return false;
    std::fprintf(f, "P1\n%d %d\n", width, height);
    for (int y = 0; y < height; ++y) {
        for (int x = 0; x < width; ++x)
            std::fputc(
                on[static_cast<size_t>(y) * static_cast<size_t>(width) + static_cast<size_t>(x)]
                    ? '1'
                    : '0',
                f);
        std::fputc('\n', f);
    }
    return std::fclose(f) == 0;
}

} // namespace

// Where the end-to-end tests look on screen, from the program's own tables rather than
// numbers copied into the scripts: "name value..." lines, in client coordinates.
int Probes() {
    const GaugeParameters& revs = kRevsGauge;
    // A column through the revs pointer, the rows its strip spans, and the scale: y of the
    // minimum, pixels over the span, minimum and maximum.
    std::printf("revs_column %d\n", revs.left + 12);
    std::printf("revs_rows %d %d\n", revs.top + 20, revs.top + revs.height - 20);
    std::printf("revs_scale %d %d %d %d\n", revs.top + revs.height - 25, revs.height - 50,
                revs.minimum, revs.maximum);
    for (const FaultEntry& e : kFaultEntries) {
        if (std::strcmp(e.name, "Water temp sensor") != 0) continue;
        int left = 0;
        int top = 0;
        FaultEntryBox(e, &left, &top);
        // Right of the text, inside the highlight.
        std::printf("water_fault %d %d\n", left + 174, top + 10);
    }
    std::printf("panel_colour FF80FF\nfault_colour FF0000\n");
    return 0;
}

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--probes") == 0) return Probes();
    if (argc != 4 && argc != 5) {
        std::fprintf(stderr, "usage: headless_picture PORT-NAME REGISTERS OUTPUT.png [MASK.pbm]\n"
                             "       headless_picture --probes\n");
        return 2;
    }
    EcuModel ecu;
    std::string error;
    if (!ecusim::LoadReplay(argv[2], &ecu.registers, &error)) {
        std::fprintf(stderr, "headless_picture: %s\n", error.c_str());
        return 2;
    }
    headless::Harness h;
    h.Ports().ports[0].friendlyName = argv[1];
    // The port's number is the one its name ends with, as "(COM5)".
    const char* com = std::strstr(argv[1], "(COM");
    if (com != nullptr) h.Ports().ports[0].number = std::atoi(com + 4);
    ecu.Attach(h.Line());
    h.Start();
    // The menus by their places, in whatever language they are: the Engine popup's first
    // item, then the Logging popup's.
    std::vector<w32::MenuItemInfo> titles = w32::MenuItems(GetMenu(h.MainWindow()));
    auto choose = [&](size_t title) {
        if (title >= titles.size()) return false;
        std::vector<w32::MenuItemInfo> items = w32::MenuItems(titles[title].popup);
        return !items.empty() && h.ChooseMenu(titles[title].text, items[0].text);
    };
    bool done = choose(1) && choose(2);
    h.Advance(3000);
    if (!done || !h.SavePng(argv[3])) {
        std::fprintf(stderr, "headless_picture: the state could not be reached\n");
        return 1;
    }
    std::string bar = argv[3];
    bar = bar.substr(0, bar.size() - (bar.size() > 4 ? 4 : 0)) + "-bar.png";
    cairo_surface_t* surface =
        cairo_image_surface_create(CAIRO_FORMAT_RGB24, h.ClientWidth(), w32::kMenuBarHeight);
    cairo_t* cr = cairo_create(surface);
    w32::PaintMenuBar(cr, h.ClientWidth(), titles, -1);
    cairo_destroy(cr);
    bool written = cairo_surface_write_to_png(surface, bar.c_str()) == CAIRO_STATUS_SUCCESS;
    cairo_surface_destroy(surface);
    if (!written) {
        std::fprintf(stderr, "headless_picture: cannot write %s\n", bar.c_str());
        return 1;
    }
    std::string texts = bar.substr(0, bar.size() - 8) + "-texts.txt";
    FILE* list = std::fopen(texts.c_str(), "w");
    if (list == nullptr) {
        std::fprintf(stderr, "headless_picture: cannot write %s\n", texts.c_str());
        return 1;
    }
    for (const w32::MenuItemInfo& t : titles)
        std::fprintf(list, "%s\n", t.text.c_str());
    for (const w32::DrawnText& t : w32::TextsDrawn()) {
        if (t.window == h.MainWindow()) std::fprintf(list, "%s\n", t.text.c_str());
    }
    std::fclose(list);
    if (argc == 5 &&
        !WriteMask(argv[4], h.ClientWidth(), h.ClientHeight(), h.TextAndControlAreas())) {
        std::fprintf(stderr, "headless_picture: cannot write %s\n", argv[4]);
        return 1;
    }
    return 0;
}
