// RemoveEmulationPrevention over any bytes, against the rule applied one byte at a time; and the
// vector search for 00 00 x against its memchr form.
#include <cstdlib>
#include <vector>

#include "Orvane/Proc/CodecParsers/BitsReader.h"
#include "Orvane/Proc/CodecParsers/ZeroZeroSearch.h"

using namespace Orvane::Proc::CodecParsers;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::vector<uint8_t> rbsp = RemoveEmulationPrevention(data, size);

  std::vector<uint8_t> expected;
  size_t zeros = 0;
  for (size_t i = 0; i < size; ++i) {
    if (zeros >= 2 && data[i] == 0x03 && (i + 1 == size || data[i + 1] <= 0x03)) {
      zeros = 0;
      continue;
    }
    expected.push_back(data[i]);
    zeros = data[i] == 0 ? zeros + 1 : 0;
  }
  if (rbsp != expected) std::abort();

  for (uint8_t third : {0x01, 0x03}) {
    for (const uint8_t* from = data; from < data + size; ++from) {
      if (detail::FindZeroZero(from, data + size, third) !=
          detail::FindZeroZeroPortable(from, data + size, third)) {
        std::abort();
      }
      if (size > 256) break;  // every start position only for short inputs
    }
  }
  return 0;
}
