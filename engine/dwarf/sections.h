#pragma once
// The DWARF sections of one module as the reader uses them: inflated when the object stores
// them compressed (on first use, so a module without COMMON blocks inflates no strings or
// line table), and the relocations of the relocated ones looked up by offset.
#include <cstdint>
#include <span>
#include <string>
#include <vector>

#include "engine/dwarf/byte_cursor.h"
#include "engine/dwarf/debug_input.h"
#include "engine/dwarf/inflate.h"

namespace quorv::dwarf {

// The most bytes a compressed section may declare: far beyond any real object's debug
// information, and within what the 32-bit Windows program can hold.
inline constexpr std::uint64_t kMostInflatedBytes = std::uint64_t{512} << 20;

class DebugSections {
  public:
    // Compressed sections are inflated into inflated[id], which the caller keeps from module
    // to module: fresh room would cost a page fault a page again in every module.
    DebugSections(const DebugInput& input, InflatedBytes (&inflated)[kSectionCount]);

    // Makes the section's bytes ready; false and a reason when a compressed one cannot be
    // inflated. An absent section is ready and empty. May throw std::bad_alloc.
    bool load(SectionId id, std::string& reason);
    bool present(SectionId id) const { return input_.sections[id].present; }
    std::span<const std::uint8_t> bytes(SectionId id) const { return bytes_[id]; }
    ByteCursor cursor(SectionId id, std::uint64_t at = 0) const {
        return ByteCursor(bytes_[id], input_.big_endian, at);
    }
    bool big_endian() const { return input_.big_endian; }
    bool has_relocations(SectionId id) const { return !relocations_[id].empty() || in_place_[id].count != 0; }
    // Whether any relocation of the section carries its addend apart (RELA).
    bool uses_rela(SectionId id) const;

    // The relocation of the width-byte field at offset of section id, when one of that width
    // applies there. Always inline: the reader looks up two for each member of a block.
    [[gnu::always_inline]] const Relocation* relocation_at(SectionId id, std::uint64_t offset, unsigned width) const {
        // The usual case, inline: the relocation after the last one found, as a reader going
        // through the section meets them.
        const std::size_t next = hint_[id] + 1;
        if (const InPlace& records = in_place_[id]; records.count != 0) {
            if (next < records.count && records.offset_at(next) == offset && records.offset_at(next - 1) < offset) {
                hint_[id] = next;
                return record(id, next, width);
            }
            return look_up(id, offset, width);
        }
        const std::span<const Relocation> all = relocations_[id];
        if (next < all.size() && all[next].offset == offset && all[next - 1].offset < offset) {
            hint_[id] = next;
            return all[next].width == width ? &all[next] : nullptr;
        }
        return look_up(id, offset, width);
    }
    // The value of such a field: a RELA relocation's addend, else the bytes in place (for REL
    // and COFF they are the addend). In relocatable objects the debug sections start at 0,
    // so the addend alone is the offset the field means.
    std::uint64_t relocated(SectionId id, std::uint64_t offset, unsigned width, std::uint64_t in_place) const {
        const Relocation* r = relocation_at(id, offset, width);
        if (r == nullptr || r->in_place) return in_place;
        const auto addend = static_cast<std::uint64_t>(r->addend);
        return width == 8 ? addend : addend & 0xFFFFFFFFu;
    }
    const std::vector<Symbol>& symbols() const { return input_.symbols; }

  private:
    bool inflate(SectionId id, std::string& reason);
    const Relocation* look_up(SectionId id, std::uint64_t offset, unsigned width) const;
    // The k-th of the section's records, decoded, when its field is width bytes wide. The
    // pointer holds until the next lookup in the section.
    [[gnu::always_inline]] const Relocation* record(SectionId id, std::size_t k, unsigned width) const {
        const InPlace& table = in_place_[id];
        Relocation& r = found_[id];
        const std::uint8_t* p = table.base + k * table.stride;
        // The usual layouts read at once, the width first: it decides whether the rest is needed.
        if (table.shape == InPlace::Shape::Elf64RelaLittle) {
            const std::uint64_t info = read_u64le(p + 8);
            if (table.width_of(static_cast<std::uint32_t>(info)) != width) return nullptr;
            r = {read_u64le(p), static_cast<std::uint32_t>(info >> 32), false, static_cast<std::uint8_t>(width),
                 static_cast<std::int64_t>(read_u64le(p + 16))};
            return &r;
        }
        if (table.shape == InPlace::Shape::Coff) {
            if (table.width_of(read_u16le(p + 8)) != width) return nullptr;
            r = {read_u32le(p), read_u32le(p + 4), true, static_cast<std::uint8_t>(width), 0};
            return &r;
        }
        return other_record(id, k, width);
    }
    const Relocation* other_record(SectionId id, std::size_t k, unsigned width) const;
    // Records read where they lie, their geometry worked out once.
    struct InPlace {
        RelocationRecords records;
        const std::uint8_t* base = nullptr;
        std::size_t stride = 0;
        std::size_t count = 0;  // 0: the section's relocations are decoded ones, if any
        enum class Shape : std::uint8_t { Other, Elf64RelaLittle, Coff } shape = Shape::Other;
        std::uint8_t widths[256] = {};  // by type, below 256

        explicit InPlace(const RelocationRecords& r = {})
            : records(r), base(r.bytes.data()), stride(RelocationRecords::record_size(r.layout)), count(r.count()) {
            using Layout = RelocationRecords::Layout;
            if (r.layout == Layout::Elf64Rela && !r.big_endian) shape = Shape::Elf64RelaLittle;
            if (r.layout == Layout::Coff) shape = Shape::Coff;
            for (const RelocationRecords::Width& w : r.widths)
                if (w.type < 256) widths[w.type] = w.bytes;
        }
        std::uint8_t width_of(std::uint32_t type) const { return type < 256 ? widths[type] : records.width_of(type); }
        std::uint64_t offset_at(std::size_t k) const {
            const std::uint8_t* p = base + k * stride;
            if (shape == Shape::Elf64RelaLittle) return read_u64le(p);
            if (shape == Shape::Coff) return read_u32le(p);
            return records.offset_at(k);
        }
    };

    const DebugInput& input_;
    std::span<const std::uint8_t> bytes_[kSectionCount];
    bool loaded_[kSectionCount] = {};
    InflatedBytes (&inflated_)[kSectionCount];
    // The input's relocations, sorted by offset: records read where they lie, or decoded
    // ones as given; either copied, decoded, and sorted here when they come out of order.
    InPlace in_place_[kSectionCount];
    mutable Relocation found_[kSectionCount];
    std::span<const Relocation> relocations_[kSectionCount];
    std::vector<Relocation> sorted_[kSectionCount];
    // Where the last lookup ended: the reader asks mostly in increasing order.
    mutable std::size_t hint_[kSectionCount] = {};
};

}  // namespace quorv::dwarf
