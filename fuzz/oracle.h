#pragma once
// A second, deliberately plain reading of one input held in memory, written from the rules
// of the run, the reader and the scan without any of the engine's code: every message in
// order, the result, and the model it must leave. The fuzz targets and the hostile-input
// tests compare the engine against it, so a fast path that changes what is reported, or a
// model that orders or marks differently, shows up as a difference.
//
// This file holds the signatures, COFF objects, big objects and the archive walks; ELF
// modules are in oracle_elf.h, the model and how a module's symbols reach it in
// oracle_model.h.
#include <algorithm>
#include <cstdint>
#include <functional>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz/oracle_elf.h"
#include "fuzz/oracle_model.h"

namespace quorv::fuzz::oracle {

// The bytes of a thin archive's member file by the path tried, or null when that file
// cannot be opened.
using MemberFiles = std::function<const std::string*(const std::string& path)>;

namespace detail {

inline std::uint16_t u16(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t u32(const std::uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (std::uint32_t{p[3]} << 24);
}

inline bool starts(std::span<const std::uint8_t> m, std::string_view prefix) {
    return m.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), m.begin(), [](char c, std::uint8_t b) {
               return static_cast<std::uint8_t>(c) == b;
           });
}

enum class Kind { coff, short_import, big_object, other_code, elf };

// What a module's first bytes make of it. Files have passed the signature steps before.
inline Kind kind_of(std::span<const std::uint8_t> m) {
    using namespace std::string_view_literals;
    if (starts(m, "\0\0\xFF\xFF"sv)) {
        if (m.size() < 6) return Kind::coff;
        const std::uint16_t version = u16(m.data() + 4);
        if (version == 0) return Kind::short_import;
        constexpr std::string_view kBigObject = "\xC7\xA1\xBA\xD1\xEE\xBA\xA9\x4B\xAF\x20\xFA\xF6\x6A\xA4\xDC\xB8"sv;
        if (version == 2 && m.size() >= 28 && starts(m.subspan(12), kBigObject)) return Kind::big_object;
        return Kind::other_code;
    }
    if (starts(m, "BC\xC0\xDE"sv) || starts(m, "\xDE\xC0\x17\x0B"sv)) return Kind::other_code;
    if (starts(m,
               "\x7F"
               "ELF"sv))
        return Kind::elf;
    return Kind::coff;
}

// An archive header's size field: one or more ASCII digits, then only blanks.
inline bool decimal(const std::uint8_t* field, std::uint64_t& value) {
    std::size_t k = 0;
    value = 0;
    for (; k < 10 && field[k] >= '0' && field[k] <= '9'; ++k) value = value * 10 + (field[k] - '0');
    if (k == 0) return false;
    for (; k < 10; ++k)
        if (field[k] != ' ') return false;
    return true;
}

inline bool digits_after(const std::string& text, std::string_view prefix) {
    return text.size() > prefix.size() && text.starts_with(prefix) &&
           std::all_of(text.begin() + prefix.size(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

inline std::uint64_t number(std::string_view digits) {
    std::uint64_t v = 0;
    for (const char c : digits) v = v * 10 + static_cast<std::uint64_t>(c - '0');
    return v;
}

inline std::uint64_t even(std::uint64_t offset) {
    return offset + (offset & 1);
}

class Reading {
  public:
    Reading(std::span<const std::uint8_t> bytes, Expected& out, const MemberFiles& files)
        : bytes_(bytes), out_(out), files_(files) {}

    int analyze(const std::string& full_path, const std::string& display_name) {
        std::uint8_t sig[8] = {};
        if (!read(sig, 2, display_name)) return out_.report("Error reading file signature\n"), 0;
        const std::string_view two(reinterpret_cast<const char*>(sig), 2);
        if (two == "MZ" || two == "NE" || two == "LE") return out_.report(not_object(full_path)), 0;
        seek(0);
        if (!read(sig, 4, "analyze")) return out_.report("Error reading file signature\n"), 1;
        if (std::string_view(reinterpret_cast<const char*>(sig), 4) == std::string_view("PE\0\0", 4))
            return out_.report(not_object(full_path)), 1;
        seek(0);
        if (!read(sig, 8, "analyze")) return out_.report("Error reading file signature\n"), 1;
        const std::string_view eight(reinterpret_cast<const char*>(sig), 8);
        if (eight == "!<arch>\n") return other_layout() ? members(full_path, false) : archive(full_path);
        if (eight == "!<thin>\n") return members(full_path, true);
        return module(0, bytes_.size(), full_path);
    }

    int object(std::uint32_t base, const std::string& path) {
        std::uint8_t h[20];
        if (!read(h, 20, "process_file_header")) return out_.report("Error reading file header\n"), 1;
        const std::uint16_t machine = u16(h), sections = u16(h + 2), optional = u16(h + 16);
        const std::uint32_t stamp = u32(h + 4), pointer = u32(h + 8), symbols = u32(h + 12);
        header_checks(stamp, machine);
        const std::string could_not = "Could not process optional header (file " + path + ")";
        if (optional != 0) {
            if (optional != 28 && optional != 224) {
                out_.report(format("QUORV Internal: bad optional header size of %llu (expecting %llu or %llu)\n",
                                   optional, 28, 224));
                return out_.report(could_not), 1;
            }
            std::uint8_t o[224];
            if (!read(o, optional, "process_opt_header")) {
                out_.report("QUORV Internal:  error reading optional header\n");
                return out_.report(could_not), 1;
            }
            const std::uint16_t subsystem = optional == 224 ? u16(o + 68) : 0;
            if (!(subsystem <= 3 || subsystem == 5 || subsystem == 7))
                out_.report("QUORV Internal: bad optional header subsystem value\n");
        }
        return sections_and_symbols(base, path, {sections, pointer, symbols, 18});
    }

    // A big object: the same rules from its own 56-byte header, with 32-bit section counts
    // and numbers and 20-byte symbol records.
    int big_object(std::uint32_t base, const std::string& path) {
        std::uint8_t h[56];
        if (!read(h, 56, "process_file_header")) return out_.report("Error reading file header\n"), 1;
        header_checks(u32(h + 8), u16(h + 6));
        return sections_and_symbols(base, path, {u32(h + 44), u32(h + 48), u32(h + 52), 20});
    }

  private:
    struct Layout {
        std::uint32_t sections, pointer, symbols;
        std::uint32_t record;  // 18 for COFF, 20 for big objects
    };

    // The stream's rules: positions wrap at 2^32, positioning at 2^31 or beyond fails. A
    // bounded view is the stream's bytes cut at the member's end.
    bool seek(std::uint32_t offset) {
        if (offset >= 0x80000000u) return false;
        position_ = offset;
        return true;
    }
    std::size_t held() const { return position_ < bytes_.size() ? bytes_.size() - position_ : 0; }
    // into may be null when the read is known to come up short and its bytes are not used.
    bool read(std::uint8_t* into, std::size_t count, std::string_view where) {
        const std::size_t got = std::min(count, held());
        if (into != nullptr) std::copy_n(bytes_.data() + position_, got, into);
        position_ += static_cast<std::uint32_t>(got);
        if (got == count) return true;
        out_.report(short_read(got, count, std::string(where)));
        return false;
    }
    void advance(std::uint32_t n) { seek(position_ + n); }

    // The module [base, end) of these bytes, by what its first bytes say. COFF objects and
    // big objects are read through this stream from base.
    int module(std::uint64_t base, std::uint64_t end, const std::string& path) {
        const auto m = bytes_.subspan(base, end - base);
        switch (kind_of(m)) {
            case Kind::short_import:
                return 0;
            case Kind::other_code:
                return out_.report(other_code(path)), 0;
            case Kind::elf:
                return read_elf(m, out_, path);
            case Kind::big_object:
                seek(static_cast<std::uint32_t>(base));
                return big_object(static_cast<std::uint32_t>(base), path);
            case Kind::coff:
                break;
        }
        seek(static_cast<std::uint32_t>(base));
        return object(static_cast<std::uint32_t>(base), path);
    }

    void header_checks(std::uint32_t stamp, std::uint16_t machine) {
        if (stamp >= 0x80000000u) out_.report("Error - bad file header time stamp\n");
        static constexpr std::uint16_t kMachines[] = {0, 0x14C, 0x162, 0x166, 0x168, 0x183, 0x184, 0x1F0};
        if (std::find(std::begin(kMachines), std::end(kMachines), machine) == std::end(kMachines))
            out_.report("Error - bad file header machine value\n");
    }

    int sections_and_symbols(std::uint32_t base, const std::string& path, const Layout& l) {
        std::vector<std::uint8_t> table;
        if (l.sections != 0) {
            const std::size_t size = std::size_t{40} * l.sections;
            if (held() >= size) table.resize(size);
            if (!read(table.empty() ? nullptr : table.data(), size, "analyze"))
                return out_.report("Error reading section headers\n"), 1;
        }
        bool failed = false;
        std::vector<std::uint8_t> strings;
        if (l.pointer != 0)
            failed = !string_table(
                static_cast<std::uint32_t>(std::uint64_t{base} + l.pointer + std::uint64_t{l.record} * l.symbols),
                strings);
        overlaps(table, l.sections);
        std::vector<std::uint8_t> records;
        std::uint32_t count = 0;
        if (l.symbols != 0 && l.pointer != 0) {
            const std::uint64_t size = std::uint64_t{l.record} * l.symbols;
            const bool strings_failed = failed;
            failed = true;
            if (size > 0xFFFFFFFFu) {
                out_.report("\nError: Unable to allocate " + std::to_string(size) +
                            " byte buffer to hold symbol table\n");
            } else if (!seek(base + l.pointer)) {
                out_.report("Error seeking to symbol table\n");
            } else if (held() < size) {
                read(nullptr, size, "analyze");
                out_.report("Error reading symbol table\n");
            } else if (records.resize(size), !read(records.data(), records.size(), "analyze")) {
                out_.report("Error reading symbol table\n");
            } else {
                failed = strings_failed;
                count = l.symbols;
            }
        }
        const bool scan_failed = scan(records.data(), count, strings, l, path);
        return failed || scan_failed ? 1 : 0;
    }

    bool string_table(std::uint32_t at, std::vector<std::uint8_t>& strings) {
        if (!seek(at))
            return out_.report(format("Error seeking to start of string table at file address %llx\n", at)), false;
        std::uint8_t field[4];
        if (!read(field, 4, "analyze")) return out_.report("Error reading string table size\n"), false;
        const std::uint32_t size = u32(field);
        if (size == 0 || size == 4) return true;
        if (size < 4) return out_.report("Bad string table size\n"), false;
        // Only what the input holds is ever allocated: a longer read comes up short.
        if (held() < size - 4u) {
            read(nullptr, size - 4u, "analyze");
            return out_.report("Read of string table failed\n"), false;
        }
        strings.resize(size - 4u);
        return read(strings.data(), strings.size(), "analyze");
    }

    static bool overlap(std::uint32_t s1, std::uint32_t l1, std::uint32_t s2, std::uint32_t l2) {
        if (s1 == 0 || l1 == 0 || s2 == 0 || l2 == 0) return false;
        const std::uint32_t e1 = s1 + l1 - 1, e2 = s2 + l2 - 1;
        return (s2 <= s1 && s1 <= e2) || (s2 <= e1 && e1 <= e2) || (s1 <= s2 && e1 >= e2);
    }

    void overlaps(const std::vector<std::uint8_t>& table, std::size_t sections) {
        static const char* const kTexts[9] = {
            "Object Format Error: Raw data overlap between sections %llx and %llx\n",
            "Object Format Error: Section %llx raw data overlaps section %llx relocations\n",
            "Object Format Error: Section %llx raw data overlaps section %llx line numbers\n",
            "Object Format Error: Section %llx relocations overlap section %llx raw data\n",
            "Object Format Error: Relocations overlap for sections %llx and %llx\n",
            "Object Format Error: Section %llx relocations overlap section %llx line numbers\n",
            "Object Format Error: Section %llx line numbers overlap section %llx raw data\n",
            "Object Format Error: Section %llx line numbers overlap section %llx relocations\n",
            "Object Format Error: Line numbers overlap for sections %llx and %llx\n"};
        struct Region {
            std::uint32_t start, length;
        };
        const auto region = [&](std::size_t n, int kind) {
            const std::uint8_t* h = table.data() + 40 * (n - 1);
            if (kind == 0) return Region{u32(h + 20), u32(h + 16)};
            if (kind == 1) return Region{u32(h + 24), 10u * u16(h + 32)};
            return Region{u32(h + 28), 6u * u16(h + 34)};
        };
        // The texts depend on the section table alone: the last table's are kept (when few),
        // so that the cuts of one file through its later tables do not test every pair again.
        static std::vector<std::uint8_t> last_table;
        static std::vector<std::string> last_texts;
        if (table == last_table) {
            for (const std::string& text : last_texts) out_.report(text);
            return;
        }
        last_table.clear();
        last_texts.clear();
        bool keep = true;
        for (std::size_t i = 1; i < sections; ++i)
            for (std::size_t j = i + 1; j <= sections; ++j)
                for (int t = 0; t < 9; ++t) {
                    const Region a = region(i, t / 3), b = region(j, t % 3);
                    if (!overlap(a.start, a.length, b.start, b.length)) continue;
                    keep = keep && last_texts.size() < 10000;
                    if (!keep && !out_.keeps_next()) {
                        out_.count_one();
                        continue;
                    }
                    std::string text = format(kTexts[t], i, j);
                    if (keep) last_texts.push_back(text);
                    out_.report(std::move(text));
                }
        if (keep)
            last_table = table;
        else
            last_texts.clear();
    }

    bool scan(const std::uint8_t* records, std::uint32_t n, const std::vector<std::uint8_t>& strings, const Layout& l,
              const std::string& path) {
        const bool big = l.record == 20;
        bool error = false;
        std::vector<Recorded> found;
        for (std::uint32_t i = 0; i < n;) {
            const std::uint8_t* r = records + std::size_t{l.record} * i;
            const std::int64_t section = big ? std::int64_t{static_cast<std::int32_t>(u32(r + 12))}
                                             : std::int64_t{static_cast<std::int16_t>(u16(r + 12))};
            const std::uint16_t type = u16(r + (big ? 16 : 14));
            const std::uint8_t storage = r[big ? 18 : 16], aux = r[big ? 19 : 17];
            std::string name;
            bool named = true;
            if (u32(r) != 0) {
                name.assign(reinterpret_cast<const char*>(r), 8);
                name.resize(std::min(name.find('\0'), name.size()));
            } else if (const std::uint32_t at = u32(r + 4) - 4; at < strings.size()) {
                const auto first = strings.begin() + at;
                name.assign(first, std::find(first, strings.end(), std::uint8_t{0}));
            } else {
                out_.report(format("QUORV Internal: name offset %8llx is outside string table", u32(r + 4)));
                error = true;
                named = false;
            }
            if (named && (type & 0x30) == 0x20 && section != 0) {
                if (name.find('@') == std::string::npos) found.push_back({Recorded::procedure, name, 0});
            } else if (named && storage == 2 && type == 0) {
                if (section > 0) found.push_back({Recorded::defined_data, name, 0});
                if (section == 0) found.push_back({Recorded::declaration, name, u32(r + 8)});
            }
            // Signed against unsigned as numbers: a big object's count may pass 2^31.
            if (section < -2 || section > std::int64_t{l.sections}) {
                out_.report("Error: Section number is out of range\n");
                error = true;
            }
            if (std::uint64_t{i} + aux >= n) {
                out_.report("Error:  Aux symbol count overflows symbol table\n");
                error = true;
                i += 1;
            } else {
                i += 1 + ((storage == 105 && aux >= 1) ? 1 : aux);
            }
        }
        record_module(out_, found, path);
        return error;
    }

    // The Microsoft layout's walk, through the second linker member's offsets. Its members
    // are not bounded: a COFF member reads on into whatever follows it.
    int archive(const std::string& library) {
        std::uint8_t field[4];
        advance(60);
        if (!read(field, 4, "analyze")) return out_.report("Error with number of symbols in library\n"), 1;
        const std::uint32_t names = (std::uint32_t{field[0]} << 24) | (field[1] << 16) | (field[2] << 8) | field[3];
        advance(4 * names);
        std::uint8_t byte = 0;
        for (std::uint32_t k = 0; k < names; ++k) {
            bool ended = false;
            do {
                if (!read(&byte, 1, "analyze")) {
                    ended = true;
                    break;
                }
            } while (byte != 0);
            if (ended) break;
        }
        if (position_ % 2 != 0) advance(1);
        advance(60);
        if (!read(field, 4, "analyze")) return out_.report("Error reading number of members in library\n"), 1;
        const std::uint32_t members = u32(field);
        std::vector<std::uint32_t> offsets;
        for (std::uint32_t k = 0; k < members; ++k) {
            if (!read(field, 4, "analyze")) return out_.report("Error reading library members"), 1;
            offsets.push_back(u32(field));
        }
        for (const std::uint32_t offset : offsets) {
            const bool placed = seek(offset);
            std::uint8_t header[60] = {};
            const bool whole = read(header, 60, "analyze");
            std::string name;
            for (std::size_t i = 0; i < 60 && header[i] != 0; ++i)
                if (header[i] == '/') {
                    name.assign(reinterpret_cast<const char*>(header), i);
                    break;
                }
            const std::string path = library + (name.empty() ? " (no obj file given)" : " (" + name + ")");
            int result;
            if (placed && whole) {
                // The member's data start right after its header; only an ELF module ends
                // where the size field says.
                const std::uint64_t base = std::uint64_t{offset} + 60;
                std::uint64_t size = 0, end = bytes_.size();
                if (decimal(header + 48, size)) end = std::min<std::uint64_t>(base + size, bytes_.size());
                if (kind_of(bytes_.subspan(base)) == Kind::elf)
                    result = read_elf(bytes_.subspan(base, end - base), out_, path);
                else
                    result = module(base, bytes_.size(), path);
            } else {
                result = object(offset + 60, path);
            }
            if (result == 1) return 1;
        }
        return 0;
    }

    // Whether "!<arch>\n" is positively not the Microsoft layout, from the bytes alone: the
    // first member is not "/", or a "/" is followed by a member other than a second "/".
    // A cut or damaged first member keeps the Microsoft walk and its messages.
    bool other_layout() const {
        static constexpr std::string_view kLinker = "/               ";
        const auto name_at = [&](std::uint64_t at) {
            return std::string_view(reinterpret_cast<const char*>(bytes_.data() + at), 16);
        };
        if (bytes_.size() < 24) return false;
        if (name_at(8) != kLinker) return true;
        std::uint64_t size = 0;
        if (bytes_.size() < 66 || !decimal(bytes_.data() + 56, size)) return false;
        const std::uint64_t next = even(68 + size);
        if (next > bytes_.size() || bytes_.size() - next < 60) return false;
        return name_at(next) != kLinker;
    }

    std::string text(std::uint64_t at, std::uint64_t count) const {
        return std::string(reinterpret_cast<const char*>(bytes_.data() + at), count);
    }

    // GNU, BSD and thin archives: header after header from offset 8. Every fault of the
    // walk is found from the archive's length, before anything of that member is read.
    int members(const std::string& library, bool thin) {
        const std::uint64_t length = bytes_.size();
        const auto bad = [&] { return out_.report("Error reading library members"), 1; };
        std::optional<std::string> long_names;
        for (std::uint64_t at = 8; at < length;) {
            if (length - at < 60) return bad();
            const std::uint8_t* h = bytes_.data() + at;
            std::uint64_t size = 0;
            if (!decimal(h + 48, size)) return bad();
            const std::uint64_t data = at + 60;
            const bool held_whole = size <= length - data;
            std::string field = text(at, 16);
            field.resize(std::min(field.find('\0'), field.size()));
            field.erase(field.find_last_not_of(' ') + 1);
            if (field == "/" || field == "/SYM64/" || field == "//") {
                if (!held_whole) return bad();
                if (field == "//") long_names = text(data, size);
                at = even(data + size);
                continue;
            }
            std::string name;
            std::uint64_t name_bytes = 0;  // a "#1/N" name is the first N bytes of the data
            if (digits_after(field, "#1/")) {
                name_bytes = number(std::string_view(field).substr(3));
                // A thin archive's member holds no data, so a name cannot stand there.
                if (name_bytes > size || (thin && name_bytes > 0) || name_bytes > length - data) return bad();
                name = text(data, name_bytes);
            } else if (digits_after(field, "/")) {
                const std::uint64_t n = number(std::string_view(field).substr(1));
                if (!long_names || n >= long_names->size()) return bad();
                name = long_names->substr(n);
                if (const auto line_feed = name.find('\n'); line_feed != std::string::npos) {
                    name.resize(line_feed);
                    if (!name.empty() && name.back() == '/') name.pop_back();
                }
            } else if (!field.empty() && field.back() == '/') {
                name = field.substr(0, field.size() - 1);
            } else {
                name = field;
            }
            name.resize(std::min(name.find('\0'), name.size()));
            if (name == "__.SYMDEF" || name == "__.SYMDEF SORTED" || name == "__.SYMDEF_64" ||
                name == "__.SYMDEF_64 SORTED") {
                if (!held_whole) return bad();
                at = even(data + size);
                continue;
            }
            const std::string path = library + (name.empty() ? " (no obj file given)" : " (" + name + ")");
            if (thin) {
                // The member's file is read instead; the next header follows at once.
                at = data;
                if (thin_member(library, name, path) == 1) return 1;
                continue;
            }
            if (!held_whole) return bad();
            at = even(data + size);
            if (Reading(bytes_.first(data + size), out_, files_).module(data + name_bytes, data + size, path) == 1)
                return 1;
        }
        return 0;
    }

    int thin_member(const std::string& library, const std::string& name, const std::string& path) {
        const bool absolute = !name.empty() && (name[0] == '/' || name[0] == '\\');
        const std::string tried = absolute ? name : library.substr(0, library.find_last_of("/\\") + 1) + name;
        const std::string* file = files_ ? files_(tried) : nullptr;
        if (file == nullptr) return out_.report("Cannot open file: " + tried), 1;
        const std::span bytes(reinterpret_cast<const std::uint8_t*>(file->data()), file->size());
        return Reading(bytes, out_, files_).module(0, bytes.size(), path);
    }

    std::span<const std::uint8_t> bytes_;
    Expected& out_;
    const MemberFiles& files_;
    std::uint32_t position_ = 0;
};

}  // namespace detail

// One input of a run: its entry's texts and its bytes, or none when it cannot be opened.
struct RunInput {
    std::string full_path;
    std::string display_name;
    const std::string* bytes = nullptr;
};

// What a whole run must do over the inputs in file-list order, after the messages the file
// list gave. result is 0 when the run completes, 1 when it stops. Thin archives' member
// files come from files; without it none can be opened.
inline Expected expect_run(const std::vector<std::string>& listing, const std::vector<RunInput>& inputs,
                           const MemberFiles& files = {}) {
    Expected e;
    for (const std::string& m : listing) e.report(m);
    for (const RunInput& in : inputs) {
        if (in.bytes == nullptr) {
            e.report("Cannot open file: " + in.full_path);
            e.result = 1;
            break;
        }
        const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(in.bytes->data()),
                                                  in.bytes->size());
        if (detail::Reading(bytes, e, files).analyze(in.full_path, in.display_name) == 1) {
            e.result = 1;
            break;
        }
    }
    detail::finish(e);
    return e;
}

// What analyze_input must do with these bytes for an entry of these names.
inline Expected expect_input(std::span<const std::uint8_t> bytes, const std::string& full_path,
                             const std::string& display_name, const MemberFiles& files = {}) {
    Expected e;
    e.result = detail::Reading(bytes, e, files).analyze(full_path, display_name);
    detail::finish(e);
    return e;
}

// What read_object_module must do with these bytes as one COFF module at base 0.
inline Expected expect_object(std::span<const std::uint8_t> bytes, const std::string& full_path) {
    Expected e;
    const MemberFiles none;
    e.result = detail::Reading(bytes, e, none).object(0, full_path);
    detail::finish(e);
    return e;
}

}  // namespace quorv::fuzz::oracle
