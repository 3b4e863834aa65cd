// NalusToHVCC over NAL units cut from any bytes: a record written reads back to the parameter sets
// and SEI units that went in, in the record's order, with the length size asked for.
#include <glog/logging.h>

#include "ConfigurationChecks.h"
#include "Orvane/Proc/CodecParsers/DecoderConfigurationRecords.h"
#include "Orvane/Proc/CodecParsers/HEVCParser.h"

using namespace Orvane::Proc::CodecParsers;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  FLAGS_minloglevel = google::GLOG_ERROR;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t size) {
  return fuzz_support::RecordReadsBack<HEVCParser>(input, size, NalusToHVCC, HEVCNaluType, {32, 33, 34, 39, 40});
}
