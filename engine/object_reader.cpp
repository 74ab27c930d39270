#include "engine/object_reader.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <new>
#include <string>

#include "engine/byte_order.h"
#include "engine/messages.h"
#include "engine/overlap_sweep.h"
#include "engine/symbol_scan.h"
#include "engine/text.h"

namespace quorv {
namespace {

bool accepted_machine(std::uint16_t machine) {
    static constexpr std::array<std::uint16_t, 8> kMachines = {0x0000, 0x014C, 0x0162, 0x0166,
                                                               0x0168, 0x0183, 0x0184, 0x01F0};
    return std::find(kMachines.begin(), kMachines.end(), machine) != kMachines.end();
}

bool accepted_subsystem(std::uint16_t subsystem) {
    return subsystem <= 3 || subsystem == 5 || subsystem == 7;
}

// The checks both headers share; they only warn.
void check_stamp_and_machine(const Diagnostics& diagnostics, const FileHeader& header) {
    // A signed count of seconds since 1970: negative stamps are damage.
    if (header.time_date_stamp >= 0x80000000u) diagnostics.report(msg::kBadTimeStamp);
    if (!accepted_machine(header.machine)) diagnostics.report(msg::kBadMachine);
}

SectionRegions decode_section(const std::uint8_t* h) {
    using namespace coff;
    SectionRegions s;
    s.raw_data = {read_u32le(h + kPointerToRawDataOffset), read_u32le(h + kSizeOfRawDataOffset)};
    s.relocations = {read_u32le(h + kPointerToRelocationsOffset),
                     kRelocationSize * read_u16le(h + kNumberOfRelocationsOffset)};
    s.line_numbers = {read_u32le(h + kPointerToLinenumbersOffset),
                      kLinenumberSize * read_u16le(h + kNumberOfLinenumbersOffset)};
    return s;
}

ReadStatus load_section_table(const Diagnostics& diagnostics, InputStream& stream, ModuleWorkingSet& work) {
    const std::uint32_t count = work.header.number_of_sections;
    if (count == 0) return ReadStatus::Ok;
    std::vector<std::uint8_t> raw;
    try {
        // In 64 bits: a big object's count times 40 passes 32 bits.
        const std::uint64_t bytes = std::uint64_t{coff::kSectionHeaderSize} * count;
        if (checked_read(diagnostics, stream, bytes, raw, "analyze") == 0) {
            diagnostics.report(msg::kSectionHeadersRead);
            return ReadStatus::Failed;
        }
        work.sections.reserve(count);
        work.section_names.reserve(count);
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint8_t* header = raw.data() + i * coff::kSectionHeaderSize;
            work.sections.push_back(decode_section(header));
            auto& name = work.section_names.emplace_back();
            std::copy_n(header + coff::kSectionNameOffset, name.size(), name.begin());
        }
    } catch (const std::bad_alloc&) {
        diagnostics.report(compose(msg::kSectionTableMemory, static_cast<unsigned>(count)));
        return ReadStatus::Failed;
    }
    return ReadStatus::Ok;
}

// Every outcome that reports a message fails the module.
void load_string_table(const Diagnostics& diagnostics, InputStream& stream, std::uint32_t base,
                       ModuleWorkingSet& work) {
    const FileHeader& h = work.header;
    if (h.pointer_to_symbol_table == 0) return;
    // Wraps at 32 bits like every position.
    const std::uint32_t position =
        base + h.pointer_to_symbol_table + static_cast<std::uint32_t>(work.symbol_record_size()) * h.number_of_symbols;
    if (!seek_to(stream, position)) {
        diagnostics.report(compose(msg::kStringTableSeek, position));
        work.failed = true;
        return;
    }
    std::uint8_t size_field[coff::kStringTableSizeField];
    if (checked_read(diagnostics, stream, sizeof size_field, size_field, "analyze") == 0) {
        diagnostics.report(msg::kStringTableSizeRead);
        work.failed = true;
        return;
    }
    const std::uint32_t size = read_u32le(size_field);
    if (size == 0 || size == coff::kStringTableSizeField) return;
    if (size < coff::kStringTableSizeField) {
        diagnostics.report(msg::kBadStringTableSize);
        work.failed = true;
        return;
    }
    try {
        if (checked_read(diagnostics, stream, std::uint64_t{size - 4}, work.strings, "analyze") == 0) {
            diagnostics.report(msg::kStringTableRead);
            work.strings.clear();
            work.strings.shrink_to_fit();
            work.failed = true;
        }
    } catch (const std::bad_alloc&) {
        work.strings.clear();
        work.strings.shrink_to_fit();
        diagnostics.report(msg::kStringTableMemory);
        work.failed = true;
    }
}

// Loaded whole or not at all.
void load_symbol_table(const Diagnostics& diagnostics, InputStream& stream, std::uint32_t base,
                       ModuleWorkingSet& work) {
    const FileHeader& h = work.header;
    if (h.number_of_symbols == 0 || h.pointer_to_symbol_table == 0) return;
    // In 64 bits: a wrapped 32-bit size would let the scan walk past its buffer.
    const std::uint64_t bytes = std::uint64_t{work.symbol_record_size()} * h.number_of_symbols;
    const auto report_no_buffer = [&] {
        diagnostics.report(compose(msg::kSymbolTableMemory, static_cast<unsigned long long>(bytes)));
        work.failed = true;
    };
    if (bytes > 0xFFFFFFFFu) return report_no_buffer();
    if (!seek_to(stream, base + h.pointer_to_symbol_table)) {
        diagnostics.report(msg::kSymbolTableSeek);
        work.failed = true;
        return;
    }
    try {
        if (checked_read(diagnostics, stream, bytes, work.symbols, "analyze") == 0) {
            diagnostics.report(msg::kSymbolTableRead);
            work.symbols.clear();
            work.failed = true;
            return;
        }
    } catch (const std::bad_alloc&) {
        work.symbols.clear();
        work.symbols.shrink_to_fit();
        return report_no_buffer();
    }
    work.symbol_count = h.number_of_symbols;
}

// The nine tests of a pair of sections, in their order: which region of section i against
// which region of section j, and the message of a finding.
struct PairTest {
    FileRegion SectionRegions::*first;
    FileRegion SectionRegions::*second;
    const char* message;
};
constexpr PairTest kPairTests[] = {
    {&SectionRegions::raw_data, &SectionRegions::raw_data, msg::kRawRawOverlap},
    {&SectionRegions::raw_data, &SectionRegions::relocations, msg::kRawRelocOverlap},
    {&SectionRegions::raw_data, &SectionRegions::line_numbers, msg::kRawLineOverlap},
    {&SectionRegions::relocations, &SectionRegions::raw_data, msg::kRelocRawOverlap},
    {&SectionRegions::relocations, &SectionRegions::relocations, msg::kRelocRelocOverlap},
    {&SectionRegions::relocations, &SectionRegions::line_numbers, msg::kRelocLineOverlap},
    {&SectionRegions::line_numbers, &SectionRegions::raw_data, msg::kLineRawOverlap},
    {&SectionRegions::line_numbers, &SectionRegions::relocations, msg::kLineRelocOverlap},
    {&SectionRegions::line_numbers, &SectionRegions::line_numbers, msg::kLineLineOverlap},
};

constexpr std::size_t kPairwiseSectionLimit = 8;

void check_every_pair(const Diagnostics& diagnostics, const std::vector<SectionRegions>& sections) {
    const auto n = static_cast<std::uint32_t>(sections.size());
    for (std::uint32_t i = 1; i < n; ++i)
        for (std::uint32_t j = i + 1; j <= n; ++j) check_section_pair(diagnostics, sections, i, j);
}

// A section's name: its 8 bytes up to a zero byte, or "/N", the name at offset N of the string
// table (counted from its size field).
std::string_view section_name(const ModuleWorkingSet& work, std::size_t i) {
    const auto& field = work.section_names[i];
    const auto* text = reinterpret_cast<const char*>(field.data());
    const std::string_view name(text, std::find(field.begin(), field.end(), 0) - field.begin());
    if (name.size() < 2 || name[0] != '/') return name;
    std::uint64_t offset = 0;
    for (const char c : name.substr(1)) {
        if (c < '0' || c > '9') return name;
        offset = offset * 10 + static_cast<unsigned>(c - '0');
    }
    if (offset < coff::kStringTableSizeField || offset - coff::kStringTableSizeField >= work.strings.size()) return {};
    const std::uint8_t* first = work.strings.data() + (offset - coff::kStringTableSizeField);
    const std::uint8_t* end = work.strings.data() + work.strings.size();
    return std::string_view(reinterpret_cast<const char*>(first), std::find(first, end, 0) - first);
}

// The widths of relocated fields of the debug sections by the machine's types; a type not
// named writes no plain 4- or 8-byte value.
void relocation_widths(std::uint16_t machine, dwarf::RelocationRecords& table) {
    using namespace coff;
    if (machine == kMachineI386) {
        table.widths[0] = {kRelI386Dir32, 4};
        table.widths[1] = {kRelI386Secrel, 4};
    } else if (machine == kMachineAmd64) {
        table.widths[0] = {kRelAmd64Addr64, 8};
        table.widths[1] = {kRelAmd64Addr32, 4};
        table.widths[2] = {kRelAmd64Secrel, 4};
    }
}

// The module's symbols by record index, auxiliary records included, as relocations count them.
void collect_debug_symbols(ModuleWorkingSet& work) {
    using namespace coff;
    const std::size_t record = work.symbol_record_size();
    const bool big = work.variant == CoffVariant::BigObject;
    work.debug.symbols.resize(work.symbol_count);
    for (std::uint32_t i = 0; i < work.symbol_count;) {
        const std::uint8_t* p = work.symbols.data() + std::size_t{i} * record;
        dwarf::Symbol& symbol = work.debug.symbols[i];
        if (read_u32le(p) != 0) {
            symbol.name = std::string_view(reinterpret_cast<const char*>(p), std::find(p, p + kSymbolNameSize, 0) - p);
        } else if (const std::uint32_t at = read_u32le(p + kSymbolNameOffsetOffset) - kStringTableSizeField;
                   at < work.strings.size()) {
            const std::uint8_t* first = work.strings.data() + at;
            const std::uint8_t* end = work.strings.data() + work.strings.size();
            symbol.name = std::string_view(reinterpret_cast<const char*>(first), std::find(first, end, 0) - first);
        }
        const std::int32_t section = big ? static_cast<std::int32_t>(read_u32le(p + kSymbolSectionOffset))
                                         : static_cast<std::int16_t>(read_u16le(p + kSymbolSectionOffset));
        const std::uint16_t type = read_u16le(p + (big ? kBigSymbolTypeOffset : kSymbolTypeOffset));
        const std::uint8_t storage = p[big ? kBigSymbolClassOffset : kSymbolClassOffset];
        symbol.is_common =
            storage == kClassExternal && type == 0 && section == 0 && read_u32le(p + kSymbolValueOffset) != 0;
        i += 1 + p[big ? kBigSymbolAuxCountOffset : kSymbolAuxCountOffset];
    }
}

// Quietly, like every look at the module beyond its symbols: debug sections that cannot be
// had give no layouts and no message.
void collect_debug(InputStream& stream, std::uint32_t base, ModuleWorkingSet& work) {
    dwarf::DebugInput& debug = work.debug;
    for (std::size_t i = 0; i < work.sections.size(); ++i) {
        const int id = dwarf::section_id(section_name(work, i));
        if (id < 0 || debug.sections[id].present) continue;
        const FileRegion& raw = work.sections[i].raw_data;
        std::span<const std::uint8_t> bytes;
        if (!view_or_copy(stream, std::uint32_t{base + raw.start}, raw.length, work.debug_bytes[id], bytes)) continue;
        debug.sections[id] = {bytes, false, true};
        if (id != dwarf::kInfo && id != dwarf::kLine && id != dwarf::kStrOffsets) continue;
        // Read where the table lies; one copied (an input not in memory) is kept with the
        // section's, and one more for a section is decoded at once.
        const FileRegion& relocations = work.sections[i].relocations;
        dwarf::RelocationRecords records;
        records.layout = dwarf::RelocationRecords::Layout::Coff;
        relocation_widths(work.header.machine, records);
        const auto section = static_cast<dwarf::SectionId>(id);
        std::vector<std::uint8_t> spare;
        if (!view_or_copy(stream, std::uint32_t{base + relocations.start}, relocations.length,
                          debug.keeps_records(section) ? work.relocation_bytes[section] : spare, records.bytes))
            continue;
        debug.add_relocations(section, records);
    }
    if (debug.has_info()) collect_debug_symbols(work);
}

ReadStatus read_module_steps(const Diagnostics& diagnostics, InputStream& stream, const FileEntry& entry,
                             std::uint32_t base, ModuleWorkingSet& work) {
    if (work.variant == CoffVariant::BigObject) {
        if (process_big_object_header(diagnostics, stream, work.header) == ReadStatus::Failed)
            return ReadStatus::Failed;
    } else {
        if (process_file_header(diagnostics, stream, work.header) == ReadStatus::Failed) return ReadStatus::Failed;
        if (work.header.size_of_optional_header != 0 &&
            process_opt_header(diagnostics, stream, work.header.size_of_optional_header) == ReadStatus::Failed) {
            diagnostics.report(compose(msg::kOptionalHeaderFailed, entry.full_path.c_str()));
            return ReadStatus::Failed;
        }
    }
    if (load_section_table(diagnostics, stream, work) == ReadStatus::Failed) return ReadStatus::Failed;
    load_string_table(diagnostics, stream, base, work);
    check_all_section_pairs(diagnostics, work.sections);
    load_symbol_table(diagnostics, stream, base, work);
    const int scan = process_symbol_table(diagnostics, work);
    if (work.read_debug && work.symbol_count != 0) collect_debug(stream, base, work);
    return status_of(!work.failed && scan == 0);
}

}  // namespace

