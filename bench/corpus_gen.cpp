// quorv-corpus: writes a seeded synthetic corpus of valid i686 COFF objects (and, through
// llvm-lib, one Microsoft-format library of them) in the shape Fortran compilers give:
// COMMON declarations as undefined external data whose value is the size, procedures as
// defined functions, undefined references, and defined data that initializes blocks.
//
//   quorv-corpus --out DIR [--objects N] [--symbols S] [--blocks B] [--mismatch F]
//                [--sections K] [--seed X] [--library FILE.lib] [--llvm-lib PROGRAM]
//
// Per object, of the S symbols: 40% COMMON declarations, 20% procedures (each with one
// auxiliary record), 30% undefined references, 10% defined data; every name is 16 bytes and
// lives in the string table. Besides them: a .file symbol and one section symbol per section
// (the first three are .text, .data and .bss), each with one auxiliary record. A share F of
// the B blocks has declarations that disagree in size.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include "engine/coff_layout.h"

namespace {

using namespace quorv::coff;

using Bytes = std::vector<std::uint8_t>;

struct Options {
    std::string out;
    std::uint32_t objects = 2000;
    std::uint32_t symbols = 200;
    std::uint32_t blocks = 20000;
    double mismatch = 0.05;
    std::uint32_t sections = 3;
    std::uint64_t seed = 1;
    std::string library;
    std::string llvm_lib = "llvm-lib-19";
    bool elf = false;         // ELF64 objects instead of i686 COFF
    std::string gnu_library;  // a GNU archive of the objects, made by llvm-ar
    std::string llvm_ar = "llvm-ar-19";
};

void put16(Bytes& b, std::size_t at, std::uint32_t v) {
    b[at] = static_cast<std::uint8_t>(v);
    b[at + 1] = static_cast<std::uint8_t>(v >> 8);
}
void put32(Bytes& b, std::size_t at, std::uint32_t v) {
    for (int k = 0; k < 4; ++k) b[at + k] = static_cast<std::uint8_t>(v >> (8 * k));
}
void put64(Bytes& b, std::size_t at, std::uint64_t v) {
    for (int k = 0; k < 8; ++k) b[at + k] = static_cast<std::uint8_t>(v >> (8 * k));
}

constexpr std::size_t kNameLength = 16;

// A 16-byte name made from a number: a letter, 14 characters that scatter neighbouring
// numbers across the byte order, and the trailing underscore gfortran adds.
std::string name_of(char kind, std::uint64_t n) {
    static constexpr char kAlphabet[] = "abcdefghijklmnopqrstuvwxyz0123456789";
    std::uint64_t h = (n + 1) * 0x9E3779B97F4A7C15ull;
    h ^= h >> 29;
    std::string s(kNameLength, '_');
    s[0] = kind;
    std::uint64_t v = n;
    // Five characters from the mixed value first, so names do not share long prefixes; then
    // the number itself, which keeps every name distinct.
    for (int k = 1; k <= 5; ++k) {
        s[k] = kAlphabet[h % 26];
        h /= 26;
    }
    for (int k = 14; k >= 6; --k) {
        s[k] = kAlphabet[v % 36];
        v /= 36;
    }
    return s;
}

struct SymbolOut {
    std::string name;  // 8 bytes or fewer go into the record
    std::uint32_t value = 0;
    std::int16_t section = 0;
    std::uint16_t type = 0;
    std::uint8_t storage_class = 2;
    Bytes aux;  // whole 18-byte auxiliary records
};

class Generator {
  public:
    explicit Generator(const Options& o) : o_(o), rng_(o.seed) {
        block_size_.resize(o.blocks);
        mismatched_.resize(o.blocks);
        std::uniform_int_distribution<std::uint32_t> size(1, 4096);
        std::bernoulli_distribution mism(o.mismatch);
        for (std::uint32_t b = 0; b < o.blocks; ++b) {
            block_size_[b] = 4 * size(rng_);
            mismatched_[b] = mism(rng_);
        }
    }

