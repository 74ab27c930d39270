#include "cli/findings_report.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cstring>
#include <vector>

#include "cli/json_writer.h"
#include "quorv_version.h"

namespace quorv::cli {
namespace {

using findings::Finding;

void write_text(std::FILE* out, std::string_view text) {
    if (!text.empty()) std::fwrite(text.data(), 1, text.size(), out);
}

// The file a finding points at: an input itself, or the library a member stands in.
std::string artifact_path(const FileEntry& entry) {
    return entry.library == nullptr ? entry.full_path : entry.library->full_path;
}

void location(JsonWriter& json, std::string_view uri, std::uint64_t line) {
    json.fixed_key("physicalLocation").begin_object();
    json.fixed_key("artifactLocation").begin_object().fixed_key("uri").value(uri).end_object();
    json.fixed_key("region").begin_object().fixed_key("startLine").value(line).end_object();
    json.end_object();
}

void rules(JsonWriter& json) {
    json.fixed_key("rules").begin_array();
    for (const findings::Rule& r : findings::all_rules()) {
        json.newline().begin_object().fixed_key("id").value(r.id).fixed_key("name").value(r.name);
        json.fixed_key("shortDescription").begin_object().fixed_key("text").value(r.short_description).end_object();
        json.fixed_key("fullDescription").begin_object().fixed_key("text").value(r.full_description).end_object();
        json.fixed_key("defaultConfiguration")
            .begin_object()
            .fixed_key("level")
            .value(findings::level_text(r.level))
            .end_object();
        json.fixed_key("help").begin_object().fixed_key("text").value(r.help).end_object();
        json.end_object();
    }
    json.end_array();
}

}  // namespace

// An absolute path without "." and ".." segments: a file URI must not hold them, since
// symbolic links may give them another meaning where the report is read.
std::string lexically_plain(std::string_view path) {
    std::vector<std::string_view> parts;
    for (std::size_t at = 0; at <= path.size();) {
        const std::size_t slash = std::min(path.find('/', at), path.size());
        const std::string_view part = path.substr(at, slash - at);
        if (part == "..") {
            if (!parts.empty()) parts.pop_back();
        } else if (!part.empty() && part != ".") {
            parts.push_back(part);
        }
        at = slash + 1;
    }
    std::string out;
    for (const std::string_view part : parts) out.append("/").append(part);
    return out.empty() ? "/" : out;
}

namespace {

// By table: every related location of a large report asks it of each byte of its path.
constexpr auto kUnreserved = [] {
    std::array<bool, 256> table{};
    for (int b = 0; b < 256; ++b)
        table[static_cast<std::size_t>(b)] = (b >= 'a' && b <= 'z') || (b >= 'A' && b <= 'Z') ||
                                             (b >= '0' && b <= '9') || b == '-' || b == '.' || b == '_' || b == '~' ||
                                             b == '/';
    return table;
}();

bool unreserved(char c) {
    return kUnreserved[static_cast<unsigned char>(c)];
}

}  // namespace

bool uri_is_path(std::string_view path) {
    if (!std::all_of(path.begin(), path.end(), unreserved)) return false;
    if (path.empty() || path[0] != '/') return true;
    if (path.size() == 1 || path.back() == '/') return false;
    for (std::size_t at = 1; at <= path.size();) {
        const std::size_t slash = std::min(path.find('/', at), path.size());
        const std::string_view part = path.substr(at, slash - at);
        if (part.empty() || part == "." || part == "..") return false;
        at = slash + 1;
    }
    return true;
}

std::string artifact_uri(std::string_view path) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    const bool absolute = !path.empty() && path[0] == '/';
    const std::string plain = absolute ? lexically_plain(path) : std::string(path);
    std::string out = absolute ? "file://" : "";
    for (const char c : plain) {
        const auto b = static_cast<unsigned char>(c);
        if (unreserved(c)) {
            out += c;
        } else {
            out += '%';
            out += kHex[b >> 4];
            out += kHex[b & 15];
        }
    }
    return out;
}

