#pragma once
// The rules a CI job acts on: a stable ID, a level, and the texts a code-scanning view shows.
#include <span>
#include <string_view>

namespace quorv::findings {

enum class Level { Error, Warning, Note };

struct Rule {
    std::string_view id;
    std::string_view name;  // the rule's name in SARIF, in upper camel case
    Level level;
    std::string_view short_description;
    std::string_view full_description;
    std::string_view help;
};

std::span<const Rule> all_rules();
const Rule* find_rule(std::string_view id);
std::size_t rule_index(const Rule& rule);
std::string_view level_text(Level level);

}  // namespace quorv::findings
