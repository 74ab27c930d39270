#include "ui/list_fill.h"

namespace quorv::ui {

ListFill::ListFill(WindowPort& port, int list_id) : port_(port), list_id_(list_id) {
    // The font's metrics are read once, before the first row.
    port_.begin_fill(list_id_);
    average_char_width_ = port_.average_char_width(list_id_);
}

ListFill::~ListFill() {
    port_.end_fill(list_id_);
}

void ListFill::add_list_row(std::string_view text) {
    const int width = port_.measure_row(list_id_, text) + average_char_width_;
    if (!measured_any_ || width > widest_) widest_ = width;
    measured_any_ = true;
    port_.set_horizontal_extent(list_id_, widest_);
    port_.add_row(list_id_, text);
}

void ListFill::add_plain_row(std::string_view text) {
    port_.add_row(list_id_, text);
}

}  // namespace quorv::ui
