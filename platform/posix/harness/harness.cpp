#include "platform/posix/harness/harness.h"

#include "platform/posix/backends/headless.h"
#include "platform/posix/user32/ui_rules.h"

#include <cctype>

#include <cstdio>
#include <cstdlib>

// Weak, so that a test of the layer alone links without a program.
// NOLINTNEXTLINE(readability-redundant-declaration)
extern "C" int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int) __attribute__((weak));

namespace headless {

namespace {

w32::VirtualClockBackend& Backend() {
    static w32::VirtualClockBackend backend;
    return backend;
}

int winMainRuns = 0;

// Menu items as a person reads them: by their texts. Cached copies are taken fresh on
// every call, since the program may change check marks between calls.
std::vector<w32::MenuItemInfo> menuCache;

} // namespace

Harness::Harness(std::function<int()> entry) : entry_(std::move(entry)) {
    w32::ResetLayer();
    w32::Ui() = w32::UiRules{};
    Backend().SetNow(0);
    Backend().SetAutoAnswer(false);
    Backend().SetThreaded(true);
    Backend().Reset();
    w32::SetBackend(&Backend());
    auto ports = std::make_shared<w32::PortListScript>();
    w32::PortEntry test;
    test.number = 1;
    test.friendlyName = "Test Port (COM1)";
    test.line = std::make_shared<w32::ScriptedLine>();
    ports->ports.push_back(test);
    SetPorts(ports);
}

void Harness::SetPorts(std::shared_ptr<w32::PortListScript> ports) {
    ports_ = std::move(ports);
    w32::SetPortListScript(ports_);
}

Harness::~Harness() {
    if (started_) {
        // A program the test left running is made to leave every loop it is in.
        for (int i = 0; i < 100 && Running(); ++i) {
            w32::AbortThread(true);
            Backend().Resume();
        }
        if (thread_.joinable()) thread_.join();
        w32::AbortThread(false);
    }
    w32::SetPortListScript(nullptr);
    w32::ResetLayer();
}

void Harness::Start() {
    if (!entry_) {
        if (&WinMain == nullptr) {
            std::fprintf(stderr, "harness: no program is linked in and no entry was given\n");
            std::abort();
        }
        if (++winMainRuns > 1) {
            std::fprintf(stderr, "harness: WinMain runs once per process; run each test in a "
                                 "process of its own (ctest does)\n");
            std::abort();
        }
        entry_ = [] {
            static char commandLine[] = "";
            return WinMain(reinterpret_cast<HINSTANCE>(static_cast<uintptr_t>(0x400000)), nullptr,
                           commandLine, SW_SHOWDEFAULT);
        };
    }
    started_ = true;
    Backend().SetLimit(Backend().Now());
    // The program's thread runs first and the test waits for its turn.
    Backend().GiveTurnToProgram();
    thread_ = std::thread([this] {
        exitCode_ = entry_();
        Backend().ProgramEnded();
    });
    Backend().WaitForTurn();
}

bool Harness::Running() const { return started_ && !Backend().Ended(); }

uint64_t Harness::Now() const { return Backend().Now(); }

void Harness::Settle() {
    Inject([] {});
}

void Harness::Advance(uint64_t ms) {
    uint64_t target = Backend().Now() + ms;
    Backend().SetLimit(target);
    // A program that was busy past the target has stopped at its next wait.
    while (Running() && Backend().Now() < target) {
        int64_t due = w32::NextTimerDue();
        if (due < 0 || static_cast<uint64_t>(due) > target) break;
        if (static_cast<uint64_t>(due) > Backend().Now()) {
            Backend().SetNow(static_cast<uint64_t>(due));
        }
        Backend().Resume();
    }
    if (Backend().Now() < target) Backend().SetNow(target);
}

void Harness::Run(std::function<void()> fn) {
    // The function runs to its end, however long it takes on the program's clock; then
    // time stands still again.
    Inject([fn = std::move(fn)] {
        Backend().SetLimit(UINT64_MAX);
        fn();
        Backend().SetLimit(Backend().Now());
    });
}

// A person's action takes no time: the program handles it and whatever fell due.
bool Harness::Inject(std::function<void()> event, UINT kind) {
    if (!Running()) return false;
    Backend().SetLimit(Backend().Now());
    w32::PushInput(std::move(event), kind);
    Backend().Resume();
    return true;
}

HWND Harness::MainWindow() const {
    for (w32::Window* w : w32::AllWindows()) {
        if (w->parent == nullptr) return w->handle;
    }
    return nullptr;
}

const w32::MenuItemInfo* Harness::FindMenuItem(const std::string& popup,
                                               const std::string& item) const {
    HMENU bar = GetMenu(MainWindow());
    menuCache.clear();
    for (const w32::MenuItemInfo& p : w32::MenuItems(bar)) {
        if (p.text != popup || p.popup == nullptr) continue;
        if (item.empty()) {
            menuCache.push_back(p);
            return &menuCache.back();
        }
        for (const w32::MenuItemInfo& i : w32::MenuItems(p.popup)) {
            if (i.text == item && (i.state & MF_SEPARATOR) == 0) {
                menuCache.push_back(i);
                return &menuCache.back();
            }
        }
    }
    return nullptr;
}

bool Harness::CanOpenPopup(const std::string& popup) const {
    const w32::MenuItemInfo* p = FindMenuItem(popup, "");
    return p != nullptr && (p->state & (MF_GRAYED | MF_DISABLED)) == 0 &&
           IsWindowEnabled(MainWindow());
}

// A click on the popup's title, then on the item, through the same rules as the screen's
// menus: a grayed popup does not open, and a grayed item (or a separator, or a popup)
// cannot be chosen, so the menu is dismissed and nothing is chosen.
bool Harness::ChooseMenu(const std::string& popup, const std::string& item) {
    if (!Running() || !CanOpenPopup(popup)) return false;
    HWND hwnd = MainWindow();
    int title = -1;
    int index = -1;
    std::vector<w32::MenuItemInfo> titles = w32::MenuItems(GetMenu(hwnd));
    for (size_t t = 0; t < titles.size() && title < 0; ++t) {
        if (titles[t].text != popup || titles[t].popup == nullptr) continue;
        title = static_cast<int>(t);
        std::vector<w32::MenuItemInfo> items = w32::MenuItems(titles[t].popup);
        for (size_t i = 0; i < items.size() && index < 0; ++i) {
            if (items[i].text == item && (items[i].state & MF_SEPARATOR) == 0)
                index = static_cast<int>(i);
        }
    }
    if (title < 0 || index < 0) return false;
    bool chosen = false;
    Inject(
        [hwnd, title, index, &chosen] {
            w32::Window* w = w32::FindWindow(hwnd);
            if (w == nullptr) return;
            w32::Ui().ClickTitle(w, title);
            if (!w32::Ui().menu.open) return;
            w32::Ui().ReleaseOnItem(w, index);
            chosen = !w32::Ui().menu.active;
            w32::Ui().Dismiss();
        },
        QS_MOUSEBUTTON);
    return chosen;
}

namespace {

// "alt+e", "Return", "Down", "alt" (Alt pressed and let go alone), "F4", "x".
bool ParseKey(const std::string& name, w32::UiKeyPress* k) {
    static const std::pair<const char*, w32::UiKey> names[] = {
        {"Return", w32::UiKey::Enter}, {"Enter", w32::UiKey::Enter}, {"Escape", w32::UiKey::Escape},
        {"Up", w32::UiKey::Up},        {"Down", w32::UiKey::Down},   {"Left", w32::UiKey::Left},
        {"Right", w32::UiKey::Right},  {"space", w32::UiKey::Space}, {"F4", w32::UiKey::F4},
        {"alt", w32::UiKey::Alt}};
    for (const auto& [text, key] : names) {
        if (name == text) {
            k->key = key;
            return true;
        }
    }
    if (name.size() == 1 && name[0] > 0x20 && name[0] < 0x7F) {
        k->key = w32::UiKey::Letter;
        k->letter = static_cast<char>(std::tolower(static_cast<unsigned char>(name[0])));
        return true;
    }
    return false;
}

// The key (with Alt when it is "alt+...") as a keyboard sends it, for the input queue.
std::function<void()> KeyEvent(HWND hwnd, const std::string& keys) {
    w32::UiKeyPress k;
    std::string name = keys;
    if (name.rfind("alt+", 0) == 0) {
        k.alt = true;
        name = name.substr(4);
    }
    if (!ParseKey(name, &k)) return {};
    return [hwnd, k] {
        w32::Window* w = w32::FindWindow(hwnd);
        if (w == nullptr) return;
        w32::UiKeyPress alt{w32::UiKey::Alt, 0, false};
        // Alt down first and up last.
        if (k.alt) w32::Ui().KeyDown(w, alt);
        w32::Ui().KeyDown(w, k);
        w32::Ui().KeyUp(w, k);
        if (k.alt) w32::Ui().KeyUp(w, alt);
    };
}

} // namespace

bool Harness::PressKeys(const std::string& keys) {
    HWND hwnd = MainWindow();
    if (!Running() || !IsWindowEnabled(hwnd)) return false;
    std::function<void()> event = KeyEvent(hwnd, keys);
    return event && Inject(std::move(event), QS_KEY);
}

bool Harness::TypeDuringCall(const std::string& keys) {
    std::function<void()> event = KeyEvent(MainWindow(), keys);
    if (!event) return false;
    w32::PushInput(std::move(event), QS_KEY);
    return true;
}

bool Harness::ClickPortList() {
    HWND hwnd = MainWindow();
    if (!Running() || !IsWindowEnabled(hwnd)) return false;
    return Inject(
        [hwnd] {
            w32::Window* w = w32::FindWindow(hwnd);
            w32::Window* list = nullptr;
            for (w32::Window* c : w32::Children(hwnd)) {
                if (c->combo && c->visible) list = c;
            }
            if (w != nullptr) w32::Ui().ClickClient(w, list);
        },
        QS_MOUSEBUTTON);
}

w32::MenuState Harness::MenuBar() const { return w32::Ui().menu; }
w32::ListState Harness::DroppedList() const { return w32::Ui().drop; }

bool Harness::ClickCloseBox() {
    HWND hwnd = MainWindow();
    if (!Running() || !IsWindowEnabled(hwnd)) return false;
    return Inject([hwnd] { PostMessageA(hwnd, WM_SYSCOMMAND, SC_CLOSE, 0); }, QS_MOUSEBUTTON);
}

bool Harness::Resize(int clientWidth, int clientHeight) {
    HWND hwnd = MainWindow();
    if (!Running() || hwnd == nullptr || clientWidth < 0 || clientHeight < 0) return false;
    return Inject([hwnd, clientWidth, clientHeight] {
        w32::Window* w = w32::FindWindow(hwnd);
        if (w == nullptr) return;
        int oldW = w->width;
        int oldH = w->height;
        w->width = clientWidth;
        w->height = clientHeight;
        w32::EnsureSurface(w);
        if ((w->classStyle & (CS_HREDRAW | CS_VREDRAW)) == (CS_HREDRAW | CS_VREDRAW)) {
            InvalidateRect(hwnd, nullptr, TRUE);
        } else {
            RECT right{oldW, 0, clientWidth, clientHeight};
            RECT bottom{0, oldH, clientWidth, clientHeight};
            InvalidateRect(hwnd, &right, TRUE);
            InvalidateRect(hwnd, &bottom, TRUE);
        }
        SendMessageA(hwnd, WM_SIZE, 0, MAKELPARAM(clientWidth, clientHeight));
    });
}

bool Harness::ChooseListEntry(int index) {
    HWND main = MainWindow();
    if (!Running() || !IsWindowEnabled(main)) return false;
    for (w32::Window* c : w32::Children(main)) {
        if (!c->combo || !c->visible) continue;
        if (index < 0 || index >= SendMessageA(c->handle, CB_GETCOUNT, 0, 0)) return false;
        HWND list = c->handle;
        return Inject(
            [list, index] {
                w32::Window* w = w32::FindWindow(list);
                if (w != nullptr) w32::ChooseComboEntry(w, index);
            },
            QS_MOUSEBUTTON);
    }
    return false;
}

std::vector<BoxRecord> Harness::Boxes() const {
    std::vector<BoxRecord> out;
    for (const auto& b : w32::Boxes())
        out.push_back(BoxRecord{b->owner, b->text, b->caption, b->type, b->open});
    return out;
}

bool Harness::BoxOpen() const {
    for (const auto& b : w32::Boxes()) {
        if (b->open) return true;
    }
    return false;
}

bool Harness::AnswerBox() {
    std::shared_ptr<w32::Box> newest;
    for (const auto& b : w32::Boxes()) {
        if (b->open) newest = b;
    }
    if (newest == nullptr) return false;
    return Inject([newest] {
        newest->open = false;
        newest->result = IDOK;
    });
}

void Harness::AnswerBoxesAtOnce(bool on) { Backend().SetAutoAnswer(on); }

std::string Harness::Title() const {
    char text[256];
    GetWindowTextA(MainWindow(), text, sizeof text);
    return text;
}

static cairo_surface_t* Surface(HWND hwnd) {
    w32::Window* w = w32::FindWindow(hwnd);
    return w != nullptr ? w->surface : nullptr;
}

COLORREF Harness::Pixel(int x, int y) const {
    cairo_surface_t* s = Surface(MainWindow());
    if (s == nullptr || x < 0 || y < 0 || x >= cairo_image_surface_get_width(s) ||
        y >= cairo_image_surface_get_height(s)) {
        return CLR_INVALID;
    }
    cairo_surface_flush(s);
    const unsigned char* row =
        cairo_image_surface_get_data(s) + y * cairo_image_surface_get_stride(s);
    uint32_t p = reinterpret_cast<const uint32_t*>(row)[x];
    return RGB((p >> 16) & 0xFF, (p >> 8) & 0xFF, p & 0xFF);
}

int Harness::ClientWidth() const {
    RECT r{};
    GetClientRect(MainWindow(), &r);
    return r.right;
}

int Harness::ClientHeight() const {
    RECT r{};
    GetClientRect(MainWindow(), &r);
    return r.bottom;
}

bool Harness::MenuChecked(const std::string& popup, const std::string& item) const {
    const w32::MenuItemInfo* i = FindMenuItem(popup, item);
    return i != nullptr && (i->state & MF_CHECKED) != 0;
}

bool Harness::MenuGrayed(const std::string& popup, const std::string& item) const {
    const w32::MenuItemInfo* i = FindMenuItem(popup, item);
    return i != nullptr && (i->state & MF_GRAYED) != 0;
}

std::string Harness::TextAt(int x, int y) const {
    HWND main = MainWindow();
    for (const w32::DrawnText& t : w32::TextsDrawn()) {
        if (t.window == main && t.x == x && t.y == y) return t.text;
    }
    return "";
}

std::vector<RECT> Harness::TextAndControlAreas() const {
    HWND main = MainWindow();
    std::vector<RECT> areas;
    for (const w32::DrawnText& t : w32::TextsDrawn()) {
        if (t.window == main) areas.push_back(t.cell);
    }
    for (w32::Window* child : w32::Children(main))
        areas.push_back(
            RECT{child->x, child->y, child->x + child->width, child->y + child->height});
    return areas;
}

int Harness::PaintCount() const {
    w32::Window* w = w32::FindWindow(MainWindow());
    return w != nullptr ? w->paintCount : 0;
}

bool Harness::SavePng(const std::string& path) const {
    cairo_surface_t* s = Surface(MainWindow());
    return s != nullptr && cairo_surface_write_to_png(s, path.c_str()) == CAIRO_STATUS_SUCCESS;
}

uint64_t Harness::PictureHash() const {
    cairo_surface_t* s = Surface(MainWindow());
    if (s == nullptr) return 0;
    cairo_surface_flush(s);
    uint64_t h = 1469598103934665603ULL;
    const unsigned char* data = cairo_image_surface_get_data(s);
    int stride = cairo_image_surface_get_stride(s);
    int rows = cairo_image_surface_get_height(s);
    for (int i = 0; i < stride * rows; ++i) {
        h = (h ^ data[i]) * 1099511628211ULL;
    }
    return h;
}

} // namespace headless
