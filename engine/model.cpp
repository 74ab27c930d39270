#include "engine/model.h"

#include <algorithm>
#include <cstring>
#include <new>

namespace quorv {
namespace {

constexpr std::uint32_t kNoRecord = 0xFFFFFFFFu;
constexpr std::size_t kFirstIndexSize = 64;

// A hash for the block index: 8 bytes at a time, multiplied and folded.
std::uint64_t name_hash(std::string_view s) {
    std::uint64_t h = 0x9E3779B97F4A7C15ull ^ s.size();
    const char* p = s.data();
    std::size_t n = s.size();
    for (; n >= 8; p += 8, n -= 8) {
        std::uint64_t w;
        std::memcpy(&w, p, 8);
        h = (h ^ w) * 0xBF58476D1CE4E5B9ull;
        h ^= h >> 31;
    }
    if (n != 0) {
        std::uint64_t w = 0;
        std::memcpy(&w, p, n);
        h = (h ^ w) * 0x94D049BB133111EBull;
        h ^= h >> 29;
    }
    h *= 0xFF51AFD7ED558CCDull;
    return h ^ (h >> 33);
}

// The first 8 bytes, big-endian, zero-filled: where two prefixes differ they order like
// compare_names of the whole names (a zero fill sorts first, as a shorter name does).
std::uint64_t name_prefix(std::string_view s) {
    unsigned char b[8] = {};
    std::memcpy(b, s.data(), s.size() < 8 ? s.size() : 8);
    std::uint64_t v = 0;
    for (unsigned char c : b) v = (v << 8) | c;
    return v;
}

// Room for one more key without a reallocation later, growing geometrically.
template <class Key>
void reserve_one_more(std::vector<Key>& order) {
    if (order.size() == order.capacity()) order.reserve(std::max<std::size_t>(64, 2 * order.capacity()));
}

// Sorts keys by their prefixes, 8 bits a pass from the lowest (a pass whose byte is the same
// in every key changes nothing and is left out), then each run of equal prefixes by `less`.
// Names mostly differ within their first 8 bytes, so this is linear where comparing would
// not be. Without memory for the second buffer it compares throughout.
template <class Key, class Less>
void sort_keys(Key* first, Key* last, Less less) {
    const auto n = static_cast<std::size_t>(last - first);
    if (n < 512) return std::sort(first, last, less);
    std::vector<Key> spare;
    try {
        spare.resize(n);
    } catch (const std::bad_alloc&) {
        return std::sort(first, last, less);
    }
    Key* from = first;
    Key* to = spare.data();
    for (int shift = 0; shift < 64; shift += 8) {
        std::size_t start[257] = {};
        for (std::size_t k = 0; k < n; ++k) ++start[((from[k].prefix >> shift) & 0xFF) + 1];
        if (std::find(start + 1, start + 257, n) != start + 257) continue;
        for (int b = 0; b < 256; ++b) start[b + 1] += start[b];
        for (std::size_t k = 0; k < n; ++k) to[start[(from[k].prefix >> shift) & 0xFF]++] = from[k];
        std::swap(from, to);
    }
    if (from != first) std::copy(from, from + n, first);
    for (Key* run = first; run != last;) {
        Key* run_end = run + 1;
        while (run_end != last && run_end->prefix == run->prefix) ++run_end;
        if (run_end - run > 1) std::sort(run, run_end, less);
        run = run_end;
    }
}

// Sorts the keys recorded since the last sort and merges them into the sorted front.
template <class Key, class Less>
void sort_new_keys(std::vector<Key>& order, std::size_t& sorted, Less less) {
    if (sorted == order.size()) return;
    const auto middle = order.begin() + static_cast<std::ptrdiff_t>(sorted);
    sort_keys(order.data() + sorted, order.data() + order.size(), less);
    // Without memory for a buffer the merge works in place; it never throws for lack of one.
    std::inplace_merge(order.begin(), middle, order.end(), less);
    sorted = order.size();
}

}  // namespace

AnalysisModel::AnalysisModel()
    : block_view_(blocks_, block_order_), procedure_view_(procedures_, procedure_order_) {}

void NameStore::set_source(const std::uint8_t* first, std::size_t size) {
    source_ = reinterpret_cast<const char*>(first);
    source_size_ = first == nullptr ? 0 : size;
    copied_from_source_ = 0;
    source_copy_ = nullptr;
}

char* NameStore::allocate(std::size_t size) {
    // Chunks of 32 KiB; a name too big to share one well gets a chunk of its own.
    constexpr std::size_t kChunk = 32 * 1024;
    if (chunks_.size() == chunks_.capacity()) chunks_.reserve(std::max<std::size_t>(16, 2 * chunks_.size()));
    if (size > kChunk / 8) {
        chunks_.push_back(std::make_unique_for_overwrite<char[]>(size));
        return chunks_.back().get();
    }
    if (size > left_) {
        chunks_.push_back(std::make_unique_for_overwrite<char[]>(kChunk));
        free_ = chunks_.back().get();
        left_ = kChunk;
    }
    char* at = free_;
    free_ += size;
    left_ -= size;
    return at;
}

std::string_view NameStore::keep(std::string_view name) {
    if (name.empty()) return std::string_view("", 0);
    const auto in_source = [&] {
        // Compared as addresses: name may come from anywhere.
        const auto at = reinterpret_cast<std::uintptr_t>(name.data());
        const auto first = reinterpret_cast<std::uintptr_t>(source_);
        return source_ != nullptr && at >= first && at - first <= source_size_ &&
               name.size() <= source_size_ - (at - first);
    };
    if (in_source()) {
        const std::size_t offset = static_cast<std::size_t>(name.data() - source_);
        if (source_copy_ == nullptr && name.size() > source_size_ - copied_from_source_) {
            char* whole = allocate(source_size_);
            std::memcpy(whole, source_, source_size_);
            source_copy_ = whole;
        }
        if (source_copy_ != nullptr) return std::string_view(source_copy_ + offset, name.size());
        copied_from_source_ += name.size();
    }
    char* copy = allocate(name.size());
    std::memcpy(copy, name.data(), name.size());
    return std::string_view(copy, name.size());
}

void NameStore::clear() {
    chunks_.clear();
    chunks_.shrink_to_fit();
    free_ = nullptr;
    left_ = 0;
    set_source(nullptr, 0);
}

std::uint32_t AnalysisModel::lookup(std::string_view name, std::uint64_t hash) const {
    if (slots_.empty()) return kNoRecord;
    const std::size_t mask = slots_.size() - 1;
    const auto high = static_cast<std::uint32_t>(hash >> 32);
    for (std::size_t at = hash & mask;; at = (at + 1) & mask) {
        const Slot& slot = slots_[at];
        if (slot.record_plus_one == 0) return kNoRecord;
        if (slot.hash_high == high && blocks_[slot.record_plus_one - 1].name == name)
            return slot.record_plus_one - 1;
    }
}

namespace {
inline void fetch_line(const void* p) {
#if defined(__GNUC__)
    __builtin_prefetch(p);
#else
    static_cast<void>(p);
#endif
}
}  // namespace

std::uint64_t AnalysisModel::fetch_slot(std::string_view name) const {
    const std::uint64_t hash = name_hash(name);
    if (!slots_.empty()) fetch_line(&slots_[hash & (slots_.size() - 1)]);
    return hash;
}

const CommonBlock* AnalysisModel::first_probe(std::uint64_t hash) const {
    if (slots_.empty()) return nullptr;
    // The first probe only: it is where nearly every name is found.
    const Slot& slot = slots_[hash & (slots_.size() - 1)];
    if (slot.record_plus_one == 0 || slot.hash_high != static_cast<std::uint32_t>(hash >> 32)) return nullptr;
    return &blocks_[slot.record_plus_one - 1];
}

void AnalysisModel::fetch_block(std::uint64_t hash) const {
    if (const CommonBlock* block = first_probe(hash)) fetch_line(block);
}

void AnalysisModel::fetch_declarations(std::uint64_t hash) const {
    const CommonBlock* block = first_probe(hash);
    if (block != nullptr && !block->declarations.empty()) fetch_line(&block->declarations.back());
}

void AnalysisModel::place_in_index(std::vector<Slot>& slots, const Slot& slot, std::uint64_t hash) {
    const std::size_t mask = slots.size() - 1;
    std::size_t at = hash & mask;
    while (slots[at].record_plus_one != 0) at = (at + 1) & mask;
    slots[at] = slot;
    slots[at].hash_high = static_cast<std::uint32_t>(hash >> 32);
}

void AnalysisModel::make_room_in_index() {
    // At most half full, so that probe runs stay short.
    if (2 * (blocks_.size() + 1) <= slots_.size()) return;
    std::vector<Slot> bigger(std::max(kFirstIndexSize, 2 * slots_.size()), Slot{0, 0});
    for (const Slot& slot : slots_) {
        if (slot.record_plus_one == 0) continue;
        place_in_index(bigger, slot, name_hash(blocks_[slot.record_plus_one - 1].name));
    }
    slots_.swap(bigger);
}

int AnalysisModel::record_common_declaration(std::string_view name, std::uint32_t size) {
    try {
        const ObjectRef declaration{current_object.file, size, false};
        const std::uint64_t hash = name_hash(name);
        const std::uint32_t found = lookup(name, hash);
        if (current_object.file != declaring_module_) note_declaring_module();
        if (found == kNoRecord) {
            // Every allocation comes before the block is linked in: a failure adds nothing.
            make_room_in_index();
            reserve_one_more(block_order_);
            // Record numbers beyond 32 bits could not be held in the index.
            if (blocks_.size() >= 0xFFFFFFFEu) return kRecordFailed;
            const bool fits = name.size() <= sizeof(CommonBlock::short_name);
            const std::string_view kept = fits ? std::string_view() : names_.keep(name);
            DeclarationList first;
            first.reserve(4);  // see the growth rule below
            first.push_back(declaration);
            const auto record = static_cast<std::uint32_t>(blocks_.size());
            // Built in place: a short name points into the record, which never moves.
            CommonBlock& block = blocks_.emplace_back();
            if (fits) {
                if (!name.empty()) std::memcpy(block.short_name, name.data(), name.size());
                block.name = std::string_view(block.short_name, name.size());
            } else {
                block.name = kept;
            }
            block.declarations = std::move(first);
            block.sizes_agree = true;
            place_in_index(slots_, Slot{record + 1, 0}, hash);
            block_order_.push_back(BlockKey{name_prefix(name), record});
            return kNewBlock;
        }
        CommonBlock& block = blocks_[found];
        DeclarationList& list = block.declarations;
        // Declarations are held largest first: a new size differs from some recorded size
        // exactly when it differs from the first one.
        const bool differs = list.front().size != size;
        // A block met in many modules grows its list often: start at four, then double.
        if (list.size() == list.capacity()) list.reserve(std::max<std::size_t>(4, 2 * list.capacity()));
        // After every declaration that does not order after it; usually that is the end.
        auto at = list.end();
        const bool known_last = path_after_all_ && list.back().size == size;
        if (!known_last && DeclarationOrder{}(declaration, list.back()))
            at = std::upper_bound(list.begin(), list.end(), declaration, DeclarationOrder{});
        list.insert(at, declaration);
        if (differs) block.sizes_agree = false;
        return kAddedToBlock;
    } catch (const std::bad_alloc&) {
        return kRecordFailed;
    }
}

void AnalysisModel::note_declaring_module() {
    declaring_module_ = current_object.file;
    path_after_all_ = false;
    if (declaring_module_ == nullptr) return;
    if (greatest_path_ == nullptr || compare_names(greatest_path_->full_path, declaring_module_->full_path) <= 0) {
        greatest_path_ = declaring_module_;
        path_after_all_ = true;
    }
}

int AnalysisModel::record_procedure(std::string_view name) {
    try {
        reserve_one_more(procedure_order_);
        ProcedureEntry entry;
        entry.name = names_.keep(name);
        entry.defining_object = ObjectRef{current_object.file, 0, false};
        const auto record = static_cast<std::uint32_t>(procedures_.size());
        procedures_.push_back(std::move(entry));
        procedure_order_.push_back(ProcedureKey{name_prefix(name), record});
        return 0;
    } catch (const std::bad_alloc&) {
        return 1;
    }
}

void AnalysisModel::reset_model() {
    blocks_.clear();
    procedures_.clear();
    slots_.clear();
    names_.clear();
    block_order_.clear();
    procedure_order_.clear();
    blocks_sorted_ = 0;
    procedures_sorted_ = 0;
    member_entries_.clear();
    current_object = ObjectRef{};
    declaring_module_ = nullptr;
    greatest_path_ = nullptr;
    path_after_all_ = false;
}

const BlockList& AnalysisModel::block_list() const {
    sort_new_keys(block_order_, blocks_sorted_, [this](const BlockKey& a, const BlockKey& b) {
        if (a.prefix != b.prefix) return a.prefix < b.prefix;
        return compare_names(blocks_[a.record].name, blocks_[b.record].name) < 0;
    });
    return block_view_;
}

const ProcedureList& AnalysisModel::procedure_list() const {
    // Equal names stay in recording order: the record number breaks the tie.
    sort_new_keys(procedure_order_, procedures_sorted_, [this](const ProcedureKey& a, const ProcedureKey& b) {
        if (a.prefix != b.prefix) return a.prefix < b.prefix;
        const int c = compare_names(procedures_[a.record].name, procedures_[b.record].name);
        return c != 0 ? c < 0 : a.record < b.record;
    });
    return procedure_view_;
}

bool AnalysisModel::block_has_problem(const CommonBlock& block) const {
    return is_problem(block, find_conflicting_procedure(block));
}

const ProcedureEntry* AnalysisModel::find_conflicting_procedure(const CommonBlock& block) const {
    procedure_list();  // sorted first
    const std::uint64_t prefix = name_prefix(block.name);
    // The first key not ordering before the name is the earliest recorded of that name.
    const auto it = std::partition_point(procedure_order_.begin(), procedure_order_.end(),
                                         [&](const ProcedureKey& k) {
                                             if (k.prefix != prefix) return k.prefix < prefix;
                                             return compare_names(procedures_[k.record].name, block.name) < 0;
                                         });
    if (it == procedure_order_.end()) return nullptr;
    const ProcedureEntry& entry = procedures_[it->record];
    return compare_names(entry.name, block.name) == 0 ? &entry : nullptr;
}

const CommonBlock* AnalysisModel::find_block(std::string_view name) const {
    const std::uint32_t found = lookup(name, name_hash(name));
    return found == kNoRecord ? nullptr : &blocks_[found];
}

const FileEntry* AnalysisModel::keep_member_entry(std::unique_ptr<FileEntry> entry) {
    member_entries_.push_back(std::move(entry));
    return member_entries_.back().get();
}

void AnalysisModel::mark_initialized(std::string_view block_name) {
    const std::uint32_t found = lookup(block_name, name_hash(block_name));
    if (found == kNoRecord || current_object.file == nullptr) return;
    const std::string& path = current_object.file->full_path;
    for (const ObjectRef& declaration : blocks_[found].declarations) {
        if (declaration.file == current_object.file ||
            compare_names(declaration.file->full_path, path) == 0) {
            declaration.initialized = true;
            return;
        }
    }
}

bool make_file_entry(std::string_view full_path, std::string_view display_name,
                     std::unique_ptr<FileEntry>& out) {
    out.reset();
    try {
        auto entry = std::make_unique<FileEntry>();
        entry->full_path.assign(full_path);
        entry->display_name.assign(display_name);
        out = std::move(entry);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

bool copy_string(std::string_view text, std::string& out) {
    out.clear();
    try {
        out.assign(text);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    }
}

}  // namespace quorv
