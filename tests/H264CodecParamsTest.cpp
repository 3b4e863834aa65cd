// H.264 parameter sets from hand-built units: every refusal, what x264 does not write (POC type 1
// over 32 bits, slice groups, short VUIs, matrices in the SPS, profiles without the High fields),
// the collection, and the size, level and name tables. The sample streams are compared with
// FFmpeg in H264TraceTest.cpp.
#include <functional>
#include <optional>
#include <sstream>
#include <string>
#include <type_traits>
#include <vector>

#include <gtest/gtest.h>

#include "Orvane/Conf/FormatCodec.h"
#include "Orvane/Proc/CodecParsers/H264CodecParams.h"
#include "support/HEVCTestUnits.h"

namespace {

using namespace Orvane::Proc::CodecParsers;
using namespace codec_test;
using Video = Orvane::Conf::IFormatCodecVideo;

SyntaxUnit H264Unit(int type, const std::string& elements) {
  return SyntaxUnit().Append(E("forbidden_zero_bit:u1=0 nal_ref_idc:u2=3 nal_unit_type:u5=" + std::to_string(type) + " " + elements));
}

// The values as one line, for a row's expectation.
template <class... T>
std::string Line(const T&... values) {
  std::ostringstream out;
  const auto put = [&out](const auto& v) {
    if constexpr (std::is_integral_v<std::decay_t<decltype(v)>>) {
      out << ' ' << static_cast<int64_t>(v);
    } else {
      out << ' ' << v;
    }
  };
  (put(values), ...);
  return out.str().substr(1);
}

struct H264Units {
  // High, 4:2:0 8-bit, 1920x1088 cropped to 1920x1080, level 4, no VUI.
  SyntaxUnit sps = H264Unit(7,
      "profile_idc:u8=100 constraint_set_flags:u6=0 reserved_zero_2bits:u2=0 level_idc:u8=40 seq_parameter_set_id:ue=0"
      " chroma_format_idc:ue=1 bit_depth_luma_minus8:ue=0 bit_depth_chroma_minus8:ue=0 qpprime_y_zero_transform_bypass_flag:u1=0"
      " seq_scaling_matrix_present_flag:u1=0 log2_max_frame_num_minus4:ue=0 pic_order_cnt_type:ue=0"
      " log2_max_pic_order_cnt_lsb_minus4:ue=2 max_num_ref_frames:ue=4 gaps_in_frame_num_value_allowed_flag:u1=0"
      " pic_width_in_mbs_minus1:ue=119 pic_height_in_map_units_minus1:ue=67 frame_mbs_only_flag:u1=1 direct_8x8_inference_flag:u1=1"
      " frame_cropping_flag:u1=1 frame_crop_left_offset:ue=0 frame_crop_right_offset:ue=0 frame_crop_top_offset:ue=0"
      " frame_crop_bottom_offset:ue=4 vui_parameters_present_flag:u1=0");
  // CABAC with the High fields: 8x8 transform, no matrix.
  SyntaxUnit pps = H264Unit(8,
      "pic_parameter_set_id:ue=0 seq_parameter_set_id:ue=0 entropy_coding_mode_flag:u1=1"
      " bottom_field_pic_order_in_frame_present_flag:u1=0 num_slice_groups_minus1:ue=0 num_ref_idx_l0_default_active_minus1:ue=0"
      " num_ref_idx_l1_default_active_minus1:ue=0 weighted_pred_flag:u1=0 weighted_bipred_idc:u2=0 pic_init_qp_minus26:se=0"
      " pic_init_qs_minus26:se=0 chroma_qp_index_offset:se=0 deblocking_filter_control_present_flag:u1=1"
      " constrained_intra_pred_flag:u1=0 redundant_pic_cnt_present_flag:u1=0 transform_8x8_mode_flag:u1=1"
      " pic_scaling_matrix_present_flag:u1=0 second_chroma_qp_index_offset:se=0");
};

// A present scaling list of flat weight w: two deltas, the second ending the list.
std::string FlatList(int w) { return " scaling_list_present_flag:u1=1 delta_scale:se=" + std::to_string(w - 8) + " delta_scale:se=" + std::to_string(-w); }
std::string Absent(int lists) {
  std::string flags;
  while (lists--) flags += " scaling_list_present_flag:u1=0";
  return flags;
}

// The baselines ("SPS", "PPS"), or a variant that switches on what they leave out.
H264Units Variant(const std::string& name) {
  H264Units u;
  const auto vui = [&](const std::string& elements) {
    u.sps.Set("vui_parameters_present_flag", 1).InsertAfter("vui_parameters_present_flag",
        E("aspect_ratio_info_present_flag:u1=1 aspect_ratio_idc:u8=255 sar_width:u16=4 sar_height:u16=3 overscan_info_present_flag:u1=0"
          " video_signal_type_present_flag:u1=0 chroma_loc_info_present_flag:u1=0 " + elements));
  };
  const auto groups = [&](int groupsMinus1, const std::string& elements) {
    u.pps.Set("num_slice_groups_minus1", groupsMinus1).InsertAfter("num_slice_groups_minus1", E(elements));
  };
  const auto matrix = [&](SyntaxUnit& unit, const char* flag, const std::string& lists) {
    unit.Set(flag, 1).InsertAfter(flag, E(lists));
  };
  if (name == "SPS+POC1") {
    u.sps.Set("pic_order_cnt_type", 1).Remove("log2_max_pic_order_cnt_lsb_minus4").InsertAfter("pic_order_cnt_type",
        E("delta_pic_order_always_zero_flag:u1=1 offset_for_non_ref_pic:se=-2147483647 offset_for_top_to_bottom_field:se=2147483647"
          " num_ref_frames_in_pic_order_cnt_cycle:ue=3 offset_for_ref_frame:se=1 offset_for_ref_frame[1]:se=-1073741825"
          " offset_for_ref_frame[2]:se=1073741825"));
  } else if (name == "SPS+VUI") {  // timing, a NAL HRD of two CPBs, the bitstream restriction
    vui("timing_info_present_flag:u1=1 num_units_in_tick:u32=1 time_scale:u32=50 fixed_frame_rate_flag:u1=1"
        " nal_hrd_parameters_present_flag:u1=1 cpb_cnt_minus1:ue=1 bit_rate_scale:u4=1 cpb_size_scale:u4=2 bit_rate_value_minus1:ue=9"
        " cpb_size_value_minus1:ue=9 cbr_flag:u1=0 bit_rate_value_minus1[1]:ue=9 cpb_size_value_minus1[1]:ue=9 cbr_flag[1]:u1=1"
        " initial_cpb_removal_delay_length_minus1:u5=23 cpb_removal_delay_length_minus1:u5=23 dpb_output_delay_length_minus1:u5=23"
        " time_offset_length:u5=23 vcl_hrd_parameters_present_flag:u1=0 low_delay_hrd_flag:u1=0 pic_struct_present_flag:u1=1"
        " bitstream_restriction_flag:u1=1 motion_vectors_over_pic_boundaries_flag:u1=1 max_bytes_per_pic_denom:ue=0"
        " max_bits_per_mb_denom:ue=0 log2_max_mv_length_horizontal:ue=16 log2_max_mv_length_vertical:ue=16"
        " max_num_reorder_frames:ue=2 max_dec_frame_buffering:ue=4");
  } else if (name == "SPS+VUI head") {
    vui("");
  } else if (name == "SPS+VUI to pic_struct") {  // the overscan flag, 16 frames and 10-bit POC LSBs end it on a byte boundary
    vui("timing_info_present_flag:u1=0 nal_hrd_parameters_present_flag:u1=0 vcl_hrd_parameters_present_flag:u1=0"
        " pic_struct_present_flag:u1=1");
    u.sps.Set("overscan_info_present_flag", 1).InsertAfter("overscan_info_present_flag", E("overscan_appropriate_flag:u1=1"));
    u.sps.Set("max_num_ref_frames", 16).Set("log2_max_pic_order_cnt_lsb_minus4", 6).trailing = false;
  } else if (name == "SPS+matrix") {  // SPS lists 0 and 6 flat; PPS list 7 the default, the rest fall back
    matrix(u.sps, "seq_scaling_matrix_present_flag", FlatList(20) + Absent(5) + FlatList(30) + Absent(1));
    matrix(u.pps, "pic_scaling_matrix_present_flag", Absent(7) + " scaling_list_present_flag:u1=1 delta_scale:se=-8");
  } else if (name == "SPS 4:4:4+matrix") {  // twelve SPS lists; a PPS without 8x8 transform codes six
    u.sps.Set("chroma_format_idc", 3).InsertAfter("chroma_format_idc", E("separate_colour_plane_flag:u1=0"));
    matrix(u.sps, "seq_scaling_matrix_present_flag", Absent(8) + FlatList(40) + Absent(2) + FlatList(50));
    u.pps.Set("transform_8x8_mode_flag", 0);
    matrix(u.pps, "pic_scaling_matrix_present_flag", Absent(5) + FlatList(24));
  } else if (name == "SPS 139") {
    u.sps.Set("profile_idc", 139).Set("constraint_set_flags", 0x10)  // constraint_set1_flag
        .Remove("chroma_format_idc bit_depth_luma_minus8 bit_depth_chroma_minus8 qpprime_y_zero_transform_bypass_flag"
                " seq_scaling_matrix_present_flag");
  } else if (name == "SPS 144") {
    u.sps.Set("profile_idc", 144);
  } else if (name == "PPS short") {
    u.pps.Set("chroma_qp_index_offset", -3).Remove("transform_8x8_mode_flag pic_scaling_matrix_present_flag second_chroma_qp_index_offset");
  } else if (name == "PPS+map0") {
    groups(2, "slice_group_map_type:ue=0 run_length_minus1:ue=0 run_length_minus1[1]:ue=100 run_length_minus1[2]:ue=200");
  } else if (name == "PPS+map2") {  // a rectangle per group but the last, the background
    groups(2, "slice_group_map_type:ue=2 top_left:ue=0 bottom_right:ue=8000 top_left[1]:ue=1 bottom_right[1]:ue=8001");
  } else if (name == "PPS+map3") {
    groups(7, "slice_group_map_type:ue=3 slice_group_change_direction_flag:u1=1 slice_group_change_rate_minus1:ue=99");
  } else if (name == "PPS+map4 at 1056x1056") {  // a change rate beyond 16 bits
    u.sps.Set("pic_width_in_mbs_minus1", 1055).Set("pic_height_in_map_units_minus1", 1055);
    groups(1, "slice_group_map_type:ue=4 slice_group_change_direction_flag:u1=0 slice_group_change_rate_minus1:ue=69999");
  } else if (name == "PPS+map6") {  // 8160 ids of 3 bits for 5 groups
    std::string ids = "slice_group_map_type:ue=6 pic_size_in_map_units_minus1:ue=8159";
    for (int i = 0; i < 8160; ++i) ids += " slice_group_id:u3=" + std::to_string(i % 5);
    groups(4, ids);
  }
  return u;
}

// The SPS through its decode and the collection, then the PPS through its decode.
std::pair<std::shared_ptr<const H264_SPS>, H264_PPS> Decode(const H264Units& u) {
  H264_PS ps;
  const std::vector<uint8_t> sps = u.sps.Bytes(), pps = u.pps.Bytes();
  H264_SPS().Decode(NALU{sps.data(), sps.size()});
  ps.AddNALU(NALU{sps.data(), sps.size()});
  H264_PPS decoded;
  decoded.Decode(NALU{pps.data(), pps.size()}, ps);
  return {ps.sps_list.at(0), decoded};
}

// Each row changes one element of a variant: the decode refuses it with the message, or takes it
// when the message is empty (a bound where an off-by-one is plausible).
TEST(H264Decode, RefusesOutOfRangeValues) {
  const struct Row { const char* variant; const char* element; int64_t value; std::string expected; } rows[] = {
      {"SPS", "nal_unit_type", 8, "NALU is not a SPS"},
      {"SPS", "seq_parameter_set_id", 32, "seq_parameter_set_id out of range"},
      {"SPS 144", "chroma_format_idc", 4, "chroma_format_idc out of range"},
      {"SPS", "bit_depth_luma_minus8", 7, "bit_depth_luma_minus8 out of range"},
      {"SPS", "bit_depth_chroma_minus8", 7, "bit_depth_chroma_minus8 out of range"},
      {"SPS", "bit_depth_luma_minus8", 2, "Different chroma and luma bit depth"},
      {"SPS+matrix", "delta_scale", 128, "Delta scale is invalid"},
      {"SPS", "log2_max_frame_num_minus4", 13, "log2_max_frame_num_minus4 out of range (0-12)"},
      {"SPS", "log2_max_pic_order_cnt_lsb_minus4", 13, "log2_max_pic_order_cnt_lsb_minus4 out of range (0-12)"},
      // -2^31: 32 zero bits, the one code number a 32-bit se(v) cannot take in range.
      {"SPS+POC1", "offset_for_non_ref_pic", -2147483648, "offset_for_non_ref_pic out of range"},
      {"SPS+POC1", "offset_for_top_to_bottom_field", -2147483648, "offset_for_top_to_bottom_field out of range"},
      {"SPS+POC1", "offset_for_ref_frame[1]", -2147483648, "offset_for_ref_frame out of range"},
      {"SPS+POC1", "num_ref_frames_in_pic_order_cnt_cycle", 256, "num_ref_frames_in_pic_order_cnt_cycle out of range"},
      {"SPS", "pic_order_cnt_type", 3, "illegal pic_order_cnt_type"},
      {"SPS", "max_num_ref_frames", 17, "too many reference frames"},
      {"SPS", "pic_width_in_mbs_minus1", 1055, ""},
      {"SPS", "pic_width_in_mbs_minus1", 1056, "pic_width_in_mbs_minus1 out of range"},
      {"SPS", "pic_height_in_map_units_minus1", 1056, "pic_height_in_map_units_minus1 out of range"},
      {"SPS+VUI", "max_num_reorder_frames", 16, ""},
      {"SPS+VUI", "max_num_reorder_frames", 17, "max_num_reorder_frames out of range"},
      {"SPS+VUI", "cpb_cnt_minus1", 32, "cpb_cnt_minus1 out of range"},
      {"PPS", "nal_unit_type", 7, "NALU is not a PPS"},
      {"PPS", "pic_parameter_set_id", 256, "pic_parameter_set_id out of range"},
      {"PPS", "num_slice_groups_minus1", 8, "num_slice_groups_minus1 out of range"},
      {"PPS+map0", "slice_group_map_type", 7, "slice_group_map_type out of range"},
      {"PPS+map0", "run_length_minus1", 8159, ""},
      {"PPS+map0", "run_length_minus1", 8160, "run_length_minus1 out of range"},
      {"PPS+map2", "top_left", 8160, "top_left out of range"},
      {"PPS+map2", "bottom_right", 8160, "bottom_right out of range"},
      {"PPS+map3", "slice_group_change_rate_minus1", 8160, "slice_group_change_rate_minus1 out of range"},
      {"PPS+map6", "pic_size_in_map_units_minus1", 8158, "pic_size_in_map_units_minus1 out of range"},
      {"PPS+map6", "slice_group_id", 5, "slice_group_id out of range"},
      {"PPS", "num_ref_idx_l0_default_active_minus1", 32, "num_ref_idx_l0_default_active_minus1 out of range"},
      {"PPS", "num_ref_idx_l1_default_active_minus1", 32, "num_ref_idx_l1_default_active_minus1 out of range"},
      {"PPS", "chroma_qp_index_offset", -12, ""},
      {"PPS", "chroma_qp_index_offset", 13, "chroma_qp_index_offset out of range"},
      {"PPS", "second_chroma_qp_index_offset", -13, "second_chroma_qp_index_offset out of range"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.variant) + " " + row.element + " " + std::to_string(row.value));
    H264Units u = Variant(row.variant);
    (std::string(row.variant).starts_with("SPS") ? u.sps : u.pps).Set(row.element, row.value);
    const std::optional<Failure> failure = Probe([&] { Decode(u); });
    if (row.expected.empty()) {
      EXPECT_FALSE(failure) << failure->message;
      continue;
    }
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->message, row.expected);
    EXPECT_TRUE(failure->bitstream);
    // The delta scales fail in their own function.
    EXPECT_EQ(failure->file, "Orvane/Proc/CodecParsers/H264CodecParams");
    EXPECT_EQ(failure->function, row.expected == "Delta scale is invalid" ? "DecodeScalingList" : "Decode");
  }
}

