// The program's process-wide state. Every variable starts at zero; the main window's
// creation sets the ones it needs. Everything runs on the one thread, so nothing here
// is locked; who writes and who reads each group is said above it.
#pragma once

#include "platform/win32.h"

#include <stdint.h>
#include <stdio.h>

// The polled ECU bytes.
struct EcuRegisterMirror {
    uint16_t speedPeriod;
    uint16_t injectorPeriod;
    uint8_t advanceRaw;
    uint8_t pressureRaw;
    uint8_t airTempRaw;
    uint8_t waterTempRaw;
    uint8_t throttleRaw;
    uint8_t batteryRaw;
    uint8_t vaeRaw;
    uint8_t faultFlags1;
    uint8_t faultFlags2;
    uint8_t faultFlags3;
    uint8_t faultType1;
    uint8_t faultType2;
    uint8_t faultType3;
};

// The engine values converted from them, in engineering units.
struct EngineValues {
    float engineSpeed;      // rpm
    float injectorTime;     // ms
    float sparkAdvance;     // degrees
    float manifoldPressure; // mb
    float airTemp;          // degrees C
    float waterTemp;        // degrees C
    float throttleAngle;    // degrees
    float batteryVolts;     // V
    float vaeValue;
};

// The window and the program's instance. Written by WinMain (appInstance) and the
// window's creation (mainWindow); read by the creation, the port's failure boxes
// (ecu/ports.cpp) and the activity lamp (ecu/poll.cpp).
extern HWND mainWindow;
extern HINSTANCE appInstance;
extern const char windowTitle[];

// The four brushes. Written once by the window's creation (app/mainwnd.cpp); read by
// the gauges, the panel, the fault panel and the activity lamp.
extern HBRUSH redBrush;
extern HBRUSH greenBrush;
extern HBRUSH yellowBrush;
extern HBRUSH panelBrush;

// The port and the wake-up. PortList is written by the creation; wakeStep by the
// creation, a user's choice of port (ecu/ports.cpp) and each wake-up step
// (ecu/wakeup.cpp), and read by the tick (app/mainwnd.cpp) and the port's opening;
// baudRate, portPath, portHandle, portSettings and portTimeouts are written and read by
// the port's selection and opening (ecu/ports.cpp), portHandle also read by the exchange
// (ecu/poll.cpp); bytesRead is the exchange's own.
extern HWND PortList;
extern int32_t wakeStep;
extern uint32_t baudRate;
extern char portPath[128];
extern HANDLE portHandle;
extern DCB portSettings;
extern COMMTIMEOUTS portTimeouts;
extern DWORD bytesRead;

// The link to the ECU as the polls find it. The car is not always awake: the ignition
// goes off and on, the lead is pulled out and put back. echoBytesRead (what the last
// exchange's first read returned: 0 when nothing at all came back) and lineFailed (its
// write or a read failed) are written by the exchange (ecu/poll.cpp); ecuAsleep (the last
// poll stopped on two signs that the ECU sleeps) and pollComplete (the last poll
// exchanged all seventeen registers and got answers, so its bytes were taken) are
// written by the poll and read by the tick. What the polls learn of the ECU, a bit for each
// register of the poll's order: answeringRegisters (has answered on this port), unansweredOnce
// (went unanswered in one whole poll that got answers, and never answered) and silentRegisters
// (went unanswered in two: the ECU lacks it), all written by the poll and forgotten when the user
// chooses a port or the lead comes back after it went (ForgetEcu). ecuLink is written by the tick,
// the poll, the wake-up and the port's opening (ecu/wakeup.cpp, ecu/ports.cpp) and shown in the
// title (app/mainwnd.cpp); rewaking is set while the program wakes the ECU again by itself (a port
// that cannot be opened meanwhile is tried again, without a box, and the first poll follows the
// wake-up at once), and cleared by an answered poll or the user's choice of a port; rateRefusalTold
// is set once the port the user chose has been told it cannot run the ECU's rate, and chipDoubtful
// while the chosen port's lead has a chip that may not run it though its driver takes it.
enum EcuLinkState {
    kEcuAnswers = 0, // or not known yet: the plain title
    kEcuSilent = 1,  // the lead echoes, the ECU does not answer (ignition off, cranking)
    kLeadGone = 2,   // the lead's port fails or cannot be opened
};
extern int32_t ecuLink;
extern DWORD echoBytesRead;
extern int32_t lineFailed;
extern int32_t rewaking;
extern int32_t rateRefusalTold;
extern int32_t ecuAsleep;
extern int32_t pollComplete;
extern uint32_t answeringRegisters;
extern uint32_t unansweredOnce;
extern uint32_t silentRegisters;
extern int32_t chipDoubtful;

// The engine's bytes and readings. Written only by the poll (ecu/poll.cpp); read by the
// dashboard's paint and update, the fault panel and the log. The last fault bytes shown
// are written by the creation and by CheckFaultChange (dashboard/dashboard.cpp), and
// read only there.
extern EcuRegisterMirror EcuRegisters;
extern EngineValues EngineReadings;
extern uint8_t lastFaultFlags1;
extern uint8_t lastFaultFlags2;
extern uint8_t lastFaultFlags3;

// The menus' choices. engineType is written by SelectEngineFamily and read by the tick;
// loggingOn and logFile are written and read by the log (log/datalog.cpp), loggingOn
// also read by the tick.
extern int32_t engineType;
extern int32_t loggingOn;
extern FILE* logFile;

// The texts the window shows, in the user's language, and the separator its numbers are
// written with (the log keeps its points): loaded once by the window's creation
// (app/mainwnd.cpp) from the string table (app/texts.h). The link's texts follow the title
// (no answer, the lead gone, no answer through a doubtful chip); the fault panel's are
// each entry's name and its short- and open-circuit texts.
extern char decimalSeparator[4];
extern char linkTexts[3][128];
extern char faultTexts[11][3][64];

// The drawing contexts of the tick's update and of a paint, each held only for the
// length of UpdateDashboard or PaintDashboard (dashboard/dashboard.cpp).
extern HDC tickDC;
extern PAINTSTRUCT paintInfo;

// Ids of the window's controls, timer and menu commands.
const int kPortListId = 30001;
const UINT_PTR PollTimer = 1;
const UINT kCommandExit = 40001;
const UINT kCommandEngine = 40002;
const UINT kCommandLoggingOn = 40012;
const UINT kCommandLoggingOff = 40013;
// The title once an engine family is chosen.
extern const char engineTitle[];
const int kMenuResourceId = 101;
