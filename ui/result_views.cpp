#include "ui/result_views.h"

#include "engine/report.h"
#include "engine/text.h"
#include "ui/control_ids.h"
#include "ui/file_list_view.h"
#include "ui/list_fill.h"
#include "ui/window_port.h"

namespace quorv::ui {

std::string_view block_list_hint(bool rows_added, bool problems_only) {
    if (rows_added) return problems_only ? kHintProblems : kHintBlocks;
    return problems_only ? kHintNoProblems : kHintNoBlocks;
}

BlockRows block_list_rows(const AnalysisModel& model, bool problems_only) {
    BlockRows out;
    for_each_block_row(model, problems_only, [&](std::string_view name, bool starred) {
        std::string& row = out.rows.emplace_back(name);
        if (starred) row += '*';
    });
    out.hint = block_list_hint(!out.rows.empty(), problems_only);
    return out;
}

std::string details_header_row() {
    // One blank more after the first column than the declaration rows have.
    return compose("%-10s %-15s%-10s", "Size", "Initialized", "File Name");
}

std::string details_row(const ObjectRef& declaration) {
    const FileEntry& file = *declaration.file;
    // Sizes are unsigned 32-bit: a block of 3,000,000,000 bytes must not read negative.
    std::string row = compose("%-10u%-15s%-10s", static_cast<unsigned>(declaration.size),
                              declaration.initialized ? "y" : " ", file.display_name.c_str());
    if (file.duplicate_ordinal > 1) row += compose(" (%d)", static_cast<int>(file.duplicate_ordinal));
    return row;
}

std::vector<std::string> details_rows(const CommonBlock& block) {
    std::vector<std::string> rows;
    rows.reserve(block.declarations.size() + 1);
    rows.push_back(details_header_row());
    for (const ObjectRef& declaration : block.declarations) rows.push_back(details_row(declaration));
    return rows;
}

std::string conflict_text(const CommonBlock& block, const ProcedureEntry& procedure) {
    return compose("Common block name \"%.*s\"conflicts with procedure \"%.*s\" defined in %s.",
                   static_cast<int>(block.name.size()), block.name.data(),
                   static_cast<int>(procedure.name.size()), procedure.name.data(),
                   procedure.defining_object.file->display_name.c_str());
}

std::string conflict_text(const AnalysisModel& model, const CommonBlock& block) {
    const ProcedureEntry* procedure = model.find_conflicting_procedure(block);
    return procedure == nullptr ? std::string() : conflict_text(block, *procedure);
}

std::string block_not_found_text(std::string_view name) {
    return compose("COMMON block %s not found.", std::string(name).c_str());
}

// --- The window side ---

std::string fill_block_list(WindowPort& port, const AnalysisModel& model, bool problems_only) {
    BlockRows blocks = block_list_rows(model, problems_only);
    ListFill fill(port, IDC_BLOCKS);
    for (const std::string& row : blocks.rows) fill.add_list_row(row);
    return std::move(blocks.hint);
}

void analyze_command(WindowPort& port, const FileList& fileNames, AnalysisModel& model,
                     bool problems_only) {
    port.reset_list(IDC_BLOCKS);
    port.reset_list(IDC_DETAILS);
    model.reset_model();
    if (fileNames.empty()) {
        report_message(kNoFilesText);
        return;
    }
    // A run that stops has reported why; the lists stay empty and the model keeps what it has.
    if (run_analysis(fileNames.entries(), model) != RunOutcome::Completed) return;
    port.set_status_text(fill_block_list(port, model, problems_only));
}

void block_selection_command(WindowPort& port, const AnalysisModel& model) {
    const int row = port.current_row(IDC_BLOCKS);
    std::string name = row >= 0 ? port.row_text(IDC_BLOCKS, row) : std::string();
    if (!name.empty() && name.back() == '*') name.pop_back();
    const CommonBlock* block = model.find_block(name);
    if (block == nullptr) {
        report_message(block_not_found_text(name));
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
    if (!conflict.empty()) report_message(conflict);
}

void problems_only_command(WindowPort& port, const AnalysisModel& model, int& problems_only) {
    problems_only = port.is_checked(IDC_PROBLEMS_ONLY) ? 1 : 0;
    port.reset_list(IDC_BLOCKS);
    port.reset_list(IDC_DETAILS);
    port.set_status_text(fill_block_list(port, model, problems_only != 0));
}

}  // namespace quorv::ui
