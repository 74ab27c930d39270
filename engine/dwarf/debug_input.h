#pragma once
// What a format reader hands the debug-info reader of one module: the DWARF sections' bytes
// as the object stores them, the relocations that apply to .debug_info and .debug_line, and
// the module's symbols by index. The bytes point into the reader's working set and live as
// long as the module's reading.
#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace quorv::dwarf {

struct Section {
    std::span<const std::uint8_t> bytes;
    // ELF SHF_COMPRESSED: the bytes open with a compression header (Elf32_Chdr or Elf64_Chdr,
    // in the module's class and byte order), then the compressed data.
    bool compressed = false;
    bool present = false;
};

// 24 bytes: a module's .debug_info has thousands.
struct Relocation {
    std::uint64_t offset = 0;  // in the section's uncompressed bytes
    std::uint32_t symbol = 0;  // index into DebugInput::symbols
    bool in_place = false;     // ELF REL and COFF: the field's own bytes are the addend
    std::uint8_t width = 0;    // bytes of the field: 4 or 8
    std::int64_t addend = 0;   // RELA's r_addend; unused when in_place
};

struct Symbol {
    std::string_view name;
    // A COMMON declaration of this module: ELF SHN_COMMON (or x86-64 large COMMON); COFF an
    // undefined external data symbol with a size.
    bool is_common = false;
};

// The DWARF sections a module may hold, by their names in the object.
enum SectionId { kInfo, kAbbrev, kStr, kLineStr, kStrOffsets, kLine, kSectionCount };
inline constexpr std::string_view kSectionNames[kSectionCount] = {
    ".debug_info", ".debug_abbrev", ".debug_str", ".debug_line_str", ".debug_str_offsets", ".debug_line"};

inline int section_id(std::string_view name) {
    for (int k = 0; k < kSectionCount; ++k)
        if (name == kSectionNames[k]) return k;
    return -1;
}

struct DebugInput {
    bool big_endian = false;
    bool elf64 = false;  // the layout of an ELF compression header
    Section sections[kSectionCount];
    std::vector<Relocation> relocations[kSectionCount];  // those of .debug_info, .debug_line and .debug_str_offsets
    std::vector<Symbol> symbols;                         // by symbol-table index (COFF: auxiliary records count)

    const Section& section(SectionId id) const { return sections[id]; }
    bool has_info() const { return sections[kInfo].present; }

    // Keeps the vectors' room: a run reads thousands of modules, and fresh room for each
    // one's relocations costs a page fault per page.
    void clear() {
        big_endian = false;
        elf64 = false;
        for (Section& s : sections) s = Section{};
        for (std::vector<Relocation>& r : relocations) r.clear();
        symbols.clear();
    }
};

}  // namespace quorv::dwarf
