#include "engine/run.h"

#include <cstdio>
#include <cstring>
#include <filesystem>
#include <new>
#include <string>
#include <system_error>

#include "engine/input_file.h"
#include "engine/object_reader.h"
#include "engine/report.h"
#include "engine/text.h"

namespace quorv {
namespace {

constexpr std::size_t kArchiveSignatureSize = 8;
constexpr std::size_t kMemberHeaderSize = 60;
constexpr char kArchiveSignature[] = "!<arch>\n";

// Advancing in the archive walk wraps like every offset, under the positioning rule of
// seek_to; its result is never tested.
void advance(InputStream& stream, std::uint32_t n) { seek_to(stream, stream.tell() + n); }

// The member name is what stands before the first "/" of the header, searched up to the
// first zero byte; a header that starts with "/" (long names) or has none names nothing.
std::string_view member_name(const std::uint8_t (&header)[kMemberHeaderSize]) {
    for (std::size_t i = 0; i < kMemberHeaderSize && header[i] != 0; ++i) {
        if (header[i] == '/') return std::string_view(reinterpret_cast<const char*>(header), i);
    }
    return {};
}

// Passes over the first linker member's S zero-terminated names; a file that ends early
// ends the passing at the first byte that cannot be read. Names held in memory are
// skipped in bulk; the byte-by-byte reads take over where the held bytes end, so a short
// or failing read is met and reported exactly as it would be byte by byte.
void pass_over_names(InputStream& stream, std::uint32_t count) {
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
            if (checked_read(stream, 1, &byte, "analyze") == 0) return;
        } while (byte != 0);
    }
}

std::unique_ptr<FileEntry> member_entry(const FileEntry& library, std::string_view name) {
    std::unique_ptr<FileEntry> entry;
    const std::string suffix = name.empty() ? std::string(" (no obj file given)")
                                            : " (" + std::string(name) + ")";
    make_file_entry(library.full_path + suffix, library.display_name + suffix, entry);
    return entry;
}

int walk_archive(InputStream& stream, const FileEntry& library, AnalysisModel& model,
                 ModuleWorkingSet& work) {
    std::uint8_t field[4];
    advance(stream, kMemberHeaderSize);
    if (checked_read(stream, 4, field, "analyze") == 0) {
        report_message("Error with number of symbols in library\n");
        return 1;
    }
    const std::uint32_t symbol_count = read_u32be(field);
    advance(stream, 4 * symbol_count);
    pass_over_names(stream, symbol_count);
    if (stream.tell() % 2 != 0) advance(stream, 1);
    advance(stream, kMemberHeaderSize);
    if (checked_read(stream, 4, field, "analyze") == 0) {
        report_message("Error reading number of members in library\n");
        return 1;
    }
    const std::uint32_t member_count = read_u32le(field);
    // Offsets are read one at a time: the table grows only with offsets the file holds.
    std::vector<std::uint32_t> offsets;
    for (std::uint32_t k = 0; k < member_count; ++k) {
        if (checked_read(stream, 4, field, "analyze") == 0) {
            report_message("Error reading library members");
            return 1;
        }
        offsets.push_back(read_u32le(field));
    }
    for (const std::uint32_t offset : offsets) {
        seek_to(stream, offset);
        std::uint8_t header[kMemberHeaderSize] = {};
        checked_read(stream, kMemberHeaderSize, header, "analyze");
        auto entry = member_entry(library, member_name(header));
        if (!entry) return 1;
        const FileEntry* kept = model.keep_member_entry(std::move(entry));
        if (read_object_module(stream, *kept, offset + kMemberHeaderSize, model, work) == 1) return 1;
    }
    return 0;
}

bool opens_as_file(const std::string& path) {
    std::error_code ec;
    return !std::filesystem::is_directory(std::filesystem::path(path), ec);
}

void report_not_object(const FileEntry& entry) {
    report_message(compose("The file %s is not an object file.", entry.full_path.c_str()));
}

