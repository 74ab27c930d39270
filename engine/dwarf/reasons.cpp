#include "engine/dwarf/reasons.h"

namespace quorv::dwarf::reason {
namespace {

std::string name(SectionId id) {
    return std::string(kSectionNames[id]);
}
std::string unit_at(std::uint64_t unit) {
    return "unit at " + hex(unit) + ": ";
}
std::string die_at(std::uint64_t die) {
    return "DIE at " + hex(die) + ": ";
}

}  // namespace

std::string hex(std::uint64_t value) {
    static constexpr char kDigits[] = "0123456789abcdef";
    std::string digits;
    do {
        digits.insert(digits.begin(), kDigits[value & 0xF]);
        value >>= 4;
    } while (value != 0);
    return "0x" + digits;
}

std::string compressed_header_short(SectionId id) {
    return "compressed " + name(id) + ": header cut short";
}
std::string compressed_not_zlib(SectionId id, std::uint32_t type) {
    return "compressed " + name(id) + ": compression type " + std::to_string(type) + ", not zlib";
}
std::string compressed_too_large(SectionId id, std::uint64_t size) {
    return "compressed " + name(id) + ": declares " + std::to_string(size) + " bytes";
}
std::string inflating_failed(SectionId id) {
    return "compressed " + name(id) + ": inflating failed";
}

std::string unit_past_end(std::uint64_t unit) {
    return unit_at(unit) + "length runs past the end of .debug_info";
}
std::string unit_reserved_length(std::uint64_t unit, std::uint32_t length) {
    return unit_at(unit) + "reserved unit length " + hex(length);
}
std::string unit_version(std::uint64_t unit, unsigned version) {
    return unit_at(unit) + "DWARF version " + std::to_string(version) + " not supported";
}
std::string unit_address_size(std::uint64_t unit, unsigned size) {
    return unit_at(unit) + "address size " + std::to_string(size) + " not supported";
}
std::string unit_header_short(std::uint64_t unit) {
    return unit_at(unit) + "header cut short";
}

std::string abbreviations_offset(std::uint64_t offset) {
    return "abbreviation offset " + hex(offset) + " past the end of .debug_abbrev";
}
std::string abbreviations_short(std::uint64_t offset) {
    return "abbreviations at " + hex(offset) + " cut short";
}
std::string abbreviation_code(std::uint64_t code, std::uint64_t die) {
    return die_at(die) + "abbreviation code " + std::to_string(code) + " not in .debug_abbrev";
}
std::string form_unknown(std::uint64_t form, std::uint64_t die) {
    return die_at(die) + "form " + hex(form) + " not known";
}
std::string form_indirect(std::uint64_t form, std::uint64_t die) {
    return die_at(die) + "DW_FORM_indirect names form " + hex(form);
}
std::string die_short(std::uint64_t die) {
    return die_at(die) + "runs past the end of its unit";
}
std::string nesting_too_deep(std::uint64_t die, unsigned limit) {
    return die_at(die) + "DIEs nested deeper than " + std::to_string(limit);
}
std::string string_offset(SectionId id, std::uint64_t offset) {
    return "string offset " + hex(offset) + " past the end of " + name(id);
}
std::string string_unterminated(SectionId id, std::uint64_t offset) {
    return "string at " + hex(offset) + " of " + name(id) + " has no terminating zero";
}
std::string string_too_long(SectionId id, std::uint64_t offset, std::uint64_t limit) {
    return "string at " + hex(offset) + " of " + name(id) + " longer than " + std::to_string(limit) + " bytes";
}
std::string name_too_long(std::uint64_t limit) {
    return "inline name longer than " + std::to_string(limit) + " bytes";
}
std::string abbreviations_too_large(std::uint64_t limit) {
    return "abbreviation tables too large: more than " + std::to_string(limit) + " bytes decoded";
}
std::string string_index(std::uint64_t index) {
    return "string index " + std::to_string(index) + " past the end of .debug_str_offsets";
}
std::string too_many_dies(std::uint64_t limit) {
    return "too much to read: more than " + std::to_string(limit) + " DIEs beyond one pass";
}
std::string layouts_too_large(std::uint64_t limit) {
    return "layouts too large: more than " + std::to_string(limit) + " bytes";
}

std::string layout(std::string_view block, std::uint64_t die, std::string_view why) {
    return "block /" + std::string(block) + "/ (DIE at " + hex(die) + "): " + std::string(why);
}
std::string member(std::string_view name, std::string_view why) {
    return "member " + std::string(name) + ": " + std::string(why);
}
std::string no_location() {
    return "no location";
}
std::string location_not_addr() {
    return "location is not a DW_OP_addr";
}
std::string location_needs_debug_addr() {
    return "DW_OP_addrx needs .debug_addr";
}
std::string addr_not_relocated() {
    return "DW_OP_addr has no relocation";
}
std::string symbol_past_table(std::uint32_t index) {
    return "relocation names symbol " + std::to_string(index) + ", past the symbol table";
}
std::string symbol_not_common(std::string_view symbol) {
    return "relocation against " + std::string(symbol) + ", not a COMMON symbol";
}
std::string two_symbols(std::string_view first, std::string_view second) {
    return "members relocate against " + std::string(first) + " and " + std::string(second);
}
std::string offset_too_large(std::uint64_t offset) {
    return "offset " + std::to_string(offset) + " too large";
}
std::string no_members() {
    return "no members";
}
std::string no_type() {
    return "no type";
}
std::string unknown_size(std::string_view type) {
    return "type " + std::string(type) + " of unknown size";
}
std::string types_too_deep(unsigned limit) {
    return "types nested deeper than " + std::to_string(limit);
}
std::string reference_outside(std::uint64_t offset) {
    return "type reference " + hex(offset) + " outside the units of .debug_info";
}
std::string not_a_type(std::uint64_t offset) {
    return "no type at " + hex(offset);
}
std::string too_many_runs(std::uint64_t limit) {
    return "more than " + std::to_string(limit) + " slot runs";
}
std::string too_many_dimensions(unsigned limit) {
    return "array of more than " + std::to_string(limit) + " dimensions";
}
std::string size_too_large() {
    return "size too large";
}
std::string member_location(std::uint64_t die) {
    return "structure member at " + hex(die) + " has no constant offset";
}

}  // namespace quorv::dwarf::reason
