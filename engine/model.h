#pragma once
// The analysis model: every COMMON block some module declares (one declaration per
// declaring module, with its size and initialized mark) and every procedure some module
// defines. The model's rules are applied by the recorder (engine/recorder.h); this is the
// store they write into and the views read.
//
// Records are kept flat, in recording order, with a hash index of block names, so recording
// stays O(1) however many names a run brings. The name order the views show is an index put
// in order once, when the run ends (put_in_order); from then on every const accessor only
// reads, and readers on several threads may share the model.
#include <cstdint>
#include <deque>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "engine/block_annex.h"
#include "engine/block_index.h"
#include "engine/dwarf/common_layouts.h"
#include "engine/dwarf/layout.h"
#include "engine/dwarf/layout_pool.h"
#include "engine/file_entry.h"
#include "engine/name_order.h"
#include "engine/name_store.h"
#include "engine/names.h"

namespace quorv {

// Declarations: descending unsigned size, then ascending full_path of the module. A new
// declaration goes after its equals.
struct DeclarationOrder {
    bool operator()(const ObjectRef& a, const ObjectRef& b) const {
        if (a.size != b.size) return a.size > b.size;
        if (a.file == b.file) return false;
        return compare_names(a.file->full_path, b.file->full_path) < 0;
    }
};
// Held in DeclarationOrder. A block has few declarations; a vector keeps them in one piece.
using DeclarationList = std::vector<ObjectRef>;

// Record names observe bytes the model keeps: valid until the next reset_model. A block's
// record is one cache line, and a short name is kept in it, so that confirming a name
// found in the index reads no other line.
struct alignas(64) CommonBlock {
    std::string_view name;
    DeclarationList declarations;
    // The block's own record number, which finds what the model keeps beside it.
    std::uint32_t record;
    bool sizes_agree = true;
    // Filled by the model; name points here when it fits.
    char short_name[64 - sizeof(std::string_view) - sizeof(DeclarationList) - sizeof(std::uint32_t) - sizeof(bool)];
};

struct ProcedureEntry {
    std::string_view name;
    ObjectRef defining_object;
};

// Data a module defines under a block's name: the block's initializer. ELF gives its size
// exactly; COFF only an upper bound (size_exact false).
struct Definition {
    const FileEntry* file = nullptr;
    std::uint64_t size = 0;
    bool size_exact = false;
};

// One layout of a block from a module's debug information, and where the module declares
// it. Modules whose layouts of a block are the same (a block every file includes) share one
// layout, held by the model; its own file, line and subprogram are left empty, so a
// module's source is read from here.
struct ModuleLayout {
    const FileEntry* file = nullptr;
    const dwarf::CommonLayout* layout = nullptr;
    std::string source_file;
    std::uint64_t source_line = 0;
};

// Debug information a module holds that could not be read, and why.
struct DebugProblem {
    const FileEntry* file = nullptr;
    std::string reason;
};

// Blocks by name, unique; procedures by name, equal names in recording order.
using BlockList = NameOrderedList<CommonBlock>;
using ProcedureList = NameOrderedList<ProcedureEntry>;

// Result codes of record_common_declaration.
inline constexpr int kNewBlock = 0;
inline constexpr int kRecordFailed = 1;
inline constexpr int kAddedToBlock = 2;

class AnalysisModel {
  public:
    AnalysisModel();
    AnalysisModel(const AnalysisModel&) = delete;
    AnalysisModel& operator=(const AnalysisModel&) = delete;

    // 0 new block, 2 added to an existing block, 1 memory ran out (nothing added).
    int record_common_declaration(std::string_view name, std::uint64_t size);
    // 0 recorded, 1 memory ran out (nothing added).
    int record_procedure(std::string_view name);
    // Marks the first declaration of the named block whose module has the current module's
    // full_path. Does nothing when no such block or declaration exists.
    void mark_initialized(std::string_view block_name);
    // Data the current module defines; it becomes a definition of the block of that name
    // when put_in_order finds one (some module of the run declares it). 0, or 1 when memory
    // ran out. A front end that shows no initializers (the window, the text report) turns
    // this off before the run, and the model keeps none.
    int record_definition(std::string_view name, std::uint64_t size, bool size_exact);
    void keep_definitions(bool keep) { keep_definitions_ = keep; }
    // The layouts of the current module's blocks from its debug information, each joined to
    // the block its symbol names; or why its debug information could not be read. 0, or 1
    // when memory ran out. Kept only while keep_layouts is on (off: the reader need not read
    // the debug information at all).
    int record_layouts(std::vector<dwarf::CommonLayout>&& layouts);
    // The same for layouts the reader kept in layout_pool().
    int record_layouts(std::vector<dwarf::LayoutRef>&& layouts);
    dwarf::LayoutPool& layout_pool() { return layout_pool_; }
    int record_debug_problem(std::string_view reason);
    void keep_layouts(bool keep) { keep_layouts_ = keep; }
    bool keeps_layouts() const { return keep_layouts_; }
    // Empties both lists and releases the member entries of the last run.
    void reset_model();

