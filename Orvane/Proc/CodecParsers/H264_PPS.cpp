// The picture parameter set with its slice groups and scaling matrix.
#include <algorithm>
#include <bit>
#include <cstring>

#include "Orvane/Proc/CodecParsers/H264CodecParams.h"
#include "Orvane/Proc/CodecParsers/H264Syntax.h"

namespace Orvane::Proc::CodecParsers {

using namespace h264_syntax;

namespace {

constexpr uint32_t kPPSType = 8;

// The initial state of a PPS: its slice group map empty (its storage kept for the next decode),
// every other field zero. The fixed-size fields lie in two runs around the map.
void Reset(H264_PPS& pps) {
  pps.slice_group_id.clear();
  ZeroFields(&pps, &pps.slice_group_id);
  ZeroFields(&pps.num_ref_idx_l0_default_active_minus1, &pps.second_chroma_qp_index_offset + 1);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// pic_parameter_set_rbsp

void H264_PPS::Decode(const NALU& nalu, const H264_PS& ps) {
  Reset(*this);
  UnitRBSP rbsp(nalu);
  BitsReader& r = rbsp.Reader();
  r.SkipBits(3);  // forbidden_zero_bit, nal_ref_idc
  if (r.GetBits<uint32_t>(5) != kPPSType) Fail("NALU is not a PPS");

  pic_parameter_set_id = UE<uint8_t>(r, 255, "pic_parameter_set_id out of range");
  seq_parameter_set_id = UE<uint8_t>(r, 31, "seq_parameter_set_id out of range");
  const H264_SPS* sps = FindStored(ps.sps_list, seq_parameter_set_id, &H264_SPS::seq_parameter_set_id);
  if (!sps) Fail("invalid seq_parameter_set_id in pps");
  entropy_coding_mode_flag = r.GetBits<uint8_t>(1);
  bottom_field_pic_order_in_frame_present_flag = r.GetBits<uint8_t>(1);

  num_slice_groups_minus1 = UE<uint8_t>(r, 7, "num_slice_groups_minus1 out of range");
  if (num_slice_groups_minus1 > 0) {
    // Every slice group position lies within the picture's map units.
    const uint32_t mapUnits = (sps->pic_width_in_mbs_minus1 + 1u) * (sps->pic_height_in_map_units_minus1 + 1u);
    slice_group_map_type = UE<uint8_t>(r, 6, "slice_group_map_type out of range");
    if (slice_group_map_type == 0) {
      for (uint32_t i = 0; i <= num_slice_groups_minus1; ++i) {
        run_length_minus1[i] = UE<uint32_t>(r, mapUnits - 1, "run_length_minus1 out of range");
      }
    } else if (slice_group_map_type == 2) {
      // The last slice group is the background, which has no rectangle.
      for (uint32_t i = 0; i < num_slice_groups_minus1; ++i) {
        top_left[i] = UE<uint32_t>(r, mapUnits - 1, "top_left out of range");
        bottom_right[i] = UE<uint32_t>(r, mapUnits - 1, "bottom_right out of range");
      }
    } else if (slice_group_map_type >= 3 && slice_group_map_type <= 5) {
      slice_group_change_direction_flag = r.GetBits<uint8_t>(1);
      slice_group_change_rate_minus1 = UE<uint32_t>(r, mapUnits - 1, "slice_group_change_rate_minus1 out of range");
    } else if (slice_group_map_type == 6) {
      const uint32_t sizeMinus1 = r.GetUEGolomb();
      if (sizeMinus1 != mapUnits - 1) Fail("pic_size_in_map_units_minus1 out of range");
      pic_size_in_map_units_minus1 = sizeMinus1;
      // Ceil(Log2(num_slice_groups_minus1 + 1)) bits per id. The map grows as it is read, so a
      // unit cut short fails before a map of the whole picture is made for it.
      const auto bits = static_cast<unsigned>(std::bit_width(num_slice_groups_minus1 + 0u));
      slice_group_id.reserve(std::min<uint64_t>(mapUnits, r.BitsLeft() / bits));
      for (uint32_t i = 0; i < mapUnits; ++i) {
        const uint32_t id = r.GetBits<uint32_t>(bits);
        if (id > num_slice_groups_minus1) Fail("slice_group_id out of range");
        slice_group_id.push_back(id);
      }
    }
  }

  num_ref_idx_l0_default_active_minus1 = UE<uint8_t>(r, 31, "num_ref_idx_l0_default_active_minus1 out of range");
  num_ref_idx_l1_default_active_minus1 = UE<uint8_t>(r, 31, "num_ref_idx_l1_default_active_minus1 out of range");
  weighted_pred_flag = r.GetBits<uint8_t>(1);
  weighted_bipred_idc = r.GetBits<uint8_t>(2);
  pic_init_qp_minus26 = SE<int8_t>(r);
  pic_init_qs_minus26 = SE<int8_t>(r);
  chroma_qp_index_offset = SE<int8_t>(r, -12, 12, "chroma_qp_index_offset out of range");
  deblocking_filter_control_present_flag = r.GetBits<uint8_t>(1);
  constrained_intra_pred_flag = r.GetBits<uint8_t>(1);
  redundant_pic_cnt_present_flag = r.GetBits<uint8_t>(1);

  // The lists in force unless this PPS codes its own.
  std::memcpy(ScalingList4x4, sps->ScalingList4x4, sizeof ScalingList4x4);
  std::memcpy(ScalingList8x8, sps->ScalingList8x8, sizeof ScalingList8x8);
  // The fields from transform_8x8_mode_flag on exist only where the SPS's profile has them.
  if (!r.MoreRBSPData() || !sps->AllowsPpsHighFields()) {
    second_chroma_qp_index_offset = chroma_qp_index_offset;
    return;
  }
  transform_8x8_mode_flag = r.GetBits<uint8_t>(1);
  pic_scaling_matrix_present_flag = r.GetBits<uint8_t>(1);
  if (pic_scaling_matrix_present_flag) {
    scaling_list_present_mask = DecodeScalingMatrix(r, *sps, this, ScalingList4x4, ScalingList8x8);
  }
  second_chroma_qp_index_offset = SE<int8_t>(r, -12, 12, "second_chroma_qp_index_offset out of range");
}

}  // namespace Orvane::Proc::CodecParsers
