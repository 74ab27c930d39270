#pragma once
// The reports a CI job reads: findings (one GNU-style line each), GitHub workflow
// annotations, and SARIF 2.1.0 for code scanning.
#include <cstdio>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "cli/json_writer.h"
#include "engine/entry_table.h"
#include "findings/findings.h"

namespace quorv::cli {

// Writes findings as they come, in report order, in one of the three formats: a GNU-style
// line each, GitHub workflow annotations (baselined findings left out of both), or SARIF,
// where every finding is a result and a baselined one carries an external suppression.
class FindingsWriter {
  public:
    enum class Style { Lines, Github, Sarif };
    FindingsWriter(std::FILE* out, Style style);
    ~FindingsWriter();
    FindingsWriter(const FindingsWriter&) = delete;
    FindingsWriter& operator=(const FindingsWriter&) = delete;

    void write(const findings::Finding& f);
    // After the last finding: SARIF closes its results and its log.
    void finish();

  private:
    struct Module {
        std::string uri;
        std::string name;
    };
    void put_out(bool all);
    void line(const findings::Finding& f);
    void annotation(const findings::Finding& f);
    void result(const findings::Finding& f);
    std::string_view locate(JsonWriter& json, const FileEntry& entry);
    bool related_in_one_piece(JsonWriter& json, const FileEntry& entry, std::uint64_t id);

    std::FILE* out_;
    Style style_;
    static constexpr std::size_t kPiece = 64 * 1024;
    std::string text_, path_;
    std::vector<std::string> rule_members_;  // by rule index
    std::unique_ptr<JsonWriter> json_;
    EntryTable<Module> modules_;
};

// The path in a SARIF artifact location: as given, percent-encoded; absolute paths as file
// URIs, relative ones relative.
std::string artifact_uri(std::string_view path);
// Whether artifact_uri gives the path back as it is (a relative one) or after "file://".
bool uri_is_path(std::string_view path);
// GitHub's escapes for an annotation's message, and for a property value.
std::string github_message(std::string_view text);
std::string github_property(std::string_view text);

}  // namespace quorv::cli
