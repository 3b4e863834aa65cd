// HEVC serialisation: the SPS and the structures it embeds written back by their Append, against
// the units they were decoded from. Every SPS of the sample streams first, then hand-built units
// for the branches x265 does not take, the refusals, and the structures on their own.
#include <algorithm>
#include <functional>
#include <iomanip>
#include <iostream>
#include <iterator>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Orvane/Proc/CodecParsers/BitsReader.h"
#include "Orvane/Proc/CodecParsers/H26xBitstreamBuilder.h"
#include "Orvane/Proc/CodecParsers/H26xBitstreamParser.h"
#include "Orvane/Proc/CodecParsers/HEVCCodecParams.h"
#include "support/BitstreamTestKit.h"
#include "support/HEVCStreams.h"
#include "support/HEVCTestUnits.h"

namespace {

using namespace Orvane::Proc::CodecParsers;
using namespace codec_test;

constexpr char kUnitPath[] = "Orvane/Proc/CodecParsers/HEVCCodecParams";

std::string Hex(const uint8_t* data, size_t size) {
  std::ostringstream out;
  for (size_t i = 0; i < size; ++i) out << std::hex << std::setw(2) << std::setfill('0') << int{data[i]} << ' ';
  return out.str();
}
std::string Hex(const std::vector<uint8_t>& bytes) { return Hex(bytes.data(), bytes.size()); }

std::vector<uint8_t> Written(const HEVC_SPS& sps) {
  H26xBitstreamBuilder b(true);
  sps.Append(b);
  return {b.data(), b.data() + b.BytesInBuffer()};
}

std::unique_ptr<HEVC_SPS> DecodeSPS(const uint8_t* data, size_t size, const HEVC_PS& ps) {
  auto sps = std::make_unique<HEVC_SPS>();
  sps->Decode(NALU{data, size}, ps);
  return sps;
}

// Every SPS of every sample stream: written and decoded again it is the same record, and a unit of
// the base layer and temporal id 0 without extension data comes back byte for byte.
TEST(HEVCSerialisation, SampleStreamSPSRoundTrip) {
  size_t records = 0;
  size_t identical = 0;
  for (const auto& stream : SampleStreams(HEVC_TEST_DATA)) {
    SCOPED_TRACE(stream.filename().string());
    const std::vector<uint8_t> bytes = ReadFile(stream);
    std::vector<NALU> nalus;
    FindAnnexBNalus(bytes.data(), bytes.size(), nalus);
    HEVC_PS ps;
    for (const NALU& nalu : nalus) {
      if (HEVCNaluType(nalu) == 33) {
        const auto original = DecodeSPS(nalu.data, nalu.size, ps);
        const std::vector<uint8_t> written = Written(*original);
        EXPECT_TRUE(*DecodeSPS(written.data(), written.size(), ps) == *original);
        ++records;
        const bool baseHeader = (nalu.data[0] & 1) == 0 && nalu.data[1] == 1;  // nuh_layer_id 0, temporal id 0
        if (baseHeader && original->sps_extension_4bits == 0) {
          EXPECT_EQ(Hex(written), Hex(nalu.data, nalu.size));
          ++identical;
        }
      }
      ps.AddNALU(nalu);
    }
  }
  std::cout << records << " SPS written back, " << identical << " of them compared byte for byte\n";
  EXPECT_GE(records, 11u);
  EXPECT_EQ(identical, records);
}

std::vector<Element> Cat(std::vector<Element> a, const std::vector<Element>& b) {
  a.insert(a.end(), b.begin(), b.end());
  return a;
}

// A profile block of 88 bits with the 43 constraint bits as given, without the level.
std::vector<Element> Profile(int idc, uint32_t compatibility, uint64_t constraint43) {
  std::vector<Element> block = GeneralProfile(idc, compatibility);
  block[8].value = static_cast<int64_t>(constraint43);  // general_constraint_43bits
  return block;
}

void WithProfile(SyntaxUnit& sps, int idc, uint32_t compatibility, uint64_t constraint43) {
  sps.Set("general_profile_idc", idc)
      .Set("general_profile_compatibility_flags", compatibility)
      .Set("general_constraint_43bits", static_cast<int64_t>(constraint43));
}

std::vector<Element> ScalingListData() {
  std::vector<Element> e;
  for (int sizeId = 0; sizeId < 4; ++sizeId) {
    const int coefNum = std::min(64, 1 << (4 + 2 * sizeId));
    for (int matrixId = 0; matrixId < 6; matrixId += sizeId == 3 ? 3 : 1) {
      if (matrixId % 2 == 0) {
        e.push_back(U("scaling_list_pred_mode_flag", 1, 1));
        if (sizeId > 1) e.push_back(SE("scaling_list_dc_coef_minus8", matrixId == 0 ? -7 : 247));
        for (int i = 0; i < coefNum; ++i) e.push_back(SE("scaling_list_delta_coef", i % 3 == 0 ? -128 : i % 3 == 1 ? 127 : i));
      } else {
        e.push_back(U("scaling_list_pred_mode_flag", 1, 0));
        e.push_back(UE("scaling_list_pred_matrix_id_delta", 1));
      }
    }
  }
  return e;
}

std::vector<Element> FullVUI() {
  return {U("aspect_ratio_info_present_flag", 1, 1), U("aspect_ratio_idc", 8, 255), U("sar_width", 16, 40),
          U("sar_height", 16, 33), U("overscan_info_present_flag", 1, 1), U("overscan_appropriate_flag", 1, 1),
          U("video_signal_type_present_flag", 1, 1), U("video_format", 3, 5), U("video_full_range_flag", 1, 1),
          U("colour_description_present_flag", 1, 1), U("colour_primaries", 8, 9), U("transfer_characteristics", 8, 16),
          U("matrix_coeffs", 8, 9), U("chroma_loc_info_present_flag", 1, 1), UE("chroma_sample_loc_type_top_field", 2),
          UE("chroma_sample_loc_type_bottom_field", 2), U("neutral_chroma_indication_flag", 1, 0),
          U("field_seq_flag", 1, 0), U("frame_field_info_present_flag", 1, 1), U("default_display_window_flag", 1, 1),
          UE("def_disp_win_left_offset", 8), UE("def_disp_win_right_offset", 8), UE("def_disp_win_top_offset", 4),
          UE("def_disp_win_bottom_offset", 4), U("vui_timing_info_present_flag", 1, 1),
          U("vui_num_units_in_tick", 32, 1001), U("vui_time_scale", 32, 60000),
          U("vui_poc_proportional_to_timing_flag", 1, 1), UE("vui_num_ticks_poc_diff_one_minus1", 0),
          U("vui_hrd_parameters_present_flag", 1, 1),
          // hrd_parameters(1, 0): NAL and VCL, sub-picture parameters, two CPBs
          U("nal_hrd_parameters_present_flag", 1, 1), U("vcl_hrd_parameters_present_flag", 1, 1),
          U("sub_pic_hrd_params_present_flag", 1, 1), U("tick_divisor_minus2", 8, 98),
          U("du_cpb_removal_delay_increment_length_minus1", 5, 7), U("sub_pic_cpb_params_in_pic_timing_sei_flag", 1, 1),
          U("dpb_output_delay_du_length_minus1", 5, 9), U("bit_rate_scale", 4, 2), U("cpb_size_scale", 4, 3),
          U("cpb_size_du_scale", 4, 4), U("initial_cpb_removal_delay_length_minus1", 5, 23),
          U("au_cpb_removal_delay_length_minus1", 5, 15), U("dpb_output_delay_length_minus1", 5, 4),
          U("fixed_pic_rate_general_flag", 1, 0), U("fixed_pic_rate_within_cvs_flag", 1, 1),
          UE("elemental_duration_in_tc_minus1", 1), UE("cpb_cnt_minus1", 1),
          UE("nal bit_rate_value_minus1", 1000), UE("nal cpb_size_value_minus1", 2000), UE("nal cpb_size_du_value_minus1", 300),
          UE("nal bit_rate_du_value_minus1", 400), U("nal cbr_flag", 1, 1), UE("nal bit_rate_value_minus1", 5000),
          UE("nal cpb_size_value_minus1", 6000), UE("nal cpb_size_du_value_minus1", 700), UE("nal bit_rate_du_value_minus1", 800),
          U("nal cbr_flag", 1, 0), UE("vcl bit_rate_value_minus1", 1), UE("vcl cpb_size_value_minus1", 2),
          UE("vcl cpb_size_du_value_minus1", 3), UE("vcl bit_rate_du_value_minus1", 4), U("vcl cbr_flag", 1, 0),
          UE("vcl bit_rate_value_minus1", 5), UE("vcl cpb_size_value_minus1", 6), UE("vcl cpb_size_du_value_minus1", 7),
          UE("vcl bit_rate_du_value_minus1", 8), U("vcl cbr_flag", 1, 1),
          U("bitstream_restriction_flag", 1, 1), U("tiles_fixed_structure_flag", 1, 1),
          U("motion_vectors_over_pic_boundaries_flag", 1, 1), U("restricted_ref_pic_lists_flag", 1, 0),
          UE("min_spatial_segmentation_idc", 4), UE("max_bytes_per_pic_denom", 2), UE("max_bits_per_min_cu_denom", 1),
          UE("log2_max_mv_length_horizontal", 15), UE("log2_max_mv_length_vertical", 15)};
}

std::vector<Element> Extensions(int range, int multilayer, int threeD, int scc, int fourBits) {
  return {U("sps_range_extension_flag", 1, range), U("sps_multilayer_extension_flag", 1, multilayer),
          U("sps_3d_extension_flag", 1, threeD), U("sps_scc_extension_flag", 1, scc), U("sps_extension_4bits", 4, fourBits)};
}

std::vector<Element> SCCExtension(int components, int bitDepth) {
  std::vector<Element> e = {U("sps_curr_pic_ref_enabled_flag", 1, 1), U("palette_mode_enabled_flag", 1, 1),
                            UE("palette_max_size", 64), UE("delta_palette_max_predictor_size", 32),
                            U("sps_palette_predictor_initializers_present_flag", 1, 1),
                            UE("sps_num_palette_predictor_initializers_minus1", 2)};
  for (int i = 0; i < 3 * components; ++i) e.push_back(U("sps_palette_predictor_initializer", bitDepth, (i * 37) % (1 << bitDepth)));
  e.push_back(U("motion_vector_resolution_control_idc", 2, 2));
  e.push_back(U("intra_boundary_filtering_disabled_flag", 1, 1));
  return e;
}

struct Units {
  SyntaxUnit vps = BaseVPS();
  SyntaxUnit sps = BaseSPS();
};

// Hand-built SPS units, each decoded, written and decoded again: the same record (or the record
// as `decodedAgain` says), and the bytes of the unit (or of the unit as `writtenAs` says).
TEST(HEVCSerialisation, HandBuiltSPSRoundTrip) {
  using Edit = std::function<void(Units&)>;
  const struct Row {
    const char* name;
    Edit edit;
    std::function<void(SyntaxUnit&)> writtenAs;  // empty: the bytes of the unit
    std::function<void(HEVC_SPS&)> decodedAgain = nullptr;  // empty: the record first decoded
  } rows[] = {
      {"baseline", [](Units&) {}, nullptr},
      {"three sub-layers, a sub-layer profile and levels, ordering of the highest only",
       [](Units& u) {
         u.vps.Set("vps_max_sub_layers_minus1", 2)
             .InsertAfter("general_level_idc", {U("flags", 4, 0), U("reserved_zero_2bits", 12, 0)})
             .Set("vps_sub_layer_ordering_info_present_flag", 0);
         u.sps.Set("sps_max_sub_layers_minus1", 2)
             .InsertAfter("general_level_idc",
                          Cat(Cat({U("sub_layer_profile_present_flag[0]", 1, 1), U("sub_layer_level_present_flag[0]", 1, 1),
                                   U("sub_layer_profile_present_flag[1]", 1, 0), U("sub_layer_level_present_flag[1]", 1, 1),
                                   U("reserved_zero_2bits", 12, 0)},
                                  Profile(2, 0x20000000, 0)),
                              {U("sub_layer_level_idc[0]", 8, 60), U("sub_layer_level_idc[1]", 8, 90)}))
             .Set("sps_sub_layer_ordering_info_present_flag", 0);
       },
       nullptr},
      {"profile 0 compatible with 2 is written as 2", [](Units& u) { WithProfile(u.sps, 0, 0x20000000, 0); },
       [](SyntaxUnit& s) { s.Set("general_profile_idc", 2); }},
      {"reserved constraint bits are written as zeros", [](Units& u) { WithProfile(u.sps, 1, 0x40000000, (1ull << 43) - 1); },
       [](SyntaxUnit& s) { s.Set("general_constraint_43bits", 0); },
       // The 48 bits as coded: the four source flags 1001, then zeros.
       [](HEVC_SPS& s) {
         const uint8_t written[6] = {0x90, 0, 0, 0, 0, 0};
         std::copy(std::begin(written), std::end(written), s.profile_tier_level.general.constraint_bytes);
       }},
      {"range extensions profile with its constraint flags",
       [](Units& u) { WithProfile(u.sps, 4, 0x08000000, 0b1010101010ull << 33); }, nullptr},
      {"high throughput profile with max_14bit", [](Units& u) { WithProfile(u.sps, 5, 0x04000000, 0b0100000011ull << 33); }, nullptr},
      {"Main 10 still picture", [](Units& u) { WithProfile(u.sps, 2, 0x20000000, 1ull << 35); }, nullptr},
      {"4:4:4 with separate colour planes and a conformance window",
       [](Units& u) {
         u.sps.Set("chroma_format_idc", 3)
             .InsertAfter("chroma_format_idc", {U("separate_colour_plane_flag", 1, 1)})
             .Set("conformance_window_flag", 1)
             .InsertAfter("conformance_window_flag", {UE("conf_win_left_offset", 1), UE("conf_win_right_offset", 300),
                                                      UE("conf_win_top_offset", 0), UE("conf_win_bottom_offset", 65535)});
       },
       nullptr},
      {"scaling lists, coded and predicted",
       [](Units& u) {
         u.sps.Set("scaling_list_enabled_flag", 1)
             .InsertAfter("scaling_list_enabled_flag", Cat({U("sps_scaling_list_data_present_flag", 1, 1)}, ScalingListData()));
       },
       nullptr},
      {"default scaling lists", [](Units& u) {
         u.sps.Set("scaling_list_enabled_flag", 1)
             .InsertAfter("scaling_list_enabled_flag", {U("sps_scaling_list_data_present_flag", 1, 0)});
       }, nullptr},
      {"PCM",
       [](Units& u) {
         u.sps.Set("pcm_enabled_flag", 1)
             .InsertAfter("pcm_enabled_flag", {U("pcm_sample_bit_depth_luma_minus1", 4, 7), U("pcm_sample_bit_depth_chroma_minus1", 4, 5),
                                               UE("log2_min_pcm_luma_coding_block_size_minus3", 0),
                                               UE("log2_diff_max_min_pcm_luma_coding_block_size", 2),
                                               U("pcm_loop_filter_disabled_flag", 1, 1)});
       },
       nullptr},
      {"short-term sets: explicit, predicted from it, explicit again",
       [](Units& u) {
         u.sps.Set("num_short_term_ref_pic_sets", 3)
             .InsertAfter("num_short_term_ref_pic_sets",
                          {UE("num_negative_pics", 2), UE("num_positive_pics", 1), UE("delta_poc_s0_minus1", 0),
                           U("used_by_curr_pic_s0_flag", 1, 1), UE("delta_poc_s0_minus1", 1), U("used_by_curr_pic_s0_flag", 1, 0),
                           UE("delta_poc_s1_minus1", 1), U("used_by_curr_pic_s1_flag", 1, 1),
                           U("inter_ref_pic_set_prediction_flag", 1, 1), U("delta_rps_sign", 1, 1), UE("abs_delta_rps_minus1", 0),
                           U("used_by_curr_pic_flag", 1, 1), U("used_by_curr_pic_flag", 1, 0), U("use_delta_flag", 1, 1),
                           U("used_by_curr_pic_flag", 1, 0), U("use_delta_flag", 1, 0), U("used_by_curr_pic_flag", 1, 1),
                           U("inter_ref_pic_set_prediction_flag", 1, 0), UE("num_negative_pics", 0), UE("num_positive_pics", 1),
                           UE("delta_poc_s1_minus1", 32766), U("used_by_curr_pic_s1_flag", 1, 1)});
       },
       nullptr},
      {"long-term pictures with 16-bit POC LSBs",
       [](Units& u) {
         u.sps.Set("log2_max_pic_order_cnt_lsb_minus4", 12)
             .Set("long_term_ref_pics_present_flag", 1)
             .InsertAfter("long_term_ref_pics_present_flag",
                          {UE("num_long_term_ref_pics_sps", 2), U("lt_ref_pic_poc_lsb_sps", 16, 0xFFFF),
                           U("used_by_curr_pic_lt_sps_flag", 1, 1), U("lt_ref_pic_poc_lsb_sps", 16, 3),
                           U("used_by_curr_pic_lt_sps_flag", 1, 0)});
       },
       nullptr},
      {"VUI with every part and an HRD",
       [](Units& u) { u.sps.Set("vui_parameters_present_flag", 1).InsertAfter("vui_parameters_present_flag", FullVUI()); },
       nullptr},
      {"VUI without default_display_window_flag is written with it",
       [](Units& u) {
         u.sps.Set("vui_parameters_present_flag", 1)
             .InsertAfter("vui_parameters_present_flag",
                          {U("vui head", 7, 0), U("vui_timing_info_present_flag", 1, 1), U("vui_num_units_in_tick", 32, 1001),
                           U("vui_time_scale", 32, 60000), U("vui_poc_proportional_to_timing_flag", 1, 0),
                           U("vui_hrd_parameters_present_flag", 1, 0), U("bitstream_restriction_flag", 1, 0)});
       },
       [](SyntaxUnit& s) { s.InsertAfter("vui head", {U("default_display_window_flag", 1, 0)}); }},
      {"range extension flags",
       [](Units& u) {
         u.sps.Set("sps_extension_present_flag", 1)
             .InsertAfter("sps_extension_present_flag", Cat(Extensions(1, 0, 0, 0, 0), {U("range flags", 9, 0b110011010)}));
       },
       nullptr},
      {"screen content with palette initializers, 4:2:0",
       [](Units& u) {
         u.sps.Set("sps_extension_present_flag", 1)
             .InsertAfter("sps_extension_present_flag", Cat(Extensions(0, 0, 0, 1, 0), SCCExtension(3, 8)));
       },
       nullptr},
      {"range and screen content, 4:0:0 at 10 bits",
       [](Units& u) {
         u.sps.Set("chroma_format_idc", 0).Set("bit_depth_luma_minus8", 2).Set("sps_extension_present_flag", 1)
             .InsertAfter("sps_extension_present_flag",
                          Cat(Cat(Extensions(1, 0, 0, 1, 0), {U("range flags", 9, 0b000000001)}), SCCExtension(1, 10)));
       },
       nullptr},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Units units;
    row.edit(units);
    HEVC_PS ps;
    const std::vector<uint8_t> vps = units.vps.Bytes();
    ps.AddNALU(NALU{vps.data(), vps.size()});
    const std::vector<uint8_t> unit = units.sps.Bytes();
    std::unique_ptr<HEVC_SPS> original;
    std::vector<uint8_t> written;
    const std::optional<Failure> failure = Probe([&] {
      original = DecodeSPS(unit.data(), unit.size(), ps);
      written = Written(*original);
    });
    ASSERT_FALSE(failure) << failure->message;
    SyntaxUnit expected = units.sps;
    if (row.writtenAs) row.writtenAs(expected);
    EXPECT_EQ(Hex(written), Hex(expected.Bytes()));
    if (row.decodedAgain) row.decodedAgain(*original);
    EXPECT_TRUE(*DecodeSPS(written.data(), written.size(), ps) == *original);
  }
}

// What the decode reads past without keeping cannot be written: the unit is refused once the
// writer reaches it, with everything before it written.
TEST(HEVCSerialisation, RefusedExtensions) {
  const struct Row {
    const char* name;
    std::vector<Element> extension;  // after sps_extension_present_flag
    size_t keptElements;             // how many of them come before the refusal
    std::string expected;
  } rows[] = {
      {"multilayer", Cat(Extensions(0, 1, 0, 0, 0), {U("inter_view_mv_vert_constraint_flag", 1, 1)}), 5,
       "Support for sps_multilayer_extension_flag is not implemented"},
      {"3D", Cat(Extensions(1, 0, 1, 0, 0), {U("range flags", 9, 0x1FF), U("d0", 2, 0), UE("d0", 1), U("d0", 4, 0),
                                              U("d1", 3, 0), UE("d1", 1), U("d1", 5, 0)}),
       6, "Support for sps_3d_extension_flag is not implemented"},
      {"multilayer and 3D", Cat(Extensions(0, 1, 1, 0, 0), {U("inter_view_mv_vert_constraint_flag", 1, 0), U("d0", 2, 0),
                                                             UE("d0", 1), U("d0", 4, 0), U("d1", 3, 0), UE("d1", 1), U("d1", 5, 0)}),
       5, "Support for sps_multilayer_extension_flag is not implemented"},
      {"extension data after range and screen content",
       Cat(Cat(Extensions(1, 0, 0, 1, 1), {U("range flags", 9, 0b101010101)}), SCCExtension(3, 8)), 99,
       "Support for sps_extension_4bits is not implemented"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Units units;
    units.sps.Set("sps_extension_present_flag", 1).InsertAfter("sps_extension_present_flag", row.extension);
    HEVC_PS ps;
    const std::vector<uint8_t> vps = units.vps.Bytes();
    ps.AddNALU(NALU{vps.data(), vps.size()});
    const std::vector<uint8_t> unit = units.sps.Bytes();
    const auto sps = DecodeSPS(unit.data(), unit.size(), ps);

    // Without emulation prevention, so that what was written can be flushed and looked at.
    H26xBitstreamBuilder b(false);
    const std::optional<Failure> failure = Probe([&] { sps->Append(b); });
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->message, row.expected);
    EXPECT_EQ(failure->function, "Append");
    EXPECT_EQ(failure->file, kUnitPath);
    EXPECT_TRUE(failure->bitstream);
    b.Flush();
    SyntaxUnit before = BaseSPS();
    std::vector<Element> kept(row.extension.begin(), row.extension.begin() + std::min(row.keptElements, row.extension.size()));
    before.Set("sps_extension_present_flag", 1).InsertAfter("sps_extension_present_flag", kept);
    EXPECT_EQ(Hex(b.data(), b.BytesInBuffer()), Hex(before.RBSP(false)));
  }
}

// st_ref_pic_set on its own: a slice header's set in the predicted form, and the refusals.
TEST(HEVCSerialisation, ShortTermSetRefusals) {
  // Entry 0 holds two negative and one positive picture; entry 1 eight of each.
  auto sps = std::make_unique<HEVC_SPS>();
  sps->num_short_term_ref_pic_sets = 2;
  sps->st_ref_pic_set[0].num_negative_pics = 2;
  sps->st_ref_pic_set[0].num_positive_pics = 1;
  sps->st_ref_pic_set[1].num_negative_pics = 8;
  sps->st_ref_pic_set[1].num_positive_pics = 8;

  HEVC_ShortTermRPS predicted{};
  predicted.inter_ref_pic_set_prediction_flag = 1;
  predicted.delta_idx_minus1 = 1;  // entry 0
  predicted.abs_delta_rps_minus1 = 6;
  predicted.used_by_curr_pic_flag[1] = 1;
  predicted.use_delta_flag[1] = 1;
  predicted.use_delta_flag[3] = 1;
  predicted.num_negative_pics = 5;  // the explicit lists a decode forms are not written

  const struct Row {
    const char* name;
    std::function<void(HEVC_ShortTermRPS&)> edit;
    int target;  // SPS entry, or -1 for a slice header's set
    std::function<void(Bits&)> expectedBits;
    std::string expected;  // the refusal
  } rows[] = {
      {"slice header set predicted from entry 0", [](HEVC_ShortTermRPS&) {}, -1,
       [](Bits& b) { b.u(1, 1).ue(1).u(1, 0).ue(6).u(2, 0b00).u(1, 1).u(2, 0b00).u(2, 0b01); }, ""},
      {"slice header set naming no entry", [](HEVC_ShortTermRPS& s) { s.delta_idx_minus1 = 2; }, -1,
       [](Bits& b) { b.u(1, 1).ue(2); }, "Invalid value of delta_idx_minus1 in slice header RPS"},
      {"prediction from a set of 16 pictures", [](HEVC_ShortTermRPS& s) { s.delta_idx_minus1 = 0; }, -1,
       [](Bits& b) { b.u(1, 1).ue(0); }, "num_delta_pocs out of range"},
      {"16 negative pictures",
       [](HEVC_ShortTermRPS& s) {
         s.inter_ref_pic_set_prediction_flag = 0;
         s.num_negative_pics = 16;
       },
       0, [](Bits& b) { b.ue(16).ue(0); }, "Too many refs in a short term RPS"},
      {"16 positive pictures after the flag",
       [](HEVC_ShortTermRPS& s) {
         s.inter_ref_pic_set_prediction_flag = 0;
         s.num_negative_pics = 0;
         s.num_positive_pics = 16;
       },
       -1, [](Bits& b) { b.u(1, 0).ue(0).ue(16); }, "Too many refs in a short term RPS"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    HEVC_ShortTermRPS sliceSet = predicted;
    row.edit(sliceSet);
    HEVC_SPS copy = *sps;
    HEVC_ShortTermRPS& set = row.target < 0 ? sliceSet : copy.st_ref_pic_set[row.target];
    if (row.target >= 0) set = sliceSet;
    H26xBitstreamBuilder b(false);
    const std::optional<Failure> failure = Probe([&] { set.Append(b, copy); });
    if (row.expected.empty()) {
      EXPECT_FALSE(failure) << failure->message;
    } else {
      ASSERT_TRUE(failure);
      EXPECT_EQ(failure->message, row.expected);
      EXPECT_EQ(failure->function, "Append");
    }
    b.Flush();
    Bits expected;
    row.expectedBits(expected);
    EXPECT_EQ(Hex(b.data(), b.BytesInBuffer()), Hex(expected.out));
  }
}

// hrd_parameters on its own, with and without the common information (a VPS's later entries have
// none) and over several sub-layers: decoded and written back bit for bit.
TEST(HEVCSerialisation, HRDRoundTrip) {
  const struct Row {
    const char* name;
    uint32_t commonInf;
    uint32_t maxSubLayersMinus1;
    std::function<void(Bits&)> write;
  } rows[] = {
      {"no common information, three sub-layers", 0, 2,
       [](Bits& b) {
         b.u(1, 1).ue(3).ue(3);           // fixed rate: elemental duration, cpb_cnt_minus1
         b.u(1, 0).u(1, 0).u(1, 1);       // low delay: no CPB count
         b.u(1, 0).u(1, 1).ue(0).ue(31);  // fixed within the CVS
       }},
      {"NAL only, fixed rate, two sub-layers", 1, 1,
       [](Bits& b) {
         b.u(1, 1).u(1, 0).u(1, 0).u(4, 5).u(4, 6).u(5, 31).u(5, 0).u(5, 17);
         b.u(1, 1).ue(24).ue(0).ue(123456).ue(7890).u(1, 1);
         b.u(1, 0).u(1, 0).u(1, 0).ue(1).ue(1).ue(2).u(1, 0).ue(3).ue(4).u(1, 1);
       }},
      {"VCL only, sub-picture parameters, 32 CPBs", 1, 0,
       [](Bits& b) {
         b.u(1, 0).u(1, 1).u(1, 1).u(8, 255).u(5, 1).u(1, 0).u(5, 2).u(4, 15).u(4, 0).u(4, 9).u(5, 3).u(5, 4).u(5, 5);
         b.u(1, 0).u(1, 0).u(1, 0).ue(31);
         for (int j = 0; j < 32; ++j) b.ue(j).ue(2 * j).ue(3 * j).ue(4 * j).u(1, j & 1);
       }},
      {"present flags 0", 1, 0, [](Bits& b) { b.u(1, 0).u(1, 0).u(1, 0).u(1, 1).ue(0).ue(0); }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Bits bits;
    row.write(bits);
    const size_t length = bits.n;
    bits.u(7, 0);  // room for a byte-wise end
    BitsReader r(bits.out.data(), bits.out.size());
    auto hrd = std::make_unique<HEVC_HRD>();
    *hrd = {};
    hrd->Decode(r, row.commonInf, row.maxSubLayersMinus1);
    EXPECT_EQ(r.GetPosition(), length);
    H26xBitstreamBuilder b(false);
    hrd->Append(b, row.commonInf, row.maxSubLayersMinus1);
    b.Flush();
    EXPECT_EQ(Hex(b.data(), b.BytesInBuffer()), Hex(bits.out.data(), (length + 7) / 8));
  }
}

}  // namespace