void ModuleWorkingSet::clear() {
    variant = CoffVariant::Regular;
    header = FileHeader{};
    sections.clear();
    section_names.clear();
    for (auto& bytes : debug_bytes) bytes.clear();
    for (auto& bytes : relocation_bytes) bytes.clear();
    debug.clear();
    strings.clear();
    symbols.clear();
    symbol_count = 0;
    failed = false;
    facts.clear();
}

bool ranges_overlap(std::uint32_t start1, std::uint32_t length1, std::uint32_t start2, std::uint32_t length2) {
    if (start1 == 0 || length1 == 0 || start2 == 0 || length2 == 0) return false;
    // Inclusive ends, wrapping at 2^32 like every file offset here.
    const std::uint32_t end1 = start1 + length1 - 1;
    const std::uint32_t end2 = start2 + length2 - 1;
    if (start2 <= start1 && start1 <= end2) return true;
    if (start2 <= end1 && end1 <= end2) return true;
    return start1 <= start2 && end1 >= end2;
}

void check_section_pair(const Diagnostics& diagnostics, const std::vector<SectionRegions>& sections, std::uint32_t i,
                        std::uint32_t j) {
    const SectionRegions& a = sections[i - 1];
    const SectionRegions& b = sections[j - 1];
    for (const PairTest& t : kPairTests) {
        const FileRegion& r1 = a.*t.first;
        const FileRegion& r2 = b.*t.second;
        if (ranges_overlap(r1.start, r1.length, r2.start, r2.length)) diagnostics.report(compose(t.message, i, j));
    }
}

