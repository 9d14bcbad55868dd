#include "app/mainwnd.h"

#include "app/state.h"
#include "app/texts.h"
#include "dashboard/dashboard.h"
#include "dashboard/gauge_table.h"
#include "ecu/ecu.h"
#include "log/datalog.h"
#include "platform/texts.h"

#include <stdio.h>
#include <string.h>

namespace {

// The texts the window shows, in the user's language, and the user's decimal separator.
void LoadTexts() {
    if (GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, decimalSeparator,
                       sizeof decimalSeparator) == 0) {
        snprintf(decimalSeparator, sizeof decimalSeparator, ".");
    }
    const UINT link[3] = {kTextNoAnswer, kTextLeadGone, kTextNoAnswerChipDoubtful};
    for (int i = 0; i < 3; ++i)
        LoadShownTextA(appInstance, link[i], linkTexts[i], sizeof linkTexts[i]);
    LoadDashboardTexts();
}

// A box of the program's own texts, by their ids.
void TellBox(HWND owner, UINT text, UINT caption, UINT type) {
    char t[1024];
    char c[128];
    LoadShownTextA(appInstance, text, t, sizeof t);
    LoadShownTextA(appInstance, caption, c, sizeof c);
    MessageBoxA(owner, t, c, type);
}

LRESULT Create(HWND window) {
    // First of all: what the creation triggers (opening the first port) may need it.
    mainWindow = window;
    LoadTexts();
    redBrush = CreateSolidBrush(RGB(255, 0, 0));
    greenBrush = CreateSolidBrush(RGB(0, 255, 0));
    yellowBrush = CreateSolidBrush(RGB(255, 255, 0));
    panelBrush = CreateSolidBrush(RGB(255, 128, 255));
    lastFaultFlags1 = 0;
    lastFaultFlags2 = 0;
    lastFaultFlags3 = 0;
    wakeStep = 1;

    PortList = CreateWindowExA(
        0, "COMBOBOX", nullptr,
        WS_CHILD | WS_VISIBLE | CBS_DROPDOWNLIST | CBS_SORT | CBS_HASSTRINGS, 20, 6, 190, 200,
        window, reinterpret_cast<HMENU>(static_cast<intptr_t>(kPortListId)), appInstance, nullptr);
    ShowWindow(PortList, SW_SHOW);

    switch (ListSerialPorts()) {
    case kPortListUnavailable:
        TellBox(nullptr, kTextPortListFailed, kTextError, MB_ICONERROR);
        SendMessageA(window, WM_DESTROY, 0, 0);
        return 0;
    case kPortEnumerationFailed:
        SendMessageA(window, WM_DESTROY, 0, 0);
        return 0;
    case kNoPortsFound:
        TellBox(nullptr, kTextNoPorts, kTextPortErrorCaption, MB_ICONERROR);
        SendMessageA(window, WM_DESTROY, 0, 0);
        return 0;
    case kPortsListed:
        break;
    }

    // The list sorts its entries, so this is the alphabetically first port. The notice
    // that a user's choice would send opens it, at 1200 baud since wakeStep is 1.
    SendMessageA(PortList, CB_SETCURSEL, 0, 0);
    SendSelectionNotice(window);
    SetTimer(window, PollTimer, kWakeTickMs, nullptr);
    return 0;
}

void Command(HWND window, WPARAM wParam) {
    if (HIWORD(wParam) == CBN_SELCHANGE && LOWORD(wParam) == kPortListId) {
        HandlePortSelection();
        ShowEcuLink(window);
    }
    // A control's notice carries its code in the high word and matches no command.
    switch (static_cast<DWORD>(wParam)) {
    case kCommandExit:
        SendMessageA(window, WM_DESTROY, 0, 0);
        break;
    case kCommandEngine:
        SelectEngineFamily(window);
        break;
    case kCommandLoggingOn:
        StartLogging(window);
        break;
    case kCommandLoggingOff:
        StopLogging(window);
        break;
    default:
        break;
    }
}

// A poll that exchanged all seventeen registers and got answers is shown and logged.
// One that got none, or that the ECU or the line left part-way, shows and logs nothing:
// the readings stay as they were, and the title says why they do not move. The ECU
// woken again is the way back, after the line failed or the poll found the ECU asleep.
void Tick(HWND window) {
    if (wakeStep != 0) {
        WakeUpStep(window);
        ShowEcuLink(window);
        return;
    }
    if (engineType == 0) return;
    PollEcu();
    if (lineFailed != 0) {
        ecuLink = kLeadGone;
        WakeAgain(window);
    } else if (ecuAsleep != 0) {
        ecuLink = kEcuSilent;
        WakeAgain(window);
    } else if (pollComplete != 0) {
        if (rewaking != 0) {
            // Awake again: the poll's own tick from now on.
            rewaking = 0;
            SetTimer(window, PollTimer, kPollTickMs, nullptr);
        }
        ecuLink = kEcuAnswers;
        UpdateDashboard(window);
        if (loggingOn != 0) WriteLogLine();
    }
    ShowEcuLink(window);
}

} // namespace

// Every engine family reads the same way: one title, one pressure range.
void SelectEngineFamily(HWND window) {
    engineType = 1;
    ShowEcuLink(window);
    const GaugeParameters& p = kPressureGaugeForEngine;
    pressureGauge.SetRange(p.minimum, p.maximum, p.majorStep, p.minorStep, p.threshold1,
                           p.threshold2, p.threshold3, p.threshold4);
    InvalidateRect(window, nullptr, FALSE);
    UpdateWindow(window);
}

// The title: the window's own until an engine family is chosen, then the engine's; with
// what keeps the readings from moving behind it. Set only when it changes.
void ShowEcuLink(HWND window) {
    const char* state = ecuLink == kEcuSilent  ? linkTexts[0]
                        : ecuLink == kLeadGone ? linkTexts[1]
                                               : "";
    // A lead whose chip may run another rate than the ECU's, though its driver took it.
    if (ecuLink == kEcuSilent && chipDoubtful != 0) state = linkTexts[2];
    char title[256];
    snprintf(title, sizeof title, "%s%s", engineType != 0 ? engineTitle : windowTitle, state);
    char shown[256] = "";
    GetWindowTextA(window, shown, sizeof shown);
    if (strcmp(title, shown) != 0) SetWindowTextA(window, title);
}

// The one way out. Reaching it again does no harm.
LRESULT Shutdown(HWND window) {
    KillTimer(window, PollTimer);
    _fcloseall();
    PostQuitMessage(0);
    return 0;
}

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
    switch (message) {
    case WM_CREATE:
        return Create(window);
    case WM_DESTROY:
        return Shutdown(window);
    case WM_PAINT:
        PaintDashboard(window);
        return 0;
    case WM_COMMAND:
        Command(window, wParam);
        return 0;
    case WM_TIMER:
        Tick(window);
        return 0;
    default:
        return DefWindowProcA(window, message, wParam, lParam);
    }
}
