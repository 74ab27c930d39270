#include "engine/recorder.h"

#include <algorithm>
#include <new>
#include <string_view>
#include <vector>

#include "engine/names.h"

namespace quorv {
namespace {

// How far ahead of recording the fetches start: the index slot first, then, nearer, the
// block the slot names, then the end of its declaration list. Each is otherwise a cache
// miss, one after the other.
constexpr std::size_t kSlotDistance = 30;
constexpr std::size_t kBlockDistance = 16;
constexpr std::size_t kListDistance = 6;

}  // namespace

void Recorder::fetch_ahead(const ModuleFacts& facts, std::size_t current) {
    const std::size_t n = facts.records.size();
    while (next_ < n && next_ <= current + kSlotDistance && tail_ - head_ < kPending) {
        const ModuleFacts::Record& r = facts.records[next_];
        if (r.kind == ModuleFacts::Kind::Declaration) {
            const std::uint64_t hash = BlockIndex::hash(r.name);
            hashes_[next_ % kHashes] = hash;
            model_.index().fetch_slot(hash);
            pending_[tail_++ % kPending] = Pending{next_, hash};
        }
        ++next_;
    }
    while (blocks_ != tail_ && pending_[blocks_ % kPending].record <= current + kBlockDistance)
        model_.fetch_block(pending_[blocks_++ % kPending].hash);
    while (head_ != blocks_ && pending_[head_ % kPending].record <= current + kListDistance)
        model_.fetch_declarations(pending_[head_++ % kPending].hash);
}

// Defined data marks the module's own declaration of the same-named block, whichever of the
// two came first in the table. false when there was no memory to order the names.
// Marking twice marks the same declaration, so the names need no sorting out.
bool Recorder::mark_initialized(const ModuleFacts& facts) {
    for (const ModuleFacts::DefinedData& d : facts.defined_data) model_.mark_initialized(d.name);
    return true;
}

int Recorder::record_module(const FileEntry& entry, const ModuleFacts& facts) {
    model_.current_object = ObjectRef{&entry, 0, false};
    // The names recorded may share the string table's bytes; the model copies what it keeps.
    struct NameSource {
        AnalysisModel& model;
        ~NameSource() { model.set_name_source(nullptr, 0); }
    } source{model_};
    model_.set_name_source(facts.name_source.data(), facts.name_source.size());
    next_ = head_ = blocks_ = tail_ = 0;
    bool failed = facts.fact_lost;
    for (std::size_t i = 0; i < facts.records.size(); ++i) {
        fetch_ahead(facts, i);
        const ModuleFacts::Record& r = facts.records[i];
        // The fetch-ahead has hashed this record's name unless its pending ring was full.
        const bool hashed = i < next_ && next_ - i <= kHashes;
        const int result = r.kind != ModuleFacts::Kind::Declaration ? model_.record_procedure(r.name)
                           : hashed ? model_.record_declaration(r.name, r.size, hashes_[i % kHashes])
                                    : model_.record_common_declaration(r.name, r.size);
        if (result == kRecordFailed) failed = true;
    }
    if (!facts.marks_dropped && !mark_initialized(facts)) failed = true;
    // Initializers are recorded whatever block they turn out to belong to: a module that
    // declares the block may come later.
    for (const ModuleFacts::DefinedData& d : facts.defined_data)
        if (model_.record_definition(d.name, d.size, d.size_exact) != 0) failed = true;
    return failed ? 1 : 0;
}

}  // namespace quorv
