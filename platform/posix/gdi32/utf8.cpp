// Texts as UTF-8, whatever bytes they came with: the layer's drawing and window titles,
// and the tools' pictures, take nothing else.
#include "platform/utf8.h"

#include "platform/posix/gdi32/gdi.h"

namespace w32 {

namespace {

// The length of the well-formed UTF-8 sequence at text[i] (shortest form, no
// surrogates, at most U+10FFFF), or 0 when there is none.
int Utf8Sequence(const unsigned char* text, int i, int length) {
    unsigned char c = text[i];
    int n = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 ? 3 : c >= 0xC2 && c <= 0xDF ? 2 : 0;
    if (n == 0 || (n == 3 && c > 0xEF) || i + n > length) return 0;
    for (int k = 1; k < n; ++k) {
        if ((text[i + k] & 0xC0) != 0x80) return 0;
    }
    unsigned char d = text[i + 1];
    if ((c == 0xE0 && d < 0xA0) || (c == 0xED && d > 0x9F) || (c == 0xF0 && d < 0x90) ||
        (c == 0xF4 && d > 0x8F)) {
        return 0;
    }
    return n;
}

} // namespace

// The layer's 8-bit texts are UTF-8, as Linux's are (a USB adapter's product name from
// sysfs, say); a byte that is not part of a well-formed sequence is taken as Latin-1,
// so that no text can put cairo, which takes only UTF-8, in an error state.
std::string ToUtf8(const char* text, int length) {
    const auto* bytes = reinterpret_cast<const unsigned char*>(text);
    std::string out;
    for (int i = 0; i < length && bytes[i] != 0;) {
        unsigned char c = bytes[i];
        if (c < 0x80) {
            out += static_cast<char>(c);
            ++i;
            continue;
        }
        int n = Utf8Sequence(bytes, i, length);
        if (n > 0) {
            out.append(text + i, static_cast<size_t>(n));
            i += n;
        } else {
            out += static_cast<char>(0xC0 | (c >> 6));
            out += static_cast<char>(0x80 | (c & 0x3F));
            ++i;
        }
    }
    return out;
}

} // namespace w32

namespace platform {

// Linux hands a program its arguments as the bytes of the file names: UTF-8 as a rule,
// Latin-1 from an older system or a copied disk.
std::string Utf8FromSystem(const std::string& argument) {
    return w32::ToUtf8(argument.c_str(), static_cast<int>(argument.size()));
}

// The layer's string tables are UTF-8.
bool SystemTextIsUtf8() { return true; }

} // namespace platform
