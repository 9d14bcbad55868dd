#include "app/state.h"

HWND mainWindow;
HINSTANCE appInstance;
const char windowTitle[] = "Fiat Punto 75 Mk1";
const char engineTitle[] = "Fiat Punto MK1 55";

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

int32_t ecuLink;
DWORD echoBytesRead;
int32_t lineFailed;
int32_t rewaking;
int32_t ecuAsleep;
int32_t pollComplete;
uint32_t answeringRegisters;
uint32_t unansweredOnce;
uint32_t silentRegisters;
int32_t rateRefusalTold;
int32_t chipDoubtful;

EcuRegisterMirror EcuRegisters;
EngineValues EngineReadings;
uint8_t lastFaultFlags1;
uint8_t lastFaultFlags2;
uint8_t lastFaultFlags3;

int32_t engineType;
int32_t loggingOn;
FILE* logFile;

char decimalSeparator[4];
char linkTexts[3][128];
char faultTexts[11][3][64];

HDC tickDC;
PAINTSTRUCT paintInfo;
