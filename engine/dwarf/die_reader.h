#pragma once
// The units of .debug_info and their DIEs. The unit headers are listed first (a jump per
// unit), so that a reference anywhere in the section finds its unit; each unit's
// abbreviation table is decoded when the unit is first used and shared by every unit that
// names the same table. Any damage found here makes the module's debug information
// unreadable: the reader keeps the reason and every later call fails.
#include <cstdint>
#include <map>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <tuple>
#include <vector>

#include "engine/dwarf/abbreviations.h"
#include "engine/dwarf/forms.h"
#include "engine/dwarf/sections.h"

namespace quorv::dwarf {

// DIEs nest at most this deep; deeper trees are refused rather than followed.
inline constexpr unsigned kMaxDieDepth = 256;
// The longest name the reader takes from the debug information.
inline constexpr std::size_t kMaxNameLength = 4096;
// DIEs read or skipped beyond one pass over .debug_info: what following types and reading
// blocks' members may add. Past it the module's debug information counts as unreadable.
inline constexpr std::uint64_t kMaxExtraDies = 4000000;

struct Unit {
    std::uint64_t offset = 0;     // of its header
    std::uint64_t end = 0;        // one past its last byte
    std::uint64_t first_die = 0;  // after the header
    UnitFormat format;
    bool compile = false;  // a compile unit: the others are passed over
    std::uint64_t abbreviation_offset = 0;
    const AbbreviationTable* abbreviations = nullptr;
    // From the unit's own DIE, once read.
    bool described = false;
    std::uint64_t language = 0;
    FormValue comp_dir;
    bool has_comp_dir = false;
    bool has_stmt_list = false;
    std::uint64_t stmt_list = 0;
    std::uint64_t str_offsets_base = 0;
};

struct Die {
    std::uint64_t offset = 0;
    std::uint64_t tag = 0;  // 0: the null entry that ends a list of children
    bool children = false;
    std::uint32_t present = 0;  // a bit per Want
    FormValue values[kWantSlots];

    bool has(Want w) const { return (present >> w & 1u) != 0; }
    const FormValue& value(Want w) const { return values[w]; }
};

// A block member's DIE as its abbreviation's plan reads it: the values' raw makings, no
// FormValue. Read for every member of every block, where FormValues would cost most.
struct MemberFields {
    std::uint64_t offset = 0;
    bool has_name = false;
    bool name_inline = false;       // DW_FORM_string: name_text; else DW_FORM_strp: name_offset
    std::uint64_t name_offset = 0;  // in .debug_str, relocated
    std::string_view name_text;
    bool has_type = false;
    std::uint64_t type = 0;  // from the unit's first byte
    bool has_location = false;
    std::span<const std::uint8_t> location;
    std::uint64_t location_offset = 0;  // of its first byte in .debug_info
};

enum class MemberRead {
    Read,    // out holds the member, next is after it
    End,     // the null entry that ends the children; next is after it
    NoPlan,  // no plan for this DIE, or its bytes do not fit: read() gives it, or the reason
    Failed,  // the DIE budget is spent (the reason is set)
};

class DieReader {
  public:
    explicit DieReader(DebugSections& sections) : sections_(sections) {}

    // Lists the units of .debug_info. false when a header is damaged.
    bool scan_units();
    std::vector<Unit>& units() { return units_; }
    // The compile unit whose DIEs hold offset of .debug_info, ready to read; null when none
    // does (no reason is set: the caller judges).
    Unit* unit_holding(std::uint64_t offset);
    // Makes the unit ready to read: its abbreviation table and its own DIE's attributes.
    bool prepare(Unit& unit);

