#pragma once
// H.264 parameter sets: the records of the sequence and picture parameter sets and of the
// structures the SPS embeds (vui_parameters, hrd_parameters), their decodes, the scaling matrices
// that both carry, the per-stream collection that stores them by id; and the small tables around
// them: level limits, bit rates per profile tag, reorder depth, NAL unit type names.
//
// A record is a plain block named after the syntax elements of ITU-T H.264, in bitstream order,
// filled once by its Decode and then only read: a collection shares it through a pointer to
// const. Derived values are accessors.
#include <cstdint>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "Orvane/Proc/CodecParsers/CommonVUI.h"

namespace Orvane::Proc::CodecParsers {

class BitsReader;
class H26xBitstreamBuilder;
struct NALU;
struct H264_PS;
struct H264_PPS;
struct H264SliceHeader;
struct H264Slice;

// hrd_parameters of the VUI (the NAL and the VCL one).
struct H264_HRD {
  uint8_t cpb_cnt_minus1;
  uint8_t bit_rate_scale;
  uint8_t cpb_size_scale;
  uint32_t bit_rate_value_minus1[32];
  uint32_t cpb_size_value_minus1[32];
  uint8_t cbr_flag[32];
  uint8_t initial_cpb_removal_delay_length_minus1;
  uint8_t cpb_removal_delay_length_minus1;
  uint8_t dpb_output_delay_length_minus1;
  uint8_t time_offset_length;

  void Decode(BitsReader& r);
  // A count of entries beyond what the record holds is refused with the decode's message.
  void Append(H26xBitstreamBuilder& b) const;

  bool operator==(const H264_HRD&) const = default;
};

// vui_parameters of the SPS. A VUI that stops early leaves the fields after its end zero.
struct H264_VUI {
  CommonVUI common;
  uint8_t timing_info_present_flag;
  uint32_t num_units_in_tick;
  uint32_t time_scale;
  uint8_t fixed_frame_rate_flag;
  uint8_t nal_hrd_parameters_present_flag;
  H264_HRD nal_hrd;
  uint8_t vcl_hrd_parameters_present_flag;
  H264_HRD vcl_hrd;
  uint8_t low_delay_hrd_flag;
  uint8_t pic_struct_present_flag;
  uint8_t bitstream_restriction_flag;
  uint8_t motion_vectors_over_pic_boundaries_flag;
  uint8_t max_bytes_per_pic_denom;
  uint8_t max_bits_per_mb_denom;
  uint8_t log2_max_mv_length_horizontal;
  uint8_t log2_max_mv_length_vertical;
  uint8_t max_num_reorder_frames;
  uint8_t max_dec_frame_buffering;

  void Decode(BitsReader& r);
  // Every field, those after a short VUI's end as the zeros they hold.
  void Append(H26xBitstreamBuilder& b) const;

  bool operator==(const H264_VUI&) const = default;
};

// The scaling lists of a parameter set, in the order intra Y, Cb, Cr, inter Y, Cb, Cr, each list's
// weights in raster order. H.264 list i (0 to 5) is lists4x4[i]; the 8x8 lists 6 to 11 are at
// 0, 3, 1, 4, 2, 5.
using ScalingLists4x4 = uint8_t[6][16];
using ScalingLists8x8 = uint8_t[6][64];

// Where an 8x8 list of H.264 index 6 + k is kept.
inline constexpr uint32_t kScaling8x8Index[6] = {0, 3, 1, 4, 2, 5};

struct LevelLimits {
  uint32_t MaxMBPS;    // macroblocks per second
  uint32_t MaxFS;      // frame size in macroblocks
  uint32_t MaxDpbMbs;  // decoded picture buffer size in macroblocks
  uint32_t MaxBR;      // 1000 bits per second, VCL of Baseline, Main and Extended

