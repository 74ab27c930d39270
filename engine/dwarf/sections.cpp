#include "engine/dwarf/sections.h"

#include <algorithm>

#include "engine/dwarf/inflate.h"
#include "engine/dwarf/reasons.h"

namespace quorv::dwarf {
namespace {

// The ELF compression header, in the module's class and byte order:
//   Elf32_Chdr (12 bytes): 0 ch_type u32 | 4 ch_size u32 | 8 ch_addralign u32
//   Elf64_Chdr (24 bytes): 0 ch_type u32 | 4 ch_reserved u32 | 8 ch_size u64 | 16 ch_addralign u64
constexpr std::size_t kChdrSize32 = 12;
constexpr std::size_t kChdrSize64 = 24;
constexpr std::uint32_t kCompressZlib = 1;

bool by_offset(const Relocation& a, const Relocation& b) {
    return a.offset < b.offset;
}

}  // namespace

DebugSections::DebugSections(const DebugInput& input, InflatedBytes (&inflated)[kSectionCount])
    : input_(input), inflated_(inflated) {
    for (int id = 0; id < kSectionCount; ++id) {
        const std::vector<Relocation>& given = input.relocations[id];
        if (std::is_sorted(given.begin(), given.end(), by_offset)) {
            relocations_[id] = given;
            continue;
        }
        sorted_[id] = given;
        std::stable_sort(sorted_[id].begin(), sorted_[id].end(), by_offset);
        relocations_[id] = sorted_[id];
    }
}

bool DebugSections::load(SectionId id, std::string& reason) {
    if (loaded_[id]) return true;
    const Section& section = input_.sections[id];
    if (section.present && section.compressed) {
        if (!inflate(id, reason)) return false;
    } else if (section.present) {
        bytes_[id] = section.bytes;
    }
    loaded_[id] = true;
    return true;
}

bool DebugSections::inflate(SectionId id, std::string& reason) {
    ByteCursor header(input_.sections[id].bytes, input_.big_endian);
    const std::uint32_t type = header.u32();
    if (input_.elf64) header.skip(4);
    const std::uint64_t size = input_.elf64 ? header.u64() : header.u32();
    header.skip(input_.elf64 ? 8 : 4);
    if (!header.ok()) {
        reason = reason::compressed_header_short(id);
        return false;
    }
    if (type != kCompressZlib) {
        reason = reason::compressed_not_zlib(id, type);
        return false;
    }
    if (size > kMostInflatedBytes) {
        reason = reason::compressed_too_large(id, size);
        return false;
    }
    const std::size_t header_size = input_.elf64 ? kChdrSize64 : kChdrSize32;
    if (!inflate_zlib(input_.sections[id].bytes.subspan(header_size), size, inflated_[id])) {
        reason = reason::inflating_failed(id);
        return false;
    }
    bytes_[id] = inflated_[id];
    return true;
}

bool DebugSections::uses_rela(SectionId id) const {
    return std::any_of(relocations_[id].begin(), relocations_[id].end(),
                       [](const Relocation& r) { return !r.in_place; });
}

const Relocation* DebugSections::look_up(SectionId id, std::uint64_t offset, unsigned width) const {
    constexpr std::size_t kNearby = 8;
    const std::span<const Relocation> all = relocations_[id];
    // The first relocation at or after offset: a few steps on from the last lookup's, when
    // everything before that lies below offset; else a binary search.
    std::size_t at = hint_[id];
    bool found = false;
    if (at == 0 || all[at - 1].offset < offset) {
        const std::size_t limit = std::min(all.size(), at + kNearby);
        while (at < limit && all[at].offset < offset) ++at;
        found = at == all.size() || all[at].offset >= offset;
    }
    if (!found) {
        const auto first = std::lower_bound(all.begin(), all.end(), offset,
                                            [](const Relocation& r, std::uint64_t o) { return r.offset < o; });
        at = static_cast<std::size_t>(first - all.begin());
    }
    hint_[id] = at;
    if (at == all.size() || all[at].offset != offset || all[at].width != width) return nullptr;
    return &all[at];
}

}  // namespace quorv::dwarf
