#include "engine/elf_reader.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <string_view>

#include "engine/checked_read.h"
#include "engine/messages.h"
#include "engine/text.h"

namespace quorv {
namespace {

using namespace elf;

// The GCC link-time-optimization marks: a slim object's symbol, and its sections' prefix.
constexpr std::string_view kLtoSlimSymbol = "__gnu_lto_slim";
constexpr std::string_view kLtoSymbolPrefix = "__gnu_lto_";
constexpr std::string_view kLtoSectionPrefix = ".gnu.lto_";

// The zero-terminated text at first, cut at limit when no zero byte comes before.
std::string_view text_at(const std::uint8_t* first, std::size_t limit) {
    const void* zero = std::memchr(first, 0, limit);
    const std::size_t length =
        zero == nullptr ? limit : static_cast<std::size_t>(static_cast<const std::uint8_t*>(zero) - first);
    return std::string_view(reinterpret_cast<const char*>(first), length);
}

class ElfModule {
  public:
    ElfModule(const Diagnostics& diagnostics, InputStream& stream, const FileEntry& entry, std::uint32_t base,
              std::uint64_t end, ElfWorkingSet& work)
        : diagnostics_(diagnostics),
          stream_(stream),
          entry_(entry),
          base_(base),
          length_(end > base ? end - base : 0),
          work_(work) {}

    int read() {
        std::uint64_t shoff = 0;
        std::uint16_t shentsize = 0, shnum = 0, shstrndx = 0;
        if (!read_header(shoff, shentsize, shnum, shstrndx)) return 1;
        if (work_.skipped) return 0;
        if (shoff == 0) return 0;
        if (!read_sections(shoff, shentsize, shnum)) return 1;
        check_overlaps();
        const bool symbols = scan_symbols();
        load_section_names(shstrndx);
        if (symbols && work_.read_debug) collect_debug();
        if (is_lto()) {
            diagnostics_.report(compose(msg::kNotObjectModule, entry_.full_path.c_str()));
            work_.skipped = true;
        }
        return failed_ ? 1 : 0;
    }

  private:
    // Whether [offset, offset + size) lies within the module, computed without wrapping.
    bool within(std::uint64_t offset, std::uint64_t size) const {
        return offset <= length_ && size <= length_ - offset;
    }

    void report_short(std::uint64_t offset, const std::string& expected, std::string_view where) const {
        const std::uint64_t returned = offset < length_ ? length_ - offset : 0;
        diagnostics_.report(fill_pattern(msg::kFreadShort, {std::to_string(returned), expected, where}));
    }

    // The bytes [offset, offset + size) of the module, or false with the short-read message.
    bool read_at(std::uint64_t offset, std::uint64_t size, std::vector<std::uint8_t>& out, std::string_view where) {
        if (!within(offset, size)) {
            report_short(offset, std::to_string(size), where);
            return false;
        }
        out.clear();
        if (size == 0) return true;
        const std::uint64_t position = base_ + offset;
        if (position >= kFirstUnreachableOffset || !seek_to(stream_, static_cast<std::uint32_t>(position))) {
            report_short(length_, std::to_string(size), where);
            return false;
        }
        return checked_read(diagnostics_, stream_, size, out, where) != 0;
    }

