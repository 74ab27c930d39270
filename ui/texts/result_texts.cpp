#include "ui/texts/result_texts.h"

#include "engine/messages.h"
#include "engine/text.h"

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
    // Sizes are unsigned: a block of 3,000,000,000 bytes must not read negative.
    std::string row = compose("%-10llu%-15s%-10s", static_cast<unsigned long long>(declaration.size),
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
    return compose(msg::kConflict, std::string(block.name).c_str(), std::string(procedure.name).c_str(),
                   procedure.defining_object.file->display_name.c_str());
}

std::string conflict_text(const AnalysisModel& model, const CommonBlock& block) {
    const ProcedureEntry* procedure = model.find_conflicting_procedure(block);
    return procedure == nullptr ? std::string() : conflict_text(block, *procedure);
}

std::string block_not_found_text(std::string_view name) {
    return compose(msg::kBlockNotFound, std::string(name).c_str());
}

}  // namespace quorv::ui
