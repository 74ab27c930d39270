// quorv-check: the analysis of the window's Analyze command, for build pipelines and Linux.
// Inputs go on the file list by the window's rules, the run is the same, and the report is
// the rows and hints the window would show (text) or the whole model (JSON).
#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "cli/json_report.h"
#include "engine/diagnostics.h"
#include "engine/model.h"
#include "engine/model_walks.h"
#include "engine/run.h"
#include "quorv_version.h"
#include "ui/texts/file_list.h"
#include "ui/texts/result_texts.h"

namespace {

using namespace quorv;

constexpr int kExitClean = 0;
constexpr int kExitProblems = 1;
constexpr int kExitStopped = 2;
constexpr int kExitUsage = 64;

constexpr std::string_view kUsage =
    "usage: quorv-check [--problems-only] [--details] [--json] FILE...\n"
    "Try 'quorv-check --help' for more.\n";

constexpr std::string_view kHelp =
    "quorv-check - check Fortran COMMON blocks in COFF objects and libraries\n"
    "\n"
    "usage: quorv-check [--problems-only] [--details] [--json] FILE...\n"
    "\n"
    "Reads every object module in the given .obj files and .lib archives and lists\n"
    "each COMMON block. A block marked \"*\" has a problem: its declarations disagree\n"
    "in size, or its name is also the name of a procedure (SUBROUTINE or FUNCTION).\n"
    "\n"
    "  --problems-only  list only the blocks with a problem\n"
    "  --details        after the list, each block's declarations: size, whether\n"
    "                   that file initializes it (DATA / BLOCK DATA), and the file\n"
    "  --json           the whole model as one JSON object on stdout\n"
    "  --version        the version of quorv-check\n"
    "  --help           this text\n"
    "\n"
    "Example:\n"
    "  quorv-check --problems-only --details build/*.obj lib/solver.lib\n"
    "\n"
    "Damaged or unsuitable inputs are reported on stderr. Exit status: 0 no problem,\n"
    "1 at least one problem block, 2 the analysis stopped on an input, 64 usage error.\n";

struct Options {
    bool problems_only = false;
    bool details = false;
    bool json = false;
    bool help = false;
    bool version = false;
    std::vector<std::string_view> files;
};

// false on a usage error.
bool parse(int argc, char** argv, Options& options) {
    bool options_ended = false;
    for (int k = 1; k < argc; ++k) {
        const std::string_view arg = argv[k];
        if (options_ended || arg.size() < 2 || arg[0] != '-') {
            options.files.push_back(arg);
        } else if (arg == "--") {
            options_ended = true;
        } else if (arg == "--problems-only") {
            options.problems_only = true;
        } else if (arg == "--details") {
            options.details = true;
        } else if (arg == "--json") {
            options.json = true;
        } else if (arg == "--help" || arg == "-h") {
            options.help = true;
        } else if (arg == "--version") {
            options.version = true;
        } else {
            return false;
        }
    }
    return true;
}

void write_all(std::FILE* stream, std::string_view text) {
    if (!text.empty()) std::fwrite(text.data(), 1, text.size(), stream);
}

// Text mode: every message on stderr, ended by a line feed unless it already has one.
class StderrSink : public DiagnosticSink {
public:
    void show(const Diagnostic& diagnostic) override {
        write_all(stderr, diagnostic.text);
        if (diagnostic.text.empty() || diagnostic.text.back() != '\n') std::fputc('\n', stderr);
    }
};

void append_line(std::string& out, std::string_view line) {
    out.append(line);
    out += '\n';
}

std::string text_report(const AnalysisModel& model, const Options& options) {
    // The rows of the window's list, written straight into the text: no string per row.
    std::string out;
    bool rows_added = false;
    ui::for_each_block_row(model, options.problems_only, [&](std::string_view name, bool starred) {
        out.append(name);
        if (starred) out += '*';
        out += '\n';
        rows_added = true;
    });
    out += '\n';
    append_line(out, ui::block_list_hint(rows_added, options.problems_only));
    if (!options.details) return out;
    for_each_block_with_conflict(model, [&](const CommonBlock& block, const ProcedureEntry* p) {
        if (options.problems_only && !is_problem(block, p)) return;
        out += '\n';
        for (const std::string& row : ui::details_rows(block)) append_line(out, row);
        if (p != nullptr) append_line(out, ui::conflict_text(block, *p));
    });
    return out;
}

bool any_problem(const AnalysisModel& model) {
    bool found = false;
    for_each_block_with_problem(model, [&](const CommonBlock&, bool problem) { found = found || problem; });
    return found;
}

// What a run builds: the file list and the model that points into it.
struct RunState {
    ui::FileList files;
    AnalysisModel model;
};

// The process ends right after the report, and releasing a model of a million records one
// by one would only cost time. Under the address sanitizer everything is released, so its
// leak check still sees the whole engine.
#if defined(__SANITIZE_ADDRESS__)
constexpr bool kReleaseAtExit = true;
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
constexpr bool kReleaseAtExit = true;
#else
constexpr bool kReleaseAtExit = false;
#endif
#else
constexpr bool kReleaseAtExit = false;
#endif

int run(const Options& options, RunState& state) {
    CollectingSink collected;
    StderrSink to_stderr;
    DiagnosticSink& sink = options.json ? static_cast<DiagnosticSink&>(collected) : to_stderr;

    // The whole list first, so every "already on the list" comes before the run's messages.
    ui::FileList& files = state.files;
    const Diagnostics file_list_diagnostics(sink);
    for (const std::string_view arg : options.files) {
        if (files.add_entry(ui::display_name_from_argument(arg), arg) == ui::kFileAlreadyListed)
            file_list_diagnostics.report(ui::already_on_list_text(arg));
    }
    AnalysisModel& model = state.model;
    model.reset_model();
    const bool completed = run_analysis(files.entries(), model, sink) == RunOutcome::Completed;

    if (options.json) {
        cli::json_report(stdout, model, files, collected.messages, completed);
    } else if (completed) {
        write_all(stdout, text_report(model, options));
    }
    if (!completed) return kExitStopped;
    return any_problem(model) ? kExitProblems : kExitClean;
}

}  // namespace

int main(int argc, char** argv) {
    // Full buffering: a damaged library may draw millions of messages.
    static char err_buffer[1 << 16];
    std::setvbuf(stderr, err_buffer, _IOFBF, sizeof err_buffer);
    Options options;
    const bool usable = parse(argc, argv, options);
    if (usable && options.help) {
        write_all(stdout, kHelp);
        return kExitClean;
    }
    if (usable && options.version) {
        write_all(stdout, "quorv-check " QUORV_VERSION_TEXT "\n");
        return kExitClean;
    }
    if (!usable || options.files.empty()) {
        write_all(stderr, kUsage);
        return kExitUsage;
    }
    auto state = std::make_unique<RunState>();
    const int status = run(options, *state);
    std::fflush(stdout);
    std::fflush(stderr);
    if (!kReleaseAtExit) static_cast<void>(state.release());
    return status;
}
