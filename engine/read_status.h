#pragma once
// The one result of a reading step: it went through, or the module (or the run) cannot go
// on. The operations callers see keep the system's own integers (0 success, 1 failure).
#include <cstdint>

namespace quorv {

enum class [[nodiscard]] ReadStatus : std::uint8_t{Ok, Failed};

constexpr int as_result(ReadStatus status) {
    return status == ReadStatus::Ok ? 0 : 1;
}
constexpr ReadStatus status_of(bool ok) {
    return ok ? ReadStatus::Ok : ReadStatus::Failed;
}

}  // namespace quorv
