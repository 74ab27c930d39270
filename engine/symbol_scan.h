#pragma once
#include "engine/model.h"
#include "engine/object_reader.h"

namespace quorv {

// Symbol record, 18 bytes: 0 Name[8] (Zeroes u32 at 0, Offset u32 at 4) | 8 Value u32
//   12 SectionNumber i16 | 14 Type u16 | 16 StorageClass u8 | 17 NumberOfAuxSymbols u8
inline constexpr std::uint16_t kTypeDerivedMask = 0x30;
inline constexpr std::uint16_t kTypeFunction = 0x20;
inline constexpr std::uint8_t kClassExternal = 2;
inline constexpr std::uint8_t kClassWeakExternal = 105;

// Walks the module's symbol records once into the model for model.current_object.
// 1 when any error was reported or memory ran short, 0 otherwise.
int process_symbol_table(const ModuleWorkingSet& work, AnalysisModel& model);

}  // namespace quorv
