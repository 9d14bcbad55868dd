// Menus: loaded from the program's resource script (the same .rc text that the Windows
// build compiles), and the calls that read and check their items.
#include "platform/posix/layer.h"

#include <cctype>
#include <cstdio>
#include <cstring>

namespace w32 {

// The program's resource script, compiled into it by the build.
extern const char kResourceScript[];

struct Menu {
    std::vector<MenuItemInfo> items;
};

namespace {

constexpr uintptr_t kMenuBase = 0x400000;
constexpr uintptr_t kMenuStep = 0x10;

std::vector<std::unique_ptr<Menu>> menus;

Menu* FindMenu(HMENU h) {
    auto v = reinterpret_cast<uintptr_t>(h);
    if (v < kMenuBase || (v - kMenuBase) % kMenuStep != 0) return nullptr;
    size_t index = (v - kMenuBase) / kMenuStep;
    return index < menus.size() ? menus[index].get() : nullptr;
}

HMENU NewMenu() {
    menus.push_back(std::make_unique<Menu>());
    return reinterpret_cast<HMENU>(kMenuBase + kMenuStep * (menus.size() - 1));
}

// A reader for the part of the resource-script language that menus use.
class ScriptReader {
  public:
    explicit ScriptReader(const char* text) : p_(text) {}

    // Finds "<id> MENU" and builds that menu; null when the script has no such menu.
    HMENU LoadMenu(int wanted) {
        for (;;) {
            std::string t = Next();
            if (t.empty()) return nullptr;
            if (t == "LANGUAGE") {
                Number();
                Expect(",");
                Number();
                continue;
            }
            if (!IsNumber(t)) Fail("a resource id", t);
            long id = std::strtol(t.c_str(), nullptr, 0);
            std::string kind = Next();
            if (kind != "MENU" && kind != "MENUEX") Fail("MENU", kind);
            SkipOptions();
            if (id == wanted) return Block();
            SkipBlock(); // another menu: only read past it
        }
    }

    bool failed() const { return failed_; }

  private:
    const char* p_;
    int line_ = 1;
    bool failed_ = false;
    std::string peeked_;

    [[noreturn]] void Fail(const char* expected, const std::string& found) {
        char what[256];
        std::snprintf(what, sizeof what, "resource script line %d: expected %s, found \"%s\"",
                      line_, expected, found.c_str());
        Unsupported("LoadMenu", what);
        failed_ = true;
        throw this;
    }

    static bool IsNumber(const std::string& t) {
        return !t.empty() && std::isdigit(static_cast<unsigned char>(t[0]));
    }

