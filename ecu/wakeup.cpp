#include "app/state.h"
#include "ecu/ecu.h"

namespace {
// Set while the last step's reopen runs: a tick that arrives meanwhile (a message box
// of the reopen runs its own message loop) must not start the step again.
bool reopening = false;

bool PortOpen() { return portHandle != nullptr && portHandle != INVALID_HANDLE_VALUE; }

// The port of a wake-up the program started by itself, opened again at 1200 baud; false
// while it cannot be opened (the lead is out): the next tick tries again.
bool ReopenForWakeUp(HWND window) {
    baudRate = kWakeBaud;
    if (!OpenPort(baudRate)) {
        ecuLink = kLeadGone;
        SetTimer(window, PollTimer, kReopenTickMs, nullptr);
        return false;
    }
    SetTimer(window, PollTimer, kWakeTickMs, nullptr);
    return true;
}
} // namespace

void WakeAgain(HWND window) {
    KillTimer(window, PollTimer);
    rewaking = 1;
    wakeStep = 1;
    if (PortOpen()) CloseHandle(portHandle);
    portHandle = INVALID_HANDLE_VALUE;
    ReopenForWakeUp(window);
}

void WakeUpStep(HWND window) {
    if (reopening || wakeStep < 1 || wakeStep > 3) return;
    // A wake-up the program started by itself opens its port first; the bytes follow one
    // per tick once it is open.
    if (rewaking != 0 && !PortOpen()) {
        ReopenForWakeUp(window);
        return;
    }
    uint8_t ch = kWakeBytes[wakeStep - 1];
    DWORD written = 0;
    if (!WriteFile(portHandle, &ch, 1, &written, nullptr) && PortOpen()) {
        // The lead went while it was being woken: from the start once it is back.
        ecuLink = kLeadGone;
        WakeAgain(window);
        return;
    }
    if (wakeStep < 3) {
        ++wakeStep;
        return;
    }
    KillTimer(window, PollTimer);
    // The ECU was asleep: it is polled on the next tick, and every 500 ms once it answers.
    SetTimer(window, PollTimer, rewaking != 0 && engineType != 0 ? kWakeTickMs : kPollTickMs,
             nullptr);
    // The reopen picks 7680 baud because wakeStep is still 3 while it runs.
    reopening = true;
    SendSelectionNotice(window);
    reopening = false;
    // A user's choice while a box of the reopen was open has started a new wake-up.
    if (wakeStep != 3) return;
    wakeStep = 0;
    // The port went between the wake-up's bytes and its reopen: it is tried again.
    if (rewaking != 0 && !PortOpen()) {
        ecuLink = kLeadGone;
        WakeAgain(window);
    }
}
