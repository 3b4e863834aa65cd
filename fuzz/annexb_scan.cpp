// FindAnnexBNalus over any bytes: it never fails, and every record it gives lies inside the
// range, is not empty, and comes after the one before it.
#include <cstdlib>
#include <vector>

#include "Orvane/Proc/CodecParsers/H26xBitstreamParser.h"

using namespace Orvane::Proc::CodecParsers;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  std::vector<NALU> nalus;
  FindAnnexBNalus(data, size, nalus);
  const uint8_t* previousEnd = data;
  for (const NALU& n : nalus) {
    // Each unit follows at least a three-byte start code.
    if (n.size == 0 || n.data < previousEnd + 3 || n.data + n.size > data + size) std::abort();
    previousEnd = n.data + n.size;
    volatile uint8_t header = n.data[0];
    (void)header;
  }
  return 0;
}
