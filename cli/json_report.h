#pragma once
// quorv-check --json: the whole model, the inputs and the run's messages as one JSON object.
#include <cstdio>
#include <string>
#include <vector>

#include "engine/model.h"
#include "findings/findings.h"
#include "ui/texts/file_list.h"

namespace quorv::cli {

// Streams the report to out: the inputs, the messages, every block with its declarations,
// conflict and definitions, every procedure, and the findings in report order.
void json_report(std::FILE* out, const AnalysisModel& model, const ui::FileList& files,
                 const std::vector<std::string>& messages, bool completed,
                 const std::vector<findings::Finding>& found = {});

}  // namespace quorv::cli
