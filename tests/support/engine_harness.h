#pragma once
// Runs the engine over bytes in memory and collects what it reports.
#include <string>
#include <vector>

#include "coff_builder.h"
#include "engine/diagnostics.h"
#include "engine/input_stream.h"
#include "engine/model.h"
#include "engine/object_reader.h"
#include "engine/recorder.h"
#include "engine/run.h"

namespace quorv::test {

struct Outcome {
    int result = -1;
    std::vector<std::string> messages;
};

// One COFF module read and recorded as the run does it, the model then put in order.
inline Outcome read_module(const Bytes& bytes, AnalysisModel& model, const FileEntry& entry,
                           MemoryStream::Fault fault = MemoryStream::Fault::None, std::uint32_t fault_at = 0) {
    CollectingSink sink;
    const Diagnostics diagnostics(sink);
    MemoryStream stream(bytes, fault, fault_at);
    ModuleWorkingSet work;
    Outcome out;
    const int read = read_object_module(diagnostics, stream, entry, 0, work);
    const int recorded = Recorder(model).record_module(entry, work.facts);
    model.put_in_order();
    out.result = read != 0 || recorded != 0 ? 1 : 0;
    out.messages = std::move(sink.messages);
    return out;
}

// One input classified and read as the run does it, the model then put in order.
inline Outcome analyze(const Bytes& bytes, AnalysisModel& model, const FileEntry& entry) {
    CollectingSink sink;
    RunContext run(sink, model);
    MemoryStream stream(bytes);
    Outcome out;
    out.result = analyze_input(stream, entry, run);
    model.put_in_order();
    out.messages = std::move(sink.messages);
    return out;
}

using Messages = std::vector<std::string>;

}  // namespace quorv::test
