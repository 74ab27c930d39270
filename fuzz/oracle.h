#pragma once
// A second, deliberately plain reading of one input held in memory, written from the rules
// of the run, the reader and the scan without any of the engine's code: every message in
// order, the result, and the model it must leave. The fuzz targets and the hostile-input
// tests compare the engine against it, so a fast path that changes what is reported, or a
// model that orders or marks differently, shows up as a difference.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <map>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace quorv::fuzz::oracle {

struct Declaration {
    std::uint32_t size = 0;
    bool initialized = false;
    std::string path;
};

struct Procedure {
    std::string name;
    std::string path;
};

struct Expected {
    // The first kKeptMessages texts; count says how many there are in all. Later texts are
    // only counted, so that an input with a million overlaps costs no more than the engine.
    static constexpr std::size_t kKeptMessages = 20000;
    std::vector<std::string> messages;
    std::size_t count = 0;
    int result = 0;
    std::map<std::string, std::vector<Declaration>> blocks;  // std::string orders as compare_names
    std::vector<Procedure> procedures;                       // in procedure_list order

    void report(std::string text) {
        if (count++ < kKeptMessages) messages.push_back(std::move(text));
    }
    bool keeps_next() const { return count < kKeptMessages; }
    void count_one() { ++count; }
};

namespace detail {

inline std::string format(const char* f, unsigned long long a = 0, unsigned long long b = 0,
                          unsigned long long c = 0) {
    char buffer[160];
    std::snprintf(buffer, sizeof buffer, f, a, b, c);
    return buffer;
}

inline std::uint16_t u16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }
inline std::uint32_t u32(const std::uint8_t* p) {
    return p[0] | (p[1] << 8) | (p[2] << 16) | (std::uint32_t{p[3]} << 24);
}

class Reading {
public:
    Reading(std::span<const std::uint8_t> bytes, Expected& out) : bytes_(bytes), out_(out) {}

    int analyze(const std::string& full_path, const std::string& display_name) {
        std::uint8_t sig[8] = {};
        if (!read(sig, 2, display_name)) return out_.report("Error reading file signature\n"), 0;
        const std::string not_object = "The file " + full_path + " is not an object file.";
        const std::string_view two(reinterpret_cast<const char*>(sig), 2);
        if (two == "MZ" || two == "NE" || two == "LE") return out_.report(not_object), 0;
        seek(0);
        if (!read(sig, 4, "analyze")) return out_.report("Error reading file signature\n"), 1;
        if (std::string_view(reinterpret_cast<const char*>(sig), 4) == std::string_view("PE\0\0", 4))
            return out_.report(not_object), 1;
        seek(0);
        if (!read(sig, 8, "analyze")) return out_.report("Error reading file signature\n"), 1;
        if (std::string_view(reinterpret_cast<const char*>(sig), 8) != "!<arch>\n") {
            seek(0);
            return object(0, full_path);
        }
        return archive(full_path);
    }

