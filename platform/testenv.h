// For tests that call the Windows API themselves, on the test's own thread.
#pragma once

// Prepares the thread to make windows: on Windows there is nothing to do; over our layer
// it starts from nothing, on a clock that moves only while the thread sleeps or waits,
// so that timers behave exactly and at once.
void BeginWin32Test();

// True when the tests run on Wine, for the few checks that Wine itself gets wrong.
bool RunningUnderWine();
