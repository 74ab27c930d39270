#pragma once
// The records the file list, the run and the model share: one input file or library member,
// and one module's part in a block or a procedure.
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

namespace quorv {

// One input file or one library member.
struct FileEntry {
    std::string full_path;     // identity of the module
    std::string display_name;  // what the views show
    std::int32_t duplicate_ordinal = 0;
};

// One module's part in a block or a procedure. Observes its FileEntry, never owns it.
struct ObjectRef {
    const FileEntry* file = nullptr;
    // Unsigned 64-bit: an ELF64 COMMON block can pass 4 GiB. COFF sizes are 32-bit values.
    std::uint64_t size = 0;
    // Set after the declaration is in place; not part of the ordering key.
    bool initialized = false;
};

// The output is cleared first; on failure it stays empty and nothing remains.
bool make_file_entry(std::string_view full_path, std::string_view display_name,
                     std::unique_ptr<FileEntry>& out);

}  // namespace quorv
