#pragma once
// What the hostile-input tests share: the real files, a map of every count, offset and size
// field in them, the extent their headers declare, and one examination of an input that
// checks everything that must hold whatever the bytes are.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <span>
#include <string>
#include <vector>

#include "coff_builder.h"
#include "counting_allocator.h"
#include "engine/byte_order.h"
#include "engine/coff_layout.h"
#include "engine/diagnostics.h"
#include "engine/input_stream.h"
#include "engine/model.h"
#include "engine/run.h"
#include "fuzz/message_families.h"
#include "fuzz/oracle_check.h"

namespace quorv::hostile {

namespace fs = std::filesystem;
using test::Bytes;
using namespace coff;

// --- The real files ---

// The shared corpus, the examples, and one file of each kind the project's own data holds:
// every layout of library, big objects, import libraries, bitcode, and ELF of each class,
// byte order and producer.
inline std::vector<fs::path> real_files() {
    std::vector<fs::path> files;
    const fs::path corpus = QUORV_CORPUS_DIR;
    const fs::path examples = QUORV_EXAMPLES_DIR;
    for (const fs::path& dir : {corpus / "obj", corpus / "lib", corpus / "exe", examples / "obj", examples / "lib"}) {
        std::error_code ec;
        for (const auto& e : fs::directory_iterator(dir, ec))
            if (e.is_regular_file()) files.push_back(e.path());
    }
    const fs::path data = QUORV_TEST_DATA_DIR;
    for (const char* name :
         {"libraries/gnu/heat_gnu.a", "libraries/bsd/heat_bsd.a", "libraries/bsd/heat_darwin.a",
          "libraries/obj/heat_thin.a", "libraries/import/libx.dll.a", "libraries/import/x_lib.lib",
          "libraries/bigobj/wide_big32.obj", "libraries/bigobj/big_gnu.a", "libraries/bitcode/lto.lib",
          "elf/gf64/sizes_a.o", "elf/gf64/big.o", "elf/gf32/sizes_a.o", "elf/s390x/sizes_a.o", "elf/ppc32/sizes_a.o",
          "elf/flang/sizes_a.o", "elf/c/clang_tentative.o", "elf/lto/slim.o", "elf/lib/gnu_long.a", "elf/linked/heat"})
        if (fs::exists(data / name)) files.push_back(data / name);
    std::sort(files.begin(), files.end());
    return files;
}

inline Bytes file_bytes(const fs::path& p) {
    std::ifstream in(p, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), {});
}

// A file's short name for test names: letters, digits and "_" only.
inline std::string test_name_of(const fs::path& p) {
    std::string name = p.parent_path().filename().string() + "_" + p.filename().string();
    for (char& c : name)
        if (!std::isalnum(static_cast<unsigned char>(c))) c = '_';
    return name;
}

// --- Fields ---

struct Field {
    std::size_t at = 0;
    int width = 4;              // 1, 2, 4 or 8 bytes
    bool big_endian = false;    // the first linker member's symbol count
    bool decimal_text = false;  // an archive member header's size: ten blank-padded digits
    std::string what;
};

inline std::uint32_t get_u32(const Bytes& b, std::size_t at) {
    return at + 4 <= b.size() ? read_u32le(b.data() + at) : 0;
}
inline std::uint16_t get_u16(const Bytes& b, std::size_t at) {
    return at + 2 <= b.size() ? read_u16le(b.data() + at) : 0;
}

