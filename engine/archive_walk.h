#pragma once
// The archive walks. Libraries in the Microsoft layout (two linker members, the second
// giving every member's offset) are walked through that offset table; GNU, BSD and thin
// archives member by member, from header to header.
#include <cstdint>

#include "engine/file_entry.h"
#include "engine/input_stream.h"
#include "engine/run_context.h"

namespace quorv {

// Whether an "!<arch>\n" archive is positively of another layout than Microsoft's, from its
// bytes alone: nothing is read through the stream and nothing is reported.
bool is_member_by_member(InputStream& stream);

// The stream stands at offset 8. 0: go on with the run; 1: stop it.
int walk_archive(InputStream& stream, const FileEntry& library, RunContext& run);
int walk_members(InputStream& stream, const FileEntry& library, bool thin, RunContext& run);

}  // namespace quorv
