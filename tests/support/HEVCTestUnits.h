#pragma once
// HEVC NAL units for tests, written element by element: a unit is the list of its syntax
// elements in bitstream order, each with its name, descriptor and value, so that a test changes
// or adds elements by name and the bytes follow. The baselines are a small valid VPS, SPS, PPS
// (4:2:0, 8-bit, 64x64, one sub-layer, ids 0) and a P slice under them; the named variants switch
// on what the baselines leave out.
#include <algorithm>
#include <cstdint>
#include <memory>
#include <optional>
#include <set>
#include <sstream>
#include <stdexcept>
#include <string>
#include <vector>

#include "Orvane/Proc/CodecParsers/H26xBitstreamParser.h"
#include "Orvane/Proc/CodecParsers/HEVCSliceHeader.h"
#include "support/BitstreamTestKit.h"
#include "support/TraceOracle.h"

namespace codec_test {

struct Element {
  std::string name;
  char descriptor;  // 'u' u(bits), 'e' ue(v), 's' se(v)
  int bits;
  int64_t value;
};
inline Element U(std::string name, int bits, int64_t value) { return {std::move(name), 'u', bits, value}; }
inline Element UE(std::string name, int64_t value) { return {std::move(name), 'e', 0, value}; }

// Elements as "name:u8=93 name:ue=0 name:se=-1 name:u3=0b101 ...".
inline std::vector<Element> E(const std::string& spec) {
  std::vector<Element> out;
  std::istringstream in(spec);
  for (std::string t; in >> t;) {
    const size_t colon = t.find(':'), eq = t.find('=');
    const std::string d = t.substr(colon + 1, eq - colon - 1);
    const char descriptor = d == "ue" ? 'e' : d == "se" ? 's' : 'u';
    const std::string v = t.substr(eq + 1);
    const int64_t value = v.starts_with("0b") ? std::stoll(v.substr(2), nullptr, 2) : std::stoll(v, nullptr, 0);
    out.push_back({t.substr(0, colon), descriptor, descriptor == 'u' ? std::stoi(d.substr(1)) : 0, value});
  }
  return out;
}

class SyntaxUnit {
 public:
  bool trailing = true;  // rbsp_trailing_bits after the elements

  // The first element of that name gets the value.
  SyntaxUnit& Set(const std::string& name, int64_t value) { return Find(name)->value = value, *this; }
  // Elements right after the first element of that name (the ones its value brings in).
  SyntaxUnit& InsertAfter(const std::string& name, const std::vector<Element>& added) {
    return elements_.insert(Find(name) + 1, added.begin(), added.end()), *this;
  }
  SyntaxUnit& Remove(const std::string& names) {
    std::istringstream in(names);
    for (std::string name; in >> name;) elements_.erase(Find(name));
    return *this;
  }
  SyntaxUnit& Append(const std::vector<Element>& added) { return elements_.insert(elements_.end(), added.begin(), added.end()), *this; }
  // The unit ends after that element, without trailing bits: a unit cut short.
  SyntaxUnit& CutAfter(const std::string& name) { return elements_.erase(Find(name) + 1, elements_.end()), trailing = false, *this; }
  const std::vector<Element>& Elements() const { return elements_; }
  std::vector<uint8_t> RBSP() const {
    Bits b;
    for (const Element& e : elements_) {
      if (e.descriptor == 'u') b.u(e.bits, static_cast<uint64_t>(e.value));
      if (e.descriptor == 'e') b.ue(static_cast<uint64_t>(e.value));
      if (e.descriptor == 's') b.se(e.value);
    }
    if (trailing) b.bit(1);
    while (trailing && b.n % 8) b.bit(0);
    return b.out;
  }
  // The NAL unit as it stands in a stream: the RBSP with emulation-prevention bytes.
  std::vector<uint8_t> Bytes() const {
    std::vector<uint8_t> out;
    for (uint8_t byte : RBSP()) {
      if (out.size() >= 2 && out.end()[-1] == 0 && out.end()[-2] == 0 && byte <= 3) out.push_back(3);
      out.push_back(byte);
    }
    return out;
  }

