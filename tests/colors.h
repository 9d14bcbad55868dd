// Colours and pixel helpers shared by the tests.
#pragma once

#include "platform/win32.h"

#include <ostream>
#include <string>

const COLORREF kBlack = RGB(0, 0, 0);
const COLORREF kWhite = RGB(255, 255, 255);
const COLORREF kRed = RGB(255, 0, 0);
const COLORREF kGreen = RGB(0, 255, 0);
const COLORREF kYellow = RGB(255, 255, 0);
const COLORREF kPanel = RGB(255, 128, 255);

inline std::string ColorName(COLORREF c) {
    char text[32];
    snprintf(text, sizeof text, "RGB(%u,%u,%u)", GetRValue(c), GetGValue(c), GetBValue(c));
    return text;
}

// Dark enough to be a glyph's stroke on the panel.
inline bool IsDark(COLORREF c) { return GetRValue(c) + GetGValue(c) + GetBValue(c) < 300; }
