#pragma once
// An allocator for buffers whose every byte is written before it is read: growing a vector
// of it leaves the new elements as they come instead of writing zeros first.
#include <memory>
#include <new>

namespace quorv {

template <class T>
struct UninitializedAllocator : std::allocator<T> {
    template <class U>
    struct rebind {
        using other = UninitializedAllocator<U>;
    };
    UninitializedAllocator() = default;
    template <class U>
    UninitializedAllocator(const UninitializedAllocator<U>&) noexcept {}
    template <class U>
    void construct(U* p) noexcept {
        ::new (static_cast<void*>(p)) U;
    }
};

}  // namespace quorv
