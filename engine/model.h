#pragma once
// The analysis model: every COMMON block some module declares (one declaration per
// declaring module, with its size and initialized mark) and every procedure some module
// defines.
//
// Records are kept flat, in recording order, with a hash index of block names; the name
// order that the views show is an index sorted when a list is first looked at after new
// records came in. Recording stays O(1) however many names a run brings. Names are held
// in the model's own name store (see NameStore), never allocated one by one.
#include <algorithm>
#include <cstdint>
#include <deque>
#include <iterator>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "engine/names.h"

namespace quorv {

// One input file or one library member.
struct FileEntry {
    std::string full_path;     // identity of the module
    std::string display_name;  // what the views show
    std::int32_t duplicate_ordinal = 0;
};

// One module's part in a block or a procedure. Observes its FileEntry, never owns it.
struct ObjectRef {
    const FileEntry* file = nullptr;
    std::uint32_t size = 0;
    // Set by the scan after the declaration is in place; not part of the ordering key.
    mutable bool initialized = false;
};

// Declarations: descending unsigned size, then ascending full_path of the module. A new
// declaration goes after its equals.
struct DeclarationOrder {
    bool operator()(const ObjectRef& a, const ObjectRef& b) const {
        if (a.size != b.size) return a.size > b.size;
        if (a.file == b.file) return false;
        return compare_names(a.file->full_path, b.file->full_path) < 0;
    }
};
// Held in DeclarationOrder. A block has few declarations; a vector keeps them in one piece.
using DeclarationList = std::vector<ObjectRef>;

// Record names observe bytes the model keeps: valid until the next reset_model. A block's
// record is one cache line, and a short name is kept in it, so that confirming a name
// found in the index reads no other line.
struct alignas(64) CommonBlock {
    std::string_view name;
    DeclarationList declarations;
    bool sizes_agree = true;
    // Filled by the model; name points here when it fits.
    char short_name[64 - sizeof(std::string_view) - sizeof(DeclarationList) - sizeof(bool)];
};

struct ProcedureEntry {
    std::string_view name;
    ObjectRef defining_object;
};

// A view of records in name order: an index sorted by name over records that never move.
template <class Record>
class NameOrderedList {
public:
    // The sorting key: the first 8 bytes of the name, big-endian and zero-filled, which
    // orders like compare_names wherever it differs; the record number breaks the rest.
    struct Key {
        std::uint64_t prefix;
        std::uint32_t record;
    };

    class const_iterator {
    public:
        using iterator_category = std::random_access_iterator_tag;
        using value_type = Record;
        using difference_type = std::ptrdiff_t;
        using pointer = const Record*;
        using reference = const Record&;

        const_iterator() = default;
        const_iterator(const std::deque<Record>* records, const Key* at) : records_(records), at_(at) {}
        reference operator*() const { return (*records_)[at_->record]; }
        // The sorting prefix of the record's name (see Key): where two differ, the names order
        // the same way, without a look at either record.
        std::uint64_t name_prefix() const { return at_->prefix; }
        pointer operator->() const { return &**this; }
        reference operator[](difference_type n) const { return (*records_)[at_[n].record]; }
        const_iterator& operator++() { ++at_; return *this; }
        const_iterator operator++(int) { auto old = *this; ++at_; return old; }
        const_iterator& operator--() { --at_; return *this; }
        const_iterator operator--(int) { auto old = *this; --at_; return old; }
        const_iterator& operator+=(difference_type n) { at_ += n; return *this; }
        const_iterator& operator-=(difference_type n) { at_ -= n; return *this; }
        friend const_iterator operator+(const_iterator i, difference_type n) { return i += n; }
        friend const_iterator operator+(difference_type n, const_iterator i) { return i += n; }
        friend const_iterator operator-(const_iterator i, difference_type n) { return i -= n; }
        friend difference_type operator-(const const_iterator& a, const const_iterator& b) { return a.at_ - b.at_; }
        friend bool operator==(const const_iterator& a, const const_iterator& b) { return a.at_ == b.at_; }
        friend auto operator<=>(const const_iterator& a, const const_iterator& b) { return a.at_ <=> b.at_; }

    private:
        const std::deque<Record>* records_ = nullptr;
        const Key* at_ = nullptr;
    };
    using iterator = const_iterator;

