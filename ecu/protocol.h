// The ECU's protocol, shared by the dashboard and the tools beside it: the line's
// rates and timing, the registers the poll reads, one request and its answer, and the
// conversions from register bytes to readings.
#pragma once

#include "app/state.h"
#include "platform/win32.h"

#include <stdint.h>

// The ECU's line: woken with three bytes at 1200 baud, one per 120 ms tick; then every
// 500 ms one-byte requests and answers at 7680 baud, each read waiting at most 500 ms.
const uint32_t kWakeBaud = 1200;
const uint32_t kDataBaud = 7680;
const uint8_t kWakeBytes[3] = {0x0F, 0xAA, 0xCC};
const UINT kWakeTickMs = 120;
const UINT kPollTickMs = 500;
const DWORD kReadTimeoutMs = 500;
const DWORD kEchoPauseMs = 10;
// While the ECU does not answer, the program wakes it again and again: once a poll has
// seen two signs that the ECU sleeps (below) it stops, and the wake-up starts at once; a
// port that cannot be opened meanwhile is tried again every half second. After a
// wake-up the program started by itself, the first poll comes on the next tick of the
// wake-up, not 500 ms later, so that an ECU switched on again is read within 3 s.
const int kSilentExchangesToStop = 2;
const UINT kReopenTickMs = 500;
// Real ECUs are not ideal: one may let the first request after a wake-up go by, and some
// never answer a register or two (up to this many side by side are told from sleep).
const int kMostSilentRegistersInARow = 3;
// An awake ECU answers within milliseconds: where a longer wait would tell nothing (a
// register the ECU lacks, a request after an unanswered one, a register that has never
// answered once the ECU has answered in the poll) the answer is waited for briefly, at
// least this long and four times the slowest answer yet, so that a sleeping ECU is told
// sooner and one that lacks registers is read as often as another, while a slow lead or
// machine is still heard, and so is a register that another car on the lead does have.
const DWORD kBriefWaitMs = 100;

// The seventeen registers in the order the poll reads them.
struct EcuRegister {
    uint8_t address;
    const char* name;
};
const int kRegisterCount = 17;
extern const EcuRegister kEcuRegisters[kRegisterCount];
// The byte of register i (of kEcuRegisters) in the mirror, and its setting.
uint8_t RegisterByte(const EcuRegisterMirror& r, int i);
void SetRegisterByte(EcuRegisterMirror& r, int i, uint8_t value);
// The nine readings from the register bytes, each computed in double precision and
// rounded once to float.
void ConvertRegisters(const EcuRegisterMirror& r, EngineValues* v);
// The register bytes that give these readings: the conversions turned round and rounded.
void RegistersFromReadings(const EngineValues& v, EcuRegisterMirror* r);

// The line settings that OpenPort writes: the rate, 8 data bits, no parity, one stop
// bit, no flow control, DTR and RTS off; every other field as the port reported it.
void SetEcuLine(DCB* dcb, uint32_t baud);

// One request and its answer on an open port, after its receive side was purged: the
// address goes out, 10 ms pass, one byte is read as the echo and one as the answer.
// When the echo's read found nothing and stopWaiting (if given) says so, the answer is
// not waited for: nothing came back at all, and someone waits for the caller.
struct Answer {
    DWORD echoBytes;   // what the first read returned
    DWORD answerBytes; // what the second read returned
    uint8_t value;     // the last byte read: the answer when answerBytes is 1
    bool failed;       // the write or a read failed: the port's device has gone
};
Answer RequestAnswer(HANDLE port, uint8_t address, bool (*stopWaiting)() = nullptr);