// The fields of the object module at base, as far as the file holds them.
inline void add_object_fields(const Bytes& b, std::size_t base, const std::string& where, std::vector<Field>& out) {
    if (base + kFileHeaderSize > b.size()) return;
    out.push_back({base + kNumberOfSectionsOffset, 2, false, false, where + "NumberOfSections"});
    out.push_back({base + kPointerToSymbolTableOffset, 4, false, false, where + "PointerToSymbolTable"});
    out.push_back({base + kNumberOfSymbolsOffset, 4, false, false, where + "NumberOfSymbols"});
    out.push_back({base + kSizeOfOptionalHeaderOffset, 2, false, false, where + "SizeOfOptionalHeader"});
    const std::uint16_t optional = get_u16(b, base + kSizeOfOptionalHeaderOffset);
    if (optional != 0 && optional != kOptionalHeaderStandard && optional != kOptionalHeaderImage32) return;
    const std::size_t table = base + kFileHeaderSize + optional;
    const std::uint16_t sections = get_u16(b, base + kNumberOfSectionsOffset);
    for (std::size_t i = 0; i < sections && table + (i + 1) * kSectionHeaderSize <= b.size(); ++i) {
        const std::size_t h = table + i * kSectionHeaderSize;
        const std::string s = where + "section " + std::to_string(i + 1) + " ";
        out.push_back({h + kSizeOfRawDataOffset, 4, false, false, s + "SizeOfRawData"});
        out.push_back({h + kPointerToRawDataOffset, 4, false, false, s + "PointerToRawData"});
        out.push_back({h + kPointerToRelocationsOffset, 4, false, false, s + "PointerToRelocations"});
        out.push_back({h + kPointerToLinenumbersOffset, 4, false, false, s + "PointerToLinenumbers"});
        out.push_back({h + kNumberOfRelocationsOffset, 2, false, false, s + "NumberOfRelocations"});
        out.push_back({h + kNumberOfLinenumbersOffset, 2, false, false, s + "NumberOfLinenumbers"});
    }
    const std::uint32_t pointer = get_u32(b, base + kPointerToSymbolTableOffset);
    const std::uint32_t symbols = get_u32(b, base + kNumberOfSymbolsOffset);
    if (pointer == 0) return;
    const std::uint64_t first = std::uint64_t{base} + pointer;
    // Primary records only, stepping over auxiliary ones as the scan does.
    for (std::uint64_t k = 0; k < symbols && first + (k + 1) * kSymbolRecordSize <= b.size();) {
        const std::size_t r = static_cast<std::size_t>(first + k * kSymbolRecordSize);
        const std::string s = where + "symbol " + std::to_string(k) + " ";
        if (get_u32(b, r) == 0) out.push_back({r + kSymbolNameOffsetOffset, 4, false, false, s + "name Offset"});
        out.push_back({r + kSymbolValueOffset, 4, false, false, s + "Value"});
        out.push_back({r + kSymbolSectionOffset, 2, false, false, s + "SectionNumber"});
        out.push_back({r + kSymbolAuxCountOffset, 1, false, false, s + "NumberOfAuxSymbols"});
        k += 1 + b[r + kSymbolAuxCountOffset];
    }
    const std::uint64_t strings = first + std::uint64_t{kSymbolRecordSize} * symbols;
    if (strings + 4 <= b.size())
        out.push_back({static_cast<std::size_t>(strings), 4, false, false, where + "string table size"});
}

// Where the archive walk finds the member count: after the first linker member's offsets,
// its names and the pad byte, and the second linker member's header. 0 when the file ends first.
inline std::size_t member_count_position(const Bytes& b) {
    if (b.size() < 72) return 0;
    const std::uint64_t symbols = read_u32be(b.data() + 68);
    std::uint64_t at = 72 + 4 * symbols;
    for (std::uint64_t k = 0; k < symbols; ++k) {
        while (at < b.size() && b[at] != 0) ++at;
        if (at >= b.size()) return 0;
        ++at;
    }
    if (at % 2 != 0) ++at;
    at += 60;
    return at + 4 <= b.size() ? static_cast<std::size_t>(at) : 0;
}

inline bool is_archive(const Bytes& b) {
    return b.size() >= 8 && std::equal(b.begin(), b.begin() + 8, "!<arch>\n");
}

// An archive of the other layouts: its first member is not "/", or a second member follows
// a "/" that is not "/" again (so no second linker member).
inline bool is_thin(const Bytes& b) {
    return b.size() >= 8 && std::equal(b.begin(), b.begin() + 8, "!<thin>\n");
}

inline bool is_member_by_member(const Bytes& b) {
    const auto name_at = [&](std::size_t at) { return std::string(b.begin() + at, b.begin() + at + 16); };
    const std::string linker = "/" + std::string(15, ' ');
    if (is_thin(b)) return true;
    if (!is_archive(b) || b.size() < 24) return false;
    if (name_at(8) != linker) return true;
    if (b.size() < 68) return false;
    const std::string size_text(b.begin() + 56, b.begin() + 66);
    if (size_text.empty() || !std::isdigit(static_cast<unsigned char>(size_text[0]))) return false;
    const std::uint64_t size = std::stoull(size_text);
    const std::uint64_t next = 68 + size + size % 2;
    return next + 60 <= b.size() && name_at(static_cast<std::size_t>(next)) != linker;
}

