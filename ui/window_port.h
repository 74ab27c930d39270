#pragma once
// The few operations the window logic may ask of a window. The Win32 port implements them
// with the real controls; tests use a fake that records every call.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace quorv::ui {

// Message box flags, with the values the platform gives them.
inline constexpr unsigned kMbOk = 0x0;
inline constexpr unsigned kMbIconWarning = 0x30;

// What the open-file dialog gave, raw: the logic splits single and multiple picks itself.
struct FilePick {
    enum class Outcome { Confirmed, Cancelled, Failed };
    Outcome outcome = Outcome::Cancelled;
    std::uint32_t error_code = 0;  // CommDlgExtendedError when Failed
    std::string file_buffer;       // the file buffer as the dialog filled it, zero bytes included
    std::string file_title;        // the file-title buffer up to its first zero byte
};

class WindowPort {
  public:
    virtual ~WindowPort() = default;

    // List boxes, named by control ID.
    virtual void reset_list(int list_id) = 0;
    // A measured fill: begin_fill, then rows, then end_fill. measure_row gives the pixel width
    // of exactly the text in the list box's font; average_char_width that font's average.
    virtual void begin_fill(int list_id) = 0;
    virtual int measure_row(int list_id, std::string_view text) = 0;
    virtual int average_char_width(int list_id) = 0;
    virtual void set_horizontal_extent(int list_id, int pixels) = 0;
    virtual void end_fill(int list_id) = 0;
    virtual void add_row(int list_id, std::string_view text) = 0;  // plain LB_ADDSTRING
    virtual void delete_row(int list_id, int row) = 0;
    virtual int current_row(int list_id) = 0;                                // LB_GETCURSEL, -1 for none
    virtual std::vector<int> selected_rows(int list_id, int max_count) = 0;  // ascending
    virtual std::string row_text(int list_id, int row) = 0;

    virtual bool is_checked(int control_id) = 0;
    virtual void set_status_text(std::string_view text) = 0;
    virtual void show_message_box(std::string_view text, std::string_view caption, unsigned flags) = 0;
    virtual FilePick ask_open_files() = 0;
    virtual void open_about_box() = 0;
    virtual void close_window() = 0;
};

}  // namespace quorv::ui
