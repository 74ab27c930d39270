#pragma once
// The model of a run in the shape of the shared corpus's expected JSON, for comparison.
#include <nlohmann/json.hpp>
#include <string>

#include "engine/model.h"

namespace quorv::test {

inline nlohmann::json model_as_json(const AnalysisModel& model) {
    nlohmann::json blocks = nlohmann::json::array();
    for (const CommonBlock& b : model.block_list()) {
        nlohmann::json decls = nlohmann::json::array();
        for (const ObjectRef& d : b.declarations)
            decls.push_back({{"size", d.size}, {"initialized", d.initialized}, {"file", d.file->display_name}});
        nlohmann::json conflict = nullptr;
        if (const ProcedureEntry* p = model.find_conflicting_procedure(b))
            conflict = {{"name", p->name}, {"file", p->defining_object.file->display_name}};
        blocks.push_back({{"name", b.name},
                          {"sizes_agree", b.sizes_agree},
                          {"problem", model.block_has_problem(b)},
                          {"declarations", decls},
                          {"conflicting_procedure", conflict}});
    }
    nlohmann::json procedures = nlohmann::json::array();
    for (const ProcedureEntry& p : model.procedure_list())
        procedures.push_back({{"name", p.name}, {"file", p.defining_object.file->display_name}});
    return {{"blocks", blocks}, {"procedures", procedures}};
}

// The expected model without the keys the views add (rows and messages).
inline nlohmann::json expected_model(const nlohmann::json& model) {
    nlohmann::json out = model;
    for (auto& b : out["blocks"]) {
        b.erase("detail_rows");
        b.erase("conflict_message");
    }
    return out;
}

inline std::string replace_all(std::string text, const std::string& from, const std::string& to) {
    for (std::size_t at = text.find(from); at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

}  // namespace quorv::test
