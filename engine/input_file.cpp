#include "engine/input_file.h"

#include <new>

#if defined(__unix__) || defined(__APPLE__)
#include <cerrno>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#define QUORV_POSIX_FILES 1
#endif

namespace quorv {

#if QUORV_POSIX_FILES

namespace {

struct Descriptor {
    int fd;
    ~Descriptor() { ::close(fd); }
};

// Reads a regular file to its end. One byte more than its size is asked for, so that a read
// that comes back short is the end (one call for the usual file); a file that grew
// meanwhile is read on until a read returns nothing.
LoadResult read_to_end(int fd, std::size_t expected, InputBuffer& buffer) {
    std::size_t capacity = expected + 1;
    std::size_t got = 0;
    for (;;) {
        if (buffer.storage.size() < capacity) buffer.storage.resize(capacity);
        const ssize_t n = ::read(fd, buffer.storage.data() + got, capacity - got);
        if (n < 0) {
            if (errno == EINTR) continue;
            return LoadResult::UseStream;
        }
        if (n == 0) break;
        got += static_cast<std::size_t>(n);
        if (got < capacity && got >= expected) break;
        if (got == capacity) {
            if (capacity > kWholeFileLimit) return LoadResult::UseStream;
            capacity *= 2;
        }
    }
    buffer.length = got;
    return LoadResult::Loaded;
}

}  // namespace

LoadResult load_whole_file(const std::string& path, InputBuffer& buffer) {
    buffer.length = 0;
    const int fd = ::open(path.c_str(), O_RDONLY);
    if (fd < 0) return LoadResult::CannotOpen;
    Descriptor closer{fd};
    struct stat info;
    if (::fstat(fd, &info) != 0) return LoadResult::UseStream;
    if (S_ISDIR(info.st_mode)) return LoadResult::CannotOpen;
    if (!S_ISREG(info.st_mode) || static_cast<std::uint64_t>(info.st_size) > kWholeFileLimit)
        return LoadResult::UseStream;
    try {
        return read_to_end(fd, static_cast<std::size_t>(info.st_size), buffer);
    } catch (const std::bad_alloc&) {
        return LoadResult::UseStream;
    }
}

#else

// Elsewhere every input goes through a FileStream, as it always did.
LoadResult load_whole_file(const std::string&, InputBuffer& buffer) {
    buffer.length = 0;
    return LoadResult::UseStream;
}

#endif

}  // namespace quorv
