// The symbol scan: name resolution, classification, range and aux checks, initialized marks.
#include <gtest/gtest.h>

#include "engine_harness.h"

namespace quorv {
namespace {

using test::Bytes;
using test::Messages;
using test::ObjectSpec;
using test::Symbol;

struct Scanned {
    int result;
    Messages messages;
    std::vector<std::string> blocks;      // "name:size[:i]" per declaration, list order
    std::vector<std::string> procedures;  // names, list order
};

Scanned scan(const ObjectSpec& plan, const FileEntry& entry = FileEntry{"d\\m.obj", "m.obj", 0}) {
    AnalysisModel model;
    const auto out = test::read_module(make_object(plan), model, entry);
    Scanned s{out.result, out.messages, {}, {}};
    for (const CommonBlock& b : model.block_list())
        for (const ObjectRef& d : b.declarations)
            s.blocks.push_back(std::string(b.name) + ":" + std::to_string(d.size) + (d.initialized ? ":i" : ""));
    for (const ProcedureEntry& p : model.procedure_list()) s.procedures.emplace_back(p.name);
    return s;
}

ObjectSpec with_symbols(std::vector<Symbol> symbols, std::size_t sections = 2) {
    ObjectSpec plan;
    plan.sections.resize(sections);
    plan.symbols = std::move(symbols);
    return plan;
}

TEST(Scan, ClassifiesEachKindOfRecord) {
    const auto s = scan(with_symbols({
        test::common("_blk_", 64), test::common("_zero_", 0),
        test::common("_at@blk", 8),                                  // '@' does not stop a declaration
        test::function("_proc_"), test::function("_static_", 1, 3),  // static functions count too
        test::function("_abs_", -1),                                 // so do absolute ones
        test::function("_undef_", 0),                                // undefined function: ignored
        test::function("_StdFunc@8"),                                // decorated: not recorded
        Symbol{"_absdata", 4, -1, 0, 2},                             // absolute data: nothing
        Symbol{"_typed", 4, 0, 4, 2},                                // Type not 0: not a declaration
        Symbol{"_static", 4, 0, 0, 3},                               // not external: nothing
    }));
    EXPECT_EQ(s.result, 0);
    EXPECT_TRUE(s.messages.empty());
    EXPECT_EQ(s.blocks, (std::vector<std::string>{"_at@blk:8", "_blk_:64", "_zero_:0"}));
    EXPECT_EQ(s.procedures, (std::vector<std::string>{"_abs_", "_proc_", "_static_"}));
}

TEST(Scan, ShortAndLongNames) {
    const auto s = scan(with_symbols({
        test::common("_abcdef_", 4),             // exactly 8: no terminator in the record
        test::common("_abcdefg_", 4),            // 9: string table
        Symbol{"_short_", 4, 0, 0, 2, 0, true},  // short name kept in the string table
    }));
    EXPECT_EQ(s.blocks, (std::vector<std::string>{"_abcdef_:4", "_abcdefg_:4", "_short_:4"}));
}

TEST(Scan, LongNameOffsetsAtAndBeyondTheTable) {
    struct Case {
        std::uint32_t offset;
        bool reported;
    };
    // The table holds "_first_\0" (offset 4) and "_second_\0" (offset 12); L = 17.
    const std::vector<Case> cases = {{4, false}, {12, false}, {20, false},       {21, true},
                                     {0, true},  {3, true},   {0xFFFFFFFF, true}};
    for (const Case& c : cases) {
        Symbol probe{"", 4, 0, 0, 2};
        probe.raw_offset = c.offset;
        auto plan =
            with_symbols({Symbol{"_first_", 1, 0, 0, 2, 0, true}, Symbol{"_second_", 2, 0, 0, 2, 0, true}, probe});
        const auto s = scan(plan);
        if (c.reported) {
            char text[80];
            std::snprintf(text, sizeof text, "QUORV Internal: name offset %8x is outside string table", c.offset);
            EXPECT_EQ(s.messages, Messages{text}) << c.offset;
            EXPECT_EQ(s.result, 1);
            // Not classified: no stale name from the record before.
            EXPECT_EQ(s.blocks, (std::vector<std::string>{"_first_:1", "_second_:2"})) << c.offset;
        } else {
            EXPECT_TRUE(s.messages.empty()) << c.offset;
            EXPECT_EQ(s.blocks.size(), 3u) << c.offset;
        }
    }
}

TEST(Scan, LongNameRunningToTheEndOfTheTableIsCut) {
    auto plan = with_symbols({Symbol{"_unterminated_", 4, 0, 0, 2, 0, true}});
    plan.string_table_size_override = 4 + 6;  // keeps "_unter", no zero byte
    const auto s = scan(plan);
    EXPECT_TRUE(s.messages.empty());
    EXPECT_EQ(s.blocks, (std::vector<std::string>{"_unter:4"}));
}

TEST(Scan, NoStringTableReportsEveryLongName) {
    auto plan = with_symbols({Symbol{"_long_name_here_", 4, 0, 0, 2}, test::common("_ok_", 4)});
    plan.string_table_size_override = 4;
    const auto s = scan(plan);
    EXPECT_EQ(s.messages, (Messages{"QUORV Internal: name offset        4 is outside string table"}));
    EXPECT_EQ(s.blocks, (std::vector<std::string>{"_ok_:4"}));
    EXPECT_EQ(s.result, 1);
}

TEST(Scan, SectionNumberRangeIsCheckedAfterClassification) {
    const std::string out_of_range = "Error: Section number is out of range\n";
    struct Case {
        std::int16_t section;
        bool reported;
    };
    const std::vector<Case> cases = {{2, false}, {-2, false}, {3, true}, {-3, true}, {32767, true}};
    for (const Case& c : cases) {
        const auto s = scan(with_symbols({test::function("_f_", c.section)}, 2));
        EXPECT_EQ(s.messages, c.reported ? Messages{out_of_range} : Messages{}) << c.section;
        EXPECT_EQ(s.result, c.reported ? 1 : 0) << c.section;
        EXPECT_EQ(s.procedures, (std::vector<std::string>{"_f_"})) << c.section;
    }
}

TEST(Scan, AuxiliaryRecordsAndTheWeakExternalRule) {
    const std::string overflow = "Error:  Aux symbol count overflows symbol table\n";
    // A record posing as an aux record carries a name that would show if it were scanned.
    const Symbol aux_like = test::common("_aux_", 1);
    struct Case {
        const char* what;
        std::vector<Symbol> symbols;
        Messages messages;
        std::vector<std::string> blocks;
    };
    Symbol one_aux = test::common("_a_", 4);
    one_aux.aux = 1;
    Symbol two_aux = one_aux;
    two_aux.aux = 2;
    Symbol weak{"_weak_", 0, 0, 0, 105, 2};
    const std::vector<Case> cases = {
        {"aux skipped", {one_aux, aux_like}, {}, {"_a_:4"}},
        {"aux ends at the last record", {two_aux, aux_like, aux_like}, {}, {"_a_:4"}},
        {"last record with one aux", {test::common("_b_", 4), one_aux}, {overflow}, {"_a_:4", "_b_:4"}},
        {"count past the end: following records read as symbols",
         {two_aux, aux_like},
         {overflow},
         {"_a_:4", "_aux_:1"}},
        {"weak external skips exactly one", {weak, aux_like, aux_like}, {}, {"_aux_:1"}},
    };
    for (const Case& c : cases) {
        const auto s = scan(with_symbols(c.symbols));
        EXPECT_EQ(s.messages, c.messages) << c.what;
        EXPECT_EQ(s.blocks, c.blocks) << c.what;
        EXPECT_EQ(s.result, c.messages.empty() ? 0 : 1) << c.what;
    }
}

TEST(Scan, DefinedDataMarksTheModulesOwnDeclarationWhicheverComesFirst) {
    for (bool definition_first : {false, true}) {
        std::vector<Symbol> symbols = {test::common("_blk_", 12), test::common("_other_", 4)};
        symbols.insert(definition_first ? symbols.begin() : symbols.end(), test::defined_data("_blk_"));
        symbols.push_back(test::defined_data("_blk_"));  // a second definition marks nothing more
        symbols.push_back(test::defined_data("_nodecl_"));
        const auto s = scan(with_symbols(symbols));
        EXPECT_EQ(s.blocks, (std::vector<std::string>{"_blk_:12:i", "_other_:4"})) << definition_first;
        EXPECT_EQ(s.result, 0);
    }
}

TEST(Scan, AnEarlyErrorStillFailsTheModule) {
    const auto s = scan(with_symbols({test::function("_f_", 9), test::common("_a_", 1), test::common("_b_", 2)}));
    EXPECT_EQ(s.result, 1);
    EXPECT_EQ(s.blocks.size(), 2u);
}

}  // namespace
}  // namespace quorv
