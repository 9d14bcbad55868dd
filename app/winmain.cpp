#include "app/mainwnd.h"
#include "app/state.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE previous, LPSTR, int showMode) {
    if (previous == nullptr) {
        WNDCLASSA wc = {};
        wc.style = CS_VREDRAW | CS_HREDRAW | CS_DBLCLKS;
        wc.lpfnWndProc = MainWndProc;
        wc.hInstance = instance;
        wc.hIcon = LoadIconA(instance, "IDI_ICON1");
        wc.hCursor = LoadCursorA(nullptr, IDC_ARROW);
        wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(BLACK_BRUSH));
        wc.lpszMenuName = MAKEINTRESOURCEA(kMenuResourceId);
        wc.lpszClassName = windowTitle;
        if (RegisterClassA(&wc) == 0) return 0;
    }
    appInstance = instance;
    CreateWindowExA(0, windowTitle, windowTitle, WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                    630, 585, nullptr, nullptr, instance, nullptr);
    // The creation may have failed; mainWindow is then null and the calls below do
    // nothing, and the loop ends on the quit request that Shutdown posted.
    if (mainWindow == nullptr) return 0;
    ShowWindow(mainWindow, showMode);
    UpdateWindow(mainWindow);

    MSG msg;
    while (GetMessageA(&msg, nullptr, 0, 0)) {
        TranslateMessage(&msg);
        DispatchMessageA(&msg);
    }
    return static_cast<int>(msg.wParam);
}
