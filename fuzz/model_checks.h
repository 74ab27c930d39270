#pragma once
// What must hold of the model after any read, however damaged the input: every record
// names a module, names are zero-free texts no longer than the input, decorated names are
// never procedures of COFF modules (in ELF, "name@version" is a procedure like any other),
// and a block's sizes_agree says whether its declarations agree.
#include <cstddef>
#include <cstdint>
#include <string_view>

#include "engine/model.h"
#include "fuzz/checking_sink.h"

namespace quorv::fuzz {

inline bool plain_name(std::string_view name, std::size_t input_size) {
    return name.size() <= input_size && name.find('\0') == std::string_view::npos;
}

// Whether an ELF module may stand anywhere in the input: its magic appears in it.
inline bool may_hold_elf(const std::uint8_t* data, std::size_t size) {
    return std::string_view(reinterpret_cast<const char*>(data), size)
               .find(
                   "\x7F"
                   "ELF") != std::string_view::npos;
}

inline void check_model(const AnalysisModel& model, const std::uint8_t* data, std::size_t input_size) {
    const bool elf = may_hold_elf(data, input_size);
    for (const CommonBlock& block : model.block_list()) {
        require(plain_name(block.name, input_size), "block name not a text of the input");
        require(!block.declarations.empty(), "block without declarations");
        bool agree = true;
        for (const ObjectRef& d : block.declarations) {
            require(d.file != nullptr, "declaration without module");
            agree = agree && d.size == block.declarations.begin()->size;
        }
        require(agree == block.sizes_agree, "sizes_agree disagrees with the declarations");
    }
    for (const ProcedureEntry& p : model.procedure_list()) {
        require(plain_name(p.name, input_size), "procedure name not a text of the input");
        require(elf || p.name.find('@') == std::string::npos, "decorated name recorded as procedure");
        require(p.defining_object.file != nullptr, "procedure without module");
    }
}

}  // namespace quorv::fuzz
