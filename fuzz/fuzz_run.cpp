// A whole run the way quorv-check makes one: two or three inputs cut from one fuzz input
// are written to files, put on the file list by the command line's rules, analyzed by
// run_analysis, held against the oracle's reading of the same bytes, and reported as the
// rows, hints, details and JSON that quorv-check prints.
//
// Input layout: one control byte, then the inputs' bytes separated by kCut.
//   bit 0     three inputs instead of two
//   bits 1-2  the second input's path: its own name, the first's name in a subfolder, the
//             first's path again (already on the list), or the first's name in capitals
//   bits 3-4  the third input: its own file, a folder, or a path that does not exist
//   bit 5     the problems view instead of the full view
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <nlohmann/json.hpp>
#include <string>
#include <string_view>
#include <vector>

#include "cli/findings_report.h"
#include "cli/json_report.h"
#include "engine/model.h"
#include "engine/model_walks.h"
#include "engine/run.h"
#include "fuzz/checking_sink.h"
#include "fuzz/model_checks.h"
#include "fuzz/oracle_check.h"
#include "ui/texts/file_list.h"
#include "ui/texts/result_texts.h"

namespace {

using namespace quorv;
namespace fs = std::filesystem;

constexpr std::string_view kCut = "\n#quorv-cut#\n";

// One folder for the whole process, removed at exit; never destroyed before that.
const std::string& work_dir() {
    static const std::string* const dir = [] {
        std::string pattern = (fs::temp_directory_path() / "quorv-fuzz-run-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) std::abort();
        fs::create_directories(fs::path(pattern) / "sub");
        fs::create_directories(fs::path(pattern) / "SUB");
        std::atexit([] {
            std::error_code ec;
            fs::remove_all(work_dir(), ec);
        });
        return new std::string(pattern);
    }();
    return *dir;
}

std::vector<std::string_view> cut(std::string_view rest, std::size_t wanted) {
    std::vector<std::string_view> pieces;
    while (pieces.size() + 1 < wanted) {
        const std::size_t at = rest.find(kCut);
        if (at == std::string_view::npos) break;
        pieces.push_back(rest.substr(0, at));
        rest.remove_prefix(at + kCut.size());
    }
    pieces.push_back(rest);
    pieces.resize(wanted);  // inputs the fuzz input does not reach are empty files
    return pieces;
}

std::map<std::string, std::string>* written = nullptr;

void write_file(const std::string& path, std::string_view bytes) {
    (*written)[path] = std::string(bytes);
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (f == nullptr) std::abort();
    if (!bytes.empty() && std::fwrite(bytes.data(), 1, bytes.size(), f) != bytes.size()) std::abort();
    std::fclose(f);
}

// The arguments of the run, and the files behind them written; contents maps each written
// path to its bytes.
std::vector<std::string> make_inputs(std::uint8_t control, std::string_view rest,
                                     std::map<std::string, std::string>& contents) {
    const std::string& dir = work_dir();
    written = &contents;
    const bool three = control & 1;
    const auto pieces = cut(rest, three ? 3 : 2);
    std::vector<std::string> args;
    args.push_back(dir + "/first.obj");
    write_file(args[0], pieces[0]);
    static const char* const kSecond[] = {"/second.lib", "/sub/first.obj", "/first.obj", "/SUB/FIRST.OBJ"};
    args.push_back(dir + kSecond[(control >> 1) & 3]);
    if (args[1] != args[0]) write_file(args[1], pieces[1]);
    if (three) {
        switch ((control >> 3) & 3) {
            case 1:
                args.push_back(dir + "/sub");
                break;
            case 2:
                args.push_back(dir + "/missing.obj");
                break;
            default:
                args.push_back(dir + "/third.a");
                write_file(args[2], pieces[2]);
                break;
        }
    }
    return args;
}

// The findings, gathered and handed on one block at a time, through each of the three
// writers: in report order, each with a rule and a fingerprint, the same however made.
void check_findings(const AnalysisModel& model, bool completed) {
    const std::vector<findings::Finding> found = findings::find_all(model, findings::RunMessages{}, completed);
    for (std::size_t k = 0; k < found.size(); ++k) {
        fuzz::require(found[k].rule != nullptr && found[k].fingerprint.text().size() == 32, "a finding without rule");
        fuzz::require(k == 0 || compare_names(found[k - 1].block, found[k].block) <= 0, "findings out of block order");
    }
    for (const auto style :
         {cli::FindingsWriter::Style::Lines, cli::FindingsWriter::Style::Github, cli::FindingsWriter::Style::Sarif}) {
        char* text = nullptr;
        std::size_t length = 0;
        std::FILE* out = open_memstream(&text, &length);
        if (out == nullptr) std::abort();
        std::size_t seen = 0;
        {
            cli::FindingsWriter writer(out, style);
            findings::for_each_finding(model, findings::RunMessages{}, completed, {}, [&](findings::Finding& f) {
                fuzz::require(
                    seen < found.size() && f.fingerprint == found[seen].fingerprint && f.message == found[seen].message,
                    "findings handed on differ from the gathered ones");
                ++seen;
                writer.write(f);
            });
            writer.finish();
        }
        std::fclose(out);
        std::free(text);
        fuzz::require(seen == found.size(), "findings handed on differ from the gathered ones");
    }
}

// What quorv-check --json writes: the real report, into memory.
std::string json_report(const AnalysisModel& model, const ui::FileList& files, bool completed) {
    char* text = nullptr;
    std::size_t length = 0;
    std::FILE* out = open_memstream(&text, &length);
    if (out == nullptr) std::abort();
    cli::json_report(out, model, files, {}, completed);
    std::fclose(out);
    std::string report(text, length);
    std::free(text);
    return report;
}

std::string from_latin1(const std::string& utf8) {
    std::string bytes;
    for (std::size_t k = 0; k < utf8.size(); ++k) {
        const auto c = static_cast<unsigned char>(utf8[k]);
        if (c < 0x80) {
            bytes += static_cast<char>(c);
        } else {
            fuzz::require((c & 0xE0) == 0xC0 && k + 1 < utf8.size(), "JSON text not Latin-1 code points");
            bytes += static_cast<char>(((c & 0x03) << 6) | (static_cast<unsigned char>(utf8[++k]) & 0x3F));
        }
    }
    return bytes;
}

// The JSON parses, and every name in it comes back byte for byte.
void check_json(const std::string& text, const AnalysisModel& model) {
    const auto doc = nlohmann::json::parse(text, nullptr, false);
    fuzz::require(!doc.is_discarded(), "quorv-check JSON does not parse");
    std::size_t k = 0;
    for (const CommonBlock& block : model.block_list())
        fuzz::require(from_latin1(doc["blocks"][k++]["name"].get<std::string>()) == block.name,
                      "block name changed on its way through JSON");
    k = 0;
    for (const ProcedureEntry& p : model.procedure_list())
        fuzz::require(from_latin1(doc["procedures"][k++]["name"].get<std::string>()) == p.name,
                      "procedure name changed on its way through JSON");
}

void check_text_report(const AnalysisModel& model, bool problems_only) {
    const ui::BlockRows view = ui::block_list_rows(model, problems_only);
    std::size_t listed = 0;
    for_each_block_with_problem(model, [&](const CommonBlock& block, bool problem) {
        if (problems_only && !problem) return;
        fuzz::require(listed < view.rows.size(), "fewer rows than listed blocks");
        const std::string expected =
            (problem && !problems_only) ? std::string(block.name) + "*" : std::string(block.name);
        fuzz::require(view.rows[listed++] == expected, "block row is not the block's name");
        const auto rows = ui::details_rows(block);
        fuzz::require(rows.size() == block.declarations.size() + 1, "one details row per declaration");
        const std::string conflict = ui::conflict_text(model, block);
        fuzz::require(conflict.empty() == (model.find_conflicting_procedure(block) == nullptr),
                      "conflict text without a conflicting procedure");
    });
    fuzz::require(listed == view.rows.size(), "more rows than listed blocks");
    fuzz::require(view.hint == ui::block_list_hint(listed != 0, problems_only), "wrong hint");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) return 0;
    const std::uint8_t control = data[0];
    const std::string_view rest(reinterpret_cast<const char*>(data + 1), size - 1);
    std::map<std::string, std::string> contents;
    const std::vector<std::string> args = make_inputs(control, rest, contents);

    ui::FileList files;
    std::vector<std::string> listing;
    for (const std::string& arg : args) {
        if (files.add_entry(ui::display_name_from_argument(arg), arg) == ui::kFileAlreadyListed)
            listing.push_back(ui::already_on_list_text(arg));
    }
    std::vector<fuzz::oracle::RunInput> inputs;
    for (const FileEntry* e : files.entries()) {
        const auto found = contents.find(e->full_path);
        inputs.push_back({e->full_path, e->display_name, found == contents.end() ? nullptr : &found->second});
    }
    // A thin archive's members are the files the run wrote, found by the path tried.
    const fuzz::oracle::MemberFiles written_files = [&](const std::string& path) -> const std::string* {
        const auto found = contents.find(path);
        return found == contents.end() ? nullptr : &found->second;
    };
    const fuzz::oracle::Expected expected = fuzz::oracle::expect_run(listing, inputs, written_files);

    fuzz::OracleSink sink(expected);
    const Diagnostics file_list_diagnostics(sink);
    for (const std::string& m : listing) file_list_diagnostics.report(m);
    AnalysisModel model;
    model.reset_model();
    const bool completed = run_analysis(files.entries(), model, sink) == RunOutcome::Completed;
    fuzz::require(completed || sink.count > listing.size(), "run stopped without a message");
    fuzz::check_model(model, data, size);
    const std::string difference = fuzz::compare_outcome(model, completed ? 0 : 1, sink, expected);
    if (!difference.empty()) fuzz::CheckingSink::fail("engine and oracle differ", difference);
    if (completed) check_text_report(model, (control & 0x20) != 0);
    check_json(json_report(model, files, completed), model);
    check_findings(model, completed);
    return 0;
}
