#pragma once
// H.265 parameter sets: the records of the video, sequence and picture parameter sets and of the
// structures they share (profile_tier_level, hrd_parameters, scaling_list_data, st_ref_pic_set,
// vui_parameters), their decodes, and the per-stream collection that stores them by id.
//
// A record is a plain block named after the syntax elements of ITU-T H.265, in bitstream order,
// filled once by its Decode and then only read: a collection shares it through a pointer to
// const. Derived values are accessors. Every structure that a parameter set embeds decodes from
// a reader standing at its first bit, so that the writers can sit under their decodes and the
// slice-header decode can reuse the short-term sets.
#include <array>
#include <cstdint>
#include <memory>
#include <utility>
#include <vector>

#include <boost/intrusive_ptr.hpp>

#include "Orvane/Proc/CodecParsers/CommonVUI.h"

namespace Orvane {
class IBlob;
}

namespace Orvane::Proc::CodecParsers {

class BitsReader;
class H26xBitstreamBuilder;
struct NALU;
struct HEVC_PS;
struct HEVC_SPS;

// One profile/level block of profile_tier_level (the general one or a sub-layer's).
struct HEVC_ProfileInfo {
  uint8_t profile_space;
  uint8_t tier_flag;
  // As coded, or the lowest compatibility flag above 0 that is set when 0 is coded.
  uint8_t profile_idc;
  // The 32 compatibility flags as coded, most significant bit first.
  uint8_t profile_compatibility_bytes[4];
  uint8_t profile_compatibility_flag[32];
  // The 48 bits from progressive_source_flag on as coded, most significant bit first.
  uint8_t constraint_bytes[6];
  uint8_t progressive_source_flag;
  uint8_t interlaced_source_flag;
  uint8_t non_packed_constraint_flag;
  uint8_t frame_only_constraint_flag;
  uint8_t max_12bit_constraint_flag;
  uint8_t max_10bit_constraint_flag;
  uint8_t max_8bit_constraint_flag;
  uint8_t max_422chroma_constraint_flag;
  uint8_t max_420chroma_constraint_flag;
  uint8_t max_monochrome_constraint_flag;
  uint8_t intra_constraint_flag;
  uint8_t one_picture_only_constraint_flag;
  uint8_t lower_bit_rate_constraint_flag;
  uint8_t max_14bit_constraint_flag;
  uint8_t inbld_flag;
  uint8_t level_idc;

  // The block without level_idc, which profile_tier_level places elsewhere.
  void Decode(BitsReader& r);
  // The stored profile_idc, possibly inferred, and zeros for every reserved bit.
  void Append(H26xBitstreamBuilder& b) const;

  bool operator==(const HEVC_ProfileInfo&) const = default;
};

// profile_tier_level(1, maxNumSubLayersMinus1).
struct HEVC_PTL {
  HEVC_ProfileInfo general;
  HEVC_ProfileInfo sub_layer[7];
  uint8_t sub_layer_profile_present_flag[7];
  uint8_t sub_layer_level_present_flag[7];

  void Decode(BitsReader& r, uint32_t maxNumSubLayersMinus1);
  void Append(H26xBitstreamBuilder& b, uint32_t maxNumSubLayersMinus1) const;

  bool operator==(const HEVC_PTL&) const = default;
};

// sub_layer_hrd_parameters of one sub-layer; index = CPB number.
struct HEVC_SubLayerHRD {
  uint32_t bit_rate_value_minus1[32];
  uint32_t cpb_size_value_minus1[32];
  uint32_t cpb_size_du_value_minus1[32];
  uint32_t bit_rate_du_value_minus1[32];
  uint8_t cbr_flag[32];

  void Decode(BitsReader& r, uint32_t cpbCntMinus1, uint32_t subPicHrdParamsPresentFlag);
  void Append(H26xBitstreamBuilder& b, uint32_t cpbCntMinus1, uint32_t subPicHrdParamsPresentFlag) const;