    bool read_header(std::uint64_t& shoff, std::uint16_t& shentsize, std::uint16_t& shnum, std::uint16_t& shstrndx) {
        std::uint8_t ident[kClassOffset + 1] = {};
        const std::size_t known = stream_.peek_at(base_, ident, std::min<std::uint64_t>(sizeof ident, length_));
        const bool class32 = known > kClassOffset && ident[kClassOffset] == kClass32;
        std::vector<std::uint8_t> header;
        if (!read_at(0, class32 ? kHeaderSize32 : kHeaderSize64, header, "process_file_header")) {
            diagnostics_.report(msg::kFileHeaderRead);
            return false;
        }
        const std::uint8_t file_class = header[kClassOffset], data = header[kDataOffset];
        if ((file_class != kClass32 && file_class != kClass64) || (data != kDataLsb && data != kDataMsb)) {
            diagnostics_.report(msg::kBadElfHeader);
            return false;
        }
        Layout& l = work_.layout;
        l.is64 = file_class == kClass64;
        l.big_endian = data == kDataMsb;
        const std::uint8_t* h = header.data();
        const std::uint16_t type = l.u16(h + kTypeOffset);
        work_.machine = l.u16(h + kMachineOffset);
        if (type == kTypeExecutable || type == kTypeShared || type == kTypeCore) {
            diagnostics_.report(compose(msg::kNotObject, entry_.full_path.c_str()));
            work_.skipped = true;
            return true;
        }
        shoff = l.is64 ? l.u64(h + 40) : l.u32(h + 32);
        const std::size_t at = l.is64 ? 58 : 46;
        shentsize = l.u16(h + at);
        shnum = l.u16(h + at + 2);
        shstrndx = l.u16(h + at + 4);
        return true;
    }

    ElfSection decode_section(const std::uint8_t* p) const {
        const Layout& l = work_.layout;
        ElfSection s;
        s.name = l.u32(p);
        s.type = l.u32(p + 4);
        s.flags = l.word(p + 8);
        if (l.is64) {
            s.offset = l.u64(p + 24);
            s.size = l.u64(p + 32);
            s.link = l.u32(p + 40);
            s.info = l.u32(p + 44);
            s.entry_size = l.u64(p + 56);
        } else {
            s.offset = l.u32(p + 16);
            s.size = l.u32(p + 20);
            s.link = l.u32(p + 24);
            s.info = l.u32(p + 28);
            s.entry_size = l.u32(p + 36);
        }
        return s;
    }

    bool read_sections(std::uint64_t shoff, std::uint16_t shentsize, std::uint16_t shnum) {
        const std::size_t entry_size = work_.layout.section_header_size();
        if (shentsize != entry_size) {
            diagnostics_.report(msg::kSectionHeadersRead);
            return false;
        }
        std::vector<std::uint8_t> raw;
        std::uint64_t count = shnum;
        if (count == 0) {
            // Extended numbering: the count stands in section 0's sh_size.
            if (!read_at(shoff, entry_size, raw, "analyze")) {
                diagnostics_.report(msg::kSectionHeadersRead);
                return false;
            }
            count = decode_section(raw.data()).size;
        }
        // The table's extent, judged without forming a product that could wrap.
        if (shoff > length_ || count > (length_ - shoff) / entry_size) {
            report_short(shoff, product_decimal(count, entry_size), "analyze");
            diagnostics_.report(msg::kSectionHeadersRead);
            return false;
        }
        if (!read_at(shoff, count * entry_size, raw, "analyze")) {
            diagnostics_.report(msg::kSectionHeadersRead);
            return false;
        }
        work_.sections.reserve(static_cast<std::size_t>(count));
        for (std::uint64_t i = 0; i < count; ++i) work_.sections.push_back(decode_section(raw.data() + i * entry_size));
        return true;
    }

    // Sections 1 and up whose file regions (half-open, any type but NOBITS, not empty) share a
    // byte, each pair once, lower index first, in pair order. A sweep over the regions sorted
    // by start finds them without testing every pair.
    void check_overlaps() {
        struct Region {
            std::uint64_t start, size;
            std::uint32_t index;
        };
        std::vector<Region> regions;
        const auto& sections = work_.sections;
        for (std::size_t i = 1; i < sections.size(); ++i)
            if (sections[i].type != kSectionNobits && sections[i].size > 0)
                regions.push_back({sections[i].offset, sections[i].size, static_cast<std::uint32_t>(i)});
        std::sort(regions.begin(), regions.end(), [](const Region& a, const Region& b) { return a.start < b.start; });
        std::vector<std::pair<std::uint32_t, std::uint32_t>> pairs;
        std::vector<Region> open;
        for (const Region& r : regions) {
            // Regions that end at or before this start can meet no later one.
            std::erase_if(open, [&](const Region& o) { return r.start - o.start >= o.size; });
            for (const Region& o : open) pairs.emplace_back(std::min(o.index, r.index), std::max(o.index, r.index));
            open.push_back(r);
        }
        std::sort(pairs.begin(), pairs.end());
        for (const auto& [i, j] : pairs) diagnostics_.report(compose(msg::kRawRawOverlap, i, j));
    }

