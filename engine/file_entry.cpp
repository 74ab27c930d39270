#include "engine/file_entry.h"

#include <new>

namespace quorv {

bool make_file_entry(std::string_view full_path, std::string_view display_name, std::unique_ptr<FileEntry>& out) {
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

std::string module_name(const FileEntry& entry) {
    if (entry.library == nullptr) return entry.display_name;
    return entry.library->display_name + "(" + entry.member_name + ")";
}

std::string module_path(const FileEntry& entry) {
    if (entry.library == nullptr) return entry.full_path;
    return entry.library->full_path + "(" + entry.member_name + ")";
}

}  // namespace quorv
