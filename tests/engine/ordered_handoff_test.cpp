// The hand-off between the loader's two threads: items arrive in order, never more than the
// ring's room is made ahead, a stop frees a waiting producer, and a producer's failure
// reaches the consumer.
#include "engine/ordered_handoff.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>
#include <thread>

namespace quorv {
namespace {

TEST(OrderedHandoff, ItemsArriveInOrderWithinTheRoom) {
    struct Case {
        std::size_t slots, cost_limit, cost;
    };
    for (const Case& c : {Case{2, 0, 0}, Case{8, 0, 0}, Case{8, 100, 30}, Case{128, 1000, 5000}}) {
        OrderedHandoff<int> ring(c.slots, c.cost_limit);
        std::atomic<std::size_t> made{0}, returned{0};
        std::size_t most_ahead = 0;
        std::thread producer([&] {
            for (int k = 0; k < 1000; ++k) {
                int* slot = ring.next_free();
                if (slot == nullptr) return;
                *slot = k;
                ring.made(c.cost);
                ++made;
            }
        });
        for (int k = 0; k < 1000; ++k) {
            EXPECT_EQ(ring.take(), k);
            most_ahead = std::max(most_ahead, made.load() - returned.load());
            ++returned;
            ring.give_back();
        }
        producer.join();
        // An item over the cost limit is made alone.
        EXPECT_LE(most_ahead, c.cost > c.cost_limit && c.cost_limit != 0 ? 1u : c.slots) << c.slots;
    }
}

TEST(OrderedHandoff, AStopFreesAWaitingProducer) {
    OrderedHandoff<int> ring(2, 0);
    std::atomic<int> made{0};
    std::thread producer([&] {
        while (int* slot = ring.next_free()) {
            *slot = made;
            ring.made(0);
            ++made;
        }
    });
    EXPECT_EQ(ring.take(), 0);
    ring.stop();
    producer.join();  // would hang if the stop did not wake it
    EXPECT_LE(made.load(), 2);
}

TEST(OrderedHandoff, TheProducersFailureReachesTheConsumer) {
    OrderedHandoff<int> ring(2, 0);
    std::thread producer([&] {
        *ring.next_free() = 7;
        ring.made(0);
        try {
            throw std::runtime_error("no room");
        } catch (...) {
            ring.fail(std::current_exception());
        }
    });
    EXPECT_EQ(ring.take(), 7);
    ring.give_back();
    EXPECT_THROW(ring.take(), std::runtime_error);
    producer.join();
}

}  // namespace
}  // namespace quorv
