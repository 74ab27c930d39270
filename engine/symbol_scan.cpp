#include "engine/symbol_scan.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <string>
#include <string_view>
#include <vector>

#include "engine/report.h"
#include "engine/text.h"

namespace quorv {
namespace {

struct SymbolRecord {
    std::uint32_t zeroes;
    std::uint32_t name_offset;
    std::uint32_t value;
    std::int16_t section_number;
    std::uint16_t type;
    std::uint8_t storage_class;
    std::uint8_t aux_count;
};

SymbolRecord decode_symbol(const std::uint8_t* p) {
    return SymbolRecord{read_u32le(p), read_u32le(p + 4), read_u32le(p + 8),
                        static_cast<std::int16_t>(read_u16le(p + 12)), read_u16le(p + 14),
                        p[16], p[17]};
}

std::string_view text_up_to_zero(const std::uint8_t* first, std::size_t limit) {
    const void* zero = std::memchr(first, 0, limit);
    const std::size_t length =
        zero == nullptr ? limit : static_cast<std::size_t>(static_cast<const std::uint8_t*>(zero) - first);
    return std::string_view(reinterpret_cast<const char*>(first), length);
}

// Where the record's name lies: its first byte and how many bytes it may take. false when
// its long-name offset lies outside the string table.
bool locate_name(const std::uint8_t* record, const SymbolRecord& s,
                 const std::vector<std::uint8_t>& strings, const std::uint8_t*& first,
                 std::size_t& limit) {
    if (s.zeroes != 0) {
        // A short name of exactly 8 characters has no terminator in the record.
        first = record;
        limit = 8;
        return true;
    }
    // Offsets count from the size field; the kept bytes start after it.
    const std::uint32_t start = s.name_offset - 4;
    if (start >= strings.size()) return false;
    // A name with no zero byte before the end of the table is cut there.
    first = strings.data() + start;
    limit = strings.size() - start;
    return true;
}

// What a record becomes, the first rule that matches deciding. Known from the fields alone,
// so the name's text is only looked at for records that use it.
enum class Role { Procedure, DefinedData, Declaration, None };

Role role_of(const SymbolRecord& s) {
    if ((s.type & kTypeDerivedMask) == kTypeFunction && s.section_number != 0) return Role::Procedure;
    if (s.storage_class != kClassExternal || s.type != 0) return Role::None;
    if (s.section_number > 0) return Role::DefinedData;
    return s.section_number == 0 ? Role::Declaration : Role::None;
}

// The record after record i of n and its auxiliaries. overflows when the aux count runs
// past the table; then the next record is simply i + 1.
std::uint32_t record_after(std::uint32_t i, const SymbolRecord& s, std::uint32_t n, bool& overflows) {
    overflows = std::uint64_t{i} + s.aux_count >= n;
    if (overflows) return i + 1;
    // A weak external carries one auxiliary record, whatever its count says.
    const std::uint32_t skip = (s.storage_class == kClassWeakExternal && s.aux_count >= 1) ? 1 : s.aux_count;
    return i + 1 + skip;
}

// Walks the records some way ahead of the scan and starts fetching what recording their
// declarations will read: first the index slot, then, nearer, the block the slot names,
// then the end of its declaration list. Each is otherwise a cache miss, one after the
// other. Reports nothing and changes nothing; it steps through the records as the scan does.
class FetchAhead {
public:
    FetchAhead(const ModuleWorkingSet& work, const AnalysisModel& model) : work_(work), model_(model) {}

    void before(std::uint32_t current) {
        const std::uint32_t n = work_.symbol_count;
        while (next_ < n && next_ <= current + kSlotDistance && tail_ - head_ < kPending) {
            const std::uint8_t* record = work_.symbols.data() + std::size_t{next_} * kSymbolRecordSize;
            const SymbolRecord s = decode_symbol(record);
            const std::uint8_t* first = nullptr;
            std::size_t limit = 0;
            if (role_of(s) == Role::Declaration && locate_name(record, s, work_.strings, first, limit))
                pending_[tail_++ % kPending] = Pending{next_, model_.fetch_slot(text_up_to_zero(first, limit))};
            bool overflows = false;
            next_ = record_after(next_, s, n, overflows);
        }
        while (blocks_ != tail_ && pending_[blocks_ % kPending].record <= current + kBlockDistance)
            model_.fetch_block(pending_[blocks_++ % kPending].hash);
        while (head_ != blocks_ && pending_[head_ % kPending].record <= current + kListDistance)
            model_.fetch_declarations(pending_[head_++ % kPending].hash);
    }

private:
    static constexpr std::uint32_t kSlotDistance = 30;
    static constexpr std::uint32_t kBlockDistance = 16;
    static constexpr std::uint32_t kListDistance = 6;
    static constexpr std::uint32_t kPending = 32;
    struct Pending {
        std::uint32_t record;
        std::uint64_t hash;
    };
    const ModuleWorkingSet& work_;
    const AnalysisModel& model_;
    // Pending declarations: [head_, blocks_) had their block fetched, [blocks_, tail_) only
    // their slot.
    std::uint32_t next_ = 0;
    std::uint32_t head_ = 0;
    std::uint32_t blocks_ = 0;
    std::uint32_t tail_ = 0;
    Pending pending_[kPending] = {};
};

class Scan {
public:
    Scan(const ModuleWorkingSet& work, AnalysisModel& model, std::vector<std::string_view>& names)
        : work_(work), model_(model), initialized_names_(names) {}

