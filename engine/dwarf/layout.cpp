#include "engine/dwarf/layout.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <numeric>
#include <string_view>
#include <tuple>

namespace quorv::dwarf {
namespace {

// Runs the comparison takes: every extent below 2^61, so no sum or product of positions can
// wrap. The reader's layouts lie far below it; others are not compared.
constexpr std::uint64_t kMostPosition = std::uint64_t{1} << 60;

struct Run {
    std::uint64_t start, size, count, stride, end;  // end: one past the last slot's last byte
    SlotKind kind;
    std::uint32_t member;
    std::uint8_t side;  // 0: the first layout, 1: the second
};

bool normalize(const SlotRun& r, std::uint8_t side, Run& out) {
    if (r.size == 0 || r.count == 0 || r.offset > kMostPosition || r.size > kMostPosition) return false;
    const std::uint64_t stride = r.count == 1 ? r.size : r.stride;
    if (r.count > 1 && (stride == 0 || r.count - 1 > kMostPosition / stride)) return false;
    out = Run{r.offset, r.size, r.count, stride, r.offset + (r.count - 1) * stride + r.size, r.kind, r.member, side};
    return true;
}

enum class Test { Conflict, Overlap };

class Budget {
  public:
    bool spend(std::uint64_t steps) {
        if (steps > kMaxCompareSteps - used_) {
            exhausted_ = true;
            return false;
        }
        used_ += steps;
        return true;
    }
    bool exhausted() const { return exhausted_; }
    std::uint64_t used() const { return used_; }

