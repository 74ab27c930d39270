// The findings on real compiler output, one scenario per rule, and what makes a fingerprint:
// the same finding keeps it in another directory and in another input order.
#include "findings/findings.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <vector>

#include "analysis.h"

namespace quorv::findings {
namespace {

namespace fs = std::filesystem;

const fs::path kScenarios = fs::path(QUORV_TEST_DATA_DIR) / "findings";

std::vector<fs::path> scenario(const std::vector<const char*>& names) {
    std::vector<fs::path> out;
    for (const char* n : names) out.push_back(kScenarios / n);
    return out;
}

// rule, block symbol, where it points (module name), message.
using Seen = std::vector<std::vector<std::string>>;

Seen seen(const Analysis& run) {
    Seen out;
    for (const Finding& f : run.found)
        out.push_back(
            {std::string(f.rule->id), std::string(f.block), f.primary ? module_name(*f.primary) : "", f.message});
    return out;
}

TEST(Findings, EachRuleOnRealCompilerOutput) {
    struct Case {
        const char* story;
        std::vector<const char*> files;
        Seen expected;
    };
    const std::vector<Case> cases = {
        {"BLOCK DATA smaller than the declaration",
         {"elf/s03_user.o", "elf/s03_bsmall.o"},
         {{"initializer-smaller-than-declaration", "blk3_", "s03_bsmall.o",
           "COMMON block /BLK3/ is initialized with 8 bytes in s03_bsmall.o but declared with 32 bytes in "
           "s03_user.o"}}},
        {"DATA in two routines of two files",
         {"elf/s04_user.o", "elf/s04_init_a.o", "elf/s04_init_b.o"},
         {{"common-initialized-twice", "twice_", "s04_init_a.o",
           "COMMON block /TWICE/ is initialized in 2 modules: s04_init_a.o, s04_init_b.o"}}},
        {"blank COMMON of three sizes", {"elf/s05_blank_a.o", "elf/s05_blank_b.o", "elf/s05_blank_c.o"}, {}},
        {"a block named like a subroutine",
         {"elf/s06_model.o", "elf/s06_procs.o"},
         {{"common-named-like-procedure", "result_", "s06_model.o",
           "COMMON block /RESULT/ has the name of a procedure defined in s06_procs.o; the linker lets one override the "
           "other"}}},
        {"a named block of two sizes",
         {"elf/s07_sizes_a.o", "elf/s07_sizes_b.o"},
         {{"common-size-mismatch", "coef_", "s07_sizes_a.o",
           "COMMON block /COEF/ is declared with different sizes: 48 bytes in s07_sizes_b.o, 40 bytes in "
           "s07_sizes_a.o"}}},
        {"link-time-optimization code",
         {"elf/s08_lto.o"},
         {{"input-diagnostic", "", "s08_lto.o",
           "The file " + (kScenarios / "elf/s08_lto.o").string() +
               " holds link-time-optimization or other code that is not an object module; its COMMON blocks cannot be "
               "read."}}},
        {"a damaged member stops the run",
         {"elf/damaged.a"},
         {{"analysis-stopped", "", "damaged.a(cut.o)", "The analysis stopped: Error reading section headers"},
          {"input-diagnostic", "", "damaged.a(cut.o)",
           "QUORV Internal: fread returned 0 bytes (704 expected). [analyze]"}}},
        {"COFF bounds below and above the declarations",
         {"coff/s09_bbig.obj", "coff/s09_users.obj"},
         {{"initializer-smaller-than-declaration", "_lims_", "s09_bbig.obj",
           "COMMON block /LIMS/ is initialized with at most 16 bytes in s09_bbig.obj but declared with 64 bytes in "
           "s09_users.obj"}}},
    };
    for (const Case& c : cases) {
        Analysis run;
        analyze(scenario(c.files), run);
        EXPECT_EQ(seen(run), c.expected) << c.story;
    }
}

TEST(Findings, DefinitionsCarryTheirModuleAndSize) {
    Analysis run;
    analyze(scenario({"elf/s03_user.o", "elf/s03_bsmall.o", "coff/s09_bbig.obj", "coff/s09_users.obj"}), run);
    struct Expected {
        const char* block;
        const char* module;
        std::uint64_t size;
        bool exact;
    };
    for (const Expected& e :
         {Expected{"blk3_", "s03_bsmall.o", 8, true}, Expected{"_params_", "s09_bbig.obj", 16, false},
          Expected{"_lims_", "s09_bbig.obj", 16, false}}) {
        const CommonBlock* b = run.model.find_block(e.block);
        ASSERT_NE(b, nullptr) << e.block;
        const auto defs = run.model.definitions_of(*b);
        ASSERT_EQ(defs.size(), 1u) << e.block;
        EXPECT_EQ(defs[0].file->display_name, e.module);
        EXPECT_EQ(defs[0].size, e.size) << e.block;
        EXPECT_EQ(defs[0].size_exact, e.exact) << e.block;
    }
}

std::vector<std::string> fingerprints(const Analysis& run) {
    std::vector<std::string> out;
    for (const Finding& f : run.found) out.push_back(std::string(f.fingerprint.text()));
    std::sort(out.begin(), out.end());
    return out;
}

TEST(Findings, FingerprintsStayAcrossDirectoriesAndInputOrders) {
    const std::vector<const char*> names = {"elf/s03_user.o",  "elf/s03_bsmall.o",  "elf/s06_model.o",
                                            "elf/s06_procs.o", "elf/s07_sizes_a.o", "elf/s07_sizes_b.o",
                                            "elf/s08_lto.o",   "coff/s09_bbig.obj", "coff/s09_users.obj"};
    const fs::path copies = fs::temp_directory_path() /
                            ("quorv_fingerprints_" + std::to_string(::testing::UnitTest::GetInstance()->random_seed()));
    fs::remove_all(copies);
    std::vector<fs::path> here, there;
    for (const char* n : names) {
        here.push_back(kScenarios / n);
        fs::create_directories((copies / "checkout" / n).parent_path());
        fs::copy_file(kScenarios / n, copies / "checkout" / n);
        there.push_back(copies / "checkout" / n);
    }
    std::reverse(there.begin(), there.end());
    Analysis first, second;
    analyze(here, first);
    analyze(there, second);
    EXPECT_EQ(first.found.size(), 5u);
    EXPECT_EQ(fingerprints(first), fingerprints(second));
    fs::remove_all(copies);
}

TEST(Findings, ASizeSeenBeforeKeepsTheFingerprint) {
    Analysis two, three;
    analyze(scenario({"elf/s07_sizes_a.o", "elf/s07_sizes_b.o"}), two);
    // Another module declaring a size already seen changes the message, not the finding.
    const fs::path copy = fs::temp_directory_path() / "s07_sizes_c.o";
    fs::copy_file(kScenarios / "elf/s07_sizes_b.o", copy, fs::copy_options::overwrite_existing);
    analyze({kScenarios / "elf/s07_sizes_a.o", kScenarios / "elf/s07_sizes_b.o", copy}, three);
    ASSERT_EQ(two.found.size(), 1u);
    ASSERT_EQ(three.found.size(), 1u);
    EXPECT_EQ(two.found[0].fingerprint, three.found[0].fingerprint);
    EXPECT_NE(two.found[0].message, three.found[0].message);
    fs::remove(copy);
}

TEST(Findings, BlocksAsFortranNamesThem) {
    const std::vector<std::pair<const char*, const char*>> cases = {{"_system_", "/SYSTEM/"},
                                                                    {"system_", "/SYSTEM/"},
                                                                    {"__BLNK__", "blank COMMON"},
                                                                    {"___BLNK__", "blank COMMON"},
                                                                    {"_BLNK__", "blank COMMON"},
                                                                    {"counter", "/counter/"},
                                                                    {"a_b_", "/A_B/"},
                                                                    {"_", "/_/"},
                                                                    {"x__", "/x__/"}};
    for (const auto& [symbol, name] : cases) EXPECT_EQ(fortran_block_name(symbol), name) << symbol;
}

}  // namespace
}  // namespace quorv::findings
