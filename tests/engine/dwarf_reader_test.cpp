// The DWARF reader on debug information built here: one module in every form, header shape
// and relocation kind the reader supports, then the damage and the odd types that make it
// drop one layout or refuse the module.
#include <gtest/gtest.h>

#include <functional>
#include <map>
#include <memory>
#include <ostream>
#include <string>
#include <vector>

#include "engine/dwarf/common_layouts.h"
#include "engine/dwarf/constants.h"
#include "engine/dwarf/sections.h"

namespace quorv::dwarf {

void PrintTo(const Member& m, std::ostream* out) {
    *out << m.name << "@" << m.offset << "/" << m.size << " " << m.type;
}
void PrintTo(const SlotRun& r, std::ostream* out) {
    *out << "{" << r.offset << ", " << r.size << ", kind " << int(r.kind) << ", " << r.count << " x " << r.stride
         << ", m" << r.member << "}";
}

namespace {

using Bytes = std::vector<std::uint8_t>;

struct Style {
    std::uint16_t version = 5;
    bool dwarf64 = false;
    bool big_endian = false;
    bool in_place = false;  // REL and COFF: addends in the fields
    std::uint8_t address_size = 8;
    std::uint64_t name_form = form::kString;
    std::uint64_t constant_form = form::kData1;
    std::uint64_t ref_form = form::kRef4;
    std::uint64_t location_form = form::kExprloc;
    bool member_offset_as_block = false;  // DWARF 2's DW_OP_plus_uconst
};

// An attribute by what it means; the builder picks the form from the style (Raw: as given).
struct Attr {
    enum Kind { Name, Constant, Ref, Address, Raw };
    std::uint64_t at = 0;
    Kind kind = Constant;
    std::string text;
    std::int64_t value = 0;  // a constant, a reference's target, an address's offset in its block
    std::uint32_t symbol = 0;
    std::uint64_t form = 0;
    Bytes bytes;  // Raw: the value; Address: the operations, DW_OP_addr first
};
Attr make(std::uint64_t at, Attr::Kind kind, std::int64_t value = 0) {
    Attr a;
    a.at = at;
    a.kind = kind;
    a.value = value;
    return a;
}
Attr name(std::uint64_t at, std::string text) {
    Attr a = make(at, Attr::Name);
    a.text = std::move(text);
    return a;
}
Attr constant(std::uint64_t at, std::int64_t v) {
    return make(at, Attr::Constant, v);
}
Attr ref(std::uint64_t at, std::uint64_t target) {
    return make(at, Attr::Ref, static_cast<std::int64_t>(target));
}
Attr address(std::uint32_t symbol, std::int64_t offset, Bytes ops = {op::kAddr}) {
    Attr a = make(at::kLocation, Attr::Address, offset);
    a.symbol = symbol;
    a.bytes = std::move(ops);
    return a;
}
Attr raw(std::uint64_t at, std::uint64_t form, Bytes bytes) {
    Attr a = make(at, Attr::Raw);
    a.form = form;
    a.bytes = std::move(bytes);
    return a;
}

// One .debug_info with its abbreviations (one per distinct DIE shape), strings and
// relocations, and the DebugInput that points at them.
class ModuleBuilder {
  public:
    explicit ModuleBuilder(Style style) : s_(style) { str_offsets_ = {0, 0, 0, 0, 5, 0, 0, 0}; }

    std::uint32_t symbol(std::string name, bool common) {
        names_.push_back(std::move(name));
        commons_.push_back(common);
        return static_cast<std::uint32_t>(names_.size() - 1);
    }
    void begin_unit(std::uint8_t unit_type = kUnitCompile) {
        unit_ = info_.size();
        if (s_.dwarf64) fixed(info_, 0xFFFFFFFFu, 4);
        fixed(info_, 0, s_.dwarf64 ? 8 : 4);
        fixed(info_, s_.version, 2);
        if (s_.version >= 5) {
            info_.push_back(unit_type);
            info_.push_back(s_.address_size);
        }
        relocated(info_, info_relocs_, 0, offset_size());
        if (s_.version < 5) info_.push_back(s_.address_size);
    }
    void end_unit() {
        const std::size_t at = unit_ + (s_.dwarf64 ? 4 : 0), header = s_.dwarf64 ? 12 : 4;
        patch(info_, at, info_.size() - unit_ - header, offset_size());
    }
    std::uint64_t die(std::uint64_t tag, bool children, std::vector<Attr> attrs) {
        const std::uint64_t offset = info_.size();
        std::string shape = std::to_string(tag) + (children ? "+" : "-");
        Bytes entries;
        for (const Attr& a : attrs) {
            const std::uint64_t f = form_of(a);
            uleb(entries, a.at);
            uleb(entries, f);
            if (f == form::kImplicitConst) sleb(entries, a.value);
            shape += std::string(entries.begin(), entries.end());
        }
        auto [code, fresh] = codes_.emplace(shape, codes_.size() + 1);
        if (fresh) {
            uleb(abbrev_, code->second);
            uleb(abbrev_, tag);
            abbrev_.push_back(children ? 1 : 0);
            abbrev_.insert(abbrev_.end(), entries.begin(), entries.end());
            abbrev_.push_back(0);
            abbrev_.push_back(0);
        }
        uleb(info_, code->second);
        for (const Attr& a : attrs) write(a);
        return offset;
    }
    void end_children() { info_.push_back(0); }

    DebugInput input() {
        abbrev_done_ = abbrev_;
        abbrev_done_.push_back(0);
        DebugInput in;
        in.big_endian = s_.big_endian;
        in.elf64 = true;
        const Bytes* bytes[kSectionCount] = {&info_, &abbrev_done_, &str_, &line_str_, &str_offsets_, &line_};
        for (int id = 0; id < kSectionCount; ++id)
            if (id <= kAbbrev || bytes[id]->size() > (id == kStrOffsets ? 8u : 0u))
                in.sections[id] = {*bytes[id], false, true};
        in.relocations[kInfo] = info_relocs_;
        in.relocations[kStrOffsets] = str_offsets_relocs_;
        for (std::size_t k = 0; k < names_.size(); ++k) in.symbols.push_back(Symbol{names_[k], commons_[k]});
        return in;
    }
    Bytes& info() { return info_; }
    Bytes& line() { return line_; }
    Bytes& line_str() { return line_str_; }
    Bytes& abbrev() { return abbrev_; }
    std::vector<Relocation>& info_relocations() { return info_relocs_; }
    unsigned offset_size() const { return s_.dwarf64 ? 8 : 4; }