    Bytes object(std::uint32_t index) {
        const std::uint32_t s = o_.symbols;
        const std::uint32_t commons = s * 4 / 10, procedures = s * 2 / 10, refs = s * 3 / 10;
        const std::uint32_t data = s - commons - procedures - refs;
        std::vector<SymbolOut> symbols;
        symbols.push_back({".file", 0, -2, 0, 103, aux_text("fortran.f")});
        const std::uint32_t sections = o_.sections < 3 ? 3 : o_.sections;
        static const char* kFirst[] = {".text", ".data", ".bss"};
        for (std::uint32_t k = 0; k < sections; ++k) {
            // Symbol section numbers are signed 16-bit: only the first 32767 get a symbol.
            if (k >= 32767) break;
            symbols.push_back({k < 3 ? kFirst[k] : ".text$x", 0, static_cast<std::int16_t>(k + 1), 0, 3, Bytes(18, 0)});
        }
        std::vector<std::uint32_t> declared;
        std::uniform_int_distribution<std::uint32_t> pick_block(0, o_.blocks - 1);
        for (std::uint32_t k = 0; k < commons; ++k) {
            std::uint32_t b = pick_block(rng_);
            for (int tries = 0; tries < 8 && contains(declared, b); ++tries) b = pick_block(rng_);
            if (contains(declared, b)) continue;
            declared.push_back(b);
            std::uint32_t size = block_size_[b];
            if (mismatched_[b] && (rng_() & 1)) size += 8;
            symbols.push_back({name_of('c', b), size, 0, 0, 2, {}});
        }
        for (std::uint32_t k = 0; k < procedures; ++k) {
            Bytes fn(18, 0);
            put32(fn, 4, 16);  // TotalSize
            symbols.push_back({name_of('p', std::uint64_t{index} * procedures + k), 0, 1, 0x20, 2, fn});
        }
        const std::uint64_t all_procedures = std::uint64_t{o_.objects} * (procedures ? procedures : 1);
        std::uniform_int_distribution<std::uint64_t> pick_proc(0, all_procedures - 1);
        for (std::uint32_t k = 0; k < refs; ++k) symbols.push_back({name_of('p', pick_proc(rng_)), 0, 0, 0x20, 2, {}});
        for (std::uint32_t k = 0; k < data; ++k) {
            // Half initialize a block this object declares (DATA in COMMON), half are data
            // of their own.
            if (k % 2 == 0 && k / 2 < declared.size()) {
                symbols.push_back({name_of('c', declared[k / 2]), 4 * k, 2, 0, 2, {}});
            } else {
                symbols.push_back({name_of('d', std::uint64_t{index} * data + k), 4 * k, 2, 0, 2, {}});
            }
        }
        return o_.elf ? elf_layout(symbols, procedures, data) : layout(symbols, sections, procedures, refs, data);
    }

  private:
    static bool contains(const std::vector<std::uint32_t>& v, std::uint32_t x) {
        for (std::uint32_t y : v)
            if (y == x) return true;
        return false;
    }

    static Bytes aux_text(std::string_view text) {
        Bytes a(kSymbolRecordSize, 0);
        std::memcpy(a.data(), text.data(), std::min<std::size_t>(text.size(), kSymbolRecordSize));
        return a;
    }

