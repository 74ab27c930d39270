#pragma once
// The model of a run in the shape of the shared corpus's expected JSON, for comparison.
#include <nlohmann/json.hpp>
#include <string>

#include "engine/model.h"

namespace quorv::test {

// The one shape in which tests compare models: the corpus's expected JSON.
inline nlohmann::json declaration_shape(const nlohmann::json& size, const nlohmann::json& initialized,
                                        const nlohmann::json& file) {
    return {{"size", size}, {"initialized", initialized}, {"file", file}};
}
inline nlohmann::json block_shape(const nlohmann::json& name, const nlohmann::json& sizes_agree,
                                  const nlohmann::json& problem, const nlohmann::json& declarations,
                                  const nlohmann::json& conflicting_procedure) {
    return {{"name", name},
            {"sizes_agree", sizes_agree},
            {"problem", problem},
            {"declarations", declarations},
            {"conflicting_procedure", conflicting_procedure}};
}
inline nlohmann::json procedure_shape(const nlohmann::json& name, const nlohmann::json& file) {
    return {{"name", name}, {"file", file}};
}

inline nlohmann::json model_as_json(const AnalysisModel& model) {
    nlohmann::json blocks = nlohmann::json::array();
    for (const CommonBlock& b : model.block_list()) {
        nlohmann::json decls = nlohmann::json::array();
        for (const ObjectRef& d : b.declarations)
            decls.push_back(declaration_shape(d.size, d.initialized, d.file->display_name));
        nlohmann::json conflict = nullptr;
        if (const ProcedureEntry* p = model.find_conflicting_procedure(b))
            conflict = procedure_shape(p->name, p->defining_object.file->display_name);
        blocks.push_back(block_shape(b.name, b.sizes_agree, model.block_has_problem(b), decls, conflict));
    }
    nlohmann::json procedures = nlohmann::json::array();
    for (const ProcedureEntry& p : model.procedure_list())
        procedures.push_back(procedure_shape(p.name, p.defining_object.file->display_name));
    return {{"blocks", blocks}, {"procedures", procedures}};
}

// The model a quorv-check --json report holds, in the same shape (the report names a block's
// conflict "conflict", with its "procedure").
inline nlohmann::json report_as_json(const nlohmann::json& report) {
    nlohmann::json blocks = nlohmann::json::array();
    for (const auto& b : report["blocks"]) {
        nlohmann::json decls = nlohmann::json::array();
        for (const auto& d : b["declarations"])
            decls.push_back(declaration_shape(d["size"], d["initialized"], d["file"]));
        nlohmann::json conflict = nullptr;
        if (!b["conflict"].is_null()) conflict = procedure_shape(b["conflict"]["procedure"], b["conflict"]["file"]);
        blocks.push_back(block_shape(b["name"], b["sizes_agree"], b["problem"], decls, conflict));
    }
    nlohmann::json procedures = nlohmann::json::array();
    for (const auto& p : report["procedures"]) procedures.push_back(procedure_shape(p["name"], p["file"]));
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