  bool operator==(const LevelLimits&) const = default;
};

// The row of level_idc (9 for level 1b) in the level table; zeros for a level it does not list.
LevelLimits GetLevelLimits(uint32_t level_idc);

// seq_parameter_set_data with its VUI.
struct H264_SPS {
  uint8_t profile_idc;
  uint8_t constraint_set0_flag;
  uint8_t constraint_set1_flag;
  uint8_t constraint_set2_flag;
  uint8_t constraint_set3_flag;
  uint8_t constraint_set4_flag;
  uint8_t constraint_set5_flag;
  uint8_t level_idc;
  uint8_t seq_parameter_set_id;
  // 1 (4:2:0), 8-bit and flat lists for the profiles that do not code them.
  uint8_t chroma_format_idc;
  uint8_t separate_colour_plane_flag;
  uint8_t bit_depth_luma_minus8;
  uint8_t bit_depth_chroma_minus8;
  uint8_t qpprime_y_zero_transform_bypass_flag;
  uint8_t seq_scaling_matrix_present_flag;
  // Bit i: seq_scaling_list_present_flag[i].
  uint16_t scaling_list_present_mask;
  // The lists in force: flat without a matrix; with one, the coded lists and those the fall-back
  // rule fills. The 8x8 chroma lists of a matrix that is not 4:4:4 stay zero.
  ScalingLists4x4 ScalingList4x4;
  ScalingLists8x8 ScalingList8x8;
  uint8_t log2_max_frame_num_minus4;
  uint8_t pic_order_cnt_type;
  uint8_t log2_max_pic_order_cnt_lsb_minus4;
  uint8_t delta_pic_order_always_zero_flag;
  int32_t offset_for_non_ref_pic;
  int32_t offset_for_top_to_bottom_field;
  uint8_t num_ref_frames_in_pic_order_cnt_cycle;
  int32_t offset_for_ref_frame[256];
  uint8_t max_num_ref_frames;
  uint8_t gaps_in_frame_num_value_allowed_flag;
  uint16_t pic_width_in_mbs_minus1;
  uint16_t pic_height_in_map_units_minus1;
  uint8_t frame_mbs_only_flag;
  uint8_t mb_adaptive_frame_field_flag;
  uint8_t direct_8x8_inference_flag;
  uint8_t frame_cropping_flag;
  uint16_t frame_crop_left_offset;
  uint16_t frame_crop_right_offset;
  uint16_t frame_crop_top_offset;
  uint16_t frame_crop_bottom_offset;
  uint8_t vui_parameters_present_flag;
  H264_VUI vui;

  // Reads up to the end of the VUI; the trailing bits are not checked.
  void Decode(const NALU& nalu);
  // Writes a whole SPS unit, with nal_ref_idc 3 whatever the unit decoded had. Scaling matrices are
  // not written: an SPS with one is refused once the fields up to its flag are in the builder.
  void Append(H26xBitstreamBuilder& b) const;

  bool operator==(const H264_SPS&) const = default;

  // (width, height) in luma samples as coded, whole macroblocks.
  std::pair<uint32_t, uint32_t> GetCodedSize() const;
  // The coded size less the frame cropping; a cropping that would leave no picture is ignored
  // and the coded size returned.
  std::pair<uint32_t, uint32_t> GetPictureSize() const;
  // The VUI's colour triple, or unspecified (2, 2, 2) when there is none.
  ColourDescription GetColourDescription() const;
  // ChromaArrayType: the chroma format, or 0 when the colour planes are coded separately, each as a
  // monochrome picture.
  uint32_t ChromaArrayType() const { return separate_colour_plane_flag ? 0u : chroma_format_idc; }
  // Whether a PPS of this SPS may carry transform_8x8_mode_flag and what follows it: not under a
  // Baseline, Main or Extended SPS that keeps to one of the constrained profiles.
  bool AllowsPpsHighFields() const;

