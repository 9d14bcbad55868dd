// The ECU's registers and the conversions between their bytes and the readings: plain
// arithmetic, shared by the dashboard, its tools and the simulated ECU.
#include "ecu/protocol.h"

#include <math.h>

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

namespace {

uint8_t ToByte(double v) {
    double r = floor(v + 0.5);
    return static_cast<uint8_t>(r < 0 ? 0 : r > 255 ? 255 : r);
}

uint16_t ToWord(double v) {
    double r = floor(v + 0.5);
    return static_cast<uint16_t>(r < 0 ? 0 : r > 65535 ? 65535 : r);
}

} // namespace

// The conversions turned round, each rounded to the nearest byte (or word) the ECU can
// send; the fault bytes are not readings and are left as they are.
void RegistersFromReadings(const EngineValues& v, EcuRegisterMirror* r) {
    // A speed nearer 0 than the slowest a period gives (about 229 rpm) is the engine
    // stopped, period 0.
    const double slowest = 15000000.0 / 65535;
    r->speedPeriod = v.engineSpeed >= slowest / 2 ? ToWord(15000000.0 / v.engineSpeed) : 0;
    r->injectorPeriod = ToWord(v.injectorTime * 1000.0 / 2);
    r->advanceRaw = ToByte(v.sparkAdvance * 2.0);
    r->pressureRaw = ToByte(v.manifoldPressure / 4.0);
    r->airTempRaw = ToByte(v.airTemp + 40.0);
    r->waterTempRaw = ToByte(v.waterTemp + 40.0);
    r->throttleRaw = ToByte((v.throttleAngle + 2.9638) / 0.4234);
    r->batteryRaw = ToByte(v.batteryVolts / 0.0625);
    r->vaeRaw = ToByte(v.vaeValue);
}
