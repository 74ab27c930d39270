#include "engine/object_reader.h"

#include <algorithm>
#include <array>
#include <new>
#include <string>

#include "engine/overlap_sweep.h"
#include "engine/report.h"
#include "engine/symbol_scan.h"
#include "engine/text.h"

namespace quorv {
namespace {

constexpr std::size_t kFirstReadChunk = 64 * 1024;

bool accepted_machine(std::uint16_t machine) {
    static constexpr std::array<std::uint16_t, 8> kMachines = {
        0x0000, 0x014C, 0x0162, 0x0166, 0x0168, 0x0183, 0x0184, 0x01F0};
    return std::find(kMachines.begin(), kMachines.end(), machine) != kMachines.end();
}

bool accepted_subsystem(std::uint16_t subsystem) {
    return subsystem <= 3 || subsystem == 5 || subsystem == 7;
}

// The message of a failed read: the error indicator is tested before the count.
std::size_t finish_read(InputStream& stream, std::size_t got, std::size_t count,
                        std::string_view where) {
    if (stream.error()) {
        const std::string label(where);
        report_message(compose("QUORV Internal: fread failed in %s", label.c_str()));
        return 0;
    }
    if (got < count) {
        const std::string label(where);
        // Unsigned, so that counts of 2^31 and more never print negative.
        report_message(compose("QUORV Internal: fread returned %u bytes (%u expected). [%s]",
                               static_cast<unsigned>(got), static_cast<unsigned>(count),
                               label.c_str()));
        return 0;
    }
    return count;
}

SectionRegions decode_section(const std::uint8_t* h) {
    SectionRegions s;
    s.raw_data = {read_u32le(h + 20), read_u32le(h + 16)};
    s.relocations = {read_u32le(h + 24), kRelocationSize * read_u16le(h + 32)};
    s.line_numbers = {read_u32le(h + 28), kLinenumberSize * read_u16le(h + 34)};
    return s;
}

// Step 3: the section table. false when the module fails.
bool load_section_table(InputStream& stream, ModuleWorkingSet& work) {
    const std::uint16_t count = work.header.number_of_sections;
    if (count == 0) return true;
    std::vector<std::uint8_t> raw;
    try {
        if (checked_read(stream, kSectionHeaderSize * count, raw, "analyze") == 0) {
            report_message("Error reading section headers\n");
            return false;
        }
        work.sections.reserve(count);
        for (std::size_t i = 0; i < count; ++i)
            work.sections.push_back(decode_section(raw.data() + i * kSectionHeaderSize));
    } catch (const std::bad_alloc&) {
        report_message(
            compose("QUORV Internal: calloc failed for %d section headers\n", int{count}));
        return false;
    }
    return true;
}

// Step 4: the string table; every outcome that reports a message fails the module.
void load_string_table(InputStream& stream, std::uint32_t base, ModuleWorkingSet& work) {
    const FileHeader& h = work.header;
    if (h.pointer_to_symbol_table == 0) return;
    const std::uint32_t position = base + h.pointer_to_symbol_table +
                                   static_cast<std::uint32_t>(kSymbolRecordSize) * h.number_of_symbols;
    if (!seek_to(stream, position)) {
        report_message(
            compose("Error seeking to start of string table at file address %x\n", position));
        work.failed = true;
        return;
    }
    std::uint8_t size_field[4];
    if (checked_read(stream, 4, size_field, "analyze") == 0) {
        report_message("Error reading string table size\n");
        work.failed = true;
        return;
    }
    const std::uint32_t size = read_u32le(size_field);
    if (size == 0 || size == 4) return;
    if (size < 4) {
        report_message("Bad string table size\n");
        work.failed = true;
        return;
    }
    try {
        if (checked_read(stream, size - 4, work.strings, "analyze") == 0) {
            report_message("Read of string table failed\n");
            work.strings.clear();
            work.strings.shrink_to_fit();
            work.failed = true;
        }
    } catch (const std::bad_alloc&) {
        work.strings.clear();
        work.strings.shrink_to_fit();
        report_message("Malloc of buffer for string table failed\n");
        work.failed = true;
    }
}

// Step 6: the symbol table, loaded whole or not at all.
void load_symbol_table(InputStream& stream, std::uint32_t base, ModuleWorkingSet& work) {
    const FileHeader& h = work.header;
    if (h.number_of_symbols == 0 || h.pointer_to_symbol_table == 0) return;
    // In 64 bits: a wrapped 32-bit size would let the scan walk past its buffer.
    const std::uint64_t bytes = std::uint64_t{kSymbolRecordSize} * h.number_of_symbols;
    const auto report_no_buffer = [&] {
        report_message("\nError: Unable to allocate " + std::to_string(bytes) +
                       " byte buffer to hold symbol table\n");
        work.failed = true;
    };
    if (bytes > 0xFFFFFFFFu) return report_no_buffer();
    if (!seek_to(stream, base + h.pointer_to_symbol_table)) {
        report_message("Error seeking to symbol table\n");
        work.failed = true;
        return;
    }
    try {
        if (checked_read(stream, static_cast<std::size_t>(bytes), work.symbols, "analyze") == 0) {
            report_message("Error reading symbol table\n");
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

}  // namespace

void ModuleWorkingSet::clear() {
    header = FileHeader{};
    sections.clear();
    strings.clear();
    symbols.clear();
    symbol_count = 0;
    failed = false;
}

std::size_t checked_read(InputStream& stream, std::size_t count, std::uint8_t* buffer,
                         std::string_view where) {
    return finish_read(stream, stream.read(buffer, count), count, where);
}

std::size_t checked_read(InputStream& stream, std::size_t count, std::vector<std::uint8_t>& out,
                         std::string_view where) {
    // Bytes the stream holds in memory are copied once, without filling the buffer first;
    // positioning past them is what reading them would have done.
    if (const auto held = stream.buffered(); held.size() >= count && count < kFirstUnreachableOffset) {
        out.assign(held.begin(), held.begin() + static_cast<std::ptrdiff_t>(count));
        if (seek_to(stream, stream.tell() + static_cast<std::uint32_t>(count)))
            return finish_read(stream, count, count, where);
    }
    // Size the buffer by what the input can still deliver, never by count alone; past the
    // known end, grow in chunks only as bytes keep arriving.
    std::size_t want = std::min(count, kFirstReadChunk);
    if (auto left = stream.remaining()) want = std::max<std::uint64_t>(want, std::min<std::uint64_t>(count, *left));
    out.clear();
    out.resize(want);
    std::size_t got = stream.read(out.data(), want);
    while (got == out.size() && got < count) {
        const std::size_t more = std::min(count - got, std::max(got, kFirstReadChunk));
        std::array<std::uint8_t, 4096> probe;
        if (stream.remaining().value_or(1) == 0) {
            // Looks like the end: confirm with a small read before growing anything.
            const std::size_t n = stream.read(probe.data(), std::min(more, probe.size()));
            if (n == 0) break;
            out.insert(out.end(), probe.begin(), probe.begin() + static_cast<std::ptrdiff_t>(n));
            got += n;
            continue;
        }
        out.resize(got + more);
        got += stream.read(out.data() + got, more);
    }
    out.resize(got);
    return finish_read(stream, got, count, where);
}

bool seek_to(InputStream& stream, std::uint32_t offset) { return stream.seek(offset); }

bool ranges_overlap(std::uint32_t start1, std::uint32_t length1, std::uint32_t start2,
                    std::uint32_t length2) {
    if (start1 == 0 || length1 == 0 || start2 == 0 || length2 == 0) return false;
    // Inclusive ends, wrapping at 2^32 like every file offset here.
    const std::uint32_t end1 = start1 + length1 - 1;
    const std::uint32_t end2 = start2 + length2 - 1;
    if (start2 <= start1 && start1 <= end2) return true;
    if (start2 <= end1 && end1 <= end2) return true;
    return start1 <= start2 && end1 >= end2;
}

namespace {

// The nine tests of a pair of sections, in their order: which region of section i against
// which region of section j, and the message of a finding.
struct PairTest {
    FileRegion SectionRegions::*first;
    FileRegion SectionRegions::*second;
    const char* message;
};
constexpr PairTest kPairTests[] = {
    {&SectionRegions::raw_data, &SectionRegions::raw_data,
     "Object Format Error: Raw data overlap between sections %x and %x\n"},
    {&SectionRegions::raw_data, &SectionRegions::relocations,
     "Object Format Error: Section %x raw data overlaps section %x relocations\n"},
    {&SectionRegions::raw_data, &SectionRegions::line_numbers,
     "Object Format Error: Section %x raw data overlaps section %x line numbers\n"},
    {&SectionRegions::relocations, &SectionRegions::raw_data,
     "Object Format Error: Section %x relocations overlap section %x raw data\n"},
    {&SectionRegions::relocations, &SectionRegions::relocations,
     "Object Format Error: Relocations overlap for sections %x and %x\n"},
    {&SectionRegions::relocations, &SectionRegions::line_numbers,
     "Object Format Error: Section %x relocations overlap section %x line numbers\n"},
    {&SectionRegions::line_numbers, &SectionRegions::raw_data,
     "Object Format Error: Section %x line numbers overlap section %x raw data\n"},
    {&SectionRegions::line_numbers, &SectionRegions::relocations,
     "Object Format Error: Section %x line numbers overlap section %x relocations\n"},
    {&SectionRegions::line_numbers, &SectionRegions::line_numbers,
     "Object Format Error: Line numbers overlap for sections %x and %x\n"},
};

constexpr std::size_t kPairwiseSectionLimit = 8;

void check_every_pair(const std::vector<SectionRegions>& sections) {
    const auto n = static_cast<std::uint32_t>(sections.size());
    for (std::uint32_t i = 1; i < n; ++i)
        for (std::uint32_t j = i + 1; j <= n; ++j) check_section_pair(sections, i, j);
}

}  // namespace

void check_section_pair(const std::vector<SectionRegions>& sections, std::uint32_t i,
                        std::uint32_t j) {
    const SectionRegions& a = sections[i - 1];
    const SectionRegions& b = sections[j - 1];
    for (const PairTest& t : kPairTests) {
        const FileRegion& r1 = a.*t.first;
        const FileRegion& r2 = b.*t.second;
        if (ranges_overlap(r1.start, r1.length, r2.start, r2.length))
            report_message(compose(t.message, i, j));
    }
}

void check_all_section_pairs(const std::vector<SectionRegions>& sections) {
    // A few sections, as compilers write them, are quicker to test pair by pair than to sort.
    if (sections.size() <= kPairwiseSectionLimit) return check_every_pair(sections);
    std::vector<SectionOverlap> found;
    try {
        found = find_section_overlaps(sections);
    } catch (const std::bad_alloc&) {
        // Without room for the sweep, every pair is tested: slower, the same messages.
        return check_every_pair(sections);
    }
    for (const SectionOverlap& f : found)
        report_message(compose(kPairTests[f.test].message, unsigned{f.i}, unsigned{f.j}));
}

bool process_file_header(InputStream& stream, FileHeader& header) {
    std::uint8_t raw[kFileHeaderSize];
    if (checked_read(stream, kFileHeaderSize, raw, "process_file_header") == 0) {
        report_message("Error reading file header\n");
        return false;
    }
    header.machine = read_u16le(raw + 0);
    header.number_of_sections = read_u16le(raw + 2);
    header.time_date_stamp = read_u32le(raw + 4);
    header.pointer_to_symbol_table = read_u32le(raw + 8);
    header.number_of_symbols = read_u32le(raw + 12);
    header.size_of_optional_header = read_u16le(raw + 16);
    // A signed count of seconds since 1970: negative stamps are damage.
    if (header.time_date_stamp >= 0x80000000u)
        report_message("Error - bad file header time stamp\n");
    if (!accepted_machine(header.machine))
        report_message("Error - bad file header machine value\n");
    return true;
}

bool process_opt_header(InputStream& stream, std::uint16_t size) {
    if (size != kOptionalHeaderStandard && size != kOptionalHeaderImage32) {
        report_message(compose("QUORV Internal: bad optional header size of %d (expecting %d or %d)\n",
                               int{size}, int{kOptionalHeaderStandard}, int{kOptionalHeaderImage32}));
        return false;
    }
    std::uint8_t raw[kOptionalHeaderImage32];
    if (checked_read(stream, size, raw, "process_opt_header") == 0) {
        report_message("QUORV Internal:  error reading optional header\n");
        return false;
    }
    if (size == kOptionalHeaderImage32 && !accepted_subsystem(read_u16le(raw + kSubsystemOffset)))
        report_message("QUORV Internal: bad optional header subsystem value\n");
    return true;
}

namespace {

int read_module_steps(InputStream& stream, const FileEntry& entry, std::uint32_t base,
                      AnalysisModel& model, ModuleWorkingSet& work) {
    if (!process_file_header(stream, work.header)) return 1;
    if (work.header.size_of_optional_header != 0 &&
        !process_opt_header(stream, work.header.size_of_optional_header)) {
        report_message(compose("Could not process optional header (file %s)", entry.full_path.c_str()));
        return 1;
    }
    if (!load_section_table(stream, work)) return 1;
    load_string_table(stream, base, work);
    check_all_section_pairs(work.sections);
    load_symbol_table(stream, base, work);
    model.current_object = ObjectRef{&entry, 0, false};
    const int scan = process_symbol_table(work, model);
    return (work.failed || scan != 0) ? 1 : 0;
}

}  // namespace

int read_object_module(InputStream& stream, const FileEntry& entry, std::uint32_t base,
                       AnalysisModel& model, ModuleWorkingSet& work) {
    work.clear();
    try {
        return read_module_steps(stream, entry, base, model, work);
    } catch (const std::bad_alloc&) {
        // Memory ran out where no message of its own is owed (composing one): the module fails.
        return 1;
    }
}

int read_object_module(InputStream& stream, const FileEntry& entry, std::uint32_t base,
                       AnalysisModel& model) {
    ModuleWorkingSet work;
    return read_object_module(stream, entry, base, model, work);
}

}  // namespace quorv
