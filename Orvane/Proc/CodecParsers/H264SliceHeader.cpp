// The slice header and the whole slice, decoded against the parameter sets of a stream, and the
// look at a slice's kind.
#include "Orvane/Proc/CodecParsers/H264SliceHeader.h"

#include <algorithm>
#include <bit>

#include "Orvane/Proc/CodecParsers/H264Syntax.h"
#include "Orvane/Proc/CodecParsers/H26xBitstreamBuilder.h"

namespace Orvane::Proc::CodecParsers {

using h264_syntax::FailAppend;
using h264_syntax::FindShared;
using h264_syntax::kUnit;
using h264_syntax::ThrowBitstream;

namespace {

// Every failure of the header decode is named after it; those inside a modification list after
// the function that reads one list.
constexpr char kDecodeHeader[] = "DecodeHeader";
constexpr char kReadList[] = "operator ()";
constexpr h26x_syntax::Failer<kUnit, kDecodeHeader> Fail{};
// The writer's failures likewise, with the decode's messages.
constexpr char kAppendHeader[] = "AppendHeader";
constexpr char kWriteList[] = "operator ()";
constexpr h26x_syntax::Failer<kUnit, kAppendHeader> FailHeader{};
template <class T>
constexpr h26x_syntax::UEReader<kUnit, T, kDecodeHeader> UE{};
constexpr h264_syntax::SE32Reader<kDecodeHeader> SE32{};
template <class T>
constexpr h26x_syntax::SEReader<kUnit, T, kDecodeHeader> SE{};

constexpr uint32_t kPartitionAType = 2;
constexpr uint32_t kPartitionBType = 3;
constexpr uint32_t kPartitionCType = 4;
constexpr uint32_t kIDRType = 5;

// The largest frame of any level, in macroblocks (level 6 and up).
constexpr uint32_t kMaxFrameSizeInMbs = 139264;

// How much of a unit DecodeSliceHeader reads: less of IDR and non-reference slices, which carry no
// marking operations, than of the others, whose modification, weight and marking lists can all be
// long. A header longer than its prefix fails with "End of stream"; DecodeSlice reads it whole.
constexpr uint64_t kShortPrefixBytes = 60;
constexpr uint64_t kLongPrefixBytes = 1000;

// How many long-term picture numbers there are: one per frame, or two per frame (one per field) in a
// field picture, whose long_term_pic_num goes up to 2 * max_num_ref_frames - 1.
uint32_t LongTermPicNums(const H264_SPS& s, uint32_t field_pic_flag) {
  return field_pic_flag ? 2u * s.max_num_ref_frames : s.max_num_ref_frames;
}

// A value below `bound` (a count of reference frames, which may be 0), or the failure `message`.
uint8_t BelowRefFrames(BitsReader& r, uint32_t bound, const char* function, const char* message,
                       std::source_location at = std::source_location::current()) {
  const uint32_t value = r.GetUEGolomb();
  if (value >= bound) ThrowBitstream(function, message, at);
  return static_cast<uint8_t>(value);
}

// ue(v) of `value`, refused with `message` above `max` once written, as the decode refuses it once
// read.
void AppendUE(H26xBitstreamBuilder& b, uint32_t value, uint32_t max, const char* message,
              std::source_location at = std::source_location::current()) {
  b.AppendUE(value);
  if (value > max) FailHeader(message, at);
}

// se(v) of `value`, refused with `message` outside [min, max] once written.
void AppendSE(H26xBitstreamBuilder& b, int32_t value, int32_t min, int32_t max, const char* message,
              std::source_location at = std::source_location::current()) {
  b.AppendSE(value);
  if (value < min || value > max) FailHeader(message, at);
}

// ue(v) of a value that must be below `bound` (a count of reference frames).
void AppendBelowRefFrames(H26xBitstreamBuilder& b, uint32_t value, uint32_t bound, const char* function,
                          const char* message, std::source_location at = std::source_location::current()) {
  b.AppendUE(value);
  if (value >= bound) ThrowBitstream(function, message, at);
}

// The width of slice_group_change_cycle: Ceil(Log2(Ceil(PicSizeInMapUnits / SliceGroupChangeRate)
// + 1)), which is the bit width of the quotient: at most 21 bits for the largest picture. Worked in
// 64 bits, where no record's values wrap, and capped at 32 bits for a record built by hand.
unsigned SliceGroupChangeCycleBits(const H264_SPS& s, const H264_PPS& p) {
  const uint64_t mapUnits = uint64_t{s.pic_width_in_mbs_minus1 + 1u} * (s.pic_height_in_map_units_minus1 + 1u);
  const uint64_t changeRate = p.slice_group_change_rate_minus1 + uint64_t{1};
  return std::min(32u, static_cast<unsigned>(std::bit_width((mapUnits + changeRate - 1) / changeRate)));
}

bool CodesSliceGroupChangeCycle(const H264_PPS& p) {
  return p.num_slice_groups_minus1 > 0 && p.slice_group_map_type >= 3 && p.slice_group_map_type <= 5;
}

// A weight denominator above 7 is kept as 0 rather than refused.
uint8_t WeightDenominator(BitsReader& r) {
  const uint32_t value = r.GetUEGolomb();
  return value > 7 ? 0 : static_cast<uint8_t>(value);
}

// pred_weight_table of one list of `count` references. No value is checked; each keeps its low
// 8 bits.
void DecodeWeights(BitsReader& r, H264_PredWeightTable& t, uint32_t count, bool chroma) {
  for (uint32_t i = 0; i < count; ++i) {
    t.luma_weight_flag[i] = r.GetBits<uint8_t>(1);
    if (t.luma_weight_flag[i]) {
      t.luma_weight[i] = static_cast<int8_t>(r.GetSEGolomb());
      t.luma_offset[i] = static_cast<int8_t>(r.GetSEGolomb());
    }
    if (!chroma) continue;
    t.chroma_weight_flag[i] = r.GetBits<uint8_t>(1);
    if (t.chroma_weight_flag[i]) {
      for (uint32_t j = 0; j < 2; ++j) {
        t.chroma_weight[i][j] = static_cast<int8_t>(r.GetSEGolomb());
        t.chroma_offset[i][j] = static_cast<int8_t>(r.GetSEGolomb());
      }
    }
  }
}

void AppendWeights(H26xBitstreamBuilder& b, const H264_PredWeightTable& t, uint32_t count, bool chroma) {
  for (uint32_t i = 0; i < count; ++i) {
    b.AppendBit(t.luma_weight_flag[i]);
    if (t.luma_weight_flag[i]) {
      b.AppendSE(t.luma_weight[i]);
      b.AppendSE(t.luma_offset[i]);
    }
    if (!chroma) continue;
    b.AppendBit(t.chroma_weight_flag[i]);
    if (t.chroma_weight_flag[i]) {
      for (uint32_t j = 0; j < 2; ++j) {
        b.AppendSE(t.chroma_weight[i][j]);
        b.AppendSE(t.chroma_offset[i][j]);
      }
    }
  }
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// slice_header

void H264SliceHeader::DecodeHeader(BitsReader& r, const H264_PS& ps) {
  h264_syntax::ZeroFields(&nal_ref_idc, &sps);
  sps.reset();
  pps.reset();

  r.SkipBits(1);  // forbidden_zero_bit
  nal_ref_idc = r.GetBits<uint8_t>(2);
  const uint32_t type = r.GetBits<uint32_t>(5);
  if (!IsSliceNalType(type)) Fail("NALU is not a Slice");
  // Partitions B and C begin with slice_id and go on with slice data: read as a header, their
  // slice data would come out as header fields.
  if (!StartsWithSliceHeader(type)) Fail("Slice data partitions B and C have no slice header");
  nal_unit_type = type;
  const bool idr = nal_unit_type == kIDRType;

  first_mb_in_slice = UE<uint32_t>(r, kMaxFrameSizeInMbs - 1, "first_mb_in_slice out of range");
  slice_type = UE<uint8_t>(r);
  const H264SliceKind kind = Kind();
  if (idr && (kind == kSliceP || kind == kSliceB || kind == kSliceSP)) Fail("invalid slice tipe in header");
  const uint8_t pic_parameter_set_id = UE<uint8_t>(r, 255, "pic_parameter_set_id out of range");
  pps = FindShared(ps.pps_list, pic_parameter_set_id, &H264_PPS::pic_parameter_set_id);
  if (!pps) Fail("invalid pic_parameter_set_id in slice header");
  sps = FindShared(ps.sps_list, pps->seq_parameter_set_id, &H264_SPS::seq_parameter_set_id);
  if (!sps) Fail("invalid seq_parameter_set_id in pps");
  const H264_SPS& s = *sps;
  const H264_PPS& p = *pps;

  if (s.separate_colour_plane_flag) colour_plane_id = r.GetBits<uint8_t>(2);
  frame_num = r.GetBits<uint16_t>(s.log2_max_frame_num_minus4 + 4u);
  if (!s.frame_mbs_only_flag) {
    field_pic_flag = r.GetBits<uint8_t>(1);
    if (field_pic_flag) bottom_field_flag = r.GetBits<uint8_t>(1);
  }
  if (idr) idr_pic_id = UE<uint16_t>(r);
  const bool bottomFieldDelta = p.bottom_field_pic_order_in_frame_present_flag && !field_pic_flag;
  // The deltas range over 32 bits less -2^31, as the SPS's offsets do.
  if (s.pic_order_cnt_type == 0) {
    pic_order_cnt_lsb = r.GetBits<uint16_t>(s.log2_max_pic_order_cnt_lsb_minus4 + 4u);
    if (bottomFieldDelta) delta_pic_order_cnt_bottom = SE32(r, "delta_pic_order_cnt_bottom out of range");
  } else if (s.pic_order_cnt_type == 1 && !s.delta_pic_order_always_zero_flag) {
    delta_pic_order_cnt[0] = SE32(r, "delta_pic_order_cnt out of range");
    if (bottomFieldDelta) delta_pic_order_cnt[1] = SE32(r, "delta_pic_order_cnt out of range");
  }
  if (p.redundant_pic_cnt_present_flag) redundant_pic_cnt = UE<uint8_t>(r);

  const bool b = kind == kSliceB;
  const bool inter = kind == kSliceP || kind == kSliceSP || b;
  if (b) direct_spatial_mv_pred_flag = r.GetBits<uint8_t>(1);
  if (inter) {
    num_ref_idx_active_override_flag = r.GetBits<uint8_t>(1);
    if (num_ref_idx_active_override_flag) {
      // 32 references at most, for frames and fields alike.
      num_ref_idx_l0_active_minus1 = UE<uint8_t>(r, 31, "num_ref_idx_l0_active_minus1 out of range");
      if (b) num_ref_idx_l1_active_minus1 = UE<uint8_t>(r, 31, "num_ref_idx_l1_active_minus1 out of range");
    } else {
      num_ref_idx_l0_active_minus1 = p.num_ref_idx_l0_default_active_minus1;
      num_ref_idx_l1_active_minus1 = p.num_ref_idx_l1_default_active_minus1;
    }
  }

  // ref_pic_list_modification
  if (inter) {
    const uint32_t maxPicNum = (field_pic_flag + 1u) << (s.log2_max_frame_num_minus4 + 4u);
    // One list, up to its end mark; at most one operation per active reference and one more.
    const uint32_t longTermPicNums = LongTermPicNums(s, field_pic_flag);
    const auto readList = [&r, maxPicNum, longTermPicNums](H264_RefPicListModification(&list)[33], uint32_t lastRefIdx) {
      for (uint32_t i = 0;; ++i) {
        H264_RefPicListModification& op = list[i];
        const uint32_t idc = r.GetUEGolomb();
        if (idc > 3) ThrowBitstream(kReadList, "modification_of_pic_nums_idc out of range");
        op.modification_of_pic_nums_idc = static_cast<uint8_t>(idc);
        if (idc == 3) return;
        if (idc == 2) {
          op.long_term_pic_num = BelowRefFrames(r, longTermPicNums, kReadList, "long_term_pic_num out of range");
        } else {
          const uint32_t diff = r.GetUEGolomb();
          if (diff > maxPicNum) ThrowBitstream(kReadList, "abs_diff_pic_num_minus1 out of range");
          op.abs_diff_pic_num_minus1 = diff;
        }
        if (i > lastRefIdx) ThrowBitstream(kReadList, "reference count overflow");
      }
    };
    ref_pic_list_modification_flag_l0 = r.GetBits<uint8_t>(1);
    if (ref_pic_list_modification_flag_l0) readList(ref_pic_list_modification_l0, num_ref_idx_l0_active_minus1);
    if (b) {
      ref_pic_list_modification_flag_l1 = r.GetBits<uint8_t>(1);
      if (ref_pic_list_modification_flag_l1) readList(ref_pic_list_modification_l1, num_ref_idx_l1_active_minus1);
    }
  }

  if ((p.weighted_pred_flag && (kind == kSliceP || kind == kSliceSP)) || (p.weighted_bipred_idc == 1 && b)) {
    const bool chroma = s.ChromaArrayType() != 0;
    luma_log2_weight_denom = WeightDenominator(r);
    if (chroma) chroma_log2_weight_denom = WeightDenominator(r);
    DecodeWeights(r, pred_weight_l0, num_ref_idx_l0_active_minus1 + 1u, chroma);
    if (b) DecodeWeights(r, pred_weight_l1, num_ref_idx_l1_active_minus1 + 1u, chroma);
  }

  // dec_ref_pic_marking
  if (nal_ref_idc != 0) {
    if (idr) {
      no_output_of_prior_pics_flag = r.GetBits<uint8_t>(1);
      long_term_reference_flag = r.GetBits<uint8_t>(1);
    } else {
      adaptive_ref_pic_marking_mode_flag = r.GetBits<uint8_t>(1);
      if (adaptive_ref_pic_marking_mode_flag) {
        for (H264_MMCO& op : mmco) {
          const uint32_t operation = UE<uint32_t>(r, 6, "memory_management_control_operation out of range");
          op.memory_management_control_operation = operation;
          if (operation == 0) break;
          if (operation == 1 || operation == 3) op.difference_of_pic_nums_minus1 = r.GetUEGolomb();
          if (operation == 2) {
            op.long_term_pic_num =
                BelowRefFrames(r, LongTermPicNums(s, field_pic_flag), kDecodeHeader, "long_term_pic_num out of range");
          }
          if (operation == 3 || operation == 6) {
            op.long_term_frame_idx =
                BelowRefFrames(r, s.max_num_ref_frames, kDecodeHeader, "long_term_frame_idx out of range");
          }
          if (operation == 4) {
            op.max_long_term_frame_idx_plus1 =
                UE<uint8_t>(r, s.max_num_ref_frames, "max_long_term_frame_idx_plus1 out of range");
          }
        }
        // The last entry is kept for the end mark.
        if (mmco[std::size(mmco) - 1].memory_management_control_operation != 0) {
          Fail("Too many memory management control operations");
        }
      }
    }
  }

  if (p.entropy_coding_mode_flag && inter) cabac_init_idc = UE<uint8_t>(r, 2, "cabac_init_idc out of range");
  // Against the bit depth's QP range alone; pic_init_qp_minus26 is not taken into account.
  const int32_t qpRange = 51 + 6 * s.bit_depth_luma_minus8;
  slice_qp_delta = SE<int8_t>(r, -qpRange, qpRange, "slice_qp_delta out of range");
  if (kind == kSliceSP) sp_for_switch_flag = r.GetBits<uint8_t>(1);
  if (kind == kSliceSP || kind == kSliceSI) slice_qs_delta = SE<int8_t>(r, -51, 51, "slice_qs_delta out of range");
  if (p.deblocking_filter_control_present_flag) {
    disable_deblocking_filter_idc = UE<uint8_t>(r, 2, "disable_deblocking_filter_idc out of range");
    if (disable_deblocking_filter_idc != 1) {
      slice_alpha_c0_offset_div2 = SE<int8_t>(r, -6, 6, "slice_alpha_c0_offset_div2 out of range");
      slice_beta_offset_div2 = SE<int8_t>(r, -6, 6, "slice_beta_offset_div2 out of range");
    }
  }
  if (CodesSliceGroupChangeCycle(p)) slice_group_change_cycle = r.GetBits<uint32_t>(SliceGroupChangeCycleBits(s, p));
}

void H264SliceHeader::AppendHeader(H26xBitstreamBuilder& b) const {
  b.BeginNALU(nal_unit_type, nal_ref_idc);
  if (!IsSliceNalType(nal_unit_type)) FailHeader("NALU is not a Slice");
  // A header in front of a partition B or C would be read as its slice_id and data.
  if (!StartsWithSliceHeader(nal_unit_type)) FailHeader("Slice data partitions B and C have no slice header");
  const bool idr = nal_unit_type == kIDRType;

  AppendUE(b, first_mb_in_slice, kMaxFrameSizeInMbs - 1, "first_mb_in_slice out of range");
  b.AppendUE(slice_type);
  const H264SliceKind kind = Kind();
  if (idr && (kind == kSliceP || kind == kSliceB || kind == kSliceSP)) FailHeader("invalid slice tipe in header");
  // What the header codes depends on both parameter sets: a record without them cannot be written.
  if (!pps) FailHeader("invalid pic_parameter_set_id in slice header");
  if (!sps) FailHeader("invalid seq_parameter_set_id in pps");
  const H264_SPS& s = *sps;
  const H264_PPS& p = *pps;
  b.AppendUE(p.pic_parameter_set_id);

  if (s.separate_colour_plane_flag) b.AppendU64(colour_plane_id, 2);
  b.AppendU64(frame_num, s.log2_max_frame_num_minus4 + 4u);
  if (!s.frame_mbs_only_flag) {
    b.AppendBit(field_pic_flag);
    if (field_pic_flag) b.AppendBit(bottom_field_flag);
  }
  if (idr) b.AppendUE(idr_pic_id);
  const bool bottomFieldDelta = p.bottom_field_pic_order_in_frame_present_flag && !field_pic_flag;
  if (s.pic_order_cnt_type == 0) {
    b.AppendU64(pic_order_cnt_lsb, s.log2_max_pic_order_cnt_lsb_minus4 + 4u);
    if (bottomFieldDelta) b.AppendSE(delta_pic_order_cnt_bottom);
  } else if (s.pic_order_cnt_type == 1 && !s.delta_pic_order_always_zero_flag) {
    b.AppendSE(delta_pic_order_cnt[0]);
    if (bottomFieldDelta) b.AppendSE(delta_pic_order_cnt[1]);
  }
  if (p.redundant_pic_cnt_present_flag) b.AppendUE(redundant_pic_cnt);

  const bool bSlice = kind == kSliceB;
  const bool inter = kind == kSliceP || kind == kSliceSP || bSlice;
  if (bSlice) b.AppendBit(direct_spatial_mv_pred_flag);
  if (inter) {
    b.AppendBit(num_ref_idx_active_override_flag);
    if (num_ref_idx_active_override_flag) {
      AppendUE(b, num_ref_idx_l0_active_minus1, 31, "num_ref_idx_l0_active_minus1 out of range");
      if (bSlice) AppendUE(b, num_ref_idx_l1_active_minus1, 31, "num_ref_idx_l1_active_minus1 out of range");
    }
    // The counts size the lists and weight tables below, whether coded or taken from the PPS.
    if (num_ref_idx_l0_active_minus1 > 31) FailHeader("num_ref_idx_l0_active_minus1 out of range");
    if (bSlice && num_ref_idx_l1_active_minus1 > 31) FailHeader("num_ref_idx_l1_active_minus1 out of range");
  }

  // ref_pic_list_modification
  if (inter) {
    const uint32_t maxPicNum = (field_pic_flag + 1u) << (s.log2_max_frame_num_minus4 + 4u);
    // One list, up to its end mark, which the count check makes come within the 33 entries.
    const uint32_t longTermPicNums = LongTermPicNums(s, field_pic_flag);
    const auto appendList = [&b, maxPicNum, longTermPicNums](const H264_RefPicListModification(&list)[33],
                                                            uint32_t lastRefIdx) {
      for (uint32_t i = 0; i < std::size(list); ++i) {
        const H264_RefPicListModification& op = list[i];
        const uint32_t idc = op.modification_of_pic_nums_idc;
        b.AppendUE(idc);
        if (idc > 3) ThrowBitstream(kWriteList, "modification_of_pic_nums_idc out of range");
        if (idc == 3) return;
        if (idc == 2) {
          AppendBelowRefFrames(b, op.long_term_pic_num, longTermPicNums, kWriteList, "long_term_pic_num out of range");
        } else {
          b.AppendUE(op.abs_diff_pic_num_minus1);
          if (op.abs_diff_pic_num_minus1 > maxPicNum) {
            ThrowBitstream(kWriteList, "abs_diff_pic_num_minus1 out of range");
          }
        }
        if (i > lastRefIdx) ThrowBitstream(kWriteList, "reference count overflow");
      }
    };
    b.AppendBit(ref_pic_list_modification_flag_l0);
    if (ref_pic_list_modification_flag_l0) appendList(ref_pic_list_modification_l0, num_ref_idx_l0_active_minus1);
    if (bSlice) {
      b.AppendBit(ref_pic_list_modification_flag_l1);
      if (ref_pic_list_modification_flag_l1) appendList(ref_pic_list_modification_l1, num_ref_idx_l1_active_minus1);
    }
  }

  // Denominators are written as stored: a decode keeps only those it takes.
  if ((p.weighted_pred_flag && (kind == kSliceP || kind == kSliceSP)) || (p.weighted_bipred_idc == 1 && bSlice)) {
    const bool chroma = s.ChromaArrayType() != 0;
    b.AppendUE(luma_log2_weight_denom);
    if (chroma) b.AppendUE(chroma_log2_weight_denom);
    AppendWeights(b, pred_weight_l0, num_ref_idx_l0_active_minus1 + 1u, chroma);
    if (bSlice) AppendWeights(b, pred_weight_l1, num_ref_idx_l1_active_minus1 + 1u, chroma);
  }

  // dec_ref_pic_marking
  if (nal_ref_idc != 0) {
    if (idr) {
      b.AppendBit(no_output_of_prior_pics_flag);
      b.AppendBit(long_term_reference_flag);
    } else {
      b.AppendBit(adaptive_ref_pic_marking_mode_flag);
      if (adaptive_ref_pic_marking_mode_flag) {
        bool ended = false;
        for (const H264_MMCO& op : mmco) {
          const uint32_t operation = op.memory_management_control_operation;
          AppendUE(b, operation, 6, "memory_management_control_operation out of range");
          if (operation == 0) {
            ended = true;
            break;
          }
          if (operation == 1 || operation == 3) b.AppendUE(op.difference_of_pic_nums_minus1);
          if (operation == 2) {
            AppendBelowRefFrames(b, op.long_term_pic_num, LongTermPicNums(s, field_pic_flag), kAppendHeader,
                                 "long_term_pic_num out of range");
          }
          if (operation == 3 || operation == 6) {
            AppendBelowRefFrames(b, op.long_term_frame_idx, s.max_num_ref_frames, kAppendHeader,
                                 "long_term_frame_idx out of range");
          }
          if (operation == 4) {
            AppendUE(b, op.max_long_term_frame_idx_plus1, s.max_num_ref_frames, "max_long_term_frame_idx_plus1 out of range");
          }
        }
        // The last entry is kept for the end mark.
        if (!ended) FailHeader("Too many memory management control operations");
      }
    }
  }

  if (p.entropy_coding_mode_flag && inter) AppendUE(b, cabac_init_idc, 2, "cabac_init_idc out of range");
  const int32_t qpRange = 51 + 6 * s.bit_depth_luma_minus8;
  AppendSE(b, slice_qp_delta, -qpRange, qpRange, "slice_qp_delta out of range");
  if (kind == kSliceSP) b.AppendBit(sp_for_switch_flag);
  if (kind == kSliceSP || kind == kSliceSI) AppendSE(b, slice_qs_delta, -51, 51, "slice_qs_delta out of range");
  if (p.deblocking_filter_control_present_flag) {
    AppendUE(b, disable_deblocking_filter_idc, 2, "disable_deblocking_filter_idc out of range");
    if (disable_deblocking_filter_idc != 1) {
      AppendSE(b, slice_alpha_c0_offset_div2, -6, 6, "slice_alpha_c0_offset_div2 out of range");
      AppendSE(b, slice_beta_offset_div2, -6, 6, "slice_beta_offset_div2 out of range");
    }
  }
  if (CodesSliceGroupChangeCycle(p)) b.AppendU64(slice_group_change_cycle, SliceGroupChangeCycleBits(s, p));
}

// ---------------------------------------------------------------------------------------------
// Decoding from a unit

std::shared_ptr<const H264SliceHeader> H264_PS::DecodeSliceHeader(const NALU& nalu) const {
  // A unit without even a header byte has no type, so it is no slice either.
  if (nalu.size == 0 || !IsSliceNalType(H264NaluType(nalu))) return nullptr;
  const uint32_t nal_ref_idc = (nalu.data[0] >> 5) & 3u;
  const uint64_t prefix = H264NaluType(nalu) == kIDRType || nal_ref_idc == 0 ? kShortPrefixBytes : kLongPrefixBytes;
  // DecodeHeader clears the record before it reads anything.
  std::shared_ptr<H264SliceHeader> header = std::make_shared_for_overwrite<H264SliceHeader>();
  h26x_syntax::DecodePrefixRBSP(nalu, prefix, [&](BitsReader& r) { header->DecodeHeader(r, *this); });
  return header;
}

std::shared_ptr<const H264Slice> H264_PS::DecodeSlice(const NALU& nalu) const {
  if (nalu.size == 0 || !IsSliceNalType(H264NaluType(nalu))) return nullptr;
  std::shared_ptr<H264Slice> slice = std::make_shared<H264Slice>();
  // Zero bytes after the unit's end are not slice data; a final cabac_zero_word is.
  std::vector<uint8_t> rbsp = RemoveEmulationPrevention(nalu.data, h26x_syntax::UnitSize(nalu));
  BitsReader r(rbsp.data(), rbsp.size());
  slice->DecodeHeader(r, *this);
  if (slice->nal_unit_type == kPartitionAType) slice->slice_id = r.GetUEGolomb();
  if (slice->pps->entropy_coding_mode_flag) {
    r.ByteAlign();  // cabac_alignment_one_bit, not checked
    // The RBSP itself becomes the slice data, without the header in front.
    rbsp.erase(rbsp.begin(), rbsp.begin() + static_cast<std::ptrdiff_t>(r.GetPosition() / 8));
    slice->slice_data = std::move(rbsp);
  }
  return slice;
}

void H264Slice::Append(H26xBitstreamBuilder& b) const {
  // Refused before the header is begun, so that the builder is left as it was.
  if (nal_unit_type == kPartitionBType || nal_unit_type == kPartitionCType) {
    FailAppend("Slice data partitions B and C have no slice header");
  }
  if (!pps) FailAppend("invalid pic_parameter_set_id in slice header");
  // A CAVLC slice keeps no slice data to write.
  if (!pps->entropy_coding_mode_flag) FailAppend("Serialization for the CAVLC entropy coding method is not implemented");
  AppendHeader(b);
  if (nal_unit_type == kPartitionAType) b.AppendUE(slice_id);
  b.ByteAlign(true);  // cabac_alignment_one_bit
  for (const uint8_t byte : slice_data) b.AppendU64(byte, 8);
  // The slice data ends with the unit's trailing bits.
  b.EndNALU();
}

uint32_t GetSliceType(const NALU& nalu) {
  if (nalu.size == 0) return kNoSliceKind;
  const uint32_t type = H264NaluType(nalu);
  if (!StartsWithSliceHeader(type)) return kNoSliceKind;
  // Read where the bytes stand, copying nothing: the first two codes of a valid slice hold no
  // emulation pattern. A unit cut short reads as zeros.
  BitsReader r(nalu.data, nalu.size);
  r.lenient = true;
  r.SkipBits(8);     // NAL unit header
  r.GetUEGolomb();   // first_mb_in_slice
  const uint32_t slice_type = r.GetUEGolomb();
  if (r.BitsLeft() == 0) return kNoSliceKind;
  return slice_type % 5;
}

}  // namespace Orvane::Proc::CodecParsers
