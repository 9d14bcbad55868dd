#include "platform/testenv.h"

#include "platform/posix/backends/headless.h"

void BeginWin32Test() {
    static w32::VirtualClockBackend clock;
    w32::ResetLayer();
    clock.SetThreaded(false);
    clock.SetLimit(UINT64_MAX);
    clock.SetAutoAnswer(false);
    clock.SetNow(0);
    w32::SetBackend(&clock);
}

bool RunningUnderWine() { return false; }
