// The findings of the blocks' layouts on real gfortran -g objects (ELF of four targets, COFF
// of two): an overlay of one size is a conflict, shorter views and trailing padding are
// notes, and a module without debug information keeps the size finding.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "analysis.h"

namespace quorv::findings {
namespace {

namespace fs = std::filesystem;

const fs::path kDwarf = fs::path(QUORV_TEST_DATA_DIR) / "dwarf";
// rule, source file's name and line, message; the notes on x86-64 COFF's machine value aside.
std::vector<std::vector<std::string>> seen(const Analysis& run) {
    std::vector<std::vector<std::string>> out;
    for (const Finding& f : run.found)
        if (f.rule->id != "input-note")
            out.push_back({std::string(f.rule->id),
                           fs::path(f.source_file).filename().string() + ":" + std::to_string(f.source_line),
                           f.message});
    return out;
}

TEST(LayoutFindings, OnRealObjectsOfEveryProducer) {
    struct Case {
        const char* story;
        std::vector<const char*> files;  // under each producer's folder
        std::vector<std::vector<std::string>> expected;
        std::vector<std::string> also_on_i386 = {};  // where the two sizes differ there
    };
    const std::vector<Case> cases = {
        {"one size, two layouts: two INTEGER*4 over one REAL*8",
         {"overlay_a", "overlay_b"},
         {{"common-layout-mismatch", "overlay_a.f:4",
           "COMMON block /C/ has conflicting layouts: at byte 0, i integer(kind=4) in overlay_a.X (overlay_a.f:4) "
           "but x real(kind=8) in overlay_b.X (overlay_b.f:4)"}}},
        {"a shorter view",
         {"prefix_a", "prefix_b"},
         {{"common-prefix-view", "prefix_a.f:3",
           "COMMON block /P/ is declared with 80 bytes in prefix_a.X and shorter in 1 more, with the same members "
           "wherever they overlap"}}},
        {"REAL against DOUBLE PRECISION twins",
         {"rd_a", "rd_b"},
         {{"common-layout-mismatch", "rd_b.f:4",
           "COMMON block /RD/ has conflicting layouts: at byte 0, d real(kind=8)(1:2) in rd_b.X (rd_b.f:4) but "
           "r real(kind=4)(1:4) in rd_a.X (rd_a.f:4)"}}},
        {"fourteen million elements against a one-element view",
         {"big_a", "big_b"},
         {{"common-prefix-view", "big_a.f:4",
           "COMMON block /BIG/ is declared with 56000000 bytes in big_a.X and shorter in 1 more, with the same members "
           "wherever they overlap"}}},
        // -fno-align-commons leaves D at 4 where the default puts it at 8: the two read D from
        // different bytes.
        {"D aligned in one routine and not in the other",
         {"pad", "pad_noalign"},
         {{"common-layout-mismatch", "pad.f:6",
           "COMMON block /PD/ has conflicting layouts: at byte 8, d real(kind=8) in pad_noalign.X (pad.f:6) but "
           "d real(kind=8) in pad.X (pad.f:6)"}},
         // Only i386 leaves the unaligned block at 12 bytes; a conflict keeps the size finding.
         {"common-size-mismatch", "pad.f:6",
          "COMMON block /PD/ is declared with different sizes: 16 bytes in pad.X, 12 bytes in pad_noalign.X"}},
        {"EQUIVALENCE, and two views in two routines of one file", {"equiv", "twoviews"}, {}},
        {"blank COMMON of two sizes", {"blank_a", "blank_b"}, {}},
    };
    for (const char* producer : {"gf64", "gf32", "mingw32", "mingw64", "ppc32", "s390x"}) {
        const bool coff = std::string_view(producer).starts_with("mingw");
        for (const Case& c : cases) {
            std::vector<fs::path> files;
            for (const char* f : c.files)
                files.push_back(kDwarf / producer / (std::string(f) + (coff ? ".obj" : ".o")));
            Analysis run;
            analyze(files, run);
            auto expected = c.expected;
            if (!c.also_on_i386.empty() && std::string_view(producer) == "gf32") expected.push_back(c.also_on_i386);
            for (auto& e : expected)
                for (std::size_t at = e[2].find(".X"); at != std::string::npos; at = e[2].find(".X", at))
                    e[2].replace(at, 2, coff ? ".obj" : ".o");
            EXPECT_EQ(seen(run), expected) << producer << ": " << c.story;
        }
    }
}

TEST(LayoutFindings, TrailingPaddingIsAShorterView) {
    // /MIXB/ is 40 bytes on x86-64 and 36 on i386: the same members, padded to 8 on one.
    Analysis run;
    analyze({kDwarf / "gf64/chars.o", kDwarf / "gf32/chars.o"}, run);
    ASSERT_EQ(run.found.size(), 1u);
    EXPECT_EQ(run.found[0].rule->id, "common-prefix-view");
    EXPECT_EQ(run.found[0].block, "mixb_");
}

TEST(LayoutFindings, AModuleWithoutLayoutsKeepsTheSizeFinding) {
    // prefix_b.o without its debug information: /P/ differs in size and one side is unknown.
    // Both objects sit in one directory, so which is first by path never hangs on where the tree is.
    const fs::path dir = fs::temp_directory_path() / "quorv_layoutless";
    fs::remove_all(dir);
    fs::create_directories(dir);
    const fs::path stripped = dir / "1_prefix_b.o";
    const fs::path with_debug = dir / "2_prefix_a.o";
    fs::copy_file(kDwarf / "gf64/prefix_a.o", with_debug);
    const std::string command =
        "objcopy --strip-debug " + (kDwarf / "gf64/prefix_b.o").string() + " " + stripped.string();
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    for (const bool stripped_first : {true, false}) {
        Analysis run;
        analyze(stripped_first ? std::vector{stripped, with_debug} : std::vector{with_debug, stripped}, run);
        ASSERT_EQ(run.found.size(), 1u);
        EXPECT_EQ(run.found[0].rule->id, "common-size-mismatch");
        // Its module, the first by path, has no layout: it points at the object, not a source line.
        EXPECT_TRUE(run.found[0].source_file.empty()) << stripped_first;
        EXPECT_EQ(finding_path(run.found[0]), stripped.string()) << stripped_first;
    }
    fs::remove_all(dir);
}

TEST(LayoutFindings, DamagedDebugInformationIsANoteAndNothingElse) {
    std::ifstream in(kDwarf / "gf64/overlay_a.o", std::ios::binary);
    std::string bytes((std::istreambuf_iterator<char>(in)), {});
    // The object has an abbreviation table; its unit's first DIE gets a code the table lacks.
    const std::size_t abbrev = bytes.find(".debug_abbrev");
    ASSERT_NE(abbrev, std::string::npos);
    const fs::path damaged = fs::temp_directory_path() / "quorv_overlay_a_damaged.o";
    Analysis whole;
    analyze({kDwarf / "gf64/overlay_a.o"}, whole);
    ASSERT_TRUE(whole.found.empty());
    // The unit is found by its header; the first DIE's code follows the 12-byte DWARF 5 header,
    // 8 bytes after the version.
    const std::string header("\x05\x00\x01\x08", 4);  // version 5, DW_UT_compile, address size 8
    const std::size_t unit = bytes.find(header);
    ASSERT_NE(unit, std::string::npos);
    bytes[unit + 8] = static_cast<char>(0x7F);
    std::ofstream(damaged, std::ios::binary).write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    Analysis run;
    analyze({damaged, kDwarf / "gf64/overlay_b.o"}, run);
    EXPECT_TRUE(run.sink.messages.empty());
    ASSERT_EQ(run.found.size(), 1u);
    EXPECT_EQ(run.found[0].rule->id, "debug-info-unreadable");
    EXPECT_EQ(run.found[0].rule->level, Level::Note);
    EXPECT_NE(run.found[0].message.find("The debug information of quorv_overlay_a_damaged.o cannot be read: "),
              std::string::npos);
    fs::remove(damaged);
}

}  // namespace
}  // namespace quorv::findings
