// The H.265 records listed element by element, each function in the shape of the decode it
// mirrors, so that exactly what the syntax coded is listed and in its order.
#include <algorithm>
#include <iterator>
#include <optional>
#include <string>

#include "Orvane/Proc/CodecParsers/H26xSyntax.h"
#include "Orvane/Proc/CodecParsers/HEVCSliceHeader.h"
#include "Orvane/Proc/CodecParsers/HEVC_SEI.h"
#include "Orvane/Proc/CodecParsers/SyntaxListing.h"

// A field of a record, or entry i of an array field, under the field's own name.
#define FIELD(record, field) out.Element(#field, (record).field)
#define ENTRY(record, field, i) out.Element(#field, {i}, (record).field[i])

namespace Orvane::Proc::CodecParsers {

namespace {

using h26x_syntax::Held;

// The range extensions of the PPS exist from the format range extensions profile on.
constexpr uint32_t kFirstRangeExtensionsProfile = 4;
constexpr uint32_t kIDRWithRADL = 19;
constexpr uint32_t kIDRNoLeading = 20;
constexpr uint8_t kSliceB = 0;
constexpr uint8_t kSliceI = 2;

// One profile block of profile_tier_level, without its level: the general one (prefix
// "general_"), or that of sub-layer i (prefix "sub_layer_", and [i] before the element's own
// index).
void ListProfile(const HEVC_ProfileInfo& p, std::string_view prefix, std::optional<uint32_t> subLayer,
                 SyntaxListing& out) {
  std::string name(prefix);
  const auto element = [&](std::string_view suffix, int64_t value) {
    name.resize(prefix.size());
    name += suffix;
    if (subLayer) {
      out.Element(name, {*subLayer}, value);
    } else {
      out.Element(name, value);
    }
  };
  element("profile_space", p.profile_space);
  element("tier_flag", p.tier_flag);
  element("profile_idc", p.profile_idc);
  for (uint32_t j = 0; j < 32; ++j) {
    name.resize(prefix.size());
    name += "profile_compatibility_flag";
    if (subLayer) {
      out.Element(name, {*subLayer, j}, p.profile_compatibility_flag[j]);
    } else {
      out.Element(name, {j}, p.profile_compatibility_flag[j]);
    }
  }
  element("progressive_source_flag", p.progressive_source_flag);
  element("interlaced_source_flag", p.interlaced_source_flag);
  element("non_packed_constraint_flag", p.non_packed_constraint_flag);
  element("frame_only_constraint_flag", p.frame_only_constraint_flag);
  const auto profile = [&p](uint32_t k) { return p.profile_idc == k || p.profile_compatibility_flag[k]; };
  if (profile(4) || profile(5) || profile(6) || profile(7) || profile(8) || profile(9) || profile(10) ||
      profile(11)) {
    element("max_12bit_constraint_flag", p.max_12bit_constraint_flag);
    element("max_10bit_constraint_flag", p.max_10bit_constraint_flag);
    element("max_8bit_constraint_flag", p.max_8bit_constraint_flag);
    element("max_422chroma_constraint_flag", p.max_422chroma_constraint_flag);
    element("max_420chroma_constraint_flag", p.max_420chroma_constraint_flag);
    element("max_monochrome_constraint_flag", p.max_monochrome_constraint_flag);
    element("intra_constraint_flag", p.intra_constraint_flag);
    element("one_picture_only_constraint_flag", p.one_picture_only_constraint_flag);
    element("lower_bit_rate_constraint_flag", p.lower_bit_rate_constraint_flag);
    if (profile(5) || profile(9) || profile(10) || profile(11)) element("max_14bit_constraint_flag", p.max_14bit_constraint_flag);
  } else if (profile(2)) {
    element("one_picture_only_constraint_flag", p.one_picture_only_constraint_flag);
  }
  if (profile(1) || profile(2) || profile(3) || profile(4) || profile(5) || profile(9) || profile(11)) {
    element("inbld_flag", p.inbld_flag);
  }
}

void ListPTL(const HEVC_PTL& ptl, uint32_t maxNumSubLayersMinus1, SyntaxListing& out) {
  out.BeginRecord("profile_tier_level");
  ListProfile(ptl.general, "general_", std::nullopt, out);
  out.Element("general_level_idc", ptl.general.level_idc);
  const uint32_t subLayers = Held(maxNumSubLayersMinus1, ptl.sub_layer);
  for (uint32_t i = 0; i < subLayers; ++i) {
    ENTRY(ptl, sub_layer_profile_present_flag, i);
    ENTRY(ptl, sub_layer_level_present_flag, i);
  }
  for (uint32_t i = 0; i < subLayers; ++i) {
    if (ptl.sub_layer_profile_present_flag[i]) ListProfile(ptl.sub_layer[i], "sub_layer_", i, out);
    if (ptl.sub_layer_level_present_flag[i]) out.Element("sub_layer_level_idc", {i}, ptl.sub_layer[i].level_idc);
  }
  out.EndRecord();
}

void ListSubLayerHRD(const HEVC_SubLayerHRD& s, std::string_view name, uint32_t i, uint32_t cpbCntMinus1,
                     bool subPic, SyntaxListing& out) {
  out.BeginRecord(name, {i});
  for (uint32_t j = 0; j < Held(cpbCntMinus1 + uint64_t{1}, s.cbr_flag); ++j) {
    ENTRY(s, bit_rate_value_minus1, j);
    ENTRY(s, cpb_size_value_minus1, j);
    if (subPic) {
      ENTRY(s, cpb_size_du_value_minus1, j);
      ENTRY(s, bit_rate_du_value_minus1, j);
    }
    ENTRY(s, cbr_flag, j);
  }
  out.EndRecord();
}

void ListHRD(const HEVC_HRD& h, bool commonInfPresentFlag, uint32_t maxNumSubLayersMinus1, SyntaxListing& out) {
  if (commonInfPresentFlag) {
    FIELD(h, nal_hrd_parameters_present_flag);
    FIELD(h, vcl_hrd_parameters_present_flag);
    if (h.nal_hrd_parameters_present_flag || h.vcl_hrd_parameters_present_flag) {
      FIELD(h, sub_pic_hrd_params_present_flag);
      if (h.sub_pic_hrd_params_present_flag) {
        FIELD(h, tick_divisor_minus2);
        FIELD(h, du_cpb_removal_delay_increment_length_minus1);
        FIELD(h, sub_pic_cpb_params_in_pic_timing_sei_flag);
        FIELD(h, dpb_output_delay_du_length_minus1);
      }
      FIELD(h, bit_rate_scale);
      FIELD(h, cpb_size_scale);
      if (h.sub_pic_hrd_params_present_flag) FIELD(h, cpb_size_du_scale);
      FIELD(h, initial_cpb_removal_delay_length_minus1);
      FIELD(h, au_cpb_removal_delay_length_minus1);
      FIELD(h, dpb_output_delay_length_minus1);
    }
  }
  for (uint32_t i = 0; i < Held(maxNumSubLayersMinus1 + uint64_t{1}, h.cpb_cnt_minus1); ++i) {
    ENTRY(h, fixed_pic_rate_general_flag, i);
    if (!h.fixed_pic_rate_general_flag[i]) ENTRY(h, fixed_pic_rate_within_cvs_flag, i);
    if (h.fixed_pic_rate_within_cvs_flag[i]) {
      ENTRY(h, elemental_duration_in_tc_minus1, i);
    } else {
      ENTRY(h, low_delay_hrd_flag, i);
    }
    if (!h.low_delay_hrd_flag[i]) ENTRY(h, cpb_cnt_minus1, i);
    const bool subPic = h.sub_pic_hrd_params_present_flag;
    if (h.nal_hrd_parameters_present_flag) {
      ListSubLayerHRD(h.nal_sub_layer_hrd[i], "nal_sub_layer_hrd_parameters", i, h.cpb_cnt_minus1[i], subPic, out);
    }
    if (h.vcl_hrd_parameters_present_flag) {
      ListSubLayerHRD(h.vcl_sub_layer_hrd[i], "vcl_sub_layer_hrd_parameters", i, h.cpb_cnt_minus1[i], subPic, out);
    }
  }
}

void ListScalingList(const HEVC_ScalingList& s, SyntaxListing& out) {
  out.BeginRecord("scaling_list_data");
  for (uint32_t sizeId = 0; sizeId < 4; ++sizeId) {
    const uint32_t coefNum = sizeId == 0 ? 16 : 64;
    for (uint32_t matrixId = 0; matrixId < 6; matrixId += (sizeId == 3) ? 3 : 1) {
      out.Element("scaling_list_pred_mode_flag", {sizeId, matrixId}, s.scaling_list_pred_mode_flag[sizeId][matrixId]);
      if (!s.scaling_list_pred_mode_flag[sizeId][matrixId]) {
        out.Element("scaling_list_pred_matrix_id_delta", {sizeId, matrixId},
                    s.scaling_list_pred_matrix_id_delta[sizeId][matrixId]);
        continue;
      }
      if (sizeId > 1) {
        out.Element("scaling_list_dc_coef_minus8", {sizeId - 2, matrixId},
                    s.scaling_list_dc_coef_minus8[sizeId - 2][matrixId]);
      }
      for (uint32_t i = 0; i < coefNum; ++i) {
        out.Element("scaling_list_delta_coef", {sizeId, matrixId, i}, s.scaling_list_delta_coef[sizeId][matrixId][i]);
      }
    }
  }
  out.EndRecord();
}

// A set in the form it was coded in: predicted from another set, or explicit. SPS entry 0, and a
// slice header's set under an SPS without sets, can only be explicit, whatever the record says.
void ListShortTermRPS(const HEVC_ShortTermRPS& s, const HEVC_SPS& sps, uint32_t stRpsIdx, SyntaxListing& out) {
  const uint32_t numSets = Held(sps.num_short_term_ref_pic_sets, sps.st_ref_pic_set);
  const bool mayPredict = stRpsIdx != 0 && numSets != 0;
  if (mayPredict) FIELD(s, inter_ref_pic_set_prediction_flag);
  if (!mayPredict || !s.inter_ref_pic_set_prediction_flag) {
    FIELD(s, num_negative_pics);
    FIELD(s, num_positive_pics);
    for (uint32_t i = 0; i < Held(s.num_negative_pics, s.delta_poc_s0_minus1); ++i) {
      ENTRY(s, delta_poc_s0_minus1, i);
      ENTRY(s, used_by_curr_pic_s0_flag, i);
    }
    for (uint32_t i = 0; i < Held(s.num_positive_pics, s.delta_poc_s1_minus1); ++i) {
      ENTRY(s, delta_poc_s1_minus1, i);
      ENTRY(s, used_by_curr_pic_s1_flag, i);
    }
    return;
  }
  const bool sliceHeaderSet = stRpsIdx == numSets;
  if (sliceHeaderSet) FIELD(s, delta_idx_minus1);
  const uint32_t distance = sliceHeaderSet ? s.delta_idx_minus1 + 1u : 1u;
  FIELD(s, delta_rps_sign);
  FIELD(s, abs_delta_rps_minus1);
  // The flags are as many as the pictures of the set predicted from; a set that names none has
  // no flags to list.
  if (stRpsIdx > numSets || distance > stRpsIdx) return;
  const HEVC_ShortTermRPS& ref = sps.st_ref_pic_set[stRpsIdx - distance];
  const uint32_t numDeltaPocs = uint32_t{ref.num_negative_pics} + ref.num_positive_pics;
  for (uint32_t j = 0; j < Held(numDeltaPocs + uint64_t{1}, s.used_by_curr_pic_flag); ++j) {
    ENTRY(s, used_by_curr_pic_flag, j);
    if (!s.used_by_curr_pic_flag[j]) ENTRY(s, use_delta_flag, j);
  }
}

// The VUI as stored: one read without its default display window lists no window.
void ListVUI(const HEVC_VUI& v, uint32_t maxNumSubLayersMinus1, SyntaxListing& out) {
  out.BeginRecord("vui_parameters");
  ListSyntax(v.common, out);
  FIELD(v, neutral_chroma_indication_flag);
  FIELD(v, field_seq_flag);
  FIELD(v, frame_field_info_present_flag);
  FIELD(v, default_display_window_flag);
  if (v.default_display_window_flag) {
    FIELD(v, def_disp_win_left_offset);
    FIELD(v, def_disp_win_right_offset);
    FIELD(v, def_disp_win_top_offset);
    FIELD(v, def_disp_win_bottom_offset);
  }
  FIELD(v, vui_timing_info_present_flag);
  if (v.vui_timing_info_present_flag) {
    FIELD(v, vui_num_units_in_tick);
    FIELD(v, vui_time_scale);
    FIELD(v, vui_poc_proportional_to_timing_flag);
    if (v.vui_poc_proportional_to_timing_flag) FIELD(v, vui_num_ticks_poc_diff_one_minus1);
    FIELD(v, vui_hrd_parameters_present_flag);
    if (v.vui_hrd_parameters_present_flag) {
      out.BeginRecord("hrd_parameters");
      ListHRD(v.hrd_parameters, true, maxNumSubLayersMinus1, out);
      out.EndRecord();
    }
  }
  FIELD(v, bitstream_restriction_flag);
  if (v.bitstream_restriction_flag) {
    FIELD(v, tiles_fixed_structure_flag);
    FIELD(v, motion_vectors_over_pic_boundaries_flag);
    FIELD(v, restricted_ref_pic_lists_flag);
    FIELD(v, min_spatial_segmentation_idc);
    FIELD(v, max_bytes_per_pic_denom);
    FIELD(v, max_bits_per_min_cu_denom);
    FIELD(v, log2_max_mv_length_horizontal);
    FIELD(v, log2_max_mv_length_vertical);
  }
  out.EndRecord();
}

// pps_scc_extension.
void ListSccExtension(const HEVC_PPS& p, SyntaxListing& out) {
  FIELD(p, pps_curr_pic_ref_enabled_flag);
  FIELD(p, residual_adaptive_colour_transform_enabled_flag);
  if (p.residual_adaptive_colour_transform_enabled_flag) {
    FIELD(p, pps_slice_act_qp_offsets_present_flag);
    FIELD(p, pps_act_y_qp_offset_plus5);
    FIELD(p, pps_act_cb_qp_offset_plus5);
    FIELD(p, pps_act_cr_qp_offset_plus3);
  }
  FIELD(p, pps_palette_predictor_initializers_present_flag);
  if (!p.pps_palette_predictor_initializers_present_flag) return;
  FIELD(p, pps_num_palette_predictor_initializers);
  if (p.pps_num_palette_predictor_initializers == 0) return;
  FIELD(p, monochrome_palette_flag);
  FIELD(p, luma_bit_depth_entry_minus8);
  if (!p.monochrome_palette_flag) FIELD(p, chroma_bit_depth_entry_minus8);
  const uint32_t numComps = p.monochrome_palette_flag ? 1 : 3;
  for (uint32_t comp = 0; comp < numComps; ++comp) {
    const auto& initializers = p.pps_palette_predictor_initializer[comp];
    for (uint32_t i = 0; i < Held(p.pps_num_palette_predictor_initializers, initializers); ++i) {
      out.Element("pps_palette_predictor_initializer", {comp, i}, initializers[i]);
    }
  }
}

// The pictures the slice may refer to: the short-term and long-term ones that the current picture
// uses, and the picture itself where it may refer to itself.
uint32_t NumPicTotalCurr(const HEVCSliceHeader& h, const HEVC_PPS& pps) {
  uint32_t total = pps.pps_curr_pic_ref_enabled_flag;
  const HEVC_ShortTermRPS& st = h.st_ref_pic_set;
  const auto sum = [&total](const auto& flags, uint64_t count) {
    for (uint32_t i = 0; i < Held(count, flags); ++i) total += flags[i];
  };
  sum(st.used_by_curr_pic_s0_flag, st.num_negative_pics);
  sum(st.used_by_curr_pic_s1_flag, st.num_positive_pics);
  sum(h.used_by_curr_pic_lt_flag, uint32_t{h.num_long_term_sps} + h.num_long_term_pics);
  return total;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// video_parameter_set_rbsp

void ListSyntax(const HEVC_VPS& v, SyntaxListing& out) {
  FIELD(v, vps_video_parameter_set_id);
  FIELD(v, vps_base_layer_internal_flag);
  FIELD(v, vps_base_layer_available_flag);
  FIELD(v, vps_max_layers_minus1);
  FIELD(v, vps_max_sub_layers_minus1);
  FIELD(v, vps_temporal_id_nesting_flag);
  ListPTL(v.profile_tier_level, v.vps_max_sub_layers_minus1, out);
  FIELD(v, vps_sub_layer_ordering_info_present_flag);
  const uint32_t highest = v.vps_max_sub_layers_minus1;
  const uint32_t end = Held(highest + uint64_t{1}, v.vps_max_latency_increase_plus1);
  for (uint32_t i = v.vps_sub_layer_ordering_info_present_flag ? 0 : highest; i < end; ++i) {
    ENTRY(v, vps_max_dec_pic_buffering_minus1, i);
    ENTRY(v, vps_max_num_reorder_pics, i);
    ENTRY(v, vps_max_latency_increase_plus1, i);
  }
  FIELD(v, vps_max_layer_id);
  FIELD(v, vps_num_layer_sets_minus1);
  for (uint32_t i = 1; i < Held(v.vps_num_layer_sets_minus1 + uint64_t{1}, v.layer_id_included_flag); ++i) {
    for (uint32_t j = 0; j < Held(v.vps_max_layer_id + uint64_t{1}, v.layer_id_included_flag[i]); ++j) {
      out.Element("layer_id_included_flag", {i, j}, v.layer_id_included_flag[i][j]);
    }
  }
  FIELD(v, vps_timing_info_present_flag);
  if (v.vps_timing_info_present_flag) {
    FIELD(v, vps_num_units_in_tick);
    FIELD(v, vps_time_scale);
    FIELD(v, vps_poc_proportional_to_timing_flag);
    if (v.vps_poc_proportional_to_timing_flag) FIELD(v, vps_num_ticks_poc_diff_one_minus1);
    FIELD(v, vps_num_hrd_parameters);
    const uint32_t hrdCount = std::min(Held(v.vps_num_hrd_parameters, v.hrd_parameters),
                                       Held(v.vps_num_hrd_parameters, v.cprms_present_flag));
    for (uint32_t i = 0; i < hrdCount; ++i) {
      ENTRY(v, hrd_layer_set_idx, i);
      if (i > 0) ENTRY(v, cprms_present_flag, i);
      out.BeginRecord("hrd_parameters", {i});
      ListHRD(v.hrd_parameters[i], v.cprms_present_flag[i], v.vps_max_sub_layers_minus1, out);
      out.EndRecord();
    }
  }
  FIELD(v, vps_extension_flag);
}

// ---------------------------------------------------------------------------------------------
// seq_parameter_set_rbsp

void ListSyntax(const HEVC_SPS& s, SyntaxListing& out) {
  // A layer SPS that takes its sub-layers from the VPS codes 7 here and has the multilayer form.
  const bool multiLayerExtSps = s.sps_ext_or_max_sub_layers_minus1 == 7;
  FIELD(s, sps_video_parameter_set_id);
  if (s.sps_ext_or_max_sub_layers_minus1 != 0) {
    FIELD(s, sps_ext_or_max_sub_layers_minus1);
  } else {
    FIELD(s, sps_max_sub_layers_minus1);
  }
  if (!multiLayerExtSps) {
    FIELD(s, sps_temporal_id_nesting_flag);
    ListPTL(s.profile_tier_level, s.sps_max_sub_layers_minus1, out);
  }
  FIELD(s, sps_seq_parameter_set_id);
  if (multiLayerExtSps) {
    FIELD(s, update_rep_format_flag);
    if (s.update_rep_format_flag) FIELD(s, sps_rep_format_idx);
  } else {
    FIELD(s, chroma_format_idc);
    if (s.chroma_format_idc == 3) FIELD(s, separate_colour_plane_flag);
    FIELD(s, pic_width_in_luma_samples);
    FIELD(s, pic_height_in_luma_samples);
    FIELD(s, conformance_window_flag);
    if (s.conformance_window_flag) {
      FIELD(s, conf_win_left_offset);
      FIELD(s, conf_win_right_offset);
      FIELD(s, conf_win_top_offset);
      FIELD(s, conf_win_bottom_offset);
    }
    FIELD(s, bit_depth_luma_minus8);
    FIELD(s, bit_depth_chroma_minus8);
  }
  FIELD(s, log2_max_pic_order_cnt_lsb_minus4);
  if (!multiLayerExtSps) {
    FIELD(s, sps_sub_layer_ordering_info_present_flag);
    const uint32_t highest = s.sps_max_sub_layers_minus1;
    const uint32_t end = Held(highest + uint64_t{1}, s.sps_max_latency_increase_plus1);
    for (uint32_t i = s.sps_sub_layer_ordering_info_present_flag ? 0 : highest; i < end; ++i) {
      ENTRY(s, sps_max_dec_pic_buffering_minus1, i);
      ENTRY(s, sps_max_num_reorder_pics, i);
      ENTRY(s, sps_max_latency_increase_plus1, i);
    }
  }
  FIELD(s, log2_min_luma_coding_block_size_minus3);
  FIELD(s, log2_diff_max_min_luma_coding_block_size);
  FIELD(s, log2_min_luma_transform_block_size_minus2);
  FIELD(s, log2_diff_max_min_luma_transform_block_size);
  FIELD(s, max_transform_hierarchy_depth_inter);
  FIELD(s, max_transform_hierarchy_depth_intra);
  FIELD(s, scaling_list_enabled_flag);
  if (s.scaling_list_enabled_flag) {
    if (multiLayerExtSps) FIELD(s, sps_infer_scaling_list_flag);
    if (s.sps_infer_scaling_list_flag) {
      FIELD(s, sps_scaling_list_ref_layer_id);
    } else {
      FIELD(s, sps_scaling_list_data_present_flag);
      if (s.sps_scaling_list_data_present_flag) ListScalingList(s.scaling_list, out);
    }
  }
  FIELD(s, amp_enabled_flag);
  FIELD(s, sample_adaptive_offset_enabled_flag);
  FIELD(s, pcm_enabled_flag);
  if (s.pcm_enabled_flag) {
    FIELD(s, pcm_sample_bit_depth_luma_minus1);
    FIELD(s, pcm_sample_bit_depth_chroma_minus1);
    FIELD(s, log2_min_pcm_luma_coding_block_size_minus3);
    FIELD(s, log2_diff_max_min_pcm_luma_coding_block_size);
    FIELD(s, pcm_loop_filter_disabled_flag);
  }
  FIELD(s, num_short_term_ref_pic_sets);
  for (uint32_t i = 0; i < Held(s.num_short_term_ref_pic_sets, s.st_ref_pic_set); ++i) {
    out.BeginRecord("st_ref_pic_set", {i});
    ListShortTermRPS(s.st_ref_pic_set[i], s, i, out);
    out.EndRecord();
  }
  FIELD(s, long_term_ref_pics_present_flag);
  if (s.long_term_ref_pics_present_flag) {
    FIELD(s, num_long_term_ref_pics_sps);
    for (uint32_t i = 0; i < Held(s.num_long_term_ref_pics_sps, s.lt_ref_pic_poc_lsb_sps); ++i) {
      ENTRY(s, lt_ref_pic_poc_lsb_sps, i);
      ENTRY(s, used_by_curr_pic_lt_sps_flag, i);
    }
  }
  FIELD(s, sps_temporal_mvp_enabled_flag);
  FIELD(s, strong_intra_smoothing_enabled_flag);
  FIELD(s, vui_parameters_present_flag);
  if (s.vui_parameters_present_flag) ListVUI(s.vui, s.sps_max_sub_layers_minus1, out);
  FIELD(s, sps_extension_present_flag);
  if (!s.sps_extension_present_flag) return;
  FIELD(s, sps_range_extension_flag);
  FIELD(s, sps_multilayer_extension_flag);
  FIELD(s, sps_3d_extension_flag);
  FIELD(s, sps_scc_extension_flag);
  FIELD(s, sps_extension_4bits);
  if (s.sps_range_extension_flag) {
    out.BeginRecord("sps_range_extension");
    FIELD(s, transform_skip_rotation_enabled_flag);
    FIELD(s, transform_skip_context_enabled_flag);
    FIELD(s, implicit_rdpcm_enabled_flag);
    FIELD(s, explicit_rdpcm_enabled_flag);
    FIELD(s, extended_precision_processing_flag);
    FIELD(s, intra_smoothing_disabled_flag);
    FIELD(s, high_precision_offsets_enabled_flag);
    FIELD(s, persistent_rice_adaptation_enabled_flag);
    FIELD(s, cabac_bypass_alignment_enabled_flag);
    out.EndRecord();
  }
  if (s.sps_scc_extension_flag) {
    out.BeginRecord("sps_scc_extension");
    FIELD(s, sps_curr_pic_ref_enabled_flag);
    FIELD(s, palette_mode_enabled_flag);
    if (s.palette_mode_enabled_flag) {
      FIELD(s, palette_max_size);
      FIELD(s, delta_palette_max_predictor_size);
      FIELD(s, sps_palette_predictor_initializers_present_flag);
      if (s.sps_palette_predictor_initializers_present_flag) {
        FIELD(s, sps_num_palette_predictor_initializers_minus1);
        const uint32_t numComps = s.chroma_format_idc == 0 ? 1 : 3;
        for (uint32_t comp = 0; comp < numComps; ++comp) {
          const auto& initializers = s.sps_palette_predictor_initializer[comp];
          const uint32_t count = Held(s.sps_num_palette_predictor_initializers_minus1 + uint64_t{1}, initializers);
          for (uint32_t i = 0; i < count; ++i) {
            out.Element("sps_palette_predictor_initializer", {comp, i}, initializers[i]);
          }
        }
      }
    }
    FIELD(s, motion_vector_resolution_control_idc);
    FIELD(s, intra_boundary_filtering_disabled_flag);
    out.EndRecord();
  }
}

// ---------------------------------------------------------------------------------------------
// pic_parameter_set_rbsp

void ListSyntax(const HEVC_PPS& p, const HEVC_SPS& sps, SyntaxListing& out) {
  FIELD(p, pps_pic_parameter_set_id);
  FIELD(p, pps_seq_parameter_set_id);
  FIELD(p, dependent_slice_segments_enabled_flag);
  FIELD(p, output_flag_present_flag);
  FIELD(p, num_extra_slice_header_bits);
  FIELD(p, sign_data_hiding_enabled_flag);
  FIELD(p, cabac_init_present_flag);
  FIELD(p, num_ref_idx_l0_default_active_minus1);
  FIELD(p, num_ref_idx_l1_default_active_minus1);
  FIELD(p, init_qp_minus26);
  FIELD(p, constrained_intra_pred_flag);
  FIELD(p, transform_skip_enabled_flag);
  FIELD(p, cu_qp_delta_enabled_flag);
  if (p.cu_qp_delta_enabled_flag) FIELD(p, diff_cu_qp_delta_depth);
  FIELD(p, pps_cb_qp_offset);
  FIELD(p, pps_cr_qp_offset);
  FIELD(p, pps_slice_chroma_qp_offsets_present_flag);
  FIELD(p, weighted_pred_flag);
  FIELD(p, weighted_bipred_flag);
  FIELD(p, transquant_bypass_enabled_flag);
  FIELD(p, tiles_enabled_flag);
  FIELD(p, entropy_coding_sync_enabled_flag);
  if (p.tiles_enabled_flag) {
    FIELD(p, num_tile_columns_minus1);
    FIELD(p, num_tile_rows_minus1);
    FIELD(p, uniform_spacing_flag);
    if (!p.uniform_spacing_flag) {
      for (uint32_t i = 0; i < Held(p.num_tile_columns_minus1, p.column_width_minus1); ++i) {
        ENTRY(p, column_width_minus1, i);
      }
      for (uint32_t i = 0; i < Held(p.num_tile_rows_minus1, p.row_height_minus1); ++i) ENTRY(p, row_height_minus1, i);
    }
    FIELD(p, loop_filter_across_tiles_enabled_flag);
  }
  FIELD(p, pps_loop_filter_across_slices_enabled_flag);
  FIELD(p, deblocking_filter_control_present_flag);
  if (p.deblocking_filter_control_present_flag) {
    FIELD(p, deblocking_filter_override_enabled_flag);
    FIELD(p, pps_deblocking_filter_disabled_flag);
    if (!p.pps_deblocking_filter_disabled_flag) {
      FIELD(p, pps_beta_offset_div2);
      FIELD(p, pps_tc_offset_div2);
    }
  }
  FIELD(p, pps_scaling_list_data_present_flag);
  if (p.pps_scaling_list_data_present_flag) ListScalingList(p.scaling_list, out);
  FIELD(p, lists_modification_present_flag);
  FIELD(p, log2_parallel_merge_level_minus2);
  FIELD(p, slice_segment_header_extension_present_flag);
  FIELD(p, pps_extension_present_flag);
  if (!p.pps_extension_present_flag) return;
  FIELD(p, pps_range_extension_flag);
  FIELD(p, pps_multilayer_extension_flag);
  FIELD(p, pps_3d_extension_flag);
  FIELD(p, pps_scc_extension_flag);
  FIELD(p, pps_extension_4bits);
  // Below the range extensions profiles the decode reads nothing of the extension.
  if (p.pps_range_extension_flag && sps.profile_tier_level.general.profile_idc >= kFirstRangeExtensionsProfile) {
    out.BeginRecord("pps_range_extension");
    if (p.transform_skip_enabled_flag) FIELD(p, log2_max_transform_skip_block_size_minus2);
    FIELD(p, cross_component_prediction_enabled_flag);
    FIELD(p, chroma_qp_offset_list_enabled_flag);
    if (p.chroma_qp_offset_list_enabled_flag) {
      FIELD(p, diff_cu_chroma_qp_offset_depth);
      FIELD(p, chroma_qp_offset_list_len_minus1);
      for (uint32_t i = 0; i < Held(p.chroma_qp_offset_list_len_minus1 + uint64_t{1}, p.cb_qp_offset_list); ++i) {
        ENTRY(p, cb_qp_offset_list, i);
        ENTRY(p, cr_qp_offset_list, i);
      }
    }
    FIELD(p, log2_sao_offset_scale_luma);
    FIELD(p, log2_sao_offset_scale_chroma);
    out.EndRecord();
  }
  // The decode keeps nothing after a multilayer extension.
  if (p.pps_multilayer_extension_flag || !p.pps_scc_extension_flag) return;
  out.BeginRecord("pps_scc_extension");
  ListSccExtension(p, out);
  out.EndRecord();
}

// ---------------------------------------------------------------------------------------------
// slice_segment_header, up to collocated_ref_idx

void ListSyntax(const HEVCSliceHeader& h, uint32_t nal_unit_type, const HEVC_SPS& sps, const HEVC_PPS& pps,
                SyntaxListing& out) {
  const bool irap = nal_unit_type >= 16 && nal_unit_type <= 23;
  FIELD(h, first_slice_segment_in_pic_flag);
  if (irap) FIELD(h, no_output_of_prior_pics_flag);
  FIELD(h, slice_pic_parameter_set_id);
  if (!h.first_slice_segment_in_pic_flag) {
    if (pps.dependent_slice_segments_enabled_flag) FIELD(h, dependent_slice_segment_flag);
    FIELD(h, slice_segment_address);
  }
  if (h.dependent_slice_segment_flag) return;
  for (uint32_t i = 0; i < Held(pps.num_extra_slice_header_bits, h.slice_reserved_flag); ++i) {
    ENTRY(h, slice_reserved_flag, i);
  }
  FIELD(h, slice_type);
  if (pps.output_flag_present_flag) FIELD(h, pic_output_flag);
  if (sps.separate_colour_plane_flag) FIELD(h, colour_plane_id);
  if (nal_unit_type != kIDRWithRADL && nal_unit_type != kIDRNoLeading) {
    FIELD(h, slice_pic_order_cnt_lsb);
    FIELD(h, short_term_ref_pic_set_sps_flag);
    if (!h.short_term_ref_pic_set_sps_flag) {
      out.BeginRecord("st_ref_pic_set", {sps.num_short_term_ref_pic_sets});
      ListShortTermRPS(h.st_ref_pic_set, sps, sps.num_short_term_ref_pic_sets, out);
      out.EndRecord();
    } else if (sps.num_short_term_ref_pic_sets >= 2) {
      FIELD(h, short_term_ref_pic_set_idx);
    }
    if (sps.long_term_ref_pics_present_flag) {
      if (sps.num_long_term_ref_pics_sps > 0) FIELD(h, num_long_term_sps);
      FIELD(h, num_long_term_pics);
      for (uint32_t i = 0; i < Held(uint32_t{h.num_long_term_sps} + h.num_long_term_pics, h.poc_lsb_lt); ++i) {
        if (i < h.num_long_term_sps) {
          if (sps.num_long_term_ref_pics_sps > 1) ENTRY(h, lt_idx_sps, i);
        } else {
          ENTRY(h, poc_lsb_lt, i);
          ENTRY(h, used_by_curr_pic_lt_flag, i);
        }
        ENTRY(h, delta_poc_msb_present_flag, i);
        if (h.delta_poc_msb_present_flag[i]) ENTRY(h, delta_poc_msb_cycle_lt, i);
      }
    }
    if (sps.sps_temporal_mvp_enabled_flag) FIELD(h, slice_temporal_mvp_enabled_flag);
  }
  if (sps.sample_adaptive_offset_enabled_flag) {
    FIELD(h, slice_sao_luma_flag);
    if (!sps.separate_colour_plane_flag && sps.chroma_format_idc != 0) FIELD(h, slice_sao_chroma_flag);
  }
  if (h.slice_type == kSliceI) return;
  const bool b = h.slice_type == kSliceB;
  FIELD(h, num_ref_idx_active_override_flag);
  if (h.num_ref_idx_active_override_flag) {
    FIELD(h, num_ref_idx_l0_active_minus1);
    if (b) FIELD(h, num_ref_idx_l1_active_minus1);
  }
  if (pps.lists_modification_present_flag && NumPicTotalCurr(h, pps) > 1) {
    out.BeginRecord("ref_pic_lists_modification");
    FIELD(h, ref_pic_list_modification_flag_l0);
    if (h.ref_pic_list_modification_flag_l0) {
      for (uint32_t i = 0; i < Held(h.num_ref_idx_l0_active_minus1 + uint64_t{1}, h.list_entry_l0); ++i) {
        ENTRY(h, list_entry_l0, i);
      }
    }
    if (b) {
      FIELD(h, ref_pic_list_modification_flag_l1);
      if (h.ref_pic_list_modification_flag_l1) {
        for (uint32_t i = 0; i < Held(h.num_ref_idx_l1_active_minus1 + uint64_t{1}, h.list_entry_l1); ++i) {
          ENTRY(h, list_entry_l1, i);
        }
      }
    }
    out.EndRecord();
  }
  if (b) FIELD(h, mvd_l1_zero_flag);
  if (pps.cabac_init_present_flag) FIELD(h, cabac_init_flag);
  if (h.slice_temporal_mvp_enabled_flag) {
    if (b) FIELD(h, collocated_from_l0_flag);
    const uint32_t lastRefIdx =
        h.collocated_from_l0_flag ? h.num_ref_idx_l0_active_minus1 : h.num_ref_idx_l1_active_minus1;
    if (lastRefIdx > 0) FIELD(h, collocated_ref_idx);
  }
}

// ---------------------------------------------------------------------------------------------
// sei_rbsp: each sei_message with its payload's decoded form under the payload's name.

namespace {

void ListTimeCode(const HEVC_TimeCode& f, SyntaxListing& out) {
  FIELD(f, num_clock_ts);
  for (uint32_t i = 0; i < f.num_clock_ts; ++i) {
    ENTRY(f, clock_timestamp_flag, i);
    if (!f.clock_timestamp_flag[i]) continue;
    ENTRY(f, units_field_based_flag, i);
    ENTRY(f, counting_type, i);
    ENTRY(f, full_timestamp_flag, i);
    ENTRY(f, discontinuity_flag, i);
    ENTRY(f, cnt_dropped_flag, i);
    ENTRY(f, n_frames, i);
    if (f.full_timestamp_flag[i]) {
      ENTRY(f, seconds_value, i);
      ENTRY(f, minutes_value, i);
      ENTRY(f, hours_value, i);
    } else {
      ENTRY(f, seconds_flag, i);
      if (f.seconds_flag[i]) {
        ENTRY(f, seconds_value, i);
        ENTRY(f, minutes_flag, i);
        if (f.minutes_flag[i]) {
          ENTRY(f, minutes_value, i);
          ENTRY(f, hours_flag, i);
          if (f.hours_flag[i]) ENTRY(f, hours_value, i);
        }
      }
    }
    ENTRY(f, time_offset_length, i);
    if (f.time_offset_length[i] > 0) ENTRY(f, time_offset_value, i);
  }
}

void ListDecodedPictureHash(const HEVC_DecodedPictureHash& f, SyntaxListing& out) {
  FIELD(f, hash_type);
  for (uint32_t c = 0; c < f.componentCount; ++c) {
    if (f.hash_type == 0) {
      for (uint32_t i = 0; i < 16; ++i) out.Element("picture_md5", {c, i}, f.picture_md5[c][i]);
    } else if (f.hash_type == 1) {
      ENTRY(f, picture_crc, c);
    } else if (f.hash_type == 2) {
      ENTRY(f, picture_checksum, c);
    }
  }
}

// The bytes of a user data message, numbered from the payload's first byte as the syntax counts
// them, so that they follow the country code or the UUID.
void ListUserData(const HEVC_SEIMessage& m, std::string_view name, SyntaxListing& out) {
  const std::span<const uint8_t> bytes = m.UserData();
  const auto first = static_cast<uint32_t>(m.payload.size() - bytes.size());
  for (uint32_t i = 0; i < bytes.size(); ++i) out.Element(name, {first + i}, bytes[i]);
}

void ListForm(const HEVC_SEIMessage& m, SyntaxListing& out) {
  switch (m.payloadType) {
    case HEVC_SEIMessage::kUserDataRegistered: {
      const HEVC_UserDataRegistered& f = m.user_data_registered_itu_t_t35;
      out.BeginRecord("user_data_registered_itu_t_t35");
      FIELD(f, itu_t_t35_country_code);
      if (f.itu_t_t35_country_code == 0xFF) FIELD(f, itu_t_t35_country_code_extension_byte);
      ListUserData(m, "itu_t_t35_payload_byte", out);
      break;
    }
    case HEVC_SEIMessage::kUserDataUnregistered: {
      out.BeginRecord("user_data_unregistered");
      for (uint32_t i = 0; i < 16; ++i) ENTRY(m.user_data_unregistered, uuid_iso_iec_11578, i);
      ListUserData(m, "user_data_payload_byte", out);
      break;
    }
    case HEVC_SEIMessage::kRecoveryPoint: {
      const HEVC_RecoveryPoint& f = m.recovery_point;
      out.BeginRecord("recovery_point");
      FIELD(f, recovery_poc_cnt);
      FIELD(f, exact_match_flag);
      FIELD(f, broken_link_flag);
      break;
    }
    case HEVC_SEIMessage::kDecodedPictureHash:
      // Decoded without the SPS in force, the hash has no form to list.
      if (m.decoded_picture_hash.componentCount == 0) return;
      out.BeginRecord("decoded_picture_hash");
      ListDecodedPictureHash(m.decoded_picture_hash, out);
      break;
    case HEVC_SEIMessage::kTimeCode:
      out.BeginRecord("time_code");
      ListTimeCode(m.time_code, out);
      break;
    case HEVC_SEIMessage::kMasteringDisplayColourVolume: {
      const HEVC_MasteringDisplayColourVolume& f = m.mastering_display_colour_volume;
      out.BeginRecord("mastering_display_colour_volume");
      for (uint32_t c = 0; c < 3; ++c) {
        out.Element("display_primaries_x", {c}, f.display_primaries[c].display_primaries_x);
        out.Element("display_primaries_y", {c}, f.display_primaries[c].display_primaries_y);
      }
      FIELD(f, white_point_x);
      FIELD(f, white_point_y);
      FIELD(f, max_display_mastering_luminance);
      FIELD(f, min_display_mastering_luminance);
      break;
    }
    case HEVC_SEIMessage::kContentLightLevel: {
      const HEVC_ContentLightLevel& f = m.content_light_level_info;
      out.BeginRecord("content_light_level_info");
      FIELD(f, max_content_light_level);
      FIELD(f, max_pic_average_light_level);
      break;
    }
    case HEVC_SEIMessage::kAlternativeTransferCharacteristics:
      out.BeginRecord("alternative_transfer_characteristics");
      FIELD(m.alternative_transfer_characteristics, preferred_transfer_characteristics);
      break;
    case HEVC_SEIMessage::kAmbientViewingEnvironment: {
      const HEVC_AmbientViewingEnvironment& f = m.ambient_viewing_environment;
      out.BeginRecord("ambient_viewing_environment");
      FIELD(f, ambient_illuminance);
      FIELD(f, ambient_light_x);
      FIELD(f, ambient_light_y);
      break;
    }
    default:
      return;
  }
  out.EndRecord();
}

}  // namespace

void ListSyntax(const HEVC_SEI& sei, SyntaxListing& out) {
  for (uint32_t i = 0; i < sei.messages.size(); ++i) {
    const HEVC_SEIMessage& m = sei.messages[i];
    out.BeginRecord("sei_message", {i});
    FIELD(m, payloadType);
    FIELD(m, payloadSize);
    ListForm(m, out);
    out.EndRecord();
  }
}

}  // namespace Orvane::Proc::CodecParsers
