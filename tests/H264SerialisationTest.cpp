// H.264 serialisation: every SPS and every slice of the sample streams written back by Append, what
// x264 does not write, and the refusals of the writers.
#include <algorithm>
#include <functional>
#include <memory>
#include <optional>
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
  return record.Append(b), Bytes(b.data(), b.data() + b.BytesInBuffer());
}
H264_SPS DecodeSPS(const Bytes& unit) {
  H264_SPS sps{};
  return sps.Decode(NALU{unit.data(), unit.size()}), sps;
}

// The failure of `append` as "message in function", and the bits it left (as RBSP).
std::pair<std::string, Bytes> Refusal(const std::function<void(H26xBitstreamBuilder&)>& append) {
  H26xBitstreamBuilder b(false);
  const std::optional<Failure> failure = Probe([&] { append(b); });
  b.Flush();
  return {failure ? failure->message + " in " + failure->function : "", Bytes(b.data(), b.data() + b.BytesInBuffer())};
}

// High 4:2:0, POC type 0, and a VUI that ends after its head.
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

// A reference P slice under BaseSPS and a CABAC PPS with deblocking control, all else zero.
H264Slice BaseSlice() {
  auto pps = std::make_shared<H264_PPS>();
  pps->seq_parameter_set_id = 3, pps->entropy_coding_mode_flag = pps->deblocking_filter_control_present_flag = 1;
  H264Slice slice{};
  slice.nal_ref_idc = 2, slice.nal_unit_type = 1, slice.sps = std::make_shared<H264_SPS>(DecodeSPS(BaseSPS().Bytes())), slice.pps = pps;
  return slice;
}

// Every SPS (decoded with nal_ref_idc 0, written with 3 as x264 wrote it) and every CABAC slice of
// the sample streams comes back as its unit and decodes to the same record. Then what x264 does not
// write: a VUI that ended after its head is written in full, and a partition A with its slice_id.
TEST(H264Serialisation, RoundTrips) {
  size_t sps = 0, slices = 0;
  for (const auto& stream : SampleStreams(H264_TEST_DATA, ".h264")) {
    SCOPED_TRACE(stream.filename().string());
    const Bytes bytes = ReadFile(stream);
    std::vector<NALU> nalus;
    FindAnnexBNalus(bytes.data(), bytes.size(), nalus);
    H264_PS ps;
    for (const NALU& nalu : nalus) {
      ps.AddNALU(nalu);
      const Bytes unit(nalu.data, nalu.data + nalu.size);
      Bytes lowPriority = unit;
      lowPriority[0] &= 0x9F;
      if (H264NaluType(nalu) == 7 && ++sps) {
        const Bytes written = Written(DecodeSPS(lowPriority));
        EXPECT_EQ(written, unit);
        EXPECT_TRUE(DecodeSPS(written) == DecodeSPS(lowPriority));
      }
      const auto slice = ps.DecodeSlice(nalu);
      if (!slice || !slice->pps->entropy_coding_mode_flag) continue;
      const Bytes written = Written(*slice);
      EXPECT_EQ(written, unit);
      EXPECT_TRUE(*ps.DecodeSlice(NALU{written.data(), written.size()}) == *slice);
      ++slices;
    }
  }
  EXPECT_GE(sps, 17u);
  EXPECT_GE(slices, 100u);

  SyntaxUnit shortVUI = BaseSPS();
  const H264_SPS fromShort = DecodeSPS(shortVUI.Bytes());
  EXPECT_EQ(Written(fromShort), shortVUI.InsertAfter("chroma_loc_info_present_flag", E("timing_hrd_pic_struct_restriction_flags:u5=0")).Bytes());
  EXPECT_TRUE(DecodeSPS(Written(fromShort)) == fromShort);
  H264Slice partitionA = BaseSlice();
  partitionA.nal_unit_type = 2, partitionA.slice_id = 300, partitionA.slice_data = {0x80};
  const Bytes written = Written(partitionA);
  EXPECT_TRUE(*H264_PS({partitionA.sps}, {partitionA.pps}).DecodeSlice(NALU{written.data(), written.size()}) == partitionA);
  // Two cabac_zero_words end the unit with an emulation-prevention byte; zero bytes after it are no slice data.
  H264Slice zeroWords = BaseSlice();
  zeroWords.slice_data = {0x80, 0, 0, 0, 0};
  Bytes unit = Written(zeroWords);
  EXPECT_EQ(Bytes(unit.end() - 7, unit.end()), (Bytes{0x80, 0, 0, 3, 0, 0, 3}));
  unit.insert(unit.end(), 2, 0);
  EXPECT_TRUE(*H264_PS({zeroWords.sps}, {zeroWords.pps}).DecodeSlice(NALU{unit.data(), unit.size()}) == zeroWords);
}

// Each refusal with its message and function, those made before anything is written with the
// builder left empty; an SPS with a matrix leaves the fields up to its flag.
TEST(H264Serialisation, Refusals) {
  H264_SPS matrix = DecodeSPS(BaseSPS().Bytes()), hrd = matrix;
  matrix.seq_scaling_matrix_present_flag = 1;
  hrd.vui.nal_hrd_parameters_present_flag = 1, hrd.vui.nal_hrd.cpb_cnt_minus1 = 32;
  const struct Row { std::function<void(H264Slice&)> edit; std::string expected; std::optional<Bytes> left = {}; const H264_SPS* sps = nullptr; } rows[] = {
      {[](H264Slice& s) { auto p = std::make_shared<H264_PPS>(*s.pps); p->entropy_coding_mode_flag = 0, s.pps = p; },
       "Serialization for the CAVLC entropy coding method is not implemented in Append", Bytes()},
      {[](H264Slice& s) { s.nal_unit_type = 3; }, "Slice data partitions B and C have no slice header in Append", Bytes()},
      {[](H264Slice& s) { s.pps = nullptr; }, "invalid pic_parameter_set_id in slice header in Append", Bytes()},
      {[](H264Slice& s) { s.num_ref_idx_l0_active_minus1 = 40; }, "num_ref_idx_l0_active_minus1 out of range in AppendHeader"},
      {[](H264Slice& s) { s.ref_pic_list_modification_flag_l0 = 1, s.ref_pic_list_modification_l0[0] = {1, 0, 0}, s.ref_pic_list_modification_l0[1] = {}; },
       "reference count overflow in operator ()"},
      {[](H264Slice& s) { s.adaptive_ref_pic_marking_mode_flag = 1; std::fill(std::begin(s.mmco), std::end(s.mmco), H264_MMCO{5, 0, 0, 0, 0}); },
       "Too many memory management control operations in AppendHeader"},
      {{}, "Feature not implemented in Append", BaseSPS().Set("seq_scaling_matrix_present_flag", 1).CutAfter("seq_scaling_matrix_present_flag").RBSP(), &matrix},
      {{}, "cpb_cnt_minus1 out of range in Append", std::nullopt, &hrd},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.expected);
    H264Slice slice = BaseSlice();
    if (row.edit) row.edit(slice);
    const auto [failure, left] = Refusal([&](auto& b) { row.sps ? row.sps->Append(b) : slice.Append(b); });
    EXPECT_EQ(failure, row.expected);
    EXPECT_EQ(left, row.left.value_or(left));
  }
}

}  // namespace
