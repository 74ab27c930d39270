#pragma once
// Loading one input of the run whole into memory: one open, one size query and one read
// per file, so the readers work from a buffer instead of through stdio. Inputs that are
// too large, not regular files, or whose read goes wrong are left to a FileStream, which
// keeps the stream's error rules for them.
#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace quorv {

// Larger inputs are streamed, so memory stays bounded whatever the run is given.
inline constexpr std::size_t kWholeFileLimit = std::size_t{256} << 20;

enum class LoadResult {
    Loaded,      // the file's bytes are in the buffer
    UseStream,   // open it as a FileStream instead
    CannotOpen,  // no such file, no permission, or a directory
};

// A buffer reused from one input to the next: it only grows, and is never zero-filled again.
struct InputBuffer {
    std::vector<std::uint8_t> storage;
    std::size_t length = 0;
};

LoadResult load_whole_file(const std::string& path, InputBuffer& buffer);

}  // namespace quorv
