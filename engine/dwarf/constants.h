#pragma once
// The DWARF codes the reader knows: tags, attributes, forms, base-type encodings, languages
// and the location operations of a COMMON member.
#include <cstdint>

namespace quorv::dwarf {

namespace tag {
inline constexpr std::uint64_t kArrayType = 0x01;
inline constexpr std::uint64_t kClassType = 0x02;
inline constexpr std::uint64_t kEnumerationType = 0x04;
inline constexpr std::uint64_t kMember = 0x0d;
inline constexpr std::uint64_t kPointerType = 0x0f;
inline constexpr std::uint64_t kReferenceType = 0x10;
inline constexpr std::uint64_t kCompileUnit = 0x11;
inline constexpr std::uint64_t kStringType = 0x12;
inline constexpr std::uint64_t kStructureType = 0x13;
inline constexpr std::uint64_t kTypedef = 0x16;
inline constexpr std::uint64_t kUnionType = 0x17;
inline constexpr std::uint64_t kCommonBlock = 0x1a;
inline constexpr std::uint64_t kSubrangeType = 0x21;
inline constexpr std::uint64_t kBaseType = 0x24;
inline constexpr std::uint64_t kConstType = 0x26;
inline constexpr std::uint64_t kPackedType = 0x2d;
inline constexpr std::uint64_t kSubprogram = 0x2e;
inline constexpr std::uint64_t kVariable = 0x34;
inline constexpr std::uint64_t kVolatileType = 0x35;
inline constexpr std::uint64_t kRestrictType = 0x37;
inline constexpr std::uint64_t kSharedType = 0x40;
inline constexpr std::uint64_t kRvalueReferenceType = 0x42;
inline constexpr std::uint64_t kAtomicType = 0x47;
inline constexpr std::uint64_t kImmutableType = 0x4b;
}  // namespace tag

namespace at {
inline constexpr std::uint64_t kLocation = 0x02;
inline constexpr std::uint64_t kName = 0x03;
inline constexpr std::uint64_t kByteSize = 0x0b;
inline constexpr std::uint64_t kStmtList = 0x10;
inline constexpr std::uint64_t kLanguage = 0x13;
inline constexpr std::uint64_t kStringLength = 0x19;
inline constexpr std::uint64_t kCompDir = 0x1b;
inline constexpr std::uint64_t kLowerBound = 0x22;
inline constexpr std::uint64_t kUpperBound = 0x2f;
inline constexpr std::uint64_t kCount = 0x37;
inline constexpr std::uint64_t kDataMemberLocation = 0x38;
inline constexpr std::uint64_t kDeclFile = 0x3a;
inline constexpr std::uint64_t kDeclLine = 0x3b;
inline constexpr std::uint64_t kDeclaration = 0x3c;
inline constexpr std::uint64_t kEncoding = 0x3e;
inline constexpr std::uint64_t kType = 0x49;
inline constexpr std::uint64_t kStrOffsetsBase = 0x72;
}  // namespace at

namespace form {
inline constexpr std::uint64_t kAddr = 0x01;
inline constexpr std::uint64_t kBlock2 = 0x03;
inline constexpr std::uint64_t kBlock4 = 0x04;
inline constexpr std::uint64_t kData2 = 0x05;
inline constexpr std::uint64_t kData4 = 0x06;
inline constexpr std::uint64_t kData8 = 0x07;
inline constexpr std::uint64_t kString = 0x08;
inline constexpr std::uint64_t kBlock = 0x09;
inline constexpr std::uint64_t kBlock1 = 0x0a;
inline constexpr std::uint64_t kData1 = 0x0b;
inline constexpr std::uint64_t kFlag = 0x0c;
inline constexpr std::uint64_t kSdata = 0x0d;
inline constexpr std::uint64_t kStrp = 0x0e;
inline constexpr std::uint64_t kUdata = 0x0f;
inline constexpr std::uint64_t kRefAddr = 0x10;
inline constexpr std::uint64_t kRef1 = 0x11;
inline constexpr std::uint64_t kRef2 = 0x12;
inline constexpr std::uint64_t kRef4 = 0x13;
inline constexpr std::uint64_t kRef8 = 0x14;
inline constexpr std::uint64_t kRefUdata = 0x15;
inline constexpr std::uint64_t kIndirect = 0x16;
inline constexpr std::uint64_t kSecOffset = 0x17;
inline constexpr std::uint64_t kExprloc = 0x18;
inline constexpr std::uint64_t kFlagPresent = 0x19;
inline constexpr std::uint64_t kStrx = 0x1a;
inline constexpr std::uint64_t kAddrx = 0x1b;
inline constexpr std::uint64_t kRefSup4 = 0x1c;
inline constexpr std::uint64_t kStrpSup = 0x1d;
inline constexpr std::uint64_t kData16 = 0x1e;
inline constexpr std::uint64_t kLineStrp = 0x1f;
inline constexpr std::uint64_t kRefSig8 = 0x20;
inline constexpr std::uint64_t kImplicitConst = 0x21;
inline constexpr std::uint64_t kLoclistx = 0x22;
inline constexpr std::uint64_t kRnglistx = 0x23;
inline constexpr std::uint64_t kRefSup8 = 0x24;
inline constexpr std::uint64_t kStrx1 = 0x25;
inline constexpr std::uint64_t kStrx2 = 0x26;
inline constexpr std::uint64_t kStrx3 = 0x27;
inline constexpr std::uint64_t kStrx4 = 0x28;
inline constexpr std::uint64_t kAddrx1 = 0x29;
inline constexpr std::uint64_t kAddrx2 = 0x2a;
inline constexpr std::uint64_t kAddrx3 = 0x2b;
inline constexpr std::uint64_t kAddrx4 = 0x2c;
// GNU extensions of split and supplementary debug information.
inline constexpr std::uint64_t kGnuAddrIndex = 0x1f01;
inline constexpr std::uint64_t kGnuStrIndex = 0x1f02;
inline constexpr std::uint64_t kGnuRefAlt = 0x1f20;
inline constexpr std::uint64_t kGnuStrpAlt = 0x1f21;
}  // namespace form

namespace ate {
inline constexpr std::uint64_t kBoolean = 0x02;
inline constexpr std::uint64_t kComplexFloat = 0x03;
inline constexpr std::uint64_t kFloat = 0x04;
inline constexpr std::uint64_t kSigned = 0x05;
inline constexpr std::uint64_t kSignedChar = 0x06;
inline constexpr std::uint64_t kUnsigned = 0x07;
inline constexpr std::uint64_t kUnsignedChar = 0x08;
inline constexpr std::uint64_t kUtf = 0x10;
}  // namespace ate

namespace lang {
inline constexpr std::uint64_t kFortran77 = 0x07;
inline constexpr std::uint64_t kFortran90 = 0x08;
inline constexpr std::uint64_t kFortran95 = 0x0e;
inline constexpr std::uint64_t kFortran03 = 0x22;
inline constexpr std::uint64_t kFortran08 = 0x23;
inline constexpr std::uint64_t kFortran18 = 0x2d;
}  // namespace lang

namespace op {
inline constexpr std::uint8_t kAddr = 0x03;
inline constexpr std::uint8_t kPlusUconst = 0x23;
inline constexpr std::uint8_t kAddrx = 0xa1;
inline constexpr std::uint8_t kGnuAddrIndex = 0xfb;
}  // namespace op

// Unit header (DWARF 5): unit_type.
inline constexpr std::uint8_t kUnitCompile = 0x01;

}  // namespace quorv::dwarf
