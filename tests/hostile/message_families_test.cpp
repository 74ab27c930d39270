// The matcher the fuzz targets and these tests hold every report against: it reads the
// catalogue's placeholders strictly.
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
        {"QUORV Internal: fread returned %llu bytes (%llu expected). [%s]",
         "QUORV Internal: fread returned 0 bytes (4294967291 expected). [analyze]", true},
        {"QUORV Internal: fread returned %llu bytes (%llu expected). [%s]",
         "QUORV Internal: fread returned -1 bytes (4 expected). [analyze]", false},
        {"QUORV Internal: fread returned %llu bytes (%llu expected). [%s]",
         "QUORV Internal: fread returned 0 bytes (4 expected). [a] b]", true},
        {"QUORV Internal: fread returned %llu bytes (%llu expected). [%s]",
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

}  // namespace
}  // namespace quorv::hostile
