#pragma once
// One abbreviation table of .debug_abbrev, decoded once per offset and unit format: for each
// code its tag, whether its DIEs have children, its attributes, and the bytes its DIEs take
// when every form has a fixed size (so that a DIE the reader does not need is skipped in
// one step).
#include <cstdint>
#include <string>
#include <vector>

#include "engine/dwarf/byte_cursor.h"
#include "engine/dwarf/forms.h"

namespace quorv::dwarf {

// The attributes the reader decodes, each a slot of a Die; every other one is skipped.
enum Want : std::uint8_t {
    kWantName,
    kWantType,
    kWantByteSize,
    kWantEncoding,
    kWantUpperBound,
    kWantLowerBound,
    kWantCount,
    kWantStringLength,
    kWantMemberLocation,
    kWantLocation,
    kWantDeclFile,
    kWantDeclLine,
    kWantDeclaration,
    kWantLanguage,
    kWantCompDir,
    kWantStmtList,
    kWantStrOffsetsBase,
    kWantSlots,
    kNotWanted = 0xFF,
};

Want wanted_slot(std::uint64_t attribute);

struct AttributeEntry {
    std::uint64_t form = 0;
    std::int64_t implicit_const = 0;
    Want slot = kNotWanted;
    std::int8_t size = kVariableSize;  // the form's fixed size in the unit, when it has one
};

// How a variable's DIE gives up its name, type and location without a FormValue each: its
// attributes as a few steps, the unwanted fixed-size ones run together into one skip. Only
// the usual forms have a step; an abbreviation with any other leaves the reading to read().
enum class MemberStep : std::uint8_t { Skip, NameStrp, NameString, TypeRef, Location };

struct MemberPlan {
    static constexpr unsigned kMostSteps = 8;
    std::uint8_t count = 0;  // 0: no plan
    MemberStep steps[kMostSteps] = {};
    // Skip: the bytes (at most 255); NameStrp: the offset's width; TypeRef: the
    // reference's width; Location: 1 for DW_FORM_block1, 0 for a ULEB128 length (exprloc,
    // block).
    std::uint8_t arguments[kMostSteps] = {};
    // The usual shape (gfortran's): one DW_FORM_strp name, one reference and the location
    // last, everything before it of a fixed size. Their places past the code, read without
    // going through the steps.
    bool fixed = false;
    std::uint8_t name_at = 0, type_at = 0, type_width = 0, location_at = 0, location_length = 0;
};

struct Abbreviation {
    std::uint64_t code = 0;
    std::uint64_t tag = 0;
    bool children = false;
    std::uint32_t first = 0;  // its attributes in the table's entries
    std::uint32_t count = 0;
    std::int64_t fixed_size = kVariableSize;  // the bytes of its attributes, when fixed
    MemberPlan member;                        // for a DW_TAG_variable without children
};

class AbbreviationTable {
  public:
    // Decodes the table at the cursor's position, up to its terminating 0 code. false with a
    // reason when it runs past the end of the section. May throw std::bad_alloc.
    bool decode(ByteCursor in, const UnitFormat& unit, std::string& reason);
    // Inline for the usual dense table: every DIE of a unit is looked up here.
    const Abbreviation* find(std::uint64_t code) const {
        if (dense_) return code - 1 < abbreviations_.size() ? &abbreviations_[code - 1] : nullptr;
        return find_sparse(code);
    }
    // Whether any abbreviation has this tag: a unit whose table has none holds no such DIE.
    bool has_tag(std::uint64_t tag) const;
    const AttributeEntry* entries(const Abbreviation& a) const { return entries_.data() + a.first; }
    // The bytes of .debug_abbrev decode() went over.
    std::uint64_t bytes_read() const { return bytes_read_; }

  private:
    const Abbreviation* find_sparse(std::uint64_t code) const;

    std::vector<Abbreviation> abbreviations_;  // sorted by code
    std::vector<AttributeEntry> entries_;
    bool dense_ = false;  // code k at index k - 1
    std::uint64_t bytes_read_ = 0;
};

}  // namespace quorv::dwarf