    NameOrderedList(const std::deque<Record>& records, const std::vector<Key>& order)
        : records_(&records), order_(&order) {}
    const_iterator begin() const { return {records_, order_->data()}; }
    const_iterator end() const { return {records_, order_->data() + order_->size()}; }
    std::size_t size() const { return order_->size(); }
    bool empty() const { return order_->empty(); }
    const Record& front() const { return *begin(); }

private:
    const std::deque<Record>* records_;
    const std::vector<Key>* order_;
};

// Blocks by name, unique; procedures by name, equal names in recording order.
using BlockList = NameOrderedList<CommonBlock>;
using ProcedureList = NameOrderedList<ProcedureEntry>;

// The bytes of the names the model keeps. Names are copied into large chunks; a module
// whose string table would be copied more than once over, piece by piece (records naming
// overlapping tails of one long name), has its table copied once whole instead, and its
// names then point into that copy. So names never take more than about twice the input.
class NameStore {
public:
    // The module string table that the names recorded next may point into; empty for none.
    void set_source(const std::uint8_t* first, std::size_t size);
    // A stable copy of name (or a view of one). May throw std::bad_alloc, keeping nothing.
    std::string_view keep(std::string_view name);
    void clear();

private:
    char* allocate(std::size_t size);

    std::vector<std::unique_ptr<char[]>> chunks_;
    char* free_ = nullptr;
    std::size_t left_ = 0;
    const char* source_ = nullptr;
    std::size_t source_size_ = 0;
    std::size_t copied_from_source_ = 0;
    const char* source_copy_ = nullptr;
};

// Result codes of record_common_declaration.
inline constexpr int kNewBlock = 0;
inline constexpr int kRecordFailed = 1;
inline constexpr int kAddedToBlock = 2;

class AnalysisModel {
public:
    AnalysisModel();
    AnalysisModel(const AnalysisModel&) = delete;
    AnalysisModel& operator=(const AnalysisModel&) = delete;

    // 0 new block, 2 added to an existing block, 1 memory ran out (nothing added).
    int record_common_declaration(std::string_view name, std::uint32_t size);
    // 0 recorded, 1 memory ran out (nothing added).
    int record_procedure(std::string_view name);
    // Empties both lists and releases the member entries of the last run.
    void reset_model();

    bool block_has_problem(const CommonBlock& block) const;
    const ProcedureEntry* find_conflicting_procedure(const CommonBlock& block) const;
    const CommonBlock* find_block(std::string_view name) const;

    // In name order. A list looked at after new records came in is sorted first.
    const BlockList& block_list() const;
    const ProcedureList& procedure_list() const;

    // The module being scanned; the record operations attribute everything to it.
    ObjectRef current_object;

    // The string table of the module being scanned, which the names recorded next may come
    // from; nullptr and 0 when the scan ends.
    void set_name_source(const std::uint8_t* first, std::size_t size) { names_.set_source(first, size); }

    // The run's member entries live here until the next reset_model.
    const FileEntry* keep_member_entry(std::unique_ptr<FileEntry> entry);
    const std::vector<std::unique_ptr<FileEntry>>& member_entries() const { return member_entries_; }

    // Hints that change nothing: the scan calls them for declarations a few records ahead,
    // so that the index slot, the block record, then the end of its declaration list are in
    // cache when recording reaches them. fetch_slot returns the name's hash, which the
    // others take.
    std::uint64_t fetch_slot(std::string_view name) const;
    void fetch_block(std::uint64_t hash) const;
    void fetch_declarations(std::uint64_t hash) const;

    // Marks the first declaration of the named block whose module has the current
    // module's full_path. Does nothing when no such block or declaration exists.
    void mark_initialized(std::string_view block_name);

private:
    using BlockKey = BlockList::Key;
    using ProcedureKey = ProcedureList::Key;

    struct Slot;
    // The block the first probe for hash finds, or nullptr: a guess, names not compared.
    const CommonBlock* first_probe(std::uint64_t hash) const;
    // The record number of the named block, or 0xFFFFFFFF.
    std::uint32_t lookup(std::string_view name, std::uint64_t hash) const;
    static void place_in_index(std::vector<Slot>& slots, const Slot& slot, std::uint64_t hash);
    void make_room_in_index();

