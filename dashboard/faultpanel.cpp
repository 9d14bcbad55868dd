#include "app/state.h"
#include "dashboard/dashboard.h"

#include <string.h>

namespace {

// One entry of the panel: where it stands, its bits and its three texts.
struct FaultEntry {
    int column; // 0 to 2
    int row;    // 0 to 3
    const uint8_t* flags;
    const uint8_t* kind; // null: the entry shows a fault by its highlight alone
    uint8_t bit;
    const char* name;
    const char* shortCircuit; // fault and kind bits set
    const char* openCircuit;  // fault bit set, kind bit clear
};

const FaultEntry entries[11] = {
    {0, 0, &EcuRegisters.faultFlags1, &EcuRegisters.faultType1, 0x01, "Throttle position sensor",
     "Throttle sensor S/C", "Throttle sensor O/C"},
    {0, 1, &EcuRegisters.faultFlags1, &EcuRegisters.faultType1, 0x02, "Pressure sensor",
     "Pressure sensor S/C", "Pressure sensor O/C"},
    {0, 2, &EcuRegisters.faultFlags1, nullptr, 0x04, "Lambda sensor", "Lambda sensor",
     "Lambda sensor"},
    {0, 3, &EcuRegisters.faultFlags1, &EcuRegisters.faultType1, 0x08, "Water temp sensor",
     "Water temp sens S/C", "Water temp sens O/C"},
    {1, 0, &EcuRegisters.faultFlags1, &EcuRegisters.faultType1, 0x10, "Air temp sensor",
     "Air temp sensor S/C", "Air temp sensor O/C"},
    // For the battery the kind bit tells low from high.
    {1, 1, &EcuRegisters.faultFlags1, &EcuRegisters.faultType1, 0x20, "Battery voltage",
     "Battery volts low", "Battery volts high"},
    {1, 3, &EcuRegisters.faultFlags2, &EcuRegisters.faultType2, 0x01, "Injector driver",
     "Injector driver S/C", "Injector driver O/C"},
    {2, 0, &EcuRegisters.faultFlags2, &EcuRegisters.faultType2, 0x02, "Spark coil 1",
     "Spark coil 1 S/C", "Spark coil 1 O/C"},
    {2, 1, &EcuRegisters.faultFlags2, &EcuRegisters.faultType2, 0x04, "Spark coil 2",
     "Spark coil 2 S/C", "Spark coil 2 O/C"},
    {2, 2, &EcuRegisters.faultFlags2, &EcuRegisters.faultType2, 0x08, "Stepper motor",
     "Stepper motor S/C", "Stepper motor O/C"},
    {2, 3, &EcuRegisters.faultFlags3, nullptr, 0x20, "Crank sensor", "Crank sensor",
     "Crank sensor"},
};

} // namespace

void DrawFaultPanel(HDC hdc) {
    SetTextAlign(hdc, TA_LEFT | TA_BASELINE);
    SetBkMode(hdc, TRANSPARENT);
    for (const FaultEntry& e : entries) {
        const int left = 21 + 200 * e.column;
        const int top = 436 + 20 * e.row;
        const char* text = e.name;
        if ((*e.flags & e.bit) != 0) {
            HGDIOBJ kept = SelectObject(hdc, redBrush);
            RoundRect(hdc, left, top, left + 180, top + 20, 20, 20);
            SelectObject(hdc, kept);
            if (e.kind != nullptr) text = (*e.kind & e.bit) != 0 ? e.shortCircuit : e.openCircuit;
        }
        TextOutA(hdc, left + 10, top + 15, text, static_cast<int>(strlen(text)));
    }
}
