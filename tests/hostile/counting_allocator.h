#pragma once
// The test binary's global operator new counts what is held and the largest single request,
// so that a test can bound what reading one input costs.
#include <cstddef>

namespace quorv::hostile {

// Watches the allocations made while it lives (watches do not nest).
class MemoryWatch {
  public:
    MemoryWatch();
    // The most held at once above what was held when the watch started.
    std::size_t peak() const;
    // The largest single allocation requested.
    std::size_t largest() const;
    // Bytes still held above the start (0 when everything made was released).
    std::size_t held() const;

  private:
    std::size_t start_;
};

}  // namespace quorv::hostile
