// The combo box and menus from a resource script, as Win32 has them.
#include "layer/layer_program.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>

#include <algorithm>

namespace {

class LayerCombo : public ::testing::Test {
  protected:
    LayerCombo() {
        p.On(WM_CREATE, [this](HWND hwnd, WPARAM, LPARAM) {
            list = CreateWindowExA(
                0, "COMBOBOX", nullptr,
                WS_CHILD | WS_VISIBLE | CBS_DROPDOWNLIST | CBS_SORT | CBS_HASSTRINGS, 20, 6, 190,
                200, hwnd, reinterpret_cast<HMENU>(30001), nullptr, nullptr);
            return LRESULT{0};
        });
        p.On(WM_COMMAND, [this](HWND, WPARAM wParam, LPARAM lParam) {
            EXPECT_EQ(reinterpret_cast<HWND>(lParam), list);
            notices.push_back(HIWORD(wParam));
            EXPECT_EQ(LOWORD(wParam), 30001);
            if (HIWORD(wParam) == CBN_SELCHANGE)
                selectedAtNotice = static_cast<int>(SendMessageA(list, CB_GETCURSEL, 0, 0));
            return LRESULT{0};
        });
        p.Start();
    }

    LRESULT Send(UINT message, WPARAM wParam, LPARAM lParam) {
        LRESULT r = 0;
        p.harness().Run([&] { r = SendMessageA(list, message, wParam, lParam); });
        return r;
    }

    LRESULT Add(const char* text) { return Send(CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(text)); }

    std::string Entry(int index) {
        char text[256] = "";
        Send(CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text));
        return text;
    }

    LayerProgram p;
    HWND list = nullptr;
    std::vector<WORD> notices;
    int selectedAtNotice = -2;
};

TEST_F(LayerCombo, ShowsTheSelectedEntry) {
    Add("Only (COM3)");
    Send(CB_SETCURSEL, 0, 0);
    EXPECT_EQ(p.harness().Pixel(100, 16), RGB(255, 255, 255));
    EXPECT_EQ(p.harness().TextAt(24, 21), "Only (COM3)");
}

TEST(LayerMenu, BuiltFromTheResourceScript) {
    HMENU bar = w32::LoadMenuResource(7);
    ASSERT_NE(bar, nullptr);
    ASSERT_EQ(GetMenuItemCount(bar), 2);
    HMENU first = GetSubMenu(bar, 0);
    ASSERT_EQ(GetMenuItemCount(first), 4);
    EXPECT_EQ(GetMenuItemID(first, 0), 100u);
    EXPECT_NE(GetMenuState(first, 1, MF_BYPOSITION) & MF_SEPARATOR, 0u);
    EXPECT_EQ(GetMenuState(first, 200, MF_BYCOMMAND), static_cast<UINT>(MF_CHECKED));
    char text[64];
    GetMenuStringA(first, 300, text, sizeof text, MF_BYCOMMAND);
    EXPECT_STREQ(text, "Say \"hello\"");
    EXPECT_NE(GetMenuState(first, 300, MF_BYCOMMAND) & MF_GRAYED, 0u);
    EXPECT_NE(GetMenuState(bar, 1, MF_BYPOSITION) & MF_GRAYED, 0u);
    EXPECT_EQ(GetSubMenu(bar, 5), nullptr);
    EXPECT_EQ(GetSubMenu(first, 0), nullptr) << "an item is not a popup";

    EXPECT_EQ(CheckMenuItem(first, 100, MF_BYCOMMAND | MF_CHECKED),
              static_cast<DWORD>(MF_UNCHECKED));
    EXPECT_EQ(CheckMenuItem(first, 100, MF_BYCOMMAND | MF_UNCHECKED),
              static_cast<DWORD>(MF_CHECKED));
    EXPECT_EQ(CheckMenuItem(first, 999, MF_BYCOMMAND | MF_CHECKED), static_cast<DWORD>(-1));
    // By command, the popups of a menu are searched too.
    EXPECT_EQ(CheckMenuItem(bar, 200, MF_BYCOMMAND | MF_UNCHECKED), static_cast<DWORD>(MF_CHECKED));

    EXPECT_EQ(w32::LoadMenuResource(9), nullptr);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
}

TEST(LayerMenu, EachLoadIsAMenuOfItsOwn) {
    HMENU a = w32::LoadMenuResource(7);
    HMENU b = w32::LoadMenuResource(7);
    ASSERT_NE(a, b);
    CheckMenuItem(a, 100, MF_CHECKED);
    EXPECT_EQ(GetMenuState(b, 100, MF_BYCOMMAND) & MF_CHECKED, 0u);
}

