#pragma once
// Findings: what a CI job acts on. The model's blocks checked by Fortran's own rules (sizes
// of named blocks, initializers, names shared with procedures), and every message of the
// run, each with a rule, a level, the modules involved and a fingerprint that stays the same
// across machines, checkouts and input orders.
#include <cstdint>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

#include "engine/diagnostics.h"
#include "engine/file_entry.h"
#include "engine/model.h"
#include "findings/fingerprint.h"
#include "findings/rules.h"

namespace quorv::findings {

struct Finding {
    const Rule* rule = nullptr;
    // The block's symbol, in the model (valid until its next reset_model); empty for a
    // message's finding.
    std::string_view block;
    const FileEntry* primary = nullptr;     // where the finding points; none when the run read nothing
    std::vector<const FileEntry*> modules;  // every module involved, by module_path, once each
    std::string message;
    Fingerprint fingerprint;
    bool baselined = false;
    // Where the block is declared in the primary module's source, from its debug
    // information; empty when there is none.
    std::string source_file;
    std::uint64_t source_line = 0;
};

// What a run said, in order, with the input each message was met in.
struct RunMessages {
    std::vector<std::string> texts;
    std::vector<const FileEntry*> inputs;
};

// Every finding of the run, in report order: block name, then rule, then module; the
// findings of rules in `ignored` left out. Given to visit one at a time, each block's as soon
// as they are made, so that a run never holds them all; visit may move the finding away.
void for_each_finding(const AnalysisModel& model, const RunMessages& messages, bool completed,
                      const std::vector<const Rule*>& ignored, const std::function<void(Finding&)>& visit);
// The same, gathered.
std::vector<Finding> find_all(const AnalysisModel& model, const RunMessages& messages, bool completed,
                              const std::vector<const Rule*>& ignored = {});

// A counted finding makes the run fail: not a note, and not in the baseline.
inline bool counts(const Finding& f) {
    return f.rule->level != Level::Note && !f.baselined;
}

// The block as Fortran names it where its symbol shows the usual decoration: /SYSTEM/ for
// _system_ or system_, "blank COMMON" for blank COMMON; other symbols as /symbol/.
std::string fortran_block_name(std::string_view symbol);
bool is_blank_common(std::string_view symbol);

// Where a finding points, as the findings and github formats write it: the source file of
// the block's declaration when the debug information gives it, else an input's full_path or a
// library member's "lib.a(member.o)"; the program's name when there is none.
std::string finding_path(const Finding& f);
// The same, appended to out.
void append_finding_path(std::string& out, const Finding& f);
// The line that goes with finding_path: the declaration's, or 1.
std::uint64_t finding_line(const Finding& f);

// A source path as findings give it: relative to the current directory when it lies below it.
std::string source_path(std::string_view path);

}  // namespace quorv::findings
