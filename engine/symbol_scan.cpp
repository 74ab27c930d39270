#include "engine/symbol_scan.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string_view>
#include <utility>
#include <vector>

#include "engine/byte_order.h"
#include "engine/messages.h"
#include "engine/text.h"

namespace quorv {
namespace {

struct SymbolRecord {
    std::uint32_t zeroes;
    std::uint32_t name_offset;
    std::uint32_t value;
    std::int32_t section_number;  // 16-bit in a regular object, 32-bit in a big one
    std::uint16_t type;
    std::uint8_t storage_class;
    std::uint8_t aux_count;
};

SymbolRecord decode_symbol(const std::uint8_t* p, CoffVariant variant) {
    using namespace coff;
    SymbolRecord s{
        read_u32le(p), read_u32le(p + kSymbolNameOffsetOffset), read_u32le(p + kSymbolValueOffset), 0, 0, 0, 0};
    if (variant == CoffVariant::BigObject) {
        s.section_number = static_cast<std::int32_t>(read_u32le(p + kSymbolSectionOffset));
        s.type = read_u16le(p + kBigSymbolTypeOffset);
        s.storage_class = p[kBigSymbolClassOffset];
        s.aux_count = p[kBigSymbolAuxCountOffset];
    } else {
        s.section_number = static_cast<std::int16_t>(read_u16le(p + kSymbolSectionOffset));
        s.type = read_u16le(p + kSymbolTypeOffset);
        s.storage_class = p[kSymbolClassOffset];
        s.aux_count = p[kSymbolAuxCountOffset];
    }
    return s;
}

std::string_view text_up_to_zero(const std::uint8_t* first, std::size_t limit) {
    const void* zero = std::memchr(first, 0, limit);
    const std::size_t length =
        zero == nullptr ? limit : static_cast<std::size_t>(static_cast<const std::uint8_t*>(zero) - first);
    return std::string_view(reinterpret_cast<const char*>(first), length);
}

// The record's name, or false when its long-name offset lies outside the string table.
bool resolve_name(const std::uint8_t* record, const SymbolRecord& s, const std::vector<std::uint8_t>& strings,
                  std::string_view& name) {
    if (s.zeroes != 0) {
        // A short name of exactly 8 characters has no terminator in the record.
        name = text_up_to_zero(record, coff::kSymbolNameSize);
        return true;
    }
    // Offsets count from the size field; the kept bytes start after it.
    const std::uint32_t start = s.name_offset - coff::kStringTableSizeField;
    if (start >= strings.size()) return false;
    // A name with no zero byte before the end of the table is cut there.
    name = text_up_to_zero(strings.data() + start, strings.size() - start);
    return true;
}

// What a record becomes, the first rule that matches deciding.
enum class Role { Procedure, DefinedData, Declaration, None };

Role role_of(const SymbolRecord& s) {
    using namespace coff;
    if ((s.type & kTypeDerivedMask) == kTypeFunction && s.section_number != 0) return Role::Procedure;
    if (s.storage_class != kClassExternal || s.type != 0) return Role::None;
    if (s.section_number > 0) return Role::DefinedData;
    return s.section_number == 0 ? Role::Declaration : Role::None;
}

class Scan {
  public:
    Scan(const Diagnostics& diagnostics, ModuleWorkingSet& work)
        : diagnostics_(diagnostics), work_(work), facts_(work.facts) {}

    int run() {
        facts_.name_source = work_.strings;
        const std::uint32_t n = work_.symbol_count;
        const std::size_t record_size = work_.symbol_record_size();
        for (std::uint32_t i = 0; i < n;) {
            const std::uint8_t* record = work_.symbols.data() + std::size_t{i} * record_size;
            const SymbolRecord s = decode_symbol(record, work_.variant);
            std::string_view name;
            if (!resolve_name(record, s, work_.strings, name)) {
                diagnostics_.report(compose(msg::kNameOutsideStrings, s.name_offset));
                error_ = true;
            } else if (!note(role_of(s), s, name)) {
                facts_.marks_dropped = true;
                return 1;
            }
            check_section_number(s);
            note_place(s);
            i = next_record(i, s);
        }
        bound_defined_data();
        return error_ || facts_.fact_lost ? 1 : 0;
    }

  private:
    // false when the scan must end at once.
    bool note(Role role, const SymbolRecord& s, std::string_view name) {
        switch (role) {
            case Role::Procedure:
                // Decorated names (stdcall, fastcall) are not procedures of the program.
                if (name.find('@') == std::string_view::npos) facts_.define_procedure(name);
                return true;
            case Role::DefinedData:
                if (facts_.define_data(name)) {
                    defined_at_.push_back({static_cast<std::uint32_t>(s.section_number), s.value});
                    return true;
                }
                diagnostics_.report(msg::kDataInitializedMemory);
                return false;
            case Role::Declaration:
                facts_.declare(name, s.value);
                return true;
            case Role::None:
                break;
        }
        return true;
    }

    void check_section_number(const SymbolRecord& s) {
        if (s.section_number < -2 || std::int64_t{s.section_number} > std::int64_t{work_.header.number_of_sections}) {
            diagnostics_.report(msg::kSectionOutOfRange);
            error_ = true;
        }
    }

    // The record after record i and its auxiliaries. When the aux count runs past the table
    // the next record is simply i + 1.
    std::uint32_t next_record(std::uint32_t i, const SymbolRecord& s) {
        if (std::uint64_t{i} + s.aux_count >= work_.symbol_count) {
            diagnostics_.report(msg::kAuxOverflow);
            error_ = true;
            return i + 1;
        }
        // A weak external carries one auxiliary record, whatever its count says.
        const std::uint32_t skip = (s.storage_class == coff::kClassWeakExternal && s.aux_count >= 1) ? 1 : s.aux_count;
        return i + 1 + skip;
    }

    // Where every symbol in a section stands: the next higher one bounds the data before it.
    void note_place(const SymbolRecord& s) {
        if (s.section_number > 0) places_.push_back({static_cast<std::uint32_t>(s.section_number), s.value});
    }

    // COFF gives defined data no size: each gets the distance to the next higher symbol of
    // its section, or to the section's end, as an upper bound.
    void bound_defined_data() {
        std::sort(places_.begin(), places_.end());
        for (std::size_t k = 0; k < defined_at_.size() && k < facts_.defined_data.size(); ++k) {
            const auto [section, value] = defined_at_[k];
            const auto next = std::upper_bound(places_.begin(), places_.end(), std::pair{section, value});
            std::uint64_t end = 0;
            if (next != places_.end() && next->first == section)
                end = next->second;
            else if (section <= work_.sections.size())
                end = work_.sections[section - 1].raw_data.length;
            facts_.defined_data[k].size = end > value ? end - value : 0;
            facts_.defined_data[k].size_exact = false;
        }
    }

    const Diagnostics& diagnostics_;
    ModuleWorkingSet& work_;
    ModuleFacts& facts_;
    bool error_ = false;
    std::vector<std::pair<std::uint32_t, std::uint32_t>> places_;      // (section, value) of every symbol
    std::vector<std::pair<std::uint32_t, std::uint32_t>> defined_at_;  // the same of each defined datum
};

}  // namespace

int process_symbol_table(const Diagnostics& diagnostics, ModuleWorkingSet& work) {
    try {
        return Scan(diagnostics, work).run();
    } catch (const std::bad_alloc&) {
        // A message could not be composed: the scan ends, and fails, with no marks.
        work.facts.marks_dropped = true;
        return 1;
    }
}

}  // namespace quorv