// The script's resources in the language the user asks for, chosen as gettext (glibc)
// chooses: LC_ALL, else LC_MESSAGES, else LANG; for a locale other than C or POSIX,
// LANGUAGE's list alone when it is set (C.UTF-8 included); a language the script lacks
// gives English, and a string only one language has is found. (tests/e2e/languages.sh
// puts the same environments to gettext itself.)
TEST(LayerResources, EachInTheLanguageTheUserAsksFor) {
    struct Case {
        const char* all;
        const char* messages;
        const char* lang;
        const char* language;
        const char* string1;
        const char* firstPopup;
    } cases[] = {
        {"", "", "pl_PL.UTF-8", "", "Zapis włączony", "&Pierwszy"},
        {"", "", "it_IT.UTF-8", "", "Registrazione attiva", "&First"},
        {"", "", "ja_JP.UTF-8", "", "Logging on", "&First"},
        {"", "", "C", "", "Logging on", "&First"},
        {"", "", "", "", "Logging on", "&First"},
        {"C", "", "pl_PL.UTF-8", "", "Logging on", "&First"},
        {"", "pl_PL.UTF-8", "en_US.UTF-8", "", "Zapis włączony", "&Pierwszy"},
        {"", "", "pl_PL.UTF-8", "it:pl", "Registrazione attiva", "&Pierwszy"},
        {"", "", "pl_PL.UTF-8", "nl", "Logging on", "&First"},
        {"", "", "pl_PL.UTF-8", "nl:pl", "Zapis włączony", "&Pierwszy"},
        {"", "", "ro_RO.UTF-8", "", "Jurnal pornit", "&First"},
        {"", "", "pl_PL.UTF-8", "ro:pl", "Jurnal pornit", "&Pierwszy"},
        {"", "", "C.UTF-8", "pl", "Zapis włączony", "&Pierwszy"},
        {"", "", "C", "pl", "Logging on", "&First"},
        {"", "", "POSIX", "pl", "Logging on", "&First"},
        {"", "", "pl", "", "Zapis włączony", "&Pierwszy"},
        {"it_IT.UTF-8", "pl_PL.UTF-8", "en_US.UTF-8", "", "Registrazione attiva", "&First"},
        {"", "", "it@euro", "", "Registrazione attiva", "&First"},
        {"", "", "it_IT@euro", "", "Registrazione attiva", "&First"},
        {"", "", "pl.UTF-8", "", "Zapis włączony", "&Pierwszy"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("LC_ALL=") + c.all + " LC_MESSAGES=" + c.messages +
                     " LANG=" + c.lang + " LANGUAGE=" + c.language);
        setenv("LC_ALL", c.all, 1);
        setenv("LC_MESSAGES", c.messages, 1);
        setenv("LANG", c.lang, 1);
        setenv("LANGUAGE", c.language, 1);
        char text[64];
        EXPECT_EQ(LoadStringA(nullptr, 1, text, sizeof text), static_cast<int>(strlen(c.string1)));
        EXPECT_STREQ(text, c.string1);
        HMENU bar = w32::LoadMenuResource(7);
        ASSERT_NE(bar, nullptr);
        GetMenuStringA(bar, 0, text, sizeof text, MF_BYPOSITION);
        EXPECT_STREQ(text, c.firstPopup);
    }
    setenv("LANG", "pl_PL.UTF-8", 1);
    char text[64];
    EXPECT_EQ(LoadStringA(nullptr, 2, text, sizeof text), 16) << "found in Italian alone";
    EXPECT_STREQ(text, "Solo in italiano");
    EXPECT_EQ(LoadStringA(nullptr, 3, text, sizeof text), 19) << "found in English alone";
    EXPECT_STREQ(text, "Two\nlines, \"quoted\"");
    // Cut to the buffer, never inside a letter of two bytes ("ł" of "włączony").
    char small[6];
    EXPECT_EQ(LoadStringA(nullptr, 1, small, sizeof small), 5);
    EXPECT_STREQ(small, "Zapis");
    char cut[9];
    EXPECT_EQ(LoadStringA(nullptr, 1, cut, sizeof cut), 7);
    EXPECT_STREQ(cut, "Zapis w");
    EXPECT_EQ(LoadStringA(nullptr, 99, text, sizeof text), 0);
    EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_RESOURCE_NAME_NOT_FOUND));
    for (const char* name : {"LC_ALL", "LC_MESSAGES", "LANG", "LANGUAGE"})
        unsetenv(name);
}

