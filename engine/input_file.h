#pragma once
// Loading one input of the run whole into memory: one open, one size query and one read
// per file, so the readers work from a buffer instead of through stdio. Inputs that are
// too large, not regular files, or whose read goes wrong are left to a FileStream, which
// keeps the stream's error rules for them.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/file_entry.h"
#include "engine/input_stream.h"
#include "engine/uninitialized_allocator.h"

namespace quorv {

// Larger inputs are streamed, so memory stays bounded whatever the run is given; less in a
// 32-bit address space.
inline constexpr std::size_t kWholeFileLimit = sizeof(void*) >= 8 ? std::size_t{256} << 20 : std::size_t{64} << 20;

enum class LoadResult {
    Loaded,      // the file's bytes are in the buffer
    UseStream,   // open it as a FileStream instead
    CannotOpen,  // no such file, no permission, or a directory
};

// A buffer reused from one input to the next: it only grows, and is never zero-filled.
struct InputBuffer {
    std::vector<std::uint8_t, UninitializedAllocator<std::uint8_t>> storage;
    std::size_t length = 0;
};

LoadResult load_whole_file(const std::string& path, InputBuffer& buffer);

// One input opened for reading: its bytes in memory when they were loaded whole, else
// through stdio.
class InputFile {
  public:
    // false when the file cannot be opened (no such file, no permission, a directory).
    // buffer holds the bytes when loaded is Loaded, and must outlive this.
    bool open(const std::string& path, LoadResult loaded, const InputBuffer& buffer);
    InputStream& stream() { return *stream_; }

  private:
    std::unique_ptr<InputStream> stream_;
};

// The inputs of a run, loaded in list order, each as load_whole_file gives it. Where a
// second thread can be had, the next few files are opened and read on it while the one
// before is analyzed, so a run of thousands of small files does not wait on each open;
// what is held ahead stays within a few megabytes, and big files are loaded when asked
// for. Elsewhere each file is loaded when it is asked for.
class InputLoader {
  public:
    explicit InputLoader(const std::vector<const FileEntry*>& entries);
    ~InputLoader();
    InputLoader(const InputLoader&) = delete;
    InputLoader& operator=(const InputLoader&) = delete;

    // The next entry's load. When Loaded, *buffer holds its bytes until the next call.
    // Called at most once per entry.
    LoadResult next(const InputBuffer*& buffer);

  private:
    struct Ahead;

    const std::vector<const FileEntry*>& entries_;
    std::size_t taken_ = 0;
    InputBuffer own_;
    std::unique_ptr<Ahead> ahead_;
};

}  // namespace quorv
