// The menu bar's and the drop-down list's rules. What reaches the program goes through
// PushInput, as a person's input does: a chosen command as a posted WM_COMMAND, a chosen
// entry as the list's notices.
#include "platform/posix/user32/ui_rules.h"

#include <algorithm>
#include <cctype>

namespace w32 {

char AccessKey(const std::string& text) {
    for (size_t i = 0; i + 1 < text.size(); ++i) {
        if (text[i] == '&' && text[i + 1] != '&') {
            return static_cast<char>(std::tolower(static_cast<unsigned char>(text[i + 1])));
        }
    }
    return 0;
}

UiRules& Ui() {
    static UiRules rules;
    return rules;
}

bool UiRules::Selectable(const MenuItemInfo& item) {
    return (item.state & (MF_SEPARATOR | MF_GRAYED | MF_DISABLED)) == 0;
}

std::vector<MenuItemInfo> UiRules::Titles(Window* w) const {
    return w != nullptr && w->menu != nullptr ? MenuItems(w->menu) : std::vector<MenuItemInfo>{};
}

std::vector<MenuItemInfo> UiRules::OpenItems(Window* w) const {
    std::vector<MenuItemInfo> titles = Titles(w);
    if (!menu.open || menu.popup < 0 || menu.popup >= static_cast<int>(titles.size())) return {};
    return MenuItems(titles[static_cast<size_t>(menu.popup)].popup);
}

// ---- the menu bar -------------------------------------------------------------------

void UiRules::OpenMenu(Window* w, int popup, bool open) {
    CloseDrop();
    std::vector<MenuItemInfo> titles = Titles(w);
    if (popup < 0 || popup >= static_cast<int>(titles.size())) return;
    menu.active = true;
    menu.popup = popup;
    menu.item = -1;
    // A grayed popup is highlighted but does not open.
    menu.open = open && Selectable(titles[static_cast<size_t>(popup)]);
    if (!menu.open) return;
    // Opened from the keyboard, the first item that can be chosen is highlighted.
    std::vector<MenuItemInfo> items = OpenItems(w);
    for (size_t i = 0; i < items.size(); ++i) {
        if (Selectable(items[i])) {
            menu.item = static_cast<int>(i);
            break;
        }
    }
}

void UiRules::CloseMenu() { menu = MenuState{}; }

void UiRules::MoveItem(Window* w, int step) {
    std::vector<MenuItemInfo> items = OpenItems(w);
    int n = static_cast<int>(items.size());
    for (int k = 1; k <= n; ++k) {
        int i = ((menu.item < 0 ? (step > 0 ? -1 : 0) : menu.item) + step * k + n * 2) % n;
        if ((items[static_cast<size_t>(i)].state & MF_SEPARATOR) == 0) {
            menu.item = i;
            return;
        }
    }
}

void UiRules::Choose(Window* w, int index) {
    std::vector<MenuItemInfo> items = OpenItems(w);
    if (index < 0 || index >= static_cast<int>(items.size())) return;
    const MenuItemInfo item = items[static_cast<size_t>(index)];
    if (!Selectable(item) || item.popup != nullptr) return;
    CloseMenu();
    HWND hwnd = w->handle;
    UINT id = item.id;
    // The menu loop ends, then the command arrives as a posted WM_COMMAND.
    PushInput([hwnd, id] { PostMessageA(hwnd, WM_COMMAND, MAKEWPARAM(id, 0), 0); });
}

void UiRules::MenuKey(Window* w, const UiKeyPress& k) {
    int titles = static_cast<int>(Titles(w).size());
    switch (k.key) {
    case UiKey::Escape:
        // The popup closes first, then the bar lets the keyboard go.
        if (menu.open) {
            OpenMenu(w, menu.popup, false);
        } else {
            CloseMenu();
        }
        return;
    case UiKey::Left:
    case UiKey::Right:
        if (titles > 0)
            OpenMenu(w, (menu.popup + (k.key == UiKey::Right ? 1 : -1) + titles) % titles,
                     menu.open);
        return;
    case UiKey::Down:
    case UiKey::Up:
        if (!menu.open) {
            OpenMenu(w, menu.popup, true);
        } else {
            MoveItem(w, k.key == UiKey::Down ? 1 : -1);
        }
        return;
    case UiKey::Enter:
    case UiKey::Space:
        if (!menu.open) {
            OpenMenu(w, menu.popup, true);
        } else {
            Choose(w, menu.item);
        }
        return;
    case UiKey::Letter:
        break;
    default:
        return;
    }
    if (menu.open) {
        std::vector<MenuItemInfo> items = OpenItems(w);
        for (size_t i = 0; i < items.size(); ++i) {
            if (AccessKey(items[i].text) == k.letter) {
                Choose(w, static_cast<int>(i));
                return;
            }
        }
        return;
    }
    std::vector<MenuItemInfo> all = Titles(w);
    for (size_t i = 0; i < all.size(); ++i) {
        if (AccessKey(all[i].text) == k.letter) {
            OpenMenu(w, static_cast<int>(i), true);
            return;
        }
    }
}

// ---- the drop-down list ---------------------------------------------------------------

void UiRules::OpenDrop(Window* list) {
    CloseDrop();
    if (list == nullptr || !list->combo) return;
    int count = static_cast<int>(list->combo->entries.size());
    drop.open = true;
    drop.list = list->handle;
    drop.rows = std::max(1, std::min(count, (list->height - kListFaceHeight) / kListItemHeight));
    drop.first = 0;
    MoveHot(list->combo->selected);
    HWND hwnd = list->handle;
    PushInput([hwnd] {
        Window* l = FindWindow(hwnd);
        if (l != nullptr) {
            SendMessageA(l->parent, WM_COMMAND, MAKEWPARAM(l->id, CBN_DROPDOWN),
                         reinterpret_cast<LPARAM>(hwnd));
        }
    });
}

void UiRules::CloseDrop() { drop = ListState{}; }

// The highlight moves, and the rows shown follow it.
void UiRules::MoveHot(int to) {
    Window* list = FindWindow(drop.list);
    int count = list != nullptr && list->combo ? static_cast<int>(list->combo->entries.size()) : 0;
    drop.hot = count == 0 ? -1 : std::clamp(to, 0, count - 1);
    if (drop.hot < 0) return;
    if (drop.hot < drop.first) drop.first = drop.hot;
    if (drop.hot >= drop.first + drop.rows) drop.first = drop.hot - drop.rows + 1;
}

void UiRules::ChooseRow(int index) {
    HWND hwnd = drop.list;
    CloseDrop();
    PushInput([hwnd, index] {
        Window* l = FindWindow(hwnd);
        if (l != nullptr) ChooseComboEntry(l, index);
    });
}

void UiRules::ListKey(const UiKeyPress& k) {
    Window* list = FindWindow(drop.list);
    int count = list != nullptr && list->combo ? static_cast<int>(list->combo->entries.size()) : 0;
    if (k.key == UiKey::Down || k.key == UiKey::Up) {
        MoveHot(std::max(drop.hot, 0) + (k.key == UiKey::Down ? 1 : -1));
    } else if (k.key == UiKey::Enter) {
        if (drop.hot >= 0 && drop.hot < count) {
            ChooseRow(drop.hot);
        } else {
            CloseDrop();
        }
    } else if (k.key == UiKey::Escape || k.key == UiKey::F4) {
        CloseDrop();
    }
}

// A closed list changes its selection with the arrow keys, one entry at a time.
static void StepList(HWND hwnd, int step) {
    PushInput([hwnd, step] {
        Window* l = FindWindow(hwnd);
        if (l == nullptr || !l->combo) return;
        int count = static_cast<int>(l->combo->entries.size());
        int next = std::clamp(l->combo->selected + step, 0, count - 1);
        if (count == 0 || next == l->combo->selected) return;
        l->combo->selected = next;
        PaintComboBox(l);
        SendMessageA(l->parent, WM_COMMAND, MAKEWPARAM(l->id, CBN_SELCHANGE),
                     reinterpret_cast<LPARAM>(hwnd));
    });
}

// ---- what a person does -----------------------------------------------------------------

void UiRules::KeyDown(Window* w, const UiKeyPress& k) {
    if (k.key == UiKey::Alt) {
        altAlone = true;
        return;
    }
    altAlone = false;
    if (k.alt) {
        if (k.key == UiKey::Down && focusList != nullptr) {
            OpenDrop(FindWindow(focusList));
            return;
        }
        if (k.key == UiKey::F4 && w->enabled) {
            HWND hwnd = w->handle;
            PushInput([hwnd] { PostMessageA(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0); });
            return;
        }
        if (k.key == UiKey::Letter) {
            std::vector<MenuItemInfo> titles = Titles(w);
            for (size_t i = 0; i < titles.size(); ++i) {
                if (AccessKey(titles[i].text) == k.letter) {
                    OpenMenu(w, static_cast<int>(i), true);
                    return;
                }
            }
        }
        return;
    }
    if (menu.active) {
        MenuKey(w, k);
        return;
    }
    if (drop.open) {
        ListKey(k);
        return;
    }
    if (focusList != nullptr) {
        if (k.key == UiKey::Down || k.key == UiKey::Right) StepList(focusList, 1);
        if (k.key == UiKey::Up || k.key == UiKey::Left) StepList(focusList, -1);
        if (k.key == UiKey::F4) OpenDrop(FindWindow(focusList));
    }
}

void UiRules::KeyUp(Window* w, const UiKeyPress& k) {
    if (k.key != UiKey::Alt || !altAlone) return;
    altAlone = false;
    // Alt alone gives the menu bar the keyboard, or takes it back.
    if (menu.active) {
        CloseMenu();
    } else {
        OpenMenu(w, 0, false);
    }
}

void UiRules::ClickTitle(Window* w, int title) {
    if (title < 0) {
        CloseMenu();
        return;
    }
    if (menu.open && menu.popup == title) {
        CloseMenu();
    } else {
        OpenMenu(w, title, true);
    }
}

void UiRules::ClickClient(Window*, Window* list) {
    if (menu.active) {
        CloseMenu();
        return;
    }
    bool wasOpen = drop.open;
    CloseDrop();
    focusList = list != nullptr ? list->handle : nullptr;
    if (list != nullptr && !wasOpen) OpenDrop(list);
}

void UiRules::PointAtItem(int item) {
    if (menu.open) menu.item = item;
}

void UiRules::ReleaseOnItem(Window* w, int item) {
    if (item >= 0) Choose(w, item);
}

void UiRules::PointAtRow(int row) {
    if (drop.open && row >= 0 && row < drop.rows) MoveHot(drop.first + row);
}

void UiRules::ReleaseOnRow(int row) {
    Window* list = FindWindow(drop.list);
    int count = list != nullptr && list->combo ? static_cast<int>(list->combo->entries.size()) : 0;
    int index = drop.first + row;
    if (row >= 0 && row < drop.rows && index < count) {
        ChooseRow(index);
    } else {
        CloseDrop();
    }
}

void UiRules::Scroll(int rows) {
    Window* list = FindWindow(drop.list);
    if (!drop.open || list == nullptr || !list->combo) return;
    int count = static_cast<int>(list->combo->entries.size());
    drop.first = std::clamp(drop.first + rows, 0, std::max(0, count - drop.rows));
}

void UiRules::Dismiss() {
    CloseMenu();
    CloseDrop();
    altAlone = false;
}

} // namespace w32
