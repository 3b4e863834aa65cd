// H264_SEI::Decode over any bytes taken as an SEI unit (its header made to carry type 6). Decoding
// may fail only with the exception family; the messages it keeps are at most 65, each with its
// whole payload inside the unit.
#include <cstdlib>
#include <vector>

#include "Orvane/Exception.h"
#include "Orvane/Proc/CodecParsers/H264_SEI.h"
#include "Orvane/Proc/CodecParsers/H26xBitstreamParser.h"

using namespace Orvane::Proc::CodecParsers;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t size) {
  std::vector<uint8_t> unit(input, input + size);
  if (!unit.empty()) unit[0] = static_cast<uint8_t>((unit[0] & 0xE0) | 6);
  H264_SEI sei;
  try {
    sei.Decode(NALU{unit.data(), unit.size()});
  } catch (const Orvane::Exception&) {
  }
  if (sei.messages.size() > 65) std::abort();
  uint64_t bytes = 0;
  for (const SEIMessage& m : sei.messages) {
    if (m.payload.size() != m.payloadSize) std::abort();
    bytes += m.payloadSize;
  }
  if (bytes > size) std::abort();
  return 0;
}
