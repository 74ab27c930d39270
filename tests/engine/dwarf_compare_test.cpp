// The comparison of layouts on runs: held against slot-by-slot expansion on small random
// layouts, and on runs of millions of slots that expansion could not afford.
#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <random>
#include <set>
#include <tuple>
#include <utility>
#include <vector>

#include "engine/dwarf/layout.h"
#include "engine/dwarf/layout_pool.h"

namespace quorv::dwarf {
namespace {

constexpr SlotKind R = SlotKind::Real, I = SlotKind::Integer, C = SlotKind::Character;

CommonLayout layout_of(std::vector<SlotRun> runs) {
    CommonLayout l;
    for (std::size_t k = 0; k < runs.size(); ++k) l.members.push_back(Member{"m" + std::to_string(k), 0, 0, ""});
    for (std::size_t k = 0; k < runs.size(); ++k) runs[k].member = static_cast<std::uint32_t>(k);
    std::stable_sort(runs.begin(), runs.end(), [](const SlotRun& a, const SlotRun& b) { return a.offset < b.offset; });
    l.runs = std::move(runs);
    l.aliased = has_overlapping_slots(l.runs);
    return l;
}

struct Slot {
    std::uint64_t start, size;
    SlotKind kind;
    std::uint32_t member;
};

std::vector<Slot> expand(const std::vector<SlotRun>& runs) {
    std::vector<Slot> out;
    for (const SlotRun& r : runs)
        for (std::uint64_t k = 0; k < r.count; ++k)
            out.push_back(Slot{r.offset + k * r.stride, r.size, r.kind, r.member});
    return out;
}

bool meet(const Slot& s, const Slot& t) {
    return s.start < t.start + t.size && t.start < s.start + s.size;
}

// The first conflicting byte slot by slot, and every pair of members that conflict there.
std::optional<std::pair<std::uint64_t, std::set<std::pair<std::uint32_t, std::uint32_t>>>> brute_conflict(
    const CommonLayout& a, const CommonLayout& b) {
    std::optional<std::pair<std::uint64_t, std::set<std::pair<std::uint32_t, std::uint32_t>>>> best;
    for (const Slot& s : expand(a.runs))
        for (const Slot& t : expand(b.runs)) {
            if (!meet(s, t) || (s.start == t.start && s.size == t.size && s.kind == t.kind)) continue;
            const std::uint64_t byte = std::max(s.start, t.start);
            if (best && byte > best->first) continue;
            if (!best || byte < best->first) best.emplace(byte, std::set<std::pair<std::uint32_t, std::uint32_t>>{});
            best->second.insert({s.member, t.member});
        }
    return best;
}

bool brute_aliased(const CommonLayout& l) {
    const std::vector<Slot> slots = expand(l.runs);
    for (std::size_t i = 0; i < slots.size(); ++i)
        for (std::size_t j = i + 1; j < slots.size(); ++j)
            if (meet(slots[i], slots[j])) return true;
    return false;
}

CommonLayout random_layout(std::mt19937& random) {
    const auto pick = [&](int lo, int hi) {
        return static_cast<std::uint64_t>(std::uniform_int_distribution<int>(lo, hi)(random));
    };
    std::vector<SlotRun> runs;
    for (std::uint64_t n = pick(1, 3); n > 0; --n) {
        const std::uint64_t size = pick(1, 3) * (pick(0, 1) ? 4 : 1);
        runs.push_back(SlotRun{pick(0, 24), size, pick(0, 3) ? R : I, pick(1, 7), size + pick(0, 1) * pick(0, 12), 0});
    }
    return layout_of(std::move(runs));
}

TEST(DwarfCompare, RunsAgreeWithSlotBySlotExpansion) {
    std::mt19937 random(20240611);
    int compared = 0, conflicting = 0;
    for (int round = 0; round < 20000; ++round) {
        const CommonLayout a = random_layout(random), b = random_layout(random);
        ASSERT_EQ(a.aliased, brute_aliased(a));
        if (a.aliased || b.aliased) {
            EXPECT_EQ(compare_layouts(a, b).outcome, Compatibility::Undecided);
            continue;
        }
        ++compared;
        const auto expected = brute_conflict(a, b);
        const Comparison c = compare_layouts(a, b);
        ASSERT_EQ(c.outcome, expected ? Compatibility::Conflicting : Compatibility::Compatible) << round;
        if (!expected) continue;
        ++conflicting;
        EXPECT_EQ(c.conflict.byte, expected->first) << round;
        EXPECT_EQ(expected->second.count({c.conflict.member_a, c.conflict.member_b}), 1u) << round;
    }
    // The draw must exercise both outcomes, not only one.
    EXPECT_GT(compared, 2000);
    EXPECT_GT(conflicting, 500);
    EXPECT_GT(compared - conflicting, 500);
}

struct Case {
    const char* what;
    std::vector<SlotRun> a, b;
    Compatibility outcome;
    std::uint64_t byte;
};

TEST(DwarfCompare, MillionsOfSlotsInAFewSteps) {
    constexpr std::uint64_t kMany = 14000000;
    const Case cases[] = {
        {"an array against a one-element view",
         {{0, 4, R, kMany, 4, 0}},
         {{0, 4, R, 1, 4, 0}},
         Compatibility::Compatible,
         0},
        {"an array of {x, y} against a flat array",
         {{0, 4, R, kMany, 8, 0}, {4, 4, R, kMany, 8, 0}},
         {{0, 4, R, 2 * kMany, 4, 0}},
         Compatibility::Compatible,
         0},
        {"strides 12 and 8 that coincide every 24 bytes",
         {{0, 4, R, kMany, 12, 0}},
         {{0, 4, R, kMany, 8, 0}},
         Compatibility::Compatible,
         0},
        {"strides 12 and 8, shifted by 2",
         {{0, 4, R, kMany, 12, 0}},
         {{2, 4, R, kMany, 8, 0}},
         Compatibility::Conflicting,
         2},
        {"a kind that differs at the last element",
         {{0, 4, R, kMany, 4, 0}},
         {{0, 4, R, kMany - 1, 4, 0}, {4 * (kMany - 1), 4, I, 1, 4, 0}},
         Compatibility::Conflicting,
         4 * (kMany - 1)},
        {"characters against a character array",
         {{0, 1, C, kMany, 1, 0}},
         {{0, 1, C, 8, 1, 0}, {8, 1, C, kMany - 8, 1, 0}},
         Compatibility::Compatible,
         0},
        {"a real*8 array meeting a real*4 array past a padding gap",
         {{0, 4, I, 1, 4, 0}, {8, 8, R, kMany, 8, 0}},
         {{0, 4, I, 1, 4, 0}, {4, 4, R, kMany, 4, 0}},
         Compatibility::Conflicting,
         8},
        {"slots past the other's end",
         {{0, 8, R, 1, 8, 0}},
         {{0, 8, R, 1, 8, 0}, {8, 4, I, kMany, 4, 0}},
         Compatibility::Compatible,
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        const CommonLayout a = layout_of(c.a), b = layout_of(c.b);
        ASSERT_FALSE(a.aliased || b.aliased);
        for (const bool swapped : {false, true}) {
            const Comparison r = swapped ? compare_layouts(b, a) : compare_layouts(a, b);
            EXPECT_EQ(r.outcome, c.outcome);
            EXPECT_LE(r.steps, 32u);
            if (c.outcome == Compatibility::Conflicting) {
                EXPECT_EQ(r.conflict.byte, c.byte);
            }
        }
    }
}

TEST(DwarfCompare, OverlapWithinALayoutIsAliasing) {
    const Case cases[] = {
        {"two members at one offset (EQUIVALENCE)",
         {{0, 4, I, 1, 4, 0}, {0, 4, R, 1, 4, 0}},
         {},
         Compatibility::Undecided,
         0},
        {"a run whose slots overlap one another", {{0, 8, R, 3, 4, 0}}, {}, Compatibility::Undecided, 0},
        {"a run ending inside the next member",
         {{0, 4, R, 3, 4, 0}, {10, 4, I, 1, 4, 0}},
         {},
         Compatibility::Undecided,
         0},
        {"interleaved runs of an array of structures",
         {{0, 4, I, 1000000, 8, 0}, {4, 4, R, 1000000, 8, 0}},
         {},
         Compatibility::Compatible,
         0},
        {"runs that touch", {{0, 4, R, 10, 4, 0}, {40, 8, R, 10, 8, 0}}, {}, Compatibility::Compatible, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(layout_of(c.a).aliased, c.outcome == Compatibility::Undecided);
    }
}

// Thousands of interleaved runs on both sides, every pair open at once: the work stops at
// its limit, the comparison is undecided and the layout that cannot be checked is aliased.
TEST(DwarfCompare, HostileRunsStopAtTheStepLimit) {
    std::vector<SlotRun> runs;
    constexpr std::uint64_t kRuns = 3000;
    for (std::uint64_t k = 0; k < kRuns; ++k) runs.push_back(SlotRun{4 * k, 4, R, 1000, 4 * kRuns, 0});
    CommonLayout a = layout_of(runs);
    EXPECT_TRUE(a.aliased);  // too much to check
    a.aliased = false;
    const Comparison c = compare_layouts(a, a);
    EXPECT_EQ(c.outcome, Compatibility::Undecided);
    EXPECT_LE(c.steps, kMaxCompareSteps);
    EXPECT_FALSE(first_conflict(a, a).has_value());
}

TEST(DwarfCompare, RunsOutsideTheComparedRangeAreUndecided) {
    const CommonLayout huge = layout_of({{0, 4, R, std::uint64_t{1} << 62, 4, 0}});
    const CommonLayout small = layout_of({{0, 4, R, 1, 4, 0}});
    EXPECT_TRUE(huge.aliased);
    CommonLayout unchecked = huge;
    unchecked.aliased = false;
    EXPECT_EQ(compare_layouts(unchecked, small).outcome, Compatibility::Undecided);
}

TEST(DwarfCompare, SameLayoutLeavesOutTheSourceLocation) {
    CommonLayout a = layout_of({{0, 4, R, 3, 4, 0}});
    a.block = "e";
    a.symbol = "e_";
    a.members[0] = Member{"e", 0, 12, "real(kind=4)(1:3)"};
    CommonLayout b = a;
    b.file = "other.f";
    b.line = 40;
    b.subprogram = "other";
    EXPECT_TRUE(same_layout(a, b));
    EXPECT_FALSE(layout_less(a, b) || layout_less(b, a));
    for (auto change : {+[](CommonLayout& l) { l.symbol = "_e_"; }, +[](CommonLayout& l) { l.members[0].name = "f"; },
                        +[](CommonLayout& l) { l.runs[0].kind = SlotKind::Integer; }}) {
        CommonLayout c = a;
        change(c);
        EXPECT_FALSE(same_layout(a, c));
        EXPECT_NE(layout_less(a, c), layout_less(c, a));
    }
}

// A draft is pooled once however often it comes, as a layout made whole is; a draft that
// differs in anything same_layout compares is pooled apart; the pooled layout is the one the
// draft makes, without a source.
TEST(LayoutPool, TheSameLayoutIsKeptOnceAndEveryDifferenceApart) {
    LayoutDraft base;
    base.block = "c";
    base.symbol = "c_";
    base.members = {MemberDraft{"i", 0, 4, "integer(kind=4)"}, MemberDraft{"x", 8, 8, "real(kind=8)"}};
    base.runs = {SlotRun{0, 4, I, 1, 4, 0}, SlotRun{8, 8, R, 1, 8, 1}};
    struct Change {
        const char* what;
        void (*apply)(LayoutDraft&);
    };
    const Change changes[] = {
        {"block", [](LayoutDraft& d) { d.block = "d"; }},
        {"symbol", [](LayoutDraft& d) { d.symbol = "c"; }},
        {"member name", [](LayoutDraft& d) { d.members[1].name = "y"; }},
        {"member offset", [](LayoutDraft& d) { d.members[1].offset = 4; }},
        {"member size", [](LayoutDraft& d) { d.members[1].size = 4; }},
        {"member type", [](LayoutDraft& d) { d.members[1].type = "real(kind=4)"; }},
        {"a member less", [](LayoutDraft& d) { d.members.pop_back(); }},
        {"a run's kind", [](LayoutDraft& d) { d.runs[1].kind = C; }},
        {"a run's count", [](LayoutDraft& d) { d.runs[1].count = 2; }},
        {"aliased", [](LayoutDraft& d) { d.aliased = true; }},
    };
    LayoutPool pool;
    const CommonLayout* kept = pool.share(base);
    EXPECT_EQ(pool.share(base), kept);
    EXPECT_EQ(pool.find(base), kept);
    EXPECT_TRUE(same_layout(base, *kept));
    EXPECT_EQ(kept->members[1].type, "real(kind=8)");
    EXPECT_EQ(kept->file + kept->subprogram, "");
    EXPECT_EQ(kept->line, 0u);
    CommonLayout whole = base.made();
    whole.file = "a.f";
    whole.line = 3;
    EXPECT_EQ(pool.share(std::move(whole)), kept);
    std::set<const CommonLayout*> apart{kept};
    for (const Change& c : changes) {
        LayoutDraft changed = base;
        c.apply(changed);
        EXPECT_EQ(pool.find(changed), nullptr) << c.what;
        const CommonLayout* other = pool.share(changed);
        EXPECT_TRUE(apart.insert(other).second) << c.what;
        EXPECT_EQ(pool.share(changed.made()), other) << c.what;
    }
    EXPECT_EQ(pool.size(), 1 + std::size(changes));
    pool.clear();
    EXPECT_EQ(pool.find(base), nullptr);
}

}  // namespace
}  // namespace quorv::dwarf
