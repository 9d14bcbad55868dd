// Drawing, as GDI has it: which pixels a figure takes, the pen and the brush, and what a
// setting call returns.
#include "win32/fixture.h"

namespace {

TEST_F(Win32Gdi, RectangleOutlinesWithThePenAndExcludesRightAndBottom) {
    SelectObject(dc, redBrush);
    Rectangle(dc, 10, 10, 15, 14);
    EXPECT_EQ(Row(12, 9, 15), "WKRRRKW");
    EXPECT_EQ(Column(12, 9, 14), "WKRRKW");
}

TEST_F(Win32Gdi, WithTheNullPenAFigureIsOnePixelSmaller) {
    SelectObject(dc, redBrush);
    SelectObject(dc, GetStockObject(NULL_PEN));
    Rectangle(dc, 10, 10, 15, 14);
    EXPECT_EQ(Row(11, 9, 15), "WRRRRWW");
    EXPECT_EQ(Column(11, 9, 14), "WRRRWW");
}

TEST_F(Win32Gdi, RoundRectWithTheNullPenIsNotMadeSmaller) {
    // Unlike Rectangle, the rounded figure's fill covers what the pen's outline would: the
    // middle row and column, away from the corners, show its extent.
    SelectObject(dc, redBrush);
    SelectObject(dc, GetStockObject(NULL_PEN));
    RoundRect(dc, 20, 20, 41, 41, 4, 4);
    EXPECT_EQ(Row(30, 19, 41), "WRRRRRRRRRRRRRRRRRRRRRW");
    EXPECT_EQ(Column(30, 19, 41), "WRRRRRRRRRRRRRRRRRRRRRW");
    // With the pen, the outline stands on the same pixels.
    SelectObject(dc, GetStockObject(BLACK_PEN));
    RoundRect(dc, 50, 20, 71, 41, 4, 4);
    EXPECT_EQ(Row(30, 49, 71), "WKRRRRRRRRRRRRRRRRRRRKW");
}

TEST_F(Win32Gdi, LineToStopsShortOfItsEndAndMovesThePosition) {
    POINT old{-1, -1};
    MoveToEx(dc, 10, 30, &old);
    EXPECT_EQ(old.x, 0);
    EXPECT_EQ(old.y, 0);
    LineTo(dc, 15, 30);
    EXPECT_EQ(Row(30, 9, 16), "WKKKKKWW");
    POINT now{};
    GetCurrentPositionEx(dc, &now);
    EXPECT_EQ(now.x, 15);
    EXPECT_EQ(now.y, 30);
    LineTo(dc, 15, 34);
    EXPECT_EQ(Column(15, 29, 35), "WKKKKWW");
}

TEST_F(Win32Gdi, ASettingCallReturnsWhatItReplaced) {
    HGDIOBJ before = SelectObject(dc, redBrush);
    EXPECT_EQ(before, GetStockObject(WHITE_BRUSH));
    EXPECT_EQ(SelectObject(dc, GetStockObject(WHITE_BRUSH)), static_cast<HGDIOBJ>(redBrush));
    EXPECT_EQ(SelectObject(dc, GetStockObject(NULL_PEN)), GetStockObject(BLACK_PEN));
    EXPECT_EQ(SetTextAlign(dc, TA_CENTER | TA_BASELINE), UINT{TA_LEFT | TA_TOP});
    EXPECT_EQ(SetTextAlign(dc, TA_LEFT), UINT{TA_CENTER | TA_BASELINE});
    EXPECT_EQ(SetBkMode(dc, TRANSPARENT), OPAQUE);
    EXPECT_EQ(SetBkMode(dc, OPAQUE), TRANSPARENT);
    EXPECT_EQ(SetTextColor(dc, red), black);
    EXPECT_EQ(SetBkColor(dc, red), white);
}

TEST_F(Win32Gdi, PolygonFillsWithTheBrushInsideItsOutline) {
    SelectObject(dc, redBrush);
    POINT triangle[3] = {{50, 20}, {70, 30}, {50, 40}};
    Polygon(dc, triangle, 3);
    EXPECT_EQ(GetPixel(dc, 50, 30), black); // the outline
    EXPECT_EQ(GetPixel(dc, 55, 30), red);   // inside
    EXPECT_EQ(GetPixel(dc, 75, 30), white); // outside
    EXPECT_EQ(GetPixel(dc, 49, 30), white);
}

TEST_F(Win32Gdi, PolygonFillsAlternately) {
    // A five-pointed star drawn in one stroke: its centre lies inside twice, so the
    // alternate rule (the default fill mode) leaves it unfilled.
    SelectObject(dc, redBrush);
    SelectObject(dc, GetStockObject(NULL_PEN));
    POINT star[5] = {{100, 10}, {124, 80}, {62, 36}, {138, 36}, {76, 80}};
    Polygon(dc, star, 5);
    EXPECT_EQ(GetPixel(dc, 100, 48), white) << "the centre";
    EXPECT_EQ(GetPixel(dc, 100, 20), red) << "a point of the star";
    EXPECT_EQ(GetPixel(dc, 72, 37), red);
}

// BeginPaint's context draws only inside what was invalid; GetDC's draws anywhere in the
// client area, at once, with no paint message.
class Win32Paint : public Win32 {
  protected:
    void SetUp() override {
        Win32::SetUp();
        handler = [](Win32* t, HWND hwnd, UINT message, WPARAM, LPARAM, bool* handled) -> LRESULT {
            if (message != WM_PAINT) return 0;
            PAINTSTRUCT ps;
            HDC paint = BeginPaint(hwnd, &ps);
            HBRUSH blue = CreateSolidBrush(RGB(0, 0, 255));
            HGDIOBJ kept = SelectObject(paint, blue);
            Rectangle(paint, 0, 0, 300, 180);
            SelectObject(paint, kept);
            DeleteObject(blue);
            EndPaint(hwnd, &ps);
            ++t->counter;
            *handled = true;
            return 0;
        };
    }
};

TEST_F(Win32Paint, APaintDrawsOnlyInsideTheInvalidPart) {
    HDC dc = GetDC(window);
    SelectObject(dc, GetStockObject(WHITE_BRUSH));
    SelectObject(dc, GetStockObject(NULL_PEN));
    Rectangle(dc, 0, 0, 201, 101);
    RECT part{100, 50, 150, 80};
    InvalidateRect(window, &part, FALSE);
    UpdateWindow(window);
    EXPECT_EQ(counter, 1);
    EXPECT_EQ(GetPixel(dc, 120, 60), RGB(0, 0, 255));
    EXPECT_EQ(GetPixel(dc, 99, 60), RGB(255, 255, 255));
    EXPECT_EQ(GetPixel(dc, 150, 60), RGB(255, 255, 255));
    EXPECT_EQ(GetPixel(dc, 120, 80), RGB(255, 255, 255));
    ReleaseDC(window, dc);
}

TEST_F(Win32Paint, GetDCDrawsOnTheWholeClientAreaAtOnce) {
    HDC dc = GetDC(window);
    HBRUSH red = CreateSolidBrush(RGB(255, 0, 0));
    HGDIOBJ kept = SelectObject(dc, red);
    RoundRect(dc, 1, 1, 15, 15, 15, 15);
    EXPECT_EQ(GetPixel(dc, 8, 8), RGB(255, 0, 0)) << "drawn at once";
    SelectObject(dc, kept);
    ReleaseDC(window, dc);
    DeleteObject(red);
    EXPECT_EQ(counter, 0) << "no paint message was needed";
    // Each GetDC starts from the defaults.
    dc = GetDC(window);
    EXPECT_EQ(SetBkMode(dc, TRANSPARENT), OPAQUE);
    ReleaseDC(window, dc);
    dc = GetDC(window);
    EXPECT_EQ(SetBkMode(dc, OPAQUE), OPAQUE);
    ReleaseDC(window, dc);
}

} // namespace
