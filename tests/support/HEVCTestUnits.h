#pragma once
// HEVC NAL units for tests, written element by element: a unit is the list of its syntax
// elements in bitstream order, each with its name, descriptor and value, so that a test changes
// or adds elements by name and the bytes follow. The baselines are a small valid VPS, SPS and PPS
// (4:2:0, 8-bit, 64x64, one sub-layer) that refer to each other with id 0.
#include <algorithm>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

#include "support/BitstreamTestKit.h"

namespace codec_test {

struct Element {
  std::string name;
  char descriptor;  // 'u' u(bits), 'e' ue(v), 's' se(v)
  int bits;         // for u(n)
  int64_t value;
};

inline Element U(std::string name, int bits, int64_t value) { return {std::move(name), 'u', bits, value}; }
inline Element UE(std::string name, int64_t value) { return {std::move(name), 'e', 0, value}; }
inline Element SE(std::string name, int64_t value) { return {std::move(name), 's', 0, value}; }

class SyntaxUnit {
 public:
  SyntaxUnit() = default;
  SyntaxUnit(std::initializer_list<Element> elements) : elements_(elements) {}

  // The first element of that name gets the value.
  SyntaxUnit& Set(const std::string& name, int64_t value) {
    Find(name)->value = value;
    return *this;
  }
  // Elements right after the first element of that name (the ones its value brings in).
  SyntaxUnit& InsertAfter(const std::string& name, std::vector<Element> added) {
    elements_.insert(Find(name) + 1, added.begin(), added.end());
    return *this;
  }
  SyntaxUnit& Remove(const std::string& name) {
    elements_.erase(Find(name));
    return *this;
  }
  SyntaxUnit& Append(std::vector<Element> added) {
    elements_.insert(elements_.end(), added.begin(), added.end());
    return *this;
  }

  // The RBSP: the elements, then rbsp_trailing_bits unless `trailing` is false.
  std::vector<uint8_t> RBSP(bool trailing = true) const {
    Bits b;
    for (const Element& e : elements_) {
      if (e.descriptor == 'u') b.u(e.bits, static_cast<uint64_t>(e.value));
      if (e.descriptor == 'e') b.ue(static_cast<uint64_t>(e.value));
      if (e.descriptor == 's') b.se(e.value);
    }
    if (trailing) {
      b.bit(1);
      while (b.n % 8) b.bit(0);
    }
    return b.out;
  }

