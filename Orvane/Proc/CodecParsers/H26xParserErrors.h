#pragma once
// Failures of the NAL unit scans, the stream parsers and the configuration records, which report
// as one unit.
#include <cstdint>
#include <source_location>
#include <string>

#include "Orvane/Proc/CodecParsers/BitstreamException.h"
#include "Orvane/Throw.h"

namespace Orvane::Proc::CodecParsers::detail {

inline constexpr char kParserUnit[] = "Orvane/Proc/CodecParsers/H26xBitstreamParser";

[[noreturn]] inline void ThrowParser(const char* function, std::string message,
                                     std::source_location at = std::source_location::current()) {
  ThrowException<BitstreamException>(kParserUnit, function, std::move(message), at);
}

// Length fields of NAL units are 1 to 4 bytes wide; any other width would make the shifts and
// reads that use it undefined, so every public entry that takes one refuses it first.
inline void CheckLengthSize(const char* function, uint64_t lengthSize,
                            std::source_location at = std::source_location::current()) {
  if (lengthSize < 1 || lengthSize > 4) ThrowParser(function, "Invalid NAL length size", at);
}

}  // namespace Orvane::Proc::CodecParsers::detail
