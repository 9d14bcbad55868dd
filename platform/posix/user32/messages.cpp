// The message queue and loop, sent and posted messages, timers and message boxes.
#include "platform/posix/layer.h"

#include <algorithm>

namespace w32 {

namespace {

struct Timer {
    HWND hwnd;
    UINT_PTR id;
    uint64_t interval;
    uint64_t next;
    bool pending;
};

std::deque<MSG> posted;
struct Input {
    std::function<void()> event;
    UINT kind; // QS_KEY, QS_MOUSEBUTTON or 0
};
std::deque<Input> input;
// Kinds of a person's input that the backend took in since the thread's loop last
// returned a message, and since GetQueueStatus last looked.
UINT noted = 0;
UINT newSinceStatus = 0;
std::vector<Timer> timers;
bool quitPending = false;
int quitCode = 0;
int depth = 0;
bool tracing = false;
int boxSerial = 0;
bool aborted = false;

// A timer that fell due once or many times while the thread was busy has one tick
// waiting, never more; its schedule keeps its own rhythm.
void UpdateTimers(uint64_t now) {
    for (Timer& t : timers) {
        if (now >= t.next) {
            t.pending = true;
            t.next += t.interval * ((now - t.next) / t.interval + 1);
        }
    }
}

} // namespace

std::vector<TraceEntry>& Trace() {
    static std::vector<TraceEntry> trace;
    return trace;
}

void SetTracing(bool on) { tracing = on; }

std::vector<std::shared_ptr<Box>>& Boxes() {
    static std::vector<std::shared_ptr<Box>> boxes;
    return boxes;
}

void PushInput(std::function<void()> event, UINT kind) {
    input.push_back(Input{std::move(event), kind});
    newSinceStatus |= kind;
}

void NoteInput(UINT kind) {
    noted |= kind;
    newSinceStatus |= kind;
}

int64_t NextTimerDue() {
    int64_t due = -1;
    for (const Timer& t : timers) {
        if (due < 0 || static_cast<int64_t>(t.next) < due) due = static_cast<int64_t>(t.next);
    }
    return due;
}

void RemoveTimers(HWND hwnd) {
    timers.erase(std::remove_if(timers.begin(), timers.end(),
                                [&](const Timer& t) { return t.hwnd == hwnd; }),
                 timers.end());
}

void AbortThread(bool on) { aborted = on; }

void ClearMessages() {
    posted.clear();
    input.clear();
    timers.clear();
    quitPending = false;
    aborted = false;
    depth = 0;
    noted = 0;
    newSinceStatus = 0;
}

namespace {

bool NextMessage(MSG* msg, bool wait, const std::function<bool()>& until) {
    for (;;) {
        *msg = MSG{};
        if (aborted) {
            msg->message = WM_QUIT;
            return true;
        }
        if (!posted.empty()) {
            *msg = posted.front();
            posted.pop_front();
            return true;
        }
        if (quitPending) {
            quitPending = false;
            msg->message = WM_QUIT;
            msg->wParam = static_cast<WPARAM>(quitCode);
            return true;
        }
        if (input.empty()) CurrentBackend().PollEvents();
        if (!input.empty()) {
            auto event = std::move(input.front().event);
            input.pop_front();
            event();
            if (until && until()) return false;
            continue;
        }
        for (Window* w : AllWindows()) {
            if (w->parent == nullptr && w->invalid && w->visible) {
                msg->hwnd = w->handle;
                msg->message = WM_PAINT;
                return true;
            }
        }
        uint64_t now = CurrentBackend().Now();
        UpdateTimers(now);
        for (Timer& t : timers) {
            if (CurrentBackend().TimersHeld()) break;
            if (t.pending) {
                t.pending = false;
                msg->hwnd = t.hwnd;
                msg->message = WM_TIMER;
                msg->wParam = t.id;
                msg->time = static_cast<DWORD>(now);
                return true;
            }
        }
        if (!wait) return false;
        ShowDrawing();
        CurrentBackend().WaitForEvent(NextTimerDue());
    }
}

} // namespace

// What a person did before the loop took its next message has been taken with it.
bool FetchMessage(MSG* msg, bool wait, const std::function<bool()>& until) {
    bool got = NextMessage(msg, wait, until);
    noted = 0;
    return got;
}

LRESULT CallProc(Window* w, UINT message, WPARAM wParam, LPARAM lParam) {
    if (tracing) {
        Trace().push_back(
            TraceEntry{CurrentBackend().Now(), w->handle, message, wParam, lParam, depth});
    }
    ++depth;
    LRESULT r = w->proc(w->handle, message, wParam, lParam);
    --depth;
    return r;
}

} // namespace w32

