#include "app/mainwnd.h"
#include "app/state.h"
#include "ecu/ecu.h"

namespace {
// A key or a click is waiting for the window.
bool UserIsWaiting() { return HIWORD(GetQueueStatus(QS_KEY | QS_MOUSEBUTTON)) != 0; }

// How long the slowest answer on any port took, from the request on: what the lead, the
// driver and the machine add to the ECU's few milliseconds.
DWORD slowestAnswerMs = 0;

// The exchange of register i (of the poll's order). Its answer is waited for briefly
// (brief), not for the port's whole read time-out, where waiting longer would tell
// nothing: the register is one the ECU lacks, the request before it went unanswered, or
// the ECU has answered in this poll (it is awake) and this register has never answered.
// Brief is four times the slowest answer yet, and never less than 100 ms.
uint8_t ExchangeRegister(int i, uint8_t fallback, bool brief) {
    brief = brief || (silentRegisters & (uint32_t{1} << i)) != 0;
    if (brief) {
        COMMTIMEOUTS t = portTimeouts;
        DWORD wait = slowestAnswerMs * 4 > kBriefWaitMs ? slowestAnswerMs * 4 : kBriefWaitMs;
        t.ReadTotalTimeoutConstant = wait < kReadTimeoutMs ? wait : kReadTimeoutMs;
        SetCommTimeouts(portHandle, &t);
    }
    const DWORD started = GetTickCount();
    uint8_t value = ExchangeByte(kEcuRegisters[i].address, fallback);
    const DWORD took = GetTickCount() - started;
    if (bytesRead != 0 && took > slowestAnswerMs) slowestAnswerMs = took;
    if (brief) SetCommTimeouts(portHandle, &portTimeouts);
    return value;
}

// What the unanswered exchanges of a poll say of the ECU: two signs that it sleeps, with
// no answer between them, end the poll. A sign is a register that answers on this port
// left unanswered, or nothing coming back at all, not even the lead's echo; a register the
// ECU lacks says nothing, and one not known either way nothing until more of them in a row
// go unanswered than an awake ECU leaves. An ECU that lets the first request after a
// wake-up go by gives one sign, which its next answer clears.
struct Silences {
    int signs = 0;
    int unknownInARow = 0;

    void Answered() { *this = Silences(); }
    void Unanswered(uint32_t bit, bool nothingBack) {
        if (!nothingBack && (silentRegisters & bit) != 0) return;
        const bool known = (answeringRegisters & bit) != 0;
        if (nothingBack || known || ++unknownInARow > kMostSilentRegistersInARow) ++signs;
    }
    bool Asleep() const { return signs >= kSilentExchangesToStop; }
};

// What a whole poll that got answers teaches: a register left unanswered in two such polls
// is one the ECU lacks. (One that answers later, as the first request after a wake-up an
// ECU let go by, is taken back at its first answer.)
void Learn(uint32_t unanswered) {
    const uint32_t neverAnswered = unanswered & ~answeringRegisters;
    silentRegisters |= neverAnswered & unansweredOnce;
    unansweredOnce |= neverAnswered;
}

// The title says at once that nothing answers, while the poll goes on: more registers
// in a row may go unanswered before one answers than the title waits for.
void TellNoAnswerYet() {
    if (ecuLink != kEcuAnswers) return;
    ecuLink = kEcuSilent;
    ShowEcuLink(mainWindow);
}
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
    echoBytesRead = a.echoBytes;
    uint8_t ci = bytesRead == 0 ? fallback : a.value;
    if (a.failed) lineFailed = 1;

    SelectObject(dc, GetStockObject(BLACK_BRUSH));
    RoundRect(dc, 1, 1, 15, 15, 15, 15);
    SelectObject(dc, kept);
    ReleaseDC(mainWindow, dc);
    return ci;
}

void ConvertReadings() { ConvertRegisters(EcuRegisters, &EngineReadings); }

void ForgetEcu() {
    answeringRegisters = 0;
    unansweredOnce = 0;
    silentRegisters = 0;
}

// Each register passes its current byte as the fallback, so one that does not answer
// keeps its last value. An unanswered exchange waits out the read time-out, so the poll
// is left once the ECU seems asleep (two signs of it, above), once the line fails, and
// after an unanswered exchange when the user has pressed a key or a button: the window
// answers within one exchange. The bytes are taken into EcuRegisters and converted only
// when all seventeen were exchanged and some answered: a poll left part-way holds a mix
// of old and new bytes and is not shown.
int PollEcu() {
    EcuRegisterMirror polled = EcuRegisters;
    Silences silences;
    uint32_t unanswered = 0;
    int answered = 0;
    int exchanged = 0;
    int silentInARow = 0;
    int missed = 0; // before the poll's first answer: registers not known to be lacking
    lineFailed = 0;
    ecuAsleep = 0;
    for (int i = 0; i < kRegisterCount; ++i) {
        const uint32_t bit = uint32_t{1} << i;
        const bool brief = silentInARow > 0 || (answered > 0 && (answeringRegisters & bit) == 0);
        SetRegisterByte(polled, i, ExchangeRegister(i, RegisterByte(polled, i), brief));
        ++exchanged;
        if (bytesRead != 0) {
            ++answered;
            answeringRegisters |= bit;
            unansweredOnce &= ~bit;
            silentRegisters &= ~bit;
            silences.Answered();
            silentInARow = 0;
            continue;
        }
        if (lineFailed != 0) break;
        unanswered |= bit;
        silences.Unanswered(bit, echoBytesRead == 0);
        ++silentInARow;
        // A register the ECU lacks is no sign that nothing answers: the title waits for
        // two others.
        if ((silentRegisters & bit) == 0) ++missed;
        if (answered == 0 && missed == kSilentExchangesToStop) TellNoAnswerYet();
        if (i + 1 < kRegisterCount && (silences.Asleep() || UserIsWaiting())) break;
    }
    pollComplete = exchanged == kRegisterCount && lineFailed == 0 && answered > 0 ? 1 : 0;
    // (A poll with no answer at all has found two signs before its end.)
    ecuAsleep = pollComplete == 0 && lineFailed == 0 && silences.Asleep() ? 1 : 0;
    if (pollComplete != 0) {
        Learn(unanswered);
        EcuRegisters = polled;
        ConvertReadings();
    }
    return answered;
}