void check_all_section_pairs(const Diagnostics& diagnostics, const std::vector<SectionRegions>& sections) {
    // A few sections, as compilers write them, are quicker to test pair by pair than to sort.
    if (sections.size() <= kPairwiseSectionLimit) return check_every_pair(diagnostics, sections);
    std::vector<SectionOverlap> found;
    try {
        found = find_section_overlaps(sections);
    } catch (const std::bad_alloc&) {
        // Without room for the sweep, every pair is tested: slower, the same messages.
        return check_every_pair(diagnostics, sections);
    }
    for (const SectionOverlap& f : found) diagnostics.report(compose(kPairTests[f.test].message, f.i, f.j));
}

ReadStatus process_file_header(const Diagnostics& diagnostics, InputStream& stream, FileHeader& header) {
    using namespace coff;
    std::uint8_t raw[kFileHeaderSize];
    if (checked_read(diagnostics, stream, kFileHeaderSize, raw, "process_file_header") == 0) {
        diagnostics.report(msg::kFileHeaderRead);
        return ReadStatus::Failed;
    }
    header.machine = read_u16le(raw + kMachineOffset);
    header.number_of_sections = read_u16le(raw + kNumberOfSectionsOffset);
    header.time_date_stamp = read_u32le(raw + kTimeDateStampOffset);
    header.pointer_to_symbol_table = read_u32le(raw + kPointerToSymbolTableOffset);
    header.number_of_symbols = read_u32le(raw + kNumberOfSymbolsOffset);
    header.size_of_optional_header = read_u16le(raw + kSizeOfOptionalHeaderOffset);
    check_stamp_and_machine(diagnostics, header);
    return ReadStatus::Ok;
}

