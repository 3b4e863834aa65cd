// The sequence parameter set with its VUI, and the sizes and colour that consumers read from it.
#include <algorithm>
#include <iterator>

#include <glog/logging.h>

#include "Orvane/Proc/CodecParsers/H26xBitstreamBuilder.h"
#include "Orvane/Proc/CodecParsers/HEVCCodecParams.h"
#include "Orvane/Proc/CodecParsers/HEVCSyntax.h"

namespace Orvane::Proc::CodecParsers {

using namespace hevc_syntax;

namespace {

constexpr uint32_t kSPSType = 33;
// sps_ext_or_max_sub_layers_minus1 of a layer SPS that takes its sub-layers from the VPS.
constexpr uint32_t kSubLayersFromVPS = 7;

// A default display window flag followed by these 21 bits is taken for a VUI written without
// the window (1 as vui_timing_info_present_flag, then the start of vui_num_units_in_tick).
constexpr uint32_t kMisplacedTimingBits = 21;
constexpr uint32_t kMisplacedTimingPattern = 0x100000;
constexpr uint64_t kMisplacedTimingMinBits = 68;
// What a timing block and a bitstream restriction at least take after their flags.
constexpr uint64_t kTimingMinBits = 66;
constexpr uint64_t kRestrictionMinBits = 8;

}  // namespace

// ---------------------------------------------------------------------------------------------
// seq_parameter_set_rbsp

void HEVC_SPS::Decode(const NALU& nalu, const HEVC_PS& ps) {
  Reset(*this);
  UnitRBSP rbsp(nalu);
  BitsReader& r = rbsp.Reader();
  r.SkipBits(1);  // forbidden_zero_bit
  if (r.GetBits<uint32_t>(6) != kSPSType) Fail("NALU is not a SPS");
  const uint32_t nuh_layer_id = r.GetBits<uint32_t>(6);
  if (r.GetBits<uint32_t>(3) == 0) Fail("nuh_temporal_id_plus1 out of range");

  sps_video_parameter_set_id = r.GetBits<uint8_t>(4);
  const HEVC_VPS* vps = FindStored(ps.vps_list, sps_video_parameter_set_id, &HEVC_VPS::vps_video_parameter_set_id);
  if (!vps) Fail("invalid sps_video_parameter_set_id in sps");

  // A layer SPS may take its sub-layers and nesting from the VPS and then has no PTL, chroma
  // format, size, bit depths or sub-layer ordering of its own (the multilayer form).
  const uint8_t subLayers = r.GetBits<uint8_t>(3);
  bool multiLayerExtSps = false;
  if (nuh_layer_id == 0) {
    if (subLayers > vps->vps_max_sub_layers_minus1) Fail("sps_max_sub_layers_minus1 out of range");
    sps_max_sub_layers_minus1 = subLayers;
  } else {
    sps_ext_or_max_sub_layers_minus1 = subLayers;
    multiLayerExtSps = subLayers == kSubLayersFromVPS;
    sps_max_sub_layers_minus1 = multiLayerExtSps ? vps->vps_max_sub_layers_minus1 : subLayers;
  }
  if (multiLayerExtSps) {
    sps_temporal_id_nesting_flag = sps_max_sub_layers_minus1 > 0 ? vps->vps_temporal_id_nesting_flag : 1;
  } else {
    sps_temporal_id_nesting_flag = r.GetBits<uint8_t>(1);
    if (vps->vps_temporal_id_nesting_flag && !sps_temporal_id_nesting_flag) {
      Fail("Invalid stream: sps_temporal_id_nesting_flag must be 1 if vps_temporal_id_nesting_flag is 1");
    }
    if (sps_max_sub_layers_minus1 == 0 && sps_temporal_id_nesting_flag != 1) {
      Fail("Invalid stream: sps_temporal_id_nesting_flag must be 1 if sps_max_sub_layers_minus1 is 0");
    }
    profile_tier_level.Decode(r, sps_max_sub_layers_minus1);
  }

  sps_seq_parameter_set_id = UE<uint8_t>(r, 15, "sps_seq_parameter_set_id out of range");
  if (multiLayerExtSps) {
    update_rep_format_flag = r.GetBits<uint8_t>(1);
    if (update_rep_format_flag) sps_rep_format_idx = r.GetBits<uint8_t>(8);
  } else {
    chroma_format_idc = UE<uint8_t>(r, 3, "chroma_format_idc out of range");
    if (chroma_format_idc == 3) separate_colour_plane_flag = r.GetBits<uint8_t>(1);
    pic_width_in_luma_samples = UE<uint16_t>(r);
    pic_height_in_luma_samples = UE<uint16_t>(r);
    conformance_window_flag = r.GetBits<uint8_t>(1);
    if (conformance_window_flag) {
      conf_win_left_offset = UE<uint16_t>(r);
      conf_win_right_offset = UE<uint16_t>(r);
      conf_win_top_offset = UE<uint16_t>(r);
      conf_win_bottom_offset = UE<uint16_t>(r);
    }
    bit_depth_luma_minus8 = UE<uint8_t>(r, 8, "bit_depth_luma_minus8 out of range");
    bit_depth_chroma_minus8 = UE<uint8_t>(r, 8, "bit_depth_chroma_minus8 out of range");
    // Pictures whose chroma is stored at another depth than luma are not supported.
    if (chroma_format_idc != 0 && bit_depth_luma_minus8 != bit_depth_chroma_minus8) {
      Fail("Different chroma and luma bit depth");
    }
  }
  log2_max_pic_order_cnt_lsb_minus4 = UE<uint8_t>(r, 12, "log2_max_pic_order_cnt_lsb_minus4 out of range (0-12)");

  if (!multiLayerExtSps) {
    sps_sub_layer_ordering_info_present_flag = r.GetBits<uint8_t>(1);
    const uint32_t highest = sps_max_sub_layers_minus1;
    for (uint32_t i = sps_sub_layer_ordering_info_present_flag ? 0 : highest; i <= highest; ++i) {
      sps_max_dec_pic_buffering_minus1[i] = UE<uint8_t>(r, 15, "sps_max_dec_pic_buffering_minus1 out of range");
      sps_max_num_reorder_pics[i] =
          UE<uint8_t>(r, sps_max_dec_pic_buffering_minus1[i], "sps_max_num_reorder_pics out of range");
      sps_max_latency_increase_plus1[i] = r.GetUEGolomb();
    }
    // Without per-sub-layer values, every sub-layer has those of the highest.
    if (!sps_sub_layer_ordering_info_present_flag) {
      for (uint32_t i = 0; i < highest; ++i) {
        sps_max_dec_pic_buffering_minus1[i] = sps_max_dec_pic_buffering_minus1[highest];
        sps_max_num_reorder_pics[i] = sps_max_num_reorder_pics[highest];
        sps_max_latency_increase_plus1[i] = sps_max_latency_increase_plus1[highest];
      }
    }
  }

  log2_min_luma_coding_block_size_minus3 = UE<uint8_t>(r, 27, "log2_min_luma_coding_block_size_minus3 out of range");
  log2_diff_max_min_luma_coding_block_size =
      UE<uint8_t>(r, 30, "log2_diff_max_min_luma_coding_block_size out of range");
  // The smallest transform block must be smaller than the smallest coding block.
  const uint32_t minTbLog2Minus2 = r.GetUEGolomb();
  if (uint64_t{minTbLog2Minus2} + 2 >= log2_min_luma_coding_block_size_minus3 + 3u) {
    Fail("Invalid value for log2_min_luma_transform_block_size_minus2");
  }
  log2_min_luma_transform_block_size_minus2 = static_cast<uint8_t>(minTbLog2Minus2);
  log2_diff_max_min_luma_transform_block_size =
      UE<uint8_t>(r, 30, "log2_diff_max_min_luma_transform_block_size out of range");
  max_transform_hierarchy_depth_inter = UE<uint8_t>(r);
  max_transform_hierarchy_depth_intra = UE<uint8_t>(r);

  scaling_list_enabled_flag = r.GetBits<uint8_t>(1);
  if (scaling_list_enabled_flag) {
    if (multiLayerExtSps) sps_infer_scaling_list_flag = r.GetBits<uint8_t>(1);
    if (sps_infer_scaling_list_flag) {
      sps_scaling_list_ref_layer_id = r.GetBits<uint8_t>(6);
    } else {
      sps_scaling_list_data_present_flag = r.GetBits<uint8_t>(1);
      if (sps_scaling_list_data_present_flag) scaling_list.Decode(r);
    }
  }

  amp_enabled_flag = r.GetBits<uint8_t>(1);
  sample_adaptive_offset_enabled_flag = r.GetBits<uint8_t>(1);
  pcm_enabled_flag = r.GetBits<uint8_t>(1);
  if (pcm_enabled_flag) {
    pcm_sample_bit_depth_luma_minus1 = r.GetBits<uint8_t>(4);
    if (pcm_sample_bit_depth_luma_minus1 + 1u > bit_depth_luma_minus8 + 8u) {
      Fail("pcm_sample_bit_depth_luma_minus1 out of range");
    }
    pcm_sample_bit_depth_chroma_minus1 = r.GetBits<uint8_t>(4);
    if (pcm_sample_bit_depth_chroma_minus1 + 1u > bit_depth_chroma_minus8 + 8u) {
      Fail("pcm_sample_bit_depth_chroma_minus1 out of range");
    }
    log2_min_pcm_luma_coding_block_size_minus3 = UE<uint8_t>(r);
    log2_diff_max_min_pcm_luma_coding_block_size = UE<uint8_t>(r);
    pcm_loop_filter_disabled_flag = r.GetBits<uint8_t>(1);
  }

  num_short_term_ref_pic_sets = UE<uint8_t>(r, 64, "Too many short term RPS");
  for (uint32_t i = 0; i < num_short_term_ref_pic_sets; ++i) st_ref_pic_set[i].Decode(r, *this, i);

  long_term_ref_pics_present_flag = r.GetBits<uint8_t>(1);
  if (long_term_ref_pics_present_flag) {
    num_long_term_ref_pics_sps = UE<uint8_t>(r, 32, "Too many long term ref pics");
    for (uint32_t i = 0; i < num_long_term_ref_pics_sps; ++i) {
      lt_ref_pic_poc_lsb_sps[i] = r.GetBits<uint16_t>(log2_max_pic_order_cnt_lsb_minus4 + 4u);
      used_by_curr_pic_lt_sps_flag[i] = r.GetBits<uint8_t>(1);
    }
  }

  sps_temporal_mvp_enabled_flag = r.GetBits<uint8_t>(1);
  strong_intra_smoothing_enabled_flag = r.GetBits<uint8_t>(1);
  vui_parameters_present_flag = r.GetBits<uint8_t>(1);
  if (vui_parameters_present_flag) vui.Decode(r, sps_max_sub_layers_minus1);

  sps_extension_present_flag = r.GetBits<uint8_t>(1);
  if (!sps_extension_present_flag) return;
  sps_range_extension_flag = r.GetBits<uint8_t>(1);
  sps_multilayer_extension_flag = r.GetBits<uint8_t>(1);
  sps_3d_extension_flag = r.GetBits<uint8_t>(1);
  sps_scc_extension_flag = r.GetBits<uint8_t>(1);
  sps_extension_4bits = r.GetBits<uint8_t>(4);

  if (sps_range_extension_flag) {
    transform_skip_rotation_enabled_flag = r.GetBits<uint8_t>(1);
    transform_skip_context_enabled_flag = r.GetBits<uint8_t>(1);
    implicit_rdpcm_enabled_flag = r.GetBits<uint8_t>(1);
    explicit_rdpcm_enabled_flag = r.GetBits<uint8_t>(1);
    extended_precision_processing_flag = r.GetBits<uint8_t>(1);
    intra_smoothing_disabled_flag = r.GetBits<uint8_t>(1);
    high_precision_offsets_enabled_flag = r.GetBits<uint8_t>(1);
    persistent_rice_adaptation_enabled_flag = r.GetBits<uint8_t>(1);
    cabac_bypass_alignment_enabled_flag = r.GetBits<uint8_t>(1);
  }
  if (sps_multilayer_extension_flag) r.SkipBits(1);  // inter_view_mv_vert_constraint_flag
  if (sps_3d_extension_flag) {
    // Read past: for the texture and the depth view, their flags around one ue(v).
    r.SkipBits(2);
    r.GetUEGolomb();
    r.SkipBits(4);
    r.SkipBits(3);
    r.GetUEGolomb();
    r.SkipBits(5);
  }
  if (sps_scc_extension_flag) {
    sps_curr_pic_ref_enabled_flag = r.GetBits<uint8_t>(1);
    palette_mode_enabled_flag = r.GetBits<uint8_t>(1);
    if (palette_mode_enabled_flag) {
      palette_max_size = UE<uint8_t>(r);
      delta_palette_max_predictor_size = UE<uint8_t>(r);
      sps_palette_predictor_initializers_present_flag = r.GetBits<uint8_t>(1);
      if (sps_palette_predictor_initializers_present_flag) {
        sps_num_palette_predictor_initializers_minus1 =
            UE<uint8_t>(r, 127, "sps_num_palette_predictor_initializers out of range");
        const uint32_t numComps = chroma_format_idc == 0 ? 1 : 3;
        for (uint32_t comp = 0; comp < numComps; ++comp) {
          const uint32_t bitDepth = (comp == 0 ? bit_depth_luma_minus8 : bit_depth_chroma_minus8) + 8u;
          for (uint32_t i = 0; i <= sps_num_palette_predictor_initializers_minus1; ++i) {
            sps_palette_predictor_initializer[comp][i] = r.GetBits<uint16_t>(bitDepth);
          }
        }
      }
    }
    motion_vector_resolution_control_idc = r.GetBits<uint8_t>(2);
    intra_boundary_filtering_disabled_flag = r.GetBits<uint8_t>(1);
  }
  // What sps_extension_4bits announces is not read.
}

void HEVC_SPS::Append(H26xBitstreamBuilder& b) const {
  b.BeginNALU(kSPSType);
  b.AppendU64(sps_video_parameter_set_id, 4);
  b.AppendU64(sps_max_sub_layers_minus1, 3);
  b.AppendBit(sps_temporal_id_nesting_flag);
  profile_tier_level.Append(b, sps_max_sub_layers_minus1);

  b.AppendUE(sps_seq_parameter_set_id);
  b.AppendUE(chroma_format_idc);
  if (chroma_format_idc == 3) b.AppendBit(separate_colour_plane_flag);
  b.AppendUE(pic_width_in_luma_samples);
  b.AppendUE(pic_height_in_luma_samples);
  b.AppendBit(conformance_window_flag);
  if (conformance_window_flag) {
    b.AppendUE(conf_win_left_offset);
    b.AppendUE(conf_win_right_offset);
    b.AppendUE(conf_win_top_offset);
    b.AppendUE(conf_win_bottom_offset);
  }
  b.AppendUE(bit_depth_luma_minus8);
  b.AppendUE(bit_depth_chroma_minus8);
  b.AppendUE(log2_max_pic_order_cnt_lsb_minus4);

  b.AppendBit(sps_sub_layer_ordering_info_present_flag);
  const uint32_t highest = sps_max_sub_layers_minus1;
  for (uint32_t i = sps_sub_layer_ordering_info_present_flag ? 0 : highest; i <= highest; ++i) {
    b.AppendUE(sps_max_dec_pic_buffering_minus1[i]);
    b.AppendUE(sps_max_num_reorder_pics[i]);
    b.AppendUE(sps_max_latency_increase_plus1[i]);
  }

  b.AppendUE(log2_min_luma_coding_block_size_minus3);
  b.AppendUE(log2_diff_max_min_luma_coding_block_size);
  b.AppendUE(log2_min_luma_transform_block_size_minus2);
  b.AppendUE(log2_diff_max_min_luma_transform_block_size);
  b.AppendUE(max_transform_hierarchy_depth_inter);
  b.AppendUE(max_transform_hierarchy_depth_intra);

  // The base-layer form: sps_infer_scaling_list_flag belongs to the multilayer one.
  b.AppendBit(scaling_list_enabled_flag);
  if (scaling_list_enabled_flag) {
    b.AppendBit(sps_scaling_list_data_present_flag);
    if (sps_scaling_list_data_present_flag) scaling_list.Append(b);
  }

  b.AppendBit(amp_enabled_flag);
  b.AppendBit(sample_adaptive_offset_enabled_flag);
  b.AppendBit(pcm_enabled_flag);
  if (pcm_enabled_flag) {
    b.AppendU64(pcm_sample_bit_depth_luma_minus1, 4);
    b.AppendU64(pcm_sample_bit_depth_chroma_minus1, 4);
    b.AppendUE(log2_min_pcm_luma_coding_block_size_minus3);
    b.AppendUE(log2_diff_max_min_pcm_luma_coding_block_size);
    b.AppendBit(pcm_loop_filter_disabled_flag);
  }

  b.AppendUE(num_short_term_ref_pic_sets);
  // A record built by hand may count more entries than it holds.
  if (num_short_term_ref_pic_sets > std::size(st_ref_pic_set)) FailAppend("Too many short term RPS");
  for (uint32_t i = 0; i < num_short_term_ref_pic_sets; ++i) st_ref_pic_set[i].Append(b, *this, i);

  b.AppendBit(long_term_ref_pics_present_flag);
  if (long_term_ref_pics_present_flag) {
    b.AppendUE(num_long_term_ref_pics_sps);
    if (num_long_term_ref_pics_sps > std::size(lt_ref_pic_poc_lsb_sps)) FailAppend("Too many long term ref pics");
    for (uint32_t i = 0; i < num_long_term_ref_pics_sps; ++i) {
      b.AppendU64(lt_ref_pic_poc_lsb_sps[i], log2_max_pic_order_cnt_lsb_minus4 + 4u);
      b.AppendBit(used_by_curr_pic_lt_sps_flag[i]);
    }
  }

  b.AppendBit(sps_temporal_mvp_enabled_flag);
  b.AppendBit(strong_intra_smoothing_enabled_flag);
  b.AppendBit(vui_parameters_present_flag);
  if (vui_parameters_present_flag) vui.Append(b, sps_max_sub_layers_minus1);

  b.AppendBit(sps_extension_present_flag);
  if (!sps_extension_present_flag) {
    b.FinishNALU();
    return;
  }
  b.AppendBit(sps_range_extension_flag);
  b.AppendBit(sps_multilayer_extension_flag);
  b.AppendBit(sps_3d_extension_flag);
  b.AppendBit(sps_scc_extension_flag);
  b.AppendU64(sps_extension_4bits, 4);

  if (sps_range_extension_flag) {
    b.AppendBit(transform_skip_rotation_enabled_flag);
    b.AppendBit(transform_skip_context_enabled_flag);
    b.AppendBit(implicit_rdpcm_enabled_flag);
    b.AppendBit(explicit_rdpcm_enabled_flag);
    b.AppendBit(extended_precision_processing_flag);
    b.AppendBit(intra_smoothing_disabled_flag);
    b.AppendBit(high_precision_offsets_enabled_flag);
    b.AppendBit(persistent_rice_adaptation_enabled_flag);
    b.AppendBit(cabac_bypass_alignment_enabled_flag);
  }
  // The decode drops what these extensions hold, so there is nothing to write them from.
  if (sps_multilayer_extension_flag) FailAppend("Support for sps_multilayer_extension_flag is not implemented");
  if (sps_3d_extension_flag) FailAppend("Support for sps_3d_extension_flag is not implemented");
  if (sps_scc_extension_flag) {
    b.AppendBit(sps_curr_pic_ref_enabled_flag);
    b.AppendBit(palette_mode_enabled_flag);
    if (palette_mode_enabled_flag) {
      b.AppendUE(palette_max_size);
      b.AppendUE(delta_palette_max_predictor_size);
      b.AppendBit(sps_palette_predictor_initializers_present_flag);
      if (sps_palette_predictor_initializers_present_flag) {
        b.AppendUE(sps_num_palette_predictor_initializers_minus1);
        if (sps_num_palette_predictor_initializers_minus1 >= std::size(sps_palette_predictor_initializer[0])) {
          FailAppend("sps_num_palette_predictor_initializers out of range");
        }
        const uint32_t numComps = chroma_format_idc == 0 ? 1 : 3;
        for (uint32_t comp = 0; comp < numComps; ++comp) {
          const uint32_t bitDepth = (comp == 0 ? bit_depth_luma_minus8 : bit_depth_chroma_minus8) + 8u;
          for (uint32_t i = 0; i <= sps_num_palette_predictor_initializers_minus1; ++i) {
            b.AppendU64(sps_palette_predictor_initializer[comp][i], bitDepth);
          }
        }
      }
    }
    b.AppendU64(motion_vector_resolution_control_idc, 2);
    b.AppendBit(intra_boundary_filtering_disabled_flag);
  }
  // Nor is anything kept of the data that sps_extension_4bits announces.
  if (sps_extension_4bits) FailAppend("Support for sps_extension_4bits is not implemented");
  b.FinishNALU();
}

std::pair<uint32_t, uint32_t> HEVC_SPS::GetCodedSize() const {
  return {pic_width_in_luma_samples, pic_height_in_luma_samples};
}

std::pair<uint32_t, uint32_t> HEVC_SPS::GetPictureSize() const {
  // Window offsets count chroma samples: SubWidthC and SubHeightC luma samples each.
  const int64_t subWidthC = (chroma_format_idc == 1 || chroma_format_idc == 2) ? 2 : 1;
  const int64_t subHeightC = chroma_format_idc == 1 ? 2 : 1;
  const int64_t width =
      int64_t{pic_width_in_luma_samples} - subWidthC * (conf_win_left_offset + conf_win_right_offset);
  const int64_t height =
      int64_t{pic_height_in_luma_samples} - subHeightC * (conf_win_top_offset + conf_win_bottom_offset);
  // A window that leaves no picture is not a cropping anybody can apply.
  if (width <= 0 || height <= 0) return GetCodedSize();
  return {static_cast<uint32_t>(width), static_cast<uint32_t>(height)};
}

ColourDescription HEVC_SPS::GetColourDescription() const {
  if (!vui_parameters_present_flag) {
    return {Conf::ColorPrimaries::Unspecified, Conf::TransferFunction::Unspecified,
            Conf::YCbCrMatrix::Unspecified};
  }
  return CodecParsers::GetColourDescription(vui.common);
}

uint32_t HEVC_SPS::GetMaxNumReorderPics() const {
  return std::min<uint32_t>(sps_max_num_reorder_pics[sps_max_sub_layers_minus1], 16);
}

// ---------------------------------------------------------------------------------------------
// vui_parameters

void HEVC_VUI::Decode(BitsReader& r, uint32_t sps_max_sub_layers_minus1) {
  DecodeCommonVUI(common, r);
  neutral_chroma_indication_flag = r.GetBits<uint8_t>(1);
  field_seq_flag = r.GetBits<uint8_t>(1);
  frame_field_info_present_flag = r.GetBits<uint8_t>(1);

  // Some writers leave out default_display_window_flag. Such a VUI is read as if it had the
  // window, and where that cannot be right (a timing block or restriction cut short, or no bit
  // left for what follows the VUI) it is read once more from here without the window.
  const HEVC_VUI restartRecord = *this;
  const BitsReader restartReader = r;
  bool secondPass = false;
  const auto restart = [&] {
    LOG(WARNING) << "Invalid default display window";
    *this = restartRecord;
    r = restartReader;
    secondPass = true;
  };

  // A window flag followed by what looks like the start of the timing block is taken for the
  // timing flag itself.
  if (r.BitsLeft() >= kMisplacedTimingMinBits &&
      r.ShowBits<uint32_t>(kMisplacedTimingBits) == kMisplacedTimingPattern) {
    default_display_window_flag = 0;
    LOG(WARNING) << "Invalid default display window";
  } else {
    default_display_window_flag = r.GetBits<uint8_t>(1);
  }
  if (default_display_window_flag) {
    def_disp_win_left_offset = UE<uint16_t>(r);
    def_disp_win_right_offset = UE<uint16_t>(r);
    def_disp_win_top_offset = UE<uint16_t>(r);
    def_disp_win_bottom_offset = UE<uint16_t>(r);
  }

  while (true) {
    vui_timing_info_present_flag = r.GetBits<uint8_t>(1);
    if (vui_timing_info_present_flag) {
      if (r.BitsLeft() < kTimingMinBits && !secondPass) {
        restart();
        continue;
      }
      vui_num_units_in_tick = r.GetBits<uint32_t>(32);
      vui_time_scale = r.GetBits<uint32_t>(32);
      vui_poc_proportional_to_timing_flag = r.GetBits<uint8_t>(1);
      if (vui_poc_proportional_to_timing_flag) vui_num_ticks_poc_diff_one_minus1 = r.GetUEGolomb();
      vui_hrd_parameters_present_flag = r.GetBits<uint8_t>(1);
      if (vui_hrd_parameters_present_flag) hrd_parameters.Decode(r, 1, sps_max_sub_layers_minus1);
    }

    bitstream_restriction_flag = r.GetBits<uint8_t>(1);
    if (bitstream_restriction_flag) {
      if (r.BitsLeft() < kRestrictionMinBits && !secondPass) {
        restart();
        continue;
      }
      tiles_fixed_structure_flag = r.GetBits<uint8_t>(1);
      motion_vectors_over_pic_boundaries_flag = r.GetBits<uint8_t>(1);
      restricted_ref_pic_lists_flag = r.GetBits<uint8_t>(1);
      min_spatial_segmentation_idc = UE<uint16_t>(r);
      max_bytes_per_pic_denom = UE<uint8_t>(r);
      max_bits_per_min_cu_denom = UE<uint8_t>(r);
      log2_max_mv_length_horizontal = UE<uint8_t>(r);
      log2_max_mv_length_vertical = UE<uint8_t>(r);
    }

    if (r.BitsLeft() == 0 && !secondPass) {
      restart();
      continue;
    }
    return;
  }
}

void HEVC_VUI::Append(H26xBitstreamBuilder& b, uint32_t sps_max_sub_layers_minus1) const {
  AppendCommonVUI(common, b);
  b.AppendBit(neutral_chroma_indication_flag);
  b.AppendBit(field_seq_flag);
  b.AppendBit(frame_field_info_present_flag);
  b.AppendBit(default_display_window_flag);
  if (default_display_window_flag) {
    b.AppendUE(def_disp_win_left_offset);
    b.AppendUE(def_disp_win_right_offset);
    b.AppendUE(def_disp_win_top_offset);
    b.AppendUE(def_disp_win_bottom_offset);
  }
  b.AppendBit(vui_timing_info_present_flag);
  if (vui_timing_info_present_flag) {
    b.AppendU64(vui_num_units_in_tick, 32);
    b.AppendU64(vui_time_scale, 32);
    b.AppendBit(vui_poc_proportional_to_timing_flag);
    if (vui_poc_proportional_to_timing_flag) b.AppendUE(vui_num_ticks_poc_diff_one_minus1);
    b.AppendBit(vui_hrd_parameters_present_flag);
    if (vui_hrd_parameters_present_flag) hrd_parameters.Append(b, 1, sps_max_sub_layers_minus1);
  }
  b.AppendBit(bitstream_restriction_flag);
  if (bitstream_restriction_flag) {
    b.AppendBit(tiles_fixed_structure_flag);
    b.AppendBit(motion_vectors_over_pic_boundaries_flag);
    b.AppendBit(restricted_ref_pic_lists_flag);
    b.AppendUE(min_spatial_segmentation_idc);
    b.AppendUE(max_bytes_per_pic_denom);
    b.AppendUE(max_bits_per_min_cu_denom);
    b.AppendUE(log2_max_mv_length_horizontal);
    b.AppendUE(log2_max_mv_length_vertical);
  }
}

}  // namespace Orvane::Proc::CodecParsers
