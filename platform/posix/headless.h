// The headless display backend: the client area is a pixel buffer in memory.
#pragma once

#include "layer.h"

#include <atomic>
#include <condition_variable>
#include <mutex>

namespace w32 {

// Program time that passes only when a test lets it (or the program sleeps), so that
// minutes of ticks and time-outs run in milliseconds and exactly.
class VirtualClockBackend : public Backend {
  public:
    uint64_t Now() override { return now_; }
    void Sleep(uint64_t ms) override { now_ += ms; }
    void WaitForEvent(int64_t deadline) override;
    void BoxOpened(Box& box) override;

    void SetNow(uint64_t now) { now_ = now; }
    void SetAutoAnswer(bool on) { autoAnswer_ = on; }

    // The program's thread and the test's thread take turns: exactly one of them runs.
    // With no test thread (layer tests that drive the layer themselves) a wait jumps
    // the clock to the next timer instead.
    void SetThreaded(bool on) { threaded_ = on; }
    void Reset();
    void GiveTurnToProgram();
    void WaitForTurn();  // test thread: until the program waits for input or has ended
    void Resume();       // test thread: let the program run until it waits again
    void ProgramEnded(); // program thread: the entry point has returned
    bool Ended() const { return ended_; }

  private:
    uint64_t now_ = 0;
    bool autoAnswer_ = false;
    bool threaded_ = false;
    std::mutex mutex_;
    std::condition_variable turn_;
    bool programTurn_ = false;
    std::atomic<bool> ended_{false};
};

// The headless backend on the real clock, for the program itself when nothing can show
// a window: message boxes are told on standard error and answered, the picture is
// saved as a PNG (at most once a second) when a path is given, and SIGINT or SIGTERM
// closes the main window.
class RealtimeBackend : public Backend {
  public:
    explicit RealtimeBackend(const char* snapshotPath);
    uint64_t Now() override;
    void Sleep(uint64_t ms) override;
    void WaitForEvent(int64_t deadline) override;
    void Present(Window* w, const RECT& r) override;
    void BoxOpened(Box& box) override;
    void SaveSnapshot(Window* w);
    static void InstallSignalHandlers();

  private:
    std::string snapshotPath_;
    uint64_t lastSnapshot_ = 0;
    bool snapshotDue_ = false;
};

} // namespace w32
