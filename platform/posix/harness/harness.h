// Runs a program (WinMain, or a small one of a test's own) on the headless backend
// with a virtual clock, and acts and looks as a person at the screen would.
#pragma once

#include "platform/posix/kernel32/serial.h"
#include "platform/posix/layer.h"
#include "platform/posix/user32/ui_rules.h"

#include <functional>
#include <string>
#include <thread>
#include <vector>

namespace headless {

struct BoxRecord {
    HWND owner;
    std::string text;
    std::string caption;
    UINT type;
    bool open;
};

class Harness {
  public:
    // The program's own entry point by default; WinMain runs once per process, since
    // its state is process-wide (CTest runs every test in a process of its own).
    explicit Harness(std::function<int()> entry = {});
    ~Harness();
    Harness(const Harness&) = delete;
    Harness& operator=(const Harness&) = delete;

    // The serial ports the system reports to the program; set before Start. By default
    // one port, "Test Port (COM1)", on a scripted line that takes every setting.
    void SetPorts(std::shared_ptr<w32::PortListScript> ports);
    w32::PortListScript& Ports() { return *ports_; }
    // The scripted line of entry i of the port list, as given.
    w32::ScriptedLine& Line(size_t i = 0) { return *ports_->ports.at(i).line; }

    // Starts the program and returns when it first waits for input.
    void Start();
    bool Running() const;
    int ExitCode() const { return exitCode_; }

    // Time passes on the program's clock; timers fire as they fall due.
    void Advance(uint64_t ms);
    uint64_t Now() const;
    // Lets the program handle whatever is waiting, without time passing.
    void Settle();
    // Runs a function on the program's thread, as if inside its message loop.
    void Run(std::function<void()> fn);

    // A person's actions. Each returns false when a person could not do it: the item
    // is grayed or missing, the popup cannot open, the window takes no input.
    bool ChooseMenu(const std::string& popup, const std::string& item);
    // Keys as a keyboard sends them, through the screen's own rules: "alt+e", "Return",
    // "Down", "Escape", "alt" (Alt pressed and let go alone), "x".
    bool PressKeys(const std::string& keys);
    // The same, typed while the program is inside a call (from a scripted line's
    // callback, on the program's thread): the key waits for the program to take it, as
    // a key pressed during a long exchange does.
    bool TypeDuringCall(const std::string& keys);
    // A click on the port list's face: it takes the keyboard and drops down (or closes).
    bool ClickPortList();
    w32::MenuState MenuBar() const;
    w32::ListState DroppedList() const;
    bool CanOpenPopup(const std::string& popup) const;
    bool ClickCloseBox();
    bool Resize(int clientWidth, int clientHeight);
    bool ChooseListEntry(int index);

    // Message boxes, open or answered, in the order they were shown.
    std::vector<BoxRecord> Boxes() const;
    bool BoxOpen() const;
    bool AnswerBox(); // presses OK on the newest open box
    void AnswerBoxesAtOnce(bool on);

    // What is on screen.
    HWND MainWindow() const;
    std::string Title() const;
    COLORREF Pixel(int x, int y) const;
    int ClientWidth() const;
    int ClientHeight() const;
    bool MenuChecked(const std::string& popup, const std::string& item) const;
    bool MenuGrayed(const std::string& popup, const std::string& item) const;
    std::string TextAt(int x, int y) const;
    // Where the main window shows text or a control of the system's (whose look is the
    // system's own): the cells of the texts drawn, and the child windows.
    std::vector<RECT> TextAndControlAreas() const;
    int PaintCount() const;
    bool SavePng(const std::string& path) const;
    // A checksum of the client area's pixels, to tell whether anything changed.
    uint64_t PictureHash() const;

  private:
    bool Inject(std::function<void()> event, UINT kind = 0);
    const w32::MenuItemInfo* FindMenuItem(const std::string& popup, const std::string& item) const;

    std::function<int()> entry_;
    std::shared_ptr<w32::PortListScript> ports_;
    std::thread thread_;
    int exitCode_ = -1;
    bool started_ = false;
};

} // namespace headless
