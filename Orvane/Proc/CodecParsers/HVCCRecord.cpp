// The hvcC decoder configuration record written from H.265 NAL units.
#include <array>

#include "Orvane/Proc/CodecParsers/DecoderConfigurationRecords.h"
#include "Orvane/Proc/CodecParsers/H26xBitstreamBuilder.h"
#include "Orvane/Proc/CodecParsers/H26xParserErrors.h"
#include "Orvane/Proc/CodecParsers/HEVCCodecParams.h"
#include "Orvane/Proc/Data.h"

namespace Orvane::Proc::CodecParsers {

using detail::ThrowParser;

BlobPtr NalusToHVCC(const std::vector<NALU>& nalus, uint64_t lengthSize) {
  detail::CheckLengthSize("NalusToHVCC", lengthSize);
  // The arrays in the order the record lists them.
  struct Array {
    uint32_t type;
    std::vector<NALU> units;
  };
  std::array<Array, 5> arrays = {{{32, {}}, {33, {}}, {34, {}}, {39, {}}, {40, {}}}};
  HEVC_PS ps;
  for (const NALU& nalu : nalus) {
    if (nalu.size == 0) continue;
    const uint32_t type = HEVCNaluType(nalu);
    for (Array& array : arrays) {
      if (array.type != type) continue;
      array.units.push_back(nalu);
      if (type <= 34) ps.AddNALU(nalu);
    }
  }
  if (arrays[0].units.empty() || arrays[1].units.empty() || arrays[2].units.empty())
    ThrowParser("NalusToHVCC", "No vps or sps or pps found!");
  if (arrays[0].units.size() >= 16) ThrowParser("NalusToHVCC", "VPS count is too high");
  if (arrays[1].units.size() >= 16) ThrowParser("NalusToHVCC", "SPS count is too high");
  if (arrays[2].units.size() >= 64) ThrowParser("NalusToHVCC", "PPS count is too high");

  const HEVC_VPS& vps = *ps.vps_list.front();
  const HEVC_SPS& sps = *ps.sps_list.front();
  const HEVC_ProfileInfo& general = vps.profile_tier_level.general;

  H26xBitstreamBuilder b(false);
  b.AppendU64(1, 8);  // configurationVersion
  b.AppendU64(general.profile_space, 2);
  b.AppendU64(general.tier_flag, 1);
  b.AppendU64(general.profile_idc, 5);
  for (uint8_t byte : general.profile_compatibility_bytes) b.AppendU64(byte, 8);
  for (uint8_t byte : general.constraint_bytes) b.AppendU64(byte, 8);
  b.AppendU64(general.level_idc, 8);
  b.AppendU64(15, 4);  // reserved
  b.AppendU64(0, 12);  // min_spatial_segmentation_idc
  b.AppendU64(63, 6);  // reserved
  b.AppendU64(0, 2);   // parallelismType
  b.AppendU64(63, 6);  // reserved
  b.AppendU64(sps.chroma_format_idc, 2);
  b.AppendU64(31, 5);  // reserved
  b.AppendU64(sps.bit_depth_luma_minus8, 3);
  b.AppendU64(31, 5);  // reserved
  b.AppendU64(sps.bit_depth_chroma_minus8, 3);
  b.AppendU64(0, 16);  // avgFrameRate
  b.AppendU64(0, 2);   // constantFrameRate
  b.AppendU64(vps.vps_max_sub_layers_minus1 + 1u, 3);  // numTemporalLayers
  b.AppendU64(vps.vps_temporal_id_nesting_flag, 1);
  b.AppendU64(lengthSize - 1, 2);  // lengthSizeMinusOne

  uint64_t numOfArrays = 0;
  for (const Array& array : arrays) numOfArrays += array.units.empty() ? 0 : 1;
  b.AppendU64(numOfArrays, 8);
  const auto writeArray = [&b](const Array& array) {
    b.AppendU64(0, 1);  // array_completeness
    b.AppendU64(0, 1);  // reserved
    b.AppendU64(array.type, 6);
    b.AppendU64(array.units.size(), 16);  // numNalus
    for (const NALU& nalu : array.units) {
      if (nalu.size > 65535) ThrowParser("operator ()", "NALU length is too high");
      b.AppendU64(nalu.size, 16);
      b.Flush();
      b.AppendNALU(nalu);
    }
  };
  for (const Array& array : arrays) {
    if (!array.units.empty()) writeArray(array);
  }
  b.Flush();
  return BlobFF::Create(b.data(), b.BytesInBuffer());
}

}  // namespace Orvane::Proc::CodecParsers
