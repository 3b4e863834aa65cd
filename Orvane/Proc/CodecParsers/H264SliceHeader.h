#pragma once
// H.264 slices: the slice header with its reference picture list modification, prediction weight
// tables and reference picture marking, decoded against the parameter sets of a stream
// (H264_PS::DecodeSliceHeader); the whole slice with its data-partition fields and, for CABAC,
// its slice data (H264_PS::DecodeSlice); and a cheap look at a slice's kind.
//
// A record keeps the SPS and PPS it was decoded with, which decide what its header codes.
#include <cstdint>
#include <memory>
#include <vector>

#include "Orvane/Proc/CodecParsers/H264CodecParams.h"

namespace Orvane::Proc::CodecParsers {

// slice_type modulo 5.
enum H264SliceKind : uint32_t { kSliceP = 0, kSliceB = 1, kSliceI = 2, kSliceSP = 3, kSliceSI = 4 };

// One operation of ref_pic_list_modification. The idc codes either of the two values after it; the
// narrow one comes first, so that an entry takes 8 bytes, and the header (zeroed before each decode)
// stays small.
struct H264_RefPicListModification {
  uint8_t modification_of_pic_nums_idc;  // 3 ends the list
  uint8_t long_term_pic_num;
  uint32_t abs_diff_pic_num_minus1;

  bool operator==(const H264_RefPicListModification&) const = default;
};

// pred_weight_table of one reference list. Weights and offsets whose flag is 0 stay 0.
struct H264_PredWeightTable {
  uint8_t luma_weight_flag[32];
  int8_t luma_weight[32];
  int8_t luma_offset[32];
  uint8_t chroma_weight_flag[32];
  int8_t chroma_weight[32][2];  // Cb, Cr
  int8_t chroma_offset[32][2];

  bool operator==(const H264_PredWeightTable&) const = default;
};

// One memory_management_control_operation of dec_ref_pic_marking with its arguments.
struct H264_MMCO {
  uint32_t memory_management_control_operation;  // 0 ends the list
  uint32_t difference_of_pic_nums_minus1;
  uint8_t long_term_pic_num;
  uint8_t long_term_frame_idx;
  uint8_t max_long_term_frame_idx_plus1;

  bool operator==(const H264_MMCO&) const = default;
};

struct H264SliceHeader {
  uint8_t nal_ref_idc;
  uint32_t nal_unit_type;
  uint32_t first_mb_in_slice;
  uint8_t slice_type;  // as coded, 0 to 9; see Kind()
  uint8_t colour_plane_id;
  uint16_t frame_num;
  uint8_t field_pic_flag;
  uint8_t bottom_field_flag;
  uint16_t idr_pic_id;
  uint16_t pic_order_cnt_lsb;
  int32_t delta_pic_order_cnt_bottom;
  int32_t delta_pic_order_cnt[2];
  uint8_t redundant_pic_cnt;
  uint8_t direct_spatial_mv_pred_flag;
  uint8_t num_ref_idx_active_override_flag;
  // The PPS defaults unless the header overrides them; 0 for I and SI slices.
  uint8_t num_ref_idx_l0_active_minus1;
  uint8_t num_ref_idx_l1_active_minus1;
  uint8_t ref_pic_list_modification_flag_l0;
  uint8_t ref_pic_list_modification_flag_l1;
  // Up to and including the operation with modification_of_pic_nums_idc 3.
  H264_RefPicListModification ref_pic_list_modification_l0[33];
  H264_RefPicListModification ref_pic_list_modification_l1[33];
  // A coded denominator above 7 is kept as 0.
  uint8_t luma_log2_weight_denom;
  uint8_t chroma_log2_weight_denom;
  H264_PredWeightTable pred_weight_l0;
  H264_PredWeightTable pred_weight_l1;
  uint8_t no_output_of_prior_pics_flag;
  uint8_t long_term_reference_flag;
  uint8_t adaptive_ref_pic_marking_mode_flag;
  // Up to and including the operation 0; at most 66 operations before it.
  H264_MMCO mmco[67];
  uint8_t cabac_init_idc;
  int8_t slice_qp_delta;
  uint8_t sp_for_switch_flag;
  int8_t slice_qs_delta;
  uint8_t disable_deblocking_filter_idc;
  int8_t slice_alpha_c0_offset_div2;
  int8_t slice_beta_offset_div2;
  uint32_t slice_group_change_cycle;
  // The parameter sets in force: the PPS that pic_parameter_set_id names, and its SPS.
  std::shared_ptr<const H264_SPS> sps;
  std::shared_ptr<const H264_PPS> pps;

  // Clears the header, then decodes the NAL unit header and the slice header from the reader's
  // position, taking the parameter sets from `ps`. The reader is left at the first bit after the
  // header. Partitions B and C, which have no slice header, are refused.
  void DecodeHeader(BitsReader& r, const H264_PS& ps);
  // Begins a NAL unit of the record's nal_unit_type and nal_ref_idc and writes the slice header
  // that DecodeHeader reads, against the record's SPS and PPS; the unit is left open. The values
  // are checked again as the decode checks them, with its messages.
  void AppendHeader(H26xBitstreamBuilder& b) const;

  H264SliceKind Kind() const { return static_cast<H264SliceKind>(slice_type % 5); }
  uint8_t pic_parameter_set_id() const { return pps->pic_parameter_set_id; }

  bool operator==(const H264SliceHeader&) const = default;
};

// A whole slice: the header, the data-partition fields, and the slice data of a CABAC slice.
struct H264Slice : H264SliceHeader {
  uint32_t slice_id;  // partition A
  // The fields that follow slice_id in partitions B and C, which are refused: always 0.
  uint8_t partition_colour_plane_id;
  uint8_t partition_redundant_pic_cnt;
  // For CABAC, the RBSP from the byte boundary after the header (cabac_alignment_one_bit) to the
  // end of the unit, trailing bits and cabac_zero_words included; empty for CAVLC.
  std::vector<uint8_t> slice_data;

  // Writes the whole slice unit: header, slice_id of partition A, cabac_alignment_one_bit and the
  // slice data, which carries the trailing bits; the unit is ended without adding any. Only CABAC
  // slices can be written, and partitions B and C have no header to write: both are refused before
  // anything is written.
  void Append(H26xBitstreamBuilder& b) const;

  bool operator==(const H264Slice&) const = default;
};

// The kind (slice_type modulo 5) of a slice unit, read from its raw bytes without copying them;
// kNoSliceKind for a unit that is no slice, a partition B or C, or one that ends within or right
// after slice_type.
inline constexpr uint32_t kNoSliceKind = 0xFFFFFFFF;
uint32_t GetSliceType(const NALU& nalu);

// nal_unit_type 1 to 5: coded slices and the three data partitions.
inline bool IsSliceNalType(uint32_t nal_unit_type) { return nal_unit_type >= 1 && nal_unit_type <= 5; }

// The slice units that begin with a slice header: all but data partitions B and C (types 3 and 4),
// which begin with slice_id and go on with slice data.
inline bool StartsWithSliceHeader(uint32_t nal_unit_type) {
  return IsSliceNalType(nal_unit_type) && nal_unit_type != 3 && nal_unit_type != 4;
}

}  // namespace Orvane::Proc::CodecParsers
