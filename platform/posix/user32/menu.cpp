// Menus: loaded from the program's resource script (the same .rc text that the Windows
// build compiles) in the user's language, and the calls that read and check their items.
#include "platform/posix/layer.h"
#include "platform/posix/user32/resource_script.h"

#include <cctype>
#include <cstdio>
#include <cstring>

namespace w32 {

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

UINT Options(ScriptTokens& tokens) {
    UINT state = 0;
    while (tokens.Peek() == ",") {
        tokens.Next();
        std::string o = tokens.Next();
        if (o == "GRAYED") {
            state |= MF_GRAYED;
        } else if (o == "INACTIVE") {
            state |= MF_DISABLED;
        } else if (o == "CHECKED") {
            state |= MF_CHECKED;
        } else {
            tokens.Fail("GRAYED, INACTIVE or CHECKED", o);
        }
    }
    return state;
}

// A menu's block, from its BEGIN, as a menu.
HMENU Block(ScriptTokens& tokens) {
    std::string open = tokens.Next();
    if (open != "BEGIN" && open != "{") tokens.Fail("BEGIN", open);
    HMENU h = NewMenu();
    for (;;) {
        std::string t = tokens.Next();
        if (t == "END" || t == "}") return h;
        MenuItemInfo item;
        if (t == "POPUP") {
            item.text = tokens.String();
            item.state = Options(tokens) | MF_POPUP;
            item.popup = Block(tokens);
        } else if (t == "MENUITEM") {
            if (tokens.Peek() == "SEPARATOR") {
                tokens.Next();
                item.state = MF_SEPARATOR;
            } else {
                item.text = tokens.String();
                tokens.Expect(",");
                item.id = static_cast<UINT>(tokens.Number());
                item.state = Options(tokens);
            }
        } else {
            tokens.Fail("POPUP, MENUITEM or END", t);
        }
        FindMenu(h)->items.push_back(item);
    }
}

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
    HMENU h = nullptr;
    try {
        std::vector<ScriptResource> resources = IndexScript(kResourceScript);
        const ScriptResource* menu = BestResource(resources, true, id);
        if (menu != nullptr) {
            ScriptTokens tokens(kResourceScript, menu->body);
            h = Block(tokens);
        }
    } catch (ScriptTokens*) {
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
