#include "cli/options.h"

#include <optional>

namespace quorv::cli {
namespace {

// The value of --name=value or of --name value; none when arg is not that option.
std::optional<std::string_view> option_value(std::string_view name, int argc, char** argv, int& k, bool& missing) {
    const std::string_view arg = argv[k];
    if (!arg.starts_with(name)) return std::nullopt;
    const std::string_view rest = arg.substr(name.size());
    if (rest.starts_with("=")) return rest.substr(1);
    if (!rest.empty()) return std::nullopt;
    if (k + 1 >= argc) {
        missing = true;
        return std::string_view();
    }
    return std::string_view(argv[++k]);
}

bool parse_format(std::string_view text, Format& format) {
    static constexpr std::pair<std::string_view, Format> kFormats[] = {{"text", Format::Text},
                                                                       {"json", Format::Json},
                                                                       {"findings", Format::Findings},
                                                                       {"sarif", Format::Sarif},
                                                                       {"github", Format::Github}};
    for (const auto& [name, value] : kFormats)
        if (text == name) {
            format = value;
            return true;
        }
    return false;
}

bool parse_ignored(std::string_view list, std::vector<const findings::Rule*>& ignored, std::string& reason) {
    while (true) {
        const std::size_t comma = list.find(',');
        const std::string_view id = list.substr(0, comma);
        const findings::Rule* rule = findings::find_rule(id);
        if (rule == nullptr) {
            reason = "unknown rule '" + std::string(id) + "' in --ignore";
            return false;
        }
        ignored.push_back(rule);
        if (comma == std::string_view::npos) return true;
        list.remove_prefix(comma + 1);
    }
}

}  // namespace

bool parse_options(int argc, char** argv, Options& options, std::string& reason) {
    bool options_ended = false;
    for (int k = 1; k < argc; ++k) {
        const std::string_view arg = argv[k];
        bool missing = false;
        if (options_ended || arg.size() < 2 || arg[0] != '-') {
            options.files.push_back(arg);
        } else if (arg == "--") {
            options_ended = true;
        } else if (arg == "--problems-only") {
            options.problems_only = true;
        } else if (arg == "--details") {
            options.details = true;
        } else if (arg == "--json") {
            options.format = Format::Json;
        } else if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--version") {
            options.version = true;
        } else if (const auto format = option_value("--format", argc, argv, k, missing)) {
            if (missing || !parse_format(*format, options.format)) {
                reason = "--format takes text, json, findings, sarif or github";
                return false;
            }
        } else if (const auto file = option_value("--write-baseline", argc, argv, k, missing)) {
            if (missing || file->empty()) return reason = "--write-baseline needs a file", false;
            options.write_baseline = *file;
        } else if (const auto file = option_value("--baseline", argc, argv, k, missing)) {
            if (missing || file->empty()) return reason = "--baseline needs a file", false;
            options.baseline = *file;
        } else if (const auto list = option_value("--ignore", argc, argv, k, missing)) {
            if (missing) return reason = "--ignore needs rule IDs", false;
            if (!parse_ignored(*list, options.ignored, reason)) return false;
        } else {
            return false;
        }
    }
    return true;
}

}  // namespace quorv::cli
