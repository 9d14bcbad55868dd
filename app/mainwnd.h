// The main window's message handler and the steps it runs.
#pragma once

#include "platform/win32.h"

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
LRESULT Shutdown(HWND window);
void SelectEngineFamily(HWND window);
// Sets the title for the engine chosen and the state of the link to the ECU.
void ShowEcuLink(HWND window);
