#include "engine/dwarf/type_slots.h"

#include <charconv>

#include "engine/dwarf/constants.h"
#include "engine/dwarf/reasons.h"

namespace quorv::dwarf {
namespace {

// What the memo of described types may hold: types of few runs only, and so much in all.
constexpr std::size_t kMostRememberedRuns = 4096;
constexpr std::uint64_t kMostRememberedBytes = std::uint64_t{16} << 20;

SlotKind kind_of(std::uint64_t encoding) {
    switch (encoding) {
        case ate::kSigned:
        case ate::kUnsigned:
            return SlotKind::Integer;
        case ate::kFloat:
            return SlotKind::Real;
        case ate::kComplexFloat:
            return SlotKind::Complex;
        case ate::kBoolean:
            return SlotKind::Logical;
        case ate::kSignedChar:
        case ate::kUnsignedChar:
        case ate::kUtf:
            return SlotKind::Character;
        default:
            return SlotKind::Opaque;
    }
}

bool is_qualifier(std::uint64_t t) {
    return t == tag::kTypedef || t == tag::kConstType || t == tag::kVolatileType || t == tag::kRestrictType ||
           t == tag::kAtomicType || t == tag::kImmutableType || t == tag::kPackedType || t == tag::kSharedType;
}

bool is_pointer(std::uint64_t t) {
    return t == tag::kPointerType || t == tag::kReferenceType || t == tag::kRvalueReferenceType;
}

// A size-like constant of the DIE: present, constant, not negative, not past kMostBytes.
bool size_value(const Die& die, Want w, std::uint64_t& out) {
    if (!die.has(w) || !die.value(w).is_constant()) return false;
    const FormValue& v = die.value(w);
    if (v.kind == ValueKind::Signed && v.as_signed() < 0) return false;
    out = v.number;
    return out <= kMostBytes;
}

bool signed_value(const Die& die, Want w, std::int64_t& out) {
    if (!die.has(w) || !die.value(w).is_constant()) return false;
    out = die.value(w).as_signed();
    return true;
}

// DW_LANG_Fortran*: arrays count from 1 unless a subrange says otherwise. Units that name no
// language are taken for Fortran too; every other language counts from 0.
std::int64_t default_lower_bound(const Unit& unit) {
    switch (unit.language) {
        case 0:
        case lang::kFortran77:
        case lang::kFortran90:
        case lang::kFortran95:
        case lang::kFortran03:
        case lang::kFortran08:
        case lang::kFortran18:
            return 1;
        default:
            return 0;
    }
}

struct Dimension {
    std::int64_t lower = 0;
    std::uint64_t count = 0;
};

// A subrange's bounds: upper, or count, and lower (or the language's default). false when
// they are not constants.
bool dimension_of(const Unit& unit, const Die& subrange, Dimension& out) {
    out.lower = default_lower_bound(unit);
    if (subrange.has(kWantLowerBound) && !signed_value(subrange, kWantLowerBound, out.lower)) return false;
    std::int64_t upper = 0;
    if (signed_value(subrange, kWantUpperBound, upper)) {
        if (upper < out.lower) {
            out.count = 0;
            return true;
        }
        const std::uint64_t span = static_cast<std::uint64_t>(upper) - static_cast<std::uint64_t>(out.lower);
        if (span >= kMostBytes) return false;
        out.count = span + 1;
        return true;
    }
    return !subrange.has(kWantUpperBound) && size_value(subrange, kWantCount, out.count);
}

void append_number(std::string& out, std::int64_t v) {
    char digits[24];
    const auto end = std::to_chars(digits, digits + sizeof digits, v).ptr;
    out.append(digits, static_cast<std::size_t>(end - digits));
}

void append_bounds(std::string& out, const Dimension& d) {
    append_number(out, d.lower);
    out += ':';
    append_number(out, static_cast<std::int64_t>(static_cast<std::uint64_t>(d.lower) + d.count - 1));
}

// DWARF 2 writes a member's offset as the expression DW_OP_plus_uconst N.
bool member_offset(const Die& member, bool big_endian, std::uint64_t& out) {
    out = 0;
    if (!member.has(kWantMemberLocation)) return true;  // a union's members may omit it
    const FormValue& v = member.value(kWantMemberLocation);
    if (v.is_constant()) return size_value(member, kWantMemberLocation, out);
    if (v.kind != ValueKind::Block) return false;
    ByteCursor in(v.block, big_endian);
    if (in.u8() != op::kPlusUconst) return false;
    out = in.uleb();
    return in.ok() && in.at_end() && out <= kMostBytes;
}

// The DIE a reference of unit's DIE points at, as an offset of .debug_info.
bool target_of(const Unit& unit, const FormValue& type, std::uint64_t& target, std::string& problem) {
    if (type.kind == ValueKind::UnitReference && type.number < unit.end - unit.offset) {
        target = unit.offset + type.number;
        return true;
    }
    if (type.kind == ValueKind::SectionReference) {
        target = type.number;
        return true;
    }
    problem = type.kind == ValueKind::UnitReference ? reason::reference_outside(type.number) : reason::no_type();
    return false;
}

bool append(std::vector<SlotRun>& out, const SlotRun& run) {
    if (out.size() >= kMaxRuns) return false;
    out.push_back(run);
    return true;
}

}  // namespace

void add_slot(std::vector<SlotRun>& out, std::uint64_t offset, std::uint64_t size, SlotKind kind) {
    if (size > 0) out.push_back(SlotRun{offset, size, kind, 1, size, 0});
}

bool repeat_runs(const std::vector<SlotRun>& element, std::uint64_t count, std::uint64_t stride,
                 std::vector<SlotRun>& out) {
    if (count == 0) return true;
    for (const SlotRun& e : element) {
        SlotRun r = e;
        if (count == 1) {
            if (!append(out, r)) return false;
        } else if (e.count == 1) {
            r.count = count;
            r.stride = stride;
            if (!append(out, r)) return false;
        } else if (e.stride > 0 && e.count <= stride / e.stride && e.stride * e.count == stride) {
            // The element's run fills it: the array continues the run.
            if (count > kMostBytes / e.count) return false;
            r.count = e.count * count;
            if (!append(out, r)) return false;
        } else if (count <= e.count) {
            for (std::uint64_t i = 0; i < count; ++i) {
                r.offset = e.offset + i * stride;
                if (!append(out, r)) return false;
            }
        } else {
            r.count = count;
            r.stride = stride;
            for (std::uint64_t k = 0; k < e.count; ++k) {
                r.offset = e.offset + k * e.stride;
                if (!append(out, r)) return false;
            }
        }
    }
    return true;
}

const TypeDescription* TypeDescriber::describe(const Unit& unit, const FormValue& type, std::string& problem) {
    std::uint64_t target = 0;
    if (!target_of(unit, type, target, problem)) return nullptr;
    if (const TypeDescription* known = remembered(target)) return known;
    if (const auto failed = failures_.find(target); failed != failures_.end()) {
        problem = failed->second;
        return nullptr;
    }
    too_deep_ = false;
    if (const TypeDescription* d = describe_at(target, 0, described_, problem)) return d;
    // A type too deep from here may not be from elsewhere; any other failure is the type's own.
    if (!reader_.failed() && !too_deep_) failures_.emplace(target, problem);
    return nullptr;
}

const TypeDescription* TypeDescriber::describe_at(std::uint64_t offset, unsigned depth, TypeDescription& scratch,
                                                  std::string& problem) {
    if (depth > kMaxTypeDepth) {
        too_deep_ = true;
        problem = reason::types_too_deep(kMaxTypeDepth);
        return nullptr;
    }
    if (const TypeDescription* known = remembered(offset)) return known;
    const Unit* unit = reader_.unit_holding(offset);
    if (unit == nullptr) {
        if (!reader_.failed()) problem = reason::reference_outside(offset);
        return nullptr;
    }
    Die& die = die_at(depth, false);
    std::uint64_t children = 0;
    if (!reader_.read(*unit, offset, die, children)) return nullptr;
    scratch.name.clear();  // its room is reused
    scratch.size = 0;
    scratch.runs.clear();
    if (!describe_die(*unit, die, children, depth, scratch, problem)) return nullptr;
    const TypeDescription* kept = remember(offset, scratch);
    return kept != nullptr ? kept : &scratch;
}

const TypeDescription* TypeDescriber::remember(std::uint64_t offset, TypeDescription& description) {
    const std::uint64_t bytes = description.name.size() + description.runs.size() * sizeof(SlotRun);
    if (description.runs.size() > kMostRememberedRuns || bytes > kMostRememberedBytes - remembered_bytes_)
        return nullptr;
    if (const TypeDescription* known = remembered(offset)) return known;
    TypeDescription& slot = memo_.next();
    std::swap(slot, description);
    memo_.by_offset.add(offset, &slot);
    remembered_bytes_ += bytes;
    return &slot;
}

bool TypeDescriber::describe_die(const Unit& unit, const Die& die, std::uint64_t children, unsigned depth,
                                 TypeDescription& out, std::string& problem) {
    if (die.tag == 0) {
        problem = reason::not_a_type(die.offset);
        return false;
    }
    if (die.tag == tag::kBaseType) return base_type(unit, die, out, problem);
    if (die.tag == tag::kStringType) return string_type(unit, die, out, problem);
    if (die.tag == tag::kArrayType) return array_type(unit, die, children, depth, out, problem);
    if (die.tag == tag::kStructureType || die.tag == tag::kUnionType || die.tag == tag::kClassType)
        return structure_type(unit, die, children, depth, out, problem);
    if (is_qualifier(die.tag)) return referred(unit, die, depth, out, problem);
    return opaque_type(unit, die, out, problem);
}

bool TypeDescriber::name_of(const Unit& unit, const Die& die, std::string_view fallback, std::string& out) {
    std::string_view text;
    if (die.has(kWantName) && !reader_.text(unit, die.value(kWantName), text)) return false;
    out = text.empty() ? fallback : text;
    return true;
}

const TypeDescription* TypeDescriber::type_of(const Unit& unit, const Die& die, unsigned depth,
                                              TypeDescription& scratch, std::string& problem) {
    if (!die.has(kWantType)) {
        problem = reason::no_type();
        return nullptr;
    }
    std::uint64_t target = 0;
    if (!target_of(unit, die.value(kWantType), target, problem)) return nullptr;
    return describe_at(target, depth + 1, scratch, problem);
}

bool TypeDescriber::referred(const Unit& unit, const Die& die, unsigned depth, TypeDescription& out,
                             std::string& problem) {
    std::string name;
    if (!name_of(unit, die, "void", name)) return false;
    if (!die.has(kWantType)) {
        problem = reason::unknown_size(name);
        return false;
    }
    const TypeDescription* referred = type_of(unit, die, depth, out, problem);
    if (referred == nullptr) return false;
    if (referred != &out) out = *referred;
    if (die.tag == tag::kTypedef && die.has(kWantName)) out.name = std::move(name);
    return true;
}

bool TypeDescriber::base_type(const Unit& unit, const Die& die, TypeDescription& out, std::string& problem) {
    if (!name_of(unit, die, "type", out.name)) return false;
    if (!size_value(die, kWantByteSize, out.size)) {
        problem = reason::unknown_size(out.name);
        return false;
    }
    const std::uint64_t encoding = die.has(kWantEncoding) ? die.value(kWantEncoding).number : 0;
    add_slot(out.runs, 0, out.size, kind_of(encoding));
    return true;
}

bool TypeDescriber::string_type(const Unit& unit, const Die& die, TypeDescription& out, std::string& problem) {
    std::uint64_t length = 0;
    bool known = size_value(die, kWantByteSize, length);
    // Before DWARF 4 a data4 or data8 string length is a location list, not a constant.
    const std::uint64_t f = die.has(kWantStringLength) ? die.value(kWantStringLength).form : 0;
    if (!known && (unit.format.version >= 4 || (f != form::kData4 && f != form::kData8)))
        known = size_value(die, kWantStringLength, length);
    const std::string fallback = known ? "character(len=" + std::to_string(length) + ")" : "character(len=*)";
    if (!name_of(unit, die, fallback, out.name)) return false;
    if (!known) {
        problem = reason::unknown_size(out.name);
        return false;
    }
    out.size = length;
    if (length > 0) out.runs.push_back(SlotRun{0, 1, SlotKind::Character, length, 1, 0});
    return true;
}

bool TypeDescriber::array_type(const Unit& unit, const Die& die, std::uint64_t children, unsigned depth,
                               TypeDescription& out, std::string& problem) {
    TypeDescription element_scratch;
    const TypeDescription* element = type_of(unit, die, depth, element_scratch, problem);
    if (element == nullptr) return false;
    Dimension dimensions[kMaxDimensions];
    std::size_t count = 0;
    bool constant = true;
    Die& child = die_at(depth, true);
    std::uint64_t after = 0;
    const auto dimension = [&](const Die& d) {
        if (d.tag != tag::kSubrangeType) return true;
        if (count >= kMaxDimensions) {
            problem = reason::too_many_dimensions(kMaxDimensions);
            return false;
        }
        constant = dimension_of(unit, d, dimensions[count++]) && constant;
        return true;
    };
    constexpr std::uint32_t kBounds = 1u << kWantLowerBound | 1u << kWantUpperBound | 1u << kWantCount;
    if (die.children && !reader_.for_each_child(unit, children, child, after, kBounds, dimension)) return false;
    std::uint64_t total = 1;
    out.name.reserve(element->name.size() + 2 + 8 * count);
    out.name.assign(element->name) += '(';
    for (std::size_t k = 0; k < count; ++k) {
        if (k > 0) out.name += ',';
        if (constant)
            append_bounds(out.name, dimensions[k]);
        else
            out.name += '*';
        const std::uint64_t n = dimensions[k].count;
        total = n == 0 || total == 0 ? 0 : (total > kMostBytes / n ? kMostBytes + 1 : total * n);
    }
    out.name += ")";
    if (count == 0 || !constant) {
        problem = reason::unknown_size(out.name);
        return false;
    }
    if (element->size > 0 && total > kMostBytes / element->size) {
        problem = reason::size_too_large();
        return false;
    }
    out.size = element->size * total;
    if (!repeat_runs(element->runs, total, element->size, out.runs)) {
        problem = reason::too_many_runs(kMaxRuns);
        return false;
    }
    return true;
}

bool TypeDescriber::structure_type(const Unit& unit, const Die& die, std::uint64_t children, unsigned depth,
                                   TypeDescription& out, std::string& problem) {
    const std::string_view fallback = die.tag == tag::kUnionType   ? "union"
                                      : die.tag == tag::kClassType ? "class"
                                                                   : "structure";
    if (!name_of(unit, die, fallback, out.name)) return false;
    if (die.has(kWantDeclaration) || !size_value(die, kWantByteSize, out.size)) {
        problem = reason::unknown_size(out.name);
        return false;
    }
    Die& child = die_at(depth, true);
    std::uint64_t after = 0;
    const auto member = [&](const Die& d) {
        return d.tag != tag::kMember || place_member(unit, d, depth, out, problem);
    };
    return !die.children || reader_.for_each_child(unit, children, child, after, ~0u, member);
}

bool TypeDescriber::place_member(const Unit& unit, const Die& member, unsigned depth, TypeDescription& out,
                                 std::string& problem) {
    std::uint64_t offset = 0;
    if (!member_offset(member, reader_.big_endian(), offset)) {
        problem = reason::member_location(member.offset);
        return false;
    }
    TypeDescription scratch;
    const TypeDescription* type = type_of(unit, member, depth, scratch, problem);
    if (type == nullptr) return false;
    for (SlotRun r : type->runs) {
        r.offset += offset;
        if (!append(out.runs, r)) {
            problem = reason::too_many_runs(kMaxRuns);
            return false;
        }
    }
    return true;
}

bool TypeDescriber::opaque_type(const Unit& unit, const Die& die, TypeDescription& out, std::string& problem) {
    if (!name_of(unit, die, is_pointer(die.tag) ? "pointer" : "type", out.name)) return false;
    if (!size_value(die, kWantByteSize, out.size)) {
        if (!is_pointer(die.tag)) {
            problem = reason::unknown_size(out.name);
            return false;
        }
        out.size = unit.format.address_size;
    }
    add_slot(out.runs, 0, out.size, SlotKind::Opaque);
    return true;
}

}  // namespace quorv::dwarf
