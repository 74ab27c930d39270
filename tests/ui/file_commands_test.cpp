// Add Files, Remove File and the Files selection as the user meets them: picks of every
// shape, the dialog's failures, duplicates, removals and the status line after each.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "engine/messages.h"
#include "file_rows.h"
#include "session.h"
#include "ui/result_views.h"

namespace quorv::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

TEST(SplitPick, SingleAndMultiplePicks) {
    struct Case {
        const char* story;
        FilePick pick;
        std::string directory;
        std::vector<std::string> names;
    };
    const std::vector<Case> cases = {
        {"one file in a directory", single_pick("D:\\Work\\MAIN.OBJ", "MAIN.OBJ"), "D:\\Work", {"MAIN.OBJ"}},
        {"one file in a drive's root", single_pick("D:\\X.OBJ", "X.OBJ"), "D:", {"X.OBJ"}},
        {"one file in a deeper directory", single_pick("C:\\a\\b\\c.lib", "c.lib"), "C:\\a\\b", {"c.lib"}},
        {"forward slashes end the directory too", single_pick("C:/dir/x.obj", "x.obj"), "C:/dir/", {"x.obj"}},
        {"a path without a directory", single_pick("x.obj", "x.obj"), "", {"x.obj"}},
        {"a drive-relative path", single_pick("E:x.obj", "x.obj"), "E:", {"x.obj"}},
        {"a network path", single_pick("\\\\srv\\share\\m.obj", "m.obj"), "\\\\srv\\share", {"m.obj"}},
        {"the title names the file, whatever the path says",
         single_pick("D:\\Work\\long name.obj", "LONGNA~1.OBJ"),
         "D:\\Work",
         {"LONGNA~1.OBJ"}},
        {"several files", multiple_pick("D:\\Work", {"b.obj", "A.OBJ"}), "D:\\Work", {"b.obj", "A.OBJ"}},
        {"several files in a root keep its backslash",
         multiple_pick("D:\\", {"x.obj", "y.obj"}),
         "D:\\",
         {"x.obj", "y.obj"}},
        {"a directory and no names", multiple_pick("D:\\Work", {}), "D:\\Work", {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.story);
        const ui::PickedFiles got = ui::split_pick(c.pick);
        EXPECT_EQ(got.directory, c.directory);
        EXPECT_EQ(got.names, c.names);
    }
    // A buffer that ends without the empty text still ends the names at its end.
    FilePick unterminated;
    unterminated.outcome = FilePick::Outcome::Confirmed;
    unterminated.file_buffer = std::string("D:\\w\0a.obj\0b.obj", 16);
    EXPECT_EQ(ui::split_pick(unterminated).names, (std::vector<std::string>{"a.obj", "b.obj"}));
}

struct AddStory {
    const char* story;
    std::vector<FilePick> picks;
    std::vector<std::string> rows;
    std::vector<std::string> full_paths;
    std::vector<std::string> messages;
};

TEST(AddFiles, PicksInVariousOrders) {
    const std::vector<AddStory> stories = {
        {"a single pick", {single_pick("D:\\Work\\MAIN.OBJ", "MAIN.OBJ")}, {"main.obj"}, {"D:\\Work\\main.obj"}, {}},
        {"a single pick in a drive's root", {single_pick("D:\\X.OBJ", "X.OBJ")}, {"x.obj"}, {"D:\\x.obj"}, {}},
        {"a multiple pick whose directory ends in a backslash differs from the same file alone",
         {multiple_pick("D:\\", {"X.OBJ", "y.obj"}), single_pick("D:\\X.OBJ", "X.OBJ")},
         {"x.obj", "x.obj (2)", "y.obj"},
         {"D:\\\\x.obj", "D:\\x.obj", "D:\\\\y.obj"},
         {}},
        {"the same file again in another case is reported and not added",
         {single_pick("D:\\Work\\MAIN.OBJ", "MAIN.OBJ"), single_pick("D:\\Work\\Main.obj", "Main.obj")},
         {"main.obj"},
         {"D:\\Work\\main.obj"},
         {"D:\\Work\\main.obj is already on the list"}},
        {"duplicates within one pick and against the list, each reported in pick order",
         {multiple_pick("D:\\w", {"a.obj", "b.obj"}), multiple_pick("D:\\w", {"B.obj", "c.obj", "A.OBJ"})},
         {"a.obj", "b.obj", "c.obj"},
         {"D:\\w\\a.obj", "D:\\w\\b.obj", "D:\\w\\c.obj"},
         {"D:\\w\\b.obj is already on the list", "D:\\w\\a.obj is already on the list"}},
        {"three x.obj after aaa.obj, added c, b, a",
         {multiple_pick("D:\\m", {"aaa.obj"}), multiple_pick("D:\\c", {"x.obj"}), multiple_pick("D:\\b", {"x.obj"}),
          multiple_pick("D:\\a", {"x.obj"})},
         {"aaa.obj", "x.obj", "x.obj (2)", "x.obj (3)"},
         {"D:\\m\\aaa.obj", "D:\\a\\x.obj", "D:\\b\\x.obj", "D:\\c\\x.obj"},
         {}},
    };
    for (const AddStory& st : stories) {
        SCOPED_TRACE(st.story);
        Session s;
        for (const FilePick& p : st.picks) EXPECT_EQ(s.add(p), 0);
        EXPECT_EQ(s.port.list(IDC_FILES), st.rows);
        EXPECT_EQ(s.full_paths(), st.full_paths);
        EXPECT_EQ(s.messages(), st.messages);
        for (const MessageBox& b : s.port.boxes) EXPECT_EQ(b, (MessageBox{b.text, "Error", 0x30}));
        EXPECT_EQ(s.port.status, ui::kAddFilesStatusText);
    }
}

TEST(AddFiles, EveryConfirmedPickRefillsAndEmptiesTheResultLists) {
    Session s;
    s.add("D:\\w", {"a.obj"});
    s.port.rows[IDC_BLOCKS] = {"_old_"};
    s.port.rows[IDC_DETAILS] = {"header", "row"};
    s.port.status = "something else";
    const std::size_t mark = s.port.calls.size();
    EXPECT_EQ(s.add("D:\\w", {"A.obj"}), 0);
    EXPECT_THAT(s.port.calls_since(mark),
                ElementsAre("pick", "box D:\\w\\a.obj is already on the list", "reset 1000", "begin_fill 1000",
                            "average 1000", "measure 1000 a.obj", "extent 1000 41", "add 1000 a.obj", "end_fill 1000",
                            "reset 1003", "reset 1005", std::string("status ") + std::string(ui::kAddFilesStatusText)));
    EXPECT_THAT(s.port.list(IDC_BLOCKS), IsEmpty());
    EXPECT_THAT(s.port.list(IDC_DETAILS), IsEmpty());
}

TEST(AddFiles, CancelAndDialogErrors) {
    struct Case {
        FilePick pick;
        std::vector<MessageBox> boxes;
    };
    const std::vector<Case> cases = {
        {cancelled_pick(), {}},
        {failed_pick(0), {}},
        {failed_pick(0x3003), {{"Please select fewer files.", "Common Dialog Error", 0x30}}},
        {failed_pick(0xFFFF), {{"Common Dialog Box Error FFFF", "Common Dialog Error", 0x30}}},
        {failed_pick(0x3002), {{"Common Dialog Box Error 3002", "Common Dialog Error", 0x30}}},
        {failed_pick(0xA), {{"Common Dialog Box Error A", "Common Dialog Error", 0x30}}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.pick.error_code);
        Session s;
        s.add("D:\\w", {"a.obj"});
        s.port.rows[IDC_BLOCKS] = {"_kept_"};
        s.port.status = "as it was";
        const std::size_t mark = s.port.calls.size();
        EXPECT_EQ(s.add(c.pick), 1);
        EXPECT_EQ(s.port.boxes, c.boxes);
        std::vector<std::string> expected_calls = {"pick"};
        for (const MessageBox& b : c.boxes) expected_calls.push_back("box " + b.text);
        EXPECT_EQ(s.port.calls_since(mark), expected_calls);
        EXPECT_THAT(s.port.list(IDC_FILES), ElementsAre("a.obj"));
        EXPECT_THAT(s.port.list(IDC_BLOCKS), ElementsAre("_kept_"));
        EXPECT_EQ(s.port.status, "as it was");
    }
}

TEST(AddFiles, TheFilesListIsMeasuredRowByRow) {
    Session s;
    s.port.char_width = 5;
    s.port.average_width = 3;
    s.add("d", {"bb.obj", "a.obj", "cccc.obj"});
    // Rows a.obj (25), bb.obj (30), cccc.obj (40): the extent follows the widest so far.
    std::vector<std::string> extents;
    for (const std::string& c : s.port.calls)
        if (c.rfind("extent", 0) == 0) extents.push_back(c);
    EXPECT_THAT(extents, ElementsAre("extent 1000 28", "extent 1000 33", "extent 1000 43"));
    EXPECT_EQ(s.port.extent_of(IDC_FILES), 43);

    // A narrower list afterwards narrows the extent: it is the widest row of the last fill.
    s.port.selected[IDC_FILES] = {2};
    s.command(IDC_REMOVE);
    EXPECT_EQ(s.port.extent_of(IDC_FILES), 43);  // removal deletes rows, it does not refill
    s.add("d", {"a.obj"});
    EXPECT_EQ(s.port.extent_of(IDC_FILES), 33);
}

TEST(AddFiles, LongDirectoriesAndNamesComposeWhole) {
    Session s;
    const std::string directory = "D:\\" + std::string(700, 'D');
    const std::string name = std::string(400, 'N') + ".OBJ";
    s.add(single_pick(directory + "\\" + name, name));
    s.click_file(0);
    EXPECT_EQ(s.port.status, directory + "\\" + std::string(400, 'n') + ".obj");
    s.add(single_pick(directory + "\\" + name, name));
    EXPECT_THAT(s.messages(), ElementsAre(directory + "\\" + std::string(400, 'n') + ".obj is already on the list"));
}

TEST(FilesSelection, ShowsTheClickedEntrysFullPath) {
    Session s;
    s.add("D:\\w", {"c.obj", "a.obj", "b.obj"});
    struct Case {
        int row;
        std::string status;
    } cases[] = {{1, "D:\\w\\b.obj"}, {2, "D:\\w\\c.obj"}, {0, "D:\\w\\a.obj"}, {-1, "D:\\w\\a.obj"}};
    for (const Case& c : cases) {
        s.port.status = "before";
        s.click_file(c.row);
        EXPECT_EQ(s.port.status, c.status) << c.row;
    }
    s.port.status = "before";
    s.click_file(3);
    EXPECT_EQ(s.port.status, "before");
    s.port.current[IDC_FILES] = 1;
    EXPECT_EQ(s.command(IDC_FILES, 4), 0);  // a focus change
    EXPECT_EQ(s.port.status, "before");
}

struct RemoveStory {
    const char* story;
    std::vector<std::string> names;
    std::vector<int> selection;
    std::vector<std::string> deletions;
    std::vector<std::string> rows_after;
    std::vector<std::string> messages;
};

TEST(RemoveFile, SelectionsComeOffInOnePass) {
    const std::vector<RemoveStory> stories = {
        {"rows 1 and 3 of five",
         {"a.obj", "b.obj", "c.obj", "d.obj", "e.obj"},
         {1, 3},
         {"delete 1000 1", "delete 1000 2"},
         {"a.obj", "c.obj", "e.obj"},
         {}},
        {"all rows", {"a.obj", "b.obj"}, {0, 1}, {"delete 1000 0", "delete 1000 0"}, {}, {}},
        {"more rows selected than files",
         {"a.obj", "b.obj"},
         {0, 1, 2},
         {"delete 1000 0", "delete 1000 0"},
         {},
         {std::string(msg::kRemoveTooMany), std::string(msg::kRemoveWalkedOff)}},
        {"a selection out of order",
         {"a.obj", "b.obj", "c.obj"},
         {1, 0},
         {"delete 1000 1"},
         {"a.obj", "c.obj"},
         {std::string(msg::kRemoveOrder), std::string(msg::kRemoveWalkedOff)}},
    };
    for (const RemoveStory& st : stories) {
        SCOPED_TRACE(st.story);
        Session s;
        for (const std::string& name : st.names) s.add("d", {name});
        s.port.rows[IDC_BLOCKS] = {"_b_"};
        s.port.rows[IDC_DETAILS] = {"h"};
        s.app.model().current_object.file = s.app.file_list().entry_at(0);
        s.app.model().record_common_declaration("_b_", 4);
        const int count_before = s.app.file_list().file_count();
        const std::size_t mark = s.port.calls.size();
        s.remove(st.selection);

        std::vector<std::string> deletions;
        for (const std::string& c : s.port.calls_since(mark))
            if (c.rfind("delete", 0) == 0) deletions.push_back(c);
        EXPECT_EQ(deletions, st.deletions);
        EXPECT_EQ(s.port.calls_since(mark).front(), "selected 1000 " + std::to_string(count_before));
        EXPECT_EQ(s.port.list(IDC_FILES), st.rows_after);
        EXPECT_EQ(test::file_rows(s.app.file_list()), st.rows_after);
        EXPECT_EQ(s.app.file_list().file_count(), static_cast<int>(st.rows_after.size()));
        EXPECT_EQ(s.messages(), st.messages);
        EXPECT_THAT(s.port.list(IDC_BLOCKS), IsEmpty());
        EXPECT_THAT(s.port.list(IDC_DETAILS), IsEmpty());
        EXPECT_TRUE(s.app.model().block_list().empty());
        EXPECT_EQ(s.app.file_list().last_added(), nullptr);
        EXPECT_EQ(s.port.status, ui::kRemovedStatusText);
    }
}

TEST(RemoveFile, RemainingOrdinalsStayUntilTheRunGrows) {
    Session s;
    for (const char* d : {"D:\\a", "D:\\b", "D:\\c"}) s.add(d, {"x.obj"});
    s.remove({1});
    ASSERT_THAT(s.port.list(IDC_FILES), ElementsAre("x.obj", "x.obj (3)"));
    s.add("D:\\z", {"unrelated.obj"});
    EXPECT_THAT(s.port.list(IDC_FILES), ElementsAre("unrelated.obj", "x.obj", "x.obj (3)"));
    s.add("D:\\d", {"x.obj"});
    EXPECT_THAT(s.port.list(IDC_FILES), ElementsAre("unrelated.obj", "x.obj", "x.obj (2)", "x.obj (3)"));
    EXPECT_EQ(s.full_paths(),
              (std::vector<std::string>{"D:\\z\\unrelated.obj", "D:\\a\\x.obj", "D:\\c\\x.obj", "D:\\d\\x.obj"}));
}

TEST(RemoveFile, NoSelectionChangesNothing) {
    for (const bool with_files : {false, true}) {
        SCOPED_TRACE(with_files);
        Session s;
        if (with_files) s.add("d", {"a.obj"});
        s.app.model().current_object.file = s.app.file_list().entry_at(0);
        s.app.model().record_procedure("_kept_");
        s.port.rows[IDC_BLOCKS] = {"_kept_"};
        s.port.status = "as it was";
        EXPECT_EQ(s.command(IDC_REMOVE), 0);
        EXPECT_THAT(s.port.boxes, ElementsAre(MessageBox{"Please make a selection from the \"Files to Analyze\" box.",
                                                         "No Selection", 0}));
        EXPECT_THAT(s.port.list(IDC_BLOCKS), ElementsAre("_kept_"));
        EXPECT_EQ(s.port.status, "as it was");
        EXPECT_EQ(s.app.model().procedure_list().size(), 1u);
        EXPECT_EQ(s.app.file_list().file_count(), with_files ? 1 : 0);
    }
}

TEST(RemoveFile, ThenClickShowsTheRemainingEntries) {
    Session s;
    s.add("d", {"a.obj", "b.obj", "c.obj"});
    s.remove({0});
    EXPECT_EQ(s.port.status, ui::kRemovedStatusText);
    s.click_file(0);
    EXPECT_EQ(s.port.status, "d\\b.obj");
    // last_added was cleared; adding still finds the right place.
    s.add("d", {"a.obj", "bb.obj"});
    EXPECT_THAT(s.port.list(IDC_FILES), ElementsAre("a.obj", "b.obj", "bb.obj", "c.obj"));
}

}  // namespace
}  // namespace quorv::test
