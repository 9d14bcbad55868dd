#include "app/state.h"
#include "app/texts.h"
#include "ecu/ecu.h"
#include "ecu/portname.h"
#include "platform/texts.h"

#include <ctype.h>
#include <stdio.h>
#include <string.h>

namespace {

// The interface class of serial ports, GUID_DEVINTERFACE_COMPORT.
const GUID comPortClass = {
    0x86E0D1E0, 0x8089, 0x11D0, {0x9C, 0xE4, 0x08, 0x00, 0x3E, 0x30, 0x1F, 0x73}};

// Set while the program's own selection notice is handled.
bool ownNotice = false;
// Only the first open, at the start, ends the program when the port cannot be opened.
bool firstOpen = true;
// Set while a port the user chose is opened.
bool userChosen = false;
// Counts the selections handled. A box shown while a port is opened runs a message
// loop, and a choice the user makes meanwhile is handled inside it: the selection that
// showed the box then leaves the port, the timer and the title to the newer one.
unsigned selections = 0;
// Whether a newer selection was handled since the one that took this count (inside a box
// it showed): what it was doing is then the newer one's to finish, and it returns.
bool OvertakenSince(unsigned count) { return selections != count; }

// The system's words for an error, without the line break Windows ends them with.
void SystemText(DWORD error, char* text, size_t size) {
    LPSTR lpMsgBuf = nullptr;
    FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr, error,
                   MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPSTR>(&lpMsgBuf), 0,
                   nullptr);
    snprintf(text, size, "%s", lpMsgBuf != nullptr ? lpMsgBuf : "");
    if (lpMsgBuf != nullptr) LocalFree(lpMsgBuf);
    size_t length = strlen(text);
    while (length > 0 &&
           (text[length - 1] == '\r' || text[length - 1] == '\n' || text[length - 1] == ' ')) {
        text[--length] = '\0';
    }
}

// The chosen port among the present ports, as the port list reads them: false when it
// is no longer there (its lead was pulled out). Its first hardware id goes to
// hardwareId ("" when it has none). When the system gives no list, the port counts as
// present: nothing says it has gone.
bool FindChosenPort(char* hardwareId, size_t size) {
    hardwareId[0] = '\0';
    HDEVINFO devices = SetupDiGetClassDevsA(&comPortClass, nullptr, nullptr,
                                            DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (devices == INVALID_HANDLE_VALUE) return true;
    SP_DEVINFO_DATA device;
    device.cbSize = sizeof(SP_DEVINFO_DATA);
    bool present = false;
    for (DWORD index = 0; !present && SetupDiEnumDeviceInfo(devices, index, &device); ++index) {
        char name[1024] = "";
        char path[sizeof portPath] = "";
        if (!SetupDiGetDeviceRegistryPropertyA(devices, &device, SPDRP_FRIENDLYNAME, nullptr,
                                               reinterpret_cast<PBYTE>(name), sizeof name - 1,
                                               nullptr) ||
            !PortPathFromEntry(name, path, sizeof path) || strcmp(path, portPath) != 0) {
            continue;
        }
        present = true;
        // A list of texts, each ended by a NUL, the last by two: the first is the most
        // particular ("USB\VID_10C4&PID_EA60&REV_0100").
        if (!SetupDiGetDeviceRegistryPropertyA(devices, &device, SPDRP_HARDWAREID, nullptr,
                                               reinterpret_cast<PBYTE>(hardwareId),
                                               static_cast<DWORD>(size - 2), nullptr)) {
            hardwareId[0] = '\0';
        }
        hardwareId[size - 1] = '\0';
    }
    SetupDiDestroyDeviceInfoList(devices);
    return present;
}

// A Silicon Labs CP210x lead: its one USB id stands for the CP2101, CP2102 and CP2103,
// which cannot run 7680 baud (their fixed table gives 9600), and for the CP2102N and
// CP2104, which can. Where the driver takes a rate it does not run, as Windows' driver
// for these chips does, nothing tells the two apart.
bool ChipMayNotRunRate() {
    if (kDriversRunTheRatesTheyTake) return false;
    char id[512];
    if (!FindChosenPort(id, sizeof id)) return false;
    for (char* c = id; *c != '\0'; ++c)
        *c = static_cast<char>(toupper(static_cast<unsigned char>(*c)));
    return strstr(id, "VID_10C4&PID_EA60") != nullptr;
}

// What a line that cannot run at the ECU's rate means for the user, after the system's
// own words for it.
void TellRateRefused(const char* systemText, uint32_t baud) {
    char format[1024];
    char caption[128];
    LoadShownTextA(appInstance, kTextRateRefused, format, sizeof format);
    LoadShownTextA(appInstance, kTextSerialPortError, caption, sizeof caption);
    char text[1536];
    snprintf(text, sizeof text, format, systemText, systemText[0] != '\0' ? "\n\n" : "",
             static_cast<unsigned>(baud));
    MessageBoxA(nullptr, text, caption, MB_ICONERROR);
}

// A port the user chose that cannot be opened now: why, and that it is tried again.
void TellOpenFailed() {
    char systemText[512];
    SystemText(GetLastError(), systemText, sizeof systemText);
    char format[1024];
    char caption[128];
    LoadShownTextA(appInstance, kTextOpenFailed, format, sizeof format);
    LoadShownTextA(appInstance, kTextSerialPortError, caption, sizeof caption);
    char text[1536];
    snprintf(text, sizeof text, format, systemText, systemText[0] != '\0' ? "\n\n" : "");
    MessageBoxA(nullptr, text, caption, MB_ICONERROR);
}

} // namespace

