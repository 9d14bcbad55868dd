// One whole poll of the seventeen registers over a pseudo-terminal, against the
// simulated ECU answering at once. The protocol's own floor is 17 pauses of 10 ms; the
// figure that counts is the poll's time over that floor ("floor_ratio").
#include "app/state.h"
#include "ecu/ecu.h"
#include "platform/posix/layer.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

// The real clock, with nothing to wait for: no window is on screen.
class RealClock : public w32::Backend {
  public:
    uint64_t Now() override {
        return static_cast<uint64_t>(std::chrono::duration_cast<std::chrono::milliseconds>(
                                         std::chrono::steady_clock::now().time_since_epoch())
                                         .count());
    }
    void Sleep(uint64_t ms) override { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); }
    void WaitForEvent(int64_t) override { std::abort(); }
};

LRESULT CALLBACK Proc(HWND h, UINT m, WPARAM w, LPARAM l) { return DefWindowProcA(h, m, w, l); }

pid_t simulator = 0;

bool Connect() {
    const char* sim = std::getenv("QUORVEL_ECU_SIM");
    std::string path = sim != nullptr ? sim : "build/release/ecu-sim";
    std::string link = "/tmp/quorvel-bench-ecu-" + std::to_string(getpid());
    simulator = fork();
    if (simulator == 0) {
        execl(path.c_str(), path.c_str(), "--link", link.c_str(), "--reply-delay", "0",
              static_cast<char*>(nullptr));
        std::perror("ecu-sim");
        _exit(127);
    }
    for (int i = 0; i < 50 && access(link.c_str(), F_OK) != 0; ++i)
        usleep(100000);
    setenv("QUORVEL_PORTS", link.c_str(), 1);

    static RealClock clock;
    w32::SetBackend(&clock);
    WNDCLASSA wc = {};
    wc.lpfnWndProc = Proc;
    wc.lpszClassName = "poll bench";
    RegisterClassA(&wc);
    mainWindow = CreateWindowExA(0, "poll bench", "", WS_OVERLAPPEDWINDOW, 0, 0, 630, 585, nullptr,
                                 nullptr, nullptr, nullptr);
    redBrush = CreateSolidBrush(RGB(255, 0, 0));
    const GUID ports = {
        0x86E0D1E0, 0x8089, 0x11D0, {0x9C, 0xE4, 0x08, 0x00, 0x3E, 0x30, 0x1F, 0x73}};
    SetupDiDestroyDeviceInfoList(
        SetupDiGetClassDevsA(&ports, nullptr, nullptr, DIGCF_PRESENT | DIGCF_DEVICEINTERFACE));
    snprintf(portPath, sizeof portPath, "\\\\.\\Com1");
    // The wake-up, with the program's timing: a byte every 120 ms, the first poll 500 ms
    // after the reopen.
    OpenPort(1200);
    if (portHandle == INVALID_HANDLE_VALUE) return false;
    for (uint8_t b : {0x0F, 0xAA, 0xCC}) {
        usleep(120000);
        DWORD written = 0;
        WriteFile(portHandle, &b, 1, &written, nullptr);
    }
    CloseHandle(portHandle);
    OpenPort(7680);
    usleep(500000);
    return portHandle != INVALID_HANDLE_VALUE;
}

void BM_PollOverPty(benchmark::State& state) {
    static bool connected = Connect();
    if (!connected) {
        state.SkipWithError("no simulated ECU");
        return;
    }
    double total = 0;
    for (auto _ : state) { // NOLINT(clang-analyzer-deadcode.DeadStores)
        auto start = std::chrono::steady_clock::now();
        PollEcu();
        double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        state.SetIterationTime(s);
        total += s;
    }
    state.counters["floor_ratio"] = total / static_cast<double>(state.iterations()) / 0.170;
    state.counters["rpm"] = EngineReadings.engineSpeed;
}
BENCHMARK(BM_PollOverPty)->UseManualTime()->Unit(benchmark::kMillisecond)->Iterations(20);

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    if (simulator > 0) {
        kill(simulator, SIGTERM);
        waitpid(simulator, nullptr, 0);
    }
    return 0;
}
