#include "log/datalog.h"

#include "app/state.h"
#include "app/texts.h"
#include "dashboard/dashboard.h"
#include "dashboard/gauge_table.h"
#include "platform/texts.h"

#include <stdio.h>
#include <string.h>

namespace {

const char logName[] = "engine details.csv";

// The data line's own 22 columns in their order: nine readings, three fault bytes, an
// empty column, and the gauge positions of the readings in the same order.
const char header[] = "revs, water temp, air temp, throttle, injector period, advance, volts, "
                      "pressure, VAE, error 1, error 2, error 3, , revs, water temp, air temp, "
                      "throttle, injector timing, advance, volts, pressure, VAE\r\n";

void CheckLoggingItems(HWND hwnd, bool on) {
    HMENU popup = GetSubMenu(GetMenu(hwnd), 2);
    CheckMenuItem(popup, kCommandLoggingOn, MF_BYCOMMAND | (on ? MF_CHECKED : MF_UNCHECKED));
    CheckMenuItem(popup, kCommandLoggingOff, MF_BYCOMMAND | (on ? MF_UNCHECKED : MF_CHECKED));
}

// "%f" of a reading with "." as the decimal point, whatever locale the process runs in.
void Reading(char* field, size_t size, float value) {
    snprintf(field, size, "%f", static_cast<double>(value));
    for (char* c = field; *c != '\0'; ++c) {
        if (*c == ',') *c = '.';
    }
}

// A write that fails (a full disk, a stick pulled out) ends the log once, with a
// message, and keeps every line that reached the file before it.
void LogWriteFailed(HWND hwnd) {
    loggingOn = 0;
    CheckLoggingItems(hwnd, false);
    _fcloseall();
    char text[512];
    char caption[128];
    LoadShownTextA(appInstance, kTextLogWriteFailed, text, sizeof text);
    LoadShownTextA(appInstance, kTextFileError, caption, sizeof caption);
    MessageBoxA(hwnd, text, caption, MB_OK | MB_ICONINFORMATION);
}

// An older log is kept, never overwritten: a file that has lines is first renamed
// after the local time of its last change, "engine details 2026-12-08 143005.csv", with
// " (2)", " (3)", ... when that name is taken. An empty file is simply reused, and a
// folder in the log's place is left for the open to refuse. False when the older log
// is there still and must not be overwritten.
bool KeepOlderLog() {
    WIN32_FILE_ATTRIBUTE_DATA info;
    if (!GetFileAttributesExA(logName, GetFileExInfoStandard, &info)) return true;
    if ((info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0) return true;
    if (info.nFileSizeHigh == 0 && info.nFileSizeLow == 0) return true;

    // The local time of that moment, with the summer time of that moment: a winter log
    // keeps its winter hour when it is renamed in summer.
    SYSTEMTIME utc;
    SYSTEMTIME t;
    if (!FileTimeToSystemTime(&info.ftLastWriteTime, &utc) ||
        !SystemTimeToTzSpecificLocalTime(nullptr, &utc, &t)) {
        return false;
    }
    char stem[64];
    snprintf(stem, sizeof stem, "engine details %04u-%02u-%02u %02u%02u%02u", t.wYear, t.wMonth,
             t.wDay, t.wHour, t.wMinute, t.wSecond);
    char olderName[80];
    for (int copy = 1; copy <= 999; ++copy) {
        if (copy == 1) {
            snprintf(olderName, sizeof olderName, "%s.csv", stem);
        } else {
            snprintf(olderName, sizeof olderName, "%s (%d).csv", stem, copy);
        }
        if (MoveFileA(logName, olderName)) return true;
        DWORD error = GetLastError();
        if (error != ERROR_ALREADY_EXISTS && error != ERROR_FILE_EXISTS) return false;
    }
    return false;
}

// The box of a log that cannot be opened: after the program's own words, why, with what
// to do: the file another program holds, the folder the user may not write in, or the
// system's words for the error.
void TellLogOpenFailed(HWND hwnd, DWORD error) {
    char text[512];
    char format[512];
    char reason[1024];
    WIN32_FILE_ATTRIBUTE_DATA info;
    if (error == ERROR_SHARING_VIOLATION || error == ERROR_LOCK_VIOLATION) {
        LoadShownTextA(appInstance, kTextLogHeld, format, sizeof format);
        snprintf(reason, sizeof reason, format, logName);
    } else if ((error == ERROR_ACCESS_DENIED || error == ERROR_WRITE_PROTECT) &&
               !GetFileAttributesExA(logName, GetFileExInfoStandard, &info)) {
        // No file of that name stands in the way: the folder refuses a new one.
        char folder[512] = ".";
        DWORD length = GetCurrentDirectoryA(sizeof folder, folder);
        if (length == 0 || length >= sizeof folder) snprintf(folder, sizeof folder, ".");
        LoadShownTextA(appInstance, kTextLogFolder, format, sizeof format);
        snprintf(reason, sizeof reason, format, folder);
    } else {
        char* words = nullptr;
        FormatMessageA(FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM, nullptr, error,
                       MAKELANGID(LANG_NEUTRAL, SUBLANG_DEFAULT), reinterpret_cast<LPSTR>(&words),
                       0, nullptr);
        char system[256] = "";
        snprintf(system, sizeof system, "%s", words != nullptr ? words : "");
        if (words != nullptr) LocalFree(words);
        for (size_t n = strlen(system); n > 0 && (system[n - 1] == '\n' || system[n - 1] == '\r');)
            system[--n] = '\0';
        if (system[0] == '\0')
            LoadShownTextA(appInstance, kTextUnknownError, system, sizeof system);
        LoadShownTextA(appInstance, kTextLogCannotBe, format, sizeof format);
        snprintf(reason, sizeof reason, format, logName, system);
    }
    LoadShownTextA(appInstance, kTextLogOpenFailed, text, sizeof text);
    char box[1600];
    snprintf(box, sizeof box, "%s\n\n%s", text, reason);
    char caption[128];
    LoadShownTextA(appInstance, kTextFileError, caption, sizeof caption);
    MessageBoxA(hwnd, box, caption, MB_OK | MB_ICONINFORMATION);
}

} // namespace

void StartLogging(HWND hwnd) {
    if (loggingOn != 0) return;
    // Binary, so that the line ends are the CR LF written here on every platform;
    // others may read the file while it is open. An older log that cannot be kept is
    // not overwritten either: the log then fails as an open that fails.
    logFile = KeepOlderLog() ? _fsopen(logName, "wb", _SH_DENYNO) : nullptr;
    if (logFile == nullptr) {
        TellLogOpenFailed(hwnd, GetLastError());
        CheckLoggingItems(hwnd, false);
        loggingOn = 0;
        return;
    }
    bool written = fputs(header, logFile) >= 0 && fflush(logFile) == 0;
    CheckLoggingItems(hwnd, true);
    loggingOn = 1;
    if (!written) LogWriteFailed(hwnd);
}

void StopLogging(HWND hwnd) {
    if (loggingOn == 0) return;
    CheckLoggingItems(hwnd, false);
    loggingOn = 0;
    _fcloseall();
}

void WriteLogLine() {
    if (loggingOn == 0) return;
    int vae = vaeGauge.Percent();
    int pressure = pressureGauge.Percent();
    int volts = voltsGauge.Percent();
    int advance = advanceGauge.Percent();
    int injTiming = injTimingGauge.Percent();
    int throttle = throttleGauge.Percent();
    int air = airGauge.Percent();
    int water = waterGauge.Percent();
    int revs = revsGauge.Percent();

    char fields[9][48];
    for (int i = 0; i < 9; ++i)
        Reading(fields[i], sizeof fields[i], EngineReadings.*kLoggedReadings[i].value);

    char line[600];
    snprintf(line, sizeof line,
             "%s, %s, %s, %s, %s, %s, %s, %s, %s, %d, %d, %d, , %d, %d, %d, %d, %d, %d, %d, %d, "
             "%d\r\n",
             fields[0], fields[1], fields[2], fields[3], fields[4], fields[5], fields[6], fields[7],
             fields[8], EcuRegisters.faultFlags1, EcuRegisters.faultFlags2,
             EcuRegisters.faultFlags3, revs, water, air, throttle, injTiming, advance, volts,
             pressure, vae);
    // Each line is pushed to the file at once: a crash or a power cut loses none.
    if (fputs(line, logFile) < 0 || fflush(logFile) != 0) LogWriteFailed(mainWindow);
}
