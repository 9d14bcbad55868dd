// Drawing with GDI's pixel conventions, read back from the headless picture.
#include "fixtures/colors.h"
#include "layer/layer_program.h"
#include "platform/posix/gdi32/gdi.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>

namespace {

class LayerGdi : public ::testing::Test {
  protected:
    LayerGdi() {
        p.On(WM_PAINT, [this](HWND hwnd, WPARAM, LPARAM) {
            PAINTSTRUCT ps;
            HDC dc = BeginPaint(hwnd, &ps);
            if (draw) draw(dc);
            EndPaint(hwnd, &ps);
            return LRESULT{0};
        });
        p.Start();
        red = CreateSolidBrush(kRed);
        blue = CreateSolidBrush(RGB(0, 0, 255));
    }

    // Paints the whole window black, then draws with a fresh paint context.
    void Draw(std::function<void(HDC)> fn) {
        draw = std::move(fn);
        p.harness().Run([this] {
            InvalidateRect(p.window(), nullptr, TRUE);
            UpdateWindow(p.window());
        });
    }

    COLORREF At(int x, int y) { return p.harness().Pixel(x, y); }

    // The box around every pixel that is not black.
    RECT InkBox(int x0, int y0, int x1, int y1) {
        RECT box{x1, y1, x0, y0};
        for (int y = y0; y < y1; ++y) {
            for (int x = x0; x < x1; ++x) {
                if (At(x, y) == kBlack) continue;
                box.left = std::min<LONG>(box.left, x);
                box.top = std::min<LONG>(box.top, y);
                box.right = std::max<LONG>(box.right, x + 1);
                box.bottom = std::max<LONG>(box.bottom, y + 1);
            }
        }
        return box;
    }