    const ElfSection* symbol_table() const {
        for (std::size_t i = 1; i < work_.sections.size(); ++i)
            if (work_.sections[i].type == kSectionSymtab) return &work_.sections[i];
        return nullptr;
    }

    // The symbol table and its string table, or false (reported) when the scan cannot run.
    bool load_symbols(const ElfSection& table, std::uint64_t& count) {
        const std::size_t record = work_.layout.symbol_size();
        if (table.entry_size != record) {
            diagnostics_.report(msg::kSymbolTableRead);
            return false;
        }
        // Whole records only: a trailing part of one is no record.
        count = table.size / record;
        if (!read_at(table.offset, count * record, work_.symbols, "analyze")) {
            diagnostics_.report(msg::kSymbolTableRead);
            return false;
        }
        const bool linked = table.link != 0 && table.link < work_.sections.size();
        const ElfSection* strings = linked ? &work_.sections[table.link] : nullptr;
        if (strings == nullptr || strings->type != kSectionStrtab || !within(strings->offset, strings->size) ||
            !read_at(strings->offset, strings->size, work_.strings, "analyze")) {
            diagnostics_.report(msg::kStringTableRead);
            return false;
        }
        return true;
    }

    bool section_in_range(std::uint16_t index) const {
        if (index == kSectionUndefined || index < work_.sections.size()) return true;
        if (index == kSectionAbsolute || index == kSectionCommon || index == kSectionExtended) return true;
        return index == kSectionX86_64LargeCommon && work_.machine == kMachineX86_64;
    }

    bool is_common(std::uint16_t index) const {
        return index == kSectionCommon || (index == kSectionX86_64LargeCommon && work_.machine == kMachineX86_64);
    }

    // true when the symbol table was there and loaded.
    bool scan_symbols() {
        const ElfSection* table = symbol_table();
        if (table == nullptr) return false;
        std::uint64_t count = 0;
        if (!load_symbols(*table, count)) {
            failed_ = true;
            return false;
        }
        ModuleFacts& facts = work_.facts;
        facts.name_source = work_.strings;
        const Layout& l = work_.layout;
        for (std::uint64_t i = 1; i < count; ++i) {
            const std::uint8_t* p = work_.symbols.data() + i * l.symbol_size();
            const std::uint32_t name_offset = l.u32(p);
            const std::uint8_t info = l.is64 ? p[4] : p[12];
            const std::uint16_t index = l.is64 ? l.u16(p + 6) : l.u16(p + 14);
            const std::uint64_t size = l.is64 ? l.u64(p + 16) : l.u32(p + 8);
            std::string_view name;
            const bool named = name_offset < work_.strings.size();
            if (!named) {
                diagnostics_.report(compose(msg::kNameOutsideStrings, name_offset));
                failed_ = true;
            } else {
                name = text_at(work_.strings.data() + name_offset, work_.strings.size() - name_offset);
            }
            if (!section_in_range(index)) {
                diagnostics_.report(msg::kSectionOutOfRange);
                failed_ = true;
            }
            if (named && name == kLtoSlimSymbol) lto_slim_ = true;
            if (named && !name.empty()) classify(name, info, index, size);
        }
        return true;
    }

