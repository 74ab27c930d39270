#include "engine/probe.h"

#include <algorithm>
#include <cstring>

#include "engine/byte_order.h"
#include "engine/coff_layout.h"

namespace quorv {
namespace {

bool starts_with(std::span<const std::uint8_t> bytes, std::span<const std::uint8_t> prefix) {
    return bytes.size() >= prefix.size() && std::equal(prefix.begin(), prefix.end(), bytes.begin());
}

constexpr std::uint8_t kElfMagic[] = {0x7F, 'E', 'L', 'F'};
// LLVM bitcode, bare and in its wrapper.
constexpr std::uint8_t kBitcode[] = {'B', 'C', 0xC0, 0xDE};
constexpr std::uint8_t kBitcodeWrapper[] = {0xDE, 0xC0, 0x17, 0x0B};

// Import members and big objects open with 00 00 FF FF; the Version field tells them apart.
ModuleKind probe_anonymous(std::span<const std::uint8_t> first) {
    using namespace coff;
    // Without the Version field it is read as a COFF object (and fails as one).
    if (first.size() < kAnonymousVersionOffset + 2) return ModuleKind::Coff;
    const std::uint16_t version = read_u16le(first.data() + kAnonymousVersionOffset);
    if (version == kShortImportVersion) return ModuleKind::ShortImport;
    if (version == kBigObjectVersion && first.size() >= kBigClassIdOffset + sizeof kBigObjectClassId &&
        std::memcmp(first.data() + kBigClassIdOffset, kBigObjectClassId, sizeof kBigObjectClassId) == 0)
        return ModuleKind::BigObject;
    return ModuleKind::OtherCode;
}

}  // namespace

ModuleKind probe_module(std::span<const std::uint8_t> first) {
    if (starts_with(first, coff::kAnonymousSignature)) return probe_anonymous(first);
    if (starts_with(first, kBitcode) || starts_with(first, kBitcodeWrapper)) return ModuleKind::OtherCode;
    if (starts_with(first, kElfMagic)) return ModuleKind::Elf;
    return ModuleKind::Coff;
}

}  // namespace quorv
