// HEVC slice segment headers from hand-built units: what x265 does not produce (long-term
// pictures, list modification, dependent slice segments, pictures that refer to themselves, short-
// term sets named from the SPS) and every check at its bounds. The sample streams are compared
// with FFmpeg in HEVCTraceTest.cpp.
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Orvane/Proc/CodecParsers/H26xBitstreamParser.h"
#include "Orvane/Proc/CodecParsers/HEVCCodecParams.h"
#include "Orvane/Proc/CodecParsers/HEVCSliceHeader.h"
#include "support/BitstreamTestKit.h"
#include "support/HEVCTestUnits.h"

namespace {

using namespace Orvane::Proc::CodecParsers;
using namespace codec_test;

constexpr char kUnitPath[] = "Orvane/Proc/CodecParsers/HEVCCodecParams";

std::vector<Element> Cat(std::vector<Element> a, const std::vector<Element>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// A TRAIL_R P slice under the baseline parameter sets (8-bit POC LSBs, no SPS sets, SAO and
// temporal MV prediction on): one negative picture used by the current one, collocated from it.
SyntaxUnit PSlice() {
  return Concat({NalHeader(1),
                 {U("first_slice_segment_in_pic_flag", 1, 1), UE("slice_pic_parameter_set_id", 0), UE("slice_type", 1),
                  U("slice_pic_order_cnt_lsb", 8, 5), U("short_term_ref_pic_set_sps_flag", 1, 0), UE("num_negative_pics", 1),
                  UE("num_positive_pics", 0), UE("delta_poc_s0_minus1", 0), U("used_by_curr_pic_s0_flag", 1, 1),
                  U("slice_temporal_mvp_enabled_flag", 1, 1), U("slice_sao_luma_flag", 1, 1), U("slice_sao_chroma_flag", 1, 0),
                  U("num_ref_idx_active_override_flag", 1, 0)}});
}

// An I slice of an IRAP picture: no picture order count, no reference sets.
SyntaxUnit IRAPSlice(int type) {
  return Concat({NalHeader(type),
                 {U("first_slice_segment_in_pic_flag", 1, 1), U("no_output_of_prior_pics_flag", 1, 0),
                  UE("slice_pic_parameter_set_id", 0), UE("slice_type", 2), U("slice_sao_luma_flag", 1, 1),
                  U("slice_sao_chroma_flag", 1, 1)}});
}

// An explicit short-term set: negative pictures 1, 2, ... back, positive ones 1, 2, ... ahead, all
// used by the current picture unless `used` is 0.
std::vector<Element> ExplicitSet(int negative, int positive, int used = 1) {
  std::vector<Element> e = {UE("num_negative_pics", negative), UE("num_positive_pics", positive)};
  for (int i = 0; i < std::min(negative, 16); ++i) {
    e.push_back(UE("delta_poc_s0_minus1", 0));
    e.push_back(U("used_by_curr_pic_s0_flag", 1, used));
  }
  for (int i = 0; i < std::min(positive, 16); ++i) {
    e.push_back(UE("delta_poc_s1_minus1", 0));
    e.push_back(U("used_by_curr_pic_s1_flag", 1, used));
  }
  return e;
}

struct Units {
  SyntaxUnit vps = BaseVPS();
  SyntaxUnit sps = BaseSPS();
  SyntaxUnit pps = BasePPS();
  SyntaxUnit slice = PSlice();

  // The slice's short-term set replaced by `set` (the elements after short_term_ref_pic_set_sps_flag).
  Units& WithSet(std::vector<Element> set) {
    for (const char* name : {"num_negative_pics", "num_positive_pics", "delta_poc_s0_minus1", "used_by_curr_pic_s0_flag"}) {
      slice.Remove(name);
    }
    slice.InsertAfter("short_term_ref_pic_set_sps_flag", set);
    return *this;
  }
};

void SetSize(Units& u, int width, int height, int ctbLog2Diff) {
  u.sps.Set("pic_width_in_luma_samples", width)
      .Set("pic_height_in_luma_samples", height)
      .Set("log2_diff_max_min_luma_coding_block_size", ctbLog2Diff);
  u.pps.Set("diff_cu_qp_delta_depth", 0);
}

// A slice that is not the first of its picture, at `address` in `bits` bits.
void AtAddress(Units& u, int bits, int64_t address) {
  u.slice.Set("first_slice_segment_in_pic_flag", 0)
      .InsertAfter("slice_pic_parameter_set_id", {U("slice_segment_address", bits, address)});
}

// The PPS's screen-content extension with pps_curr_pic_ref_enabled_flag.
void CurrentPictureReferencing(Units& u) {
  u.pps.Set("pps_extension_present_flag", 1)
      .InsertAfter("pps_extension_present_flag",
                   {U("pps_range_extension_flag", 1, 0), U("pps_multilayer_extension_flag", 1, 0),
                    U("pps_3d_extension_flag", 1, 0), U("pps_scc_extension_flag", 1, 1), U("pps_extension_4bits", 4, 0),
                    U("pps_curr_pic_ref_enabled_flag", 1, 1), U("residual_adaptive_colour_transform_enabled_flag", 1, 0),
                    U("pps_palette_predictor_initializers_present_flag", 1, 0)});
}

// Three long-term pictures in the SPS: POC LSBs 10, 20, 30, used by the current picture 1, 0, 1.
void LongTermSPS(Units& u, int count = 3) {
  std::vector<Element> e = {UE("num_long_term_ref_pics_sps", count)};
  for (int i = 0; i < count; ++i) {
    e.push_back(U("lt_ref_pic_poc_lsb_sps", 8, 10 * (i + 1)));
    e.push_back(U("used_by_curr_pic_lt_sps_flag", 1, i == 1 ? 0 : 1));
  }
  u.sps.Set("long_term_ref_pics_present_flag", 1).InsertAfter("long_term_ref_pics_present_flag", e);
}

// Three SPS sets: S0 = (-1, -2) and S1 = (+1); that set predicted with deltaRps = -1, giving
// (-1, -2, -3); and that one predicted with deltaRps = +2, giving (-1, +1, +2) (the picture that
// lands on 0 is dropped).
void ShortTermSetsSPS(Units& u) {
  u.sps.Set("num_short_term_ref_pic_sets", 3)
      .InsertAfter("num_short_term_ref_pic_sets",
                   Cat(ExplicitSet(2, 1),
                       {U("inter_ref_pic_set_prediction_flag", 1, 1), U("delta_rps_sign", 1, 1), UE("abs_delta_rps_minus1", 0),
                        U("used", 1, 1), U("used", 1, 1), U("used", 1, 1), U("used", 1, 1),
                        U("inter_ref_pic_set_prediction_flag", 1, 1), U("delta_rps_sign", 1, 0), UE("abs_delta_rps_minus1", 1),
                        U("used", 1, 1), U("used", 1, 1), U("used", 1, 1), U("used", 1, 1)}));
}

// The pictures of a set as POC differences, "u" marking those used by the current picture.
std::string Pictures(const HEVC_ShortTermRPS& set) {
  std::string out;
  for (int i = 0, poc = 0; i < set.num_negative_pics; ++i) {
    out += std::to_string(poc -= set.delta_poc_s0_minus1[i] + 1) + (set.used_by_curr_pic_s0_flag[i] ? "u " : " ");
  }
  for (int i = 0, poc = 0; i < set.num_positive_pics; ++i) {
    out += "+" + std::to_string(poc += set.delta_poc_s1_minus1[i] + 1) + (set.used_by_curr_pic_s1_flag[i] ? "u " : " ");
  }
  return out;
}

struct Decoded {
  std::shared_ptr<const HEVCSliceHeader> header;
  std::shared_ptr<const HEVC_SPS> sps;
  std::optional<Failure> failure;
};

Decoded DecodeSlice(const Units& u) {
  Decoded d;
  HEVC_PS ps;
  for (const SyntaxUnit* unit : {&u.vps, &u.sps, &u.pps}) {
    const std::vector<uint8_t> bytes = unit->Bytes();
    ps.AddNALU(NALU{bytes.data(), bytes.size()});
  }
  d.sps = ps.GetSPS(0);
  const std::vector<uint8_t> bytes = u.slice.Bytes();
  d.failure = Probe([&] { d.header = CreateSliceHeader(ps, NALU{bytes.data(), bytes.size()}); });
  return d;
}

using Check = std::function<void(const HEVCSliceHeader&, const HEVC_SPS&)>;

struct Row {
  const char* name;
  std::function<void(Units&)> edit;
  std::string expected;  // the failure, or empty
  Check check = nullptr;
};

void RunRows(const std::vector<Row>& rows) {
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Units units;
    row.edit(units);
    const Decoded d = DecodeSlice(units);
    if (!row.expected.empty()) {
      ASSERT_TRUE(d.failure) << "decoded";
      EXPECT_EQ(d.failure->message, row.expected);
      EXPECT_TRUE(d.failure->bitstream);
      if (row.expected == "End of stream") continue;  // the reader's own failure
      EXPECT_EQ(d.failure->function, "Decode");
      EXPECT_EQ(d.failure->file, kUnitPath);
      continue;
    }
    ASSERT_FALSE(d.failure) << d.failure->message;
    ASSERT_TRUE(d.header);
    if (row.check) row.check(*d.header, *d.sps);
  }
}

// The kinds of slice, and what a random access point may and may not be.
TEST(HEVCSliceHeader, SliceKinds) {
  RunRows({
      {"TRAIL_R P slice", [](Units&) {},
       "", [](const HEVCSliceHeader& h, const HEVC_SPS&) {
         EXPECT_EQ(h.slice_type, 1);
         EXPECT_EQ(h.pic_output_flag, 1);
         EXPECT_EQ(h.slice_pic_order_cnt_lsb, 5);
         EXPECT_EQ(Pictures(h.st_ref_pic_set), "-1u ");
         EXPECT_EQ(h.slice_temporal_mvp_enabled_flag, 1);
         EXPECT_EQ(h.slice_sao_luma_flag, 1);
         EXPECT_EQ(h.slice_sao_chroma_flag, 0);
         EXPECT_EQ(h.collocated_from_l0_flag, 1);  // inferred for P
       }},
      {"IDR_W_RADL I slice", [](Units& u) { u.slice = IRAPSlice(19); },
       "", [](const HEVCSliceHeader& h, const HEVC_SPS&) {
         EXPECT_EQ(h.slice_type, 2);
         EXPECT_EQ(h.slice_pic_order_cnt_lsb, 0);
         EXPECT_EQ(h.slice_temporal_mvp_enabled_flag, 0);
         EXPECT_EQ(h.slice_sao_chroma_flag, 1);
       }},
      {"IDR_W_RADL P slice", [](Units& u) { u.slice = IRAPSlice(19).Set("slice_type", 1); }, "Inter slices in an IRAP frame"},
      {"CRA B slice", [](Units& u) { u.slice = IRAPSlice(21).Set("slice_type", 0); }, "Inter slices in an IRAP frame"},
      {"BLA_W_LP P slice", [](Units& u) { u.slice = IRAPSlice(16).Set("slice_type", 1); }, "Inter slices in an IRAP frame"},
      // A picture that refers to itself has that one reference even at an IDR point.
      {"IDR_N_LP P slice referring to itself",
       [](Units& u) {
         CurrentPictureReferencing(u);
         u.slice = IRAPSlice(20).Set("slice_type", 1);
         u.slice.Append({U("num_ref_idx_active_override_flag", 1, 1), UE("num_ref_idx_l0_active_minus1", 2)});
       },
       "", [](const HEVCSliceHeader& h, const HEVC_SPS&) {
         EXPECT_EQ(h.slice_type, 1);
         EXPECT_EQ(h.num_ref_idx_l0_active_minus1, 2);
         EXPECT_EQ(h.slice_temporal_mvp_enabled_flag, 0);
       }},
      {"CRA P slice referring to itself",
       [](Units& u) {
         CurrentPictureReferencing(u);
         u.slice = Concat({NalHeader(21),
                           {U("first_slice_segment_in_pic_flag", 1, 1), U("no_output_of_prior_pics_flag", 1, 1),
                            UE("slice_pic_parameter_set_id", 0), UE("slice_type", 1), U("slice_pic_order_cnt_lsb", 8, 200),
                            U("short_term_ref_pic_set_sps_flag", 1, 0), UE("num_negative_pics", 0), UE("num_positive_pics", 0),
                            U("slice_temporal_mvp_enabled_flag", 1, 0), U("slice_sao_luma_flag", 1, 0),
                            U("slice_sao_chroma_flag", 1, 0), U("num_ref_idx_active_override_flag", 1, 0)}});
       },
       "", [](const HEVCSliceHeader& h, const HEVC_SPS&) {
         EXPECT_EQ(h.no_output_of_prior_pics_flag, 1);
         EXPECT_EQ(h.slice_pic_order_cnt_lsb, 200);
       }},
      {"TRAIL_R I slice keeps two S0 pictures",
       [](Units& u) {
         u.WithSet(ExplicitSet(2, 0));
         u.slice.Set("slice_type", 2).Remove("num_ref_idx_active_override_flag");
       },
       "", [](const HEVCSliceHeader& h, const HEVC_SPS&) {
         EXPECT_EQ(h.slice_type, 2);
         EXPECT_EQ(Pictures(h.st_ref_pic_set), "-1u -2u ");
       }},
      {"slice_type 3", [](Units& u) { u.slice.Set("slice_type", 3); }, "slice_type out of range"},
      {"slice_type 258, 2 in 8 bits", [](Units& u) { u.slice.Set("slice_type", 258); }, "slice_type out of range"},
  });
}

// The segment address: its width from the picture size in CTBs, its range, and pictures of more
// CTBs than the 16-bit field holds.
TEST(HEVCSliceHeader, SliceSegmentAddress) {
  RunRows({
      {"1920x1080 in 64x64 CTBs: 510 CTBs, 509 in 9 bits",
       [](Units& u) { SetSize(u, 1920, 1080, 3); AtAddress(u, 9, 509); },
       "", [](const HEVCSliceHeader& h, const HEVC_SPS&) {
         EXPECT_EQ(h.first_slice_segment_in_pic_flag, 0);
         EXPECT_EQ(h.slice_segment_address, 509);
         EXPECT_EQ(h.slice_pic_order_cnt_lsb, 5);  // the next field lines up
       }},
      {"1920x1080 in 64x64 CTBs: 510", [](Units& u) { SetSize(u, 1920, 1080, 3); AtAddress(u, 9, 510); },
       "slice_segment_address out of range"},
      {"4096x4096 in 16x16 CTBs: 65536 CTBs, 65535 in 16 bits",
       [](Units& u) { SetSize(u, 4096, 4096, 1); AtAddress(u, 16, 65535); },
       "", [](const HEVCSliceHeader& h, const HEVC_SPS&) { EXPECT_EQ(h.slice_segment_address, 65535); }},
      {"4096x4112 in 16x16 CTBs: 65792 CTBs", [](Units& u) { SetSize(u, 4096, 4112, 1); AtAddress(u, 17, 65791); },
       "slice_segment_address too wide"},
      {"4096x4112 in 16x16 CTBs, first slice: no address",
       [](Units& u) { SetSize(u, 4096, 4112, 1); }, "", nullptr},
      {"a picture without samples", [](Units& u) { SetSize(u, 0, 64, 3); AtAddress(u, 1, 0); }, "slice_segment_address too wide"},
      // One CTB still takes one bit (the floor of log2 of 0 is 0).
      {"one CTB: address 0 in 1 bit", [](Units& u) { AtAddress(u, 1, 0); },
       "", [](const HEVCSliceHeader& h, const HEVC_SPS&) { EXPECT_EQ(h.slice_pic_order_cnt_lsb, 5); }},
      {"one CTB: address 1", [](Units& u) { AtAddress(u, 1, 1); }, "slice_segment_address out of range"},
      // CtbLog2SizeY 60: the picture is one CTB, whatever 32-bit arithmetic would make of it.
      {"CTBs of 2^60 samples: one CTB", [](Units& u) {
         u.sps.Set("log2_min_luma_coding_block_size_minus3", 27).Set("log2_diff_max_min_luma_coding_block_size", 30)
             .Set("log2_min_luma_transform_block_size_minus2", 0);
         u.pps.Set("diff_cu_qp_delta_depth", 0).Set("log2_parallel_merge_level_minus2", 0);
         AtAddress(u, 1, 0);
       }, "", nullptr},
      {"a dependent segment ends after its address",
       [](Units& u) {
         SetSize(u, 256, 64, 3);
         u.pps.Set("dependent_slice_segments_enabled_flag", 1);
         u.slice = Concat({NalHeader(1),
                           {U("first_slice_segment_in_pic_flag", 1, 0), UE("slice_pic_parameter_set_id", 0),
                            U("dependent_slice_segment_flag", 1, 1), U("slice_segment_address", 2, 3)}});
       },
       "", [](const HEVCSliceHeader& h, const HEVC_SPS&) {
         EXPECT_EQ(h.dependent_slice_segment_flag, 1);
         EXPECT_EQ(h.slice_segment_address, 3);
         EXPECT_EQ(h.pic_output_flag, 0);  // not reached
         EXPECT_EQ(h.slice_type, 0);
       }},
      {"an independent segment where dependent ones are allowed",
       [](Units& u) {
         SetSize(u, 256, 64, 3);
         u.pps.Set("dependent_slice_segments_enabled_flag", 1);
         AtAddress(u, 2, 2);
         u.slice.InsertAfter("slice_pic_parameter_set_id", {U("dependent_slice_segment_flag", 1, 0)});
       },
       "", [](const HEVCSliceHeader& h, const HEVC_SPS&) {
         EXPECT_EQ(h.dependent_slice_segment_flag, 0);
         EXPECT_EQ(h.slice_segment_address, 2);
         EXPECT_EQ(Pictures(h.st_ref_pic_set), "-1u ");
       }},
  });
}

// What the PPS and SPS bring into the header, and the lookups of both.
TEST(HEVCSliceHeader, ParameterSetFields) {
  RunRows({
      {"slice_pic_parameter_set_id 63 without its PPS", [](Units& u) { u.slice.Set("slice_pic_parameter_set_id", 63); },
       "invalid slice_pic_parameter_set_id in slice header"},
      {"slice_pic_parameter_set_id 64", [](Units& u) { u.slice.Set("slice_pic_parameter_set_id", 64); },
       "slice_pic_parameter_set_id out of range"},
      {"slice_pic_parameter_set_id 63",
       [](Units& u) {
         u.pps.Set("pps_pic_parameter_set_id", 63);
         u.slice.Set("slice_pic_parameter_set_id", 63);
       },
       "", [](const HEVCSliceHeader& h, const HEVC_SPS&) { EXPECT_EQ(h.slice_pic_parameter_set_id, 63); }},
      {"two extra slice header bits",
       [](Units& u) {
         u.pps.Set("num_extra_slice_header_bits", 2);
         u.slice.InsertAfter("slice_pic_parameter_set_id", {U("slice_reserved_flag[0]", 1, 1), U("slice_reserved_flag[1]", 1, 0)});
       },
       "", [](const HEVCSliceHeader& h, const HEVC_SPS&) {
         EXPECT_EQ(h.slice_reserved_flag[0], 1);
         EXPECT_EQ(h.slice_reserved_flag[1], 0);
         EXPECT_EQ(h.slice_type, 1);
       }},
      {"pic_output_flag coded 0",
       [](Units& u) {
         u.pps.Set("output_flag_present_flag", 1);
         u.slice.InsertAfter("slice_type", {U("pic_output_flag", 1, 0)});
       },
       "", [](const HEVCSliceHeader& h, const HEVC_SPS&) {
         EXPECT_EQ(h.pic_output_flag, 0);
         EXPECT_EQ(h.slice_pic_order_cnt_lsb, 5);
       }},
      {"separate colour planes: colour_plane_id, no chroma SAO flag",
       [](Units& u) {
         u.sps.Set("chroma_format_idc", 3).InsertAfter("chroma_format_idc", {U("separate_colour_plane_flag", 1, 1)});
         u.slice.InsertAfter("slice_type", {U("colour_plane_id", 2, 2)}).Remove("slice_sao_chroma_flag");
       },
       "", [](const HEVCSliceHeader& h, const HEVC_SPS&) {
         EXPECT_EQ(h.colour_plane_id, 2);
         EXPECT_EQ(h.slice_sao_chroma_flag, 0);
         EXPECT_EQ(h.num_ref_idx_active_override_flag, 0);
       }},
      {"monochrome: no chroma SAO flag",
       [](Units& u) {
         u.sps.Set("chroma_format_idc", 0);
         u.slice.Remove("slice_sao_chroma_flag").Set("num_ref_idx_active_override_flag", 1)
             .Append({UE("num_ref_idx_l0_active_minus1", 0)});
       },
       "", [](const HEVCSliceHeader& h, const HEVC_SPS&) {
         EXPECT_EQ(h.slice_sao_chroma_flag, 0);
         EXPECT_EQ(h.num_ref_idx_active_override_flag, 1);
       }},
      {"SAO off: no SAO flags",
       [](Units& u) {
         u.sps.Set("sample_adaptive_offset_enabled_flag", 0);
         u.slice.Remove("slice_sao_luma_flag").Remove("slice_sao_chroma_flag").Set("num_ref_idx_active_override_flag", 1)
             .Append({UE("num_ref_idx_l0_active_minus1", 3), UE("collocated_ref_idx", 2)});
       },
       "", [](const HEVCSliceHeader& h, const HEVC_SPS&) {
         EXPECT_EQ(h.slice_sao_luma_flag, 0);
         EXPECT_EQ(h.num_ref_idx_l0_active_minus1, 3);
         EXPECT_EQ(h.collocated_ref_idx, 2);
       }},
      {"no temporal MV prediction: no slice flag and no collocated picture",
       [](Units& u) {
         u.sps.Set("sps_temporal_mvp_enabled_flag", 0);
         u.slice.Remove("slice_temporal_mvp_enabled_flag").Set("num_ref_idx_active_override_flag", 1)
             .Append({UE("num_ref_idx_l0_active_minus1", 1)});
       },
       "", [](const HEVCSliceHeader& h, const HEVC_SPS&) {
         EXPECT_EQ(h.slice_temporal_mvp_enabled_flag, 0);
         EXPECT_EQ(h.collocated_from_l0_flag, 0);
         EXPECT_EQ(h.num_ref_idx_l0_active_minus1, 1);
       }},
      {"16-bit POC LSBs around an emulation-prevention byte, long-term pictures in an I slice",
       [](Units& u) {
         u.sps.Set("log2_max_pic_order_cnt_lsb_minus4", 12).Set("long_term_ref_pics_present_flag", 1)
             .InsertAfter("long_term_ref_pics_present_flag", {UE("num_long_term_ref_pics_sps", 0)});
         u.slice = Concat({NalHeader(1),
                           {U("first_slice_segment_in_pic_flag", 1, 1), UE("slice_pic_parameter_set_id", 0), UE("slice_type", 2),
                            U("slice_pic_order_cnt_lsb", 16, 0x1234), U("short_term_ref_pic_set_sps_flag", 1, 0),
                            UE("num_negative_pics", 0), UE("num_positive_pics", 0), UE("num_long_term_pics", 2),
                            U("poc_lsb_lt[0]", 16, 0), U("used_by_curr_pic_lt_flag[0]", 1, 0), U("delta_poc_msb_present_flag[0]", 1, 0),
                            U("poc_lsb_lt[1]", 16, 0), U("used_by_curr_pic_lt_flag[1]", 1, 0), U("delta_poc_msb_present_flag[1]", 1, 1),
                            UE("delta_poc_msb_cycle_lt[1]", 5), U("slice_temporal_mvp_enabled_flag", 1, 1),
                            U("slice_sao_luma_flag", 1, 0), U("slice_sao_chroma_flag", 1, 1)}});
         ASSERT_GT(u.slice.Bytes().size(), u.slice.RBSP().size());
       },
       "", [](const HEVCSliceHeader& h, const HEVC_SPS&) {
         EXPECT_EQ(h.slice_pic_order_cnt_lsb, 0x1234);
         EXPECT_EQ(h.num_long_term_pics, 2);
         EXPECT_EQ(h.delta_poc_msb_present_flag[1], 1);
         EXPECT_EQ(h.delta_poc_msb_cycle_lt[1], 5u);
         EXPECT_EQ(h.slice_temporal_mvp_enabled_flag, 1);
         EXPECT_EQ(h.slice_sao_chroma_flag, 1);
       }},
      {"cut short in the short-term set", [](Units& u) { u.slice = Concat({NalHeader(1), {U("first", 1, 1), UE("pps", 0), UE("type", 1), U("poc", 8, 5), U("sps_flag", 1, 0), UE("neg", 1)}}); },
       "End of stream"},
  });
}

// The active short-term set: coded in the header (explicit or predicted from an SPS set), or
// named from the SPS and copied whole.
TEST(HEVCSliceHeader, ShortTermSets) {
  RunRows({
      {"one SPS set, named without index bits",
       [](Units& u) {
         u.sps.Set("num_short_term_ref_pic_sets", 1).InsertAfter("num_short_term_ref_pic_sets", ExplicitSet(1, 1));
         u.WithSet({});
         u.slice.Set("short_term_ref_pic_set_sps_flag", 1);
       },
       "", [](const HEVCSliceHeader& h, const HEVC_SPS&) {
         EXPECT_EQ(h.short_term_ref_pic_set_idx, 0);
         EXPECT_EQ(Pictures(h.st_ref_pic_set), "-1u +1u ");
         EXPECT_EQ(h.slice_temporal_mvp_enabled_flag, 1);
       }},
      {"three SPS sets: the predicted third, named in 2 bits, copied whole",
       [](Units& u) {
         ShortTermSetsSPS(u);
         u.WithSet({U("short_term_ref_pic_set_idx", 2, 2)});
         u.slice.Set("short_term_ref_pic_set_sps_flag", 1);
       },
       "", [](const HEVCSliceHeader& h, const HEVC_SPS& sps) {
         EXPECT_EQ(h.short_term_ref_pic_set_idx, 2);
         EXPECT_TRUE(h.st_ref_pic_set == sps.st_ref_pic_set[2]);
         EXPECT_EQ(h.st_ref_pic_set.inter_ref_pic_set_prediction_flag, 1);
         EXPECT_EQ(Pictures(sps.st_ref_pic_set[1]), "-1u -2u -3u ");
         EXPECT_EQ(Pictures(h.st_ref_pic_set), "-1u +1u +2u ");
       }},
      {"three SPS sets: index 3", [](Units& u) {
         ShortTermSetsSPS(u);
         u.WithSet({U("short_term_ref_pic_set_idx", 2, 3)});
         u.slice.Set("short_term_ref_pic_set_sps_flag", 1);
       }, "short_term_ref_pic_set_idx out of range"},
      {"coded set predicted from the first SPS set",
       [](Units& u) {
         ShortTermSetsSPS(u);
         u.WithSet({U("inter_ref_pic_set_prediction_flag", 1, 1), UE("delta_idx_minus1", 2), U("delta_rps_sign", 1, 0),
                    UE("abs_delta_rps_minus1", 2), U("used", 1, 0), U("use_delta", 1, 0), U("used", 1, 1), U("used", 1, 0),
                    U("use_delta", 1, 1), U("used", 1, 1)});
       },
       "", [](const HEVCSliceHeader& h, const HEVC_SPS&) {
         EXPECT_EQ(h.st_ref_pic_set.delta_idx_minus1, 2);
         // (-1, -2, +1) shifted by +3: +2 dropped, +1 used, +4 kept unused; the reference picture
         // itself at +3, used.
         EXPECT_EQ(Pictures(h.st_ref_pic_set), "+1u +3u +4 ");
         EXPECT_EQ(h.slice_temporal_mvp_enabled_flag, 1);
       }},
      {"coded set naming no SPS set", [](Units& u) {
         ShortTermSetsSPS(u);
         u.WithSet({U("inter_ref_pic_set_prediction_flag", 1, 1), UE("delta_idx_minus1", 3)});
       }, "Invalid value of delta_idx_minus1 in slice header RPS"},
      {"16 negative pictures", [](Units& u) { u.WithSet(ExplicitSet(16, 0)); }, "Too many refs in a short term RPS"},
      {"15 + 15 pictures", [](Units& u) { u.WithSet(ExplicitSet(15, 15)); },
       "", [](const HEVCSliceHeader& h, const HEVC_SPS&) { EXPECT_EQ(h.st_ref_pic_set.num_positive_pics, 15); }},
      // A picture that refers to itself and is filtered in the loop takes a slot of its own.
      {"current picture, SAO on: 14 negative pictures",
       [](Units& u) { CurrentPictureReferencing(u); u.WithSet(ExplicitSet(14, 0)); }, "", nullptr},
      {"current picture, SAO on: 15 negative pictures",
       [](Units& u) { CurrentPictureReferencing(u); u.WithSet(ExplicitSet(15, 0)); },
       "Invalid stream: short-term ref pic set contains too many pictures to use with current picture reference enabled"},
      {"current picture, deblocked without SAO: 15 negative pictures",
       [](Units& u) {
         CurrentPictureReferencing(u);
         u.sps.Set("sample_adaptive_offset_enabled_flag", 0);
         u.WithSet(ExplicitSet(15, 0));
       },
       "Invalid stream: short-term ref pic set contains too many pictures to use with current picture reference enabled"},
      {"current picture, deblocking overridable: 10 + 5 pictures",
       [](Units& u) {
         CurrentPictureReferencing(u);
         u.sps.Set("sample_adaptive_offset_enabled_flag", 0);
         u.pps.Set("deblocking_filter_control_present_flag", 1)
             .InsertAfter("deblocking_filter_control_present_flag",
                          {U("deblocking_filter_override_enabled_flag", 1, 1), U("pps_deblocking_filter_disabled_flag", 1, 1)});
         u.WithSet(ExplicitSet(10, 5));
       },
       "Invalid stream: short-term ref pic set contains too many pictures to use with current picture reference enabled"},
      {"current picture, unfiltered: 15 negative pictures",
       [](Units& u) {
         CurrentPictureReferencing(u);
         u.sps.Set("sample_adaptive_offset_enabled_flag", 0);
         u.pps.Set("deblocking_filter_control_present_flag", 1)
             .InsertAfter("deblocking_filter_control_present_flag",
                          {U("deblocking_filter_override_enabled_flag", 1, 0), U("pps_deblocking_filter_disabled_flag", 1, 1)});
         u.WithSet(ExplicitSet(15, 0));
         u.slice.Remove("slice_sao_luma_flag").Remove("slice_sao_chroma_flag");
       },
       "", nullptr},
  });
}

// Long-term pictures: named from the SPS or coded, the room the short-term set leaves them, and
// how they count towards the references of the current picture.
TEST(HEVCSliceHeader, LongTermPictures) {
  const auto longTerm = [](std::vector<Element> e) {
    return [e](Units& u) {
      LongTermSPS(u);
      u.slice.InsertAfter("used_by_curr_pic_s0_flag", e);
    };
  };
  RunRows({
      {"two SPS pictures and a coded one",
       longTerm({UE("num_long_term_sps", 2), UE("num_long_term_pics", 1), U("lt_idx_sps[0]", 2, 2),
                 U("delta_poc_msb_present_flag[0]", 1, 0), U("lt_idx_sps[1]", 2, 1), U("delta_poc_msb_present_flag[1]", 1, 0),
                 U("poc_lsb_lt[2]", 8, 77), U("used_by_curr_pic_lt_flag[2]", 1, 1), U("delta_poc_msb_present_flag[2]", 1, 1),
                 UE("delta_poc_msb_cycle_lt[2]", 3)}),
       "", [](const HEVCSliceHeader& h, const HEVC_SPS&) {
         EXPECT_EQ(h.num_long_term_sps, 2);
         EXPECT_EQ(h.num_long_term_pics, 1);
         EXPECT_EQ((std::vector<int>{h.lt_idx_sps[0], h.poc_lsb_lt[0], h.used_by_curr_pic_lt_flag[0]}), (std::vector<int>{2, 30, 1}));
         EXPECT_EQ((std::vector<int>{h.lt_idx_sps[1], h.poc_lsb_lt[1], h.used_by_curr_pic_lt_flag[1]}), (std::vector<int>{1, 20, 0}));
         EXPECT_EQ((std::vector<int>{h.poc_lsb_lt[2], h.used_by_curr_pic_lt_flag[2], h.delta_poc_msb_present_flag[2]}),
                   (std::vector<int>{77, 1, 1}));
         EXPECT_EQ(h.delta_poc_msb_cycle_lt[2], 3u);
         EXPECT_EQ(h.slice_temporal_mvp_enabled_flag, 1);
       }},
      {"lt_idx_sps 3 of 3", longTerm({UE("num_long_term_sps", 1), UE("num_long_term_pics", 0), U("lt_idx_sps[0]", 2, 3)}),
       "lt_idx_sps out of range"},
      {"num_long_term_sps 4 of 3", longTerm({UE("num_long_term_sps", 4)}), "num_long_term_sps out of range"},
      {"one SPS picture: no index bits",
       [](Units& u) {
         LongTermSPS(u, 1);
         u.slice.InsertAfter("used_by_curr_pic_s0_flag", {UE("num_long_term_sps", 1), UE("num_long_term_pics", 0),
                                                          U("delta_poc_msb_present_flag[0]", 1, 1), UE("delta_poc_msb_cycle_lt[0]", 9)});
       },
       "", [](const HEVCSliceHeader& h, const HEVC_SPS&) {
         EXPECT_EQ(h.poc_lsb_lt[0], 10);
         EXPECT_EQ(h.delta_poc_msb_cycle_lt[0], 9u);
       }},
      {"no SPS pictures: no num_long_term_sps",
       [](Units& u) {
         LongTermSPS(u, 0);
         u.slice.InsertAfter("used_by_curr_pic_s0_flag",
                             {UE("num_long_term_pics", 1), U("poc_lsb_lt[0]", 8, 200), U("used_by_curr_pic_lt_flag[0]", 1, 0),
                              U("delta_poc_msb_present_flag[0]", 1, 0)});
       },
       "", [](const HEVCSliceHeader& h, const HEVC_SPS&) {
         EXPECT_EQ(h.num_long_term_sps, 0);
         EXPECT_EQ(h.poc_lsb_lt[0], 200);
       }},
      {"10 + 5 short-term pictures leave no room",
       [](Units& u) {
         LongTermSPS(u);
         u.WithSet(Cat(ExplicitSet(10, 5), {UE("num_long_term_sps", 0), UE("num_long_term_pics", 1)}));
       },
       "num_long_term_pics out of range"},
      {"10 + 4 short-term pictures leave room for one",
       [](Units& u) {
         LongTermSPS(u);
         u.WithSet(Cat(ExplicitSet(10, 4), {UE("num_long_term_sps", 0), UE("num_long_term_pics", 1), U("poc_lsb_lt[0]", 8, 1),
                                            U("used_by_curr_pic_lt_flag[0]", 1, 1), U("delta_poc_msb_present_flag[0]", 1, 0)}));
       },
       "", [](const HEVCSliceHeader& h, const HEVC_SPS&) { EXPECT_EQ(h.num_long_term_pics, 1); }},
      {"room for one, two SPS pictures",
       [](Units& u) {
         LongTermSPS(u);
         u.WithSet(Cat(ExplicitSet(10, 4), {UE("num_long_term_sps", 2)}));
       },
       "num_long_term_sps out of range"},
      {"room for one, one SPS picture and one coded",
       [](Units& u) {
         LongTermSPS(u);
         u.WithSet(Cat(ExplicitSet(10, 4), {UE("num_long_term_sps", 1), UE("num_long_term_pics", 1)}));
       },
       "num_long_term_pics out of range"},
      // Short-term sets of more than 15 pictures leave no room at all.
      {"15 + 15 short-term pictures",
       [](Units& u) {
         LongTermSPS(u);
         u.WithSet(Cat(ExplicitSet(15, 15), {UE("num_long_term_sps", 3), UE("num_long_term_pics", 0)}));
       },
       "num_long_term_pics out of range"},
  });
}

// The reference counts of P and B slices, list modification and the collocated picture.
TEST(HEVCSliceHeader, ReferenceLists) {
  // A B slice with two negative and one positive picture, all used: three current references.
  const auto bSlice = [](std::vector<Element> tail) {
    return [tail](Units& u) {
      u.WithSet(ExplicitSet(2, 1));
      u.slice.Set("slice_type", 0);
      u.slice.Remove("num_ref_idx_active_override_flag").Append(tail);
    };
  };
  const auto withLists = [](std::function<void(Units&)> edit) {
    return [edit](Units& u) {
      u.pps.Set("lists_modification_present_flag", 1);
      edit(u);
    };
  };
  RunRows({
      {"P slice without a picture used by it", [](Units& u) { u.WithSet(ExplicitSet(1, 1, 0)); },
       "Zero refs for a frame with P or B slices"},
      {"P slice whose only reference is long-term",
       [](Units& u) {
         LongTermSPS(u);
         u.WithSet(Cat(ExplicitSet(1, 0, 0), {UE("num_long_term_sps", 1), UE("num_long_term_pics", 0), U("lt_idx_sps[0]", 2, 0),
                                               U("delta_poc_msb_present_flag[0]", 1, 0)}));
       },
       "", nullptr},
      {"B slice, PPS default counts",
       [=](Units& u) {
         u.pps.Set("num_ref_idx_l0_default_active_minus1", 3).Set("num_ref_idx_l1_default_active_minus1", 2);
         bSlice({U("num_ref_idx_active_override_flag", 1, 0), U("mvd_l1_zero_flag", 1, 1), U("collocated_from_l0_flag", 1, 1),
                 UE("collocated_ref_idx", 3)})(u);
       },
       "", [](const HEVCSliceHeader& h, const HEVC_SPS&) {
         EXPECT_EQ(h.num_ref_idx_l0_active_minus1, 3);
         EXPECT_EQ(h.num_ref_idx_l1_active_minus1, 2);
         EXPECT_EQ(h.mvd_l1_zero_flag, 1);
         EXPECT_EQ(h.collocated_ref_idx, 3);
       }},
      {"num_ref_idx_l0_active_minus1 14",
       [](Units& u) {
         u.slice.Set("num_ref_idx_active_override_flag", 1).Append({UE("num_ref_idx_l0_active_minus1", 14), UE("collocated_ref_idx", 14)});
       },
       "", [](const HEVCSliceHeader& h, const HEVC_SPS&) {
         EXPECT_EQ(h.num_ref_idx_l0_active_minus1, 14);
         EXPECT_EQ(h.collocated_ref_idx, 14);
       }},
      {"num_ref_idx_l0_active_minus1 15",
       [](Units& u) { u.slice.Set("num_ref_idx_active_override_flag", 1).Append({UE("num_ref_idx_l0_active_minus1", 15)}); },
       "Too many refs"},
      {"num_ref_idx_l1_active_minus1 15",
       bSlice({U("num_ref_idx_active_override_flag", 1, 1), UE("num_ref_idx_l0_active_minus1", 0), UE("num_ref_idx_l1_active_minus1", 15)}),
       "Too many refs"},
      {"B slice, collocated from list 1, index 1",
       bSlice({U("num_ref_idx_active_override_flag", 1, 1), UE("num_ref_idx_l0_active_minus1", 0), UE("num_ref_idx_l1_active_minus1", 1),
               U("mvd_l1_zero_flag", 1, 0), U("collocated_from_l0_flag", 1, 0), UE("collocated_ref_idx", 1)}),
       "", [](const HEVCSliceHeader& h, const HEVC_SPS&) {
         EXPECT_EQ(h.collocated_from_l0_flag, 0);
         EXPECT_EQ(h.collocated_ref_idx, 1);
       }},
      {"B slice, collocated from list 1, index 2 of 2",
       bSlice({U("num_ref_idx_active_override_flag", 1, 1), UE("num_ref_idx_l0_active_minus1", 0), UE("num_ref_idx_l1_active_minus1", 1),
               U("mvd_l1_zero_flag", 1, 0), U("collocated_from_l0_flag", 1, 0), UE("collocated_ref_idx", 2)}),
       "collocated_ref_idx out of range"},
      {"B slice, collocated from a list of one: no index",
       bSlice({U("num_ref_idx_active_override_flag", 1, 1), UE("num_ref_idx_l0_active_minus1", 2), UE("num_ref_idx_l1_active_minus1", 0),
               U("mvd_l1_zero_flag", 1, 0), U("collocated_from_l0_flag", 1, 0)}),
       "", [](const HEVCSliceHeader& h, const HEVC_SPS&) { EXPECT_EQ(h.collocated_ref_idx, 0); }},
      {"cabac_init_flag",
       [=](Units& u) {
         u.pps.Set("cabac_init_present_flag", 1);
         bSlice({U("num_ref_idx_active_override_flag", 1, 0), U("mvd_l1_zero_flag", 1, 0), U("cabac_init_flag", 1, 1),
                 U("collocated_from_l0_flag", 1, 0)})(u);
       },
       "", [](const HEVCSliceHeader& h, const HEVC_SPS&) {
         EXPECT_EQ(h.cabac_init_flag, 1);
         EXPECT_EQ(h.collocated_from_l0_flag, 0);
       }},
      {"list modification: three references, entries in 2 bits",
       withLists(bSlice({U("num_ref_idx_active_override_flag", 1, 1), UE("num_ref_idx_l0_active_minus1", 1),
                         UE("num_ref_idx_l1_active_minus1", 0), U("ref_pic_list_modification_flag_l0", 1, 1),
                         U("list_entry_l0[0]", 2, 2), U("list_entry_l0[1]", 2, 0), U("ref_pic_list_modification_flag_l1", 1, 1),
                         U("list_entry_l1[0]", 2, 1), U("mvd_l1_zero_flag", 1, 1), U("collocated_from_l0_flag", 1, 1),
                         UE("collocated_ref_idx", 1)})),
       "", [](const HEVCSliceHeader& h, const HEVC_SPS&) {
         EXPECT_EQ(h.ref_pic_list_modification_flag_l0, 1);
         EXPECT_EQ((std::vector<int>{h.list_entry_l0[0], h.list_entry_l0[1]}), (std::vector<int>{2, 0}));
         EXPECT_EQ(h.ref_pic_list_modification_flag_l1, 1);
         EXPECT_EQ(h.list_entry_l1[0], 1);
         EXPECT_EQ(h.mvd_l1_zero_flag, 1);
         EXPECT_EQ(h.collocated_ref_idx, 1);
       }},
      {"list_entry_l0 3 of 3",
       withLists(bSlice({U("num_ref_idx_active_override_flag", 1, 0), U("ref_pic_list_modification_flag_l0", 1, 1),
                         U("list_entry_l0[0]", 2, 3)})),
       "list_entry_l0 out of range"},
      {"list_entry_l1 3 of 3",
       withLists(bSlice({U("num_ref_idx_active_override_flag", 1, 0), U("ref_pic_list_modification_flag_l0", 1, 0),
                         U("ref_pic_list_modification_flag_l1", 1, 1), U("list_entry_l1[0]", 2, 3)})),
       "list_entry_l1 out of range"},
      {"list modification of a P slice: list 0 only",
       withLists([](Units& u) {
         u.WithSet(ExplicitSet(2, 0));
         u.slice.Append({U("ref_pic_list_modification_flag_l0", 1, 1), U("list_entry_l0[0]", 1, 1)});
       }),
       "", [](const HEVCSliceHeader& h, const HEVC_SPS&) {
         EXPECT_EQ(h.list_entry_l0[0], 1);
         EXPECT_EQ(h.ref_pic_list_modification_flag_l1, 0);
       }},
      {"one current reference: no modification bits",
       withLists([](Units& u) {
         u.slice.Set("num_ref_idx_active_override_flag", 1).Append({UE("num_ref_idx_l0_active_minus1", 1), UE("collocated_ref_idx", 1)});
       }),
       "", [](const HEVCSliceHeader& h, const HEVC_SPS&) {
         EXPECT_EQ(h.ref_pic_list_modification_flag_l0, 0);
         EXPECT_EQ(h.collocated_ref_idx, 1);
       }},
      // The current picture counts as a reference of its own.
      {"list modification with the current picture: two references",
       withLists([](Units& u) {
         CurrentPictureReferencing(u);
         u.slice.Append({U("ref_pic_list_modification_flag_l0", 1, 1), U("list_entry_l0[0]", 1, 1)});
       }),
       "", [](const HEVCSliceHeader& h, const HEVC_SPS&) { EXPECT_EQ(h.list_entry_l0[0], 1); }},
  });
}

// Headers of every length from a few bytes to past a hundred, with runs of zeros that bring in
// emulation-prevention bytes at every alignment (one of them as the 64th byte), at the start of
// units that run on for a thousand bytes of slice data (which the decode must not need) and in
// units that end right after them: the same record either way, with every long-term picture as
// written.
TEST(HEVCSliceHeader, HeadersOfEveryLength) {
  HEVC_PS ps;
  Units units;
  units.sps.Set("log2_max_pic_order_cnt_lsb_minus4", 12).Set("long_term_ref_pics_present_flag", 1)
      .InsertAfter("long_term_ref_pics_present_flag", {UE("num_long_term_ref_pics_sps", 0)})
      .Set("sps_temporal_mvp_enabled_flag", 0);
  for (const SyntaxUnit* unit : {&units.vps, &units.sps, &units.pps}) {
    const std::vector<uint8_t> bytes = unit->Bytes();
    ps.AddNALU(NALU{bytes.data(), bytes.size()});
  }
  int emulated = 0;
  int emulatedAt64 = 0;
  for (int count = 0; count <= 15; ++count) {
    // Zero pictures: POC LSBs 0, unused, no MSB cycle, so 18 zero bits each. The ones before
    // them have long MSB cycle codes, the first one's from 1 to 63 bits, shifting what follows.
    for (int zeroFrom = 0; zeroFrom <= 5; ++zeroFrom) {
      for (int shift = 0; shift <= 31; ++shift) {
        for (int filler : {0x00, 0xA5}) {
          SCOPED_TRACE(std::to_string(count) + " long-term pictures, zero from " + std::to_string(zeroFrom) +
                       ", shift " + std::to_string(shift) + ", filler " + std::to_string(filler));
          const auto cycle = [&](int i) { return i == 0 ? (1u << shift) - 1 : (1u << (24 + i % 6)) + i; };
          SyntaxUnit header = Concat({NalHeader(1),
                                      {U("first_slice_segment_in_pic_flag", 1, 1), UE("slice_pic_parameter_set_id", 0),
                                       UE("slice_type", 2), U("slice_pic_order_cnt_lsb", 16, 0x8001),
                                       U("short_term_ref_pic_set_sps_flag", 1, 0), UE("num_negative_pics", 0),
                                       UE("num_positive_pics", 0), UE("num_long_term_pics", count)}});
          for (int i = 0; i < count; ++i) {
            const bool zero = i >= zeroFrom;
            header.Append({U("poc_lsb_lt", 16, zero ? 0 : 0x4000 + i), U("used_by_curr_pic_lt_flag", 1, zero ? 0 : i & 1),
                           U("delta_poc_msb_present_flag", 1, zero ? 0 : 1)});
            if (!zero) header.Append({UE("delta_poc_msb_cycle_lt", cycle(i))});
          }
          // The header ends with the SAO flags, 0 after zero pictures so that it may end in a zero
          // byte.
          const int sao = count > zeroFrom ? 0 : 1;
          header.Append({U("slice_sao_luma_flag", 1, sao), U("slice_sao_chroma_flag", 1, 0)});
          const std::vector<uint8_t> alone = header.Bytes();
          emulated += alone.size() > header.RBSP().size();
          emulatedAt64 += alone.size() > 64 && alone[61] == 0 && alone[62] == 0 && alone[63] == 3;
          std::vector<uint8_t> long_ = header.Bytes(false);
          long_.insert(long_.end(), 1000, static_cast<uint8_t>(filler));
          long_.push_back(0x80);

          const auto fromAlone = CreateSliceHeader(ps, NALU{alone.data(), alone.size()});
          const auto fromLong = CreateSliceHeader(ps, NALU{long_.data(), long_.size()});
          ASSERT_TRUE(fromAlone && fromLong);
          EXPECT_TRUE(*fromAlone == *fromLong);
          const HEVCSliceHeader& h = *fromLong;
          ASSERT_EQ(h.num_long_term_pics, count);
          for (int i = 0; i < count; ++i) {
            const bool zero = i >= zeroFrom;
            EXPECT_EQ(h.poc_lsb_lt[i], zero ? 0 : 0x4000 + i) << i;
            EXPECT_EQ(h.used_by_curr_pic_lt_flag[i], zero ? 0 : i & 1) << i;
            EXPECT_EQ(h.delta_poc_msb_cycle_lt[i], zero ? 0u : cycle(i)) << i;
          }
          EXPECT_EQ(h.slice_sao_luma_flag, sao);
          EXPECT_EQ(h.slice_sao_chroma_flag, 0);
        }
      }
    }
  }
  EXPECT_GT(emulated, 100);
  EXPECT_GT(emulatedAt64, 0);
}

// Units that are not coded slices are no slice headers; a unit of no bytes at all has no type.
TEST(HEVCSliceHeader, OtherUnits) {
  HEVC_PS ps;
  for (const SyntaxUnit& unit : {BaseVPS(), BaseSPS(), BasePPS()}) {
    const std::vector<uint8_t> bytes = unit.Bytes();
    ps.AddNALU(NALU{bytes.data(), bytes.size()});
  }
  const struct Row {
    const char* name;
    SyntaxUnit unit;
  } rows[] = {
      {"VPS", BaseVPS()},
      {"prefix SEI", Concat({NalHeader(39), {U("payload", 16, 0x0101)}})},
      {"reserved VCL type 22", Concat({NalHeader(22), {U("first_slice_segment_in_pic_flag", 1, 1), UE("pps", 0), UE("type", 2)}})},
      {"reserved VCL type 10", Concat({NalHeader(10), {U("first_slice_segment_in_pic_flag", 1, 1), UE("pps", 0), UE("type", 2)}})},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const std::vector<uint8_t> bytes = row.unit.Bytes();
    const NALU nalu{bytes.data(), bytes.size()};
    EXPECT_EQ(CreateSliceHeader(ps, nalu), nullptr);
    HEVCSliceHeader header{};
    const std::optional<Failure> failure = Probe([&] { header.Decode(nalu, ps); });
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->message, "NALU is not a Slice");
    EXPECT_EQ(failure->function, "Decode");
  }
  const uint8_t byte = 0x02;  // would be TRAIL_R
  EXPECT_EQ(CreateSliceHeader(ps, NALU{&byte, 0}), nullptr);
  EXPECT_EQ(CreateSliceHeader(ps, NALU{nullptr, 0}), nullptr);
}

// The PPS is found but its SPS is not in the collection.
TEST(HEVCSliceHeader, PPSWithoutItsSPS) {
  HEVC_PS ps;
  for (const SyntaxUnit& unit : {BaseVPS(), BaseSPS(), BasePPS()}) {
    const std::vector<uint8_t> bytes = unit.Bytes();
    ps.AddNALU(NALU{bytes.data(), bytes.size()});
  }
  ps.sps_list.clear();
  const std::vector<uint8_t> bytes = PSlice().Bytes();
  const std::optional<Failure> failure = Probe([&] { CreateSliceHeader(ps, NALU{bytes.data(), bytes.size()}); });
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->message, "invalid pps_seq_parameter_set_id in pps");
}

TEST(HEVCSliceHeader, SliceTypeNames) {
  const struct Row {
    uint32_t type;
    std::string expected;
  } rows[] = {{0, "[B]"}, {1, "[P]"}, {2, "[I]"}, {3, ""}, {0xFFFFFFFF, ""}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.type);
    EXPECT_EQ(HEVCSliceTypeName(row.type), row.expected);
  }
}

}  // namespace