    LayerProgram p;
    std::function<void(HDC)> draw;
    HBRUSH red = nullptr;
    HBRUSH blue = nullptr;
};

TEST_F(LayerGdi, RoundRectDiscLikeTheActivityLamp) {
    Draw([&](HDC dc) {
        SelectObject(dc, red);
        SelectObject(dc, GetStockObject(WHITE_PEN));
        RoundRect(dc, 1, 1, 15, 15, 15, 15);
    });
    RECT box = InkBox(0, 0, 20, 20);
    EXPECT_EQ(box.left, 1);
    EXPECT_EQ(box.top, 1);
    EXPECT_EQ(box.right, 15);
    EXPECT_EQ(box.bottom, 15);
    EXPECT_EQ(At(8, 8), kRed);
    EXPECT_EQ(At(1, 1), kBlack) << "a disc, not a square";
    EXPECT_EQ(At(14, 14), kBlack);
}

TEST_F(LayerGdi, TextStandsWhereItsAlignmentAnchorsIt) {
    const int x = 150;
    const int y = 100;
    struct Case {
        UINT align;
        const char* name;
    } cases[] = {{TA_LEFT | TA_TOP, "left top"},
                 {TA_CENTER | TA_BASELINE, "centre baseline"},
                 {TA_RIGHT | TA_BOTTOM, "right bottom"},
                 {TA_LEFT | TA_BASELINE, "left baseline"}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Draw([&](HDC dc) {
            SetBkMode(dc, TRANSPARENT);
            SetTextColor(dc, kWhite);
            SetTextAlign(dc, c.align);
            static const char text[] = "HxxxxxxxxxxxxxxxxxxxxxxxxxxxxxH";
            TextOutA(dc, x, y, text, static_cast<int>(sizeof text - 1));
        });
        RECT ink = InkBox(0, 0, 300, 180);
        ASSERT_LT(ink.left, ink.right) << "some text is drawn";
        int width = ink.right - ink.left;
        UINT h = c.align & TA_CENTER;
        UINT v = c.align & TA_BASELINE;
        if (h == TA_LEFT) {
            EXPECT_NEAR(ink.left, x, 2);
        }
        if (h == TA_RIGHT) {
            EXPECT_NEAR(ink.right, x, 2);
        }
        if (h == TA_CENTER) {
            EXPECT_NEAR(ink.left + width / 2.0, x, 2);
        }
        if (v == TA_TOP) {
            EXPECT_NEAR(ink.top, y + 2, 3) << "capitals start just below the top";
        }
        if (v == TA_BASELINE) {
            EXPECT_EQ(ink.bottom, y) << "letters without descent end on it";
        }
        if (v == TA_BOTTOM) {
            EXPECT_LT(ink.bottom, y - 1) << "the descent stays free below";
        }
        EXPECT_GT(width, 100) << "a real font at a readable size";
        EXPECT_GT(ink.bottom - ink.top, 6);
    }
}

TEST_F(LayerGdi, OpaqueTextFillsItsCellWithTheBackgroundColour) {
    Draw([&](HDC dc) {
        SetTextAlign(dc, TA_LEFT | TA_BASELINE);
        SetBkColor(dc, RGB(0, 0, 255));
        TextOutA(dc, 10, 50, "ii", 2); // the default mode is opaque
        SetBkMode(dc, TRANSPARENT);
        TextOutA(dc, 100, 50, "ii", 2);
        SetBkMode(dc, OPAQUE);
        TextOutA(dc, 200, 50, "", 0);
    });
    RECT opaque = InkBox(0, 30, 90, 70);
    EXPECT_EQ(At(opaque.left, opaque.top), RGB(0, 0, 255)) << "the cell's corner";
    EXPECT_GT(opaque.bottom, 50) << "the cell runs below the baseline";
    RECT transparent = InkBox(90, 30, 190, 70);
    EXPECT_LE(transparent.bottom, 50) << "only glyphs, and i has no descent";
    for (int yy = transparent.top; yy < transparent.bottom; ++yy) {
        for (int xx = transparent.left; xx < transparent.right; ++xx) {
            ASSERT_NE(At(xx, yy), RGB(0, 0, 255));
        }
    }
    RECT empty = InkBox(190, 30, 290, 70);
    EXPECT_GE(empty.left, empty.right) << "an empty text draws nothing";
}

// 8-bit texts are UTF-8 here, as Linux's are (an adapter's product name from sysfs); a
// byte outside a well-formed sequence is taken as Latin-1, and nothing stops drawing.
TEST_F(LayerGdi, TextIsUtf8AndAStrayByteIsLatin1) {
    auto picture = [&](const char* text) {
        Draw([&](HDC dc) {
            SetTextColor(dc, kWhite);
            SetBkMode(dc, TRANSPARENT);
            TextOutA(dc, 10, 50, text, static_cast<int>(strlen(text)));
        });
        std::vector<COLORREF> pixels;
        for (int y = 30; y < 60; ++y)
            for (int x = 0; x < 80; ++x)
                pixels.push_back(At(x, y));
        return pixels;
    };
    const auto utf8 = picture("Ger\xC3\xA4t");
    EXPECT_EQ(picture("Ger\xE4t"), utf8) << "the same a-umlaut from a stray Latin-1 byte";
    EXPECT_NE(picture("Ger\xC3\x83\xC2\xA4t"), utf8) << "not read as two Latin-1 letters";
    EXPECT_NE(picture("Gert"), utf8);
    picture("\xFF\xFE\xC3\x28\xED\xA0\x80\xF4\x90\x80\x80");
    EXPECT_EQ(picture("Ger\xC3\xA4t"), utf8) << "bad sequences leave drawing as it was";
    EXPECT_EQ(w32::ToUtf8("\xED\xA0\x80", 3), "\xC3\xAD\xC2\xA0\xC2\x80")
        << "a surrogate is no character";
    EXPECT_EQ(w32::ToUtf8("\xE2\x82\xAC", 3), "\xE2\x82\xAC") << "the euro sign as it is";
}

// A message box's text wraps between words at 520 pixels, as Windows wraps a box's text:
// a long Polish text (the refused rate's box, after the system's words and an unbroken
// path) gives lines that each fit, that rejoin to the text, and a word wider than the
// box stands on a line of its own.
TEST(LayerBoxText, WrapsBetweenWordsWithinTheBoxWidth) {
    const std::string longWord = "/dev/serial/by-id/usb-1a86_USB_Serial-if00-port0-"
                                 "z-bardzo-dlugim-numerem-seryjnym-przejsciowki-0123456789";
    const std::string text = "Urządzenie dołączone do systemu nie działa.\n\nPort szeregowy " +
                             longWord +
                             " nie może pracować z prędkością 7680 bodów, więc nie da się przez "
                             "niego odczytać sterownika. Mogą to przejściówki z układem FTDI, "
                             "CH340/CH341, PL2303 lub CP2104/CP2102N.";
    ASSERT_GT(w32::TextWidth(longWord), w32::kBoxTextWidth);
    const std::vector<std::string> lines = w32::BoxLines(text);
    ASSERT_GE(lines.size(), 5u);
    // The lines rejoin to the text: each is the text's next stretch, broken at a space
    // (a wrap) or where the text breaks its line.
    size_t at = 0;
    int alone = 0;
    for (size_t i = 0; i < lines.size(); ++i) {
        const std::string& line = lines[i];
        ASSERT_EQ(text.compare(at, line.size(), line), 0) << "line " << i << ": " << line;
        at += line.size();
        const bool wrapped = at < text.size() && text[at] == ' ';
        ASSERT_TRUE(at == text.size() || wrapped || text[at] == '\n') << "line " << i;
        at += at < text.size() ? 1 : 0;
        if (line == longWord) {
            ++alone;
            continue;
        }
        EXPECT_EQ(line.find(longWord), std::string::npos) << "shares its line: " << line;
        EXPECT_LE(w32::TextWidth(line), w32::kBoxTextWidth) << line;
        // A wrapped line is as full as it can be: the next word would not fit on it.
        if (wrapped && i + 1 < lines.size()) {
            const std::string next = lines[i + 1].substr(0, lines[i + 1].find(' '));
            EXPECT_GT(w32::TextWidth(line + " " + next), w32::kBoxTextWidth) << line;
        }
    }
    EXPECT_EQ(at, text.size()) << "the lines hold the whole text";
    EXPECT_EQ(alone, 1) << "the word wider than the box stands alone";
}

} // namespace
