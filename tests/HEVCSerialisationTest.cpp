// HEVC serialisation: the SPS and the structures it embeds written back by their Append, from
// hand-built units for what x265 does not write (every SPS of the sample streams is written back
// in HEVCTraceTest.cpp), and the refusals of the writers.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Orvane/Proc/CodecParsers/BitsReader.h"
#include "Orvane/Proc/CodecParsers/H26xBitstreamBuilder.h"
#include "support/HEVCTestUnits.h"

namespace {

using namespace Orvane::Proc::CodecParsers;
using namespace codec_test;
using Bytes = std::vector<uint8_t>;

std::unique_ptr<HEVC_SPS> DecodeSPS(const Bytes& unit, const HEVC_PS& ps) {
  auto sps = std::make_unique<HEVC_SPS>();
  sps->Decode(NALU{unit.data(), unit.size()}, ps);
  return sps;
}

// Hand-built SPS units, each decoded, written and decoded again: the same record, and the bytes of
// the unit (or of the unit as `writtenAs` says), which the record lists.
TEST(HEVCSerialisation, HandBuiltSPSRoundTrip) {
  const auto profile = [](int idc, uint32_t compatibility, uint64_t constraint43) {
    return [=](HEVCUnits& u) {
      u.sps.Set("general_profile_idc", idc).Set("general_profile_compatibility_flags", compatibility)
          .Set("general_constraint_43bits", static_cast<int64_t>(constraint43));
    };
  };
  const struct Row { const char* name; std::function<void(HEVCUnits&)> edit; std::function<void(SyntaxUnit&)> writtenAs = nullptr; } rows[] = {
      {"every part: PCM, scaling lists, long-term pictures, range and screen-content extensions", [](HEVCUnits& u) { u = Variant("SPS+all"); }},
      {"three sub-layers, a sub-layer profile and levels, ordering of the highest only",
       [](HEVCUnits& u) {
         u.vps.Set("vps_max_sub_layers_minus1", 2).Set("vps_sub_layer_ordering_info_present_flag", 0)
             .InsertAfter("general_level_idc", E("flags:u4=0 reserved_zero_2bits:u12=0"));
         u.sps.Set("sps_max_sub_layers_minus1", 2).Set("sps_sub_layer_ordering_info_present_flag", 0)
             .InsertAfter("general_level_idc", E("sub_layer_present_flags:u4=0b1101 reserved_zero_2bits:u12=0 sub_layer_profile:u8=2"
                                                 " compatibility:u32=0x20000000 flags:u48=0x800000000000 level:u8=60 level[1]:u8=90"));
       }},
      {"profile 0 compatible with 2 is written as 2", profile(0, 0x20000000, 0), [](SyntaxUnit& s) { s.Set("general_profile_idc", 2); }},
      {"Main alone, reserved bits written as zeros", profile(1, 0x40000000, 1), [](SyntaxUnit& s) { s.Set("general_constraint_43bits", 0); }},
      {"multiview profile: a reserved bit where general_inbld_flag is", profile(6, 0x02000000, 0)},
      {"high throughput profile with max_14bit, reserved bits written as zeros", profile(5, 0x04000000, 0b0100000011ull << 33 | 1),
       [](SyntaxUnit& s) { s.Set("general_constraint_43bits", 0b0100000011ull << 33); }},
      {"short-term sets: explicit, predicted from it, explicit again",
       [](HEVCUnits& u) {
         u.sps.Set("num_short_term_ref_pic_sets", 3).InsertAfter("num_short_term_ref_pic_sets", ExplicitSet(2, 1))
             .InsertAfter("used_by_curr_pic_s1_flag", E("inter_ref_pic_set_prediction_flag:u1=1 delta_rps_sign:u1=1 abs_delta_rps_minus1:ue=0"
                                                        " flags:u6=0b101001 inter_ref_pic_set_prediction_flag:u1=0 num_negative_pics:ue=0"
                                                        " num_positive_pics:ue=1 delta_poc_s1_minus1:ue=32766 used_by_curr_pic_s1_flag:u1=1"));
       }},
      {"VUI without default_display_window_flag is written with it, and a bitstream restriction",
       [](HEVCUnits& u) {
         u.sps.Set("vui_parameters_present_flag", 1).InsertAfter("vui_parameters_present_flag", E(
             "vui_head:u7=0 vui_timing_info_present_flag:u1=1 vui_num_units_in_tick:u32=1001 vui_time_scale:u32=60000"
             " vui_poc_proportional_to_timing_flag:u1=1 vui_num_ticks_poc_diff_one_minus1:ue=0 vui_hrd_parameters_present_flag:u1=0"
             " bitstream_restriction_flag:u1=1 restriction_flags:u3=5 min_spatial_segmentation_idc:ue=4 max_bytes_per_pic_denom:ue=2"
             " max_bits_per_min_cu_denom:ue=1 log2_max_mv_length_horizontal:ue=15 log2_max_mv_length_vertical:ue=15"));
       },
       [](SyntaxUnit& s) { s.InsertAfter("vui_head", E("default_display_window_flag:u1=0")); }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    HEVCUnits units;
    row.edit(units);
    HEVC_PS ps;
    const Bytes vps = units.vps.Bytes();
    ps.AddNALU(NALU{vps.data(), vps.size()});
    const auto decoded = DecodeSPS(units.sps.Bytes(), ps);
    const HEVC_SPS& original = *decoded;
    SyntaxUnit expected = units.sps;
    if (row.writtenAs) row.writtenAs(expected);
    FlatListing listing;
    ListSyntax(original, listing);
    ExpectListedAsBuilt(expected, listing);
    H26xBitstreamBuilder b(true);
    original.Append(b);
    const Bytes written(b.data(), b.data() + b.BytesInBuffer());
    EXPECT_EQ(written, expected.Bytes());
    HEVC_SPS again = *DecodeSPS(written, ps);
    if (row.writtenAs) again.profile_tier_level = original.profile_tier_level;  // the profile as written differs
    EXPECT_TRUE(again == original);
  }
}

// What a decode reads past without keeping cannot be written: such units are refused, as are
// records built by hand that count more entries than they hold or that could not be read back.
TEST(HEVCSerialisation, RefusedExtensions) {
  const struct Row { std::vector<Element> extension; std::string expected; } rows[] = {
      {E("flags:u8=0b01000000 inter_view_mv_vert_constraint_flag:u1=1"), "Support for sps_multilayer_extension_flag is not implemented"},
      {E("flags:u8=0b00100000 d0:u2=0 d0:ue=1 d0:u4=0 d1:u3=0 d1:ue=1 d1:u5=0"), "Support for sps_3d_extension_flag is not implemented"},
      {E("flags:u8=0b00000001"), "Support for sps_extension_4bits is not implemented"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.expected);
    HEVCUnits units;
    units.sps.Set("sps_extension_present_flag", 1).InsertAfter("sps_extension_present_flag", row.extension);
    const Decoded d = Decode(units);
    ASSERT_FALSE(d.failure) << d.failure->message;
    H26xBitstreamBuilder b(true);
    const std::optional<Failure> failure = Probe([&] { d.ps.sps_list.front()->Append(b); });
    EXPECT_EQ(failure ? failure->message + " in " + failure->function : "", row.expected + " in Append");
  }
  // A record built by hand that counts more entries than its arrays hold.
  auto sps = std::make_unique<HEVC_SPS>(*Decode(HEVCUnits()).ps.GetSPS(0));
  sps->num_short_term_ref_pic_sets = 65;
  H26xBitstreamBuilder sets(true), longTerm(true), palette(true);
  EXPECT_EQ(Probe([&] { sps->Append(sets); }).value_or(Failure{}).message, "Too many short term RPS");
  sps->num_short_term_ref_pic_sets = 0, sps->long_term_ref_pics_present_flag = 1, sps->num_long_term_ref_pics_sps = 33;
  EXPECT_EQ(Probe([&] { sps->Append(longTerm); }).value_or(Failure{}).message, "Too many long term ref pics");
  sps->long_term_ref_pics_present_flag = 0, sps->sps_extension_present_flag = sps->sps_scc_extension_flag = 1;
  sps->palette_mode_enabled_flag = sps->sps_palette_predictor_initializers_present_flag = 1;
  sps->sps_num_palette_predictor_initializers_minus1 = 128;
  EXPECT_EQ(Probe([&] { sps->Append(palette); }).value_or(Failure{}).message,
            "sps_num_palette_predictor_initializers out of range");
  // Short-term sets: entry 0 has none to be predicted from and is written explicit whatever its
  // flag says; prediction from a set of 16 pictures, a list of 16 and an index past a slice
  // header's set are refused.
  HEVC_ShortTermRPS* const set = sps->st_ref_pic_set;
  sps->sps_extension_present_flag = 0, sps->num_short_term_ref_pic_sets = 2;
  set[0].inter_ref_pic_set_prediction_flag = set[1].inter_ref_pic_set_prediction_flag = 1;
  set[0].num_negative_pics = set[0].num_positive_pics = 8;
  H26xBitstreamBuilder predicted(true), sixteen(true), past(false);
  EXPECT_EQ(Probe([&] { sps->Append(predicted); }).value_or(Failure{}).message, "num_delta_pocs out of range");
  set[0].num_negative_pics = 0, set[0].num_positive_pics = 16;
  EXPECT_EQ(Probe([&] { sps->Append(sixteen); }).value_or(Failure{}).message, "Too many refs in a short term RPS");
  EXPECT_EQ(Probe([&] { set[1].Append(past, *sps, 3); }).value_or(Failure{}).message, "Invalid short term RPS index");
  // A slice header's set in the predicted form is written as it was coded.
  const Decoded slice = Decode(Variant("P slice/predicted set"));
  H26xBitstreamBuilder sliceSet(false);
  slice.header->st_ref_pic_set.Append(sliceSet, *slice.ps.GetSPS(0), 1);
  sliceSet.Flush();
  EXPECT_EQ(Bytes(sliceSet.data(), sliceSet.data() + sliceSet.BytesInBuffer()), Bits().u(1, 1).ue(0).u(1, 0).ue(2).u(6, 0b001011).out);
}

// hrd_parameters with NAL and VCL entries and sub-picture parameters, over three sub-layers of
// each kind of rate, decoded and written back bit for bit.
TEST(HEVCSerialisation, HRDRoundTrip) {
  Bits bits;
  bits.u(3, 0b111).u(19, 0x2468A).u(12, 0x123).u(15, 0x7FFF);  // present flags, sub-picture parameters, scales, lengths
  bits.u(1, 1).ue(3).ue(1).ue(1).ue(2).ue(3).ue(4).u(1, 1).ue(5).ue(6).ue(7).ue(8).u(1, 0);  // fixed rate, two CPBs
  for (int j = 0; j < 2; ++j) bits.ue(9).ue(9).ue(9).ue(9).u(1, j);  // the VCL ones
  bits.u(3, 0b001).ue(1).ue(2).ue(3).ue(4).u(1, 0).ue(5).ue(6).ue(7).ue(8).u(1, 1);  // low delay: one CPB
  bits.u(2, 0b01).ue(0).ue(0).ue(1).ue(2).ue(3).ue(4).u(1, 0).ue(5).ue(6).ue(7).ue(8).u(1, 1);  // fixed within the CVS
  const size_t length = bits.n;
  bits.u(7, 0);
  BitsReader r(bits.out.data(), bits.out.size());
  HEVC_HRD hrd{};
  hrd.Decode(r, 1, 2);
  EXPECT_EQ(r.GetPosition(), length);
  H26xBitstreamBuilder b(false);
  hrd.Append(b, 1, 2);
  b.Flush();
  EXPECT_EQ(Bytes(b.data(), b.data() + b.BytesInBuffer()), Bytes(bits.out.begin(), bits.out.begin() + (length + 7) / 8));
}

}  // namespace