    void fixed(Bytes& b, std::uint64_t v, unsigned width) const {
        for (unsigned k = 0; k < width; ++k)
            b.push_back(static_cast<std::uint8_t>(v >> 8 * (s_.big_endian ? width - 1 - k : k)));
    }
    static void uleb(Bytes& b, std::uint64_t v) {
        do {
            b.push_back(static_cast<std::uint8_t>((v & 0x7F) | (v > 0x7F ? 0x80 : 0)));
            v >>= 7;
        } while (v != 0);
    }
    static void sleb(Bytes& b, std::int64_t v) {
        for (bool more = true; more;) {
            const auto byte = static_cast<std::uint8_t>(v & 0x7F);
            v >>= 7;
            more = !((v == 0 && !(byte & 0x40)) || (v == -1 && (byte & 0x40)));
            b.push_back(more ? byte | 0x80 : byte);
        }
    }

  private:
    std::uint64_t form_of(const Attr& a) const {
        if (a.kind == Attr::Raw) return a.form;
        if (a.kind == Attr::Name) return s_.name_form;
        if (a.kind == Attr::Ref) return s_.ref_form;
        if (a.kind == Attr::Address) return s_.location_form;
        if (a.at == at::kDataMemberLocation && s_.member_offset_as_block) return form::kBlock1;
        return s_.constant_form;
    }
    void patch(Bytes& b, std::size_t at, std::uint64_t v, unsigned width) const {
        Bytes field;
        fixed(field, v, width);
        std::copy(field.begin(), field.end(), b.begin() + static_cast<std::ptrdiff_t>(at));
    }
    // An offset-like field: RELA keeps its value in the relocation, REL in the field.
    void relocated(Bytes& b, std::vector<Relocation>& relocs, std::uint64_t value, unsigned width,
                   std::uint32_t symbol = 0) {
        relocs.push_back(Relocation{b.size(), symbol, s_.in_place, static_cast<std::uint8_t>(width),
                                    static_cast<std::int64_t>(value)});
        fixed(b, s_.in_place ? value : 0, width);
    }
    void write(const Attr& a) {
        const std::uint64_t f = form_of(a);
        if (a.kind == Attr::Raw) {
            info_.insert(info_.end(), a.bytes.begin(), a.bytes.end());
        } else if (a.kind == Attr::Name) {
            write_name(a.text, f);
        } else if (a.kind == Attr::Ref) {
            write_ref(static_cast<std::uint64_t>(a.value), f);
        } else if (a.kind == Attr::Address) {
            write_location(a, f);
        } else if (a.at == at::kDataMemberLocation && s_.member_offset_as_block) {
            info_.push_back(2);
            info_.push_back(op::kPlusUconst);
            uleb(info_, static_cast<std::uint64_t>(a.value));
        } else {
            write_constant(a.value, f);
        }
    }
    void write_name(const std::string& text, std::uint64_t f) {
        if (f == form::kIndirect) {
            uleb(info_, form::kString);
            f = form::kString;
        }
        // Each text once in its pool, as linkers and assemblers merge them.
        Bytes& pool = f == form::kLineStrp ? line_str_ : str_;
        auto [pooled, fresh] = pooled_[&pool].emplace(text, pool.size());
        const std::uint64_t offset = pooled->second;
        if (f != form::kString && fresh) pool.insert(pool.end(), text.begin(), text.end() + 1);
        if (f == form::kString) info_.insert(info_.end(), text.begin(), text.end() + 1);
        if (f == form::kStrp || f == form::kLineStrp) relocated(info_, info_relocs_, offset, offset_size());
        if (f == form::kStrx1 || f == form::kStrx) {
            const std::uint64_t index = (str_offsets_.size() - 8) / offset_size();
            relocated(str_offsets_, str_offsets_relocs_, offset, offset_size());
            if (f == form::kStrx1)
                info_.push_back(static_cast<std::uint8_t>(index));
            else
                uleb(info_, index);
        }
    }
    void write_ref(std::uint64_t target, std::uint64_t f) {
        const std::uint64_t in_unit = target - unit_;
        if (f == form::kRefUdata)
            uleb(info_, in_unit);
        else if (f == form::kRefAddr)
            relocated(info_, info_relocs_, target, s_.version <= 2 ? s_.address_size : offset_size());
        else
            fixed(info_, in_unit, f == form::kRef1 ? 1 : f == form::kRef2 ? 2 : f == form::kRef4 ? 4 : 8);
    }
    void write_location(const Attr& l, std::uint64_t f) {
        const std::uint64_t length = l.bytes.size() + s_.address_size;
        if (f == form::kExprloc || f == form::kBlock)
            uleb(info_, length);
        else
            fixed(info_, length, f == form::kBlock1 ? 1 : f == form::kBlock2 ? 2 : 4);
        info_.push_back(l.bytes[0]);
        relocated(info_, info_relocs_, static_cast<std::uint64_t>(l.value), s_.address_size, l.symbol);
        info_.insert(info_.end(), l.bytes.begin() + 1, l.bytes.end());
    }
    void write_constant(std::int64_t v, std::uint64_t f) {
        if (f == form::kUdata)
            uleb(info_, static_cast<std::uint64_t>(v));
        else if (f == form::kSdata)
            sleb(info_, v);
        else if (f != form::kImplicitConst)
            fixed(info_, static_cast<std::uint64_t>(v),
                  f == form::kData1   ? 1
                  : f == form::kData2 ? 2
                  : f == form::kData4 ? 4
                                      : 8);
    }