  bool operator==(const HEVC_SubLayerHRD&) const = default;
};

// hrd_parameters, of the VPS and of the VUI.
struct HEVC_HRD {
  uint8_t nal_hrd_parameters_present_flag;
  uint8_t vcl_hrd_parameters_present_flag;
  uint8_t sub_pic_hrd_params_present_flag;
  uint8_t tick_divisor_minus2;
  uint8_t du_cpb_removal_delay_increment_length_minus1;
  uint8_t sub_pic_cpb_params_in_pic_timing_sei_flag;
  uint8_t dpb_output_delay_du_length_minus1;
  uint8_t bit_rate_scale;
  uint8_t cpb_size_scale;
  uint8_t cpb_size_du_scale;
  uint8_t initial_cpb_removal_delay_length_minus1;
  uint8_t au_cpb_removal_delay_length_minus1;
  uint8_t dpb_output_delay_length_minus1;
  uint8_t fixed_pic_rate_general_flag[7];
  uint8_t fixed_pic_rate_within_cvs_flag[7];
  uint16_t elemental_duration_in_tc_minus1[7];
  uint8_t low_delay_hrd_flag[7];
  uint8_t cpb_cnt_minus1[7];
  HEVC_SubLayerHRD nal_sub_layer_hrd[7];
  HEVC_SubLayerHRD vcl_sub_layer_hrd[7];

  void Decode(BitsReader& r, uint32_t commonInfPresentFlag, uint32_t maxNumSubLayersMinus1);
  void Append(H26xBitstreamBuilder& b, uint32_t commonInfPresentFlag, uint32_t maxNumSubLayersMinus1) const;

  bool operator==(const HEVC_HRD&) const = default;
};

// scaling_list_data as coded, indexed [sizeId][matrixId]; no matrix is derived from it.
struct HEVC_ScalingList {
  uint8_t scaling_list_pred_mode_flag[4][6];
  uint8_t scaling_list_pred_matrix_id_delta[4][6];
  int16_t scaling_list_dc_coef_minus8[2][6];  // [sizeId - 2]
  int8_t scaling_list_delta_coef[4][6][64];   // coefficient i in coded order

  void Decode(BitsReader& r);
  void Append(H26xBitstreamBuilder& b) const;

  bool operator==(const HEVC_ScalingList&) const = default;
};

// One st_ref_pic_set. A predicted set also holds its pictures in the explicit form, so a reader
// of the set never needs the set it was predicted from.
struct HEVC_ShortTermRPS {
  uint8_t inter_ref_pic_set_prediction_flag;
  uint8_t delta_idx_minus1;
  uint8_t delta_rps_sign;
  uint16_t abs_delta_rps_minus1;
  uint8_t used_by_curr_pic_flag[16];
  uint8_t use_delta_flag[16];
  uint8_t num_negative_pics;
  uint8_t num_positive_pics;
  uint16_t delta_poc_s0_minus1[16];
  uint8_t used_by_curr_pic_s0_flag[16];
  uint16_t delta_poc_s1_minus1[16];
  uint8_t used_by_curr_pic_s1_flag[16];

  // Decodes the set against the SPS whose sets it may be predicted from: entry stRpsIdx of
  // sps.st_ref_pic_set, or with stRpsIdx = sps.num_short_term_ref_pic_sets a slice header's set.
  // The caller tells which; where the record lies plays no part.
  void Decode(BitsReader& r, const HEVC_SPS& sps, uint32_t stRpsIdx);
  // Writes the set as it was coded: a predicted set in its predicted form, not as the explicit
  // lists it also holds. The set's index is told as in Decode.
  void Append(H26xBitstreamBuilder& b, const HEVC_SPS& sps, uint32_t stRpsIdx) const;

  bool operator==(const HEVC_ShortTermRPS&) const = default;
};

// vui_parameters of the SPS.
struct HEVC_VUI {
  CommonVUI common;
  uint8_t neutral_chroma_indication_flag;
  uint8_t field_seq_flag;
  uint8_t frame_field_info_present_flag;
  uint8_t default_display_window_flag;
  uint16_t def_disp_win_left_offset;
  uint16_t def_disp_win_right_offset;
  uint16_t def_disp_win_top_offset;
  uint16_t def_disp_win_bottom_offset;
  uint8_t vui_timing_info_present_flag;
  uint32_t vui_num_units_in_tick;
  uint32_t vui_time_scale;
  uint8_t vui_poc_proportional_to_timing_flag;
  uint32_t vui_num_ticks_poc_diff_one_minus1;
  uint8_t vui_hrd_parameters_present_flag;
  HEVC_HRD hrd_parameters;
  uint8_t bitstream_restriction_flag;
  uint8_t tiles_fixed_structure_flag;
  uint8_t motion_vectors_over_pic_boundaries_flag;
  uint8_t restricted_ref_pic_lists_flag;
  uint16_t min_spatial_segmentation_idc;
  uint8_t max_bytes_per_pic_denom;
  uint8_t max_bits_per_min_cu_denom;
  uint8_t log2_max_mv_length_horizontal;
  uint8_t log2_max_mv_length_vertical;

