#include "engine/dwarf/common_layouts.h"

#include <algorithm>
#include <cstring>
#include <deque>
#include <map>
#include <memory>
#include <new>
#include <span>

#include "engine/dwarf/constants.h"
#include "engine/dwarf/die_reader.h"
#include "engine/dwarf/line_files.h"
#include "engine/dwarf/reasons.h"
#include "engine/dwarf/sections.h"
#include "engine/dwarf/type_slots.h"

namespace quorv::dwarf {
namespace {

// What a variable DIE among a block's children says of the member.
struct PendingMember {
    std::uint64_t die = 0;
    FormValue name;
    FormValue type;
    FormValue location;
    bool has_type = false;
    bool has_location = false;
};

// Slots of absent attributes hold what an earlier DIE left: only present ones count.
PendingMember pending_member(const Die& child) {
    PendingMember m;
    m.die = child.offset;
    if (child.has(kWantName)) m.name = child.value(kWantName);
    m.has_type = child.has(kWantType);
    if (m.has_type) m.type = child.value(kWantType);
    m.has_location = child.has(kWantLocation);
    if (m.has_location) m.location = child.value(kWantLocation);
    return m;
}

// The same from a member read by its abbreviation's plan.
PendingMember pending_member(const MemberFields& fields) {
    PendingMember m;
    m.die = fields.offset;
    if (fields.has_name && fields.name_inline) {
        m.name.kind = ValueKind::String;
        m.name.form = form::kString;
        m.name.text = fields.name_text;
    } else if (fields.has_name) {
        m.name.kind = ValueKind::StringOffset;
        m.name.form = form::kStrp;
        m.name.string_section = kStr;
        m.name.number = fields.name_offset;
    }
    m.has_type = fields.has_type;
    m.type.kind = ValueKind::UnitReference;
    m.type.number = fields.type;
    m.has_location = fields.has_location;
    m.location.kind = ValueKind::Block;
    m.location.block = fields.location;
    m.location.block_offset = fields.location_offset;
    return m;
}

// Where a member's DW_OP_addr points: the relocation's symbol and the offset in its block.
struct Address {
    std::string_view symbol;
    std::uint64_t offset = 0;
};

class LayoutReader {
  public:
    LayoutReader(const DebugInput& input, LayoutPool& pool, std::vector<LayoutRef>& out,
                 std::vector<std::string>* dropped, LayoutScratch& scratch)
        : sections_(input, scratch.inflated),
          reader_(sections_),
          types_(reader_, scratch.types),
          pool_(pool),
          out_(out),
          dropped_(dropped),
          members_(scratch.members),
          draft_(scratch.draft),
          signature_(scratch.signature),
          signed_words_(scratch.signed_words),
          signed_at_(scratch.signed_at) {}

    bool read(std::string& reason) {
        if (!sections_.load(kInfo, reason)) return false;
        if (sections_.bytes(kInfo).empty()) return true;
        bool ok = reader_.scan_units();
        for (Unit& unit : reader_.units())
            if (ok && unit.compile) ok = walk(unit);
        if (!ok) reason = reader_.reason();
        return ok;
    }

  private:
    struct Subprogram {
        unsigned depth;  // of its children
        FormValue name;
    };

