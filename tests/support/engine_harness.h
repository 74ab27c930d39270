#pragma once
// Runs the engine over bytes in memory and collects what it reports.
#include <string>
#include <vector>

#include "coff_builder.h"
#include "engine/input_stream.h"
#include "engine/model.h"
#include "engine/object_reader.h"
#include "engine/report.h"
#include "engine/run.h"

namespace quorv::test {

struct Outcome {
    int result = -1;
    std::vector<std::string> messages;
};

inline Outcome read_module(const Bytes& bytes, AnalysisModel& model, const FileEntry& entry,
                           MemoryStream::Fault fault = MemoryStream::Fault::None,
                           std::uint32_t fault_at = 0) {
    CollectingSink sink;
    ScopedMessageSink scope(sink);
    MemoryStream stream(bytes, fault, fault_at);
    Outcome out;
    out.result = read_object_module(stream, entry, 0, model);
    out.messages = std::move(sink.messages);
    return out;
}

inline Outcome analyze(const Bytes& bytes, AnalysisModel& model, const FileEntry& entry) {
    CollectingSink sink;
    ScopedMessageSink scope(sink);
    MemoryStream stream(bytes);
    Outcome out;
    out.result = analyze_input(stream, entry, model);
    out.messages = std::move(sink.messages);
    return out;
}

using Messages = std::vector<std::string>;

}  // namespace quorv::test