ReadStatus process_big_object_header(const Diagnostics& diagnostics, InputStream& stream, FileHeader& header) {
    using namespace coff;
    std::uint8_t raw[kBigHeaderSize];
    if (checked_read(diagnostics, stream, kBigHeaderSize, raw, "process_file_header") == 0) {
        diagnostics.report(msg::kFileHeaderRead);
        return ReadStatus::Failed;
    }
    header.machine = read_u16le(raw + kBigMachineOffset);
    header.time_date_stamp = read_u32le(raw + kBigTimeDateStampOffset);
    header.number_of_sections = read_u32le(raw + kBigNumberOfSectionsOffset);
    header.pointer_to_symbol_table = read_u32le(raw + kBigPointerToSymbolTableOffset);
    header.number_of_symbols = read_u32le(raw + kBigNumberOfSymbolsOffset);
    header.size_of_optional_header = 0;
    check_stamp_and_machine(diagnostics, header);
    return ReadStatus::Ok;
}

ReadStatus process_opt_header(const Diagnostics& diagnostics, InputStream& stream, std::uint16_t size) {
    using namespace coff;
    if (size != kOptionalHeaderStandard && size != kOptionalHeaderImage32) {
        diagnostics.report(
            compose(msg::kBadOptionalHeaderSize, int{size}, int{kOptionalHeaderStandard}, int{kOptionalHeaderImage32}));
        return ReadStatus::Failed;
    }
    std::uint8_t raw[kOptionalHeaderImage32];
    if (checked_read(diagnostics, stream, size, raw, "process_opt_header") == 0) {
        diagnostics.report(msg::kOptionalHeaderRead);
        return ReadStatus::Failed;
    }
    if (size == kOptionalHeaderImage32 && !accepted_subsystem(read_u16le(raw + kSubsystemOffset)))
        diagnostics.report(msg::kBadSubsystem);
    return ReadStatus::Ok;
}

int read_object_module(const Diagnostics& diagnostics, InputStream& stream, const FileEntry& entry, std::uint32_t base,
                       ModuleWorkingSet& work, CoffVariant variant) {
    work.clear();
    work.variant = variant;
    try {
        return as_result(read_module_steps(diagnostics, stream, entry, base, work));
    } catch (const std::bad_alloc&) {
        // Memory ran out where no message of its own is owed (composing one): the module fails.
        return 1;
    }
}

}  // namespace quorv
