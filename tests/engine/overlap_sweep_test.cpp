// The overlap checks by sweep against the plain loop over every pair of sections: the same
// messages in the same order, on random section tables full of the regions that make the
// tests differ from interval intersection (wrapped past 2^32, touching, one byte shared,
// zero length, starting at 0).
#include "engine/overlap_sweep.h"

#include <gtest/gtest.h>

#include <random>

#include "engine/diagnostics.h"
#include "engine/object_reader.h"

namespace quorv {
namespace {

using Messages = std::vector<std::string>;

Messages pairwise(const std::vector<SectionRegions>& sections) {
    CollectingSink sink;
    const Diagnostics diagnostics(sink);
    const auto n = static_cast<std::uint32_t>(sections.size());
    for (std::uint32_t i = 1; i < n; ++i)
        for (std::uint32_t j = i + 1; j <= n; ++j) check_section_pair(diagnostics, sections, i, j);
    return sink.messages;
}

// The findings of every pair by ranges_overlap, test t comparing region t / 3 of the lower
// section with region t % 3 of the higher.
std::vector<SectionOverlap> pairwise_findings(const std::vector<SectionRegions>& sections) {
    std::vector<SectionOverlap> out;
    for (std::size_t i = 0; i < sections.size(); ++i) {
        for (std::size_t j = i + 1; j < sections.size(); ++j) {
            const FileRegion a[3] = {sections[i].raw_data, sections[i].relocations, sections[i].line_numbers};
            const FileRegion b[3] = {sections[j].raw_data, sections[j].relocations, sections[j].line_numbers};
            for (std::uint8_t t = 0; t < 9; ++t)
                if (ranges_overlap(a[t / 3].start, a[t / 3].length, b[t % 3].start, b[t % 3].length))
                    out.push_back(
                        SectionOverlap{static_cast<std::uint32_t>(i + 1), static_cast<std::uint32_t>(j + 1), t});
        }
    }
    return out;
}

Messages swept(const std::vector<SectionRegions>& sections) {
    CollectingSink sink;
    check_all_section_pairs(Diagnostics(sink), sections);
    return sink.messages;
}

// Starts cluster on a few anchors so that regions meet, touch and nest; some sit just below
// 2^32 so that their ends wrap, and some at 0 or with length 0 so that they are absent.
class RandomTables {
  public:
    explicit RandomTables(std::uint64_t seed) : rng_(seed) {}

    FileRegion region() {
        static constexpr std::uint32_t kAnchors[] = {0, 1, 100, 110, 0x7FFFFFF0u, 0xFFFFFF00u, 0xFFFFFFF0u};
        std::uint32_t start = kAnchors[pick(std::size(kAnchors))];
        if (start != 0 || pick(4) == 0) start += static_cast<std::uint32_t>(pick(24));
        static constexpr std::uint32_t kLengths[] = {0, 1, 2, 10, 11, 16, 0x100, 0x80000000u, 0xFFFFFFFFu};
        std::uint32_t length = kLengths[pick(std::size(kLengths))];
        if (pick(3) == 0) length += static_cast<std::uint32_t>(pick(12));
        return FileRegion{start, length};
    }

    std::vector<SectionRegions> table(std::size_t sections) {
        std::vector<SectionRegions> t(sections);
        for (SectionRegions& s : t) s = {region(), region(), region()};
        return t;
    }

    std::size_t pick(std::size_t n) { return std::uniform_int_distribution<std::size_t>(0, n - 1)(rng_); }

