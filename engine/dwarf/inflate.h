#pragma once
// The zlib stream of a compressed debug section (ELF SHF_COMPRESSED, ELFCOMPRESS_ZLIB): the
// zlib wrapper around deflate data, checksum included. Written here rather than linked, so
// that the Windows program needs no further library and every read stays bounded.
#include <cstdint>
#include <span>
#include <vector>

#include "engine/uninitialized_allocator.h"

namespace quorv::dwarf {

// The inflater writes every byte of its output before it reads it.
using InflatedBytes = std::vector<std::uint8_t, UninitializedAllocator<std::uint8_t>>;

// Inflates in into out, which must come to exactly declared_size bytes. The output grows
// with what is produced, never sized by the declared size alone; false (out then undefined)
// when the data is damaged, uses a preset dictionary, fails its checksum, would pass
// declared_size, or ends short of it. May throw std::bad_alloc.
bool inflate_zlib(std::span<const std::uint8_t> in, std::uint64_t declared_size, InflatedBytes& out);

}  // namespace quorv::dwarf
