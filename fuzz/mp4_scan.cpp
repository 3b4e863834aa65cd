// FindMP4Nalus over any bytes, the first of which picks the length size (1 to 4). It may fail
// only with the exception family; the records it gives, before a failure too, lie inside the
// range back to back, each behind its length field.
#include <cstdlib>
#include <vector>

#include "Orvane/Exception.h"
#include "Orvane/Proc/CodecParsers/H26xBitstreamParser.h"

using namespace Orvane::Proc::CodecParsers;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t inputSize) {
  if (inputSize == 0) return 0;
  const uint64_t lengthSize = input[0] % 4 + 1;
  // An exact copy, so that a read past either end is caught.
  const std::vector<uint8_t> bytes(input + 1, input + inputSize);
  const uint8_t* data = bytes.data();
  std::vector<NALU> nalus;
  bool failed = false;
  try {
    FindMP4Nalus(data, bytes.size(), nalus, lengthSize);
  } catch (const Orvane::Exception&) {
    failed = true;
  }
  const uint8_t* expected = data;
  for (const NALU& n : nalus) {
    if (n.size == 0 || n.data != expected + lengthSize || n.data + n.size > data + bytes.size()) std::abort();
    expected = n.data + n.size;
  }
  if (!failed && expected != data + bytes.size()) std::abort();
  return 0;
}
