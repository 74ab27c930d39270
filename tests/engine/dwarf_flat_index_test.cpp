// The open-addressing index the layout reader keys its memos by: against a node multimap on
// the same adds, through growth, repeated keys, keys that share their home slot, and clears.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <map>
#include <random>
#include <vector>

#include "engine/dwarf/flat_index.h"

namespace quorv::dwarf {
namespace {

// Every value of key the index holds, in the order it visits them.
std::vector<int> values_of(const FlatIndex<int>& index, std::uint64_t key) {
    std::vector<int> seen;
    index.find(key, [&](int v) {
        seen.push_back(v);
        return false;
    });
    return seen;
}

std::vector<int> sorted(std::vector<int> v) {
    std::sort(v.begin(), v.end());
    return v;
}

struct KeyPlan {
    const char* name;
    std::size_t adds;
    std::uint64_t (*key)(std::mt19937_64& random, std::size_t k);
};

// Each plan's keys go into both, then every key added and some never added are looked up.
TEST(FlatIndex, HoldsWhatAMultimapHoldsWhateverTheKeys) {
    const KeyPlan plans[] = {
        {"none", 0, [](std::mt19937_64&, std::size_t k) { return std::uint64_t{k}; }},
        {"one", 1, [](std::mt19937_64&, std::size_t) { return std::uint64_t{0}; }},
        {"small offsets", 3000, [](std::mt19937_64&, std::size_t k) { return std::uint64_t{11 + 23 * k}; }},
        {"random 64-bit", 5000, [](std::mt19937_64& r, std::size_t) { return r(); }},
        {"few keys, many entries", 2000, [](std::mt19937_64& r, std::size_t) { return r() % 7; }},
        // Keys apart by a power of two large enough that the product's top bits often agree.
        {"strided", 4000, [](std::mt19937_64&, std::size_t k) { return std::uint64_t{k} << 52; }},
        {"zero and all ones", 40,
         [](std::mt19937_64&, std::size_t k) { return k % 2 == 0 ? std::uint64_t{0} : ~std::uint64_t{0}; }},
    };
    for (const KeyPlan& plan : plans) {
        SCOPED_TRACE(plan.name);
        std::mt19937_64 random(17);
        FlatIndex<int> index;
        std::multimap<std::uint64_t, int> reference;
        for (std::size_t k = 0; k < plan.adds; ++k) {
            const std::uint64_t key = plan.key(random, k);
            index.add(key, static_cast<int>(k));
            reference.emplace(key, static_cast<int>(k));
        }
        for (auto it = reference.begin(); it != reference.end(); it = reference.upper_bound(it->first)) {
            std::vector<int> want;
            for (auto [first, last] = reference.equal_range(it->first); first != last; ++first)
                want.push_back(first->second);
            ASSERT_EQ(sorted(values_of(index, it->first)), sorted(want)) << "key " << it->first;
        }
        for (int k = 0; k < 200; ++k) {
            const std::uint64_t absent = random() | 1;  // the plans' small keys are not all odd
            if (reference.count(absent) == 0) {
                EXPECT_TRUE(values_of(index, absent).empty());
            }
        }
        // The first value the predicate accepts is the one found, and a refusal finds none.
        if (!reference.empty()) {
            const auto [key, value] = *reference.begin();
            const int* found = index.find(key, [&](int v) { return v == value; });
            ASSERT_NE(found, nullptr);
            EXPECT_EQ(*found, value);
            EXPECT_EQ(index.find(key, [](int) { return false; }), nullptr);
            // Without a predicate, the first entry visited is found.
            ASSERT_NE(index.find(key), nullptr);
            EXPECT_EQ(*index.find(key), values_of(index, key).front());
        }
    }
}

// Cleared, it finds nothing and takes new entries, whether its room was kept or let go.
TEST(FlatIndex, ClearsKeepingOrLettingGoOfItsRoom) {
    for (const std::size_t kept : {std::size_t{0}, std::size_t{64}, std::size_t{1} << 20}) {
        SCOPED_TRACE(kept);
        FlatIndex<int> index;
        for (int k = 0; k < 1000; ++k) index.add(static_cast<std::uint64_t>(k), k);
        index.clear(kept);
        for (int k = 0; k < 1000; ++k) ASSERT_TRUE(values_of(index, static_cast<std::uint64_t>(k)).empty());
        index.clear(kept);  // twice, and on an empty index
        for (int k = 0; k < 100; ++k) index.add(static_cast<std::uint64_t>(k), -k);
        for (int k = 0; k < 100; ++k) ASSERT_EQ(values_of(index, static_cast<std::uint64_t>(k)), std::vector<int>{-k});
        EXPECT_TRUE(values_of(index, 500).empty());
    }
}

}  // namespace
}  // namespace quorv::dwarf
