#include "app/state.h"
#include "ecu/ecu.h"

uint8_t ExchangeByte(uint8_t address, uint8_t fallback) {
    PurgeComm(portHandle, PURGE_RXABORT | PURGE_RXCLEAR);

    // The activity lamp, lit for the length of the exchange.
    HDC dc = GetDC(mainWindow);
    HGDIOBJ kept = SelectObject(dc, redBrush);
    RoundRect(dc, 1, 1, 15, 15, 15, 15);

    Answer a = RequestAnswer(portHandle, address);
    bytesRead = a.answerBytes;
    uint8_t ci = bytesRead == 0 ? fallback : a.value;

    SelectObject(dc, GetStockObject(BLACK_BRUSH));
    RoundRect(dc, 1, 1, 15, 15, 15, 15);
    SelectObject(dc, kept);
    ReleaseDC(mainWindow, dc);
    return ci;
}

void ConvertReadings() { ConvertRegisters(EcuRegisters, &EngineReadings); }

// Each register passes its current byte as the fallback, so one that does not answer
// keeps its last value.
void PollEcu() {
    for (int i = 0; i < kRegisterCount; ++i)
        SetRegisterByte(EcuRegisters, i,
                        ExchangeByte(kEcuRegisters[i].address, RegisterByte(EcuRegisters, i)));
    ConvertReadings();
}