    std::deque<CommonBlock> blocks_;
    std::deque<ProcedureEntry> procedures_;
    // Open addressing over block records: record number + 1 (0 is an empty slot) and the
    // upper half of the name's hash, which spares nearly every look at a wrong record. Kept
    // small: a hostile object of nothing but distinct block names makes one slot per 9 bytes.
    struct Slot {
        std::uint32_t record_plus_one;
        std::uint32_t hash_high;
    };
    std::vector<Slot> slots_;
    NameStore names_;
    // Name orders; the first *_sorted_ keys are in order, the rest in recording order.
    mutable std::vector<BlockKey> block_order_;
    mutable std::vector<ProcedureKey> procedure_order_;
    mutable std::size_t blocks_sorted_ = 0;
    mutable std::size_t procedures_sorted_ = 0;
    BlockList block_view_;
    ProcedureList procedure_view_;
    std::vector<std::unique_ptr<FileEntry>> member_entries_;
    // Modules usually come in path order. While the current one's full_path orders after
    // every module that declared before it, a declaration of a size already held goes at
    // the end of its list without a look at the other modules' paths.
    void note_declaring_module();
    const FileEntry* declaring_module_ = nullptr;
    const FileEntry* greatest_path_ = nullptr;
    bool path_after_all_ = false;
};

// The blocks from position first up to last of the list, in list order, each with the
// procedure its name conflicts with (the first recorded of that name, as
// find_conflicting_procedure gives) or nullptr: one merged pass over the two lists, which
// share one order. Calls visit(block, conflict) for each block. Once both lists have been
// looked at, passes over disjoint ranges only read the model, and may run side by side.
template <class Visit>
void for_each_block_with_conflict(const AnalysisModel& model, std::size_t first, std::size_t last,
                                  Visit&& visit) {
    const ProcedureList& procedures = model.procedure_list();
    const BlockList& blocks = model.block_list();
    last = std::min(last, blocks.size());
    if (first >= last) return;
    const auto from = blocks.begin() + static_cast<std::ptrdiff_t>(first);
    const auto to = blocks.begin() + static_cast<std::ptrdiff_t>(last);
    // The prefixes decide wherever they differ; only equal ones need the names.
    const auto before = [](const ProcedureList::const_iterator& p, const BlockList::const_iterator& b) {
        if (p.name_prefix() != b.name_prefix()) return p.name_prefix() < b.name_prefix();
        return compare_names(p->name, b->name) < 0;
    };
    const auto end = procedures.end();
    // Where the pass would stand at the first block: the first procedure not before it.
    auto cursor = procedures.begin();
    for (std::ptrdiff_t count = first == 0 ? 0 : end - cursor; count > 0;) {
        const std::ptrdiff_t half = count / 2;
        if (before(cursor + half, from)) {
            cursor += half + 1;
            count -= half + 1;
        } else {
            count = half;
        }
    }
    for (auto it = from; it != to; ++it) {
        while (cursor != end && before(cursor, it)) ++cursor;
        const bool conflict = cursor != end && cursor.name_prefix() == it.name_prefix() &&
                              compare_names(cursor->name, it->name) == 0;
        visit(*it, conflict ? &*cursor : static_cast<const ProcedureEntry*>(nullptr));
    }
}

template <class Visit>
void for_each_block_with_conflict(const AnalysisModel& model, Visit&& visit) {
    for_each_block_with_conflict(model, 0, model.block_list().size(), visit);
}

// The problem rule, given the block's conflicting procedure or nullptr.
inline bool is_problem(const CommonBlock& block, const ProcedureEntry* conflict) {
    return !block.sizes_agree || conflict != nullptr;
}

// The problem rule evaluated for every block in list order; calls visit(block, is_problem).
template <class Visit>
void for_each_block_with_problem(const AnalysisModel& model, Visit&& visit) {
    for_each_block_with_conflict(model, [&](const CommonBlock& block, const ProcedureEntry* conflict) {
        visit(block, is_problem(block, conflict));
    });
}

// Constructors: the output is cleared first; on failure it stays empty and nothing remains.
bool make_file_entry(std::string_view full_path, std::string_view display_name,
                     std::unique_ptr<FileEntry>& out);
bool copy_string(std::string_view text, std::string& out);

}  // namespace quorv
