// H.264 serialisation: every SPS and every slice of the sample streams written back by Append, a
// VUI that ended early, and the refusals of the writers.
#include <filesystem>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Orvane/Proc/CodecParsers/H264SliceHeader.h"
#include "Orvane/Proc/CodecParsers/H26xBitstreamBuilder.h"
#include "support/HEVCStreams.h"
#include "support/HEVCTestUnits.h"

namespace {

using namespace Orvane::Proc::CodecParsers;
using namespace codec_test;
using Bytes = std::vector<uint8_t>;

template <class Record>
Bytes Written(const Record& record) {
  H26xBitstreamBuilder b(true);
  record.Append(b);
  return {b.data(), b.data() + b.BytesInBuffer()};
}

std::unique_ptr<H264_SPS> DecodeSPS(const Bytes& unit) {
  auto sps = std::make_unique<H264_SPS>();
  sps->Decode(NALU{unit.data(), unit.size()});
  return sps;
}

// The failure of `append` into a fresh builder as "message in function", and the bits it left there
// (as RBSP: a unit cut off within a byte takes no emulation prevention).
std::pair<std::string, Bytes> Refusal(const std::function<void(H26xBitstreamBuilder&)>& append) {
  H26xBitstreamBuilder b(false);
  const std::optional<Failure> failure = Probe([&] { append(b); });
  b.Flush();
  return {failure ? failure->message + " in " + failure->function : "", Bytes(b.data(), b.data() + b.BytesInBuffer())};
}

// Every SPS and slice of the sample streams. An SPS is decoded from its unit with nal_ref_idc 0 and
// written back as the unit x264 wrote, with 3; one with a scaling matrix is refused. A CABAC slice
// is written back as its unit, except where a decode keeps less than the unit codes; either way it
// decodes to the same record. A CAVLC slice is refused and leaves the builder empty.
TEST(H264Serialisation, SampleStreamsRoundTrip) {
  size_t sps = 0, matrices = 0, slices = 0, cavlc = 0, bytesDiffer = 0;
  for (const auto& stream : SampleStreams(H264_TEST_DATA, ".h264")) {
    SCOPED_TRACE(stream.filename().string());
    const Bytes bytes = ReadFile(stream);
    std::vector<NALU> nalus;
    FindAnnexBNalus(bytes.data(), bytes.size(), nalus);
    H264_PS ps;
    for (const NALU& nalu : nalus) {
      const Bytes unit(nalu.data, nalu.data + nalu.size);
      if (H264NaluType(nalu) == 7) {
        Bytes lowPriority = unit;
        lowPriority[0] &= 0x9F;
        const auto original = DecodeSPS(lowPriority);
        if (original->seq_scaling_matrix_present_flag) {
          EXPECT_EQ(Refusal([&](auto& b) { original->Append(b); }).first, "Feature not implemented in Append");
          ++matrices;
        } else {
          const Bytes written = Written(*original);
          EXPECT_TRUE(*DecodeSPS(written) == *original);
          EXPECT_EQ(written, unit);
          ++sps;
        }
      }
      ps.AddNALU(nalu);
      const auto slice = ps.DecodeSlice(nalu);
      if (!slice) continue;
      if (!slice->pps->entropy_coding_mode_flag) {
        EXPECT_EQ(Refusal([&](auto& b) { slice->Append(b); }),
                  std::make_pair(std::string("Serialization for the CAVLC entropy coding method is not implemented in Append"), Bytes()));
        ++cavlc;
        continue;
      }
      const Bytes written = Written(*slice);
      EXPECT_TRUE(*ps.DecodeSlice(NALU{written.data(), written.size()}) == *slice);
      if (written != unit) {
        ++bytesDiffer;
        std::cout << stream.filename().string() << " slice " << slices << " differs\n";
      }
      ++slices;
    }
  }
  std::cout << sps << " SPS and " << slices << " CABAC slices written back byte for byte, " << cavlc << " CAVLC slices refused\n";
  EXPECT_GE(sps, 17u);
  EXPECT_GE(slices, 100u);
}

// High 4:2:0, no matrix, POC type 0, and a VUI that ends after its head.
SyntaxUnit BaseSPS() {
  return SyntaxUnit().Append(E(
      "forbidden_zero_bit:u1=0 nal_ref_idc:u2=3 nal_unit_type:u5=7 profile_idc:u8=100 constraint_set_flags:u6=0 reserved_zero_2bits:u2=0"
      " level_idc:u8=40 seq_parameter_set_id:ue=3 chroma_format_idc:ue=1 bit_depth_luma_minus8:ue=0 bit_depth_chroma_minus8:ue=0"
      " qpprime_y_zero_transform_bypass_flag:u1=0 seq_scaling_matrix_present_flag:u1=0 log2_max_frame_num_minus4:ue=0"
      " pic_order_cnt_type:ue=0 log2_max_pic_order_cnt_lsb_minus4:ue=2 max_num_ref_frames:ue=4 gaps_in_frame_num_value_allowed_flag:u1=0"
      " pic_width_in_mbs_minus1:ue=119 pic_height_in_map_units_minus1:ue=67 frame_mbs_only_flag:u1=1 direct_8x8_inference_flag:u1=1"
      " frame_cropping_flag:u1=0 vui_parameters_present_flag:u1=1 aspect_ratio_info_present_flag:u1=0 overscan_info_present_flag:u1=0"
      " video_signal_type_present_flag:u1=0 chroma_loc_info_present_flag:u1=0"));
}

// What x264 does not write, decoded, written and decoded again: the written bytes and the same record.
TEST(H264Serialisation, HandBuiltSPSRoundTrip) {
  const std::string kVUITail = "timing_info_present_flag:u1=0 nal_hrd_parameters_present_flag:u1=0 vcl_hrd_parameters_present_flag:u1=0"
                               " pic_struct_present_flag:u1=0 bitstream_restriction_flag:u1=0";
  const struct Row { const char* name; std::function<void(SyntaxUnit&)> edit; std::function<void(SyntaxUnit&)> writtenAs; } rows[] = {
      {"a VUI that ended after its head is written in full", [](SyntaxUnit&) {},
       [&](SyntaxUnit& u) { u.InsertAfter("chroma_loc_info_present_flag", E(kVUITail)); }},
      {"POC type 1 over 32 bits, timing, a VCL HRD of two CPBs, bitstream restriction",
       [](SyntaxUnit& u) {
         u.Set("pic_order_cnt_type", 1).Remove("log2_max_pic_order_cnt_lsb_minus4").InsertAfter("pic_order_cnt_type", E(
             "delta_pic_order_always_zero_flag:u1=0 offset_for_non_ref_pic:se=-3 offset_for_top_to_bottom_field:se=2147483647"
             " num_ref_frames_in_pic_order_cnt_cycle:ue=2 offset_for_ref_frame:se=-2147483647 offset_for_ref_frame[1]:se=5"));
         u.InsertAfter("chroma_loc_info_present_flag", E(
             "timing_info_present_flag:u1=1 num_units_in_tick:u32=1001 time_scale:u32=60000 fixed_frame_rate_flag:u1=1"
             " nal_hrd_parameters_present_flag:u1=0 vcl_hrd_parameters_present_flag:u1=1 cpb_cnt_minus1:ue=1 scales:u8=0x43"
             " bit_rate_value_minus1:ue=2147483647 cpb_size_value_minus1:ue=7 cbr_flag:u1=0 bit_rate_value_minus1[1]:ue=9"
             " cpb_size_value_minus1[1]:ue=0 cbr_flag[1]:u1=1 lengths:u20=0xFFFFE low_delay_hrd_flag:u1=1 pic_struct_present_flag:u1=1"
             " bitstream_restriction_flag:u1=1 motion_vectors_over_pic_boundaries_flag:u1=1 max_bytes_per_pic_denom:ue=2"
             " max_bits_per_mb_denom:ue=1 log2_max_mv_length_horizontal:ue=16 log2_max_mv_length_vertical:ue=15"
             " max_num_reorder_frames:ue=16 max_dec_frame_buffering:ue=4"));
       },
       [](SyntaxUnit&) {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    SyntaxUnit unit = BaseSPS();
    row.edit(unit);
    const auto original = DecodeSPS(unit.Bytes());
    const Bytes written = Written(*original);
    row.writtenAs(unit);
    EXPECT_EQ(written, unit.Bytes());
    EXPECT_TRUE(*DecodeSPS(written) == *original);
  }
}

// A reference P slice of a CABAC stream, to edit.
H264Slice SampleSlice() {
  const Bytes bytes = ReadFile(std::filesystem::path(H264_TEST_DATA) / "main_ids.h264");
  std::vector<NALU> nalus;
  FindAnnexBNalus(bytes.data(), bytes.size(), nalus);
  H264_PS ps;
  for (const NALU& nalu : nalus) {
    ps.AddNALU(nalu);
    const auto slice = ps.DecodeSlice(nalu);
    if (slice && slice->Kind() == kSliceP && slice->nal_ref_idc != 0 && slice->pps->deblocking_filter_control_present_flag) return *slice;
  }
  throw std::logic_error("no reference P slice");
}

// Each refusal of the writers with its message and function, and for the ones that come before
// anything is written, an untouched builder; an SPS with a matrix leaves the fields up to its flag.
TEST(H264Serialisation, Refusals) {
  const H264Slice base = SampleSlice();
  const uint8_t refs = base.sps->max_num_ref_frames;
  ASSERT_GT(refs, 0u);
  const auto pps = [](auto edit) { return [=](H264Slice& s) { auto p = std::make_shared<H264_PPS>(*s.pps); edit(*p); s.pps = p; }; };
  const auto list0 = [](uint8_t idc, uint32_t diff, uint8_t longTerm) {
    return [=](H264Slice& s) { s.ref_pic_list_modification_flag_l0 = 1, s.ref_pic_list_modification_l0[0] = {idc, longTerm, diff}; };
  };
  const auto mmco = [](H264_MMCO op) { return [=](H264Slice& s) { s.adaptive_ref_pic_marking_mode_flag = 1, s.mmco[0] = op; }; };
  SyntaxUnit matrixFields = BaseSPS().Set("seq_scaling_matrix_present_flag", 1).CutAfter("seq_scaling_matrix_present_flag");
  const Bytes untouched;
  const struct Row { const char* name; std::function<void(H264Slice&)> edit; std::string expected; std::optional<Bytes> left; } rows[] = {
      {"CAVLC", pps([](H264_PPS& p) { p.entropy_coding_mode_flag = 0; }),
       "Serialization for the CAVLC entropy coding method is not implemented in Append", untouched},
      {"partition B", [](H264Slice& s) { s.nal_unit_type = 3; }, "Slice data partitions B and C have no slice header in Append", untouched},
      {"no PPS", [](H264Slice& s) { s.pps = nullptr; }, "invalid pic_parameter_set_id in slice header in Append", untouched},
      {"nal_unit_type 0", [](H264Slice& s) { s.nal_unit_type = 0; }, "Invalid NALU in BeginNALU", {}},
      {"nal_unit_type 6", [](H264Slice& s) { s.nal_unit_type = 6; }, "NALU is not a Slice in AppendHeader", {}},
      {"first_mb_in_slice", [](H264Slice& s) { s.first_mb_in_slice = 139264; }, "first_mb_in_slice out of range in AppendHeader", {}},
      {"IDR P slice", [](H264Slice& s) { s.nal_unit_type = 5; }, "invalid slice tipe in header in AppendHeader", {}},
      {"l0 count", [](H264Slice& s) { s.num_ref_idx_active_override_flag = 1, s.num_ref_idx_l0_active_minus1 = 32; },
       "num_ref_idx_l0_active_minus1 out of range in AppendHeader", {}},
      {"l0 count the PPS cannot give", [](H264Slice& s) { s.num_ref_idx_active_override_flag = 0, s.num_ref_idx_l0_active_minus1 = 40; },
       "num_ref_idx_l0_active_minus1 out of range in AppendHeader", {}},
      {"l1 count", [](H264Slice& s) { s.slice_type = 1, s.num_ref_idx_active_override_flag = 1, s.num_ref_idx_l1_active_minus1 = 32; },
       "num_ref_idx_l1_active_minus1 out of range in AppendHeader", {}},
      {"modification idc", list0(4, 0, 0), "modification_of_pic_nums_idc out of range in operator ()", {}},
      {"abs_diff_pic_num_minus1", list0(0, 1u << 17, 0), "abs_diff_pic_num_minus1 out of range in operator ()", {}},
      {"long_term_pic_num in a list", list0(2, 0, refs), "long_term_pic_num out of range in operator ()", {}},
      {"one operation more than references",
       [=](H264Slice& s) { list0(1, 0, 0)(s), s.num_ref_idx_l0_active_minus1 = 0, s.ref_pic_list_modification_l0[1] = {0, 0, 0}; },
       "reference count overflow in operator ()", {}},
      {"operation 7", mmco({7, 0, 0, 0, 0}), "memory_management_control_operation out of range in AppendHeader", {}},
      {"long_term_pic_num of an operation", mmco({2, 0, refs, 0, 0}), "long_term_pic_num out of range in AppendHeader", {}},
      {"long_term_frame_idx", mmco({6, 0, 0, refs, 0}), "long_term_frame_idx out of range in AppendHeader", {}},
      {"max_long_term_frame_idx_plus1", mmco({4, 0, 0, 0, static_cast<uint8_t>(refs + 1)}),
       "max_long_term_frame_idx_plus1 out of range in AppendHeader", {}},
      {"67 operations", [](H264Slice& s) { s.adaptive_ref_pic_marking_mode_flag = 1; for (H264_MMCO& op : s.mmco) op = {5, 0, 0, 0, 0}; },
       "Too many memory management control operations in AppendHeader", {}},
      {"cabac_init_idc", [](H264Slice& s) { s.cabac_init_idc = 3; }, "cabac_init_idc out of range in AppendHeader", {}},
      {"slice_qp_delta", [](H264Slice& s) { s.slice_qp_delta = -52; }, "slice_qp_delta out of range in AppendHeader", {}},
      {"slice_qs_delta", [](H264Slice& s) { s.slice_type = 4, s.slice_qs_delta = 60; }, "slice_qs_delta out of range in AppendHeader", {}},
      {"disable_deblocking_filter_idc", [](H264Slice& s) { s.disable_deblocking_filter_idc = 3; },
       "disable_deblocking_filter_idc out of range in AppendHeader", {}},
      {"slice_alpha_c0_offset_div2", [](H264Slice& s) { s.disable_deblocking_filter_idc = 0, s.slice_alpha_c0_offset_div2 = 7; },
       "slice_alpha_c0_offset_div2 out of range in AppendHeader", {}},
      {"slice_beta_offset_div2", [](H264Slice& s) { s.disable_deblocking_filter_idc = 0, s.slice_beta_offset_div2 = -7; },
       "slice_beta_offset_div2 out of range in AppendHeader", {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    H264Slice slice = base;
    row.edit(slice);
    const auto [failure, left] = Refusal([&](auto& b) { slice.Append(b); });
    EXPECT_EQ(failure, row.expected);
    if (row.left) {
      EXPECT_EQ(left, *row.left);
    }
  }
  // The SPS: a matrix after the fields up to its flag, an HRD counting more CPBs than it holds.
  auto sps = DecodeSPS(BaseSPS().Bytes());
  sps->seq_scaling_matrix_present_flag = 1;
  EXPECT_EQ(Refusal([&](auto& b) { sps->Append(b); }), std::make_pair(std::string("Feature not implemented in Append"), matrixFields.RBSP()));
  sps->seq_scaling_matrix_present_flag = 0, sps->vui.nal_hrd_parameters_present_flag = 1, sps->vui.nal_hrd.cpb_cnt_minus1 = 32;
  EXPECT_EQ(Refusal([&](auto& b) { sps->Append(b); }).first, "cpb_cnt_minus1 out of range in Append");
  // Partition A: its slice_id after the header.
  H264Slice partitionA = base;
  partitionA.nal_unit_type = 2, partitionA.slice_id = 300;
  const Bytes written = Written(partitionA);
  H264_PS ps{{base.sps}, {base.pps}};
  EXPECT_TRUE(*ps.DecodeSlice(NALU{written.data(), written.size()}) == partitionA);
}

}  // namespace