// The headers of a member-by-member archive, walked from offset 8: where each stands and
// the size its field gives, as far as they lie in the file.
struct MemberHeader {
    std::size_t at;
    std::uint64_t size;
};
inline std::vector<MemberHeader> member_headers(const Bytes& b) {
    std::vector<MemberHeader> out;
    for (std::size_t at = 8; at + 60 <= b.size();) {
        const std::string size_text(b.begin() + static_cast<std::ptrdiff_t>(at + 48),
                                    b.begin() + static_cast<std::ptrdiff_t>(at + 58));
        if (!std::isdigit(static_cast<unsigned char>(size_text[0]))) break;
        std::uint64_t size = std::stoull(size_text);
        // A thin archive's members hold no data: only its tables ("/..." names) do.
        if (is_thin(b) && b[at] != '/') size = 0;
        out.push_back({at, size});
        const std::uint64_t next = at + 60 + size + size % 2;
        if (next > b.size()) break;
        at = static_cast<std::size_t>(next);
    }
    return out;
}

// Where a member-by-member archive may end: after any whole member, its pad byte or not.
inline bool ends_between_members(const Bytes& b, std::size_t n) {
    if (!is_member_by_member(b)) return false;
    if (n == 8) return true;
    for (const MemberHeader& h : member_headers(b)) {
        const std::uint64_t end = h.at + 60 + h.size;
        if (n == end || n == end + end % 2) return true;
    }
    return false;
}

inline bool is_elf(const Bytes& b, std::size_t base) {
    return b.size() >= base + 16 && b[base] == 0x7F && b[base + 1] == 'E' && b[base + 2] == 'L' && b[base + 3] == 'F';
}

// The fields of the ELF module at base that the reader trusts: the header's section-table
// fields, and each section's and symbol's offsets, sizes, links, indexes and names.
inline void add_elf_fields(const Bytes& b, std::size_t base, const std::string& where, std::vector<Field>& out) {
    const bool is64 = b[base + 4] == 2, big = b[base + 5] == 2;
    const int word = is64 ? 8 : 4;
    const auto get = [&](std::size_t at, int width) {
        std::uint64_t v = 0;
        for (int k = 0; k < width && at + k < b.size(); ++k)
            v |= std::uint64_t{b[at + k]} << (big ? 8 * (width - 1 - k) : 8 * k);
        return v;
    };
    const std::size_t header = is64 ? 64 : 52;
    if (b.size() < base + header) return;
    const std::size_t shoff_at = base + (is64 ? 40 : 32), counts_at = base + (is64 ? 58 : 46);
    out.push_back({base + 4, 1, big, false, where + "EI_CLASS"});
    out.push_back({base + 16, 2, big, false, where + "e_type"});
    out.push_back({shoff_at, word, big, false, where + "e_shoff"});
    out.push_back({counts_at, 2, big, false, where + "e_shentsize"});
    out.push_back({counts_at + 2, 2, big, false, where + "e_shnum"});
    out.push_back({counts_at + 4, 2, big, false, where + "e_shstrndx"});
    const std::uint64_t shoff = get(shoff_at, word), entsize = is64 ? 64 : 40, shnum = get(counts_at + 2, 2);
    std::uint64_t symtab_offset = 0, symtab_size = 0;
    for (std::uint64_t i = 0; i < shnum && base + shoff + (i + 1) * entsize <= b.size(); ++i) {
        const std::size_t h = static_cast<std::size_t>(base + shoff + i * entsize);
        const std::string s = where + "section " + std::to_string(i) + " ";
        const std::size_t offset_at = h + (is64 ? 24 : 16), size_at = h + (is64 ? 32 : 20);
        out.push_back({h, 4, big, false, s + "sh_name"});
        out.push_back({h + 4, 4, big, false, s + "sh_type"});
        out.push_back({offset_at, word, big, false, s + "sh_offset"});
        out.push_back({size_at, word, big, false, s + "sh_size"});
        out.push_back({h + (is64 ? 40 : 24), 4, big, false, s + "sh_link"});
        out.push_back({h + (is64 ? 56 : 36), word, big, false, s + "sh_entsize"});
        if (get(h + 4, 4) == 2 && symtab_size == 0) {
            symtab_offset = get(offset_at, word);
            symtab_size = get(size_at, word);
        }
    }
    const std::uint64_t record = is64 ? 24 : 16;
    for (std::uint64_t k = 1; k * record + record <= symtab_size && base + symtab_offset + (k + 1) * record <= b.size();
         ++k) {
        const std::size_t r = static_cast<std::size_t>(base + symtab_offset + k * record);
        const std::string s = where + "symbol " + std::to_string(k) + " ";
        out.push_back({r, 4, big, false, s + "st_name"});
        out.push_back({r + (is64 ? 4u : 12u), 1, big, false, s + "st_info"});
        out.push_back({r + (is64 ? 6u : 14u), 2, big, false, s + "st_shndx"});
        out.push_back({r + (is64 ? 16u : 8u), word, big, false, s + "st_size"});
    }
}

