#pragma once
// The COFF object layout, named once: the engine reads it, and the test builder, the
// hostile-input tests and the benchmark generator write it. All fields little-endian.
#include <cstddef>
#include <cstdint>

namespace quorv::coff {

// File header, 20 bytes at the module's base:
//   0 Machine u16 | 2 NumberOfSections u16 | 4 TimeDateStamp u32 | 8 PointerToSymbolTable u32
//   12 NumberOfSymbols u32 | 16 SizeOfOptionalHeader u16 | 18 Characteristics u16
inline constexpr std::size_t kFileHeaderSize = 20;
inline constexpr std::size_t kMachineOffset = 0;
inline constexpr std::size_t kNumberOfSectionsOffset = 2;
inline constexpr std::size_t kTimeDateStampOffset = 4;
inline constexpr std::size_t kPointerToSymbolTableOffset = 8;
inline constexpr std::size_t kNumberOfSymbolsOffset = 12;
inline constexpr std::size_t kSizeOfOptionalHeaderOffset = 16;

// Optional header: 28 bytes (standard fields) or 224 (32-bit image); only Subsystem is read.
inline constexpr std::uint16_t kOptionalHeaderStandard = 28;
inline constexpr std::uint16_t kOptionalHeaderImage32 = 224;
inline constexpr std::size_t kSubsystemOffset = 68;

// Section header, 40 bytes:
//   0 Name[8] | 8 VirtualSize | 12 VirtualAddress | 16 SizeOfRawData | 20 PointerToRawData
//   24 PointerToRelocations | 28 PointerToLinenumbers | 32 NumberOfRelocations u16
//   34 NumberOfLinenumbers u16 | 36 Characteristics
inline constexpr std::size_t kSectionHeaderSize = 40;
inline constexpr std::size_t kSectionNameOffset = 0;
inline constexpr std::size_t kSectionNameSize = 8;
inline constexpr std::size_t kSizeOfRawDataOffset = 16;
inline constexpr std::size_t kPointerToRawDataOffset = 20;
inline constexpr std::size_t kPointerToRelocationsOffset = 24;
inline constexpr std::size_t kPointerToLinenumbersOffset = 28;
inline constexpr std::size_t kNumberOfRelocationsOffset = 32;
inline constexpr std::size_t kNumberOfLinenumbersOffset = 34;
inline constexpr std::size_t kSectionCharacteristicsOffset = 36;
// Relocation, 10 bytes: 0 VirtualAddress u32 | 4 SymbolTableIndex u32 | 8 Type u16. The
// addend is the field's own bytes.
inline constexpr std::uint32_t kRelocationSize = 10;
inline constexpr std::uint16_t kMachineI386 = 0x014C;
inline constexpr std::uint16_t kMachineAmd64 = 0x8664;
inline constexpr std::uint16_t kRelI386Dir32 = 0x0006;
inline constexpr std::uint16_t kRelI386Secrel = 0x000B;
inline constexpr std::uint16_t kRelAmd64Addr64 = 0x0001;
inline constexpr std::uint16_t kRelAmd64Addr32 = 0x0002;
inline constexpr std::uint16_t kRelAmd64Secrel = 0x000B;
inline constexpr std::uint32_t kLinenumberSize = 6;

// Symbol record, 18 bytes: 0 Name[8] (Zeroes u32 at 0, Offset u32 at 4) | 8 Value u32
//   12 SectionNumber i16 | 14 Type u16 | 16 StorageClass u8 | 17 NumberOfAuxSymbols u8
inline constexpr std::size_t kSymbolRecordSize = 18;
inline constexpr std::size_t kSymbolNameSize = 8;
inline constexpr std::size_t kSymbolNameOffsetOffset = 4;
inline constexpr std::size_t kSymbolValueOffset = 8;
inline constexpr std::size_t kSymbolSectionOffset = 12;
inline constexpr std::size_t kSymbolTypeOffset = 14;
inline constexpr std::size_t kSymbolClassOffset = 16;
inline constexpr std::size_t kSymbolAuxCountOffset = 17;

inline constexpr std::uint16_t kTypeDerivedMask = 0x30;
inline constexpr std::uint16_t kTypeFunction = 0x20;
inline constexpr std::uint8_t kClassExternal = 2;
inline constexpr std::uint8_t kClassWeakExternal = 105;

// Big object header, 56 bytes: 0 Sig1 u16 (0) | 2 Sig2 u16 (0xFFFF) | 4 Version u16 (2)
//   6 Machine u16 | 8 TimeDateStamp u32 | 12 ClassID[16] | 28 SizeOfData | 32 Flags
//   36 MetaDataSize | 40 MetaDataOffset | 44 NumberOfSections u32 | 48 PointerToSymbolTable
//   52 NumberOfSymbols u32. The section table follows; there is no optional header.
// Short import members of import libraries share the first four bytes, with Version 0.
inline constexpr std::size_t kBigHeaderSize = 56;
inline constexpr std::uint8_t kAnonymousSignature[4] = {0x00, 0x00, 0xFF, 0xFF};
inline constexpr std::size_t kAnonymousVersionOffset = 4;
inline constexpr std::uint16_t kShortImportVersion = 0;
inline constexpr std::uint16_t kBigObjectVersion = 2;
inline constexpr std::size_t kBigMachineOffset = 6;
inline constexpr std::size_t kBigTimeDateStampOffset = 8;
inline constexpr std::size_t kBigClassIdOffset = 12;
inline constexpr std::uint8_t kBigObjectClassId[16] = {0xC7, 0xA1, 0xBA, 0xD1, 0xEE, 0xBA, 0xA9, 0x4B,
                                                       0xAF, 0x20, 0xFA, 0xF6, 0x6A, 0xA4, 0xDC, 0xB8};
inline constexpr std::size_t kBigNumberOfSectionsOffset = 44;
inline constexpr std::size_t kBigPointerToSymbolTableOffset = 48;
inline constexpr std::size_t kBigNumberOfSymbolsOffset = 52;

// Big object symbol record, 20 bytes: 0 Name[8] | 8 Value u32 | 12 SectionNumber i32
//   16 Type u16 | 18 StorageClass u8 | 19 NumberOfAuxSymbols u8
inline constexpr std::size_t kBigSymbolRecordSize = 20;
inline constexpr std::size_t kBigSymbolTypeOffset = 16;
inline constexpr std::size_t kBigSymbolClassOffset = 18;
inline constexpr std::size_t kBigSymbolAuxCountOffset = 19;

// The string table follows the symbol table: a u32 total size that counts itself, then
// zero-terminated names; a long name's Offset counts from the size field.
inline constexpr std::size_t kStringTableSizeField = 4;

}  // namespace quorv::coff
