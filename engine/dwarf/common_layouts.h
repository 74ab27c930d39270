#pragma once
// The layouts of a module's COMMON blocks from its debug information: one per
// DW_TAG_common_block DIE (gfortran writes one in every subprogram that uses a block).
//
// A member's offset in its block is the addend of the relocation of its DW_OP_addr, and
// that relocation's symbol, a COMMON symbol, names the block's symbol. A block whose members
// cannot all be placed so (no relocation, a symbol that is not COMMON, a type of unknown
// size, too many slot runs) is dropped alone; damage to the debug information itself
// (sections, unit headers, abbreviations, forms, strings) drops every layout of the module.
#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "engine/dwarf/debug_input.h"
#include "engine/dwarf/flat_index.h"
#include "engine/dwarf/inflate.h"
#include "engine/dwarf/layout.h"
#include "engine/dwarf/layout_pool.h"
#include "engine/dwarf/type_slots.h"

namespace quorv::dwarf {

// The most the layouts of one module may hold (names, members and runs, in bytes): enough
// for thousands of blocks, and a bound on what hostile debug information can make us keep.
inline constexpr std::uint64_t kMostLayoutBytes = std::uint64_t{64} << 20;

// What reading a module's layouts works in and lets go. A run reads thousands of modules:
// given the same scratch each time, the room is taken once, not a page fault a page anew.
struct LayoutScratch {
    std::vector<std::uint64_t> members;    // the block's member DIEs
    std::vector<std::uint64_t> signature;  // the block's, as it is read
    // The signatures of the blocks whose layouts were made, one after another, and where
    // each lies in them by its hash.
    std::vector<std::uint64_t> signed_words;
    FlatIndex<std::pair<std::size_t, std::size_t>> signed_at;
    LayoutDraft draft;  // the layout being made
    TypeMemo types;
    InflatedBytes inflated[kSectionCount];  // the module's compressed sections, inflated

    // Empties it for the next module; room grown for a huge one is let go.
    void clear();
};

// One layout of the module's: pooled (shared with every module that has the same), and
// where this module declares it.
struct LayoutRef {
    const CommonLayout* layout = nullptr;
    std::string file;  // as CommonLayout's
    std::uint64_t line = 0;
    std::string subprogram;
};

// The layouts of every DW_TAG_common_block DIE of the module in DIE order, identical ones
// once (the first: its subprogram, file and line stand for the others). false
// and a short reason (e.g. "abbreviation code 77 not in .debug_abbrev", "compressed
// .debug_info: inflating failed") when the debug info cannot be read: then no layouts at
// all. A module with no .debug_info: true, none. When dropped is given, it receives why each
// dropped layout was dropped. A module without COMMON symbols has no layouts and its debug
// information is not looked at; nor is a unit whose abbreviations have no common block.
// May not throw: no memory is a reason too.
bool read_common_layouts(const DebugInput& input, std::vector<CommonLayout>& out, std::string& reason,
                         std::vector<std::string>* dropped = nullptr);
// The same, each layout kept in pool (a run's modules share one pool).
bool read_common_layouts(const DebugInput& input, LayoutPool& pool, std::vector<LayoutRef>& out, std::string& reason,
                         std::vector<std::string>* dropped, LayoutScratch& scratch);

}  // namespace quorv::dwarf
