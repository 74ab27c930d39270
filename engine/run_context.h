#pragma once
// What one analysis run carries from input to input: its diagnostics, the model, the
// recorder and the format readers' working sets, reused so that a run of thousands of
// files allocates them once.
#include <cstdint>
#include <memory>

#include "engine/diagnostics.h"
#include "engine/dwarf/common_layouts.h"
#include "engine/elf_reader.h"
#include "engine/file_entry.h"
#include "engine/input_stream.h"
#include "engine/model.h"
#include "engine/object_reader.h"
#include "engine/probe.h"
#include "engine/recorder.h"

namespace quorv {

class RunContext {
  public:
    RunContext(DiagnosticSink& sink, AnalysisModel& model) : diagnostics_(sink), model_(model), recorder_(model) {}

    Diagnostics& diagnostics() { return diagnostics_; }
    AnalysisModel& model() { return model_; }

    // Reads the module of entry that starts at base, whose bytes end at end, by its kind's
    // reader, and records its facts. 0: go on with the run; 1: stop it.
    int read_module(InputStream& stream, const FileEntry& entry, std::uint32_t base, std::uint64_t end,
                    ModuleKind kind);

    // Library members' entries live in the model until its next reset_model.
    const FileEntry* keep_member_entry(std::unique_ptr<FileEntry> entry) {
        return model_.keep_member_entry(std::move(entry));
    }

  private:
    int record(const FileEntry& entry, const ModuleFacts& facts, const dwarf::DebugInput& debug, int read_result);

    Diagnostics diagnostics_;
    AnalysisModel& model_;
    Recorder recorder_;
    ModuleWorkingSet coff_;
    ElfWorkingSet elf_;
    dwarf::LayoutScratch layout_scratch_;
    // A module's layouts on their way to the model: the room is kept from module to module.
    std::vector<dwarf::LayoutRef> layouts_;
};

}  // namespace quorv
