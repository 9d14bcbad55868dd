#include "app/state.h"
#include "ecu/ecu.h"

uint8_t ExchangeByte(uint8_t address, uint8_t fallback) {
    uint8_t ci = 0;
    PurgeComm(portHandle, PURGE_RXABORT | PURGE_RXCLEAR);

    // The activity lamp, lit for the length of the exchange.
    HDC dc = GetDC(mainWindow);
    HGDIOBJ kept = SelectObject(dc, redBrush);
    RoundRect(dc, 1, 1, 15, 15, 15, 15);

    DWORD written = 0;
    WriteFile(portHandle, &address, 1, &written, nullptr);
    SleepEx(10, FALSE);
    bytesRead = 0;
    ReadFile(portHandle, &ci, 1, &bytesRead, nullptr); // the echo of the request
    bytesRead = 0;
    ReadFile(portHandle, &ci, 1, &bytesRead, nullptr); // the answer
    if (bytesRead == 0) ci = fallback;

    SelectObject(dc, GetStockObject(BLACK_BRUSH));
    RoundRect(dc, 1, 1, 15, 15, 15, 15);
    SelectObject(dc, kept);
    ReleaseDC(mainWindow, dc);
    return ci;
}

namespace {

// Each register passes its current byte as the fallback, so one that does not answer
// keeps its last value.
uint8_t Exchange(uint8_t address, uint8_t current) { return ExchangeByte(address, current); }

uint8_t High(uint16_t v) { return static_cast<uint8_t>(v >> 8); }
uint8_t Low(uint16_t v) { return static_cast<uint8_t>(v & 0xFF); }
uint16_t Word(uint8_t high, uint8_t low) { return static_cast<uint16_t>(high * 256 + low); }

} // namespace

void ConvertReadings() {
    const EcuRegisterMirror& r = EcuRegisters;
    EngineReadings.engineSpeed =
        static_cast<float>(r.speedPeriod == 0 ? 0.0 : 15000000.0 / r.speedPeriod);
    EngineReadings.injectorTime = static_cast<float>((r.injectorPeriod * 2) / 1000.0);
    EngineReadings.sparkAdvance = static_cast<float>(r.advanceRaw / 2.0);
    EngineReadings.manifoldPressure = static_cast<float>(r.pressureRaw * 4.0);
    EngineReadings.airTemp = static_cast<float>(r.airTempRaw - 40.0);
    EngineReadings.waterTemp = static_cast<float>(r.waterTempRaw - 40.0);
    EngineReadings.throttleAngle = static_cast<float>(r.throttleRaw * 0.4234 - 2.9638);
    EngineReadings.batteryVolts = static_cast<float>(r.batteryRaw * 0.0625);
    EngineReadings.vaeValue = static_cast<float>(r.vaeRaw);
}

void PollEcu() {
    EcuRegisterMirror& r = EcuRegisters;
    uint8_t high = Exchange(1, High(r.speedPeriod));
    r.speedPeriod = Word(high, Low(r.speedPeriod));
    uint8_t low = Exchange(2, Low(r.speedPeriod));
    r.speedPeriod = Word(High(r.speedPeriod), low);
    high = Exchange(3, High(r.injectorPeriod));
    r.injectorPeriod = Word(high, Low(r.injectorPeriod));
    low = Exchange(4, Low(r.injectorPeriod));
    r.injectorPeriod = Word(High(r.injectorPeriod), low);
    r.advanceRaw = Exchange(5, r.advanceRaw);
    r.pressureRaw = Exchange(6, r.pressureRaw);
    r.airTempRaw = Exchange(7, r.airTempRaw);
    r.waterTempRaw = Exchange(8, r.waterTempRaw);
    r.throttleRaw = Exchange(9, r.throttleRaw);
    r.batteryRaw = Exchange(10, r.batteryRaw);
    r.vaeRaw = Exchange(12, r.vaeRaw);
    r.faultFlags1 = Exchange(16, r.faultFlags1);
    r.faultFlags2 = Exchange(17, r.faultFlags2);
    r.faultFlags3 = Exchange(18, r.faultFlags3);
    r.faultType1 = Exchange(43, r.faultType1);
    r.faultType2 = Exchange(44, r.faultType2);
    r.faultType3 = Exchange(45, r.faultType3);
    ConvertReadings();
}
