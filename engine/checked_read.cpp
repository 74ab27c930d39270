#include "engine/checked_read.h"

#include <algorithm>
#include <array>
#include <string>

#include "engine/messages.h"
#include "engine/text.h"

namespace quorv {
namespace {

constexpr std::size_t kFirstReadChunk = 64 * 1024;

// The message of a failed read: the error indicator is tested before the count.
std::uint64_t finish_read(const Diagnostics& diagnostics, InputStream& stream, std::uint64_t got, std::uint64_t count,
                          std::string_view where) {
    if (stream.error()) {
        const std::string label(where);
        diagnostics.report(compose(msg::kFreadFailed, label.c_str()));
        return 0;
    }
    if (got < count) {
        const std::string label(where);
        // Unsigned and in full, so that counts of 2^31 and more never print negative or cut.
        diagnostics.report(compose(msg::kFreadShort, static_cast<unsigned long long>(got),
                                   static_cast<unsigned long long>(count), label.c_str()));
        return 0;
    }
    return count;
}

}  // namespace

std::size_t checked_read(const Diagnostics& diagnostics, InputStream& stream, std::size_t count, std::uint8_t* buffer,
                         std::string_view where) {
    return static_cast<std::size_t>(finish_read(diagnostics, stream, stream.read(buffer, count), count, where));
}

std::uint64_t checked_read(const Diagnostics& diagnostics, InputStream& stream, std::uint64_t count,
                           std::vector<std::uint8_t>& out, std::string_view where) {
    // Bytes the stream holds in memory are copied once, without filling the buffer first;
    // positioning past them is what reading them would have done.
    if (const auto held = stream.buffered(); held.size() >= count && count < kFirstUnreachableOffset) {
        out.assign(held.begin(), held.begin() + static_cast<std::ptrdiff_t>(count));
        if (seek_to(stream, stream.tell() + static_cast<std::uint32_t>(count)))
            return finish_read(diagnostics, stream, count, count, where);
    }
    // Size the buffer by what the input can still deliver, never by count alone; past the
    // known end, grow in chunks only as bytes keep arriving.
    const std::uint64_t limit = std::min<std::uint64_t>(count, out.max_size());
    std::uint64_t want = std::min<std::uint64_t>(limit, kFirstReadChunk);
    if (auto left = stream.remaining()) want = std::max(want, std::min(limit, *left));
    out.clear();
    out.resize(static_cast<std::size_t>(want));
    std::size_t got = stream.read(out.data(), out.size());
    while (got == out.size() && got < limit) {
        const std::size_t more =
            static_cast<std::size_t>(std::min<std::uint64_t>(limit - got, std::max(got, kFirstReadChunk)));
        std::array<std::uint8_t, 4096> probe;
        if (stream.remaining().value_or(1) == 0) {
            // Looks like the end: confirm with a small read before growing anything.
            const std::size_t n = stream.read(probe.data(), std::min(more, probe.size()));
            if (n == 0) break;
            out.insert(out.end(), probe.begin(), probe.begin() + static_cast<std::ptrdiff_t>(n));
            got += n;
            continue;
        }
        out.resize(got + more);
        got += stream.read(out.data() + got, more);
    }
    out.resize(got);
    return finish_read(diagnostics, stream, got, count, where);
}

bool seek_to(InputStream& stream, std::uint32_t offset) {
    return stream.seek(offset);
}

}  // namespace quorv
