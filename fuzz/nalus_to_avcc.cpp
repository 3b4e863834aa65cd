// NalusToAVCC over NAL units cut from any bytes: a record written reads back to its SPS units and
// then its PPS units, each in input order, with the length size asked for.
#include "ConfigurationChecks.h"
#include "Orvane/Proc/CodecParsers/DecoderConfigurationRecords.h"
#include "Orvane/Proc/CodecParsers/H264Parser.h"

using namespace Orvane::Proc::CodecParsers;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t size) {
  return fuzz_support::RecordReadsBack<H264Parser>(input, size, NalusToAVCC, H264NaluType, {7, 8});
}
