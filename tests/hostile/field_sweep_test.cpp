// Every count, offset and size field of every real file set, one at a time, to the values
// that broke other readers: 0, 1, the input's size - 1, size and size + 1, and the extremes
// of the field's width. Each variant reads safely, in bounded memory, with only the
// system's own messages.
#include <gtest/gtest.h>

#include <set>

#include "hostile_inputs.h"

namespace quorv::hostile {
namespace {

class EveryField : public ::testing::TestWithParam<fs::path> {};

TEST_P(EveryField, ReadsSafelyWithEachHostileValue) {
    Bytes bytes = file_bytes(GetParam());
    const std::vector<Field> fields = fields_of(bytes);
    std::size_t variants = 0;
    for (const Field& f : fields) {
        const Bytes saved(bytes.begin() + static_cast<std::ptrdiff_t>(f.at),
                          bytes.begin() + static_cast<std::ptrdiff_t>(f.at + (f.decimal_text ? 10 : f.width)));
        for (const std::uint64_t value : sweep_values(f, bytes.size())) {
            write_field(bytes, f, value);
            const Examination e = examine(bytes);
            EXPECT_TRUE(examined_safely(e, bytes.size())) << f.what << " = " << value;
            ++variants;
        }
        std::copy(saved.begin(), saved.end(), bytes.begin() + static_cast<std::ptrdiff_t>(f.at));
    }
    EXPECT_EQ(bytes, file_bytes(GetParam()));
    SUCCEED() << fields.size() << " fields, " << variants << " variants";
}

// The executables have no fields the reader trusts: they are refused by their signatures.
std::vector<fs::path> objects_and_libraries() {
    std::vector<fs::path> out;
    for (const fs::path& p : real_files())
        if (p.parent_path().filename() != "exe") out.push_back(p);
    return out;
}

INSTANTIATE_TEST_SUITE_P(FieldSweep, EveryField, ::testing::ValuesIn(objects_and_libraries()),
                         [](const auto& info) { return test_name_of(info.param); });

// The map of fields covers what the walk and the reader read in each kind of file.
TEST(FieldSweep, FieldMapCoversHeadersSectionsSymbolsAndMembers) {
    const fs::path corpus = QUORV_CORPUS_DIR;
    struct Case {
        const char* file;
        std::vector<std::string> some_fields;
    };
    const std::vector<Case> cases = {
        {"obj/e_long.obj", {"NumberOfSymbols", "section 1 PointerToRawData", "symbol 0 Value", "string table size"}},
        {"obj/g_lines.obj", {"section 1 NumberOfLinenumbers", "section 1 PointerToLinenumbers"}},
        {"lib/h_heat.lib",
         {"first linker member symbol count", "member count", "member 3 offset", "member 3 header name",
          "member 3 header size", "member 3 string table size", "member 0 section 1 SizeOfRawData"}},
        {"lib/i_dupnames.lib", {"member 1 symbol 0 SectionNumber"}},
    };
    for (const Case& c : cases) {
        std::set<std::string> names;
        for (const Field& f : fields_of(file_bytes(corpus / c.file))) names.insert(f.what);
        for (const std::string& want : c.some_fields) EXPECT_TRUE(names.count(want)) << c.file << ": " << want;
    }
    // A long name's offset is a field; a short name's bytes are not.
    std::size_t offsets = 0, records = 0;
    for (const Field& f : fields_of(file_bytes(corpus / "obj/e_long.obj"))) {
        offsets += f.what.ends_with("name Offset");
        records += f.what.ends_with("NumberOfAuxSymbols");
    }
    EXPECT_GE(offsets, 3u);
    EXPECT_LT(offsets, records);
    // A GNU archive is walked member by member: every member's header and module are swept.
    std::set<std::string> gnu;
    for (const Field& f : fields_of(file_bytes(corpus / "lib/h_heat_gnu.a"))) gnu.insert(f.what);
    for (const char* want : {"member 0 header size", "member 1 header name", "member 2 NumberOfSymbols",
                             "member 5 symbol 0 SectionNumber"})
        EXPECT_TRUE(gnu.count(want)) << want;
}

TEST(FieldSweep, ValuesAreCutToTheFieldsWidth) {
    const Field u32{0, 4, false, false, "u32"}, u16{0, 2, false, false, "u16"}, u8{0, 1, false, false, "u8"};
    EXPECT_EQ(sweep_values(u32, 1000),
              (std::vector<std::uint64_t>{0, 1, 999, 1000, 1001, 0x7FFFFFFF, 0x80000000, 0xFFFFFFFF}));
    EXPECT_EQ(sweep_values(u16, 0x10000), (std::vector<std::uint64_t>{0, 1, 0xFFFF, 0, 1, 0x7FFF, 0x8000, 0xFFFF}));
    EXPECT_EQ(sweep_values(u8, 300), (std::vector<std::uint64_t>{0, 1, 43, 44, 45, 0x7F, 0x80, 0xFF}));
    Bytes b(12, 0);
    write_field(b, {0, 4, true, false, "be"}, 0x01020304);
    write_field(b, {4, 2, false, false, "le"}, 0xABCD);
    EXPECT_EQ(Bytes(b.begin(), b.begin() + 6), (Bytes{1, 2, 3, 4, 0xCD, 0xAB}));
    Bytes header(60, ' ');
    write_field(header, {48, 4, false, true, "size"}, 4294967295u);
    EXPECT_EQ(std::string(header.begin() + 48, header.begin() + 58), "4294967295");
}

}  // namespace
}  // namespace quorv::hostile
