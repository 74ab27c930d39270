// The table of values kept per file entry: each made once, found again whatever was added
// since, and where it was put.
#include "engine/entry_table.h"

#include <gtest/gtest.h>

#include <deque>
#include <string>
#include <vector>

namespace quorv {
namespace {

TEST(EntryTable, EachValueIsMadeOnceAndStaysWhereItWasPut) {
    for (const std::size_t count :
         {std::size_t{1}, std::size_t{31}, std::size_t{32}, std::size_t{33}, std::size_t{5000}}) {
        std::deque<FileEntry> entries;
        for (std::size_t k = 0; k < count; ++k) entries.emplace_back("/p/" + std::to_string(k), std::to_string(k));
        EntryTable<std::string> table;
        std::size_t made = 0;
        const auto make = [&](const FileEntry& e) {
            ++made;
            return e.full_path + "!";
        };
        std::vector<const std::string*> first;
        for (const FileEntry& e : entries) first.push_back(&table.of(e, make));
        // Asked again, in the other order, after every rehash: the same values in place.
        for (std::size_t k = count; k-- > 0;) {
            const std::string& again = table.of(entries[k], make);
            EXPECT_EQ(&again, first[k]) << count << " " << k;
            EXPECT_EQ(again, entries[k].full_path + "!");
        }
        EXPECT_EQ(made, count);
    }
}

}  // namespace
}  // namespace quorv
