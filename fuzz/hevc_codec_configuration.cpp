// An HEVC codec configuration from any bytes: hvcC record, Annex B parameter sets or an hvcC of
// another version, as a track's codec private data arrives. Parsing and collecting its parameter
// sets may fail only with the exception family; a parser that succeeds holds records inside its
// own bytes, and its packets parse with its framing.
#include <cstdlib>

#include <glog/logging.h>

#include "ConfigurationChecks.h"
#include "Orvane/Exception.h"
#include "Orvane/Proc/CodecParsers/HEVCCodecParams.h"
#include "Orvane/Proc/CodecParsers/HEVCParser.h"
#include "Orvane/Proc/Data.h"

using namespace Orvane::Proc::CodecParsers;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  FLAGS_minloglevel = google::GLOG_ERROR;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t size) {
  const ConstBlobPtr blob = Orvane::Proc::BlobFF::Create(input, size);
  std::shared_ptr<HEVCParser> parser;
  try {
    parser = HEVCParser::CreateFromCodecConfiguration(blob);
  } catch (const Orvane::Exception&) {
    return 0;
  }
  fuzz_support::CheckUnitsInside(*parser);
  parser->GetPictureFlags();
  parser->HasParameterSets();
  try {
    parser->GetParameterSets();
  } catch (const Orvane::Exception&) {
  }
  try {
    parser->ParsePacket(blob);
  } catch (const Orvane::Exception&) {
  }
  return 0;
}
