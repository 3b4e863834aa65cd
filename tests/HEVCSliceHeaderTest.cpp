// HEVC slice segment headers from hand-built units: what x265 does not write (long-term pictures,
// list modification, dependent segments, pictures that refer to themselves, sets named from or
// predicted from the SPS) and headers of every length. Refusals are rows of HEVCCodecParamsTest.cpp;
// the sample streams are compared with FFmpeg in HEVCTraceTest.cpp.
#include <functional>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Orvane/Proc/CodecParsers/HEVCSliceHeader.h"
#include "support/HEVCTestUnits.h"

namespace {

using namespace Orvane::Proc::CodecParsers;
using namespace codec_test;

// The header in a line: type, address, POC LSBs, short-term pictures (u: used by the current
// picture), long-term ones (POC LSBs, +MSB cycle), list sizes and list 0 modifications, collocated
// picture, and the flags that are set.
std::string Summary(const HEVCSliceHeader& h) {
  std::ostringstream s;
  const HEVC_ShortTermRPS& st = h.st_ref_pic_set;
  s << HEVCSliceTypeName(h.slice_type) << " @" << h.slice_segment_address << " poc " << h.slice_pic_order_cnt_lsb << " st";
  for (int i = 0, poc = 0; i < st.num_negative_pics; ++i) s << " " << (poc -= st.delta_poc_s0_minus1[i] + 1) << (st.used_by_curr_pic_s0_flag[i] ? "u" : "");
  for (int i = 0, poc = 0; i < st.num_positive_pics; ++i) s << " +" << (poc += st.delta_poc_s1_minus1[i] + 1) << (st.used_by_curr_pic_s1_flag[i] ? "u" : "");
  s << " lt";
  for (int i = 0; i < h.num_long_term_sps + h.num_long_term_pics; ++i) {
    s << " " << h.poc_lsb_lt[i] << (h.used_by_curr_pic_lt_flag[i] ? "u" : "");
    if (h.delta_poc_msb_present_flag[i]) s << "+" << h.delta_poc_msb_cycle_lt[i];
  }
  s << " refs " << h.num_ref_idx_l0_active_minus1 + 1 << "/" << h.num_ref_idx_l1_active_minus1 + 1;
  for (int i = 0; h.ref_pic_list_modification_flag_l0 && i <= h.num_ref_idx_l0_active_minus1; ++i) s << " l0:" << +h.list_entry_l0[i];
  s << " col " << (h.collocated_from_l0_flag ? "l0:" : "l1:") << +h.collocated_ref_idx;
  const std::pair<const char*, int> flags[] = {
      {"dependent", h.dependent_slice_segment_flag}, {"no-output", !h.pic_output_flag}, {"plane", h.colour_plane_id},
      {"reserved", h.slice_reserved_flag[0] * 10 + h.slice_reserved_flag[1]}, {"tmvp", h.slice_temporal_mvp_enabled_flag},
      {"sao", h.slice_sao_luma_flag * 10 + h.slice_sao_chroma_flag}};
  for (const auto& [name, value] : flags) {
    if (value) s << " " << name << (value > 1 ? std::to_string(value) : "");
  }
  return s.str();
}

// Each row a variant, perhaps edited, and the header decoded from it.
TEST(HEVCSliceHeader, Decode) {
  const struct Row { const char* variant; std::function<void(HEVCUnits&)> edit; std::string expected; } rows[] = {
      {"P slice/SPS sets", nullptr, "[P] @0 poc 5 st -1u +1u +2u lt refs 1/1 col l0:0 tmvp sao10"},
      {"P slice/predicted set", nullptr, "[P] @0 poc 5 st +1u +3u +4 lt refs 1/1 col l0:0 tmvp sao10"},
      // Shifted by -2 instead: the picture after becomes one before.
      {"P slice/predicted set", [](HEVCUnits& u) { u.slice.Set("delta_rps_sign", 1).Set("abs_delta_rps_minus1", 1); },
       "[P] @0 poc 5 st -1 -2u -4u lt refs 1/1 col l0:0 tmvp sao10"},
      {"P slice/long-term", nullptr, "[P] @0 poc 5 st -1u lt 30u 20 77u+3 refs 1/1 col l0:0 tmvp sao10"},
      // Short-term sets of more than 15 pictures leave long-term ones no room.
      {"P slice/long-term",
       [](HEVCUnits& u) {
         u.slice.Remove("num_negative_pics num_positive_pics delta_poc_s0_minus1 used_by_curr_pic_s0_flag")
             .InsertAfter("short_term_ref_pic_set_sps_flag", ExplicitSet(15, 15)).Set("num_long_term_sps", 0).Set("num_long_term_pics", 0);
       },
       "num_long_term_pics out of range"},
      // The picture itself is an IDR picture's one reference, and a list entry (of 4 bits) otherwise.
      {"P slice/own picture", [](HEVCUnits& u) { u.slice = Unit(20, "first:u1=1 no_output_of_prior_pics_flag:u1=0 pps:ue=0 type:ue=1 override:u1=0"); },
       "[P] @0 poc 0 st lt refs 1/1 col l1:0"},
      {"P slice/own picture",
       [](HEVCUnits& u) {
         u.pps.Set("lists_modification_present_flag", 1);
         u.slice.Set("num_ref_idx_active_override_flag", 1).Append(E("l0:ue=0 ref_pic_list_modification_flag_l0:u1=1 list_entry_l0:u4=14"));
       },
       "[P] @0 poc 5 st -1u -2u -3u -4u -5u -6u -7u -8u -9u -10u -11u -12u -13u -14u lt refs 1/1 l0:14 col l0:0 tmvp"},
      {"2nd slice",  // the last of 65536 CTBs, in 16 bits
       [](HEVCUnits& u) {
         u.sps.Set("pic_width_in_luma_samples", 4096).Set("pic_height_in_luma_samples", 4096).Set("log2_diff_max_min_luma_coding_block_size", 1);
         u.slice.Remove("slice_segment_address").InsertAfter("slice_pic_parameter_set_id", E("slice_segment_address:u16=65535"));
       },
       "[P] @65535 poc 5 st -1u lt refs 1/1 col l0:0 tmvp sao10"},
      {"2nd slice", [](HEVCUnits& u) { u.sps.Set("log2_min_luma_coding_block_size_minus3", 27).Set("log2_diff_max_min_luma_coding_block_size", 30); },
       "[P] @0 poc 5 st -1u lt refs 1/1 col l0:0 tmvp sao10"},  // CTBs of 2^60 samples: one CTB
      // A dependent segment ends after its address.
      {"2nd slice",
       [](HEVCUnits& u) {
         u.pps.Set("dependent_slice_segments_enabled_flag", 1);
         u.slice.InsertAfter("slice_pic_parameter_set_id", E("dependent_slice_segment_flag:u1=1")).CutAfter("slice_segment_address");
       },
       "[B] @0 poc 0 st lt refs 1/1 col l1:0 dependent no-output"},
      {"P slice",
       [](HEVCUnits& u) {
         u.pps.Set("num_extra_slice_header_bits", 2).Set("output_flag_present_flag", 1);
         u.sps.Set("chroma_format_idc", 3).InsertAfter("chroma_format_idc", E("separate_colour_plane_flag:u1=1"));
         u.slice.InsertAfter("slice_pic_parameter_set_id", E("slice_reserved_flag:u2=2"))
             .InsertAfter("slice_type", E("pic_output_flag:u1=0 colour_plane_id:u2=2")).Remove("slice_sao_chroma_flag");
       },
       "[P] @0 poc 5 st -1u lt refs 1/1 col l0:0 no-output plane2 reserved10 tmvp sao10"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.expected);
    HEVCUnits units = Variant(row.variant);
    if (row.edit) row.edit(units);
    const Decoded d = Decode(units);
    EXPECT_EQ(d.failure ? d.failure->message : Summary(*d.header), row.expected);
  }
}

// Headers of every length from a few bytes to past a hundred, with runs of zeros that bring in
// emulation-prevention bytes at every alignment, in units that end right after them and in units
// that run on for a thousand bytes of slice data (which the decode must not need): the same record
// either way, with every long-term picture as written. Pictures from `zeroFrom` on are all zero
// bits; the ones before have long MSB cycle codes, the first one's from 1 to 63 bits long.
TEST(HEVCSliceHeader, HeadersOfEveryLength) {
  HEVCUnits units;
  units.sps.Set("log2_max_pic_order_cnt_lsb_minus4", 12).Set("long_term_ref_pics_present_flag", 1)
      .InsertAfter("long_term_ref_pics_present_flag", E("num_long_term_ref_pics_sps:ue=0")).Set("sps_temporal_mvp_enabled_flag", 0);
  units.slice = Variant("IDR slice").slice;
  const Decoded parameterSets = Decode(units);
  int emulated = 0, emulatedAt64 = 0;
  for (int count = 0, zeroFrom = 0, shift = 0; count <= 15; shift = (shift + 1) % 32, zeroFrom = (zeroFrom + !shift) % 6, count += !shift && !zeroFrom) {
    SCOPED_TRACE(testing::Message() << count << " long-term pictures, zeros from " << zeroFrom << ", shift " << shift);
    const auto cycle = [&](int i) { return i == 0 ? (1u << shift) - 1 : (1u << (24 + i % 6)) + i; };
    SyntaxUnit h = Unit(1, "first:u1=1 pps:ue=0 slice_type:ue=2 poc:u16=0x8001 st_sps_flag:u1=0 no_pictures:u2=3 num_long_term_pics:ue=" +
                               std::to_string(count));
    for (int i = 0; i < count; ++i) {
      h.Append(i >= zeroFrom ? E("zero_picture:u18=0") : std::vector<Element>{U("poc_lsb_lt", 16, 0x4000 + i), U("used_msb", 2, (i & 1) * 2 + 1), UE("cycle", cycle(i))});
    }
    h.Append({U("slice_sao_flags", 2, count <= zeroFrom ? 2 : 0)});  // 0 after zero pictures: the header may end in a zero byte
    const std::vector<uint8_t> alone = h.Bytes();
    emulated += alone.size() > h.RBSP().size();
    emulatedAt64 += alone.size() > 64 && alone[61] == 0 && alone[62] == 0 && alone[63] == 3;
    h.trailing = false;
    for (int filler : {0x00, 0xA5}) {
      std::vector<uint8_t> long_ = h.Bytes();
      long_.insert(long_.end(), 1000, static_cast<uint8_t>(filler));
      long_.push_back(0x80);
      const auto fromAlone = CreateSliceHeader(parameterSets.ps, NALU{alone.data(), alone.size()});
      const auto fromLong = CreateSliceHeader(parameterSets.ps, NALU{long_.data(), long_.size()});
      ASSERT_TRUE(fromAlone && fromLong && *fromAlone == *fromLong && fromLong->num_long_term_pics == count);
      for (int i = 0; i < count; ++i) {
        const bool zero = i >= zeroFrom;
        EXPECT_EQ((std::vector<int64_t>{fromLong->poc_lsb_lt[i], fromLong->used_by_curr_pic_lt_flag[i], fromLong->delta_poc_msb_cycle_lt[i]}),
                  (std::vector<int64_t>{zero ? 0 : 0x4000 + i, zero ? 0 : i & 1, zero ? 0 : cycle(i)})) << i;
      }
      EXPECT_EQ(fromLong->slice_sao_luma_flag, count <= zeroFrom);
    }
  }
  EXPECT_GT(emulated, 100);
  EXPECT_GT(emulatedAt64, 0);
}

// A slice decodes alike through Decode and CreateSliceHeader; units that are not coded slices have
// no slice header; a slice needs its PPS's SPS.
TEST(HEVCSliceHeader, OtherUnits) {
  Decoded d = Decode(HEVCUnits());
  const std::vector<uint8_t> slice = BaseSlice().Bytes();
  HEVCSliceHeader decoded{};
  decoded.Decode(NALU{slice.data(), slice.size()}, d.ps);
  EXPECT_TRUE(decoded == *d.header);
  for (const int type : {32, 39, 10, 22}) {  // VPS, prefix SEI, reserved VCL types
    SCOPED_TRACE(type);
    const std::vector<uint8_t> bytes = Unit(type, "first_slice_segment_in_pic_flag:u1=1 pps:ue=0 type:ue=2").Bytes();
    EXPECT_EQ(CreateSliceHeader(d.ps, NALU{bytes.data(), bytes.size()}), nullptr);
    HEVCSliceHeader header{};
    const std::optional<Failure> failure = Probe([&] { header.Decode(NALU{bytes.data(), bytes.size()}, d.ps); });
    EXPECT_EQ(failure ? failure->message : "", "NALU is not a Slice");
  }
  const uint8_t trail = 0x02;
  EXPECT_EQ(CreateSliceHeader(d.ps, NALU{&trail, 0}), nullptr);
  d.ps.sps_list.clear();
  const std::optional<Failure> failure = Probe([&] { CreateSliceHeader(d.ps, NALU{slice.data(), slice.size()}); });
  EXPECT_EQ(failure ? failure->message : "", "invalid pps_seq_parameter_set_id in pps");
}

}  // namespace