using namespace w32;

BOOL GetMessageA(LPMSG msg, HWND hwnd, UINT filterMin, UINT filterMax) {
    W32_REQUIRE(msg != nullptr, "a null message record", -1);
    W32_REQUIRE(hwnd == nullptr && filterMin == 0 && filterMax == 0, "message filters", -1);
    FetchMessage(msg, true);
    return msg->message == WM_QUIT ? FALSE : TRUE;
}

// Only taking the next message is supported: a peek that leaves it waiting would have
// to put it back in its place in Win32's order.
BOOL PeekMessageA(LPMSG msg, HWND hwnd, UINT filterMin, UINT filterMax, UINT remove) {
    W32_REQUIRE(msg != nullptr, "a null message record", FALSE);
    W32_REQUIRE(hwnd == nullptr && filterMin == 0 && filterMax == 0, "message filters", FALSE);
    W32_REQUIRE(remove == PM_REMOVE, "peeking without removing", FALSE);
    return FetchMessage(msg, false) ? TRUE : FALSE;
}

// A person's keys and clicks are taken in by the backend and waiting until the loop
// takes its next message, as Windows' queue holds them until GetMessage does.
DWORD GetQueueStatus(UINT flags) {
    W32_REQUIRE((flags & ~static_cast<UINT>(QS_KEY | QS_MOUSEBUTTON)) == 0,
                "kinds of messages other than keys and mouse buttons", 0);
    CurrentBackend().PollEvents();
    UINT present = noted;
    for (const Input& i : input)
        present |= i.kind;
    UINT fresh = newSinceStatus;
    newSinceStatus = 0;
    return MAKELONG(fresh & flags, present & flags);
}

// No keyboard reaches the layer's windows as WM_KEYDOWN yet, so there is nothing to
// translate into WM_CHAR.
BOOL TranslateMessage(const MSG*) { return FALSE; }

LRESULT DispatchMessageA(const MSG* msg) {
    if (msg == nullptr || msg->hwnd == nullptr) return 0;
    W32_REQUIRE(msg->message != WM_TIMER || msg->lParam == 0, "timer procedures", 0);
    Window* w = FindWindow(msg->hwnd);
    if (w == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    return CallProc(w, msg->message, msg->wParam, msg->lParam);
}

BOOL PostMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    if (hwnd != nullptr && FindWindow(hwnd) == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return FALSE;
    }
    W32_REQUIRE(message != WM_QUIT, "posting WM_QUIT (PostQuitMessage does it)", FALSE);
    MSG m{};
    m.hwnd = hwnd;
    m.message = message;
    m.wParam = wParam;
    m.lParam = lParam;
    m.time = static_cast<DWORD>(CurrentBackend().Now());
    posted.push_back(m);
    return TRUE;
}

// Same thread: the window procedure runs at once, nested in the caller.
LRESULT SendMessageA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Window* w = FindWindow(hwnd);
    if (w == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    return CallProc(w, message, wParam, lParam);
}

void PostQuitMessage(int exitCode) {
    quitPending = true;
    quitCode = exitCode;
}

