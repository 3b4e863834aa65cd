// The H.264 slice header and SEI messages in the shared listing: every element the syntax coded,
// by the record's field names, in bitstream order, each function in the shape of the decode it
// mirrors.
#include <algorithm>
#include <iterator>

#include "Orvane/Proc/CodecParsers/H264SliceHeader.h"
#include "Orvane/Proc/CodecParsers/H264_SEI.h"
#include "Orvane/Proc/CodecParsers/SyntaxListing.h"

// A field of a record, or entry i of an array field, under the field's own name.
#define FIELD(record, field) out.Element(#field, (record).field)
#define ENTRY(record, field, i) out.Element(#field, {i}, (record).field[i])

namespace Orvane::Proc::CodecParsers {

namespace {

// The first `count` entries of an array field, as far as the record holds them: a decoded record
// never counts more than its arrays hold, a record built by hand may.
template <class Array>
uint32_t Held(uint64_t count, const Array& array) {
  return static_cast<uint32_t>(std::min<uint64_t>(count, std::size(array)));
}

void ListModifications(const char* name, const H264_RefPicListModification (&list)[33], SyntaxListing& out) {
  for (uint32_t i = 0; i < std::size(list); ++i) {
    const H264_RefPicListModification& op = list[i];
    out.BeginRecord(name, {i});
    FIELD(op, modification_of_pic_nums_idc);
    if (op.modification_of_pic_nums_idc == 0 || op.modification_of_pic_nums_idc == 1) FIELD(op, abs_diff_pic_num_minus1);
    if (op.modification_of_pic_nums_idc == 2) FIELD(op, long_term_pic_num);
    out.EndRecord();
    if (op.modification_of_pic_nums_idc == 3) return;
  }
}

void ListWeights(const char* name, const H264_PredWeightTable& t, uint32_t count, bool chroma, SyntaxListing& out) {
  out.BeginRecord(name);
  for (uint32_t i = 0; i < Held(count, t.luma_weight_flag); ++i) {
    ENTRY(t, luma_weight_flag, i);
    if (t.luma_weight_flag[i]) {
      ENTRY(t, luma_weight, i);
      ENTRY(t, luma_offset, i);
    }
    if (!chroma) continue;
    ENTRY(t, chroma_weight_flag, i);
    for (uint32_t j = 0; t.chroma_weight_flag[i] && j < 2; ++j) {
      out.Element("chroma_weight", {i, j}, t.chroma_weight[i][j]);
      out.Element("chroma_offset", {i, j}, t.chroma_offset[i][j]);
    }
  }
  out.EndRecord();
}

}  // namespace

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
    FIELD(h, ref_pic_list_modification_flag_l0);
    if (h.ref_pic_list_modification_flag_l0) ListModifications("ref_pic_list_modification_l0", h.ref_pic_list_modification_l0, out);
    if (b) {
      FIELD(h, ref_pic_list_modification_flag_l1);
      if (h.ref_pic_list_modification_flag_l1) ListModifications("ref_pic_list_modification_l1", h.ref_pic_list_modification_l1, out);
    }
  }
  if ((p.weighted_pred_flag && (kind == kSliceP || kind == kSliceSP)) || (p.weighted_bipred_idc == 1 && b)) {
    const bool chroma = s.chroma_format_idc != 0;
    FIELD(h, luma_log2_weight_denom);
    if (chroma) FIELD(h, chroma_log2_weight_denom);
    ListWeights("pred_weight_l0", h.pred_weight_l0, h.num_ref_idx_l0_active_minus1 + 1u, chroma, out);
    if (b) ListWeights("pred_weight_l1", h.pred_weight_l1, h.num_ref_idx_l1_active_minus1 + 1u, chroma, out);
  }
  if (h.nal_ref_idc != 0) {
    if (idr) {
      FIELD(h, no_output_of_prior_pics_flag);
      FIELD(h, long_term_reference_flag);
    } else {
      FIELD(h, adaptive_ref_pic_marking_mode_flag);
      for (uint32_t i = 0; h.adaptive_ref_pic_marking_mode_flag && i < std::size(h.mmco); ++i) {
        const H264_MMCO& op = h.mmco[i];
        const uint32_t operation = op.memory_management_control_operation;
        out.BeginRecord("mmco", {i});
        FIELD(op, memory_management_control_operation);
        if (operation == 1 || operation == 3) FIELD(op, difference_of_pic_nums_minus1);
        if (operation == 2) FIELD(op, long_term_pic_num);
        if (operation == 3 || operation == 6) FIELD(op, long_term_frame_idx);
        if (operation == 4) FIELD(op, max_long_term_frame_idx_plus1);
        out.EndRecord();
        if (operation == 0) break;
      }
    }
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
// sei_rbsp

void ListSyntax(const H264_SEI& sei, SyntaxListing& out) {
  for (uint32_t i = 0; i < sei.messages.size(); ++i) {
    const SEIMessage& m = sei.messages[i];
    out.BeginRecord("messages", {i});
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
        out.BeginRecord("display_primaries", {c});
        FIELD(f.display_primaries[c], display_primaries_x);
        FIELD(f.display_primaries[c], display_primaries_y);
        out.EndRecord();
      }
      FIELD(f, white_point_x);
      FIELD(f, white_point_y);
      FIELD(f, max_display_mastering_luminance);
      FIELD(f, min_display_mastering_luminance);
      out.EndRecord();
    } else if (m.payloadType == SEIMessage::kContentLightLevel) {
      const H264_ContentLightLevel& f = m.content_light_level;
      out.BeginRecord("content_light_level");
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