// What the branches that x264 does not take decode to: every record lists the elements its unit
// was built with, and what the decode infers or derives is checked as one line.
TEST(H264Decode, BranchesEncodersDoNotTake) {
  using Got = std::function<std::string(const H264_SPS&, const H264_PPS&)>;
  const struct Row { const char* variant; Got got = nullptr; std::string expected = ""; } rows[] = {
      {"SPS 139", [](auto& s, auto& p) { return Line(s.chroma_format_idc, s.pic_height_in_map_units_minus1, p.transform_8x8_mode_flag); }, "1 67 1"},
      {"SPS+POC1"},
      {"SPS+VUI"},
      {"SPS+VUI head", [](auto& s, auto&) { return Line(s.vui.common.sar_width, s.vui.timing_info_present_flag, s.vui.pic_struct_present_flag); }, "4 0 0"},
      {"SPS+VUI to pic_struct", [](auto& s, auto&) { return Line(s.vui.pic_struct_present_flag, s.vui.bitstream_restriction_flag); }, "1 0"},
      // SPS (rule A): 0 flat 20, 1 and 2 from it, 3 default, 6 flat 30, 7 default. PPS (rule B):
      // 0 and 3 the SPS's, 1 and 2 from the PPS's 0, 6 the SPS's, 7 the default; no 4:4:4 lists.
      {"SPS+matrix", [](auto& s, auto& p) {
         return Line(s.scaling_list_present_mask, s.ScalingList4x4[2][15], s.ScalingList4x4[3][1], s.ScalingList8x8[0][63], s.ScalingList8x8[3][63],
                     p.scaling_list_present_mask, p.ScalingList4x4[2][15], p.ScalingList4x4[3][1], p.ScalingList8x8[0][63], p.ScalingList8x8[3][9],
                     p.ScalingList8x8[1][0]);
       }, "65 20 14 30 35 128 20 14 30 13 0"},
      {"SPS 4:4:4+matrix", [](auto& s, auto& p) {
         return Line(s.ScalingList8x8[1][5], s.ScalingList8x8[2][5], s.ScalingList8x8[4][0], s.ScalingList8x8[5][5], p.ScalingList4x4[5][5],
                     p.ScalingList4x4[0][0], p.ScalingList8x8[2][5]);
       }, "40 40 9 50 24 6 40"},
      {"PPS short", [](auto&, auto& p) { return Line(p.transform_8x8_mode_flag, p.second_chroma_qp_index_offset); }, "0 -3"},
      {"PPS+map0"},
      {"PPS+map2"},
      {"PPS+map3"},
      {"PPS+map4 at 1056x1056"},
      {"PPS+map6"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.variant);
    const H264Units u = Variant(row.variant);
    const std::optional<Failure> failure = Probe([&] {
      const auto [sps, pps] = Decode(u);
      FlatListing spsListing, ppsListing;
      ListSyntax(*sps, spsListing);
      ListSyntax(pps, *sps, ppsListing);
      ExpectListedAsBuilt(u.sps, spsListing);
      ExpectListedAsBuilt(u.pps, ppsListing);
      EXPECT_EQ(row.got ? row.got(*sps, pps) : "", row.expected);
    });
    EXPECT_FALSE(failure) << failure->message;
  }
}

