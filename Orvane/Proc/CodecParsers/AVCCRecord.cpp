// The avcC decoder configuration record written from H.264 NAL units.
#include "Orvane/Proc/CodecParsers/DecoderConfigurationRecords.h"
#include "Orvane/Proc/CodecParsers/H264CodecParams.h"
#include "Orvane/Proc/CodecParsers/H26xBitstreamBuilder.h"
#include "Orvane/Proc/CodecParsers/H26xParserErrors.h"
#include "Orvane/Proc/Data.h"

namespace Orvane::Proc::CodecParsers {

using detail::ThrowParser;

BlobPtr NalusToAVCC(const std::vector<NALU>& nalus, uint64_t lengthSize) {
  detail::CheckLengthSize("NalusToAVCC", lengthSize);
  std::vector<NALU> spsUnits, ppsUnits;
  H264_PS ps;
  for (const NALU& nalu : nalus) {
    if (nalu.size == 0) continue;
    const uint32_t type = H264NaluType(nalu);
    if (type != 7 && type != 8) continue;
    (type == 7 ? spsUnits : ppsUnits).push_back(nalu);
    ps.AddNALU(nalu);
  }
  if (spsUnits.empty() || ppsUnits.empty()) ThrowParser("NalusToAVCC", "No sps or pps found!");
  // Both counts stop at 32, the number of SPS ids, although the PPS count field has 8 bits.
  if (spsUnits.size() >= 32) ThrowParser("NalusToAVCC", "SPS count is too high");
  if (ppsUnits.size() >= 32) ThrowParser("NalusToAVCC", "PPS count is too high");

  const H264_SPS& sps = *ps.sps_list.front();
  H26xBitstreamBuilder b(false);
  b.AppendU64(1, 8);  // configurationVersion
  b.AppendU64(sps.profile_idc, 8);  // AVCProfileIndication
  // profile_compatibility: the constraint flags as coded in the SPS, then two zero bits.
  for (const uint8_t flag : {sps.constraint_set0_flag, sps.constraint_set1_flag, sps.constraint_set2_flag,
                             sps.constraint_set3_flag, sps.constraint_set4_flag, sps.constraint_set5_flag}) {
    b.AppendBit(flag != 0);
  }
  b.AppendU64(0, 2);
  b.AppendU64(sps.level_idc, 8);  // AVCLevelIndication
  b.AppendU64(63, 6);             // reserved
  b.AppendU64(lengthSize - 1, 2);  // lengthSizeMinusOne
  b.AppendU64(7, 3);              // reserved
  // The count, then each unit behind its 16-bit length.
  const auto writeUnits = [&b](const std::vector<NALU>& units, uint64_t countBits, const char* tooLong) {
    b.AppendU64(units.size(), countBits);
    for (const NALU& nalu : units) {
      if (nalu.size > 65535) ThrowParser("NalusToAVCC", tooLong);
      b.AppendU64(nalu.size, 16);
      b.Flush();
      b.AppendNALU(nalu);
    }
  };
  writeUnits(spsUnits, 5, "SPS length is too high");  // numOfSequenceParameterSets, sequenceParameterSetNALUnit
  writeUnits(ppsUnits, 8, "PPS length is too high");  // numOfPictureParameterSets, pictureParameterSetNALUnit
  b.Flush();
  return BlobFF::Create(b.data(), b.BytesInBuffer());
}

}  // namespace Orvane::Proc::CodecParsers
