#pragma once
// The probe table: what a module is, decided by its first bytes alone. Whole files and
// archive members go through the same probes; a file is first tested for the executable
// and archive signatures (engine/run.cpp).
#include <cstddef>
#include <cstdint>
#include <span>

namespace quorv {

enum class ModuleKind {
    Coff,         // a COFF object, the reading when nothing else matches
    BigObject,    // the COFF variant with a 56-byte header and 20-byte symbol records
    ShortImport,  // an import library's short import member: holds no COMMON block
    OtherCode,    // link-time-optimization code or another variant: cannot be read
    Elf,          // an ELF object
};

// How many first bytes the probes look at; fewer may be given when the module is shorter.
inline constexpr std::size_t kProbeBytes = 28;

ModuleKind probe_module(std::span<const std::uint8_t> first);

}  // namespace quorv
