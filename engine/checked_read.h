#pragma once
// The engine's two stream primitives: read exactly N bytes or report why not, and position
// at an absolute offset. Every reader reads through them.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "engine/diagnostics.h"
#include "engine/input_stream.h"

namespace quorv {

// Reads exactly count bytes (count > 0) or reports why not, labelled with where. Returns
// count, or 0 on failure.
std::size_t checked_read(const Diagnostics& diagnostics, InputStream& stream, std::size_t count, std::uint8_t* buffer,
                         std::string_view where);
// The same into a buffer that grows with the bytes that actually arrive, so that a count
// the file declares never sizes an allocation beyond what the input holds; a count beyond
// what a buffer can hold is read as far as the input goes and reported in full. Returns
// the count, or 0. May throw std::bad_alloc; the caller reports it.
std::uint64_t checked_read(const Diagnostics& diagnostics, InputStream& stream, std::uint64_t count,
                           std::vector<std::uint8_t>& out, std::string_view where);
// true when the stream now stands at offset; no message of its own.
bool seek_to(InputStream& stream, std::uint32_t offset);

}  // namespace quorv