  // Repairs, once, a VUI written with a default display window that the syntax does not have:
  // it is read again from the timing information, with a warning in the log.
  void Decode(BitsReader& r, uint32_t sps_max_sub_layers_minus1);
  // The fields as stored: a repaired VUI is written in the form the syntax has.
  void Append(H26xBitstreamBuilder& b, uint32_t sps_max_sub_layers_minus1) const;

  bool operator==(const HEVC_VUI&) const = default;
};

// video_parameter_set_rbsp, without the extension.
struct HEVC_VPS {
  uint8_t vps_video_parameter_set_id;
  uint8_t vps_base_layer_internal_flag;
  uint8_t vps_base_layer_available_flag;
  uint8_t vps_max_layers_minus1;
  uint8_t vps_max_sub_layers_minus1;
  uint8_t vps_temporal_id_nesting_flag;
  HEVC_PTL profile_tier_level;
  uint8_t vps_sub_layer_ordering_info_present_flag;
  uint8_t vps_max_dec_pic_buffering_minus1[7];
  uint8_t vps_max_num_reorder_pics[7];
  uint32_t vps_max_latency_increase_plus1[7];
  uint8_t vps_max_layer_id;
  uint16_t vps_num_layer_sets_minus1;
  // One row per layer set, one flag per nuh_layer_id 0-62.
  std::vector<std::array<uint8_t, 63>> layer_id_included_flag;
  uint8_t vps_timing_info_present_flag;
  uint32_t vps_num_units_in_tick;
  uint32_t vps_time_scale;
  uint8_t vps_poc_proportional_to_timing_flag;
  uint32_t vps_num_ticks_poc_diff_one_minus1;
  uint16_t vps_num_hrd_parameters;
  uint16_t hrd_layer_set_idx[1024];
  uint8_t cprms_present_flag[1024];
  std::vector<HEVC_HRD> hrd_parameters;
  uint8_t vps_extension_flag;

  void Decode(const NALU& nalu);

