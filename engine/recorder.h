#pragma once
// The one place where the model's rules are applied: a module's facts, from whatever format,
// become declarations, procedures and initialized marks of the model.
#include <cstdint>

#include "engine/file_entry.h"
#include "engine/model.h"
#include "engine/module_facts.h"

namespace quorv {

class Recorder {
  public:
    explicit Recorder(AnalysisModel& model) : model_(model) {}

    // Records the facts of the module named by entry: its declarations and procedures in
    // table order, then the initialized marks of its own declarations. 0, or 1 when memory
    // ran out for a record or a fact (what could be recorded stays).
    int record_module(const FileEntry& entry, const ModuleFacts& facts);

  private:
    void fetch_ahead(const ModuleFacts& facts, std::size_t current);
    bool mark_initialized(const ModuleFacts& facts);

    AnalysisModel& model_;
    // The fetch-ahead's pending declarations: their record index and name hash.
    struct Pending {
        std::size_t record;
        std::uint64_t hash;
    };
    static constexpr std::size_t kPending = 32;
    Pending pending_[kPending] = {};
    std::size_t next_ = 0, head_ = 0, blocks_ = 0, tail_ = 0;
    // The hashes of the records the fetch-ahead has passed, by record index modulo the ring:
    // recording reuses them.
    static constexpr std::size_t kHashes = 64;
    std::uint64_t hashes_[kHashes] = {};
};

}  // namespace quorv
