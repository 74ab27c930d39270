#include "remote_ui.h"

namespace quorv::gui {
namespace {
constexpr Milliseconds kPollInterval{15};
constexpr UINT kMessageLimitMs = 5000;

LRESULT send_w(HWND window, UINT message, WPARAM w_param = 0, LPARAM l_param = 0) {
    DWORD_PTR result = 0;
    if (SendMessageTimeoutW(window, message, w_param, l_param, SMTO_NORMAL, kMessageLimitMs, &result) == 0) return -1;
    return static_cast<LRESULT>(result);
}

INPUT key_input(WORD virtual_key, bool up) {
    INPUT input{};
    input.type = INPUT_KEYBOARD;
    input.ki.wVk = virtual_key;
    input.ki.wScan = static_cast<WORD>(MapVirtualKeyA(virtual_key, MAPVK_VK_TO_VSC));
    input.ki.dwFlags = up ? KEYEVENTF_KEYUP : 0;
    return input;
}

// Every event of a click carries the point, so no event can land where the cursor was.
INPUT mouse_input(DWORD flags, POINT screen_point) {
    INPUT input{};
    input.type = INPUT_MOUSE;
    input.mi.dx = MulDiv(screen_point.x, 65536, GetSystemMetrics(SM_CXSCREEN)) + 1;
    input.mi.dy = MulDiv(screen_point.y, 65536, GetSystemMetrics(SM_CYSCREEN)) + 1;
    input.mi.dwFlags = flags | MOUSEEVENTF_MOVE | MOUSEEVENTF_ABSOLUTE;
    return input;
}
}  // namespace

std::string narrow(const std::wstring& text) {
    if (text.empty()) return {};
    const int size =
        WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0, nullptr, nullptr);
    std::string out(static_cast<std::size_t>(size), '\0');
    WideCharToMultiByte(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), size, nullptr, nullptr);
    return out;
}

std::wstring widen(const std::string& text) {
    if (text.empty()) return {};
    const int size = MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), nullptr, 0);
    std::wstring out(static_cast<std::size_t>(size), L'\0');
    MultiByteToWideChar(CP_ACP, 0, text.data(), static_cast<int>(text.size()), out.data(), size);
    return out;
}

bool wait_until(const std::function<bool()>& condition, Milliseconds limit) {
    const auto deadline = std::chrono::steady_clock::now() + limit;
    for (;;) {
        if (condition()) return true;
        if (std::chrono::steady_clock::now() >= deadline) return false;
        Sleep(static_cast<DWORD>(kPollInterval.count()));
    }
}

std::string window_text(HWND window) {
    const LRESULT length = send_w(window, WM_GETTEXTLENGTH);
    if (length <= 0) return {};
    std::wstring text(static_cast<std::size_t>(length) + 1, L'\0');
    const LRESULT copied = send_w(window, WM_GETTEXT, text.size(), reinterpret_cast<LPARAM>(text.data()));
    text.resize(copied < 0 ? 0 : static_cast<std::size_t>(copied));
    return narrow(text);
}

std::string class_name(HWND window) {
    char name[256] = {};
    GetClassNameA(window, name, sizeof name);
    return name;
}

void set_window_text(HWND window, const std::string& text) {
    const std::wstring wide = widen(text);
    send_w(window, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(wide.c_str()));
}

int list_count(HWND list) {
    return static_cast<int>(send_w(list, LB_GETCOUNT));
}

std::string list_row(HWND list, int row) {
    const LRESULT length = send_w(list, LB_GETTEXTLEN, static_cast<WPARAM>(row));
    std::wstring text(static_cast<std::size_t>(length < 0 ? 0 : length) + 1, L'\0');
    const LRESULT copied = send_w(list, LB_GETTEXT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(text.data()));
    text.resize(copied < 0 ? 0 : static_cast<std::size_t>(copied));
    return narrow(text);
}

std::vector<std::string> list_rows(HWND list) {
    std::vector<std::string> rows;
    const int count = list_count(list);
    for (int i = 0; i < count; ++i) rows.push_back(list_row(list, i));
    return rows;
}

bool wait_idle(HWND window, Milliseconds limit) {
    DWORD_PTR result = 0;
    return SendMessageTimeoutW(window, WM_NULL, 0, 0, SMTO_NORMAL, static_cast<UINT>(limit.count()), &result) != 0;
}

namespace {
struct OwnedSearch {
    HWND owner;
    std::vector<HWND> found;
};

BOOL CALLBACK match_owned_dialog(HWND window, LPARAM param) {
    auto& search = *reinterpret_cast<OwnedSearch*>(param);
    if (IsWindowVisible(window) && GetWindow(window, GW_OWNER) == search.owner && class_name(window) == "#32770")
        search.found.push_back(window);
    return TRUE;
}
}  // namespace

std::vector<HWND> owned_dialogs(HWND owner) {
    OwnedSearch search{owner, {}};
    EnumWindows(match_owned_dialog, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

void press_at(POINT screen_point) {
    INPUT inputs[] = {mouse_input(0, screen_point), mouse_input(MOUSEEVENTF_LEFTDOWN, screen_point)};
    SendInput(2, inputs, sizeof(INPUT));
}

void release_at(POINT screen_point) {
    INPUT input = mouse_input(MOUSEEVENTF_LEFTUP, screen_point);
    SendInput(1, &input, sizeof(INPUT));
}

void click_at(POINT screen_point) {
    INPUT inputs[] = {mouse_input(0, screen_point), mouse_input(MOUSEEVENTF_LEFTDOWN, screen_point),
                      mouse_input(MOUSEEVENTF_LEFTUP, screen_point)};
    SendInput(3, inputs, sizeof(INPUT));
}

void press_key(WORD virtual_key, bool with_shift, bool with_alt) {
    std::vector<INPUT> inputs;
    if (with_alt) inputs.push_back(key_input(VK_MENU, false));
    if (with_shift) inputs.push_back(key_input(VK_SHIFT, false));
    inputs.push_back(key_input(virtual_key, false));
    inputs.push_back(key_input(virtual_key, true));
    if (with_shift) inputs.push_back(key_input(VK_SHIFT, true));
    if (with_alt) inputs.push_back(key_input(VK_MENU, true));
    SendInput(static_cast<UINT>(inputs.size()), inputs.data(), sizeof(INPUT));
}

void bring_to_front(HWND window) {
    SetForegroundWindow(window);
}

POINT list_row_point(HWND list, int row) {
    const auto height = static_cast<int>(send_w(list, LB_GETITEMHEIGHT));
    const auto top = static_cast<int>(send_w(list, LB_GETTOPINDEX));
    POINT point{8, (row - top) * height + height / 2};
    ClientToScreen(list, &point);
    return point;
}

bool close_button_point(HWND window, POINT& point) {
    RECT frame{};
    GetWindowRect(window, &frame);
    const int y = frame.top + GetSystemMetrics(SM_CYFIXEDFRAME) + GetSystemMetrics(SM_CYCAPTION) / 2;
    for (int x = frame.right - 1; x > frame.left; --x) {
        if (send_w(window, WM_NCHITTEST, 0, MAKELPARAM(x, y)) == HTCLOSE) {
            point = {x - 4, y};
            return true;
        }
    }
    return false;
}

}  // namespace quorv::gui