    int run() {
        const std::uint32_t n = work_.symbol_count;
        FetchAhead ahead(work_, model_);
        for (std::uint32_t i = 0; i < n;) {
            ahead.before(i);
            const std::uint8_t* record = work_.symbols.data() + std::size_t{i} * kSymbolRecordSize;
            const SymbolRecord s = decode_symbol(record);
            const std::uint8_t* first = nullptr;
            std::size_t limit = 0;
            if (!locate_name(record, s, work_.strings, first, limit)) {
                report_message(compose("QUORV Internal: name offset %8x is outside string table",
                                       s.name_offset));
                error_ = true;
            } else if (const Role role = role_of(s); role != Role::None) {
                if (!act(role, s, text_up_to_zero(first, limit))) return 1;
            }
            check_section_number(s);
            i = next_record(i, s);
        }
        mark_initialized();
        return error_ ? 1 : 0;
    }

private:
    // false when the scan must end at once.
    bool act(Role role, const SymbolRecord& s, std::string_view name) {
        switch (role) {
        case Role::Procedure:
            // Decorated names (stdcall, fastcall) are not procedures of the program.
            if (name.find('@') == std::string_view::npos && model_.record_procedure(name) == 1)
                error_ = true;
            return true;
        case Role::DefinedData:
            return remember_defined(name);
        case Role::Declaration:
            if (model_.record_common_declaration(name, s.value) == kRecordFailed) error_ = true;
            return true;
        case Role::None:
            break;
        }
        return true;
    }

    bool remember_defined(std::string_view name) {
        try {
            // Room for a module's usual few at once, then doubling.
            if (initialized_names_.capacity() == 0) initialized_names_.reserve(16);
            initialized_names_.push_back(name);
        } catch (const std::bad_alloc&) {
            report_message("Could not allocate DATAINITIALIZED\n");
            return false;
        }
        return true;
    }

    void check_section_number(const SymbolRecord& s) {
        if (s.section_number < -2 || s.section_number > int{work_.header.number_of_sections}) {
            report_message("Error: Section number is out of range\n");
            error_ = true;
        }
    }

    std::uint32_t next_record(std::uint32_t i, const SymbolRecord& s) {
        bool overflows = false;
        const std::uint32_t next = record_after(i, s, work_.symbol_count, overflows);
        if (overflows) {
            report_message("Error:  Aux symbol count overflows symbol table\n");
            error_ = true;
        }
        return next;
    }

    // Defined data marks the module's own declaration of the same-named block, whichever of
    // the two came first in the table.
    void mark_initialized() {
        std::sort(initialized_names_.begin(), initialized_names_.end(), NameLess{});
        const auto last = std::unique(initialized_names_.begin(), initialized_names_.end());
        for (auto it = initialized_names_.begin(); it != last; ++it) model_.mark_initialized(*it);
    }

    const ModuleWorkingSet& work_;
    AnalysisModel& model_;
    std::vector<std::string_view>& initialized_names_;
    bool error_ = false;
};

}  // namespace

int process_symbol_table(const ModuleWorkingSet& work, AnalysisModel& model) {
    // The names recorded may share the string table's bytes; the model copies what it keeps.
    struct NameSource {
        AnalysisModel& model;
        ~NameSource() { model.set_name_source(nullptr, 0); }
    } source{model};
    model.set_name_source(work.strings.data(), work.strings.size());
    std::vector<std::string_view> initialized_names;
    try {
        return Scan(work, model, initialized_names).run();
    } catch (const std::bad_alloc&) {
        // A message could not be composed: the scan ends, and fails.
        return 1;
    }
}

}  // namespace quorv
