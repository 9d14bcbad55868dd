#include "dashboard/faults.h"

const FaultEntry kFaultEntries[11] = {
    {0, 0, 1, 1, 0x01, "Throttle position sensor", "Throttle sensor S/C", "Throttle sensor O/C"},
    {0, 1, 1, 1, 0x02, "Pressure sensor", "Pressure sensor S/C", "Pressure sensor O/C"},
    {0, 2, 1, 0, 0x04, "Lambda sensor", "Lambda sensor", "Lambda sensor"},
    {0, 3, 1, 1, 0x08, "Water temp sensor", "Water temp sens S/C", "Water temp sens O/C"},
    {1, 0, 1, 1, 0x10, "Air temp sensor", "Air temp sensor S/C", "Air temp sensor O/C"},
    // For the battery the kind bit tells low from high.
    {1, 1, 1, 1, 0x20, "Battery voltage", "Battery volts low", "Battery volts high"},
    {1, 3, 2, 2, 0x01, "Injector driver", "Injector driver S/C", "Injector driver O/C"},
    {2, 0, 2, 2, 0x02, "Spark coil 1", "Spark coil 1 S/C", "Spark coil 1 O/C"},
    {2, 1, 2, 2, 0x04, "Spark coil 2", "Spark coil 2 S/C", "Spark coil 2 O/C"},
    {2, 2, 2, 2, 0x08, "Stepper motor", "Stepper motor S/C", "Stepper motor O/C"},
    {2, 3, 3, 0, 0x20, "Crank sensor", "Crank sensor", "Crank sensor"},
};

// Three columns 200 pixels apart from x 21, four rows 20 pixels apart from y 436.
void FaultEntryBox(const FaultEntry& e, int* left, int* top) {
    *left = 21 + 200 * e.column;
    *top = 436 + 20 * e.row;
}

bool FaultPresent(const FaultEntry& e, const uint8_t flags[3]) {
    return (flags[e.flagsByte - 1] & e.bit) != 0;
}

int FaultTextKind(const FaultEntry& e, const uint8_t flags[3], const uint8_t kinds[3]) {
    if (!FaultPresent(e, flags) || e.kindByte == 0) return 0;
    return (kinds[e.kindByte - 1] & e.bit) != 0 ? 1 : 2;
}

const char* FaultText(const FaultEntry& e, const uint8_t flags[3], const uint8_t kinds[3]) {
    const char* const texts[3] = {e.name, e.shortCircuit, e.openCircuit};
    return texts[FaultTextKind(e, flags, kinds)];
}
