#include "app/state.h"
#include "ecu/ecu.h"

namespace {
// A key or a click is waiting for the window.
bool UserIsWaiting() { return HIWORD(GetQueueStatus(QS_KEY | QS_MOUSEBUTTON)) != 0; }
} // namespace

uint8_t ExchangeByte(uint8_t address, uint8_t fallback) {
    PurgeComm(portHandle, PURGE_RXABORT | PURGE_RXCLEAR);

    // The activity lamp, lit for the length of the exchange.
    HDC dc = GetDC(mainWindow);
    HGDIOBJ kept = SelectObject(dc, redBrush);
    RoundRect(dc, 1, 1, 15, 15, 15, 15);

    // A lead that does not echo makes each read wait out its time-out: when nothing came
    // back for the echo and a key or a click is waiting, the answer is not waited for.
    Answer a = RequestAnswer(portHandle, address, UserIsWaiting);
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

// Each register passes its current byte as the fallback, so one that does not answer
// keeps its last value. An unanswered exchange waits out the read time-out, so the poll
// is left once the ECU seems asleep: two unanswered exchanges in a row, counting only
// registers that have answered before on this port once another answered in this poll
// (so that an ECU that lets the first request after a wake-up go by, or that never
// answers one register, or two side by side, is still read whole); also once the line
// fails, and after an unanswered exchange when the user has pressed a key or a button:
// the window answers within one exchange. The bytes are taken into EcuRegisters and
// converted only when all seventeen were exchanged: a poll left part-way holds a mix of
// old and new bytes and is not shown.
int PollEcu() {
    EcuRegisterMirror polled = EcuRegisters;
    int answered = 0;
    int exchanged = 0;
    int asleepSigns = 0;
    silentExchanges = 0;
    lineFailed = 0;
    for (int i = 0; i < kRegisterCount; ++i) {
        SetRegisterByte(polled, i, ExchangeByte(kEcuRegisters[i].address, RegisterByte(polled, i)));
        ++exchanged;
        const uint32_t bit = uint32_t{1} << i;
        if (silentExchanges == 0) {
            ++answered;
            answeringRegisters |= bit;
            asleepSigns = 0;
            continue;
        }
        if (lineFailed != 0) break;
        if (answered == 0 || (answeringRegisters & bit) != 0) ++asleepSigns;
        if (asleepSigns >= kSilentExchangesToStop || UserIsWaiting()) break;
    }
    pollComplete = exchanged == kRegisterCount && lineFailed == 0 ? 1 : 0;
    if (pollComplete != 0) {
        EcuRegisters = polled;
        ConvertReadings();
    }
    return answered;
}