// What the collection does for H.264 (its order and replacement are the HEVC collection's): a PPS
// waits for its SPS, an empty unit is refused, zero bytes after a unit are not read.
TEST(H264Decode, Collection) {
  H264_PS ps;
  const auto add = [&ps](const SyntaxUnit& unit) {
    const std::vector<uint8_t> bytes = unit.Bytes();
    return Probe([&] { ps.AddNALU(NALU{bytes.data(), bytes.size()}); });
  };
  EXPECT_EQ(add(H264Units().pps)->message, "invalid seq_parameter_set_id in pps");
  add(H264Units().sps);
  const uint8_t byte = 0x67;
  const std::optional<Failure> empty = Probe([&] { ps.AddNALU(NALU{&byte, 0}); });
  EXPECT_EQ(Line(empty->message, empty->function, ps.sps_list.size()), "Empty NAL unit AddNALU 1");
  // Zero bytes after a unit are no part of it: FFmpeg reads this broadcast stream's PPS as ending after
  // redundant_pic_cnt_present_flag, and a VUI that ends after its head is still told by its stop bit.
  std::vector<uint8_t> stream = {0, 0, 0, 1, 0x67, 0x64, 0, 0x1E, 0xAC, 0xB4, 0x23, 0xC8, 0, 0, 0, 1, 0x68, 0xEE, 0x33, 0xC8, 0, 0, 0, 0, 1};
  for (const uint8_t b : Variant("SPS+VUI head").sps.Bytes()) stream.push_back(b);
  stream.push_back(0);
  std::vector<NALU> units;
  FindAnnexBNalus(stream.data(), stream.size(), units);
  H264_PS broadcast;
  for (const NALU& unit : units) broadcast.AddNALU(unit);
  EXPECT_EQ(Line(broadcast.sps_list.at(0)->vui.common.sar_width, broadcast.pps_list.at(0)->transform_8x8_mode_flag,
                 broadcast.pps_list.at(0)->second_chroma_qp_index_offset), "4 0 -3");
}