void SendSelectionNotice(HWND window) {
    ownNotice = true;
    SendMessageA(window, WM_COMMAND, MAKEWPARAM(kPortListId, CBN_SELCHANGE),
                 reinterpret_cast<LPARAM>(PortList));
    ownNotice = false;
}

PortListing ListSerialPorts() {
    HDEVINFO devices = SetupDiGetClassDevsA(&comPortClass, nullptr, nullptr,
                                            DIGCF_PRESENT | DIGCF_DEVICEINTERFACE);
    if (devices == INVALID_HANDLE_VALUE) return kPortListUnavailable;

    SP_DEVINFO_DATA DeviceInfoData;
    // The record's size for this build: 28 bytes in a 32-bit program, 32 in a 64-bit one.
    DeviceInfoData.cbSize = sizeof(SP_DEVINFO_DATA);
    DWORD index = 0;
    while (SetupDiEnumDeviceInfo(devices, index, &DeviceInfoData)) {
        DWORD DataT = 0;
        LPSTR buffer = nullptr;
        DWORD buffersize = 0;
        while (!SetupDiGetDeviceRegistryPropertyA(devices, &DeviceInfoData, SPDRP_FRIENDLYNAME,
                                                  &DataT, reinterpret_cast<PBYTE>(buffer),
                                                  buffersize, &buffersize)) {
            if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) break;
            if (buffer != nullptr) LocalFree(buffer);
            // One byte more than asked for, zeroed: the text always ends in a terminator.
            buffer = static_cast<LPSTR>(LocalAlloc(LMEM_ZEROINIT, buffersize + 1));
            if (buffer == nullptr) break;
        }
        // A name that cannot be read is listed as an empty entry.
        SendMessageA(PortList, CB_ADDSTRING, 0,
                     reinterpret_cast<LPARAM>(buffer != nullptr ? buffer : ""));
        if (buffer != nullptr) LocalFree(buffer);
        ++index;
    }
    DWORD error = GetLastError();
    if (error != 0 && error != ERROR_NO_MORE_ITEMS) return kPortEnumerationFailed;
    SetupDiDestroyDeviceInfoList(devices);
    return index == 0 ? kNoPortsFound : kPortsListed;
}

void HandlePortSelection() {
    // The program's own notice is told apart when it arrives, not for as long as it is
    // handled: a box its opening shows runs a message loop, and a choice the user makes
    // in the list meanwhile is the user's.
    bool userChoice = !ownNotice;
    ownNotice = false;
    char lpData[1024] = "";
    LRESULT selected = SendMessageA(PortList, CB_GETCURSEL, 0, 0);
    if (selected == CB_ERR) return;
    LRESULT length = SendMessageA(PortList, CB_GETLBTEXTLEN, static_cast<WPARAM>(selected), 0);
    if (length < 0) return;
    if (length < static_cast<LRESULT>(sizeof lpData)) {
        SendMessageA(PortList, CB_GETLBTEXT, static_cast<WPARAM>(selected),
                     reinterpret_cast<LPARAM>(lpData));
    } else {
        // The list copies a whole entry: a longer one is read whole, then cut to the
        // buffer, and the name is looked for in what remains.
        LPSTR whole =
            static_cast<LPSTR>(LocalAlloc(LMEM_ZEROINIT, static_cast<size_t>(length) + 1));
        if (whole == nullptr) return;
        SendMessageA(PortList, CB_GETLBTEXT, static_cast<WPARAM>(selected),
                     reinterpret_cast<LPARAM>(whole));
        snprintf(lpData, sizeof lpData, "%s", whole);
        LocalFree(whole);
    }
    if (!PortPathFromEntry(lpData, portPath, sizeof portPath)) return;

    // A port the user chooses has not been woken, whatever the wake-up of the port
    // before it had reached: it is woken from the start, and a poll that was running
    // goes on after that. What the program was trying by itself on the port before
    // ends, a rate the new port refuses is told again, and nothing is known yet of its
    // ECU, nor which of its registers answer.
    const unsigned mine = ++selections;
    if (userChoice) {
        KillTimer(mainWindow, PollTimer);
        wakeStep = 1;
        rewaking = 0;
        rateRefusalTold = 0;
        ForgetEcu();
        ecuLink = kEcuAnswers;
    }
    if (userChoice || firstOpen) chipDoubtful = ChipMayNotRunRate() ? 1 : 0;
    if (portHandle != nullptr && portHandle != INVALID_HANDLE_VALUE) CloseHandle(portHandle);
    baudRate = wakeStep == 1 ? kWakeBaud : kDataBaud;
    bool chosenBefore = userChosen;
    userChosen = userChoice;
    BOOL opened = OpenPort(baudRate);
    userChosen = chosenBefore;
    if (OvertakenSince(mine)) return;
    // A chosen port is woken once it is open, and tried again meanwhile; a port that
    // could not be opened at the start has ended the program.
    if (userChoice) SetTimer(mainWindow, PollTimer, opened ? kWakeTickMs : kReopenTickMs, nullptr);
}

