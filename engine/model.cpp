#include "engine/model.h"

#include <algorithm>
#include <cstring>
#include <new>

#include "engine/model_walks.h"

namespace quorv {

AnalysisModel::AnalysisModel() : block_view_(blocks_, block_order_), procedure_view_(procedures_, procedure_order_) {}

std::uint32_t AnalysisModel::lookup(std::string_view name, std::uint64_t hash) const {
    return index_.find(name, hash, [this](std::uint32_t record) { return block_name(record); });
}

void AnalysisModel::fetch_block(std::uint64_t hash) const {
    const std::uint32_t record = index_.first_probe(hash);
    if (record != BlockIndex::kNoRecord) fetch_line(&blocks_[record]);
}

void AnalysisModel::fetch_declarations(std::uint64_t hash) const {
    const std::uint32_t record = index_.first_probe(hash);
    if (record == BlockIndex::kNoRecord) return;
    const CommonBlock& block = blocks_[record];
    if (!block.declarations.empty()) fetch_line(&block.declarations.back());
}

int AnalysisModel::add_block(std::string_view name, const ObjectRef& declaration, std::uint64_t hash) {
    // Every allocation comes before the block is linked in: a failure adds nothing.
    index_.make_room(blocks_.size(), [this](std::uint32_t record) { return block_name(record); });
    block_order_.reserve_one_more();
    // Record numbers beyond 32 bits could not be held in the index.
    if (blocks_.size() >= 0xFFFFFFFEu) return kRecordFailed;
    const bool fits = name.size() <= sizeof(CommonBlock::short_name);
    const std::string_view kept = fits ? std::string_view() : names_.keep(name);
    DeclarationList first;
    first.reserve(4);  // see the growth rule in add_declaration
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
    block.record = record;
    block.sizes_agree = true;
    index_.insert(record, hash);
    block_order_.append(NameKey{name_prefix(name), record});
    return kNewBlock;
}

int AnalysisModel::add_declaration(CommonBlock& block, const ObjectRef& declaration) {
    DeclarationList& list = block.declarations;
    // Declarations are held largest first: a new size differs from some recorded size
    // exactly when it differs from the first one.
    const bool differs = list.front().size != declaration.size;
    // A block met in many modules grows its list often: start at four, then double.
    if (list.size() == list.capacity()) list.reserve(std::max<std::size_t>(4, 2 * list.capacity()));
    // After every declaration that does not order after it; usually that is the end.
    auto at = list.end();
    const bool known_last = path_after_all_ && list.back().size == declaration.size;
    if (!known_last && DeclarationOrder{}(declaration, list.back()))
        at = std::upper_bound(list.begin(), list.end(), declaration, DeclarationOrder{});
    list.insert(at, declaration);
    if (differs) block.sizes_agree = false;
    return kAddedToBlock;
}

int AnalysisModel::record_common_declaration(std::string_view name, std::uint64_t size) {
    return record_declaration(name, size, BlockIndex::hash(name));
}

int AnalysisModel::record_declaration(std::string_view name, std::uint64_t size, std::uint64_t hash) {
    try {
        const ObjectRef declaration{current_object.file, size, false};
        const std::uint32_t found = lookup(name, hash);
        if (current_object.file != declaring_module_) note_declaring_module();
        if (found == BlockIndex::kNoRecord) return add_block(name, declaration, hash);
        return add_declaration(blocks_[found], declaration);
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
        procedure_order_.reserve_one_more();
        ProcedureEntry entry;
        entry.name = names_.keep(name);
        entry.defining_object = ObjectRef{current_object.file, 0, false};
        const auto record = static_cast<std::uint32_t>(procedures_.size());
        procedures_.push_back(std::move(entry));
        procedure_order_.append(NameKey{name_prefix(name), record});
        return 0;
    } catch (const std::bad_alloc&) {
        return 1;
    }
}

void AnalysisModel::mark_initialized(std::string_view block_name) {
    const std::uint32_t found = lookup(block_name, BlockIndex::hash(block_name));
    if (found == BlockIndex::kNoRecord || current_object.file == nullptr) return;
    const std::string& path = current_object.file->full_path;
    for (ObjectRef& declaration : blocks_[found].declarations) {
        if (declaration.file == current_object.file || compare_names(declaration.file->full_path, path) == 0) {
            declaration.initialized = true;
            return;
        }
    }
}

int AnalysisModel::record_definition(std::string_view name, std::uint64_t size, bool size_exact) {
    if (!keep_definitions_) return 0;
    try {
        definitions_.add(block_record(name), name, Definition{current_object.file, size, size_exact}, names_);
        return 0;
    } catch (const std::bad_alloc&) {
        return 1;
    }
}

int AnalysisModel::record_layouts(std::vector<dwarf::CommonLayout>&& layouts) {
    if (!keep_layouts_) return 0;
    try {
        std::vector<dwarf::LayoutRef> refs;
        refs.reserve(layouts.size());
        for (dwarf::CommonLayout& layout : layouts) {
            dwarf::LayoutRef& ref = refs.emplace_back();
            ref.file = std::move(layout.file);
            ref.line = layout.line;
            ref.layout = layout_pool_.share(std::move(layout));
        }
        return record_layouts(std::move(refs));
    } catch (const std::bad_alloc&) {
        return 1;
    }
}

int AnalysisModel::record_layouts(std::vector<dwarf::LayoutRef>&& layouts) {
    if (!keep_layouts_) return 0;
    try {
        for (dwarf::LayoutRef& ref : layouts) {
            const std::string_view symbol = ref.layout->symbol;
            layouts_.add(block_record(symbol), symbol,
                         ModuleLayout{current_object.file, ref.layout, std::move(ref.file), ref.line}, names_);
        }
        return 0;
    } catch (const std::bad_alloc&) {
        return 1;
    }
}

int AnalysisModel::record_debug_problem(std::string_view reason) {
    if (!keep_layouts_) return 0;
    try {
        debug_problems_.push_back(DebugProblem{current_object.file, std::string(reason)});
        return 0;
    } catch (const std::bad_alloc&) {
        return 1;
    }
}

void AnalysisModel::reset_model() {
    blocks_.clear();
    procedures_.clear();
    index_.clear();
    names_.clear();
    block_order_.clear();
    procedure_order_.clear();
    member_entries_.clear();
    definitions_.clear();
    layouts_.clear();
    layout_pool_.clear();
    debug_problems_.clear();
    current_object = ObjectRef{};
    declaring_module_ = nullptr;
    greatest_path_ = nullptr;
    path_after_all_ = false;
}

void AnalysisModel::put_in_order() {
    const auto lookup_block = [this](std::string_view name) { return block_record(name); };
    definitions_.attach(blocks_.size(), lookup_block);
    layouts_.attach(blocks_.size(), lookup_block);
    block_order_.put_in_order([this](const NameKey& a, const NameKey& b) {
        if (a.prefix != b.prefix) return a.prefix < b.prefix;
        return compare_names(blocks_[a.record].name, blocks_[b.record].name) < 0;
    });
    // Equal names stay in recording order: the record number breaks the tie.
    procedure_order_.put_in_order([this](const NameKey& a, const NameKey& b) {
        if (a.prefix != b.prefix) return a.prefix < b.prefix;
        const int c = compare_names(procedures_[a.record].name, procedures_[b.record].name);
        return c != 0 ? c < 0 : a.record < b.record;
    });
}

bool AnalysisModel::block_has_problem(const CommonBlock& block) const {
    return is_problem(block, find_conflicting_procedure(block));
}

const ProcedureEntry* AnalysisModel::find_conflicting_procedure(const CommonBlock& block) const {
    const std::uint64_t prefix = name_prefix(block.name);
    const std::vector<NameKey>& keys = procedure_order_.keys();
    // The first key not ordering before the name is the earliest recorded of that name.
    const auto it = std::partition_point(keys.begin(), keys.end(), [&](const NameKey& k) {
        if (k.prefix != prefix) return k.prefix < prefix;
        return compare_names(procedures_[k.record].name, block.name) < 0;
    });
    if (it == keys.end()) return nullptr;
    const ProcedureEntry& entry = procedures_[it->record];
    return compare_names(entry.name, block.name) == 0 ? &entry : nullptr;
}

const CommonBlock* AnalysisModel::find_block(std::string_view name) const {
    const std::uint32_t found = lookup(name, BlockIndex::hash(name));
    return found == BlockIndex::kNoRecord ? nullptr : &blocks_[found];
}

const FileEntry* AnalysisModel::keep_member_entry(std::unique_ptr<FileEntry> entry) {
    member_entries_.push_back(std::move(entry));
    return member_entries_.back().get();
}

}  // namespace quorv
