#include "ui/app_window.h"

#include <string_view>

#include "engine/diagnostics.h"
#include "engine/text.h"
#include "quorv_version.h"
#include "ui/control_ids.h"
#include "ui/file_list_view.h"
#include "ui/result_views.h"

namespace quorv::ui {

int command_for_char(unsigned character_code) {
    if (character_code >= 'a' && character_code <= 'z') character_code -= 'a' - 'A';
    switch (character_code) {
        case 'A':
            return IDC_ANALYZE;
        case 'F':
            return IDC_ADD_FILES;
        case 'P':
            return IDC_PROBLEMS_ONLY;
        case 'Q':
            return IDC_QUIT;
        case 'R':
            return IDC_REMOVE;
        case 'U':
            return IDC_ABOUT;
        default:
            return 0;
    }
}

std::string about_version_text() {
    return compose("Version %s.%s", QUORV_VERSION_MAJOR, QUORV_VERSION_MINOR);
}

std::string about_build_info_text() {
    return compose("Built: %s %s    Edit %s", QUORV_BUILD_DATE, QUORV_BUILD_TIME, QUORV_EDIT_LEVEL);
}

namespace {

// Every diagnostic becomes a warning box captioned "Error", owned by the main window.
class PortMessageSink : public DiagnosticSink {
  public:
    explicit PortMessageSink(WindowPort& port) : port_(port) {}
    void show(const Diagnostic& diagnostic) override {
        port_.show_message_box(diagnostic.text, "Error", kMbOk | kMbIconWarning);
    }

  private:
    WindowPort& port_;
};

}  // namespace

struct AppWindow::State {
    // The window shows no initializers and no layouts: the model keeps none.
    explicit State(WindowPort& port) : sink(port), diagnostics(sink) {
        model.keep_definitions(false);
        model.keep_layouts(false);
    }
    PortMessageSink sink;
    Diagnostics diagnostics;
    FileList fileNames;
    AnalysisModel model;
    int problems_only = 0;
};

AppWindow::AppWindow(WindowPort& port) : port_(port), state_(std::make_unique<State>(port)) {}

AppWindow::~AppWindow() = default;

void AppWindow::initialize() {
    state_->model.reset_model();
    state_->fileNames.clear();
    state_->problems_only = 0;
}

AppWindow::CommandResult AppWindow::on_command(int command, int notification) {
    State& s = *state_;
    switch (command) {
        case IDC_FILES:
            if (notification == kLbnSelChange) files_selection_command(port_, s.fileNames);
            return {true, 0};
        case IDC_ADD_FILES:
            return {true, add_files_command(port_, s.fileNames, s.diagnostics)};
        case IDC_BLOCKS:
            if (notification == kLbnSelChange) block_selection_command(port_, s.model, s.diagnostics);
            return {true, 0};
        case IDC_ANALYZE:
            analyze_command(port_, s.fileNames, s.model, s.problems_only != 0, s.sink);
            return {true, 0};
        case IDC_REMOVE:
            remove_file_command(port_, s.fileNames, s.model, s.diagnostics);
            return {true, 0};
        case IDC_PROBLEMS_ONLY:
            problems_only_command(port_, s.model, s.problems_only);
            return {true, 0};
        case IDC_QUIT:
            port_.close_window();
            return {true, 0};
        case IDC_ABOUT:
            port_.open_about_box();
            return {true, 0};
        default:
            // IDC_DETAILS (a selection in the Size and File list), 1002 and everything else.
            return {false, 0};
    }
}

AnalysisModel& AppWindow::model() {
    return state_->model;
}

const FileList& AppWindow::file_list() const {
    return state_->fileNames;
}

int AppWindow::problems_only() const {
    return state_->problems_only;
}

}  // namespace quorv::ui
