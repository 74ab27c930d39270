#pragma once
// The window procedures: main_window_proc (the class procedure of QuorvClass, which hands
// keys and commands to the platform-neutral AppWindow) and about_dialog_proc.
#include <windows.h>

#include "ui/app_window.h"

namespace quorv::win32 {

// The dispatcher that main_window_proc forwards WM_CHAR and WM_COMMAND to; set by WinMain
// before the main window is created, so every message of the window finds it.
void attach_app_window(ui::AppWindow* app);

LRESULT CALLBACK main_window_proc(HWND window, UINT message, WPARAM w_param, LPARAM l_param);
INT_PTR CALLBACK about_dialog_proc(HWND dialog, UINT message, WPARAM w_param, LPARAM l_param);

}  // namespace quorv::win32