    Style s_;
    std::size_t unit_ = 0;
    Bytes info_, abbrev_, abbrev_done_, str_, line_str_, str_offsets_, line_;
    std::vector<Relocation> info_relocs_, str_offsets_relocs_;
    std::vector<std::string> names_;
    std::vector<bool> commons_;
    std::map<std::string, std::uint64_t> codes_;
    std::map<const Bytes*, std::map<std::string, std::uint64_t>> pooled_;
};

// The types of the standard block, written before the subprogram that uses them.
struct Types {
    std::uint64_t integer, real8, vector, text, point;
};

Types write_types(ModuleBuilder& b) {
    Types t;
    t.integer = b.die(tag::kBaseType, false,
                      {name(at::kName, "integer(kind=4)"), constant(at::kByteSize, 4), constant(at::kEncoding, 5)});
    t.real8 = b.die(tag::kBaseType, false,
                    {name(at::kName, "real(kind=8)"), constant(at::kByteSize, 8), constant(at::kEncoding, 4)});
    t.vector = b.die(tag::kArrayType, true, {ref(at::kType, t.real8)});
    b.die(tag::kSubrangeType, false, {constant(at::kUpperBound, 3)});
    b.end_children();
    t.text = b.die(tag::kStringType, false, {constant(at::kByteSize, 8)});
    t.point = b.die(tag::kStructureType, true, {name(at::kName, "point"), constant(at::kByteSize, 16)});
    b.die(tag::kMember, false,
          {name(at::kName, "id"), ref(at::kType, t.integer), constant(at::kDataMemberLocation, 0)});
    b.die(tag::kMember, false, {name(at::kName, "x"), ref(at::kType, t.real8), constant(at::kDataMemberLocation, 8)});
    b.end_children();
    return t;
}

// COMMON /C/ N, V(3), S (CHARACTER*8), P (TYPE(POINT)) in subroutine SUB.
using More = std::function<void(ModuleBuilder&, const Types&)>;

// more writes further DIEs into the subprogram, after the block; first writes units before.
ModuleBuilder standard_module(Style style, const More& more = {},
                              const std::function<void(ModuleBuilder&)>& first = {}) {
    ModuleBuilder b(style);
    const std::uint32_t c = b.symbol("c_", true);
    if (first) first(b);
    b.begin_unit();
    std::vector<Attr> cu = {name(at::kName, "m.f"), constant(at::kLanguage, 0x0e)};
    if (style.name_form == form::kStrx1 || style.name_form == form::kStrx)
        cu.push_back(raw(at::kStrOffsetsBase, form::kData1, {8}));
    b.die(tag::kCompileUnit, true, cu);
    const Types t = write_types(b);
    b.die(tag::kSubprogram, true,
          {name(at::kName, "sub"), raw(0x3f, form::kFlagPresent, {}), raw(0x55, form::kData16, Bytes(16, 7))});
    b.die(tag::kCommonBlock, true, {name(at::kName, "c"), constant(at::kDeclLine, 7)});
    b.die(tag::kVariable, false, {name(at::kName, "n"), ref(at::kType, t.integer), address(c, 0)});
    b.die(tag::kVariable, false, {name(at::kName, "v"), ref(at::kType, t.vector), address(c, 8)});
    b.die(tag::kVariable, false, {name(at::kName, "s"), ref(at::kType, t.text), address(c, 32)});
    b.die(tag::kVariable, false, {name(at::kName, "p"), ref(at::kType, t.point), address(c, 40)});
    b.end_children();
    if (more) more(b, t);
    b.end_children();
    b.end_children();
    b.end_unit();
    return b;
}

const std::vector<Member> kStandardMembers = {{"n", 0, 4, "integer(kind=4)"},
                                              {"v", 8, 24, "real(kind=8)(1:3)"},
                                              {"s", 32, 8, "character(len=8)"},
                                              {"p", 40, 16, "point"}};
const std::vector<SlotRun> kStandardRuns = {{0, 4, SlotKind::Integer, 1, 4, 0},
                                            {8, 8, SlotKind::Real, 3, 8, 1},
                                            {32, 1, SlotKind::Character, 8, 1, 2},
                                            {40, 4, SlotKind::Integer, 1, 4, 3},
                                            {48, 8, SlotKind::Real, 1, 8, 3}};

struct Read {
    bool ok = false;
    std::vector<CommonLayout> layouts;
    std::string reason;
    std::vector<std::string> dropped;
};

Read read(ModuleBuilder& b) {
    Read r;
    const DebugInput in = b.input();
    r.ok = read_common_layouts(in, r.layouts, r.reason, &r.dropped);
    return r;
}

TEST(DwarfReader, OneModuleInEveryFormAndHeaderShape) {
    struct Case {
        const char* what;
        Style style;
    };
    const auto with = [](auto change) {
        Style s;
        change(s);
        return s;
    };
    const Case cases[] = {
        {"DWARF 5, inline strings, data1, ref4, exprloc, RELA", Style{}},
        {"strp", with([](Style& s) { s.name_form = form::kStrp; })},
        {"line_strp", with([](Style& s) { s.name_form = form::kLineStrp; })},
        {"strx1 through .debug_str_offsets", with([](Style& s) { s.name_form = form::kStrx1; })},
        {"strx, REL", with([](Style& s) {
             s.name_form = form::kStrx;
             s.in_place = true;
         })},
        {"DW_FORM_indirect", with([](Style& s) { s.name_form = form::kIndirect; })},
        {"data2", with([](Style& s) { s.constant_form = form::kData2; })},
        {"data4", with([](Style& s) { s.constant_form = form::kData4; })},
        {"data8", with([](Style& s) { s.constant_form = form::kData8; })},
        {"udata", with([](Style& s) { s.constant_form = form::kUdata; })},
        {"sdata", with([](Style& s) { s.constant_form = form::kSdata; })},
        {"implicit_const", with([](Style& s) { s.constant_form = form::kImplicitConst; })},
        {"ref2", with([](Style& s) { s.ref_form = form::kRef2; })},
        {"ref8", with([](Style& s) { s.ref_form = form::kRef8; })},
        {"ref_udata", with([](Style& s) { s.ref_form = form::kRefUdata; })},
        {"ref_addr, REL", with([](Style& s) {
             s.ref_form = form::kRefAddr;
             s.in_place = true;
         })},
        {"block", with([](Style& s) { s.location_form = form::kBlock; })},
        {"block2", with([](Style& s) { s.location_form = form::kBlock2; })},
        {"block4", with([](Style& s) { s.location_form = form::kBlock4; })},
        {"64-bit DWARF, strp, ref_addr", with([](Style& s) {
             s.dwarf64 = true;
             s.name_form = form::kStrp;
             s.ref_form = form::kRefAddr;
         })},
        {"big-endian, 4-byte addresses, REL", with([](Style& s) {
             s.big_endian = true;
             s.address_size = 4;
             s.in_place = true;
             s.constant_form = form::kData4;
         })},
        {"DWARF 4", with([](Style& s) {
             s.version = 4;
             s.name_form = form::kStrp;
         })},
        {"DWARF 3, block1", with([](Style& s) {
             s.version = 3;
             s.location_form = form::kBlock1;
             s.ref_form = form::kRefAddr;
         })},
        {"DWARF 2, DW_OP_plus_uconst offsets", with([](Style& s) {
             s.version = 2;
             s.location_form = form::kBlock1;
             s.ref_form = form::kRefAddr;
             s.member_offset_as_block = true;
         })},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ModuleBuilder b = standard_module(c.style);
        const Read r = read(b);
        ASSERT_TRUE(r.ok) << r.reason;
        EXPECT_EQ(r.dropped, std::vector<std::string>{});
        ASSERT_EQ(r.layouts.size(), 1u);
        const CommonLayout& l = r.layouts[0];
        EXPECT_EQ(l.block, "c");
        EXPECT_EQ(l.symbol, "c_");
        EXPECT_EQ(l.line, 7u);
        EXPECT_EQ(l.subprogram, "sub");
        EXPECT_EQ(l.members, kStandardMembers);
        EXPECT_EQ(l.runs, kStandardRuns);
        EXPECT_FALSE(l.aliased);
    }
}

// Two subprograms declare /C/; the second's first member differs from the first's in one
// thing, or not at all. Block DIEs alike are read once (the member DIEs' plan, or read whole
// when an attribute has no step); any difference must give a layout of its own.
TEST(DwarfReader, BlocksAlikeAreKeptOnceAndBlocksThatDifferApart) {
    enum Change { None, Name, Type, Offset, Symbol, PlusUconst, NoPlan, NoPlanAndOffset };
    struct Case {
        const char* what;
        Change change;
        std::size_t layouts, dropped;
        std::uint64_t n_offset;  // of the last layout's N
    };
    const Case cases[] = {
        {"alike", None, 1, 0, 0},
        {"member name", Name, 2, 0, 0},
        {"member type", Type, 2, 0, 0},
        {"relocation addend", Offset, 2, 0, 4},
        {"relocation symbol", Symbol, 1, 1, 0},
        {"DW_OP_plus_uconst after the address", PlusUconst, 2, 0, 2},
        {"alike, one member read whole", NoPlan, 1, 0, 0},
        {"read whole, addend", NoPlanAndOffset, 2, 0, 4},
    };
    const auto with = [](auto change) {
        Style s;
        change(s);
        return s;
    };
    const Style styles[] = {
        Style{}, with([](Style& s) {
            s.name_form = form::kStrp;
            s.ref_form = form::kRef2;
            s.location_form = form::kBlock1;
            s.in_place = true;
        }),
        with([](Style& s) {
            s.name_form = form::kStrp;
            s.ref_form = form::kRef8;
            s.big_endian = true;
            s.address_size = 4;
        }),
        with([](Style& s) { s.ref_form = form::kRefAddr; }),  // no plan for any member
    };
    for (const Style& style : styles) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.what) + ", name form " + std::to_string(style.name_form) + ", ref form " +
                         std::to_string(style.ref_form));
            ModuleBuilder b(style);
            const std::uint32_t cs = b.symbol("c_", true), ds = b.symbol("d_", true);
            b.begin_unit();
            b.die(tag::kCompileUnit, true, {name(at::kName, "m.f")});
            const Types t = write_types(b);
            const auto subprogram = [&](const char* sub, Change change) {
                b.die(tag::kSubprogram, true, {name(at::kName, sub)});
                b.die(tag::kCommonBlock, true, {name(at::kName, "c")});
                const bool shifted = change == Offset || change == NoPlanAndOffset;
                std::vector<Attr> n = {
                    name(at::kName, change == Name ? "m" : "n"), ref(at::kType, change == Type ? t.real8 : t.integer),
                    address(change == Symbol ? ds : cs, shifted ? 4 : 0,
                            change == PlusUconst ? Bytes{op::kAddr, op::kPlusUconst, 2} : Bytes{op::kAddr})};
                // An sdata attribute has no fixed size: the DIE is read whole.
                if (change == NoPlan || change == NoPlanAndOffset) n.push_back(raw(0x3a, form::kSdata, {0x7f}));
                b.die(tag::kVariable, false, n);
                b.die(tag::kVariable, false, {name(at::kName, "v"), ref(at::kType, t.vector), address(cs, 8)});
                b.end_children();
                b.end_children();
            };
            subprogram("a", None);
            subprogram("b", c.change);
            b.end_children();
            b.end_unit();
            const Read r = read(b);
            ASSERT_TRUE(r.ok) << r.reason;
            EXPECT_EQ(r.dropped.size(), c.dropped);
            ASSERT_EQ(r.layouts.size(), c.layouts);
            EXPECT_EQ(r.layouts.back().members.at(0).offset, c.n_offset);
            EXPECT_EQ(r.layouts.back().subprogram, c.layouts == 2 ? "b" : "a");
        }
    }
}