  // vps_max_num_reorder_pics of the highest sub-layer, at most 16.
  uint32_t GetMaxNumReorderPics() const;
};

// seq_parameter_set_rbsp with its range, multilayer, 3D and screen-content extensions (the
// multilayer and 3D contents are read past, not kept).
struct HEVC_SPS {
  uint8_t sps_video_parameter_set_id;
  uint8_t sps_max_sub_layers_minus1;
  uint8_t sps_ext_or_max_sub_layers_minus1;
  uint8_t sps_temporal_id_nesting_flag;
  HEVC_PTL profile_tier_level;
  uint8_t sps_seq_parameter_set_id;
  uint8_t update_rep_format_flag;
  uint8_t sps_rep_format_idx;
  uint8_t chroma_format_idc;
  uint8_t separate_colour_plane_flag;
  uint16_t pic_width_in_luma_samples;
  uint16_t pic_height_in_luma_samples;
  uint8_t conformance_window_flag;
  uint16_t conf_win_left_offset;
  uint16_t conf_win_right_offset;
  uint16_t conf_win_top_offset;
  uint16_t conf_win_bottom_offset;
  uint8_t bit_depth_luma_minus8;
  uint8_t bit_depth_chroma_minus8;
  uint8_t log2_max_pic_order_cnt_lsb_minus4;
  uint8_t sps_sub_layer_ordering_info_present_flag;
  uint8_t sps_max_dec_pic_buffering_minus1[7];
  uint8_t sps_max_num_reorder_pics[7];
  uint32_t sps_max_latency_increase_plus1[7];
  uint8_t log2_min_luma_coding_block_size_minus3;
  uint8_t log2_diff_max_min_luma_coding_block_size;
  uint8_t log2_min_luma_transform_block_size_minus2;
  uint8_t log2_diff_max_min_luma_transform_block_size;
  uint8_t max_transform_hierarchy_depth_inter;
  uint8_t max_transform_hierarchy_depth_intra;
  uint8_t scaling_list_enabled_flag;
  uint8_t sps_infer_scaling_list_flag;
  uint8_t sps_scaling_list_ref_layer_id;
  uint8_t sps_scaling_list_data_present_flag;
  HEVC_ScalingList scaling_list;
  uint8_t amp_enabled_flag;
  uint8_t sample_adaptive_offset_enabled_flag;
  uint8_t pcm_enabled_flag;
  uint8_t pcm_sample_bit_depth_luma_minus1;
  uint8_t pcm_sample_bit_depth_chroma_minus1;
  uint8_t log2_min_pcm_luma_coding_block_size_minus3;
  uint8_t log2_diff_max_min_pcm_luma_coding_block_size;
  uint8_t pcm_loop_filter_disabled_flag;
  uint8_t num_short_term_ref_pic_sets;
  HEVC_ShortTermRPS st_ref_pic_set[64];
  uint8_t long_term_ref_pics_present_flag;
  uint8_t num_long_term_ref_pics_sps;
  uint16_t lt_ref_pic_poc_lsb_sps[32];
  uint8_t used_by_curr_pic_lt_sps_flag[32];
  uint8_t sps_temporal_mvp_enabled_flag;
  uint8_t strong_intra_smoothing_enabled_flag;
  uint8_t vui_parameters_present_flag;
  HEVC_VUI vui;
  uint8_t sps_extension_present_flag;
  uint8_t sps_range_extension_flag;
  uint8_t sps_multilayer_extension_flag;
  uint8_t sps_3d_extension_flag;
  uint8_t sps_scc_extension_flag;
  uint8_t sps_extension_4bits;
  uint8_t transform_skip_rotation_enabled_flag;
  uint8_t transform_skip_context_enabled_flag;
  uint8_t implicit_rdpcm_enabled_flag;
  uint8_t explicit_rdpcm_enabled_flag;
  uint8_t extended_precision_processing_flag;
  uint8_t intra_smoothing_disabled_flag;
  uint8_t high_precision_offsets_enabled_flag;
  uint8_t persistent_rice_adaptation_enabled_flag;
  uint8_t cabac_bypass_alignment_enabled_flag;
  uint8_t sps_curr_pic_ref_enabled_flag;
  uint8_t palette_mode_enabled_flag;
  uint8_t palette_max_size;
  uint8_t delta_palette_max_predictor_size;
  uint8_t sps_palette_predictor_initializers_present_flag;
  uint8_t sps_num_palette_predictor_initializers_minus1;
  uint16_t sps_palette_predictor_initializer[3][128];
  uint8_t motion_vector_resolution_control_idc;
  uint8_t intra_boundary_filtering_disabled_flag;

  // ps must hold the VPS that the SPS names.
  void Decode(const NALU& nalu, const HEVC_PS& ps);
  // One whole base-layer SPS NAL unit (nuh_layer_id 0, nuh_temporal_id_plus1 1). What the decode
  // reads past without keeping (the multilayer and 3D extensions, the data that
  // sps_extension_4bits announces) is refused.
  void Append(H26xBitstreamBuilder& b) const;

  bool operator==(const HEVC_SPS&) const = default;

