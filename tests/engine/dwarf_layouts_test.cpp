// The layouts of the real objects of tests/data/dwarf, read through the ELF and COFF readers'
// DebugInput, held against what the dump tools said (expected/*.json), and the comparisons
// the issue names, on every producer's objects.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <nlohmann/json.hpp>
#include <string>
#include <tuple>
#include <vector>

#include "engine/diagnostics.h"
#include "engine/dwarf/common_layouts.h"
#include "engine/elf_reader.h"
#include "engine/input_stream.h"
#include "engine/object_reader.h"

namespace quorv {
namespace {

namespace fs = std::filesystem;
using dwarf::CommonLayout;
using dwarf::Compatibility;
using nlohmann::json;

const fs::path kDwarfData = fs::path(QUORV_TEST_DATA_DIR) / "dwarf";
const char* const kProducers[] = {"gf64", "gf32", "mingw32", "mingw64", "ppc32", "s390x"};

// One object read by its format's reader; the DebugInput points into bytes and the working set.
struct Module {
    std::vector<std::uint8_t> bytes;
    ElfWorkingSet elf;
    ModuleWorkingSet coff;
    bool is_elf = false;

    const dwarf::DebugInput& debug() const { return is_elf ? elf.debug : coff.debug; }
};

std::unique_ptr<Module> load(const fs::path& path) {
    auto m = std::make_unique<Module>();
    std::ifstream in(path, std::ios::binary);
    m->bytes.assign(std::istreambuf_iterator<char>(in), {});
    CollectingSink sink;
    const Diagnostics diagnostics(sink);
    MemoryStream stream(m->bytes);
    const FileEntry entry{path.string(), path.filename().string(), 0};
    m->is_elf = m->bytes.size() > 4 && m->bytes[0] == 0x7F && m->bytes[1] == 'E';
    const int result = m->is_elf ? read_elf_module(diagnostics, stream, entry, 0, m->bytes.size(), m->elf)
                                 : read_object_module(diagnostics, stream, entry, 0, m->coff);
    EXPECT_EQ(result, 0) << path;
    return m;
}

std::vector<CommonLayout> layouts_of(const fs::path& object) {
    const auto m = load(object);
    std::vector<CommonLayout> out;
    std::string reason;
    std::vector<std::string> dropped;
    EXPECT_TRUE(dwarf::read_common_layouts(m->debug(), out, reason, &dropped)) << object << ": " << reason;
    EXPECT_EQ(reason, "");
    EXPECT_EQ(dropped, std::vector<std::string>{});
    return out;
}

json as_expected_json(const std::vector<CommonLayout>& layouts) {
    json out = json::array();
    for (const CommonLayout& l : layouts) {
        json members = json::array();
        for (const dwarf::Member& m : l.members)
            members.push_back({{"name", m.name}, {"offset", m.offset}, {"size", m.size}, {"type", m.type}});
        out.push_back({{"block", l.block},
                       {"symbol", l.symbol},
                       {"decl_file", fs::path(l.file).filename().string()},
                       {"decl_line", l.line},
                       {"subprogram", l.subprogram},
                       {"members", members}});
    }
    return out;
}

TEST(DwarfLayouts, EveryObjectGivesTheLayoutsTheDumpersShow) {
    int files = 0;
    for (const auto& e : fs::recursive_directory_iterator(kDwarfData / "expected")) {
        if (e.path().extension() != ".json") continue;
        std::ifstream in(e.path());
        const json expected = json::parse(in);
        const fs::path object = kDwarfData / expected["file"].get<std::string>();
        SCOPED_TRACE(object.string());
        const std::vector<CommonLayout> layouts = layouts_of(object);
        EXPECT_EQ(as_expected_json(layouts), expected["layouts"]);
        // Only EQUIVALENCE makes a layout's own slots overlap.
        for (const CommonLayout& l : layouts) EXPECT_EQ(l.aliased, l.block == "eq") << l.block;
        ++files;
    }
    EXPECT_EQ(files, 108);
}

// Each object of every producer read alone, and then all of them through one scratch and one
// pool (as a run reads them), in one order and the other: each gives the same layouts, the
// same sources and the same dropped ones, and a layout two objects have is pooled once.
TEST(DwarfLayouts, ObjectsReadAsARunGiveWhatEachGivesAlone) {
    std::vector<fs::path> objects;
    for (const char* producer : {"gf64", "gf32", "mingw32", "mingw64", "ppc32", "s390x", "flang"})
        for (const auto& e : fs::directory_iterator(kDwarfData / producer)) objects.push_back(e.path());
    std::sort(objects.begin(), objects.end());
    struct Alone {
        std::vector<CommonLayout> layouts;
        std::vector<std::string> dropped;
    };
    std::vector<Alone> alone(objects.size());
    std::vector<const CommonLayout*> distinct;
    for (std::size_t k = 0; k < objects.size(); ++k) {
        const auto m = load(objects[k]);
        std::string reason;
        ASSERT_TRUE(dwarf::read_common_layouts(m->debug(), alone[k].layouts, reason, &alone[k].dropped)) << reason;
        for (const CommonLayout& l : alone[k].layouts)
            if (std::none_of(distinct.begin(), distinct.end(),
                             [&](const CommonLayout* d) { return dwarf::same_layout(*d, l); }))
                distinct.push_back(&l);
    }
    ASSERT_GE(distinct.size(), 30u);  // the producers share many (same block, symbol and members)
    for (const bool reversed : {false, true}) {
        SCOPED_TRACE(reversed ? "reversed" : "in order");
        dwarf::LayoutScratch scratch;
        dwarf::LayoutPool pool;
        for (std::size_t n = 0; n < objects.size(); ++n) {
            const std::size_t k = reversed ? objects.size() - 1 - n : n;
            SCOPED_TRACE(objects[k].string());
            const auto m = load(objects[k]);
            std::vector<dwarf::LayoutRef> refs;
            std::string reason;
            std::vector<std::string> dropped;
            ASSERT_TRUE(dwarf::read_common_layouts(m->debug(), pool, refs, reason, &dropped, scratch)) << reason;
            EXPECT_EQ(dropped, alone[k].dropped);
            ASSERT_EQ(refs.size(), alone[k].layouts.size());
            for (std::size_t i = 0; i < refs.size(); ++i) {
                const CommonLayout& expected = alone[k].layouts[i];
                EXPECT_TRUE(dwarf::same_layout(*refs[i].layout, expected)) << expected.block;
                EXPECT_EQ(std::tie(refs[i].file, refs[i].line, refs[i].subprogram),
                          std::tie(expected.file, expected.line, expected.subprogram));
                // The pooled layout is every module's: the source is each module's own.
                EXPECT_EQ(refs[i].layout->file, "");
                EXPECT_EQ(refs[i].layout->line, 0u);
            }
        }
        EXPECT_EQ(pool.size(), distinct.size());
    }
}

// Relocations read where the object keeps them, decoded, decoded out of order, and split
// between two tables of one section: every object of every producer gives the same layouts,
// sources and dropped ones each way.
TEST(DwarfLayouts, RelocationsInPlaceDecodedUnsortedOrSplitGiveTheSameLayouts) {
    int objects = 0;
    for (const char* producer : kProducers) {
        for (const auto& e : fs::directory_iterator(kDwarfData / producer)) {
            SCOPED_TRACE(e.path().string());
            const auto m = load(e.path());
            const dwarf::DebugInput& given = m->debug();
            if (!given.has_info()) continue;  // BLOCK DATA
            ASSERT_FALSE(given.records[dwarf::kInfo].empty());
            ASSERT_TRUE(given.relocations[dwarf::kInfo].empty());
            dwarf::DebugInput decoded = given;
            decoded.decode_relocations();
            ASSERT_EQ(decoded.relocations[dwarf::kInfo].size(), given.records[dwarf::kInfo].count());
            dwarf::DebugInput unsorted = decoded;
            for (std::vector<dwarf::Relocation>& r : unsorted.relocations) std::reverse(r.begin(), r.end());
            dwarf::DebugInput unsorted_records = given;
            dwarf::DebugInput split = given;
            std::vector<std::vector<std::uint8_t>> reversed_bytes;
            for (int id = 0; id < dwarf::kSectionCount; ++id) {
                const dwarf::RelocationRecords& records = given.records[id];
                if (records.empty()) continue;
                // The same records, last first: read through a sorted copy.
                const std::size_t size = dwarf::RelocationRecords::record_size(records.layout);
                std::vector<std::uint8_t>& bytes = reversed_bytes.emplace_back();
                for (std::size_t k = records.count(); k-- > 0;)
                    bytes.insert(bytes.end(), records.bytes.begin() + k * size, records.bytes.begin() + (k + 1) * size);
                unsorted_records.records[id].bytes = bytes;
                // Two tables: the first is decoded when the second comes.
                const auto whole = static_cast<dwarf::SectionId>(id);
                dwarf::RelocationRecords first = records, second = records;
                first.bytes = records.bytes.first(std::max<std::size_t>(1, records.count() / 2) * size);
                second.bytes = records.bytes.subspan(first.bytes.size());
                split.records[id] = {};
                split.add_relocations(whole, first);
                split.add_relocations(whole, second);
                if (records.count() > 1) {
                    EXPECT_EQ(split.relocations[id].size(), records.count());
                }
            }
            const auto read = [](const dwarf::DebugInput& in, const char* how) {
                std::vector<CommonLayout> layouts;
                std::string reason;
                std::vector<std::string> dropped;
                EXPECT_TRUE(dwarf::read_common_layouts(in, layouts, reason, &dropped)) << how << ": " << reason;
                json out = as_expected_json(layouts);
                out.push_back(dropped);
                return out;
            };
            const json expected = read(given, "in place");
            EXPECT_EQ(read(decoded, "decoded"), expected);
            EXPECT_EQ(read(unsorted, "decoded, unsorted"), expected);
            EXPECT_EQ(read(unsorted_records, "in place, unsorted"), expected);
            EXPECT_EQ(read(split, "two tables"), expected);
            ++objects;
        }
    }
    EXPECT_GE(objects, 100);
}

struct Pair {
    const char* a;
    const char* b;
    Compatibility outcome;
    std::uint64_t byte;  // of the conflict
    const char* member_a;
    const char* member_b;
};

// The first layout of each object; "a" and "b" name the members at the first conflict.
TEST(DwarfLayouts, TheIssuesComparisonsOnEveryProducer) {
    const Pair pairs[] = {
        // /C/ as I, J (INTEGER*4) and as X (REAL*8): one size, overwriting each other.
        {"overlay_a", "overlay_b", Compatibility::Conflicting, 0, "i", "x"},
        // A(10), B(10) and A(10) alone: a shorter view.
        {"prefix_a", "prefix_b", Compatibility::Compatible, 0, "", ""},
        // I, D at 8 and I, D at 4: the latter's D meets padding at 4..7 and then half of the
        // former's D, so the rule finds byte 8.
        {"pad", "pad_noalign", Compatibility::Conflicting, 8, "d", "d"},
        // R(4) REAL*4 and D(2) REAL*8 of 16 bytes each.
        {"rd_a", "rd_b", Compatibility::Conflicting, 0, "r", "d"},
        // W(14000000) and W(1).
        {"big_a", "big_b", Compatibility::Compatible, 0, "", ""},
        // X(5) and Y(8) of blank COMMON.
        {"blank_a", "blank_b", Compatibility::Compatible, 0, "", ""},
    };
    for (const char* producer : kProducers) {
        const std::string suffix = std::string(producer).starts_with("mingw") ? ".obj" : ".o";
        for (const Pair& p : pairs) {
            SCOPED_TRACE(std::string(producer) + " " + p.a + " " + p.b);
            const auto a = layouts_of(kDwarfData / producer / (std::string(p.a) + suffix));
            const auto b = layouts_of(kDwarfData / producer / (std::string(p.b) + suffix));
            ASSERT_EQ(a.size(), 1u);
            ASSERT_EQ(b.size(), 1u);
            const dwarf::Comparison c = dwarf::compare_layouts(a[0], b[0]);
            EXPECT_EQ(c.outcome, p.outcome);
            EXPECT_LE(c.steps, 16u);  // runs, not elements: W(14000000) too
            if (p.outcome != Compatibility::Conflicting) {
                EXPECT_FALSE(dwarf::first_conflict(a[0], b[0]).has_value());
                continue;
            }
            EXPECT_EQ(c.conflict.byte, p.byte);
            EXPECT_EQ(a[0].members[c.conflict.member_a].name, p.member_a);
            EXPECT_EQ(b[0].members[c.conflict.member_b].name, p.member_b);
            // The order of the two sides changes nothing but the sides.
            const auto back = dwarf::first_conflict(b[0], a[0]);
            ASSERT_TRUE(back.has_value());
            EXPECT_EQ(back->byte, p.byte);
            EXPECT_EQ(back->member_a, c.conflict.member_b);
        }
    }
}

TEST(DwarfLayouts, TwoViewsOfOneFileAreTwoCompatibleLayoutsAndEquivalenceIsAliased) {
    for (const char* producer : kProducers) {
        SCOPED_TRACE(producer);
        const std::string suffix = std::string(producer).starts_with("mingw") ? ".obj" : ".o";
        const auto views = layouts_of(kDwarfData / producer / ("twoviews" + suffix));
        ASSERT_EQ(views.size(), 2u);
        EXPECT_FALSE(dwarf::same_layout(views[0], views[1]));
        EXPECT_NE(dwarf::layout_less(views[0], views[1]), dwarf::layout_less(views[1], views[0]));
        EXPECT_EQ(dwarf::compare_layouts(views[0], views[1]).outcome, Compatibility::Compatible);

        const auto equiv = layouts_of(kDwarfData / producer / ("equiv" + suffix));
        ASSERT_EQ(equiv.size(), 1u);
        EXPECT_TRUE(equiv[0].aliased);
        EXPECT_EQ(dwarf::compare_layouts(equiv[0], views[0]).outcome, Compatibility::Undecided);
        EXPECT_FALSE(dwarf::first_conflict(views[0], equiv[0]).has_value());
    }
}

TEST(DwarfLayouts, EveryDwarfVersionAndCompressionGivesTheSameLayouts) {
    const auto plain = layouts_of(kDwarfData / "gf64" / "chars.o");
    ASSERT_EQ(plain.size(), 2u);
    for (const char* variant :
         {"gf64/chars_dwarf2.o", "gf64/chars_dwarf3.o", "gf64/chars_dwarf4.o", "gf64/chars_gz.o"}) {
        SCOPED_TRACE(variant);
        const auto other = layouts_of(kDwarfData / variant);
        ASSERT_EQ(other.size(), plain.size());
        for (std::size_t k = 0; k < plain.size(); ++k) {
            EXPECT_TRUE(dwarf::same_layout(plain[k], other[k]));
            EXPECT_FALSE(dwarf::layout_less(plain[k], other[k]) || dwarf::layout_less(other[k], plain[k]));
        }
    }
}

TEST(DwarfLayouts, SlotsOfCharacterAndStructureMembers) {
    using dwarf::SlotKind;
    using dwarf::SlotRun;
    const auto chars = layouts_of(kDwarfData / "gf64" / "chars.o");
    ASSERT_EQ(chars.size(), 2u);
    EXPECT_EQ(chars[0].runs,
              (std::vector<SlotRun>{{0, 1, SlotKind::Character, 8, 1, 0}, {8, 4, SlotKind::Integer, 1, 4, 1}}));
    EXPECT_EQ(chars[1].runs, (std::vector<SlotRun>{{0, 4, SlotKind::Integer, 1, 4, 0},
                                                   {8, 8, SlotKind::Real, 3, 8, 1},
                                                   {32, 4, SlotKind::Logical, 1, 4, 2}}));
    const auto seq = layouts_of(kDwarfData / "gf32" / "seqtype.o");
    ASSERT_EQ(seq.size(), 1u);
    EXPECT_EQ(seq[0].runs, (std::vector<SlotRun>{{0, 4, SlotKind::Integer, 1, 4, 0},
                                                 {4, 4, SlotKind::Integer, 1, 4, 1},
                                                 {8, 8, SlotKind::Real, 2, 8, 1}}));
}

}  // namespace
}  // namespace quorv