    void SkipSpace() {
        for (;;) {
            while (*p_ != '\0' && std::isspace(static_cast<unsigned char>(*p_))) {
                if (*p_ == '\n') ++line_;
                ++p_;
            }
            // Line comments, and preprocessor lines, which mean nothing to a menu.
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

    std::string Next() {
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
                if (*p_ == '\0' || *p_ == '\n') Fail("the end of a string", s);
                if (*p_ == '"') {
                    if (p_[1] == '"') { // "" stands for one quote
                        s += '"';
                        p_ += 2;
                        continue;
                    }
                    ++p_;
                    break;
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

    std::string Peek() {
        if (peeked_.empty()) peeked_ = Next();
        return peeked_;
    }

    void Expect(const char* token) {
        std::string t = Next();
        if (t != token) Fail(token, t);
    }

    long Number() {
        std::string t = Next();
        if (!IsNumber(t)) Fail("a number", t);
        return std::strtol(t.c_str(), nullptr, 0);
    }

    std::string String() {
        std::string t = Next();
        if (t.empty() || t[0] != '"') Fail("a quoted text", t);
        return t.substr(1);
    }

    // Memory options after MENU (DISCARDABLE and the like) change nothing here.
    void SkipOptions() {
        while (Peek() == "DISCARDABLE" || Peek() == "MOVEABLE" || Peek() == "PURE" ||
               Peek() == "PRELOAD" || Peek() == "LOADONCALL") {
            Next();
        }
    }

    UINT Options() {
        UINT state = 0;
        while (Peek() == ",") {
            Next();
            std::string o = Next();
            if (o == "GRAYED") {
                state |= MF_GRAYED;
            } else if (o == "INACTIVE") {
                state |= MF_DISABLED;
            } else if (o == "CHECKED") {
                state |= MF_CHECKED;
            } else {
                Fail("GRAYED, INACTIVE or CHECKED", o);
            }
        }
        return state;
    }

    void SkipBlock() {
        int depth = 0;
        do {
            std::string t = Next();
            if (t.empty()) Fail("END", "the end of the script");
            if (t == "BEGIN" || t == "{") ++depth;
            if (t == "END" || t == "}") --depth;
        } while (depth > 0);
    }

    HMENU Block() {
        std::string open = Next();
        if (open != "BEGIN" && open != "{") Fail("BEGIN", open);
        HMENU h = NewMenu();
        for (;;) {
            std::string t = Next();
            if (t == "END" || t == "}") return h;
            MenuItemInfo item;
            if (t == "POPUP") {
                item.text = String();
                item.state = Options() | MF_POPUP;
                item.popup = Block();
            } else if (t == "MENUITEM") {
                if (Peek() == "SEPARATOR") {
                    Next();
                    item.state = MF_SEPARATOR;
                } else {
                    item.text = String();
                    Expect(",");
                    item.id = static_cast<UINT>(Number());
                    item.state = Options();
                }
            } else {
                Fail("POPUP, MENUITEM or END", t);
            }
            FindMenu(h)->items.push_back(item);
        }
    }
};

MenuItemInfo* FindItem(HMENU h, UINT idOrPos, UINT flags) {
    Menu* m = FindMenu(h);
    if (m == nullptr) return nullptr;
    if ((flags & MF_BYPOSITION) != 0) {
        return idOrPos < m->items.size() ? &m->items[idOrPos] : nullptr;
    }
    // By command, a menu's popups are searched as well, as Win32 does.
    for (MenuItemInfo& item : m->items) {
        if ((item.state & MF_POPUP) == 0 && (item.state & MF_SEPARATOR) == 0 &&
            item.id == idOrPos) {
            return &item;
        }
        if (item.popup != nullptr) {
            MenuItemInfo* inner = FindItem(item.popup, idOrPos, flags);
            if (inner != nullptr) return inner;
        }
    }
    return nullptr;
}

} // namespace

HMENU LoadMenuResource(int id) {
    ScriptReader reader(kResourceScript);
    HMENU h = nullptr;
    try {
        h = reader.LoadMenu(id);
    } catch (ScriptReader*) {
        return nullptr;
    }
    if (h == nullptr) SetLastError(ERROR_RESOURCE_NAME_NOT_FOUND);
    return h;
}

std::vector<MenuItemInfo> MenuItems(HMENU menu) {
    Menu* m = FindMenu(menu);
    return m != nullptr ? m->items : std::vector<MenuItemInfo>{};
}

} // namespace w32

using namespace w32;

HMENU GetMenu(HWND hwnd) {
    Window* w = FindWindow(hwnd);
    return w != nullptr ? w->menu : nullptr;
}

HMENU GetSubMenu(HMENU menu, int pos) {
    MenuItemInfo* item = pos >= 0 ? FindItem(menu, static_cast<UINT>(pos), MF_BYPOSITION) : nullptr;
    return item != nullptr ? item->popup : nullptr;
}

DWORD CheckMenuItem(HMENU menu, UINT id, UINT flags) {
    W32_REQUIRE((flags & ~static_cast<UINT>(MF_BYPOSITION | MF_CHECKED)) == 0,
                "flags other than MF_BYCOMMAND/MF_BYPOSITION with MF_CHECKED/MF_UNCHECKED",
                static_cast<DWORD>(-1));
    MenuItemInfo* item = FindItem(menu, id, flags);
    if (item == nullptr) return static_cast<DWORD>(-1);
    DWORD old = item->state & MF_CHECKED;
    item->state = (item->state & ~static_cast<UINT>(MF_CHECKED)) | (flags & MF_CHECKED);
    return old;
}

UINT GetMenuState(HMENU menu, UINT id, UINT flags) {
    W32_REQUIRE((flags & ~static_cast<UINT>(MF_BYPOSITION)) == 0,
                "flags other than by command or position", static_cast<UINT>(-1));
    MenuItemInfo* item = FindItem(menu, id, flags);
    if (item == nullptr) return static_cast<UINT>(-1);
    UINT state = item->state;
    // A popup reports its item count in the high byte.
    if (item->popup != nullptr) state |= static_cast<UINT>(GetMenuItemCount(item->popup)) << 8;
    return state;
}

int GetMenuItemCount(HMENU menu) {
    Menu* m = FindMenu(menu);
    return m != nullptr ? static_cast<int>(m->items.size()) : -1;
}

UINT GetMenuItemID(HMENU menu, int pos) {
    MenuItemInfo* item = pos >= 0 ? FindItem(menu, static_cast<UINT>(pos), MF_BYPOSITION) : nullptr;
    if (item == nullptr || item->popup != nullptr) return static_cast<UINT>(-1);
    return item->id;
}

int GetMenuStringA(HMENU menu, UINT id, LPSTR buffer, int size, UINT flags) {
    MenuItemInfo* item = FindItem(menu, id, flags);
    if (item == nullptr) return 0;
    if (buffer == nullptr || size <= 0) return static_cast<int>(item->text.size());
    size_t n = std::min(item->text.size(), static_cast<size_t>(size - 1));
    std::memcpy(buffer, item->text.data(), n);
    buffer[n] = '\0';
    return static_cast<int>(n);
}
