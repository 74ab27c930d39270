// The faults that other COFF and archive readers shipped, one crafted input each: what the
// engine reports for it, and that reading it holds memory in proportion to the input, never
// to a count the file declares.
#include <gtest/gtest.h>

#include "hostile_inputs.h"

namespace quorv::hostile {
namespace {

using Messages = std::vector<std::string>;
using test::ObjectSpec;
using test::Symbol;

struct Case {
    const char* what;
    Bytes input;
    int result;
    Messages messages;
};

Messages messages_of(const Bytes& input, int& result) {
    static const FileEntry entry{"C:\\hostile\\input.lib", "input.lib", 0};
    CollectingSink sink;
    AnalysisModel model;
    RunContext run(sink, model);
    MemoryStream stream(input);
    result = analyze_input(stream, entry, run);
    return sink.messages;
}

void expect_cases(const std::vector<Case>& cases) {
    for (const Case& c : cases) {
        int result = -1;
        EXPECT_EQ(messages_of(c.input, result), c.messages) << c.what;
        EXPECT_EQ(result, c.result) << c.what;
        EXPECT_TRUE(examined_safely(examine(c.input), c.input.size())) << c.what;
    }
}

Bytes object(std::vector<Symbol> symbols, std::size_t sections = 1) {
    ObjectSpec plan;
    plan.sections.resize(sections);
    plan.symbols = std::move(symbols);
    return make_object(plan);
}

Bytes with_u32(Bytes b, std::size_t at, std::uint32_t v) {
    test::put32(b, at, v);
    return b;
}
Bytes with_u16(Bytes b, std::size_t at, std::uint16_t v) {
    test::put16(b, at, v);
    return b;
}

const std::string kShort = "QUORV Internal: fread returned ";

TEST(Checklist, ObjectTablesSizedByDeclaredCounts) {
    // One section, one record "_x_" (COMMON, 4 bytes): header 20, section 40, symbols at 60.
    const Bytes one = object({test::common("_x_", 4)});
    ASSERT_EQ(one.size(), 60u + 18 + 4);
    expect_cases({
        {"NumberOfSymbols x 18 wraps to 14 in 32 bits: the string table size is taken from the "
         "record's last bytes, the symbol table is too large to hold",
         with_u32(one, 12, 0x0E38E38F),
         1,
         {kShort + "4 bytes (131068 expected). [analyze]", "Read of string table failed\n",
          "\nError: Unable to allocate 4294967310 byte buffer to hold symbol table\n"}},
        {"NumberOfSymbols x 18 just below 2^32: the string table position wraps to the last "
         "bytes of the section header (size 0), the symbol table is read from what the file holds",
         with_u32(one, 12, 0x0E38E38E),
         1,
         {kShort + "22 bytes (4294967292 expected). [analyze]", "Error reading symbol table\n"}},
        {"string table size 2^32 - 16 on a file of 82 bytes",
         with_u32(one, 78, 0xFFFFFFF0),
         1,
         {kShort + "0 bytes (4294967276 expected). [analyze]", "Read of string table failed\n"}},
        {"NumberOfSections 65535 with one section header present",
         with_u16(one, 2, 0xFFFF),
         1,
         {kShort + "62 bytes (2621400 expected). [analyze]", "Error reading section headers\n"}},
        {"PointerToSymbolTable at 2^31: positioning fails, nothing is read",
         with_u32(one, 8, 0x80000000),
         1,
         {"Error seeking to start of string table at file address 80000012\n", "Error seeking to symbol table\n"}},
        {"PointerToSymbolTable past the end: the reads come up short",
         with_u32(one, 8, 0x7FFFFF00),
         1,
         {kShort + "0 bytes (4 expected). [analyze]", "Error reading string table size\n",
          kShort + "0 bytes (18 expected). [analyze]", "Error reading symbol table\n"}},
    });
}

TEST(Checklist, SymbolRecordsThatPointOutside) {
    Symbol unterminated{"_name_without_end_", 4, 0, 0, 2, 0, true};
    Bytes cut = object({unterminated});
    test::put32(cut, 78, 4 + 6);  // the table keeps "_name_" and no zero byte
    Symbol aux = test::common("_aux_", 4);
    aux.aux = 255;
    expect_cases({
        {"section numbers far above and below the table",
         object({test::function("_f_", 0x7FFF), test::function("_g_", -32768), test::common("_c_", 8)}),
         1,
         {"Error: Section number is out of range\n", "Error: Section number is out of range\n"}},
        {"an aux count running 255 records past the end",
         object({aux}),
         1,
         {"Error:  Aux symbol count overflows symbol table\n"}},
        {"a long name running to the end of its table", cut, 0, {}},
        {"long-name offsets before, at and far past the table",
         object({Symbol{"", 4, 0, 0, 2, 0, false, 3}, Symbol{"", 4, 0, 0, 2, 0, false, 4},
                 Symbol{"", 4, 0, 0, 2, 0, false, 0xFFFFFFFF}}),
         1,
         {"QUORV Internal: name offset        3 is outside string table",
          "QUORV Internal: name offset        4 is outside string table",
          "QUORV Internal: name offset ffffffff is outside string table"}},
    });
}

TEST(Checklist, ArchiveCountsAndOffsetsOutsideTheFile) {
    const Bytes member = object({test::common("_m_", 4)});
    const Bytes lib = test::make_archive({{"m.obj/", member}});
    // "!<arch>\n", a 60-byte header, S = 1, one offset, "_sym\0", a pad byte, 60 bytes.
    const std::size_t count_at = 8 + 60 + 4 + 4 + 5 + 1 + 60;
    const std::size_t offset_at = count_at + 4;
    expect_cases({
        {"first linker member with 2^32 - 1 names",
         [&] {
             Bytes b = lib;
             test::put32be(b, 68, 0xFFFFFFFF);
             return b;
         }(),
         1,
         {kShort + "0 bytes (1 expected). [analyze]", kShort + "0 bytes (4 expected). [analyze]",
          "Error reading number of members in library\n"}},
        {"member count 2^32 - 1: offsets are read until the file ends",
         with_u32(lib, count_at, 0xFFFFFFFF),
         1,
         {kShort + "2 bytes (4 expected). [analyze]", "Error reading library members"}},
        {"member offset past the end",
         with_u32(lib, offset_at, 0x7FFFFF00),
         1,
         {kShort + "0 bytes (60 expected). [analyze]", kShort + "0 bytes (20 expected). [process_file_header]",
          "Error reading file header\n"}},
        {"member offset at 2^31: positioning fails, the header and the module are read where the "
         "stream stands, and every table position past the base fails to position",
         with_u32(lib, offset_at, 0x80000000),
         1,
         {"Error seeking to start of string table at file address 8000008a\n", "Error seeking to symbol table\n"}},
        {"long-name member header naming an offset far outside the long names",
         test::make_archive({{"/4294967295", member}}),
         0,
         {}},
    });
}

}  // namespace
}  // namespace quorv::hostile
