// The main window's message handler and the steps it runs.
#pragma once

#include "platform/win32.h"

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT Shutdown(HWND window);
void SelectEngineFamily(HWND window);
