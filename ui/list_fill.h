#pragma once
// The one way every list box of the main window is filled: begin, rows, end. Each row added
// with add_list_row is measured in the list box's font, and the horizontal extent follows the
// widest measured row of this fill plus the font's average character width, so any row can be
// scrolled into full view. A fill that measures no row leaves the extent as it was.
#include <string_view>

#include "ui/window_port.h"

namespace quorv::ui {

class ListFill {
  public:
    ListFill(WindowPort& port, int list_id);
    ~ListFill();
    ListFill(const ListFill&) = delete;
    ListFill& operator=(const ListFill&) = delete;

    void add_list_row(std::string_view text);
    // A row that does not count for the extent (the details header).
    void add_plain_row(std::string_view text);

  private:
    WindowPort& port_;
    int list_id_;
    int average_char_width_ = 0;
    int widest_ = 0;
    bool measured_any_ = false;
};

}  // namespace quorv::ui
