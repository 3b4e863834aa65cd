// Every VPS, SPS and PPS of the sample streams in tests/data/hevc, and every slice segment header,
// decoded by us, listed by the library's syntax listing and compared element by element, in order,
// with what FFmpeg's trace_headers printed for the same unit (the .trace and .slices files next to
// each stream, made by make-streams.sh); every SPS written back by its Append, byte for byte.
#include <algorithm>
#include <filesystem>
#include <iterator>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Orvane/Proc/CodecParsers/H26xBitstreamBuilder.h"
#include "Orvane/Proc/CodecParsers/H26xBitstreamParser.h"
#include "Orvane/Proc/CodecParsers/HEVCCodecParams.h"
#include "Orvane/Proc/CodecParsers/HEVCSliceHeader.h"
#include "support/HEVCStreams.h"
#include "support/HEVCTestUnits.h"
#include "support/TraceOracle.h"

namespace {

using namespace Orvane::Proc::CodecParsers;
using codec_test::Compare;
using codec_test::FlatListing;
using codec_test::ReadFile;
using codec_test::ReadTrace;
using codec_test::SampleStreams;
using codec_test::TraceRules;
using codec_test::TraceUnit;

bool NotKept(const std::string& name) {
  static const std::set<std::string> kNames = {"forbidden_zero_bit", "nal_unit_type", "nuh_layer_id", "nuh_temporal_id_plus1",
                                               "vps_reserved_0xffff_16bits", "rbsp_stop_one_bit", "rbsp_alignment_zero_bit"};
  return kNames.contains(name) || name.find("reserved_zero") != std::string::npos;
}

// The first element of the rest of a slice segment header, which the slice-header decode does not
// read: pred_weight_table, five_minus_max_num_merge_cand, slice_qp_delta (I slices), and for a
// dependent segment the entry points, the header extension or the alignment bits.
bool BeyondSliceHeaderDecode(const std::string& name) {
  static const std::set<std::string> kNames = {"luma_log2_weight_denom", "five_minus_max_num_merge_cand", "slice_qp_delta",
                                               "num_entry_point_offsets", "slice_segment_header_extension_length",
                                               "alignment_bit_equal_to_one"};
  return kNames.contains(name);
}

const TraceRules kParameterSetRules{{{"scaling_list_delta_coeff", "scaling_list_delta_coef"}}, NotKept, {}};
const TraceRules kSliceRules{{}, NotKept, BeyondSliceHeaderDecode};

// Every VPS, SPS and PPS element by element as FFmpeg traced it, every SPS written back, and every
// slice segment header up to where our decode ends.
TEST(HEVCSampleStreamsAgainstFFmpeg, EveryElementOfEveryUnitAgreesAndEverySPSIsWrittenBack) {
  const std::vector<std::filesystem::path> streams = SampleStreams(HEVC_TEST_DATA);
  ASSERT_GE(streams.size(), 11u);
  std::map<std::string, size_t> kinds;  // the kinds of slice the streams cover
  for (const auto& stream : streams) {
    SCOPED_TRACE(stream.filename().string());
    const std::vector<uint8_t> bytes = ReadFile(stream);
    const std::vector<TraceUnit> trace = ReadTrace(std::filesystem::path(stream).replace_extension(".trace"));
    const std::vector<TraceUnit> slices = ReadTrace(std::filesystem::path(stream).replace_extension(".slices"));
    std::vector<NALU> nalus;
    FindAnnexBNalus(bytes.data(), bytes.size(), nalus);
    HEVC_PS ps;
    size_t unit = 0, slice = 0;
    for (const NALU& nalu : nalus) {
      const uint32_t type = HEVCNaluType(nalu);
      FlatListing ours;
      if (type < 32 || type > 34) {
        const std::shared_ptr<const HEVCSliceHeader> header = CreateSliceHeader(ps, nalu);
        if (!header) continue;
        ASSERT_LT(slice, slices.size()) << "more slices than the trace";
        SCOPED_TRACE("slice #" + std::to_string(slice));
        const auto pps = ps.GetPPS(header->slice_pic_parameter_set_id);
        ListSyntax(*header, type, *ps.GetSPS(pps->pps_seq_parameter_set_id), *pps, ours);
        Compare(slices[slice++], ours, kSliceRules);
        ++kinds[HEVCNaluTypeName(type) + " " + HEVCSliceTypeName(header->slice_type)];
        if (!header->first_slice_segment_in_pic_flag) ++kinds["slice_segment_address > 0"];
        continue;
      }
      ASSERT_LT(unit, trace.size()) << "more parameter sets than the trace";
      const TraceUnit& expected = trace[unit++];
      SCOPED_TRACE(expected.heading + " #" + std::to_string(unit));
      if (type == 32) {
        HEVC_VPS vps;
        vps.Decode(nalu);
        ListSyntax(vps, ours);
      } else if (type == 33) {
        auto sps = std::make_unique<HEVC_SPS>();
        sps->Decode(nalu, ps);
        ListSyntax(*sps, ours);
        // Written back, the unit as it was: the sample SPS are of the base layer and temporal id 0
        // and carry no extension data.
        H26xBitstreamBuilder written(true);
        sps->Append(written);
        EXPECT_EQ(std::vector<uint8_t>(written.data(), written.data() + written.BytesInBuffer()),
                  std::vector<uint8_t>(nalu.data, nalu.data + nalu.size));
      } else {
        auto pps = std::make_unique<HEVC_PPS>();
        pps->Decode(nalu, ps);
        ListSyntax(*pps, *ps.GetSPS(pps->pps_seq_parameter_set_id), ours);
      }
      ps.AddNALU(nalu);
      Compare(expected, ours, kParameterSetRules);
    }
    EXPECT_EQ(unit, trace.size()) << "fewer parameter sets than the trace";
    EXPECT_EQ(slice, slices.size()) << "fewer slices than the trace";
  }
  // The kinds of slice that the sample streams were made to hold.
  for (const char* kind : {"CRA_NUT [I]", "RASL_N [B]", "RASL_R [B]", "IDR_N_LP [I]", "TRAIL_R [P]", "TRAIL_R [B]",
                           "TRAIL_N [B]", "slice_segment_address > 0"}) {
    EXPECT_GT(kinds[kind], 0u) << kind;
  }
}

// Records built by hand may count more entries than their arrays hold; the listing stops at the
// arrays' ends (the sanitizer build sees any read past them).
TEST(HEVCSyntaxListing, CountsBeyondTheArraysAreListedAsFarAsTheArraysGo) {
  auto sps = std::make_unique<HEVC_SPS>();
  sps->sps_max_sub_layers_minus1 = sps->num_short_term_ref_pic_sets = sps->num_long_term_ref_pics_sps = 255;
  sps->long_term_ref_pics_present_flag = sps->vui_parameters_present_flag = sps->sps_sub_layer_ordering_info_present_flag = 1;
  sps->chroma_format_idc = 1;
  sps->st_ref_pic_set[0].inter_ref_pic_set_prediction_flag = sps->st_ref_pic_set[1].inter_ref_pic_set_prediction_flag = 1;
  sps->st_ref_pic_set[0].num_negative_pics = 255;
  sps->vui.vui_timing_info_present_flag = sps->vui.vui_hrd_parameters_present_flag = 1;
  sps->vui.hrd_parameters.nal_hrd_parameters_present_flag = 1;
  std::fill(std::begin(sps->vui.hrd_parameters.cpb_cnt_minus1), std::end(sps->vui.hrd_parameters.cpb_cnt_minus1), 255);
  sps->sps_extension_present_flag = sps->sps_scc_extension_flag = sps->palette_mode_enabled_flag = 1;
  sps->sps_palette_predictor_initializers_present_flag = 1;
  sps->sps_num_palette_predictor_initializers_minus1 = 255;
  auto pps = std::make_unique<HEVC_PPS>();
  pps->tiles_enabled_flag = 1;
  pps->num_tile_columns_minus1 = pps->num_tile_rows_minus1 = pps->num_extra_slice_header_bits = 255;
  HEVCSliceHeader header{};
  header.slice_type = 0;
  header.num_ref_idx_active_override_flag = 1;
  header.num_ref_idx_l0_active_minus1 = header.num_long_term_pics = 255;

  FlatListing ours;
  ListSyntax(*sps, ours);
  ListSyntax(*pps, *sps, ours);
  ListSyntax(header, 1, *sps, *pps, ours);
  std::map<std::string, size_t> entries;
  for (const auto& [name, value] : ours.elements) ++entries[name.substr(0, name.find('['))];
  EXPECT_EQ(entries["sps_max_dec_pic_buffering_minus1"], 7u);
  EXPECT_EQ(entries["delta_poc_s0_minus1"], 16u);
  EXPECT_EQ(entries["cbr_flag"], 7u * 32u);
  EXPECT_EQ(entries["sps_palette_predictor_initializer"], 3u * 128u);
  EXPECT_EQ(entries["column_width_minus1"], 20u);
  EXPECT_EQ(entries["slice_reserved_flag"], 7u);
  EXPECT_EQ(entries["poc_lsb_lt"], 16u);
}

}  // namespace
