// The console backend: a program without a window (the tools, a test that drives the
// layer's serial ports itself) runs in real time and has no display to wait on.
#include "platform/posix/layer.h"

#include <cerrno>
#include <ctime>

namespace w32 {

namespace {

class Console : public Backend {
  public:
    uint64_t Now() override { return MonotonicMs(); }
    void Sleep(uint64_t ms) override {
        timespec ts{static_cast<time_t>(ms / 1000), static_cast<long>((ms % 1000) * 1000000)};
        while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
        }
    }
    void WaitForEvent(int64_t deadline) override {
        int64_t left = deadline - static_cast<int64_t>(Now());
        if (deadline >= 0 && left > 0) Sleep(static_cast<uint64_t>(left));
    }
};

} // namespace

Backend& ConsoleBackend() {
    static Console console;
    return console;
}

} // namespace w32
