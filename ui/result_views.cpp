#include "ui/result_views.h"

#include "engine/messages.h"
#include "engine/run.h"
#include "ui/control_ids.h"
#include "ui/list_fill.h"

namespace quorv::ui {

std::string fill_block_list(WindowPort& port, const AnalysisModel& model, bool problems_only) {
    BlockRows blocks = block_list_rows(model, problems_only);
    ListFill fill(port, IDC_BLOCKS);
    for (const std::string& row : blocks.rows) fill.add_list_row(row);
    return std::move(blocks.hint);
}

void analyze_command(WindowPort& port, const FileList& fileNames, AnalysisModel& model, bool problems_only,
                     DiagnosticSink& sink) {
    port.reset_list(IDC_BLOCKS);
    port.reset_list(IDC_DETAILS);
    model.reset_model();
    if (fileNames.empty()) {
        Diagnostics(sink).report(msg::kNoFiles);
        return;
    }
    // A run that stops has reported why; the lists stay empty and the model keeps what it has.
    if (run_analysis(fileNames.entries(), model, sink) != RunOutcome::Completed) return;
    port.set_status_text(fill_block_list(port, model, problems_only));
}

void block_selection_command(WindowPort& port, const AnalysisModel& model, const Diagnostics& diagnostics) {
    const int row = port.current_row(IDC_BLOCKS);
    std::string name = row >= 0 ? port.row_text(IDC_BLOCKS, row) : std::string();
    if (!name.empty() && name.back() == '*') name.pop_back();
    const CommonBlock* block = model.find_block(name);
    if (block == nullptr) {
        diagnostics.report(block_not_found_text(name));
        return;
    }
    port.reset_list(IDC_DETAILS);
    {
        const std::vector<std::string> rows = details_rows(*block);
        ListFill fill(port, IDC_DETAILS);
        fill.add_plain_row(rows.front());
        for (std::size_t i = 1; i < rows.size(); ++i) fill.add_list_row(rows[i]);
    }
    const std::string conflict = conflict_text(model, *block);
    if (!conflict.empty()) diagnostics.report(conflict);
}

void problems_only_command(WindowPort& port, const AnalysisModel& model, int& problems_only) {
    problems_only = port.is_checked(IDC_PROBLEMS_ONLY) ? 1 : 0;
    port.reset_list(IDC_BLOCKS);
    port.reset_list(IDC_DETAILS);
    port.set_status_text(fill_block_list(port, model, problems_only != 0));
}

}  // namespace quorv::ui
