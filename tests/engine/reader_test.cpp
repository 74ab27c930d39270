// The object module reader: headers, section overlaps, string and symbol table loading.
#include <gtest/gtest.h>

#include "engine_harness.h"

namespace quorv {
namespace {

using test::Bytes;
using test::Messages;
using test::ObjectSpec;
using test::Section;

const FileEntry kEntry{"C:\\w\\m.obj", "m.obj", 0};

test::Outcome read(const Bytes& bytes) {
    AnalysisModel model;
    return test::read_module(bytes, model, kEntry);
}

TEST(ReaderHeader, ChecksThatOnlyWarn) {
    struct Case {
        const char* what;
        std::uint16_t machine;
        std::uint32_t stamp;
        Messages messages;
    };
    const std::vector<Case> cases = {
        {"i386", 0x14C, 0, {}},
        {"unknown machine 0", 0x0000, 0x7FFFFFFF, {}},
        {"x64", 0x8664, 0, {"Error - bad file header machine value\n"}},
        {"negative stamp", 0x14C, 0xFFFFFFFF, {"Error - bad file header time stamp\n"}},
        {"both",
         0x1234,
         0x80000000,
         {"Error - bad file header time stamp\n", "Error - bad file header machine value\n"}},
    };
    for (const Case& c : cases) {
        ObjectSpec plan;
        plan.machine = c.machine;
        plan.time_date_stamp = c.stamp;
        const auto out = read(make_object(plan));
        EXPECT_EQ(out.messages, c.messages) << c.what;
        EXPECT_EQ(out.result, 0) << c.what;
    }
}

TEST(ReaderHeader, OptionalHeaderSizesAndSubsystem) {
    const std::string could_not = "Could not process optional header (file C:\\w\\m.obj)";
    struct Case {
        std::uint16_t size;
        std::uint16_t subsystem;
        int result;
        Messages messages;
    };
    const std::vector<Case> cases = {
        {28, 0, 0, {}},
        {224, 3, 0, {}},
        {224, 7, 0, {}},
        {224, 4, 0, {"QUORV Internal: bad optional header subsystem value\n"}},
        {224, 8, 0, {"QUORV Internal: bad optional header subsystem value\n"}},
        {96, 0, 1, {"QUORV Internal: bad optional header size of 96 (expecting 28 or 224)\n", could_not}},
    };
    for (const Case& c : cases) {
        ObjectSpec plan;
        plan.optional_header_size = c.size;
        plan.optional_header.resize(c.size);
        if (c.size >= 70) test::put16(plan.optional_header, 68, c.subsystem);
        const auto out = read(make_object(plan));
        EXPECT_EQ(out.result, c.result) << c.size;
        EXPECT_EQ(out.messages, c.messages) << c.size;
    }
}

TEST(ReaderHeader, TruncationsEndTheModuleWithTheCallersMessage) {
    ObjectSpec plan;
    plan.optional_header_size = 28;
    plan.sections = {Section{}};
    const Bytes whole = make_object(plan);
    struct Case {
        std::size_t keep;
        Messages messages;
    };
    const std::vector<Case> cases = {
        {0,
         {"QUORV Internal: fread returned 0 bytes (20 expected). [process_file_header]",
          "Error reading file header\n"}},
        {19,
         {"QUORV Internal: fread returned 19 bytes (20 expected). [process_file_header]",
          "Error reading file header\n"}},
        {30,
         {"QUORV Internal: fread returned 10 bytes (28 expected). [process_opt_header]",
          "QUORV Internal:  error reading optional header\n", "Could not process optional header (file C:\\w\\m.obj)"}},
        {48 + 39,
         {"QUORV Internal: fread returned 39 bytes (40 expected). [analyze]", "Error reading section headers\n"}},
    };
    for (const Case& c : cases) {
        const auto out = read(Bytes(whole.begin(), whole.begin() + c.keep));
        EXPECT_EQ(out.result, 1) << c.keep;
        EXPECT_EQ(out.messages, c.messages) << c.keep;
    }
}

TEST(ReaderStream, StickyErrorIndicatorFailsEveryLaterRead) {
    const Bytes bytes(64, 0x41);
    MemoryStream stream(bytes, MemoryStream::Fault::Error, 1);
    CollectingSink sink;
    const Diagnostics diagnostics(sink);
    std::uint8_t buffer[8];
    EXPECT_EQ(checked_read(diagnostics, stream, 2, buffer, "first"), 0u);
    ASSERT_TRUE(seek_to(stream, 8));
    EXPECT_EQ(checked_read(diagnostics, stream, 8, buffer, "second"), 0u);  // the bytes come, the read fails
    EXPECT_EQ(stream.tell(), 16u);
    EXPECT_EQ(sink.messages,
              (Messages{"QUORV Internal: fread failed in first", "QUORV Internal: fread failed in second"}));
}

TEST(ReaderStream, PositioningRules) {
    const Bytes bytes(16, 0);
    MemoryStream stream(bytes);
    EXPECT_TRUE(seek_to(stream, 100));  // beyond the end: allowed, the read comes up short
    EXPECT_FALSE(seek_to(stream, 0x80000000));
    EXPECT_EQ(stream.tell(), 100u);
    CollectingSink sink;
    const Diagnostics diagnostics(sink);
    std::uint8_t buffer[4];
    EXPECT_EQ(checked_read(diagnostics, stream, 4, buffer, "x"), 0u);
    EXPECT_EQ(sink.messages, (Messages{"QUORV Internal: fread returned 0 bytes (4 expected). [x]"}));
}

TEST(ReaderStringTable, EveryOutcomeOfTheSizeField) {
    struct Case {
        std::int64_t size;
        int result;
        Messages messages;
    };
    const std::vector<Case> cases = {
        {0, 0, {}},
        {4, 0, {}},
        {1, 1, {"Bad string table size\n"}},
        {3, 1, {"Bad string table size\n"}},
        {5, 1, {"QUORV Internal: fread returned 0 bytes (1 expected). [analyze]", "Read of string table failed\n"}},
        // A size of 2^32 - 1 on a tiny file: the read comes up short, memory stays small.
        {0xFFFFFFFF,
         1,
         {"QUORV Internal: fread returned 0 bytes (4294967291 expected). [analyze]", "Read of string table failed\n"}},
    };
    for (const Case& c : cases) {
        ObjectSpec plan;
        plan.symbols = {test::common("_blk_", 8)};
        plan.string_table_size_override = c.size;
        AnalysisModel model;
        const auto out = test::read_module(make_object(plan), model, kEntry);
        EXPECT_EQ(out.result, c.result) << c.size;
        EXPECT_EQ(out.messages, c.messages) << c.size;
        // The scan runs in every case.
        EXPECT_NE(model.find_block("_blk_"), nullptr) << c.size;
    }
}

TEST(ReaderStringTable, MissingSizeFieldAndUnreachablePosition) {
    ObjectSpec plan;
    plan.symbols = {test::common("_a_", 4)};
    Bytes bytes = make_object(plan);
    bytes.resize(bytes.size() - 4);
    auto out = read(bytes);
    EXPECT_EQ(out.messages, (Messages{"QUORV Internal: fread returned 0 bytes (4 expected). [analyze]",
                                      "Error reading string table size\n"}));
    EXPECT_EQ(out.result, 1);

    // A symbol table pointer near 2^31: the string table position is unreachable, and so is
    // the symbol table.
    bytes = make_object(plan);
    test::put32(bytes, 8, 0x7FFFFFF0);
    out = read(bytes);
    EXPECT_EQ(out.messages, (Messages{"Error seeking to start of string table at file address 80000002\n",
                                      "QUORV Internal: fread returned 0 bytes (18 expected). [analyze]",
                                      "Error reading symbol table\n"}));
    EXPECT_EQ(out.result, 1);
}

TEST(ReaderSymbolTable, PointerZeroMeansNoTablesAndNoMessage) {
    ObjectSpec plan;
    plan.symbols = {test::common("_a_", 4)};
    Bytes bytes = make_object(plan);
    test::put32(bytes, 8, 0);
    AnalysisModel model;
    const auto out = test::read_module(bytes, model, kEntry);
    EXPECT_EQ(out.result, 0);
    EXPECT_TRUE(out.messages.empty());
    EXPECT_TRUE(model.block_list().empty());
}

TEST(ReaderSymbolTable, HugeCountsNeverWrapOrAllocateFromTheDeclaredCount) {
    struct Case {
        std::uint32_t count;
        Messages messages;
    };
    const std::vector<Case> cases = {
        // 18 x 0x0E38E38F wraps to 2 in 32 bits; in 64 bits it is reported in full.
        {0x0E38E38F, {"\nError: Unable to allocate 4294967310 byte buffer to hold symbol table\n"}},
        {0xFFFFFFFF, {"\nError: Unable to allocate 77309411310 byte buffer to hold symbol table\n"}},
        {0x0E38E38E,
         {"QUORV Internal: fread returned 40 bytes (4294967292 expected). [analyze]", "Error reading symbol table\n"}},
    };
    for (const Case& c : cases) {
        ObjectSpec plan;
        plan.symbols = {test::common("_a_", 4), test::common("_b_", 4)};
        plan.number_of_symbols_override = c.count;
        AnalysisModel model;
        auto out = test::read_module(make_object(plan), model, kEntry);
        EXPECT_EQ(out.result, 1);
        // The string table position wraps into the file; only the symbol table's messages matter.
        ASSERT_GE(out.messages.size(), c.messages.size());
        out.messages.erase(out.messages.begin(), out.messages.end() - static_cast<std::ptrdiff_t>(c.messages.size()));
        EXPECT_EQ(out.messages, c.messages) << c.count;
        EXPECT_TRUE(model.block_list().empty());
    }
}

TEST(ReaderOverlap, RangesOverlapBoundaries) {
    struct Case {
        std::uint32_t s1, l1, s2, l2;
        bool overlap;
    };
    const std::vector<Case> cases = {
        {100, 10, 110, 10, false},  // touching
        {100, 11, 110, 10, true},   // one shared byte
        {110, 10, 100, 11, true},
        {100, 50, 110, 5, true},  // second inside first
        {110, 5, 100, 50, true},  // first inside second
        {0, 50, 10, 5, false},    // starts at 0: absent
        {10, 0, 10, 5, false},    // empty
        {10, 5, 0, 5, false},
        // Wraps past 2^32 (end 0x0F): the three tests compare the plain values, so a wrapped
        // region is not seen to cover 5..9, from either side.
        {0xFFFFFFF0, 0x20, 5, 5, false},
        {5, 5, 0xFFFFFFF0, 0x20, false},
        {200, 1, 200, 1, true},
    };
    for (const Case& c : cases)
        EXPECT_EQ(ranges_overlap(c.s1, c.l1, c.s2, c.l2), c.overlap)
            << c.s1 << "+" << c.l1 << " vs " << c.s2 << "+" << c.l2;
}

TEST(ReaderOverlap, NineTestsInOrderWithHexSectionNumbers) {
    // Section 10 (a) has every region at 1000; section 11 (b) the same: all nine tests hit.
    std::vector<SectionRegions> sections(11);
    sections[9] = {{1000, 10}, {1000, 10}, {1000, 6}};
    sections[10] = {{1005, 10}, {1005, 10}, {1005, 6}};
    CollectingSink sink;
    check_all_section_pairs(Diagnostics(sink), sections);
    EXPECT_EQ(sink.messages, (Messages{"Object Format Error: Raw data overlap between sections a and b\n",
                                       "Object Format Error: Section a raw data overlaps section b relocations\n",
                                       "Object Format Error: Section a raw data overlaps section b line numbers\n",
                                       "Object Format Error: Section a relocations overlap section b raw data\n",
                                       "Object Format Error: Relocations overlap for sections a and b\n",
                                       "Object Format Error: Section a relocations overlap section b line numbers\n",
                                       "Object Format Error: Section a line numbers overlap section b raw data\n",
                                       "Object Format Error: Section a line numbers overlap section b relocations\n",
                                       "Object Format Error: Line numbers overlap for sections a and b\n"}));
}

TEST(ReaderOverlap, RawDataSharingBytesInAModuleOnlyWarns) {
    ObjectSpec plan;
    plan.sections = {Section{16, 200}, Section{16, 215}, Section{8, 0}, Section{8, 0}};
    plan.sections[2].relocation_pointer = 300;
    plan.sections[2].relocations = 1;
    plan.sections[3].relocation_pointer = 305;
    plan.sections[3].relocations = 1;
    const auto out = read(make_object(plan));
    EXPECT_EQ(out.result, 0);
    EXPECT_EQ(out.messages, (Messages{"Object Format Error: Raw data overlap between sections 1 and 2\n",
                                      "Object Format Error: Relocations overlap for sections 3 and 4\n"}));
}

}  // namespace
}  // namespace quorv
