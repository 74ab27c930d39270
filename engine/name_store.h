#pragma once
// The bytes of the names the model keeps. Names are copied into large chunks; a module
// whose string table would be copied more than once over, piece by piece (records naming
// overlapping tails of one long name), has its table copied once whole instead, and its
// names then point into that copy. So names never take more than about twice the input.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string_view>
#include <vector>

namespace quorv {

class NameStore {
  public:
    // The module string table that the names kept next may point into; empty for none.
    void set_source(const std::uint8_t* first, std::size_t size);
    // A stable copy of name (or a view of one). May throw std::bad_alloc, keeping nothing.
    std::string_view keep(std::string_view name);
    void clear();

  private:
    char* allocate(std::size_t size);

    std::vector<std::unique_ptr<char[]>> chunks_;
    char* free_ = nullptr;
    std::size_t left_ = 0;
    const char* source_ = nullptr;
    std::size_t source_size_ = 0;
    std::size_t copied_from_source_ = 0;
    const char* source_copy_ = nullptr;
};

}  // namespace quorv