    int object(std::uint32_t base, const std::string& path) {
        std::uint8_t h[20];
        if (!read(h, 20, "process_file_header")) return out_.report("Error reading file header\n"), 1;
        const std::uint16_t machine = u16(h), sections = u16(h + 2), optional = u16(h + 16);
        const std::uint32_t stamp = u32(h + 4), pointer = u32(h + 8), symbols = u32(h + 12);
        if (stamp >= 0x80000000u) out_.report("Error - bad file header time stamp\n");
        static constexpr std::uint16_t kMachines[] = {0, 0x14C, 0x162, 0x166, 0x168, 0x183, 0x184, 0x1F0};
        if (std::find(std::begin(kMachines), std::end(kMachines), machine) == std::end(kMachines))
            out_.report("Error - bad file header machine value\n");
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
        std::vector<std::uint8_t> table;
        if (sections != 0) {
            const std::size_t size = std::size_t{40} * sections;
            if (held() >= size) table.resize(size);
            if (!read(table.empty() ? nullptr : table.data(), size, "analyze"))
                return out_.report("Error reading section headers\n"), 1;
        }
        bool failed = false;
        std::vector<std::uint8_t> strings;
        if (pointer != 0) failed = !string_table(base + pointer + 18u * symbols, strings);
        overlaps(table, sections);
        std::vector<std::uint8_t> records;
        std::uint32_t count = 0;
        if (symbols != 0 && pointer != 0) {
            const std::uint64_t size = std::uint64_t{18} * symbols;
            const bool strings_failed = failed;
            failed = true;
            if (size > 0xFFFFFFFFu) {
                out_.report("\nError: Unable to allocate " + std::to_string(size) + " byte buffer to hold symbol table\n");
            } else if (!seek(base + pointer)) {
                out_.report("Error seeking to symbol table\n");
            } else if (held() < size) {
                read(nullptr, size, "analyze");
                out_.report("Error reading symbol table\n");
            } else if (records.resize(size), !read(records.data(), records.size(), "analyze")) {
                out_.report("Error reading symbol table\n");
            } else {
                failed = strings_failed;
                count = symbols;
            }
        }
        const bool scan_failed = scan(records.data(), count, strings, sections, path);
        return failed || scan_failed ? 1 : 0;
    }

private:
    // The stream's rules: positions wrap at 2^32, positioning at 2^31 or beyond fails.
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
        out_.report(format("QUORV Internal: fread returned %llu bytes (%llu expected). [", got, count) +
                    std::string(where) + "]");
        return false;
    }
    void advance(std::uint32_t n) { seek(position_ + n); }

    bool string_table(std::uint32_t at, std::vector<std::uint8_t>& strings) {
        if (!seek(at)) return out_.report(format("Error seeking to start of string table at file address %llx\n", at)), false;
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

    void overlaps(const std::vector<std::uint8_t>& table, std::uint16_t sections) {
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
        struct Region { std::uint32_t start, length; };
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
        if (keep) last_table = table;
        else last_texts.clear();
    }

    bool scan(const std::uint8_t* records, std::uint32_t n, const std::vector<std::uint8_t>& strings,
              std::uint16_t sections, const std::string& path) {
        bool error = false;
        std::vector<std::string> defined;
        for (std::uint32_t i = 0; i < n;) {
            const std::uint8_t* r = records + std::size_t{18} * i;
            const std::int16_t section = static_cast<std::int16_t>(u16(r + 12));
            const std::uint16_t type = u16(r + 14);
            const std::uint8_t storage = r[16], aux = r[17];
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
                if (name.find('@') == std::string::npos) out_.procedures.push_back({name, path});
            } else if (named && storage == 2 && type == 0) {
                if (section > 0) defined.push_back(name);
                if (section == 0) declare(name, u32(r + 8), path);
            }
            if (section < -2 || section > int{sections}) {
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
        for (const std::string& d : defined) {
            const auto block = out_.blocks.find(d);
            if (block == out_.blocks.end()) continue;
            for (Declaration& decl : block->second)
                if (decl.path == path) {
                    decl.initialized = true;
                    break;
                }
        }
        return error;
    }

    void declare(const std::string& name, std::uint32_t size, const std::string& path) {
        auto& list = out_.blocks[name];
        // Largest first, then by path; a new one after its equals.
        const auto at = std::upper_bound(list.begin(), list.end(), Declaration{size, false, path},
                                         [](const Declaration& a, const Declaration& b) {
                                             return a.size != b.size ? a.size > b.size : a.path < b.path;
                                         });
        list.insert(at, Declaration{size, false, path});
    }

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
                if (!read(&byte, 1, "analyze")) { ended = true; break; }
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
            seek(offset);
            std::uint8_t header[60] = {};
            read(header, 60, "analyze");
            std::string name;
            for (std::size_t i = 0; i < 60 && header[i] != 0; ++i)
                if (header[i] == '/') {
                    name.assign(reinterpret_cast<const char*>(header), i);
                    break;
                }
            const std::string path = library + (name.empty() ? " (no obj file given)" : " (" + name + ")");
            if (object(offset + 60, path) == 1) return 1;
        }
        return 0;
    }

    std::span<const std::uint8_t> bytes_;
    Expected& out_;
    std::uint32_t position_ = 0;
};

inline void finish(Expected& e) {
    std::stable_sort(e.procedures.begin(), e.procedures.end(),
                     [](const Procedure& a, const Procedure& b) { return a.name < b.name; });
}

}  // namespace detail

// One input of a run: its entry's texts and its bytes, or none when it cannot be opened.
struct RunInput {
    std::string full_path;
    std::string display_name;
    const std::string* bytes = nullptr;
};

// What a whole run must do over the inputs in file-list order, after the messages the file
// list gave. result is 0 when the run completes, 1 when it stops.
inline Expected expect_run(const std::vector<std::string>& listing, const std::vector<RunInput>& inputs) {
    Expected e;
    for (const std::string& m : listing) e.report(m);
    for (const RunInput& in : inputs) {
        if (in.bytes == nullptr) {
            e.report("Cannot open file: " + in.full_path);
            e.result = 1;
            break;
        }
        const std::span<const std::uint8_t> bytes(reinterpret_cast<const std::uint8_t*>(in.bytes->data()), in.bytes->size());
        if (detail::Reading(bytes, e).analyze(in.full_path, in.display_name) == 1) {
            e.result = 1;
            break;
        }
    }
    detail::finish(e);
    return e;
}

// What analyze_input must do with these bytes for an entry of these names.
inline Expected expect_input(std::span<const std::uint8_t> bytes, const std::string& full_path,
                             const std::string& display_name) {
    Expected e;
    e.result = detail::Reading(bytes, e).analyze(full_path, display_name);
    detail::finish(e);
    return e;
}

// What read_object_module must do with these bytes as one module at base 0.
inline Expected expect_object(std::span<const std::uint8_t> bytes, const std::string& full_path) {
    Expected e;
    e.result = detail::Reading(bytes, e).object(0, full_path);
    detail::finish(e);
    return e;
}

}  // namespace quorv::fuzz::oracle
