#include "app/state.h"
#include "ecu/ecu.h"

// No ECU is read yet: every exchange gives its fallback and the readings stay at zero.
uint8_t ExchangeByte(uint8_t, uint8_t fallback) { return fallback; }

void PollEcu() {}
