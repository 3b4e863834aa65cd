// HEVC parameter sets and slice headers from hand-built units: every refusal of a decoded value,
// and what x265 does not write. The sample streams are compared with FFmpeg in HEVCTraceTest.cpp
// and written back in HEVCSerialisationTest.cpp.
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Orvane/Proc/CodecParsers/BitsReader.h"
#include "Orvane/Proc/CodecParsers/HEVCCodecParams.h"
#include "Orvane/Proc/Data.h"
#include "support/HEVCTestUnits.h"
#include "support/LogCapture.h"

namespace {

using namespace Orvane::Proc::CodecParsers;
using namespace codec_test;

// Every record of a decoded variant lists the elements its unit was built with.
void ExpectRecordsListedAsBuilt(const HEVCUnits& u, const Decoded& d) {
  const HEVC_SPS& sps = *d.ps.sps_list.at(0);
  const HEVC_PPS& pps = *d.ps.pps_list.at(0);
  const auto listed = [](const auto& list) {
    FlatListing flat;
    list(flat);
    return flat;
  };
  ExpectListedAsBuilt(u.vps, listed([&](FlatListing& f) { ListSyntax(*d.ps.vps_list.at(0), f); }));
  ExpectListedAsBuilt(u.sps, listed([&](FlatListing& f) { ListSyntax(sps, f); }));
  ExpectListedAsBuilt(u.pps, listed([&](FlatListing& f) { ListSyntax(pps, sps, f); }));
  const uint32_t type = u.slice.Bytes()[0] >> 1;
  ExpectListedAsBuilt(u.slice, listed([&](FlatListing& f) { ListSyntax(*d.header, type, sps, pps, f); }));
}

// Each row changes one element of a decodable variant, which lists as built: the decode refuses it
// with the message, or takes it when the message is empty (a bound where an off-by-one is
// plausible).
TEST(HEVCDecode, RefusesOutOfRangeValues) {
  const struct Row { const char* variant; const char* element; int64_t value; std::string expected; } rows[] = {
      {"VPS", "vps_max_layers_minus1", 63, "vps_max_layers_minus1 out of range"},
      {"VPS", "vps_max_sub_layers_minus1", 7, "vps_max_sub_layers_minus1 out of range"},
      {"VPS", "vps_reserved_0xffff_16bits", 0xFFFE, "vps_reserved_ffff_16bits is not 0xffff"},
      {"VPS", "vps_max_dec_pic_buffering_minus1", 16, "vps_max_dec_pic_buffering_minus1 out of range"},
      {"VPS", "vps_max_num_reorder_pics", 4, ""},
      {"VPS", "vps_max_num_reorder_pics", 5, "vps_max_num_reorder_pics out of range"},
      {"VPS", "vps_max_layer_id", 63, "vps_max_layer_id out of range"},
      {"VPS", "vps_num_layer_sets_minus1", 1024, "vps_num_layer_sets_minus1 out of range"},
      {"VPS", "vps_num_layer_sets_minus1", 1023, "too many layer_id_included_flags"},
      {"VPS+HRD", "vps_num_hrd_parameters", 3, "vps_num_hrd_parameters out of range"},
      {"VPS+HRD", "cpb_cnt_minus1", 32, "cpb_cnt_minus1 out of range"},
      {"SPS", "nuh_temporal_id_plus1", 0, "nuh_temporal_id_plus1 out of range"},
      {"SPS", "sps_video_parameter_set_id", 1, "invalid sps_video_parameter_set_id in sps"},
      {"SPS", "sps_max_sub_layers_minus1", 1, "sps_max_sub_layers_minus1 out of range"},
      {"SPS", "sps_temporal_id_nesting_flag", 0, "Invalid stream: sps_temporal_id_nesting_flag must be 1 if vps_temporal_id_nesting_flag is 1"},
      {"SPS/VPS not nesting", "sps_temporal_id_nesting_flag", 0,
       "Invalid stream: sps_temporal_id_nesting_flag must be 1 if sps_max_sub_layers_minus1 is 0"},
      {"SPS", "sps_seq_parameter_set_id", 16, "sps_seq_parameter_set_id out of range"},
      {"SPS", "chroma_format_idc", 4, "chroma_format_idc out of range"},
      {"SPS", "bit_depth_luma_minus8", 9, "bit_depth_luma_minus8 out of range"},
      {"SPS", "bit_depth_chroma_minus8", 9, "bit_depth_chroma_minus8 out of range"},
      {"SPS", "bit_depth_luma_minus8", 2, "Different chroma and luma bit depth"},
      {"SPS", "log2_max_pic_order_cnt_lsb_minus4", 13, "log2_max_pic_order_cnt_lsb_minus4 out of range (0-12)"},
      {"SPS", "sps_max_dec_pic_buffering_minus1", 16, "sps_max_dec_pic_buffering_minus1 out of range"},
      {"SPS", "sps_max_num_reorder_pics", 5, "sps_max_num_reorder_pics out of range"},
      {"SPS", "log2_min_luma_coding_block_size_minus3", 28, "log2_min_luma_coding_block_size_minus3 out of range"},
      {"SPS", "log2_diff_max_min_luma_coding_block_size", 31, "log2_diff_max_min_luma_coding_block_size out of range"},
      {"SPS", "log2_min_luma_transform_block_size_minus2", 1, "Invalid value for log2_min_luma_transform_block_size_minus2"},
      {"SPS", "log2_diff_max_min_luma_transform_block_size", 31, "log2_diff_max_min_luma_transform_block_size out of range"},
      {"SPS", "num_short_term_ref_pic_sets", 65, "Too many short term RPS"},
      {"SPS+all", "pcm_sample_bit_depth_luma_minus1", 8, "pcm_sample_bit_depth_luma_minus1 out of range"},
      {"SPS+all", "pcm_sample_bit_depth_chroma_minus1", 8, "pcm_sample_bit_depth_chroma_minus1 out of range"},
      {"SPS+all", "scaling_list_pred_matrix_id_delta", 1, "Invalid delta in scaling list data"},
      {"SPS+all", "scaling_list_dc_coef_minus8", 248, "scaling_list_dc_coef_minus8 out of range"},
      {"SPS+all", "scaling_list_delta_coef", -129, "scaling_list_delta_coeff out of range"},
      {"SPS+all", "num_long_term_ref_pics_sps", 33, "Too many long term ref pics"},
      {"SPS+all", "sps_num_palette_predictor_initializers_minus1", 128, "sps_num_palette_predictor_initializers out of range"},
      {"PPS", "pps_pic_parameter_set_id", 64, "PPS id out of range"},
      {"PPS", "pps_seq_parameter_set_id", 16, "SPS id out of range"},
      {"PPS", "pps_seq_parameter_set_id", 1, "invalid seq_parameter_set_id in pps"},
      {"PPS", "num_ref_idx_l0_default_active_minus1", 14, ""},
      {"PPS", "num_ref_idx_l0_default_active_minus1", 15, "Too many default refs in PPS"},
      {"PPS", "diff_cu_qp_delta_depth", 3, ""},
      {"PPS", "diff_cu_qp_delta_depth", 4, "diff_cu_qp_delta_depth is invalid"},
      {"PPS", "pps_cb_qp_offset", 13, "pps_cb_qp_offset out of range"},
      {"PPS", "pps_cr_qp_offset", -13, "pps_cr_qp_offset out of range"},
      {"PPS", "log2_parallel_merge_level_minus2", 4, ""},
      {"PPS", "log2_parallel_merge_level_minus2", 5, "log2_parallel_merge_level_minus2 out of range"},
      {"PPS+all", "num_tile_columns_minus1", 21, "num_tile_columns_minus1 out of range"},
      {"PPS+all", "num_tile_rows_minus1", 23, "num_tile_rows_minus1 out of range"},
      {"PPS+all", "column_width_minus1", 65, "column_width_minus1 out of range"},
      {"PPS+all", "row_height_minus1", 65, "row_height_minus1 out of range"},
      {"PPS+all", "pps_beta_offset_div2", 7, "pps_beta_offset_div2 out of range"},
      {"PPS+all", "pps_tc_offset_div2", -7, "pps_tc_offset_div2 out of range"},
      {"PPS+all", "chroma_qp_offset_list_len_minus1", 6, "chroma_qp_offset_list_len_minus1 shall be in the range [0, 5]"},
      {"PPS+all", "log2_sao_offset_scale_luma", 1, "log2_sao_offset_scale_luma out of range"},
      {"PPS+all", "log2_sao_offset_scale_chroma", 1, "log2_sao_offset_scale_chroma out of range"},
      {"PPS+all", "pps_multilayer_extension_flag", 1, ""},  // the PPS ends there
      {"PPS+all", "pps_3d_extension_flag", 1, "pps_3d_extension not implemented"},
      {"PPS+all", "pps_act_y_qp_offset_plus5", 18, "pps_act_y_qp_offset_plus5 out of range"},
      {"PPS+all", "pps_act_cb_qp_offset_plus5", -8, "pps_act_cb_qp_offset_plus5 out of range"},
      {"PPS+all", "pps_act_cr_qp_offset_plus3", 16, "pps_act_cr_qp_offset_plus3 out of range"},
      {"PPS+all", "pps_num_palette_predictor_initializers", 129, "pps_num_palette_predictor_initializers out of range"},
      {"PPS+all", "luma_bit_depth_entry_minus8", 1, "Invalid value of luma_bit_depth_entry_minus8"},
      {"PPS+all", "chroma_bit_depth_entry_minus8", 1, "Invalid value of chroma_bit_depth_entry_minus8"},
      {"P slice", "num_negative_pics", 16, "Too many refs in a short term RPS"},
      {"P slice", "delta_poc_s0_minus1", 32767, "Invalid value of delta_poc_s0_minus1"},
      {"B slice", "delta_poc_s1_minus1", 32767, "Invalid value of delta_poc_s1_minus1"},
      {"P slice/predicted set", "delta_idx_minus1", 1, "Invalid value of delta_idx_minus1 in slice header RPS"},
      {"P slice/predicted set", "abs_delta_rps_minus1", 32767, "Invalid value of abs_delta_rps_minus1"},
      {"P slice", "slice_pic_parameter_set_id", 64, "slice_pic_parameter_set_id out of range"},
      {"P slice", "slice_pic_parameter_set_id", 1, "invalid slice_pic_parameter_set_id in slice header"},
      {"P slice", "slice_type", 3, "slice_type out of range"},
      {"P slice", "used_by_curr_pic_s0_flag", 0, "Zero refs for a frame with P or B slices"},
      {"IDR slice", "slice_type", 1, "Inter slices in an IRAP frame"},
      {"2nd slice", "slice_segment_address", 1, "slice_segment_address out of range"},
      {"SPS/2nd slice", "pic_width_in_luma_samples", 0, "slice_segment_address too wide"},
      {"P slice/SPS sets", "short_term_ref_pic_set_idx", 3, "short_term_ref_pic_set_idx out of range"},
      {"P slice/long-term", "num_long_term_sps", 4, "num_long_term_sps out of range"},
      {"P slice/long-term", "num_long_term_pics", 13, "num_long_term_pics out of range"},
      {"P slice/long-term", "lt_idx_sps", 3, "lt_idx_sps out of range"},
      {"P slice/own picture", "num_positive_pics", 1,
       "Invalid stream: short-term ref pic set contains too many pictures to use with current picture reference enabled"},
      {"B slice", "num_ref_idx_l0_active_minus1", 15, "Too many refs"},
      {"B slice", "list_entry_l0", 3, "list_entry_l0 out of range"},
      {"B slice", "list_entry_l1", 3, "list_entry_l1 out of range"},
      {"B slice", "collocated_ref_idx", 2, "collocated_ref_idx out of range"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(std::string(row.variant) + ", " + row.element + " " + std::to_string(row.value));
    HEVCUnits units = Variant(row.variant);
    const Decoded unchanged = Decode(units);
    ASSERT_FALSE(unchanged.failure) << "the variant itself: " << unchanged.failure->message;
    ExpectRecordsListedAsBuilt(units, unchanged);
    (units.*units.about).Set(row.element, row.value);
    const std::optional<Failure> failure = Decode(units).failure;
    EXPECT_EQ(failure ? failure->message : "", row.expected);
    EXPECT_TRUE(!failure || (failure->bitstream && failure->file == "Orvane/Proc/CodecParsers/HEVCCodecParams" && failure->function == "Decode"));
  }
}

// What the collection stores: one record per id in id order, the last one of an id winning,
// nothing for other units or for units that fail; empty units are refused. A configuration may
// give its sets in any order.
TEST(HEVCDecode, Collection) {
  HEVC_PS ps;
  const auto add = [&](const SyntaxUnit& unit) {
    const std::vector<uint8_t> bytes = unit.Bytes();
    return Probe([&] { ps.AddNALU(NALU{bytes.data(), bytes.size()}); });
  };
  const auto sps = [](int id, int width) { return BaseSPS().Set("sps_seq_parameter_set_id", id).Set("pic_width_in_luma_samples", width); };
  add(BaseVPS());
  for (const SyntaxUnit& unit : {sps(3, 16), sps(0, 32), sps(3, 48), Unit(39, "payload:u16=0x0101"), BaseSlice()}) EXPECT_FALSE(add(unit));
  EXPECT_EQ(add(sps(0, 64).Set("chroma_format_idc", 4))->message, "chroma_format_idc out of range");
  std::vector<std::pair<int, int>> stored;
  for (const auto& s : ps.sps_list) stored.emplace_back(s->sps_seq_parameter_set_id, s->pic_width_in_luma_samples);
  EXPECT_EQ(stored, (std::vector<std::pair<int, int>>{{0, 32}, {3, 48}}));
  EXPECT_EQ(ps.GetSPS(3), ps.sps_list[1]);
  EXPECT_EQ(ps.GetSPS(1), nullptr);
  const uint8_t spsHeader = 0x42;
  const std::optional<Failure> refused = Probe([&] { ps.AddNALU(NALU{&spsHeader, 0}); });
  EXPECT_EQ(refused ? refused->message + " in " + refused->function : "", "Empty NAL unit in AddNALU");

  const std::vector<uint8_t> annexB = AnnexB({BasePPS(), BaseSPS(), BaseVPS()});
  const auto all = HEVC_PS::FromCodecConfiguration(Orvane::Proc::BlobFF::Create(annexB.data(), annexB.size()));
  EXPECT_EQ(all->vps_list.size() + all->sps_list.size() + all->pps_list.size(), 3u);
}

// An SPS of a layer above the base: with sps_ext_or_max_sub_layers_minus1 7 it takes sub-layers
// and nesting from the VPS and has no PTL, format or ordering of its own.
TEST(HEVCDecode, LayerSPS) {
  HEVCUnits u;
  u.vps.Set("vps_max_sub_layers_minus1", 2).Set("vps_temporal_id_nesting_flag", 0).Set("vps_sub_layer_ordering_info_present_flag", 0)
      .InsertAfter("general_level_idc", E("sub_layer_flags:u4=0 reserved_zero_2bits:u12=0"));
  u.sps = Unit(33, "sps_video_parameter_set_id:u4=0 sps_ext_or_max_sub_layers_minus1:u3=7 sps_seq_parameter_set_id:ue=2"
                   " update_rep_format_flag:u1=1 sps_rep_format_idx:u8=3 log2_max_pic_order_cnt_lsb_minus4:ue=4"
                   " log2_min_luma_coding_block_size_minus3:ue=0 log2_diff_max_min_luma_coding_block_size:ue=3"
                   " log2_min_luma_transform_block_size_minus2:ue=0 log2_diff_max_min_luma_transform_block_size:ue=3 depths:u2=3 scaling_list_enabled_flag:u1=1"
                   " sps_infer_scaling_list_flag:u1=1 sps_scaling_list_ref_layer_id:u6=5 flags:u3=2 num_short_term_ref_pic_sets:ue=0"
                   " flags2:u5=0b01100");
  u.sps.Set("nuh_layer_id", 1);
  u.slice = u.sps;  // in the slice's place: no slice header to decode
  const Decoded d = Decode(u);
  const HEVC_SPS& s = *d.ps.GetSPS(2);
  FlatListing listing;
  ListSyntax(s, listing);
  ExpectListedAsBuilt(u.sps, listing);
  EXPECT_EQ((std::vector<int>{s.sps_max_sub_layers_minus1, s.sps_temporal_id_nesting_flag, s.sps_rep_format_idx,
                              s.sps_scaling_list_ref_layer_id, s.sample_adaptive_offset_enabled_flag, s.sps_temporal_mvp_enabled_flag}),
            (std::vector<int>{2, 0, 3, 5, 1, 1}));
  EXPECT_EQ(s.GetPictureSize(), std::make_pair(0u, 0u));  // no window fits a picture of no samples
  // Ordering values coded for the highest sub-layer only hold for every sub-layer.
  EXPECT_EQ(d.ps.GetVPS(0)->vps_max_dec_pic_buffering_minus1[0], 4);
  EXPECT_EQ(d.ps.GetVPS(0)->GetMaxNumReorderPics(), 2u);
}

// What looks like a VUI written without default_display_window_flag but is not repaired (the
// repair is written back in HEVCSerialisationTest.cpp; regular VUIs are those of the sample streams).
TEST(HEVCDecode, VUIRepair) {
  const auto head7 = [](Bits& b) { b.u(7, 0); };  // the common part and three flags, all 0
  const auto head13 = [](Bits& b) { b.u(13, 0b0101101000000); };  // with overscan and video signal type
  const struct Row { const char* name; std::function<void(Bits&)> write; int warnings; std::vector<int64_t> expected; } rows[] = {
      {"a window that looks like timing, 67 bits left",
       [&](Bits& b) { head13(b); b.u(1, 1).ue((1u << 20) + 4).ue(0).ue(0).ue(0).u(2, 0).u(20, 0xFFFFF); }, 0, {1, 4, 0, 0, 0, 20}},
      {"a timing block cut short", [&](Bits& b) { head7(b); b.u(2, 0b01).u(3, 0).ue(0).ue(0).ue(0).ue(0).ue(0); }, 1, {0, 0, 0, 0, 1, 7}},
      {"a restriction cut short", [&](Bits& b) { head7(b); b.u(3, 0b001).u(6, 0); }, 1, {0, 0, 0, 0, 0, 7}},
      {"a VUI that ends with the data", [&](Bits& b) { head13(b); b.u(3, 0); }, 1, {0, 0, 0, 0, 0, 1}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Bits b;
    row.write(b);
    BitsReader r(b.out.data(), b.out.size());
    HEVC_VUI vui{};
    LogCapture log;
    const std::optional<Failure> failure = Probe([&] { vui.Decode(r, 0); });
    ASSERT_FALSE(failure) << failure->message;
    EXPECT_EQ(log.lines, std::vector<std::string>(row.warnings, "1 Invalid default display window"));
    EXPECT_EQ((std::vector<int64_t>{vui.default_display_window_flag, vui.def_disp_win_left_offset, vui.vui_timing_info_present_flag,
                                    vui.vui_num_units_in_tick, vui.bitstream_restriction_flag, static_cast<int64_t>(r.BitsLeft())}),
              row.expected);
  }
}

// Predicted short-term sets that would hold more than 15 pictures, and an index that names no set.
// (How predicted sets are formed is checked through slice headers in HEVCSliceHeaderTest.cpp.)
TEST(HEVCDecode, ShortTermSetsOutOfReach) {
  auto sps = std::make_unique<HEVC_SPS>();
  sps->num_short_term_ref_pic_sets = 2;
  sps->st_ref_pic_set[0].num_negative_pics = sps->st_ref_pic_set[0].num_positive_pics = 8;
  sps->st_ref_pic_set[1].num_negative_pics = 15;
  for (const auto& [delta, index, expected] : {std::tuple{0u, 2u, "num_delta_pocs out of range"},
                                        std::tuple{1u, 2u, "Invalid stream: short-term ref pic set contains too many pictures"},
                                        std::tuple{0u, 3u, "Invalid short term RPS index"}}) {
    Bits b;
    b.u(1, 1).ue(1 - delta).u(1, 0).ue(0).u(16, 0xFFFF).u(8, 0xFF);  // delta_idx_minus1 names the set, every picture used
    BitsReader r(b.out.data(), b.out.size());
    HEVC_ShortTermRPS set{};
    const std::optional<Failure> failure = Probe([&, stRpsIdx = index] { set.Decode(r, *sps, stRpsIdx); });
    EXPECT_EQ(failure ? failure->message : "", expected);
  }
}

}  // namespace
