#pragma once
// Reading and driving the windows of another process under Wine: texts come back through
// the wide messages (an ANSI text sent across processes is cut to one character), waits are
// polls with a time limit, and clicks and keys go through the real input queue.
#include <windows.h>

#include <chrono>
#include <functional>
#include <string>
#include <vector>

namespace quorv::gui {

using Milliseconds = std::chrono::milliseconds;

std::string narrow(const std::wstring& text);
std::wstring widen(const std::string& text);

// Polls until the condition holds or the limit passes; true when it held.
bool wait_until(const std::function<bool()>& condition, Milliseconds limit);

std::string window_text(HWND window);
std::string class_name(HWND window);
void set_window_text(HWND window, const std::string& text);

// All rows of a list box, in order; one row; its row count.
std::vector<std::string> list_rows(HWND list);
std::string list_row(HWND list, int row);
int list_count(HWND list);

// The window's thread has handled everything sent before this call (false: timeout).
bool wait_idle(HWND window, Milliseconds limit);

// The visible #32770 windows owned by the owner, topmost first.
std::vector<HWND> owned_dialogs(HWND owner);

// Real input: a left click at a screen point (or its two halves), and key strokes.
void click_at(POINT screen_point);
void press_at(POINT screen_point);
void release_at(POINT screen_point);
void press_key(WORD virtual_key, bool with_shift = false, bool with_alt = false);
void bring_to_front(HWND window);

// The screen point of the middle of a list box row, for a click.
POINT list_row_point(HWND list, int row);
// A point of the window's caption close button, found by hit-testing along the caption.
bool close_button_point(HWND window, POINT& point);

}  // namespace quorv::gui
