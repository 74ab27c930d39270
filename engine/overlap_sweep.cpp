#include "engine/overlap_sweep.h"

#include <algorithm>
#include <bit>

namespace quorv {
namespace {

// One present region (start and length both nonzero) of one section.
struct Region {
    std::uint32_t start;
    std::uint32_t end;  // inclusive, wrapping like every file offset
    std::uint32_t section;
    std::uint8_t kind;  // 0 raw data, 1 relocations, 2 line numbers
    bool wrapped;       // end < start
};

// What the sweep walks: plain regions, and the two ends of each wrapped region as points.
struct SweepItem {
    std::uint32_t start;
    std::uint32_t end;
    std::uint32_t region;
    bool point;
};

std::vector<Region> present_regions(const std::vector<SectionRegions>& sections) {
    std::vector<Region> out;
    out.reserve(3 * sections.size());
    for (std::size_t s = 0; s < sections.size(); ++s) {
        const FileRegion* kinds[3] = {&sections[s].raw_data, &sections[s].relocations, &sections[s].line_numbers};
        for (std::uint8_t kind = 0; kind < 3; ++kind) {
            const FileRegion& r = *kinds[kind];
            // Starting at offset 0 or empty: absent, it overlaps nothing.
            if (r.start == 0 || r.length == 0) continue;
            const std::uint32_t end = r.start + r.length - 1;
            out.push_back(Region{r.start, end, static_cast<std::uint32_t>(s + 1), kind, end < r.start});
        }
    }
    return out;
}

class Findings {
  public:
    explicit Findings(const std::vector<Region>& regions) : regions_(regions) {}

    // a and b overlap and are of different sections: the lower section's region is first.
    void add(std::uint32_t a, std::uint32_t b) {
        const Region* first = &regions_[a];
        const Region* second = &regions_[b];
        if (first->section > second->section) std::swap(first, second);
        found_.push_back(
            SectionOverlap{first->section, second->section, static_cast<std::uint8_t>(3 * first->kind + second->kind)});
    }

    std::vector<SectionOverlap> in_pairwise_order() {
        std::sort(found_.begin(), found_.end(), [](const SectionOverlap& x, const SectionOverlap& y) {
            if (x.i != y.i) return x.i < y.i;
            if (x.j != y.j) return x.j < y.j;
            return x.test < y.test;
        });
        // A wrapped region can be found from both its ends, and from the tree as well.
        found_.erase(std::unique(found_.begin(), found_.end()), found_.end());
        return std::move(found_);
    }

  private:
    const std::vector<Region>& regions_;
    std::vector<SectionOverlap> found_;
};

// Plain regions overlap exactly when they intersect, and a plain region that holds an end of
// a wrapped one overlaps it in either order. Sorted by start, every region still open when
// the next one starts overlaps it; a region is dropped once it ends before the next start.
void sweep(const std::vector<Region>& regions, Findings& findings) {
    std::vector<SweepItem> items;
    items.reserve(regions.size());
    for (std::uint32_t k = 0; k < regions.size(); ++k) {
        const Region& r = regions[k];
        if (!r.wrapped) {
            items.push_back(SweepItem{r.start, r.end, k, false});
        } else {
            items.push_back(SweepItem{r.start, r.start, k, true});
            items.push_back(SweepItem{r.end, r.end, k, true});
        }
    }
    std::sort(items.begin(), items.end(), [](const SweepItem& a, const SweepItem& b) { return a.start < b.start; });
    // Points are kept apart: two points are two wrapped regions, which the tree answers
    // for, so a point never looks at the open points.
    std::vector<SweepItem> open_plain;
    std::vector<SweepItem> open_points;
    const auto meet = [&](std::vector<SweepItem>& open, const SweepItem& next) {
        std::size_t kept = 0;
        for (const SweepItem& o : open) {
            if (o.end < next.start) continue;
            open[kept++] = o;
            if (regions[o.region].section != regions[next.region].section) findings.add(o.region, next.region);
        }
        open.resize(kept);
    };
    for (const SweepItem& next : items) {
        meet(open_plain, next);
        if (!next.point) meet(open_points, next);
        (next.point ? open_points : open_plain).push_back(next);
    }
}

// The regions of lower-numbered sections by start, each leaf holding the region's end once
// inserted; reports every inserted region with start <= x and end >= y, descending only
// into subtrees that hold one.
class EndTree {
  public:
    explicit EndTree(std::size_t leaves)
        : size_(std::bit_ceil(std::max<std::size_t>(leaves, 1))), max_end_(2 * size_, -1) {}

