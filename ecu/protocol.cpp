#include "ecu/protocol.h"

Answer RequestAnswer(HANDLE port, uint8_t address, bool (*stopWaiting)()) {
    Answer a = {0, 0, 0, false};
    DWORD written = 0;
    bool sent = WriteFile(port, &address, 1, &written, nullptr) != FALSE;
    SleepEx(kEchoPauseMs, FALSE);
    bool echo = ReadFile(port, &a.value, 1, &a.echoBytes, nullptr) != FALSE; // the request's
    if (echo && a.echoBytes == 0 && stopWaiting != nullptr && stopWaiting()) {
        a.failed = !sent;
        return a;
    }
    bool answer = ReadFile(port, &a.value, 1, &a.answerBytes, nullptr) != FALSE;
    a.failed = !sent || !echo || !answer;
    return a;
}

void SetEcuLine(DCB* dcb, uint32_t baud) {
    dcb->BaudRate = baud;
    dcb->fBinary = 1;
    dcb->fParity = 0;
    dcb->fOutxCtsFlow = 0;
    dcb->fOutxDsrFlow = 0;
    dcb->fDtrControl = DTR_CONTROL_DISABLE;
    dcb->fDsrSensitivity = 0;
    dcb->fTXContinueOnXoff = 1;
    dcb->fOutX = 0;
    dcb->fInX = 0;
    dcb->fErrorChar = 0;
    dcb->fNull = 0;
    dcb->fRtsControl = RTS_CONTROL_DISABLE;
    dcb->fAbortOnError = 0;
    dcb->ByteSize = 8;
    dcb->Parity = NOPARITY;
    dcb->StopBits = ONESTOPBIT;
}
