// The program's resource script (the .rc text the Windows build compiles, a block of
// resources for each language), read as Windows reads the resources compiled from it: a
// menu or a string in the language the user asks for, else in English.
#pragma once

#include "platform/posix/win32_posix.h"

#include <string>
#include <vector>

namespace w32 {

// The program's resource script, compiled into it by the build.
extern const char kResourceScript[];

// The languages the user asks for, best first, read as gettext reads them: the locale
// of LC_ALL, else LC_MESSAGES, else LANG; "C" or none at all asks for none (English);
// otherwise LANGUAGE's list (ll_CC:ll:...) comes before the locale.
std::vector<LANGID> UserLanguages();
// "pl_PL.UTF-8", "pt_BR", "de" as a language id; 0 for one the layer does not know.
LANGID LanguageOfLocale(const std::string& locale);

// The tokens of a resource script, from a place in it: words, numbers, quoted texts (with
// their escapes read, a leading quote marking them), ",", "{" and "}"; comments and
// preprocessor lines are passed over. A script that cannot be read throws the reader.
class ScriptTokens {
  public:
    explicit ScriptTokens(const char* text, size_t offset = 0);
    std::string Next();
    std::string Peek();
    void Expect(const char* token);
    long Number();
    std::string String(); // a quoted text, without its quote
    // Where the next token begins (a token looked at and not taken included).
    size_t Offset() const {
        return static_cast<size_t>((peeked_.empty() ? p_ : peekedAt_) - start_);
    }
    [[noreturn]] void Fail(const char* expected, const std::string& found);
    static bool IsNumber(const std::string& t);

  private:
    void SkipSpace();
    const char* start_;
    const char* p_;
    const char* peekedAt_ = nullptr;
    int line_ = 1;
    std::string peeked_;
};

// A resource of the script: a menu (where its BEGIN stands) or a string (its text), with
// the language its block is marked with.
struct ScriptResource {
    LANGID language = 0;
    bool menu = false;
    long id = 0;
    size_t body = 0;
    std::string text;
};

// Every menu and string of the script; throws the tokens' reader when it cannot be read.
std::vector<ScriptResource> IndexScript(const char* script);
// The menu (or string) `id` in the best of the user's languages: the language itself,
// then another of the same family, then English, then any; null when there is none.
const ScriptResource* BestResource(const std::vector<ScriptResource>& resources, bool menu,
                                   long id);

// The script's string `id` in the user's best language; false when it has none.
bool LoadStringFromScript(const char* script, UINT id, std::string* text);

} // namespace w32
