#pragma once
// Every text the engine, and the file list that quorv-check shares with the window, hands
// to a diagnostics sink: one catalogue, used where the texts are reported, by the fuzz
// checks and by the tests. Patterns are printf-style; the texts are the system's own, byte
// for byte, trailing line feeds included.
#include <string_view>

namespace quorv::msg {

// checked_read
inline constexpr char kFreadFailed[] = "QUORV Internal: fread failed in %s";
inline constexpr char kFreadShort[] = "QUORV Internal: fread returned %llu bytes (%llu expected). [%s]";

// file and optional header
inline constexpr char kFileHeaderRead[] = "Error reading file header\n";
inline constexpr char kBadTimeStamp[] = "Error - bad file header time stamp\n";
inline constexpr char kBadMachine[] = "Error - bad file header machine value\n";
inline constexpr char kBadOptionalHeaderSize[] =
    "QUORV Internal: bad optional header size of %d (expecting %d or %d)\n";
inline constexpr char kOptionalHeaderRead[] = "QUORV Internal:  error reading optional header\n";
inline constexpr char kBadSubsystem[] = "QUORV Internal: bad optional header subsystem value\n";
inline constexpr char kOptionalHeaderFailed[] = "Could not process optional header (file %s)";
inline constexpr char kBadElfHeader[] = "Error - bad ELF file header\n";

// section table
inline constexpr char kSectionTableMemory[] = "QUORV Internal: calloc failed for %u section headers\n";
inline constexpr char kSectionHeadersRead[] = "Error reading section headers\n";

// string table
inline constexpr char kStringTableSeek[] = "Error seeking to start of string table at file address %x\n";
inline constexpr char kStringTableSizeRead[] = "Error reading string table size\n";
inline constexpr char kBadStringTableSize[] = "Bad string table size\n";
inline constexpr char kStringTableMemory[] = "Malloc of buffer for string table failed\n";
inline constexpr char kStringTableRead[] = "Read of string table failed\n";

// symbol table
inline constexpr char kSymbolTableMemory[] = "\nError: Unable to allocate %llu byte buffer to hold symbol table\n";
inline constexpr char kSymbolTableSeek[] = "Error seeking to symbol table\n";
inline constexpr char kSymbolTableRead[] = "Error reading symbol table\n";

// overlap checks, in the order of the nine tests of a pair of sections
inline constexpr char kRawRawOverlap[] = "Object Format Error: Raw data overlap between sections %x and %x\n";
inline constexpr char kRawRelocOverlap[] = "Object Format Error: Section %x raw data overlaps section %x relocations\n";
inline constexpr char kRawLineOverlap[] = "Object Format Error: Section %x raw data overlaps section %x line numbers\n";
inline constexpr char kRelocRawOverlap[] = "Object Format Error: Section %x relocations overlap section %x raw data\n";
inline constexpr char kRelocRelocOverlap[] = "Object Format Error: Relocations overlap for sections %x and %x\n";
inline constexpr char kRelocLineOverlap[] =
    "Object Format Error: Section %x relocations overlap section %x line numbers\n";
inline constexpr char kLineRawOverlap[] = "Object Format Error: Section %x line numbers overlap section %x raw data\n";
inline constexpr char kLineRelocOverlap[] =
    "Object Format Error: Section %x line numbers overlap section %x relocations\n";
inline constexpr char kLineLineOverlap[] = "Object Format Error: Line numbers overlap for sections %x and %x\n";

// symbol scan
inline constexpr char kNameOutsideStrings[] = "QUORV Internal: name offset %8x is outside string table";
inline constexpr char kSectionOutOfRange[] = "Error: Section number is out of range\n";
inline constexpr char kAuxOverflow[] = "Error:  Aux symbol count overflows symbol table\n";
inline constexpr char kDataInitializedMemory[] = "Could not allocate DATAINITIALIZED\n";

// the run, classification and the archive walks
inline constexpr char kCannotOpen[] = "Cannot open file: %s";
inline constexpr char kSignatureRead[] = "Error reading file signature\n";
inline constexpr char kNotObject[] = "The file %s is not an object file.";
inline constexpr char kNotObjectModule[] =
    "The file %s holds link-time-optimization or other code that is not an object module; "
    "its COMMON blocks cannot be read.";
inline constexpr char kSeekStart[] = "Error seeking to start of file\n";
inline constexpr char kSeekStartOfHeader[] = "Error seeking to start of file header\n";
inline constexpr char kLibrarySymbolCount[] = "Error with number of symbols in library\n";
inline constexpr char kLibraryMemberCount[] = "Error reading number of members in library\n";
inline constexpr char kLibraryMembers[] = "Error reading library members";

// the file list
inline constexpr char kAlreadyOnList[] = "%s is already on the list";
inline constexpr char kRemoveTooMany[] = "Internal Error:  Number of files less than number selected for removal";
inline constexpr char kRemoveOrder[] = "Internal Error:  Invalid assumption regarding order of remove-file selection.";
inline constexpr char kRemoveWalkedOff[] = "Internal Error:  walked off fileNames list during REMOVE operation";

// the result views
inline constexpr char kNoFiles[] = "There are no files to analyze.\nClick the \"Add Files\" button.";
inline constexpr char kBlockNotFound[] = "COMMON block %s not found.";
inline constexpr char kConflict[] = "Common block name \"%s\"conflicts with procedure \"%s\" defined in %s.";

// Every text a run over the file list can report (the engine's and "already on the list"):
// the fuzz targets and the hostile-input tests hold each reported text against these.
inline constexpr std::string_view kRunMessagePatterns[] = {
    kFreadFailed,        kFreadShort,          kFileHeaderRead,
    kBadTimeStamp,       kBadMachine,          kBadOptionalHeaderSize,
    kOptionalHeaderRead, kBadSubsystem,        kOptionalHeaderFailed,
    kBadElfHeader,       kSectionTableMemory,  kSectionHeadersRead,
    kStringTableSeek,    kStringTableSizeRead, kBadStringTableSize,
    kStringTableMemory,  kStringTableRead,     kSymbolTableMemory,
    kSymbolTableSeek,    kSymbolTableRead,     kRawRawOverlap,
    kRawRelocOverlap,    kRawLineOverlap,      kRelocRawOverlap,
    kRelocRelocOverlap,  kRelocLineOverlap,    kLineRawOverlap,
    kLineRelocOverlap,   kLineLineOverlap,     kNameOutsideStrings,
    kSectionOutOfRange,  kAuxOverflow,         kDataInitializedMemory,
    kCannotOpen,         kSignatureRead,       kNotObject,
    kNotObjectModule,    kSeekStart,           kSeekStartOfHeader,
    kLibrarySymbolCount, kLibraryMemberCount,  kLibraryMembers,
    kAlreadyOnList,
};

}  // namespace quorv::msg