    bool walk(Unit& unit);
    bool read_block(Unit& unit, const Die& block, std::uint64_t children, const FormValue* subprogram,
                    std::uint64_t& next);
    bool build(Unit& unit, const Die& block, const FormValue* subprogram, LayoutRef& ref, std::string& problem);
    bool place_member(Unit& unit, const PendingMember& m, std::string& problem);
    bool address_of(const Unit& unit, const PendingMember& m, Address& out, std::string& problem);
    bool file_of(Unit& unit, const Die& block, std::string& out);
    bool keep(LayoutRef&& ref);
    void begin_signature(const Unit& unit, const Die& block);
    void sign_member(const Unit& unit, const Die& member);
    void sign_fields(const Unit& unit, const MemberFields& member);
    std::uint64_t sign_fixed(const Unit& unit, std::uint64_t offset, const MemberPlan& plan, std::uint64_t length_at);
    std::uint64_t* sign_location(const Unit& unit, std::uint64_t* to, std::span<const std::uint8_t> location,
                                 std::uint64_t location_offset) const;
    void sign_value(const Unit& unit, const FormValue& value);
    void sign_block(const Unit& unit, std::span<const std::uint8_t> block, std::uint64_t offset);
    // References are made absolute; strings by index would depend on the unit's table.
    void sign_reference(const Unit& unit, std::uint64_t reference) {
        sign_number(static_cast<std::uint64_t>(ValueKind::UnitReference));
        sign_number(unit.offset + reference);
    }
    void sign_text(std::string_view text) {
        sign_number(static_cast<std::uint64_t>(ValueKind::String));
        sign_bytes(reinterpret_cast<const std::uint8_t*>(text.data()), text.size());
    }
    void sign_string_offset(SectionId section, std::uint64_t offset) {
        sign_number(static_cast<std::uint64_t>(ValueKind::StringOffset));
        sign_number(section);
        sign_number(offset);
    }
    // The signature's words are written into room taken ahead, without a check a word: a
    // block has hundreds. The pointer stays valid until the next call.
    std::uint64_t* room(std::size_t most) {
        if (signature_.size() - signed_ < most) signature_.resize(std::max(2 * signature_.size(), signed_ + most));
        return signature_.data() + signed_;
    }
    void signed_up_to(const std::uint64_t* end) { signed_ = static_cast<std::size_t>(end - signature_.data()); }
    std::span<const std::uint64_t> signature() const { return {signature_.data(), signed_}; }
    void sign_number(std::uint64_t v) {
        *room(1) = v;
        ++signed_;
    }
    // Texts and locations are a few bytes: taken as they stand, eight to a word, after their length.
    static std::size_t words_for(std::size_t size) { return 1 + (size + 7) / 8; }
    static std::uint64_t* put_bytes(std::uint64_t* to, const std::uint8_t* bytes, std::size_t size) {
        *to++ = size;
        std::size_t k = 0;
        for (; k + 8 <= size; k += 8) std::memcpy(to++, bytes + k, 8);  // a fixed size: one load, not a call
        if (k == size) return to;
        std::uint64_t word = 0;
        for (unsigned byte = 0; k < size; ++k, ++byte) word |= std::uint64_t{bytes[k]} << (8 * byte);
        *to++ = word;
        return to;
    }
    void sign_bytes(const std::uint8_t* bytes, std::size_t size) {
        signed_up_to(put_bytes(room(words_for(size)), bytes, size));
    }

