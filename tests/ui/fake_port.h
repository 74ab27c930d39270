#pragma once
// A window port for tests: it keeps the rows of each list box as a real one would, records
// every call in order, and answers the dialog and the selection from a script.
#include <gtest/gtest.h>

#include <algorithm>
#include <deque>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include "ui/window_port.h"

namespace quorv::test {

using ui::FilePick;

struct MessageBox {
    std::string text;
    std::string caption;
    unsigned flags;
    bool operator==(const MessageBox&) const = default;
};

inline std::ostream& operator<<(std::ostream& out, const MessageBox& box) {
    return out << "{\"" << box.text << "\", \"" << box.caption << "\", 0x" << std::hex << box.flags << std::dec << "}";
}

class FakePort : public ui::WindowPort {
  public:
    // Pixel widths: every character is char_width wide; the font's average is average_width.
    int char_width = 7;
    int average_width = 6;

    // The script.
    std::deque<FilePick> picks;
    std::map<int, int> current;                // LB_GETCURSEL answers; -1 when absent
    std::map<int, std::vector<int>> selected;  // LB_GETSELITEMS answers, kept in step with deletions
    std::map<int, bool> checked;

    // What the window shows.
    std::map<int, std::vector<std::string>> rows;
    std::map<int, int> extent;  // absent: never set
    std::string status = "Click \"Add Files...\" to begin";
    std::vector<MessageBox> boxes;
    int about_boxes = 0;
    int closes = 0;

    // Every call, in order, as text.
    std::vector<std::string> calls;

    const std::vector<std::string>& list(int id) { return rows[id]; }
    int extent_of(int id) const {
        auto it = extent.find(id);
        return it == extent.end() ? -1 : it->second;
    }
    std::vector<std::string> calls_since(std::size_t mark) const {
        return {calls.begin() + static_cast<std::ptrdiff_t>(mark), calls.end()};
    }

    void reset_list(int id) override {
        log("reset", id);
        rows[id].clear();
        selected[id].clear();
        current.erase(id);
    }
    void begin_fill(int id) override {
        log("begin_fill", id);
        if (open_fill_ != 0) ADD_FAILURE() << "fill of " << id << " begun inside fill of " << open_fill_;
        open_fill_ = id;
    }
    int measure_row(int id, std::string_view text) override {
        log("measure", id, text);
        expect_in_fill(id);
        return static_cast<int>(text.size()) * char_width;
    }
    int average_char_width(int id) override {
        log("average", id);
        expect_in_fill(id);
        return average_width;
    }
    void set_horizontal_extent(int id, int pixels) override {
        log("extent", id, std::to_string(pixels));
        expect_in_fill(id);
        extent[id] = pixels;
    }
    void end_fill(int id) override {
        log("end_fill", id);
        expect_in_fill(id);
        open_fill_ = 0;
    }
    void add_row(int id, std::string_view text) override {
        log("add", id, text);
        rows[id].emplace_back(text);
    }
    void delete_row(int id, int row) override {
        log("delete", id, std::to_string(row));
        auto& r = rows[id];
        if (row < 0 || static_cast<std::size_t>(row) >= r.size()) {
            ADD_FAILURE() << "delete of row " << row << " of " << r.size();
            return;
        }
        r.erase(r.begin() + row);
        // The list box keeps the other selected rows selected, one place further up.
        std::vector<int> kept;
        for (int s : selected[id]) {
            if (s < row) kept.push_back(s);
            if (s > row) kept.push_back(s - 1);
        }
        selected[id] = kept;
    }
    int current_row(int id) override {
        log("current", id);
        auto it = current.find(id);
        return it == current.end() ? -1 : it->second;
    }
    std::vector<int> selected_rows(int id, int max_count) override {
        log("selected", id, std::to_string(max_count));
        return selected[id];
    }
    std::string row_text(int id, int row) override {
        log("text", id, std::to_string(row));
        const auto& r = rows[id];
        return row >= 0 && static_cast<std::size_t>(row) < r.size() ? r[row] : std::string();
    }
    bool is_checked(int id) override {
        log("checked", id);
        return checked[id];
    }
    void set_status_text(std::string_view text) override {
        log("status", 0, text);
        status.assign(text);
    }
    void show_message_box(std::string_view text, std::string_view caption, unsigned flags) override {
        log("box", 0, text);
        boxes.push_back({std::string(text), std::string(caption), flags});
    }
    FilePick ask_open_files() override {
        log("pick", 0);
        if (picks.empty()) {
            ADD_FAILURE() << "no pick scripted";
            return {};
        }
        FilePick p = picks.front();
        picks.pop_front();
        return p;
    }
    void open_about_box() override {
        log("about", 0);
        ++about_boxes;
    }
    void close_window() override {
        log("close", 0);
        ++closes;
    }

  private:
    void log(const char* what, int id, std::string_view text = {}) {
        std::string entry = what;
        if (id != 0) entry += " " + std::to_string(id);
        if (!text.empty()) entry += " " + std::string(text);
        calls.push_back(std::move(entry));
    }
    void expect_in_fill(int id) {
        if (open_fill_ != id) ADD_FAILURE() << "call for list " << id << " outside its fill";
    }
    int open_fill_ = 0;
};

// Dialog outcomes as the open-file dialog gives them.
inline FilePick multiple_pick(const std::string& directory, const std::vector<std::string>& names) {
    FilePick p;
    p.outcome = FilePick::Outcome::Confirmed;
    p.file_buffer = directory;
    p.file_buffer.push_back('\0');
    for (const std::string& n : names) {
        p.file_buffer += n;
        p.file_buffer.push_back('\0');
    }
    p.file_buffer.push_back('\0');
    return p;
}
inline FilePick single_pick(const std::string& path, const std::string& title) {
    FilePick p;
    p.outcome = FilePick::Outcome::Confirmed;
    p.file_buffer = path;
    p.file_buffer.push_back('\0');
    p.file_title = title;
    return p;
}
inline FilePick cancelled_pick() {
    FilePick p;
    p.outcome = FilePick::Outcome::Cancelled;
    return p;
}
inline FilePick failed_pick(std::uint32_t code) {
    FilePick p;
    p.outcome = FilePick::Outcome::Failed;
    p.error_code = code;
    return p;
}

}  // namespace quorv::test
