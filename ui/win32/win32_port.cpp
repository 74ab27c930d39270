#include "ui/win32/win32_port.h"

#include <commdlg.h>

#include <array>
#include <cstddef>

#include "ui/control_ids.h"
#include "ui/win32/main_window.h"

namespace quorv::win32 {

HWND main_window = nullptr;

namespace {
// The open-file dialog's record without the fields later platform versions appended: it
// ends after lpTemplateName, 76 bytes in the 32-bit program.
constexpr DWORD kOpenFileNameSize = offsetof(OPENFILENAMEA, lpTemplateName) + sizeof(LPCSTR);
static_assert(sizeof(void*) != 4 || kOpenFileNameSize == 76);

constexpr std::size_t kFileBufferSize = 520;
constexpr std::size_t kFileTitleBufferSize = 512;
constexpr DWORD kOpenFileFlags =
    OFN_EXPLORER | OFN_FILEMUSTEXIST | OFN_PATHMUSTEXIST | OFN_ALLOWMULTISELECT | OFN_HIDEREADONLY;
static_assert(kOpenFileFlags == 0x81A04);

// Three description/pattern pairs; the literal's own terminator is the closing zero byte.
constexpr char kOpenFileFilter[] =
    "Object Files (*.obj)\0*.obj\0"
    "Library Files (*.lib)\0*.lib\0"
    "All Files (*.*)\0*.*\0";

LRESULT send_to_list(HWND list, UINT message, WPARAM w_param = 0, LPARAM l_param = 0) {
    return SendMessageA(list, message, w_param, l_param);
}
}  // namespace

Win32WindowPort::ListFont::ListFont(HWND list) : list_(list), dc_(GetDC(list)) {
    if (dc_ == nullptr) return;
    const auto font = reinterpret_cast<HGDIOBJ>(send_to_list(list, WM_GETFONT));
    if (font != nullptr) previous_font_ = SelectObject(dc_, font);
    GetTextMetricsA(dc_, &metrics_);
}

Win32WindowPort::ListFont::~ListFont() {
    if (dc_ == nullptr) return;
    if (previous_font_ != nullptr) SelectObject(dc_, previous_font_);
    ReleaseDC(list_, dc_);
}

int Win32WindowPort::ListFont::text_width(std::string_view text) const {
    SIZE extent{};
    if (dc_ != nullptr) GetTextExtentPoint32A(dc_, text.data(), static_cast<int>(text.size()), &extent);
    return extent.cx;
}

HWND Win32WindowPort::list_box(int list_id) const {
    // Within a fill the list box found at its start serves every row: a lookup by ID asks
    // the window server for the child list, which for 50,000 rows costs more than the rows.
    if (filling(list_id)) return fill_->list;
    return GetDlgItem(main_window, list_id);
}

void Win32WindowPort::reset_list(int list_id) {
    send_to_list(list_box(list_id), LB_RESETCONTENT);
}

void Win32WindowPort::begin_fill(int list_id) {
    if (fill_) end_fill(fill_->list_id);
    const HWND list = list_box(list_id);
    // A list box redraws and recomputes its scroll bar on every added row unless told not to;
    // with tens of thousands of rows that would be most of the fill's time.
    send_to_list(list, WM_SETREDRAW, FALSE);
    fill_ = ActiveFill{list_id, list, std::make_unique<ListFont>(list)};
}

int Win32WindowPort::measure_row(int list_id, std::string_view text) {
    if (filling(list_id)) return fill_->font->text_width(text);
    return ListFont(list_box(list_id)).text_width(text);
}

int Win32WindowPort::average_char_width(int list_id) {
    if (filling(list_id)) return fill_->font->average_char_width();
    return ListFont(list_box(list_id)).average_char_width();
}

void Win32WindowPort::set_horizontal_extent(int list_id, int pixels) {
    send_to_list(list_box(list_id), LB_SETHORIZONTALEXTENT, static_cast<WPARAM>(pixels));
}

void Win32WindowPort::end_fill(int list_id) {
    if (!filling(list_id)) return;
    const HWND list = fill_->list;
    fill_.reset();
    send_to_list(list, WM_SETREDRAW, TRUE);
    InvalidateRect(list, nullptr, TRUE);
}

void Win32WindowPort::add_row(int list_id, std::string_view text) {
    const std::string owned(text);
    send_to_list(list_box(list_id), LB_ADDSTRING, 0, reinterpret_cast<LPARAM>(owned.c_str()));
}

void Win32WindowPort::delete_row(int list_id, int row) {
    send_to_list(list_box(list_id), LB_DELETESTRING, static_cast<WPARAM>(row));
}

int Win32WindowPort::current_row(int list_id) {
    const LRESULT row = send_to_list(list_box(list_id), LB_GETCURSEL);
    return row == LB_ERR ? -1 : static_cast<int>(row);
}

std::vector<int> Win32WindowPort::selected_rows(int list_id, int max_count) {
    if (max_count <= 0) return {};
    std::vector<int> rows(static_cast<std::size_t>(max_count));
    const LRESULT count = send_to_list(list_box(list_id), LB_GETSELITEMS, static_cast<WPARAM>(max_count),
                                       reinterpret_cast<LPARAM>(rows.data()));
    if (count == LB_ERR || count < 0) return {};
    rows.resize(static_cast<std::size_t>(count));
    return rows;
}

std::string Win32WindowPort::row_text(int list_id, int row) {
    const HWND list = list_box(list_id);
    const LRESULT length = send_to_list(list, LB_GETTEXTLEN, static_cast<WPARAM>(row));
    if (length == LB_ERR || length < 0) return {};
    std::string text(static_cast<std::size_t>(length) + 1, '\0');
    const LRESULT copied =
        send_to_list(list, LB_GETTEXT, static_cast<WPARAM>(row), reinterpret_cast<LPARAM>(text.data()));
    text.resize(copied == LB_ERR || copied < 0 ? 0 : static_cast<std::size_t>(copied));
    return text;
}

bool Win32WindowPort::is_checked(int control_id) {
    return SendDlgItemMessageA(main_window, control_id, BM_GETCHECK, 0, 0) == BST_CHECKED;
}

void Win32WindowPort::set_status_text(std::string_view text) {
    const std::string owned(text);
    SendDlgItemMessageA(main_window, IDC_STATUS, WM_SETTEXT, 0, reinterpret_cast<LPARAM>(owned.c_str()));
}

void Win32WindowPort::show_message_box(std::string_view text, std::string_view caption, unsigned flags) {
    const std::string owned_text(text);
    const std::string owned_caption(caption);
    MessageBoxA(main_window, owned_text.c_str(), owned_caption.c_str(), flags);
}

ui::FilePick Win32WindowPort::ask_open_files() {
    std::array<char, kFileBufferSize> file_buffer{};
    std::array<char, kFileTitleBufferSize> title_buffer{};

    OPENFILENAMEA record{};
    record.lStructSize = kOpenFileNameSize;
    record.hwndOwner = main_window;
    record.lpstrFilter = kOpenFileFilter;
    record.nFilterIndex = 0;
    record.lpstrFile = file_buffer.data();
    record.nMaxFile = static_cast<DWORD>(file_buffer.size());
    record.lpstrFileTitle = title_buffer.data();
    record.nMaxFileTitle = static_cast<DWORD>(title_buffer.size());
    record.lpstrTitle = "Select Files to be Analyzed...";
    record.Flags = kOpenFileFlags;
    record.lpstrDefExt = "obj";

    ui::FilePick pick;
    if (GetOpenFileNameA(&record) == 0) {
        pick.error_code = CommDlgExtendedError();
        pick.outcome = pick.error_code == 0 ? ui::FilePick::Outcome::Cancelled : ui::FilePick::Outcome::Failed;
        return pick;
    }
    pick.outcome = ui::FilePick::Outcome::Confirmed;
    // The whole buffer: a multiple pick is a series of zero-terminated texts.
    pick.file_buffer.assign(file_buffer.data(), file_buffer.size());
    pick.file_title = title_buffer.data();
    return pick;
}

void Win32WindowPort::open_about_box() {
    const auto instance = reinterpret_cast<HINSTANCE>(GetWindowLongPtrA(main_window, GWLP_HINSTANCE));
    DialogBoxParamA(instance, "ABOUTDIALOG", main_window, about_dialog_proc, 0);
}

void Win32WindowPort::close_window() {
    DestroyWindow(main_window);
}

}  // namespace quorv::win32