    void classify(std::string_view name, std::uint8_t info, std::uint16_t index, std::uint64_t size) {
        const std::uint8_t type = info & 0x0F, binding = info >> 4;
        const bool exported = binding == kBindGlobal || binding == kBindWeak || binding == kBindGnuUnique;
        const bool defined = index != kSectionUndefined;
        ModuleFacts& facts = work_.facts;
        if (is_common(index)) {
            facts.declare(name, size);
        } else if ((type == kTypeFunction || type == kTypeGnuIfunc) && defined && exported) {
            facts.define_procedure(name);
        } else if ((type == kTypeObject || type == kTypeTls) && defined && index != kSectionAbsolute && exported) {
            if (!facts.define_data(name, size, true)) facts.fact_lost = true;
        }
    }

    // A GCC link-time-optimization object without machine code: the slim object's symbol, or
    // its sections and nothing of its own to record.
    bool is_lto() {
        if (lto_slim_) return true;
        const ModuleFacts& facts = work_.facts;
        const auto lto_name = [](std::string_view n) { return n.starts_with(kLtoSymbolPrefix); };
        const bool own =
            std::any_of(facts.records.begin(), facts.records.end(), [&](const auto& r) { return !lto_name(r.name); }) ||
            std::any_of(facts.defined_data.begin(), facts.defined_data.end(),
                        [&](const auto& d) { return !lto_name(d.name); });
        if (own) return false;
        for (std::size_t i = 1; i < work_.sections.size(); ++i)
            if (section_name(i).starts_with(kLtoSectionPrefix)) return true;
        return false;
    }

    // Quietly, like every look at the module beyond its symbols: bytes that cannot be had
    // give nothing and no message.
    bool peek(std::uint64_t offset, std::uint64_t size, std::vector<std::uint8_t>& out) {
        out.clear();
        if (!within(offset, size)) return false;
        out.resize(static_cast<std::size_t>(size));
        return size == 0 || stream_.peek_at(base_ + offset, out.data(), out.size()) == out.size();
    }

    // The section names, from e_shstrndx (SHN_XINDEX: section 0's sh_link); a name table
    // that is not a string table within the module gives no names.
    void load_section_names(std::uint16_t shstrndx) {
        const auto& sections = work_.sections;
        if (sections.empty()) return;
        const std::uint64_t names_index = shstrndx == kSectionExtended ? sections[0].link : shstrndx;
        if (names_index == 0 || names_index >= sections.size()) return;
        const ElfSection& names = sections[static_cast<std::size_t>(names_index)];
        if (names.type != kSectionStrtab || !peek(names.offset, names.size, work_.section_names))
            work_.section_names.clear();
    }

    // Bytes of the module in place when the input is in memory, else a copy held in copy.
    bool view(std::uint64_t offset, std::uint64_t size, std::vector<std::uint8_t>& copy,
              std::span<const std::uint8_t>& out) {
        if (!within(offset, size)) return false;
        return view_or_copy(stream_, base_ + offset, size, copy, out);
    }

    std::string_view section_name(std::size_t index) const {
        const std::vector<std::uint8_t>& text = work_.section_names;
        const std::uint32_t at = work_.sections[index].name;
        if (at >= text.size()) return {};
        return text_at(text.data() + at, text.size() - at);
    }

    // The widths of relocated fields of .debug_info or .debug_line by the machine's types; a
    // type not named writes no plain 4- or 8-byte value.
    void relocation_widths(dwarf::RelocationRecords& table) const {
        using Width = dwarf::RelocationRecords::Width;
        const auto set = [&](Width a, Width b = {}, Width c = {}) {
            table.widths[0] = a;
            table.widths[1] = b;
            table.widths[2] = c;
        };
        switch (work_.machine) {
            case kMachineX86_64:
                return set({1, 8}, {10, 4}, {11, 4});
            case kMachine386:
            case kMachinePpc:
                return set({1, 4});
            case kMachineS390:
                return set({22, 8}, {4, 4});
            case kMachinePpc64:
                return set({38, 8}, {1, 4});
            case kMachineAarch64:
                return set({257, 8}, {258, 4});
            default:
                return set({});
        }
    }

