// GetSliceType over any bytes taken as one NAL unit: it never fails on a unit cut short, and it
// answers a kind only for a slice unit with a header.
#include <cstdlib>

#include "Orvane/Exception.h"
#include "Orvane/Proc/CodecParsers/H264SliceHeader.h"
#include "Orvane/Proc/CodecParsers/H26xBitstreamParser.h"

using namespace Orvane::Proc::CodecParsers;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t size) {
  const NALU nalu{input, size};
  uint32_t kind = kNoSliceKind;
  try {
    kind = GetSliceType(nalu);
  } catch (const Orvane::Exception&) {
    // Only an Exp-Golomb code of 32 leading zeros is refused; a cut one reads as zeros.
    if (size < 5) std::abort();
    return 0;
  }
  if (kind == kNoSliceKind) return 0;
  const uint32_t type = H264NaluType(nalu);
  if (kind > 4 || size < 2 || !IsSliceNalType(type) || type == 3 || type == 4) std::abort();
  return 0;
}
