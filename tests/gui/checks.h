#pragma once
// What a scenario compares, and what it compares against: failure lines in the form
// "what: expected ..., got ...", and the expectations file that make_inputs.py writes.
#include <map>
#include <string>
#include <vector>

#include "session.h"

namespace quorv::gui {

class Checks {
  public:
    void expect(bool ok, const std::string& what);
    void expect_eq(const std::string& what, const std::string& expected, const std::string& got);
    void expect_eq(const std::string& what, long long expected, long long got);
    void expect_rows(const std::string& what, const std::vector<std::string>& expected,
                     const std::vector<std::string>& got);
    void expect_boxes(const std::string& what, const std::vector<MessageBoxSeen>& expected,
                      const std::vector<MessageBoxSeen>& got);
    void fail(const std::string& line) { failures_.push_back(line); }
    const std::vector<std::string>& failures() const { return failures_; }

  private:
    std::vector<std::string> failures_;
};

// The texts a box or a row shows, with line feeds and quotes made visible.
std::string quoted(const std::string& text);

class Expectations {
  public:
    bool load(const std::string& path);
    // Every value of a key, in file order; empty when the key is absent.
    const std::vector<std::string>& all(const std::string& key) const;
    std::string one(const std::string& key) const;

  private:
    std::map<std::string, std::vector<std::string>> values_;
};

}  // namespace quorv::gui
