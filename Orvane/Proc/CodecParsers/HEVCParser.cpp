#include "Orvane/Proc/CodecParsers/HEVCParser.h"

#include "Orvane/Proc/CodecParsers/BitsReader.h"
#include "Orvane/Proc/CodecParsers/DecoderConfigurationRecords.h"
#include "Orvane/Proc/CodecParsers/H26xParserErrors.h"
#include "Orvane/Proc/CodecParsers/HEVCCodecParams.h"

namespace Orvane::Proc::CodecParsers {

using detail::ThrowParser;

namespace {

constexpr uint32_t kVPS = 32, kSPS = 33, kPPS = 34;

}  // namespace

std::shared_ptr<HEVCParser> HEVCParser::CreateFromCodecConfiguration(const ConstBlobPtr& blob) {
  auto parser = std::make_shared<HEVCParser>(true);
  parser->ParseCodecConfiguration(blob);
  return parser;
}

void HEVCParser::ParseCodecConfiguration(const ConstBlobPtr& blob) {
  if (!forCodecConfig()) ThrowParser("ParseCodecConfiguration", "The parser is not suitable for parsing codec configuration");
  if (!blob || blob->GetSize() == 0) ThrowParser("ParseCodecConfiguration", "Not enougth data to determine hevc header type");
  if (blob->GetData()[0] == 1) {
    ParseHVCC(blob);
    return;
  }
  if (ParseCodecConfigAsAnnexB(blob)) return;

  // An hvcC record with another configurationVersion: read it, then hold a rebuilt version 1
  // record so that whoever copies the configuration on gets one every reader accepts.
  try {
    ParseHVCC(blob);
    const BlobPtr rebuilt = NalusToHVCC(nalus(), *nalLengthSize());
    ParseHVCC(rebuilt);
  } catch (...) {
    ThrowParser("ParseCodecConfiguration", "Unable determine hevc header type");
  }
}

// HEVCDecoderConfigurationRecord: the fixed head is skipped, the NAL unit arrays are kept.
void HEVCParser::ParseHVCC(const ConstBlobPtr& blob) {
  BitsReader r(blob ? blob->GetData() : nullptr, blob ? blob->GetSize() : 0);
  r.SkipBits(8);       // configurationVersion
  r.SkipBits(8);       // general_profile_space, general_tier_flag, general_profile_idc
  r.SkipBits(32);      // general_profile_compatibility_flags
  r.SkipBits(48);      // general_constraint_indicator_flags
  r.SkipBits(8);       // general_level_idc
  r.SkipBits(4 + 12);  // reserved, min_spatial_segmentation_idc
  r.SkipBits(6 + 2);   // reserved, parallelismType
  r.SkipBits(6 + 2);   // reserved, chromaFormat
  r.SkipBits(5 + 3);   // reserved, bitDepthLumaMinus8
  r.SkipBits(5 + 3);   // reserved, bitDepthChromaMinus8
  r.SkipBits(16);      // avgFrameRate
  r.SkipBits(2 + 3 + 1);  // constantFrameRate, numTemporalLayers, temporalIdNested
  const uint64_t lengthSize = r.GetBits(2) + 1;  // lengthSizeMinusOne
  const uint32_t numOfArrays = r.GetBits(8);

  std::vector<NALU> found;
  for (uint32_t i = 0; i < numOfArrays; ++i) {
    r.SkipBits(2);  // array_completeness, reserved
    const uint32_t arrayType = r.GetBits(6);
    const uint32_t numNalus = r.GetBits(16);
    for (uint32_t k = 0; k < numNalus; ++k) {
      const uint32_t nalUnitLength = r.GetBits(16);
      // A unit without bytes has no header to check, and nothing later could read one.
      if (nalUnitLength == 0) ThrowParser("ParseHVCC", "The hvcC header contains invalid data");
      const NALU nalu{r.GetBytes(nalUnitLength), nalUnitLength};
      if (HEVCNaluType(nalu) != arrayType) ThrowParser("ParseHVCC", "The hvcC header contains invalid data");
      found.push_back(nalu);
    }
  }
  Store(lengthSize, blob, std::move(found));
}

std::shared_ptr<HEVC_PS> HEVCParser::GetParameterSets() const {
  auto ps = std::make_shared<HEVC_PS>();
  for (const uint32_t type : {kVPS, kSPS, kPPS}) {
    for (const NALU& nalu : nalus()) {
      if (HEVCNaluType(nalu) == type) ps->AddNALU(nalu);
    }
  }
  return ps;
}

uint32_t HEVCParser::GetPictureFlags() const {
  for (const NALU& nalu : nalus()) {
    const uint32_t type = HEVCNaluType(nalu);
    if (type == 19 || type == 20) return PICTURE_INTRA | PICTURE_RANDOM_ACCESS | PICTURE_IDR;
    if (type >= 16 && type <= 23) return PICTURE_INTRA | PICTURE_RANDOM_ACCESS;
    if (type == 6 || type == 7) return PICTURE_LEADING;
    if (type == 8 || type == 9) return PICTURE_LEADING | PICTURE_SKIPPABLE_LEADING;
  }
  return 0;
}

bool HEVCParser::HasParameterSets(const std::vector<NALU>& units) const {
  for (const NALU& nalu : units) {
    const uint32_t type = HEVCNaluType(nalu);
    if (type == kVPS || type == kSPS || type == kPPS) return true;
  }
  return false;
}

}  // namespace Orvane::Proc::CodecParsers
