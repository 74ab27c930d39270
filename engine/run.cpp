#include "engine/run.h"

#include <cstring>
#include <new>
#include <string>

#include "engine/archive_layout.h"
#include "engine/archive_walk.h"
#include "engine/checked_read.h"
#include "engine/input_file.h"
#include "engine/messages.h"
#include "engine/probe.h"
#include "engine/text.h"

namespace quorv {
namespace {

void report_not_object(const Diagnostics& diagnostics, const FileEntry& entry) {
    diagnostics.report(compose(msg::kNotObject, entry.full_path.c_str()));
}

// A file that is neither an executable nor an archive: one module at offset 0, of the kind
// its first bytes say.
int read_whole_file_module(InputStream& stream, const FileEntry& entry, RunContext& run) {
    const std::uint64_t end = stream.length().value_or(0);
    std::uint8_t first[kProbeBytes] = {};
    const std::size_t got = stream.peek_at(0, first, sizeof first);
    const ModuleKind kind = probe_module(std::span<const std::uint8_t>(first, got));
    return run.read_module(stream, entry, 0, end, kind);
}

// The signatures, in the order that decides which message a short or odd file draws.
int classify_and_read(InputStream& stream, const FileEntry& entry, RunContext& run) {
    const Diagnostics& diagnostics = run.diagnostics();
    std::uint8_t signature[archive::kSignatureSize] = {};
    if (checked_read(diagnostics, stream, 2, signature, entry.display_name) == 0) {
        diagnostics.report(msg::kSignatureRead);
        return 0;
    }
    if (std::memcmp(signature, "MZ", 2) == 0 || std::memcmp(signature, "NE", 2) == 0 ||
        std::memcmp(signature, "LE", 2) == 0) {
        report_not_object(diagnostics, entry);
        return 0;
    }
    if (!seek_to(stream, 0)) {
        diagnostics.report(msg::kSeekStart);
        return 1;
    }
    if (checked_read(diagnostics, stream, 4, signature, "analyze") == 0) {
        diagnostics.report(msg::kSignatureRead);
        return 1;
    }
    if (std::memcmp(signature, "PE\0\0", 4) == 0) {
        report_not_object(diagnostics, entry);
        return 1;
    }
    if (!seek_to(stream, 0)) {
        diagnostics.report(msg::kSeekStartOfHeader);
        return 1;
    }
    if (checked_read(diagnostics, stream, archive::kSignatureSize, signature, "analyze") == 0) {
        diagnostics.report(msg::kSignatureRead);
        return 1;
    }
    if (std::memcmp(signature, archive::kSignature, archive::kSignatureSize) == 0) {
        if (is_member_by_member(stream)) return walk_members(stream, entry, false, run);
        return walk_archive(stream, entry, run);
    }
    if (std::memcmp(signature, archive::kThinSignature, archive::kSignatureSize) == 0)
        return walk_members(stream, entry, true, run);
    if (!seek_to(stream, 0)) {
        diagnostics.report(msg::kSeekStartOfHeader);
        return 1;
    }
    return read_whole_file_module(stream, entry, run);
}

}  // namespace

int analyze_input(InputStream& stream, const FileEntry& entry, RunContext& run) {
    const Diagnostics::InputScope scope(run.diagnostics(), &entry);
    try {
        return classify_and_read(stream, entry, run);
    } catch (const std::bad_alloc&) {
        // No memory for the offset table, a member entry or a message: the run stops.
        return 1;
    }
}

RunOutcome run_analysis(const std::vector<const FileEntry*>& entries, AnalysisModel& model, DiagnosticSink& sink) {
    RunOutcome outcome = RunOutcome::Completed;
    try {
        RunContext run(sink, model);
        InputLoader loader(entries);
        for (const FileEntry* entry : entries) {
            const InputBuffer* buffer = nullptr;
            const LoadResult loaded = loader.next(buffer);
            InputFile file;
            if (!file.open(entry->full_path, loaded, *buffer)) {
                const Diagnostics::InputScope scope(run.diagnostics(), entry);
                run.diagnostics().report(compose(msg::kCannotOpen, entry->full_path.c_str()));
                outcome = RunOutcome::Stopped;
                break;
            }
            if (analyze_input(file.stream(), *entry, run) == 1) {
                outcome = RunOutcome::Stopped;
                break;
            }
        }
    } catch (const std::bad_alloc&) {
        // No memory for a member entry or the run's working sets: the run stops without a message.
        outcome = RunOutcome::Stopped;
    }
    model.put_in_order();
    return outcome;
}

}  // namespace quorv