LRESULT DefWindowProcA(HWND hwnd, UINT message, WPARAM wParam, LPARAM lParam) {
    Window* w = FindWindow(hwnd);
    if (w == nullptr) return 0;
    switch (message) {
    case WM_NCCREATE:
        return TRUE;
    case WM_CLOSE:
        DestroyWindow(hwnd);
        return 0;
    case WM_SYSCOMMAND:
        if ((wParam & 0xFFF0) == SC_CLOSE) SendMessageA(hwnd, WM_CLOSE, 0, 0);
        return 0;
    case WM_PAINT: {
        PAINTSTRUCT ps;
        BeginPaint(hwnd, &ps);
        EndPaint(hwnd, &ps);
        return 0;
    }
    case WM_ERASEBKGND: {
        if (w->background == nullptr) return 0;
        auto hdc = reinterpret_cast<HDC>(wParam);
        HGDIOBJ oldBrush = SelectObject(hdc, w->background);
        HGDIOBJ oldPen = SelectObject(hdc, GetStockObject(NULL_PEN));
        // With the null pen a rectangle fills one pixel short of its right and bottom.
        Rectangle(hdc, 0, 0, w->width + 1, w->height + 1);
        SelectObject(hdc, oldPen);
        SelectObject(hdc, oldBrush);
        return 1;
    }
    case WM_SETTEXT:
        return SetWindowTextA(hwnd, reinterpret_cast<LPCSTR>(lParam));
    case WM_GETTEXT:
        return GetWindowTextA(hwnd, reinterpret_cast<LPSTR>(lParam), static_cast<int>(wParam));
    default:
        return 0;
    }
}

UINT_PTR SetTimer(HWND hwnd, UINT_PTR id, UINT elapse, TIMERPROC proc) {
    W32_REQUIRE(proc == nullptr, "timer procedures", 0);
    W32_REQUIRE(hwnd != nullptr, "thread timers", 0);
    if (FindWindow(hwnd) == nullptr) {
        SetLastError(ERROR_INVALID_WINDOW_HANDLE);
        return 0;
    }
    uint64_t interval = std::max<UINT>(elapse, 10); // USER_TIMER_MINIMUM
    uint64_t now = CurrentBackend().Now();
    for (Timer& t : timers) {
        if (t.hwnd == hwnd && t.id == id) {
            // An existing timer starts its period again; a tick it had waiting is gone.
            t.interval = interval;
            t.next = now + interval;
            t.pending = false;
            return id;
        }
    }
    timers.push_back(Timer{hwnd, id, interval, now + interval, false});
    return id;
}

BOOL KillTimer(HWND hwnd, UINT_PTR id) {
    for (auto it = timers.begin(); it != timers.end(); ++it) {
        if (it->hwnd == hwnd && it->id == id) {
            timers.erase(it);
            return TRUE;
        }
    }
    return FALSE;
}

// Modal: its own loop goes on dispatching every message of the thread (paints, timer
// ticks) until the box is answered. An owner window takes no input meanwhile.
int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
    W32_REQUIRE((type & ~static_cast<UINT>(MB_ICONERROR | MB_ICONINFORMATION)) == 0,
                "message box types other than OK with an error or information icon", 0);
    W32_REQUIRE((type & MB_ICONERROR) == 0 || (type & MB_ICONINFORMATION) == 0, "two icons at once",
                0);
    Window* ownerWindow = nullptr;
    if (owner != nullptr) {
        ownerWindow = FindWindow(owner);
        if (ownerWindow == nullptr) {
            SetLastError(ERROR_INVALID_WINDOW_HANDLE);
            return 0;
        }
    }
    auto box = std::make_shared<Box>();
    box->serial = ++boxSerial;
    box->owner = owner;
    box->text = text != nullptr ? text : "";
    box->caption = caption != nullptr ? caption : "Error";
    box->type = type;
    Boxes().push_back(box);
    bool ownerWasEnabled = ownerWindow != nullptr && ownerWindow->enabled;
    if (ownerWasEnabled) ownerWindow->enabled = false;
    CurrentBackend().BoxOpened(*box);
    while (box->open) {
        MSG m;
        if (!FetchMessage(&m, true, [&box] { return !box->open; })) continue;
        if (m.message == WM_QUIT) {
            // The box ends and the quit request stays for the outer loop.
            PostQuitMessage(static_cast<int>(m.wParam));
            box->open = false;
            box->result = IDOK;
            break;
        }
        DispatchMessageA(&m);
    }
    if (ownerWasEnabled && (ownerWindow = FindWindow(owner)) != nullptr) {
        ownerWindow->enabled = true;
    }
    CurrentBackend().BoxClosed(*box);
    return box->result;
}
