#pragma once
// The overlap checks of the section table without testing every pair of sections: a sweep
// over the regions sorted by start finds each overlapping pair of regions once, in
// O(n log n + k) for n regions and k overlaps, and the findings are then put in the order
// that testing every pair gives (pairs by lower section number, then higher; within a pair
// the nine tests in their order).
//
// A region whose end wraps past 2^32 (start + length - 1 beyond 0xFFFFFFFF) keeps the exact
// meaning the three tests of ranges_overlap give it, which is not that of an interval: with
// such a region second, the first overlaps it when start1 <= start2 and end1 >= end2 (the
// wrapped end compared as it is); with it first, a plain region overlaps it when it holds
// the wrapped region's start or its end. The first case is answered from a tree over the
// regions of lower-numbered sections, the second by sweeping the two ends as points.
#include <cstdint>
#include <vector>

#include "engine/object_reader.h"

namespace quorv {

// One finding: sections i < j (numbered from 1) and the test, 0 to 8 in the order of
// check_section_pair.
struct SectionOverlap {
    std::uint32_t i;
    std::uint32_t j;
    std::uint8_t test;
    friend bool operator==(const SectionOverlap&, const SectionOverlap&) = default;
};

// Every finding of the pairwise tests over the table, in their order. May throw
// std::bad_alloc; nothing is reported here.
std::vector<SectionOverlap> find_section_overlaps(const std::vector<SectionRegions>& sections);

}  // namespace quorv
