#pragma once
// The records the file list, the run and the model share: one input file or library member,
// and one module's part in a block or a procedure.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <utility>

namespace quorv {

// One input file or one library member.
struct FileEntry {
    FileEntry() = default;
    FileEntry(std::string full_path_text, std::string display_name_text, std::int32_t ordinal = 0)
        : full_path(std::move(full_path_text)),
          display_name(std::move(display_name_text)),
          duplicate_ordinal(ordinal) {}

    std::string full_path;     // identity of the module
    std::string display_name;  // what the views show
    std::int32_t duplicate_ordinal = 0;
    // A library member's library, and its real name: also where the views show
    // "(no obj file given)", the name the long-name member holds. None for an input file.
    const FileEntry* library = nullptr;
    std::string member_name;
};

// How findings name a module: an input by its display name, a library member as
// "lib.a(member.o)" with the library's display name and the member's real name.
std::string module_name(const FileEntry& entry);
// The same with the library's full path: where a finding points.
std::string module_path(const FileEntry& entry);

// One module's part in a block or a procedure. Observes its FileEntry, never owns it.
struct ObjectRef {
    const FileEntry* file = nullptr;
    // Unsigned 64-bit: an ELF64 COMMON block can pass 4 GiB. COFF sizes are 32-bit values.
    std::uint64_t size = 0;
    // Set after the declaration is in place; not part of the ordering key.
    bool initialized = false;
};

// The output is cleared first; on failure it stays empty and nothing remains.
bool make_file_entry(std::string_view full_path, std::string_view display_name, std::unique_ptr<FileEntry>& out);

}  // namespace quorv
