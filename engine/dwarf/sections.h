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
    bool has_relocations(SectionId id) const { return !relocations_[id].empty(); }
    // Whether any relocation of the section carries its addend apart (RELA).
    bool uses_rela(SectionId id) const;

    // The relocation of the width-byte field at offset of section id, when one of that width
    // applies there.
    const Relocation* relocation_at(SectionId id, std::uint64_t offset, unsigned width) const {
        // The usual case, inline: the relocation after the last one found, as a reader going
        // through the section meets them.
        const std::span<const Relocation> all = relocations_[id];
        const std::size_t next = hint_[id] + 1;
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

    const DebugInput& input_;
    std::span<const std::uint8_t> bytes_[kSectionCount];
    bool loaded_[kSectionCount] = {};
    InflatedBytes (&inflated_)[kSectionCount];
    // The input's relocations, sorted by offset (copied only when they come unsorted).
    std::span<const Relocation> relocations_[kSectionCount];
    std::vector<Relocation> sorted_[kSectionCount];
    // Where the last lookup ended: the reader asks mostly in increasing order.
    mutable std::size_t hint_[kSectionCount] = {};
};

}  // namespace quorv::dwarf