namespace {

// GitHub's escapes appended to out; a property's also take ':' and ','.
void append_github(std::string& out, std::string_view text, bool property) {
    for (std::size_t at = 0; at < text.size();) {
        std::size_t plain = at;
        while (plain < text.size() && text[plain] != '%' && text[plain] != '\r' && text[plain] != '\n' &&
               (!property || (text[plain] != ':' && text[plain] != ',')))
            ++plain;
        out.append(text.substr(at, plain - at));
        if (plain == text.size()) break;
        // Each as '%' and its byte in two upper-case hex digits.
        static constexpr char kHex[] = "0123456789ABCDEF";
        const auto b = static_cast<unsigned char>(text[plain]);
        out += '%';
        out += kHex[b >> 4];
        out += kHex[b & 15];
        at = plain + 1;
    }
}

}  // namespace

std::string github_message(std::string_view text) {
    std::string out;
    append_github(out, text, false);
    return out;
}

std::string github_property(std::string_view text) {
    std::string out;
    append_github(out, text, true);
    return out;
}

FindingsWriter::FindingsWriter(std::FILE* out, Style style) : out_(out), style_(style) {
    if (style_ != Style::Sarif) return;
    json_ = std::make_unique<JsonWriter>(out);
    JsonWriter& json = *json_;
    json.begin_object().fixed_key("$schema").value("https://json.schemastore.org/sarif-2.1.0.json");
    json.fixed_key("version").value("2.1.0").fixed_key("runs").begin_array().begin_object();
    json.fixed_key("tool").begin_object().fixed_key("driver").begin_object();
    json.fixed_key("name").value("quorv-check").fixed_key("version").value(QUORV_VERSION_TEXT);
    json.fixed_key("semanticVersion").value(QUORV_VERSION_TEXT);
    rules(json);
    json.end_object().end_object();
    json.newline().fixed_key("results").begin_array();
}

FindingsWriter::~FindingsWriter() = default;

void FindingsWriter::write(const Finding& f) {
    switch (style_) {
        case Style::Lines:
            line(f);
            break;
        case Style::Github:
            annotation(f);
            break;
        case Style::Sarif:
            result(f);
            break;
    }
}

// Lines gather in text_ and go out a large piece at a time.
void FindingsWriter::put_out(bool all) {
    if (!all && text_.size() < kPiece) return;
    write_text(out_, text_);
    text_.clear();
}

void FindingsWriter::finish() {
    if (style_ != Style::Sarif) {
        put_out(true);
        return;
    }
    json_->end_array().end_object().end_array().end_object().newline();
    json_->flush();
}

void FindingsWriter::line(const Finding& f) {
    if (f.baselined) return;
    std::string& text = text_;
    findings::append_finding_path(text, f);
    if (!f.source_file.empty()) text.append(":").append(std::to_string(f.source_line));
    text.append(": ").append(findings::level_text(f.rule->level)).append(": ").append(f.message);
    text.append(" [").append(f.rule->id).append("]\n");
    put_out(false);
}

void FindingsWriter::annotation(const Finding& f) {
    if (f.baselined) return;
    const findings::Level level = f.rule->level;
    std::string& line = text_;
    line.append(level == findings::Level::Error     ? "::error "
                : level == findings::Level::Warning ? "::warning "
                                                    : "::notice ");
    if (f.primary != nullptr || !f.source_file.empty()) {
        line.append("file=");
        path_.clear();
        findings::append_finding_path(path_, f);
        append_github(line, path_, true);
        line.append(",line=").append(std::to_string(findings::finding_line(f))).append(",");
    }
    line.append("title=");
    append_github(line, f.rule->id, true);
    line.append("::");
    append_github(line, f.message, false);
    line.append("\n");
    put_out(false);
}

namespace {

// Text copied to w, which moves past it; a literal's length is known where it is copied.
template <std::size_t N>
char* put_literal(char* w, const char (&text)[N]) {
    std::memcpy(w, text, N - 1);
    return w + (N - 1);
}
char* put_text(char* w, std::string_view text) {
    if (!text.empty()) std::memcpy(w, text.data(), text.size());
    return w + text.size();
}

// What goes before a path to make its URI: absolute paths are file URIs.
std::string_view scheme(std::string_view path) {
    return path.starts_with('/') ? "file://" : "";
}

}  // namespace

