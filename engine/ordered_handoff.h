#pragma once
// The one hand-off between two threads: a producer makes items 0, 1, 2, ... in order into a
// ring, the consumer takes them in the same order and hands each back when it is done with
// it. At most `slots` items are made and not yet handed back and, with a cost limit, at most
// that much of their cost (one item alone may pass it). A producer that had to wait resumes
// only when half the room is free again, so that it is woken once per few items, not per
// item. A failure of the producer reaches the consumer at the item it was making.
#include <condition_variable>
#include <cstddef>
#include <exception>
#include <mutex>
#include <vector>

namespace quorv {

template <class Item>
class OrderedHandoff {
  public:
    // cost_limit 0: no limit but the slots.
    OrderedHandoff(std::size_t slots, std::size_t cost_limit)
        : items_(slots), costs_(slots, 0), cost_limit_(cost_limit) {}
    OrderedHandoff(const OrderedHandoff&) = delete;
    OrderedHandoff& operator=(const OrderedHandoff&) = delete;

    // Producer: the item to make next, once there is room; nullptr once stopped.
    Item* next_free() {
        std::unique_lock lock(mutex_);
        if (!has_room(1, cost_limit_)) {
            producer_waits_ = true;
            room_.wait(lock, [&] { return stop_ || has_room(items_.size() / 2, cost_limit_ / 2); });
            producer_waits_ = false;
        }
        return stop_ ? nullptr : &items_[made_ % items_.size()];
    }
    // Producer: the item from next_free is ready; cost is what it holds.
    void made(std::size_t cost) {
        {
            std::lock_guard lock(mutex_);
            costs_[made_ % items_.size()] = cost;
            held_ += cost;
            ++made_;
        }
        ready_.notify_one();
    }
    // Producer: it cannot go on; the consumer rethrows failure when it reaches that item.
    void fail(std::exception_ptr failure) {
        {
            std::lock_guard lock(mutex_);
            failure_ = failure;
        }
        ready_.notify_one();
    }

    // Consumer: the next item, once made.
    Item& take() {
        std::unique_lock lock(mutex_);
        ready_.wait(lock, [&] { return made_ > taken_ || failure_; });
        if (made_ <= taken_) std::rethrow_exception(failure_);
        return items_[taken_++ % items_.size()];
    }
    // Consumer: the oldest item taken is done with; its slot may be made again.
    void give_back() {
        bool wake = false;
        {
            std::lock_guard lock(mutex_);
            held_ -= costs_[returned_ % items_.size()];
            ++returned_;
            wake = producer_waits_ && has_room(items_.size() / 2, cost_limit_ / 2);
        }
        if (wake) room_.notify_one();
    }
    // The producer's next wait returns nullptr, and a waiting one wakes.
    void stop() {
        {
            std::lock_guard lock(mutex_);
            stop_ = true;
        }
        room_.notify_one();
    }

  private:
    // Room for `free` more items, with what is held below `cost` (when there is a limit).
    bool has_room(std::size_t free, std::size_t cost) const {
        const std::size_t outstanding = made_ - returned_;
        const bool slots = outstanding + (free == 0 ? 1 : free) <= items_.size();
        return slots && (cost_limit_ == 0 || held_ < cost || outstanding == 0);
    }

    std::vector<Item> items_;
    std::vector<std::size_t> costs_;
    const std::size_t cost_limit_;
    std::mutex mutex_;
    std::condition_variable ready_;  // an item was made, or the producer failed
    std::condition_variable room_;   // an item was handed back, or stop
    std::size_t made_ = 0;
    std::size_t taken_ = 0;
    std::size_t returned_ = 0;
    std::size_t held_ = 0;
    bool producer_waits_ = false;
    bool stop_ = false;
    std::exception_ptr failure_;
};

}  // namespace quorv
