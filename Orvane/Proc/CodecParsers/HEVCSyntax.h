#pragma once
// What the decodes and writers of the HEVC syntax unit share, across its source files: the
// throws and checked reads of H26xSyntax.h bound to the unit's one path. Internal to the codec
// parsers.
#include "Orvane/Proc/CodecParsers/H26xSyntax.h"

namespace Orvane::Proc::CodecParsers::hevc_syntax {

// Every failure of the unit names it by this one path, whichever file it was raised in.
inline constexpr char kUnit[] = "Orvane/Proc/CodecParsers/HEVCCodecParams";

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

}  // namespace Orvane::Proc::CodecParsers::hevc_syntax
