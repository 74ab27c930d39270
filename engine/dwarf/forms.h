#pragma once
// Attribute values by their form: their size (to skip what the reader does not need) and
// their value (for what it does), with the relocations of the section applied to offsets.
#include <cstdint>
#include <span>
#include <string>
#include <string_view>

#include "engine/dwarf/byte_cursor.h"
#include "engine/dwarf/constants.h"
#include "engine/dwarf/debug_input.h"
#include "engine/dwarf/sections.h"

namespace quorv::dwarf {

// What a unit's header (or a line table's) says about the size of its fields.
struct UnitFormat {
    std::uint16_t version = 0;
    std::uint8_t address_size = 0;
    std::uint8_t offset_size = 4;  // 8 in 64-bit DWARF
};

enum class ValueKind : std::uint8_t {
    Unsigned,          // data1 to data8, udata, flag, sec_offset, addr
    Signed,            // sdata, implicit_const
    UnitReference,     // ref1 to ref8, ref_udata: from the unit's first byte
    SectionReference,  // ref_addr: from the first byte of .debug_info
    String,            // an inline string: text
    StringOffset,      // strp, line_strp: an offset in string_section
    StringIndex,       // strx: an index into .debug_str_offsets
    Block,             // block, exprloc: block, at block_offset of the section
    Other,             // values the reader never needs (addrx, ref_sig8, data16, ...)
};

struct FormValue {
    ValueKind kind = ValueKind::Other;
    std::uint64_t form = 0;
    std::uint64_t number = 0;  // signed values as two's complement
    SectionId string_section = kStr;
    std::string_view text;
    std::span<const std::uint8_t> block;
    std::uint64_t block_offset = 0;

    // A constant of either sign (data forms read as unsigned).
    bool is_constant() const { return kind == ValueKind::Unsigned || kind == ValueKind::Signed; }
    std::int64_t as_signed() const { return static_cast<std::int64_t>(number); }
};

// The bytes a form always takes in a unit of this format; kVariableSize when it varies,
// kUnknownForm when the form is not known.
inline constexpr int kVariableSize = -1;
inline constexpr int kUnknownForm = -2;
int fixed_form_size(std::uint64_t form, const UnitFormat& unit);

// Moves the cursor past one value. false with a reason for a form that cannot be skipped;
// a value running past the end fails the cursor instead.
bool skip_form(ByteCursor& in, std::uint64_t form, const UnitFormat& unit, std::uint64_t die, std::string& reason);

// Where a value is read: the section (for its relocations) and its unit's format.
struct FormContext {
    const DebugSections& sections;
    SectionId section;
    UnitFormat unit;
};

// Reads one value into out, as skip_form does otherwise.
bool read_form(ByteCursor& in, std::uint64_t form, std::int64_t implicit_const, const FormContext& context,
               std::uint64_t die, FormValue& out, std::string& reason);

// read_form for the forms most DIEs use, without a call; false (nothing read) for the others.
inline bool read_usual_form(ByteCursor& in, std::uint64_t f, const FormContext& c, FormValue& out) {
    switch (f) {
        case form::kRef4:
            out.kind = ValueKind::UnitReference;
            out.number = in.fixed(4);
            break;
        case form::kData1:
        case form::kData2:
            out.kind = ValueKind::Unsigned;
            out.number = in.fixed(f == form::kData1 ? 1 : 2);
            break;
        case form::kStrp: {
            const std::uint64_t at = in.position();
            const std::uint64_t raw = in.fixed(c.unit.offset_size);
            out.kind = ValueKind::StringOffset;
            out.string_section = kStr;
            out.number = in.ok() ? c.sections.relocated(c.section, at, c.unit.offset_size, raw) : 0;
            break;
        }
        case form::kExprloc: {
            const std::uint64_t length = in.uleb();
            out.kind = ValueKind::Block;
            out.block_offset = in.position();
            out.block = in.take(length);
            break;
        }
        default:
            return false;
    }
    out.form = f;
    return true;
}

}  // namespace quorv::dwarf
