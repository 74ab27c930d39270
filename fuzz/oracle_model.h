#pragma once
// What the oracle expects a reading to leave, and the one way every module's symbols reach it
// (COFF, big objects and ELF alike): declarations and procedures in symbol-table order, then
// the initialized marks.
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <map>
#include <string>
#include <vector>

namespace quorv::fuzz::oracle {

struct Declaration {
    std::uint64_t size = 0;
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

inline std::string format(const char* f, unsigned long long a = 0, unsigned long long b = 0, unsigned long long c = 0) {
    char buffer[160];
    std::snprintf(buffer, sizeof buffer, f, a, b, c);
    return buffer;
}

inline std::string short_read(unsigned long long got, const std::string& expected, const std::string& where) {
    return "QUORV Internal: fread returned " + std::to_string(got) + " bytes (" + expected + " expected). [" + where +
           "]";
}
inline std::string short_read(unsigned long long got, unsigned long long expected, const std::string& where) {
    return short_read(got, std::to_string(expected), where);
}

inline std::string other_code(const std::string& path) {
    return "The file " + path +
           " holds link-time-optimization or other code that is not an object module; its COMMON blocks cannot be "
           "read.";
}
inline std::string not_object(const std::string& path) {
    return "The file " + path + " is not an object file.";
}

// One symbol that reaches the model, in the order of the module's symbol table.
struct Recorded {
    enum Kind { declaration, procedure, defined_data } kind;
    std::string name;
    std::uint64_t size = 0;
};

inline void declare(Expected& out, const std::string& name, std::uint64_t size, const std::string& path) {
    auto& list = out.blocks[name];
    // Largest first, then by path; a new one after its equals.
    const auto at = std::upper_bound(list.begin(), list.end(), Declaration{size, false, path},
                                     [](const Declaration& a, const Declaration& b) {
                                         return a.size != b.size ? a.size > b.size : a.path < b.path;
                                     });
    list.insert(at, Declaration{size, false, path});
}

inline void record_module(Expected& out, const std::vector<Recorded>& symbols, const std::string& path) {
    for (const Recorded& s : symbols) {
        if (s.kind == Recorded::declaration) declare(out, s.name, s.size, path);
        if (s.kind == Recorded::procedure) out.procedures.push_back({s.name, path});
    }
    // A defined data symbol marks the first declaration of its name that carries this very
    // path: with two members of one name, that may be the other member's.
    for (const Recorded& s : symbols) {
        if (s.kind != Recorded::defined_data) continue;
        const auto block = out.blocks.find(s.name);
        if (block == out.blocks.end()) continue;
        for (Declaration& d : block->second)
            if (d.path == path) {
                d.initialized = true;
                break;
            }
    }
}

inline void finish(Expected& e) {
    std::stable_sort(e.procedures.begin(), e.procedures.end(),
                     [](const Procedure& a, const Procedure& b) { return a.name < b.name; });
}

}  // namespace detail
}  // namespace quorv::fuzz::oracle