// Types beyond the standard block, each in a block /T/ of its own member t.
TEST(DwarfReader, SlotsAndNamesOfTypes) {
    struct Case {
        const char* what;
        std::function<std::uint64_t(ModuleBuilder&, const Types&)> type;  // writes it, gives its offset
        Member member;
        std::vector<SlotRun> runs;
        bool aliased;
    };
    const Case cases[] = {
        {"bounds 0:1 by 1:3, multiplied",
         [](ModuleBuilder& b, const Types& t) {
             const std::uint64_t a = b.die(tag::kArrayType, true, {ref(at::kType, t.integer)});
             b.die(tag::kSubrangeType, false, {constant(at::kLowerBound, 0), constant(at::kUpperBound, 1)});
             b.die(tag::kSubrangeType, false, {constant(at::kCount, 3)});
             b.end_children();
             return a;
         },
         {"t", 0, 24, "integer(kind=4)(0:1,1:3)"},
         {{0, 4, SlotKind::Integer, 6, 4, 0}},
         false},
        {"an array of structures repeats its runs",
         [](ModuleBuilder& b, const Types& t) {
             const std::uint64_t a = b.die(tag::kArrayType, true, {ref(at::kType, t.point)});
             b.die(tag::kSubrangeType, false, {raw(at::kUpperBound, form::kUdata, {0xC0, 0x84, 0x3D})});  // 1000000
             b.end_children();
             return a;
         },
         {"t", 0, 16000000, "point(1:1000000)"},
         {{0, 4, SlotKind::Integer, 1000000, 16, 0}, {8, 8, SlotKind::Real, 1000000, 16, 0}},
         false},
        {"a typedef of const is looked through, with its own name",
         [](ModuleBuilder& b, const Types& t) {
             const std::uint64_t k = b.die(tag::kConstType, false, {ref(at::kType, t.real8)});
             return b.die(tag::kTypedef, false, {name(at::kName, "dp"), ref(at::kType, k)});
         },
         {"t", 0, 8, "dp"},
         {{0, 8, SlotKind::Real, 1, 8, 0}},
         false},
        {"a union overlaps itself",
         [](ModuleBuilder& b, const Types& t) {
             const std::uint64_t u = b.die(tag::kUnionType, true, {constant(at::kByteSize, 8)});
             b.die(tag::kMember, false, {name(at::kName, "i"), ref(at::kType, t.integer)});
             b.die(tag::kMember, false, {name(at::kName, "d"), ref(at::kType, t.real8)});
             b.end_children();
             return u;
         },
         {"t", 0, 8, "union"},
         {{0, 4, SlotKind::Integer, 1, 4, 0}, {0, 8, SlotKind::Real, 1, 8, 0}},
         true},
        {"a pointer is opaque, of the address size",
         [](ModuleBuilder& b, const Types& t) { return b.die(tag::kPointerType, false, {ref(at::kType, t.integer)}); },
         {"t", 0, 8, "pointer"},
         {{0, 8, SlotKind::Opaque, 1, 8, 0}},
         false},
        {"logical, complex and character kinds",
         [](ModuleBuilder& b, const Types&) {
             const auto base = [&](const char* text, std::int64_t size, std::int64_t encoding) {
                 return b.die(
                     tag::kBaseType, false,
                     {name(at::kName, text), constant(at::kByteSize, size), constant(at::kEncoding, encoding)});
             };
             const std::uint64_t l = base("logical(kind=4)", 4, 2), z = base("complex(kind=4)", 8, 3),
                                 ch = base("character(kind=1)", 1, 8);
             const std::uint64_t s =
                 b.die(tag::kStructureType, true, {name(at::kName, "mix"), constant(at::kByteSize, 16)});
             for (const auto& [type, offset] : {std::pair{l, 0}, std::pair{z, 4}, std::pair{ch, 12}})
                 b.die(tag::kMember, false, {ref(at::kType, type), constant(at::kDataMemberLocation, offset)});
             b.end_children();
             return s;
         },
         {"t", 0, 16, "mix"},
         {{0, 4, SlotKind::Logical, 1, 4, 0},
          {4, 8, SlotKind::Complex, 1, 8, 0},
          {12, 1, SlotKind::Character, 1, 1, 0}},
         false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        ModuleBuilder b(Style{});
        const std::uint32_t symbol = b.symbol("t_", true);
        b.begin_unit();
        b.die(tag::kCompileUnit, true, {constant(at::kLanguage, 0x0e)});
        const Types t = write_types(b);
        const std::uint64_t type = c.type(b, t);
        b.die(tag::kCommonBlock, true, {name(at::kName, "t")});
        b.die(tag::kVariable, false, {name(at::kName, "t"), ref(at::kType, type), address(symbol, 0)});
        b.end_children();
        b.end_children();
        b.end_unit();
        const Read r = read(b);
        ASSERT_TRUE(r.ok) << r.reason;
        ASSERT_EQ(r.layouts.size(), 1u) << (r.dropped.empty() ? "" : r.dropped[0]);
        EXPECT_EQ(r.layouts[0].members, std::vector<Member>{c.member});
        EXPECT_EQ(r.layouts[0].runs, c.runs);
        EXPECT_EQ(r.layouts[0].aliased, c.aliased);
        EXPECT_EQ(r.layouts[0].subprogram, "");
    }
}

// COMMON /name/ in the subprogram, one member per list of attributes.
void block(ModuleBuilder& b, const std::string& block_name, const std::vector<std::vector<Attr>>& members) {
    b.die(tag::kCommonBlock, !members.empty(), {name(at::kName, block_name)});
    for (const std::vector<Attr>& m : members) b.die(tag::kVariable, false, m);
    if (!members.empty()) b.end_children();
}

// A stored-block zlib stream of data behind an Elf64_Chdr of the given type and size.
std::shared_ptr<Bytes> compressed(const Bytes& data, std::uint32_t type, std::uint64_t declared) {
    auto out = std::make_shared<Bytes>();
    const auto put = [&](std::uint64_t v, int width, bool big = false) {
        for (int k = 0; k < width; ++k) out->push_back(static_cast<std::uint8_t>(v >> 8 * (big ? width - 1 - k : k)));
    };
    put(type, 4);
    put(0, 4);
    put(declared, 8);
    put(1, 8);
    out->insert(out->end(), {0x78, 0x01, 0x01});
    put(data.size(), 2);
    put(~data.size() & 0xFFFF, 2);
    out->insert(out->end(), data.begin(), data.end());
    std::uint32_t a = 1, b = 0;
    for (const std::uint8_t byte : data) {
        a = (a + byte) % 65521;
        b = (b + a) % 65521;
    }
    put(std::uint64_t{b} << 16 | a, 4, true);
    return out;
}

// What a case reads: the module's reason (empty: readable), the one dropped layout's reason,
// and the layouts left.
struct Damage {
    const char* what;
    Style style = {};
    More more = {};
    std::function<void(ModuleBuilder&)> first = {};
    std::function<void(ModuleBuilder&)> after = {};
    std::function<void(DebugInput&)> input = {};
    std::string reason = {};
    std::string dropped = {};
    std::size_t layouts = 1;
    std::size_t drops = 1;  // layouts dropped, all for the reason in dropped
};

void run(const Damage& d) {
    SCOPED_TRACE(d.what);
    ModuleBuilder b = standard_module(d.style, d.more, d.first);
    if (d.after) d.after(b);
    DebugInput in = b.input();
    if (d.input) d.input(in);
    std::vector<CommonLayout> layouts;
    std::string reason;
    std::vector<std::string> dropped;
    const bool ok = read_common_layouts(in, layouts, reason, &dropped);
    EXPECT_EQ(ok, d.reason.empty());
    EXPECT_NE(reason.find(d.reason), std::string::npos) << reason;
    if (!d.reason.empty()) {
        EXPECT_EQ(layouts.size(), 0u);
        return;
    }
    EXPECT_EQ(reason, "");
    EXPECT_EQ(layouts.size(), d.layouts);
    ASSERT_EQ(dropped.size(), d.dropped.empty() ? 0u : d.drops);
    for (const std::string& why : dropped) EXPECT_NE(why.find(d.dropped), std::string::npos) << why;
}

const auto patch32 = [](std::size_t at, std::uint32_t v) {
    return [=](ModuleBuilder& b) {
        for (int k = 0; k < 4; ++k) b.info()[at + k] = static_cast<std::uint8_t>(v >> 8 * k);
    };
};

TEST(DwarfReader, DamageThatMakesTheModuleUnreadable) {
    Style strx;
    strx.name_form = form::kStrx1;
    const Damage cases[] = {
        {.what = "an abbreviation code past the table",
         .more = [](ModuleBuilder& b, const Types&) { b.info().push_back(77); },
         .reason = "abbreviation code 77 not in .debug_abbrev"},
        {.what = "an unknown form",
         .more = [](ModuleBuilder& b, const Types&) { b.die(tag::kVariable, false, {raw(at::kName, 0x7f, {})}); },
         .reason = "form 0x7f not known"},
        {.what = "DW_FORM_indirect naming itself",
         .more = [](ModuleBuilder& b,
                    const Types&) { b.die(tag::kVariable, false, {raw(at::kName, form::kIndirect, {0x16})}); },
         .reason = "DW_FORM_indirect names form 0x16"},
        {.what = "DW_FORM_indirect whose form number never ends",
         .more = [](ModuleBuilder& b,
                    const Types&) { b.die(tag::kVariable, false, {raw(at::kName, form::kIndirect, Bytes(11, 0x80))}); },
         .reason = "runs past the end of its unit"},
        {.what = "a string offset past .debug_str",
         .more =
             [](ModuleBuilder& b, const Types&) {
                 b.die(tag::kCommonBlock, false, {raw(at::kName, form::kStrp, {0xFF, 0xFF, 0, 0})});
             },
         .reason = "string offset 0xffff past the end of .debug_str"},
        {.what = "DWARF 6",
         .after = [](ModuleBuilder& b) { b.info()[4] = 6; },
         .reason = "unit at 0x0: DWARF version 6 not supported"},
        {.what = "2-byte addresses",
         .after = [](ModuleBuilder& b) { b.info()[7] = 2; },
         .reason = "address size 2 not supported"},
        {.what = "a reserved unit length",
         .after = patch32(0, 0xFFFFFFF5u),
         .reason = "reserved unit length 0xfffffff5"},
        {.what = "a unit longer than the section",
         .after = [](ModuleBuilder& b) { patch32(0, static_cast<std::uint32_t>(b.info().size() - 3))(b); },
         .reason = "length runs past the end of .debug_info"},
        // RELA: the offset is the relocation's addend, whatever the field holds.
        {.what = "abbreviations past .debug_abbrev",
         .after = [](ModuleBuilder& b) { b.info_relocations()[0].addend = 0x1000; },
         .reason = "abbreviation offset 0x1000 past the end"},
        {.what = "no .debug_abbrev",
         .input = [](DebugInput& in) { in.sections[kAbbrev] = {}; },
         .reason = ".debug_info without .debug_abbrev"},
        {.what = "DIEs nested 300 deep",
         .more =
             [](ModuleBuilder& b, const Types&) {
                 for (int k = 0; k < 300; ++k) b.die(0x0b, true, {});
                 for (int k = 0; k < 300; ++k) b.end_children();
             },
         .reason = "DIEs nested deeper than 256"},
        {.what = "strx without the relocations of .debug_str_offsets",
         .style = strx,
         .input = [](DebugInput& in) { in.relocations[kStrOffsets].clear(); },
         .reason = "needs the relocations of .debug_str_offsets"},
        {.what = "a compressed .debug_info one byte short of its declared size",
         .input =
             [](DebugInput& in) {
                 static const auto z =
                     compressed(Bytes(in.sections[kInfo].bytes.begin(), in.sections[kInfo].bytes.end()), 1,
                                in.sections[kInfo].bytes.size() + 1);
                 in.sections[kInfo] = {*z, true, true};
             },
         .reason = "compressed .debug_info: inflating failed"},
        {.what = "zstd",
         .input =
             [](DebugInput& in) {
                 static const auto z = compressed({1, 2, 3}, 2, 3);
                 in.sections[kInfo] = {*z, true, true};
             },
         .reason = "compressed .debug_info: compression type 2, not zlib"},
        {.what = "a compression header cut short",
         .input =
             [](DebugInput& in) {
                 static const auto z = compressed({}, 1, 0);
                 in.sections[kAbbrev] = {std::span(*z).first(20), true, true};
             },
         .reason = "compressed .debug_abbrev: header cut short"},
    };
    for (const Damage& d : cases) run(d);
}

TEST(DwarfReader, WhatDropsOneLayoutOrNone) {
    const auto more_block = [](std::vector<std::vector<Attr>> members) {
        return [members](ModuleBuilder& b, const Types&) { block(b, "d", members); };
    };
    const Damage cases[] = {
        {.what = "an empty .debug_info", .input = [](DebugInput& in) { in.sections[kInfo].bytes = {}; }, .layouts = 0},
        {.what = "a type unit first, passed over",
         .first =
             [](ModuleBuilder& b) {
                 b.begin_unit(2);
                 b.info().insert(b.info().end(), 12, 0xEE);
                 b.end_unit();
             },
         .layouts = 1},
        {.what = "a correctly compressed .debug_info",
         .input =
             [](DebugInput& in) {
                 static const auto z =
                     compressed(Bytes(in.sections[kInfo].bytes.begin(), in.sections[kInfo].bytes.end()), 1,
                                in.sections[kInfo].bytes.size());
                 in.sections[kInfo] = {*z, true, true};
             }},
        {.what = "a relocation naming a symbol past the table",
         .after =
             [](ModuleBuilder& b) {
                 for (Relocation& r : b.info_relocations())
                     if (r.width == 8 && r.addend == 8) r.symbol = 99;
             },
         .dropped = "block /c/ (DIE at",
         .layouts = 0},
        {.what = "a symbol that is not COMMON",
         .more =
             [](ModuleBuilder& b, const Types& t) {
                 block(b, "d", {{name(at::kName, "x"), ref(at::kType, t.integer), address(b.symbol("x_", false), 0)}});
             },
         .dropped = "member x: relocation against x_, not a COMMON symbol"},
        {.what = "no relocation",
         .after = [](ModuleBuilder& b) { b.info_relocations().back().offset += 1; },
         .dropped = "member p: DW_OP_addr has no relocation",
         .layouts = 0},
        {.what = "DW_OP_addrx",
         .more = more_block({{name(at::kName, "x"), raw(at::kLocation, form::kExprloc, {2, op::kAddrx, 0})}}),
         .dropped = "member x: DW_OP_addrx needs .debug_addr"},
        {.what = "DW_OP_fbreg",
         .more = more_block({{name(at::kName, "x"), raw(at::kLocation, form::kExprloc, {2, 0x91, 0})}}),
         .dropped = "member x: location is not a DW_OP_addr"},
        {.what = "DW_OP_addr then DW_OP_deref",
         .more =
             [](ModuleBuilder& b, const Types& t) {
                 block(b, "d", {{name(at::kName, "x"), ref(at::kType, t.integer), address(0, 0, {op::kAddr, 0x06})}});
             },
         .dropped = "member x: location is not a DW_OP_addr"},
        {.what = "two symbols in one block",
         .more =
             [](ModuleBuilder& b, const Types& t) {
                 block(b, "d",
                       {{name(at::kName, "x"), ref(at::kType, t.integer), address(0, 0)},
                        {name(at::kName, "y"), ref(at::kType, t.integer), address(b.symbol("d_", true), 4)}});
             },
         .dropped = "members relocate against c_ and d_"},
        {.what = "an array without bounds",
         .more =
             [](ModuleBuilder& b, const Types& t) {
                 const std::uint64_t a = b.die(tag::kArrayType, false, {ref(at::kType, t.real8)});
                 block(b, "d", {{name(at::kName, "x"), ref(at::kType, a), address(0, 0)}});
             },
         .dropped = "member x: type real(kind=8)() of unknown size"},
        {.what = "a typedef of itself",
         .more =
             [](ModuleBuilder& b, const Types&) {
                 const std::uint64_t self = b.info().size();
                 b.die(tag::kTypedef, false, {name(at::kName, "loop"), ref(at::kType, self)});
                 block(b, "d", {{name(at::kName, "x"), ref(at::kType, self), address(0, 0)}});
             },
         .dropped = "member x: types nested deeper than 64"},
        {.what = "a reference past the unit",
         .more = more_block({{name(at::kName, "x"), ref(at::kType, 0x7000), address(0, 0)}}),
         .dropped = "member x: type reference 0x7000 outside the units"},
        {.what = "a block without members", .more = more_block({}), .dropped = "block /d/ (DIE at"},
        {.what = "more than 100000 slot runs",
         .more =
             [](ModuleBuilder& b, const Types& t) {
                 const std::uint64_t chars =
                     b.die(tag::kStringType, false, {raw(at::kByteSize, form::kUdata, {0xC0, 0x9A, 0x0C})});
                 const std::uint64_t s =
                     b.die(tag::kStructureType, true, {raw(at::kByteSize, form::kUdata, {0x80, 0xB5, 0x18})});
                 b.die(tag::kMember, false, {ref(at::kType, chars)});
                 b.end_children();
                 const std::uint64_t a = b.die(tag::kArrayType, true, {ref(at::kType, s)});
                 b.die(tag::kSubrangeType, false, {raw(at::kUpperBound, form::kUdata, {0xC0, 0x9A, 0x0C})});
                 b.end_children();
                 (void)t;
                 block(b, "d", {{name(at::kName, "x"), ref(at::kType, a), address(0, 0)}});
             },
         .dropped = "member x: more than 100000 slot runs"},
    };
    for (const Damage& d : cases) run(d);
}

// Line tables of version 4 (1-based files, directory 0 the compilation directory) and
// version 5 (0-based, paths in .debug_line_str), as far as the file tables.
Bytes line_table(ModuleBuilder& b, int version) {
    Bytes t;
    const auto put = [&](std::uint64_t v, int width) { b.fixed(t, v, static_cast<unsigned>(width)); };
    put(0, 4);
    put(static_cast<std::uint64_t>(version), 2);
    if (version == 5) put(0x0008, 2);  // address size 8, no segment selector
    put(0, 4);                         // header length: not read
    t.insert(t.end(), {1, 1, 1, 0xFB, 14, 13, 0, 1, 1, 1, 1, 0, 0, 0, 1, 0, 0, 1});
    if (version == 4) {
        // "inc", end of directories; a.f in directory 1, /abs/b.f in 0 (time, length 0); end.
        static const char kTables[] = "inc\0\0a.f\0\1\0\0/abs/b.f\0\0\0\0";
        t.insert(t.end(), kTables, kTables + sizeof kTables);
    } else {
        const std::string paths("/comp\0sub\0", 10);
        b.line_str().insert(b.line_str().end(), paths.begin(), paths.end());
        t.insert(t.end(), {1, 1, form::kLineStrp, 2, 0, 0, 0, 0, 6, 0, 0, 0});
        t.insert(t.end(), {2, 1, form::kString, 2, form::kData1, 2, 'm', '.', 'f', 0, 0, 'x', '.', 'f', 0, 1});
    }
    const std::uint64_t length = t.size() - 4;
    Bytes field;
    b.fixed(field, length, 4);
    std::copy(field.begin(), field.end(), t.begin());
    return t;
}

TEST(DwarfReader, TheBlocksSourceFileFromTheLineTable) {
    struct Case {
        int version;
        std::int64_t decl_file;
        const char* file;
    };
    const Case cases[] = {{4, 1, "/comp/inc/a.f"}, {4, 2, "/abs/b.f"},      {4, 0, ""}, {4, 3, ""},
                          {5, 0, "/comp/m.f"},     {5, 1, "/comp/sub/x.f"}, {5, 9, ""}, {9, 1, ""}};
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.version) + " " + std::to_string(c.decl_file));
        ModuleBuilder b(Style{});
        b.line() = line_table(b, c.version == 9 ? 4 : c.version);
        if (c.version == 9) b.line()[4] = 9;
        const std::uint32_t symbol = b.symbol("t_", true);
        b.begin_unit();
        b.die(tag::kCompileUnit, true,
              {raw(at::kCompDir, form::kString, {'/', 'c', 'o', 'm', 'p', 0}),
               raw(at::kStmtList, form::kSecOffset, {0, 0, 0, 0})});
        const Types t = write_types(b);
        b.die(tag::kCommonBlock, true,
              {name(at::kName, "t"), constant(at::kDeclFile, c.decl_file), constant(at::kDeclLine, 3)});
        b.die(tag::kVariable, false, {name(at::kName, "t"), ref(at::kType, t.integer), address(symbol, 0)});
        b.end_children();
        b.end_children();
        b.end_unit();
        const Read r = read(b);
        ASSERT_TRUE(r.ok) << r.reason;
        ASSERT_EQ(r.layouts.size(), 1u);
        EXPECT_EQ(r.layouts[0].file, c.file);
        EXPECT_EQ(r.layouts[0].line, 3u);
    }
}

