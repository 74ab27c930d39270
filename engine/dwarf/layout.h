#pragma once
// The layout of one COMMON block as one subprogram declares it, flattened into scalar slots,
// and the comparison of two layouts of a block.
//
// Slots are kept as runs (count slots of one kind and size, stride bytes apart), so an array
// of millions of elements is one run and is never expanded. Two layouts are compatible when
// every slot of one that overlaps a slot of the other coincides with it exactly (same
// offset, size and kind); slots that meet only padding, or lie past the other's end, are
// fine. A layout whose own slots overlap (EQUIVALENCE) is aliased and is not compared.
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorv::dwarf {

enum class SlotKind : std::uint8_t { Integer, Real, Complex, Logical, Character, Opaque };

// count slots of one kind and size, the k-th at offset + k * stride; member: index into the
// layout's members. A run of one slot has stride == size; in a run of more, stride >= size
// unless the layout is aliased.
struct SlotRun {
    std::uint64_t offset, size;
    SlotKind kind;
    std::uint64_t count, stride;
    std::uint32_t member;
    friend bool operator==(const SlotRun&, const SlotRun&) = default;
};

struct Member {
    std::string name;
    std::uint64_t offset = 0, size = 0;
    std::string type;
    friend bool operator==(const Member&, const Member&) = default;
};

struct CommonLayout {
    std::string block;            // DW_AT_name of the block DIE (lower case; __BLNK__ for blank COMMON)
    std::string symbol;           // the COMMON symbol its members' DW_OP_addr relocate against
    std::string file;             // DW_AT_decl_file's name from the line table, joined to DW_AT_comp_dir when relative
    std::uint64_t line = 0;       // DW_AT_decl_line
    std::string subprogram;       // DW_AT_name of the subprogram the block DIE stands in, if any
    std::vector<Member> members;  // in DIE order
    std::vector<SlotRun> runs;    // the flattened slots, sorted by offset
    bool aliased = false;         // its own slots overlap (EQUIVALENCE): takes no part in comparisons
};

// A layout as the reader makes it, before it is kept: its texts seen where they lie (the
// module's string sections, or the reader's memo of types), its room reused from block to
// block. Most layouts a run makes it has already (legacy code includes a block in every
// file): those are never made into a CommonLayout.
struct MemberDraft {
    std::string_view name;
    std::uint64_t offset = 0, size = 0;
    std::string_view type;
};

struct LayoutDraft {
    std::string_view block, symbol;
    std::vector<MemberDraft> members;
    std::vector<SlotRun> runs;
    bool aliased = false;

    void clear() {
        block = symbol = {};
        members.clear();
        runs.clear();
        aliased = false;
    }
    // The layout made of it, with the given source.
    CommonLayout made() const;
};

struct Conflict {
    std::uint64_t byte;
    std::uint32_t member_a, member_b;
};

// The work one comparison may do, in steps of the sweep (a pair of runs, or one slot of a
// run looked at against another run). Real layouts need a handful per run; only hostile
// ones (thousands of interleaved runs on both sides) reach it.
inline constexpr std::uint64_t kMaxCompareSteps = std::uint64_t{1} << 22;

enum class Compatibility : std::uint8_t {
    Compatible,
    Conflicting,
    Undecided,  // a layout is aliased, or the comparison reached kMaxCompareSteps
};

struct Comparison {
    Compatibility outcome = Compatibility::Compatible;
    Conflict conflict{};      // when Conflicting
    std::uint64_t steps = 0;  // the work it took
};

Comparison compare_layouts(const CommonLayout& a, const CommonLayout& b);

// The first byte where a slot of one overlaps a slot of the other without coinciding exactly
// (same offset, size and kind); none when compatible. Neither may be aliased (an aliased
// layout gives none), and a comparison that reaches its step limit gives none.
std::optional<Conflict> first_conflict(const CommonLayout& a, const CommonLayout& b);

// Two layouts are the same layout (for "identical ones once" and for fingerprints): the
// block, the symbol, the members (name, offset, size, type) and the slots. The source file,
// line and subprogram are not part of it.
bool same_layout(const CommonLayout& a, const CommonLayout& b);
// A hash that agrees with same_layout (the same layouts hash alike), and a draft hashes as
// the layout made of it.
std::uint64_t layout_hash(const CommonLayout& layout);
std::uint64_t layout_hash(const LayoutDraft& draft);
// Whether the draft makes this layout (as same_layout).
bool same_layout(const LayoutDraft& draft, const CommonLayout& layout);
// An order of layouts that agrees with same_layout (equal exactly when the same), for a
// sorted set of the distinct layouts of a block.
bool layout_less(const CommonLayout& a, const CommonLayout& b);

// Whether two slots of the runs overlap: sets aliased. Reaching kMaxCompareSteps counts as
// aliased too, so a layout that cannot be checked takes no part in comparisons.
bool has_overlapping_slots(const std::vector<SlotRun>& runs);

}  // namespace quorv::dwarf
