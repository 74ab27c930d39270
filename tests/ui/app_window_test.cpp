// The dispatcher: the key map, the command table, the About texts and the routing of every
// diagnostic to a warning box.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "engine/messages.h"
#include "session.h"
#include "ui/result_views.h"

namespace quorv::test {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

TEST(KeyMap, LettersInEitherCaseAndNothingElse) {
    struct Case {
        unsigned character;
        int command;
    } cases[] = {
        {'a', IDC_ANALYZE},
        {'A', IDC_ANALYZE},
        {'f', IDC_ADD_FILES},
        {'F', IDC_ADD_FILES},
        {'p', IDC_PROBLEMS_ONLY},
        {'P', IDC_PROBLEMS_ONLY},
        {'q', IDC_QUIT},
        {'Q', IDC_QUIT},
        {'r', IDC_REMOVE},
        {'R', IDC_REMOVE},
        {'u', IDC_ABOUT},
        {'U', IDC_ABOUT},
        {'b', 0},
        {'B', 0},
        {'z', 0},
        {'1', 0},
        {' ', 0},
        {'\r', 0},
        {0x7F, 0},
        {0xE1, 0},
        {'a' + 0x100, 0},
        {'A' - 1, 0},
        {'Z' + 1, 0},
        {'`', 0},
        {'{', 0},
    };
    for (const Case& c : cases) EXPECT_EQ(ui::command_for_char(c.character), c.command) << c.character;
}

TEST(CommandTable, WhatEachCommandDoesInAFreshWindow) {
    struct Case {
        const char* story;
        int command;
        int notification;
        std::intptr_t result;  // -1: passed to DefWindowProcA
        std::vector<std::string> calls;
    };
    const std::vector<Case> cases = {
        {"a focus change in the Files list", IDC_FILES, 4, 0, {}},
        {"a double click in the Files list", IDC_FILES, 2, 0, {}},
        {"a focus change in the blocks list", IDC_BLOCKS, 5, 0, {}},
        {"command 1002", 1002, 0, -1, {}},
        {"a selection in the Size and File list", IDC_DETAILS, ui::kLbnSelChange, -1, {}},
        {"the status line", IDC_STATUS, 0, -1, {}},
        {"an unknown command", 4711, 0, -1, {}},
        {"command 0", 0, 0, -1, {}},
        {"Quit", IDC_QUIT, 0, 0, {"close"}},
        {"About", IDC_ABOUT, 0, 0, {"about"}},
        {"About from the accelerator's code", IDC_ABOUT, 1, 0, {"about"}},
        {"the Files selection with an empty list", IDC_FILES, ui::kLbnSelChange, 0, {"current 1000"}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.story);
        Session s;
        EXPECT_EQ(s.command(c.command, c.notification), c.result);
        EXPECT_EQ(s.port.calls, c.calls);
        EXPECT_THAT(s.port.boxes, IsEmpty());
        EXPECT_EQ(s.port.status, "Click \"Add Files...\" to begin");
    }
}

TEST(CommandTable, KeysRunTheirCommands) {
    Session s;
    s.type('b');
    EXPECT_THAT(s.port.calls, IsEmpty());
    s.type('u');
    s.type('Q');
    EXPECT_THAT(s.port.calls, ElementsAre("about", "close"));

    // 'a' and 'A' run Analyze: with no files, its message.
    s.type('a');
    s.type('A');
    EXPECT_THAT(s.messages(), ElementsAre(std::string(msg::kNoFiles), std::string(msg::kNoFiles)));

    // 'f' opens the dialog; 'r' and the Delete key's accelerator (code 1) run Remove File.
    s.port.picks.push_back(multiple_pick("D:\\w", {"a.obj", "b.obj"}));
    s.type('f');
    ASSERT_THAT(s.port.list(IDC_FILES), ElementsAre("a.obj", "b.obj"));
    s.port.selected[IDC_FILES] = {0};
    s.type('r');
    EXPECT_THAT(s.port.list(IDC_FILES), ElementsAre("b.obj"));
    s.port.selected[IDC_FILES] = {0};
    EXPECT_EQ(s.command(IDC_REMOVE, 1), 0);
    EXPECT_THAT(s.port.list(IDC_FILES), IsEmpty());
    EXPECT_EQ(s.port.status, ui::kRemovedStatusText);
}

TEST(About, TextsFromTheBuildConstants) {
    // gtest's POSIX matcher: std::regex draws a false warning from GCC 12 in sanitizer builds.
    EXPECT_THAT(ui::about_version_text(), ::testing::MatchesRegex("Version [0-9]+\\.[0-9]+"));
    // Build date as "Mmm dd yyyy", time as hh:mm:ss, four blanks before "Edit".
    EXPECT_THAT(ui::about_build_info_text(),
                ::testing::MatchesRegex("Built: (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) "
                                        "[ 0-3][0-9] [0-9]{4} [0-2][0-9]:[0-5][0-9]:[0-6][0-9]    "
                                        "Edit [^ ]+"));
}

TEST(Diagnostics, GoToAWarningBoxCaptionedError) {
    Session s;
    s.command(IDC_ANALYZE);
    EXPECT_THAT(s.port.boxes, ElementsAre(MessageBox{msg::kNoFiles, "Error", 0x30}));
}

}  // namespace
}  // namespace quorv::test