    DebugSections sections_;
    DieReader reader_;
    TypeDescriber types_;
    LayoutPool& pool_;
    std::vector<LayoutRef>& out_;
    std::vector<std::string>* dropped_;
    // The block's member DIEs: signed as they are read, read again only for a layout that is built.
    std::vector<std::uint64_t>& members_;
    LayoutDraft& draft_;
    // Type names the draft sees that the memo of types does not keep.
    std::deque<std::string> draft_types_;
    Die child_;  // reused: a Die is large, and a block has a DIE per member
    MemberFields fields_;
    std::vector<Subprogram> subprograms_;
    std::map<std::uint64_t, std::unique_ptr<LineFiles>> line_tables_;  // by offset in .debug_line
    std::uint64_t line_bytes_ = 0;
    struct {
        const Unit* unit = nullptr;
        std::uint64_t index = 0;
        std::string path;
    } last_file_;
    std::uint64_t kept_bytes_ = 0;
    // The layouts kept so far: identical ones (a block seen alike by many subprograms of a
    // file) are kept once, the first. The pool gives the same layout once.
    FlatIndex<const CommonLayout*> kept_;
    // What a block DIE's layout is made of, before it is made: its name, and each member's
    // name, type DIE and location with its relocation. Block DIEs alike in this (a block
    // every subprogram includes) give the same layout, so it is built once.
    std::vector<std::uint64_t>& signature_;  // its first signed_ words
    std::size_t signed_ = 0;
    std::vector<std::uint64_t>& signed_words_;
    FlatIndex<std::pair<std::size_t, std::size_t>>& signed_at_;
};

// What a block's member DIEs are read for.
constexpr std::uint32_t kMemberAttributes = 1u << kWantName | 1u << kWantType | 1u << kWantLocation;
// And a block's own DIE.
constexpr std::uint32_t kBlockAttributes = 1u << kWantName | 1u << kWantDeclFile | 1u << kWantDeclLine;

// The first word of a member signed by its plan: never one a member read whole begins with.
constexpr std::uint64_t kByPlan = std::uint64_t{1} << 32;

// A signature may stand for a layout only while the words kept for them stay within this.
constexpr std::uint64_t kMostSignatureWords = std::uint64_t{1} << 22;

std::uint64_t hash_words(std::span<const std::uint64_t> words) {
    // A quick mix: a collision only costs a comparison of the words. Four lanes, so that
    // the multiplications of a block's hundreds of words do not wait on one another.
    constexpr std::uint64_t kMultiplier = 0xFF51AFD7ED558CCDull;
    std::uint64_t lanes[4] = {0x9E3779B97F4A7C15ull ^ words.size(), 1, 2, 3};
    const std::size_t whole = words.size() / 4 * 4;
    for (std::size_t k = 0; k < whole; k += 4)
        for (std::size_t lane = 0; lane < 4; ++lane) lanes[lane] = (lanes[lane] ^ words[k + lane]) * kMultiplier;
    for (std::size_t k = whole; k < words.size(); ++k) lanes[0] = (lanes[0] ^ words[k]) * kMultiplier;
    std::uint64_t h = lanes[0];
    for (std::size_t lane = 1; lane < 4; ++lane) h = (h ^ lanes[lane]) * kMultiplier;
    return h ^ (h >> 31);
}

// One pass over the unit's DIEs: every DIE is skipped by its abbreviation's sizes but
// subprograms (for their names) and common blocks, whose subtrees are read whole.
bool LayoutReader::walk(Unit& unit) {
    if (!reader_.prepare(unit)) return false;
    if (!unit.abbreviations->has_tag(tag::kCommonBlock)) return true;
    subprograms_.clear();
    unsigned depth = 0;
    std::uint64_t at = unit.first_die;
    Die die;
    while (at < unit.end) {
        const std::uint64_t here = at;
        std::uint64_t tag = 0;
        bool children = false;
        if (!reader_.skip(unit, here, tag, children, at)) return false;
        if (tag == 0) {
            if (depth > 0) --depth;
            while (!subprograms_.empty() && subprograms_.back().depth > depth) subprograms_.pop_back();
            continue;
        }
        if (tag == tag::kCommonBlock) {
            if (!reader_.read(unit, here, die, at, kBlockAttributes)) return false;
            const FormValue* subprogram = subprograms_.empty() ? nullptr : &subprograms_.back().name;
            if (!read_block(unit, die, at, subprogram, at)) return false;
            continue;
        }
        if (!children) continue;
        if (++depth > kMaxDieDepth) return reader_.fail(reason::nesting_too_deep(here, kMaxDieDepth));
        if (tag == tag::kSubprogram) {
            if (!reader_.read(unit, here, die, at, 1u << kWantName)) return false;
            subprograms_.push_back(Subprogram{depth, die.has(kWantName) ? die.value(kWantName) : FormValue{}});
        }
    }
    return true;
}

bool LayoutReader::read_block(Unit& unit, const Die& block, std::uint64_t children, const FormValue* subprogram,
                              std::uint64_t& next) {
    members_.clear();
    begin_signature(unit, block);
    next = children;
    // The members by their abbreviation's plan; a DIE without one is read whole.
    for (std::uint64_t at = children; block.children;) {
        // gfortran's shape: read and signed straight from the bytes.
        if (std::uint64_t length_at = 0; const MemberPlan* plan = reader_.fixed_member(unit, at, length_at)) {
            members_.push_back(at);
            at = sign_fixed(unit, at, *plan, length_at);
            continue;
        }
        std::uint64_t after = 0;
        const MemberRead quick = reader_.read_member(unit, at, fields_, after);
        if (quick == MemberRead::Failed) return false;
        if (quick == MemberRead::End) {
            next = after;
            break;
        }
        if (quick == MemberRead::Read) {
            members_.push_back(fields_.offset);
            sign_fields(unit, fields_);
            at = after;
            continue;
        }
        if (!reader_.read(unit, at, child_, after, kMemberAttributes)) return false;
        at = after;
        if (child_.tag == 0) {
            next = at;
            break;
        }
        if (child_.tag == tag::kVariable) {
            members_.push_back(child_.offset);
            sign_member(unit, child_);
        }
        if (child_.children && !reader_.skip_children(unit, after, at)) return false;
    }
    const std::span<const std::uint64_t> signature = this->signature();
    const std::uint64_t hash = hash_words(signature);
    const auto same = [&](const std::pair<std::size_t, std::size_t>& kept) {
        return kept.second == signature.size() &&
               std::equal(signature.begin(), signature.end(),
                          signed_words_.begin() + static_cast<std::ptrdiff_t>(kept.first));
    };
    if (signed_at_.find(hash, same) != nullptr) {
        // The same layout as one kept already; the subprogram's name is still read, so that
        // damage to it counts wherever it stands.
        std::string_view name;
        return subprogram == nullptr || reader_.text(unit, *subprogram, name);
    }
    LayoutRef ref;
    std::string problem;
    if (build(unit, block, subprogram, ref, problem)) {
        if (signed_words_.size() + signature.size() <= kMostSignatureWords) {
            signed_at_.add(hash, std::pair{signed_words_.size(), signature.size()});
            signed_words_.insert(signed_words_.end(), signature.begin(), signature.end());
        }
        return keep(std::move(ref));
    }
    if (reader_.failed()) return false;
    if (dropped_ != nullptr) dropped_->push_back(reason::layout(draft_.block, block.offset, problem));
    return true;
}

// Makes the block's layout in draft_, and its source in ref.
bool LayoutReader::build(Unit& unit, const Die& block, const FormValue* subprogram, LayoutRef& ref,
                         std::string& problem) {
    LayoutDraft& layout = draft_;
    layout.clear();
    draft_types_.clear();
    std::string_view text;
    if (block.has(kWantName) && !reader_.text(unit, block.value(kWantName), text)) return false;
    layout.block = text;
    if (subprogram != nullptr && !reader_.text(unit, *subprogram, text)) return false;
    if (subprogram != nullptr) ref.subprogram = text;
    if (block.has(kWantDeclLine) && block.value(kWantDeclLine).is_constant())
        ref.line = block.value(kWantDeclLine).number;
    if (!file_of(unit, block, ref.file)) return false;
    if (members_.empty()) {
        problem = reason::no_members();
        return false;
    }
    for (const std::uint64_t offset : members_) {
        std::uint64_t after = 0;
        const MemberRead quick = reader_.read_member(unit, offset, fields_, after);
        if (quick == MemberRead::Failed) return false;
        if (quick == MemberRead::Read) {
            if (!place_member(unit, pending_member(fields_), problem)) return false;
            continue;
        }
        if (!reader_.read(unit, offset, child_, after, kMemberAttributes)) return false;
        if (!place_member(unit, pending_member(child_), problem)) return false;
    }
    const auto by_offset = [](const SlotRun& a, const SlotRun& b) { return a.offset < b.offset; };
    if (!std::is_sorted(layout.runs.begin(), layout.runs.end(), by_offset))
        std::stable_sort(layout.runs.begin(), layout.runs.end(), by_offset);
    layout.aliased = has_overlapping_slots(layout.runs);
    return true;
}

bool LayoutReader::place_member(Unit& unit, const PendingMember& m, std::string& problem) {
    LayoutDraft& layout = draft_;
    MemberDraft member;
    std::string_view name;
    if (!reader_.text(unit, m.name, name)) return false;
    member.name = name;
    Address address;
    const TypeDescription* type = nullptr;
    bool placed = address_of(unit, m, address, problem);
    if (placed && !m.has_type) {
        problem = reason::no_type();
        placed = false;
    }
    if (placed) type = types_.describe(unit, m.type, problem);
    if (type == nullptr) {
        if (!reader_.failed()) problem = reason::member(member.name, problem);
        return false;
    }
    if (layout.members.empty()) layout.symbol = address.symbol;
    if (layout.symbol != address.symbol) {
        problem = reason::two_symbols(layout.symbol, address.symbol);
        return false;
    }
    member.offset = address.offset;
    member.size = type->size;
    // A type the memo does not keep lasts only until the next one is described.
    member.type = types_.lasting(type) ? std::string_view(type->name) : draft_types_.emplace_back(type->name);
    const auto index = static_cast<std::uint32_t>(layout.members.size());
    for (SlotRun r : type->runs) {
        if (layout.runs.size() >= kMaxRuns) {
            problem = reason::too_many_runs(kMaxRuns);
            return false;
        }
        r.offset += address.offset;
        r.member = index;
        layout.runs.push_back(r);
    }
    layout.members.push_back(member);
    return true;
}

void LayoutReader::sign_value(const Unit& unit, const FormValue& value) {
    switch (value.kind) {
        case ValueKind::UnitReference:
            sign_reference(unit, value.number);
            return;
        case ValueKind::String:
            sign_text(value.text);
            return;
        case ValueKind::StringOffset:
            sign_string_offset(value.string_section, value.number);
            return;
        case ValueKind::Block:
            sign_block(unit, value.block, value.block_offset);
            return;
        default:
            break;
    }
    sign_number(static_cast<std::uint64_t>(value.kind));
    sign_number(value.number);
}

void LayoutReader::sign_block(const Unit& unit, std::span<const std::uint8_t> block, std::uint64_t offset) {
    // The bytes, and the relocation of an address operand after the first byte.
    sign_number(static_cast<std::uint64_t>(ValueKind::Block));
    sign_bytes(block.data(), block.size());
    const Relocation* r = sections_.relocation_at(kInfo, offset + 1, unit.format.address_size);
    if (r == nullptr) {
        sign_number(~std::uint64_t{0});
    } else {
        sign_number(r->symbol);
        sign_number(static_cast<std::uint64_t>(r->addend));
        sign_number(r->in_place ? 1 : 0);
    }
}

void LayoutReader::begin_signature(const Unit& unit, const Die& block) {
    signed_ = 0;
    // Strings by index depend on the unit's table; references are made absolute.
    sign_number(unit.offset);
    sign_number(block.has(kWantName) ? 1 : 0);
    if (block.has(kWantName)) sign_value(unit, block.value(kWantName));
}

void LayoutReader::sign_member(const Unit& unit, const Die& member) {
    const bool name = member.has(kWantName), type = member.has(kWantType), location = member.has(kWantLocation);
    sign_number((name ? 1u : 0u) | (type ? 2u : 0u) | (location ? 4u : 0u));
    if (name) sign_value(unit, member.value(kWantName));
    if (type) sign_value(unit, member.value(kWantType));
    if (location) sign_value(unit, member.value(kWantLocation));
}

// A member read by its abbreviation's plan, in words of its own (a DIE read whole signs
// otherwise, so the two never stand for each other): written at once, a member being most
// of what a block's signature holds.
void LayoutReader::sign_fields(const Unit& unit, const MemberFields& m) {
    const std::size_t most = 6 + words_for(m.name_text.size()) + words_for(m.location.size());
    std::uint64_t* w = room(most);
    *w++ = kByPlan | (m.has_name ? 1u : 0u) | (m.name_inline ? 2u : 0u) | (m.has_type ? 4u : 0u) |
           (m.has_location ? 8u : 0u);
    if (m.has_name && m.name_inline)
        w = put_bytes(w, reinterpret_cast<const std::uint8_t*>(m.name_text.data()), m.name_text.size());
    else if (m.has_name)
        *w++ = m.name_offset;
    if (m.has_type) *w++ = unit.offset + m.type;  // made absolute
    if (m.has_location) w = sign_location(unit, w, m.location, m.location_offset);
    signed_up_to(w);
}

// A location's bytes, and the relocation of an address operand after its first byte.
std::uint64_t* LayoutReader::sign_location(const Unit& unit, std::uint64_t* to, std::span<const std::uint8_t> location,
                                           std::uint64_t location_offset) const {
    to = put_bytes(to, location.data(), location.size());
    const Relocation* r = sections_.relocation_at(kInfo, location_offset + 1, unit.format.address_size);
    if (r == nullptr) {
        *to++ = ~std::uint64_t{0};
    } else {
        *to++ = r->symbol | (r->in_place ? std::uint64_t{1} << 32 : 0);
        *to++ = static_cast<std::uint64_t>(r->addend);
    }
    return to;
}

// A member of the usual fixed shape, signed as sign_fields signs it read by read_member, from
// its bytes (which fixed_member found within the unit); gives the offset after it.
std::uint64_t LayoutReader::sign_fixed(const Unit& unit, std::uint64_t offset, const MemberPlan& plan,
                                       std::uint64_t length_at) {
    const std::uint8_t* info = sections_.bytes(kInfo).data();
    const std::uint8_t* p = info + static_cast<std::size_t>(offset + 1);
    const std::size_t length = info[static_cast<std::size_t>(length_at)];
    const bool big_endian = sections_.big_endian();
    const unsigned offset_size = unit.format.offset_size;
    std::uint64_t* w = room(6 + words_for(0) + words_for(length));
    *w++ = kByPlan | 1u | 4u | 8u;
    *w++ = sections_.relocated(kInfo, offset + 1 + plan.name_at, offset_size,
                               load_fixed(p + plan.name_at, offset_size, big_endian));
    *w++ = unit.offset + load_fixed(p + plan.type_at, plan.type_width, big_endian);
    w = sign_location(unit, w, sections_.bytes(kInfo).subspan(static_cast<std::size_t>(length_at + 1), length),
                      length_at + 1);
    signed_up_to(w);
    return length_at + 1 + length;
}

// The location must be DW_OP_addr (optionally then DW_OP_plus_uconst) with a relocation of
// the address's width against a COMMON symbol at the operand.
bool LayoutReader::address_of(const Unit& unit, const PendingMember& m, Address& out, std::string& problem) {
    if (!m.has_location || m.location.kind != ValueKind::Block) {
        problem = m.has_location ? reason::location_not_addr() : reason::no_location();
        return false;
    }
    const unsigned width = unit.format.address_size;
    ByteCursor in(m.location.block, sections_.big_endian());
    const std::uint8_t operation = in.u8();
    if (operation == op::kAddrx || operation == op::kGnuAddrIndex) {
        problem = reason::location_needs_debug_addr();
        return false;
    }
    const std::uint64_t in_place = in.fixed(width);
    std::uint64_t extra = 0;
    if (in.ok() && !in.at_end()) {
        if (in.u8() == op::kPlusUconst)
            extra = in.uleb();
        else
            in.fail();
    }
    if (operation != op::kAddr || !in.ok() || !in.at_end()) {
        problem = reason::location_not_addr();
        return false;
    }
    const std::uint64_t operand = m.location.block_offset + 1;
    const Relocation* r = sections_.relocation_at(kInfo, operand, width);
    if (r == nullptr) {
        problem = reason::addr_not_relocated();
        return false;
    }
    if (r->symbol >= sections_.symbols().size()) {
        problem = reason::symbol_past_table(r->symbol);
        return false;
    }
    const Symbol& symbol = sections_.symbols()[r->symbol];
    if (!symbol.is_common) {
        problem = reason::symbol_not_common(symbol.name);
        return false;
    }
    out.symbol = symbol.name;
    out.offset = sections_.relocated(kInfo, operand, width, in_place);
    if (out.offset > kMostBytes || extra > kMostBytes - out.offset) {
        problem = reason::offset_too_large(out.offset);
        return false;
    }
    out.offset += extra;
    return true;
}

// The block's source file from its unit's line table; none when that cannot be read.
bool LayoutReader::file_of(Unit& unit, const Die& block, std::string& out) {
    if (!block.has(kWantDeclFile) || !block.value(kWantDeclFile).is_constant() || !unit.has_stmt_list) return true;
    std::unique_ptr<LineFiles>& table = line_tables_[unit.stmt_list];
    if (table == nullptr) {
        table = std::make_unique<LineFiles>();
        // Line tables at overlapping offsets could each be read to the section's end: the
        // bytes read in all are held to a few times the section.
        const std::uint64_t limit = 4 * sections_.bytes(kLine).size() + (std::uint64_t{1} << 16);
        if (line_bytes_ > limit || !table->read(sections_, unit.stmt_list)) *table = LineFiles{};
        line_bytes_ += table->bytes_read();
    }
    // Every block of a unit names the same file, mostly: its path is made once.
    const std::uint64_t index = block.value(kWantDeclFile).number;
    if (last_file_.unit != &unit || last_file_.index != index) {
        std::string_view comp_dir;
        if (unit.has_comp_dir && !reader_.text(unit, unit.comp_dir, comp_dir)) return false;
        last_file_ = {&unit, index, table->path(index, comp_dir)};
    }
    out = last_file_.path;
    return true;
}

// The draft's layout, with its source in ref, as the module's; counted against the module's
// bound before the pool makes it, so that what hostile input makes us keep stays bounded.
bool LayoutReader::keep(LayoutRef&& ref) {
    const LayoutDraft& layout = draft_;
    const std::uint64_t hash = layout_hash(layout);
    const CommonLayout* pooled = pool_.find(layout, hash);
    // Kept by the layout's hash, already taken for the pool.
    const auto is = [&](const CommonLayout* kept) { return kept == pooled; };
    if (pooled != nullptr && kept_.find(hash, is) != nullptr) return true;
    std::uint64_t bytes = sizeof(CommonLayout) + layout.block.size() + layout.symbol.size() + ref.file.size() +
                          ref.subprogram.size() + layout.runs.size() * sizeof(SlotRun);
    for (const MemberDraft& m : layout.members) bytes += sizeof(Member) + m.name.size() + m.type.size();
    kept_bytes_ += bytes;
    if (kept_bytes_ > kMostLayoutBytes) return reader_.fail(reason::layouts_too_large(kMostLayoutBytes));
    if (pooled == nullptr) pooled = pool_.add(layout, hash);
    kept_.add(hash, pooled);
    ref.layout = pooled;
    out_.push_back(std::move(ref));
    return true;
}

}  // namespace

void LayoutScratch::clear() {
    // A module's signatures are a few thousand words; a hostile one may have made millions.
    constexpr std::size_t kKeptWords = std::size_t{1} << 16;
    for (std::vector<std::uint64_t>* v : {&members, &signature, &signed_words}) {
        v->clear();
        if (v->capacity() > kKeptWords) std::vector<std::uint64_t>().swap(*v);
    }
    signed_at.clear(std::size_t{1} << 13);
    draft.clear();
    if (draft.runs.capacity() > kKeptWords) LayoutDraft().runs.swap(draft.runs);
    types.clear();
    // Real sections inflate to a few hundred kilobytes; a hostile one may have made far more.
    constexpr std::size_t kKeptInflatedBytes = std::size_t{16} << 20;
    for (InflatedBytes& bytes : inflated) {
        bytes.clear();
        if (bytes.capacity() > kKeptInflatedBytes) InflatedBytes().swap(bytes);
    }
}

bool read_common_layouts(const DebugInput& input, std::vector<CommonLayout>& out, std::string& reason,
                         std::vector<std::string>* dropped) {
    out.clear();
    LayoutScratch scratch;
    LayoutPool pool;
    std::vector<LayoutRef> refs;
    if (!read_common_layouts(input, pool, refs, reason, dropped, scratch)) return false;
    try {
        for (LayoutRef& ref : refs) {
            CommonLayout& layout = out.emplace_back(*ref.layout);
            layout.file = std::move(ref.file);
            layout.line = ref.line;
            layout.subprogram = std::move(ref.subprogram);
        }
        return true;
    } catch (const std::bad_alloc&) {
        out.clear();
        reason = reason::kOutOfMemory;
        if (dropped != nullptr) dropped->clear();
        return false;
    }
}

bool read_common_layouts(const DebugInput& input, LayoutPool& pool, std::vector<LayoutRef>& out, std::string& reason,
                         std::vector<std::string>* dropped, LayoutScratch& scratch) {
    scratch.clear();
    out.clear();
    reason.clear();
    if (dropped != nullptr) dropped->clear();
    if (!input.has_info()) return true;
    // Members are placed by relocations against COMMON symbols: without one, nothing to read.
    if (std::none_of(input.symbols.begin(), input.symbols.end(), [](const Symbol& s) { return s.is_common; }))
        return true;
    try {
        if (LayoutReader(input, pool, out, dropped, scratch).read(reason)) return true;
    } catch (const std::bad_alloc&) {
        reason = reason::kOutOfMemory;
    }
    out.clear();
    if (dropped != nullptr) dropped->clear();
    return false;
}

}  // namespace quorv::dwarf
