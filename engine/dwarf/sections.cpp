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
        const RelocationRecords& records = input.records[id];
        if (!records.empty()) {
            const InPlace table(records);
            bool sorted = true;
            for (std::uint64_t k = 1, last = table.offset_at(0); k < table.count && sorted; ++k) {
                const std::uint64_t offset = table.offset_at(k);
                sorted = last <= offset;
                last = offset;
            }
            if (sorted) {
                in_place_[id] = table;
                continue;
            }
            records.append_to(sorted_[id]);
            std::stable_sort(sorted_[id].begin(), sorted_[id].end(), by_offset);
            relocations_[id] = sorted_[id];
            continue;
        }
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
    if (in_place_[id].count != 0) return in_place_[id].records.rela();
    return std::any_of(relocations_[id].begin(), relocations_[id].end(),
                       [](const Relocation& r) { return !r.in_place; });
}

namespace {

// The first of size relocations sorted by offset that lies at or after offset: a few steps
// on from hint, when everything before that lies below offset; else a binary search.
template <class OffsetAt>
std::size_t first_at_or_after(std::size_t size, std::size_t hint, std::uint64_t offset, OffsetAt offset_at) {
    constexpr std::size_t kNearby = 8;
    std::size_t at = hint;
    if (at == 0 || offset_at(at - 1) < offset) {
        const std::size_t limit = std::min(size, at + kNearby);
        while (at < limit && offset_at(at) < offset) ++at;
        if (at == size || offset_at(at) >= offset) return at;
    }
    std::size_t low = 0, count = size;
    while (count > 0) {
        const std::size_t half = count / 2;
        if (offset_at(low + half) < offset) {
            low += half + 1;
            count -= half + 1;
        } else {
            count = half;
        }
    }
    return low;
}

}  // namespace

const Relocation* DebugSections::look_up(SectionId id, std::uint64_t offset, unsigned width) const {
    if (const InPlace& records = in_place_[id]; records.count != 0) {
        const std::size_t at =
            first_at_or_after(records.count, hint_[id], offset, [&](std::size_t k) { return records.offset_at(k); });
        hint_[id] = at;
        if (at == records.count || records.offset_at(at) != offset) return nullptr;
        return record(id, at, width);
    }
    const std::span<const Relocation> all = relocations_[id];
    const std::size_t at =
        first_at_or_after(all.size(), hint_[id], offset, [&](std::size_t k) { return all[k].offset; });
    hint_[id] = at;
    if (at == all.size() || all[at].offset != offset || all[at].width != width) return nullptr;
    return &all[at];
}

const Relocation* DebugSections::other_record(SectionId id, std::size_t k, unsigned width) const {
    Relocation& r = found_[id];
    r = in_place_[id].records.at(k);
    return r.width == width ? &r : nullptr;
}

}  // namespace quorv::dwarf
