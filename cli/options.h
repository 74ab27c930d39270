#pragma once
// quorv-check's command line: the options, each as --opt=value or --opt value, and the files.
#include <string>
#include <string_view>
#include <vector>

#include "findings/rules.h"

namespace quorv::cli {

enum class Format { Text, Json, Findings, Sarif, Github };

struct Options {
    bool problems_only = false;
    bool details = false;
    Format format = Format::Text;
    bool help = false;
    bool version = false;
    std::string write_baseline;  // empty: none
    std::string baseline;        // empty: none
    std::vector<const findings::Rule*> ignored;
    std::vector<std::string_view> files;
};

// false on a usage error, with its reason (empty for a plain one: an unknown option).
bool parse_options(int argc, char** argv, Options& options, std::string& reason);

}  // namespace quorv::cli
