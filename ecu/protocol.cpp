#include "ecu/protocol.h"

const EcuRegister kEcuRegisters[kRegisterCount] = {
    {1, "speed period, high byte"},
    {2, "speed period, low byte"},
    {3, "injector period, high byte"},
    {4, "injector period, low byte"},
    {5, "ignition advance"},
    {6, "manifold pressure"},
    {7, "air temperature"},
    {8, "water temperature"},
    {9, "throttle position"},
    {10, "battery voltage"},
    {12, "VAE"},
    {16, "faults present 1"},
    {17, "faults present 2"},
    {18, "faults present 3"},
    {43, "fault kinds 1"},
    {44, "fault kinds 2"},
    {45, "fault kinds 3"},
};

namespace {

uint8_t High(uint16_t v) { return static_cast<uint8_t>(v >> 8); }
uint8_t Low(uint16_t v) { return static_cast<uint8_t>(v & 0xFF); }
uint16_t Word(uint8_t high, uint8_t low) { return static_cast<uint16_t>(high * 256 + low); }

// The mirror's byte fields after the two periods, in the poll's order.
uint8_t EcuRegisterMirror::*const byteFields[kRegisterCount - 4] = {
    &EcuRegisterMirror::advanceRaw,  &EcuRegisterMirror::pressureRaw,
    &EcuRegisterMirror::airTempRaw,  &EcuRegisterMirror::waterTempRaw,
    &EcuRegisterMirror::throttleRaw, &EcuRegisterMirror::batteryRaw,
    &EcuRegisterMirror::vaeRaw,      &EcuRegisterMirror::faultFlags1,
    &EcuRegisterMirror::faultFlags2, &EcuRegisterMirror::faultFlags3,
    &EcuRegisterMirror::faultType1,  &EcuRegisterMirror::faultType2,
    &EcuRegisterMirror::faultType3};

} // namespace

uint8_t RegisterByte(const EcuRegisterMirror& r, int i) {
    switch (i) {
    case 0:
        return High(r.speedPeriod);
    case 1:
        return Low(r.speedPeriod);
    case 2:
        return High(r.injectorPeriod);
    case 3:
        return Low(r.injectorPeriod);
    default:
        return r.*byteFields[i - 4];
    }
}

void SetRegisterByte(EcuRegisterMirror& r, int i, uint8_t value) {
    switch (i) {
    case 0:
        r.speedPeriod = Word(value, Low(r.speedPeriod));
        break;
    case 1:
        r.speedPeriod = Word(High(r.speedPeriod), value);
        break;
    case 2:
        r.injectorPeriod = Word(value, Low(r.injectorPeriod));
        break;
    case 3:
        r.injectorPeriod = Word(High(r.injectorPeriod), value);
        break;
    default:
        r.*byteFields[i - 4] = value;
        break;
    }
}

Answer RequestAnswer(HANDLE port, uint8_t address) {
    Answer a = {0, 0, 0};
    DWORD written = 0;
    WriteFile(port, &address, 1, &written, nullptr);
    SleepEx(kEchoPauseMs, FALSE);
    ReadFile(port, &a.value, 1, &a.echoBytes, nullptr);   // the echo of the request
    ReadFile(port, &a.value, 1, &a.answerBytes, nullptr); // the answer
    return a;
}

void ConvertRegisters(const EcuRegisterMirror& r, EngineValues* v) {
    v->engineSpeed = static_cast<float>(r.speedPeriod == 0 ? 0.0 : 15000000.0 / r.speedPeriod);
    v->injectorTime = static_cast<float>((r.injectorPeriod * 2) / 1000.0);
    v->sparkAdvance = static_cast<float>(r.advanceRaw / 2.0);
    v->manifoldPressure = static_cast<float>(r.pressureRaw * 4.0);
    v->airTemp = static_cast<float>(r.airTempRaw - 40.0);
    v->waterTemp = static_cast<float>(r.waterTempRaw - 40.0);
    v->throttleAngle = static_cast<float>(r.throttleRaw * 0.4234 - 2.9638);
    v->batteryVolts = static_cast<float>(r.batteryRaw * 0.0625);
    v->vaeValue = static_cast<float>(r.vaeRaw);
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