    // Header, section table, each section's raw data and relocations, symbol table, strings.
    Bytes layout(const std::vector<SymbolOut>& symbols, std::uint32_t sections, std::uint32_t procedures,
                 std::uint32_t refs, std::uint32_t data) {
        Bytes out(kFileHeaderSize + kSectionHeaderSize * std::size_t{sections}, 0);
        put16(out, kMachineOffset, kMachineI386);
        put16(out, kNumberOfSectionsOffset, sections);
        put32(out, kTimeDateStampOffset, 0x5F000000u);
        for (std::uint32_t k = 0; k < sections; ++k) {
            const std::size_t h = kFileHeaderSize + kSectionHeaderSize * std::size_t{k};
            static const char* kNames[] = {".text", ".data", ".bss"};
            const char* name = k < 3 ? kNames[k] : ".text$x";
            std::memcpy(out.data() + h + kSectionNameOffset, name, std::strlen(name));
            std::uint32_t raw = 0, relocs = 0, characteristics = 0x60500020;
            if (k == 0) {
                raw = 16 * (procedures ? procedures : 1);
                relocs = refs > 0xFFFF ? 0xFFFF : refs;
            } else if (k == 1) {
                raw = 4 * (data ? data : 1);
                characteristics = 0xC0300040;
            } else if (k == 2) {
                characteristics = 0xC0300080;
                put32(out, h + kSizeOfRawDataOffset, 4096);  // uninitialized: a size and no raw data
                put32(out, h + kSectionCharacteristicsOffset, characteristics);
                continue;
            } else {
                raw = 16;
                relocs = 1;
            }
            put32(out, h + kSizeOfRawDataOffset, raw);
            put32(out, h + kPointerToRawDataOffset, static_cast<std::uint32_t>(out.size()));
            out.resize(out.size() + raw, 0x90);
            if (relocs) {
                put32(out, h + kPointerToRelocationsOffset, static_cast<std::uint32_t>(out.size()));
                put16(out, h + kNumberOfRelocationsOffset, relocs);
                out.resize(out.size() + kRelocationSize * std::size_t{relocs}, 0);
            }
            put32(out, h + kSectionCharacteristicsOffset, characteristics);
        }
        put32(out, kPointerToSymbolTableOffset, static_cast<std::uint32_t>(out.size()));
        Bytes strings;
        std::uint32_t records = 0;
        for (const SymbolOut& s : symbols) {
            Bytes r(kSymbolRecordSize, 0);
            if (s.name.size() <= kSymbolNameSize) {
                std::memcpy(r.data(), s.name.data(), s.name.size());
            } else {
                put32(r, kSymbolNameOffsetOffset, static_cast<std::uint32_t>(kStringTableSizeField + strings.size()));
                strings.insert(strings.end(), s.name.begin(), s.name.end());
                strings.push_back(0);
            }
            put32(r, kSymbolValueOffset, s.value);
            put16(r, kSymbolSectionOffset, static_cast<std::uint16_t>(s.section));
            put16(r, kSymbolTypeOffset, s.type);
            r[kSymbolClassOffset] = s.storage_class;
            r[kSymbolAuxCountOffset] = static_cast<std::uint8_t>(s.aux.size() / kSymbolRecordSize);
            out.insert(out.end(), r.begin(), r.end());
            out.insert(out.end(), s.aux.begin(), s.aux.end());
            records += 1 + static_cast<std::uint32_t>(s.aux.size() / kSymbolRecordSize);
        }
        put32(out, kNumberOfSymbolsOffset, records);
        const std::size_t at = out.size();
        out.resize(at + kStringTableSizeField);
        put32(out, at, static_cast<std::uint32_t>(kStringTableSizeField + strings.size()));
        out.insert(out.end(), strings.begin(), strings.end());
        return out;
    }

