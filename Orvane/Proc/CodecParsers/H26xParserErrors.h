#pragma once
// Failures of the NAL unit scans, the stream parsers and the configuration records, which report
// as one unit.
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

}  // namespace Orvane::Proc::CodecParsers::detail
