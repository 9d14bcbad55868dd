// The layer tests' own resource script.
namespace w32 {
extern const char kResourceScript[];
const char kResourceScript[] = R"rc(
// comments and preprocessor lines are passed over
#include <windows.h>
LANGUAGE 0x09, 0x01
7 MENU
BEGIN
    POPUP "&First"
    BEGIN
        MENUITEM "&One", 100
        MENUITEM SEPARATOR
        MENUITEM "&Two", 200, CHECKED
        MENUITEM "Say ""hello""", 300, GRAYED
    END
    POPUP "&Second", GRAYED
    {
        MENUITEM "Three", 300
    }
END
8 MENU
BEGIN
    POPUP "Broken"
    BEGIN
        MENUITEM "no id"
    END
END
STRINGTABLE
BEGIN
    1, "Logging on"
    3, "Two\nlines, ""quoted"""
END
// Polish and Italian, for any country; Polish has its own menu 7.
LANGUAGE 0x15, 0x00
7 MENU
BEGIN
    POPUP "&Pierwszy"
    BEGIN
        MENUITEM "&Jeden", 100
    END
END
STRINGTABLE
BEGIN
    1, "Zapis włączony"
END
LANGUAGE 0x10, 0x00
STRINGTABLE
BEGIN
    1, "Registrazione attiva"
    2, "Solo in italiano"
END
// Romanian: a language none of the program's own, numbered from Windows' table.
LANGUAGE 0x18, 0x00
STRINGTABLE
BEGIN
    1, "Jurnal pornit"
END
)rc";
} // namespace w32
