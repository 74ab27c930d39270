#include "engine/file_entry.h"

#include <new>

namespace quorv {

bool make_file_entry(std::string_view full_path, std::string_view display_name,
                     std::unique_ptr<FileEntry>& out) {
    out.reset();
    try {
        auto entry = std::make_unique<FileEntry>();
        entry->full_path.assign(full_path);
        entry->display_name.assign(display_name);
        out = std::move(entry);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

}  // namespace quorv
