// HEVC parameter sets from hand-built NAL units: the checks at their bounds, the branches of the
// syntax, and the collection. The real-stream comparison with FFmpeg is in HEVCTraceTest.cpp.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <glog/logging.h>
#include <gtest/gtest.h>

#include "Orvane/Proc/CodecParsers/BitsReader.h"
#include "Orvane/Proc/CodecParsers/H26xBitstreamParser.h"
#include "Orvane/Proc/CodecParsers/HEVCCodecParams.h"
#include "Orvane/Proc/Data.h"
#include "support/BitstreamTestKit.h"
#include "support/HEVCTestUnits.h"

namespace {

using namespace Orvane::Proc::CodecParsers;
using namespace codec_test;

constexpr char kUnitPath[] = "Orvane/Proc/CodecParsers/HEVCCodecParams";

struct Units {
  SyntaxUnit vps = BaseVPS();
  SyntaxUnit sps = BaseSPS();
  SyntaxUnit pps = BasePPS();
};

void AddUnit(HEVC_PS& ps, const SyntaxUnit& unit) {
  const std::vector<uint8_t> bytes = unit.Bytes();
  ps.AddNALU(NALU{bytes.data(), bytes.size()});
}

std::vector<Element> Cat(std::vector<Element> a, const std::vector<Element>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// maxSubLayersMinus1 > 0 for a VPS ("vps") or SPS ("sps"): the PTL's sub-layer flags (none set)
// with their alignment, and ordering values for the highest sub-layer only.
void WithSubLayers(SyntaxUnit& unit, const std::string& kind, int maxSubLayersMinus1) {
  unit.Set(kind + "_max_sub_layers_minus1", maxSubLayersMinus1);
  std::vector<Element> flags;
  for (int i = 0; i < maxSubLayersMinus1; ++i) {
    flags.push_back(U("sub_layer_profile_present_flag", 1, 0));
    flags.push_back(U("sub_layer_level_present_flag", 1, 0));
  }
  for (int i = maxSubLayersMinus1; i < 8; ++i) flags.push_back(U("reserved_zero_2bits", 2, 0));
  unit.InsertAfter("general_level_idc", flags);
  unit.Set(kind + "_sub_layer_ordering_info_present_flag", 0);
}

// The PPS extension flags with only `flag` set, and the SPS profile it needs.
void WithPPSExtension(Units& u, const std::string& flag) {
  u.pps.Set("pps_extension_present_flag", 1)
      .InsertAfter("pps_extension_present_flag",
                   {U("pps_range_extension_flag", 1, 0), U("pps_multilayer_extension_flag", 1, 0),
                    U("pps_3d_extension_flag", 1, 0), U("pps_scc_extension_flag", 1, 0), U("pps_extension_4bits", 4, 0)})
      .Set(flag, 1);
}

void WithRangeExtensionPPS(Units& u, int listLenMinus1, int saoLuma) {
  u.sps.Set("general_profile_idc", 4);
  WithPPSExtension(u, "pps_range_extension_flag");
  std::vector<Element> ext = {U("cross_component_prediction_enabled_flag", 1, 0),
                              U("chroma_qp_offset_list_enabled_flag", 1, 1), UE("diff_cu_chroma_qp_offset_depth", 0),
                              UE("chroma_qp_offset_list_len_minus1", listLenMinus1)};
  for (int i = 0; i <= std::min(listLenMinus1, 5); ++i) {
    ext.push_back(SE("cb_qp_offset_list", -i));
    ext.push_back(SE("cr_qp_offset_list", i));
  }
  ext.push_back(UE("log2_sao_offset_scale_luma", saoLuma));
  ext.push_back(UE("log2_sao_offset_scale_chroma", 0));
  u.pps.InsertAfter("pps_extension_4bits", ext);
}

// The screen-content PPS extension with an adaptive colour transform and palette initializers.
void WithSCCPPS(Units& u, int actYPlus5, int actCrPlus3, int numInitializers, int lumaDepthMinus8) {
  WithPPSExtension(u, "pps_scc_extension_flag");
  std::vector<Element> ext = {U("pps_curr_pic_ref_enabled_flag", 1, 0),
                              U("residual_adaptive_colour_transform_enabled_flag", 1, 1),
                              U("pps_slice_act_qp_offsets_present_flag", 1, 0), SE("pps_act_y_qp_offset_plus5", actYPlus5),
                              SE("pps_act_cb_qp_offset_plus5", 0), SE("pps_act_cr_qp_offset_plus3", actCrPlus3),
                              U("pps_palette_predictor_initializers_present_flag", 1, 1),
                              UE("pps_num_palette_predictor_initializers", numInitializers),
                              U("monochrome_palette_flag", 1, 1), UE("luma_bit_depth_entry_minus8", lumaDepthMinus8)};
  for (int i = 0; i < std::min(numInitializers, 128); ++i) ext.push_back(U("pps_palette_predictor_initializer", 8, i));
  u.pps.InsertAfter("pps_extension_4bits", ext);
}

void WithTiles(Units& u, int columnsMinus1, int rowsMinus1, int width, int height) {
  std::vector<Element> tiles = {UE("num_tile_columns_minus1", columnsMinus1), UE("num_tile_rows_minus1", rowsMinus1),
                                U("uniform_spacing_flag", 1, 0)};
  for (int i = 0; i < std::min(columnsMinus1, 21); ++i) tiles.push_back(UE("column_width_minus1", i == 0 ? width : 0));
  for (int i = 0; i < std::min(rowsMinus1, 23); ++i) tiles.push_back(UE("row_height_minus1", i == 0 ? height : 0));
  tiles.push_back(U("loop_filter_across_tiles_enabled_flag", 1, 1));
  u.pps.Set("tiles_enabled_flag", 1).InsertAfter("entropy_coding_sync_enabled_flag", tiles);
}

// Every range test at the value it admits and at the first it refuses, and the lookups between
// the parameter sets. An empty expectation means that all three units are stored.
TEST(HEVCParameterSets, ChecksAtTheirBounds) {
  using Edit = std::function<void(Units&)>;
  const auto pcm = [](int luma, int chroma) {
    return [=](Units& u) {
      u.sps.Set("pcm_enabled_flag", 1)
          .InsertAfter("pcm_enabled_flag", {U("pcm_sample_bit_depth_luma_minus1", 4, luma),
                                            U("pcm_sample_bit_depth_chroma_minus1", 4, chroma),
                                            UE("log2_min_pcm_luma_coding_block_size_minus3", 0),
                                            UE("log2_diff_max_min_pcm_luma_coding_block_size", 1),
                                            U("pcm_loop_filter_disabled_flag", 1, 0)});
    };
  };
  const auto shortTermSets = [](int count) {
    return [=](Units& u) {
      std::vector<Element> sets;
      for (int i = 0; i < std::min(count, 64); ++i) {
        if (i > 0) sets.push_back(U("inter_ref_pic_set_prediction_flag", 1, 0));
        sets.push_back(UE("num_negative_pics", 1));
        sets.push_back(UE("num_positive_pics", 0));
        sets.push_back(UE("delta_poc_s0_minus1", i));
        sets.push_back(U("used_by_curr_pic_s0_flag", 1, 1));
      }
      u.sps.Set("num_short_term_ref_pic_sets", count).InsertAfter("num_short_term_ref_pic_sets", sets);
    };
  };
  const auto longTermPics = [](int count) {
    return [=](Units& u) {
      std::vector<Element> pics = {UE("num_long_term_ref_pics_sps", count)};
      for (int i = 0; i < std::min(count, 32); ++i) {
        pics.push_back(U("lt_ref_pic_poc_lsb_sps", 8, i));
        pics.push_back(U("used_by_curr_pic_lt_sps_flag", 1, 1));
      }
      u.sps.Set("long_term_ref_pics_present_flag", 1).InsertAfter("long_term_ref_pics_present_flag", pics);
    };
  };
  const auto vpsHrd = [](int count) {
    return [=](Units& u) {
      std::vector<Element> timing = {U("vps_num_units_in_tick", 32, 1), U("vps_time_scale", 32, 25),
                                     U("vps_poc_proportional_to_timing_flag", 1, 0), UE("vps_num_hrd_parameters", count),
                                     UE("hrd_layer_set_idx", 0), U("nal_hrd_parameters_present_flag", 1, 0),
                                     U("vcl_hrd_parameters_present_flag", 1, 0), U("fixed_pic_rate_general_flag", 1, 1),
                                     UE("elemental_duration_in_tc_minus1", 0), UE("cpb_cnt_minus1", 0)};
      u.vps.Set("vps_timing_info_present_flag", 1).InsertAfter("vps_timing_info_present_flag", timing);
    };
  };
  const auto sccSps = [](int initializersMinus1) {
    return [=](Units& u) {
      std::vector<Element> ext = {U("sps_range_extension_flag", 1, 0), U("sps_multilayer_extension_flag", 1, 0),
                                  U("sps_3d_extension_flag", 1, 0), U("sps_scc_extension_flag", 1, 1),
                                  U("sps_extension_4bits", 4, 0), U("sps_curr_pic_ref_enabled_flag", 1, 0),
                                  U("palette_mode_enabled_flag", 1, 1), UE("palette_max_size", 64),
                                  UE("delta_palette_max_predictor_size", 64),
                                  U("sps_palette_predictor_initializers_present_flag", 1, 1),
                                  UE("sps_num_palette_predictor_initializers_minus1", initializersMinus1)};
      for (int i = 0; i < 3 * std::min(initializersMinus1 + 1, 128); ++i) ext.push_back(U("initializer", 8, i));
      ext.push_back(U("motion_vector_resolution_control_idc", 2, 0));
      ext.push_back(U("intra_boundary_filtering_disabled_flag", 1, 0));
      u.sps.Set("sps_extension_present_flag", 1).InsertAfter("sps_extension_present_flag", ext);
    };
  };
  const auto set = [](SyntaxUnit Units::*unit, const char* name, int64_t value) {
    return [=](Units& u) { (u.*unit).Set(name, value); };
  };
  constexpr auto vps = &Units::vps;
  constexpr auto sps = &Units::sps;
  constexpr auto pps = &Units::pps;

  const struct Row {
    const char* name;
    Edit edit;
    std::string expected;
  } rows[] = {
      {"baseline", [](Units&) {}, ""},
      // VPS
      {"vps_max_layers_minus1 62", set(vps, "vps_max_layers_minus1", 62), ""},
      {"vps_max_layers_minus1 63", set(vps, "vps_max_layers_minus1", 63), "vps_max_layers_minus1 out of range"},
      {"vps_max_sub_layers_minus1 6", [](Units& u) { WithSubLayers(u.vps, "vps", 6); }, ""},
      {"vps_max_sub_layers_minus1 7", set(vps, "vps_max_sub_layers_minus1", 7), "vps_max_sub_layers_minus1 out of range"},
      {"reserved 16 bits not all 1", set(vps, "vps_reserved_0xffff_16bits", 0xFFFE), "vps_reserved_ffff_16bits is not 0xffff"},
      {"vps_max_dec_pic_buffering_minus1 15", set(vps, "vps_max_dec_pic_buffering_minus1", 15), ""},
      {"vps_max_dec_pic_buffering_minus1 16", set(vps, "vps_max_dec_pic_buffering_minus1", 16), "vps_max_dec_pic_buffering_minus1 out of range"},
      {"vps_max_num_reorder_pics = buffering", set(vps, "vps_max_num_reorder_pics", 4), ""},
      {"vps_max_num_reorder_pics > buffering", set(vps, "vps_max_num_reorder_pics", 5), "vps_max_num_reorder_pics out of range"},
      {"vps_max_layer_id 62", set(vps, "vps_max_layer_id", 62), ""},
      {"vps_max_layer_id 63", set(vps, "vps_max_layer_id", 63), "vps_max_layer_id out of range"},
      {"1023 layer sets with their flags",
       [](Units& u) {
         u.vps.Set("vps_num_layer_sets_minus1", 1023)
             .InsertAfter("vps_num_layer_sets_minus1", std::vector<Element>(1023, U("layer_id_included_flag", 1, 1)));
       }, ""},
      {"1023 layer sets of 63 layers without their flags",
       [](Units& u) { u.vps.Set("vps_max_layer_id", 62).Set("vps_num_layer_sets_minus1", 1023); },
       "too many layer_id_included_flags"},
      {"vps_num_layer_sets_minus1 1024", set(vps, "vps_num_layer_sets_minus1", 1024), "vps_num_layer_sets_minus1 out of range"},
      {"vps_num_hrd_parameters = layer sets", vpsHrd(1), ""},
      {"vps_num_hrd_parameters > layer sets", vpsHrd(2), "vps_num_hrd_parameters out of range"},
      // SPS
      {"SPS without its VPS", set(sps, "sps_video_parameter_set_id", 1), "invalid sps_video_parameter_set_id in sps"},
      {"nuh_temporal_id_plus1 0", set(sps, "nuh_temporal_id_plus1", 0), "nuh_temporal_id_plus1 out of range"},
      {"sps sub-layers = VPS's",
       [](Units& u) { WithSubLayers(u.vps, "vps", 2); WithSubLayers(u.sps, "sps", 2); }, ""},
      {"sps sub-layers > VPS's",
       [](Units& u) { WithSubLayers(u.vps, "vps", 1); WithSubLayers(u.sps, "sps", 2); },
       "sps_max_sub_layers_minus1 out of range"},
      {"nesting 0 with one sub-layer",
       [](Units& u) { u.vps.Set("vps_temporal_id_nesting_flag", 0); u.sps.Set("sps_temporal_id_nesting_flag", 0); },
       "Invalid stream: sps_temporal_id_nesting_flag must be 1 if sps_max_sub_layers_minus1 is 0"},
      {"nesting 0 under a nesting VPS",
       [](Units& u) {
         WithSubLayers(u.vps, "vps", 1);
         WithSubLayers(u.sps, "sps", 1);
         u.sps.Set("sps_temporal_id_nesting_flag", 0);
       },
       "Invalid stream: sps_temporal_id_nesting_flag must be 1 if vps_temporal_id_nesting_flag is 1"},
      {"sps_seq_parameter_set_id 15",
       [](Units& u) { u.sps.Set("sps_seq_parameter_set_id", 15); u.pps.Set("pps_seq_parameter_set_id", 15); }, ""},
      {"sps_seq_parameter_set_id 16", set(sps, "sps_seq_parameter_set_id", 16), "sps_seq_parameter_set_id out of range"},
      {"chroma_format_idc 3",
       [](Units& u) {
         u.sps.Set("chroma_format_idc", 3).InsertAfter("chroma_format_idc", {U("separate_colour_plane_flag", 1, 0)});
       }, ""},
      {"chroma_format_idc 4", set(sps, "chroma_format_idc", 4), "chroma_format_idc out of range"},
      {"chroma_format_idc 259 (1 in 8 bits)", set(sps, "chroma_format_idc", 259), "chroma_format_idc out of range"},
      {"bit depths 16",
       [](Units& u) { u.sps.Set("bit_depth_luma_minus8", 8).Set("bit_depth_chroma_minus8", 8); }, ""},
      {"bit_depth_luma_minus8 9", set(sps, "bit_depth_luma_minus8", 9), "bit_depth_luma_minus8 out of range"},
      {"bit_depth_chroma_minus8 9", set(sps, "bit_depth_chroma_minus8", 9), "bit_depth_chroma_minus8 out of range"},
      {"4:2:0 luma 10 bits, chroma 8", set(sps, "bit_depth_luma_minus8", 2), "Different chroma and luma bit depth"},
      {"4:0:0 luma 10 bits, chroma 8",
       [](Units& u) { u.sps.Set("bit_depth_luma_minus8", 2).Set("chroma_format_idc", 0); }, ""},
      {"log2_max_pic_order_cnt_lsb_minus4 12", set(sps, "log2_max_pic_order_cnt_lsb_minus4", 12), ""},
      {"log2_max_pic_order_cnt_lsb_minus4 13", set(sps, "log2_max_pic_order_cnt_lsb_minus4", 13),
       "log2_max_pic_order_cnt_lsb_minus4 out of range (0-12)"},
      {"sps_max_dec_pic_buffering_minus1 15", set(sps, "sps_max_dec_pic_buffering_minus1", 15), ""},
      {"sps_max_dec_pic_buffering_minus1 16", set(sps, "sps_max_dec_pic_buffering_minus1", 16),
       "sps_max_dec_pic_buffering_minus1 out of range"},
      {"sps_max_num_reorder_pics > buffering", set(sps, "sps_max_num_reorder_pics", 5), "sps_max_num_reorder_pics out of range"},
      {"log2_min_luma_coding_block_size_minus3 27", set(sps, "log2_min_luma_coding_block_size_minus3", 27), ""},
      {"log2_min_luma_coding_block_size_minus3 28", set(sps, "log2_min_luma_coding_block_size_minus3", 28),
       "log2_min_luma_coding_block_size_minus3 out of range"},
      {"log2_diff_max_min_luma_coding_block_size 30", set(sps, "log2_diff_max_min_luma_coding_block_size", 30), ""},
      {"log2_diff_max_min_luma_coding_block_size 31", set(sps, "log2_diff_max_min_luma_coding_block_size", 31),
       "log2_diff_max_min_luma_coding_block_size out of range"},
      {"smallest transform = smallest coding block", set(sps, "log2_min_luma_transform_block_size_minus2", 1),
       "Invalid value for log2_min_luma_transform_block_size_minus2"},
      {"log2_diff_max_min_luma_transform_block_size 30", set(sps, "log2_diff_max_min_luma_transform_block_size", 30), ""},
      {"log2_diff_max_min_luma_transform_block_size 31", set(sps, "log2_diff_max_min_luma_transform_block_size", 31),
       "log2_diff_max_min_luma_transform_block_size out of range"},
      {"PCM at the sample bit depths", pcm(7, 7), ""},
      {"PCM luma deeper than luma", pcm(8, 7), "pcm_sample_bit_depth_luma_minus1 out of range"},
      {"PCM chroma deeper than chroma", pcm(7, 8), "pcm_sample_bit_depth_chroma_minus1 out of range"},
      {"64 short-term sets", shortTermSets(64), ""},
      {"65 short-term sets", shortTermSets(65), "Too many short term RPS"},
      {"32 long-term pictures", longTermPics(32), ""},
      {"33 long-term pictures", longTermPics(33), "Too many long term ref pics"},
      {"128 palette initializers", sccSps(127), ""},
      {"129 palette initializers", sccSps(128), "sps_num_palette_predictor_initializers out of range"},
      // PPS
      {"PPS without its SPS", set(pps, "pps_seq_parameter_set_id", 1), "invalid seq_parameter_set_id in pps"},
      {"pps_pic_parameter_set_id 63", set(pps, "pps_pic_parameter_set_id", 63), ""},
      {"pps_pic_parameter_set_id 64", set(pps, "pps_pic_parameter_set_id", 64), "PPS id out of range"},
      {"pps_seq_parameter_set_id 16", set(pps, "pps_seq_parameter_set_id", 16), "SPS id out of range"},
      {"num_ref_idx_l0_default_active_minus1 14", set(pps, "num_ref_idx_l0_default_active_minus1", 14), ""},
      {"num_ref_idx_l0_default_active_minus1 15", set(pps, "num_ref_idx_l0_default_active_minus1", 15), "Too many default refs in PPS"},
      {"num_ref_idx_l1_default_active_minus1 15", set(pps, "num_ref_idx_l1_default_active_minus1", 15), "Too many default refs in PPS"},
      {"diff_cu_qp_delta_depth = CTB depth", set(pps, "diff_cu_qp_delta_depth", 3), ""},
      {"diff_cu_qp_delta_depth > CTB depth", set(pps, "diff_cu_qp_delta_depth", 4), "diff_cu_qp_delta_depth is invalid"},
      {"pps_cb_qp_offset -12", set(pps, "pps_cb_qp_offset", -12), ""},
      {"pps_cb_qp_offset 12", set(pps, "pps_cb_qp_offset", 12), ""},
      {"pps_cb_qp_offset -13", set(pps, "pps_cb_qp_offset", -13), "pps_cb_qp_offset out of range"},
      {"pps_cb_qp_offset 13", set(pps, "pps_cb_qp_offset", 13), "pps_cb_qp_offset out of range"},
      {"pps_cr_qp_offset 13", set(pps, "pps_cr_qp_offset", 13), "pps_cr_qp_offset out of range"},
      {"21 x 23 tiles as wide and high as the picture", [](Units& u) { WithTiles(u, 20, 22, 64, 64); }, ""},
      {"22 tile columns", [](Units& u) { WithTiles(u, 21, 0, 0, 0); }, "num_tile_columns_minus1 out of range"},
      {"24 tile rows", [](Units& u) { WithTiles(u, 0, 23, 0, 0); }, "num_tile_rows_minus1 out of range"},
      {"tile wider than the picture", [](Units& u) { WithTiles(u, 1, 1, 65, 0); }, "column_width_minus1 out of range"},
      {"tile higher than the picture", [](Units& u) { WithTiles(u, 1, 1, 0, 65); }, "row_height_minus1 out of range"},
      {"deblocking offsets -6 and 6",
       [](Units& u) {
         u.pps.Set("deblocking_filter_control_present_flag", 1)
             .InsertAfter("deblocking_filter_control_present_flag",
                          {U("deblocking_filter_override_enabled_flag", 1, 0), U("pps_deblocking_filter_disabled_flag", 1, 0),
                           SE("pps_beta_offset_div2", -6), SE("pps_tc_offset_div2", 6)});
       }, ""},
      {"pps_beta_offset_div2 7",
       [](Units& u) {
         u.pps.Set("deblocking_filter_control_present_flag", 1)
             .InsertAfter("deblocking_filter_control_present_flag",
                          {U("deblocking_filter_override_enabled_flag", 1, 0), U("pps_deblocking_filter_disabled_flag", 1, 0),
                           SE("pps_beta_offset_div2", 7), SE("pps_tc_offset_div2", 0)});
       }, "pps_beta_offset_div2 out of range"},
      {"pps_tc_offset_div2 -7",
       [](Units& u) {
         u.pps.Set("deblocking_filter_control_present_flag", 1)
             .InsertAfter("deblocking_filter_control_present_flag",
                          {U("deblocking_filter_override_enabled_flag", 1, 0), U("pps_deblocking_filter_disabled_flag", 1, 0),
                           SE("pps_beta_offset_div2", 0), SE("pps_tc_offset_div2", -7)});
       }, "pps_tc_offset_div2 out of range"},
      {"merge level = CTB size", set(pps, "log2_parallel_merge_level_minus2", 4), ""},
      {"merge level > CTB size", set(pps, "log2_parallel_merge_level_minus2", 5), "log2_parallel_merge_level_minus2 out of range"},
      {"6 chroma QP offsets", [](Units& u) { WithRangeExtensionPPS(u, 5, 0); }, ""},
      {"7 chroma QP offsets", [](Units& u) { WithRangeExtensionPPS(u, 6, 0); },
       "chroma_qp_offset_list_len_minus1 shall be in the range [0, 5]"},
      {"SAO offset scale above 8-bit luma's", [](Units& u) { WithRangeExtensionPPS(u, 0, 1); }, "log2_sao_offset_scale_luma out of range"},
      {"multilayer PPS extension", [](Units& u) { WithPPSExtension(u, "pps_multilayer_extension_flag"); }, ""},
      {"3D PPS extension", [](Units& u) { WithPPSExtension(u, "pps_3d_extension_flag"); }, "pps_3d_extension not implemented"},
      {"colour transform offsets at their bounds", [](Units& u) { WithSCCPPS(u, 17, -9, 128, 0); }, ""},
      {"pps_act_y_qp_offset_plus5 18", [](Units& u) { WithSCCPPS(u, 18, 0, 1, 0); }, "pps_act_y_qp_offset_plus5 out of range"},
      {"pps_act_cr_qp_offset_plus3 -10", [](Units& u) { WithSCCPPS(u, 0, -10, 1, 0); }, "pps_act_cr_qp_offset_plus3 out of range"},
      {"129 PPS palette initializers", [](Units& u) { WithSCCPPS(u, 0, 0, 129, 0); }, "pps_num_palette_predictor_initializers out of range"},
      {"palette entries of another bit depth", [](Units& u) { WithSCCPPS(u, 0, 0, 1, 2); }, "Invalid value of luma_bit_depth_entry_minus8"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Units units;
    row.edit(units);
    HEVC_PS ps;
    const std::optional<Failure> failure = Probe([&] {
      AddUnit(ps, units.vps);
      AddUnit(ps, units.sps);
      AddUnit(ps, units.pps);
    });
    if (row.expected.empty()) {
      EXPECT_FALSE(failure) << failure->message;
      EXPECT_EQ(ps.pps_list.size(), 1u);
    } else {
      ASSERT_TRUE(failure);
      EXPECT_EQ(failure->message, row.expected);
      EXPECT_TRUE(failure->bitstream);
      EXPECT_EQ(failure->file, kUnitPath);
      EXPECT_EQ(failure->function, "Decode");
    }
  }
}


// What the collection stores: one record per id in id order, the last one of an id winning,
// nothing for other NAL unit types or for units that fail.
TEST(HEVCParameterSets, CollectionOrderAndReplacement) {
  const auto spsWith = [](int id, int width) {
    return BaseSPS().Set("sps_seq_parameter_set_id", id).Set("pic_width_in_luma_samples", width);
  };
  const struct Row {
    const char* name;
    std::vector<SyntaxUnit> units;  // after the baseline VPS
    std::vector<std::pair<int, int>> expected;  // (id, width) of sps_list in order
  } rows[] = {
      {"ids 3, 0, 1 are listed 0, 1, 3", {spsWith(3, 16), spsWith(0, 32), spsWith(1, 48)}, {{0, 32}, {1, 48}, {3, 16}}},
      {"the later SPS of an id wins", {spsWith(2, 16), spsWith(5, 8), spsWith(2, 32)}, {{2, 32}, {5, 8}}},
      {"a failing SPS leaves the stored one", {spsWith(1, 16), spsWith(1, 32).Set("chroma_format_idc", 4)}, {{1, 16}}},
      {"AUD, prefix SEI and a slice are ignored",
       {Concat({NalHeader(35), {U("pic_type", 3, 0)}}), Concat({NalHeader(39), {U("payload", 16, 0x0101)}}),
        Concat({NalHeader(1), {U("slice", 8, 0xAC)}})},
       {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    HEVC_PS ps;
    AddUnit(ps, BaseVPS());
    for (const SyntaxUnit& unit : row.units) Probe([&] { AddUnit(ps, unit); });
    std::vector<std::pair<int, int>> stored;
    for (const auto& sps : ps.sps_list) stored.emplace_back(sps->sps_seq_parameter_set_id, sps->pic_width_in_luma_samples);
    EXPECT_EQ(stored, row.expected);
    for (size_t i = 0; i < row.expected.size(); ++i) {
      EXPECT_EQ(ps.GetSPS(static_cast<uint8_t>(row.expected[i].first)), ps.sps_list[i]);
    }
    EXPECT_EQ(ps.GetSPS(9), nullptr);
    EXPECT_EQ(ps.vps_list.size(), 1u);
    EXPECT_TRUE(ps.pps_list.empty());
  }
}

// An empty unit has no header to be told by: it is refused, and nothing is stored.
TEST(HEVCParameterSets, EmptyUnitIsRefused) {
  HEVC_PS ps;
  const uint8_t byte = 0x40;
  const std::optional<Failure> failure = Probe([&] { ps.AddNALU(NALU{&byte, 0}); });
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->message, "Empty NAL unit");
  EXPECT_EQ(failure->function, "AddNALU");
  EXPECT_EQ(failure->file, kUnitPath);
  EXPECT_TRUE(ps.vps_list.empty());
}

// A codec configuration gives its sets in any order; the collection gets every VPS, then every
// SPS, then every PPS.
TEST(HEVCParameterSets, FromCodecConfiguration) {
  std::vector<uint8_t> annexB;
  for (const SyntaxUnit& unit : {BasePPS(), BaseSPS(), BaseVPS()}) {
    annexB.insert(annexB.end(), {0, 0, 0, 1});
    const std::vector<uint8_t> bytes = unit.Bytes();
    annexB.insert(annexB.end(), bytes.begin(), bytes.end());
  }
  const auto ps = HEVC_PS::FromCodecConfiguration(Orvane::Proc::BlobFF::Create(annexB.data(), annexB.size()));
  EXPECT_EQ(ps->vps_list.size(), 1u);
  EXPECT_EQ(ps->sps_list.size(), 1u);
  EXPECT_EQ(ps->pps_list.size(), 1u);
}

// profile_tier_level: how many bits it takes, the profile inferred from the compatibility flags,
// the constraint flags that each profile family has, and the too-short tests.
TEST(HEVCParameterSets, ProfileTierLevel) {
  const auto block = [](int idc, uint32_t compatibility, uint64_t constraint43) {
    std::vector<Element> b = GeneralProfile(idc, compatibility);
    b[8].value = static_cast<int64_t>(constraint43);  // general_constraint_43bits
    return b;
  };
  const struct Row {
    const char* name;
    uint32_t maxNumSubLayersMinus1;
    std::vector<Element> elements;
    uint64_t expectedBits;  // 0: fails
    std::string expected;   // failure, or "profile_idc/one_picture/max_12bit/max_14bit/lower_bit_rate"
  } rows[] = {
      {"one sub-layer: 96 bits", 0, Cat(block(1, 0x60000000, 0), {U("level", 8, 93)}), 96, "1/0/0/0/0"},
      {"two sub-layers, nothing present: 112 bits", 1,
       Cat(block(1, 0x60000000, 0), {U("level", 8, 93), U("flags", 2, 0), U("reserved", 14, 0)}), 112, "1/0/0/0/0"},
      {"profile 0 with flags 1 and 2 is profile 1", 0, Cat(block(0, 0x60000000, 0), {U("level", 8, 93)}), 96, "1/0/0/0/0"},
      {"profile 0 with flag 0 only stays 0", 0, Cat(block(0, 0x80000000, 0), {U("level", 8, 93)}), 96, "0/0/0/0/0"},
      // 43 bits: max_12bit first, ..., one_picture_only 8th, lower_bit_rate 9th, max_14bit 10th.
      {"range extensions read their flags", 0, Cat(block(4, 0, 0b1000000110ull << 33), {U("level", 8, 93)}), 96, "4/1/1/0/1"},
      {"high throughput reads max_14bit", 0, Cat(block(5, 0, 0b0000000001ull << 33), {U("level", 8, 93)}), 96, "5/0/0/1/0"},
      {"a flag-compatible profile 9 counts as 5", 0, Cat(block(1, 1u << (31 - 9), 0b0000000001ull << 33), {U("level", 8, 93)}), 96, "1/0/0/1/0"},
      {"Main 10 reads one_picture_only after 7 bits", 0, Cat(block(2, 0, 1ull << 35), {U("level", 8, 93)}), 96, "2/1/0/0/0"},
      {"Main ignores what is reserved", 0, Cat(block(1, 0, (1ull << 43) - 1), {U("level", 8, 93)}), 96, "1/0/0/0/0"},
      {"87 bits of profile block", 0, {U("bits", 43, 0), U("bits", 44, 0)}, 0, "PTL information too short"},
      {"profile block without a level", 0, block(1, 0x60000000, 0), 0, "PTL information too short"},
      {"sub-layer flags cut short", 1, Cat(block(1, 0x60000000, 0), {U("level", 8, 93), U("flags", 8, 0)}), 0,
       "PTL information too short"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    SyntaxUnit unit;
    unit.Append(row.elements);
    const std::vector<uint8_t> bytes = unit.RBSP(false);
    BitsReader r(bytes.data(), bytes.size());
    HEVC_PTL ptl{};
    const std::optional<Failure> failure = Probe([&] { ptl.Decode(r, row.maxNumSubLayersMinus1); });
    if (row.expectedBits == 0) {
      ASSERT_TRUE(failure);
      EXPECT_EQ(failure->message, row.expected);
      continue;
    }
    ASSERT_FALSE(failure) << failure->message;
    EXPECT_EQ(r.GetPosition(), row.expectedBits);
    const HEVC_ProfileInfo& g = ptl.general;
    EXPECT_EQ(std::to_string(g.profile_idc) + "/" + std::to_string(g.one_picture_only_constraint_flag) + "/" +
                  std::to_string(g.max_12bit_constraint_flag) + "/" + std::to_string(g.max_14bit_constraint_flag) + "/" +
                  std::to_string(g.lower_bit_rate_constraint_flag),
              row.expected);
    EXPECT_EQ(g.level_idc, 93);
  }
}

// What the VPS keeps beyond its range tests: ordering values for every sub-layer, the fixed
// first layer set, and hrd_parameters entries with and without their common information.
TEST(HEVCParameterSets, VPSStructure) {
  SyntaxUnit vps = BaseVPS();
  WithSubLayers(vps, "vps", 2);  // ordering values coded for sub-layer 2 only
  vps.Set("vps_max_dec_pic_buffering_minus1", 6).Set("vps_max_num_reorder_pics", 3).Set("vps_max_latency_increase_plus1", 9);
  vps.Set("vps_max_layer_id", 2).Set("vps_num_layer_sets_minus1", 1);
  vps.InsertAfter("vps_num_layer_sets_minus1", {U("layer_id_included_flag[1]", 3, 0b101)});
  vps.Set("vps_timing_info_present_flag", 1)
      .InsertAfter("vps_timing_info_present_flag",
                   {U("vps_num_units_in_tick", 32, 1001), U("vps_time_scale", 32, 60000),
                    U("vps_poc_proportional_to_timing_flag", 1, 1), UE("vps_num_ticks_poc_diff_one_minus1", 1),
                    UE("vps_num_hrd_parameters", 2), UE("hrd_layer_set_idx", 0),
                    // hrd_parameters(1, 2): NAL HRD, sub-layers 0 and 1 fixed rate, 2 low delay
                    U("nal_hrd_parameters_present_flag", 1, 1), U("vcl_hrd_parameters_present_flag", 1, 0),
                    U("sub_pic_hrd_params_present_flag", 1, 0), U("bit_rate_scale", 4, 2), U("cpb_size_scale", 4, 3),
                    U("initial_cpb_removal_delay_length_minus1", 5, 20), U("au_cpb_removal_delay_length_minus1", 5, 21),
                    U("dpb_output_delay_length_minus1", 5, 22), U("fixed_pic_rate_general_flag[0]", 1, 1),
                    UE("elemental_duration_in_tc_minus1[0]", 300), UE("cpb_cnt_minus1[0]", 1),
                    UE("bit_rate_value_minus1[0]", 7), UE("cpb_size_value_minus1[0]", 8), U("cbr_flag[0]", 1, 0),
                    UE("bit_rate_value_minus1[1]", 17), UE("cpb_size_value_minus1[1]", 18), U("cbr_flag[1]", 1, 1),
                    U("fixed_pic_rate_general_flag[1]", 1, 0), U("fixed_pic_rate_within_cvs_flag[1]", 1, 1),
                    UE("elemental_duration_in_tc_minus1[1]", 0), UE("cpb_cnt_minus1[1]", 0),
                    UE("bit_rate_value_minus1[0]", 27), UE("cpb_size_value_minus1[0]", 28), U("cbr_flag[0]", 1, 0),
                    U("fixed_pic_rate_general_flag[2]", 1, 0), U("fixed_pic_rate_within_cvs_flag[2]", 1, 0),
                    U("low_delay_hrd_flag[2]", 1, 1), UE("bit_rate_value_minus1[0]", 37), UE("cpb_size_value_minus1[0]", 38),
                    U("cbr_flag[0]", 1, 0),
                    // second entry without common information: counts only, no CPB entries
                    UE("hrd_layer_set_idx", 1), U("cprms_present_flag", 1, 0), U("fixed_pic_rate_general_flag[0]", 1, 0),
                    U("fixed_pic_rate_within_cvs_flag[0]", 1, 0), U("low_delay_hrd_flag[0]", 1, 0), UE("cpb_cnt_minus1[0]", 31),
                    U("fixed_pic_rate_general_flag[1]", 1, 1), UE("elemental_duration_in_tc_minus1[1]", 0),
                    UE("cpb_cnt_minus1[1]", 0), U("fixed_pic_rate_general_flag[2]", 1, 1),
                    UE("elemental_duration_in_tc_minus1[2]", 0), UE("cpb_cnt_minus1[2]", 5)});
  HEVC_PS ps;
  AddUnit(ps, vps);
  const HEVC_VPS& v = *ps.GetVPS(0);
  for (int i = 0; i < 3; ++i) {
    SCOPED_TRACE(i);
    EXPECT_EQ(v.vps_max_dec_pic_buffering_minus1[i], 6);
    EXPECT_EQ(v.vps_max_num_reorder_pics[i], 3);
    EXPECT_EQ(v.vps_max_latency_increase_plus1[i], 9u);
  }
  EXPECT_EQ(v.GetMaxNumReorderPics(), 3u);
  ASSERT_EQ(v.layer_id_included_flag.size(), 2u);
  EXPECT_EQ((std::vector<int>{v.layer_id_included_flag[0][0], v.layer_id_included_flag[0][1], v.layer_id_included_flag[0][2]}),
            (std::vector<int>{1, 0, 0}));
  EXPECT_EQ((std::vector<int>{v.layer_id_included_flag[1][0], v.layer_id_included_flag[1][1], v.layer_id_included_flag[1][2]}),
            (std::vector<int>{1, 0, 1}));
  EXPECT_EQ(v.vps_num_ticks_poc_diff_one_minus1, 1u);
  ASSERT_EQ(v.hrd_parameters.size(), 2u);
  const HEVC_HRD& h = v.hrd_parameters[0];
  EXPECT_EQ(h.dpb_output_delay_length_minus1, 22);
  EXPECT_EQ(h.elemental_duration_in_tc_minus1[0], 300);
  EXPECT_EQ(h.nal_sub_layer_hrd[0].cpb_size_value_minus1[1], 18u);
  EXPECT_EQ(h.nal_sub_layer_hrd[0].cbr_flag[1], 1);
  EXPECT_EQ(h.fixed_pic_rate_within_cvs_flag[0], 1);  // inferred from the general flag
  EXPECT_EQ(h.nal_sub_layer_hrd[1].bit_rate_value_minus1[0], 27u);
  EXPECT_EQ(h.low_delay_hrd_flag[2], 1);
  EXPECT_EQ(h.nal_sub_layer_hrd[2].cpb_size_value_minus1[0], 38u);
  const HEVC_HRD& second = v.hrd_parameters[1];
  EXPECT_EQ(v.cprms_present_flag[0], 1);
  EXPECT_EQ(v.cprms_present_flag[1], 0);
  EXPECT_EQ(v.hrd_layer_set_idx[1], 1);
  EXPECT_EQ(second.initial_cpb_removal_delay_length_minus1, 23);
  EXPECT_EQ(second.cpb_cnt_minus1[0], 31);
  EXPECT_EQ(second.cpb_cnt_minus1[2], 5);
  EXPECT_EQ(v.vps_extension_flag, 0);
}

// cpb_cnt_minus1 at its bound reads 32 CPB entries; one more is refused.
TEST(HEVCParameterSets, HRDCpbCount) {
  const struct Row {
    const char* name;
    uint32_t cpbCntMinus1;
    std::string expected;
  } rows[] = {{"32 CPBs", 31, ""}, {"33 CPBs", 32, "cpb_cnt_minus1 out of range"}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Bits b;
    b.u(1, 0).u(1, 1).u(1, 1);  // nal and vcl HRD, sub-picture parameters
    b.u(8, 5).u(5, 6).u(1, 1).u(5, 7).u(4, 1).u(4, 2).u(4, 3).u(5, 8).u(5, 9).u(5, 10);
    b.u(1, 0).u(1, 0).u(1, 0).ue(row.cpbCntMinus1);  // sub-layer 0: variable rate, not low delay
    for (uint32_t j = 0; j <= std::min(row.cpbCntMinus1, 31u); ++j) b.ue(j).ue(j + 1).ue(j + 2).ue(j + 3).u(1, j & 1);
    b.u(8, 0xFF);
    BitsReader r(b.out.data(), b.out.size());
    HEVC_HRD hrd{};
    const std::optional<Failure> failure = Probe([&] { hrd.Decode(r, 1, 0); });
    if (!row.expected.empty()) {
      ASSERT_TRUE(failure);
      EXPECT_EQ(failure->message, row.expected);
      continue;
    }
    ASSERT_FALSE(failure) << failure->message;
    EXPECT_EQ(r.BitsLeft(), b.out.size() * 8 - (b.n - 8));
    EXPECT_EQ(hrd.vcl_sub_layer_hrd[0].bit_rate_du_value_minus1[31], 34u);
    EXPECT_EQ(hrd.vcl_sub_layer_hrd[0].cbr_flag[31], 1);
    EXPECT_EQ(hrd.tick_divisor_minus2, 5);
    EXPECT_EQ(hrd.cpb_size_du_scale, 3);
  }
}

// The SPS extensions: the range and screen-content fields are kept, the multilayer and 3D ones
// read past, in this order.
TEST(HEVCParameterSets, SPSExtensions) {
  const auto extensions = [](int range, int multilayer, int threeD, int scc) {
    std::vector<Element> e = {U("sps_range_extension_flag", 1, range), U("sps_multilayer_extension_flag", 1, multilayer),
                              U("sps_3d_extension_flag", 1, threeD), U("sps_scc_extension_flag", 1, scc),
                              U("sps_extension_4bits", 4, 0)};
    if (range) e.push_back(U("range extension flags", 9, 0b101010101));
    if (multilayer) e.push_back(U("inter_view_mv_vert_constraint_flag", 1, 1));
    if (threeD) e = Cat(e, {U("d0 flags", 2, 3), UE("log2_ivmc_sub_pb_size_minus3", 5), U("d0 flags", 4, 15),
                            U("d1 flags", 3, 7), UE("log2_texmc_sub_pb_size_minus3", 6), U("d1 flags", 5, 31)});
    if (scc) e = Cat(e, {U("sps_curr_pic_ref_enabled_flag", 1, 1), U("palette_mode_enabled_flag", 1, 0),
                         U("motion_vector_resolution_control_idc", 2, 2), U("intra_boundary_filtering_disabled_flag", 1, 1)});
    return e;
  };
  const struct Row {
    const char* name;
    std::vector<Element> extension;
    std::vector<int> expected;  // range flags 1, 2 and 9; sps_curr_pic_ref, mv resolution, intra boundary
  } rows[] = {
      {"range", extensions(1, 0, 0, 0), {1, 0, 1, 0, 0, 0}},
      {"multilayer and 3D before screen content", extensions(0, 1, 1, 1), {0, 0, 0, 1, 2, 1}},
      {"all four", extensions(1, 1, 1, 1), {1, 0, 1, 1, 2, 1}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Units units;
    units.sps.Set("sps_extension_present_flag", 1).InsertAfter("sps_extension_present_flag", row.extension);
    HEVC_PS ps;
    AddUnit(ps, units.vps);
    AddUnit(ps, units.sps);
    const HEVC_SPS& s = *ps.GetSPS(0);
    EXPECT_EQ((std::vector<int>{s.transform_skip_rotation_enabled_flag, s.transform_skip_context_enabled_flag,
                                s.cabac_bypass_alignment_enabled_flag, s.sps_curr_pic_ref_enabled_flag,
                                s.motion_vector_resolution_control_idc, s.intra_boundary_filtering_disabled_flag}),
              row.expected);
  }
}

// An SPS of a layer above the base: its sub-layer count is not tested against the VPS, and with
// the value 7 it takes sub-layers and nesting from the VPS and has no PTL, chroma format, size,
// bit depths or ordering of its own.
TEST(HEVCParameterSets, LayerSPS) {
  Units units;
  WithSubLayers(units.vps, "vps", 2);
  units.vps.Set("vps_temporal_id_nesting_flag", 0);
  HEVC_PS ps;
  AddUnit(ps, units.vps);

  SyntaxUnit own = BaseSPS();
  WithSubLayers(own, "sps", 3);
  own.Set("nuh_layer_id", 1).Set("sps_seq_parameter_set_id", 1);
  AddUnit(ps, own);
  const HEVC_SPS& o = *ps.GetSPS(1);
  EXPECT_EQ(o.sps_ext_or_max_sub_layers_minus1, 3);
  EXPECT_EQ(o.sps_max_sub_layers_minus1, 3);
  EXPECT_EQ(o.pic_width_in_luma_samples, 64);

  const SyntaxUnit fromVPS = Concat(
      {NalHeader(33, 1),
       {U("sps_video_parameter_set_id", 4, 0), U("sps_ext_or_max_sub_layers_minus1", 3, 7), UE("sps_seq_parameter_set_id", 2),
        U("update_rep_format_flag", 1, 1), U("sps_rep_format_idx", 8, 3), UE("log2_max_pic_order_cnt_lsb_minus4", 4),
        UE("log2_min_luma_coding_block_size_minus3", 0), UE("log2_diff_max_min_luma_coding_block_size", 3),
        UE("log2_min_luma_transform_block_size_minus2", 0), UE("log2_diff_max_min_luma_transform_block_size", 3),
        UE("max_transform_hierarchy_depth_inter", 0), UE("max_transform_hierarchy_depth_intra", 0),
        U("scaling_list_enabled_flag", 1, 1), U("sps_infer_scaling_list_flag", 1, 1), U("sps_scaling_list_ref_layer_id", 6, 5),
        U("amp_enabled_flag", 1, 0), U("sample_adaptive_offset_enabled_flag", 1, 1), U("pcm_enabled_flag", 1, 0),
        UE("num_short_term_ref_pic_sets", 0), U("long_term_ref_pics_present_flag", 1, 0),
        U("sps_temporal_mvp_enabled_flag", 1, 1), U("strong_intra_smoothing_enabled_flag", 1, 1),
        U("vui_parameters_present_flag", 1, 0), U("sps_extension_present_flag", 1, 0)}});
  AddUnit(ps, fromVPS);
  const HEVC_SPS& v = *ps.GetSPS(2);
  EXPECT_EQ(v.sps_ext_or_max_sub_layers_minus1, 7);
  EXPECT_EQ(v.sps_max_sub_layers_minus1, 2);
  EXPECT_EQ(v.sps_temporal_id_nesting_flag, 0);
  EXPECT_EQ(v.update_rep_format_flag, 1);
  EXPECT_EQ(v.sps_rep_format_idx, 3);
  EXPECT_EQ(v.pic_width_in_luma_samples, 0);
  EXPECT_EQ(v.sps_infer_scaling_list_flag, 1);
  EXPECT_EQ(v.sps_scaling_list_ref_layer_id, 5);
  EXPECT_EQ(v.sample_adaptive_offset_enabled_flag, 1);
  EXPECT_EQ(v.profile_tier_level.general.profile_idc, 0);
}

// The sizes, colour and reorder depth that consumers read from an SPS.
TEST(HEVCParameterSets, SPSAccessors) {
  const struct Row {
    const char* name;
    int chroma_format_idc;
    int width, height;
    std::vector<int> window;  // left, right, top, bottom; empty: no window
    std::pair<uint32_t, uint32_t> expected;
  } rows[] = {
      {"4:2:0, 4 rows off the bottom", 1, 1920, 1080, {0, 0, 0, 4}, {1920, 1072}},
      {"4:2:2, 4 rows off the bottom", 2, 1920, 1080, {0, 0, 0, 4}, {1920, 1076}},
      {"4:2:2, 3 columns off the sides", 2, 1920, 1080, {1, 2, 0, 0}, {1914, 1080}},
      {"4:4:4", 3, 1000, 564, {0, 0, 0, 1}, {1000, 563}},
      {"4:0:0", 0, 64, 48, {2, 2, 1, 1}, {60, 46}},
      {"no window", 1, 1920, 1080, {}, {1920, 1080}},
      {"a window of the whole width", 1, 64, 64, {16, 16, 0, 0}, {64, 64}},
      {"a window wider than the picture", 1, 64, 64, {0, 40, 0, 0}, {64, 64}},
      {"a window of the whole height", 2, 64, 64, {0, 0, 30, 34}, {64, 64}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    SyntaxUnit sps = BaseSPS();
    sps.Set("chroma_format_idc", row.chroma_format_idc)
        .Set("pic_width_in_luma_samples", row.width)
        .Set("pic_height_in_luma_samples", row.height);
    if (row.chroma_format_idc == 3) sps.InsertAfter("chroma_format_idc", {U("separate_colour_plane_flag", 1, 0)});
    if (!row.window.empty()) {
      sps.Set("conformance_window_flag", 1)
          .InsertAfter("conformance_window_flag",
                       {UE("conf_win_left_offset", row.window[0]), UE("conf_win_right_offset", row.window[1]),
                        UE("conf_win_top_offset", row.window[2]), UE("conf_win_bottom_offset", row.window[3])});
    }
    HEVC_PS ps;
    AddUnit(ps, BaseVPS());
    AddUnit(ps, sps);
    EXPECT_EQ(ps.GetSPS(0)->GetCodedSize(), std::make_pair(uint32_t(row.width), uint32_t(row.height)));
    EXPECT_EQ(ps.GetSPS(0)->GetPictureSize(), row.expected);
  }
}

// glog lines while alive, as "severity text".
class LogLines : public google::LogSink {
 public:
  LogLines() { google::AddLogSink(this); }
  ~LogLines() override { google::RemoveLogSink(this); }
  void send(google::LogSeverity severity, const char*, const char*, int, const google::LogMessageTime&,
            const char* message, size_t length) override {
    lines.push_back(std::to_string(severity) + " " + std::string(message, length));
  }
  std::vector<std::string> lines;
};

// vui_parameters, and the one-time repair of a VUI written without default_display_window_flag.
TEST(HEVCParameterSets, VUIRepair) {
  // Heads of 7, 12 and 13 bits: the common part and the three flags before the window, so that
  // the data can end where a row needs it to.
  const auto head7 = [](Bits& b) { b.u(4, 0).u(3, 0); };
  const auto head12 = [](Bits& b) { b.u(2, 0).u(1, 1).u(3, 5).u(2, 0).u(1, 0).u(3, 0); };
  const auto head13 = [](Bits& b) { b.u(1, 0).u(2, 0b10).u(1, 1).u(3, 5).u(2, 0).u(1, 0).u(3, 0); };
  const auto timing1001 = [](Bits& b) { b.u(1, 1).u(32, 1001).u(32, 60000).u(1, 0).u(1, 0); };
  const struct Row {
    const char* name;
    std::function<void(Bits&)> write;
    int warnings;
    // default_display_window_flag, left offset, timing flag, num_units_in_tick, restriction flag,
    // min_spatial_segmentation_idc, bits left
    std::vector<int64_t> expected;
  } rows[] = {
      {"a regular VUI",
       [&](Bits& b) {
         head7(b);
         b.u(1, 1).ue(8).ue(0).ue(0).ue(0);                  // window
         timing1001(b);
         b.u(1, 1).u(3, 0).ue(4).ue(2).ue(1).ue(15).ue(15);  // restriction
         b.u(8, 0x80);
       },
       0, {1, 8, 1, 1001, 1, 4, 10}},
      {"timing where the window flag should be",
       [&](Bits& b) {
         head7(b);
         timing1001(b);  // 1 then twenty 0s
         b.u(1, 0).u(8, 0x80);
       },
       1, {0, 0, 1, 1001, 0, 0, 13}},
      {"the same look, 67 bits left: a window",
       [&](Bits& b) {
         head13(b);
         b.u(1, 1).ue((1u << 20) - 1 + 5).ue(0).ue(0).ue(0).u(1, 0).u(1, 0);  // 47 bits
         b.u(20, 0xFFFFF);
       },
       0, {1, 4, 0, 0, 0, 0, 20}},
      {"the same look, 68 bits left, ending with the data",
       [&](Bits& b) {
         head12(b);
         timing1001(b);
         b.u(1, 0);
       },
       2, {0, 0, 1, 1001, 0, 0, 0}},
      {"a timing block cut short",
       [&](Bits& b) {
         head7(b);
         b.u(1, 0).u(1, 1);                        // window 0, timing 1, then 15 bits
         b.u(3, 0).ue(0).ue(0).ue(0).ue(0).ue(0);  // the second pass reads them as a restriction
       },
       1, {0, 0, 0, 0, 1, 0, 7}},
      {"a restriction cut short",
       [&](Bits& b) {
         head7(b);
         b.u(1, 0).u(1, 0).u(1, 1).u(6, 0);  // window 0, timing 0, restriction 1 with 6 bits
       },
       1, {0, 0, 0, 0, 0, 0, 7}},
      {"a VUI that ends with the data",
       [&](Bits& b) {
         head13(b);
         b.u(1, 0).u(1, 0).u(1, 0);  // the second pass ends one bit early
       },
       1, {0, 0, 0, 0, 0, 0, 1}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Bits b;
    row.write(b);
    BitsReader r(b.out.data(), b.out.size());
    HEVC_VUI vui{};
    LogLines log;
    const std::optional<Failure> failure = Probe([&] { vui.Decode(r, 0); });
    ASSERT_FALSE(failure) << failure->message;
    EXPECT_EQ(log.lines, std::vector<std::string>(row.warnings, "1 Invalid default display window"));
    EXPECT_EQ((std::vector<int64_t>{vui.default_display_window_flag, vui.def_disp_win_left_offset,
                                    vui.vui_timing_info_present_flag, vui.vui_num_units_in_tick,
                                    vui.bitstream_restriction_flag, vui.min_spatial_segmentation_idc,
                                    static_cast<int64_t>(r.BitsLeft())}),
              row.expected);
  }
}

// PPS extension branches beyond their range tests: the range extension only from the range
// extensions profiles on, the multilayer extension kept with a verbose trace line, a screen-
// content PPS without palette initializers.
TEST(HEVCParameterSets, PPSExtensions) {
  const struct Row {
    const char* name;
    std::function<void(Units&)> edit;
    std::vector<int> expected;  // chroma_qp_offset_list_enabled_flag, cr_qp_offset_list[1], pps_range_extension_flag,
                                // pps_scc_extension_flag, pps_act_y_qp_offset_plus5, pps_num_palette_predictor_initializers
    std::vector<std::string> log;  // at verbosity 20
  } rows[] = {
      {"range extension under Main: nothing read",
       [](Units& u) { WithPPSExtension(u, "pps_range_extension_flag"); },
       {0, 0, 1, 0, 0, 0}, {}},
      {"range extension under the range extensions profile", [](Units& u) { WithRangeExtensionPPS(u, 3, 0); },
       {1, 1, 1, 0, 0, 0}, {}},
      {"multilayer before screen content: stops",
       [](Units& u) {
         WithSCCPPS(u, 1, 0, 0, 0);
         u.pps.Set("pps_multilayer_extension_flag", 1);
       },
       {0, 0, 0, 1, 0, 0}, {"Parse of HEVC PPS Multilayer Extension is not implemented"}},
      {"screen content without initializers",
       [](Units& u) {
         WithSCCPPS(u, 12, 0, 0, 0);
         u.pps.Remove("monochrome_palette_flag").Remove("luma_bit_depth_entry_minus8");
       },
       {0, 0, 0, 1, 12, 0}, {}},
  };
  const int verbosity = FLAGS_v;
  FLAGS_v = 20;
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Units units;
    row.edit(units);
    HEVC_PS ps;
    AddUnit(ps, units.vps);
    AddUnit(ps, units.sps);
    std::vector<std::string> log;
    {
      LogLines lines;
      const std::optional<Failure> failure = Probe([&] { AddUnit(ps, units.pps); });
      ASSERT_FALSE(failure) << failure->message;
      for (const std::string& line : lines.lines) log.push_back(line.substr(2));
    }
    const HEVC_PPS& p = *ps.GetPPS(0);
    EXPECT_EQ((std::vector<int>{p.chroma_qp_offset_list_enabled_flag, p.cr_qp_offset_list[1], p.pps_range_extension_flag,
                                p.pps_scc_extension_flag, p.pps_act_y_qp_offset_plus5,
                                p.pps_num_palette_predictor_initializers}),
              row.expected);
    EXPECT_EQ(log, row.log);
  }
  FLAGS_v = verbosity;
}

// scaling_list_data: only matrices 0 and 3 at 32x32, references to earlier lists only, and the
// coefficient ranges.
TEST(HEVCParameterSets, ScalingLists) {
  // Every matrix predicted from itself (flag 0, delta 0) except the one at (sizeId, matrixId).
  const auto lists = [](int sizeId, int matrixId, const std::function<void(Bits&)>& special) {
    Bits b;
    for (int s = 0; s < 4; ++s) {
      for (int m = 0; m < 6; m += (s == 3) ? 3 : 1) {
        if (s == sizeId && m == matrixId) {
          special(b);
        } else {
          b.u(1, 0).ue(0);
        }
      }
    }
    b.u(8, 0xA5);
    return b;
  };
  const auto coded = [](int dc, int first, int coefNum) {
    return [=](Bits& b) {
      b.u(1, 1);
      if (dc != 0) b.se(dc);
      b.se(first);
      for (int i = 1; i < coefNum; ++i) b.se(i % 2 ? 1 : -1);
    };
  };
  const auto predicted = [](int delta) { return [=](Bits& b) { b.u(1, 0).ue(delta); }; };
  const struct Row {
    const char* name;
    int sizeId, matrixId;
    std::function<void(Bits&)> special;
    std::string expected;  // failure, or "dc first delta"
  } rows[] = {
      {"4x4 list", 0, 1, coded(0, -128, 16), "0 -128 0"},
      {"8x8 list", 1, 5, coded(0, 127, 64), "0 127 0"},
      {"dc -7", 2, 0, coded(-7, 3, 64), "-7 3 0"},
      {"dc 247", 3, 3, coded(247, 3, 64), "247 3 0"},
      {"dc -8", 2, 0, coded(-8, 3, 64), "scaling_list_dc_coef_minus8 out of range"},
      {"dc 248", 3, 0, coded(248, 3, 64), "scaling_list_dc_coef_minus8 out of range"},
      {"coefficient -129", 0, 0, coded(0, -129, 16), "scaling_list_delta_coeff out of range"},
      {"coefficient 128", 1, 0, coded(0, 128, 64), "scaling_list_delta_coeff out of range"},
      {"32x32 matrix 3 from matrix 0", 3, 3, predicted(1), "0 0 1"},
      {"32x32 matrix 3 two back", 3, 3, predicted(2), "Invalid delta in scaling list data"},
      {"matrix 2 from matrix 0", 0, 2, predicted(2), "0 0 2"},
      {"matrix 2 three back", 1, 2, predicted(3), "Invalid delta in scaling list data"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const Bits b = lists(row.sizeId, row.matrixId, row.special);
    BitsReader r(b.out.data(), b.out.size());
    HEVC_ScalingList list{};
    const std::optional<Failure> failure = Probe([&] { list.Decode(r); });
    if (failure) {
      EXPECT_EQ(failure->message, row.expected);
      continue;
    }
    EXPECT_EQ(r.GetBits<uint32_t>(8), 0xA5u);  // every list read, nothing more
    const int dc = row.sizeId > 1 ? list.scaling_list_dc_coef_minus8[row.sizeId - 2][row.matrixId] : 0;
    EXPECT_EQ(std::to_string(dc) + " " + std::to_string(list.scaling_list_delta_coef[row.sizeId][row.matrixId][0]) + " " +
                  std::to_string(list.scaling_list_pred_matrix_id_delta[row.sizeId][row.matrixId]),
              row.expected);
  }
}

// st_ref_pic_set: explicit sets, prediction from the set before (SPS) or a named one (slice
// header), and the pictures a predicted set ends up with.
TEST(HEVCParameterSets, ShortTermSets) {
  // Entry 0 holds S0 = (-1, -3) and S1 = (+2); entry 1 S0 = (-8 x 8), S1 = (+1 x 8).
  auto sps = std::make_unique<HEVC_SPS>();
  sps->num_short_term_ref_pic_sets = 3;
  HEVC_ShortTermRPS& e0 = sps->st_ref_pic_set[0];
  e0.num_negative_pics = 2;
  e0.delta_poc_s0_minus1[1] = 1;
  e0.num_positive_pics = 1;
  e0.delta_poc_s1_minus1[0] = 1;
  HEVC_ShortTermRPS& e1 = sps->st_ref_pic_set[1];
  e1.num_negative_pics = e1.num_positive_pics = 8;

  const auto pocs = [](const HEVC_ShortTermRPS& set) {
    std::string out;
    for (int i = 0, poc = 0; i < set.num_negative_pics; ++i) {
      out += std::to_string(poc -= set.delta_poc_s0_minus1[i] + 1) + (set.used_by_curr_pic_s0_flag[i] ? "u " : " ");
    }
    for (int i = 0, poc = 0; i < set.num_positive_pics; ++i) {
      out += "+" + std::to_string(poc += set.delta_poc_s1_minus1[i] + 1) + (set.used_by_curr_pic_s1_flag[i] ? "u " : " ");
    }
    return out;
  };
  const auto predict = [](int sign, int absMinus1, std::vector<int> used, std::vector<int> useDelta) {
    return [=](Bits& b) {
      b.u(1, sign).ue(absMinus1);
      for (size_t j = 0; j < used.size(); ++j) {
        b.u(1, used[j]);
        if (!used[j]) b.u(1, useDelta[j]);
      }
    };
  };
  const struct Row {
    const char* name;
    int target;  // SPS entry, or -1 for a slice header's set
    std::function<void(Bits&)> write;
    std::string expected;  // pictures (u: used by the current picture), or the failure
  } rows[] = {
      {"entry 0 is explicit without a flag", 0, [](Bits& b) { b.ue(1).ue(1).ue(32766).u(1, 1).ue(4).u(1, 0); },
       "-32767u +5 "},
      {"delta_poc_s0_minus1 32767", 0, [](Bits& b) { b.ue(1).ue(0).ue(32767); }, "Invalid value of delta_poc_s0_minus1"},
      {"delta_poc_s1_minus1 32767", 0, [](Bits& b) { b.ue(0).ue(1).ue(32767); }, "Invalid value of delta_poc_s1_minus1"},
      {"16 negative pictures", 0, [](Bits& b) { b.ue(16).ue(0); }, "Too many refs in a short term RPS"},
      {"entry 1 predicted from entry 0, deltaRps -1", 1,
       [&](Bits& b) { b.u(1, 1); predict(1, 0, {1, 1, 1, 1}, {})(b); }, "-1u -2u -4u +1u "},
      {"prediction keeping only some pictures", 1,
       [&](Bits& b) { b.u(1, 1); predict(0, 1, {0, 1, 0, 0}, {0, 1, 1, 1})(b); }, "-1u +2 +4 "},
      {"prediction from a set of 16 pictures", 2, [&](Bits& b) { b.u(1, 1).u(1, 0); }, "num_delta_pocs out of range"},
      {"abs_delta_rps_minus1 32767", 1, [&](Bits& b) { b.u(1, 1); predict(0, 32767, {1, 1, 1, 1}, {})(b); },
       "Invalid value of abs_delta_rps_minus1"},
      {"slice header set predicted from entry 0", -1, [&](Bits& b) { b.u(1, 1).ue(2); predict(0, 0, {0, 0, 1, 0}, {0, 0, 1, 0})(b); },
       "+3u "},
      {"slice header set naming no entry", -1, [&](Bits& b) { b.u(1, 1).ue(3); },
       "Invalid value of delta_idx_minus1 in slice header RPS"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Bits b;
    row.write(b);
    b.u(8, 0xFF);
    BitsReader r(b.out.data(), b.out.size());
    HEVC_ShortTermRPS sliceSet{};
    HEVC_ShortTermRPS& target = row.target < 0 ? sliceSet : sps->st_ref_pic_set[row.target];
    const HEVC_ShortTermRPS saved = target;
    const std::optional<Failure> failure = Probe([&] { target.Decode(r, *sps); });
    EXPECT_EQ(failure ? failure->message : pocs(target), row.expected);
    target = saved;
  }
}

}  // namespace
