#pragma once
// The analysis run over the file list: each input classified by its first bytes, archives
// walked, every module read by its format's reader and recorded into the model.
#include <vector>

#include "engine/diagnostics.h"
#include "engine/file_entry.h"
#include "engine/input_stream.h"
#include "engine/model.h"
#include "engine/run_context.h"

namespace quorv {

enum class RunOutcome { Completed, Stopped };

// 0: go on with the next input; 1: stop the run. The stream stands at offset 0.
int analyze_input(InputStream& stream, const FileEntry& entry, RunContext& run);

// Opens each entry's full_path for binary reading, in list order, and ends by putting the
// model in order (also when the run stops). The caller has emptied the model. Member
// entries made on the way live in the model until its next reset. Every message goes to
// sink, with the input it was met in.
RunOutcome run_analysis(const std::vector<const FileEntry*>& entries, AnalysisModel& model, DiagnosticSink& sink);

}  // namespace quorv
