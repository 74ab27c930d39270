#pragma once
// What the main window does, free of any platform code: the key map, the command table and
// the dispatch of WM_CHAR and WM_COMMAND to the handlers of the file list and the result
// views. The Win32 window procedure only translates messages into calls of this class.
#include <cstdint>
#include <memory>
#include <string>

#include "engine/model.h"
#include "ui/window_port.h"

namespace quorv::ui {

class FileList;

// Notification code of a list box selection change.
inline constexpr int kLbnSelChange = 1;

// The command a typed character runs ('a'..'z' act as 'A'..'Z'), or 0 when none.
int command_for_char(unsigned character_code);

// About box texts, from constants fixed when the program is built.
std::string about_version_text();     // "Version %s.%s"
std::string about_build_info_text();  // "Built: %s %s    Edit %s"

class AppWindow {
  public:
    explicit AppWindow(WindowPort& port);
    ~AppWindow();
    AppWindow(const AppWindow&) = delete;
    AppWindow& operator=(const AppWindow&) = delete;

    // Start-up state: empty model, empty file list, problems_only 0.
    void initialize();

    struct CommandResult {
        bool handled;         // false: the caller passes the message to DefWindowProcA
        std::intptr_t value;  // the window procedure's result when handled
    };
    // WM_COMMAND with the low word (command) and the high word (notification) of wParam.
    CommandResult on_command(int command, int notification);

    AnalysisModel& model();
    // The window side's own state, for reading back.
    const FileList& file_list() const;
    int problems_only() const;

  private:
    struct State;
    WindowPort& port_;
    std::unique_ptr<State> state_;
};

}  // namespace quorv::ui
