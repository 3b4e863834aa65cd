// NalusToHVCC over NAL units cut from any bytes (Annex B start codes separate them; the first byte
// picks the length size). When a record is written, reading it back must give the parameter sets
// and SEI units that went in, in the record's order, with the length size asked for.
#include <cstdlib>
#include <vector>

#include <glog/logging.h>

#include "Orvane/Exception.h"
#include "Orvane/Proc/CodecParsers/DecoderConfigurationRecords.h"
#include "Orvane/Proc/CodecParsers/HEVCParser.h"

using namespace Orvane::Proc::CodecParsers;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  FLAGS_minloglevel = google::GLOG_ERROR;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t size) {
  if (size < 1) return 0;
  const uint64_t lengthSize = input[0] % 4 + 1;
  const std::vector<uint8_t> bytes(input + 1, input + size);
  std::vector<NALU> nalus;
  FindAnnexBNalus(bytes.data(), bytes.size(), nalus);

  Orvane::BlobPtr record;
  try {
    record = NalusToHVCC(nalus, lengthSize);
  } catch (const Orvane::Exception&) {
    return 0;
  }
  std::vector<std::vector<uint8_t>> expected;
  for (const uint32_t type : {32u, 33u, 34u, 39u, 40u}) {
    for (const NALU& nalu : nalus) {
      if (HEVCNaluType(nalu) == type) expected.emplace_back(nalu.data, nalu.data + nalu.size);
    }
  }
  const auto parser = HEVCParser::CreateFromCodecConfiguration(record);  // must not fail
  if (parser->nalLengthSize() != lengthSize) std::abort();
  std::vector<std::vector<uint8_t>> got;
  for (const NALU& nalu : parser->nalus()) got.emplace_back(nalu.data, nalu.data + nalu.size);
  if (got != expected) std::abort();
  return 0;
}
