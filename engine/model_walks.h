#pragma once
// Walks over the model in name order that the views, quorv-check's reports and the problem
// rule share. Both lists share one order, so a block's conflicting procedure is found by
// one merged pass instead of a search per block.
#include <cstddef>

#include "engine/model.h"

namespace quorv {

// The problem rule, given the block's conflicting procedure or nullptr.
inline bool is_problem(const CommonBlock& block, const ProcedureEntry* conflict) {
    return !block.sizes_agree || conflict != nullptr;
}

// Every block in list order, each with the procedure its name conflicts with (the first
// recorded of that name, as find_conflicting_procedure gives) or nullptr. Calls
// visit(block, conflict) for each block.
template <class Visit>
void for_each_block_with_conflict(const AnalysisModel& model, Visit&& visit) {
    const ProcedureList& procedures = model.procedure_list();
    const BlockList& blocks = model.block_list();
    // The prefixes decide wherever they differ; only equal ones need the names.
    const auto before = [](const ProcedureList::const_iterator& p, const BlockList::const_iterator& b) {
        if (p.name_prefix() != b.name_prefix()) return p.name_prefix() < b.name_prefix();
        return compare_names(p->name, b->name) < 0;
    };
    const auto end = procedures.end();
    auto cursor = procedures.begin();
    for (auto it = blocks.begin(); it != blocks.end(); ++it) {
        while (cursor != end && before(cursor, it)) ++cursor;
        const bool conflict =
            cursor != end && cursor.name_prefix() == it.name_prefix() && compare_names(cursor->name, it->name) == 0;
        visit(*it, conflict ? &*cursor : static_cast<const ProcedureEntry*>(nullptr));
    }
}

// The problem rule evaluated for every block in list order; calls visit(block, is_problem).
template <class Visit>
void for_each_block_with_problem(const AnalysisModel& model, Visit&& visit) {
    for_each_block_with_conflict(model, [&](const CommonBlock& block, const ProcedureEntry* conflict) {
        visit(block, is_problem(block, conflict));
    });
}

}  // namespace quorv
