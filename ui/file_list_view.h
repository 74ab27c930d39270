#pragma once
// The window side of the file list: Add Files, Remove File and the Files selection, over
// the shared list of ui/texts/file_list.h.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/diagnostics.h"
#include "engine/model.h"
#include "ui/texts/file_list.h"
#include "ui/window_port.h"

namespace quorv::ui {

inline constexpr std::string_view kAddFilesStatusText =
    "Click the name of a file to see its full path information.  Click 'Analyze' to proceed.";
inline constexpr std::string_view kRemovedStatusText =
    "File(s) successfully removed.  Click 'Analyze' for updated information.";
inline constexpr std::string_view kNoSelectionText = "Please make a selection from the \"Files to Analyze\" box.";
inline constexpr std::string_view kNoSelectionCaption = "No Selection";
inline constexpr std::string_view kDialogErrorCaption = "Common Dialog Error";
inline constexpr std::string_view kFewerFilesText = "Please select fewer files.";
// The dialog's code for picked names that do not fit its file buffer.
inline constexpr std::uint32_t kFnErrBufferTooSmall = 0x3003;

// What one confirmed pick names: a directory and the file names picked in it.
struct PickedFiles {
    std::string directory;
    std::vector<std::string> names;
};
// A single pick (the file title is set): the directory is the path's drive and directory part
// without a final backslash, the title the name. A multiple pick: the file buffer's
// zero-terminated texts, the directory first (kept as it is), then the names.
PickedFiles split_pick(const FilePick& pick);

// The directory of a picked path, as split_pick takes it from a single pick.
std::string directory_of_pick(std::string_view path);

// "Common Dialog Box Error %X", or the plea for fewer files for FNERR_BUFFERTOOSMALL.
std::string dialog_error_text(std::uint32_t error_code);

// IDC_ADD_FILES. Returns the window procedure's result: 1 when the dialog was cancelled or
// failed, 0 otherwise. The analysis model is left as it was.
int add_files_command(WindowPort& port, FileList& fileNames, const Diagnostics& diagnostics);
// IDC_REMOVE: takes the selected rows off the list and empties the model.
void remove_file_command(WindowPort& port, FileList& fileNames, AnalysisModel& model, const Diagnostics& diagnostics);
// IDC_FILES on LBN_SELCHANGE: the clicked entry's full path into the status line.
void files_selection_command(WindowPort& port, const FileList& fileNames);

}  // namespace quorv::ui
