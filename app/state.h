// The program's process-wide state. Every variable starts at zero; the main window's
// creation sets the ones it needs.
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

extern HWND mainWindow;
extern HINSTANCE appInstance;
extern const char windowTitle[];

extern HBRUSH redBrush;
extern HBRUSH greenBrush;
extern HBRUSH yellowBrush;
extern HBRUSH panelBrush;

extern HWND PortList;
extern int32_t wakeStep;
extern uint32_t baudRate;
extern char portPath[128];
extern HANDLE portHandle;
extern DCB portSettings;
extern COMMTIMEOUTS portTimeouts;
extern DWORD bytesRead;

extern EcuRegisterMirror EcuRegisters;
extern EngineValues EngineReadings;
extern uint8_t lastFaultFlags1;
extern uint8_t lastFaultFlags2;
extern uint8_t lastFaultFlags3;

extern int32_t engineType;
extern int32_t loggingOn;
extern FILE* logFile;

extern HDC tickDC;
extern PAINTSTRUCT paintInfo;

// Ids of the window's controls, timer and menu commands.
const int kPortListId = 30001;
const UINT_PTR PollTimer = 1;
const UINT kCommandExit = 40001;
const UINT kCommandEngine = 40002;
const UINT kCommandLoggingOn = 40012;
const UINT kCommandLoggingOff = 40013;
const int kMenuResourceId = 101;
