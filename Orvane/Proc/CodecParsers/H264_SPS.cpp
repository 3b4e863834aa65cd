// The sequence parameter set with its VUI and HRD, and the sizes and colour that consumers read
// from it.
#include <cstring>

#include "Orvane/Proc/CodecParsers/H264CodecParams.h"
#include "Orvane/Proc/CodecParsers/H264Syntax.h"
#include "Orvane/Proc/CodecParsers/H26xBitstreamBuilder.h"

namespace Orvane::Proc::CodecParsers {

using namespace h264_syntax;

namespace {

constexpr uint32_t kSPSType = 7;
// A parameter set is needed by every picture after it: written units say so whatever their source.
constexpr uint32_t kSPSRefIdc = 3;

// A VUI whose rbsp_stop_one_bit is next, with less left than the smallest rest of a VUI, ends
// after its common head: some encoders write only that much.
constexpr uint64_t kShortVUIBits = 10;

}  // namespace

// ---------------------------------------------------------------------------------------------
// seq_parameter_set_data

void H264_SPS::Decode(const NALU& nalu) {
  Reset(*this);
  UnitRBSP rbsp(nalu);
  BitsReader& r = rbsp.Reader();
  r.SkipBits(3);  // forbidden_zero_bit, nal_ref_idc
  if (r.GetBits<uint32_t>(5) != kSPSType) Fail("NALU is not a SPS");

  profile_idc = r.GetBits<uint8_t>(8);
  constraint_set0_flag = r.GetBits<uint8_t>(1);
  constraint_set1_flag = r.GetBits<uint8_t>(1);
  constraint_set2_flag = r.GetBits<uint8_t>(1);
  constraint_set3_flag = r.GetBits<uint8_t>(1);
  constraint_set4_flag = r.GetBits<uint8_t>(1);
  constraint_set5_flag = r.GetBits<uint8_t>(1);
  r.SkipBits(2);  // reserved_zero_2bits
  level_idc = r.GetBits<uint8_t>(8);
  seq_parameter_set_id = UE<uint8_t>(r, 31, "seq_parameter_set_id out of range");

  if (CodesChromaFormat(profile_idc)) {
    chroma_format_idc = UE<uint8_t>(r, 3, "chroma_format_idc out of range");
    if (chroma_format_idc == 3) separate_colour_plane_flag = r.GetBits<uint8_t>(1);
    bit_depth_luma_minus8 = UE<uint8_t>(r, 6, "bit_depth_luma_minus8 out of range");
    bit_depth_chroma_minus8 = UE<uint8_t>(r, 6, "bit_depth_chroma_minus8 out of range");
    // Pictures whose chroma is stored at another depth than luma are not supported.
    if (bit_depth_luma_minus8 != bit_depth_chroma_minus8) Fail("Different chroma and luma bit depth");
    qpprime_y_zero_transform_bypass_flag = r.GetBits<uint8_t>(1);
    seq_scaling_matrix_present_flag = r.GetBits<uint8_t>(1);
    if (seq_scaling_matrix_present_flag) {
      scaling_list_present_mask = DecodeScalingMatrix(r, *this, nullptr, ScalingList4x4, ScalingList8x8);
    }
  } else {
    chroma_format_idc = 1;
  }
  // Flat_4x4_16 and Flat_8x8_16.
  if (!seq_scaling_matrix_present_flag) {
    std::memset(ScalingList4x4, 16, sizeof ScalingList4x4);
    std::memset(ScalingList8x8, 16, sizeof ScalingList8x8);
  }

  log2_max_frame_num_minus4 = UE<uint8_t>(r, 12, "log2_max_frame_num_minus4 out of range (0-12)");
  const uint32_t pocType = r.GetUEGolomb();
  if (pocType == 0) {
    log2_max_pic_order_cnt_lsb_minus4 = UE<uint8_t>(r, 12, "log2_max_pic_order_cnt_lsb_minus4 out of range (0-12)");
  } else if (pocType == 1) {
    delta_pic_order_always_zero_flag = r.GetBits<uint8_t>(1);
    offset_for_non_ref_pic = SE32(r, "offset_for_non_ref_pic out of range");
    offset_for_top_to_bottom_field = SE32(r, "offset_for_top_to_bottom_field out of range");
    num_ref_frames_in_pic_order_cnt_cycle =
        UE<uint8_t>(r, 255, "num_ref_frames_in_pic_order_cnt_cycle out of range");
    for (uint32_t i = 0; i < num_ref_frames_in_pic_order_cnt_cycle; ++i) {
      offset_for_ref_frame[i] = SE32(r, "offset_for_ref_frame out of range");
    }
  } else if (pocType != 2) {
    Fail("illegal pic_order_cnt_type");
  }
  pic_order_cnt_type = static_cast<uint8_t>(pocType);

  max_num_ref_frames = UE<uint8_t>(r, 16, "too many reference frames");
  gaps_in_frame_num_value_allowed_flag = r.GetBits<uint8_t>(1);
  // At most 1056 macroblocks in either dimension.
  pic_width_in_mbs_minus1 = UE<uint16_t>(r, 1055, "pic_width_in_mbs_minus1 out of range");
  pic_height_in_map_units_minus1 = UE<uint16_t>(r, 1055, "pic_height_in_map_units_minus1 out of range");
  frame_mbs_only_flag = r.GetBits<uint8_t>(1);
  if (!frame_mbs_only_flag) mb_adaptive_frame_field_flag = r.GetBits<uint8_t>(1);
  direct_8x8_inference_flag = r.GetBits<uint8_t>(1);
  frame_cropping_flag = r.GetBits<uint8_t>(1);
  if (frame_cropping_flag) {
    frame_crop_left_offset = UE<uint16_t>(r);
    frame_crop_right_offset = UE<uint16_t>(r);
    frame_crop_top_offset = UE<uint16_t>(r);
    frame_crop_bottom_offset = UE<uint16_t>(r);
  }
  vui_parameters_present_flag = r.GetBits<uint8_t>(1);
  if (vui_parameters_present_flag) vui.Decode(r);
}

void H264_SPS::Append(H26xBitstreamBuilder& b) const {
  b.BeginNALU(kSPSType, kSPSRefIdc);

  b.AppendU64(profile_idc, 8);
  b.AppendBit(constraint_set0_flag);
  b.AppendBit(constraint_set1_flag);
  b.AppendBit(constraint_set2_flag);
  b.AppendBit(constraint_set3_flag);
  b.AppendBit(constraint_set4_flag);
  b.AppendBit(constraint_set5_flag);
  b.AppendU64(0, 2);  // reserved_zero_2bits
  b.AppendU64(level_idc, 8);
  b.AppendUE(seq_parameter_set_id);

  if (CodesChromaFormat(profile_idc)) {
    b.AppendUE(chroma_format_idc);
    if (chroma_format_idc == 3) b.AppendBit(separate_colour_plane_flag);
    b.AppendUE(bit_depth_luma_minus8);
    b.AppendUE(bit_depth_chroma_minus8);
    b.AppendBit(qpprime_y_zero_transform_bypass_flag);
    b.AppendBit(seq_scaling_matrix_present_flag);
    // The record keeps the lists in force, not the deltas they were coded with.
    if (seq_scaling_matrix_present_flag) FailAppend("Feature not implemented");
  }

  b.AppendUE(log2_max_frame_num_minus4);
  b.AppendUE(pic_order_cnt_type);
  if (pic_order_cnt_type == 0) {
    b.AppendUE(log2_max_pic_order_cnt_lsb_minus4);
  } else if (pic_order_cnt_type == 1) {
    b.AppendBit(delta_pic_order_always_zero_flag);
    b.AppendSE(offset_for_non_ref_pic);
    b.AppendSE(offset_for_top_to_bottom_field);
    b.AppendUE(num_ref_frames_in_pic_order_cnt_cycle);
    for (uint32_t i = 0; i < num_ref_frames_in_pic_order_cnt_cycle; ++i) b.AppendSE(offset_for_ref_frame[i]);
  }

  b.AppendUE(max_num_ref_frames);
  b.AppendBit(gaps_in_frame_num_value_allowed_flag);
  b.AppendUE(pic_width_in_mbs_minus1);
  b.AppendUE(pic_height_in_map_units_minus1);
  b.AppendBit(frame_mbs_only_flag);
  if (!frame_mbs_only_flag) b.AppendBit(mb_adaptive_frame_field_flag);
  b.AppendBit(direct_8x8_inference_flag);
  b.AppendBit(frame_cropping_flag);
  if (frame_cropping_flag) {
    b.AppendUE(frame_crop_left_offset);
    b.AppendUE(frame_crop_right_offset);
    b.AppendUE(frame_crop_top_offset);
    b.AppendUE(frame_crop_bottom_offset);
  }
  b.AppendBit(vui_parameters_present_flag);
  if (vui_parameters_present_flag) vui.Append(b);
  b.FinishNALU();
}

// ---------------------------------------------------------------------------------------------
// vui_parameters

void H264_VUI::Decode(BitsReader& r) {
  DecodeCommonVUI(common, r);
  if (r.BitsLeft() > 0 && r.BitsLeft() < kShortVUIBits && r.ShowBits1()) return;

  timing_info_present_flag = r.GetBits<uint8_t>(1);
  if (timing_info_present_flag) {
    num_units_in_tick = r.GetBits<uint32_t>(32);
    time_scale = r.GetBits<uint32_t>(32);
    // Timing without a tick or a clock says nothing; the values are kept as coded.
    if (num_units_in_tick == 0 || time_scale == 0) timing_info_present_flag = 0;
    fixed_frame_rate_flag = r.GetBits<uint8_t>(1);
  }
  nal_hrd_parameters_present_flag = r.GetBits<uint8_t>(1);
  if (nal_hrd_parameters_present_flag) nal_hrd.Decode(r);
  vcl_hrd_parameters_present_flag = r.GetBits<uint8_t>(1);
  if (vcl_hrd_parameters_present_flag) vcl_hrd.Decode(r);
  if (nal_hrd_parameters_present_flag || vcl_hrd_parameters_present_flag) low_delay_hrd_flag = r.GetBits<uint8_t>(1);
  pic_struct_present_flag = r.GetBits<uint8_t>(1);
  // Some encoders end the VUI here, without even the restriction flag.
  if (r.BitsLeft() == 0) return;

  bitstream_restriction_flag = r.GetBits<uint8_t>(1);
  if (bitstream_restriction_flag) {
    motion_vectors_over_pic_boundaries_flag = r.GetBits<uint8_t>(1);
    max_bytes_per_pic_denom = UE<uint8_t>(r);
    max_bits_per_mb_denom = UE<uint8_t>(r);
    log2_max_mv_length_horizontal = UE<uint8_t>(r);
    log2_max_mv_length_vertical = UE<uint8_t>(r);
    const uint32_t reorderFrames = r.GetUEGolomb();
    max_dec_frame_buffering = UE<uint8_t>(r);
    if (reorderFrames > 16) Fail("max_num_reorder_frames out of range");
    max_num_reorder_frames = static_cast<uint8_t>(reorderFrames);
  }
}

void H264_VUI::Append(H26xBitstreamBuilder& b) const {
  AppendCommonVUI(common, b);
  b.AppendBit(timing_info_present_flag);
  if (timing_info_present_flag) {
    b.AppendU64(num_units_in_tick, 32);
    b.AppendU64(time_scale, 32);
    b.AppendBit(fixed_frame_rate_flag);
  }
  b.AppendBit(nal_hrd_parameters_present_flag);
  if (nal_hrd_parameters_present_flag) nal_hrd.Append(b);
  b.AppendBit(vcl_hrd_parameters_present_flag);
  if (vcl_hrd_parameters_present_flag) vcl_hrd.Append(b);
  if (nal_hrd_parameters_present_flag || vcl_hrd_parameters_present_flag) b.AppendBit(low_delay_hrd_flag);
  b.AppendBit(pic_struct_present_flag);

  b.AppendBit(bitstream_restriction_flag);
  if (bitstream_restriction_flag) {
    b.AppendBit(motion_vectors_over_pic_boundaries_flag);
    b.AppendUE(max_bytes_per_pic_denom);
    b.AppendUE(max_bits_per_mb_denom);
    b.AppendUE(log2_max_mv_length_horizontal);
    b.AppendUE(log2_max_mv_length_vertical);
    b.AppendUE(max_num_reorder_frames);
    b.AppendUE(max_dec_frame_buffering);
  }
}

// ---------------------------------------------------------------------------------------------
// hrd_parameters

void H264_HRD::Decode(BitsReader& r) {
  cpb_cnt_minus1 = UE<uint8_t>(r, 31, "cpb_cnt_minus1 out of range");
  bit_rate_scale = r.GetBits<uint8_t>(4);
  cpb_size_scale = r.GetBits<uint8_t>(4);
  for (uint32_t i = 0; i <= cpb_cnt_minus1; ++i) {
    bit_rate_value_minus1[i] = r.GetUEGolomb();
    cpb_size_value_minus1[i] = r.GetUEGolomb();
    cbr_flag[i] = r.GetBits<uint8_t>(1);
  }
  initial_cpb_removal_delay_length_minus1 = r.GetBits<uint8_t>(5);
  cpb_removal_delay_length_minus1 = r.GetBits<uint8_t>(5);
  dpb_output_delay_length_minus1 = r.GetBits<uint8_t>(5);
  time_offset_length = r.GetBits<uint8_t>(5);
}

void H264_HRD::Append(H26xBitstreamBuilder& b) const {
  b.AppendUE(cpb_cnt_minus1);
  if (cpb_cnt_minus1 > 31) FailAppend("cpb_cnt_minus1 out of range");
  b.AppendU64(bit_rate_scale, 4);
  b.AppendU64(cpb_size_scale, 4);
  for (uint32_t i = 0; i <= cpb_cnt_minus1; ++i) {
    b.AppendUE(bit_rate_value_minus1[i]);
    b.AppendUE(cpb_size_value_minus1[i]);
    b.AppendBit(cbr_flag[i]);
  }
  b.AppendU64(initial_cpb_removal_delay_length_minus1, 5);
  b.AppendU64(cpb_removal_delay_length_minus1, 5);
  b.AppendU64(dpb_output_delay_length_minus1, 5);
  b.AppendU64(time_offset_length, 5);
}

// ---------------------------------------------------------------------------------------------
// Derived values

std::pair<uint32_t, uint32_t> H264_SPS::GetCodedSize() const {
  const uint32_t width = (pic_width_in_mbs_minus1 + 1u) * 16;
  const uint32_t height = (pic_height_in_map_units_minus1 + 1u) * (frame_mbs_only_flag ? 16 : 32);
  return {width, height};
}

std::pair<uint32_t, uint32_t> H264_SPS::GetPictureSize() const {
  const auto [width, height] = GetCodedSize();
  if (!frame_cropping_flag) return {width, height};
  // The crop offsets count chroma samples, and field pairs vertically.
  const int32_t fieldFactor = 2 - frame_mbs_only_flag;
  int32_t cropUnitX = 1;
  int32_t cropUnitY = fieldFactor;
  if (!separate_colour_plane_flag && chroma_format_idc != 0) {
    cropUnitX = chroma_format_idc < 3 ? 2 : 1;
    cropUnitY = fieldFactor * (chroma_format_idc < 2 ? 2 : 1);
  }
  const int32_t croppedWidth =
      static_cast<int32_t>(width) - (frame_crop_left_offset + frame_crop_right_offset) * cropUnitX;
  const int32_t croppedHeight =
      static_cast<int32_t>(height) - (frame_crop_top_offset + frame_crop_bottom_offset) * cropUnitY;
  // A cropping that would leave no picture is ignored as a whole.
  if (croppedWidth <= 0 || croppedHeight <= 0) return {width, height};
  return {static_cast<uint32_t>(croppedWidth), static_cast<uint32_t>(croppedHeight)};
}

ColourDescription H264_SPS::GetColourDescription() const {
  // A head with no video signal type, as without a VUI, describes no colour.
  return CodecParsers::GetColourDescription(vui_parameters_present_flag ? vui.common : CommonVUI{});
}

bool H264_SPS::AllowsPpsHighFields() const {
  if (profile_idc != 66 && profile_idc != 77 && profile_idc != 88) return true;
  return !constraint_set0_flag && !constraint_set1_flag && !constraint_set2_flag;
}

}  // namespace Orvane::Proc::CodecParsers
