#pragma once
// Walks over the model in name order that the views, quorv-check's reports and the problem
// rule share. Both lists share one order, so a block's conflicting procedure is found by
// one merged pass instead of a search per block.
#include <algorithm>
#include <cstddef>

#include "engine/model.h"

namespace quorv {

// The problem rule, given the block's conflicting procedure or nullptr.
inline bool is_problem(const CommonBlock& block, const ProcedureEntry* conflict) {
    return !block.sizes_agree || conflict != nullptr;
}

// The blocks from position first up to last of the list, in list order, each with the
// procedure its name conflicts with (the first recorded of that name, as
// find_conflicting_procedure gives) or nullptr. Calls visit(block, conflict) for each block.
// Reads the model only: passes over disjoint ranges may run side by side.
template <class Visit>
void for_each_block_with_conflict(const AnalysisModel& model, std::size_t first, std::size_t last, Visit&& visit) {
    const ProcedureList& procedures = model.procedure_list();
    const BlockList& blocks = model.block_list();
    last = std::min(last, blocks.size());
    if (first >= last) return;
    const auto from = blocks.begin() + static_cast<std::ptrdiff_t>(first);
    const auto to = blocks.begin() + static_cast<std::ptrdiff_t>(last);
    // The prefixes decide wherever they differ; only equal ones need the names.
    const auto before = [](const ProcedureList::const_iterator& p, const BlockList::const_iterator& b) {
        if (p.name_prefix() != b.name_prefix()) return p.name_prefix() < b.name_prefix();
        return compare_names(p->name, b->name) < 0;
    };
    const auto end = procedures.end();
    // Where the pass would stand at the first block: the first procedure not before it.
    auto cursor = procedures.begin();
    for (std::ptrdiff_t count = first == 0 ? 0 : end - cursor; count > 0;) {
        const std::ptrdiff_t half = count / 2;
        if (before(cursor + half, from)) {
            cursor += half + 1;
            count -= half + 1;
        } else {
            count = half;
        }
    }
    for (auto it = from; it != to; ++it) {
        while (cursor != end && before(cursor, it)) ++cursor;
        const bool conflict =
            cursor != end && cursor.name_prefix() == it.name_prefix() && compare_names(cursor->name, it->name) == 0;
        visit(*it, conflict ? &*cursor : static_cast<const ProcedureEntry*>(nullptr));
    }
}

template <class Visit>
void for_each_block_with_conflict(const AnalysisModel& model, Visit&& visit) {
    for_each_block_with_conflict(model, 0, model.block_list().size(), visit);
}

// The problem rule evaluated for every block in list order; calls visit(block, is_problem).
template <class Visit>
void for_each_block_with_problem(const AnalysisModel& model, Visit&& visit) {
    for_each_block_with_conflict(model, [&](const CommonBlock& block, const ProcedureEntry* conflict) {
        visit(block, is_problem(block, conflict));
    });
}

}  // namespace quorv
