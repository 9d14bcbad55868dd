// The keyboard and pointer rules of the menu bar and the drop-down list, as Win32 has
// them, with nothing drawn: Alt alone gives the bar the keyboard (and takes it back),
// Alt and an access key open a popup, the arrows move with wrap-around, Escape closes in
// two steps, grayed popups and items cannot be chosen, a dropped list follows the arrows
// and scrolls when it is longer than its rows. The X11 backend feeds it what a person does
// and draws what its state says; the test harness presses keys through the same rules.
#pragma once

#include "platform/posix/layer.h"

#include <string>
#include <vector>

namespace w32 {

constexpr int kListFaceHeight = 21; // the closed list's face
constexpr int kListItemHeight = 18; // a row of the dropped list

enum class UiKey { Alt, Left, Right, Up, Down, Enter, Space, Escape, F4, Letter, Other };

struct UiKeyPress {
    UiKey key = UiKey::Other;
    char letter = 0;  // UiKey::Letter: the letter, lower-cased
    bool alt = false; // Alt is held
};

struct MenuState {
    bool active = false; // the bar has the keyboard
    int popup = -1;      // highlighted title
    bool open = false;   // its popup is shown
    int item = -1;       // highlighted item in it
    bool operator==(const MenuState& o) const {
        return active == o.active && popup == o.popup && open == o.open && item == o.item;
    }
};

struct ListState {
    bool open = false; // the list is dropped
    HWND list = nullptr;
    int hot = -1;  // highlighted entry
    int first = 0; // the first entry shown
    int rows = 0;  // how many it shows
    bool operator==(const ListState& o) const {
        return open == o.open && list == o.list && hot == o.hot && first == o.first &&
               rows == o.rows;
    }
};

// The letter after "&" in a menu text, lower-cased; 0 when there is none.
char AccessKey(const std::string& text);

class UiRules {
  public:
    MenuState menu;
    ListState drop;
    HWND focusList = nullptr; // the list that has the keyboard
    bool altAlone = false;    // Alt went down and nothing else since

    // What a person does on the top-level window w.
    void KeyDown(Window* w, const UiKeyPress& k);
    void KeyUp(Window* w, const UiKeyPress& k);
    void ClickTitle(Window* w, int title);     // -1: the bar, on no title
    void ClickClient(Window* w, Window* list); // a press in the client area, on a list or not
    void PointAtItem(int item);
    void ReleaseOnItem(Window* w, int item); // -1: outside the popup
    void PointAtRow(int row);                // a row of those shown, from 0
    void ReleaseOnRow(int row);              // -1: outside the list
    void Scroll(int rows);
    // The window lost the keyboard or moved: menus and the list close, as on Windows.
    void Dismiss();

    std::vector<MenuItemInfo> Titles(Window* w) const;
    std::vector<MenuItemInfo> OpenItems(Window* w) const;
    static bool Selectable(const MenuItemInfo& item);

  private:
    void MenuKey(Window* w, const UiKeyPress& k);
    void ListKey(const UiKeyPress& k);
    void OpenMenu(Window* w, int popup, bool open);
    void CloseMenu();
    void MoveItem(Window* w, int step);
    void Choose(Window* w, int index);
    void OpenDrop(Window* list);
    void CloseDrop();
    void MoveHot(int to);
    void ChooseRow(int index);
};

// The rules of the thread's windows.
UiRules& Ui();

} // namespace w32
