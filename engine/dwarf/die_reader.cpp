#include "engine/dwarf/die_reader.h"

#include <algorithm>
#include <cstring>

#include "engine/dwarf/constants.h"
#include "engine/dwarf/reasons.h"

namespace quorv::dwarf {
namespace {

// Unit header: unit_length u32 (0xffffffff: 64-bit DWARF, a u64 length follows;
// 0xfffffff0-0xfffffffe reserved) | version u16, then
//   versions 2-4: debug_abbrev_offset (offset-sized) | address_size u8
//   version 5:    unit_type u8 | address_size u8 | debug_abbrev_offset (offset-sized),
//                 and for skeleton, split and type units further fields the reader does not need.
constexpr std::uint32_t k64BitLength = 0xFFFFFFFFu;
constexpr std::uint32_t kFirstReservedLength = 0xFFFFFFF0u;

bool address_size_supported(unsigned size) {
    return size == 4 || size == 8;
}

}  // namespace

bool DieReader::fail(std::string reason) {
    if (reason_.empty()) reason_ = std::move(reason);
    return false;
}

bool DieReader::scan_units() {
    ByteCursor in = sections_.cursor(kInfo);
    visit_limit_ = 2 * in.size() + kMaxExtraDies;  // the walk reads some DIEs twice
    while (!in.at_end()) {
        Unit unit;
        unit.offset = in.position();
        if (!read_header(in, unit)) return false;
        units_.push_back(unit);
        in.seek(unit.end);
    }
    return true;
}

bool DieReader::read_header(ByteCursor& in, Unit& unit) {
    const std::uint32_t length32 = in.u32();
    std::uint64_t length = length32;
    unit.format.offset_size = 4;
    if (length32 == k64BitLength) {
        length = in.u64();
        unit.format.offset_size = 8;
    } else if (length32 >= kFirstReservedLength) {
        return fail(reason::unit_reserved_length(unit.offset, length32));
    }
    if (!in.ok()) return fail(reason::unit_header_short(unit.offset));
    if (length > in.size() - in.position()) return fail(reason::unit_past_end(unit.offset));
    unit.end = in.position() + length;
    ByteCursor h = in.ending_at(unit.end);
    unit.format.version = h.u16();
    if (!h.ok()) return fail(reason::unit_header_short(unit.offset));
    if (unit.format.version < 2 || unit.format.version > 5)
        return fail(reason::unit_version(unit.offset, unit.format.version));
    std::uint8_t unit_type = kUnitCompile;
    if (unit.format.version >= 5) {
        unit_type = h.u8();
        unit.format.address_size = h.u8();
    }
    const std::uint64_t field = h.position();
    const std::uint64_t raw = h.fixed(unit.format.offset_size);
    unit.abbreviation_offset = sections_.relocated(kInfo, field, unit.format.offset_size, raw);
    if (unit.format.version < 5) unit.format.address_size = h.u8();
    if (!h.ok()) return fail(reason::unit_header_short(unit.offset));
    unit.first_die = h.position();
    unit.compile = unit_type == kUnitCompile;
    if (unit.compile && !address_size_supported(unit.format.address_size))
        return fail(reason::unit_address_size(unit.offset, unit.format.address_size));
    return true;
}

Unit* DieReader::unit_holding(std::uint64_t offset) {
    const auto after = std::upper_bound(units_.begin(), units_.end(), offset,
                                        [](std::uint64_t o, const Unit& u) { return o < u.offset; });
    if (after == units_.begin()) return nullptr;
    Unit& unit = *(after - 1);
    if (!unit.compile || offset < unit.first_die || offset >= unit.end) return nullptr;
    return prepare(unit) ? &unit : nullptr;
}

bool DieReader::prepare(Unit& unit) {
    if (failed()) return false;
    if (unit.abbreviations == nullptr) {
        if (!sections_.present(kAbbrev)) return fail(std::string(reason::kNoAbbreviations));
        std::string why;
        if (!sections_.load(kAbbrev, why)) return fail(why);
        const TableKey key{unit.abbreviation_offset, std::min<std::uint16_t>(unit.format.version, 3),
                           unit.format.address_size, unit.format.offset_size};
        std::unique_ptr<AbbreviationTable>& table = tables_[key];
        if (table == nullptr) {
            const std::uint64_t size = sections_.bytes(kAbbrev).size();
            if (unit.abbreviation_offset >= size) return fail(reason::abbreviations_offset(unit.abbreviation_offset));
            auto decoded = std::make_unique<AbbreviationTable>();
            if (!decoded->decode(sections_.cursor(kAbbrev, unit.abbreviation_offset), unit.format, why))
                return fail(why);
            // Tables at overlapping offsets could each be decoded to the section's end: the
            // bytes decoded in all are held to a few times the section.
            const std::uint64_t limit = 4 * size + (std::uint64_t{1} << 16);
            abbreviation_bytes_ += decoded->bytes_read();
            if (abbreviation_bytes_ > limit) return fail(reason::abbreviations_too_large(limit));
            table = std::move(decoded);
        }
        unit.abbreviations = table.get();
    }
    return unit.described || describe_unit(unit);
}

bool DieReader::describe_unit(Unit& unit) {
    unit.described = true;
    unit.str_offsets_base = unit.format.offset_size == 8 ? 16 : 8;  // past a contribution's header
    if (unit.first_die >= unit.end) return true;
    Die die;
    std::uint64_t next = 0;
    if (!read(unit, unit.first_die, die, next)) return false;
    if (die.has(kWantLanguage) && die.value(kWantLanguage).is_constant())
        unit.language = die.value(kWantLanguage).number;
    if (die.has(kWantCompDir)) {
        unit.comp_dir = die.value(kWantCompDir);
        unit.has_comp_dir = true;
    }
    if (die.has(kWantStmtList) && die.value(kWantStmtList).kind == ValueKind::Unsigned) {
        unit.has_stmt_list = true;
        unit.stmt_list = die.value(kWantStmtList).number;
    }
    if (die.has(kWantStrOffsetsBase) && die.value(kWantStrOffsetsBase).kind == ValueKind::Unsigned)
        unit.str_offsets_base = die.value(kWantStrOffsetsBase).number;
    return true;
}

// Every DIE costs one visit: a type met by many members, or a subtree skipped again and
// again, cannot make the work grow past a bound.
bool DieReader::visit() {
    if (++visits_ <= visit_limit_) return true;
    return fail(reason::too_many_dies(kMaxExtraDies));
}

const Abbreviation* DieReader::abbreviation(const Unit& unit, ByteCursor& in, std::uint64_t offset,
                                            std::uint64_t& code) {
    code = in.uleb();
    if (!in.ok()) {
        fail(reason::die_short(offset));
        return nullptr;
    }
    if (code == 0) return nullptr;
    const Abbreviation* a = unit.abbreviations->find(code);
    if (a == nullptr) fail(reason::abbreviation_code(code, offset));
    return a;
}

bool DieReader::read(const Unit& unit, std::uint64_t offset, Die& die, std::uint64_t& next, std::uint32_t only) {
    if (failed() || !visit()) return false;
    ByteCursor in = sections_.cursor(kInfo, offset).ending_at(unit.end);
    std::uint64_t code = 0;
    const Abbreviation* a = abbreviation(unit, in, offset, code);
    die.offset = offset;
    die.present = 0;
    die.tag = 0;
    die.children = false;
    if (a == nullptr) {
        next = in.position();
        return code == 0 && !failed();
    }
    die.tag = a->tag;
    die.children = a->children;
    const FormContext context{sections_, kInfo, unit.format};
    const AttributeEntry* entries = unit.abbreviations->entries(*a);
    std::string why;
    for (std::uint32_t k = 0; k < a->count; ++k) {
        const AttributeEntry& entry = entries[k];
        const bool wanted = entry.slot != kNotWanted && (only >> entry.slot & 1u) != 0;
        if (!wanted && entry.size >= 0) {
            in.skip(static_cast<std::uint64_t>(entry.size));
            continue;
        }
        if (wanted && read_usual_form(in, entry.form, context, die.values[entry.slot])) {
            die.present |= 1u << entry.slot;
            continue;
        }
        const bool ok =
            wanted ? read_form(in, entry.form, entry.implicit_const, context, offset, die.values[entry.slot], why)
                   : skip_form(in, entry.form, unit.format, offset, why);
        if (!ok) return fail(why);
        if (wanted) die.present |= 1u << entry.slot;
    }
    if (!in.ok()) return fail(reason::die_short(offset));
    next = in.position();
    return true;
}

MemberRead DieReader::read_member(const Unit& unit, std::uint64_t offset, MemberFields& out, std::uint64_t& next) {
    if (failed()) return MemberRead::NoPlan;
    // The unit lies within .debug_info (scan_units): its DIEs are read up to its end.
    if (offset >= unit.end) return MemberRead::NoPlan;
    const std::span<const std::uint8_t> info = sections_.bytes(kInfo);
    const std::uint8_t code = info[static_cast<std::size_t>(offset)];
    // A code of more than one byte, or none, is for read() to judge.
    if (code >= 0x80) return MemberRead::NoPlan;
    if (code == 0) {
        if (!visit()) return MemberRead::Failed;
        next = offset + 1;
        return MemberRead::End;
    }
    const Abbreviation* a = unit.abbreviations->find(code);
    if (a == nullptr || a->member.count == 0) return MemberRead::NoPlan;
    const MemberPlan& plan = a->member;
    const unsigned offset_size = unit.format.offset_size;
    if (plan.fixed) {
        // Everything up to the location's length at once; the length is mostly one byte.
        std::uint64_t length_at = 0;
        if (!fits(unit, offset, plan, length_at)) return MemberRead::NoPlan;
        const std::uint64_t first = offset + 1;
        const std::uint64_t length = info[static_cast<std::size_t>(length_at)];
        const std::uint8_t* p = info.data() + static_cast<std::size_t>(first);
        const bool big_endian = sections_.big_endian();
        // Every field set here: this is read for every member of every block.
        out.has_name = true;
        out.name_inline = false;
        out.name_text = {};
        out.name_offset = sections_.relocated(kInfo, first + plan.name_at, offset_size,
                                              load_fixed(p + plan.name_at, offset_size, big_endian));
        out.has_type = true;
        out.type = load_fixed(p + plan.type_at, plan.type_width, big_endian);
        out.has_location = true;
        out.location_offset = length_at + 1;
        out.location = info.subspan(static_cast<std::size_t>(length_at + 1), static_cast<std::size_t>(length));
        if (!visit()) return MemberRead::Failed;
        out.offset = offset;
        next = length_at + 1 + length;
        return MemberRead::Read;
    }
    ByteCursor in = sections_.cursor(kInfo, offset + 1).ending_at(unit.end);
    out = MemberFields{};
    for (unsigned k = 0; k < plan.count; ++k) {
        const unsigned argument = plan.arguments[k];
        switch (plan.steps[k]) {
            case MemberStep::Skip:
                in.skip(argument);
                break;
            case MemberStep::NameStrp: {
                const std::uint64_t at = in.position();
                const std::uint64_t raw = in.fixed(offset_size);
                out.has_name = true;
                out.name_inline = false;
                out.name_offset = in.ok() ? sections_.relocated(kInfo, at, offset_size, raw) : 0;
                break;
            }
            case MemberStep::NameString:
                out.has_name = true;
                out.name_inline = true;
                out.name_text = in.cstr();
                break;
            case MemberStep::TypeRef:
                out.has_type = true;
                out.type = in.fixed(argument);
                break;
            case MemberStep::Location: {
                const std::uint64_t length = argument == 1 ? in.u8() : in.uleb();
                out.has_location = true;
                out.location_offset = in.position();
                out.location = in.take(length);
                break;
            }
        }
    }
    if (!in.ok()) return MemberRead::NoPlan;
    if (!visit()) return MemberRead::Failed;
    out.offset = offset;
    next = in.position();
    return MemberRead::Read;
}

bool DieReader::skip(const Unit& unit, std::uint64_t offset, std::uint64_t& tag, bool& children, std::uint64_t& next) {
    if (failed() || !visit()) return false;
    ByteCursor in = sections_.cursor(kInfo, offset).ending_at(unit.end);
    std::uint64_t code = 0;
    const Abbreviation* a = abbreviation(unit, in, offset, code);
    tag = 0;
    children = false;
    if (a == nullptr) {
        next = in.position();
        return code == 0 && !failed();
    }
    tag = a->tag;
    children = a->children;
    if (a->fixed_size >= 0) {
        in.skip(static_cast<std::uint64_t>(a->fixed_size));
    } else {
        const AttributeEntry* entries = unit.abbreviations->entries(*a);
        std::string why;
        for (std::uint32_t k = 0; k < a->count && in.ok(); ++k) {
            // Most of a DIE's forms have a size of their own: skipped without a look at the form.
            if (entries[k].size >= 0) {
                in.skip(static_cast<std::uint64_t>(entries[k].size));
                continue;
            }
            if (!skip_form(in, entries[k].form, unit.format, offset, why)) return fail(why);
        }
    }
    if (!in.ok()) return fail(reason::die_short(offset));
    next = in.position();
    return true;
}

bool DieReader::skip_children(const Unit& unit, std::uint64_t offset, std::uint64_t& next) {
    unsigned depth = 1;
    std::uint64_t at = offset;
    while (depth > 0) {
        std::uint64_t tag = 0;
        bool children = false;
        const std::uint64_t here = at;
        if (!skip(unit, here, tag, children, at)) return false;
        if (tag == 0) {
            --depth;
        } else if (children && ++depth > kMaxDieDepth) {
            return fail(reason::nesting_too_deep(here, kMaxDieDepth));
        }
    }
    next = at;
    return true;
}

bool DieReader::text(const Unit& unit, const FormValue& value, std::string_view& out) {
    out = {};
    switch (value.kind) {
        case ValueKind::String:
            if (value.text.size() > kMaxNameLength) return fail(reason::name_too_long(kMaxNameLength));
            out = value.text;
            return true;
        case ValueKind::StringOffset:
            return string_at(value.string_section, value.number, out);
        case ValueKind::StringIndex:
            return string_by_index(unit, value.number, out);
        default:
            return true;
    }
}

bool DieReader::string_at(SectionId id, std::uint64_t offset, std::string_view& out) {
    std::string why;
    if (!sections_.load(id, why)) return fail(why);
    const std::span<const std::uint8_t> bytes = sections_.bytes(id);
    if (offset >= bytes.size()) return fail(reason::string_offset(id, offset));
    const auto* first = bytes.data() + static_cast<std::size_t>(offset);
    const std::size_t left = bytes.size() - static_cast<std::size_t>(offset);
    const std::size_t looked = std::min(left, kMaxNameLength + 1);
    const void* zero = std::memchr(first, 0, looked);
    if (zero == nullptr)
        return fail(looked < left ? reason::string_too_long(id, offset, kMaxNameLength)
                                  : reason::string_unterminated(id, offset));
    out = std::string_view(reinterpret_cast<const char*>(first),
                           static_cast<std::size_t>(static_cast<const std::uint8_t*>(zero) - first));
    return true;
}

bool DieReader::string_by_index(const Unit& unit, std::uint64_t index, std::string_view& out) {
    std::string why;
    if (!sections_.load(kStrOffsets, why)) return fail(why);
    // In a relocatable object the table's entries are relocated like .debug_info's fields;
    // where those carry their addends apart (RELA) the table's bytes alone mean nothing.
    if (sections_.uses_rela(kInfo) && !sections_.has_relocations(kStrOffsets))
        return fail(std::string(reason::kStrxWithoutRelocations));
    const unsigned width = unit.format.offset_size;
    const std::uint64_t size = sections_.bytes(kStrOffsets).size();
    if (unit.str_offsets_base > size || index >= (size - unit.str_offsets_base) / width)
        return fail(reason::string_index(index));
    const std::uint64_t at = unit.str_offsets_base + index * width;
    ByteCursor in = sections_.cursor(kStrOffsets, at);
    const std::uint64_t offset = sections_.relocated(kStrOffsets, at, width, in.fixed(width));
    return string_at(kStr, offset, out);
}

}  // namespace quorv::dwarf
