// The texts of the result views, as both the window and quorv-check show them: built models
// for the formats' corners, and the real corpus against its expected rows and hints.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <nlohmann/json.hpp>
#include <sstream>
#include <string>
#include <vector>

#include "corpus_links.h"
#include "engine/diagnostics.h"
#include "engine/run.h"
#include "ui/file_list_view.h"
#include "ui/result_views.h"

namespace quorv::ui {
namespace {

using ::testing::ElementsAre;

// A model built by hand: each declaration names the module it comes from.
struct Declare {
    const FileEntry* file;
    const char* block;
    std::uint32_t size;
};
struct Define {
    const FileEntry* file;
    const char* procedure;
};

void build(AnalysisModel& model, const std::vector<Declare>& declarations, const std::vector<Define>& procedures = {}) {
    for (const Declare& d : declarations) {
        model.current_object.file = d.file;
        model.record_common_declaration(d.block, d.size);
    }
    for (const Define& p : procedures) {
        model.current_object.file = p.file;
        model.record_procedure(p.procedure);
    }
    model.put_in_order();
}

TEST(ResultTexts, HintsForEveryFill) {
    struct Case {
        bool rows_added, problems_only;
        const char* hint;
    } cases[] = {
        {true, false,
         "Click the name of a COMMON block to display its size and in which file(s) it resides. "
         "(* = Problem)"},
        {true, true, "Click the name of a COMMON block to display its problems."},
        {false, false, "No COMMON blocks were found."},
        {false, true, "Analysis did not uncover any COMMON block problems."},
    };
    for (const Case& c : cases) EXPECT_EQ(block_list_hint(c.rows_added, c.problems_only), c.hint);
}

TEST(ResultTexts, BlockRowsInBothViews) {
    const FileEntry p{"d\\p.obj", "p.obj", 0}, q{"d\\q.obj", "q.obj", 0};
    struct Case {
        const char* story;
        std::vector<Declare> declarations;
        std::vector<Define> procedures;
        std::vector<std::string> all_rows, problem_rows;
    };
    const std::vector<Case> cases = {
        {"empty model", {}, {}, {}, {}},
        {"sizes agree, no procedures", {{&p, "A", 4}, {&q, "A", 4}, {&p, "B", 8}}, {}, {"A", "B"}, {}},
        {"a size disagreement", {{&p, "A", 4}, {&q, "A", 8}, {&p, "B", 8}}, {}, {"A*", "B"}, {"A"}},
        {"a size 0 differs from 16", {{&p, "Z", 0}, {&q, "Z", 16}}, {}, {"Z*"}, {"Z"}},
        {"a procedure of the same name, letter case counts",
         {{&p, "blk", 4}, {&p, "BLK", 4}, {&p, "c", 4}},
         {{&q, "blk"}, {&q, "aaa"}, {&q, "zzz"}},
         {"BLK", "blk*", "c"},
         {"blk"}},
        {"procedures all before or after every block",
         {{&p, "m", 4}, {&p, "n", 4}},
         {{&q, "a"}, {&q, "b"}, {&q, "y"}, {&q, "z"}},
         {"m", "n"},
         {}},
        {"one procedure name shared by two adjacent blocks' cursor",
         {{&p, "x", 4}, {&p, "x1", 4}, {&p, "y", 4}},
         {{&q, "x"}, {&p, "x"}, {&q, "y"}},
         {"x*", "x1", "y*"},
         {"x", "y"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.story);
        AnalysisModel model;
        build(model, c.declarations, c.procedures);
        const BlockRows all = block_list_rows(model, false);
        const BlockRows problems = block_list_rows(model, true);
        EXPECT_EQ(all.rows, c.all_rows);
        EXPECT_EQ(problems.rows, c.problem_rows);
        EXPECT_EQ(all.hint, block_list_hint(!c.all_rows.empty(), false));
        EXPECT_EQ(problems.hint, block_list_hint(!c.problem_rows.empty(), true));
    }
}

TEST(ResultTexts, DetailRows) {
    const FileEntry lib1{"d1\\lib.obj", "lib.obj", 1}, lib2{"d2\\lib.obj", "lib.obj", 2};
    const FileEntry big{"d\\big.obj", "big.obj", 0};
    const FileEntry longname{"d\\" + std::string(40, 'n'), std::string(40, 'n'), 3};
    AnalysisModel model;
    build(model, {{&lib1, "BLK", 16},
                  {&lib2, "BLK", 400},
                  {&big, "BLK", 3000000000u},
                  {&longname, "BLK", 4294967295u},
                  {&big, "BLK", 0}});
    model.current_object.file = &lib1;
    model.mark_initialized("BLK");
    const CommonBlock& block = *model.find_block("BLK");
    EXPECT_THAT(
        details_rows(block),
        ElementsAre("Size       Initialized    File Name ", "4294967295               " + std::string(40, 'n') + " (3)",
                    "3000000000               big.obj   ", "400                      lib.obj    (2)",
                    "16        y              lib.obj   ", "0                        big.obj   "));
}

TEST(ResultTexts, ConflictAndNotFoundTexts) {
    const FileEntry model_obj{"d\\model.obj", "model.obj", 0};
    const FileEntry first{"d\\procs.obj", "procs.obj", 2}, second{"d\\a.obj", "a.obj", 0};
    AnalysisModel model;
    build(model, {{&model_obj, "_result_", 32}, {&model_obj, "_other_", 4}},
          {{&first, "_result_"}, {&second, "_result_"}});
    EXPECT_EQ(conflict_text(model, *model.find_block("_result_")),
              "Common block name \"_result_\"conflicts with procedure \"_result_\" defined in "
              "procs.obj.");
    EXPECT_EQ(conflict_text(model, *model.find_block("_other_")), "");
    EXPECT_EQ(block_not_found_text("gone"), "COMMON block gone not found.");
    const std::string long_name(2000, 'q');
    EXPECT_EQ(block_not_found_text(long_name), "COMMON block " + long_name + " not found.");
}

// --- the corpus ---

using test::kCorpus;

nlohmann::json load(const std::filesystem::path& p) {
    std::ifstream in(p);
    return nlohmann::json::parse(in);
}

// The expectations write each byte of a name as the code point of the same value (Latin-1).
std::string bytes_of(const nlohmann::json& text) {
    const std::string utf8 = text.get<std::string>();
    std::string out;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const unsigned char b = static_cast<unsigned char>(utf8[i]);
        if (b < 0x80) {
            out.push_back(static_cast<char>(b));
        } else {
            const unsigned char next = static_cast<unsigned char>(utf8[++i]);
            out.push_back(static_cast<char>(((b & 0x03) << 6) | (next & 0x3F)));
        }
    }
    return out;
}

std::vector<std::string> texts(const nlohmann::json& array) {
    std::vector<std::string> out;
    for (const auto& t : array) out.push_back(bytes_of(t));
    return out;
}

void check_views(const test::CorpusLinks& corpus, const std::vector<std::string>& inputs,
                 const nlohmann::json& expected) {
    FileList list;
    for (const std::string& input : inputs) {
        const std::string path = corpus.flat(std::filesystem::path(input).filename().string());
        list.add_entry(display_name_from_argument(path), path);
    }
    AnalysisModel model;
    CollectingSink sink;
    const RunOutcome outcome = run_analysis(list.entries(), model, sink);
    ASSERT_EQ(outcome == RunOutcome::Completed, expected["run"] == "completed");
    // A stopped run shows no views, but its model keeps the blocks recorded before the stop.
    if (const auto& views = expected["views"]; !views.is_null()) {
        const BlockRows all = block_list_rows(model, false);
        const BlockRows problems = block_list_rows(model, true);
        EXPECT_EQ(all.rows, texts(views["blocks_all"]));
        EXPECT_EQ(all.hint, bytes_of(views["hint_all"]));
        EXPECT_EQ(problems.rows, texts(views["blocks_problems_only"]));
        EXPECT_EQ(problems.hint, bytes_of(views["hint_problems_only"]));
    }
    if (expected["model"].is_null()) return;
    for (const auto& block : expected["model"]["blocks"]) {
        const CommonBlock* found = model.find_block(bytes_of(block["name"]));
        ASSERT_NE(found, nullptr) << block["name"];
        EXPECT_EQ(details_rows(*found), texts(block["detail_rows"])) << block["name"];
        const std::string conflict = block["conflict_message"].is_null() ? "" : bytes_of(block["conflict_message"]);
        EXPECT_EQ(conflict_text(model, *found), conflict) << block["name"];
    }
}

TEST(ResultTextsCorpus, EachFileAlone) {
    const test::CorpusLinks corpus;
    int checked = 0;
    for (const std::filesystem::path& entry : test::corpus_entries("expected")) {
        if (entry.extension() != ".json") continue;
        SCOPED_TRACE(entry.filename().string());
        const nlohmann::json expected = load(entry);
        check_views(corpus, {expected["file"].get<std::string>()}, expected);
        ++checked;
    }
    EXPECT_GE(checked, 27);
}

TEST(ResultTextsCorpus, EachSet) {
    const test::CorpusLinks corpus;
    int checked = 0;
    for (const std::filesystem::path& entry : test::corpus_entries("expected/sets")) {
        SCOPED_TRACE(entry.filename().string());
        const nlohmann::json expected = load(entry);
        check_views(corpus, expected["inputs_in_run_order"].get<std::vector<std::string>>(), expected);
        ++checked;
    }
    EXPECT_GE(checked, 11);
}

}  // namespace
}  // namespace quorv::ui
