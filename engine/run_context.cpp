#include "engine/run_context.h"

#include "engine/dwarf/common_layouts.h"
#include "engine/messages.h"
#include "engine/text.h"

namespace quorv {

int RunContext::record(const FileEntry& entry, const ModuleFacts& facts, const dwarf::DebugInput& debug,
                       int read_result) {
    int recorded = recorder_.record_module(entry, facts);
    // Debug information is read only for the front ends that show layouts; damage to it is no
    // message of the run, only a note the findings give.
    if (model_.keeps_layouts() && debug.has_info()) {
        std::string reason;
        if (dwarf::read_common_layouts(debug, model_.layout_pool(), layouts_, reason, nullptr, layout_scratch_)) {
            // The model takes the references' contents; the vector's room stays for the next module.
            if (model_.record_layouts(std::move(layouts_)) != 0) recorded = 1;
        } else if (model_.record_debug_problem(reason) != 0) {
            recorded = 1;
        }
    }
    return (read_result != 0 || recorded != 0) ? 1 : 0;
}

int RunContext::read_module(InputStream& stream, const FileEntry& entry, std::uint32_t base, std::uint64_t end,
                            ModuleKind kind) {
    const Diagnostics::InputScope scope(diagnostics_, &entry);
    switch (kind) {
        case ModuleKind::ShortImport:
            return 0;
        case ModuleKind::OtherCode:
            diagnostics_.report(compose(msg::kNotObjectModule, entry.full_path.c_str()));
            return 0;
        case ModuleKind::Elf: {
            elf_.read_debug = model_.keeps_layouts();
            const int result = read_elf_module(diagnostics_, stream, entry, base, end, elf_);
            if (elf_.skipped) return result;
            return record(entry, elf_.facts, elf_.debug, result);
        }
        case ModuleKind::BigObject:
        case ModuleKind::Coff: {
            const CoffVariant variant = kind == ModuleKind::BigObject ? CoffVariant::BigObject : CoffVariant::Regular;
            coff_.read_debug = model_.keeps_layouts();
            const int result = read_object_module(diagnostics_, stream, entry, base, coff_, variant);
            return record(entry, coff_.facts, coff_.debug, result);
        }
    }
    return 0;
}

}  // namespace quorv
