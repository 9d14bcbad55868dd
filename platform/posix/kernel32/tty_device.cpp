// A tty device behind an open port. The descriptor is non-blocking; every wait is a
// poll with its deadline, so nothing here blocks longer than asked.
#include "platform/posix/kernel32/device.h"
#include "platform/posix/layer.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <ctime>
#include <deque>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace w32 {

namespace {

// An error that says the device itself is gone (pulled out, hung up), not this call.
bool DeviceGone(int error) {
    return error == EIO || error == ENXIO || error == ENODEV || error == EPIPE || error == EBADF ||
           error == ENOTTY;
}

class Tty : public Device {
  public:
    explicit Tty(int fd) : fd_(fd) {}
    ~Tty() override { close(fd_); }

    uint64_t Now() override { return MonotonicMs(); }

    bool Apply(const LineSettings& s, uint32_t* rate) override {
        std::string problem;
        if (line::Apply(fd_, s, rate, &problem)) return true;
        if (DeviceGone(errno)) goneError = errno;
        return false;
    }

    bool Current(LineSettings* s) override { return line::Read(fd_, s); }

    void SetModemLines(bool dtr, bool rts) override { line::SetModemLines(fd_, dtr, rts); }

    void DropInput() override {
        held_.clear();
        line::DropInput(fd_);
    }
    void DropOutput() override { line::DropOutput(fd_); }

    Wait WaitReadable(int64_t deadline) override {
        return held_.empty() ? WaitFor(POLLIN, deadline) : Wait::Ready;
    }
    Wait WaitWritable(int64_t deadline) override { return WaitFor(POLLOUT, deadline); }

    // What has arrived is taken in one read and held, as a driver holds it: a read of
    // the echo then finds the answer behind it already there.
    long ReadAvailable(uint8_t* out, size_t max) override {
        if (held_.empty()) {
            uint8_t buffer[256];
            for (;;) {
                ssize_t n = read(fd_, buffer, sizeof buffer);
                if (n > 0) {
                    held_.insert(held_.end(), buffer, buffer + n);
                    break;
                }
                if (n == 0 || errno == EAGAIN) return 0; // nothing there (VMIN 0)
                if (errno == EINTR) continue;
                goneError = errno;
                return -1;
            }
        }
        size_t n = std::min(max, held_.size());
        std::copy(held_.begin(), held_.begin() + static_cast<long>(n), out);
        held_.erase(held_.begin(), held_.begin() + static_cast<long>(n));
        return static_cast<long>(n);
    }

    long WriteSome(const uint8_t* bytes, size_t count) override {
        for (;;) {
            ssize_t n = write(fd_, bytes, count);
            if (n >= 0) return static_cast<long>(n);
            if (errno == EINTR) continue;
            if (errno == EAGAIN) return 0;
            goneError = errno;
            return -1;
        }
    }

  private:
    // A hang-up (the other end of a pseudo-terminal closed, an adapter pulled out) ends
    // the wait as gone once what had arrived before it has been read.
    Wait WaitFor(short events, int64_t deadline) {
        for (;;) {
            int wait = -1;
            if (deadline >= 0) {
                int64_t left = deadline - static_cast<int64_t>(Now());
                if (left < 0) left = 0;
                wait = left > INT_MAX ? INT_MAX : static_cast<int>(left);
            }
            pollfd p{fd_, events, 0};
            int n = poll(&p, 1, wait);
            if (n < 0 && errno == EINTR) continue;
            if (n < 0) {
                goneError = errno;
                return Wait::Gone;
            }
            if (n == 0) {
                if (deadline >= 0 && static_cast<int64_t>(Now()) >= deadline) return Wait::TimedOut;
                continue; // a wait longer than poll can take at once
            }
            if ((p.revents & (POLLHUP | POLLERR | POLLNVAL)) != 0) {
                int waiting = 0;
                if (events == POLLIN && ioctl(fd_, FIONREAD, &waiting) == 0 && waiting > 0)
                    return Wait::Ready;
                goneError = (p.revents & POLLNVAL) != 0 ? EBADF : EIO;
                return Wait::Gone;
            }
            return Wait::Ready;
        }
    }

    int fd_;
    std::deque<uint8_t> held_;
};

} // namespace

std::unique_ptr<Device> TtyDevice(int fd) { return std::make_unique<Tty>(fd); }

} // namespace w32
