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

// Raster position of each scan position of the zig-zag (frame) scans: the records keep scaling
// lists in raster order, the syntax and the listing in scan order.
inline constexpr uint8_t kZigZag4x4[16] = {0, 1, 4, 8, 5, 2, 3, 6, 9, 12, 13, 10, 7, 11, 14, 15};
inline constexpr uint8_t kZigZag8x8[64] = {
    0,  1,  8,  16, 9,  2,  3,  10, 17, 24, 32, 25, 18, 11, 4,  5,  12, 19, 26, 33, 40, 48,
    41, 34, 27, 20, 13, 6,  7,  14, 21, 28, 35, 42, 49, 56, 57, 50, 43, 36, 29, 22, 15, 23,
    30, 37, 44, 51, 58, 59, 52, 45, 38, 31, 39, 46, 53, 60, 61, 54, 47, 55, 62, 63};

// se(v) over the whole signed 32-bit range, for the picture order count offsets and deltas whose
// range is -(2^31 - 1) to 2^31 - 1: the code number is read as a 32-bit ue(v), and a code of 32
// leading zeros (code number 2^32 - 1 and beyond) maps to -2^31, the one value outside that range,
// which fails with the caller's message (under the name `Function`).
template <const char* Function>
struct SE32Reader {
  int32_t operator()(BitsReader& r, const char* message, std::source_location at = std::source_location::current()) const {
    const uint32_t k = r.GetUEGolomb32();
    const int32_t value = (k & 1) ? static_cast<int32_t>(k / 2 + 1) : -static_cast<int32_t>(k / 2);
    if (value == INT32_MIN) h26x_syntax::Failer<kUnit, Function>{}(message, at);
    return value;
  }
};
inline constexpr SE32Reader<h26x_syntax::kDecode> SE32{};

}  // namespace Orvane::Proc::CodecParsers::h264_syntax
