// The file list on its own: insertion order, numbering of same-named runs, duplicates and the
// single-pass removal, as both the window and quorv-check rely on them.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "engine/diagnostics.h"
#include "engine/messages.h"
#include "file_rows.h"
#include "ui/file_list_view.h"

namespace quorv::ui {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

// Where a test expects no diagnostic at all, any it gets is dropped here.
const Diagnostics& quiet() {
    static CollectingSink sink;
    static const Diagnostics diagnostics(sink);
    return diagnostics;
}

struct Pick {
    std::string directory;
    std::string name;
};

struct Listed {
    std::string row;
    std::string full_path;
    int ordinal;
};

std::vector<Listed> listing(const FileList& list) {
    std::vector<Listed> out;
    for (const FileEntry* e : list.entries()) out.push_back({file_row_text(*e), e->full_path, e->duplicate_ordinal});
    return out;
}

MATCHER_P3(IsListed, row, full_path, ordinal, "") {
    return arg.row == row && arg.full_path == full_path && arg.ordinal == ordinal;
}

struct AddCase {
    const char* story;
    std::vector<Pick> picks;
    std::vector<int> results;
    std::vector<Listed> expected;
};

TEST(FileList, AddingKeepsOrderAndNumbersRuns) {
    const std::vector<AddCase> cases = {
        {"one pick is lowered, the directory keeps its case, the first entry stays unnumbered",
         {{"D:\\Work", "MAIN.OBJ"}},
         {1},
         {{"main.obj", "D:\\Work\\main.obj", 0}}},
        {"a second, unrelated entry is numbered as a run of one",
         {{"D:", "b.obj"}, {"D:", "a.obj"}},
         {1, 1},
         {{"a.obj", "D:\\a.obj", 1}, {"b.obj", "D:\\b.obj", 0}}},
        {"the same file picked again in another case is a duplicate",
         {{"D:\\Work", "MAIN.OBJ"}, {"D:\\Work", "Main.obj"}},
         {1, 0},
         {{"main.obj", "D:\\Work\\main.obj", 0}}},
        {"directories differing in case are two entries, upper case first",
         {{"D:\\Work", "main.obj"}, {"D:\\WORK", "main.obj"}},
         {1, 1},
         {{"main.obj", "D:\\WORK\\main.obj", 1}, {"main.obj (2)", "D:\\Work\\main.obj", 2}}},
        {"display names order by byte value",
         {{"d", "b1.obj"}, {"d", "b.obj"}, {"d", "a.obj"}, {"d", "_a.obj"}},
         {1, 1, 1, 1},
         {{"_a.obj", "d\\_a.obj", 1}, {"a.obj", "d\\a.obj", 1}, {"b.obj", "d\\b.obj", 1}, {"b1.obj", "d\\b1.obj", 0}}},
        {"only A-Z are lowered; bytes from 0x80 stay",
         {{"D:", "\xC4X\xE4.OBJ"}},
         {1},
         {{"\xC4x\xE4.obj", "D:\\\xC4x\xE4.obj", 0}}},
        {"a directory ending in a backslash keeps it",
         {{"D:\\Work\\", "x.obj"}, {"D:\\Work", "x.obj"}},
         {1, 1},
         {{"x.obj", "D:\\Work\\\\x.obj", 1}, {"x.obj (2)", "D:\\Work\\x.obj", 2}}},
    };
    for (const AddCase& c : cases) {
        SCOPED_TRACE(c.story);
        FileList list;
        std::vector<int> results;
        for (const Pick& p : c.picks) {
            std::string full_path = "stale";
            results.push_back(list.add_file(p.directory, p.name, full_path));
            EXPECT_EQ(full_path, p.directory + "\\" + lower_display_name(p.name));
        }
        EXPECT_EQ(results, c.results);
        const std::vector<Listed> got = listing(list);
        ASSERT_EQ(got.size(), c.expected.size());
        for (std::size_t i = 0; i < got.size(); ++i) {
            EXPECT_EQ(got[i].row, c.expected[i].row) << i;
            EXPECT_EQ(got[i].full_path, c.expected[i].full_path) << i;
            EXPECT_EQ(got[i].ordinal, c.expected[i].ordinal) << i;
        }
        EXPECT_EQ(list.file_count(), static_cast<int>(c.expected.size()));
    }
}

TEST(FileList, EveryOrderOfAddingARunGivesTheSameRows) {
    std::vector<std::string> dirs = {"D:\\a", "D:\\b", "D:\\c"};
    std::sort(dirs.begin(), dirs.end());
    do {
        FileList list;
        std::string path;
        list.add_file("D:\\m", "aaa.obj", path);
        for (const std::string& d : dirs) list.add_file(d, "x.obj", path);
        EXPECT_THAT(listing(list),
                    ElementsAre(IsListed("aaa.obj", "D:\\m\\aaa.obj", 0), IsListed("x.obj", "D:\\a\\x.obj", 1),
                                IsListed("x.obj (2)", "D:\\b\\x.obj", 2), IsListed("x.obj (3)", "D:\\c\\x.obj", 3)))
            << dirs[0] << dirs[1] << dirs[2];
    } while (std::next_permutation(dirs.begin(), dirs.end()));
}

// Adding in order (the usual command line), against it, or at random, with names shared
// across directories and exact repeats: the list is what the rules give, step by step.
TEST(FileList, AnyOrderOfAddingFollowsTheRules) {
    std::mt19937 rng(11);
    for (int round = 0; round < 300; ++round) {
        std::vector<std::pair<std::string, std::string>> picks;  // display name, full path
        for (int k = 0; k < 12; ++k) {
            const std::string name = std::string(1, static_cast<char>('a' + rng() % 4)) + ".obj";
            picks.push_back({name, "d" + std::to_string(rng() % 3) + "/" + name});
        }
        if (round % 3 == 0) std::sort(picks.begin(), picks.end());
        if (round % 3 == 1) std::sort(picks.rbegin(), picks.rend());
        FileList list;
        std::vector<Listed> model;  // rows hold the display name here
        for (const auto& [name, path] : picks) {
            const int result = list.add_entry(name, path);
            const auto at = std::lower_bound(model.begin(), model.end(), std::make_pair(name, path),
                                             [](const Listed& e, const std::pair<std::string, std::string>& k) {
                                                 return std::make_pair(e.row, e.full_path) < k;
                                             });
            if (at != model.end() && at->row == name && at->full_path == path) {
                EXPECT_EQ(result, kFileAlreadyListed);
                continue;
            }
            EXPECT_EQ(result, kFileInserted);
            const bool was_empty = model.empty();
            model.insert(at, Listed{name, path, 0});
            int ordinal = 1;
            if (!was_empty)
                for (Listed& e : model)
                    if (e.row == name) e.ordinal = ordinal++;
        }
        const std::vector<const FileEntry*> entries = list.entries();
        ASSERT_EQ(entries.size(), model.size()) << "round " << round;
        for (std::size_t i = 0; i < model.size(); ++i) {
            EXPECT_EQ(entries[i]->display_name, model[i].row) << "round " << round << " row " << i;
            EXPECT_EQ(entries[i]->full_path, model[i].full_path) << "round " << round << " row " << i;
            EXPECT_EQ(entries[i]->duplicate_ordinal, model[i].ordinal) << "round " << round << " row " << i;
        }
    }
}

TEST(FileList, LastAddedFollowsInsertionsOnly) {
    FileList list;
    std::string path;
    EXPECT_EQ(list.last_added(), nullptr);
    list.add_file("d", "b.obj", path);
    list.add_file("d", "a.obj", path);
    ASSERT_NE(list.last_added(), nullptr);
    EXPECT_EQ(list.last_added()->full_path, "d\\a.obj");
    EXPECT_EQ(list.add_file("d", "B.OBJ", path), 0);
    EXPECT_EQ(list.last_added()->full_path, "d\\a.obj");
    list.remove_rows(
        {0}, [](int) {}, quiet());
    EXPECT_EQ(list.last_added(), nullptr);
}

TEST(FileList, EntriesKeepTheirAddressesWhileOthersComeAndGo) {
    FileList list;
    std::string path;
    list.add_file("d", "m.obj", path);
    const FileEntry* kept = list.entry_at(0);
    for (int i = 0; i < 200; ++i) list.add_file("d", "f" + std::to_string(i) + ".obj", path);
    list.remove_rows(
        {0, 5, 9}, [](int) {}, quiet());
    bool found = false;
    for (const FileEntry* e : list.entries()) found = found || e == kept;
    EXPECT_TRUE(found);
    EXPECT_EQ(kept->full_path, "d\\m.obj");
}

struct RemoveCase {
    const char* story;
    std::vector<std::string> names;  // added in this order, all in directory "d"
    std::vector<int> selection;
    std::vector<int> deleted_rows;
    std::vector<std::string> messages;
    std::vector<std::string> remaining_rows;
};

TEST(FileList, RemovalTakesTheSelectionInOnePass) {
    const std::vector<RemoveCase> cases = {
        {"rows 1 and 3 of five",
         {"a.obj", "b.obj", "c.obj", "d.obj", "e.obj"},
         {1, 3},
         {1, 2},
         {},
         {"a.obj", "c.obj", "e.obj"}},
        {"every row", {"a.obj", "b.obj", "c.obj"}, {0, 1, 2}, {0, 0, 0}, {}, {}},
        {"an index behind the pass runs it off the end",
         {"a.obj", "b.obj", "c.obj", "d.obj", "e.obj"},
         {2, 1, 4},
         {2},
         {std::string(msg::kRemoveOrder), std::string(msg::kRemoveWalkedOff)},
         {"a.obj", "b.obj", "d.obj", "e.obj"}},
        {"an index past the end removes what came before it",
         {"a.obj", "b.obj"},
         {0, 7},
         {0},
         {std::string(msg::kRemoveWalkedOff)},
         {"b.obj"}},
    };
    for (const RemoveCase& c : cases) {
        SCOPED_TRACE(c.story);
        FileList list;
        std::string path;
        for (const std::string& n : c.names) list.add_file("d", n, path);
        CollectingSink sink;
        const Diagnostics diagnostics(sink);
        std::vector<int> deleted;
        list.remove_rows(
            c.selection, [&](int row) { deleted.push_back(row); }, diagnostics);
        EXPECT_EQ(deleted, c.deleted_rows);
        EXPECT_EQ(sink.messages, c.messages);
        EXPECT_EQ(test::file_rows(list), c.remaining_rows);
        EXPECT_EQ(list.file_count(), static_cast<int>(c.remaining_rows.size()));
    }
}

TEST(FileList, RemovalKeepsOrdinalsUntilTheRunGrowsAgain) {
    FileList list;
    std::string path;
    for (const char* d : {"D:\\a", "D:\\b", "D:\\c"}) list.add_file(d, "x.obj", path);
    ASSERT_THAT(test::file_rows(list), ElementsAre("x.obj", "x.obj (2)", "x.obj (3)"));
    list.remove_rows(
        {1}, [](int) {}, quiet());
    EXPECT_THAT(test::file_rows(list), ElementsAre("x.obj", "x.obj (3)"));
    list.add_file("D:\\z", "unrelated.obj", path);
    EXPECT_THAT(test::file_rows(list), ElementsAre("unrelated.obj", "x.obj", "x.obj (3)"));
    list.add_file("D:\\d", "x.obj", path);
    EXPECT_THAT(test::file_rows(list), ElementsAre("unrelated.obj", "x.obj", "x.obj (2)", "x.obj (3)"));
}

TEST(FileList, EntryAtWalksFromTheHead) {
    FileList list;
    std::string path;
    EXPECT_EQ(list.entry_at(0), nullptr);
    for (const char* n : {"a.obj", "b.obj", "c.obj"}) list.add_file("d", n, path);
    EXPECT_EQ(list.entry_at(-1)->display_name, "a.obj");
    EXPECT_EQ(list.entry_at(0)->display_name, "a.obj");
    EXPECT_EQ(list.entry_at(2)->display_name, "c.obj");
    EXPECT_EQ(list.entry_at(3), nullptr);
}

TEST(FileList, ArgumentsOfTheCommandLine) {
    struct Case {
        const char* argument;
        const char* display_name;
    } cases[] = {
        {"x.obj", "x.obj"},
        {"dir/Sub/MAIN.OBJ", "main.obj"},
        {"C:\\Work\\Lib.LIB", "lib.lib"},
        {"a\\b/c\\D.obj", "d.obj"},
        {"trailing/", ""},
        {"\xC9T\xC9.obj", "\xC9t\xC9.obj"},
    };
    for (const Case& c : cases) EXPECT_EQ(display_name_from_argument(c.argument), c.display_name) << c.argument;

    FileList list;
    EXPECT_EQ(list.add_entry("m.obj", "b/m.obj"), 1);
    EXPECT_EQ(list.add_entry("m.obj", "a/m.obj"), 1);
    EXPECT_EQ(list.add_entry("m.obj", "b/m.obj"), 0);
    EXPECT_EQ(list.add_entry("m.obj", "./a/m.obj"), 1);
    EXPECT_THAT(listing(list), ElementsAre(IsListed("m.obj", "./a/m.obj", 1), IsListed("m.obj (2)", "a/m.obj", 2),
                                           IsListed("m.obj (3)", "b/m.obj", 3)));
}

TEST(FileList, LongTextsComposeWhole) {
    FileList list;
    const std::string directory = "D:\\" + std::string(5000, 'd');
    const std::string name = std::string(3000, 'N') + ".OBJ";
    std::string path;
    ASSERT_EQ(list.add_file(directory, name, path), 1);
    EXPECT_EQ(path.size(), directory.size() + 1 + name.size());
    EXPECT_EQ(list.entry_at(0)->display_name, std::string(3000, 'n') + ".obj");
    EXPECT_EQ(already_on_list_text(path), path + " is already on the list");
}

TEST(FileList, ManyFilesInAnyOrder) {
    FileList list;
    std::vector<std::string> expected;
    for (int i = 20000; i-- > 0;) {
        const std::string name = "f" + std::to_string(i) + ".obj";
        ASSERT_EQ(list.add_entry(name, "dir/" + name), 1);
        expected.push_back(name);
    }
    std::sort(expected.begin(), expected.end());
    std::vector<std::string> got;
    for (const FileEntry* e : list.entries()) got.push_back(e->display_name);
    EXPECT_EQ(got, expected);
}

}  // namespace
}  // namespace quorv::ui
