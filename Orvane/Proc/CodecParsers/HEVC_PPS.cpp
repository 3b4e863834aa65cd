// The picture parameter set with its range and screen-content extensions.
#include <algorithm>

#include <glog/logging.h>

#include "Orvane/Proc/CodecParsers/HEVCCodecParams.h"
#include "Orvane/Proc/CodecParsers/HEVCSyntax.h"

namespace Orvane::Proc::CodecParsers {

using namespace hevc_syntax;

namespace {

constexpr uint32_t kPPSType = 34;
// A reference picture list holds at most 15 entries.
constexpr uint32_t kMaxRefs = 15;
// The range extension exists from the format range extensions profile (general_profile_idc 4) on.
constexpr uint32_t kFirstRangeExtensionsProfile = 4;

}  // namespace

void HEVC_PPS::Decode(const NALU& nalu, const HEVC_PS& ps) {
  Reset(*this);
  UnitRBSP rbsp(nalu);
  BitsReader& r = rbsp.Reader();
  r.SkipBits(1);  // forbidden_zero_bit
  if (r.GetBits<uint32_t>(6) != kPPSType) Fail("NALU is not a PPS");
  r.SkipBits(6 + 3);  // nuh_layer_id, nuh_temporal_id_plus1

  pps_pic_parameter_set_id = UE<uint8_t>(r, 63, "PPS id out of range");
  pps_seq_parameter_set_id = UE<uint8_t>(r, 15, "SPS id out of range");
  const HEVC_SPS* sps = FindStored(ps.sps_list, pps_seq_parameter_set_id, &HEVC_SPS::sps_seq_parameter_set_id);
  if (!sps) Fail("invalid seq_parameter_set_id in pps");

  dependent_slice_segments_enabled_flag = r.GetBits<uint8_t>(1);
  output_flag_present_flag = r.GetBits<uint8_t>(1);
  num_extra_slice_header_bits = r.GetBits<uint8_t>(3);
  sign_data_hiding_enabled_flag = r.GetBits<uint8_t>(1);
  cabac_init_present_flag = r.GetBits<uint8_t>(1);
  const uint32_t l0 = r.GetUEGolomb();
  const uint32_t l1 = r.GetUEGolomb();
  if (l0 >= kMaxRefs || l1 >= kMaxRefs) Fail("Too many default refs in PPS");
  num_ref_idx_l0_default_active_minus1 = static_cast<uint8_t>(l0);
  num_ref_idx_l1_default_active_minus1 = static_cast<uint8_t>(l1);
  init_qp_minus26 = SE<int8_t>(r);
  constrained_intra_pred_flag = r.GetBits<uint8_t>(1);
  transform_skip_enabled_flag = r.GetBits<uint8_t>(1);
  cu_qp_delta_enabled_flag = r.GetBits<uint8_t>(1);
  if (cu_qp_delta_enabled_flag) {
    diff_cu_qp_delta_depth =
        UE<uint8_t>(r, sps->log2_diff_max_min_luma_coding_block_size, "diff_cu_qp_delta_depth is invalid");
  }
  pps_cb_qp_offset = SE<int8_t>(r, -12, 12, "pps_cb_qp_offset out of range");
  pps_cr_qp_offset = SE<int8_t>(r, -12, 12, "pps_cr_qp_offset out of range");
  pps_slice_chroma_qp_offsets_present_flag = r.GetBits<uint8_t>(1);
  weighted_pred_flag = r.GetBits<uint8_t>(1);
  weighted_bipred_flag = r.GetBits<uint8_t>(1);
  transquant_bypass_enabled_flag = r.GetBits<uint8_t>(1);
  tiles_enabled_flag = r.GetBits<uint8_t>(1);
  entropy_coding_sync_enabled_flag = r.GetBits<uint8_t>(1);

  if (tiles_enabled_flag) {
    num_tile_columns_minus1 = UE<uint8_t>(r, 20, "num_tile_columns_minus1 out of range");
    num_tile_rows_minus1 = UE<uint8_t>(r, 22, "num_tile_rows_minus1 out of range");
    uniform_spacing_flag = r.GetBits<uint8_t>(1);
    if (!uniform_spacing_flag) {
      // No tile is wider or higher than the picture.
      for (uint32_t i = 0; i < num_tile_columns_minus1; ++i) {
        column_width_minus1[i] = UE<uint16_t>(r, sps->pic_width_in_luma_samples, "column_width_minus1 out of range");
      }
      for (uint32_t i = 0; i < num_tile_rows_minus1; ++i) {
        row_height_minus1[i] = UE<uint16_t>(r, sps->pic_height_in_luma_samples, "row_height_minus1 out of range");
      }
    }
    loop_filter_across_tiles_enabled_flag = r.GetBits<uint8_t>(1);
  }

  pps_loop_filter_across_slices_enabled_flag = r.GetBits<uint8_t>(1);
  deblocking_filter_control_present_flag = r.GetBits<uint8_t>(1);
  if (deblocking_filter_control_present_flag) {
    deblocking_filter_override_enabled_flag = r.GetBits<uint8_t>(1);
    pps_deblocking_filter_disabled_flag = r.GetBits<uint8_t>(1);
    if (!pps_deblocking_filter_disabled_flag) {
      pps_beta_offset_div2 = SE<int8_t>(r, -6, 6, "pps_beta_offset_div2 out of range");
      pps_tc_offset_div2 = SE<int8_t>(r, -6, 6, "pps_tc_offset_div2 out of range");
    }
  }

  pps_scaling_list_data_present_flag = r.GetBits<uint8_t>(1);
  if (pps_scaling_list_data_present_flag) scaling_list.Decode(r);
  lists_modification_present_flag = r.GetBits<uint8_t>(1);
  // The merge level may not exceed the CTB size; the sum wraps as the 8-bit fields do.
  const auto ctbLog2Minus2 = static_cast<uint8_t>(sps->log2_min_luma_coding_block_size_minus3 + 1 +
                                                  sps->log2_diff_max_min_luma_coding_block_size);
  log2_parallel_merge_level_minus2 = UE<uint8_t>(r, ctbLog2Minus2, "log2_parallel_merge_level_minus2 out of range");
  slice_segment_header_extension_present_flag = r.GetBits<uint8_t>(1);
  pps_extension_present_flag = r.GetBits<uint8_t>(1);
  if (!pps_extension_present_flag) return;

  pps_range_extension_flag = r.GetBits<uint8_t>(1);
  pps_multilayer_extension_flag = r.GetBits<uint8_t>(1);
  pps_3d_extension_flag = r.GetBits<uint8_t>(1);
  pps_scc_extension_flag = r.GetBits<uint8_t>(1);
  pps_extension_4bits = r.GetBits<uint8_t>(4);

  // Below the range extensions profiles the flag is kept but nothing of the extension is read.
  if (pps_range_extension_flag && sps->profile_tier_level.general.profile_idc >= kFirstRangeExtensionsProfile) {
    if (transform_skip_enabled_flag) log2_max_transform_skip_block_size_minus2 = UE<uint8_t>(r);
    cross_component_prediction_enabled_flag = r.GetBits<uint8_t>(1);
    chroma_qp_offset_list_enabled_flag = r.GetBits<uint8_t>(1);
    if (chroma_qp_offset_list_enabled_flag) {
      diff_cu_chroma_qp_offset_depth = UE<uint8_t>(r);
      chroma_qp_offset_list_len_minus1 =
          UE<uint8_t>(r, 5, "chroma_qp_offset_list_len_minus1 shall be in the range [0, 5]");
      for (uint32_t i = 0; i <= chroma_qp_offset_list_len_minus1; ++i) {
        cb_qp_offset_list[i] = SE<int8_t>(r);
        cr_qp_offset_list[i] = SE<int8_t>(r);
      }
    }
    const auto saoScaleMax = [](uint32_t bitDepthMinus8) {
      return static_cast<uint32_t>(std::max(0, static_cast<int32_t>(bitDepthMinus8) - 2));
    };
    log2_sao_offset_scale_luma =
        UE<uint8_t>(r, saoScaleMax(sps->bit_depth_luma_minus8), "log2_sao_offset_scale_luma out of range");
    log2_sao_offset_scale_chroma =
        UE<uint8_t>(r, saoScaleMax(sps->bit_depth_chroma_minus8), "log2_sao_offset_scale_chroma out of range");
  }

  // The multilayer extension is not read; the PPS is kept as far as it goes, without the 3D and
  // screen-content extensions that would follow.
  if (pps_multilayer_extension_flag) {
    VLOG(20) << "Parse of HEVC PPS Multilayer Extension is not implemented";
    return;
  }
  if (pps_3d_extension_flag) Fail("pps_3d_extension not implemented");
  if (pps_scc_extension_flag) {
    pps_curr_pic_ref_enabled_flag = r.GetBits<uint8_t>(1);
    residual_adaptive_colour_transform_enabled_flag = r.GetBits<uint8_t>(1);
    if (residual_adaptive_colour_transform_enabled_flag) {
      pps_slice_act_qp_offsets_present_flag = r.GetBits<uint8_t>(1);
      pps_act_y_qp_offset_plus5 = SE<int8_t>(r, -7, 17, "pps_act_y_qp_offset_plus5 out of range");
      pps_act_cb_qp_offset_plus5 = SE<int8_t>(r, -7, 17, "pps_act_cb_qp_offset_plus5 out of range");
      pps_act_cr_qp_offset_plus3 = SE<int8_t>(r, -9, 15, "pps_act_cr_qp_offset_plus3 out of range");
    }
    pps_palette_predictor_initializers_present_flag = r.GetBits<uint8_t>(1);
    if (!pps_palette_predictor_initializers_present_flag) return;
    pps_num_palette_predictor_initializers =
        UE<uint8_t>(r, 128, "pps_num_palette_predictor_initializers out of range");
    if (pps_num_palette_predictor_initializers == 0) return;
    monochrome_palette_flag = r.GetBits<uint8_t>(1);
    // The entries must have the sequence's bit depths.
    const uint32_t lumaDepthMinus8 = r.GetUEGolomb();
    if (lumaDepthMinus8 != sps->bit_depth_luma_minus8) Fail("Invalid value of luma_bit_depth_entry_minus8");
    luma_bit_depth_entry_minus8 = static_cast<uint8_t>(lumaDepthMinus8);
    if (!monochrome_palette_flag) {
      const uint32_t chromaDepthMinus8 = r.GetUEGolomb();
      if (chromaDepthMinus8 != sps->bit_depth_chroma_minus8) Fail("Invalid value of chroma_bit_depth_entry_minus8");
      chroma_bit_depth_entry_minus8 = static_cast<uint8_t>(chromaDepthMinus8);
    }
    const uint32_t numComps = monochrome_palette_flag ? 1 : 3;
    for (uint32_t comp = 0; comp < numComps; ++comp) {
      const uint32_t bitDepth = (comp == 0 ? luma_bit_depth_entry_minus8 : chroma_bit_depth_entry_minus8) + 8u;
      for (uint32_t i = 0; i < pps_num_palette_predictor_initializers; ++i) {
        pps_palette_predictor_initializer[comp][i] = r.GetBits<uint16_t>(bitDepth);
      }
    }
  }
  // What pps_extension_4bits announces is not read.
}

}  // namespace Orvane::Proc::CodecParsers