  private:
    std::mt19937_64 rng_;
};

TEST(OverlapSweep, SameMessagesInTheSameOrderAsEveryPair) {
    RandomTables random(20240601);
    std::size_t findings = 0, wrapped_regions = 0;
    for (int round = 0; round < 3000; ++round) {
        const auto table = random.table(2 + random.pick(round < 2500 ? 12 : 60));
        // The sweep itself, also on the small tables that the reader tests pair by pair.
        const auto expected_findings = pairwise_findings(table);
        ASSERT_EQ(find_section_overlaps(table), expected_findings) << "round " << round;
        const Messages expected = pairwise(table);
        ASSERT_EQ(swept(table), expected) << "round " << round;
        findings += expected.size();
        for (const SectionRegions& s : table)
            for (const FileRegion* r : {&s.raw_data, &s.relocations, &s.line_numbers})
                if (r->start != 0 && r->length != 0 && r->start + r->length - 1 < r->start) ++wrapped_regions;
    }
    // The tables must exercise what they are for: many findings, many wrapped regions.
    EXPECT_GT(findings, 30000u);
    EXPECT_GT(wrapped_regions, 3000u);
}

TEST(OverlapSweep, BoundaryPairsOfTwoSections) {
    struct Case {
        const char* what;
        FileRegion first, second;  // raw data of sections 1 and 2
        bool overlap;
    };
    const std::vector<Case> cases = {
        {"touching", {100, 10}, {110, 10}, false},
        {"one shared byte", {100, 11}, {110, 10}, true},
        {"same start", {200, 1}, {200, 5}, true},
        {"nested", {100, 50}, {120, 1}, true},
        {"zero length", {100, 0}, {100, 10}, false},
        {"starts at 0", {0, 50}, {10, 5}, false},
        // Wrapped first (end 0x0F): a plain region overlaps it only by holding an end.
        {"wrapped first, plain holds neither end", {0xFFFFFFF0u, 0x20}, {5, 5}, false},
        {"wrapped first, plain holds its end", {0xFFFFFFF0u, 0x20}, {10, 10}, true},
        {"wrapped first, plain holds its start", {0xFFFFFFF0u, 0x20}, {0xFFFFFF00u, 0xF1}, true},
        // Wrapped second: overlapped when start1 <= start2 and end1 >= end2, even far away.
        {"plain first, wrapped second, in its gap", {20, 5}, {0xFFFFFFF0u, 0x20}, true},
        {"plain first, below its end", {5, 5}, {0xFFFFFFF0u, 0x40}, false},
        {"both wrapped, first contains second", {0xFFFFFF00u, 0x200}, {0xFFFFFFF0u, 0x20}, true},
        {"both wrapped, second contains first", {0xFFFFFFF0u, 0x20}, {0xFFFFFF00u, 0x200}, false},
    };
    for (const Case& c : cases) {
        std::vector<SectionRegions> table(2);
        table[0].raw_data = c.first;
        table[1].raw_data = c.second;
        const Messages expected = pairwise(table);
        EXPECT_EQ(expected.size(), c.overlap ? 1u : 0u) << c.what;
        EXPECT_EQ(find_section_overlaps(table), pairwise_findings(table)) << c.what;
        EXPECT_EQ(swept(table), expected) << c.what;
    }
}

TEST(OverlapSweep, FindingsOfALargeTableComeInPairOrder) {
    // 1500 sections whose raw data each share a byte with the next one's and whose
    // relocations all lie on one spot: 1499 + 1500 * 1499 / 2 findings, in pair order.
    std::vector<SectionRegions> table(1500);
    for (std::uint32_t s = 0; s < table.size(); ++s) {
        table[s].raw_data = {1000 + 10 * s, 11};
        table[s].relocations = {500, 10};
    }
    const auto found = find_section_overlaps(table);
    ASSERT_EQ(found.size(), 1499u + 1500u * 1499u / 2);
    for (std::size_t k = 1; k < found.size(); ++k) {
        const auto& a = found[k - 1];
        const auto& b = found[k];
        ASSERT_TRUE(a.i < b.i || (a.i == b.i && (a.j < b.j || (a.j == b.j && a.test < b.test)))) << k;
    }
    EXPECT_EQ(found.front(), (SectionOverlap{1, 2, 0}));
    EXPECT_EQ(found[1], (SectionOverlap{1, 2, 4}));
}

}  // namespace
}  // namespace quorv
