#pragma once
// The archive layouts: the signatures, the 60-byte member header and the names of the
// members that are tables rather than modules.
#include <cstddef>
#include <string_view>

namespace quorv::archive {

inline constexpr std::size_t kSignatureSize = 8;
inline constexpr char kSignature[] = "!<arch>\n";
inline constexpr char kThinSignature[] = "!<thin>\n";

// Member header, 60 bytes of text padded with blanks:
//   0 Name[16] | 16 date[12] | 28 user[6] | 34 group[6] | 40 mode[8] | 48 size[10] | 58 "`\n"
inline constexpr std::size_t kHeaderSize = 60;
inline constexpr std::size_t kNameFieldSize = 16;
inline constexpr std::size_t kSizeFieldOffset = 48;
inline constexpr std::size_t kSizeFieldSize = 10;

// The first member of every layout but BSD's: the symbol table (the first linker member).
inline constexpr std::string_view kSymbolTableName = "/";
// Tables that hold no module: GNU's 32- and 64-bit symbol tables, its long-name table, and
// the BSD symbol tables, which may also stand under a "#1/" name.
inline constexpr std::string_view kGnuSymbolTable64Name = "/SYM64/";
inline constexpr std::string_view kLongNamesName = "//";
inline constexpr std::string_view kBsdTableNames[] = {"__.SYMDEF", "__.SYMDEF SORTED", "__.SYMDEF_64",
                                                      "__.SYMDEF_64 SORTED"};
inline constexpr std::string_view kBsdNamePrefix = "#1/";

}  // namespace quorv::archive