    // The same symbols as an x86-64 ELF relocatable object, as gfortran writes them: COMMON
    // blocks in SHN_COMMON with their size, procedures FUNC in .text, references undefined,
    // data OBJECT in .data. Sections: null, .text, .data, .bss, .symtab, .strtab, .shstrtab;
    // the file and section symbols are local and come first.
    Bytes elf_layout(const std::vector<SymbolOut>& symbols, std::uint32_t procedures, std::uint32_t data) {
        constexpr std::size_t kHeader = 64, kSection = 64, kSymbol = 24;
        constexpr std::uint16_t kText = 1, kData = 2, kBss = 3, kSymtab = 4, kStrtab = 5, kShstrtab = 6;
        const std::string section_names = std::string("\0.text\0.data\0.bss\0.symtab\0.strtab\0.shstrtab\0", 48);
        const std::uint32_t name_at[] = {0, 1, 7, 13, 18, 26, 34};
        std::string strings(1, '\0');
        Bytes table(kSymbol, 0);  // the null symbol
        const auto add = [&](const std::string& name, std::uint8_t info, std::uint16_t index, std::uint64_t value,
                             std::uint64_t size) {
            const std::size_t at = table.size();
            table.resize(at + kSymbol, 0);
            put32(table, at, name.empty() ? 0 : static_cast<std::uint32_t>(strings.size()));
            if (!name.empty()) strings += name + '\0';
            table[at + 4] = info;
            put16(table, at + 6, index);
            put64(table, at + 8, value);
            put64(table, at + 16, size);
        };
        add("fortran.f", 0x04, 0xFFF1, 0, 0);                                       // LOCAL FILE
        for (const std::uint16_t k : {kText, kData, kBss}) add("", 0x03, k, 0, 0);  // LOCAL SECTION
        const auto first_global = static_cast<std::uint32_t>(table.size() / kSymbol);
        std::uint64_t text_at = 0;
        for (const SymbolOut& sym : symbols) {
            if (sym.storage_class != 2) continue;
            if (sym.type == 0x20) {
                if (sym.section != 0)
                    add(sym.name, 0x12, kText, 16 * text_at++, 16);  // GLOBAL FUNC
                else
                    add(sym.name, 0x10, 0, 0, 0);  // GLOBAL NOTYPE, undefined
            } else if (sym.section == 0) {
                add(sym.name, 0x11, 0xFFF2, 16, sym.value);  // GLOBAL OBJECT in COMMON
            } else {
                add(sym.name, 0x11, kData, sym.value, 4);  // GLOBAL OBJECT in .data
            }
        }
        Bytes out;
        // Room for everything at once (GCC 12 misjudges the bounds of growing a vector of 64).
        out.reserve(kHeader + 16 * (std::size_t{procedures} + 1) + 4 * (std::size_t{data} + 1) + table.size() +
                    strings.size() + section_names.size() + 7 * kSection + 16);
        out.assign(kHeader, 0);
        const auto place = [&](std::size_t size, std::uint8_t fill) {
            const std::size_t at = out.size();
            out.insert(out.end(), size, fill);
            return at;
        };
        const std::size_t text = place(16 * std::size_t{procedures ? procedures : 1}, 0xC3);
        const std::size_t data_at = place(4 * std::size_t{data ? data : 1}, 0);
        while (out.size() % 8) out.push_back(0);
        const std::size_t symtab = place(table.size(), 0);
        std::memcpy(out.data() + symtab, table.data(), table.size());
        const std::size_t strtab = place(strings.size(), 0);
        std::memcpy(out.data() + strtab, strings.data(), strings.size());
        const std::size_t shstrtab = place(section_names.size(), 0);
        std::memcpy(out.data() + shstrtab, section_names.data(), section_names.size());
        while (out.size() % 8) out.push_back(0);
        const std::size_t shoff = out.size();
        out.resize(shoff + 7 * kSection, 0);
        const auto section = [&](std::uint16_t k, std::uint32_t type, std::uint64_t flags, std::size_t offset,
                                 std::size_t size, std::uint32_t link, std::uint32_t info, std::uint64_t entsize) {
            const std::size_t h = shoff + k * kSection;
            put32(out, h, name_at[k]);
            put32(out, h + 4, type);
            put64(out, h + 8, flags);
            put64(out, h + 24, offset);
            put64(out, h + 32, size);
            put32(out, h + 40, link);
            put32(out, h + 44, info);
            put64(out, h + 48, 16);
            put64(out, h + 56, entsize);
        };
        section(kText, 1, 0x6, text, 16 * std::size_t{procedures ? procedures : 1}, 0, 0, 0);
        section(kData, 1, 0x3, data_at, 4 * std::size_t{data ? data : 1}, 0, 0, 0);
        section(kBss, 8, 0x3, data_at, 4096, 0, 0, 0);
        section(kSymtab, 2, 0, symtab, table.size(), kStrtab, first_global, kSymbol);
        section(kStrtab, 3, 0, strtab, strings.size(), 0, 0, 0);
        section(kShstrtab, 3, 0, shstrtab, section_names.size(), 0, 0, 0);
        std::memcpy(out.data(),
                    "\x7f"
                    "ELF\x02\x01\x01",
                    7);
        put16(out, 16, 1);   // ET_REL
        put16(out, 18, 62);  // EM_X86_64
        put32(out, 20, 1);
        put64(out, 40, shoff);
        put16(out, 52, kHeader);
        put16(out, 58, kSection);
        put16(out, 60, 7);
        put16(out, 62, kShstrtab);
        return out;
    }

