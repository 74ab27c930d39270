#pragma once
// The analysis run over the file list: classification of each input by its first bytes,
// the archive walk, and one object module per file or member.
#include <cstdint>
#include <vector>

#include "engine/input_stream.h"
#include "engine/model.h"

namespace quorv {

enum class RunOutcome { Completed, Stopped };

// 0: go on with the next input; 1: stop the run. The stream stands at offset 0.
int analyze_input(InputStream& stream, const FileEntry& entry, AnalysisModel& model);

// Opens each entry's full_path for binary reading, in list order. The caller has emptied
// the model. Member entries made on the way live in the model until its next reset.
RunOutcome run_analysis(const std::vector<const FileEntry*>& entries, AnalysisModel& model);

}  // namespace quorv