// What an SPS derives: its picture size after cropping (the sample streams' sizes are checked in
// H264TraceTest.cpp), its level, bit rates and reorder depth.
TEST(H264Decode, DerivedValues) {
  const struct Row { std::function<void(H264_SPS&)> fields; std::string expected; } rows[] = {
      // On a cropped 1920x1088 progressive 4:2:0 SPS at level 4: "W H level MaxBR(baseline, high, high422) reorder".
      {[](H264_SPS& s) { s.chroma_format_idc = 3, s.separate_colour_plane_flag = 1, s.frame_mbs_only_flag = 0, s.frame_crop_top_offset = 1,
                         s.pic_height_in_map_units_minus1 = 33; }, "1920 1086 40 20000 25000 80000 4"},  // 120x68 MBs of fields
      {[](H264_SPS& s) { s.frame_crop_left_offset = 960; }, "1920 1088 40 20000 25000 80000 4"},  // nothing left: ignored
      {[](H264_SPS& s) { s.profile_idc = 77, s.level_idc = 11, s.constraint_set3_flag = 1; }, "1920 1088 9 128 160 512 0"},  // 1b
      {[](H264_SPS& s) { s.profile_idc = 88, s.level_idc = 11, s.constraint_set3_flag = 1; }, "1920 1088 9 128 160 512 0"},
      {[](H264_SPS& s) { s.level_idc = 11, s.constraint_set3_flag = 1; }, "1920 1088 11 192 240 768 0"},  // High intra
      {[](H264_SPS& s) { s.pic_width_in_mbs_minus1 = s.pic_height_in_map_units_minus1 = 65535; }, "1048576 1048576 40 20000 25000 80000 0"},
      {[](H264_SPS& s) { s.level_idc = 63; }, "1920 1088 63 0 0 0 0"},
      {[](H264_SPS& s) { s.vui_parameters_present_flag = s.vui.bitstream_restriction_flag = 1, s.vui.max_num_reorder_frames = 2; },
       "1920 1088 40 20000 25000 80000 2"},
      {[](H264_SPS& s) { s.pic_order_cnt_type = 2; }, "1920 1088 40 20000 25000 80000 0"},
  };
  for (const Row& row : rows) {
    H264_SPS s{};
    s.profile_idc = 100, s.level_idc = 40, s.chroma_format_idc = 1, s.frame_mbs_only_flag = s.frame_cropping_flag = 1;
    s.pic_width_in_mbs_minus1 = 119, s.pic_height_in_map_units_minus1 = 67;
    row.fields(s);
    const auto [w, h] = s.GetPictureSize();
    EXPECT_EQ(Line(w, h, s.GetLevel(), s.GetMaxBitrate(Video::TAG_X264_PROFILE_BASELINE), s.GetMaxBitrate(Video::TAG_X264_PROFILE_HIGH),
                   s.GetMaxBitrate(Video::TAG_X264_PROFILE_HIGH422), s.GetReorderDepth()),
              row.expected);
  }
  EXPECT_EQ(H264_SPS{}.GetMaxBitrate(""), 0u);
}

TEST(H264Decode, NalUnitNames) {
  const struct Row { std::vector<uint8_t> unit; std::string expected; } rows[] = {
      {{0x41, 0x9A}, "Coded slice of a non-IDR picture [P]"},  // first_mb_in_slice 0, slice_type 5
      {{0x7F}, "Unspecified 31"},
      {{0x23, 0x80}, "Coded slice data partition B"},  // slice_id 0, then slice data
  };
  for (const Row& row : rows) EXPECT_EQ(DescribeNALU(NALU{row.unit.data(), row.unit.size()}), row.expected);
  EXPECT_EQ(H264NaluTypeName(32), "");
  const uint8_t cut[] = {0x65};
  EXPECT_EQ(Probe([&] { DescribeNALU(NALU{cut, 1}); })->message, "End of stream");
}

}  // namespace
