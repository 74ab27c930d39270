#pragma once
// The oracle's plain reading of one ELF module (a file, or an archive member's data): every
// offset relative to the module's first byte, 64-bit, and nothing read past its last byte.
#include <algorithm>
#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/oracle_model.h"

namespace quorv::fuzz::oracle::detail {

// count times size in decimal, whatever their product: the section table's expected count
// comes from a 64-bit field and may not fit in 64 bits once multiplied.
inline std::string product_text(std::uint64_t count, unsigned size) {
    std::string digits = std::to_string(count);
    unsigned carry = 0;
    for (auto d = digits.rbegin(); d != digits.rend(); ++d) {
        const unsigned v = static_cast<unsigned>(*d - '0') * size + carry;
        *d = static_cast<char>('0' + v % 10);
        carry = v / 10;
    }
    for (; carry != 0; carry /= 10) digits.insert(digits.begin(), static_cast<char>('0' + carry % 10));
    return digits;
}

class ElfModule {
  public:
    ElfModule(std::span<const std::uint8_t> bytes, Expected& out) : m_(bytes), out_(out) {}

    int read(const std::string& path) {
        const std::uint64_t header = m_.size() > 4 && m_[4] == 1 ? 52 : 64;
        if (m_.size() < header) {
            out_.report(short_read(m_.size(), header, "process_file_header"));
            return out_.report("Error reading file header\n"), 1;
        }
        if ((m_[4] != 1 && m_[4] != 2) || (m_[5] != 1 && m_[5] != 2))
            return out_.report("Error - bad ELF file header\n"), 1;
        wide_ = m_[4] == 2;
        big_endian_ = m_[5] == 2;
        const std::uint64_t type = get(16, 2);
        if (type == 2 || type == 3 || type == 4) return out_.report(not_object(path)), 0;
        machine_ = get(18, 2);
        const std::uint64_t shoff = wide_ ? get(40, 8) : get(32, 4);
        if (shoff == 0) return 0;
        const unsigned entsize = wide_ ? 64 : 40;
        if (get(wide_ ? 58 : 46, 2) != entsize) return out_.report("Error reading section headers\n"), 1;
        std::uint64_t count = get(wide_ ? 60 : 48, 2);
        if (count == 0) {
            if (!within(shoff, entsize)) {
                out_.report(short_read(left(shoff), entsize, "analyze"));
                return out_.report("Error reading section headers\n"), 1;
            }
            count = wide_ ? get(shoff + 32, 8) : get(shoff + 20, 4);
        }
        if (shoff > m_.size() || count > (m_.size() - shoff) / entsize) {
            out_.report(short_read(left(shoff), product_text(count, entsize), "analyze"));
            return out_.report("Error reading section headers\n"), 1;
        }
        for (std::uint64_t i = 0; i < count; ++i) sections_.push_back(section(shoff + i * entsize));
        overlaps();

        bool failed = false;
        std::vector<Recorded> found;
        bool slim = false;
        for (std::size_t i = 1; i < sections_.size(); ++i)
            if (sections_[i].type == 2) {
                failed = !symbols(sections_[i], found, slim);
                break;
            }
        // Link-time-optimization objects are told after the scan and leave nothing behind; the
        // compiler's own __gnu_lto_* markers are not symbols of the module's own.
        const bool own = std::any_of(found.begin(), found.end(),
                                     [](const Recorded& r) { return r.name.rfind("__gnu_lto_", 0) != 0; });
        if (slim || (!own && has_lto_section())) {
            out_.report(other_code(path));
            return failed ? 1 : 0;
        }
        record_module(out_, found, path);
        return failed ? 1 : 0;
    }

  private:
    struct Section {
        std::uint64_t name, type, offset, size, link, entsize;
    };

    std::uint64_t get(std::uint64_t at, int width) const {
        std::uint64_t v = 0;
        for (int k = 0; k < width; ++k) {
            const std::uint64_t byte = m_[at + (big_endian_ ? k : width - 1 - k)];
            v = (v << 8) | byte;
        }
        return v;
    }
    bool within(std::uint64_t offset, std::uint64_t size) const {
        return offset <= m_.size() && size <= m_.size() - offset;
    }
    std::uint64_t left(std::uint64_t offset) const { return offset < m_.size() ? m_.size() - offset : 0; }

    Section section(std::uint64_t at) const {
        if (wide_)
            return {get(at, 4), get(at + 4, 4), get(at + 24, 8), get(at + 32, 8), get(at + 40, 4), get(at + 56, 8)};
        return {get(at, 4), get(at + 4, 4), get(at + 16, 4), get(at + 20, 4), get(at + 24, 4), get(at + 36, 4)};
    }

