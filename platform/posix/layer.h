// Internals shared by the files of the Win32 layer. The program never includes this.
#pragma once

#include "platform/posix/win32_posix.h"

#include <cairo.h>

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace w32 {

// Bad input from the caller: a clear message and an abort in debug builds; in release
// builds the call fails with ERROR_INVALID_PARAMETER as Win32 would.
void Unsupported(const char* function, const char* what);
#define W32_REQUIRE(cond, what, failValue)                                                         \
    do {                                                                                           \
        if (!(cond)) {                                                                             \
            ::w32::Unsupported(__func__, what);                                                    \
            return failValue;                                                                      \
        }                                                                                          \
    } while (0)

// An error with the system's own words for it: FormatMessageA gives them for the code
// while it is the last error (SetLastError forgets them).
void SetLastErrorWithText(DWORD code, const std::string& text);
const std::string& LastErrorText();

// The height of the menu bar that the layer draws above the client area. The layer
// has no frame of its own (the desktop draws it), so a window's outer size is its
// client area plus this bar.
constexpr int kMenuBarHeight = 20;

struct ComboBox {
    std::vector<std::string> entries;
    int selected = CB_ERR;
};
struct Menu;

struct Window {
    HWND handle = nullptr;
    std::string className;
    WNDPROC proc = nullptr;
    UINT classStyle = 0;
    HBRUSH background = nullptr;
    HICON icon = nullptr; // the class's
    std::string text;
    DWORD style = 0;
    int x = 0, y = 0;          // position in the parent's client area (children)
    int width = 0, height = 0; // client area size
    HWND parent = nullptr;
    int id = 0;
    HMENU menu = nullptr;
    bool visible = false;
    bool enabled = true;
    bool alive = true;
    bool shownOnce = false;
    // The update region, kept as its bounding rectangle.
    bool invalid = false;
    RECT invalidRect{};
    bool erasePending = false;
    int paintCount = 0;
    std::unique_ptr<ComboBox> combo;
    // Pixels of the client area (top-level windows only; children draw into their parent's).
    cairo_surface_t* surface = nullptr;

    Window() = default;
    Window(const Window&) = delete;
    Window& operator=(const Window&) = delete;
    ~Window() {
        if (surface != nullptr) cairo_surface_destroy(surface);
    }
};

Window* FindWindow(HWND hwnd); // null for a bad or destroyed handle
Window* TopLevel(Window* w);   // the window whose surface w draws into
void OffsetInSurface(Window* w, int* dx, int* dy);
std::vector<Window*> Children(HWND parent);
std::vector<Window*> AllWindows();
void EnsureSurface(Window* w);
LRESULT CallProc(Window* w, UINT message, WPARAM wParam, LPARAM lParam);

// A message box while it is open.
struct Box {
    int serial = 0;
    HWND owner = nullptr;
    std::string text;
    std::string caption;
    UINT type = 0;
    bool open = true;
    int result = 0;
};
std::vector<std::shared_ptr<Box>>& Boxes();

// Messages waiting for the thread, and the events a backend or a test feeds in. kind
// is QS_KEY or QS_MOUSEBUTTON for a person's key or click (GetQueueStatus reports it
// until the loop runs the event), 0 for anything else (a paint, a resize).
void PushInput(std::function<void()> event, UINT kind = 0);
// A person's key or click that the backend applied as it took it in (the menus' and
// the list's rules): GetQueueStatus reports it until the loop takes its next message.
void NoteInput(UINT kind);
// Next message in Win32's order: posted, quit, input, paint, timer. With wait false it
// returns false when nothing is there; with wait true it blocks in the backend.
// A modal loop passes its end condition, so that it returns as soon as an input event
// (a test's or a person's) has met it.
bool FetchMessage(MSG* msg, bool wait, const std::function<bool()>& until = {});
// Abandons every message loop of the thread: GetMessageA returns the quit message and
// message boxes end. Stops a program that a test leaves running.
void AbortThread(bool on);
void ClearMessages();
int64_t NextTimerDue(); // -1 when no timer runs
void RemoveTimers(HWND hwnd);

// Painting of the controls the layer draws itself.
void PaintChildren(Window* parent, const RECT& area);
void PaintComboBox(Window* w);
LRESULT ComboBoxProc(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam);
void ChooseComboEntry(Window* w, int index); // a user's choice, with its notices

// Menus built from the program's resource script.
HMENU LoadMenuResource(int id);
struct MenuItemInfo {
    std::string text;
    UINT id = 0;
    UINT state = 0; // MF_GRAYED, MF_CHECKED, MF_SEPARATOR, MF_POPUP
    HMENU popup = nullptr;
};
std::vector<MenuItemInfo> MenuItems(HMENU menu);
// The menu bar as the layer draws it on a display, width pixels wide: the titles from the
// left, the highlighted one (-1 for none) in the selection's colour.
void PaintMenuBar(cairo_t* cr, int width, const std::vector<MenuItemInfo>& titles, int highlighted);

// Text drawn by TextOutA, remembered by its anchor for tests, with the cell it filled.
struct DrawnText {
    HWND window;
    int x, y;
    std::string text;
    RECT cell;
};
void RememberText(HWND window, int x, int y, const std::string& text, const RECT& cell);
std::vector<DrawnText>& TextsDrawn();

// The message trace that layer tests compare with what Win32 does.
struct TraceEntry {
    uint64_t time;
    HWND hwnd;
    UINT message;
    WPARAM wParam;
    LPARAM lParam;
    int depth;
};
std::vector<TraceEntry>& Trace();
void SetTracing(bool on);

// Milliseconds of the system's monotonic clock: real time for the backends that run in it.
uint64_t MonotonicMs();

// A display backend: the clock, the wait for events, and what a person sees.
class Backend {
  public:
    virtual ~Backend() = default;
    virtual uint64_t Now() = 0;
    virtual void Sleep(uint64_t ms) = 0;
    // Returns when an input event may be waiting or the deadline (ms on Now's clock,
    // -1 for none) has come.
    virtual void WaitForEvent(int64_t deadline) = 0;
    // Takes in what a person did meanwhile, without waiting: input comes before paints
    // and timer ticks, as on Windows.
    virtual void PollEvents() {}
    // True while timer ticks must wait (a test's clock that has reached its limit).
    virtual bool TimersHeld() { return false; }
    // The pixels of a top-level window's client area changed inside this rectangle;
    // Presented ends a group of such changes.
    virtual void Present(Window*, const RECT&) {}
    virtual void Presented() {}
    virtual void WindowShown(Window*) {}
    virtual void TitleChanged(Window*) {}
    virtual void BoxOpened(Box&) {}
    virtual void BoxClosed(Box&) {}
};
// The one in use: a display backend once one is set, else the console's (real time,
// no display).
Backend& CurrentBackend();
void SetBackend(Backend* backend);
Backend& ConsoleBackend();

// The program's icon (IDI_ICON1) as PNG pictures of several sizes, when the program has
// one: the build embeds packaging/icons, as the Windows build compiles its .ico.
struct IconImage {
    const unsigned char* png;
    unsigned long size;
};
extern const IconImage kIconImages[] __attribute__((weak));
extern const int kIconImageCount __attribute__((weak));
// The handle LoadIconA gives for it.
constexpr uintptr_t kProgramIcon = 0x32000;

// The Win32 error of an errno, as the file calls give it.
DWORD FileError(int error);
// Whether another program holds the file (a lock on it): a sharing violation on Windows.
bool HeldByAnotherProgram(const char* name);
// Makes MoveFileA fail with this error (0: moves work), as a file system that refuses
// them would; a test's stand-in for a read-only folder that root could still write.
void SetFileMoveFault(DWORD error);
// Makes MoveFileA take its way for file systems without RENAME_NOREPLACE (a second name,
// then the first removed), with the removal failing with this errno (0: it works).
void SetMoveByLinkFault(bool byLink, int unlinkErrno);

// Forgets every window, class, timer, box and message: tests of the layer itself start
// from nothing.
void ResetLayer();
void ForgetContexts(); // device contexts that were never released
// Shows what has been drawn and not shown yet: before the thread sleeps or waits. The
// drawing part of the layer registers how.
void ShowDrawing();
void SetDrawingShower(void (*show)());

} // namespace w32
