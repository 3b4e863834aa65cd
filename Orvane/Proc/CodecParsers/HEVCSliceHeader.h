#pragma once
// The first part of an H.265 slice segment header: picture order count, the active short-term
// and long-term reference picture sets, SAO flags, reference index counts, list modification and
// the collocated picture; what a consumer needs to follow the reference structure of a stream.
// The decode stops before pred_weight_table and never touches slice data.
#include <cstdint>
#include <memory>
#include <string>

#include "Orvane/Proc/CodecParsers/HEVCCodecParams.h"

namespace Orvane::Proc::CodecParsers {

struct HEVCSliceHeader {
  uint8_t first_slice_segment_in_pic_flag;
  uint8_t no_output_of_prior_pics_flag;
  uint8_t slice_pic_parameter_set_id;
  uint8_t dependent_slice_segment_flag;
  uint16_t slice_segment_address;
  uint8_t slice_reserved_flag[7];
  uint8_t slice_type;  // 0 B, 1 P, 2 I
  uint8_t pic_output_flag;
  uint8_t colour_plane_id;
  uint16_t slice_pic_order_cnt_lsb;
  uint8_t short_term_ref_pic_set_sps_flag;
  // The active short-term set, whether coded here or named from the SPS; always in explicit form.
  HEVC_ShortTermRPS st_ref_pic_set;
  uint8_t short_term_ref_pic_set_idx;
  uint8_t num_long_term_sps;
  uint8_t num_long_term_pics;
  uint8_t lt_idx_sps[16];
  // Coded, or taken from the SPS entry that lt_idx_sps names.
  uint16_t poc_lsb_lt[16];
  uint8_t used_by_curr_pic_lt_flag[16];
  uint8_t delta_poc_msb_present_flag[16];
  uint32_t delta_poc_msb_cycle_lt[16];
  uint8_t slice_temporal_mvp_enabled_flag;
  uint8_t slice_sao_luma_flag;
  uint8_t slice_sao_chroma_flag;
  uint8_t num_ref_idx_active_override_flag;
  uint8_t num_ref_idx_l0_active_minus1;
  uint8_t num_ref_idx_l1_active_minus1;
  uint8_t ref_pic_list_modification_flag_l0;
  uint8_t list_entry_l0[16];
  uint8_t ref_pic_list_modification_flag_l1;
  uint8_t list_entry_l1[16];
  uint8_t mvd_l1_zero_flag;
  uint8_t cabac_init_flag;
  uint8_t collocated_from_l0_flag;
  uint8_t collocated_ref_idx;

  // ps must hold the PPS that the slice names and that PPS's SPS. A dependent slice segment
  // ends after its address: it inherits nothing, since the segment it depends on is not known.
  void Decode(const NALU& nalu, const HEVC_PS& ps);

  bool operator==(const HEVCSliceHeader&) const = default;

 private:
  // Decode from the byte after the NAL unit header on, the type being known to be a slice's.
  void DecodeAfterType(const NALU& nalu, const HEVC_PS& ps, uint32_t nal_unit_type);
  // The same from a reader on the RBSP, standing at the NAL unit header.
  void DecodeRBSP(BitsReader& r, const HEVC_PS& ps, uint32_t nal_unit_type);
  friend std::shared_ptr<const HEVCSliceHeader> CreateSliceHeader(const HEVC_PS& ps, const NALU& nalu);
};

// The header of a coded slice segment, or empty when the unit is of another type or empty.
std::shared_ptr<const HEVCSliceHeader> CreateSliceHeader(const HEVC_PS& ps, const NALU& nalu);

// "[B]", "[P]" or "[I]"; empty for any other value.
std::string HEVCSliceTypeName(uint32_t slice_type);

}  // namespace Orvane::Proc::CodecParsers