    // Whether x lies before the end of the region [offset, offset + size), without wrapping.
    static bool before_end(std::uint64_t x, const Section& s) { return x < s.offset || x - s.offset < s.size; }

    void overlaps() {
        const auto takes_part = [](const Section& s) { return s.type != 8 && s.size != 0; };
        for (std::size_t i = 1; i < sections_.size(); ++i) {
            if (!takes_part(sections_[i])) continue;
            for (std::size_t j = i + 1; j < sections_.size(); ++j) {
                const Section &a = sections_[i], &b = sections_[j];
                if (!takes_part(b) || !before_end(a.offset, b) || !before_end(b.offset, a)) continue;
                if (!out_.keeps_next()) {
                    out_.count_one();
                    continue;
                }
                out_.report(format("Object Format Error: Raw data overlap between sections %llx and %llx\n", i, j));
            }
        }
    }

    // The zero-terminated text at offset of a table, cut at the table's end.
    std::string text_at(const Section& table, std::uint64_t offset) const {
        std::string text;
        for (std::uint64_t at = table.offset + offset; at < table.offset + table.size && m_[at] != 0; ++at)
            text.push_back(static_cast<char>(m_[at]));
        return text;
    }

    bool symbols(const Section& table, std::vector<Recorded>& found, bool& slim) {
        const unsigned entsize = wide_ ? 24 : 16;
        if (table.entsize != entsize) return out_.report("Error reading symbol table\n"), false;
        const std::uint64_t n = table.size / entsize;
        if (!within(table.offset, n * entsize)) {
            out_.report(short_read(left(table.offset), n * entsize, "analyze"));
            return out_.report("Error reading symbol table\n"), false;
        }
        if (table.link == 0 || table.link >= sections_.size() || sections_[table.link].type != 3 ||
            !within(sections_[table.link].offset, sections_[table.link].size))
            return out_.report("Read of string table failed\n"), false;
        const Section& strings = sections_[table.link];
        bool ok = true;
        for (std::uint64_t k = 1; k < n; ++k) {
            const std::uint64_t r = table.offset + k * entsize;
            const std::uint64_t name_at = get(r, 4);
            const unsigned info = static_cast<unsigned>(wide_ ? get(r + 4, 1) : get(r + 12, 1));
            const std::uint64_t shndx = wide_ ? get(r + 6, 2) : get(r + 14, 2);
            const std::uint64_t size = wide_ ? get(r + 16, 8) : get(r + 8, 4);
            const bool named = name_at < strings.size;
            if (!named) {
                out_.report(format("QUORV Internal: name offset %8llx is outside string table", name_at));
                ok = false;
            }
            const bool x86_64_common = shndx == 0xFF02 && machine_ == 62;
            if (!(shndx == 0 || shndx < sections_.size() || shndx == 0xFFF1 || shndx == 0xFFF2 || shndx == 0xFFFF ||
                  x86_64_common)) {
                out_.report("Error: Section number is out of range\n");
                ok = false;
            }
            if (!named) continue;
            const std::string name = text_at(strings, name_at);
            if (name.empty()) continue;
            if (name == "__gnu_lto_slim") slim = true;
            const unsigned type = info & 15, binding = info >> 4;
            const bool exported = binding == 1 || binding == 2 || binding == 10;
            if (shndx == 0xFFF2 || x86_64_common)
                found.push_back({Recorded::declaration, name, size});
            else if ((type == 2 || type == 10) && shndx != 0 && exported)
                found.push_back({Recorded::procedure, name, 0});
            else if ((type == 1 || type == 6) && shndx != 0 && shndx != 0xFFF1 && exported)
                found.push_back({Recorded::defined_data, name, size});
        }
        return ok;
    }

    bool has_lto_section() const {
        if (sections_.empty()) return false;
        std::uint64_t index = get(wide_ ? 62 : 50, 2);
        if (index == 0xFFFF) index = sections_[0].link;
        if (index >= sections_.size()) return false;
        const Section& names = sections_[index];
        if (names.type != 3 || !within(names.offset, names.size)) return false;
        for (std::size_t i = 1; i < sections_.size(); ++i)
            if (sections_[i].name < names.size && text_at(names, sections_[i].name).starts_with(".gnu.lto_"))
                return true;
        return false;
    }

    std::span<const std::uint8_t> m_;
    Expected& out_;
    bool wide_ = false, big_endian_ = false;
    std::uint64_t machine_ = 0;
    std::vector<Section> sections_;
};

inline int read_elf(std::span<const std::uint8_t> module, Expected& out, const std::string& path) {
    return ElfModule(module, out).read(path);
}

}  // namespace quorv::fuzz::oracle::detail
