#pragma once
// Test-only builders of GNU, BSD and thin archives (the Microsoft layout is in
// coff_builder.h). Members are given by name; the builders choose the header names the way
// the archivers do.
#include <string>
#include <vector>

#include "coff_builder.h"

namespace quorv::test {

inline void pad_even(Bytes& b) {
    if (b.size() % 2) b.push_back('\n');
}

// An empty symbol table ("/", or "/SYM64/" as for archives past 4 GiB), "//" when a name is
// longer than 15 bytes, then "name/" or "/N" members.
inline Bytes make_gnu_archive(const std::vector<Member>& members, const std::string& symbol_table = "/") {
    Bytes out;
    append(out, std::string("!<arch>\n"));
    const std::size_t count_size = symbol_table == "/" ? 4 : 8;
    append(out, member_header(symbol_table, count_size));
    append(out, Bytes(count_size, 0));
    std::string long_names;
    std::vector<std::string> fields;
    for (const Member& m : members) {
        if (m.header_name.size() <= 15) {
            fields.push_back(m.header_name + "/");
        } else {
            fields.push_back("/" + std::to_string(long_names.size()));
            long_names += m.header_name + "/\n";
        }
    }
    if (!long_names.empty()) {
        append(out, member_header("//", long_names.size()));
        append(out, long_names);
        pad_even(out);
    }
    for (std::size_t k = 0; k < members.size(); ++k) {
        append(out, member_header(fields[k], members[k].content.size()));
        append(out, members[k].content);
        pad_even(out);
    }
    return out;
}

// "#1/N" names throughout, the symbol table "__.SYMDEF" first; each name is zero-padded to
// a multiple of 4 bytes.
inline Bytes make_bsd_archive(const std::vector<Member>& members) {
    Bytes out;
    append(out, std::string("!<arch>\n"));
    const auto add = [&](std::string name, const Bytes& content) {
        name.resize((name.size() + 3) / 4 * 4, '\0');
        append(out, member_header("#1/" + std::to_string(name.size()), name.size() + content.size()));
        append(out, name);
        append(out, content);
        pad_even(out);
    };
    add("__.SYMDEF", Bytes(8, 0));
    for (const Member& m : members) add(m.header_name, m.content);
    return out;
}

struct ThinMember {
    std::string path;  // as stored: relative to the archive's folder unless absolute
    std::size_t size = 0;
};

// "!<thin>\n", "/", "//" holding every name, then one "/N" header per member and no data.
inline Bytes make_thin_archive(const std::vector<ThinMember>& members) {
    Bytes out;
    append(out, std::string("!<thin>\n"));
    append(out, member_header("/", 4));
    append(out, Bytes(4, 0));
    std::string long_names;
    std::vector<std::size_t> at;
    for (const ThinMember& m : members) {
        at.push_back(long_names.size());
        long_names += m.path + "/\n";
    }
    append(out, member_header("//", long_names.size()));
    append(out, long_names);
    pad_even(out);
    for (std::size_t k = 0; k < members.size(); ++k)
        append(out, member_header("/" + std::to_string(at[k]), members[k].size));
    return out;
}

}  // namespace quorv::test
