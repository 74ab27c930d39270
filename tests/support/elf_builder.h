#pragma once
// Test-only builder of ELF relocatable objects, 32- or 64-bit, either byte order: a null
// section, .text (1), .data (2), any further named sections, then .symtab, .strtab and
// .shstrtab, with the section header table at the end.
#include <cstdint>
#include <string>
#include <vector>

#include "coff_builder.h"

namespace quorv::test {

struct ElfSymbol {
    std::string name;
    std::uint64_t size = 0;
    std::uint8_t type = 0;     // 1 OBJECT, 2 FUNC, 4 FILE, 6 TLS, 10 GNU_IFUNC
    std::uint8_t binding = 1;  // 0 LOCAL, 1 GLOBAL, 2 WEAK, 10 GNU_UNIQUE
    std::uint16_t shndx = 0;   // 0 undefined, 1 .text, 2 .data, 0xFFF1 ABS, 0xFFF2 COMMON
};

inline ElfSymbol elf_common(std::string name, std::uint64_t size) {
    return {std::move(name), size, 1, 1, 0xFFF2};
}
inline ElfSymbol elf_function(std::string name, std::uint8_t binding = 1) {
    return {std::move(name), 0, 2, binding, 1};
}
inline ElfSymbol elf_data(std::string name, std::uint64_t size, std::uint8_t binding = 1) {
    return {std::move(name), size, 1, binding, 2};
}

struct ElfSpec {
    bool wide = true;  // ELFCLASS64
    bool big_endian = false;
    std::uint16_t type = 1;  // ET_REL
    std::uint16_t machine = 62;
    std::vector<std::string> more_sections;  // PROGBITS sections of 4 bytes each, after .data
    std::vector<ElfSymbol> symbols;
};

class ElfWriter {
  public:
    ElfWriter(Bytes& out, bool big_endian) : out_(out), big_(big_endian) {}
    void put(std::size_t at, std::uint64_t v, int width) {
        if (out_.size() < at + width) out_.resize(at + width);
        for (int k = 0; k < width; ++k) out_[at + (big_ ? width - 1 - k : k)] = static_cast<std::uint8_t>(v >> (8 * k));
    }

  private:
    Bytes& out_;
    bool big_;
};

inline Bytes make_elf(const ElfSpec& plan) {
    const std::size_t header = plan.wide ? 64 : 52, entsize = plan.wide ? 64 : 40, symsize = plan.wide ? 24 : 16;
    Bytes out(header, 0);
    ElfWriter w(out, plan.big_endian);
    const std::uint8_t ident[] = {0x7F,
                                  'E',
                                  'L',
                                  'F',
                                  static_cast<std::uint8_t>(plan.wide ? 2 : 1),
                                  static_cast<std::uint8_t>(plan.big_endian ? 2 : 1),
                                  1};
    std::copy(std::begin(ident), std::end(ident), out.begin());

    struct Sec {
        std::string name;
        std::uint32_t type;
        std::size_t offset, size;
        std::uint32_t link;
        std::size_t entsize;
    };
    std::vector<Sec> sections{{"", 0, 0, 0, 0, 0}};
    const auto add_data = [&](const std::string& name, std::uint32_t type, const Bytes& data, std::size_t es = 0) {
        while (out.size() % 8) out.push_back(0);
        sections.push_back({name, type, out.size(), data.size(), 0, es});
        append(out, data);
    };
    add_data(".text", 1, Bytes(4, 0x90));
    add_data(".data", 1, Bytes(4, 0));
    for (const std::string& name : plan.more_sections) add_data(name, 1, Bytes(4, 0));

    Bytes strings(1, 0), symbols(symsize, 0);
    for (const ElfSymbol& s : plan.symbols) {
        Bytes r(symsize, 0);
        ElfWriter rw(r, plan.big_endian);
        rw.put(0, strings.size(), 4);
        append(strings, s.name);
        strings.push_back(0);
        const std::uint8_t info = static_cast<std::uint8_t>((s.binding << 4) | s.type);
        if (plan.wide) {
            r[4] = info;
            rw.put(6, s.shndx, 2);
            rw.put(16, s.size, 8);
        } else {
            rw.put(8, s.size, 4);
            r[12] = info;
            rw.put(14, s.shndx, 2);
        }
        append(symbols, r);
    }
    const std::uint32_t symtab = static_cast<std::uint32_t>(sections.size());
    add_data(".symtab", 2, symbols, symsize);
    sections.back().link = symtab + 1;
    add_data(".strtab", 3, strings);
    Bytes names;
    std::vector<std::size_t> name_at;
    for (Sec& s : sections) {
        name_at.push_back(names.size());
        append(names, s.name);
        names.push_back(0);
    }
    name_at.push_back(names.size());
    append(names, std::string(".shstrtab"));
    names.push_back(0);
    add_data(".shstrtab", 3, names);

    while (out.size() % 8) out.push_back(0);
    const std::size_t shoff = out.size();
    for (std::size_t i = 0; i < sections.size(); ++i) {
        const Sec& s = sections[i];
        const std::size_t at = shoff + i * entsize;
        out.resize(at + entsize, 0);
        w.put(at, name_at[i], 4);
        w.put(at + 4, s.type, 4);
        if (plan.wide) {
            w.put(at + 24, s.offset, 8);
            w.put(at + 32, s.size, 8);
            w.put(at + 40, s.link, 4);
            w.put(at + 56, s.entsize, 8);
        } else {
            w.put(at + 16, s.offset, 4);
            w.put(at + 20, s.size, 4);
            w.put(at + 24, s.link, 4);
            w.put(at + 36, s.entsize, 4);
        }
    }
    w.put(16, plan.type, 2);
    w.put(18, plan.machine, 2);
    w.put(20, 1, 4);
    w.put(plan.wide ? 40 : 32, shoff, plan.wide ? 8 : 4);
    w.put(plan.wide ? 52 : 40, header, 2);
    w.put(plan.wide ? 58 : 46, entsize, 2);
    w.put(plan.wide ? 60 : 48, sections.size(), 2);
    w.put(plan.wide ? 62 : 50, sections.size() - 1, 2);
    return out;
}

}  // namespace quorv::test
