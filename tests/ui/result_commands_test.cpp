// Analyze, block selection and the problems-only switch over real corpus files, picked the
// way the user picks them: a directory and names, so that each entry's full path is
// "<directory>\<name>" and the real run opens it (see corpus_links.h).
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "corpus_links.h"
#include "session.h"
#include "ui/result_views.h"

namespace quorv::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

const std::string kHeader = "Size       Initialized    File Name ";

class Results : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { corpus_ = new CorpusLinks(); }
    static void TearDownTestSuite() {
        delete corpus_;
        corpus_ = nullptr;
    }
    static std::string dir() { return corpus_->pick_directory(); }
    void pick(const std::vector<std::string>& names) { s.add(dir(), names); }
    std::vector<std::string> measured(int list, std::size_t mark) const {
        std::vector<std::string> out;
        const std::string prefix = "measure " + std::to_string(list) + " ";
        for (const std::string& c : s.port.calls_since(mark))
            if (c.rfind(prefix, 0) == 0) out.push_back(c.substr(prefix.size()));
        return out;
    }

    Session s;
    static CorpusLinks* corpus_;
};
CorpusLinks* Results::corpus_ = nullptr;

TEST_F(Results, AnalyzeWithNoFiles) {
    s.port.rows[IDC_BLOCKS] = {"_old_*"};
    s.port.rows[IDC_DETAILS] = {kHeader};
    s.app.model().record_procedure("_left_over_");
    s.port.status = "as it was";
    EXPECT_EQ(s.command(IDC_ANALYZE), 0);
    EXPECT_THAT(s.port.boxes, ElementsAre(MessageBox{"There are no files to analyze.\nClick the \"Add Files\" button.",
                                                     "Error", 0x30}));
    EXPECT_THAT(s.port.list(IDC_BLOCKS), IsEmpty());
    EXPECT_THAT(s.port.list(IDC_DETAILS), IsEmpty());
    EXPECT_TRUE(s.app.model().procedure_list().empty());
    EXPECT_EQ(s.port.status, "as it was");
}

TEST_F(Results, AnalyzeSelectAndSwitchTheView) {
    pick({"b_solve.obj", "d_procs.obj", "b_setup.obj", "d_model.obj", "b_tune.obj"});
    std::size_t mark = s.port.calls.size();
    s.type('a');
    EXPECT_THAT(s.port.boxes, IsEmpty());
    const std::vector<std::string> all = {"___BLNK__*", "_coef_*", "_fnorm_*", "_result_*", "_stats_", "_work_"};
    EXPECT_EQ(s.port.list(IDC_BLOCKS), all);
    EXPECT_EQ(measured(IDC_BLOCKS, mark), all);
    EXPECT_EQ(s.port.extent_of(IDC_BLOCKS), 10 * 7 + 6);
    EXPECT_EQ(s.port.status, ui::kHintBlocks);

    // A size disagreement shows in the rows, largest first, and draws no message.
    mark = s.port.calls.size();
    s.click_block("_coef_*");
    EXPECT_THAT(s.port.list(IDC_DETAILS),
                ElementsAre(kHeader, "56                       b_tune.obj", "48                       b_setup.obj",
                            "40                       b_solve.obj"));
    EXPECT_THAT(measured(IDC_DETAILS, mark),
                ElementsAre("56                       b_tune.obj", "48                       b_setup.obj",
                            "40                       b_solve.obj"));
    EXPECT_EQ(s.port.extent_of(IDC_DETAILS), 36 * 7 + 6);
    EXPECT_THAT(s.port.boxes, IsEmpty());
    EXPECT_EQ(s.port.status, ui::kHintBlocks);

    // A name conflict: the rows, then the message naming the procedure's file.
    s.click_block("_fnorm_*");
    EXPECT_THAT(s.port.list(IDC_DETAILS), ElementsAre(kHeader, "8                        d_model.obj"));
    EXPECT_THAT(s.messages(), ElementsAre("Common block name \"_fnorm_\"conflicts with procedure "
                                          "\"_fnorm_\" defined in d_procs.obj."));
    ASSERT_FALSE(s.port.boxes.empty());
    EXPECT_EQ(s.port.boxes.back().caption, "Error");

    // The problems view: names alone, and a selection there works the same.
    s.set_problems_only(true);
    EXPECT_THAT(s.port.list(IDC_BLOCKS), ElementsAre("___BLNK__", "_coef_", "_fnorm_", "_result_"));
    EXPECT_THAT(s.port.list(IDC_DETAILS), IsEmpty());
    EXPECT_EQ(s.port.status, ui::kHintProblems);
    EXPECT_EQ(s.app.problems_only(), 1);
    s.click_block("_result_");
    EXPECT_THAT(s.port.list(IDC_DETAILS), ElementsAre(kHeader, "32                       d_model.obj"));
    EXPECT_THAT(s.messages(),
                ElementsAre("Common block name \"_fnorm_\"conflicts with procedure \"_fnorm_\" defined in "
                            "d_procs.obj.",
                            "Common block name \"_result_\"conflicts with procedure \"_result_\" defined in "
                            "d_procs.obj."));

    // Analyze again keeps the view the check box chose.
    s.type('A');
    EXPECT_THAT(s.port.list(IDC_BLOCKS), ElementsAre("___BLNK__", "_coef_", "_fnorm_", "_result_"));
    s.set_problems_only(false);
    EXPECT_EQ(s.port.list(IDC_BLOCKS), all);
    EXPECT_EQ(s.port.status, ui::kHintBlocks);
}

