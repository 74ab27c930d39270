#include "ui/texts/file_list.h"

#include <iterator>

#include "engine/messages.h"
#include "engine/names.h"
#include "engine/text.h"

namespace quorv::ui {

bool FileEntryOrder::less(const FileEntryKey& a, const FileEntryKey& b) {
    const int by_name = compare_names(a.display_name, b.display_name);
    if (by_name != 0) return by_name < 0;
    return compare_names(a.full_path, b.full_path) < 0;
}

bool FileEntryOrder::operator()(const Ptr& a, const DisplayNameKey& b) const {
    return compare_names(a->display_name, b.display_name) < 0;
}

bool FileEntryOrder::operator()(const DisplayNameKey& a, const Ptr& b) const {
    return compare_names(a.display_name, b->display_name) < 0;
}

int FileList::add_file(std::string_view directory, std::string_view file_name, std::string& full_path) {
    const std::string display_name = lower_display_name(file_name);
    // The directory keeps its letter case; only the name is lowered.
    full_path.assign(directory);
    full_path += '\\';
    full_path += display_name;
    return add_entry(display_name, full_path);
}

int FileList::add_entry(std::string_view display_name, std::string_view full_path) {
    const FileEntryKey key{display_name, full_path};
    // Lists are mostly given in order (a shell's sorted glob): a key after the last entry
    // needs no search, and starts a run of its own unless it shares the last one's name.
    const bool after_last =
        !fileNames_.empty() && FileEntryOrder::less(FileEntryOrder::key(*std::prev(fileNames_.end())), key);
    const auto place = after_last ? fileNames_.end() : fileNames_.lower_bound(key);
    if (place != fileNames_.end() && !FileEntryOrder::less(key, FileEntryOrder::key(*place))) {
        return kFileAlreadyListed;
    }
    std::unique_ptr<FileEntry> entry;
    if (!make_file_entry(full_path, display_name, entry)) return kFileNotStored;
    const bool was_empty = fileNames_.empty();
    FileEntry* added = entry.get();
    fileNames_.insert(place, std::move(entry));
    last_added_ = added;
    // The first entry of an empty list stays unnumbered; every later insertion numbers its run.
    if (was_empty) return kFileInserted;
    if (after_last && compare_names((*std::prev(fileNames_.end(), 2))->display_name, display_name) != 0) {
        added->duplicate_ordinal = 1;
    } else {
        number_run(added->display_name);
    }
    return kFileInserted;
}

void FileList::number_run(std::string_view display_name) {
    const auto [first, last] = fileNames_.equal_range(DisplayNameKey{display_name});
    std::int32_t ordinal = 1;
    for (auto it = first; it != last; ++it) (*it)->duplicate_ordinal = ordinal++;
}

void FileList::remove_rows(const std::vector<int>& ascending_rows, const std::function<void(int row)>& delete_row,
                           const Diagnostics& diagnostics) {
    auto cursor = fileNames_.begin();
    int position = 0;
    int removed = 0;
    for (const int selected : ascending_rows) {
        if (position > selected) {
            diagnostics.report(msg::kRemoveOrder);
            // That position lies behind the pass: the walk to it runs off the end.
            cursor = fileNames_.end();
        }
        while (cursor != fileNames_.end() && position < selected) {
            ++cursor;
            ++position;
        }
        if (cursor == fileNames_.end()) {
            diagnostics.report(msg::kRemoveWalkedOff);
            break;
        }
        delete_row(selected - removed);
        cursor = fileNames_.erase(cursor);
        ++position;
        ++removed;
    }
    last_added_ = nullptr;
}

void FileList::clear() {
    fileNames_.clear();
    last_added_ = nullptr;
}

const FileEntry* FileList::entry_at(int index) const {
    if (index < 0) index = 0;
    if (static_cast<std::size_t>(index) >= fileNames_.size()) return nullptr;
    return std::next(fileNames_.begin(), index)->get();
}

const FileEntry* FileList::find(std::string_view display_name, std::string_view full_path) const {
    const auto it = fileNames_.find(FileEntryKey{display_name, full_path});
    return it == fileNames_.end() ? nullptr : it->get();
}

std::vector<const FileEntry*> FileList::entries() const {
    std::vector<const FileEntry*> out;
    out.reserve(fileNames_.size());
    for (const auto& entry : fileNames_) out.push_back(entry.get());
    return out;
}

std::string lower_display_name(std::string_view file_name) {
    std::string out(file_name);
    for (char& c : out) {
        if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + ('a' - 'A'));
    }
    return out;
}

std::string display_name_from_argument(std::string_view argument) {
    const std::size_t cut = argument.find_last_of("/\\");
    return lower_display_name(cut == std::string_view::npos ? argument : argument.substr(cut + 1));
}

std::string file_row_text(const FileEntry& entry) {
    if (entry.duplicate_ordinal < 2) return entry.display_name;
    return compose("%s (%d)", entry.display_name.c_str(), static_cast<int>(entry.duplicate_ordinal));
}

std::string already_on_list_text(std::string_view full_path) {
    return compose(msg::kAlreadyOnList, std::string(full_path).c_str());
}

}  // namespace quorv::ui