int classify_and_read(InputStream& stream, const FileEntry& entry, AnalysisModel& model,
                      ModuleWorkingSet& work) {
    std::uint8_t signature[kArchiveSignatureSize] = {};
    if (checked_read(stream, 2, signature, entry.display_name) == 0) {
        report_message("Error reading file signature\n");
        return 0;
    }
    if (std::memcmp(signature, "MZ", 2) == 0 || std::memcmp(signature, "NE", 2) == 0 ||
        std::memcmp(signature, "LE", 2) == 0) {
        report_not_object(entry);
        return 0;
    }
    if (!seek_to(stream, 0)) {
        report_message("Error seeking to start of file\n");
        return 1;
    }
    if (checked_read(stream, 4, signature, "analyze") == 0) {
        report_message("Error reading file signature\n");
        return 1;
    }
    if (std::memcmp(signature, "PE\0\0", 4) == 0) {
        report_not_object(entry);
        return 1;
    }
    if (!seek_to(stream, 0)) {
        report_message("Error seeking to start of file header\n");
        return 1;
    }
    if (checked_read(stream, kArchiveSignatureSize, signature, "analyze") == 0) {
        report_message("Error reading file signature\n");
        return 1;
    }
    if (std::memcmp(signature, kArchiveSignature, kArchiveSignatureSize) != 0) {
        if (!seek_to(stream, 0)) {
            report_message("Error seeking to start of file header\n");
            return 1;
        }
        return read_object_module(stream, entry, 0, model, work) == 1 ? 1 : 0;
    }
    return walk_archive(stream, entry, model, work);
}

int analyze_input(InputStream& stream, const FileEntry& entry, AnalysisModel& model,
                  ModuleWorkingSet& work) {
    try {
        return classify_and_read(stream, entry, model, work);
    } catch (const std::bad_alloc&) {
        // No memory for the offset table, a member entry or a message: the run stops.
        return 1;
    }
}

// One input of the run, from memory when it loaded whole, else through stdio as before.
// false when it cannot be opened.
bool analyze_file(const FileEntry& entry, AnalysisModel& model, ModuleWorkingSet& work,
                  InputLoader& loader, int& result) {
    const InputBuffer* buffer = nullptr;
    const LoadResult loaded = loader.next(buffer);
    if (loaded == LoadResult::CannotOpen) return false;
    if (loaded == LoadResult::Loaded) {
        MemoryStream stream(std::span<const std::uint8_t>(buffer->storage.data(), buffer->length));
        result = analyze_input(stream, entry, model, work);
        return true;
    }
    std::FILE* file = opens_as_file(entry.full_path) ? std::fopen(entry.full_path.c_str(), "rb") : nullptr;
    if (file == nullptr) return false;
    FileStream stream(file);  // closed when this input is done, also on a stop
    result = analyze_input(stream, entry, model, work);
    return true;
}

}  // namespace

int analyze_input(InputStream& stream, const FileEntry& entry, AnalysisModel& model) {
    ModuleWorkingSet work;
    return analyze_input(stream, entry, model, work);
}

RunOutcome run_analysis(const std::vector<const FileEntry*>& entries, AnalysisModel& model) {
    try {
        // Reused from one input to the next, so a run of thousands of files allocates once.
        ModuleWorkingSet work;
        InputLoader loader(entries);
        for (const FileEntry* entry : entries) {
            int result = 0;
            if (!analyze_file(*entry, model, work, loader, result)) {
                report_message(compose("Cannot open file: %s", entry->full_path.c_str()));
                return RunOutcome::Stopped;
            }
            if (result == 1) return RunOutcome::Stopped;
        }
    } catch (const std::bad_alloc&) {
        // No memory for the offset table or a member entry: the run stops without a message.
        return RunOutcome::Stopped;
    }
    return RunOutcome::Completed;
}

}  // namespace quorv