TEST_F(Results, TheKeyPReadsTheCheckBoxAndNeverChangesIt) {
    pick({"b_solve.obj", "b_tune.obj"});
    s.type('a');
    ASSERT_THAT(s.port.list(IDC_BLOCKS), ElementsAre("___BLNK__", "_coef_*", "_work_"));
    s.click_block("_work_");
    ASSERT_FALSE(s.port.list(IDC_DETAILS).empty());
    const std::size_t mark = s.port.calls.size();
    s.type('p');
    EXPECT_THAT(s.port.calls_since(mark),
                ElementsAre("checked 1007", "reset 1003", "reset 1005", "begin_fill 1003", "average 1003",
                            "measure 1003 ___BLNK__", "extent 1003 69", "add 1003 ___BLNK__", "measure 1003 _coef_*",
                            "extent 1003 69", "add 1003 _coef_*", "measure 1003 _work_", "extent 1003 69",
                            "add 1003 _work_", "end_fill 1003", std::string("status ") + std::string(ui::kHintBlocks)));
    s.port.checked[IDC_PROBLEMS_ONLY] = true;
    s.type('P');
    EXPECT_THAT(s.port.list(IDC_BLOCKS), ElementsAre("_coef_"));
    EXPECT_EQ(s.port.status, ui::kHintProblems);
}

TEST_F(Results, HintsForWhatTheListShows) {
    struct Case {
        const char* story;
        std::vector<std::string> files;  // none: P before any Analyze
        bool problems_only;
        std::vector<std::string> rows;
        std::string_view hint;
    };
    const std::vector<Case> cases = {
        {"P before any Analyze", {}, false, {}, ui::kHintNoBlocks},
        {"P before any Analyze, problems view", {}, true, {}, ui::kHintNoProblems},
        {"a program whose blocks agree",
         {"a_grid.obj", "a_main.obj"},
         false,
         {"_ctrl_", "_field_", "_grid_"},
         ui::kHintBlocks},
        {"the same in the problems view", {"a_grid.obj", "a_main.obj"}, true, {}, ui::kHintNoProblems},
        {"only BLOCK DATA: no blocks at all", {"c_bdata.obj"}, false, {}, ui::kHintNoBlocks},
        {"only BLOCK DATA, problems view", {"c_bdata.obj"}, true, {}, ui::kHintNoProblems},
        {"a library member pair of one name", {"i_dupnames.lib"}, true, {"_twice_"}, ui::kHintProblems},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.story);
        Session fresh;
        if (!c.files.empty()) {
            fresh.add(dir(), c.files);
            fresh.type('a');
        }
        fresh.set_problems_only(c.problems_only);
        EXPECT_EQ(fresh.port.list(IDC_BLOCKS), c.rows);
        EXPECT_EQ(fresh.port.status, c.hint);
        EXPECT_THAT(fresh.port.boxes, IsEmpty());
    }
}

TEST_F(Results, DuplicateOrdinalsInTheDetails) {
    // The same file under two directories: two entries of one name, the second numbered (2).
    s.add(dir(), {"d_model.obj"});
    s.add(corpus_->second_pick_directory(), {"d_model.obj"});
    ASSERT_THAT(s.port.list(IDC_FILES), ElementsAre("d_model.obj", "d_model.obj (2)"));
    s.type('a');
    s.click_block("_stats_");
    EXPECT_THAT(s.port.list(IDC_DETAILS), ElementsAre(kHeader, "16                       d_model.obj",
                                                      "16                       d_model.obj (2)"));
}

TEST_F(Results, LibraryMembersAndInitializedMarks) {
    pick({"i_dupnames.lib"});
    s.type('a');
    ASSERT_THAT(s.port.list(IDC_BLOCKS), ElementsAre("_dupblk_", "_twice_*"));
    s.click_block("_dupblk_");
    EXPECT_THAT(s.port.list(IDC_DETAILS), ElementsAre(kHeader, "16        y              i_dupnames.lib (dup.obj)"));
    s.click_block("_twice_*");
    EXPECT_THAT(s.port.list(IDC_DETAILS), ElementsAre(kHeader, "24                       i_dupnames.lib (dup.obj)",
                                                      "16                       i_dupnames.lib (dup.obj)"));
    EXPECT_THAT(s.port.boxes, IsEmpty());
}