inline void add_module_fields(const Bytes& b, std::size_t base, const std::string& where, std::vector<Field>& out) {
    if (is_elf(b, base))
        add_elf_fields(b, base, where, out);
    else
        add_object_fields(b, base, where, out);
}

inline std::vector<Field> fields_of(const Bytes& b) {
    std::vector<Field> out;
    if (!is_archive(b)) {
        add_module_fields(b, 0, "", out);
        return out;
    }
    if (is_member_by_member(b)) {
        std::size_t k = 0;
        for (const MemberHeader& h : member_headers(b)) {
            const std::string m = "member " + std::to_string(k++) + " ";
            out.push_back({h.at, 4, false, false, m + "header name"});
            out.push_back({h.at + 48, 4, false, true, m + "header size"});
            const std::string name(b.begin() + static_cast<std::ptrdiff_t>(h.at),
                                   b.begin() + static_cast<std::ptrdiff_t>(h.at + 2));
            if (name != "/ " && name != "//" && h.at + 60 + h.size <= b.size()) add_module_fields(b, h.at + 60, m, out);
        }
        return out;
    }
    out.push_back({68, 4, true, false, "first linker member symbol count"});
    const std::size_t count_at = member_count_position(b);
    if (count_at == 0) return out;
    out.push_back({count_at, 4, false, false, "member count"});
    const std::uint32_t members = get_u32(b, count_at);
    // When the offsets run past the end, the walk stops before any member (GNU archives).
    const bool members_read = count_at + 4 + 4 * std::uint64_t{members} <= b.size();
    for (std::size_t k = 0; k < members && count_at + 8 + 4 * k <= b.size(); ++k) {
        const std::size_t at = count_at + 4 + 4 * k;
        const std::string m = "member " + std::to_string(k) + " ";
        out.push_back({at, 4, false, false, m + "offset"});
        const std::uint32_t offset = get_u32(b, at);
        if (!members_read || std::uint64_t{offset} + 60 > b.size()) continue;
        out.push_back({offset, 4, false, false, m + "header name"});
        out.push_back({offset + 48u, 4, false, true, m + "header size"});
        add_object_fields(b, offset + 60u, m, out);
    }
    return out;
}

// 0, 1, size - 1, size, size + 1 and the three extremes, cut to the field's width.
inline std::vector<std::uint64_t> sweep_values(const Field& f, std::size_t input_size) {
    const std::uint64_t mask = f.width == 8 ? ~std::uint64_t{0} : (std::uint64_t{1} << (8 * f.width)) - 1;
    const std::uint64_t size = input_size;
    std::vector<std::uint64_t> v;
    for (std::uint64_t x :
         {std::uint64_t{0}, std::uint64_t{1}, size - 1, size, size + 1, mask >> 1, (mask >> 1) + 1, mask})
        v.push_back(x & mask);
    return v;
}

inline void write_field(Bytes& b, const Field& f, std::uint64_t value) {
    if (f.decimal_text) {
        std::string text = std::to_string(value);
        text.resize(10, ' ');
        std::copy(text.begin(), text.end(), b.begin() + static_cast<std::ptrdiff_t>(f.at));
        return;
    }
    for (int k = 0; k < f.width; ++k) {
        const int shift = f.big_endian ? 8 * (f.width - 1 - k) : 8 * k;
        b[f.at + k] = static_cast<std::uint8_t>(value >> shift);
    }
}

// --- What the headers declare ---

