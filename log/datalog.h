// The engine data log, "engine details.csv".
#pragma once

#include "platform/win32.h"

void StartLogging(HWND hwnd);
void StopLogging(HWND hwnd);
void WriteLogLine();
