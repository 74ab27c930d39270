#pragma once
// Why a module's debug information gave no layouts, or why one layout was dropped: short
// texts for the debug-info-unreadable note and the JSON, built here in one place.
#include <cstdint>
#include <string>
#include <string_view>

#include "engine/dwarf/debug_input.h"

namespace quorv::dwarf::reason {

inline constexpr std::string_view kOutOfMemory = "out of memory";
inline constexpr std::string_view kNoAbbreviations = ".debug_info without .debug_abbrev";
inline constexpr std::string_view kStrxWithoutRelocations = "DW_FORM_strx needs the relocations of .debug_str_offsets";

std::string hex(std::uint64_t value);

// The module.
std::string compressed_header_short(SectionId id);
std::string compressed_not_zlib(SectionId id, std::uint32_t type);
std::string compressed_too_large(SectionId id, std::uint64_t size);
std::string inflating_failed(SectionId id);
std::string unit_past_end(std::uint64_t unit);
std::string unit_reserved_length(std::uint64_t unit, std::uint32_t length);
std::string unit_version(std::uint64_t unit, unsigned version);
std::string unit_address_size(std::uint64_t unit, unsigned size);
std::string unit_header_short(std::uint64_t unit);
std::string abbreviations_offset(std::uint64_t offset);
std::string abbreviations_short(std::uint64_t offset);
std::string abbreviation_code(std::uint64_t code, std::uint64_t die);
std::string form_unknown(std::uint64_t form, std::uint64_t die);
std::string form_indirect(std::uint64_t form, std::uint64_t die);
std::string die_short(std::uint64_t die);
std::string nesting_too_deep(std::uint64_t die, unsigned limit);
std::string string_offset(SectionId id, std::uint64_t offset);
std::string string_unterminated(SectionId id, std::uint64_t offset);
std::string string_too_long(SectionId id, std::uint64_t offset, std::uint64_t limit);
std::string name_too_long(std::uint64_t limit);
std::string abbreviations_too_large(std::uint64_t limit);
std::string string_index(std::uint64_t index);
std::string too_many_dies(std::uint64_t limit);
std::string layouts_too_large(std::uint64_t limit);

// One layout: the block, then what of it could not be read.
std::string layout(std::string_view block, std::uint64_t die, std::string_view why);
std::string member(std::string_view name, std::string_view why);
std::string no_location();
std::string location_not_addr();
std::string location_needs_debug_addr();
std::string addr_not_relocated();
std::string symbol_past_table(std::uint32_t index);
std::string symbol_not_common(std::string_view symbol);
std::string two_symbols(std::string_view first, std::string_view second);
std::string offset_too_large(std::uint64_t offset);
std::string no_members();
std::string no_type();
std::string unknown_size(std::string_view type);
std::string types_too_deep(unsigned limit);
std::string reference_outside(std::uint64_t offset);
std::string not_a_type(std::uint64_t offset);
std::string too_many_runs(std::uint64_t limit);
std::string too_many_dimensions(unsigned limit);
std::string size_too_large();
std::string member_location(std::uint64_t die);

}  // namespace quorv::dwarf::reason