// A module's location; its name is given back. Most inputs' URIs are their paths, written
// as they are; the others, and members, are made once for all their findings.
std::string_view FindingsWriter::locate(JsonWriter& json, const FileEntry& entry) {
    if (entry.library == nullptr && uri_is_path(entry.full_path)) {
        // Such a URI holds no byte that JSON escapes: the location goes in as one piece.
        json.members({R"("physicalLocation":{"artifactLocation":{"uri":")", scheme(entry.full_path), entry.full_path,
                      R"("},"region":{"startLine":1}})"});
        return entry.display_name;
    }
    const Module& made = modules_.of(entry, [](const FileEntry& e) {
        return Module{artifact_uri(artifact_path(e)), module_name(e)};
    });
    location(json, made.uri, 1);
    return made.name;
}

// A related location, most often an input whose path and name need no escaping, written as
// one piece: a large report has hundreds of thousands. false: it needs the writer's care.
bool FindingsWriter::related_in_one_piece(JsonWriter& json, const FileEntry& entry, std::uint64_t id) {
    if (entry.library != nullptr || !uri_is_path(entry.full_path) || !JsonWriter::needs_no_escape(entry.display_name))
        return false;
    static constexpr char kId[] = R"({"id":)";
    static constexpr char kUri[] = R"(,"physicalLocation":{"artifactLocation":{"uri":")";
    static constexpr char kText[] = R"("},"region":{"startLine":1}},"message":{"text":")";
    static constexpr char kEnd[] = R"("}})";
    const std::string_view path = entry.full_path;
    const std::string_view name = entry.display_name;
    const std::string_view before_path = scheme(path);
    char* w = json.value_room(sizeof kId + 20 + sizeof kUri + before_path.size() + path.size() + sizeof kText +
                              name.size() + sizeof kEnd);
    w = put_literal(w, kId);
    w = std::to_chars(w, w + 20, id).ptr;
    w = put_literal(w, kUri);
    w = put_text(w, before_path);
    w = put_text(w, path);
    w = put_literal(w, kText);
    w = put_text(w, name);
    w = put_literal(w, kEnd);
    json.made_value(w);
    return true;
}

void FindingsWriter::result(const Finding& f) {
    JsonWriter& json = *json_;
    // A rule's members, the same in each of its results, are made once.
    const std::size_t index = findings::rule_index(*f.rule);
    if (rule_members_.size() <= index) rule_members_.resize(index + 1);
    std::string& rule = rule_members_[index];
    if (rule.empty()) {
        JsonWriter made;
        made.begin_object().fixed_key("ruleId").value(f.rule->id);
        made.fixed_key("ruleIndex").value(std::uint64_t{index});
        made.fixed_key("level").value(findings::level_text(f.rule->level)).end_object();
        rule = made.members_text();
    }
    json.newline().begin_object().members(rule);
    json.fixed_key("message").begin_object().fixed_key("text").value(f.message).end_object();
    // The block's declaration in the source when the debug information gives it, with the
    // object as a related location; else the object.
    const bool in_source = !f.source_file.empty();
    json.fixed_key("locations").begin_array();
    if (in_source) {
        json.begin_object();
        location(json, artifact_uri(findings::source_path(f.source_file)), std::max<std::uint64_t>(1, f.source_line));
        json.end_object();
    } else if (f.primary != nullptr) {
        json.begin_object();
        locate(json, *f.primary);
        json.end_object();
    }
    json.end_array();
    json.fixed_key("relatedLocations").begin_array();
    std::uint64_t id = 0;
    for (const FileEntry* m : f.modules) {
        if (m == f.primary && !in_source) continue;
        if (related_in_one_piece(json, *m, id)) {
            ++id;
            continue;
        }
        json.begin_object().fixed_key("id").value(id++);
        const std::string_view name = locate(json, *m);
        json.fixed_key("message").begin_object().fixed_key("text").value(name).end_object();
        json.end_object();
    }
    json.end_array();
    // A fingerprint is hex digits: nothing in it to escape.
    json.members({R"("partialFingerprints":{"quorvFinding/v1":")", f.fingerprint, R"("})"});
    if (f.baselined) {
        json.fixed_key("suppressions")
            .begin_array()
            .begin_object()
            .fixed_key("kind")
            .value("external")
            .end_object()
            .end_array();
    }
    json.end_object();
}

}  // namespace quorv::cli