// Structures of two members of the structure before: doubling sizes and runs at every level,
// from an integer or from an empty structure.
std::uint64_t doubling(ModuleBuilder& b, std::uint64_t first, std::uint64_t size, int levels) {
    std::uint64_t type = first;
    for (int k = 1; k <= levels; ++k) {
        const auto udata = [](std::uint64_t v) {
            Bytes out;
            ModuleBuilder::uleb(out, v);
            return out;
        };
        const std::uint64_t outer =
            b.die(tag::kStructureType, true, {raw(at::kByteSize, form::kUdata, udata(2 * size))});
        b.die(tag::kMember, false, {ref(at::kType, type), raw(at::kDataMemberLocation, form::kUdata, udata(0))});
        b.die(tag::kMember, false, {ref(at::kType, type), raw(at::kDataMemberLocation, form::kUdata, udata(size))});
        b.end_children();
        type = outer;
        size *= 2;
    }
    return type;
}

TEST(DwarfReader, HostileTypeGraphsStayBounded) {
    const Damage cases[] = {
        {.what = "DIEs nested 100000 deep",
         .more =
             [](ModuleBuilder& b, const Types&) {
                 for (int k = 0; k < 100000; ++k) b.die(0x0b, true, {});
                 for (int k = 0; k < 100000; ++k) b.end_children();
             },
         .reason = "DIEs nested deeper than 256"},
        {.what = "a chain of 10000 typedefs",
         .more =
             [](ModuleBuilder& b, const Types& t) {
                 std::uint64_t type = t.integer;
                 for (int k = 0; k < 10000; ++k) type = b.die(tag::kTypedef, false, {ref(at::kType, type)});
                 block(b, "d", {{name(at::kName, "x"), ref(at::kType, type), address(0, 0)}});
             },
         .dropped = "member x: types nested deeper than 64"},
        {.what = "60 levels of empty structures, 2^60 paths",
         .more =
             [](ModuleBuilder& b, const Types&) {
                 const std::uint64_t empty = b.die(tag::kStructureType, false, {constant(at::kByteSize, 0)});
                 block(b, "d", {{name(at::kName, "x"), ref(at::kType, doubling(b, empty, 0, 60)), address(0, 0)}});
             },
         .layouts = 2},
        {.what = "5000 blocks of a type that fails after a subtree of 20000 DIEs",
         .more =
             [](ModuleBuilder& b, const Types& t) {
                 const std::uint64_t a = b.die(tag::kArrayType, true, {ref(at::kType, t.real8)});
                 b.die(0x0b, true, {});
                 for (int k = 0; k < 20000; ++k) b.die(0x0b, false, {});
                 b.end_children();
                 b.end_children();
                 for (int k = 0; k < 5000; ++k)
                     block(b, "d", {{name(at::kName, "x"), ref(at::kType, a), address(0, 0)}});
             },
         .dropped = "member x: type real(kind=8)() of unknown size",
         .drops = 5000},
        {.what = "40 levels of integers, 2^40 slots",
         .more =
             [](ModuleBuilder& b, const Types& t) {
                 block(b, "d", {{name(at::kName, "x"), ref(at::kType, doubling(b, t.integer, 4, 40)), address(0, 0)}});
             },
         .dropped = "member x: more than 100000 slot runs"},
    };
    for (const Damage& d : cases) run(d);
}

