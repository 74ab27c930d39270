#pragma once
// quorv-check --json: the whole model, the inputs and the run's messages as one JSON object.
#include <cstddef>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/model.h"
#include "findings/findings.h"
#include "ui/texts/file_list.h"

namespace quorv::cli {

// How the block and procedure arrays are cut into pieces, and whether every other piece
// may be made on a second thread. The text is the same whatever the shape.
struct JsonPieceShape {
    std::size_t blocks_per_piece = 1024;
    std::size_t procedures_per_piece = 4096;
    // Below this many pieces a second thread would cost more than it saves.
    std::size_t pieces_for_a_second_thread = 8;
};

// Streams the report to out: the inputs, the messages, every block with its declarations,
// conflict and definitions, every procedure, and the findings in report order.
void json_report(std::FILE* out, const AnalysisModel& model, const ui::FileList& files,
                 const std::vector<std::string>& messages, bool completed,
                 const std::vector<findings::Finding>& found = {}, const JsonPieceShape& shape = {});

}  // namespace quorv::cli
