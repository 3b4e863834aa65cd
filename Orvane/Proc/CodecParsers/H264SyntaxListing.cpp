// The H.264 records in the shared listing: every element the syntax coded, under the standard's
// name, in bitstream order, each function in the shape of the decode it mirrors.
#include <iterator>

#include "Orvane/Proc/CodecParsers/H264CodecParams.h"
#include "Orvane/Proc/CodecParsers/H264SliceHeader.h"
#include "Orvane/Proc/CodecParsers/H264Syntax.h"
#include "Orvane/Proc/CodecParsers/H264_SEI.h"
#include "Orvane/Proc/CodecParsers/SyntaxListing.h"

// A field of a record, or entry i of an array field, whose name is the element's.
#define FIELD(record, field) out.Element(#field, (record).field)
#define ENTRY(record, field, i) out.Element(#field, {i}, (record).field[i])

namespace Orvane::Proc::CodecParsers {

namespace {

using h26x_syntax::Held;
using h264_syntax::kZigZag4x4;
using h264_syntax::kZigZag8x8;

void ListHRD(const H264_HRD& h, std::string_view name, SyntaxListing& out) {
  out.BeginRecord(name);
  FIELD(h, cpb_cnt_minus1);
  FIELD(h, bit_rate_scale);
  FIELD(h, cpb_size_scale);
  for (uint32_t i = 0; i < Held(h.cpb_cnt_minus1 + uint64_t{1}, h.cbr_flag); ++i) {
    ENTRY(h, bit_rate_value_minus1, i);
    ENTRY(h, cpb_size_value_minus1, i);
    ENTRY(h, cbr_flag, i);
  }
  FIELD(h, initial_cpb_removal_delay_length_minus1);
  FIELD(h, cpb_removal_delay_length_minus1);
  FIELD(h, dpb_output_delay_length_minus1);
  FIELD(h, time_offset_length);
  out.EndRecord();
}

// The VUI as stored: one that ended early lists the fields after its end as their zeros, and
// timing without a tick or a clock lists no timing.
void ListVUI(const H264_VUI& v, SyntaxListing& out) {
  out.BeginRecord("vui_parameters");
  ListSyntax(v.common, out);
  FIELD(v, timing_info_present_flag);
  if (v.timing_info_present_flag) {
    FIELD(v, num_units_in_tick);
    FIELD(v, time_scale);
    FIELD(v, fixed_frame_rate_flag);
  }
  FIELD(v, nal_hrd_parameters_present_flag);
  if (v.nal_hrd_parameters_present_flag) ListHRD(v.nal_hrd, "nal_hrd_parameters", out);
  FIELD(v, vcl_hrd_parameters_present_flag);
  if (v.vcl_hrd_parameters_present_flag) ListHRD(v.vcl_hrd, "vcl_hrd_parameters", out);
  if (v.nal_hrd_parameters_present_flag || v.vcl_hrd_parameters_present_flag) FIELD(v, low_delay_hrd_flag);
  FIELD(v, pic_struct_present_flag);
  FIELD(v, bitstream_restriction_flag);
  if (v.bitstream_restriction_flag) {
    FIELD(v, motion_vectors_over_pic_boundaries_flag);
    FIELD(v, max_bytes_per_pic_denom);
    FIELD(v, max_bits_per_mb_denom);
    FIELD(v, log2_max_mv_length_horizontal);
    FIELD(v, log2_max_mv_length_vertical);
    FIELD(v, max_num_reorder_frames);
    FIELD(v, max_dec_frame_buffering);
  }
  out.EndRecord();
}

// The present flags of the `count` lists of a scaling matrix (bit i of the mask).
void ListPresentFlags(std::string_view flagName, uint16_t mask, uint32_t count, SyntaxListing& out) {
  for (uint32_t i = 0; i < count; ++i) out.Element(flagName, {i}, (mask >> i) & 1);
}

// The `count` lists a scaling matrix puts in force, as the standard's ScalingList4x4[i][j] and
// ScalingList8x8[i - 6][j] in scan order. The coded deltas they were made from are not kept.
void ListListsInForce(const ScalingLists4x4& lists4x4, const ScalingLists8x8& lists8x8, uint32_t count,
                      SyntaxListing& out) {
  for (uint32_t i = 0; i < count && i < 6; ++i) {
    for (uint32_t j = 0; j < 16; ++j) out.Element("ScalingList4x4", {i, j}, lists4x4[i][kZigZag4x4[j]]);
  }
  for (uint32_t i = 6; i < count; ++i) {
    const uint8_t(&list)[64] = lists8x8[kScaling8x8Index[i - 6]];
    for (uint32_t j = 0; j < 64; ++j) out.Element("ScalingList8x8", {i - 6, j}, list[kZigZag8x8[j]]);
  }
}

// The operations on list X of ref_pic_list_modification, numbered [X][i] by their pass through
// the loop.
void ListModifications(uint32_t X, const H264_RefPicListModification (&list)[33], SyntaxListing& out) {
  for (uint32_t i = 0; i < std::size(list); ++i) {
    const H264_RefPicListModification& op = list[i];
    out.Element("modification_of_pic_nums_idc", {X, i}, op.modification_of_pic_nums_idc);
    if (op.modification_of_pic_nums_idc == 0 || op.modification_of_pic_nums_idc == 1) {
      out.Element("abs_diff_pic_num_minus1", {X, i}, op.abs_diff_pic_num_minus1);
    }
    if (op.modification_of_pic_nums_idc == 2) out.Element("long_term_pic_num", {X, i}, op.long_term_pic_num);
    if (op.modification_of_pic_nums_idc == 3) return;
  }
}

// The names of the elements of one list's weights.
struct WeightNames {
  const char *luma_weight_flag, *luma_weight, *luma_offset, *chroma_weight_flag, *chroma_weight, *chroma_offset;
};
constexpr WeightNames kWeightNames[2] = {
    {"luma_weight_l0_flag", "luma_weight_l0", "luma_offset_l0", "chroma_weight_l0_flag", "chroma_weight_l0", "chroma_offset_l0"},
    {"luma_weight_l1_flag", "luma_weight_l1", "luma_offset_l1", "chroma_weight_l1_flag", "chroma_weight_l1", "chroma_offset_l1"}};

void ListWeights(uint32_t X, const H264_PredWeightTable& t, uint32_t count, bool chroma, SyntaxListing& out) {
  const WeightNames& n = kWeightNames[X];
  for (uint32_t i = 0; i < Held(count, t.luma_weight_flag); ++i) {
    out.Element(n.luma_weight_flag, {i}, t.luma_weight_flag[i]);
    if (t.luma_weight_flag[i]) {
      out.Element(n.luma_weight, {i}, t.luma_weight[i]);
      out.Element(n.luma_offset, {i}, t.luma_offset[i]);
    }
    if (!chroma) continue;
    out.Element(n.chroma_weight_flag, {i}, t.chroma_weight_flag[i]);
    for (uint32_t j = 0; t.chroma_weight_flag[i] && j < 2; ++j) {
      out.Element(n.chroma_weight, {i, j}, t.chroma_weight[i][j]);
      out.Element(n.chroma_offset, {i, j}, t.chroma_offset[i][j]);
    }
  }
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// seq_parameter_set_data, pic_parameter_set_rbsp

void ListSyntax(const H264_SPS& s, SyntaxListing& out) {
  const uint32_t lists = s.chroma_format_idc == 3 ? 12 : 8;
  FIELD(s, profile_idc);
  FIELD(s, constraint_set0_flag);
  FIELD(s, constraint_set1_flag);
  FIELD(s, constraint_set2_flag);
  FIELD(s, constraint_set3_flag);
  FIELD(s, constraint_set4_flag);
  FIELD(s, constraint_set5_flag);
  FIELD(s, level_idc);
  FIELD(s, seq_parameter_set_id);
  if (h264_syntax::CodesChromaFormat(s.profile_idc)) {
    FIELD(s, chroma_format_idc);
    if (s.chroma_format_idc == 3) FIELD(s, separate_colour_plane_flag);
    FIELD(s, bit_depth_luma_minus8);
    FIELD(s, bit_depth_chroma_minus8);
    FIELD(s, qpprime_y_zero_transform_bypass_flag);
    FIELD(s, seq_scaling_matrix_present_flag);
    if (s.seq_scaling_matrix_present_flag) {
      ListPresentFlags("seq_scaling_list_present_flag", s.scaling_list_present_mask, lists, out);
    }
  }
  FIELD(s, log2_max_frame_num_minus4);
  FIELD(s, pic_order_cnt_type);
  if (s.pic_order_cnt_type == 0) {
    FIELD(s, log2_max_pic_order_cnt_lsb_minus4);
  } else if (s.pic_order_cnt_type == 1) {
    FIELD(s, delta_pic_order_always_zero_flag);
    FIELD(s, offset_for_non_ref_pic);
    FIELD(s, offset_for_top_to_bottom_field);
    FIELD(s, num_ref_frames_in_pic_order_cnt_cycle);
    for (uint32_t i = 0; i < s.num_ref_frames_in_pic_order_cnt_cycle; ++i) ENTRY(s, offset_for_ref_frame, i);
  }
  FIELD(s, max_num_ref_frames);
  FIELD(s, gaps_in_frame_num_value_allowed_flag);
  FIELD(s, pic_width_in_mbs_minus1);
  FIELD(s, pic_height_in_map_units_minus1);
  FIELD(s, frame_mbs_only_flag);
  if (!s.frame_mbs_only_flag) FIELD(s, mb_adaptive_frame_field_flag);
  FIELD(s, direct_8x8_inference_flag);
  FIELD(s, frame_cropping_flag);
  if (s.frame_cropping_flag) {
    FIELD(s, frame_crop_left_offset);
    FIELD(s, frame_crop_right_offset);
    FIELD(s, frame_crop_top_offset);
    FIELD(s, frame_crop_bottom_offset);
  }
  FIELD(s, vui_parameters_present_flag);
  if (s.vui_parameters_present_flag) ListVUI(s.vui, out);
  if (h264_syntax::CodesChromaFormat(s.profile_idc) && s.seq_scaling_matrix_present_flag) {
    out.BeginRecord(kDerived);
    ListListsInForce(s.ScalingList4x4, s.ScalingList8x8, lists, out);
    out.EndRecord();
  }
}

void ListSyntax(const H264_PPS& p, const H264_SPS& sps, SyntaxListing& out) {
  FIELD(p, pic_parameter_set_id);
  FIELD(p, seq_parameter_set_id);
  FIELD(p, entropy_coding_mode_flag);
  FIELD(p, bottom_field_pic_order_in_frame_present_flag);
  FIELD(p, num_slice_groups_minus1);
  if (p.num_slice_groups_minus1 > 0) {
    FIELD(p, slice_group_map_type);
    if (p.slice_group_map_type == 0) {
      for (uint32_t i = 0; i < Held(p.num_slice_groups_minus1 + uint64_t{1}, p.run_length_minus1); ++i) {
        ENTRY(p, run_length_minus1, i);
      }
    } else if (p.slice_group_map_type == 2) {
      for (uint32_t i = 0; i < Held(p.num_slice_groups_minus1, p.top_left); ++i) {
        ENTRY(p, top_left, i);
        ENTRY(p, bottom_right, i);
      }
    } else if (p.slice_group_map_type >= 3 && p.slice_group_map_type <= 5) {
      FIELD(p, slice_group_change_direction_flag);
      FIELD(p, slice_group_change_rate_minus1);
    } else if (p.slice_group_map_type == 6) {
      FIELD(p, pic_size_in_map_units_minus1);
      for (uint32_t i = 0; i < p.slice_group_id.size(); ++i) ENTRY(p, slice_group_id, i);
    }
  }
  FIELD(p, num_ref_idx_l0_default_active_minus1);
  FIELD(p, num_ref_idx_l1_default_active_minus1);
  FIELD(p, weighted_pred_flag);
  FIELD(p, weighted_bipred_idc);
  FIELD(p, pic_init_qp_minus26);
  FIELD(p, pic_init_qs_minus26);
  FIELD(p, chroma_qp_index_offset);
  FIELD(p, deblocking_filter_control_present_flag);
  FIELD(p, constrained_intra_pred_flag);
  FIELD(p, redundant_pic_cnt_present_flag);
  // The record does not keep whether the fields from transform_8x8_mode_flag on were coded: they
  // are listed when the SPS allows them and they differ from what their absence means.
  const bool highFields = p.transform_8x8_mode_flag || p.pic_scaling_matrix_present_flag ||
                          p.second_chroma_qp_index_offset != p.chroma_qp_index_offset;
  if (!highFields || !sps.AllowsPpsHighFields()) return;
  FIELD(p, transform_8x8_mode_flag);
  FIELD(p, pic_scaling_matrix_present_flag);
  const uint32_t lists = 6 + (sps.chroma_format_idc == 3 ? 6 : 2) * p.transform_8x8_mode_flag;
  if (p.pic_scaling_matrix_present_flag) ListPresentFlags("pic_scaling_list_present_flag", p.scaling_list_present_mask, lists, out);
  FIELD(p, second_chroma_qp_index_offset);
  if (p.pic_scaling_matrix_present_flag) {
    out.BeginRecord(kDerived);
    ListListsInForce(p.ScalingList4x4, p.ScalingList8x8, lists, out);
    out.EndRecord();
  }
}

// ---------------------------------------------------------------------------------------------
// slice_header

void ListSyntax(const H264SliceHeader& h, SyntaxListing& out) {
  // What a header codes follows from its parameter sets; one built by hand without them lists
  // nothing.
  if (!h.sps || !h.pps) return;
  const H264_SPS& s = *h.sps;
  const H264_PPS& p = *h.pps;
  const H264SliceKind kind = h.Kind();
  const bool b = kind == kSliceB;
  const bool inter = b || kind == kSliceP || kind == kSliceSP;
  const bool idr = h.nal_unit_type == 5;
  FIELD(h, nal_ref_idc);
  FIELD(h, nal_unit_type);
  FIELD(h, first_mb_in_slice);
  FIELD(h, slice_type);
  out.Element("pic_parameter_set_id", p.pic_parameter_set_id);
  if (s.separate_colour_plane_flag) FIELD(h, colour_plane_id);
  FIELD(h, frame_num);
  if (!s.frame_mbs_only_flag) {
    FIELD(h, field_pic_flag);
    if (h.field_pic_flag) FIELD(h, bottom_field_flag);
  }
  if (idr) FIELD(h, idr_pic_id);
  const bool bottomFieldDelta = p.bottom_field_pic_order_in_frame_present_flag && !h.field_pic_flag;
  if (s.pic_order_cnt_type == 0) {
    FIELD(h, pic_order_cnt_lsb);
    if (bottomFieldDelta) FIELD(h, delta_pic_order_cnt_bottom);
  } else if (s.pic_order_cnt_type == 1 && !s.delta_pic_order_always_zero_flag) {
    out.Element("delta_pic_order_cnt", {0}, h.delta_pic_order_cnt[0]);
    if (bottomFieldDelta) out.Element("delta_pic_order_cnt", {1}, h.delta_pic_order_cnt[1]);
  }
  if (p.redundant_pic_cnt_present_flag) FIELD(h, redundant_pic_cnt);
  if (b) FIELD(h, direct_spatial_mv_pred_flag);
  if (inter) {
    FIELD(h, num_ref_idx_active_override_flag);
    if (h.num_ref_idx_active_override_flag) {
      FIELD(h, num_ref_idx_l0_active_minus1);
      if (b) FIELD(h, num_ref_idx_l1_active_minus1);
    }
    out.BeginRecord("ref_pic_list_modification");
    FIELD(h, ref_pic_list_modification_flag_l0);
    if (h.ref_pic_list_modification_flag_l0) ListModifications(0, h.ref_pic_list_modification_l0, out);
    if (b) {
      FIELD(h, ref_pic_list_modification_flag_l1);
      if (h.ref_pic_list_modification_flag_l1) ListModifications(1, h.ref_pic_list_modification_l1, out);
    }
    out.EndRecord();
  }
  if ((p.weighted_pred_flag && (kind == kSliceP || kind == kSliceSP)) || (p.weighted_bipred_idc == 1 && b)) {
    const bool chroma = s.ChromaArrayType() != 0;
    out.BeginRecord("pred_weight_table");
    FIELD(h, luma_log2_weight_denom);
    if (chroma) FIELD(h, chroma_log2_weight_denom);
    ListWeights(0, h.pred_weight_l0, h.num_ref_idx_l0_active_minus1 + 1u, chroma, out);
    if (b) ListWeights(1, h.pred_weight_l1, h.num_ref_idx_l1_active_minus1 + 1u, chroma, out);
    out.EndRecord();
  }
  if (h.nal_ref_idc != 0) {
    out.BeginRecord("dec_ref_pic_marking");
    if (idr) {
      FIELD(h, no_output_of_prior_pics_flag);
      FIELD(h, long_term_reference_flag);
    } else {
      FIELD(h, adaptive_ref_pic_marking_mode_flag);
      for (uint32_t i = 0; h.adaptive_ref_pic_marking_mode_flag && i < std::size(h.mmco); ++i) {
        const H264_MMCO& op = h.mmco[i];
        const uint32_t operation = op.memory_management_control_operation;
        const auto operand = [&out, i](const char* name, int64_t value) { out.Element(name, {i}, value); };
        operand("memory_management_control_operation", operation);
        if (operation == 1 || operation == 3) operand("difference_of_pic_nums_minus1", op.difference_of_pic_nums_minus1);
        if (operation == 2) operand("long_term_pic_num", op.long_term_pic_num);
        if (operation == 3 || operation == 6) operand("long_term_frame_idx", op.long_term_frame_idx);
        if (operation == 4) operand("max_long_term_frame_idx_plus1", op.max_long_term_frame_idx_plus1);
        if (operation == 0) break;
      }
    }
    out.EndRecord();
  }
  if (p.entropy_coding_mode_flag && inter) FIELD(h, cabac_init_idc);
  FIELD(h, slice_qp_delta);
  if (kind == kSliceSP) FIELD(h, sp_for_switch_flag);
  if (kind == kSliceSP || kind == kSliceSI) FIELD(h, slice_qs_delta);
  if (p.deblocking_filter_control_present_flag) {
    FIELD(h, disable_deblocking_filter_idc);
    if (h.disable_deblocking_filter_idc != 1) {
      FIELD(h, slice_alpha_c0_offset_div2);
      FIELD(h, slice_beta_offset_div2);
    }
  }
  if (p.num_slice_groups_minus1 > 0 && p.slice_group_map_type >= 3 && p.slice_group_map_type <= 5) {
    FIELD(h, slice_group_change_cycle);
  }
}

void ListSyntax(const H264Slice& slice, SyntaxListing& out) {
  ListSyntax(static_cast<const H264SliceHeader&>(slice), out);
  if (slice.nal_unit_type == 2) FIELD(slice, slice_id);
}

// ---------------------------------------------------------------------------------------------
// sei_rbsp: each sei_message with its payload's decoded form. payloadType and payloadSize stand for
// the runs of bytes that code them.

void ListSyntax(const H264_SEI& sei, SyntaxListing& out) {
  for (uint32_t i = 0; i < sei.messages.size(); ++i) {
    const SEIMessage& m = sei.messages[i];
    out.BeginRecord("sei_message", {i});
    FIELD(m, payloadType);
    FIELD(m, payloadSize);
    if (m.payloadType == SEIMessage::kRecoveryPoint) {
      const H264_RecoveryPoint& f = m.recovery_point;
      out.BeginRecord("recovery_point");
      FIELD(f, recovery_frame_cnt);
      FIELD(f, exact_match_flag);
      FIELD(f, broken_link_flag);
      FIELD(f, changing_slice_group_idc);
      out.EndRecord();
    } else if (m.payloadType == SEIMessage::kMasteringDisplayColourVolume) {
      const H264_MasteringDisplayColourVolume& f = m.mastering_display_colour_volume;
      out.BeginRecord("mastering_display_colour_volume");
      for (uint32_t c = 0; c < 3; ++c) {
        out.Element("display_primaries_x", {c}, f.display_primaries[c].display_primaries_x);
        out.Element("display_primaries_y", {c}, f.display_primaries[c].display_primaries_y);
      }
      FIELD(f, white_point_x);
      FIELD(f, white_point_y);
      FIELD(f, max_display_mastering_luminance);
      FIELD(f, min_display_mastering_luminance);
      out.EndRecord();
    } else if (m.payloadType == SEIMessage::kContentLightLevel) {
      const H264_ContentLightLevel& f = m.content_light_level;
      out.BeginRecord("content_light_level_info");
      FIELD(f, max_content_light_level);
      FIELD(f, max_pic_average_light_level);
      out.EndRecord();
    }
    out.EndRecord();
  }
}

#undef FIELD
#undef ENTRY

}  // namespace Orvane::Proc::CodecParsers
