#include "app/state.h"

HWND mainWindow;
HINSTANCE appInstance;
const char windowTitle[] = "Fiat Punto 75 Mk1";

HBRUSH redBrush;
HBRUSH greenBrush;
HBRUSH yellowBrush;
HBRUSH panelBrush;

HWND PortList;
int32_t wakeStep;
uint32_t baudRate;
char portPath[128];
HANDLE portHandle;
DCB portSettings;
COMMTIMEOUTS portTimeouts;
DWORD bytesRead;

EcuRegisterMirror EcuRegisters;
EngineValues EngineReadings;
uint8_t lastFaultFlags1;
uint8_t lastFaultFlags2;
uint8_t lastFaultFlags3;

int32_t engineType;
int32_t loggingOn;
FILE* logFile;

HDC tickDC;
PAINTSTRUCT paintInfo;
