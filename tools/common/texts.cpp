#include "tools/common/texts.h"

#include "app/texts.h"
#include "platform/texts.h"
#include "platform/win32.h"

namespace texts {

namespace {

int EntryOf(const FaultEntry& e) { return static_cast<int>(&e - kFaultEntries); }

} // namespace

std::string Text(unsigned id) {
    char buffer[2048];
    int n = LoadShownTextA(GetModuleHandleA(nullptr), id, buffer, sizeof buffer);
    return n > 0 ? std::string(buffer, static_cast<size_t>(n)) : std::string();
}

std::string Utf8Text(unsigned id) { return platform::Utf8Text(GetModuleHandleA(nullptr), id); }

unsigned GaugeNameOf(int reading) {
    // In the order of the log's columns.
    const UINT names[9] = {kTextRevs,    kTextWater, kTextAir,      kTextThrottle, kTextInjector,
                           kTextAdvance, kTextVolts, kTextPressure, kTextVae};
    return names[reading];
}

unsigned UnitsOf(int reading) {
    const UINT units[9] = {kTextRpm,      kTextCelsius,      kTextCelsius,
                           kTextDegrees,  kTextMilliseconds, kTextDegrees,
                           kTextVoltUnit, kTextMillibar,     kTextPercent};
    return units[reading];
}

std::string FaultText(const FaultEntry& e, const uint8_t flags[3], const uint8_t kinds[3]) {
    return Text(kTextFaults[EntryOf(e)][FaultTextKind(e, flags, kinds)]);
}

std::string FaultName(int entry) { return Text(kTextFaults[entry][0]); }

std::string Utf8FaultName(int entry) { return Utf8Text(kTextFaults[entry][0]); }

std::string WithDecimalSeparator(std::string number) {
    char separator[4] = ".";
    if (GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, separator, sizeof separator) == 0 ||
        separator[0] == '\0' || separator[1] != '\0') {
        return number;
    }
    size_t point = number.find('.');
    if (point != std::string::npos) number[point] = separator[0];
    return number;
}

size_t Letters(const std::string& text) {
    size_t letters = 0;
    size_t follow = 0;
    bool utf8 = true;
    for (char c : text) {
        const auto b = static_cast<unsigned char>(c);
        if (follow > 0) {
            utf8 = utf8 && (b & 0xC0) == 0x80;
            --follow;
            continue;
        }
        ++letters;
        follow = b >= 0xF0 ? 3 : b >= 0xE0 ? 2 : b >= 0xC0 ? 1 : 0;
        utf8 = utf8 && (b < 0x80 || b >= 0xC0);
    }
    return utf8 && follow == 0 ? letters : text.size();
}

std::string Padded(const std::string& text, size_t width) {
    const size_t letters = Letters(text);
    return letters < width ? text + std::string(width - letters, ' ') : text;
}

} // namespace texts