// Numbers on screen are written with the user's decimal separator: LC_ALL, else
// LC_NUMERIC, else LANG; the locale's own where it is installed, else what its language
// and country write (es_MX, es_US, de_CH write a point).
TEST(LayerLocale, TheDecimalSeparatorIsTheUsers) {
    struct Case {
        const char* all;
        const char* numeric;
        const char* lang;
        const char* separator;
    } cases[] = {
        {"", "", "it_IT.UTF-8", ","},
        {"", "", "pl_PL.UTF-8", ","},
        {"", "", "en_GB.UTF-8", "."},
        {"", "", "C", "."},
        {"", "", "", "."},
        {"", "C", "de_DE.UTF-8", "."},
        {"C", "", "tr_TR.UTF-8", "."},
        {"", "pt_BR.UTF-8", "en_US.UTF-8", ","},
        {"", "", "es_MX.UTF-8", "."},
        {"", "", "es_US.UTF-8", "."},
        {"", "", "es_ES.UTF-8", ","},
        {"", "", "de_CH.UTF-8", "."},
        {"", "", "fr_CH.UTF-8", "."},
        {"", "", "en_DK.UTF-8", ","},
        {"it_IT.UTF-8", "en_US.UTF-8", "en_GB.UTF-8", ","},
        {"en_US.UTF-8", "it_IT.UTF-8", "de_DE.UTF-8", "."},
        {"", "", "it@euro", ","},
        {"", "", "de.UTF-8", ","},
        {"", "", "es_MX@euro", "."},
        {"", "", "nl_NL.UTF-8", ","},
        {"", "", "ro_RO.UTF-8", ","},
        {"", "", "ja_JP.UTF-8", "."},
        {"", "", "eo.UTF-8", "."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("LC_ALL=") + c.all + " LC_NUMERIC=" + c.numeric +
                     " LANG=" + c.lang);
        setenv("LC_ALL", c.all, 1);
        setenv("LC_NUMERIC", c.numeric, 1);
        setenv("LANG", c.lang, 1);
        char separator[4] = "";
        EXPECT_EQ(GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, separator, sizeof separator),
                  2);
        EXPECT_STREQ(separator, c.separator);
    }
    // The list separator a spreadsheet of the locale splits a line at.
    for (auto [lang, separator] : {std::pair<const char*, const char*>{"it_IT.UTF-8", ";"},
                                   {"de_CH.UTF-8", ","},
                                   {"en_US.UTF-8", ","}}) {
        setenv("LANG", lang, 1);
        setenv("LC_ALL", "", 1);
        setenv("LC_NUMERIC", "", 1);
        char list[4] = "";
        EXPECT_EQ(GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SLIST, list, sizeof list), 2) << lang;
        EXPECT_STREQ(list, separator) << lang;
    }
    for (const char* name : {"LC_ALL", "LC_NUMERIC", "LANG"})
        unsetenv(name);
}

// The separator is the installed locale's own, not a table's: a locale named de_DE.UTF-8
// but made from Swiss German (LOCPATH) writes a point.
TEST(LayerLocale, TheDecimalSeparatorIsTheInstalledLocalesOwn) {
    char folder[] = "/tmp/quorvel-locale-XXXXXX";
    ASSERT_NE(mkdtemp(folder), nullptr);
    const std::string make =
        std::string("localedef -i de_CH -f UTF-8 ") + folder + "/de_DE.UTF-8 >/dev/null 2>&1";
    if (std::system(make.c_str()) != 0) {
        std::filesystem::remove_all(folder);
        GTEST_SKIP() << "localedef could not make a locale (the locales' sources are missing)";
    }
    setenv("LOCPATH", folder, 1);
    setenv("LANG", "de_DE.UTF-8", 1);
    char separator[4] = "";
    GetLocaleInfoA(LOCALE_USER_DEFAULT, LOCALE_SDECIMAL, separator, sizeof separator);
    EXPECT_STREQ(separator, ".");
    unsetenv("LOCPATH");
    unsetenv("LANG");
    std::filesystem::remove_all(folder);
}

#ifndef NDEBUG
TEST(LayerMenuDeathTest, AMalformedScriptIsReportedWithItsLine) {
    EXPECT_DEATH(w32::LoadMenuResource(8), "resource script line 24: expected ,");
}

// A locale fact the layer does not give (here the language's name) is a fault of the
// program's, told at once, not an empty answer.
TEST(LayerLocaleDeathTest, AFactTheLayerDoesNotGiveIsTold) {
    char text[32];
    EXPECT_DEATH(GetLocaleInfoA(LOCALE_USER_DEFAULT, 0x00000002, text, sizeof text),
                 "locale facts other than");
}
#endif

} // namespace
