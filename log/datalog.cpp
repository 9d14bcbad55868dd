#include "log/datalog.h"

#include "app/state.h"
#include "dashboard/dashboard.h"

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
    MessageBoxA(hwnd, "Unable to write the log file...\nlogging has been switched off",
                "File Error", MB_OK | MB_ICONINFORMATION);
}

} // namespace

void StartLogging(HWND hwnd) {
    if (loggingOn != 0) return;
    // Binary, so that the line ends are the CR LF written here on every platform;
    // others may read the file while it is open.
    logFile = _fsopen(logName, "wb", _SH_DENYNO);
    if (logFile == nullptr) {
        MessageBoxA(hwnd, "Unable to open the log file...\nno data will be logged", "File Error",
                    MB_OK | MB_ICONINFORMATION);
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

    const float readings[9] = {
        EngineReadings.engineSpeed,   EngineReadings.waterTemp,        EngineReadings.airTemp,
        EngineReadings.throttleAngle, EngineReadings.injectorTime,     EngineReadings.sparkAdvance,
        EngineReadings.batteryVolts,  EngineReadings.manifoldPressure, EngineReadings.vaeValue};
    char fields[9][48];
    for (int i = 0; i < 9; ++i)
        Reading(fields[i], sizeof fields[i], readings[i]);

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