    const Options& o_;
    std::mt19937_64 rng_;
    std::vector<std::uint32_t> block_size_;
    std::vector<bool> mismatched_;
};

bool parse(int argc, char** argv, Options& o) {
    for (int k = 1; k + 1 < argc; k += 2) {
        const std::string_view key = argv[k];
        const char* v = argv[k + 1];
        if (key == "--out")
            o.out = v;
        else if (key == "--objects")
            o.objects = static_cast<std::uint32_t>(std::strtoul(v, nullptr, 10));
        else if (key == "--symbols")
            o.symbols = static_cast<std::uint32_t>(std::strtoul(v, nullptr, 10));
        else if (key == "--blocks")
            o.blocks = static_cast<std::uint32_t>(std::strtoul(v, nullptr, 10));
        else if (key == "--mismatch")
            o.mismatch = std::strtod(v, nullptr);
        else if (key == "--sections")
            o.sections = static_cast<std::uint32_t>(std::strtoul(v, nullptr, 10));
        else if (key == "--seed")
            o.seed = std::strtoull(v, nullptr, 10);
        else if (key == "--library")
            o.library = v;
        else if (key == "--llvm-lib")
            o.llvm_lib = v;
        else if (key == "--format")
            o.elf = std::string_view(v) == "elf";
        else if (key == "--gnu-library")
            o.gnu_library = v;
        else if (key == "--llvm-ar")
            o.llvm_ar = v;
        else
            return false;
    }
    return !o.out.empty() && o.objects > 0 && o.blocks > 0 && o.sections <= 0xFFFF && argc % 2 == 1;
}

}  // namespace

int main(int argc, char** argv) {
    Options o;
    if (!parse(argc, argv, o)) {
        std::fputs(
            "usage: quorv-corpus --out DIR [--objects N] [--symbols S] [--blocks B] [--mismatch F]\n"
            "         [--sections K] [--seed X] [--format coff|elf] [--library FILE] [--llvm-lib PROGRAM]\n"
            "         [--gnu-library FILE] [--llvm-ar PROGRAM]\n",
            stderr);
        return 64;
    }
    namespace fs = std::filesystem;
    fs::create_directories(o.out);
    Generator gen(o);
    std::vector<std::string> paths;
    std::uint64_t bytes = 0;
    for (std::uint32_t k = 0; k < o.objects; ++k) {
        char file[32];
        std::snprintf(file, sizeof file, o.elf ? "m%06u.o" : "m%06u.obj", k);
        const std::string path = (fs::path(o.out) / file).string();
        const Bytes content = gen.object(k);
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(content.data()), static_cast<std::streamsize>(content.size()));
        bytes += content.size();
        paths.push_back(path);
    }
    std::printf("%u objects, %llu bytes in %s\n", o.objects, static_cast<unsigned long long>(bytes), o.out.c_str());
    // Libraries take their member list through a response file: thousands of paths exceed a
    // command line.
    const auto library = [&](const std::string& file, const std::string& command_head) {
        const std::string rsp = file + ".rsp";
        {
            std::ofstream list(rsp);
            for (const std::string& p : paths) list << p << '\n';
        }
        fs::remove(file);
        const std::string command = command_head + " @" + rsp;
        const int status = std::system(command.c_str());
        if (status != 0) {
            std::fprintf(stderr, "quorv-corpus: '%s' failed (%d)\n", command.c_str(), status);
            return false;
        }
        std::printf("library %s (%llu bytes)\n", file.c_str(), static_cast<unsigned long long>(fs::file_size(file)));
        return true;
    };
    if (!o.library.empty() && !library(o.library, o.llvm_lib + " /out:" + o.library)) return 1;
    if (!o.gnu_library.empty() && !library(o.gnu_library, o.llvm_ar + " rcs --format=gnu " + o.gnu_library)) return 1;
    return 0;
}