  // (width, height) in luma samples as coded.
  std::pair<uint32_t, uint32_t> GetCodedSize() const;
  // The coded size less the conformance window; a window that would leave no picture is ignored
  // and the coded size returned.
  std::pair<uint32_t, uint32_t> GetPictureSize() const;
  // The VUI's colour triple, or unspecified (2, 2, 2) when there is none.
  ColourDescription GetColourDescription() const;
  // sps_max_num_reorder_pics of the highest sub-layer, at most 16.
  uint32_t GetMaxNumReorderPics() const;
};

// pic_parameter_set_rbsp with its range and screen-content extensions. A PPS with the multilayer
// extension is kept as far as it was read; the 3D extension is refused.
struct HEVC_PPS {
  uint8_t pps_pic_parameter_set_id;
  uint8_t pps_seq_parameter_set_id;
  uint8_t dependent_slice_segments_enabled_flag;
  uint8_t output_flag_present_flag;
  uint8_t num_extra_slice_header_bits;
  uint8_t sign_data_hiding_enabled_flag;
  uint8_t cabac_init_present_flag;
  uint8_t num_ref_idx_l0_default_active_minus1;
  uint8_t num_ref_idx_l1_default_active_minus1;
  int8_t init_qp_minus26;
  uint8_t constrained_intra_pred_flag;
  uint8_t transform_skip_enabled_flag;
  uint8_t cu_qp_delta_enabled_flag;
  uint8_t diff_cu_qp_delta_depth;
  int8_t pps_cb_qp_offset;
  int8_t pps_cr_qp_offset;
  uint8_t pps_slice_chroma_qp_offsets_present_flag;
  uint8_t weighted_pred_flag;
  uint8_t weighted_bipred_flag;
  uint8_t transquant_bypass_enabled_flag;
  uint8_t tiles_enabled_flag;
  uint8_t entropy_coding_sync_enabled_flag;
  uint8_t num_tile_columns_minus1;
  uint8_t num_tile_rows_minus1;
  uint8_t uniform_spacing_flag;
  uint16_t column_width_minus1[20];
  uint16_t row_height_minus1[22];
  uint8_t loop_filter_across_tiles_enabled_flag;
  uint8_t pps_loop_filter_across_slices_enabled_flag;
  uint8_t deblocking_filter_control_present_flag;
  uint8_t deblocking_filter_override_enabled_flag;
  uint8_t pps_deblocking_filter_disabled_flag;
  int8_t pps_beta_offset_div2;
  int8_t pps_tc_offset_div2;
  uint8_t pps_scaling_list_data_present_flag;
  HEVC_ScalingList scaling_list;
  uint8_t lists_modification_present_flag;
  uint8_t log2_parallel_merge_level_minus2;
  uint8_t slice_segment_header_extension_present_flag;
  uint8_t pps_extension_present_flag;
  uint8_t pps_range_extension_flag;
  uint8_t pps_multilayer_extension_flag;
  uint8_t pps_3d_extension_flag;
  uint8_t pps_scc_extension_flag;
  uint8_t pps_extension_4bits;
  uint8_t log2_max_transform_skip_block_size_minus2;
  uint8_t cross_component_prediction_enabled_flag;
  uint8_t chroma_qp_offset_list_enabled_flag;
  uint8_t diff_cu_chroma_qp_offset_depth;
  uint8_t chroma_qp_offset_list_len_minus1;
  int8_t cb_qp_offset_list[6];
  int8_t cr_qp_offset_list[6];
  uint8_t log2_sao_offset_scale_luma;
  uint8_t log2_sao_offset_scale_chroma;
  uint8_t pps_curr_pic_ref_enabled_flag;
  uint8_t residual_adaptive_colour_transform_enabled_flag;
  uint8_t pps_slice_act_qp_offsets_present_flag;
  int8_t pps_act_y_qp_offset_plus5;
  int8_t pps_act_cb_qp_offset_plus5;
  int8_t pps_act_cr_qp_offset_plus3;
  uint8_t pps_palette_predictor_initializers_present_flag;
  uint8_t pps_num_palette_predictor_initializers;
  uint8_t monochrome_palette_flag;
  uint8_t luma_bit_depth_entry_minus8;
  uint8_t chroma_bit_depth_entry_minus8;
  uint16_t pps_palette_predictor_initializer[3][128];

  // ps must hold the SPS that the PPS names.
  void Decode(const NALU& nalu, const HEVC_PS& ps);
};

// The parameter sets of one stream, each list sorted by id with one record per id.
struct HEVC_PS {
  std::vector<std::shared_ptr<const HEVC_VPS>> vps_list;
  std::vector<std::shared_ptr<const HEVC_SPS>> sps_list;
  std::vector<std::shared_ptr<const HEVC_PPS>> pps_list;

  // Decodes a VPS, SPS or PPS and stores it, replacing a stored record of the same id; other NAL
  // unit types are ignored. A unit that fails to decode leaves the collection as it was.
  void AddNALU(const NALU& nalu);

  // The stored record with that id, or empty.
  std::shared_ptr<const HEVC_VPS> GetVPS(uint8_t id) const;
  std::shared_ptr<const HEVC_SPS> GetSPS(uint8_t id) const;
  std::shared_ptr<const HEVC_PPS> GetPPS(uint8_t id) const;

  // The parameter sets of a codec configuration (an hvcC record or Annex B parameter sets), as
  // the HEVC stream parser reads them from it.
  static std::shared_ptr<HEVC_PS> FromCodecConfiguration(const boost::intrusive_ptr<const IBlob>& blob);
};

}  // namespace Orvane::Proc::CodecParsers