    // A table is read where it lies; one copied (an input not in memory) is kept with the
    // section's, and one more for a section is decoded at once.
    void collect_relocations(const ElfSection& table, dwarf::SectionId id) {
        using Layout = dwarf::RelocationRecords::Layout;
        const elf::Layout& l = work_.layout;
        const bool rela = table.type == kSectionRela;
        dwarf::RelocationRecords records;
        records.layout =
            l.is64 ? (rela ? Layout::Elf64Rela : Layout::Elf64Rel) : (rela ? Layout::Elf32Rela : Layout::Elf32Rel);
        records.big_endian = l.big_endian;
        relocation_widths(records);
        dwarf::DebugInput& debug = work_.debug;
        std::vector<std::uint8_t> spare;
        if (table.entry_size != dwarf::RelocationRecords::record_size(records.layout) ||
            !view(table.offset, table.size, debug.keeps_records(id) ? work_.relocation_bytes[id] : spare,
                  records.bytes))
            return;
        debug.add_relocations(id, records);
    }

    // The DWARF sections, their relocations and the symbols they name, for the layouts.
    void collect_debug() {
        dwarf::DebugInput& debug = work_.debug;
        const auto& sections = work_.sections;
        std::size_t index_of_id[dwarf::kSectionCount] = {};
        for (std::size_t i = 1; i < sections.size(); ++i) {
            const int id = dwarf::section_id(section_name(i));
            if (id < 0 || debug.sections[id].present || sections[i].type == kSectionNobits) continue;
            std::span<const std::uint8_t> bytes;
            if (!view(sections[i].offset, sections[i].size, work_.debug_bytes[id], bytes)) continue;
            debug.sections[id] = {bytes, (sections[i].flags & kSectionCompressed) != 0, true};
            index_of_id[id] = i;
        }
        if (!debug.has_info()) return;
        for (std::size_t i = 1; i < sections.size(); ++i) {
            if (sections[i].type != kSectionRela && sections[i].type != kSectionRel) continue;
            for (const int id : {int{dwarf::kInfo}, int{dwarf::kLine}, int{dwarf::kStrOffsets}})
                if (debug.sections[id].present && sections[i].info == index_of_id[id])
                    collect_relocations(sections[i], static_cast<dwarf::SectionId>(id));
        }
        const Layout& l = work_.layout;
        const std::size_t record = l.symbol_size();
        const std::size_t count = work_.symbols.size() / record;
        debug.symbols.resize(count);
        for (std::size_t i = 0; i < count; ++i) {
            const std::uint8_t* p = work_.symbols.data() + i * record;
            const std::uint32_t name = l.u32(p);
            if (name < work_.strings.size())
                debug.symbols[i].name = text_at(work_.strings.data() + name, work_.strings.size() - name);
            debug.symbols[i].is_common = is_common(l.is64 ? l.u16(p + 6) : l.u16(p + 14));
        }
        debug.big_endian = l.big_endian;
        debug.elf64 = l.is64;
    }

    const Diagnostics& diagnostics_;
    InputStream& stream_;
    const FileEntry& entry_;
    std::uint32_t base_;
    std::uint64_t length_;
    ElfWorkingSet& work_;
    bool failed_ = false;
    bool lto_slim_ = false;
};

}  // namespace

void ElfWorkingSet::clear() {
    layout = elf::Layout{};
    machine = 0;
    sections.clear();
    symbols.clear();
    strings.clear();
    section_names.clear();
    facts.clear();
    for (auto& bytes : debug_bytes) bytes.clear();
    for (auto& bytes : relocation_bytes) bytes.clear();
    debug.clear();
    skipped = false;
}

int read_elf_module(const Diagnostics& diagnostics, InputStream& stream, const FileEntry& entry, std::uint32_t base,
                    std::uint64_t end, ElfWorkingSet& work) {
    work.clear();
    try {
        return ElfModule(diagnostics, stream, entry, base, end, work).read();
    } catch (const std::bad_alloc&) {
        // No memory for a table or a message: the module fails, and nothing of it is recorded.
        work.facts.clear();
        return 1;
    }
}

}  // namespace quorv