TEST_F(Results, ARunThatStopsLeavesTheListsEmptyAndKeepsTheModel) {
    pick({"j_pe_signature.obj", "a_main.obj"});
    s.port.status = "as it was";
    s.type('a');
    EXPECT_THAT(s.messages(), ElementsAre("The file " + dir() + "\\j_pe_signature.obj is not an object file."));
    EXPECT_THAT(s.port.list(IDC_BLOCKS), IsEmpty());
    EXPECT_EQ(s.port.status, "as it was");
    // a_main.obj was read before the image header stopped the run: the view switch shows its blocks.
    s.type('p');
    EXPECT_THAT(s.port.list(IDC_BLOCKS), ElementsAre("_ctrl_", "_field_", "_grid_"));
    EXPECT_EQ(s.port.status, ui::kHintBlocks);
}

TEST_F(Results, MessagesOfTheRunNameTheComposedPaths) {
    pick({"j_heat.exe", "a_main.obj"});
    s.type('a');
    EXPECT_THAT(s.messages(), ElementsAre("The file " + dir() + "\\j_heat.exe is not an object file."));
    EXPECT_THAT(s.port.list(IDC_BLOCKS), ElementsAre("_ctrl_", "_field_", "_grid_"));

    Session missing;
    missing.add(dir() + "-nowhere", {"a_main.obj"});
    missing.type('a');
    EXPECT_THAT(missing.messages(), ElementsAre("Cannot open file: " + dir() + "-nowhere\\a_main.obj"));
    EXPECT_THAT(missing.port.list(IDC_BLOCKS), IsEmpty());
}

TEST_F(Results, AddFilesKeepsTheModelWhileEmptyingTheLists) {
    pick({"d_model.obj", "d_procs.obj"});
    s.type('a');
    s.click_block("_stats_");
    pick({"a_main.obj"});
    EXPECT_THAT(s.port.list(IDC_BLOCKS), IsEmpty());
    EXPECT_THAT(s.port.list(IDC_DETAILS), IsEmpty());
    EXPECT_EQ(s.app.model().block_list().size(), 3u);
    // The view switch shows the last Analyze's blocks again; after Remove File, none.
    s.type('p');
    EXPECT_THAT(s.port.list(IDC_BLOCKS), ElementsAre("_fnorm_*", "_result_*", "_stats_"));
    s.remove({0});
    s.type('p');
    EXPECT_THAT(s.port.list(IDC_BLOCKS), IsEmpty());
    EXPECT_EQ(s.port.status, ui::kHintNoBlocks);
}

TEST_F(Results, ABlockNoLongerInTheModel) {
    struct Case {
        std::vector<std::string> rows;
        int current;
        std::string message;
    } cases[] = {
        {{"_gone_*"}, 0, "COMMON block _gone_ not found."},
        {{"_gone_"}, 0, "COMMON block _gone_ not found."},
        {{"**"}, 0, "COMMON block * not found."},
        {{}, -1, "COMMON block  not found."},
    };
    for (const Case& c : cases) {
        Session fresh;
        fresh.port.rows[IDC_BLOCKS] = c.rows;
        fresh.port.rows[IDC_DETAILS] = {"kept"};
        fresh.port.status = "as it was";
        fresh.port.current[IDC_BLOCKS] = c.current;
        EXPECT_EQ(fresh.command(IDC_BLOCKS, ui::kLbnSelChange), 0);
        EXPECT_THAT(fresh.messages(), ElementsAre(c.message));
        EXPECT_THAT(fresh.port.list(IDC_DETAILS), ElementsAre("kept"));
        EXPECT_EQ(fresh.port.status, "as it was");
    }
}

TEST_F(Results, ExtentRules) {
    s.port.char_width = 1;
    s.port.average_width = 100;
    pick({"a_main.obj", "a_grid.obj"});
    EXPECT_EQ(s.port.extent_of(IDC_FILES), 10 + 100);
    s.type('a');
    EXPECT_EQ(s.port.extent_of(IDC_BLOCKS), 7 + 100);  // "_field_"
    // The header (36 characters) is wider than the rows (35), but it is not measured.
    s.click_block("_grid_");
    ASSERT_THAT(s.port.list(IDC_DETAILS),
                ElementsAre(kHeader, "208                      a_grid.obj", "208                      a_main.obj"));
    EXPECT_EQ(s.port.extent_of(IDC_DETAILS), 35 + 100);
    // A fill that measures no row, and clearing a list, leave the extent as it was.
    s.set_problems_only(true);
    EXPECT_THAT(s.port.list(IDC_BLOCKS), IsEmpty());
    EXPECT_EQ(s.port.extent_of(IDC_BLOCKS), 107);
    s.remove({0, 1});
    s.type('p');
    EXPECT_EQ(s.port.extent_of(IDC_BLOCKS), 107);
    EXPECT_EQ(s.port.extent_of(IDC_DETAILS), 135);
    EXPECT_EQ(s.port.extent_of(IDC_FILES), 110);
}

}  // namespace
}  // namespace quorv::test
