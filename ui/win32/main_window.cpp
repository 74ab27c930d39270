#include "ui/win32/main_window.h"

#include <string>

#include "ui/control_ids.h"
#include "ui/win32/win32_port.h"

namespace quorv::win32 {
namespace {
ui::AppWindow* app_window = nullptr;

LRESULT on_char(HWND window, WPARAM w_param, LPARAM l_param) {
    const int command = ui::command_for_char(static_cast<unsigned>(w_param));
    // SendMessageA runs the command to its end before the key goes on to the default.
    if (command != 0) SendMessageA(window, WM_COMMAND, MAKEWPARAM(command, 0), 0);
    return DefWindowProcA(window, WM_CHAR, w_param, l_param);
}

LRESULT on_command(HWND window, WPARAM w_param, LPARAM l_param) {
    if (app_window != nullptr) {
        const auto result = app_window->on_command(LOWORD(w_param), HIWORD(w_param));
        if (result.handled) return static_cast<LRESULT>(result.value);
    }
    return DefWindowProcA(window, WM_COMMAND, w_param, l_param);
}

void set_item_text(HWND dialog, int control_id, const std::string& text) {
    SendDlgItemMessageA(dialog, control_id, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(text.c_str()));
}
}  // namespace

void attach_app_window(ui::AppWindow* app) {
    app_window = app;
}

LRESULT CALLBACK main_window_proc(HWND window, UINT message, WPARAM w_param, LPARAM l_param) {
    main_window = window;
    switch (message) {
        case WM_DESTROY:
            PostQuitMessage(0);
            return 0;
        case WM_CHAR:
            return on_char(window, w_param, l_param);
        case WM_COMMAND:
            return on_command(window, w_param, l_param);
        default:
            // WM_CLOSE included: its default destroys the window, which ends the program.
            return DefWindowProcA(window, message, w_param, l_param);
    }
}

INT_PTR CALLBACK about_dialog_proc(HWND dialog, UINT message, WPARAM w_param, LPARAM) {
    switch (message) {
        case WM_INITDIALOG:
            set_item_text(dialog, IDC_VERSION, ui::about_version_text());
            set_item_text(dialog, IDC_BUILD_INFO, ui::about_build_info_text());
            return TRUE;
        case WM_COMMAND:
            // Only OK (a click, or Enter on the default button) ends the box; IDCANCEL from
            // Escape or the close box is left unhandled, so the box stays.
            if (LOWORD(w_param) != IDC_ABOUT_OK) return FALSE;
            EndDialog(dialog, 0);
            return TRUE;
        case WM_DESTROY:
            EndDialog(dialog, 0);
            return TRUE;
        default:
            return FALSE;
    }
}

}  // namespace quorv::win32