 private:
  std::vector<Element>::iterator Find(const std::string& name) {
    auto it = std::find_if(elements_.begin(), elements_.end(), [&](const Element& e) { return e.name == name; });
    if (it == elements_.end()) throw std::logic_error("no element " + name);
    return it;
  }
  std::vector<Element> elements_;
};

inline SyntaxUnit Unit(int type, const std::string& elements) {
  return SyntaxUnit().Append(E("forbidden_zero_bit:u1=0 nal_unit_type:u6=" + std::to_string(type) +
                               " nuh_layer_id:u6=0 nuh_temporal_id_plus1:u3=1 " + elements));
}

// profile_tier_level of one sub-layer: Main (compatible with Main 10), progressive, frame only.
constexpr char kPTL[] =
    " general_profile_space:u2=0 general_tier_flag:u1=0 general_profile_idc:u5=1 general_profile_compatibility_flags:u32=0x60000000"
    " general_source_and_frame_flags:u4=9 general_constraint_43bits:u43=0 general_inbld_flag:u1=0 general_level_idc:u8=93 ";

inline SyntaxUnit BaseVPS() {
  return Unit(32, "vps_video_parameter_set_id:u4=0 vps_base_layer_internal_flag:u1=1 vps_base_layer_available_flag:u1=1"
                  " vps_max_layers_minus1:u6=0 vps_max_sub_layers_minus1:u3=0 vps_temporal_id_nesting_flag:u1=1"
                  " vps_reserved_0xffff_16bits:u16=0xFFFF" + std::string(kPTL) +
                  "vps_sub_layer_ordering_info_present_flag:u1=1 vps_max_dec_pic_buffering_minus1:ue=4 vps_max_num_reorder_pics:ue=2"
                  " vps_max_latency_increase_plus1:ue=0 vps_max_layer_id:u6=0 vps_num_layer_sets_minus1:ue=0"
                  " vps_timing_info_present_flag:u1=0 vps_extension_flag:u1=0");
}

inline SyntaxUnit BaseSPS() {
  return Unit(33, "sps_video_parameter_set_id:u4=0 sps_max_sub_layers_minus1:u3=0 sps_temporal_id_nesting_flag:u1=1" +
                      std::string(kPTL) +
                      "sps_seq_parameter_set_id:ue=0 chroma_format_idc:ue=1 pic_width_in_luma_samples:ue=64"
                      " pic_height_in_luma_samples:ue=64 conformance_window_flag:u1=0 bit_depth_luma_minus8:ue=0"
                      " bit_depth_chroma_minus8:ue=0 log2_max_pic_order_cnt_lsb_minus4:ue=4 sps_sub_layer_ordering_info_present_flag:u1=1"
                      " sps_max_dec_pic_buffering_minus1:ue=4 sps_max_num_reorder_pics:ue=2 sps_max_latency_increase_plus1:ue=0"
                      " log2_min_luma_coding_block_size_minus3:ue=0 log2_diff_max_min_luma_coding_block_size:ue=3"
                      " log2_min_luma_transform_block_size_minus2:ue=0 log2_diff_max_min_luma_transform_block_size:ue=3"
                      " max_transform_hierarchy_depth_inter:ue=0 max_transform_hierarchy_depth_intra:ue=0 scaling_list_enabled_flag:u1=0"
                      " amp_enabled_flag:u1=0 sample_adaptive_offset_enabled_flag:u1=1 pcm_enabled_flag:u1=0"
                      " num_short_term_ref_pic_sets:ue=0 long_term_ref_pics_present_flag:u1=0 sps_temporal_mvp_enabled_flag:u1=1"
                      " strong_intra_smoothing_enabled_flag:u1=1 vui_parameters_present_flag:u1=0 sps_extension_present_flag:u1=0");
}

inline SyntaxUnit BasePPS() {
  return Unit(34, "pps_pic_parameter_set_id:ue=0 pps_seq_parameter_set_id:ue=0 dependent_slice_segments_enabled_flag:u1=0"
                  " output_flag_present_flag:u1=0 num_extra_slice_header_bits:u3=0 sign_data_hiding_enabled_flag:u1=1"
                  " cabac_init_present_flag:u1=0 num_ref_idx_l0_default_active_minus1:ue=0 num_ref_idx_l1_default_active_minus1:ue=0"
                  " init_qp_minus26:se=0 constrained_intra_pred_flag:u1=0 transform_skip_enabled_flag:u1=0 cu_qp_delta_enabled_flag:u1=1"
                  " diff_cu_qp_delta_depth:ue=1 pps_cb_qp_offset:se=0 pps_cr_qp_offset:se=0 pps_slice_chroma_qp_offsets_present_flag:u1=0"
                  " weighted_pred_flag:u1=0 weighted_bipred_flag:u1=0 transquant_bypass_enabled_flag:u1=0 tiles_enabled_flag:u1=0"
                  " entropy_coding_sync_enabled_flag:u1=0 pps_loop_filter_across_slices_enabled_flag:u1=1"
                  " deblocking_filter_control_present_flag:u1=0 pps_scaling_list_data_present_flag:u1=0"
                  " lists_modification_present_flag:u1=0 log2_parallel_merge_level_minus2:ue=0"
                  " slice_segment_header_extension_present_flag:u1=0 pps_extension_present_flag:u1=0");
}

// An explicit st_ref_pic_set: pictures 1, 2, ... before and after, used by the current one.
inline std::vector<Element> ExplicitSet(int negative, int positive) {
  std::vector<Element> e = {UE("num_negative_pics", negative), UE("num_positive_pics", positive)};
  for (int i = 0; i < negative + positive; ++i) {
    e.push_back(UE(i < negative ? "delta_poc_s0_minus1" : "delta_poc_s1_minus1", 0));
    e.push_back(U(i < negative ? "used_by_curr_pic_s0_flag" : "used_by_curr_pic_s1_flag", 1, 1));
  }
  return e;
}

// A TRAIL_R P slice: its own set of one picture before it, collocated from that picture.
inline SyntaxUnit BaseSlice() {
  return Unit(1, "first_slice_segment_in_pic_flag:u1=1 slice_pic_parameter_set_id:ue=0 slice_type:ue=1 slice_pic_order_cnt_lsb:u8=5"
                 " short_term_ref_pic_set_sps_flag:u1=0 slice_temporal_mvp_enabled_flag:u1=1 slice_sao_luma_flag:u1=1"
                 " slice_sao_chroma_flag:u1=0 num_ref_idx_active_override_flag:u1=0")
      .InsertAfter("short_term_ref_pic_set_sps_flag", ExplicitSet(1, 0));
}

struct HEVCUnits {
  SyntaxUnit vps = BaseVPS(), sps = BaseSPS(), pps = BasePPS(), slice = BaseSlice();
  SyntaxUnit HEVCUnits::*about = &HEVCUnits::slice;  // the unit a variant is about, named first in its name
};

// The baselines ("VPS", "SPS", "PPS", "P slice"), or one of the variants below.
inline HEVCUnits Variant(const std::string& name) {
  HEVCUnits u;
  for (const auto& [prefix, unit] : {std::pair{"VPS", &HEVCUnits::vps}, {"SPS", &HEVCUnits::sps}, {"PPS", &HEVCUnits::pps}}) {
    if (name.starts_with(prefix)) u.about = unit;
  }
  const auto slice = [&](int type, const std::string& elements) { u.slice = Unit(type, "first_slice_segment_in_pic_flag:u1=1 " + elements); };
  const auto sliceSet = [&](const std::vector<Element>& set) {
    u.slice.Remove("num_negative_pics num_positive_pics delta_poc_s0_minus1 used_by_curr_pic_s0_flag")
        .InsertAfter("short_term_ref_pic_set_sps_flag", set);
  };
  const auto longTermSPS = [&] {
    u.sps.Set("long_term_ref_pics_present_flag", 1).InsertAfter("long_term_ref_pics_present_flag",
        E("num_long_term_ref_pics_sps:ue=3 lt_ref_pic_poc_lsb_sps:u8=10 used_by_curr_pic_lt_sps_flag:u1=1 lt_ref_pic_poc_lsb_sps:u8=20"
          " used_by_curr_pic_lt_sps_flag:u1=0 lt_ref_pic_poc_lsb_sps:u8=30 used_by_curr_pic_lt_sps_flag:u1=1"));
  };
  const auto ppsExtensions = [&](const std::string& elements) {
    u.pps.Set("pps_extension_present_flag", 1).InsertAfter("pps_extension_present_flag",
        E("pps_range_extension_flag:u1=0 pps_multilayer_extension_flag:u1=0 pps_3d_extension_flag:u1=0 pps_scc_extension_flag:u1=1"
          " pps_extension_4bits:u4=0 " + elements));
  };
  if (name == "VPS+HRD") {  // the second hrd_parameters without the common information
    u.vps.Set("vps_timing_info_present_flag", 1).Set("vps_num_layer_sets_minus1", 1)
        .InsertAfter("vps_num_layer_sets_minus1", E("layer_id_included_flag[1]:u1=1"))
        .InsertAfter("vps_timing_info_present_flag", E(
            "vps_timing:u64=1 vps_poc_proportional_to_timing_flag:u1=1 vps_num_ticks_poc_diff_one_minus1:ue=1 vps_num_hrd_parameters:ue=2"
            " hrd_layer_set_idx:ue=0 nal_hrd_parameters_present_flag:u1=1 vcl_and_sub_pic_flags:u2=0 rest_of_common_inf:u23=0"
            " fixed_pic_rate_general_flag:u1=1 elemental_duration_in_tc_minus1:ue=300 cpb_cnt_minus1:ue=0 nal_hrd:u3=0b111"
            " hrd_layer_set_idx[1]:ue=1 cprms_present_flag:u1=0 fixed_pic_rate_general_flag:u1=0 fixed_pic_rate_within_cvs_flag:u1=0 low_delay_hrd_flag:u1=1"));
  } else if (name == "SPS/VPS not nesting") {
    u.vps.Set("vps_temporal_id_nesting_flag", 0);
  } else if (name == "SPS+all") {
    u.sps.Set("pcm_enabled_flag", 1).Set("scaling_list_enabled_flag", 1).Set("sps_extension_present_flag", 1)
        .InsertAfter("pcm_enabled_flag", E("pcm_sample_bit_depth_luma_minus1:u4=7 pcm_sample_bit_depth_chroma_minus1:u4=7"
                                           " log2_min_pcm_luma_coding_block_size_minus3:ue=0 log2_diff_max_min_pcm_luma_coding_block_size:ue=1"
                                           " pcm_loop_filter_disabled_flag:u1=0"))
        .InsertAfter("sps_extension_present_flag", E(
            "sps_range_extension_flag:u1=1 sps_multilayer_and_3d_flags:u2=0 sps_scc_extension_flag:u1=1 sps_extension_4bits:u4=0"
            " range_extension_flags:u9=0x155 sps_curr_pic_ref_enabled_flag:u1=1 palette_mode_enabled_flag:u1=1 palette_max_size:ue=64"
            " delta_palette_max_predictor_size:ue=32 sps_palette_predictor_initializers_present_flag:u1=1"
            " sps_num_palette_predictor_initializers_minus1:ue=1 initializers:u48=0x123456789ABC"
            " motion_vector_resolution_control_idc:u2=2 intra_boundary_filtering_disabled_flag:u1=1"));
    // scaling_list_data: each list predicted from itself but the first 16x16 one, which is coded
    std::vector<Element> lists = E("sps_scaling_list_data_present_flag:u1=1");
    for (int sizeId = 0; sizeId < 4; ++sizeId) {
      for (int matrixId = 0; matrixId < 6; matrixId += sizeId == 3 ? 3 : 1) {
        const bool coded = sizeId == 2 && matrixId == 0;
        lists.push_back(U("scaling_list_pred_mode_flag", 1, coded));
        if (!coded) lists.push_back(UE("scaling_list_pred_matrix_id_delta", 0));
        for (int i = -1; coded && i < 64; ++i) lists.push_back({i < 0 ? "scaling_list_dc_coef_minus8" : "scaling_list_delta_coef", 's', 0, i < 0 ? 247 : i % 2 ? 127 : -128});
      }
    }
    u.sps.InsertAfter("scaling_list_enabled_flag", lists);
    longTermSPS();
    u.slice.InsertAfter("used_by_curr_pic_s0_flag", E("num_long_term_sps:ue=0 num_long_term_pics:ue=0"));
  } else if (name == "PPS+all") {
    u.sps.Set("general_profile_idc", 4);  // the range extension is read from this profile on
    u.pps.Set("tiles_enabled_flag", 1).Set("deblocking_filter_control_present_flag", 1).Set("transform_skip_enabled_flag", 1)
        .InsertAfter("entropy_coding_sync_enabled_flag", E("num_tile_columns_minus1:ue=1 num_tile_rows_minus1:ue=1 uniform_spacing_flag:u1=0"
                                                           " column_width_minus1:ue=15 row_height_minus1:ue=31 loop_filter_across_tiles_enabled_flag:u1=1"))
        .InsertAfter("deblocking_filter_control_present_flag", E("deblocking_filter_override_enabled_flag:u1=1"
                                                                 " pps_deblocking_filter_disabled_flag:u1=0 pps_beta_offset_div2:se=-6 pps_tc_offset_div2:se=6"));
    ppsExtensions(
        "log2_max_transform_skip_block_size_minus2:ue=3 cross_component_prediction_enabled_flag:u1=0 chroma_qp_offset_list_enabled_flag:u1=1"
        " diff_cu_chroma_qp_offset_depth:ue=0 chroma_qp_offset_list_len_minus1:ue=1 cb_qp_offset_list:se=-3 cr_qp_offset_list:se=3"
        " cb_qp_offset_list[1]:se=12 cr_qp_offset_list[1]:se=-12 log2_sao_offset_scale_luma:ue=0 log2_sao_offset_scale_chroma:ue=0"
        " pps_curr_pic_ref_enabled_flag:u1=0 residual_adaptive_colour_transform_enabled_flag:u1=1 pps_slice_act_qp_offsets_present_flag:u1=0"
        " pps_act_y_qp_offset_plus5:se=17 pps_act_cb_qp_offset_plus5:se=-7 pps_act_cr_qp_offset_plus3:se=-9"
        " pps_palette_predictor_initializers_present_flag:u1=1 pps_num_palette_predictor_initializers:ue=2 monochrome_palette_flag:u1=0"
        " luma_bit_depth_entry_minus8:ue=0 chroma_bit_depth_entry_minus8:ue=0 initializers:u48=0xFEDCBA987654");
    u.pps.Set("pps_range_extension_flag", 1);
  } else if (name == "IDR slice") {
    slice(19, "no_output_of_prior_pics_flag:u1=0 slice_pic_parameter_set_id:ue=0 slice_type:ue=2 slice_sao_flags:u2=3");
  } else if (name.ends_with("2nd slice")) {
    u.slice.Set("first_slice_segment_in_pic_flag", 0).InsertAfter("slice_pic_parameter_set_id", E("slice_segment_address:u1=0"));
  } else if (name == "B slice") {
    // Three pictures used by the current one, lists of two, both modified (entries of 2 bits).
    u.pps.Set("lists_modification_present_flag", 1).Set("cabac_init_present_flag", 1);
    slice(1, "slice_pic_parameter_set_id:ue=0 slice_type:ue=0 slice_pic_order_cnt_lsb:u8=5 short_term_ref_pic_set_sps_flag:u1=0"
             " slice_temporal_mvp_enabled_flag:u1=1 slice_sao_flags:u2=2 num_ref_idx_active_override_flag:u1=1"
             " num_ref_idx_l0_active_minus1:ue=1 num_ref_idx_l1_active_minus1:ue=1 ref_pic_list_modification_flag_l0:u1=1"
             " list_entry_l0:u2=2 list_entry_l0[1]:u2=0 ref_pic_list_modification_flag_l1:u1=1 list_entry_l1:u2=1 list_entry_l1[1]:u2=2"
             " mvd_l1_zero_flag:u1=1 cabac_init_flag:u1=1 collocated_from_l0_flag:u1=0 collocated_ref_idx:ue=1");
    u.slice.InsertAfter("short_term_ref_pic_set_sps_flag", ExplicitSet(2, 1));
  } else if (name == "P slice/SPS sets") {
    // Sets (-1, -2 | +1), that one shifted by -1 (-1, -2, -3), and that one by +2 (-1 | +1, +2).
    u.sps.Set("num_short_term_ref_pic_sets", 3).InsertAfter("num_short_term_ref_pic_sets", ExplicitSet(2, 1))
        .InsertAfter("used_by_curr_pic_s1_flag", E("inter_ref_pic_set_prediction_flag:u1=1 delta_rps_sign:u1=1 abs_delta_rps_minus1:ue=0"
                                                   " used:u4=15 inter_ref_pic_set_prediction_flag:u1=1 delta_rps_sign:u1=0"
                                                   " abs_delta_rps_minus1:ue=1 used:u4=15"));
    sliceSet({});
    u.slice.Set("short_term_ref_pic_set_sps_flag", 1).InsertAfter("short_term_ref_pic_set_sps_flag", E("short_term_ref_pic_set_idx:u2=2"));
  } else if (name == "P slice/predicted set") {
    // From the SPS's one set (-1, -2 | +1), shifted by +3: +1 used, +4 kept unused, and +3 itself.
    u.sps.Set("num_short_term_ref_pic_sets", 1).InsertAfter("num_short_term_ref_pic_sets", ExplicitSet(2, 1));
    sliceSet(E("inter_ref_pic_set_prediction_flag:u1=1 delta_idx_minus1:ue=0 delta_rps_sign:u1=0 abs_delta_rps_minus1:ue=2"
               " used_and_use_delta_flags:u6=0b001011"));
  } else if (name == "P slice/long-term") {
    longTermSPS();
    u.slice.InsertAfter("used_by_curr_pic_s0_flag", E(
        "num_long_term_sps:ue=2 num_long_term_pics:ue=1 lt_idx_sps:u2=2 delta_poc_msb_present_flag:u1=0 lt_idx_sps[1]:u2=1"
        " delta_poc_msb_present_flag[1]:u1=0 poc_lsb_lt:u8=77 used_by_curr_pic_lt_flag:u1=1 delta_poc_msb_present_flag[2]:u1=1"
        " delta_poc_msb_cycle_lt:ue=3"));
  } else if (name == "P slice/own picture") {
    // A picture that refers to itself and is filtered in the loop: 14 short-term pictures leave it
    // its slot.
    ppsExtensions("pps_curr_pic_ref_enabled_flag:u1=1 residual_adaptive_colour_transform_enabled_flag:u1=0"
                  " pps_palette_predictor_initializers_present_flag:u1=0");
    u.sps.Set("sample_adaptive_offset_enabled_flag", 0);
    u.pps.Set("deblocking_filter_control_present_flag", 1)
        .InsertAfter("deblocking_filter_control_present_flag", E("deblocking_filter_override_enabled_flag:u1=1"
                                                                 " pps_deblocking_filter_disabled_flag:u1=1"));
    u.slice.Remove("slice_sao_luma_flag slice_sao_chroma_flag");
    sliceSet(ExplicitSet(14, 0));
  } else if (name != "VPS" && name != "SPS" && name != "PPS" && name != "P slice") {
    throw std::logic_error("no variant " + name);
  }
  return u;
}

// A record's listing against the unit it was decoded from: the elements that both name (indices
// aside), in order and with the same values. Elements the unit writes in a group under a name of
// its own ("flags:u8") are left out, as are elements the listing infers.
inline void ExpectListedAsBuilt(const SyntaxUnit& unit, const FlatListing& listing) {
  const auto base = [](const std::string& name) { return name.substr(0, name.find('[')); };
  std::set<std::string> built, listed;
  for (const Element& e : unit.Elements()) built.insert(base(e.name));
  for (const auto& [name, value] : listing.elements) listed.insert(base(name));
  std::vector<std::string> fromUnit, fromListing;
  for (const Element& e : unit.Elements()) {
    if (listed.contains(base(e.name))) fromUnit.push_back(base(e.name) + "=" + std::to_string(e.value));
  }
  for (const auto& [name, value] : listing.elements) {
    if (built.contains(base(name))) fromListing.push_back(base(name) + "=" + std::to_string(value));
  }
  EXPECT_EQ(fromUnit, fromListing);
}

// Units behind four-byte start codes, as a codec configuration or a raw stream carries them.
inline std::vector<uint8_t> AnnexB(const std::vector<SyntaxUnit>& units) {
  std::vector<uint8_t> out;
  for (const SyntaxUnit& unit : units) {
    const std::vector<uint8_t> bytes = unit.Bytes();
    out.insert(out.end(), {0, 0, 0, 1});
    out.insert(out.end(), bytes.begin(), bytes.end());
  }
  return out;
}

// The parameter sets decoded into a collection, then the slice header.
struct Decoded {
  Orvane::Proc::CodecParsers::HEVC_PS ps;
  std::shared_ptr<const Orvane::Proc::CodecParsers::HEVCSliceHeader> header;
  std::optional<Failure> failure;
};
inline Decoded Decode(const HEVCUnits& u) {
  using namespace Orvane::Proc::CodecParsers;
  Decoded d;
  d.failure = Probe([&] {
    for (const SyntaxUnit* unit : {&u.vps, &u.sps, &u.pps, &u.slice}) {
      const std::vector<uint8_t> bytes = unit->Bytes();
      if (unit != &u.slice) d.ps.AddNALU(NALU{bytes.data(), bytes.size()});
      if (unit == &u.slice) d.header = CreateSliceHeader(d.ps, NALU{bytes.data(), bytes.size()});
    }
  });
  return d;
}

}  // namespace codec_test
