#pragma once
// The file names of one line table of .debug_line (its directory and file tables; the line
// program is not read), for DW_AT_decl_file. Only source locations depend on it: a line
// table that cannot be read gives no file names, and the layouts stand without them.
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/dwarf/sections.h"

namespace quorv::dwarf {

class LineFiles {
  public:
    // Reads the tables of the line table at offset. false when they cannot be read.
    // May throw std::bad_alloc.
    bool read(DebugSections& sections, std::uint64_t offset);
    // The bytes of .debug_line read.
    std::uint64_t bytes_read() const { return bytes_read_; }

    // The file of a DW_AT_decl_file index (0-based from version 5, 1-based before), joined
    // to its directory and, when still relative, to comp_dir; empty when there is none.
    std::string path(std::uint64_t index, std::string_view comp_dir) const;

  private:
    struct File {
        std::string_view path;
        std::uint64_t directory = 0;
    };

    bool read_v5_tables(DebugSections& sections, ByteCursor& in, std::uint16_t version, std::uint8_t address_size,
                        std::uint8_t offset_size);
    bool read_old_tables(ByteCursor& in);

    std::uint16_t version_ = 0;
    std::vector<std::string_view> directories_;
    std::vector<File> files_;
    std::uint64_t bytes_read_ = 0;
};

// b joined to the directory a ('/' between, or '\' when a uses only those); b alone when it
// is absolute or a is empty or ".".
std::string join_path(std::string_view a, std::string_view b);

}  // namespace quorv::dwarf
