// The fault panel's entries: where each stands, which bits tell it, and its texts. The
// panel draws them; the tools beside the dashboard name faults with the same texts.
#pragma once

#include <stdint.h>

struct FaultEntry {
    int column;    // 0 to 2
    int row;       // 0 to 3
    int flagsByte; // which fault-present byte: 1 to 3 (faultFlags1 to faultFlags3)
    int kindByte;  // which short/open byte: 1 to 3, or 0 when a fault shows by its highlight
    uint8_t bit;
    const char* name;
    const char* shortCircuit; // fault and kind bits set
    const char* openCircuit;  // fault bit set, kind bit clear
};

extern const FaultEntry kFaultEntries[11];

// Where an entry stands in the panel: the corners of its highlight, 180 by 20 pixels.
void FaultEntryBox(const FaultEntry& e, int* left, int* top);

// flags: faultFlags1 to faultFlags3; kinds: faultType1 to faultType3.
bool FaultPresent(const FaultEntry& e, const uint8_t flags[3]);
// The text the panel shows: the entry's name, or with its fault present the text for its
// kind (short or open circuit; the battery's low or high).
const char* FaultText(const FaultEntry& e, const uint8_t flags[3], const uint8_t kinds[3]);
// Which of those texts: 0 the name, 1 the short-circuit text, 2 the open-circuit text.
int FaultTextKind(const FaultEntry& e, const uint8_t flags[3], const uint8_t kinds[3]);
