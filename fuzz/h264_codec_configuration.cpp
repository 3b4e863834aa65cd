// An H.264 codec configuration from any bytes: an avcC record or Annex B parameter sets, as a
// track's codec private data arrives. Parsing, collecting its parameter sets and converting it may
// fail only with the exception family; a parser that succeeds holds records inside its own bytes,
// a length-prefixed one holds exactly what its avcC declared, and its packets parse with its
// framing.
#include <cstdlib>

#include <glog/logging.h>

#include "ConfigurationChecks.h"
#include "Orvane/Exception.h"
#include "Orvane/Proc/CodecParsers/H264CodecParams.h"
#include "Orvane/Proc/CodecParsers/H264Parser.h"
#include "Orvane/Proc/Data.h"

using namespace Orvane::Proc::CodecParsers;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
  FLAGS_minloglevel = google::GLOG_ERROR;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t size) {
  const ConstBlobPtr blob = Orvane::Proc::BlobFF::Create(input, size);
  std::shared_ptr<H264Parser> parser;
  try {
    parser = H264Parser::CreateFromCodecConfiguration(blob);
  } catch (const Orvane::Exception&) {
    return 0;
  }
  fuzz_support::CheckUnitsInside(*parser);
  if (parser->nalLengthSize() && (*parser->nalLengthSize() < 1 || *parser->nalLengthSize() > 4)) std::abort();
  parser->HasParameterSets();
  try {
    parser->GetPictureFlags();  // a slice_type code of more than 31 zeros is refused
  } catch (const Orvane::Exception&) {
  }
  try {
    const auto ps = parser->GetParameterSets();
    // Whatever decodes into the collection makes a record, and the record reads back.
    const auto reframed = parser->ToLengthPrefixed()->ToAnnexB();
    if (reframed->nalLengthSize() || !reframed->forCodecConfig()) std::abort();
  } catch (const Orvane::Exception&) {
  }
  try {
    parser->ParsePacket(blob);
  } catch (const Orvane::Exception&) {
  }
  return 0;
}
