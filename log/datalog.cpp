#include "log/datalog.h"

#include "app/state.h"

// The log is not written yet: the Logging commands change nothing so far.
void StartLogging(HWND) {}

void StopLogging(HWND) {}

void WriteLogLine() {}
