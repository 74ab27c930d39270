#pragma once
// One main window's logic over a fake port, driven the way the user drives it: keys, clicks
// and picks, each going through the dispatcher as the Win32 window procedure would send it.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "fake_port.h"
#include "ui/app_window.h"
#include "ui/control_ids.h"
#include "ui/file_list_view.h"

namespace quorv::test {

struct Session {
    FakePort port;
    ui::AppWindow app{port};

    Session() { app.initialize(); }

    // WM_COMMAND; the result the window procedure returns, or -1 for DefWindowProcA.
    std::intptr_t command(int id, int notification = 0) {
        const ui::AppWindow::CommandResult r = app.on_command(id, notification);
        return r.handled ? r.value : -1;
    }
    // WM_CHAR: a mapped character runs its command (sent with notification code 0).
    void type(unsigned character) {
        if (const int id = ui::command_for_char(character); id != 0) command(id, 0);
    }
    std::intptr_t add(const FilePick& pick) {
        port.picks.push_back(pick);
        return command(IDC_ADD_FILES);
    }
    std::intptr_t add(const std::string& directory, const std::vector<std::string>& names) {
        return add(multiple_pick(directory, names));
    }
    void click_file(int row) {
        port.current[IDC_FILES] = row;
        command(IDC_FILES, ui::kLbnSelChange);
    }
    void remove(const std::vector<int>& rows) {
        port.selected[IDC_FILES] = rows;
        command(IDC_REMOVE);
    }
    // Selects the row of IDC_BLOCKS that reads `row`, as a click on it does.
    void click_block(const std::string& row) {
        const auto& r = port.list(IDC_BLOCKS);
        const auto at = std::find(r.begin(), r.end(), row);
        ASSERT_NE(at, r.end()) << "no block row " << row;
        port.current[IDC_BLOCKS] = static_cast<int>(at - r.begin());
        command(IDC_BLOCKS, ui::kLbnSelChange);
    }
    void set_problems_only(bool on) {
        port.checked[IDC_PROBLEMS_ONLY] = on;  // the auto check box flips itself
        command(IDC_PROBLEMS_ONLY);
    }
    std::vector<std::string> messages() const {
        std::vector<std::string> out;
        for (const MessageBox& b : port.boxes) out.push_back(b.text);
        return out;
    }
    std::vector<std::string> full_paths() const {
        std::vector<std::string> out;
        for (const FileEntry* e : app.file_list().entries()) out.push_back(e->full_path);
        return out;
    }
};

}  // namespace quorv::test
