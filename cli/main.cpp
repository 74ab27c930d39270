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
#include <unordered_set>
#include <vector>

#include "cli/baseline.h"
#include "cli/findings_report.h"
#include "cli/json_report.h"
#include "cli/options.h"
#include "engine/diagnostics.h"
#include "engine/model.h"
#include "engine/model_walks.h"
#include "engine/run.h"
#include "findings/findings.h"
#include "quorv_version.h"
#include "ui/texts/file_list.h"
#include "ui/texts/result_texts.h"

namespace {

using namespace quorv;
using cli::Format;
using cli::Options;

constexpr int kExitClean = 0;
constexpr int kExitProblems = 1;
constexpr int kExitStopped = 2;
constexpr int kExitUsage = 64;

constexpr std::string_view kUsage =
    "usage: quorv-check [--problems-only] [--details] [--format=FORMAT] [--json]\n"
    "                   [--baseline=FILE] [--write-baseline=FILE] [--ignore=RULE-ID,...] FILE...\n"
    "Try 'quorv-check --help' for more.\n";

constexpr std::string_view kHelp =
    "quorv-check - check Fortran COMMON blocks in object files and libraries\n"
    "\n"
    "usage: quorv-check [OPTION]... FILE...\n"
    "\n"
    "Reads every object module in the given files: COFF objects (.obj, big objects too),\n"
    "ELF objects (.o), and libraries of every layout (.lib, .a; GNU, BSD and thin archives,\n"
    "import libraries). Lists each COMMON block; a block marked \"*\" has a problem: its\n"
    "declarations disagree in size, or its name is also a procedure's.\n"
    "\n"
    "  --problems-only        list only the blocks with a problem (text format)\n"
    "  --details              after the list, each block's declarations: size, whether that\n"
    "                         file initializes it (DATA / BLOCK DATA), and the file\n"
    "  --format=FORMAT        text (the default): the list as the window shows it\n"
    "                         json: the whole model, the messages and the findings\n"
    "                         findings: one line per finding, PATH: LEVEL: MESSAGE [RULE-ID]\n"
    "                         sarif: SARIF 2.1.0, for code scanning\n"
    "                         github: GitHub workflow annotations\n"
    "  --json                 the same as --format=json\n"
    "  --baseline=FILE        findings whose fingerprint FILE holds are accepted: not\n"
    "                         counted, left out of findings and github, suppressed in sarif\n"
    "  --write-baseline=FILE  write the run's findings to FILE as a baseline\n"
    "  --ignore=RULE-ID,...   leave out the findings of these rules\n"
    "  --version              the version of quorv-check\n"
    "  --help                 this text\n"
    "Options take their value after \"=\" or as the next argument.\n"
    "\n"
    "Rules (findings, sarif, github, json):\n"
    "  common-size-mismatch                  warning  a named block declared with different sizes\n"
    "  common-named-like-procedure           warning  a block with the name of a procedure\n"
    "  initializer-smaller-than-declaration  error    BLOCK DATA or DATA smaller than a declaration\n"
    "  common-initialized-twice              warning  a block initialized in two modules\n"
    "  common-layout-mismatch                warning  different members over the same bytes (-g)\n"
    "  common-prefix-view                    note     shorter views with compatible members (-g)\n"
    "  input-note                            note     a header value older readers warn about\n"
    "  input-diagnostic                      warning  a damaged or unreadable input\n"
    "  analysis-stopped                      error    the run stopped on an input\n"
    "  debug-info-unreadable                 note     debug information that cannot be read\n"
    "\n"
    "Examples:\n"
    "  quorv-check --problems-only --details build/*.obj lib/solver.lib\n"
    "  quorv-check --format=sarif build/*.o lib/*.a > quorv.sarif\n"
    "  quorv-check --format=findings --write-baseline=quorv.baseline build/*.o\n"
    "  quorv-check --format=github --baseline=quorv.baseline build/*.o\n"
    "\n"
    "Damaged or unsuitable inputs are reported on stderr in the text format. Exit status:\n"
    "0 no problem (text, json) or no counted finding (findings, sarif, github; notes and\n"
    "baselined findings never count), 1 at least one, 2 the analysis stopped on an input,\n"
    "64 usage error (an unknown option or rule, a baseline that cannot be read).\n";

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
        const bool problem = is_problem(block, p);
        if (options.problems_only && !problem) return;
        // Each table opens with the block's row as the list reads, so that tables can be told apart.
        out += '\n';
        out.append(block.name);
        if (problem && !options.problems_only) out += '*';
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

cli::FindingsWriter::Style findings_style(Format format) {
    switch (format) {
        case Format::Sarif:
            return cli::FindingsWriter::Style::Sarif;
        case Format::Github:
            return cli::FindingsWriter::Style::Github;
        default:
            return cli::FindingsWriter::Style::Lines;
    }
}

// The findings of the run with the baseline applied, written in the format asked for: as
// they are made, or, for JSON and a baseline to write, once all are made. What was counted
// and baselined is in the out-parameters; false with a reason (and nothing written) on a
// baseline that cannot be read or written.
bool report_findings(const Options& options, const RunState& state, const CollectingSink& messages, bool completed,
                     bool& counted, std::size_t& baselined, std::string& reason) {
    std::unordered_set<std::string> accepted;
    if (!options.baseline.empty() && !cli::read_baseline(options.baseline, accepted, reason)) return false;
    const findings::RunMessages run_messages{messages.messages, messages.inputs};
    const auto judge = [&](findings::Finding& f) {
        f.baselined = !options.baseline.empty() && cli::in_baseline(accepted, f);
        baselined += f.baselined ? 1 : 0;
        counted = counted || findings::counts(f);
    };
    if (options.format != Format::Json && options.write_baseline.empty()) {
        cli::FindingsWriter writer(stdout, findings_style(options.format));
        findings::for_each_finding(state.model, run_messages, completed, options.ignored, [&](findings::Finding& f) {
            judge(f);
            writer.write(f);
        });
        writer.finish();
        return true;
    }
    std::vector<findings::Finding> found;
    findings::for_each_finding(state.model, run_messages, completed, options.ignored, [&](findings::Finding& f) {
        judge(f);
        found.push_back(std::move(f));
    });
    if (!options.write_baseline.empty() && !cli::write_baseline(options.write_baseline, found, reason)) return false;
    if (options.format == Format::Json) {
        cli::json_report(stdout, state.model, state.files, messages.messages, completed, found);
        return true;
    }
    cli::FindingsWriter writer(stdout, findings_style(options.format));
    for (const findings::Finding& f : found) writer.write(f);
    writer.finish();
    return true;
}

int run(const Options& options, RunState& state) {
    CollectingSink collected;
    StderrSink to_stderr;
    const bool text = options.format == Format::Text;
    DiagnosticSink& sink = text ? static_cast<DiagnosticSink&>(to_stderr) : collected;

    // The whole list first, so every "already on the list" comes before the run's messages;
    // each is met in the entry already on the list.
    ui::FileList& files = state.files;
    Diagnostics file_list_diagnostics(sink);
    for (const std::string_view arg : options.files) {
        const std::string display_name = ui::display_name_from_argument(arg);
        if (files.add_entry(display_name, arg) != ui::kFileAlreadyListed) continue;
        const Diagnostics::InputScope scope(file_list_diagnostics, files.find(display_name, arg));
        file_list_diagnostics.report(ui::already_on_list_text(arg));
    }
    AnalysisModel& model = state.model;
    model.reset_model();
    // Only the findings and the JSON report read the blocks' initializers and layouts.
    model.keep_definitions(!text);
    model.keep_layouts(!text);
    const bool completed = run_analysis(files.entries(), model, sink) == RunOutcome::Completed;
    if (text) {
        if (completed) write_all(stdout, text_report(model, options));
        if (!completed) return kExitStopped;
        return any_problem(model) ? kExitProblems : kExitClean;
    }

    bool counted = false;
    std::size_t baselined = 0;
    std::string reason;
    if (!report_findings(options, state, collected, completed, counted, baselined, reason)) {
        write_all(stderr, "quorv-check: " + reason + "\n");
        return kExitUsage;
    }
    if (baselined != 0 && (options.format == Format::Findings || options.format == Format::Github))
        write_all(stderr, "quorv-check: " + std::to_string(baselined) + " finding" +
                              (baselined == 1 ? " is" : "s are") + " in the baseline and left out\n");
    // JSON keeps today's exit status; the findings formats count findings.
    if (!completed) return kExitStopped;
    if (options.format == Format::Json) return any_problem(model) ? kExitProblems : kExitClean;
    return counted ? kExitProblems : kExitClean;
}

}  // namespace

int main(int argc, char** argv) {
    // Full buffering: a damaged library may draw millions of messages.
    static char err_buffer[1 << 16];
    std::setvbuf(stderr, err_buffer, _IOFBF, sizeof err_buffer);
    Options options;
    std::string reason;
    const bool usable = cli::parse_options(argc, argv, options, reason);
    if (usable && options.help) {
        write_all(stdout, kHelp);
        return kExitClean;
    }
    if (usable && options.version) {
        write_all(stdout, "quorv-check " QUORV_VERSION_TEXT "\n");
        return kExitClean;
    }
    if (!usable || options.files.empty()) {
        if (!reason.empty()) write_all(stderr, "quorv-check: " + reason + "\n");
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