BOOL OpenPort(uint32_t baud) {
    bool first = firstOpen;
    firstOpen = false;
    const unsigned mine = selections;
    portHandle = CreateFileA(portPath, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                             FILE_ATTRIBUTE_NORMAL, nullptr);
    if (portHandle == INVALID_HANDLE_VALUE && !first) {
        // Later on a port that cannot be opened (a lead pulled out, a port another
        // program holds) is tried again until it opens; the user who chose it is told why.
        if (userChosen) TellOpenFailed();
        if (OvertakenSince(mine)) return FALSE;
        ecuLink = kLeadGone;
        rewaking = 1;
        return FALSE;
    }
    if (portHandle == INVALID_HANDLE_VALUE) {
        LPSTR lpMsgBuf = nullptr;
        DWORD error = GetLastError();
        FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr, error,
                       MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT),
                       reinterpret_cast<LPSTR>(&lpMsgBuf), 0, nullptr);
        char unknown[128];
        LoadShownTextA(appInstance, kTextUnknownError, unknown, sizeof unknown);
        MessageBoxA(nullptr, lpMsgBuf != nullptr ? lpMsgBuf : unknown, "GetLastError",
                    MB_ICONINFORMATION);
        if (lpMsgBuf != nullptr) LocalFree(lpMsgBuf);
        char text[512];
        char caption[128];
        LoadShownTextA(appInstance, kTextPortMissing, text, sizeof text);
        LoadShownTextA(appInstance, kTextSerialPortError, caption, sizeof caption);
        MessageBoxA(nullptr, text, caption, MB_ICONERROR);
        SendMessageA(mainWindow, WM_DESTROY, 0, 0);
        // The calls below fail on the invalid handle, and nothing looks at them.
    }
    GetCommState(portHandle, &portSettings);
    SetEcuLine(&portSettings, baud);
    if (!SetCommState(portHandle, &portSettings) && portHandle != INVALID_HANDLE_VALUE) {
        // A lead that went between the open and the settings is no question of rates:
        // whether it is still among the present ports says so, not the error's code
        // (drivers give a removed device's handle ERROR_ACCESS_DENIED, or
        // ERROR_GEN_FAILURE, which a lead that refuses the settings gives as well). A
        // line that cannot run at the rate is told once for the port the user chose, not
        // at every wake-up the program tries by itself; the port stays open and keeps the
        // settings it had.
        char systemText[512];
        SystemText(GetLastError(), systemText, sizeof systemText);
        char ignored[8];
        if (!FindChosenPort(ignored, sizeof ignored)) {
            ecuLink = kLeadGone;
        } else if (rateRefusalTold == 0) {
            rateRefusalTold = 1;
            TellRateRefused(systemText, baud);
            if (OvertakenSince(mine)) return FALSE;
        }
    } else if (portHandle != INVALID_HANDLE_VALUE && ecuLink == kLeadGone) {
        // The lead is there again; whether the ECU answers, the next poll tells, and it
        // may be another car's: nothing is known of it yet.
        ecuLink = kEcuAnswers;
        ForgetEcu();
    }

    GetCommTimeouts(portHandle, &portTimeouts);
    portTimeouts.ReadTotalTimeoutConstant = kReadTimeoutMs;
    return SetCommTimeouts(portHandle, &portTimeouts);
}
