#pragma once
// The rows the Files list shows for a file list, in list order.
#include <string>
#include <vector>

#include "ui/texts/file_list.h"

namespace quorv::test {

inline std::vector<std::string> file_rows(const ui::FileList& list) {
    std::vector<std::string> out;
    for (const FileEntry* e : list.entries()) out.push_back(ui::file_row_text(*e));
    return out;
}

}  // namespace quorv::test
