// The video parameter set, and hrd_parameters, which the VPS and the VUI of the SPS share.
#include <algorithm>
#include <cstring>

#include "Orvane/Proc/CodecParsers/H26xBitstreamBuilder.h"
#include "Orvane/Proc/CodecParsers/HEVCCodecParams.h"
#include "Orvane/Proc/CodecParsers/HEVCSyntax.h"

namespace Orvane::Proc::CodecParsers {

using namespace hevc_syntax;

namespace {

constexpr uint32_t kVPSType = 32;

// The initial state of a VPS: its two growable arrays empty (their storage kept for the next
// decode), every other field zero. The fixed-size fields lie in three runs around the arrays.
void Reset(HEVC_VPS& vps) {
  vps.layer_id_included_flag.clear();
  vps.hrd_parameters.clear();
  ZeroFields(&vps, &vps.layer_id_included_flag);
  ZeroFields(&vps.vps_timing_info_present_flag, &vps.hrd_parameters);
  ZeroFields(&vps.vps_extension_flag, &vps.vps_extension_flag + 1);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// video_parameter_set_rbsp

void HEVC_VPS::Decode(const NALU& nalu) {
  Reset(*this);
  UnitRBSP rbsp(nalu);
  BitsReader& r = rbsp.Reader();
  r.SkipBits(1);  // forbidden_zero_bit
  if (r.GetBits<uint32_t>(6) != kVPSType) Fail("NALU is not a VPS");
  r.SkipBits(6 + 3);  // nuh_layer_id, nuh_temporal_id_plus1

  vps_video_parameter_set_id = r.GetBits<uint8_t>(4);
  vps_base_layer_internal_flag = r.GetBits<uint8_t>(1);
  vps_base_layer_available_flag = r.GetBits<uint8_t>(1);
  vps_max_layers_minus1 = r.GetBits<uint8_t>(6);
  if (vps_max_layers_minus1 == 63) Fail("vps_max_layers_minus1 out of range");
  vps_max_sub_layers_minus1 = r.GetBits<uint8_t>(3);
  if (vps_max_sub_layers_minus1 == 7) Fail("vps_max_sub_layers_minus1 out of range");
  vps_temporal_id_nesting_flag = r.GetBits<uint8_t>(1);
  if (r.GetBits<uint32_t>(16) != 0xFFFF) Fail("vps_reserved_ffff_16bits is not 0xffff");
  profile_tier_level.Decode(r, vps_max_sub_layers_minus1);

  vps_sub_layer_ordering_info_present_flag = r.GetBits<uint8_t>(1);
  const uint32_t highest = vps_max_sub_layers_minus1;
  for (uint32_t i = vps_sub_layer_ordering_info_present_flag ? 0 : highest; i <= highest; ++i) {
    vps_max_dec_pic_buffering_minus1[i] = UE<uint8_t>(r, 15, "vps_max_dec_pic_buffering_minus1 out of range");
    vps_max_num_reorder_pics[i] =
        UE<uint8_t>(r, vps_max_dec_pic_buffering_minus1[i], "vps_max_num_reorder_pics out of range");
    vps_max_latency_increase_plus1[i] = r.GetUEGolomb();
  }
  // Without per-sub-layer values, every sub-layer has those of the highest.
  if (!vps_sub_layer_ordering_info_present_flag) {
    for (uint32_t i = 0; i < highest; ++i) {
      vps_max_dec_pic_buffering_minus1[i] = vps_max_dec_pic_buffering_minus1[highest];
      vps_max_num_reorder_pics[i] = vps_max_num_reorder_pics[highest];
      vps_max_latency_increase_plus1[i] = vps_max_latency_increase_plus1[highest];
    }
  }

  vps_max_layer_id = r.GetBits<uint8_t>(6);
  if (vps_max_layer_id == 63) Fail("vps_max_layer_id out of range");
  vps_num_layer_sets_minus1 = UE<uint16_t>(r, 1023, "vps_num_layer_sets_minus1 out of range");
  // Refused before the rows are made, so that a short unit cannot make a large table.
  if (uint64_t{vps_max_layer_id + 1u} * vps_num_layer_sets_minus1 > r.BitsLeft()) {
    Fail("too many layer_id_included_flags");
  }
  layer_id_included_flag.assign(vps_num_layer_sets_minus1 + 1u, {});
  for (uint32_t i = 1; i <= vps_num_layer_sets_minus1; ++i) {
    for (uint32_t j = 0; j <= vps_max_layer_id; ++j) layer_id_included_flag[i][j] = r.GetBits<uint8_t>(1);
  }
  // Layer set 0 holds the base layer only.
  layer_id_included_flag[0][0] = 1;

  vps_timing_info_present_flag = r.GetBits<uint8_t>(1);
  if (vps_timing_info_present_flag) {
    vps_num_units_in_tick = r.GetBits<uint32_t>(32);
    vps_time_scale = r.GetBits<uint32_t>(32);
    vps_poc_proportional_to_timing_flag = r.GetBits<uint8_t>(1);
    if (vps_poc_proportional_to_timing_flag) vps_num_ticks_poc_diff_one_minus1 = r.GetUEGolomb();
    vps_num_hrd_parameters =
        UE<uint16_t>(r, vps_num_layer_sets_minus1 + 1u, "vps_num_hrd_parameters out of range");
    hrd_parameters.resize(vps_num_hrd_parameters);
    for (uint32_t i = 0; i < vps_num_hrd_parameters; ++i) {
      hrd_layer_set_idx[i] = UE<uint16_t>(r);
      cprms_present_flag[i] = (i == 0) ? 1 : r.GetBits<uint8_t>(1);
      hrd_parameters[i].Decode(r, cprms_present_flag[i], vps_max_sub_layers_minus1);
    }
  }
  vps_extension_flag = r.GetBits<uint8_t>(1);
}

uint32_t HEVC_VPS::GetMaxNumReorderPics() const {
  return std::min<uint32_t>(vps_max_num_reorder_pics[vps_max_sub_layers_minus1], 16);
}

// ---------------------------------------------------------------------------------------------
// hrd_parameters

void HEVC_HRD::Decode(BitsReader& r, uint32_t commonInfPresentFlag, uint32_t maxNumSubLayersMinus1) {
  if (commonInfPresentFlag) {
    nal_hrd_parameters_present_flag = r.GetBits<uint8_t>(1);
    vcl_hrd_parameters_present_flag = r.GetBits<uint8_t>(1);
    if (nal_hrd_parameters_present_flag || vcl_hrd_parameters_present_flag) {
      sub_pic_hrd_params_present_flag = r.GetBits<uint8_t>(1);
      if (sub_pic_hrd_params_present_flag) {
        tick_divisor_minus2 = r.GetBits<uint8_t>(8);
        du_cpb_removal_delay_increment_length_minus1 = r.GetBits<uint8_t>(5);
        sub_pic_cpb_params_in_pic_timing_sei_flag = r.GetBits<uint8_t>(1);
        dpb_output_delay_du_length_minus1 = r.GetBits<uint8_t>(5);
      }
      bit_rate_scale = r.GetBits<uint8_t>(4);
      cpb_size_scale = r.GetBits<uint8_t>(4);
      if (sub_pic_hrd_params_present_flag) cpb_size_du_scale = r.GetBits<uint8_t>(4);
      initial_cpb_removal_delay_length_minus1 = r.GetBits<uint8_t>(5);
      au_cpb_removal_delay_length_minus1 = r.GetBits<uint8_t>(5);
      dpb_output_delay_length_minus1 = r.GetBits<uint8_t>(5);
    }
  } else {
    // The inferred values. The two present flags stay as they are, so an entry without the
    // common information carries no sub-layer HRD data.
    sub_pic_hrd_params_present_flag = 0;
    initial_cpb_removal_delay_length_minus1 = 23;
    au_cpb_removal_delay_length_minus1 = 23;
    dpb_output_delay_length_minus1 = 23;
  }

  for (uint32_t i = 0; i <= maxNumSubLayersMinus1; ++i) {
    fixed_pic_rate_general_flag[i] = r.GetBits<uint8_t>(1);
    fixed_pic_rate_within_cvs_flag[i] = fixed_pic_rate_general_flag[i] ? 1 : r.GetBits<uint8_t>(1);
    if (fixed_pic_rate_within_cvs_flag[i]) {
      elemental_duration_in_tc_minus1[i] = UE<uint16_t>(r);
      low_delay_hrd_flag[i] = 0;
    } else {
      low_delay_hrd_flag[i] = r.GetBits<uint8_t>(1);
    }
    cpb_cnt_minus1[i] = low_delay_hrd_flag[i] ? 0 : UE<uint8_t>(r, 31, "cpb_cnt_minus1 out of range");
    if (nal_hrd_parameters_present_flag) {
      nal_sub_layer_hrd[i].Decode(r, cpb_cnt_minus1[i], sub_pic_hrd_params_present_flag);
    }
    if (vcl_hrd_parameters_present_flag) {
      vcl_sub_layer_hrd[i].Decode(r, cpb_cnt_minus1[i], sub_pic_hrd_params_present_flag);
    }
  }
}

void HEVC_HRD::Append(H26xBitstreamBuilder& b, uint32_t commonInfPresentFlag, uint32_t maxNumSubLayersMinus1) const {
  if (commonInfPresentFlag) {
    b.AppendBit(nal_hrd_parameters_present_flag);
    b.AppendBit(vcl_hrd_parameters_present_flag);
    if (nal_hrd_parameters_present_flag || vcl_hrd_parameters_present_flag) {
      b.AppendBit(sub_pic_hrd_params_present_flag);
      if (sub_pic_hrd_params_present_flag) {
        b.AppendU64(tick_divisor_minus2, 8);
        b.AppendU64(du_cpb_removal_delay_increment_length_minus1, 5);
        b.AppendBit(sub_pic_cpb_params_in_pic_timing_sei_flag);
        b.AppendU64(dpb_output_delay_du_length_minus1, 5);
      }
      b.AppendU64(bit_rate_scale, 4);
      b.AppendU64(cpb_size_scale, 4);
      if (sub_pic_hrd_params_present_flag) b.AppendU64(cpb_size_du_scale, 4);
      b.AppendU64(initial_cpb_removal_delay_length_minus1, 5);
      b.AppendU64(au_cpb_removal_delay_length_minus1, 5);
      b.AppendU64(dpb_output_delay_length_minus1, 5);
    }
  }

  for (uint32_t i = 0; i <= maxNumSubLayersMinus1; ++i) {
    b.AppendBit(fixed_pic_rate_general_flag[i]);
    if (!fixed_pic_rate_general_flag[i]) b.AppendBit(fixed_pic_rate_within_cvs_flag[i]);
    if (fixed_pic_rate_within_cvs_flag[i]) {
      b.AppendUE(elemental_duration_in_tc_minus1[i]);
    } else {
      b.AppendBit(low_delay_hrd_flag[i]);
    }
    if (!low_delay_hrd_flag[i]) b.AppendUE(cpb_cnt_minus1[i]);
    if (nal_hrd_parameters_present_flag) {
      nal_sub_layer_hrd[i].Append(b, cpb_cnt_minus1[i], sub_pic_hrd_params_present_flag);
    }
    if (vcl_hrd_parameters_present_flag) {
      vcl_sub_layer_hrd[i].Append(b, cpb_cnt_minus1[i], sub_pic_hrd_params_present_flag);
    }
  }
}

void HEVC_SubLayerHRD::Decode(BitsReader& r, uint32_t cpbCntMinus1, uint32_t subPicHrdParamsPresentFlag) {
  for (uint32_t j = 0; j <= cpbCntMinus1; ++j) {
    bit_rate_value_minus1[j] = r.GetUEGolomb();
    cpb_size_value_minus1[j] = r.GetUEGolomb();
    if (subPicHrdParamsPresentFlag) {
      cpb_size_du_value_minus1[j] = r.GetUEGolomb();
      bit_rate_du_value_minus1[j] = r.GetUEGolomb();
    }
    cbr_flag[j] = r.GetBits<uint8_t>(1);
  }
}

void HEVC_SubLayerHRD::Append(H26xBitstreamBuilder& b, uint32_t cpbCntMinus1, uint32_t subPicHrdParamsPresentFlag) const {
  for (uint32_t j = 0; j <= cpbCntMinus1; ++j) {
    b.AppendUE(bit_rate_value_minus1[j]);
    b.AppendUE(cpb_size_value_minus1[j]);
    if (subPicHrdParamsPresentFlag) {
      b.AppendUE(cpb_size_du_value_minus1[j]);
      b.AppendUE(bit_rate_du_value_minus1[j]);
    }
    b.AppendBit(cbr_flag[j]);
  }
}

}  // namespace Orvane::Proc::CodecParsers
