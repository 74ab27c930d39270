#pragma once
// The Win32 side of the window logic: the WindowPort over the real controls of the main
// window.
#include <windows.h>

#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "ui/window_port.h"

namespace quorv::win32 {

// The main window's handle, stored by main_window_proc at the start of every call; the
// owner of every message box and the parent in which the controls are found by ID.
extern HWND main_window;

class Win32WindowPort : public ui::WindowPort {
  public:
    void reset_list(int list_id) override;
    void begin_fill(int list_id) override;
    int measure_row(int list_id, std::string_view text) override;
    int average_char_width(int list_id) override;
    void set_horizontal_extent(int list_id, int pixels) override;
    void end_fill(int list_id) override;
    void add_row(int list_id, std::string_view text) override;
    void delete_row(int list_id, int row) override;
    int current_row(int list_id) override;
    std::vector<int> selected_rows(int list_id, int max_count) override;
    std::string row_text(int list_id, int row) override;

    bool is_checked(int control_id) override;
    void set_status_text(std::string_view text) override;
    void show_message_box(std::string_view text, std::string_view caption, unsigned flags) override;
    ui::FilePick ask_open_files() override;
    void open_about_box() override;
    void close_window() override;

  private:
    // A device context of a list box with the list box's own font selected, for measuring
    // rows in the font they are drawn in.
    class ListFont {
      public:
        explicit ListFont(HWND list);
        ~ListFont();
        ListFont(const ListFont&) = delete;
        ListFont& operator=(const ListFont&) = delete;
        int text_width(std::string_view text) const;
        int average_char_width() const { return metrics_.tmAveCharWidth; }

      private:
        HWND list_;
        HDC dc_;
        HGDIOBJ previous_font_ = nullptr;
        TEXTMETRICA metrics_{};
    };

    // The list fill under way: its list box, found once, and the font of its rows.
    struct ActiveFill {
        int list_id;
        HWND list;
        std::unique_ptr<ListFont> font;
    };
    std::optional<ActiveFill> fill_;

    HWND list_box(int list_id) const;
    bool filling(int list_id) const { return fill_ && fill_->list_id == list_id; }
};

}  // namespace quorv::win32