  // The NAL unit as it stands in a stream: the RBSP with emulation-prevention bytes.
  std::vector<uint8_t> Bytes(bool trailing = true) const {
    std::vector<uint8_t> out;
    int zeros = 0;
    for (uint8_t byte : RBSP(trailing)) {
      if (zeros >= 2 && byte <= 3) {
        out.push_back(3);
        zeros = 0;
      }
      out.push_back(byte);
      zeros = byte == 0 ? zeros + 1 : 0;
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

inline std::vector<Element> NalHeader(int type, int layer = 0, int temporalIdPlus1 = 1) {
  return {U("forbidden_zero_bit", 1, 0), U("nal_unit_type", 6, type), U("nuh_layer_id", 6, layer),
          U("nuh_temporal_id_plus1", 3, temporalIdPlus1)};
}

// A general profile block without the level: Main profile (compatible with Main 10), progressive,
// frame only. Other profiles change general_profile_idc, the flags and the 43 constraint bits.
inline std::vector<Element> GeneralProfile(int profile_idc = 1, uint32_t compatibility = 0x60000000) {
  return {U("general_profile_space", 2, 0), U("general_tier_flag", 1, 0),
          U("general_profile_idc", 5, profile_idc), U("general_profile_compatibility_flags", 32, compatibility),
          U("general_progressive_source_flag", 1, 1), U("general_interlaced_source_flag", 1, 0),
          U("general_non_packed_constraint_flag", 1, 0), U("general_frame_only_constraint_flag", 1, 1),
          U("general_constraint_43bits", 43, 0), U("general_inbld_flag", 1, 0)};
}

inline SyntaxUnit Concat(std::vector<std::vector<Element>> parts) {
  SyntaxUnit unit;
  for (auto& part : parts) unit.Append(std::move(part));
  return unit;
}

inline SyntaxUnit BaseVPS() {
  return Concat({NalHeader(32),
                 {U("vps_video_parameter_set_id", 4, 0), U("vps_base_layer_internal_flag", 1, 1),
                  U("vps_base_layer_available_flag", 1, 1), U("vps_max_layers_minus1", 6, 0),
                  U("vps_max_sub_layers_minus1", 3, 0), U("vps_temporal_id_nesting_flag", 1, 1),
                  U("vps_reserved_0xffff_16bits", 16, 0xFFFF)},
                 GeneralProfile(),
                 {U("general_level_idc", 8, 93), U("vps_sub_layer_ordering_info_present_flag", 1, 1),
                  UE("vps_max_dec_pic_buffering_minus1", 4), UE("vps_max_num_reorder_pics", 2),
                  UE("vps_max_latency_increase_plus1", 0), U("vps_max_layer_id", 6, 0),
                  UE("vps_num_layer_sets_minus1", 0), U("vps_timing_info_present_flag", 1, 0),
                  U("vps_extension_flag", 1, 0)}});
}

inline SyntaxUnit BaseSPS() {
  return Concat({NalHeader(33),
                 {U("sps_video_parameter_set_id", 4, 0), U("sps_max_sub_layers_minus1", 3, 0),
                  U("sps_temporal_id_nesting_flag", 1, 1)},
                 GeneralProfile(),
                 {U("general_level_idc", 8, 93), UE("sps_seq_parameter_set_id", 0), UE("chroma_format_idc", 1),
                  UE("pic_width_in_luma_samples", 64), UE("pic_height_in_luma_samples", 64),
                  U("conformance_window_flag", 1, 0), UE("bit_depth_luma_minus8", 0),
                  UE("bit_depth_chroma_minus8", 0), UE("log2_max_pic_order_cnt_lsb_minus4", 4),
                  U("sps_sub_layer_ordering_info_present_flag", 1, 1), UE("sps_max_dec_pic_buffering_minus1", 4),
                  UE("sps_max_num_reorder_pics", 2), UE("sps_max_latency_increase_plus1", 0),
                  UE("log2_min_luma_coding_block_size_minus3", 0), UE("log2_diff_max_min_luma_coding_block_size", 3),
                  UE("log2_min_luma_transform_block_size_minus2", 0),
                  UE("log2_diff_max_min_luma_transform_block_size", 3), UE("max_transform_hierarchy_depth_inter", 0),
                  UE("max_transform_hierarchy_depth_intra", 0), U("scaling_list_enabled_flag", 1, 0),
                  U("amp_enabled_flag", 1, 0), U("sample_adaptive_offset_enabled_flag", 1, 1),
                  U("pcm_enabled_flag", 1, 0), UE("num_short_term_ref_pic_sets", 0),
                  U("long_term_ref_pics_present_flag", 1, 0), U("sps_temporal_mvp_enabled_flag", 1, 1),
                  U("strong_intra_smoothing_enabled_flag", 1, 1), U("vui_parameters_present_flag", 1, 0),
                  U("sps_extension_present_flag", 1, 0)}});
}

inline SyntaxUnit BasePPS() {
  return Concat({NalHeader(34),
                 {UE("pps_pic_parameter_set_id", 0), UE("pps_seq_parameter_set_id", 0),
                  U("dependent_slice_segments_enabled_flag", 1, 0), U("output_flag_present_flag", 1, 0),
                  U("num_extra_slice_header_bits", 3, 0), U("sign_data_hiding_enabled_flag", 1, 1),
                  U("cabac_init_present_flag", 1, 0), UE("num_ref_idx_l0_default_active_minus1", 0),
                  UE("num_ref_idx_l1_default_active_minus1", 0), SE("init_qp_minus26", 0),
                  U("constrained_intra_pred_flag", 1, 0), U("transform_skip_enabled_flag", 1, 0),
                  U("cu_qp_delta_enabled_flag", 1, 1), UE("diff_cu_qp_delta_depth", 1), SE("pps_cb_qp_offset", 0),
                  SE("pps_cr_qp_offset", 0), U("pps_slice_chroma_qp_offsets_present_flag", 1, 0),
                  U("weighted_pred_flag", 1, 0), U("weighted_bipred_flag", 1, 0),
                  U("transquant_bypass_enabled_flag", 1, 0), U("tiles_enabled_flag", 1, 0),
                  U("entropy_coding_sync_enabled_flag", 1, 0), U("pps_loop_filter_across_slices_enabled_flag", 1, 1),
                  U("deblocking_filter_control_present_flag", 1, 0), U("pps_scaling_list_data_present_flag", 1, 0),
                  U("lists_modification_present_flag", 1, 0), UE("log2_parallel_merge_level_minus2", 0),
                  U("slice_segment_header_extension_present_flag", 1, 0), U("pps_extension_present_flag", 1, 0)}});
}

}  // namespace codec_test
