#include "engine/input_file.h"

#include <cstdio>
#include <filesystem>
#include <new>
#include <system_error>

#if defined(__unix__) || defined(__APPLE__)
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <system_error>
#include <thread>

#include "engine/ordered_handoff.h"
#define QUORV_POSIX_FILES 1
#endif

namespace quorv {

bool InputFile::open(const std::string& path, LoadResult loaded, const InputBuffer& buffer) {
    stream_.reset();
    if (loaded == LoadResult::CannotOpen) return false;
    if (loaded == LoadResult::Loaded) {
        stream_ = std::make_unique<MemoryStream>(std::span<const std::uint8_t>(buffer.storage.data(), buffer.length));
        return true;
    }
    std::error_code ec;
    if (std::filesystem::is_directory(std::filesystem::path(path), ec)) return false;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return false;
    stream_ = std::make_unique<FileStream>(file);  // closed with this
    return true;
}

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

// load_whole_file for a regular file of at most most bytes; a bigger one is left unread,
// with bigger set.
LoadResult load_up_to(const std::string& path, InputBuffer& buffer, std::uint64_t most, bool& bigger) {
    bigger = false;
    buffer.length = 0;
    // Not blocking: a FIFO must not hold up a load ahead that the run may never reach; it
    // is not a regular file, so the stream opens it later.
    const int fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK);
    if (fd < 0) return LoadResult::CannotOpen;
    Descriptor closer{fd};
    struct stat info;
    if (::fstat(fd, &info) != 0) return LoadResult::UseStream;
    if (S_ISDIR(info.st_mode)) return LoadResult::CannotOpen;
    if (!S_ISREG(info.st_mode) || static_cast<std::uint64_t>(info.st_size) > kWholeFileLimit)
        return LoadResult::UseStream;
    if (static_cast<std::uint64_t>(info.st_size) > most) {
        bigger = true;
        return LoadResult::UseStream;
    }
    try {
        return read_to_end(fd, static_cast<std::size_t>(info.st_size), buffer);
    } catch (const std::bad_alloc&) {
        return LoadResult::UseStream;
    }
}

}  // namespace

LoadResult load_whole_file(const std::string& path, InputBuffer& buffer) {
    bool bigger = false;
    return load_up_to(path, buffer, kWholeFileLimit, bigger);
}

namespace {

// What a load ahead gives when even that goes wrong: the stream, which has its own rules.
LoadResult load_ahead(const std::string& path, InputBuffer& buffer, std::uint64_t most, bool& bigger) noexcept {
    try {
        return load_up_to(path, buffer, most, bigger);
    } catch (...) {
        buffer.length = 0;
        return LoadResult::UseStream;
    }
}

}  // namespace

// The files loaded ahead, handed from the loading thread to the run in list order. The
// run gives each back when it asks for the next.
struct InputLoader::Ahead {
    static constexpr std::size_t kSlots = 128;
    // The loading thread waits while this much is loaded and not yet done with.
    static constexpr std::size_t kHeldBytes = std::size_t{4} << 20;
    // A slot's buffer keeps this much room between files, so the ring keeps at most kSlots
    // times this; one that grew past it (a file that grew while it was read) is let go.
    static constexpr std::size_t kKeptCapacity = std::size_t{64} << 10;

    // A regular file bigger than a slot keeps is left for the run to load into its own
    // buffer, kept from one such file to the next while it stays below kOwnKept: bytes read
    // on another core into fresh room cost the run more to go over than the read it is
    // spared (objects with debug information run a fifth faster so).
    static constexpr std::size_t kLoadedHere = kKeptCapacity;
    static constexpr std::size_t kOwnKept = std::size_t{32} << 20;

    struct Slot {
        InputBuffer buffer;
        LoadResult result = LoadResult::UseStream;
        bool here = false;  // left for the run
    };

    explicit Ahead(const std::vector<const FileEntry*>& entries) : entries(entries), ring(kSlots, kHeldBytes) {}

