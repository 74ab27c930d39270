#pragma once
// The name order of the model's lists: records stay where they were recorded, and an index
// of keys is put in name order when the run ends. A view walks the records in that order.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <deque>
#include <iterator>
#include <new>
#include <string_view>
#include <vector>

namespace quorv {

// The sorting key: the first 8 bytes of the name, big-endian and zero-filled, which orders
// like compare_names wherever it differs; the record number breaks the rest.
struct NameKey {
    std::uint64_t prefix;
    std::uint32_t record;
};

// The first 8 bytes, big-endian, zero-filled: where two prefixes differ they order like
// compare_names of the whole names (a zero fill sorts first, as a shorter name does).
inline std::uint64_t name_prefix(std::string_view s) {
    unsigned char b[8] = {};
    std::memcpy(b, s.data(), s.size() < 8 ? s.size() : 8);
    std::uint64_t v = 0;
    for (unsigned char c : b) v = (v << 8) | c;
    return v;
}

// The keys of one list: appended in recording order, then put in name order.
class NameOrder {
  public:
    // Room for one more key, so that appending it cannot fail. May throw std::bad_alloc.
    void reserve_one_more() {
        if (keys_.size() == keys_.capacity()) keys_.reserve(std::max<std::size_t>(64, 2 * keys_.capacity()));
    }
    void append(NameKey key) { keys_.push_back(key); }

    // Sorts the keys appended since the last time and merges them into the sorted front.
    // Never throws: without memory it sorts by comparing throughout and merges in place.
    template <class Less>
    void put_in_order(Less less);

    bool in_order() const { return sorted_ == keys_.size(); }
    const std::vector<NameKey>& keys() const { return keys_; }
    void clear() {
        keys_.clear();
        sorted_ = 0;
    }

  private:
    std::vector<NameKey> keys_;
    std::size_t sorted_ = 0;
};

// A view of records in name order, over an index that the model has put in order.
template <class Record>
class NameOrderedList {
  public:
    class const_iterator {
      public:
        using iterator_category = std::random_access_iterator_tag;
        using value_type = Record;
        using difference_type = std::ptrdiff_t;
        using pointer = const Record*;
        using reference = const Record&;

        const_iterator() = default;
        const_iterator(const std::deque<Record>* records, const NameKey* at) : records_(records), at_(at) {}
        reference operator*() const { return (*records_)[at_->record]; }
        // The sorting prefix of the record's name (see NameKey): where two differ, the names
        // order the same way, without a look at either record.
        std::uint64_t name_prefix() const { return at_->prefix; }
        pointer operator->() const { return &**this; }
        reference operator[](difference_type n) const { return (*records_)[at_[n].record]; }
        const_iterator& operator++() {
            ++at_;
            return *this;
        }
        const_iterator operator++(int) {
            auto old = *this;
            ++at_;
            return old;
        }
        const_iterator& operator--() {
            --at_;
            return *this;
        }
        const_iterator operator--(int) {
            auto old = *this;
            --at_;
            return old;
        }
        const_iterator& operator+=(difference_type n) {
            at_ += n;
            return *this;
        }
        const_iterator& operator-=(difference_type n) {
            at_ -= n;
            return *this;
        }
        friend const_iterator operator+(const_iterator i, difference_type n) { return i += n; }
        friend const_iterator operator+(difference_type n, const_iterator i) { return i += n; }
        friend const_iterator operator-(const_iterator i, difference_type n) { return i -= n; }
        friend difference_type operator-(const const_iterator& a, const const_iterator& b) { return a.at_ - b.at_; }
        friend bool operator==(const const_iterator& a, const const_iterator& b) { return a.at_ == b.at_; }
        friend auto operator<=>(const const_iterator& a, const const_iterator& b) { return a.at_ <=> b.at_; }

      private:
        const std::deque<Record>* records_ = nullptr;
        const NameKey* at_ = nullptr;
    };
    using iterator = const_iterator;

    NameOrderedList(const std::deque<Record>& records, const NameOrder& order) : records_(&records), order_(&order) {}
    const_iterator begin() const { return {records_, order_->keys().data()}; }
    const_iterator end() const { return {records_, order_->keys().data() + order_->keys().size()}; }
    std::size_t size() const { return order_->keys().size(); }
    bool empty() const { return order_->keys().empty(); }
    const Record& front() const { return *begin(); }

  private:
    const std::deque<Record>* records_;
    const NameOrder* order_;
};

namespace detail {

// Sorts keys by their prefixes, 8 bits a pass from the lowest (a pass whose byte is the same
// in every key changes nothing and is left out), then each run of equal prefixes by `less`.
// Names mostly differ within their first 8 bytes, so this is linear where comparing would
// not be. Without memory for the second buffer it compares throughout.
template <class Less>
void sort_keys(NameKey* first, NameKey* last, Less less) {
    const auto n = static_cast<std::size_t>(last - first);
    if (n < 512) return std::sort(first, last, less);
    std::vector<NameKey> spare;
    try {
        spare.resize(n);
    } catch (const std::bad_alloc&) {
        return std::sort(first, last, less);
    }
    NameKey* from = first;
    NameKey* to = spare.data();
    for (int shift = 0; shift < 64; shift += 8) {
        std::size_t start[257] = {};
        for (std::size_t k = 0; k < n; ++k) ++start[((from[k].prefix >> shift) & 0xFF) + 1];
        if (std::find(start + 1, start + 257, n) != start + 257) continue;
        for (int b = 0; b < 256; ++b) start[b + 1] += start[b];
        for (std::size_t k = 0; k < n; ++k) to[start[(from[k].prefix >> shift) & 0xFF]++] = from[k];
        std::swap(from, to);
    }
    if (from != first) std::copy(from, from + n, first);
    for (NameKey* run = first; run != last;) {
        NameKey* run_end = run + 1;
        while (run_end != last && run_end->prefix == run->prefix) ++run_end;
        if (run_end - run > 1) std::sort(run, run_end, less);
        run = run_end;
    }
}

}  // namespace detail

template <class Less>
void NameOrder::put_in_order(Less less) {
    if (sorted_ == keys_.size()) return;
    const auto middle = keys_.begin() + static_cast<std::ptrdiff_t>(sorted_);
    detail::sort_keys(keys_.data() + sorted_, keys_.data() + keys_.size(), less);
    std::inplace_merge(keys_.begin(), middle, keys_.end(), less);
    sorted_ = keys_.size();
}

}  // namespace quorv
