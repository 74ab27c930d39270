#pragma once
// The analysis model: every COMMON block some module declares (one declaration per
// declaring module, with its size and initialized mark) and every procedure some module
// defines. Held in ordered standard containers so that each record and lookup is O(log n)
// while every order stays the one the views show.
#include <cstdint>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "engine/names.h"

namespace quorv {

// One input file or one library member.
struct FileEntry {
    std::string full_path;     // identity of the module
    std::string display_name;  // what the views show
    std::int32_t duplicate_ordinal = 0;
};

// One module's part in a block or a procedure. Observes its FileEntry, never owns it.
struct ObjectRef {
    const FileEntry* file = nullptr;
    std::uint32_t size = 0;
    // Set by the scan after the declaration is in place; not part of the ordering key.
    mutable bool initialized = false;
};

// Declarations: descending unsigned size, then ascending full_path of the module. A multiset
// inserts at the end of an equal range, so a new declaration goes after its equals.
struct DeclarationOrder {
    bool operator()(const ObjectRef& a, const ObjectRef& b) const {
        if (a.size != b.size) return a.size > b.size;
        if (a.file == b.file) return false;
        return compare_names(a.file->full_path, b.file->full_path) < 0;
    }
};
using DeclarationList = std::multiset<ObjectRef, DeclarationOrder>;

struct CommonBlock {
    std::string name;
    // The name is the ordering key of block_list; what follows may change in place.
    mutable DeclarationList declarations;
    mutable bool sizes_agree = true;
};

struct ProcedureEntry {
    std::string name;
    ObjectRef defining_object;
};

struct BlockOrder {
    using is_transparent = void;
    static std::string_view key(const CommonBlock& b) { return b.name; }
    static std::string_view key(std::string_view s) { return s; }
    template <class A, class B>
    bool operator()(const A& a, const B& b) const { return compare_names(key(a), key(b)) < 0; }
};
struct ProcedureOrder {
    using is_transparent = void;
    static std::string_view key(const ProcedureEntry& p) { return p.name; }
    static std::string_view key(std::string_view s) { return s; }
    template <class A, class B>
    bool operator()(const A& a, const B& b) const { return compare_names(key(a), key(b)) < 0; }
};

// Blocks by name, unique; procedures by name, equal names in recording order.
using BlockList = std::set<CommonBlock, BlockOrder>;
using ProcedureList = std::multiset<ProcedureEntry, ProcedureOrder>;

// Result codes of record_common_declaration.
inline constexpr int kNewBlock = 0;
inline constexpr int kRecordFailed = 1;
inline constexpr int kAddedToBlock = 2;

class AnalysisModel {
public:
    // 0 new block, 2 added to an existing block, 1 memory ran out (nothing added).
    int record_common_declaration(std::string_view name, std::uint32_t size);
    // 0 recorded, 1 memory ran out (nothing added).
    int record_procedure(std::string_view name);
    // Empties both lists and releases the member entries of the last run.
    void reset_model();

    bool block_has_problem(const CommonBlock& block) const;
    const ProcedureEntry* find_conflicting_procedure(const CommonBlock& block) const;
    const CommonBlock* find_block(std::string_view name) const;

    const BlockList& block_list() const { return block_list_; }
    const ProcedureList& procedure_list() const { return procedure_list_; }

    // The module being scanned; the record operations attribute everything to it.
    ObjectRef current_object;

    // The run's member entries live here until the next reset_model.
    const FileEntry* keep_member_entry(std::unique_ptr<FileEntry> entry);

    // Marks the first declaration of the named block whose module has the current
    // module's full_path. Does nothing when no such block or declaration exists.
    void mark_initialized(std::string_view block_name);

private:
    BlockList block_list_;
    ProcedureList procedure_list_;
    std::vector<std::unique_ptr<FileEntry>> member_entries_;
};

// The problem rule evaluated for every block in list order in one merged pass over the two
// lists (both share one order); calls visit(block, is_problem) for each block.
template <class Visit>
void for_each_block_with_problem(const AnalysisModel& model, Visit&& visit) {
    auto cursor = model.procedure_list().begin();
    const auto end = model.procedure_list().end();
    for (const CommonBlock& block : model.block_list()) {
        while (cursor != end && compare_names(cursor->name, block.name) < 0) ++cursor;
        const bool conflict = cursor != end && compare_names(cursor->name, block.name) == 0;
        visit(block, !block.sizes_agree || conflict);
    }
}

// Constructors: the output is cleared first; on failure it stays empty and nothing remains.
bool make_file_entry(std::string_view full_path, std::string_view display_name,
                     std::unique_ptr<FileEntry>& out);
bool copy_string(std::string_view text, std::string& out);

}  // namespace quorv
