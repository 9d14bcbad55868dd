#include "app/state.h"
#include "ecu/ecu.h"

namespace {
// Set while the last step's reopen runs: a tick that arrives meanwhile (a message box
// of a failed reopen runs its own message loop) must not start the step again.
bool reopening = false;
} // namespace

void WakeUpStep(HWND window) {
    if (reopening || wakeStep < 1 || wakeStep > 3) return;
    uint8_t ch = kWakeBytes[wakeStep - 1];
    DWORD written = 0;
    WriteFile(portHandle, &ch, 1, &written, nullptr);
    if (wakeStep < 3) {
        ++wakeStep;
        return;
    }
    KillTimer(window, PollTimer);
    SetTimer(window, PollTimer, kPollTickMs, nullptr);
    // The reopen picks 7680 baud because wakeStep is still 3 while it runs.
    reopening = true;
    SendSelectionNotice(window);
    reopening = false;
    // A user's choice while a box of the reopen was open has started a new wake-up.
    if (wakeStep == 3) wakeStep = 0;
}
