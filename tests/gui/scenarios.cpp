// The Wine end-to-end run of quorv.exe: each scenario starts the program, plays a user
// through the real window and dialogs, and compares what the user sees.
//   quorv_gui_driver QUORV_EXE CORPUS_DIR WORK_DIR [SCENARIO_NUMBER...]
#include <windows.h>

#include <chrono>
#include <cstdio>
#include <fstream>
#include <regex>
#include <set>
#include <string>
#include <vector>

#include "checks.h"
#include "session.h"
#include "templates.h"
#include "ui/control_ids.h"

namespace quorv::gui {
namespace {

constexpr char kStartText[] = "Click \"Add Files...\" to begin";
constexpr char kAddedText[] = "Click the name of a file to see its full path information.  Click 'Analyze' to proceed.";
constexpr char kRemovedText[] = "File(s) successfully removed.  Click 'Analyze' for updated information.";
constexpr char kNoFilesText[] = "There are no files to analyze.\nClick the \"Add Files\" button.";
constexpr char kNoSelectionText[] = "Please make a selection from the \"Files to Analyze\" box.";
constexpr char kNoBlocksHint[] = "No COMMON blocks were found.";
constexpr long long kFillLimitMs = 1000;

MessageBoxSeen error_box(const std::string& text) {
    return {"Error", text, true};
}
MessageBoxSeen no_selection_box() {
    return {"No Selection", kNoSelectionText, false};
}

struct Context {
    Paths paths;
    Expectations expected;
    std::string corpus_obj() const { return paths.corpus + "\\obj"; }
    std::string corpus_exe() const { return paths.corpus + "\\exe"; }
    std::vector<std::string> list(const std::string& key) const { return expected.all(key); }
    std::string one(const std::string& key) const { return expected.one(key); }
};

void check_initial_state(Checks& c, Session& s) {
    c.expect_eq("status line", kStartText, s.text(IDC_STATUS));
    for (int list : {IDC_FILES, IDC_BLOCKS, IDC_DETAILS})
        c.expect_rows("list " + std::to_string(list), {}, s.rows(list));
    c.expect(!s.checked(IDC_PROBLEMS_ONLY), "the check box starts clear");
}

// Waits out an input that must change nothing: true when the window is still there.
bool stays_open(HWND window) {
    return !wait_until([&] { return !IsWindow(window) || !IsWindowVisible(window); }, Milliseconds{400});
}

void check_about_box(Checks& c, HWND about) {
    check_controls(c, "About box", about, kAboutControls);
    static const std::regex version(R"(Version \d+\.\d+)");
    static const std::regex built(R"(Built: (Jan|Feb|Mar|Apr|May|Jun|Jul|Aug|Sep|Oct|Nov|Dec) [ 0-9]\d \d{4} )"
                                  R"(\d\d:\d\d:\d\d    Edit \S+)");
    const std::string version_text = window_text(GetDlgItem(about, IDC_VERSION));
    const std::string built_text = window_text(GetDlgItem(about, IDC_BUILD_INFO));
    c.expect(std::regex_match(version_text, version), "About version text " + quoted(version_text));
    c.expect(std::regex_match(built_text, built), "About build text " + quoted(built_text));
    DWORD_PTR icon = 0;
    SendMessageTimeoutW(GetDlgItem(about, IDC_ABOUT_ICON), STM_GETICON, 0, 0, SMTO_NORMAL, 5000, &icon);
    c.expect(icon != 0, "the About box shows the program's icon");
}

// The runner watches for NAME.request, captures the display cut to the geometry the request
// names (the window's frame), writes NAME.png and removes the request.
void take_screenshot(const Context& ctx, Checks& c, const std::string& name, HWND window) {
    const std::string request = ctx.paths.work + "\\" + name + ".request";
    RECT frame{};
    GetWindowRect(window, &frame);
    std::ofstream(request) << (frame.right - frame.left) << "x" << (frame.bottom - frame.top) << "+" << frame.left
                           << "+" << frame.top << "\n";
    c.expect(
        wait_until([&] { return GetFileAttributesA(request.c_str()) == INVALID_FILE_ATTRIBUTES; }, Milliseconds{15000}),
        "the runner took the screenshot " + name);
}

// The boxes that follow an action, compared in order; the expected ones are waited for.
void expect_settled(Checks& c, Session& s, const std::string& what, const std::vector<MessageBoxSeen>& expected) {
    c.expect_boxes(what, expected, s.settle(expected.size()));
}

// --- scenarios ----------------------------------------------------------------------------

void startup_and_about(const Context& ctx, Checks& c) {
    Session s(ctx.paths);
    c.expect_eq("caption", "Velmar Fortran Quorv", window_text(s.main()));
    c.expect_eq("window class", "QuorvClass", class_name(s.main()));
    c.expect_eq("class style", CS_HREDRAW | CS_VREDRAW, GetClassLongA(s.main(), GCL_STYLE));
    c.expect_eq("class window extra", DLGWINDOWEXTRA, GetClassLongA(s.main(), GCL_CBWNDEXTRA));
    const auto style = static_cast<DWORD>(GetWindowLongA(s.main(), GWL_STYLE));
    const DWORD wanted = WS_CAPTION | WS_SYSMENU | WS_MINIMIZEBOX | WS_VISIBLE;
    c.expect((style & wanted) == wanted, "main window style has caption, system menu, minimize");
    c.expect((style & (WS_MAXIMIZEBOX | WS_THICKFRAME)) == 0, "no maximize box, no sizing border");
    check_controls(c, "main window", s.main(), kMainControls);
    const SIZE base = dialog_base_units();
    RECT client{};
    GetClientRect(s.main(), &client);
    c.expect_eq("main window client size",
                std::to_string(MulDiv(402, base.cx, 4)) + "x" + std::to_string(MulDiv(167, base.cy, 8)),
                std::to_string(client.right) + "x" + std::to_string(client.bottom));
    check_initial_state(c, s);

    s.click(IDC_ABOUT);
    const HWND about = s.wait_dialog("About Fortran Quorv");
    check_about_box(c, about);
    take_screenshot(ctx, c, "about", s.main());
    bring_to_front(about);
    press_key(VK_ESCAPE);
    c.expect(stays_open(about), "Escape leaves the About box open");
    POINT close{};
    c.expect(close_button_point(about, close), "the About box has a close button");
    click_at(close);
    c.expect(stays_open(about), "the close box leaves the About box open");
    DWORD_PTR result = 0;
    SendMessageTimeoutW(GetDlgItem(about, IDC_ABOUT_OK), BM_CLICK, 0, 0, SMTO_NORMAL, 300, &result);
    c.expect(wait_until([&] { return !IsWindow(about); }, Milliseconds{5000}), "OK closes the About box");
    expect_settled(c, s, "after the About box", {});
    c.expect_eq("status line after About", kStartText, s.text(IDC_STATUS));
}

void add_files(const Context& ctx, Checks& c) {
    Session s(ctx.paths);
    const std::string obj = ctx.corpus_obj();
    c.expect_boxes("one file", {}, s.add_files(obj, {"b_tune.obj"}));
    c.expect_rows("rows after one file", {"b_tune.obj"}, s.rows(IDC_FILES));
    c.expect_eq("status after one file", kAddedText, s.text(IDC_STATUS));

    c.expect_boxes("several files", {}, s.add_files(obj, {"d_procs.obj", "b_setup.obj", "a_main.obj"}));
    c.expect_rows("rows after several files", {"a_main.obj", "b_setup.obj", "b_tune.obj", "d_procs.obj"},
                  s.rows(IDC_FILES));

    // A second b_tune.obj from another folder: the run of equal names is numbered, in
    // the byte order of the full paths.
    const std::string corpus_copy = obj + "\\b_tune.obj";
    const std::string other_copy = ctx.paths.work + "\\dup\\b_tune.obj";
    c.expect_boxes("same name, other folder", {}, s.add_files(ctx.paths.work + "\\dup", {"b_tune.obj"}));
    c.expect_rows("rows with a numbered name",
                  {"a_main.obj", "b_setup.obj", "b_tune.obj", "b_tune.obj (2)", "d_procs.obj"}, s.rows(IDC_FILES));
    const bool corpus_first = corpus_copy < other_copy;

    c.expect_boxes("a file already listed", {error_box(obj + "\\a_main.obj is already on the list")},
                   s.add_files(obj, {"a_main.obj"}, 1));
    c.expect_rows("rows after the duplicate",
                  {"a_main.obj", "b_setup.obj", "b_tune.obj", "b_tune.obj (2)", "d_procs.obj"}, s.rows(IDC_FILES));
    c.expect_eq("status after the duplicate", kAddedText, s.text(IDC_STATUS));

    struct RowClick {
        int row;
        std::string full_path;
    };
    const std::vector<RowClick> clicks = {
        {3, corpus_first ? other_copy : corpus_copy},
        {2, corpus_first ? corpus_copy : other_copy},
        {0, obj + "\\a_main.obj"},
        {4, obj + "\\d_procs.obj"},
    };
    for (const auto& click : clicks) {
        s.click_row(IDC_FILES, click.row);
        wait_until([&] { return s.text(IDC_STATUS) == click.full_path; }, Milliseconds{10000});
        expect_settled(c, s, "click on row " + std::to_string(click.row), {});
        c.expect_eq("status after a click on row " + std::to_string(click.row), click.full_path, s.text(IDC_STATUS));
    }
}

void select_each_block(const Context& ctx, Checks& c, Session& s, const std::string& view,
                       const std::vector<std::string>& rows) {
    for (std::size_t i = 0; i < rows.size(); ++i) {
        std::string name = rows[i];
        if (!name.empty() && name.back() == '*') name.pop_back();
        const std::string before = s.text(IDC_STATUS);
        const auto& conflict = ctx.list("conflict." + view + "." + name);
        std::vector<MessageBoxSeen> boxes;
        if (!conflict.empty()) boxes.push_back(error_box(conflict.front()));
        const auto& detail = ctx.list("detail." + view + "." + name);
        const auto answered = [&] { return !owned_dialogs(s.main()).empty() || s.rows(IDC_DETAILS) == detail; };
        s.click_row(IDC_BLOCKS, static_cast<int>(i));
        // A second click on a single-selection row selects the same row: on a machine under
        // load a click now and then does not reach the list box.
        if (!wait_until(answered, Milliseconds{10000})) s.click_row(IDC_BLOCKS, static_cast<int>(i));
        wait_until(answered, Milliseconds{10000});
        expect_settled(c, s, "selecting " + name, boxes);
        c.expect_rows("Size and File of " + name, detail, s.rows(IDC_DETAILS));
        c.expect_eq("status after selecting " + name, before, s.text(IDC_STATUS));
    }
}

void analyze_results(const Context& ctx, Checks& c) {
    Session s(ctx.paths);
    s.click(IDC_ANALYZE);
    expect_settled(c, s, "Analyze with no files", {error_box(kNoFilesText)});
    check_initial_state(c, s);

    c.expect_boxes(
        "adding", {},
        s.add_files(ctx.corpus_obj(), {"b_setup.obj", "b_solve.obj", "b_tune.obj", "d_model.obj", "d_procs.obj"}));
    s.click(IDC_ANALYZE);
    expect_settled(c, s, "Analyze", {});
    const auto all = ctx.list("view.b_d.blocks_all");
    const auto problems = ctx.list("view.b_d.blocks_problems_only");
    c.expect_rows("COMMON Blocks", all, s.rows(IDC_BLOCKS));
    c.expect_rows("Size and File after Analyze", {}, s.rows(IDC_DETAILS));
    c.expect_eq("hint", ctx.one("view.b_d.hint_all"), s.text(IDC_STATUS));
    select_each_block(ctx, c, s, "b_d", all);

    s.click(IDC_PROBLEMS_ONLY);
    expect_settled(c, s, "check box set", {});
    c.expect(s.checked(IDC_PROBLEMS_ONLY), "the click sets the check box");
    c.expect_rows("problem blocks", problems, s.rows(IDC_BLOCKS));
    c.expect_rows("Size and File after the switch", {}, s.rows(IDC_DETAILS));
    c.expect_eq("problems hint", ctx.one("view.b_d.hint_problems_only"), s.text(IDC_STATUS));
    s.type_char('p');
    expect_settled(c, s, "key P, check box set", {});
    c.expect(s.checked(IDC_PROBLEMS_ONLY), "key P leaves the check box set");
    c.expect_rows("problem blocks after key P", problems, s.rows(IDC_BLOCKS));
    select_each_block(ctx, c, s, "b_d", problems);

    s.click(IDC_PROBLEMS_ONLY);
    expect_settled(c, s, "check box clear", {});
    c.expect(!s.checked(IDC_PROBLEMS_ONLY), "the second click clears the check box");
    s.type_char('P');
    expect_settled(c, s, "key P, check box clear", {});
    c.expect_rows("all blocks after key P", all, s.rows(IDC_BLOCKS));
    c.expect_eq("hint after key P", ctx.one("view.b_d.hint_all"), s.text(IDC_STATUS));

    // For the picture: a block with three differing sizes selected.
    select_each_block(ctx, c, s, "b_d", {all.at(0), all.at(1)});
    take_screenshot(ctx, c, "screenshot", s.main());
}

void damaged_inputs(const Context& ctx, Checks& c) {
    Session s(ctx.paths);
    s.add_files(ctx.corpus_exe(), {"j_heat.exe"});
    s.add_files(ctx.corpus_obj(), {"k_msvc.obj", "e_long.obj"});
    s.click(IDC_ANALYZE);
    std::vector<MessageBoxSeen> executable;
    for (std::string text : ctx.list("messages.j_heat"))
        executable.push_back(error_box(text.replace(text.find("{full_path}"), 11, ctx.corpus_exe() + "\\j_heat.exe")));
    expect_settled(c, s, "an executable on the list", executable);
    const auto blocks = ctx.list("view.k_e.blocks_all");
    c.expect_rows("blocks of the objects after it", blocks, s.rows(IDC_BLOCKS));
    c.expect_eq("hint", ctx.one("view.k_e.hint_all"), s.text(IDC_STATUS));

    // e_long.obj's longest block name is wider than the list box: the scroll bar reaches it.
    DWORD_PTR extent = 0;
    SendMessageTimeoutW(s.control(IDC_BLOCKS), LB_GETHORIZONTALEXTENT, 0, 0, SMTO_NORMAL, 5000, &extent);
    c.expect_eq("horizontal extent of COMMON Blocks", expected_extent(blocks), static_cast<long long>(extent));
    RECT client{};
    GetClientRect(s.control(IDC_BLOCKS), &client);
    c.expect(static_cast<long long>(extent) > client.right, "the longest name is wider than the list box");
    c.expect((GetWindowLongA(s.control(IDC_BLOCKS), GWL_STYLE) & WS_HSCROLL) != 0,
             "COMMON Blocks shows its horizontal scroll bar");

    // b_cut.obj orders first, so a stop there leaves the executable unread: no box for it.
    s.add_files(ctx.paths.work, {"b_cut.obj"});
    c.expect_rows("files", {"b_cut.obj", "e_long.obj", "j_heat.exe", "k_msvc.obj"}, s.rows(IDC_FILES));
    s.click(IDC_ANALYZE);
    std::vector<MessageBoxSeen> cut;
    for (const auto& text : ctx.list("messages.b_cut")) cut.push_back(error_box(text));
    expect_settled(c, s, "a truncated object", cut);
    c.expect_rows("COMMON Blocks after the stop", {}, s.rows(IDC_BLOCKS));
    c.expect_rows("Size and File after the stop", {}, s.rows(IDC_DETAILS));
    c.expect_eq("status after the stop", kAddedText, s.text(IDC_STATUS));
    s.type_char('p');
    expect_settled(c, s, "key P after the stop", {});
    c.expect_rows("blocks recorded before the stop", {}, s.rows(IDC_BLOCKS));
    c.expect_eq("hint after the stop", kNoBlocksHint, s.text(IDC_STATUS));
}

HWND focus_of(HWND window) {
    GUITHREADINFO info{};
    info.cbSize = sizeof info;
    GetGUIThreadInfo(GetWindowThreadProcessId(window, nullptr), &info);
    return info.hwndFocus;
}

void keys(const Context& ctx, Checks& c) {
    {
        Session s(ctx.paths);
        bring_to_front(s.main());
        c.expect(wait_until([&] { return focus_of(s.main()) == s.main(); }, Milliseconds{10000}),
                 "the main window itself has the keyboard focus");
        press_key('B');
        expect_settled(c, s, "key b", {});
        check_initial_state(c, s);

        press_key('U');
        const HWND about = s.wait_dialog("About Fortran Quorv");
        press_key(VK_RETURN);
        c.expect(wait_until([&] { return !IsWindow(about); }, Milliseconds{5000}), "Enter closes the About box");
        s.settle();

        struct KeyCase {
            const char* what;
            WORD key;
            bool shift;
            std::vector<MessageBoxSeen> boxes;
            std::string status;
        };
        const std::vector<KeyCase> cases = {
            {"key a", 'A', false, {error_box(kNoFilesText)}, kStartText},
            {"key A", 'A', true, {error_box(kNoFilesText)}, kStartText},
            {"key r", 'R', false, {no_selection_box()}, kStartText},
            {"key p", 'P', false, {}, kNoBlocksHint},
        };
        for (const auto& k : cases) {
            press_key(k.key, k.shift);
            if (!k.boxes.empty()) wait_until([&] { return !owned_dialogs(s.main()).empty(); }, Milliseconds{10000});
            expect_settled(c, s, k.what, k.boxes);
            c.expect_eq(std::string("status after ") + k.what, k.status, s.text(IDC_STATUS));
        }
        c.expect(!s.checked(IDC_PROBLEMS_ONLY), "key p leaves the check box clear");

        press_key('F');
        s.pick_files(ctx.corpus_obj(), {"b_setup.obj", "b_solve.obj", "b_tune.obj"});
        expect_settled(c, s, "key f", {});
        c.expect_rows("files after key f", {"b_setup.obj", "b_solve.obj", "b_tune.obj"}, s.rows(IDC_FILES));
        press_key('A');
        wait_until([&] { return !s.rows(IDC_BLOCKS).empty(); }, Milliseconds{10000});
        expect_settled(c, s, "key a with files", {});
        c.expect_rows("blocks after key a", ctx.list("view.b_sizes.blocks_all"), s.rows(IDC_BLOCKS));

        // Delete reaches Remove File through the accelerator while the list has the focus.
        s.click_row(IDC_FILES, 0);
        wait_until([&] { return focus_of(s.main()) == s.control(IDC_FILES); }, Milliseconds{10000});
        c.expect(focus_of(s.main()) == s.control(IDC_FILES), "the click gives the file list the focus");
        s.settle();
        press_key(VK_DELETE);
        wait_until([&] { return s.rows(IDC_FILES).size() == 2; }, Milliseconds{10000});
        expect_settled(c, s, "Delete", {});
        c.expect_rows("files after Delete", {"b_solve.obj", "b_tune.obj"}, s.rows(IDC_FILES));
        c.expect_eq("status after Delete", kRemovedText, s.text(IDC_STATUS));
        c.expect_rows("blocks after Delete", {}, s.rows(IDC_BLOCKS));
    }
    Session s(ctx.paths);
    bring_to_front(s.main());
    press_key('Q');
    DWORD code = 1234;
    c.expect(s.wait_exit(code), "key q ends the program");
    c.expect_eq("exit code after key q", 0, code);
}

void remove_files(const Context& ctx, Checks& c) {
    Session s(ctx.paths);
    s.add_files(ctx.corpus_obj(), {"a_main.obj", "b_setup.obj", "b_solve.obj", "b_tune.obj", "d_model.obj"});
    s.click(IDC_ANALYZE);
    s.settle();
    c.expect(!s.rows(IDC_BLOCKS).empty(), "Analyze fills the COMMON Blocks list");
    for (int row : {1, 3}) {
        s.click_row(IDC_FILES, row);
        s.settle();
    }
    s.click(IDC_REMOVE);
    expect_settled(c, s, "Remove File", {});
    c.expect_rows("files after Remove File", {"a_main.obj", "b_solve.obj", "d_model.obj"}, s.rows(IDC_FILES));
    c.expect_eq("status after Remove File", kRemovedText, s.text(IDC_STATUS));
    c.expect_rows("blocks after Remove File", {}, s.rows(IDC_BLOCKS));
    c.expect_rows("details after Remove File", {}, s.rows(IDC_DETAILS));
    s.type_char('p');
    expect_settled(c, s, "key P after Remove File", {});
    c.expect_rows("the emptied model", {}, s.rows(IDC_BLOCKS));
    c.expect_eq("hint of the emptied model", kNoBlocksHint, s.text(IDC_STATUS));

    s.click(IDC_REMOVE);
    expect_settled(c, s, "Remove File with nothing selected", {no_selection_box()});
    c.expect_rows("files after No Selection", {"a_main.obj", "b_solve.obj", "d_model.obj"}, s.rows(IDC_FILES));
    c.expect_eq("status after No Selection", kNoBlocksHint, s.text(IDC_STATUS));
}

void ways_to_quit(const Context& ctx, Checks& c) {
    struct Way {
        const char* what;
        bool (*act)(Session&);  // false: the way cannot be taken
    };
    const std::vector<Way> ways = {
        {"Quit",
         [](Session& s) {
             s.click(IDC_QUIT);
             return true;
         }},
        {"the close box",
         [](Session& s) {
             POINT point{};
             if (!close_button_point(s.main(), point)) return false;
             bring_to_front(s.main());
             click_at(point);
             return true;
         }},
        {"Alt+F4",
         [](Session& s) {
             bring_to_front(s.main());
             press_key(VK_F4, false, true);
             return true;
         }},
    };
    for (const auto& way : ways) {
        Session s(ctx.paths);
        if (!way.act(s)) {
            c.fail(std::string("cannot find ") + way.what);
            continue;
        }
        DWORD code = 1234;
        c.expect(s.wait_exit(code), std::string(way.what) + " ends the program");
        c.expect_eq(std::string("exit code after ") + way.what, 0, code);
    }
}

void fill_time(const Context& ctx, Checks& c, std::string& note) {
    Session s(ctx.paths);
    s.add_files(ctx.paths.work, {"p_many.obj"});
    const auto start = std::chrono::steady_clock::now();
    DWORD_PTR result = 0;
    const bool done =
        SendMessageTimeoutW(s.main(), WM_COMMAND, MAKEWPARAM(IDC_ANALYZE, 0), 0, SMTO_NORMAL, 60000, &result) != 0;
    const auto ms = std::chrono::duration_cast<Milliseconds>(std::chrono::steady_clock::now() - start).count();
    c.expect(done, "Analyze of 50,000 blocks came back");
    expect_settled(c, s, "Analyze of many blocks", {});
    const HWND blocks = s.control(IDC_BLOCKS);
    c.expect_eq("rows", std::stoll(ctx.one("view.many.count")), list_count(blocks));
    c.expect_eq("first row", ctx.one("view.many.first"), list_row(blocks, 0));
    c.expect_eq("last row", ctx.one("view.many.last"), list_row(blocks, list_count(blocks) - 1));
    c.expect_eq("hint", ctx.one("view.b_d.hint_all"), s.text(IDC_STATUS));
    c.expect(ms < kFillLimitMs,
             "Analyze to idle took " + std::to_string(ms) + " ms, limit " + std::to_string(kFillLimitMs) + " ms");
    note = std::to_string(ms) + " ms from Analyze to idle";
}

struct Scenario {
    const char* name;
    void (*run)(const Context&, Checks&, std::string& note);
};

template <void (*F)(const Context&, Checks&)>
void without_note(const Context& ctx, Checks& c, std::string&) {
    F(ctx, c);
}

const Scenario kScenarios[] = {
    {"start-up and About box", without_note<startup_and_about>},
    {"Add Files through the dialog", without_note<add_files>},
    {"Analyze, block selection, problems view", without_note<analyze_results>},
    {"damaged inputs", without_note<damaged_inputs>},
    {"keys", without_note<keys>},
    {"Remove File", without_note<remove_files>},
    {"Quit, close box, Alt+F4", without_note<ways_to_quit>},
    {"COMMON Blocks fill of 50,000 rows", fill_time},
};

}  // namespace
}  // namespace quorv::gui

