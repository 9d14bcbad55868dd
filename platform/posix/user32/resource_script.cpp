// The program's resource script: its tokens, its menus and strings by language, and the
// languages the user asks for.
#include "platform/posix/user32/resource_script.h"

#include "platform/posix/layer.h"
#include "platform/texts.h"
#include "windows_languages.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace w32 {

namespace {

WORD Primary(LANGID id) { return static_cast<WORD>(id & 0x3FF); }

// The locales for which gettext translates nothing, whatever LANGUAGE says. C.UTF-8 is
// not among them: with LANGUAGE set, glibc translates for it.
bool IsCLocale(const std::string& locale) {
    return locale.empty() || locale == "C" || locale == "POSIX";
}

} // namespace

LANGID LanguageOfLocale(const std::string& locale) {
    std::string code = locale.substr(0, locale.find_first_of("_.@"));
    std::string country;
    size_t underscore = locale.find('_');
    if (underscore != std::string::npos)
        country =
            locale.substr(underscore + 1, locale.find_first_of(".@", underscore) - underscore - 1);
    for (char& c : code)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    // The languages Windows numbers (platform/windows-languages.txt), as the resources'
    // script numbers its own.
    for (const WindowsLanguage& l : kWindowsLanguages) {
        if (code != l.code) continue;
        // Portuguese of Portugal is 2, of Brazil 1 (SUBLANG_DEFAULT), as Windows has them.
        WORD sub = l.primary == 0x16 && country == "PT" ? 2 : 1;
        return MAKELANGID(l.primary, sub);
    }
    return 0;
}

std::vector<LANGID> UserLanguages() {
    std::string locale;
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG"}) {
        const char* v = std::getenv(name);
        if (v != nullptr && *v != '\0') {
            locale = v;
            break;
        }
    }
    std::vector<LANGID> wanted;
    if (IsCLocale(locale)) return wanted;
    // LANGUAGE's list, when there is one, alone: a language it names that the script
    // lacks is skipped, and the locale's own is not added (English when none is had).
    const char* list = std::getenv("LANGUAGE");
    std::string rest = list != nullptr ? list : "";
    if (!rest.empty()) {
        while (!rest.empty()) {
            size_t colon = rest.find(':');
            LANGID id = LanguageOfLocale(rest.substr(0, colon));
            if (id != 0) wanted.push_back(id);
            rest = colon == std::string::npos ? "" : rest.substr(colon + 1);
        }
        return wanted;
    }
    LANGID id = LanguageOfLocale(locale);
    if (id != 0) wanted.push_back(id);
    return wanted;
}

ScriptTokens::ScriptTokens(const char* text, size_t offset) : start_(text), p_(text + offset) {
    for (const char* c = text; c < p_; ++c)
        line_ += *c == '\n' ? 1 : 0;
}

bool ScriptTokens::IsNumber(const std::string& t) {
    return !t.empty() && std::isdigit(static_cast<unsigned char>(t[0]));
}

void ScriptTokens::Fail(const char* expected, const std::string& found) {
    char what[256];
    std::snprintf(what, sizeof what, "resource script line %d: expected %s, found \"%s\"", line_,
                  expected, found.c_str());
    Unsupported("the resource script", what);
    throw this;
}

void ScriptTokens::SkipSpace() {
    for (;;) {
        while (*p_ != '\0' && std::isspace(static_cast<unsigned char>(*p_))) {
            if (*p_ == '\n') ++line_;
            ++p_;
        }
        // Line comments, and preprocessor lines (the code page pragma among them).
        if ((p_[0] == '/' && p_[1] == '/') || *p_ == '#') {
            while (*p_ != '\0' && *p_ != '\n')
                ++p_;
        } else if (p_[0] == '/' && p_[1] == '*') {
            p_ += 2;
            while (*p_ != '\0' && !(p_[0] == '*' && p_[1] == '/')) {
                if (*p_ == '\n') ++line_;
                ++p_;
            }
            if (*p_ != '\0') p_ += 2;
        } else {
            return;
        }
    }
}

std::string ScriptTokens::Next() {
    if (!peeked_.empty()) {
        std::string t = std::move(peeked_);
        peeked_.clear();
        return t;
    }
    SkipSpace();
    if (*p_ == '\0') return "";
    if (*p_ == ',' || *p_ == '{' || *p_ == '}') return std::string(1, *p_++);
    if (*p_ == '"') {
        std::string s = "\"";
        ++p_;
        for (;;) {
            if (*p_ == '\0' || *p_ == '\n') Fail("the end of a text", s);
            if (*p_ == '"') {
                if (p_[1] == '"') { // "" stands for one quote
                    s += '"';
                    p_ += 2;
                    continue;
                }
                ++p_;
                break;
            }
            if (*p_ == '\\' && p_[1] != '\0') {
                // The escapes of C that resource texts use.
                char c = p_[1];
                s += c == 'n' ? '\n' : c == 't' ? '\t' : c;
                p_ += 2;
                continue;
            }
            s += *p_++;
        }
        return s;
    }
    std::string t;
    while (*p_ != '\0' && !std::isspace(static_cast<unsigned char>(*p_)) && *p_ != ',' &&
           *p_ != '"' && *p_ != '{' && *p_ != '}') {
        t += *p_++;
    }
    return t;
}

std::string ScriptTokens::Peek() {
    if (peeked_.empty()) {
        const char* before = p_;
        peeked_ = Next();
        peekedAt_ = before;
    }
    return peeked_;
}

