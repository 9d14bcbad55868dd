// One vertical bar gauge: a rounded panel 100 pixels wide with a name, a scale with
// labelled major and plain minor ticks, a pointer coloured by band, and a readout.
#pragma once

#include "platform/win32.h"

struct GaugeParameters;

class Gauge {
  public:
    Gauge(const char* name, const char* units, int height, int left, int top, int minimum,
          int maximum, int majorStep, int minorStep, int threshold1, int threshold2, int threshold3,
          int threshold4, int decimals);

    void SetRange(int minimum, int maximum, int majorStep, int minorStep, int threshold1,
                  int threshold2, int threshold3, int threshold4);
    // Draws the whole gauge.
    void Paint(HDC hdc, float reading);
    // Redraws only the pointer strip and the readout.
    void Update(HDC hdc, float reading);
    // Where the value stands on the scale, 0 to 100.
    int Percent() const;

    char name[16];
    char units[16];
    float value;
    int height;
    int left;
    int top;
    int minimum;
    int maximum;
    int majorStep;
    int minorStep;
    int threshold1;
    int threshold2;
    int threshold3;
    int threshold4;
    int decimals;

  private:
    void Clamp(float reading);
    HBRUSH BandBrush() const;
    void DrawPointer(HDC hdc) const;
    void DrawReadout(HDC hdc) const;
};

// A gauge built with the parameters of the gauge table.
Gauge MakeGauge(const GaugeParameters& p);
