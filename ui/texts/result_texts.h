#pragma once
// The texts of the result views: the rows of the COMMON Blocks list and of the Size and File
// list, the status hints and the conflict text, made from the analysis model. Plain
// functions, so that quorv-check prints exactly what the window shows; the window's
// commands (ui/result_views.h) build on them.
#include <string>
#include <string_view>
#include <vector>

#include "engine/model.h"
#include "engine/model_walks.h"

namespace quorv::ui {

// The status hints after a fill of the block list.
inline constexpr std::string_view kHintBlocks =
    "Click the name of a COMMON block to display its size and in which file(s) it resides. "
    "(* = Problem)";
inline constexpr std::string_view kHintProblems = "Click the name of a COMMON block to display its problems.";
inline constexpr std::string_view kHintNoBlocks = "No COMMON blocks were found.";
inline constexpr std::string_view kHintNoProblems = "Analysis did not uncover any COMMON block problems.";

// The hint for a fill that added rows (or none) in the view chosen by problems_only.
std::string_view block_list_hint(bool rows_added, bool problems_only);

// One fill of the block list: the rows in block_list order and the hint that goes with them.
// The full view marks problem blocks with "*"; the problems view lists them, unmarked.
struct BlockRows {
    std::vector<std::string> rows;
    std::string hint;
};
BlockRows block_list_rows(const AnalysisModel& model, bool problems_only);

// The same rows as they come, for a caller that writes them itself: visit(name, starred)
// for each row, in block_list order.
template <class Visit>
void for_each_block_row(const AnalysisModel& model, bool problems_only, Visit&& visit) {
    for_each_block_with_problem(model, [&](const CommonBlock& block, bool is_problem) {
        if (problems_only && !is_problem) return;
        visit(block.name, is_problem && !problems_only);
    });
}

// The Size and File list: the header (not measured in the window), then one row per declaration
// with the size unsigned, "y" or " " for initialized, the file's display name, and " (%d)" for
// a file that is the second or later of its name.
std::string details_header_row();
std::string details_row(const ObjectRef& declaration);
std::vector<std::string> details_rows(const CommonBlock& block);  // header first

// "Common block name \"%s\"conflicts with procedure \"%s\" defined in %s."
std::string conflict_text(const CommonBlock& block, const ProcedureEntry& procedure);
// The same for the block's first conflicting procedure; empty when there is none.
std::string conflict_text(const AnalysisModel& model, const CommonBlock& block);

// "COMMON block %s not found."
std::string block_not_found_text(std::string_view name);

}  // namespace quorv::ui
