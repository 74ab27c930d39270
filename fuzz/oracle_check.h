#pragma once
// Holds what the engine did against what the oracle expects: the messages as they come, then
// the result and the model. Each check gives the first difference, or an empty text.
#include <string>
#include <string_view>

#include "engine/diagnostics.h"
#include "engine/model.h"
#include "fuzz/message_families.h"
#include "fuzz/oracle.h"

namespace quorv::fuzz {

class OracleSink : public DiagnosticSink {
  public:
    explicit OracleSink(const oracle::Expected& expected) : expected_(expected) {}

    void show(const Diagnostic& diagnostic) override {
        const std::string_view text = diagnostic.text;
        // A text equal to the oracle's is one of the system's own (the oracle writes no other),
        // so only the others need the slower look through the list.
        const bool as_expected = count < expected_.messages.size() && text == expected_.messages[count];
        if (difference.empty() && !as_expected) {
            if (!is_known_message(text))
                difference = "message outside the system's own texts: \"" + std::string(text) + "\"";
            else if (count < expected_.messages.size())
                difference = "message " + std::to_string(count) + " is \"" + std::string(text) + "\", expected \"" +
                             expected_.messages[count] + "\"";
        }
        ++count;
    }

    std::size_t count = 0;
    std::string difference;

  private:
    const oracle::Expected& expected_;
};

inline std::string compare_outcome(const AnalysisModel& model, int result, const OracleSink& sink,
                                   const oracle::Expected& e) {
    if (!sink.difference.empty()) return sink.difference;
    if (sink.count != e.count) return std::to_string(sink.count) + " messages, expected " + std::to_string(e.count);
    if (result != e.result) return "result " + std::to_string(result) + ", expected " + std::to_string(e.result);
    auto expected_block = e.blocks.begin();
    for (const CommonBlock& block : model.block_list()) {
        if (expected_block == e.blocks.end()) return "unexpected block \"" + std::string(block.name) + "\"";
        if (block.name != expected_block->first)
            return "block \"" + std::string(block.name) + "\", expected \"" + expected_block->first + "\"";
        const auto& decls = expected_block->second;
        if (block.declarations.size() != decls.size())
            return "declarations of \"" + std::string(block.name) + "\" differ in number";
        std::size_t k = 0;
        bool agree = true;
        for (const ObjectRef& d : block.declarations) {
            const oracle::Declaration& x = decls[k++];
            if (d.size != x.size || d.initialized != x.initialized || d.file->full_path != x.path)
                return "declaration " + std::to_string(k) + " of \"" + std::string(block.name) + "\": size " +
                       std::to_string(d.size) + (d.initialized ? " initialized " : " ") + d.file->full_path +
                       ", expected size " + std::to_string(x.size) + (x.initialized ? " initialized " : " ") + x.path;
            agree = agree && x.size == decls.front().size;
        }
        if (block.sizes_agree != agree) return "sizes_agree of \"" + std::string(block.name) + "\" wrong";
        ++expected_block;
    }
    if (expected_block != e.blocks.end()) return "missing block \"" + expected_block->first + "\"";
    std::size_t k = 0;
    for (const ProcedureEntry& p : model.procedure_list()) {
        if (k == e.procedures.size()) return "unexpected procedure \"" + std::string(p.name) + "\"";
        const oracle::Procedure& x = e.procedures[k++];
        if (p.name != x.name || p.defining_object.file->full_path != x.path)
            return "procedure " + std::to_string(k) + " \"" + std::string(p.name) + "\" of " +
                   p.defining_object.file->full_path + ", expected \"" + x.name + "\" of " + x.path;
    }
    if (k != e.procedures.size()) return "missing procedure \"" + e.procedures[k].name + "\"";
    return {};
}

}  // namespace quorv::fuzz
