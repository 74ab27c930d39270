// The model's orders and problem rule, driven through the record operations.
#include "engine/model.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "engine/model_walks.h"
#include "engine/recorder.h"

namespace quorv {
namespace {

struct Decl {
    std::uint64_t size;
    std::string path;
    bool operator==(const Decl&) const = default;
};

std::vector<Decl> declarations_of(const AnalysisModel& m, const std::string& name) {
    std::vector<Decl> out;
    const CommonBlock* b = m.find_block(name);
    if (b == nullptr) return out;
    for (const ObjectRef& d : b->declarations) out.push_back({d.size, d.file->full_path});
    return out;
}

class ModelTest : public ::testing::Test {
  protected:
    const FileEntry* file(const std::string& path) {
        files_.push_back(std::make_unique<FileEntry>(FileEntry{path, path, 0}));
        return files_.back().get();
    }
    // Each record is followed by put_in_order, as the end of a run would follow it.
    int declare(const FileEntry* f, const std::string& name, std::uint64_t size) {
        model_.current_object = ObjectRef{f, 0, false};
        const int result = model_.record_common_declaration(name, size);
        model_.put_in_order();
        return result;
    }
    int define(const FileEntry* f, const std::string& name) {
        model_.current_object = ObjectRef{f, 0, false};
        const int result = model_.record_procedure(name);
        model_.put_in_order();
        return result;
    }
    std::vector<std::unique_ptr<FileEntry>> files_;
    AnalysisModel model_;
};

TEST_F(ModelTest, DeclarationsOrderBySizeDescendingThenPath) {
    auto p = file("P"), q = file("Q"), r = file("R"), a = file("A");
    EXPECT_EQ(declare(q, "blk", 8), kNewBlock);
    EXPECT_EQ(declare(p, "blk", 4), kAddedToBlock);
    EXPECT_EQ(declare(r, "blk", 8), kAddedToBlock);
    EXPECT_EQ(declarations_of(model_, "blk"), (std::vector<Decl>{{8, "Q"}, {8, "R"}, {4, "P"}}));
    EXPECT_FALSE(model_.find_block("blk")->sizes_agree);
    declare(a, "blk", 8);
    EXPECT_EQ(declarations_of(model_, "blk").front(), (Decl{8, "A"}));
}

TEST_F(ModelTest, SizesCompareUnsignedAndEqualDeclarationsKeepArrivalOrder) {
    auto x = file("x"), y = file("y");
    declare(y, "big", 16);
    declare(x, "big", 3000000000u);
    EXPECT_EQ(declarations_of(model_, "big"), (std::vector<Decl>{{3000000000u, "x"}, {16, "y"}}));

    // Two members with one full path: both declarations stay, the newer after the older.
    auto m1 = file("lib (m.obj)"), m2 = file("lib (m.obj)");
    declare(m1, "twice", 4);
    declare(m2, "twice", 4);
    const CommonBlock* b = model_.find_block("twice");
    ASSERT_EQ(b->declarations.size(), 2u);
    EXPECT_EQ(b->declarations.begin()->file, m1);
    EXPECT_EQ(std::next(b->declarations.begin())->file, m2);
    EXPECT_TRUE(b->sizes_agree);
}

TEST_F(ModelTest, SizesAgreeExactlyWhileAllSizesAreEqual) {
    struct Case {
        std::vector<std::uint32_t> sizes;
        bool agree;
    };
    const std::vector<Case> cases = {
        {{4}, true},        {{4, 4, 4}, true},  {{0, 16}, false}, {{16, 0}, false},
        {{8, 8, 4}, false}, {{4, 8, 8}, false}, {{0, 0}, true},
    };
    for (const Case& c : cases) {
        AnalysisModel m;
        std::vector<std::unique_ptr<FileEntry>> fs;
        for (std::size_t k = 0; k < c.sizes.size(); ++k) {
            fs.push_back(std::make_unique<FileEntry>(FileEntry{"f" + std::to_string(k), "", 0}));
            m.current_object = ObjectRef{fs.back().get(), 0, false};
            m.record_common_declaration("b", c.sizes[k]);
        }
        EXPECT_EQ(m.find_block("b")->sizes_agree, c.agree) << ::testing::PrintToString(c.sizes);
    }
}

TEST_F(ModelTest, NamesAreCaseSensitiveAndOrderedByUnsignedBytes) {
    auto f = file("f");
    for (const char* n : {"b", "B", "\xE9t", "a", "ab", "_a"}) declare(f, n, 4);
    std::vector<std::string> names;
    for (const CommonBlock& b : model_.block_list()) names.emplace_back(b.name);
    EXPECT_EQ(names, (std::vector<std::string>{"B", "_a", "a", "ab", "b", "\xE9t"}));
}

TEST_F(ModelTest, ProblemRuleAndFirstRecordedConflictingProcedure) {
    auto one = file("one"), two = file("two");
    declare(one, "SAME", 4);
    declare(one, "same", 4);
    declare(two, "same", 4);
    declare(one, "sized", 4);
    declare(two, "sized", 8);
    declare(one, "fine", 4);
    define(two, "same");
    define(one, "same");
    define(one, "zzz");

    std::vector<std::pair<std::string, bool>> seen;
    for_each_block_with_problem(model_, [&](const CommonBlock& b, bool problem) {
        seen.emplace_back(b.name, problem);
        EXPECT_EQ(problem, model_.block_has_problem(b)) << b.name;
    });
    EXPECT_EQ(seen, (std::vector<std::pair<std::string, bool>>{
                        {"SAME", false}, {"fine", false}, {"same", true}, {"sized", true}}));
    const ProcedureEntry* p = model_.find_conflicting_procedure(*model_.find_block("same"));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(p->defining_object.file, two);
    EXPECT_EQ(model_.find_conflicting_procedure(*model_.find_block("SAME")), nullptr);
}

TEST_F(ModelTest, ProceduresKeepRecordingOrderWithinOneName) {
    auto a = file("a"), b = file("b"), c = file("c");
    define(c, "p");
    define(a, "q");
    define(b, "p");
    define(a, "p");
    std::vector<std::string> order;
    for (const ProcedureEntry& p : model_.procedure_list()) {
        order.emplace_back(p.name);
        order.back().append("@").append(p.defining_object.file->full_path);
    }
    EXPECT_EQ(order, (std::vector<std::string>{"p@c", "p@b", "p@a", "q@a"}));
}

TEST_F(ModelTest, ResetEmptiesEverythingAndIsHarmlessOnAnEmptyModel) {
    model_.reset_model();
    EXPECT_TRUE(model_.block_list().empty());
    declare(file("f"), "b", 1);
    define(files_.back().get(), "p");
    model_.reset_model();
    EXPECT_TRUE(model_.block_list().empty());
    EXPECT_TRUE(model_.procedure_list().empty());
}

TEST_F(ModelTest, MarkInitializedPicksFirstDeclarationWithTheCurrentPath) {
    auto shared1 = file("lib (dup.obj)"), shared2 = file("lib (dup.obj)"), other = file("other");
    declare(other, "blk", 32);
    declare(shared1, "blk", 16);
    declare(shared2, "blk", 24);
    model_.current_object = ObjectRef{shared2, 0, false};
    model_.mark_initialized("blk");
    model_.mark_initialized("absent");
    std::vector<bool> marks;
    for (const ObjectRef& d : model_.find_block("blk")->declarations) marks.push_back(d.initialized);
    // 32 other, 24 shared2, 16 shared1: the first with path "lib (dup.obj)" is the 24.
    EXPECT_EQ(marks, (std::vector<bool>{false, true, false}));
}

// The scan reuses its string-table buffer for the next module: names recorded from it
// must outlive it, whether they were copied one by one or the table was copied whole
// (records naming ever more overlapping tails of one string).
TEST_F(ModelTest, NamesOutliveTheStringTableTheyCameFrom) {
    struct Case {
        const char* what;
        std::vector<std::size_t> offsets;  // where each recorded name starts in the table
    };
    using namespace std::string_literals;
    const std::string text = "_alpha_block_name_\0_beta_procedure_name_\0"s;
    const std::vector<Case> cases = {
        {"each name once", {0, 19}},
        {"tails of one name, past the table's size", {0, 1, 2, 3, 4, 5, 6, 7, 19, 20, 21}},
    };
    for (const Case& c : cases) {
        AnalysisModel model;
        const FileEntry* f = file(c.what);
        std::vector<std::uint8_t> table(text.begin(), text.end());
        ModuleFacts facts;
        facts.name_source = table;
        std::vector<std::string> expected;
        for (std::size_t k = 0; k < c.offsets.size(); ++k) {
            const std::string name(text.c_str() + c.offsets[k]);
            expected.push_back(name);
            const std::string_view in_table(reinterpret_cast<const char*>(table.data()) + c.offsets[k], name.size());
            if (k % 2)
                facts.define_procedure(in_table);
            else
                facts.declare(in_table, 4);
        }
        Recorder(model).record_module(*f, facts);
        model.put_in_order();
        std::fill(table.begin(), table.end(), 'X');
        table = std::vector<std::uint8_t>(1000, 'Y');
        std::vector<std::string> seen;
        for (const CommonBlock& b : model.block_list()) seen.emplace_back(b.name);
        for (const ProcedureEntry& p : model.procedure_list()) seen.emplace_back(p.name);
        std::sort(seen.begin(), seen.end());
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(seen, expected) << c.what;
        for (std::size_t k = 0; k < c.offsets.size(); k += 2)
            EXPECT_NE(model.find_block(text.c_str() + c.offsets[k]), nullptr) << c.what << " " << k;
    }
}

// Modules arrive in path order, against it, revisited, or with one path twice; sizes repeat
// often. Whatever the arrival, each block's list is the arrival order sorted stably by size
// descending then path.
TEST_F(ModelTest, DeclarationOrderHoldsWhateverOrderModulesArriveIn) {
    std::mt19937 rng(7);
    std::vector<const FileEntry*> modules;
    for (const char* path : {"a", "b", "b", "c", "d", "e", "lib (x.obj)", "lib (y.obj)"}) modules.push_back(file(path));
    for (int round = 0; round < 200; ++round) {
        AnalysisModel model;
        std::vector<std::vector<Decl>> arrived(3);
        std::vector<const FileEntry*> order = modules;
        if (round % 4 == 0) std::shuffle(order.begin(), order.end(), rng);
        const int visits = 1 + static_cast<int>(rng() % 12);
        for (int v = 0; v < visits; ++v) {
            // Mostly onward in the list, sometimes back to an earlier module.
            const FileEntry* f = order[(round % 4 == 1) ? rng() % order.size() : v % order.size()];
            model.current_object = ObjectRef{f, 0, false};
            for (int k = 0; k < 3; ++k) {
                if (rng() % 3 == 0) continue;
                const std::uint32_t size = 4 * (1 + rng() % 3);
                model.record_common_declaration("blk" + std::to_string(k), size);
                arrived[k].push_back({size, f->full_path});
            }
        }
        for (int k = 0; k < 3; ++k) {
            std::vector<Decl> expected = arrived[k];
            std::stable_sort(expected.begin(), expected.end(), [](const Decl& a, const Decl& b) {
                return a.size != b.size ? a.size > b.size : a.path < b.path;
            });
            EXPECT_EQ(declarations_of(model, "blk" + std::to_string(k)), expected) << "round " << round;
        }
    }
}

// Names of every length are kept whole, whether they fit in the block's record or not,
// and stay valid while thousands of blocks come after them.
TEST_F(ModelTest, ShortAndLongNamesStayWholeAsBlocksGrow) {
    const auto* f = file("f");
    const std::vector<std::string> names = {"",
                                            "x",
                                            std::string(22, 's'),
                                            std::string(23, 't'),
                                            std::string(24, 'u'),
                                            std::string(300, 'v'),
                                            std::string("a\0b", 3)};
    for (const std::string& n : names) declare(f, n, 4);
    for (int k = 0; k < 5000; ++k) declare(f, "_filler_" + std::to_string(k), 8);
    for (const std::string& n : names) {
        const CommonBlock* b = model_.find_block(n);
        ASSERT_NE(b, nullptr) << n.size();
        EXPECT_EQ(b->name, n);
        EXPECT_EQ(b->declarations.size(), 1u);
    }
    EXPECT_EQ(model_.block_list().size(), names.size() + 5000);
    EXPECT_EQ(model_.block_list().front().name, "");
}

// Initializers and layouts recorded before any module declares their block wait whole
// through the ends of runs that come first, and join the block in module order when it
// comes; data of no block joins none.
TEST_F(ModelTest, InitializersAndLayoutsWaitWholeForTheirBlock) {
    model_.keep_definitions(true);
    model_.keep_layouts(true);
    const FileEntry* a = file("/a.o");
    const FileEntry* b = file("/b.o");
    const FileEntry* c = file("/c.o");
    const auto layout = [](const std::string& symbol, const std::string& member) {
        dwarf::CommonLayout l;
        l.block = l.symbol = symbol;
        l.members.push_back(dwarf::Member{member, 0, 4, "integer(4)"});
        return l;
    };
    const auto record = [&](const FileEntry* f, const std::string& name, std::uint64_t size,
                            const std::string& member) {
        model_.current_object = ObjectRef{f, 0, false};
        ASSERT_EQ(model_.record_definition(name, size, true), 0);
        std::vector<dwarf::CommonLayout> layouts;
        layouts.push_back(layout(name, member));
        ASSERT_EQ(model_.record_layouts(std::move(layouts)), 0);
        model_.put_in_order();
    };
    record(a, "late_", 8, "x");
    // late_'s items wait through this end of run, and c_global's through every one.
    record(b, "c_global", 4, "g");
    declare(b, "early_", 4);
    record(a, "early_", 4, "e");
    declare(c, "late_", 16);
    record(c, "late_", 16, "y");

    const struct {
        std::string block;
        std::vector<std::pair<const FileEntry*, std::uint64_t>> definitions;
        std::vector<std::string> members;
    } expected[] = {
        {"early_", {{a, 4}}, {"e"}},
        {"late_", {{a, 8}, {c, 16}}, {"x", "y"}},
    };
    for (const auto& e : expected) {
        const CommonBlock* block = model_.find_block(e.block);
        ASSERT_NE(block, nullptr) << e.block;
        std::vector<std::pair<const FileEntry*, std::uint64_t>> definitions;
        for (const Definition& d : model_.definitions_of(*block)) definitions.emplace_back(d.file, d.size);
        EXPECT_EQ(definitions, e.definitions) << e.block;
        std::vector<std::string> members;
        for (const ModuleLayout& m : model_.layouts_of(*block))
            for (const dwarf::Member& member : m.layout->members) members.push_back(member.name);
        EXPECT_EQ(members, e.members) << e.block;
    }
    EXPECT_EQ(model_.find_block("c_global"), nullptr);
}

}  // namespace
// Modules with the same layout of a block share the one the model keeps, each with its own
// source; a layout that differs is kept apart. A reset lets them all go.
TEST_F(ModelTest, ModulesShareOneLayoutAndKeepTheirOwnSource) {
    model_.keep_layouts(true);
    const FileEntry* a = file("/a.o");
    const FileEntry* b = file("/b.o");
    const FileEntry* c = file("/c.o");
    const auto record = [&](const FileEntry* f, const std::string& member, const std::string& source,
                            std::uint64_t line) {
        declare(f, "blk_", 8);
        dwarf::CommonLayout l;
        l.block = "blk";
        l.symbol = "blk_";
        l.members.push_back(dwarf::Member{member, 0, 8, "real(kind=8)"});
        l.file = source;
        l.line = line;
        std::vector<dwarf::CommonLayout> layouts;
        layouts.push_back(std::move(l));
        model_.current_object = ObjectRef{f, 0, false};
        ASSERT_EQ(model_.record_layouts(std::move(layouts)), 0);
    };
    record(a, "x", "a.f", 3);
    record(b, "x", "b.f", 7);
    record(c, "y", "c.f", 9);
    model_.put_in_order();
    const CommonBlock* block = model_.find_block("blk_");
    ASSERT_NE(block, nullptr);
    const auto layouts = model_.layouts_of(*block);
    ASSERT_EQ(layouts.size(), 3u);
    EXPECT_EQ(layouts[0].layout, layouts[1].layout);
    EXPECT_NE(layouts[0].layout, layouts[2].layout);
    EXPECT_EQ(layouts[2].layout->members.at(0).name, "y");
    const std::vector<std::pair<const FileEntry*, std::string>> sources = {{a, "a.f:3"}, {b, "b.f:7"}, {c, "c.f:9"}};
    for (std::size_t k = 0; k < sources.size(); ++k) {
        EXPECT_EQ(layouts[k].file, sources[k].first);
        EXPECT_EQ(layouts[k].source_file + ":" + std::to_string(layouts[k].source_line), sources[k].second);
    }
    EXPECT_EQ(model_.layout_pool().size(), 2u);
    model_.reset_model();
    EXPECT_EQ(model_.layout_pool().size(), 0u);
}

}  // namespace quorv
