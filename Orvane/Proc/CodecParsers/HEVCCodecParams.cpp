// The HEVC parameter-set collection, and the syntax structures that more than one parameter set
// carries: profile_tier_level and scaling_list_data. The parameter sets themselves are decoded in
// HEVC_VPS.cpp, HEVC_SPS.cpp and HEVC_PPS.cpp, the short-term reference picture sets in
// HEVC_RPS.cpp.
#include "Orvane/Proc/CodecParsers/HEVCCodecParams.h"

#include <algorithm>

#include "Orvane/Proc/CodecParsers/H26xBitstreamBuilder.h"
#include "Orvane/Proc/CodecParsers/HEVCSyntax.h"

namespace Orvane::Proc::CodecParsers {

using namespace hevc_syntax;

namespace {

constexpr uint8_t kVPSHeader = 0x40;  // first header byte of nal_unit_type 32, 33, 34
constexpr uint8_t kSPSHeader = 0x42;
constexpr uint8_t kPPSHeader = 0x44;
constexpr uint8_t kTypeMask = 0x7E;   // nal_unit_type without the top bit of nuh_layer_id

// The whole profile block: 2 + 1 + 5 + 32 + 4 + 43 + 1 bits.
constexpr uint64_t kProfileBits = 88;

}  // namespace

// ---------------------------------------------------------------------------------------------
// Collection

void HEVC_PS::AddNALU(const NALU& nalu) {
  // There is no header to tell the kind by.
  if (nalu.size == 0) ThrowBitstream("AddNALU", "Empty NAL unit");
  switch (nalu.data[0] & kTypeMask) {
    case kVPSHeader:
      DecodeAndStore(vps_list, &HEVC_VPS::vps_video_parameter_set_id, nalu);
      break;
    case kSPSHeader:
      DecodeAndStore(sps_list, &HEVC_SPS::sps_seq_parameter_set_id, nalu, *this);
      break;
    case kPPSHeader:
      DecodeAndStore(pps_list, &HEVC_PPS::pps_pic_parameter_set_id, nalu, *this);
      break;
    default:
      break;
  }
}

std::shared_ptr<const HEVC_VPS> HEVC_PS::GetVPS(uint8_t id) const {
  return FindShared(vps_list, id, &HEVC_VPS::vps_video_parameter_set_id);
}
std::shared_ptr<const HEVC_SPS> HEVC_PS::GetSPS(uint8_t id) const {
  return FindShared(sps_list, id, &HEVC_SPS::sps_seq_parameter_set_id);
}
std::shared_ptr<const HEVC_PPS> HEVC_PS::GetPPS(uint8_t id) const {
  return FindShared(pps_list, id, &HEVC_PPS::pps_pic_parameter_set_id);
}

// ---------------------------------------------------------------------------------------------
// profile_tier_level

void HEVC_ProfileInfo::Decode(BitsReader& r) {
  if (r.BitsLeft() < kProfileBits) Fail("PTL information too short");
  profile_space = r.GetBits<uint8_t>(2);
  tier_flag = r.GetBits<uint8_t>(1);
  profile_idc = r.GetBits<uint8_t>(5);

  // The compatibility flags are kept both as coded and one by one. A profile_idc of 0 is taken
  // from the lowest flag above 0 that is set, so that the profile tests below and every reader
  // of the record see the profile the stream conforms to.
  const uint32_t compatibility = r.GetBits<uint32_t>(32);
  for (int i = 0; i < 4; ++i) profile_compatibility_bytes[i] = static_cast<uint8_t>(compatibility >> (24 - 8 * i));
  for (uint32_t j = 0; j < 32; ++j) {
    profile_compatibility_flag[j] = static_cast<uint8_t>((compatibility >> (31 - j)) & 1);
    if (profile_idc == 0 && j > 0 && profile_compatibility_flag[j]) profile_idc = static_cast<uint8_t>(j);
  }

  // The constraint flags are read from the 48 bits as coded, which the record keeps too.
  const uint32_t constraintsHigh = r.GetBits<uint32_t>(32);
  const uint32_t constraintsLow = r.GetBits<uint32_t>(16);
  for (int i = 0; i < 4; ++i) constraint_bytes[i] = static_cast<uint8_t>(constraintsHigh >> (24 - 8 * i));
  constraint_bytes[4] = static_cast<uint8_t>(constraintsLow >> 8);
  constraint_bytes[5] = static_cast<uint8_t>(constraintsLow);
  BitsReader c(constraint_bytes, sizeof constraint_bytes);

  progressive_source_flag = c.GetBits<uint8_t>(1);
  interlaced_source_flag = c.GetBits<uint8_t>(1);
  non_packed_constraint_flag = c.GetBits<uint8_t>(1);
  frame_only_constraint_flag = c.GetBits<uint8_t>(1);
  const auto profile = [this](uint32_t k) { return profile_idc == k || profile_compatibility_flag[k]; };
  if (profile(4) || profile(5) || profile(6) || profile(7) || profile(8) || profile(9) ||
      profile(10) || profile(11)) {
    max_12bit_constraint_flag = c.GetBits<uint8_t>(1);
    max_10bit_constraint_flag = c.GetBits<uint8_t>(1);
    max_8bit_constraint_flag = c.GetBits<uint8_t>(1);
    max_422chroma_constraint_flag = c.GetBits<uint8_t>(1);
    max_420chroma_constraint_flag = c.GetBits<uint8_t>(1);
    max_monochrome_constraint_flag = c.GetBits<uint8_t>(1);
    intra_constraint_flag = c.GetBits<uint8_t>(1);
    one_picture_only_constraint_flag = c.GetBits<uint8_t>(1);
    lower_bit_rate_constraint_flag = c.GetBits<uint8_t>(1);
    if (profile(5) || profile(9) || profile(10) || profile(11)) {
      max_14bit_constraint_flag = c.GetBits<uint8_t>(1);
      c.SkipBits(33);  // general_reserved_zero_33bits
    } else {
      c.SkipBits(34);  // general_reserved_zero_34bits
    }
  } else if (profile(2)) {
    c.SkipBits(7);  // general_reserved_zero_7bits
    one_picture_only_constraint_flag = c.GetBits<uint8_t>(1);
    c.SkipBits(35);  // general_reserved_zero_35bits
  } else {
    c.SkipBits(43);  // general_reserved_zero_43bits
  }
  if (profile(1) || profile(2) || profile(3) || profile(4) || profile(5) || profile(9) || profile(11)) {
    inbld_flag = c.GetBits<uint8_t>(1);
  } else {
    c.SkipBits(1);  // general_reserved_zero_bit
  }
}

void HEVC_ProfileInfo::Append(H26xBitstreamBuilder& b) const {
  b.AppendU64(profile_space, 2);
  b.AppendBit(tier_flag);
  b.AppendU64(profile_idc, 5);
  for (uint32_t j = 0; j < 32; ++j) b.AppendBit(profile_compatibility_flag[j]);
  b.AppendBit(progressive_source_flag);
  b.AppendBit(interlaced_source_flag);
  b.AppendBit(non_packed_constraint_flag);
  b.AppendBit(frame_only_constraint_flag);
  const auto profile = [this](uint32_t k) { return profile_idc == k || profile_compatibility_flag[k]; };
  if (profile(4) || profile(5) || profile(6) || profile(7) || profile(8) || profile(9) ||
      profile(10) || profile(11)) {
    b.AppendBit(max_12bit_constraint_flag);
    b.AppendBit(max_10bit_constraint_flag);
    b.AppendBit(max_8bit_constraint_flag);
    b.AppendBit(max_422chroma_constraint_flag);
    b.AppendBit(max_420chroma_constraint_flag);
    b.AppendBit(max_monochrome_constraint_flag);
    b.AppendBit(intra_constraint_flag);
    b.AppendBit(one_picture_only_constraint_flag);
    b.AppendBit(lower_bit_rate_constraint_flag);
    if (profile(5) || profile(9) || profile(10) || profile(11)) {
      b.AppendBit(max_14bit_constraint_flag);
      b.AppendU64(0, 33);  // general_reserved_zero_33bits
    } else {
      b.AppendU64(0, 34);  // general_reserved_zero_34bits
    }
  } else if (profile(2)) {
    b.AppendU64(0, 7);  // general_reserved_zero_7bits
    b.AppendBit(one_picture_only_constraint_flag);
    b.AppendU64(0, 35);  // general_reserved_zero_35bits
  } else {
    b.AppendU64(0, 43);  // general_reserved_zero_43bits
  }
  if (profile(1) || profile(2) || profile(3) || profile(4) || profile(5) || profile(9) || profile(11)) {
    b.AppendBit(inbld_flag);
  } else {
    b.AppendU64(0, 1);  // general_reserved_zero_bit
  }
}

void HEVC_PTL::Decode(BitsReader& r, uint32_t maxNumSubLayersMinus1) {
  general.Decode(r);
  // The level, and with sub-layers the two present flags of each and their alignment.
  if (r.BitsLeft() < (maxNumSubLayersMinus1 == 0 ? 8u : 24u)) Fail("PTL information too short");
  general.level_idc = r.GetBits<uint8_t>(8);
  if (maxNumSubLayersMinus1 == 0) return;
  for (uint32_t i = 0; i < maxNumSubLayersMinus1; ++i) {
    sub_layer_profile_present_flag[i] = r.GetBits<uint8_t>(1);
    sub_layer_level_present_flag[i] = r.GetBits<uint8_t>(1);
  }
  for (uint32_t i = maxNumSubLayersMinus1; i < 8; ++i) r.SkipBits(2);  // reserved_zero_2bits
  for (uint32_t i = 0; i < maxNumSubLayersMinus1; ++i) {
    if (sub_layer_profile_present_flag[i]) sub_layer[i].Decode(r);
    if (sub_layer_level_present_flag[i]) sub_layer[i].level_idc = r.GetBits<uint8_t>(8);
  }
}

void HEVC_PTL::Append(H26xBitstreamBuilder& b, uint32_t maxNumSubLayersMinus1) const {
  general.Append(b);
  b.AppendU64(general.level_idc, 8);
  if (maxNumSubLayersMinus1 == 0) return;
  for (uint32_t i = 0; i < maxNumSubLayersMinus1; ++i) {
    b.AppendBit(sub_layer_profile_present_flag[i]);
    b.AppendBit(sub_layer_level_present_flag[i]);
  }
  for (uint32_t i = maxNumSubLayersMinus1; i < 8; ++i) b.AppendU64(0, 2);  // reserved_zero_2bits
  for (uint32_t i = 0; i < maxNumSubLayersMinus1; ++i) {
    if (sub_layer_profile_present_flag[i]) sub_layer[i].Append(b);
    if (sub_layer_level_present_flag[i]) b.AppendU64(sub_layer[i].level_idc, 8);
  }
}

// ---------------------------------------------------------------------------------------------
// scaling_list_data

void HEVC_ScalingList::Decode(BitsReader& r) {
  for (uint32_t sizeId = 0; sizeId < 4; ++sizeId) {
    const uint32_t coefNum = std::min(64u, 1u << (4 + 2 * sizeId));
    for (uint32_t matrixId = 0; matrixId < 6; matrixId += (sizeId == 3) ? 3 : 1) {
      scaling_list_pred_mode_flag[sizeId][matrixId] = r.GetBits<uint8_t>(1);
      if (!scaling_list_pred_mode_flag[sizeId][matrixId]) {
        // The reference list must be an earlier one of the same size (only 0 and 3 exist for
        // 32x32, so there the delta counts in steps of 3).
        const uint32_t delta = r.GetUEGolomb();
        const bool beyond = (sizeId == 3) ? 3 * uint64_t{delta} > matrixId : delta > matrixId;
        if (delta != 0 && beyond) Fail("Invalid delta in scaling list data");
        scaling_list_pred_matrix_id_delta[sizeId][matrixId] = static_cast<uint8_t>(delta);
      } else {
        if (sizeId > 1) {
          scaling_list_dc_coef_minus8[sizeId - 2][matrixId] =
              SE<int16_t>(r, -7, 247, "scaling_list_dc_coef_minus8 out of range");
        }
        for (uint32_t i = 0; i < coefNum; ++i) {
          scaling_list_delta_coef[sizeId][matrixId][i] =
              SE<int8_t>(r, -128, 127, "scaling_list_delta_coeff out of range");
        }
      }
    }
  }
}

void HEVC_ScalingList::Append(H26xBitstreamBuilder& b) const {
  for (uint32_t sizeId = 0; sizeId < 4; ++sizeId) {
    const uint32_t coefNum = std::min(64u, 1u << (4 + 2 * sizeId));
    for (uint32_t matrixId = 0; matrixId < 6; matrixId += (sizeId == 3) ? 3 : 1) {
      b.AppendBit(scaling_list_pred_mode_flag[sizeId][matrixId]);
      if (!scaling_list_pred_mode_flag[sizeId][matrixId]) {
        b.AppendUE(scaling_list_pred_matrix_id_delta[sizeId][matrixId]);
      } else {
        if (sizeId > 1) b.AppendSE(scaling_list_dc_coef_minus8[sizeId - 2][matrixId]);
        for (uint32_t i = 0; i < coefNum; ++i) b.AppendSE(scaling_list_delta_coef[sizeId][matrixId][i]);
      }
    }
  }
}

}  // namespace Orvane::Proc::CodecParsers