// A relocation table of each layout written here and looked up where it lies: every offset
// of the section, both widths, gives what the same table decoded gives, and the named
// records give their symbol, addend and width.
TEST(DwarfReader, RelocationRecordsOfEveryLayoutReadWhereTheyLie) {
    using Layout = RelocationRecords::Layout;
    struct Record {
        std::uint64_t offset;
        std::uint32_t symbol, type;
        std::int64_t addend;
    };
    struct Case {
        const char* what;
        Layout layout;
        bool big_endian;
        std::vector<RelocationRecords::Width> widths;
    };
    const Case cases[] = {
        {"x86-64 RELA", Layout::Elf64Rela, false, {{1, 8}, {10, 4}, {11, 4}}},
        {"s390x RELA", Layout::Elf64Rela, true, {{22, 8}, {4, 4}}},
        {"aarch64 RELA, types past 255", Layout::Elf64Rela, false, {{257, 8}, {258, 4}}},
        {"64-bit REL", Layout::Elf64Rel, false, {{1, 8}, {10, 4}}},
        {"ppc32 RELA", Layout::Elf32Rela, true, {{1, 4}}},
        {"i386 REL", Layout::Elf32Rel, false, {{1, 4}}},
        {"COFF", Layout::Coff, false, {{1, 8}, {2, 4}, {11, 4}}},
    };
    const auto put = [](Bytes& out, std::uint64_t v, unsigned width, bool big_endian) {
        for (unsigned k = 0; k < width; ++k)
            out.push_back(static_cast<std::uint8_t>(v >> 8 * (big_endian ? width - 1 - k : k)));
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const bool wide = c.layout == Layout::Elf64Rela || c.layout == Layout::Elf64Rel;
        const bool rela = c.layout == Layout::Elf64Rela || c.layout == Layout::Elf32Rela;
        // Two fields of the table's widths, one of a type that writes no value, and one at 0.
        const Record records[] = {{0, 1, c.widths[0].type, 3},
                                  {4, 70000, c.widths.back().type, -4},
                                  {12, 2, 99, 5},
                                  {16, 9, c.widths[0].type, 0x7FFF0000}};
        Bytes bytes;
        for (const Record& r : records) {
            if (c.layout == Layout::Coff) {
                put(bytes, r.offset, 4, false);
                put(bytes, r.symbol, 4, false);
                put(bytes, r.type, 2, false);
                continue;
            }
            put(bytes, r.offset, wide ? 8 : 4, c.big_endian);
            put(bytes, wide ? std::uint64_t{r.symbol} << 32 | r.type : std::uint64_t{r.symbol} << 8 | (r.type & 0xFF),
                wide ? 8 : 4, c.big_endian);
            if (rela) put(bytes, static_cast<std::uint64_t>(r.addend), wide ? 8 : 4, c.big_endian);
        }
        DebugInput in_place;
        in_place.big_endian = c.big_endian;
        RelocationRecords table;
        table.layout = c.layout;
        table.big_endian = c.big_endian;
        table.bytes = bytes;
        std::copy(c.widths.begin(), c.widths.end(), table.widths);
        in_place.add_relocations(kInfo, table);
        ASSERT_EQ(in_place.records[kInfo].count(), 4u);
        DebugInput decoded = in_place;
        decoded.decode_relocations();
        InflatedBytes room_a[kSectionCount], room_b[kSectionCount];
        const DebugSections a(in_place, room_a), b(decoded, room_b);
        EXPECT_EQ(a.uses_rela(kInfo), rela);
        EXPECT_EQ(b.uses_rela(kInfo), rela);
        const auto seen = [](const Relocation* r) {
            return r == nullptr
                       ? std::string("none")
                       : std::to_string(r->offset) + " s" + std::to_string(r->symbol) + " w" +
                             std::to_string(r->width) + (r->in_place ? " in place" : " +" + std::to_string(r->addend));
        };
        for (const unsigned width : {4u, 8u})
            for (std::uint64_t offset = 0; offset < 24; ++offset)
                EXPECT_EQ(seen(a.relocation_at(kInfo, offset, width)), seen(b.relocation_at(kInfo, offset, width)))
                    << offset << " " << width;
        // Backwards too: the lookup does not rely on the order of the questions.
        for (std::uint64_t offset = 24; offset-- > 0;)
            EXPECT_EQ(seen(a.relocation_at(kInfo, offset, 4)), seen(b.relocation_at(kInfo, offset, 4))) << offset;
        for (const Record& r : records) {
            const std::uint8_t width = table.width_of(r.type);
            const Relocation* found = a.relocation_at(kInfo, r.offset, width == 0 ? 4 : width);
            if (width == 0) {
                EXPECT_EQ(found, nullptr) << r.offset;
                continue;
            }
            ASSERT_NE(found, nullptr) << r.offset;
            EXPECT_EQ(found->symbol, r.symbol);
            EXPECT_EQ(found->in_place, !rela);
            EXPECT_EQ(found->addend, rela ? r.addend : 0);
            EXPECT_EQ(a.relocated(kInfo, r.offset, width, 77),
                      rela ? static_cast<std::uint64_t>(r.addend) & (width == 8 ? ~0ull : 0xFFFFFFFFull) : 77u);
        }
    }
}

}  // namespace
}  // namespace quorv::dwarf
