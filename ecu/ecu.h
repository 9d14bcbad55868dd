// The link to the ECU: the serial port, the wake-up and the poll.
#pragma once

#include "app/state.h"
#include "ecu/protocol.h"
#include "platform/win32.h"

#include <stdint.h>

// How listing the present serial ports into PortList ended.
enum PortListing {
    kPortsListed,           // at least one entry
    kPortListUnavailable,   // the system gave no device list
    kPortEnumerationFailed, // walking the list stopped on an error
    kNoPortsFound,
};
PortListing ListSerialPorts();

// The port list's selection changed (a user's choice, or the program's own notice).
void HandlePortSelection();
// The program's own selection notice, sent to the window when the first port is opened
// and when the wake-up reopens the port at 7680 baud. A notice from the list itself is a
// user's choice, and that starts the wake-up again on the chosen port.
void SendSelectionNotice(HWND window);
BOOL OpenPort(uint32_t baud);

// One step of the ECU wake-up, on a tick while wakeStep is not 0.
void WakeUpStep(HWND window);
// One byte out, one byte back, or the fallback when nothing answers.
uint8_t ExchangeByte(uint8_t address, uint8_t fallback);
// Reads the ECU's registers and, when it exchanged all seventeen and got answers,
// converts them into the engine readings; returns how many exchanges got an answer.
// pollComplete, ecuAsleep and lineFailed tell how it ended.
int PollEcu();
// Nothing is known any more of the ECU behind the port (another port was chosen, or the
// lead went and may come back on another car): which registers answer and which never do.
void ForgetEcu();
// The ECU stopped answering or the lead went: closes the port and wakes the ECU again
// from the start on the same port, as the first wake-up did.
void WakeAgain(HWND window);
// Converts EcuRegisters into EngineReadings.
void ConvertReadings();