    void insert(std::size_t leaf, std::uint32_t end) {
        std::size_t node = leaf + size_;
        max_end_[node] = end;
        for (node /= 2; node != 0; node /= 2) max_end_[node] = std::max(max_end_[2 * node], max_end_[2 * node + 1]);
    }

    // Leaves below `prefix` whose end is at least y.
    template <class Visit>
    void report(std::size_t prefix, std::uint32_t y, Visit&& visit) const {
        collect(1, 0, size_, prefix, y, visit);
    }

  private:
    template <class Visit>
    void collect(std::size_t node, std::size_t lo, std::size_t hi, std::size_t prefix, std::uint32_t y,
                 Visit& visit) const {
        if (lo >= prefix || max_end_[node] < std::int64_t{y}) return;
        if (hi - lo == 1) {
            visit(lo);
            return;
        }
        const std::size_t mid = lo + (hi - lo) / 2;
        collect(2 * node, lo, mid, prefix, y, visit);
        collect(2 * node + 1, mid, hi, prefix, y, visit);
    }

    std::size_t size_;
    std::vector<std::int64_t> max_end_;  // -1: nothing inserted below
};

// With a wrapped region second, the first region overlaps it when start1 <= start2 and
// end1 >= end2. Sections are taken in ascending order: each wrapped region asks the tree
// of the lower sections' regions before its own section's regions go in.
void wrapped_second(const std::vector<Region>& regions, Findings& findings) {
    std::vector<std::uint32_t> by_start(regions.size());
    for (std::uint32_t k = 0; k < regions.size(); ++k) by_start[k] = k;
    std::sort(by_start.begin(), by_start.end(),
              [&](std::uint32_t a, std::uint32_t b) { return regions[a].start < regions[b].start; });
    std::vector<std::uint32_t> leaf_of(regions.size());
    std::vector<std::uint32_t> starts(regions.size());
    for (std::uint32_t rank = 0; rank < by_start.size(); ++rank) {
        leaf_of[by_start[rank]] = rank;
        starts[rank] = regions[by_start[rank]].start;
    }
    EndTree tree(regions.size());
    // present_regions lists the regions section by section.
    for (std::size_t first = 0; first < regions.size();) {
        std::size_t last = first;
        while (last < regions.size() && regions[last].section == regions[first].section) ++last;
        for (std::size_t q = first; q < last; ++q) {
            const Region& second = regions[q];
            if (!second.wrapped) continue;
            const auto prefix =
                static_cast<std::size_t>(std::upper_bound(starts.begin(), starts.end(), second.start) - starts.begin());
            tree.report(prefix, second.end,
                        [&](std::size_t leaf) { findings.add(by_start[leaf], static_cast<std::uint32_t>(q)); });
        }
        for (std::size_t q = first; q < last; ++q) tree.insert(leaf_of[q], regions[q].end);
        first = last;
    }
}

}  // namespace

std::vector<SectionOverlap> find_section_overlaps(const std::vector<SectionRegions>& sections) {
    const std::vector<Region> regions = present_regions(sections);
    Findings findings(regions);
    sweep(regions, findings);
    const bool any_wrapped = std::any_of(regions.begin(), regions.end(), [](const Region& r) { return r.wrapped; });
    if (any_wrapped) wrapped_second(regions, findings);
    return findings.in_pairwise_order();
}

}  // namespace quorv
