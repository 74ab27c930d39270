#include "engine/model.h"

#include <new>

namespace quorv {

int AnalysisModel::record_common_declaration(std::string_view name, std::uint32_t size) {
    try {
        const ObjectRef declaration{current_object.file, size, false};
        auto found = block_list_.find(name);
        if (found == block_list_.end()) {
            CommonBlock block;
            block.name.assign(name);
            block.declarations.insert(declaration);
            block.sizes_agree = true;
            block_list_.insert(std::move(block));
            return kNewBlock;
        }
        // Declarations are held largest first: a new size differs from some recorded size
        // exactly when it differs from the first one.
        const bool differs = found->declarations.begin()->size != size;
        found->declarations.insert(declaration);
        if (differs) found->sizes_agree = false;
        return kAddedToBlock;
    } catch (const std::bad_alloc&) {
        return kRecordFailed;
    }
}

int AnalysisModel::record_procedure(std::string_view name) {
    try {
        ProcedureEntry entry;
        entry.name.assign(name);
        entry.defining_object = ObjectRef{current_object.file, 0, false};
        procedure_list_.insert(std::move(entry));
        return 0;
    } catch (const std::bad_alloc&) {
        return 1;
    }
}

void AnalysisModel::reset_model() {
    block_list_.clear();
    procedure_list_.clear();
    member_entries_.clear();
    current_object = ObjectRef{};
}

bool AnalysisModel::block_has_problem(const CommonBlock& block) const {
    return !block.sizes_agree || find_conflicting_procedure(block) != nullptr;
}

const ProcedureEntry* AnalysisModel::find_conflicting_procedure(const CommonBlock& block) const {
    // lower_bound of a multiset is the first entry of that name, the earliest recorded.
    auto it = procedure_list_.lower_bound(std::string_view(block.name));
    if (it == procedure_list_.end() || compare_names(it->name, block.name) != 0) return nullptr;
    return &*it;
}

const CommonBlock* AnalysisModel::find_block(std::string_view name) const {
    auto it = block_list_.find(name);
    return it == block_list_.end() ? nullptr : &*it;
}

const FileEntry* AnalysisModel::keep_member_entry(std::unique_ptr<FileEntry> entry) {
    member_entries_.push_back(std::move(entry));
    return member_entries_.back().get();
}

void AnalysisModel::mark_initialized(std::string_view block_name) {
    const CommonBlock* block = find_block(block_name);
    if (block == nullptr || current_object.file == nullptr) return;
    const std::string& path = current_object.file->full_path;
    for (const ObjectRef& declaration : block->declarations) {
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
