#include "Orvane/Proc/CodecParsers/H264Parser.h"

#include "Orvane/Proc/CodecParsers/BitsReader.h"
#include "Orvane/Proc/CodecParsers/H264CodecParams.h"
#include "Orvane/Proc/CodecParsers/H264SliceHeader.h"
#include "Orvane/Proc/CodecParsers/H26xParserErrors.h"

namespace Orvane::Proc::CodecParsers {

using detail::ThrowParser;

namespace {

constexpr uint32_t kIDR = 5, kSPS = 7, kPPS = 8;
constexpr uint32_t kISlice = 2;

}  // namespace

std::shared_ptr<H264Parser> H264Parser::CreateFromCodecConfiguration(const ConstBlobPtr& blob) {
  auto parser = std::make_shared<H264Parser>(true);
  parser->ParseCodecConfiguration(blob);
  return parser;
}

void H264Parser::ParseCodecConfiguration(const ConstBlobPtr& blob) {
  if (!forCodecConfig()) ThrowParser("ParseCodecConfiguration", "The parser is not suitable for parsing codec configuration");
  if (!blob || blob->GetSize() == 0) ThrowParser("ParseCodecConfiguration", "Not enougth data to determine h264 header type");
  if (blob->GetData()[0] != 1) {
    if (!ParseCodecConfigAsAnnexB(blob)) ThrowParser("ParseCodecConfiguration", "Unable determine h264 header type");
    return;
  }

  // AVCDecoderConfigurationRecord; the profile extension fields after the PPS are not needed.
  BitsReader r(blob->GetData(), blob->GetSize());
  r.SkipBits(8);  // configurationVersion
  r.SkipBits(8);  // AVCProfileIndication
  r.SkipBits(8);  // profile_compatibility
  r.SkipBits(8);  // AVCLevelIndication
  if (r.GetBits(6) != 63) ThrowParser("ParseCodecConfiguration", "The avcC header contains invalid data");  // reserved
  const uint64_t lengthSize = r.GetBits(2) + 1;  // lengthSizeMinusOne
  r.SkipBits(3);                                 // reserved, not tested

  std::vector<NALU> found;
  const auto readUnits = [&](uint32_t count) {
    for (uint32_t i = 0; i < count; ++i) {
      const uint32_t length = r.GetBits(16);
      // A unit without bytes has no header, and every later use of the record reads one.
      if (length == 0) ThrowParser("ParseCodecConfiguration", "The avcC header contains invalid data");
      found.push_back({r.GetBytes(length), length});
    }
  };
  readUnits(r.GetBits(5));  // numOfSequenceParameterSets, then the SPS units
  readUnits(r.GetBits(8));  // numOfPictureParameterSets, then the PPS units
  Store(lengthSize, blob, std::move(found));
}

std::shared_ptr<H264_PS> H264Parser::GetParameterSets() const {
  auto ps = std::make_shared<H264_PS>();
  for (const uint32_t type : {kSPS, kPPS}) {
    for (const NALU& nalu : nalus()) {
      if (H264NaluType(nalu) == type) ps->AddNALU(nalu);
    }
  }
  return ps;
}

uint32_t H264Parser::GetPictureFlags() const {
  for (const NALU& nalu : nalus()) {
    // P and B slices do not decide; a later slice of the picture may be an I slice.
    if (GetSliceType(nalu) != kISlice) continue;
    return H264NaluType(nalu) == kIDR ? PICTURE_INTRA | PICTURE_RANDOM_ACCESS | PICTURE_IDR : PICTURE_INTRA;
  }
  return 0;
}

bool H264Parser::HasParameterSets(const std::vector<NALU>& units) const {
  for (const NALU& nalu : units) {
    const uint32_t type = H264NaluType(nalu);
    if (type == kSPS || type == kPPS) return true;
  }
  return false;
}

}  // namespace Orvane::Proc::CodecParsers