    // The DIE at offset: tag, children and the wanted attributes (those of only, a bit per
    // Want, when given); next is the offset after its attributes (its first child, when it
    // has children).
    bool read(const Unit& unit, std::uint64_t offset, Die& die, std::uint64_t& next, std::uint32_t only = ~0u);
    // The DIE at offset by its abbreviation's member plan, when it has one.
    MemberRead read_member(const Unit& unit, std::uint64_t offset, MemberFields& out, std::uint64_t& next);
    // The plan of the member DIE at offset when it has the usual fixed shape and its bytes
    // fit the unit (its location's length byte at length_at); it then counts as read. Null
    // otherwise, for read_member to judge: nothing is counted.
    const MemberPlan* fixed_member(const Unit& unit, std::uint64_t offset, std::uint64_t& length_at) {
        if (failed() || offset >= unit.end) return nullptr;
        const std::uint8_t code = sections_.bytes(kInfo)[static_cast<std::size_t>(offset)];
        if (code == 0 || code >= 0x80) return nullptr;
        const Abbreviation* a = unit.abbreviations->find(code);
        if (a == nullptr || !a->member.fixed || !fits(unit, offset, a->member, length_at)) return nullptr;
        if (!visit()) return nullptr;  // the budget is spent: read_member says so
        return &a->member;
    }
    // The same without decoding any attribute.
    bool skip(const Unit& unit, std::uint64_t offset, std::uint64_t& tag, bool& children, std::uint64_t& next);
    // Past the children that start at offset, up to and including their null entry.
    bool skip_children(const Unit& unit, std::uint64_t offset, std::uint64_t& next);
    // Reads each child that starts at offset into child (the wanted attributes of only) and
    // calls visit(child), passing over the child's own children; next is the offset after the
    // null entry. false when a DIE is damaged or visit returns false.
    template <typename Visit>
    bool for_each_child(const Unit& unit, std::uint64_t offset, Die& child, std::uint64_t& next, std::uint32_t only,
                        Visit&& visit) {
        std::uint64_t at = offset;
        for (;;) {
            std::uint64_t after = 0;
            if (!read(unit, at, child, after, only)) return false;
            at = after;
            if (child.tag == 0) break;
            if (!visit(child)) return false;
            if (child.children && !skip_children(unit, after, at)) return false;
        }
        next = at;
        return true;
    }

    // The text of a string value (inline, in a string section, or by index); false with a
    // reason when it lies outside its section or is too long. Other values give "".
    bool text(const Unit& unit, const FormValue& value, std::string_view& out);

    bool big_endian() const { return sections_.big_endian(); }
    bool failed() const { return !reason_.empty(); }
    const std::string& reason() const { return reason_; }
    bool fail(std::string reason);

  private:
    // Whether a member DIE at offset with this fixed plan lies within its unit, its
    // location's length byte at length_at: the name and the type lie before it.
    bool fits(const Unit& unit, std::uint64_t offset, const MemberPlan& plan, std::uint64_t& length_at) const {
        length_at = offset + 1 + plan.location_at;
        if (length_at >= unit.end) return false;
        const std::uint64_t length = sections_.bytes(kInfo)[static_cast<std::size_t>(length_at)];
        return (plan.location_length != 0 || length < 0x80) && length <= unit.end - length_at - 1;
    }
    const Abbreviation* abbreviation(const Unit& unit, ByteCursor& in, std::uint64_t offset, std::uint64_t& code);
    bool read_header(ByteCursor& in, Unit& unit);
    bool describe_unit(Unit& unit);
    bool string_at(SectionId id, std::uint64_t offset, std::string_view& out);
    bool string_by_index(const Unit& unit, std::uint64_t index, std::string_view& out);

    bool visit();

    DebugSections& sections_;
    std::vector<Unit> units_;
    std::uint64_t visits_ = 0;
    std::uint64_t visit_limit_ = 0;
    using TableKey = std::tuple<std::uint64_t, std::uint16_t, std::uint8_t, std::uint8_t>;
    std::map<TableKey, std::unique_ptr<AbbreviationTable>> tables_;
    std::uint64_t abbreviation_bytes_ = 0;  // decoded so far, against the limit
    std::string reason_;
};

}  // namespace quorv::dwarf
