#include "dashboard/gauge.h"

#include "app/state.h"
#include "dashboard/gauge_table.h"

#include <stdio.h>
#include <string.h>

Gauge::Gauge(const char* name, const char* units, int height, int left, int top, int minimum,
             int maximum, int majorStep, int minorStep, int threshold1, int threshold2,
             int threshold3, int threshold4, int decimals)
    : height(height), left(left), top(top), minimum(minimum), maximum(maximum),
      majorStep(majorStep), minorStep(minorStep), threshold1(threshold1), threshold2(threshold2),
      threshold3(threshold3), threshold4(threshold4), decimals(decimals) {
    value = static_cast<float>(minimum);
    // Bounded copies: a longer text is cut rather than written past the field.
    snprintf(this->name, sizeof this->name, "%s", name);
    snprintf(this->units, sizeof this->units, "%s", units);
}

void Gauge::SetRange(int minimum, int maximum, int majorStep, int minorStep, int threshold1,
                     int threshold2, int threshold3, int threshold4) {
    this->minimum = minimum;
    this->maximum = maximum;
    this->majorStep = majorStep;
    this->minorStep = minorStep;
    this->threshold1 = threshold1;
    this->threshold2 = threshold2;
    this->threshold3 = threshold3;
    this->threshold4 = threshold4;
}

void Gauge::Clamp(float reading) {
    if (reading <= static_cast<float>(minimum)) {
        value = static_cast<float>(minimum);
    } else if (reading >= static_cast<float>(maximum)) {
        value = static_cast<float>(maximum);
    } else {
        value = reading;
    }
}

// The thresholds fall from the top: red, yellow, green, yellow, red. A value equal to a
// threshold belongs to the band below it.
HBRUSH Gauge::BandBrush() const {
    if (value > threshold1) return redBrush;
    if (value > threshold2) return yellowBrush;
    if (value > threshold3) return greenBrush;
    if (value > threshold4) return yellowBrush;
    return redBrush;
}

void Gauge::DrawPointer(HDC hdc) const {
    int scale = height - 50;
    int span = maximum - minimum;
    int yp =
        top + height - 25 - static_cast<int>((static_cast<double>(value) - minimum) * scale / span);
    POINT points[3] = {{left + 9, yp - 10}, {left + 19, yp}, {left + 9, yp + 10}};
    HGDIOBJ kept = SelectObject(hdc, BandBrush());
    Polygon(hdc, points, 3);
    SelectObject(hdc, kept);
}

void Gauge::DrawReadout(HDC hdc) const {
    char amount[40];
    int digits = snprintf(amount, sizeof amount, "%.*f", decimals, static_cast<double>(value));
    // The user's decimal separator (13,80 V in Italian).
    char* point = strchr(amount, '.');
    if (point != nullptr && decimalSeparator[0] != '\0' && decimalSeparator[1] == '\0')
        *point = decimalSeparator[0];
    if (digits > 0 && digits < static_cast<int>(sizeof amount))
        snprintf(amount + digits, sizeof amount - static_cast<size_t>(digits), " %s", units);
    TextOutA(hdc, left + 50, top + height - 5, amount, static_cast<int>(strlen(amount)));
}

void Gauge::Paint(HDC hdc, float reading) {
    const int L = left;
    const int T = top;
    const int H = height;
    const int scale = H - 50;
    const int span = maximum - minimum;

    HGDIOBJ kept = SelectObject(hdc, panelBrush);
    RoundRect(hdc, L + 1, T + 1, L + 99, T + H - 1, 30, 30);
    Rectangle(hdc, L + 20, T + 25, L + 25, T + H - 24);
    SelectObject(hdc, kept);

    Clamp(reading);

    const int nMajor = span / majorStep;
    const int nMinor = span / minorStep;
    char tickmark[10];
    for (int i = 0; i <= nMajor; ++i) {
        int y = T + H - 25 - (scale * i) / nMajor;
        MoveToEx(hdc, L + 25, y, nullptr);
        LineTo(hdc, L + 35, y);
        // Labels spread evenly over the whole span, so the top one is the maximum.
        snprintf(tickmark, sizeof tickmark, "%d", minimum + (span * i) / nMajor);
        SetBkColor(hdc, RGB(255, 128, 255));
        SetTextAlign(hdc, TA_BASELINE | TA_LEFT);
        TextOutA(hdc, L + 38, y + 5, tickmark, static_cast<int>(strlen(tickmark)));
    }
    for (int j = 0; j <= nMinor; ++j) {
        int y = T + H - 25 - (scale * j) / nMinor;
        MoveToEx(hdc, L + 25, y, nullptr);
        LineTo(hdc, L + 30, y);
    }

    DrawPointer(hdc);

    SetTextAlign(hdc, TA_CENTER | TA_BASELINE);
    TextOutA(hdc, L + 50, T + 15, name, static_cast<int>(strlen(name)));
    DrawReadout(hdc);
}

void Gauge::Update(HDC hdc, float reading) {
    const int L = left;
    const int T = top;
    const int H = height;

    HGDIOBJ kept = SelectObject(hdc, panelBrush);
    SelectObject(hdc, GetStockObject(NULL_PEN));
    RoundRect(hdc, L + 2, T + 10, L + 21, T + H - 10, 10, 10);     // pointer strip
    RoundRect(hdc, L + 10, T + H - 20, L + 90, T + H - 1, 10, 10); // readout box
    SelectObject(hdc, kept);
    SelectObject(hdc, GetStockObject(BLACK_PEN));

    Clamp(reading);
    DrawPointer(hdc);

    SetTextAlign(hdc, TA_CENTER | TA_BASELINE);
    SetBkMode(hdc, TRANSPARENT);
    DrawReadout(hdc);
}

int Gauge::Percent() const {
    return static_cast<int>((static_cast<double>(value) - minimum) * 100.0 / (maximum - minimum));
}

Gauge MakeGauge(const GaugeParameters& p) {
    return Gauge(p.name, p.units, p.height, p.left, p.top, p.minimum, p.maximum, p.majorStep,
                 p.minorStep, p.threshold1, p.threshold2, p.threshold3, p.threshold4, p.decimals);
}
