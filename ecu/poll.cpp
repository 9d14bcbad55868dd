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
    silentExchanges = bytesRead == 0 ? silentExchanges + 1 : 0;
    if (a.failed) lineFailed = 1;

    SelectObject(dc, GetStockObject(BLACK_BRUSH));
    RoundRect(dc, 1, 1, 15, 15, 15, 15);
    SelectObject(dc, kept);
    ReleaseDC(mainWindow, dc);
    return ci;
}

void ConvertReadings() { ConvertRegisters(EcuRegisters, &EngineReadings); }

namespace {
// A key or a click is waiting for the window.
bool UserIsWaiting() { return HIWORD(GetQueueStatus(QS_KEY | QS_MOUSEBUTTON)) != 0; }
} // namespace

int SilentExchangesToStop() { return rewaking != 0 ? 1 : kSilentExchangesToStop; }

// Each register passes its current byte as the fallback, so one that does not answer
// keeps its last value. An unanswered exchange waits out the read time-out, so the poll
// is left once two in a row went unanswered (the ECU sleeps; one silent register alone
// does not stop the others) or, right after a wake-up the program tried by itself, once
// the first went unanswered; also once the line fails, and after an unanswered exchange
// when the user has pressed a key or a button: the window answers within one exchange.
int PollEcu() {
    int answered = 0;
    silentExchanges = 0;
    lineFailed = 0;
    for (int i = 0; i < kRegisterCount; ++i) {
        SetRegisterByte(EcuRegisters, i,
                        ExchangeByte(kEcuRegisters[i].address, RegisterByte(EcuRegisters, i)));
        if (silentExchanges == 0) {
            ++answered;
            continue;
        }
        if (lineFailed != 0 || silentExchanges >= SilentExchangesToStop() || UserIsWaiting()) break;
    }
    ConvertReadings();
    return answered;
}
