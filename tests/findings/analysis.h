#pragma once
// A run over real files for the findings tests: the files as quorv-check lists them (display
// names sorted), analyzed, and their findings.
#include <algorithm>
#include <filesystem>
#include <memory>
#include <vector>

#include "engine/run.h"
#include "findings/findings.h"

namespace quorv::findings {

struct Analysis {
    std::vector<std::unique_ptr<FileEntry>> entries;
    AnalysisModel model;
    CollectingSink sink;
    std::vector<Finding> found;
};

inline void analyze(const std::vector<std::filesystem::path>& files, Analysis& run) {
    std::vector<const FileEntry*> order;
    for (const std::filesystem::path& f : files) {
        run.entries.push_back(std::make_unique<FileEntry>(f.string(), f.filename().string()));
        order.push_back(run.entries.back().get());
    }
    std::sort(order.begin(), order.end(),
              [](const FileEntry* a, const FileEntry* b) { return a->display_name < b->display_name; });
    const bool completed = run_analysis(order, run.model, run.sink) == RunOutcome::Completed;
    run.found = find_all(run.model, RunMessages{run.sink.messages, run.sink.inputs}, completed);
}

}  // namespace quorv::findings
