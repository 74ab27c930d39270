// The reader on damaged real objects: every truncation of their debug sections and random
// byte flips give a reason or layouts that hold together, never a crash or a read out of
// bounds (this file is the one the sanitizer build exists for).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <random>
#include <string>
#include <vector>

#include "engine/diagnostics.h"
#include "engine/dwarf/common_layouts.h"
#include "engine/elf_reader.h"
#include "engine/input_stream.h"
#include "engine/object_reader.h"

namespace quorv::dwarf {
namespace {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

const fs::path kDwarfData = fs::path(QUORV_TEST_DATA_DIR) / "dwarf";

// REL and RELA, both byte orders, COFF, DWARF 2, compressed sections.
const char* const kObjects[] = {"gf64/chars.o",        "gf32/seqtype.o",    "s390x/twoviews.o",
                                "ppc32/equiv.o",       "mingw64/chars.obj", "mingw32/pad.obj",
                                "gf64/chars_dwarf2.o", "gf64/chars_gz.o",   "gf32/chars_gz.o"};

struct Module {
    Bytes bytes;
    ElfWorkingSet elf;
    ModuleWorkingSet coff;
    DebugInput debug;
};

std::unique_ptr<Module> load(const char* name) {
    auto m = std::make_unique<Module>();
    std::ifstream in(kDwarfData / name, std::ios::binary);
    m->bytes.assign(std::istreambuf_iterator<char>(in), {});
    CollectingSink sink;
    const Diagnostics diagnostics(sink);
    MemoryStream stream(m->bytes);
    const FileEntry entry{name, name, 0};
    if (m->bytes[0] == 0x7F) {
        EXPECT_EQ(read_elf_module(diagnostics, stream, entry, 0, m->bytes.size(), m->elf), 0);
        m->debug = m->elf.debug;
    } else {
        EXPECT_EQ(read_object_module(diagnostics, stream, entry, 0, m->coff), 0);
        m->debug = m->coff.debug;
    }
    return m;
}

// The layouts hold together, and every pair of them compares.
void check(const DebugInput& in, bool must_fail, const std::string& trace) {
    std::vector<CommonLayout> layouts;
    std::string reason;
    const bool ok = read_common_layouts(in, layouts, reason);
    ASSERT_EQ(ok, reason.empty()) << trace;
    if (must_fail) {
        EXPECT_FALSE(ok) << trace;
    }
    for (const CommonLayout& l : layouts) {
        EXPECT_FALSE(l.members.empty()) << trace;
        EXPECT_TRUE(std::is_sorted(l.runs.begin(), l.runs.end(), [](const SlotRun& a, const SlotRun& b) {
            return a.offset < b.offset;
        })) << trace;
        for (const SlotRun& r : l.runs) {
            ASSERT_LT(r.member, l.members.size()) << trace;
            EXPECT_GE(r.offset, l.members[r.member].offset) << trace;
        }
        for (const CommonLayout& other : layouts) {
            const Comparison c = compare_layouts(l, other);
            if (c.outcome == Compatibility::Conflicting) {
                EXPECT_LT(c.conflict.member_a, l.members.size()) << trace;
                EXPECT_LT(c.conflict.member_b, other.members.size()) << trace;
            }
        }
    }
}

// A cut .debug_info ends inside its unit, and a cut .debug_abbrev before its terminating
// code: both make the module unreadable. Cuts of the strings and line table may not.
TEST(DwarfHostile, EveryTruncationOfEverySection) {
    for (const char* name : kObjects) {
        const auto m = load(name);
        ASSERT_TRUE(m->debug.has_info()) << name;
        for (int id = 0; id < kSectionCount; ++id) {
            const std::span<const std::uint8_t> whole = m->debug.sections[id].bytes;
            for (std::size_t keep = 0; keep < whole.size(); ++keep) {
                DebugInput cut = m->debug;
                cut.sections[id].bytes = whole.first(keep);
                const bool must_fail = (id == kInfo && keep > 0) || id == kAbbrev;
                check(cut, must_fail,
                      std::string(name) + " " + std::string(kSectionNames[id]) + " " + std::to_string(keep));
            }
        }
    }
}

TEST(DwarfHostile, RandomByteFlips) {
    std::mt19937 random(7);
    for (const char* name : kObjects) {
        const auto m = load(name);
        for (const SectionId id : {kInfo, kAbbrev, kStr, kLine, kLineStr}) {
            const std::span<const std::uint8_t> whole = m->debug.sections[id].bytes;
            if (whole.empty()) continue;
            Bytes damaged(whole.begin(), whole.end());
            for (int round = 0; round < 1500; ++round) {
                std::copy(whole.begin(), whole.end(), damaged.begin());
                for (int flips = 1 + static_cast<int>(random() % 4); flips > 0; --flips) {
                    const std::size_t at = random() % damaged.size();
                    damaged[at] =
                        random() % 3 == 0 ? static_cast<std::uint8_t>(random()) : damaged[at] ^ (1u << random() % 8);
                }
                DebugInput in = m->debug;
                in.sections[id].bytes = damaged;
                check(in, false,
                      std::string(name) + " " + std::string(kSectionNames[id]) + " round " + std::to_string(round));
            }
        }
    }
}

TEST(DwarfHostile, RelocationsAndSymbolsOutOfRange) {
    for (const char* name : kObjects) {
        const auto m = load(name);
        std::vector<CommonLayout> plain;
        std::string reason;
        ASSERT_TRUE(read_common_layouts(m->debug, plain, reason)) << name;
        // A table of one COMMON symbol: every member's relocation points past it, every layout drops.
        DebugInput no_symbols = m->debug;
        no_symbols.symbols.assign(1, Symbol{"unrelated_", true});
        std::vector<CommonLayout> layouts;
        std::vector<std::string> dropped;
        EXPECT_TRUE(read_common_layouts(no_symbols, layouts, reason, &dropped)) << name;
        EXPECT_EQ(layouts.size(), 0u) << name;
        EXPECT_GE(dropped.size(), plain.size()) << name;  // a reason per block DIE; alike ones kept once
        // No COMMON symbol: no layout can be placed, so the debug information, damaged or not,
        // is not read at all.
        DebugInput no_common = m->debug;
        for (Symbol& symbol : no_common.symbols) symbol.is_common = false;
        Bytes garbage(m->debug.sections[kInfo].bytes.size(), 0xFF);
        no_common.sections[kInfo].bytes = garbage;
        EXPECT_TRUE(read_common_layouts(no_common, layouts, reason, &dropped)) << name;
        EXPECT_TRUE(layouts.empty() && dropped.empty() && reason.empty()) << name;
        // Relocations shuffled and moved: whatever they mean now, the reading stays in bounds.
        DebugInput moved = m->debug;
        moved.decode_relocations();
        std::mt19937 random(11);
        for (Relocation& r : moved.relocations[kInfo]) {
            r.offset = random() % 2 ? r.offset + random() % 8 : ~std::uint64_t{0} - random() % 8;
            r.addend = random() % 2 ? r.addend : static_cast<std::int64_t>(random()) << 30;
            r.symbol = static_cast<std::uint32_t>(random());
        }
        std::shuffle(moved.relocations[kInfo].begin(), moved.relocations[kInfo].end(), random);
        check(moved, false, std::string(name) + " moved relocations");
        // The same read where the records lie: their bytes flipped at random, so that
        // offsets, symbol indexes, types and addends take any value, in order or not.
        const RelocationRecords& records = m->debug.records[kInfo];
        ASSERT_FALSE(records.empty()) << name;
        Bytes flipped;
        for (int round = 0; round < 200; ++round) {
            flipped.assign(records.bytes.begin(), records.bytes.end());
            for (int flips = 1 + static_cast<int>(random() % 16); flips > 0; --flips)
                flipped[random() % flipped.size()] ^= static_cast<std::uint8_t>(1u << random() % 8);
            DebugInput in = m->debug;
            in.records[kInfo].bytes = flipped;
            check(in, false, std::string(name) + " flipped relocation records, round " + std::to_string(round));
        }
    }
}

}  // namespace
}  // namespace quorv::dwarf
