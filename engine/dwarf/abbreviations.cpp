#include "engine/dwarf/abbreviations.h"

#include <algorithm>

#include "engine/dwarf/constants.h"
#include "engine/dwarf/reasons.h"

namespace quorv::dwarf {

Want wanted_slot(std::uint64_t attribute) {
    switch (attribute) {
        case at::kName:
            return kWantName;
        case at::kType:
            return kWantType;
        case at::kByteSize:
            return kWantByteSize;
        case at::kEncoding:
            return kWantEncoding;
        case at::kUpperBound:
            return kWantUpperBound;
        case at::kLowerBound:
            return kWantLowerBound;
        case at::kCount:
            return kWantCount;
        case at::kStringLength:
            return kWantStringLength;
        case at::kDataMemberLocation:
            return kWantMemberLocation;
        case at::kLocation:
            return kWantLocation;
        case at::kDeclFile:
            return kWantDeclFile;
        case at::kDeclLine:
            return kWantDeclLine;
        case at::kDeclaration:
            return kWantDeclaration;
        case at::kLanguage:
            return kWantLanguage;
        case at::kCompDir:
            return kWantCompDir;
        case at::kStmtList:
            return kWantStmtList;
        case at::kStrOffsetsBase:
            return kWantStrOffsetsBase;
        default:
            return kNotWanted;
    }
}

namespace {

// Sets the places of the usual shape when the steps have it.
void fix_places(MemberPlan& plan) {
    unsigned at = 0, names = 0, types = 0;
    for (unsigned k = 0; k < plan.count; ++k) {
        const unsigned argument = plan.arguments[k];
        switch (plan.steps[k]) {
            case MemberStep::Skip:
                break;
            case MemberStep::NameStrp:
                plan.name_at = static_cast<std::uint8_t>(at);
                ++names;
                break;
            case MemberStep::NameString:
                return;
            case MemberStep::TypeRef:
                plan.type_at = static_cast<std::uint8_t>(at);
                plan.type_width = static_cast<std::uint8_t>(argument);
                ++types;
                break;
            case MemberStep::Location:
                if (k + 1 != plan.count || names != 1 || types != 1) return;
                plan.location_at = static_cast<std::uint8_t>(at);
                plan.location_length = static_cast<std::uint8_t>(argument);
                plan.fixed = true;
                return;
        }
        at += argument;
        if (at > 255) return;
    }
}

// The steps of a variable's attributes, or none when a form has no step.
MemberPlan member_plan(const AttributeEntry* entries, std::uint32_t count) {
    MemberPlan plan;
    unsigned n = 0;
    const auto add = [&](MemberStep step, std::uint8_t argument) {
        if (n == MemberPlan::kMostSteps) return false;
        plan.steps[n] = step;
        plan.arguments[n++] = argument;
        return true;
    };
    for (std::uint32_t k = 0; k < count; ++k) {
        const AttributeEntry& e = entries[k];
        bool ok = false;
        if (e.slot == kWantName && e.form == form::kStrp) {
            ok = add(MemberStep::NameStrp, static_cast<std::uint8_t>(e.size));
        } else if (e.slot == kWantName && e.form == form::kString) {
            ok = add(MemberStep::NameString, 0);
        } else if (e.slot == kWantType &&
                   (e.form == form::kRef1 || e.form == form::kRef2 || e.form == form::kRef4 || e.form == form::kRef8)) {
            ok = add(MemberStep::TypeRef, static_cast<std::uint8_t>(e.size));
        } else if (e.slot == kWantLocation && (e.form == form::kExprloc || e.form == form::kBlock)) {
            ok = add(MemberStep::Location, 0);
        } else if (e.slot == kWantLocation && e.form == form::kBlock1) {
            ok = add(MemberStep::Location, 1);
        } else if (e.slot != kWantName && e.slot != kWantType && e.slot != kWantLocation && e.size >= 0) {
            // Runs together with the skip before it while that stays within a byte.
            ok = true;
            if (e.size == 0) continue;
            if (n > 0 && plan.steps[n - 1] == MemberStep::Skip && plan.arguments[n - 1] + e.size <= 255)
                plan.arguments[n - 1] = static_cast<std::uint8_t>(plan.arguments[n - 1] + e.size);
            else
                ok = add(MemberStep::Skip, static_cast<std::uint8_t>(e.size));
        }
        if (!ok) return MemberPlan{};
    }
    // A plan of no step would read as none; a variable without attributes is left to read().
    plan.count = static_cast<std::uint8_t>(n);
    fix_places(plan);
    return plan;
}

}  // namespace

// Each entry: code ULEB128 (0 ends the table) | tag ULEB128 | children u8 | pairs of
// attribute ULEB128, form ULEB128 (DW_FORM_implicit_const adds an SLEB128), ending 0, 0.
bool AbbreviationTable::decode(ByteCursor in, const UnitFormat& unit, std::string& reason) {
    const std::uint64_t start = in.position();
    bool sorted = true;
    for (;;) {
        Abbreviation a;
        a.code = in.uleb();
        if (!in.ok() || a.code == 0) break;
        a.tag = in.uleb();
        a.children = in.u8() != 0;
        a.first = static_cast<std::uint32_t>(entries_.size());
        std::int64_t fixed = 0;
        for (;;) {
            const std::uint64_t attribute = in.uleb();
            AttributeEntry entry;
            entry.form = in.uleb();
            if (!in.ok() || (attribute == 0 && entry.form == 0)) break;
            if (entry.form == form::kImplicitConst) entry.implicit_const = in.sleb();
            entry.slot = wanted_slot(attribute);
            const int size = fixed_form_size(entry.form, unit);
            entry.size = static_cast<std::int8_t>(size < 0 ? kVariableSize : size);
            fixed = size < 0 || fixed < 0 ? kVariableSize : fixed + size;
            entries_.push_back(entry);
        }
        a.count = static_cast<std::uint32_t>(entries_.size() - a.first);
        a.fixed_size = fixed;
        if (a.tag == tag::kVariable && !a.children) a.member = member_plan(entries_.data() + a.first, a.count);
        if (!abbreviations_.empty() && abbreviations_.back().code >= a.code) sorted = false;
        abbreviations_.push_back(a);
    }
    bytes_read_ = in.position() - start;
    if (!in.ok()) {
        reason = reason::abbreviations_short(start);
        return false;
    }
    if (!sorted) {
        std::stable_sort(abbreviations_.begin(), abbreviations_.end(),
                         [](const Abbreviation& x, const Abbreviation& y) { return x.code < y.code; });
    }
    dense_ = abbreviations_.empty() || abbreviations_.back().code == abbreviations_.size();
    if (dense_)
        for (std::size_t k = 0; k < abbreviations_.size() && dense_; ++k) dense_ = abbreviations_[k].code == k + 1;
    return true;
}

const Abbreviation* AbbreviationTable::find_sparse(std::uint64_t code) const {
    const auto at = std::lower_bound(abbreviations_.begin(), abbreviations_.end(), code,
                                     [](const Abbreviation& a, std::uint64_t c) { return a.code < c; });
    return at != abbreviations_.end() && at->code == code ? &*at : nullptr;
}

bool AbbreviationTable::has_tag(std::uint64_t tag) const {
    return std::any_of(abbreviations_.begin(), abbreviations_.end(),
                       [&](const Abbreviation& a) { return a.tag == tag; });
}

}  // namespace quorv::dwarf
