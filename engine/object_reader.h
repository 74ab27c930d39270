#pragma once
// The COFF reader: one object module at a base offset of a stream, checked and loaded into
// the module working set, then scanned into facts for the recorder. Big objects (the
// variant that /bigobj and -mbig-obj write) are read by the same steps from their own
// header, with 20-byte symbol records.
#include <array>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "engine/checked_read.h"
#include "engine/coff_layout.h"
#include "engine/diagnostics.h"
#include "engine/dwarf/debug_input.h"
#include "engine/file_entry.h"
#include "engine/input_stream.h"
#include "engine/module_facts.h"
#include "engine/read_status.h"

namespace quorv {

struct FileRegion {
    std::uint32_t start = 0;
    std::uint32_t length = 0;
};

// The three file regions of one section, in the order the overlap tests use them.
struct SectionRegions {
    FileRegion raw_data;
    FileRegion relocations;
    FileRegion line_numbers;
};

enum class CoffVariant : std::uint8_t { Regular, BigObject };

struct FileHeader {
    std::uint16_t machine = 0;
    std::uint32_t number_of_sections = 0;  // 16-bit in a regular object
    std::uint32_t time_date_stamp = 0;
    std::uint32_t pointer_to_symbol_table = 0;
    std::uint32_t number_of_symbols = 0;
    std::uint16_t size_of_optional_header = 0;  // none in a big object
};

// What one read_object_module call builds and the scan consumes.
struct ModuleWorkingSet {
    // Whether the debug sections are gathered for the layouts: only when they are shown.
    bool read_debug = true;
    CoffVariant variant = CoffVariant::Regular;
    FileHeader header;
    std::vector<SectionRegions> sections;  // section n is sections[n - 1]
    std::vector<std::array<std::uint8_t, coff::kSectionNameSize>> section_names;
    std::vector<std::uint8_t> strings;  // the string table after its size field
    std::vector<std::uint8_t> symbols;  // the raw symbol records
    std::uint32_t symbol_count = 0;     // records loaded; 0 when none
    bool failed = false;
    ModuleFacts facts;  // what the scan found
    // The debug sections (copied only when the input is not in memory), their relocations
    // and the symbols they name, for the layouts of the module's blocks.
    std::vector<std::uint8_t> debug_bytes[dwarf::kSectionCount];
    // A debug section's relocation table, when it cannot be viewed in place.
    std::vector<std::uint8_t> relocation_bytes[dwarf::kSectionCount];
    dwarf::DebugInput debug;

    std::size_t symbol_record_size() const {
        return variant == CoffVariant::BigObject ? coff::kBigSymbolRecordSize : coff::kSymbolRecordSize;
    }
    void clear();
};

bool ranges_overlap(std::uint32_t start1, std::uint32_t length1, std::uint32_t start2, std::uint32_t length2);
void check_section_pair(const Diagnostics& diagnostics, const std::vector<SectionRegions>& sections, std::uint32_t i,
                        std::uint32_t j);
// Every overlap message of the section table, in the order of the pairwise tests.
void check_all_section_pairs(const Diagnostics& diagnostics, const std::vector<SectionRegions>& sections);

ReadStatus process_file_header(const Diagnostics& diagnostics, InputStream& stream, FileHeader& header);
ReadStatus process_big_object_header(const Diagnostics& diagnostics, InputStream& stream, FileHeader& header);
ReadStatus process_opt_header(const Diagnostics& diagnostics, InputStream& stream, std::uint16_t size);

// Reads the module of entry at base into work, its facts into work.facts; every message goes
// to diagnostics. 0 when the module succeeded, 1 when it failed. The stream stands at base.
int read_object_module(const Diagnostics& diagnostics, InputStream& stream, const FileEntry& entry, std::uint32_t base,
                       ModuleWorkingSet& work, CoffVariant variant = CoffVariant::Regular);

}  // namespace quorv
