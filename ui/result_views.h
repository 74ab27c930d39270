#pragma once
// The window side of the result views: Analyze, block selection and the problems-only
// switch, over the texts of ui/texts/result_texts.h.
#include <string>

#include "engine/diagnostics.h"
#include "engine/model.h"
#include "ui/texts/file_list.h"
#include "ui/texts/result_texts.h"
#include "ui/window_port.h"

namespace quorv::ui {

// Fills IDC_BLOCKS (already emptied by the caller) from the model and returns the hint.
std::string fill_block_list(WindowPort& port, const AnalysisModel& model, bool problems_only);

// IDC_ANALYZE: empties both result lists and the model, runs the analysis over fileNames in
// list order and fills the block list when the run completed.
void analyze_command(WindowPort& port, const FileList& fileNames, AnalysisModel& model, bool problems_only,
                     DiagnosticSink& sink);
// IDC_BLOCKS on LBN_SELCHANGE.
void block_selection_command(WindowPort& port, const AnalysisModel& model, const Diagnostics& diagnostics);
// IDC_PROBLEMS_ONLY: reads the check box (never changes it) and refills from the model as it is.
void problems_only_command(WindowPort& port, const AnalysisModel& model, int& problems_only);

}  // namespace quorv::ui
