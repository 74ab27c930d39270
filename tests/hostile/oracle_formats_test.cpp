// The oracle's reading of the archive layouts, COFF variants and ELF, held against inputs
// built here with known contents, and against the real test files and what the LLVM tools
// say they hold.
#include <gtest/gtest.h>

#include <cctype>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <set>
#include <span>
#include <tuple>

#include "archive_builder.h"
#include "coff_builder.h"
#include "elf_builder.h"
#include "fuzz/oracle.h"

namespace quorv::test {
namespace {

namespace fs = std::filesystem;
using fuzz::oracle::Expected;

const std::string kPath = "C:\\lib\\in.a";
std::string member(const std::string& name) {
    return kPath + " (" + name + ")";
}

Bytes coff(std::vector<Symbol> symbols) {
    ObjectSpec plan;
    plan.sections.resize(1);
    plan.symbols = std::move(symbols);
    return make_object(plan);
}

std::uint16_t read16(const Bytes& b, std::size_t at) {
    return static_cast<std::uint16_t>(b[at] | b[at + 1] << 8);
}
std::uint32_t read32(const Bytes& b, std::size_t at) {
    return read16(b, at) | std::uint32_t{read16(b, at + 2)} << 16;
}

// The same object as a big object: 56-byte header, 20-byte records with 32-bit section numbers.
Bytes big_object(std::vector<Symbol> symbols) {
    const Bytes small = coff(std::move(symbols));
    const std::size_t sections = read16(small, 2), pointer = read32(small, 8), count = read32(small, 12);
    Bytes big(56, 0);
    put16(big, 2, 0xFFFF);
    put16(big, 4, 2);
    put16(big, 6, read16(small, 0));
    const std::uint8_t id[] = {0xC7, 0xA1, 0xBA, 0xD1, 0xEE, 0xBA, 0xA9, 0x4B,
                               0xAF, 0x20, 0xFA, 0xF6, 0x6A, 0xA4, 0xDC, 0xB8};
    std::copy(std::begin(id), std::end(id), big.begin() + 12);
    put32(big, 44, static_cast<std::uint32_t>(sections));
    put32(big, 52, static_cast<std::uint32_t>(count));
    big.insert(big.end(), small.begin() + 20, small.begin() + 20 + 40 * sections);
    put32(big, 48, static_cast<std::uint32_t>(big.size()));
    for (std::size_t k = 0; k < count; ++k) {
        const std::size_t r = pointer + 18 * k;
        Bytes record(small.begin() + r, small.begin() + r + 12);
        put32(record, 12, static_cast<std::uint32_t>(std::int32_t{static_cast<std::int16_t>(read16(small, r + 12))}));
        put16(record, 16, read16(small, r + 14));
        record.push_back(small[r + 16]);
        record.push_back(small[r + 17]);
        append(big, record);
    }
    big.insert(big.end(), small.begin() + pointer + 18 * count, small.end());
    return big;
}

struct Decl {
    std::string block;
    std::uint64_t size;
    bool initialized;
    std::string path;
    bool operator==(const Decl&) const = default;
};
struct Proc {
    std::string name, path;
    bool operator==(const Proc&) const = default;
};
std::ostream& operator<<(std::ostream& o, const Decl& d) {
    return o << d.block << " " << d.size << (d.initialized ? " initialized " : " ") << d.path;
}
std::ostream& operator<<(std::ostream& o, const Proc& p) {
    return o << p.name << " " << p.path;
}

std::vector<Decl> declarations(const Expected& e) {
    std::vector<Decl> out;
    for (const auto& [name, list] : e.blocks)
        for (const auto& d : list) out.push_back({name, d.size, d.initialized, d.path});
    return out;
}
std::vector<Proc> procedures(const Expected& e) {
    std::vector<Proc> out;
    for (const auto& p : e.procedures) out.push_back({p.name, p.path});
    return out;
}

struct Case {
    std::string what;
    Bytes input;
    std::map<std::string, Bytes> files;  // thin members' files by the path tried
    std::vector<std::string> messages;
    int result = 0;
    std::vector<Decl> declarations;  // in block-list order
    std::vector<Proc> procedures;    // in procedure-list order
};

Expected read_case(const Case& c) {
    std::map<std::string, std::string> held;
    for (const auto& [path, bytes] : c.files) held[path] = std::string(bytes.begin(), bytes.end());
    return fuzz::oracle::expect_input(c.input, kPath, "in.a", [&](const std::string& path) -> const std::string* {
        const auto found = held.find(path);
        return found == held.end() ? nullptr : &found->second;
    });
}

std::string other_code(const std::string& path) {
    return "The file " + path +
           " holds link-time-optimization or other code that is not an object module; its COMMON blocks cannot be "
           "read.";
}

Bytes bytes_of(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

std::vector<Case> cases() {
    const Bytes heat = coff({common("_ctrl_", 8), function("_heat_")});
    const Bytes tally = coff({common("_tallyc_", 36), function("_tally_")});
    Bytes short_import = bytes_of(std::string_view("\0\0\xFF\xFF\0\0\x4C\x01", 8));
    short_import.resize(32, 0);
    Bytes bitcode = bytes_of("BC\xC0\xDE");
    bitcode.resize(40, 0x35);
    Bytes wrapper = bytes_of("\xDE\xC0\x17\x0B");
    wrapper.resize(40, 0);

    ElfSpec lsb;
    lsb.symbols = {{"heat.f", 0, 4, 0, 0xFFF1}, elf_common("coef_", 48),    elf_common("huge_", 0x100000010ull),
                   elf_function("solve_"),      elf_data("coef_", 48),      {"helper_", 0, 2, 0, 1},
                   {"ext_", 0, 2, 1, 0},        {"lbig_", 64, 1, 1, 0xFF02}};
    ElfSpec msb;
    msb.wide = false;
    msb.big_endian = true;
    msb.machine = 20;
    msb.symbols = {elf_common("coef_", 40), elf_function("setup_"), elf_function("weak_", 2), {"ifunc_", 0, 10, 1, 1},
                   elf_data("ctrl_", 8),    {"tls_", 4, 6, 1, 2},   {"abs_", 4, 1, 1, 0xFFF1}};
    ElfSpec off_x86 = msb;
    off_x86.symbols = {elf_common("coef_", 40), {"coef_", 40, 1, 1, 0xFF02}};
    ElfSpec slim;
    slim.symbols = {elf_common("__gnu_lto_slim", 1), elf_common("coef_", 48)};
    ElfSpec lto_sections;
    lto_sections.more_sections = {".gnu.lto_.decls.1"};
    lto_sections.symbols = {{"slim.f", 0, 4, 0, 0xFFF1}};
    ElfSpec fat = lto_sections;
    fat.symbols.push_back(elf_function("setup_"));
    ElfSpec executable = lsb;
    executable.type = 2;
    ElfSpec grid;
    grid.symbols = {elf_common("grid_", 16)};
    const Bytes grid_elf = make_elf(grid);

    Bytes big_out_of_range = big_object({defined_data("_grid_"), common("_grid_", 16)});
    put32(big_out_of_range, read32(big_out_of_range, 48) + 12, 0x10000);

    return {
        {"GNU archive: // and /N names",
         make_gnu_archive({{"heat.obj", heat}, {"a_really_long_member_name.obj", tally}}),
         {},
         {},
         0,
         {{"_ctrl_", 8, false, member("heat.obj")}, {"_tallyc_", 36, false, member("a_really_long_member_name.obj")}},
         {{"_heat_", member("heat.obj")}, {"_tally_", member("a_really_long_member_name.obj")}}},
        {"GNU archive: /SYM64/ is a table",
         make_gnu_archive({{"heat.obj", heat}}, "/SYM64/"),
         {},
         {},
         0,
         {{"_ctrl_", 8, false, member("heat.obj")}},
         {{"_heat_", member("heat.obj")}}},
        {"BSD archive: #1/N names, zero padding dropped",
         make_bsd_archive({{"step.obj", heat}, {"ctrl.o", tally}}),
         {},
         {},
         0,
         {{"_ctrl_", 8, false, member("step.obj")}, {"_tallyc_", 36, false, member("ctrl.o")}},
         {{"_heat_", member("step.obj")}, {"_tally_", member("ctrl.o")}}},
        {"thin archive: relative and absolute member files",
         make_thin_archive({{"sub/x.obj", heat.size()}, {"/abs/y.o", 1}}),
         {{"C:\\lib\\sub/x.obj", heat}, {"/abs/y.o", grid_elf}},
         {},
         0,
         {{"_ctrl_", 8, false, member("sub/x.obj")}, {"grid_", 16, false, member("/abs/y.o")}},
         {{"_heat_", member("sub/x.obj")}}},
        {"thin archive: a missing member file stops the run",
         make_thin_archive({{"x.obj", 1}, {"gone.obj", 1}}),
         {{"C:\\lib\\x.obj", heat}},
         {"Cannot open file: C:\\lib\\gone.obj"},
         1,
         {{"_ctrl_", 8, false, member("x.obj")}},
         {{"_heat_", member("x.obj")}}},
        {"a member's reads stop at its end",
         make_gnu_archive({{"cut.obj", Bytes(10, 0)}, {"heat.obj", heat}}),
         {},
         {"QUORV Internal: fread returned 10 bytes (20 expected). [process_file_header]",
          "Error reading file header\n"},
         1,
         {},
         {}},
        {"/N before any //",
         [] {
             Bytes b = bytes_of("!<arch>\n");
             append(b, member_header("/0", 2));
             append(b, std::string("xx"));
             return b;
         }(),
         {},
         {"Error reading library members"},
         1,
         {},
         {}},
        {"short import members are skipped silently (Microsoft layout)",
         make_archive({{"x.dll/", short_import}, {"x.obj/", heat}}),
         {},
         {},
         0,
         {{"_ctrl_", 8, false, member("x.obj")}},
         {{"_heat_", member("x.obj")}}},
        {"short import members are skipped silently (GNU layout)",
         make_gnu_archive({{"x.dll", short_import}, {"x.obj", heat}}),
         {},
         {},
         0,
         {{"_ctrl_", 8, false, member("x.obj")}},
         {{"_heat_", member("x.obj")}}},
        {"a short import file is skipped silently", short_import, {}, {}, 0, {}, {}},
        {"big object",
         big_object(
             {common("_wide_", 12), function("_widen_"), common("_a_long_common_name_", 40), {"abs", 5, -1, 0, 3}}),
         {},
         {},
         0,
         {{"_a_long_common_name_", 40, false, kPath}, {"_wide_", 12, false, kPath}},
         {{"_widen_", kPath}}},
        {"big object: section numbers are 32 bits",
         big_out_of_range,
         {},
         {"Error: Section number is out of range\n"},
         1,
         {{"_grid_", 16, true, kPath}},
         {}},
        {"bitcode member",
         make_gnu_archive({{"lto.o", bitcode}, {"heat.obj", heat}}),
         {},
         {other_code(member("lto.o"))},
         0,
         {{"_ctrl_", 8, false, member("heat.obj")}},
         {{"_heat_", member("heat.obj")}}},
        {"wrapped bitcode file", wrapper, {}, {other_code(kPath)}, 0, {}, {}},
        {"ELF64 LSB object",
         make_elf(lsb),
         {},
         {},
         0,
         {{"coef_", 48, true, kPath}, {"huge_", 0x100000010ull, false, kPath}, {"lbig_", 64, false, kPath}},
         {{"solve_", kPath}}},
        {"ELF32 MSB object",
         make_elf(msb),
         {},
         {},
         0,
         {{"coef_", 40, false, kPath}},
         {{"ifunc_", kPath}, {"setup_", kPath}, {"weak_", kPath}}},
        {"ELF: 0xFF02 off x86-64 is an ordinary index",
         make_elf(off_x86),
         {},
         {"Error: Section number is out of range\n"},
         1,
         {{"coef_", 40, true, kPath}},
         {}},
        {"ELF members of the Microsoft layout end where their size field says",
         make_archive(
             {{"e.o/", grid_elf}, {"cut.o/", Bytes(grid_elf.begin(), grid_elf.begin() + 40)}, {"x.obj/", heat}}),
         {},
         {"QUORV Internal: fread returned 40 bytes (64 expected). [process_file_header]",
          "Error reading file header\n"},
         1,
         {{"grid_", 16, false, member("e.o")}},
         {}},
        {"ELF executable", make_elf(executable), {}, {"The file " + kPath + " is not an object file."}, 0, {}, {}},
        {"ELF LTO object: __gnu_lto_slim", make_elf(slim), {}, {other_code(kPath)}, 0, {}, {}},
        {"ELF LTO object: .gnu.lto_ sections and nothing else",
         make_elf(lto_sections),
         {},
         {other_code(kPath)},
         0,
         {},
         {}},
        {"ELF fat LTO object is read", make_elf(fat), {}, {}, 0, {}, {{"setup_", kPath}}},
    };
}

TEST(OracleFormats, BuiltInputs) {
    for (const Case& c : cases()) {
        SCOPED_TRACE(c.what);
        const Expected e = read_case(c);
        EXPECT_EQ(e.messages, c.messages);
        EXPECT_EQ(e.result, c.result);
        EXPECT_EQ(declarations(e), c.declarations);
        EXPECT_EQ(procedures(e), c.procedures);
    }
}

// --- The real test files against their expected/*.json ---

// Just enough JSON for the expectation files: objects, arrays, strings, integers, literals.
struct Json {
    std::string text;         // strings, and numbers and literals as written
    std::vector<Json> items;  // an array's, or an object's values
    std::vector<std::string> keys;
    const Json& operator[](const std::string& key) const {
        static const Json none;
        for (std::size_t k = 0; k < keys.size(); ++k)
            if (keys[k] == key) return items[k];
        return none;
    }
};

class JsonReader {
  public:
    explicit JsonReader(std::string t) : t_(std::move(t)) {}
    Json value() {
        Json v;
        skip();
        if (t_[i_] == '{') {
            ++i_;
            while (skip(), t_[i_] != '}') {
                std::string key = value().text;
                skip(), ++i_;  // ':'
                v.keys.push_back(std::move(key));
                v.items.push_back(value());
                if (skip(), t_[i_] == ',') ++i_;
            }
            ++i_;
        } else if (t_[i_] == '[') {
            ++i_;
            while (skip(), t_[i_] != ']') {
                v.items.push_back(value());
                if (skip(), t_[i_] == ',') ++i_;
            }
            ++i_;
        } else if (t_[i_] == '"') {
            for (++i_; t_[i_] != '"'; ++i_) {
                if (t_[i_] != '\\') {
                    v.text.push_back(t_[i_]);
                    continue;
                }
                const char c = t_[++i_];
                if (c == 'u') {
                    const unsigned code = static_cast<unsigned>(std::stoul(t_.substr(i_ + 1, 4), nullptr, 16));
                    i_ += 4;
                    if (code < 0x80)
                        v.text.push_back(static_cast<char>(code));
                    else if (code < 0x800)
                        v.text += {static_cast<char>(0xC0 | code >> 6), static_cast<char>(0x80 | (code & 0x3F))};
                    else
                        v.text += {static_cast<char>(0xE0 | code >> 12), static_cast<char>(0x80 | (code >> 6 & 0x3F)),
                                   static_cast<char>(0x80 | (code & 0x3F))};
                } else {
                    v.text.push_back(c == 'n' ? '\n' : c == 't' ? '\t' : c);
                }
            }
            ++i_;
        } else {
            while (i_ < t_.size() && std::string_view(",}] \n\r\t").find(t_[i_]) == std::string_view::npos)
                v.text.push_back(t_[i_++]);
        }
        return v;
    }

  private:
    void skip() {
        while (i_ < t_.size() && std::isspace(static_cast<unsigned char>(t_[i_]))) ++i_;
    }
    std::string t_;
    std::size_t i_ = 0;
};

std::string file_text(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

fs::path data_dir() {
#ifdef QUORV_TEST_DATA_DIR
    return QUORV_TEST_DATA_DIR;
#else
    return fs::path(__FILE__).parent_path().parent_path() / "data";
#endif
}

// Every file under tests/data/libraries and tests/data/elf with an expectation: the oracle
// records exactly the COMMON declarations and procedures the tools list, and none of a
// link-time-optimization, bitcode or short import member.
TEST(OracleFormats, RealFilesHoldWhatTheToolsList) {
    std::size_t files = 0;
    for (const char* set : {"libraries", "elf"}) {
        const fs::path root = data_dir() / set;
        std::error_code ec;
        for (const auto& entry : fs::recursive_directory_iterator(root / "expected", ec)) {
            if (entry.path().extension() != ".json") continue;
            const Json expected = JsonReader(file_text(entry.path())).value();
            const fs::path input = root / expected["file"].text;
            if (!fs::is_regular_file(input)) continue;
            SCOPED_TRACE(input.string());
            ++files;
            const std::string bytes = file_text(input);
            std::map<std::string, std::string> held;
            const Expected e = fuzz::oracle::expect_input(
                std::span(reinterpret_cast<const std::uint8_t*>(bytes.data()), bytes.size()), input.string(),
                input.filename().string(), [&](const std::string& path) -> const std::string* {
                    if (!fs::is_regular_file(path)) return nullptr;
                    return &(held[path] = file_text(path));
                });
            EXPECT_EQ(e.result, 0);
            const bool bare = expected["container"].text == "object" || expected["kind"].text == "object";
            std::multiset<std::tuple<std::string, std::uint64_t, std::string>> want_blocks, got_blocks;
            std::multiset<std::pair<std::string, std::string>> want_procedures, got_procedures;
            for (const Json& m : expected["members"].items) {
                const std::string path = bare ? input.string() : input.string() + " (" + m["member_name"].text + ")";
                if (m["lto"].text == "true") continue;
                for (const Json& d : m["common_declarations"].items)
                    want_blocks.insert({d["name"].text, std::stoull(d["size"].text), path});
                for (const Json& p : m["procedures"].items) want_procedures.insert({p.text, path});
            }
            for (const Decl& d : declarations(e)) got_blocks.insert({d.block, d.size, d.path});
            for (const Proc& p : procedures(e)) got_procedures.insert({p.name, p.path});
            EXPECT_EQ(got_blocks, want_blocks);
            EXPECT_EQ(got_procedures, want_procedures);
        }
    }
    EXPECT_GE(files, 40u) << data_dir();
}

}  // namespace
}  // namespace quorv::test
