#include "session.h"

namespace quorv::gui {
namespace {
constexpr Milliseconds kStartLimit{20000};
constexpr Milliseconds kIdleLimit{15000};
constexpr Milliseconds kSettleLimit{30000};
constexpr Milliseconds kExpectedBoxLimit{10000};
constexpr UINT kClickReplyMs = 300;
constexpr int kQuietRounds = 3;
constexpr Milliseconds kQuietInterval{30};
constexpr const char kOpenFileCaption[] = "Select Files to be Analyzed...";
// Message boxes hold their text in a static of this ID and their icon in another.
constexpr int kMessageBoxText = 0xFFFF;
constexpr int kMessageBoxIcon = 1088;
// The file-name box of the Explorer-style open-file dialog.
constexpr int kFileNameCombo = 1148;

struct MainWindowSearch {
    DWORD process_id;
    HWND found;
};

BOOL CALLBACK match_main_window(HWND window, LPARAM param) {
    auto& search = *reinterpret_cast<MainWindowSearch*>(param);
    DWORD owner = 0;
    GetWindowThreadProcessId(window, &owner);
    if (owner != search.process_id || !IsWindowVisible(window) || class_name(window) != "QuorvClass") return TRUE;
    search.found = window;
    return FALSE;
}

HWND find_main_window(DWORD process_id) {
    MainWindowSearch search{process_id, nullptr};
    EnumWindows(match_main_window, reinterpret_cast<LPARAM>(&search));
    return search.found;
}

bool is_message_box(HWND dialog) {
    return GetDlgItem(dialog, kMessageBoxText) != nullptr;
}

MessageBoxSeen read_message_box(HWND box) {
    MessageBoxSeen seen;
    seen.caption = window_text(box);
    seen.text = window_text(GetDlgItem(box, kMessageBoxText));
    DWORD_PTR icon = 0;
    SendMessageTimeoutW(GetDlgItem(box, kMessageBoxIcon), STM_GETICON, 0, 0, SMTO_NORMAL, 5000, &icon);
    seen.has_icon = icon != 0;
    return seen;
}

void close_with_ok(HWND dialog) {
    PostMessageW(GetDlgItem(dialog, IDOK), BM_CLICK, 0, 0);
    if (!wait_until([&] { return !IsWindow(dialog) || !IsWindowVisible(dialog); }, Milliseconds{5000}))
        throw SessionFailure{"a message box did not close on OK"};
}

HWND file_name_edit(HWND dialog) {
    const HWND combo_ex = GetDlgItem(dialog, kFileNameCombo);
    const HWND combo = FindWindowExA(combo_ex, nullptr, "ComboBox", nullptr);
    return FindWindowExA(combo, nullptr, "Edit", nullptr);
}

void confirm(HWND dialog, UINT reply_ms) {
    DWORD_PTR result = 0;
    SendMessageTimeoutW(dialog, WM_COMMAND, MAKEWPARAM(IDOK, BN_CLICKED),
                        reinterpret_cast<LPARAM>(GetDlgItem(dialog, IDOK)), SMTO_NORMAL, reply_ms, &result);
}
}  // namespace

Session::Session(const Paths& paths) {
    STARTUPINFOA startup{};
    startup.cb = sizeof startup;
    std::string command_line = "\"" + paths.quorv_exe + "\"";
    if (!CreateProcessA(paths.quorv_exe.c_str(), command_line.data(), nullptr, nullptr, FALSE, 0, nullptr,
                        paths.work.c_str(), &startup, &process_))
        throw SessionFailure{"cannot start " + paths.quorv_exe};
    if (!wait_until([&] { return (main_ = find_main_window(process_.dwProcessId)) != nullptr; }, kStartLimit))
        throw SessionFailure{"no visible QuorvClass window of the started process"};
    WaitForInputIdle(process_.hProcess, 5000);
    settle();
}

Session::~Session() {
    if (WaitForSingleObject(process_.hProcess, 0) == WAIT_TIMEOUT) {
        for (HWND dialog : owned_dialogs(main_)) PostMessageW(dialog, WM_CLOSE, 0, 0);
        PostMessageW(main_, WM_CLOSE, 0, 0);
        if (WaitForSingleObject(process_.hProcess, 5000) == WAIT_TIMEOUT) TerminateProcess(process_.hProcess, 99);
        WaitForSingleObject(process_.hProcess, 5000);
    }
    CloseHandle(process_.hThread);
    CloseHandle(process_.hProcess);
}

HWND Session::control(int id) const {
    return GetDlgItem(main_, id);
}

bool Session::checked(int id) const {
    DWORD_PTR state = 0;
    SendMessageTimeoutW(control(id), BM_GETCHECK, 0, 0, SMTO_NORMAL, 5000, &state);
    return state == BST_CHECKED;
}

void Session::click(int id) {
    DWORD_PTR result = 0;
    SendMessageTimeoutW(control(id), BM_CLICK, 0, 0, SMTO_NORMAL, kClickReplyMs, &result);
}

void Session::type_char(char character) {
    PostMessageW(main_, WM_CHAR, static_cast<unsigned char>(character), 1);
}

void Session::click_row(int list_id, int row) {
    // Input goes to the window under the point only once the main window is in front again
    // after a box or dialog that covered it.
    bring_to_front(main_);
    wait_until([&] { return GetForegroundWindow() == main_; }, Milliseconds{10000});
    // Wine's list box reports a selection change on the press and again on the release; the
    // release waits until the press has been handled (the list box takes the mouse capture,
    // or a box has come up), so each click gives the same messages whatever the machine's
    // speed. The wait reads the window server's state: messages sent to the window while it
    // has input to handle can keep that input waiting on a busy machine.
    const HWND list = control(list_id);
    const POINT point = list_row_point(list, row);
    const DWORD thread = GetWindowThreadProcessId(main_, nullptr);
    press_at(point);
    wait_until(
        [&] {
            GUITHREADINFO info{};
            info.cbSize = sizeof info;
            GetGUIThreadInfo(thread, &info);
            return info.hwndCapture == list || !owned_dialogs(main_).empty();
        },
        Milliseconds{10000});
    wait_idle(main_, kIdleLimit);
    release_at(point);
}

std::vector<MessageBoxSeen> Session::settle(std::size_t expected_boxes) {
    std::vector<MessageBoxSeen> seen;
    int quiet = 0;
    const auto give_up_waiting = std::chrono::steady_clock::now() + kExpectedBoxLimit;
    const bool settled = wait_until(
        [&] {
            for (HWND dialog : owned_dialogs(main_)) {
                if (!is_message_box(dialog)) return true;
                seen.push_back(read_message_box(dialog));
                close_with_ok(dialog);
                quiet = 0;
                return false;
            }
            if (seen.size() < expected_boxes && std::chrono::steady_clock::now() < give_up_waiting) return false;
            if (!wait_idle(main_, kIdleLimit)) throw SessionFailure{"the window stopped answering"};
            quiet = IsWindowEnabled(main_) ? quiet + 1 : 0;
            if (quiet >= kQuietRounds) return true;
            Sleep(static_cast<DWORD>(kQuietInterval.count()));
            return false;
        },
        kSettleLimit);
    if (!settled) throw SessionFailure{"the window did not come to rest"};
    return seen;
}

HWND Session::wait_dialog(const std::string& caption, Milliseconds limit) {
    HWND found = nullptr;
    wait_until(
        [&] {
            for (HWND dialog : owned_dialogs(main_))
                if (window_text(dialog) == caption) found = dialog;
            return found != nullptr;
        },
        limit);
    if (found == nullptr) throw SessionFailure{"no dialog \"" + caption + "\" came up"};
    return found;
}

void Session::pick_files(const std::string& folder, const std::vector<std::string>& names) {
    const HWND dialog = wait_dialog(kOpenFileCaption);
    const HWND edit = file_name_edit(dialog);
    if (edit == nullptr) throw SessionFailure{"the open-file dialog has no file-name box"};
    if (names.size() == 1) {
        set_window_text(edit, folder + "\\" + names.front());
    } else {
        // Into the folder first: the names of a multiple pick are relative to it.
        set_window_text(edit, folder);
        confirm(dialog, 5000);
        std::string quoted;
        for (const auto& name : names) quoted += "\"" + name + "\" ";
        set_window_text(edit, quoted);
    }
    confirm(dialog, kClickReplyMs);
    if (!wait_until([&] { return !IsWindow(dialog); }, Milliseconds{10000}))
        throw SessionFailure{"the open-file dialog did not close"};
}

std::vector<MessageBoxSeen> Session::add_files(const std::string& folder, const std::vector<std::string>& names,
                                               std::size_t expected_boxes) {
    click(1001);
    pick_files(folder, names);
    return settle(expected_boxes);
}

bool Session::wait_exit(DWORD& exit_code, Milliseconds limit) {
    if (WaitForSingleObject(process_.hProcess, static_cast<DWORD>(limit.count())) != WAIT_OBJECT_0) return false;
    GetExitCodeProcess(process_.hProcess, &exit_code);
    return true;
}

}  // namespace quorv::gui
