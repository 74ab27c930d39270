#include "engine/dwarf/forms.h"

#include "engine/dwarf/constants.h"
#include "engine/dwarf/reasons.h"

namespace quorv::dwarf {
namespace {

using namespace form;

// Block forms: the width of the length in front of the bytes (0: a ULEB128 length), or -1.
int block_length_width(std::uint64_t f) {
    switch (f) {
        case kBlock1:
            return 1;
        case kBlock2:
            return 2;
        case kBlock4:
            return 4;
        case kBlock:
        case kExprloc:
            return 0;
        default:
            return -1;
    }
}

bool is_uleb_form(std::uint64_t f) {
    return f == kUdata || f == kRefUdata || f == kStrx || f == kAddrx || f == kLoclistx || f == kRnglistx ||
           f == kGnuAddrIndex || f == kGnuStrIndex;
}

// DW_FORM_indirect: the form stands in the DIE. One level only: an indirect form naming
// another indirect form, or an implicit constant that has no value in a DIE, is refused.
bool indirect_form(ByteCursor& in, std::uint64_t die, std::uint64_t& f, std::string& reason) {
    f = in.uleb();
    if (!in.ok()) {
        reason = reason::die_short(die);
        return false;
    }
    if (f == kIndirect || f == kImplicitConst) {
        reason = reason::form_indirect(f, die);
        return false;
    }
    return true;
}

void read_block(ByteCursor& in, int width, FormValue& out) {
    const std::uint64_t length = width == 0 ? in.uleb() : in.fixed(static_cast<unsigned>(width));
    out.kind = ValueKind::Block;
    out.block_offset = in.position();
    out.block = in.take(length);
}

// A field the relocations may touch: its value as the relocations make it.
std::uint64_t relocated_field(ByteCursor& in, unsigned width, const FormContext& c) {
    const std::uint64_t at = in.position();
    const std::uint64_t raw = in.fixed(width);
    return in.ok() ? c.sections.relocated(c.section, at, width, raw) : 0;
}

}  // namespace

int fixed_form_size(std::uint64_t f, const UnitFormat& unit) {
    switch (f) {
        case kFlagPresent:
        case kImplicitConst:
            return 0;
        case kData1:
        case kRef1:
        case kFlag:
        case kStrx1:
        case kAddrx1:
            return 1;
        case kData2:
        case kRef2:
        case kStrx2:
        case kAddrx2:
            return 2;
        case kStrx3:
        case kAddrx3:
            return 3;
        case kData4:
        case kRef4:
        case kRefSup4:
        case kStrx4:
        case kAddrx4:
            return 4;
        case kData8:
        case kRef8:
        case kRefSig8:
        case kRefSup8:
            return 8;
        case kData16:
            return 16;
        case kAddr:
            return unit.address_size;
        case kRefAddr:
            return unit.version <= 2 ? unit.address_size : unit.offset_size;
        case kStrp:
        case kLineStrp:
        case kSecOffset:
        case kStrpSup:
        case kGnuRefAlt:
        case kGnuStrpAlt:
            return unit.offset_size;
        case kString:
        case kIndirect:
            return kVariableSize;
        default:
            break;
    }
    if (is_uleb_form(f) || f == kSdata || block_length_width(f) >= 0) return kVariableSize;
    return kUnknownForm;
}

bool skip_form(ByteCursor& in, std::uint64_t f, const UnitFormat& unit, std::uint64_t die, std::string& reason) {
    if (f == kIndirect && !indirect_form(in, die, f, reason)) return false;
    const int size = fixed_form_size(f, unit);
    if (size >= 0) {
        in.skip(static_cast<unsigned>(size));
    } else if (f == kString) {
        in.cstr();
    } else if (f == kSdata) {
        in.sleb();
    } else if (is_uleb_form(f)) {
        in.uleb();
    } else if (const int width = block_length_width(f); width >= 0) {
        in.skip(width == 0 ? in.uleb() : in.fixed(static_cast<unsigned>(width)));
    } else {
        reason = reason::form_unknown(f, die);
        return false;
    }
    return true;
}

bool read_form(ByteCursor& in, std::uint64_t f, std::int64_t implicit_const, const FormContext& c, std::uint64_t die,
               FormValue& out, std::string& reason) {
    if (f == kIndirect && !indirect_form(in, die, f, reason)) return false;
    out.form = f;
    out.kind = ValueKind::Unsigned;
    const unsigned offset_size = c.unit.offset_size;
    switch (f) {
        case kData1:
        case kData2:
        case kFlag:
            out.number = in.fixed(static_cast<unsigned>(fixed_form_size(f, c.unit)));
            return true;
        // DWARF 2 and 3 give section offsets (DW_AT_stmt_list) as data4 or data8, relocated.
        case kData4:
            out.number = relocated_field(in, 4, c);
            return true;
        case kData8:
            out.number = relocated_field(in, 8, c);
            return true;
        case kFlagPresent:
            out.number = 1;
            return true;
        case kUdata:
            out.number = in.uleb();
            return true;
        case kSdata:
            out.kind = ValueKind::Signed;
            out.number = static_cast<std::uint64_t>(in.sleb());
            return true;
        case kImplicitConst:
            out.kind = ValueKind::Signed;
            out.number = static_cast<std::uint64_t>(implicit_const);
            return true;
        case kAddr:
            out.number = relocated_field(in, c.unit.address_size, c);
            return true;
        case kSecOffset:
            out.number = relocated_field(in, offset_size, c);
            return true;
        case kRef1:
        case kRef2:
        case kRef4:
        case kRef8:
            out.kind = ValueKind::UnitReference;
            out.number = in.fixed(static_cast<unsigned>(fixed_form_size(f, c.unit)));
            return true;
        case kRefUdata:
            out.kind = ValueKind::UnitReference;
            out.number = in.uleb();
            return true;
        case kRefAddr:
            out.kind = ValueKind::SectionReference;
            out.number = relocated_field(in, static_cast<unsigned>(fixed_form_size(f, c.unit)), c);
            return true;
        case kString:
            out.kind = ValueKind::String;
            out.text = in.cstr();
            return true;
        case kStrp:
        case kLineStrp:
            out.kind = ValueKind::StringOffset;
            out.string_section = f == kStrp ? kStr : kLineStr;
            out.number = relocated_field(in, offset_size, c);
            return true;
        case kStrx:
        case kGnuStrIndex:
            out.kind = ValueKind::StringIndex;
            out.number = in.uleb();
            return true;
        case kStrx1:
        case kStrx2:
        case kStrx3:
        case kStrx4:
            out.kind = ValueKind::StringIndex;
            out.number = in.fixed(static_cast<unsigned>(fixed_form_size(f, c.unit)));
            return true;
        default:
            break;
    }
    if (const int width = block_length_width(f); width >= 0) {
        read_block(in, width, out);
        return true;
    }
    out.kind = ValueKind::Other;
    return skip_form(in, f, c.unit, die, reason);
}

}  // namespace quorv::dwarf
