#include "ui/file_list_view.h"

#include "engine/messages.h"
#include "engine/text.h"
#include "ui/control_ids.h"
#include "ui/list_fill.h"

namespace quorv::ui {

std::string directory_of_pick(std::string_view path) {
    std::string directory;
    if (path.size() >= 2 && path[1] == ':') {
        directory.assign(path.substr(0, 2));
        path.remove_prefix(2);
    }
    const std::size_t cut = path.find_last_of("\\/");
    if (cut != std::string_view::npos) directory.append(path.substr(0, cut + 1));
    // A root directory ("D:\") becomes the drive alone, so that "%s\\%s" gives one backslash.
    if (!directory.empty() && directory.back() == '\\') directory.pop_back();
    return directory;
}

PickedFiles split_pick(const FilePick& pick) {
    PickedFiles out;
    const std::string_view buffer = pick.file_buffer;
    if (!pick.file_title.empty()) {
        out.directory = directory_of_pick(buffer.substr(0, buffer.find('\0')));
        out.names.push_back(pick.file_title);
        return out;
    }
    // A series of zero-terminated texts ended by an empty one: the directory, then the names.
    std::size_t at = 0;
    bool first = true;
    while (at < buffer.size()) {
        std::size_t end = buffer.find('\0', at);
        if (end == std::string_view::npos) end = buffer.size();
        const std::string_view text = buffer.substr(at, end - at);
        if (first) {
            out.directory.assign(text);
            first = false;
        } else if (text.empty()) {
            break;
        } else {
            out.names.emplace_back(text);
        }
        at = end + 1;
    }
    return out;
}

std::string dialog_error_text(std::uint32_t error_code) {
    if (error_code == kFnErrBufferTooSmall) return std::string(kFewerFilesText);
    return compose("Common Dialog Box Error %X", static_cast<unsigned>(error_code));
}

namespace {

void refill_files(WindowPort& port, const FileList& fileNames) {
    port.reset_list(IDC_FILES);
    ListFill fill(port, IDC_FILES);
    for (const FileEntry* entry : fileNames.entries()) fill.add_list_row(file_row_text(*entry));
}

}  // namespace

int add_files_command(WindowPort& port, FileList& fileNames, const Diagnostics& diagnostics) {
    const FilePick pick = port.ask_open_files();
    if (pick.outcome != FilePick::Outcome::Confirmed) {
        // An error code of 0 is how the dialog says the user cancelled.
        if (pick.outcome == FilePick::Outcome::Failed && pick.error_code != 0) {
            port.show_message_box(dialog_error_text(pick.error_code), kDialogErrorCaption, kMbOk | kMbIconWarning);
        }
        return 1;
    }
    const PickedFiles picked = split_pick(pick);
    std::string full_path;
    for (const std::string& name : picked.names) {
        if (fileNames.add_file(picked.directory, name, full_path) == kFileAlreadyListed) {
            diagnostics.report(already_on_list_text(full_path));
        }
    }
    refill_files(port, fileNames);
    port.reset_list(IDC_BLOCKS);
    port.reset_list(IDC_DETAILS);
    port.set_status_text(kAddFilesStatusText);
    return 0;
}

void remove_file_command(WindowPort& port, FileList& fileNames, AnalysisModel& model, const Diagnostics& diagnostics) {
    const int file_count = fileNames.file_count();
    const std::vector<int> selected = port.selected_rows(IDC_FILES, file_count);
    if (selected.empty()) {
        port.show_message_box(kNoSelectionText, kNoSelectionCaption, kMbOk);
        return;
    }
    if (selected.size() > static_cast<std::size_t>(file_count)) diagnostics.report(msg::kRemoveTooMany);
    port.reset_list(IDC_BLOCKS);
    port.reset_list(IDC_DETAILS);
    fileNames.remove_rows(
        selected, [&](int row) { port.delete_row(IDC_FILES, row); }, diagnostics);
    model.reset_model();
    port.set_status_text(kRemovedStatusText);
}

void files_selection_command(WindowPort& port, const FileList& fileNames) {
    const FileEntry* entry = fileNames.entry_at(port.current_row(IDC_FILES));
    if (entry != nullptr) port.set_status_text(entry->full_path);
}

}  // namespace quorv::ui
