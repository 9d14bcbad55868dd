#include "app/state.h"
#include "ecu/ecu.h"

// Serial ports are not listed yet: the list stays empty, and with no entry selected
// no port is opened. The dashboard runs without an ECU until then.
PortListing ListSerialPorts() { return kPortsListed; }

void HandlePortSelection() {}

BOOL OpenPort(uint32_t) { return FALSE; }
