// NalusToAVCC over NAL units cut from any bytes (Annex B start codes separate them; the first byte
// picks the length size). When a record is written, reading it back must give its SPS units and
// then its PPS units, each in input order, with the length size asked for.
#include <cstdlib>
#include <vector>

#include "Orvane/Exception.h"
#include "Orvane/Proc/CodecParsers/DecoderConfigurationRecords.h"
#include "Orvane/Proc/CodecParsers/H264Parser.h"

using namespace Orvane::Proc::CodecParsers;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t size) {
  if (size < 1) return 0;
  const uint64_t lengthSize = input[0] % 4 + 1;
  const std::vector<uint8_t> bytes(input + 1, input + size);
  std::vector<NALU> nalus;
  FindAnnexBNalus(bytes.data(), bytes.size(), nalus);

  Orvane::BlobPtr record;
  try {
    record = NalusToAVCC(nalus, lengthSize);
  } catch (const Orvane::Exception&) {
    return 0;
  }
  std::vector<std::vector<uint8_t>> expected;
  for (const uint32_t type : {7u, 8u}) {
    for (const NALU& nalu : nalus) {
      if (H264NaluType(nalu) == type) expected.emplace_back(nalu.data, nalu.data + nalu.size);
    }
  }
  const auto parser = H264Parser::CreateFromCodecConfiguration(record);  // must not fail
  if (parser->nalLengthSize() != lengthSize) std::abort();
  std::vector<std::vector<uint8_t>> got;
  for (const NALU& nalu : parser->nalus()) got.emplace_back(nalu.data, nalu.data + nalu.size);
  if (got != expected) std::abort();
  return 0;
}
