#pragma once
// The reports a CI job reads: findings (one GNU-style line each), GitHub workflow
// annotations, and SARIF 2.1.0 for code scanning.
#include <cstdio>
#include <vector>

#include "findings/findings.h"

namespace quorv::cli {

// Baselined findings are left out of these two.
void findings_lines(std::FILE* out, const std::vector<findings::Finding>& found);
void github_annotations(std::FILE* out, const std::vector<findings::Finding>& found);
// Every finding; baselined ones carry an external suppression.
void sarif_report(std::FILE* out, const std::vector<findings::Finding>& found);

// The path in a SARIF artifact location: as given, percent-encoded; absolute paths as file
// URIs, relative ones relative.
std::string artifact_uri(std::string_view path);
// GitHub's escapes for an annotation's message, and for a property value.
std::string github_message(std::string_view text);
std::string github_property(std::string_view text);

}  // namespace quorv::cli
