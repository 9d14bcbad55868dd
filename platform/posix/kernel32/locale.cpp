// The user's locale, as far as the programs ask for it: the decimal separator numbers on
// screen are written with, the LC_NUMERIC locale's own (LC_ALL, else LC_NUMERIC, else
// LANG), as the C library has it, or for a locale not installed here what its language and
// country write; and the list separator that goes with it.
#include "platform/posix/layer.h"
#include "windows_languages.h"

#include <clocale>
#include <cstdlib>
#include <cstring>
#include <langinfo.h>
#include <string>

namespace {

// Countries where the language writes the other one (as the C library's locales have it).
const char* const kPointWhereCommaLanguage[] = {"de_CH", "de_LI", "es_DO", "es_GT", "es_HN",
                                                "es_MX", "es_NI", "es_PA", "es_PR", "es_SV",
                                                "es_US", "fr_CH", "it_CH"};
const char* const kCommaWherePointLanguage[] = {"en_DK"};

std::string NumericLocale() {
    for (const char* name : {"LC_ALL", "LC_NUMERIC", "LANG"}) {
        const char* v = std::getenv(name);
        if (v != nullptr && *v != '\0') return v;
    }
    return "";
}

// The separator the C library's locale of that name writes; "" when it is not installed.
std::string InstalledSeparator(const std::string& name) {
    locale_t numeric = newlocale(LC_NUMERIC_MASK, name.c_str(), static_cast<locale_t>(nullptr));
    if (numeric == static_cast<locale_t>(nullptr)) return "";
    std::string separator = nl_langinfo_l(RADIXCHAR, numeric);
    freelocale(numeric);
    return separator;
}

// What the language and country of a locale's name write.
std::string KnownSeparator(const std::string& name) {
    const std::string code = name.substr(0, name.find_first_of("_.@"));
    const std::string place = name.substr(0, name.find_first_of(".@"));
    for (const char* p : kPointWhereCommaLanguage) {
        if (place == p) return ".";
    }
    for (const char* p : kCommaWherePointLanguage) {
        if (place == p) return ",";
    }
    // What the language writes (platform/windows-languages.txt); "C", and a language
    // Windows does not number, a point.
    for (const WindowsLanguage& l : kWindowsLanguages) {
        if (code == l.code) return std::string(1, l.decimal);
    }
    return ".";
}

} // namespace

int GetLocaleInfoA(LCID locale, LCTYPE type, LPSTR data, int size) {
    W32_REQUIRE(locale == LOCALE_USER_DEFAULT && (type == LOCALE_SDECIMAL || type == LOCALE_SLIST),
                "locale facts other than the user's decimal and list separators", 0);
    const std::string name = NumericLocale();
    std::string separator = InstalledSeparator(name.empty() ? "C" : name);
    if (separator.empty()) separator = KnownSeparator(name);
    // The list separator, which a locale here does not name: ';' wherever the decimal
    // separator is ',' (as Windows has it for those languages, and spreadsheets expect).
    if (type == LOCALE_SLIST) separator = separator == "," ? ";" : ",";
    int needed = static_cast<int>(separator.size()) + 1;
    if (size == 0) return needed;
    if (data == nullptr || size < needed) {
        SetLastError(ERROR_INSUFFICIENT_BUFFER);
        return 0;
    }
    std::memcpy(data, separator.c_str(), static_cast<size_t>(needed));
    return needed;
}
