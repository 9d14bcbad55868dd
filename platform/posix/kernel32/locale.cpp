// The user's locale, as far as the program asks for it: the decimal separator numbers on
// screen are written with, from LC_ALL, else LC_NUMERIC, else LANG.
#include "platform/posix/layer.h"

#include <cstdlib>
#include <cstring>
#include <string>

namespace {

// Languages that write a decimal comma (ISO 639 codes); the others, and "C", a point.
const char* const kDecimalComma[] = {"bg", "ca", "cs", "da", "de", "el", "es", "et", "eu",
                                     "fi", "fr", "gl", "hr", "hu", "id", "is", "it", "lt",
                                     "lv", "nb", "nl", "nn", "no", "pl", "pt", "ro", "ru",
                                     "sk", "sl", "sr", "sv", "tr", "uk", "vi"};

std::string NumericLocale() {
    for (const char* name : {"LC_ALL", "LC_NUMERIC", "LANG"}) {
        const char* v = std::getenv(name);
        if (v != nullptr && *v != '\0') return v;
    }
    return "";
}

} // namespace

int GetLocaleInfoA(LCID locale, LCTYPE type, LPSTR data, int size) {
    W32_REQUIRE(locale == LOCALE_USER_DEFAULT && type == LOCALE_SDECIMAL,
                "locale facts other than the user's decimal separator", 0);
    std::string name = NumericLocale();
    std::string code = name.substr(0, name.find_first_of("_.@"));
    const char* separator = ".";
    for (const char* c : kDecimalComma) {
        if (code == c) separator = ",";
    }
    int needed = static_cast<int>(std::strlen(separator)) + 1;
    if (size == 0) return needed;
    if (data == nullptr || size < needed) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(data, separator, static_cast<size_t>(needed));
    return needed;
}
