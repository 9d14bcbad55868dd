// The headless display backend: the client area is a pixel buffer in memory.
#pragma once

#include "platform/posix/layer.h"

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
    // Past the time the test let pass, no timer tick is delivered: a program busy for
    // longer than that (a poll of a silent ECU) stops at its next wait.
    bool TimersHeld() override { return threaded_ && now_ > limit_; }
    void SetLimit(uint64_t limit) { limit_ = limit; }
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
    void Park();
    uint64_t now_ = 0;
    uint64_t limit_ = UINT64_MAX;
    bool autoAnswer_ = false;
    bool threaded_ = false;
    std::mutex mutex_;
    std::condition_variable turn_;
    bool programTurn_ = false;
    std::atomic<bool> ended_{false};
};

} // namespace w32
