// Start-up of quorv.exe: the window class, the main window from its template, the
// accelerator table, the initial state and the message loop.
#include <windows.h>

#include "ui/app_window.h"
#include "ui/control_ids.h"
#include "ui/win32/main_window.h"
#include "ui/win32/win32_port.h"

namespace {
using quorv::win32::main_window_proc;

constexpr char kClassName[] = "QuorvClass";

// Exit codes of a start-up that cannot give the user a window.
constexpr int kNoWindowClass = 2;
constexpr int kNoMainWindow = 3;
constexpr int kNoAccelerators = 4;
constexpr int kMessageLoopFailed = 5;

bool register_window_class(HINSTANCE instance) {
    WNDCLASSEXA window_class{};
    window_class.cbSize = sizeof(WNDCLASSEXA);
    window_class.style = CS_HREDRAW | CS_VREDRAW;
    window_class.lpfnWndProc = main_window_proc;
    window_class.cbClsExtra = 0;
    // A class named in a dialog template must reserve the dialog manager's window bytes.
    window_class.cbWndExtra = DLGWINDOWEXTRA;
    window_class.hInstance = instance;
    window_class.hIcon = LoadIconA(instance, "ICON");
    window_class.hCursor = LoadCursorA(nullptr, MAKEINTRESOURCEA(32512));  // IDC_ARROW
    window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_MENU + 1);
    window_class.lpszMenuName = nullptr;
    window_class.lpszClassName = kClassName;
    window_class.hIconSm = LoadIconA(instance, "SMICON");
    return RegisterClassExA(&window_class) != 0;
}

int run_message_loop(HACCEL accelerators) {
    MSG message{};
    for (;;) {
        const BOOL got = GetMessageA(&message, nullptr, 0, 0);
        if (got == 0) return static_cast<int>(message.wParam);
        if (got == -1) return kMessageLoopFailed;
        // No IsDialogMessageA: the key map and the accelerator stand in for the dialog
        // manager's keyboard handling, and a translated key is still dispatched.
        if (TranslateAcceleratorA(quorv::win32::main_window, accelerators, &message) == 0) TranslateMessage(&message);
        DispatchMessageA(&message);
    }
}
}  // namespace

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int show_command) {
    quorv::win32::Win32WindowPort port;
    quorv::ui::AppWindow app(port);
    quorv::win32::attach_app_window(&app);
    // A start-up that cannot give the user a window says why in the diagnostics' own box.
    const auto report = [&](const char* text) {
        port.show_message_box(text, "Error", quorv::ui::kMbOk | quorv::ui::kMbIconWarning);
    };

    if (!register_window_class(instance)) {
        report("QUORV Internal: cannot register the window class QuorvClass.");
        return kNoWindowClass;
    }
    const HWND window = CreateDialogParamA(instance, "MAINDIALOG", nullptr, nullptr, 0);
    if (window == nullptr) {
        report("QUORV Internal: cannot create the main window.");
        return kNoMainWindow;
    }
    const HACCEL accelerators = LoadAcceleratorsA(instance, MAKEINTRESOURCEA(IDR_ACCELERATORS));
    if (accelerators == nullptr) {
        report("QUORV Internal: cannot load the accelerator table.");
        DestroyWindow(window);
        return kNoAccelerators;
    }
    ShowWindow(window, show_command);
    app.initialize();
    const int exit_code = run_message_loop(accelerators);
    quorv::win32::attach_app_window(nullptr);
    return exit_code;
}
