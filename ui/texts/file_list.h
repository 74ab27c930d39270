#pragma once
// fileNames: the user's list of inputs to analyze, sorted by display_name and then full_path
// under compare_names, with same-named entries numbered. Shared by the window (Add Files,
// Remove File) and by quorv-check, so both put files on the list by one set of rules.
// Nothing here knows of windows.
#include <cstdint>
#include <functional>
#include <memory>
#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "engine/diagnostics.h"
#include "engine/file_entry.h"

namespace quorv::ui {

// The ordering key of fileNames; a display name alone finds the run of that name.
struct FileEntryKey {
    std::string_view display_name;
    std::string_view full_path;
};
struct DisplayNameKey {
    std::string_view display_name;
};

struct FileEntryOrder {
    using is_transparent = void;
    using Ptr = std::unique_ptr<FileEntry>;
    static bool less(const FileEntryKey& a, const FileEntryKey& b);
    static FileEntryKey key(const Ptr& e) { return {e->display_name, e->full_path}; }
    bool operator()(const Ptr& a, const Ptr& b) const { return less(key(a), key(b)); }
    bool operator()(const Ptr& a, const FileEntryKey& b) const { return less(key(a), b); }
    bool operator()(const FileEntryKey& a, const Ptr& b) const { return less(a, key(b)); }
    bool operator()(const Ptr& a, const DisplayNameKey& b) const;
    bool operator()(const DisplayNameKey& a, const Ptr& b) const;
};

// Results of add_file and add_entry.
inline constexpr int kFileAlreadyListed = 0;
inline constexpr int kFileInserted = 1;
inline constexpr int kFileNotStored = -1;  // memory ran out; not a duplicate

class FileList {
  public:
    // Adds the picked file `file_name` of `directory`: the display name is the file name with
    // A-Z lowered, the full path "%s\\%s" of the directory and the display name, written into
    // `full_path` in both cases. 1 inserted, 0 already on the list (nothing changes), -1 when
    // memory ran out (nothing changes, nothing to report).
    int add_file(std::string_view directory, std::string_view file_name, std::string& full_path);

    // The same insertion and numbering for texts made elsewhere (quorv-check's arguments).
    int add_entry(std::string_view display_name, std::string_view full_path);

    // The selected rows, ascending, taken off the list in one pass. delete_row receives the
    // list-box row to delete (s - k for the k-th index s, since k rows above it are gone).
    // A selection that disagrees with the list is reported (the Internal Error texts of
    // engine/messages.h). last_added becomes none.
    void remove_rows(const std::vector<int>& ascending_rows, const std::function<void(int row)>& delete_row,
                     const Diagnostics& diagnostics);

    void clear();

    int file_count() const { return static_cast<int>(fileNames_.size()); }
    bool empty() const { return fileNames_.empty(); }
    const FileEntry* last_added() const { return last_added_; }

    // The entry `index` steps from the head (0 or below: the head); none past the end.
    const FileEntry* entry_at(int index) const;
    // The entry of these texts, or none.
    const FileEntry* find(std::string_view display_name, std::string_view full_path) const;

    // In list order: what run_analysis walks.
    std::vector<const FileEntry*> entries() const;

  private:
    using Entries = std::set<std::unique_ptr<FileEntry>, FileEntryOrder>;
    void number_run(std::string_view display_name);

    // Nodes of a std::set never move, so the model may point at the entries.
    Entries fileNames_;
    const FileEntry* last_added_ = nullptr;
};

// The file name with the bytes 'A' to 'Z' lowered, every other byte unchanged.
std::string lower_display_name(std::string_view file_name);

// quorv-check's display name: the argument's last component (after the last "/" or "\"),
// lowered like a picked name.
std::string display_name_from_argument(std::string_view argument);

// The row of an entry in IDC_FILES: "%s (%d)" once it is the second or later of its run.
std::string file_row_text(const FileEntry& entry);

// "%s is already on the list", with the full path.
std::string already_on_list_text(std::string_view full_path);

}  // namespace quorv::ui