  private:
    std::uint64_t used_ = 0;
    bool exhausted_ = false;
};

// The first slot of x that ends after byte p.
std::uint64_t first_ending_after(const Run& x, std::uint64_t p) {
    if (p < x.start + x.size) return 0;
    return (p - x.start - x.size) / x.stride + 1;
}

// The slots of x that start before byte p.
std::uint64_t starting_before(const Run& x, std::uint64_t p) {
    if (p <= x.start) return 0;
    return std::min(x.count, (p - x.start - 1) / x.stride + 1);
}

// The slots of x to look at against y: those from the first that reaches y, but no more than
// one period of the pair plus one. The pattern of x's slots against y's repeats every
// lcm(strides) bytes, so a meeting beyond that has an earlier twin (y's slots do not overlap
// one another, nor x's).
std::uint64_t slots_to_scan(const Run& x, const Run& y, std::uint64_t& first) {
    first = first_ending_after(x, y.start);
    const std::uint64_t before = starting_before(x, y.end);
    if (before <= first) return 0;
    const std::uint64_t period = y.stride / std::gcd(x.stride, y.stride);
    return std::min(before - first, period + 1);
}

struct Meeting {
    std::uint64_t byte;
    const Run* x;
    const Run* y;
};

// Looks at the chosen slots of x, each against the one slot of y that can meet it first.
std::optional<std::uint64_t> scan(const Run& x, const Run& y, std::uint64_t first, std::uint64_t slots, Test test,
                                  Budget& budget) {
    for (std::uint64_t k = 0; k < slots; ++k) {
        if (!budget.spend(1)) return std::nullopt;
        const std::uint64_t s = x.start + (first + k) * x.stride, e = s + x.size;
        const std::uint64_t j = first_ending_after(y, s);
        if (j >= y.count) break;
        const std::uint64_t t = y.start + j * y.stride;
        if (t >= e) continue;
        // y's next slot starts past this one's end when they coincide, so nothing else of y
        // meets this slot.
        if (test == Test::Conflict && t == s && y.size == x.size && y.kind == x.kind) continue;
        return std::max(s, t);
    }
    return std::nullopt;
}

std::optional<std::uint64_t> first_meeting(const Run& x, const Run& y, Test test, Budget& budget) {
    if (std::max(x.start, y.start) >= std::min(x.end, y.end)) return std::nullopt;
    std::uint64_t first_x = 0, first_y = 0;
    const std::uint64_t over_x = slots_to_scan(x, y, first_x), over_y = slots_to_scan(y, x, first_y);
    return over_x <= over_y ? scan(x, y, first_x, over_x, test, budget) : scan(y, x, first_y, over_y, test, budget);
}

// The earliest meeting of two runs, taken from different sides (or, within one layout, any
// two). Runs are swept by start; a run is met only by those still open when it starts, and
// the sweep stops once runs start past the best meeting found.
std::optional<Meeting> sweep(std::vector<Run>& runs, bool within_one, Test test, Budget& budget) {
    std::sort(runs.begin(), runs.end(), [](const Run& p, const Run& q) {
        return std::tie(p.start, p.side, p.member, p.size) < std::tie(q.start, q.side, q.member, q.size);
    });
    std::vector<const Run*> open[2];
    std::optional<Meeting> best;
    for (const Run& r : runs) {
        if (best && r.start >= best->byte) break;
        std::vector<const Run*>& others = open[within_one ? 0 : 1 - r.side];
        if (!budget.spend(others.size() + 1)) return std::nullopt;
        std::erase_if(others, [&](const Run* o) { return o->end <= r.start; });
        for (const Run* o : others) {
            const std::optional<std::uint64_t> byte = first_meeting(*o, r, test, budget);
            if (budget.exhausted()) return std::nullopt;
            if (byte && (!best || *byte < best->byte)) best = Meeting{*byte, o, &r};
        }
        open[within_one ? 0 : r.side].push_back(&r);
    }
    return best;
}

bool gather(const std::vector<SlotRun>& from, std::uint8_t side, std::vector<Run>& into) {
    for (const SlotRun& r : from) {
        Run run;
        if (!normalize(r, side, run)) return false;
        into.push_back(run);
    }
    return true;
}

auto member_key(const Member& m) {
    return std::tie(m.name, m.offset, m.size, m.type);
}
auto run_key(const SlotRun& r) {
    return std::tie(r.offset, r.size, r.kind, r.count, r.stride, r.member);
}

}  // namespace

Comparison compare_layouts(const CommonLayout& a, const CommonLayout& b) {
    Comparison out;
    std::vector<Run> runs;
    runs.reserve(a.runs.size() + b.runs.size());
    if (a.aliased || b.aliased || !gather(a.runs, 0, runs) || !gather(b.runs, 1, runs)) {
        out.outcome = Compatibility::Undecided;
        return out;
    }
    Budget budget;
    const std::optional<Meeting> met = sweep(runs, false, Test::Conflict, budget);
    out.steps = budget.used();
    if (budget.exhausted()) {
        out.outcome = Compatibility::Undecided;
    } else if (met) {
        const Run* in_a = met->x->side == 0 ? met->x : met->y;
        const Run* in_b = met->x->side == 0 ? met->y : met->x;
        out.outcome = Compatibility::Conflicting;
        out.conflict = Conflict{met->byte, in_a->member, in_b->member};
    }
    return out;
}

std::optional<Conflict> first_conflict(const CommonLayout& a, const CommonLayout& b) {
    const Comparison c = compare_layouts(a, b);
    if (c.outcome != Compatibility::Conflicting) return std::nullopt;
    return c.conflict;
}

bool has_overlapping_slots(const std::vector<SlotRun>& slots) {
    // Most layouts are members one after another: runs sorted by offset, none reaching the
    // next. Those need no sweep.
    std::uint64_t reached = 0;
    bool apart = true;
    for (const SlotRun& r : slots) {
        Run run;
        if (!normalize(r, 0, run)) return true;
        apart = apart && run.start >= reached && (run.count == 1 || run.stride >= run.size);
        reached = run.end;
    }
    if (apart) return false;
    std::vector<Run> runs;
    runs.reserve(slots.size());
    if (!gather(slots, 0, runs)) return true;
    for (const Run& r : runs)
        if (r.count > 1 && r.stride < r.size) return true;
    Budget budget;
    const std::optional<Meeting> met = sweep(runs, true, Test::Overlap, budget);
    return met.has_value() || budget.exhausted();
}

bool same_layout(const CommonLayout& a, const CommonLayout& b) {
    if (&a == &b) return true;  // the model shares one layout among the modules that have it
    return a.block == b.block && a.symbol == b.symbol && a.aliased == b.aliased && a.members == b.members &&
           a.runs == b.runs;
}

namespace {

// Words mixed in one by one; texts eight bytes to a word, after their length.
struct Hasher {
    std::uint64_t h = 0x9E3779B97F4A7C15ull;
    void number(std::uint64_t v) {
        h ^= v + 0x9E3779B97F4A7C15ull + (h << 6) + (h >> 2);
        h *= 0xFF51AFD7ED558CCDull;
    }
    void text(std::string_view s) {
        number(s.size());
        std::size_t k = 0;
        for (; k + 8 <= s.size(); k += 8) {
            std::uint64_t word = 0;
            std::memcpy(&word, s.data() + k, 8);  // a fixed size: one load, not a call
            number(word);
        }
        if (k == s.size()) return;
        std::uint64_t word = 0;
        for (unsigned byte = 0; k < s.size(); ++k, ++byte)
            word |= std::uint64_t{static_cast<unsigned char>(s[k])} << (8 * byte);
        number(word);
    }
};

// The runs follow from the members' types, mostly: layouts alike in all else but their runs
// only cost a comparison.
template <class Layout>
std::uint64_t hash_of(const Layout& layout) {
    Hasher h;
    h.text(layout.block);
    h.text(layout.symbol);
    h.number(layout.aliased ? 1 : 0);
    h.number(layout.members.size());
    for (const auto& m : layout.members) {
        h.text(m.name);
        h.number(m.offset);
        h.number(m.size);
        h.text(m.type);
    }
    h.number(layout.runs.size());
    return h.h;
}

}  // namespace

std::uint64_t layout_hash(const CommonLayout& layout) {
    return hash_of(layout);
}

std::uint64_t layout_hash(const LayoutDraft& draft) {
    return hash_of(draft);
}

bool same_layout(const LayoutDraft& draft, const CommonLayout& layout) {
    if (draft.block != layout.block || draft.symbol != layout.symbol || draft.aliased != layout.aliased ||
        draft.members.size() != layout.members.size() || draft.runs != layout.runs)
        return false;
    for (std::size_t k = 0; k < draft.members.size(); ++k) {
        const MemberDraft& d = draft.members[k];
        const Member& m = layout.members[k];
        if (d.offset != m.offset || d.size != m.size || d.name != m.name || d.type != m.type) return false;
    }
    return true;
}

CommonLayout LayoutDraft::made() const {
    CommonLayout layout;
    layout.block = block;
    layout.symbol = symbol;
    layout.members.reserve(members.size());
    for (const MemberDraft& m : members)
        layout.members.push_back(Member{std::string(m.name), m.offset, m.size, std::string(m.type)});
    layout.runs = runs;
    layout.aliased = aliased;
    return layout;
}

bool layout_less(const CommonLayout& a, const CommonLayout& b) {
    if (&a == &b) return false;
    if (std::tie(a.block, a.symbol, a.aliased) != std::tie(b.block, b.symbol, b.aliased))
        return std::tie(a.block, a.symbol, a.aliased) < std::tie(b.block, b.symbol, b.aliased);
    const auto members_less = [](const Member& x, const Member& y) { return member_key(x) < member_key(y); };
    if (a.members != b.members)
        return std::lexicographical_compare(a.members.begin(), a.members.end(), b.members.begin(), b.members.end(),
                                            members_less);
    return std::lexicographical_compare(a.runs.begin(), a.runs.end(), b.runs.begin(), b.runs.end(),
                                        [](const SlotRun& x, const SlotRun& y) { return run_key(x) < run_key(y); });
}

}  // namespace quorv::dwarf
