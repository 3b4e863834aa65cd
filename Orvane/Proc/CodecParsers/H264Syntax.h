#pragma once
// What the decodes of the H.264 syntax unit share, across its source files: the throws and
// checked reads of H26xSyntax.h bound to the unit's one path, and the 32-bit se(v) of the picture
// order count offsets. Internal to the codec parsers.
#include "Orvane/Proc/CodecParsers/H26xSyntax.h"

namespace Orvane::Proc::CodecParsers::h264_syntax {

// Every failure of the unit names it by this one path, whichever file it was raised in.
inline constexpr char kUnit[] = "Orvane/Proc/CodecParsers/H264CodecParams";

// ThrowBitstream(function, message); Fail(message) for a decode, FailAppend(message) for a
// writer. The site is the caller's statement.
inline constexpr h26x_syntax::Thrower<kUnit> ThrowBitstream{};
inline constexpr h26x_syntax::Failer<kUnit, h26x_syntax::kDecode> Fail{};
inline constexpr h26x_syntax::Failer<kUnit, h26x_syntax::kAppend> FailAppend{};

// UE<T>(r) and SE<T>(r): the value kept in the low bits of T; UE<T>(r, max, message) and
// SE<T>(r, min, max, message) fail the decode with `message` outside the bounds.
template <class T>
inline constexpr h26x_syntax::UEReader<kUnit, T> UE{};
template <class T>
inline constexpr h26x_syntax::SEReader<kUnit, T> SE{};

using h26x_syntax::DecodeAndStore;
using h26x_syntax::FindShared;
using h26x_syntax::FindStored;
using h26x_syntax::Reset;
using h26x_syntax::UnitRBSP;
using h26x_syntax::ZeroFields;

// The profiles whose SPS codes the chroma format, the bit depths and the scaling matrix.
inline bool CodesChromaFormat(uint32_t profile_idc) {
  switch (profile_idc) {
    case 100: case 110: case 122: case 244: case 44: case 83: case 86: case 118: case 128: case 138: case 144:
      return true;
    default:
      return false;
  }
}

// se(v) over the whole signed 32-bit range, for the offsets whose range is -(2^31 - 1) to
// 2^31 - 1: the code number is read as a 32-bit ue(v), and a code of 32 leading zeros (code number
// 2^32 - 1 and beyond) maps to -2^31, the one value outside that range, which the caller refuses.
inline int32_t SE32(BitsReader& r, const char* message,
                    std::source_location at = std::source_location::current()) {
  const uint32_t k = r.GetUEGolomb32();
  const int32_t value = (k & 1) ? static_cast<int32_t>(k / 2 + 1) : -static_cast<int32_t>(k / 2);
  if (value == INT32_MIN) Fail(message, at);
  return value;
}

}  // namespace Orvane::Proc::CodecParsers::h264_syntax