// The end of the last region the reader reads for the object module at base: the headers and
// section table, or the symbol and string tables.
inline std::uint64_t object_extent(const Bytes& b, std::size_t base) {
    // A short import member is skipped by its first bytes, unread.
    if (b.size() >= base + 6 && b[base] == 0 && b[base + 1] == 0 && b[base + 2] == 0xFF && b[base + 3] == 0xFF &&
        b[base + 4] == 0 && b[base + 5] == 0)
        return base + 6;
    const std::uint16_t optional = get_u16(b, base + kSizeOfOptionalHeaderOffset);
    std::uint64_t end = base + kFileHeaderSize;
    if (optional != 0 && optional != kOptionalHeaderStandard && optional != kOptionalHeaderImage32) return end;
    end += optional + std::uint64_t{kSectionHeaderSize} * get_u16(b, base + kNumberOfSectionsOffset);
    const std::uint32_t pointer = get_u32(b, base + kPointerToSymbolTableOffset);
    if (pointer == 0) return end;
    const std::uint64_t strings =
        base + pointer + std::uint64_t{kSymbolRecordSize} * get_u32(b, base + kNumberOfSymbolsOffset);
    const std::uint32_t size = get_u32(b, static_cast<std::size_t>(strings));
    return std::max(end, strings + std::max<std::uint32_t>(size, 4));
}

// The shortest prefix that the headers of the whole file allow to read without damage.
inline std::uint64_t declared_extent(const Bytes& b) {
    if (b.size() >= 2 && (std::equal(b.begin(), b.begin() + 2, "MZ") || std::equal(b.begin(), b.begin() + 2, "NE") ||
                          std::equal(b.begin(), b.begin() + 2, "LE")))
        return 2;
    if (b.size() >= 4 && std::equal(b.begin(), b.begin() + 4, "PE\0\0")) return 4;
    if (!is_archive(b)) return object_extent(b, 0);
    const std::size_t count_at = member_count_position(b);
    if (count_at == 0) return b.size();
    const std::uint32_t members = get_u32(b, count_at);
    std::uint64_t end = count_at + 4 + 4 * std::uint64_t{members};
    if (end > b.size()) return end;
    for (std::size_t k = 0; k < members; ++k) {
        const std::uint32_t offset = get_u32(b, count_at + 4 + 4 * k);
        end = std::max(end, object_extent(b, offset + 60u));
    }
    return end;
}

// --- One examination ---

struct Examination {
    int result = -1;
    std::size_t messages = 0;
    std::string difference;  // from what the oracle expects; empty when none
    std::size_t peak = 0;
    std::size_t largest = 0;
};

inline constexpr std::size_t kMiB = 1024 * 1024;

// One input through analyze_input, as a library or an object file: its messages, result and
// model held against the oracle's, and the memory the reading held.
inline Examination examine(std::span<const std::uint8_t> bytes) {
    static const FileEntry entry{"C:\\hostile\\input.lib", "input.lib", 0};
    const fuzz::oracle::Expected expected = fuzz::oracle::expect_input(bytes, entry.full_path, entry.display_name);
    Examination out;
    fuzz::OracleSink sink(expected);
    {
        MemoryWatch watch;
        {
            AnalysisModel model;
            {
                RunContext run(sink, model);
                MemoryStream stream(bytes);
                out.result = analyze_input(stream, entry, run);
            }
            model.put_in_order();
            out.difference = fuzz::compare_outcome(model, out.result, sink, expected);
        }
        out.peak = watch.peak();
        out.largest = watch.largest();
    }
    out.messages = sink.count;
    return out;
}

// What holds for every input: a result of 0 or 1, every stop reported, the oracle's messages
// (all of them the system's own texts), result and model, and memory bounded by the input's size.
inline ::testing::AssertionResult examined_safely(const Examination& e, std::size_t size) {
    if (e.result != 0 && e.result != 1) return ::testing::AssertionFailure() << "result " << e.result;
    if (e.result == 1 && e.messages == 0) return ::testing::AssertionFailure() << "stopped without a message";
    if (!e.difference.empty()) return ::testing::AssertionFailure() << e.difference;
    if (e.peak > 4 * size + kMiB)
        return ::testing::AssertionFailure() << "held " << e.peak << " bytes for " << size << " input bytes";
    if (e.largest > size + 64 * 1024)
        return ::testing::AssertionFailure()
               << "one allocation of " << e.largest << " bytes for " << size << " input bytes";
    return ::testing::AssertionSuccess();
}

}  // namespace quorv::hostile