int main(int argc, char** argv) {
    using namespace quorv::gui;
    if (argc < 4) {
        std::printf("usage: %s QUORV_EXE CORPUS_DIR WORK_DIR [SCENARIO...]\n", argv[0]);
        return 2;
    }
    Context ctx{{argv[1], argv[2], argv[3]}, {}};
    if (!ctx.expected.load(ctx.paths.work + "\\expected.tsv")) {
        std::printf("cannot read %s\\expected.tsv\n", argv[3]);
        return 2;
    }
    std::set<int> chosen;
    for (int i = 4; i < argc; ++i) chosen.insert(std::atoi(argv[i]));

    int passed = 0, failed = 0, number = 0;
    for (const auto& scenario : kScenarios) {
        ++number;
        if (!chosen.empty() && chosen.count(number) == 0) continue;
        Checks checks;
        std::string note;
        const auto start = std::chrono::steady_clock::now();
        try {
            scenario.run(ctx, checks, note);
        } catch (const SessionFailure& failure) {
            checks.fail("stopped: " + failure.what);
        } catch (const std::exception& e) {
            checks.fail(std::string("stopped: ") + e.what());
        }
        const auto seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
        const bool ok = checks.failures().empty();
        (ok ? passed : failed)++;
        std::printf("%s %d %s (%.1f s%s%s)\n", ok ? "PASS" : "FAIL", number, scenario.name, seconds,
                    note.empty() ? "" : "; ", note.c_str());
        for (const auto& line : checks.failures()) std::printf("    %s\n", line.c_str());
        std::fflush(stdout);
    }
    std::printf("%d passed, %d failed\n", passed, failed);
    std::fflush(stdout);
    return failed == 0 ? 0 : 1;
}
