// The drop-down list, as Win32 has it: sorted without regard to case, and a selection
// the program makes sends no notice while a user's does.
#include "win32/fixture.h"

namespace {

TEST_F(Win32Combo, AddStringKeepsTheListInCaseInsensitiveOrder) {
    auto add = [&](const char* s) {
        return SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(s));
    };
    EXPECT_EQ(add("beta (COM2)"), 0);
    EXPECT_EQ(add("Alpha (COM3)"), 0);
    EXPECT_EQ(add("alpha (COM1)"), 0);
    EXPECT_EQ(add("Gamma (COM4)"), 3);
    EXPECT_EQ(add(""), 0);
    ASSERT_EQ(SendMessageA(combo, CB_GETCOUNT, 0, 0), 5);
    EXPECT_EQ(Entry(0), "");
    EXPECT_EQ(Entry(1), "alpha (COM1)");
    EXPECT_EQ(Entry(2), "Alpha (COM3)");
    EXPECT_EQ(Entry(3), "beta (COM2)");
    EXPECT_EQ(Entry(4), "Gamma (COM4)");
    EXPECT_EQ(SendMessageA(combo, CB_GETLBTEXTLEN, 2, 0), 12);
    char text[64];
    EXPECT_EQ(SendMessageA(combo, CB_GETLBTEXT, 9, reinterpret_cast<LPARAM>(text)), CB_ERR);
    EXPECT_EQ(SendMessageA(combo, CB_GETCURSEL, 0, 0), CB_ERR) << "nothing selected at first";
}

TEST_F(Win32Combo, SetCurSelSendsNoNoticeButAUsersChoiceDoes) {
    for (const char* s : {"A (COM1)", "B (COM2)", "C (COM3)"})
        SendMessageA(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(s));
    EXPECT_EQ(SendMessageA(combo, CB_SETCURSEL, 0, 0), 0);
    EXPECT_EQ(SendMessageA(combo, CB_SETCURSEL, 7, 0), CB_ERR);
    // An index past the end clears the selection, as Windows documents; Wine keeps it.
    TODO_WINE_EXPECT_EQ(SendMessageA(combo, CB_GETCURSEL, 0, 0), CB_ERR);
    SendMessageA(combo, CB_SETCURSEL, 0, 0);
    EXPECT_EQ(Count(WM_COMMAND), 0);
    // The down arrow on the closed list is a user's choice of the next entry: the
    // selection is made before the notice.
    handler = [](Win32* t, HWND, UINT message, WPARAM wParam, LPARAM lParam, bool*) -> LRESULT {
        if (message == WM_COMMAND && HIWORD(wParam) == CBN_SELCHANGE)
            t->counter =
                static_cast<int>(SendMessageA(reinterpret_cast<HWND>(lParam), CB_GETCURSEL, 0, 0));
        return 0;
    };
    SendMessageA(combo, WM_KEYDOWN, VK_DOWN, 0);
    EXPECT_EQ(SendMessageA(combo, CB_GETCURSEL, 0, 0), 1);
    EXPECT_EQ(Notices(CBN_SELCHANGE), 1);
    EXPECT_EQ(counter, 1);
}

} // namespace