  // level_idc, or 9 for the level 1b that Baseline, Main and Extended signal as level 1.1 with
  // constraint_set3_flag.
  uint32_t GetLevel() const;
  uint32_t GetMaxMBPS() const;
  uint32_t GetMaxFS() const;
  uint32_t GetMaxDpbMbs() const;
  // The level's maximum bit rate for a profile named by the host's profile tag, in 1000 bits per
  // second; 0 for a tag that names no H.264 profile.
  uint32_t GetMaxBitrate(const std::string& profileTag) const;
  // How many frames may wait for output: the VUI's max_num_reorder_frames where given, else what
  // the level's buffer holds (none for intra-only profiles), at most 16.
  uint32_t GetReorderDepth() const;
};

// pic_parameter_set_rbsp. The record keeps what it needs of its SPS, so it needs no SPS to be read.
struct H264_PPS {
  uint8_t pic_parameter_set_id;
  uint8_t seq_parameter_set_id;
  uint8_t entropy_coding_mode_flag;
  uint8_t bottom_field_pic_order_in_frame_present_flag;
  uint8_t num_slice_groups_minus1;
  uint8_t slice_group_map_type;
  // Positions and sizes in map units, up to 1056 x 1056 of them.
  uint32_t run_length_minus1[8];
  uint32_t top_left[8];
  uint32_t bottom_right[8];
  uint8_t slice_group_change_direction_flag;
  uint32_t slice_group_change_rate_minus1;
  uint32_t pic_size_in_map_units_minus1;
  std::vector<uint32_t> slice_group_id;
  uint8_t num_ref_idx_l0_default_active_minus1;
  uint8_t num_ref_idx_l1_default_active_minus1;
  uint8_t weighted_pred_flag;
  uint8_t weighted_bipred_idc;
  int8_t pic_init_qp_minus26;
  int8_t pic_init_qs_minus26;
  int8_t chroma_qp_index_offset;
  uint8_t deblocking_filter_control_present_flag;
  uint8_t constrained_intra_pred_flag;
  uint8_t redundant_pic_cnt_present_flag;
  uint8_t transform_8x8_mode_flag;
  uint8_t pic_scaling_matrix_present_flag;
  // Bit i: pic_scaling_list_present_flag[i].
  uint16_t scaling_list_present_mask;
  // The lists in force for pictures that use this PPS: its SPS's, with the lists the PPS codes
  // (and those the fall-back rules fill) in their place.
  ScalingLists4x4 ScalingList4x4;
  ScalingLists8x8 ScalingList8x8;
  // chroma_qp_index_offset when the PPS does not code it.
  int8_t second_chroma_qp_index_offset;

  // ps must hold the SPS that the PPS names.
  void Decode(const NALU& nalu, const H264_PS& ps);

  bool operator==(const H264_PPS&) const = default;
};

// Decodes the scaling matrix of an SPS (pps null) or of a PPS (with its SPS) into the lists, and
// returns which lists were present (bit i for list i). A PPS whose SPS carries a matrix falls
// back to the SPS's lists, every other matrix to the default ones.
uint16_t DecodeScalingMatrix(BitsReader& r, const H264_SPS& sps, const H264_PPS* pps, ScalingLists4x4& lists4x4,
                             ScalingLists8x8& lists8x8);

// The parameter sets of one stream, each list sorted by id with one record per id.
struct H264_PS {
  std::vector<std::shared_ptr<const H264_SPS>> sps_list;
  std::vector<std::shared_ptr<const H264_PPS>> pps_list;

  // Decodes an SPS or PPS and stores it, replacing a stored record of the same id; other NAL unit
  // types are ignored. A unit that fails to decode leaves the collection as it was.
  void AddNALU(const NALU& nalu);

  // The stored record with that id, or empty.
  std::shared_ptr<const H264_SPS> GetSPS(uint8_t id) const;
  std::shared_ptr<const H264_PPS> GetPPS(uint8_t id) const;

  // The header of a slice unit (nal_unit_type 1 to 5) against the parameter sets stored now, or
  // empty for a unit of another type. Only a prefix of the unit is read: 60 bytes of an IDR or a
  // non-reference slice, 1000 of any other; a header longer than that fails with "End of stream".
  std::shared_ptr<const H264SliceHeader> DecodeSliceHeader(const NALU& nalu) const;
  // The whole slice unit: header, partition fields and CABAC slice data; empty for another type.
  std::shared_ptr<const H264Slice> DecodeSlice(const NALU& nalu) const;
};

// The name of an H.264 nal_unit_type; empty for 32 and above.
std::string H264NaluTypeName(uint32_t type);
// The unit's type name, for a slice followed by its kind ("IDR [I]").
std::string DescribeNALU(const NALU& nalu);

}  // namespace Orvane::Proc::CodecParsers
