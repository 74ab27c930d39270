#pragma once
// A member's type turned into what a layout needs: its name as the compiler writes it, its
// size, and its scalar slots as runs. Base types are one slot each; arrays repeat their
// element's runs (never expanded); strings are a character slot per byte; structures place
// their members' runs; typedef, const and volatile are looked through; anything else is one
// opaque slot of its size.
#include <cstdint>
#include <deque>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

#include "engine/dwarf/die_reader.h"
#include "engine/dwarf/flat_index.h"
#include "engine/dwarf/layout.h"

namespace quorv::dwarf {

// Sizes and offsets above this are taken for damage: far past any real block, and low
// enough that no sum of a few of them wraps.
inline constexpr std::uint64_t kMostBytes = std::uint64_t{1} << 56;
// The most runs one type or one layout may need before the layout is given up.
inline constexpr std::size_t kMaxRuns = 100000;
// Types nested deeper than this (arrays of structures of arrays ...) give up the layout.
inline constexpr unsigned kMaxTypeDepth = 64;
inline constexpr unsigned kMaxDimensions = 64;

struct TypeDescription {
    std::string name;
    std::uint64_t size = 0;
    std::vector<SlotRun> runs;  // from the type's first byte
};

// The memo of described types and the DIEs describing reads, kept from module to module: a
// module describes hundreds of types, and their room is reused rather than taken anew.
struct TypeMemo {
    std::deque<TypeDescription> descriptions;  // the first used are the module's
    std::size_t used = 0;
    FlatIndex<TypeDescription*> by_offset;
    std::vector<std::unique_ptr<Die>> dies;

    TypeDescription& next() {
        if (used == descriptions.size()) descriptions.emplace_back();
        return descriptions[used++];
    }
    // For the next module; the room a huge one grew is let go.
    void clear() {
        constexpr std::size_t kKept = 4096;
        used = 0;
        by_offset.clear(kKept * 2);
        if (descriptions.size() > kKept) descriptions.clear();
    }
};

class TypeDescriber {
  public:
    TypeDescriber(DieReader& reader, TypeMemo& memo) : reader_(reader), memo_(memo) {}

    // The type that value (a DW_AT_type of a DIE of unit) refers to, valid until the next
    // call. Null with a problem that gives up the layout, or with the reader failed (the
    // module's debug information is unreadable).
    const TypeDescription* describe(const Unit& unit, const FormValue& type, std::string& problem);
    // Whether a description describe() gave lasts as long as the describer (it is in the
    // memo), not only until the next call.
    bool lasting(const TypeDescription* description) const { return description != &described_; }

  private:
    // The type at offset: remembered, or made in scratch. Null with a problem.
    const TypeDescription* describe_at(std::uint64_t offset, unsigned depth, TypeDescription& scratch,
                                       std::string& problem);
    bool describe_die(const Unit& unit, const Die& die, std::uint64_t children, unsigned depth, TypeDescription& out,
                      std::string& problem);
    // The type the DIE's DW_AT_type names, described one level deeper (as describe_at).
    const TypeDescription* type_of(const Unit& unit, const Die& die, unsigned depth, TypeDescription& scratch,
                                   std::string& problem);
    bool referred(const Unit& unit, const Die& die, unsigned depth, TypeDescription& out, std::string& problem);
    bool base_type(const Unit& unit, const Die& die, TypeDescription& out, std::string& problem);
    bool string_type(const Unit& unit, const Die& die, TypeDescription& out, std::string& problem);
    bool array_type(const Unit& unit, const Die& die, std::uint64_t children, unsigned depth, TypeDescription& out,
                    std::string& problem);
    bool structure_type(const Unit& unit, const Die& die, std::uint64_t children, unsigned depth, TypeDescription& out,
                        std::string& problem);
    bool opaque_type(const Unit& unit, const Die& die, TypeDescription& out, std::string& problem);
    bool place_member(const Unit& unit, const Die& member, unsigned depth, TypeDescription& out, std::string& problem);
    bool name_of(const Unit& unit, const Die& die, std::string_view fallback, std::string& out);
    // Puts the description into the memo when it fits there: where it is then (description
    // is left with room to reuse), else null (and the description stays as it was).
    const TypeDescription* remember(std::uint64_t offset, TypeDescription& description);
    const TypeDescription* remembered(std::uint64_t offset) const {
        const auto* known = memo_.by_offset.find(offset);
        return known != nullptr ? *known : nullptr;
    }

    // The DIEs a description at depth reads (its type's, and its children's), kept: a Die
    // is large, and thousands of types are described.
    Die& die_at(unsigned depth, bool child) {
        const std::size_t slot = 2 * std::size_t{depth} + (child ? 1 : 0);
        while (memo_.dies.size() <= slot) memo_.dies.push_back(std::make_unique<Die>());
        return *memo_.dies[slot];
    }

    DieReader& reader_;
    // Types already described, by offset: members of one type in many blocks read it once.
    TypeMemo& memo_;
    std::uint64_t remembered_bytes_ = 0;
    TypeDescription described_;  // what describe() gives when it is not remembered
    // Types that gave up their layouts, by offset, with why: asked again, they cost nothing.
    std::unordered_map<std::uint64_t, std::string> failures_;
    bool too_deep_ = false;
};

// Appends the runs of an array of count elements stride bytes apart whose element has
// element's runs; false when that would pass kMaxRuns.
bool repeat_runs(const std::vector<SlotRun>& element, std::uint64_t count, std::uint64_t stride,
                 std::vector<SlotRun>& out);

// The run of size bytes of kind at offset, or none for a size of 0.
void add_slot(std::vector<SlotRun>& out, std::uint64_t offset, std::uint64_t size, SlotKind kind);

}  // namespace quorv::dwarf