    void load_all() {
        for (const FileEntry* entry : entries) {
            Slot* slot = ring.next_free();
            if (slot == nullptr) return;
            slot->result = load_ahead(entry->full_path, slot->buffer, kLoadedHere, slot->here);
            ring.made(slot->buffer.length);
        }
    }

    const std::vector<const FileEntry*>& entries;
    OrderedHandoff<Slot> ring;
    Slot* in_use = nullptr;
    std::thread worker;
};

InputLoader::InputLoader(const std::vector<const FileEntry*>& entries) : entries_(entries) {
    // One file has nothing to overlap with.
    if (entries.size() < 2) return;
    try {
        auto ahead = std::make_unique<Ahead>(entries);
        ahead->worker = std::thread([a = ahead.get()] { a->load_all(); });
        ahead_ = std::move(ahead);
    } catch (const std::bad_alloc&) {
        // No second thread: each file is loaded when asked for.
    } catch (const std::system_error&) {
    }
}

InputLoader::~InputLoader() {
    if (!ahead_) return;
    ahead_->ring.stop();
    ahead_->worker.join();
}

LoadResult InputLoader::next(const InputBuffer*& buffer) {
    buffer = nullptr;
    if (taken_ >= entries_.size()) return LoadResult::UseStream;
    const std::size_t index = taken_++;
    if (!ahead_) {
        const LoadResult result = load_whole_file(entries_[index]->full_path, own_);
        buffer = &own_;
        return result;
    }
    Ahead& a = *ahead_;
    if (a.in_use != nullptr) {
        InputBuffer& done = a.in_use->buffer;
        done.length = 0;
        if (done.storage.capacity() > Ahead::kKeptCapacity) decltype(done.storage)().swap(done.storage);
        a.ring.give_back();
    }
    a.in_use = &a.ring.take();
    if (a.in_use->here) {
        // Room kept for the next big file, unless this one was huge.
        if (own_.storage.capacity() > Ahead::kOwnKept) decltype(own_.storage)().swap(own_.storage);
        buffer = &own_;
        return load_whole_file(entries_[index]->full_path, own_);
    }
    buffer = &a.in_use->buffer;
    return a.in_use->result;
}

#else

// Without POSIX calls: the size from a seek to the end, then one read. Only the ordinary
// outcome loads; anything unusual is left to the stream and its error rules.
LoadResult load_whole_file(const std::string& path, InputBuffer& buffer) {
    buffer.length = 0;
    std::error_code ec;
    if (std::filesystem::is_directory(std::filesystem::path(path), ec)) return LoadResult::CannotOpen;
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) return LoadResult::UseStream;
    struct Closer {
        std::FILE* file;
        ~Closer() { std::fclose(file); }
    } closer{file};
    if (std::fseek(file, 0, SEEK_END) != 0) return LoadResult::UseStream;
    const long size = std::ftell(file);
    if (size < 0 || static_cast<std::uint64_t>(size) > kWholeFileLimit || std::fseek(file, 0, SEEK_SET) != 0)
        return LoadResult::UseStream;
    const auto expected = static_cast<std::size_t>(size);
    try {
        // One byte more: a file that grew meanwhile is not taken for whole.
        if (buffer.storage.size() < expected + 1) buffer.storage.resize(expected + 1);
    } catch (const std::bad_alloc&) {
        return LoadResult::UseStream;
    }
    const std::size_t got = std::fread(buffer.storage.data(), 1, expected + 1, file);
    if (got != expected || std::ferror(file) != 0) return LoadResult::UseStream;
    buffer.length = got;
    return LoadResult::Loaded;
}

// No second thread here: each file is loaded when it is asked for.
struct InputLoader::Ahead {};

InputLoader::InputLoader(const std::vector<const FileEntry*>& entries) : entries_(entries) {}

InputLoader::~InputLoader() = default;

LoadResult InputLoader::next(const InputBuffer*& buffer) {
    buffer = nullptr;
    if (taken_ >= entries_.size()) return LoadResult::UseStream;
    const LoadResult result = load_whole_file(entries_[taken_++]->full_path, own_);
    buffer = &own_;
    return result;
}

#endif

}  // namespace quorv
