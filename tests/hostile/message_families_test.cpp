// The list of the system's own message texts that the fuzz targets and these tests hold
// every report against: the matcher reads placeholders strictly, and the list is the one
// the engine's sources hold, no more and no less.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>
#include <set>

#include "hostile_inputs.h"

namespace quorv::hostile {
namespace {

TEST(MessageFamilies, PlaceholdersMatchWhatTheEngineFormats) {
    struct Case {
        std::string_view pattern;
        std::string text;
        bool matches;
    };
    const std::vector<Case> cases = {
        {"QUORV Internal: fread returned %u bytes (%u expected). [%s]",
         "QUORV Internal: fread returned 0 bytes (4294967291 expected). [analyze]", true},
        {"QUORV Internal: fread returned %u bytes (%u expected). [%s]",
         "QUORV Internal: fread returned -1 bytes (4 expected). [analyze]", false},
        {"QUORV Internal: fread returned %u bytes (%u expected). [%s]",
         "QUORV Internal: fread returned 0 bytes (4 expected). [a] b]", true},
        {"QUORV Internal: fread returned %u bytes (%u expected). [%s]",
         "QUORV Internal: fread returned 0 bytes (4 expected). [analyze", false},
        {"QUORV Internal: name offset %8x is outside string table",
         "QUORV Internal: name offset        4 is outside string table", true},
        {"QUORV Internal: name offset %8x is outside string table",
         "QUORV Internal: name offset ffffffff is outside string table", true},
        {"QUORV Internal: name offset %8x is outside string table",
         "QUORV Internal: name offset 4 is outside string table", false},
        {"QUORV Internal: name offset %8x is outside string table",
         "QUORV Internal: name offset       FF is outside string table", false},
        {"Object Format Error: Raw data overlap between sections %x and %x\n",
         "Object Format Error: Raw data overlap between sections a and b\n", true},
        {"Object Format Error: Raw data overlap between sections %x and %x\n",
         "Object Format Error: Raw data overlap between sections 0a and b\n", false},
        {"Object Format Error: Raw data overlap between sections %x and %x\n",
         "Object Format Error: Raw data overlap between sections a and b", false},
        {"QUORV Internal: bad optional header size of %d (expecting %d or %d)\n",
         "QUORV Internal: bad optional header size of 96 (expecting 28 or 224)\n", true},
        {"Could not process optional header (file %s)", "Could not process optional header (file )", true},
        {"%s is already on the list", "d/./f is already on the list", true},
        {"Error reading file signature\n", "Error reading file signature", false},
    };
    for (const Case& c : cases) EXPECT_EQ(fuzz::matches_pattern(c.pattern, c.text), c.matches) << c.text;
    EXPECT_TRUE(fuzz::is_known_message("Error: Section number is out of range\n"));
    EXPECT_FALSE(fuzz::is_known_message("Error: Section number is out of range"));
    EXPECT_FALSE(fuzz::is_known_message(""));
}

// The string literals of one C++ source, unescaped; comments and character literals skipped.
std::vector<std::string> string_literals(const std::string& text) {
    std::vector<std::string> out;
    for (std::size_t k = 0; k < text.size(); ++k) {
        if (text.compare(k, 2, "//") == 0) {
            k = text.find('\n', k);
            if (k == std::string::npos) break;
        } else if (text.compare(k, 2, "/*") == 0) {
            k = text.find("*/", k);
            if (k == std::string::npos) break;
            ++k;
        } else if (text[k] == '\'' || text[k] == '"') {
            const char quote = text[k];
            std::string s;
            for (++k; k < text.size() && text[k] != quote; ++k) {
                if (text[k] == '\\' && k + 1 < text.size()) {
                    ++k;
                    s += text[k] == 'n' ? '\n' : text[k];
                } else {
                    s += text[k];
                }
            }
            if (quote == '"') out.push_back(std::move(s));
        }
    }
    return out;
}

// Every literal of the sources that opens a message of one of the system's families.
std::set<std::string> message_literals_in(const std::vector<fs::path>& sources) {
    static const std::vector<std::string_view> kOpenings = {
        "QUORV Internal:", "Error", "\nError", "Object Format Error:", "The file ", "Cannot open file: ",
        "Could not ", "Bad string table size", "Malloc of buffer", "Read of string table failed",
        "%s is already on the list"};
    std::set<std::string> out;
    for (const fs::path& p : sources) {
        std::ifstream in(p);
        for (std::string& s : string_literals(std::string(std::istreambuf_iterator<char>(in), {}))) {
            for (std::string_view o : kOpenings)
                if (std::string_view(s).starts_with(o)) {
                    out.insert(s);
                    break;
                }
        }
    }
    return out;
}

TEST(MessageFamilies, TheListIsTheEnginesOwn) {
    std::vector<fs::path> sources;
    for (const auto& e : fs::directory_iterator(QUORV_ENGINE_DIR))
        if (e.path().extension() == ".cpp") sources.push_back(e.path());
    sources.push_back(fs::path(QUORV_ENGINE_DIR).parent_path() / "ui" / "file_list_view.cpp");
    const std::set<std::string> literals = message_literals_in(sources);
    ASSERT_GT(literals.size(), 30u);
    // Each literal opens one of the patterns (a message built in pieces shows its first piece).
    for (const std::string& l : literals) {
        bool found = false;
        for (std::string_view p : fuzz::kMessagePatterns) found = found || p.starts_with(l);
        EXPECT_TRUE(found) << "the engine reports a text the list lacks: \"" << l << "\"";
    }
    // Each pattern's text up to its first placeholder stands in the sources.
    for (std::string_view p : fuzz::kMessagePatterns) {
        const std::string_view head = p.substr(0, p.find('%'));
        bool found = head.empty();
        for (const std::string& l : literals) found = found || l.starts_with(head) || head.starts_with(l);
        EXPECT_TRUE(found) << "the list holds a text the engine no longer reports: \"" << p << "\"";
    }
}

}  // namespace
}  // namespace quorv::hostile
