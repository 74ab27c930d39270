#pragma once
// Baselines: the findings a legacy code base has accepted, by fingerprint, so that a CI job
// fails only on new ones. One line per finding, sorted: the fingerprint, the rule, the
// message; readable in a code review and the same whatever order the inputs came in.
#include <string>
#include <unordered_set>
#include <vector>

#include "findings/findings.h"

namespace quorv::cli {

// false, with a reason, when the file cannot be written.
bool write_baseline(const std::string& path, const std::vector<findings::Finding>& found, std::string& reason);
// false, with a reason, when the file cannot be opened or read: never an empty baseline.
bool read_baseline(const std::string& path, std::unordered_set<std::string>& fingerprints, std::string& reason);
// Marks the findings whose fingerprint is in the baseline; returns how many.
std::size_t apply_baseline(const std::unordered_set<std::string>& fingerprints, std::vector<findings::Finding>& found);

}  // namespace quorv::cli
