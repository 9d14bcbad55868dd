#include "app/state.h"
#include "dashboard/dashboard.h"
#include "dashboard/faults.h"

#include <string.h>

void DrawFaultPanel(HDC hdc) {
    SetTextAlign(hdc, TA_LEFT | TA_BASELINE);
    SetBkMode(hdc, TRANSPARENT);
    const uint8_t flags[3] = {EcuRegisters.faultFlags1, EcuRegisters.faultFlags2,
                              EcuRegisters.faultFlags3};
    const uint8_t kinds[3] = {EcuRegisters.faultType1, EcuRegisters.faultType2,
                              EcuRegisters.faultType3};
    for (int i = 0; i < 11; ++i) {
        const FaultEntry& e = kFaultEntries[i];
        int left = 0;
        int top = 0;
        FaultEntryBox(e, &left, &top);
        if (FaultPresent(e, flags)) {
            HGDIOBJ kept = SelectObject(hdc, redBrush);
            RoundRect(hdc, left, top, left + 180, top + 20, 20, 20);
            SelectObject(hdc, kept);
        }
        const char* text = faultTexts[i][FaultTextKind(e, flags, kinds)];
        TextOutA(hdc, left + 10, top + 15, text, static_cast<int>(strlen(text)));
    }
}
