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
// Whether the finding's fingerprint is in the baseline.
bool in_baseline(const std::unordered_set<std::string>& fingerprints, const findings::Finding& f);

}  // namespace quorv::cli
