#include "cli/baseline.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

namespace quorv::cli {
namespace {

constexpr char kHeader[] = "# quorv-check baseline: one accepted finding a line (fingerprint, rule, message).\n";

std::string line_of(const findings::Finding& f) {
    std::string message = f.message;
    std::replace(message.begin(), message.end(), '\n', ' ');
    return std::string(f.fingerprint.text()) + " " + std::string(f.rule->id) + " " + message;
}

}  // namespace

bool write_baseline(const std::string& path, const std::vector<findings::Finding>& found, std::string& reason) {
    std::vector<std::string> lines;
    for (const findings::Finding& f : found) lines.push_back(line_of(f));
    std::sort(lines.begin(), lines.end());
    lines.erase(std::unique(lines.begin(), lines.end()), lines.end());
    std::FILE* out = std::fopen(path.c_str(), "wb");
    if (out == nullptr) {
        reason = "cannot write the baseline " + path + ": " + std::strerror(errno);
        return false;
    }
    bool ok = std::fputs(kHeader, out) >= 0;
    for (const std::string& line : lines) ok = ok && std::fprintf(out, "%s\n", line.c_str()) >= 0;
    ok = std::fclose(out) == 0 && ok;
    if (!ok) reason = "cannot write the baseline " + path;
    return ok;
}

bool read_baseline(const std::string& path, std::unordered_set<std::string>& fingerprints, std::string& reason) {
    std::FILE* in = std::fopen(path.c_str(), "rb");
    if (in == nullptr) {
        reason = "cannot read the baseline " + path + ": " + std::strerror(errno);
        return false;
    }
    std::string line;
    int c;
    const auto take_line = [&] {
        const std::size_t end = line.find_first_of(" \t\r");
        if (!line.empty() && line[0] != '#') fingerprints.insert(line.substr(0, end));
        line.clear();
    };
    while ((c = std::fgetc(in)) != EOF) {
        if (c == '\n')
            take_line();
        else
            line += static_cast<char>(c);
    }
    take_line();
    const bool failed = std::ferror(in) != 0;
    std::fclose(in);
    if (failed) {
        reason = "cannot read the baseline " + path;
        return false;
    }
    return true;
}

bool in_baseline(const std::unordered_set<std::string>& fingerprints, const findings::Finding& f) {
    return fingerprints.count(std::string(f.fingerprint.text())) != 0;
}

}  // namespace quorv::cli