void ScriptTokens::Expect(const char* token) {
    std::string t = Next();
    if (t != token) Fail(token, t);
}

long ScriptTokens::Number() {
    std::string t = Next();
    if (!IsNumber(t)) Fail("a number", t);
    return std::strtol(t.c_str(), nullptr, 0);
}

std::string ScriptTokens::String() {
    std::string t = Next();
    if (t.empty() || t[0] != '"') Fail("a quoted text", t);
    return t.substr(1);
}

namespace {

void SkipBlock(ScriptTokens& tokens) {
    int depth = 0;
    do {
        std::string t = tokens.Next();
        if (t.empty()) tokens.Fail("END", "the end of the script");
        if (t == "BEGIN" || t == "{") ++depth;
        if (t == "END" || t == "}") --depth;
    } while (depth > 0);
}

// Memory options after a resource's kind (DISCARDABLE and the like) change nothing here.
void SkipOptions(ScriptTokens& tokens) {
    while (tokens.Peek() == "DISCARDABLE" || tokens.Peek() == "MOVEABLE" ||
           tokens.Peek() == "PURE" || tokens.Peek() == "PRELOAD" || tokens.Peek() == "LOADONCALL") {
        tokens.Next();
    }
}

} // namespace

std::vector<ScriptResource> IndexScript(const char* script) {
    std::vector<ScriptResource> found;
    ScriptTokens tokens(script);
    LANGID language = 0;
    for (;;) {
        std::string t = tokens.Next();
        if (t.empty()) return found;
        if (t == "LANGUAGE") {
            long primary = tokens.Number();
            tokens.Expect(",");
            long sub = tokens.Number();
            language = MAKELANGID(primary, sub);
            continue;
        }
        if (t == "STRINGTABLE") {
            SkipOptions(tokens);
            std::string open = tokens.Next();
            if (open != "BEGIN" && open != "{") tokens.Fail("BEGIN", open);
            for (;;) {
                std::string id = tokens.Next();
                if (id == "END" || id == "}") break;
                if (!ScriptTokens::IsNumber(id)) tokens.Fail("a string's id", id);
                if (tokens.Peek() == ",") tokens.Next();
                ScriptResource r;
                r.language = language;
                r.id = std::strtol(id.c_str(), nullptr, 0);
                r.text = tokens.String();
                found.push_back(r);
            }
            continue;
        }
        if (!ScriptTokens::IsNumber(t)) tokens.Fail("a resource id", t);
        ScriptResource r;
        r.language = language;
        r.id = std::strtol(t.c_str(), nullptr, 0);
        std::string kind = tokens.Next();
        if (kind != "MENU" && kind != "MENUEX") tokens.Fail("MENU", kind);
        SkipOptions(tokens);
        r.menu = true;
        r.body = tokens.Offset();
        SkipBlock(tokens);
        found.push_back(r);
    }
}

const ScriptResource* BestResource(const std::vector<ScriptResource>& resources, bool menu,
                                   long id) {
    std::vector<const ScriptResource*> candidates;
    for (const ScriptResource& r : resources) {
        if (r.menu == menu && r.id == id) candidates.push_back(&r);
    }
    if (candidates.empty()) return nullptr;
    std::vector<LANGID> wanted = UserLanguages();
    wanted.push_back(MAKELANGID(0x09, 0x01)); // English, the program's own
    for (LANGID w : wanted) {
        for (const ScriptResource* r : candidates) {
            if (r->language == w) return r;
        }
        for (const ScriptResource* r : candidates) {
            if (Primary(r->language) == Primary(w)) return r;
        }
    }
    return candidates.front();
}

bool LoadStringFromScript(const char* script, UINT id, std::string* text) {
    // Read once; the language is chosen at each call.
    static const char* indexed = nullptr;
    static std::vector<ScriptResource> resources;
    if (indexed != script) {
        try {
            resources = IndexScript(script);
        } catch (ScriptTokens*) {
            resources.clear();
        }
        indexed = script;
    }
    const ScriptResource* r = BestResource(resources, false, static_cast<long>(id));
    if (r == nullptr) return false;
    *text = r->text;
    return true;
}

} // namespace w32

using namespace w32;

// The text in the user's language, cut to the buffer on a character's boundary (the
// layer's texts are UTF-8).
int LoadStringA(HINSTANCE, UINT id, LPSTR buffer, int size) {
    W32_REQUIRE(buffer != nullptr && size > 0, "a string read into no buffer", 0);
    std::string text;
    if (!LoadStringFromScript(kResourceScript, id, &text)) {
        buffer[0] = '\0';
        SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
        return 0;
    }
    size_t n = std::min(text.size(), static_cast<size_t>(size - 1));
    while (n > 0 && n < text.size() && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80)
        --n;
    std::memcpy(buffer, text.data(), n);
    buffer[n] = '\0';
    return static_cast<int>(n);
}

// Texts here are UTF-8: every letter is written, in every language.
int LoadShownTextA(HINSTANCE instance, UINT id, LPSTR buffer, int size) {
    return LoadStringA(instance, id, buffer, size);
}

namespace platform {
std::string Utf8Text(HINSTANCE instance, UINT id) {
    char text[2048];
    int length = LoadStringA(instance, id, text, sizeof text);
    return length > 0 ? std::string(text, static_cast<size_t>(length)) : std::string();
}
} // namespace platform