    // Puts both lists in name order. The run ends with it; a caller that records by hand
    // calls it before looking at the lists. Never fails.
    void put_in_order();
    bool in_order() const { return block_order_.in_order() && procedure_order_.in_order(); }

    // In name order, as of the last put_in_order.
    const BlockList& block_list() const { return block_view_; }
    const ProcedureList& procedure_list() const { return procedure_view_; }
    // The block's definitions, and its layouts, in the order their modules were read.
    std::span<const Definition> definitions_of(const CommonBlock& block) const { return definitions_.of(block.record); }
    std::span<const ModuleLayout> layouts_of(const CommonBlock& block) const { return layouts_.of(block.record); }
    // Every module whose debug information could not be read, in the order met.
    const std::vector<DebugProblem>& debug_problems() const { return debug_problems_; }
    bool block_has_problem(const CommonBlock& block) const;
    const ProcedureEntry* find_conflicting_procedure(const CommonBlock& block) const;
    // Through the index: at any time.
    const CommonBlock* find_block(std::string_view name) const;

    // The module being recorded; the record operations attribute everything to it.
    ObjectRef current_object;

    // The run's member entries live here until the next reset_model.
    const FileEntry* keep_member_entry(std::unique_ptr<FileEntry> entry);
    const std::vector<std::unique_ptr<FileEntry>>& member_entries() const { return member_entries_; }

  private:
    // The recorder tells the model where the names it records come from, and fetches ahead.
    friend class Recorder;
    // The string table of the module being recorded, which the names recorded next may come
    // from; nullptr and 0 when the module is done.
    void set_name_source(const std::uint8_t* first, std::size_t size) { names_.set_source(first, size); }
    // Hints that change nothing: the index slot, the block record, then the end of its
    // declaration list, so that they are in cache when recording reaches them.
    void fetch_block(std::uint64_t hash) const;
    void fetch_declarations(std::uint64_t hash) const;
    const BlockIndex& index() const { return index_; }

    std::string_view block_name(std::uint32_t record) const { return blocks_[record].name; }
    std::uint32_t lookup(std::string_view name, std::uint64_t hash) const;
    // record_common_declaration with the name's hash known.
    int record_declaration(std::string_view name, std::uint64_t size, std::uint64_t hash);
    int add_block(std::string_view name, const ObjectRef& declaration, std::uint64_t hash);
    int add_declaration(CommonBlock& block, const ObjectRef& declaration);

    std::deque<CommonBlock> blocks_;
    std::deque<ProcedureEntry> procedures_;
    BlockIndex index_;
    NameStore names_;
    NameOrder block_order_;
    NameOrder procedure_order_;
    BlockList block_view_;
    ProcedureList procedure_view_;
    std::vector<std::unique_ptr<FileEntry>> member_entries_;
    // What the model keeps beside the blocks, for the front ends that show it.
    bool keep_definitions_ = true;
    bool keep_layouts_ = true;
    BlockAnnex<Definition> definitions_;
    BlockAnnex<ModuleLayout> layouts_;
    // The distinct layouts of the run, which the ModuleLayouts point at.
    dwarf::LayoutPool layout_pool_;
    std::vector<DebugProblem> debug_problems_;
    std::uint32_t block_record(std::string_view name) const { return lookup(name, BlockIndex::hash(name)); }
    // Modules usually come in path order. While the current one's full_path orders after
    // every module that declared before it, a declaration of a size already held goes at
    // the end of its list without a look at the other modules' paths.
    void note_declaring_module();
    const FileEntry* declaring_module_ = nullptr;
    const FileEntry* greatest_path_ = nullptr;
    bool path_after_all_ = false;
};

}  // namespace quorv
