#pragma once
// The ELF reader: one relocatable object (a file, or an archive member's data) read into
// facts for the recorder, by the same rules and messages as a COFF object where the meaning
// is the same. Offsets in the module are 64-bit and relative to its first byte; nothing is
// read past its end.
#include <cstdint>
#include <vector>

#include "engine/diagnostics.h"
#include "engine/dwarf/debug_input.h"
#include "engine/elf_layout.h"
#include "engine/file_entry.h"
#include "engine/input_stream.h"
#include "engine/module_facts.h"

namespace quorv {

struct ElfSection {
    std::uint32_t name = 0;  // offset in the section-name table
    std::uint32_t type = 0;
    std::uint64_t flags = 0;
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
    std::uint32_t link = 0;
    std::uint32_t info = 0;
    std::uint64_t entry_size = 0;
};

struct ElfWorkingSet {
    // Whether the debug sections are gathered for the layouts: only when they are shown.
    bool read_debug = true;
    elf::Layout layout;
    std::uint16_t machine = 0;
    std::vector<ElfSection> sections;   // section 0 included
    std::vector<std::uint8_t> symbols;  // the raw symbol table
    std::vector<std::uint8_t> strings;  // its string table
    std::vector<std::uint8_t> section_names;
    // A debug section's relocation table, when it cannot be viewed in place.
    std::vector<std::uint8_t> relocation_bytes[dwarf::kSectionCount];
    ModuleFacts facts;
    // The debug sections (copied only when the input is not in memory) and their
    // relocations, for the layouts of the module's blocks.
    std::vector<std::uint8_t> debug_bytes[dwarf::kSectionCount];
    dwarf::DebugInput debug;
    // Nothing of the module is to be recorded: a file that is no object, or code that cannot
    // be read.
    bool skipped = false;

    void clear();
};

// Reads the ELF module of entry that starts at base and ends at end. 0 when the module
// succeeded (or was skipped), 1 when it failed.
int read_elf_module(const Diagnostics& diagnostics, InputStream& stream, const FileEntry& entry, std::uint32_t base,
                    std::uint64_t end, ElfWorkingSet& work);

}  // namespace quorv
