// Every VPS, SPS and PPS of the sample streams in tests/data/hevc, and every slice segment
// header, decoded by us and compared with what FFmpeg's trace_headers printed for the same unit
// (the .trace and .slices files next to each stream, made by make-streams.sh). Elements are matched by name: our records carry the syntax element
// names, listed here with their indices; the few names FFmpeg spells differently are mapped, and
// the elements that no record keeps (NAL unit header, reserved and trailing bits) are named. A
// name that occurs more than once in a unit (CPB entries of several sub-layers, for instance) is
// matched occurrence by occurrence, so repeated structures are listed only as far as coded.
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Orvane/Proc/CodecParsers/H26xBitstreamParser.h"
#include "Orvane/Proc/CodecParsers/HEVCCodecParams.h"
#include "Orvane/Proc/CodecParsers/HEVCSliceHeader.h"
#include "support/HEVCStreams.h"

namespace {

using namespace Orvane::Proc::CodecParsers;
using codec_test::ReadFile;
using codec_test::SampleStreams;

// Our values by element name, each name's values in bitstream order.
struct Listing {
  std::map<std::string, std::vector<int64_t>> values;
  void Add(const std::string& name, int64_t value) { values[name].push_back(value); }
};

std::string Index(uint32_t i) { return "[" + std::to_string(i) + "]"; }

// Fields named as the record names them; F for a field, A for the first n entries of an array.
#define F(record, field) out.Add(#field, (record).field)
#define A(record, field, n)                                                  \
  for (uint32_t i = 0; i < static_cast<uint32_t>(n); ++i) out.Add(#field + Index(i), (record).field[i])

// A profile block of profile_tier_level, named as the standard does: general_x, sub_layer_x[i].
void List(Listing& out, const HEVC_ProfileInfo& p, const std::string& prefix, const std::string& index) {
  const auto add = [&](const char* name, int64_t value) { out.Add(prefix + name + index, value); };
  add("profile_space", p.profile_space);
  add("tier_flag", p.tier_flag);
  add("profile_idc", p.profile_idc);
  for (uint32_t j = 0; j < 32; ++j) out.Add(prefix + "profile_compatibility_flag" + index + Index(j), p.profile_compatibility_flag[j]);
  add("progressive_source_flag", p.progressive_source_flag);
  add("interlaced_source_flag", p.interlaced_source_flag);
  add("non_packed_constraint_flag", p.non_packed_constraint_flag);
  add("frame_only_constraint_flag", p.frame_only_constraint_flag);
  add("max_12bit_constraint_flag", p.max_12bit_constraint_flag);
  add("max_10bit_constraint_flag", p.max_10bit_constraint_flag);
  add("max_8bit_constraint_flag", p.max_8bit_constraint_flag);
  add("max_422chroma_constraint_flag", p.max_422chroma_constraint_flag);
  add("max_420chroma_constraint_flag", p.max_420chroma_constraint_flag);
  add("max_monochrome_constraint_flag", p.max_monochrome_constraint_flag);
  add("intra_constraint_flag", p.intra_constraint_flag);
  add("one_picture_only_constraint_flag", p.one_picture_only_constraint_flag);
  add("lower_bit_rate_constraint_flag", p.lower_bit_rate_constraint_flag);
  add("max_14bit_constraint_flag", p.max_14bit_constraint_flag);
  add("inbld_flag", p.inbld_flag);
  add("level_idc", p.level_idc);
}

void List(Listing& out, const HEVC_PTL& ptl, uint32_t maxNumSubLayersMinus1) {
  List(out, ptl.general, "general_", "");
  A(ptl, sub_layer_profile_present_flag, maxNumSubLayersMinus1);
  A(ptl, sub_layer_level_present_flag, maxNumSubLayersMinus1);
  for (uint32_t i = 0; i < maxNumSubLayersMinus1; ++i) List(out, ptl.sub_layer[i], "sub_layer_", Index(i));
}

void List(Listing& out, const HEVC_SubLayerHRD& s, uint32_t cpbCntMinus1, bool subPic) {
  for (uint32_t j = 0; j <= cpbCntMinus1; ++j) {
    out.Add("bit_rate_value_minus1" + Index(j), s.bit_rate_value_minus1[j]);
    out.Add("cpb_size_value_minus1" + Index(j), s.cpb_size_value_minus1[j]);
    if (subPic) out.Add("cpb_size_du_value_minus1" + Index(j), s.cpb_size_du_value_minus1[j]);
    if (subPic) out.Add("bit_rate_du_value_minus1" + Index(j), s.bit_rate_du_value_minus1[j]);
    out.Add("cbr_flag" + Index(j), s.cbr_flag[j]);
  }
}

void List(Listing& out, const HEVC_HRD& h, bool commonInf, uint32_t maxNumSubLayersMinus1) {
  if (commonInf) {
  F(h, nal_hrd_parameters_present_flag);
  F(h, vcl_hrd_parameters_present_flag);
  F(h, sub_pic_hrd_params_present_flag);
  F(h, tick_divisor_minus2);
  F(h, du_cpb_removal_delay_increment_length_minus1);
  F(h, sub_pic_cpb_params_in_pic_timing_sei_flag);
  F(h, dpb_output_delay_du_length_minus1);
  F(h, bit_rate_scale);
  F(h, cpb_size_scale);
  F(h, cpb_size_du_scale);
  F(h, initial_cpb_removal_delay_length_minus1);
  F(h, au_cpb_removal_delay_length_minus1);
  F(h, dpb_output_delay_length_minus1);
  }
  A(h, fixed_pic_rate_general_flag, maxNumSubLayersMinus1 + 1);
  A(h, fixed_pic_rate_within_cvs_flag, maxNumSubLayersMinus1 + 1);
  A(h, elemental_duration_in_tc_minus1, maxNumSubLayersMinus1 + 1);
  A(h, low_delay_hrd_flag, maxNumSubLayersMinus1 + 1);
  A(h, cpb_cnt_minus1, maxNumSubLayersMinus1 + 1);
  for (uint32_t i = 0; i <= maxNumSubLayersMinus1; ++i) {
    if (h.nal_hrd_parameters_present_flag) List(out, h.nal_sub_layer_hrd[i], h.cpb_cnt_minus1[i], h.sub_pic_hrd_params_present_flag);
    if (h.vcl_hrd_parameters_present_flag) List(out, h.vcl_sub_layer_hrd[i], h.cpb_cnt_minus1[i], h.sub_pic_hrd_params_present_flag);
  }
}

void List(Listing& out, const HEVC_ScalingList& s) {
  for (uint32_t sizeId = 0; sizeId < 4; ++sizeId) {
    for (uint32_t matrixId = 0; matrixId < 6; ++matrixId) {
      const std::string at = Index(sizeId) + Index(matrixId);
      out.Add("scaling_list_pred_mode_flag" + at, s.scaling_list_pred_mode_flag[sizeId][matrixId]);
      out.Add("scaling_list_pred_matrix_id_delta" + at, s.scaling_list_pred_matrix_id_delta[sizeId][matrixId]);
      if (sizeId > 1) out.Add("scaling_list_dc_coef_minus8" + Index(sizeId - 2) + Index(matrixId), s.scaling_list_dc_coef_minus8[sizeId - 2][matrixId]);
      for (uint32_t i = 0; i < 64; ++i) out.Add("scaling_list_delta_coef" + at + Index(i), s.scaling_list_delta_coef[sizeId][matrixId][i]);
    }
  }
}

// A set as coded: the prediction or the explicit lists (a predicted set holds both).
void List(Listing& out, const HEVC_ShortTermRPS& s, uint32_t stRpsIdx, uint32_t refNumDeltaPocs) {
  if (stRpsIdx != 0) F(s, inter_ref_pic_set_prediction_flag);
  if (s.inter_ref_pic_set_prediction_flag) {
    F(s, delta_idx_minus1);
    F(s, delta_rps_sign);
    F(s, abs_delta_rps_minus1);
    A(s, used_by_curr_pic_flag, refNumDeltaPocs + 1);
    A(s, use_delta_flag, refNumDeltaPocs + 1);
    return;
  }
  F(s, num_negative_pics);
  F(s, num_positive_pics);
  A(s, delta_poc_s0_minus1, s.num_negative_pics);
  A(s, used_by_curr_pic_s0_flag, s.num_negative_pics);
  A(s, delta_poc_s1_minus1, s.num_positive_pics);
  A(s, used_by_curr_pic_s1_flag, s.num_positive_pics);
}

void List(Listing& out, const HEVC_VUI& v, uint32_t maxNumSubLayersMinus1) {
  const CommonVUI& c = v.common;
  F(c, aspect_ratio_info_present_flag);
  F(c, aspect_ratio_idc);
  if (c.aspect_ratio_idc == 255) F(c, sar_width);
  if (c.aspect_ratio_idc == 255) F(c, sar_height);
  F(c, overscan_info_present_flag);
  F(c, overscan_appropriate_flag);
  F(c, video_signal_type_present_flag);
  F(c, video_format);
  F(c, video_full_range_flag);
  F(c, colour_description_present_flag);
  F(c, colour_primaries);
  F(c, transfer_characteristics);
  F(c, matrix_coefficients);
  F(c, chroma_loc_info_present_flag);
  F(c, chroma_sample_loc_type_top_field);
  F(c, chroma_sample_loc_type_bottom_field);
  F(v, neutral_chroma_indication_flag);
  F(v, field_seq_flag);
  F(v, frame_field_info_present_flag);
  F(v, default_display_window_flag);
  F(v, def_disp_win_left_offset);
  F(v, def_disp_win_right_offset);
  F(v, def_disp_win_top_offset);
  F(v, def_disp_win_bottom_offset);
  F(v, vui_timing_info_present_flag);
  F(v, vui_num_units_in_tick);
  F(v, vui_time_scale);
  F(v, vui_poc_proportional_to_timing_flag);
  F(v, vui_num_ticks_poc_diff_one_minus1);
  F(v, vui_hrd_parameters_present_flag);
  if (v.vui_hrd_parameters_present_flag) List(out, v.hrd_parameters, true, maxNumSubLayersMinus1);
  F(v, bitstream_restriction_flag);
  F(v, tiles_fixed_structure_flag);
  F(v, motion_vectors_over_pic_boundaries_flag);
  F(v, restricted_ref_pic_lists_flag);
  F(v, min_spatial_segmentation_idc);
  F(v, max_bytes_per_pic_denom);
  F(v, max_bits_per_min_cu_denom);
  F(v, log2_max_mv_length_horizontal);
  F(v, log2_max_mv_length_vertical);
}

Listing List(const HEVC_VPS& v) {
  Listing out;
  const uint32_t subLayers = v.vps_max_sub_layers_minus1 + 1u;
  F(v, vps_video_parameter_set_id);
  F(v, vps_base_layer_internal_flag);
  F(v, vps_base_layer_available_flag);
  F(v, vps_max_layers_minus1);
  F(v, vps_max_sub_layers_minus1);
  F(v, vps_temporal_id_nesting_flag);
  List(out, v.profile_tier_level, v.vps_max_sub_layers_minus1);
  F(v, vps_sub_layer_ordering_info_present_flag);
  A(v, vps_max_dec_pic_buffering_minus1, subLayers);
  A(v, vps_max_num_reorder_pics, subLayers);
  A(v, vps_max_latency_increase_plus1, subLayers);
  F(v, vps_max_layer_id);
  F(v, vps_num_layer_sets_minus1);
  for (uint32_t i = 1; i < v.layer_id_included_flag.size(); ++i) {
    for (uint32_t j = 0; j <= v.vps_max_layer_id; ++j) out.Add("layer_id_included_flag" + Index(i) + Index(j), v.layer_id_included_flag[i][j]);
  }
  F(v, vps_timing_info_present_flag);
  F(v, vps_num_units_in_tick);
  F(v, vps_time_scale);
  F(v, vps_poc_proportional_to_timing_flag);
  F(v, vps_num_ticks_poc_diff_one_minus1);
  F(v, vps_num_hrd_parameters);
  A(v, hrd_layer_set_idx, v.vps_num_hrd_parameters);
  A(v, cprms_present_flag, v.vps_num_hrd_parameters);
  for (uint32_t i = 0; i < v.hrd_parameters.size(); ++i) {
    List(out, v.hrd_parameters[i], v.cprms_present_flag[i], v.vps_max_sub_layers_minus1);
  }
  F(v, vps_extension_flag);
  return out;
}

Listing List(const HEVC_SPS& s) {
  Listing out;
  const uint32_t subLayers = s.sps_max_sub_layers_minus1 + 1u;
  F(s, sps_video_parameter_set_id);
  F(s, sps_max_sub_layers_minus1);
  F(s, sps_temporal_id_nesting_flag);
  List(out, s.profile_tier_level, s.sps_max_sub_layers_minus1);
  F(s, sps_seq_parameter_set_id);
  F(s, chroma_format_idc);
  F(s, separate_colour_plane_flag);
  F(s, pic_width_in_luma_samples);
  F(s, pic_height_in_luma_samples);
  F(s, conformance_window_flag);
  F(s, conf_win_left_offset);
  F(s, conf_win_right_offset);
  F(s, conf_win_top_offset);
  F(s, conf_win_bottom_offset);
  F(s, bit_depth_luma_minus8);
  F(s, bit_depth_chroma_minus8);
  F(s, log2_max_pic_order_cnt_lsb_minus4);
  F(s, sps_sub_layer_ordering_info_present_flag);
  A(s, sps_max_dec_pic_buffering_minus1, subLayers);
  A(s, sps_max_num_reorder_pics, subLayers);
  A(s, sps_max_latency_increase_plus1, subLayers);
  F(s, log2_min_luma_coding_block_size_minus3);
  F(s, log2_diff_max_min_luma_coding_block_size);
  F(s, log2_min_luma_transform_block_size_minus2);
  F(s, log2_diff_max_min_luma_transform_block_size);
  F(s, max_transform_hierarchy_depth_inter);
  F(s, max_transform_hierarchy_depth_intra);
  F(s, scaling_list_enabled_flag);
  F(s, sps_scaling_list_data_present_flag);
  List(out, s.scaling_list);
  F(s, amp_enabled_flag);
  F(s, sample_adaptive_offset_enabled_flag);
  F(s, pcm_enabled_flag);
  F(s, pcm_sample_bit_depth_luma_minus1);
  F(s, pcm_sample_bit_depth_chroma_minus1);
  F(s, log2_min_pcm_luma_coding_block_size_minus3);
  F(s, log2_diff_max_min_pcm_luma_coding_block_size);
  F(s, pcm_loop_filter_disabled_flag);
  F(s, num_short_term_ref_pic_sets);
  for (uint32_t i = 0; i < s.num_short_term_ref_pic_sets; ++i) {
    const HEVC_ShortTermRPS& ref = s.st_ref_pic_set[i > 0 ? i - 1 : 0];
    List(out, s.st_ref_pic_set[i], i, ref.num_negative_pics + ref.num_positive_pics);
  }
  F(s, long_term_ref_pics_present_flag);
  F(s, num_long_term_ref_pics_sps);
  A(s, lt_ref_pic_poc_lsb_sps, s.num_long_term_ref_pics_sps);
  A(s, used_by_curr_pic_lt_sps_flag, s.num_long_term_ref_pics_sps);
  F(s, sps_temporal_mvp_enabled_flag);
  F(s, strong_intra_smoothing_enabled_flag);
  F(s, vui_parameters_present_flag);
  if (s.vui_parameters_present_flag) List(out, s.vui, s.sps_max_sub_layers_minus1);
  F(s, sps_extension_present_flag);
  F(s, sps_range_extension_flag);
  F(s, sps_multilayer_extension_flag);
  F(s, sps_3d_extension_flag);
  F(s, sps_scc_extension_flag);
  F(s, sps_extension_4bits);
  F(s, transform_skip_rotation_enabled_flag);
  F(s, transform_skip_context_enabled_flag);
  F(s, implicit_rdpcm_enabled_flag);
  F(s, explicit_rdpcm_enabled_flag);
  F(s, extended_precision_processing_flag);
  F(s, intra_smoothing_disabled_flag);
  F(s, high_precision_offsets_enabled_flag);
  F(s, persistent_rice_adaptation_enabled_flag);
  F(s, cabac_bypass_alignment_enabled_flag);
  F(s, sps_curr_pic_ref_enabled_flag);
  F(s, palette_mode_enabled_flag);
  F(s, palette_max_size);
  F(s, delta_palette_max_predictor_size);
  F(s, sps_palette_predictor_initializers_present_flag);
  F(s, sps_num_palette_predictor_initializers_minus1);
  F(s, motion_vector_resolution_control_idc);
  F(s, intra_boundary_filtering_disabled_flag);
  return out;
}

Listing List(const HEVC_PPS& p) {
  Listing out;
  F(p, pps_pic_parameter_set_id);
  F(p, pps_seq_parameter_set_id);
  F(p, dependent_slice_segments_enabled_flag);
  F(p, output_flag_present_flag);
  F(p, num_extra_slice_header_bits);
  F(p, sign_data_hiding_enabled_flag);
  F(p, cabac_init_present_flag);
  F(p, num_ref_idx_l0_default_active_minus1);
  F(p, num_ref_idx_l1_default_active_minus1);
  F(p, init_qp_minus26);
  F(p, constrained_intra_pred_flag);
  F(p, transform_skip_enabled_flag);
  F(p, cu_qp_delta_enabled_flag);
  F(p, diff_cu_qp_delta_depth);
  F(p, pps_cb_qp_offset);
  F(p, pps_cr_qp_offset);
  F(p, pps_slice_chroma_qp_offsets_present_flag);
  F(p, weighted_pred_flag);
  F(p, weighted_bipred_flag);
  F(p, transquant_bypass_enabled_flag);
  F(p, tiles_enabled_flag);
  F(p, entropy_coding_sync_enabled_flag);
  F(p, num_tile_columns_minus1);
  F(p, num_tile_rows_minus1);
  F(p, uniform_spacing_flag);
  A(p, column_width_minus1, p.num_tile_columns_minus1);
  A(p, row_height_minus1, p.num_tile_rows_minus1);
  F(p, loop_filter_across_tiles_enabled_flag);
  F(p, pps_loop_filter_across_slices_enabled_flag);
  F(p, deblocking_filter_control_present_flag);
  F(p, deblocking_filter_override_enabled_flag);
  F(p, pps_deblocking_filter_disabled_flag);
  F(p, pps_beta_offset_div2);
  F(p, pps_tc_offset_div2);
  F(p, pps_scaling_list_data_present_flag);
  List(out, p.scaling_list);
  F(p, lists_modification_present_flag);
  F(p, log2_parallel_merge_level_minus2);
  F(p, slice_segment_header_extension_present_flag);
  F(p, pps_extension_present_flag);
  F(p, pps_range_extension_flag);
  F(p, pps_multilayer_extension_flag);
  F(p, pps_3d_extension_flag);
  F(p, pps_scc_extension_flag);
  F(p, pps_extension_4bits);
  F(p, log2_max_transform_skip_block_size_minus2);
  F(p, cross_component_prediction_enabled_flag);
  F(p, chroma_qp_offset_list_enabled_flag);
  F(p, diff_cu_chroma_qp_offset_depth);
  F(p, chroma_qp_offset_list_len_minus1);
  A(p, cb_qp_offset_list, p.chroma_qp_offset_list_len_minus1 + 1u);
  A(p, cr_qp_offset_list, p.chroma_qp_offset_list_len_minus1 + 1u);
  F(p, log2_sao_offset_scale_luma);
  F(p, log2_sao_offset_scale_chroma);
  return out;
}

// The header as coded: what the SPS supplies (a named short-term set, the long-term pictures it
// lists) is not in FFmpeg's listing and is left out here too.
Listing List(const HEVCSliceHeader& h, const HEVC_SPS& sps, const HEVC_PPS& pps) {
  Listing out;
  F(h, first_slice_segment_in_pic_flag);
  F(h, no_output_of_prior_pics_flag);
  F(h, slice_pic_parameter_set_id);
  F(h, dependent_slice_segment_flag);
  F(h, slice_segment_address);
  A(h, slice_reserved_flag, pps.num_extra_slice_header_bits);
  F(h, slice_type);
  F(h, pic_output_flag);
  F(h, colour_plane_id);
  F(h, slice_pic_order_cnt_lsb);
  F(h, short_term_ref_pic_set_sps_flag);
  if (!h.short_term_ref_pic_set_sps_flag) {
    const uint32_t stRpsIdx = sps.num_short_term_ref_pic_sets;
    const uint32_t refIdx = h.st_ref_pic_set.inter_ref_pic_set_prediction_flag ? stRpsIdx - (h.st_ref_pic_set.delta_idx_minus1 + 1u) : 0;
    const HEVC_ShortTermRPS& ref = sps.st_ref_pic_set[refIdx];
    List(out, h.st_ref_pic_set, stRpsIdx, ref.num_negative_pics + ref.num_positive_pics);
  }
  F(h, short_term_ref_pic_set_idx);
  F(h, num_long_term_sps);
  F(h, num_long_term_pics);
  A(h, lt_idx_sps, h.num_long_term_sps);
  for (uint32_t i = h.num_long_term_sps; i < uint32_t{h.num_long_term_sps} + h.num_long_term_pics; ++i) {
    out.Add("poc_lsb_lt" + Index(i), h.poc_lsb_lt[i]);
    out.Add("used_by_curr_pic_lt_flag" + Index(i), h.used_by_curr_pic_lt_flag[i]);
  }
  A(h, delta_poc_msb_present_flag, h.num_long_term_sps + h.num_long_term_pics);
  A(h, delta_poc_msb_cycle_lt, h.num_long_term_sps + h.num_long_term_pics);
  F(h, slice_temporal_mvp_enabled_flag);
  F(h, slice_sao_luma_flag);
  F(h, slice_sao_chroma_flag);
  F(h, num_ref_idx_active_override_flag);
  F(h, num_ref_idx_l0_active_minus1);
  F(h, num_ref_idx_l1_active_minus1);
  F(h, ref_pic_list_modification_flag_l0);
  A(h, list_entry_l0, h.num_ref_idx_l0_active_minus1 + 1u);
  F(h, ref_pic_list_modification_flag_l1);
  A(h, list_entry_l1, h.num_ref_idx_l1_active_minus1 + 1u);
  F(h, mvd_l1_zero_flag);
  F(h, cabac_init_flag);
  F(h, collocated_from_l0_flag);
  F(h, collocated_ref_idx);
  return out;
}

#undef F
#undef A

// FFmpeg's names where ours differ.
const std::map<std::string, std::string> kRenamed = {
    {"scaling_list_delta_coeff", "scaling_list_delta_coef"},
};

// Elements that no record keeps: the NAL unit header, reserved and trailing bits.
bool NotKept(const std::string& name) {
  static const char* const kNames[] = {"forbidden_zero_bit", "nal_unit_type", "nuh_layer_id", "nuh_temporal_id_plus1",
                                       "vps_reserved_0xffff_16bits", "rbsp_stop_one_bit", "rbsp_alignment_zero_bit"};
  for (const char* n : kNames) {
    if (name == n) return true;
  }
  return name.find("reserved_zero") != std::string::npos;
}

std::string Renamed(const std::string& name) {
  const std::string base = name.substr(0, name.find('['));
  const auto it = kRenamed.find(base);
  return it == kRenamed.end() ? name : it->second + name.substr(base.size());
}

// The first element of the rest of a slice segment header, which the slice-header decode does not
// read: pred_weight_table, five_minus_max_num_merge_cand, slice_qp_delta (I slices), and for a
// dependent segment the entry points, the header extension or the alignment bits.
bool BeyondSliceHeaderDecode(const std::string& name) {
  static const char* const kNames[] = {"luma_log2_weight_denom", "five_minus_max_num_merge_cand", "slice_qp_delta",
                                       "num_entry_point_offsets", "slice_segment_header_extension_length",
                                       "alignment_bit_equal_to_one"};
  for (const char* n : kNames) {
    if (name == n) return true;
  }
  return false;
}

struct TraceUnit {
  std::string kind;  // "Video", "Sequence" or "Picture", or "Slice"
  std::vector<std::pair<std::string, int64_t>> elements;
};

// Compares every element of one traced unit, up to `end` where given, with ours of the same name
// and occurrence; an element of the trace that we do not list fails. Returns how many were
// compared.
size_t Compare(const TraceUnit& expected, const Listing& ours, bool (*end)(const std::string&) = nullptr) {
  std::map<std::string, size_t> seen;
  size_t compared = 0;
  for (const auto& [traceName, value] : expected.elements) {
    if (end && end(traceName)) break;
    if (NotKept(traceName)) continue;
    const std::string name = Renamed(traceName);
    const size_t occurrence = seen[name]++;
    const auto it = ours.values.find(name);
    if (it == ours.values.end() || occurrence >= it->second.size()) {
      ADD_FAILURE() << traceName << " (occurrence " << occurrence << ") is in the trace but not in our record";
      return compared;
    }
    EXPECT_EQ(it->second[occurrence], value) << traceName << " (occurrence " << occurrence << ")";
    ++compared;
  }
  return compared;
}

// The .trace and .slices files: a section per unit, headed by "<kind> Parameter Set" or
// "Slice Segment Header", then one "bit-offset name value" line per element.
std::vector<TraceUnit> ReadTrace(const std::filesystem::path& path) {
  std::ifstream in(path);
  std::vector<TraceUnit> units;
  std::string line;
  while (std::getline(in, line)) {
    std::istringstream words(line);
    std::string first, name;
    int64_t value = 0;
    words >> first;
    if (line.ends_with("Parameter Set") || line == "Slice Segment Header") {
      units.push_back({first, {}});
    } else if (words >> name >> value && !units.empty()) {
      units.back().elements.emplace_back(name, value);
    }
  }
  return units;
}

TEST(HEVCParameterSetsAgainstFFmpeg, EveryElementOfEveryUnitAgrees) {
  const std::vector<std::filesystem::path> streams = SampleStreams(HEVC_TEST_DATA);
  ASSERT_GE(streams.size(), 8u);
  size_t totalUnits = 0;
  size_t totalCompared = 0;
  for (const auto& stream : streams) {
    SCOPED_TRACE(stream.filename().string());
    const std::vector<uint8_t> bytes = ReadFile(stream);
    const std::vector<TraceUnit> trace = ReadTrace(std::filesystem::path(stream).replace_extension(".trace"));
    std::vector<NALU> nalus;
    FindAnnexBNalus(bytes.data(), bytes.size(), nalus);

    HEVC_PS ps;
    size_t unit = 0;
    size_t compared = 0;
    for (const NALU& nalu : nalus) {
      const uint32_t type = HEVCNaluType(nalu);
      if (type < 32 || type > 34) continue;
      ASSERT_LT(unit, trace.size()) << "more parameter sets than the trace";
      const TraceUnit& expected = trace[unit++];
      SCOPED_TRACE(expected.kind + " parameter set #" + std::to_string(unit));
      Listing ours;
      if (type == 32) {
        HEVC_VPS vps;
        vps.Decode(nalu);
        ours = List(vps);
        EXPECT_EQ(expected.kind, "Video");
      } else if (type == 33) {
        auto sps = std::make_unique<HEVC_SPS>();
        sps->Decode(nalu, ps);
        ours = List(*sps);
        EXPECT_EQ(expected.kind, "Sequence");
      } else {
        auto pps = std::make_unique<HEVC_PPS>();
        pps->Decode(nalu, ps);
        ours = List(*pps);
        EXPECT_EQ(expected.kind, "Picture");
      }
      ps.AddNALU(nalu);
      compared += Compare(expected, ours);
    }
    EXPECT_EQ(unit, trace.size()) << "fewer parameter sets than the trace";
    EXPECT_GT(compared, 100u);
    std::cout << stream.filename().string() << ": " << unit << " units, " << compared << " elements compared\n";
    totalUnits += unit;
    totalCompared += compared;
  }
  std::cout << "all streams: " << totalUnits << " units, " << totalCompared << " elements compared\n";
}

// Every slice segment header of every sample stream, slice by slice, up to where our decode ends.
TEST(HEVCSliceHeadersAgainstFFmpeg, EveryElementOfEverySliceAgrees) {
  const std::vector<std::filesystem::path> streams = SampleStreams(HEVC_TEST_DATA);
  ASSERT_GE(streams.size(), 11u);
  size_t totalSlices = 0;
  size_t totalCompared = 0;
  std::map<std::string, size_t> kinds;  // what the streams cover, for the summary
  for (const auto& stream : streams) {
    SCOPED_TRACE(stream.filename().string());
    const std::vector<uint8_t> bytes = ReadFile(stream);
    const std::vector<TraceUnit> trace = ReadTrace(std::filesystem::path(stream).replace_extension(".slices"));
    std::vector<NALU> nalus;
    FindAnnexBNalus(bytes.data(), bytes.size(), nalus);

    HEVC_PS ps;
    size_t slice = 0;
    size_t compared = 0;
    for (const NALU& nalu : nalus) {
      ps.AddNALU(nalu);
      const std::shared_ptr<const HEVCSliceHeader> header = CreateSliceHeader(ps, nalu);
      if (!header) continue;
      ASSERT_LT(slice, trace.size()) << "more slices than the trace";
      const TraceUnit& expected = trace[slice++];
      SCOPED_TRACE("slice #" + std::to_string(slice));
      EXPECT_EQ(expected.kind, "Slice");
      const auto pps = ps.GetPPS(header->slice_pic_parameter_set_id);
      const auto sps = ps.GetSPS(pps->pps_seq_parameter_set_id);
      compared += Compare(expected, List(*header, *sps, *pps), BeyondSliceHeaderDecode);
      ++kinds[HEVCNaluTypeName(HEVCNaluType(nalu)) + " " + HEVCSliceTypeName(header->slice_type)];
      if (header->collocated_ref_idx > 0) ++kinds["collocated_ref_idx > 0"];
      if (!header->first_slice_segment_in_pic_flag) ++kinds["slice_segment_address > 0"];
    }
    EXPECT_EQ(slice, trace.size()) << "fewer slices than the trace";
    std::cout << stream.filename().string() << ": " << slice << " slices, " << compared << " elements compared\n";
    totalSlices += slice;
    totalCompared += compared;
  }
  std::cout << "all streams: " << totalSlices << " slices, " << totalCompared << " elements compared\n";
  for (const auto& [kind, count] : kinds) std::cout << "  " << kind << ": " << count << "\n";
  // The kinds of slice that the sample streams were made to hold.
  for (const char* kind : {"CRA_NUT [I]", "RASL_N [B]", "RASL_R [B]", "IDR_N_LP [I]", "TRAIL_R [P]", "TRAIL_R [B]",
                           "TRAIL_N [B]", "slice_segment_address > 0"}) {
    EXPECT_GT(kinds[kind], 0u) << kind;
  }
}

}  // namespace
