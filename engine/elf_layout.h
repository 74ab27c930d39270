#pragma once
// The ELF object layout: the header, section header and symbol fields the reader uses, for
// both classes (32- and 64-bit) and both byte orders.
#include <cstddef>
#include <cstdint>

#include "engine/byte_order.h"

namespace quorv::elf {

inline constexpr std::uint8_t kMagic[4] = {0x7F, 'E', 'L', 'F'};
// e_ident: 4 EI_CLASS (1 32-bit, 2 64-bit) | 5 EI_DATA (1 little-endian, 2 big-endian)
inline constexpr std::size_t kClassOffset = 4;
inline constexpr std::size_t kDataOffset = 5;
inline constexpr std::uint8_t kClass32 = 1;
inline constexpr std::uint8_t kClass64 = 2;
inline constexpr std::uint8_t kDataLsb = 1;
inline constexpr std::uint8_t kDataMsb = 2;

// Header: 16 e_ident | 16 e_type u16 | 18 e_machine u16 | 20 e_version u32, then by class
//   ELF32 (52 bytes): 32 e_shoff u32 | 46 e_shentsize u16 | 48 e_shnum u16 | 50 e_shstrndx u16
//   ELF64 (64 bytes): 40 e_shoff u64 | 58 e_shentsize u16 | 60 e_shnum u16 | 62 e_shstrndx u16
inline constexpr std::size_t kHeaderSize32 = 52;
inline constexpr std::size_t kHeaderSize64 = 64;
inline constexpr std::size_t kTypeOffset = 16;
inline constexpr std::size_t kMachineOffset = 18;

inline constexpr std::uint16_t kTypeExecutable = 2;
inline constexpr std::uint16_t kTypeShared = 3;
inline constexpr std::uint16_t kTypeCore = 4;
inline constexpr std::uint16_t kMachine386 = 3;
inline constexpr std::uint16_t kMachinePpc = 20;
inline constexpr std::uint16_t kMachinePpc64 = 21;
inline constexpr std::uint16_t kMachineS390 = 22;
inline constexpr std::uint16_t kMachineX86_64 = 62;
inline constexpr std::uint16_t kMachineAarch64 = 183;

// Section header: 0 sh_name u32 | 4 sh_type u32 | 8 sh_flags (address-sized), then by class
//   ELF32 (40 bytes): 16 sh_offset | 20 sh_size | 24 sh_link | 28 sh_info | 36 sh_entsize (all u32)
//   ELF64 (64 bytes): 24 sh_offset u64 | 32 sh_size u64 | 40 sh_link u32 | 44 sh_info u32
//                     | 56 sh_entsize u64
// Relocations: r_offset, r_info (ELF32: symbol << 8 | type; ELF64: symbol << 32 | type), and
// in RELA a signed r_addend, each address-sized.
inline constexpr std::size_t kSectionHeaderSize32 = 40;
inline constexpr std::size_t kSectionHeaderSize64 = 64;
inline constexpr std::uint32_t kSectionSymtab = 2;
inline constexpr std::uint32_t kSectionStrtab = 3;
inline constexpr std::uint32_t kSectionRela = 4;
inline constexpr std::uint32_t kSectionNobits = 8;
inline constexpr std::uint32_t kSectionRel = 9;
inline constexpr std::uint64_t kSectionCompressed = 0x800;

// Symbol: 0 st_name u32, then by class
//   ELF32 (16 bytes): 4 st_value u32 | 8 st_size u32 | 12 st_info | 13 st_other | 14 st_shndx u16
//   ELF64 (24 bytes): 4 st_info | 5 st_other | 6 st_shndx u16 | 8 st_value u64 | 16 st_size u64
// st_info: binding in the upper four bits, type in the lower four.
inline constexpr std::size_t kSymbolSize32 = 16;
inline constexpr std::size_t kSymbolSize64 = 24;

inline constexpr std::uint16_t kSectionUndefined = 0;
inline constexpr std::uint16_t kSectionX86_64LargeCommon = 0xFF02;
inline constexpr std::uint16_t kSectionAbsolute = 0xFFF1;
inline constexpr std::uint16_t kSectionCommon = 0xFFF2;
inline constexpr std::uint16_t kSectionExtended = 0xFFFF;

inline constexpr std::uint8_t kTypeObject = 1;
inline constexpr std::uint8_t kTypeFunction = 2;
inline constexpr std::uint8_t kTypeTls = 6;
inline constexpr std::uint8_t kTypeGnuIfunc = 10;
inline constexpr std::uint8_t kBindGlobal = 1;
inline constexpr std::uint8_t kBindWeak = 2;
inline constexpr std::uint8_t kBindGnuUnique = 10;

// Fields of one module, read in its class and byte order.
struct Layout {
    bool is64 = true;
    bool big_endian = false;

    std::uint16_t u16(const std::uint8_t* p) const { return big_endian ? read_u16be(p) : read_u16le(p); }
    std::uint32_t u32(const std::uint8_t* p) const { return big_endian ? read_u32be(p) : read_u32le(p); }
    std::uint64_t u64(const std::uint8_t* p) const { return big_endian ? read_u64be(p) : read_u64le(p); }
    // An address-sized field: 4 bytes in ELF32, 8 in ELF64.
    std::uint64_t word(const std::uint8_t* p) const { return is64 ? u64(p) : u32(p); }

    std::size_t header_size() const { return is64 ? kHeaderSize64 : kHeaderSize32; }
    std::size_t section_header_size() const { return is64 ? kSectionHeaderSize64 : kSectionHeaderSize32; }
    std::size_t symbol_size() const { return is64 ? kSymbolSize64 : kSymbolSize32; }
};

}  // namespace quorv::elf
