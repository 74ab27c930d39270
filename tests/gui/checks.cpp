#include "checks.h"

#include <algorithm>
#include <fstream>

namespace quorv::gui {
namespace {
std::string unescape(const std::string& value) {
    std::string out;
    for (std::size_t i = 0; i < value.size(); ++i) {
        if (value[i] == '\\' && i + 1 < value.size()) {
            ++i;
            out += value[i] == 'n' ? '\n' : value[i];
        } else {
            out += value[i];
        }
    }
    return out;
}

std::string box_text(const MessageBoxSeen& box) {
    return "[" + box.caption + (box.has_icon ? ", icon] " : ", no icon] ") + quoted(box.text);
}
}  // namespace

std::string quoted(const std::string& text) {
    std::string out = "\"";
    for (char c : text) {
        if (c == '\n')
            out += "\\n";
        else if (c == '"')
            out += "\\\"";
        else
            out += c;
    }
    return out + "\"";
}

void Checks::expect(bool ok, const std::string& what) {
    if (!ok) failures_.push_back(what);
}

void Checks::expect_eq(const std::string& what, const std::string& expected, const std::string& got) {
    if (expected != got) failures_.push_back(what + ": expected " + quoted(expected) + ", got " + quoted(got));
}

void Checks::expect_eq(const std::string& what, long long expected, long long got) {
    if (expected != got)
        failures_.push_back(what + ": expected " + std::to_string(expected) + ", got " + std::to_string(got));
}

void Checks::expect_rows(const std::string& what, const std::vector<std::string>& expected,
                         const std::vector<std::string>& got) {
    if (expected == got) return;
    std::string line =
        what + ": expected " + std::to_string(expected.size()) + " rows, got " + std::to_string(got.size());
    for (std::size_t i = 0; i < std::max(expected.size(), got.size()); ++i) {
        const std::string e = i < expected.size() ? quoted(expected[i]) : "(none)";
        const std::string g = i < got.size() ? quoted(got[i]) : "(none)";
        if (e != g) line += "\n      row " + std::to_string(i) + ": expected " + e + ", got " + g;
    }
    failures_.push_back(line);
}

void Checks::expect_boxes(const std::string& what, const std::vector<MessageBoxSeen>& expected,
                          const std::vector<MessageBoxSeen>& got) {
    std::vector<std::string> e, g;
    for (const auto& box : expected) e.push_back(box_text(box));
    for (const auto& box : got) g.push_back(box_text(box));
    if (e == g) return;
    std::string line =
        what + ": expected " + std::to_string(e.size()) + " message boxes, got " + std::to_string(g.size());
    for (std::size_t i = 0; i < std::max(e.size(), g.size()); ++i) {
        line += "\n      box " + std::to_string(i) + ": expected " + (i < e.size() ? e[i] : "(none)") + ", got " +
                (i < g.size() ? g[i] : "(none)");
    }
    failures_.push_back(line);
}

bool Expectations::load(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in) return false;
    std::string line;
    while (std::getline(in, line)) {
        const auto tab = line.find('\t');
        if (tab == std::string::npos) continue;
        values_[line.substr(0, tab)].push_back(unescape(line.substr(tab + 1)));
    }
    return true;
}

const std::vector<std::string>& Expectations::all(const std::string& key) const {
    static const std::vector<std::string> none;
    const auto it = values_.find(key);
    return it == values_.end() ? none : it->second;
}

std::string Expectations::one(const std::string& key) const {
    const auto& values = all(key);
    return values.empty() ? std::string{} : values.front();
}

}  // namespace quorv::gui
