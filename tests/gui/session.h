#pragma once
// One running quorv.exe, seen from outside as a user sees it: its main window and controls,
// the message boxes it raises, its open-file dialog and its exit code.
#include <windows.h>

#include <string>
#include <vector>

#include "remote_ui.h"

namespace quorv::gui {

struct MessageBoxSeen {
    std::string caption;
    std::string text;
    bool has_icon = false;
};

// Where the driver finds things, as Windows paths (Linux files appear under Z:).
struct Paths {
    std::string quorv_exe;
    std::string corpus;  // the shared corpus folder
    std::string work;    // generated inputs, screenshots
};

// Ends the scenario: a window or a dialog that does not come within its time limit.
struct SessionFailure {
    std::string what;
};

class Session {
  public:
    explicit Session(const Paths& paths);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    HWND main() const { return main_; }
    HWND control(int id) const;
    std::string text(int id) const { return window_text(control(id)); }
    std::vector<std::string> rows(int id) const { return list_rows(control(id)); }
    bool checked(int id) const;

    // A click on a push button or the check box, through BM_CLICK; returns once the
    // command has ended or a modal window has come up.
    void click(int id);
    // A typed character, as the message loop would pass it on (WM_CHAR to the main window).
    void type_char(char character);
    // A real click on a row of a list box.
    void click_row(int list_id, int row);

    // Waits until the window is idle with nothing modal up. Message boxes that come up on
    // the way are read, closed with OK and returned in order; the wait gives the first
    // expected_boxes of them time to come. Stops early, leaving it up, when another dialog
    // (About, open-file) comes up.
    std::vector<MessageBoxSeen> settle(std::size_t expected_boxes = 0);

    // A visible dialog owned by the main window with that caption, within the time limit.
    HWND wait_dialog(const std::string& caption, Milliseconds limit = Milliseconds{10000});
    // Picks files in the open-file dialog, which Add Files has opened: one file by its full
    // path, or several names in one folder as one multiple pick.
    void pick_files(const std::string& folder, const std::vector<std::string>& names);
    // Add Files, the pick, and whatever boxes follow.
    std::vector<MessageBoxSeen> add_files(const std::string& folder, const std::vector<std::string>& names,
                                          std::size_t expected_boxes = 0);

    // Waits for the process to end; false when it has not ended within the limit.
    bool wait_exit(DWORD& exit_code, Milliseconds limit = Milliseconds{10000});

  private:
    PROCESS_INFORMATION process_{};
    HWND main_ = nullptr;
};

}  // namespace quorv::gui
