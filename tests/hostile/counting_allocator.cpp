#include "counting_allocator.h"

#include <malloc.h>

#include <cstdlib>
#include <new>

namespace {

// Counted in usable bytes, so that a release takes off exactly what its allocation added
// without a header in front of the block (which would hide underruns from AddressSanitizer).
std::size_t held_now = 0;
std::size_t held_peak = 0;
std::size_t largest_request = 0;

void* counted_new(std::size_t size) {
    void* p = std::malloc(size ? size : 1);
    if (p == nullptr) throw std::bad_alloc();
    held_now += malloc_usable_size(p);
    if (held_now > held_peak) held_peak = held_now;
    if (size > largest_request) largest_request = size;
    return p;
}

void counted_delete(void* p) noexcept {
    if (p == nullptr) return;
    held_now -= malloc_usable_size(p);
    std::free(p);
}

}  // namespace

void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    try {
        return counted_new(size);
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}
void* operator new[](std::size_t size, const std::nothrow_t& tag) noexcept {
    return operator new(size, tag);
}
void operator delete(void* p, const std::nothrow_t&) noexcept {
    counted_delete(p);
}
void operator delete[](void* p, const std::nothrow_t&) noexcept {
    counted_delete(p);
}
void* operator new(std::size_t size) {
    return counted_new(size);
}
void* operator new[](std::size_t size) {
    return counted_new(size);
}
void operator delete(void* p) noexcept {
    counted_delete(p);
}
void operator delete[](void* p) noexcept {
    counted_delete(p);
}
void operator delete(void* p, std::size_t) noexcept {
    counted_delete(p);
}
void operator delete[](void* p, std::size_t) noexcept {
    counted_delete(p);
}

namespace quorv::hostile {

MemoryWatch::MemoryWatch() : start_(held_now) {
    held_peak = held_now;
    largest_request = 0;
}

std::size_t MemoryWatch::peak() const {
    return held_peak - start_;
}
std::size_t MemoryWatch::largest() const {
    return largest_request;
}
std::size_t MemoryWatch::held() const {
    return held_now > start_ ? held_now - start_ : 0;
}

}  // namespace quorv::hostile
