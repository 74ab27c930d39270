#pragma once
// The object module reader: one COFF object module at a base offset of a stream, checked
// and loaded into the module working set, then scanned into the model.
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

#include "engine/input_stream.h"
#include "engine/model.h"

namespace quorv {

// COFF file header, 20 bytes at the module's base:
//   0 Machine u16 | 2 NumberOfSections u16 | 4 TimeDateStamp u32 | 8 PointerToSymbolTable u32
//   12 NumberOfSymbols u32 | 16 SizeOfOptionalHeader u16 | 18 Characteristics u16
inline constexpr std::size_t kFileHeaderSize = 20;
// Section header, 40 bytes: 16 SizeOfRawData | 20 PointerToRawData | 24 PointerToRelocations
//   28 PointerToLinenumbers | 32 NumberOfRelocations u16 | 34 NumberOfLinenumbers u16
inline constexpr std::size_t kSectionHeaderSize = 40;
inline constexpr std::size_t kSymbolRecordSize = 18;
inline constexpr std::uint32_t kRelocationSize = 10;
inline constexpr std::uint32_t kLinenumberSize = 6;
inline constexpr std::uint16_t kOptionalHeaderStandard = 28;
inline constexpr std::uint16_t kOptionalHeaderImage32 = 224;
inline constexpr std::size_t kSubsystemOffset = 68;

inline std::uint16_t read_u16le(const std::uint8_t* p) {
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}
inline std::uint32_t read_u32le(const std::uint8_t* p) {
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8) |
           (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
inline std::uint32_t read_u32be(const std::uint8_t* p) {
    return (static_cast<std::uint32_t>(p[0]) << 24) | (static_cast<std::uint32_t>(p[1]) << 16) |
           (static_cast<std::uint32_t>(p[2]) << 8) | static_cast<std::uint32_t>(p[3]);
}

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

struct FileHeader {
    std::uint16_t machine = 0;
    std::uint16_t number_of_sections = 0;
    std::uint32_t time_date_stamp = 0;
    std::uint32_t pointer_to_symbol_table = 0;
    std::uint32_t number_of_symbols = 0;
    std::uint16_t size_of_optional_header = 0;
};

// What one read_object_module call builds and the scan consumes.
struct ModuleWorkingSet {
    FileHeader header;
    std::vector<SectionRegions> sections;  // section n is sections[n - 1]
    std::vector<std::uint8_t> strings;     // the string table after its size field
    std::vector<std::uint8_t> symbols;     // the raw 18-byte records
    std::uint32_t symbol_count = 0;        // records loaded; 0 when none
    bool failed = false;

    void clear();
};

// Reads exactly count bytes (count > 0) or reports why not. Returns count, or 0 on failure.
std::size_t checked_read(InputStream& stream, std::size_t count, std::uint8_t* buffer,
                         std::string_view where);
// The same into a buffer that grows with the bytes that actually arrive, so that a count
// the file declares never sizes an allocation beyond what the input holds. May throw
// std::bad_alloc; the caller reports it.
std::size_t checked_read(InputStream& stream, std::size_t count, std::vector<std::uint8_t>& out,
                         std::string_view where);
bool seek_to(InputStream& stream, std::uint32_t offset);

bool ranges_overlap(std::uint32_t start1, std::uint32_t length1, std::uint32_t start2,
                    std::uint32_t length2);
void check_section_pair(const std::vector<SectionRegions>& sections, std::uint32_t i,
                        std::uint32_t j);
// Every overlap message of the section table, in the order of the pairwise tests.
void check_all_section_pairs(const std::vector<SectionRegions>& sections);

bool process_file_header(InputStream& stream, FileHeader& header);
bool process_opt_header(InputStream& stream, std::uint16_t size);

// 0 when the module succeeded, 1 when it failed. The stream stands at base.
int read_object_module(InputStream& stream, const FileEntry& entry, std::uint32_t base,
                       AnalysisModel& model, ModuleWorkingSet& work);
int read_object_module(InputStream& stream, const FileEntry& entry, std::uint32_t base,
                       AnalysisModel& model);

}  // namespace quorv
