#include "engine/archive_walk.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/archive_layout.h"
#include "engine/byte_order.h"
#include "engine/checked_read.h"
#include "engine/input_file.h"
#include "engine/messages.h"
#include "engine/probe.h"
#include "engine/text.h"

namespace quorv {
namespace {

using archive::kHeaderSize;

constexpr std::uint64_t kUnbounded = ~std::uint64_t{0};

// The member's entry, named "%s (%s)" by the name the walk found (none: "no obj file
// given"); real_name is the member's name as findings give it.
std::unique_ptr<FileEntry> member_entry(const FileEntry& library, std::string_view name, std::string_view real_name) {
    std::unique_ptr<FileEntry> entry;
    const std::string suffix = name.empty() ? std::string(" (no obj file given)") : " (" + std::string(name) + ")";
    if (make_file_entry(library.full_path + suffix, library.display_name + suffix, entry)) {
        entry->library = &library;
        entry->member_name = real_name;
    }
    return entry;
}

// The kind of the module whose bytes start at offset, from the bytes the stream holds up to
// end. Members are probed only for import members, other code and ELF: anything else, an
// executable's or an archive's signature included, is read as COFF.
ModuleKind probe_member(InputStream& stream, std::uint64_t offset, std::uint64_t end) {
    std::uint8_t first[kProbeBytes] = {};
    const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(kProbeBytes, end > offset ? end - offset : 0));
    const std::size_t got = stream.peek_at(offset, first, want);
    return probe_module(std::span<const std::uint8_t>(first, got));
}

// One or more ASCII digits, then only blanks.
bool decimal_field(const std::uint8_t* field, std::size_t size, std::uint64_t& value) {
    std::size_t k = 0;
    value = 0;
    for (; k < size && field[k] >= '0' && field[k] <= '9'; ++k) value = value * 10 + (field[k] - '0');
    if (k == 0) return false;
    for (; k < size; ++k)
        if (field[k] != ' ') return false;
    return true;
}

bool all_digits(std::string_view text) {
    return !text.empty() && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

std::uint64_t digits_value(std::string_view text) {
    std::uint64_t value = 0;
    for (const char c : text) value = value * 10 + static_cast<unsigned>(c - '0');
    return value;
}

// The name field up to its first zero byte, trailing blanks dropped.
std::string_view name_field(const std::uint8_t* header) {
    const char* text = reinterpret_cast<const char*>(header);
    std::size_t n = 0;
    while (n < archive::kNameFieldSize && text[n] != 0) ++n;
    while (n > 0 && text[n - 1] == ' ') --n;
    return std::string_view(text, n);
}

std::string_view up_to_zero(std::string_view text) {
    return text.substr(0, text.find('\0'));
}

bool is_bsd_table(std::string_view name) {
    return std::find(std::begin(archive::kBsdTableNames), std::end(archive::kBsdTableNames), name) !=
           std::end(archive::kBsdTableNames);
}

bool is_gnu_table(std::string_view name) {
    return name == archive::kSymbolTableName || name == archive::kGnuSymbolTable64Name;
}

// --- The Microsoft layout ---

// Advancing in the walk wraps like every offset, under the positioning rule of seek_to; its
// result is never tested.
void advance(InputStream& stream, std::uint32_t n) {
    seek_to(stream, stream.tell() + n);
}

// The member name is what stands before the first "/" of the header, searched up to the
// first zero byte; a header that starts with "/" (long names) or has none names nothing.
std::string_view first_slash_name(const std::uint8_t (&header)[kHeaderSize]) {
    for (std::size_t i = 0; i < kHeaderSize && header[i] != 0; ++i) {
        if (header[i] == '/') return std::string_view(reinterpret_cast<const char*>(header), i);
    }
    return {};
}

// Passes over the first linker member's S zero-terminated names; a file that ends early
// ends the passing at the first byte that cannot be read. Names held in memory are
// skipped in bulk; the byte-by-byte reads take over where the held bytes end, so a short
// or failing read is met and reported exactly as it would be byte by byte.
void pass_over_names(const Diagnostics& diagnostics, InputStream& stream, std::uint32_t count) {
    std::uint32_t passed = 0;
    while (passed < count) {
        const std::span<const std::uint8_t> held = stream.buffered();
        std::size_t used = 0;
        std::uint32_t found = passed;
        while (found < count && used < held.size()) {
            const void* zero = std::memchr(held.data() + used, 0, held.size() - used);
            if (zero == nullptr) {
                used = held.size();
                break;
            }
            used = static_cast<std::size_t>(static_cast<const std::uint8_t*>(zero) - held.data()) + 1;
            ++found;
        }
        if (used == 0 || !seek_to(stream, stream.tell() + static_cast<std::uint32_t>(used))) break;
        passed = found;
    }
    std::uint8_t byte = 0;
    for (; passed < count; ++passed) {
        do {
            if (checked_read(diagnostics, stream, 1, &byte, "analyze") == 0) return;
        } while (byte != 0);
    }
}

// The long-name member that follows the second linker member whose header stands at
// `second`, looked at quietly: its text, or empty when there is none.
std::string microsoft_long_names(InputStream& stream, std::uint64_t second) {
    std::uint8_t header[kHeaderSize];
    std::uint64_t size = 0;
    if (stream.peek_at(second, header, kHeaderSize) != kHeaderSize ||
        !decimal_field(header + archive::kSizeFieldOffset, archive::kSizeFieldSize, size))
        return {};
    const std::uint64_t at = second + kHeaderSize + size + size % 2;
    if (stream.peek_at(at, header, kHeaderSize) != kHeaderSize || name_field(header) != archive::kLongNamesName ||
        !decimal_field(header + archive::kSizeFieldOffset, archive::kSizeFieldSize, size) ||
        size > stream.length().value_or(0))
        return {};
    std::string text(static_cast<std::size_t>(size), '\0');
    if (stream.peek_at(at + kHeaderSize, text.data(), text.size()) != text.size()) return {};
    return text;
}

// A member's real name: the header's name, or for "/N" the long-name member's text at N up
// to its end (a zero byte, or a line feed with the "/" before it).
std::string real_member_name(const std::uint8_t (&header)[kHeaderSize], std::string_view found,
                             const std::string& long_names) {
    const std::string_view field = name_field(header);
    if (!(field.size() > 1 && field[0] == '/' && all_digits(field.substr(1)))) return std::string(found);
    const std::uint64_t offset = digits_value(field.substr(1));
    if (offset >= long_names.size()) return std::string(found);
    std::string_view text = std::string_view(long_names).substr(static_cast<std::size_t>(offset));
    text = text.substr(0, std::min(text.find('\0'), text.find('\n')));
    if (!text.empty() && text.back() == '/') text.remove_suffix(1);
    return std::string(text);
}

// The offsets of the second linker member, read one at a time: the table grows only with
// offsets the file holds. false when one cannot be read (reported). second is where the
// second linker member's header stands.
bool read_member_offsets(const Diagnostics& diagnostics, InputStream& stream, std::vector<std::uint32_t>& offsets,
                         std::uint64_t& second) {
    std::uint8_t field[4];
    advance(stream, kHeaderSize);
    if (checked_read(diagnostics, stream, 4, field, "analyze") == 0) {
        diagnostics.report(msg::kLibrarySymbolCount);
        return false;
    }
    const std::uint32_t symbol_count = read_u32be(field);
    advance(stream, 4 * symbol_count);
    pass_over_names(diagnostics, stream, symbol_count);
    if (stream.tell() % 2 != 0) advance(stream, 1);
    second = stream.tell();
    advance(stream, kHeaderSize);
    if (checked_read(diagnostics, stream, 4, field, "analyze") == 0) {
        diagnostics.report(msg::kLibraryMemberCount);
        return false;
    }
    const std::uint32_t member_count = read_u32le(field);
    for (std::uint32_t k = 0; k < member_count; ++k) {
        if (checked_read(diagnostics, stream, 4, field, "analyze") == 0) {
            diagnostics.report(msg::kLibraryMembers);
            return false;
        }
        offsets.push_back(read_u32le(field));
    }
    return true;
}

// --- Member by member ---

class MemberWalk {
  public:
    MemberWalk(InputStream& stream, const FileEntry& library, bool thin, RunContext& run)
        : stream_(stream), library_(library), thin_(thin), run_(run), length_(stream.length().value_or(0)) {}

    int run() {
        for (std::uint64_t at = archive::kSignatureSize; at < length_;) {
            std::uint64_t next = 0;
            const Step step = member(at, next);
            if (step == Step::Damaged) {
                run_.diagnostics().report(msg::kLibraryMembers);
                return 1;
            }
            if (step == Step::Stop) return 1;
            at = next;
        }
        return 0;
    }

  private:
    enum class Step { Next, Stop, Damaged };

    bool peek(std::uint64_t offset, std::uint64_t size, std::string& out) {
        out.resize(static_cast<std::size_t>(size));
        return size == 0 || stream_.peek_at(offset, out.data(), out.size()) == out.size();
    }

    // The member whose header stands at `at`; `next` is where the following header stands.
    Step member(std::uint64_t at, std::uint64_t& next) {
        if (length_ - at < kHeaderSize) return Step::Damaged;
        std::uint8_t header[kHeaderSize];
        if (stream_.peek_at(at, header, kHeaderSize) != kHeaderSize) return Step::Damaged;
        std::uint64_t size = 0;
        if (!decimal_field(header + archive::kSizeFieldOffset, archive::kSizeFieldSize, size)) return Step::Damaged;
        const std::string_view field = name_field(header);
        const std::uint64_t data = at + kHeaderSize;
        const bool held_whole = size <= length_ - data;
        // Tables hold data in every layout, also in a thin archive; its members do not.
        const auto table = [&] {
            next = data + size + (size % 2);
            return held_whole ? Step::Next : Step::Damaged;
        };
        if (field == archive::kLongNamesName) {
            if (!held_whole || !peek(data, size, long_names_)) return Step::Damaged;
            have_long_names_ = true;
            return table();
        }
        if (is_gnu_table(field)) return table();

        std::string name;
        std::uint64_t name_in_data = 0;
        if (field.size() > 1 && field[0] == '/' && all_digits(field.substr(1))) {
            if (!long_name(digits_value(field.substr(1)), name)) return Step::Damaged;
        } else if (field.starts_with(archive::kBsdNamePrefix) && all_digits(field.substr(3))) {
            // In a thin archive a member holds no data, so its name cannot stand there either.
            name_in_data = digits_value(field.substr(3));
            if (name_in_data > (thin_ ? 0 : size) || name_in_data > length_ - data || !peek(data, name_in_data, name))
                return Step::Damaged;
            while (!name.empty() && name.back() == '\0') name.pop_back();
        } else if (!field.empty() && field.back() == '/') {
            name = field.substr(0, field.size() - 1);
        } else {
            name = field;
        }
        name = std::string(up_to_zero(name));
        if (is_bsd_table(name)) return table();
        if (thin_) {
            next = data;
            return thin_member(name);
        }
        if (!held_whole) return Step::Damaged;
        next = data + size + (size % 2);
        return held_member(name, data + name_in_data, data + size);
    }

    // "/N": the text at offset N of "//" up to its line feed, without a "/" right before it.
    bool long_name(std::uint64_t offset, std::string& name) {
        if (!have_long_names_ || offset >= long_names_.size()) return false;
        const std::string_view rest = std::string_view(long_names_).substr(static_cast<std::size_t>(offset));
        std::string_view text = rest.substr(0, rest.find('\n'));
        if (text.size() < rest.size() && !text.empty() && text.back() == '/') text.remove_suffix(1);
        name = text;
        return true;
    }

    Step held_member(const std::string& name, std::uint64_t first, std::uint64_t end) {
        const ModuleKind kind = probe_member(stream_, first, end);
        if (kind == ModuleKind::ShortImport) return Step::Next;
        const FileEntry* entry = keep(name);
        if (entry == nullptr) return Step::Stop;
        BoundedStream member(stream_, first, end);
        // Positions at or past 0x80000000 fail here as everywhere; the module's first read
        // then reports it.
        seek_to(member, static_cast<std::uint32_t>(std::min<std::uint64_t>(first, 0xFFFFFFFFu)));
        const auto base = static_cast<std::uint32_t>(first);
        return run_.read_module(member, *entry, base, end, kind) == 1 ? Step::Stop : Step::Next;
    }

    Step thin_member(const std::string& name) {
        const std::string path = member_path(name);
        InputBuffer buffer;
        InputFile file;
        if (!file.open(path, load_whole_file(path, buffer), buffer)) {
            run_.diagnostics().report(compose(msg::kCannotOpen, path.c_str()));
            return Step::Stop;
        }
        InputStream& stream = file.stream();
        const std::uint64_t end = stream.length().value_or(0);
        const ModuleKind kind = probe_member(stream, 0, end);
        if (kind == ModuleKind::ShortImport) return Step::Next;
        const FileEntry* entry = keep(name);
        if (entry == nullptr) return Step::Stop;
        return run_.read_module(stream, *entry, 0, end, kind) == 1 ? Step::Stop : Step::Next;
    }

    // A thin member's file: its name when absolute, else beside the archive.
    std::string member_path(const std::string& name) const {
        if (!name.empty() && (name[0] == '/' || name[0] == '\\')) return name;
        const std::size_t slash = library_.full_path.find_last_of("/\\");
        const std::string directory =
            slash == std::string::npos ? std::string() : library_.full_path.substr(0, slash + 1);
        return directory + name;
    }

    const FileEntry* keep(std::string_view name) {
        auto entry = member_entry(library_, name, name);
        return entry ? run_.keep_member_entry(std::move(entry)) : nullptr;
    }

    InputStream& stream_;
    const FileEntry& library_;
    bool thin_;
    RunContext& run_;
    std::uint64_t length_;
    std::string long_names_;
    bool have_long_names_ = false;
};

}  // namespace

bool is_member_by_member(InputStream& stream) {
    // The first member's header, and the one a first linker member of that size leaves after it.
    std::uint8_t first[kHeaderSize];
    const std::size_t got = stream.peek_at(archive::kSignatureSize, first, kHeaderSize);
    if (got < archive::kNameFieldSize) return false;
    if (name_field(first) != archive::kSymbolTableName || std::memchr(first, 0, archive::kNameFieldSize) != nullptr) {
        // A name field that is not "/" followed by blanks.
        const std::string_view raw(reinterpret_cast<const char*>(first), archive::kNameFieldSize);
        return raw != "/               ";
    }
    std::uint64_t size = 0;
    if (got < kHeaderSize || !decimal_field(first + archive::kSizeFieldOffset, archive::kSizeFieldSize, size))
        return false;
    const std::uint64_t second = archive::kSignatureSize + kHeaderSize + size + (size % 2);
    std::uint8_t header[kHeaderSize];
    if (stream.peek_at(second, header, kHeaderSize) != kHeaderSize) return false;
    return std::string_view(reinterpret_cast<const char*>(header), archive::kNameFieldSize) != "/               ";
}

int walk_archive(InputStream& stream, const FileEntry& library, RunContext& run) {
    const Diagnostics& diagnostics = run.diagnostics();
    std::vector<std::uint32_t> offsets;
    std::uint64_t second = 0;
    if (!read_member_offsets(diagnostics, stream, offsets, second)) return 1;
    const std::string long_names = microsoft_long_names(stream, second);
    for (const std::uint32_t offset : offsets) {
        // A failed positioning is not tested: the header and the module are then read from
        // wherever the stream stands, as COFF.
        const bool placed = seek_to(stream, offset);
        std::uint8_t header[kHeaderSize] = {};
        const bool whole = checked_read(diagnostics, stream, kHeaderSize, header, "analyze") != 0;
        const std::uint32_t base = offset + static_cast<std::uint32_t>(kHeaderSize);
        // An ELF member is its header's size field long, or runs to the end of the file.
        const std::uint64_t file_end = stream.length().value_or(0);
        std::uint64_t size = 0;
        std::uint64_t end = file_end;
        if (decimal_field(header + archive::kSizeFieldOffset, archive::kSizeFieldSize, size))
            end = std::min(std::uint64_t{base} + size, file_end);
        end = std::max<std::uint64_t>(end, base);
        const ModuleKind kind = placed && whole ? probe_member(stream, base, kUnbounded) : ModuleKind::Coff;
        if (kind == ModuleKind::ShortImport) continue;
        const std::string_view name = first_slash_name(header);
        auto entry = member_entry(library, name, real_member_name(header, name, long_names));
        if (!entry) return 1;
        const FileEntry* kept = run.keep_member_entry(std::move(entry));
        if (kind == ModuleKind::Elf) {
            BoundedStream member(stream, base, end);
            if (run.read_module(member, *kept, base, end, kind) == 1) return 1;
        } else if (run.read_module(stream, *kept, base, kUnbounded, kind) == 1) {
            return 1;
        }
    }
    return 0;
}

int walk_members(InputStream& stream, const FileEntry& library, bool thin, RunContext& run) {
    return MemberWalk(stream, library, thin, run).run();
}

}  // namespace quorv
