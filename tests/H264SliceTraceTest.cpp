// Every slice header and SEI unit of the sample streams in tests/data/h264, decoded by us, listed
// by the library's syntax listing and compared element by element, in order and both ways, with
// FFmpeg's trace_headers of the same unit (the .slices and .sei files that make-streams.sh writes,
// the SEI framing folded into payloadType and payloadSize).
#include <filesystem>
#include <iostream>
#include <map>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "Orvane/Proc/CodecParsers/H264SliceHeader.h"
#include "Orvane/Proc/CodecParsers/H264_SEI.h"
#include "support/HEVCStreams.h"
#include "support/TraceOracle.h"

namespace {

using namespace Orvane::Proc::CodecParsers;
using namespace codec_test;

// Traced elements no record keeps: the SEI record keeps no NAL unit header, and the weights of list
// X, which FFmpeg names luma_weight_lX_flag ..., are the fields of our pred_weight_lX, listed as lX.
TraceRules Rules(bool sei) {
  const std::set<std::string> notKept = {"forbidden_zero_bit", "cabac_alignment_one_bit", "rbsp_stop_one_bit",
                                         "rbsp_alignment_zero_bit", sei ? "nal_ref_idc" : "", sei ? "nal_unit_type" : ""};
  TraceRules rules{{}, [notKept](const std::string& name) { return notKept.contains(name); }, {}};
  for (const std::string l : {"l0", "l1"}) {
    for (const std::string f : {"luma_weight", "luma_offset", "chroma_weight", "chroma_offset"}) rules.renamed[f + "_" + l] = l + "." + f;
    for (const std::string f : {"luma_weight", "chroma_weight"}) rules.renamed[f + "_" + l + "_flag"] = l + "." + f + "_flag";
  }
  return rules;
}

TEST(H264SlicesAndSEIAgainstFFmpeg, EveryElementOfEveryUnitAgrees) {
  const TraceRules sliceRules = Rules(false), seiRules = Rules(true);
  std::map<std::string, size_t> kinds;  // what the streams cover
  for (const auto& stream : SampleStreams(H264_TEST_DATA, ".h264")) {
    SCOPED_TRACE(stream.filename().string());
    const std::vector<uint8_t> bytes = ReadFile(stream);
    const std::vector<TraceUnit> slices = ReadTrace(std::filesystem::path(stream).replace_extension(".slices"));
    const std::vector<TraceUnit> seis = ReadTrace(std::filesystem::path(stream).replace_extension(".sei"));
    std::vector<NALU> nalus;
    FindAnnexBNalus(bytes.data(), bytes.size(), nalus);
    H264_PS ps;
    size_t slice = 0, sei = 0;
    for (const NALU& nalu : nalus) {
      ps.AddNALU(nalu);
      if (H264NaluType(nalu) == 6) {
        ASSERT_LT(sei, seis.size()) << "more SEI units than traced";
        H264_SEI decoded;
        decoded.Decode(nalu);
        FlatListing ours(std::map<std::string, std::string>{{"display_primaries", ""}});
        ListSyntax(decoded, ours);
        Compare(seis[sei++], ours, seiRules);
        for (const SEIMessage& m : decoded.messages) ++kinds["SEI payloadType " + std::to_string(m.payloadType)];
        kinds["SEI units of several messages"] += decoded.messages.size() > 1;
        continue;
      }
      const std::shared_ptr<const H264Slice> h = ps.DecodeSlice(nalu);
      if (!h) continue;
      ASSERT_LT(slice, slices.size()) << "more slices than traced";
      EXPECT_EQ(*ps.DecodeSliceHeader(nalu), static_cast<const H264SliceHeader&>(*h)) << "slice #" << slice;
      FlatListing ours({{"pred_weight_l0", "l0."}, {"pred_weight_l1", "l1."}});
      ListSyntax(*h, ours);
      Compare(slices[slice++], ours, sliceRules);
      ++kinds[std::string(h->pps->entropy_coding_mode_flag ? "CABAC " : "CAVLC ") + "PBIPI"[h->Kind()]];
      kinds["slices after the first of a picture"] += h->first_mb_in_slice > 0;
      kinds["list modification"] += h->ref_pic_list_modification_flag_l0 || h->ref_pic_list_modification_flag_l1;
      kinds["marking operations"] += h->adaptive_ref_pic_marking_mode_flag;
      kinds["explicit chroma weights"] += h->pred_weight_l0.chroma_weight_flag[0];
      kinds["MBAFF"] += h->sps->mb_adaptive_frame_field_flag;
      kinds["15 references or more"] += h->num_ref_idx_l0_active_minus1 >= 14;
    }
    EXPECT_EQ(slice, slices.size()) << "fewer slices than traced";
    EXPECT_EQ(sei, seis.size()) << "fewer SEI units than traced";
  }
  for (const auto& [kind, count] : kinds) std::cout << "  " << kind << ": " << count << "\n";
  for (const char* kind : {"CABAC B", "CAVLC B", "CABAC I", "slices after the first of a picture", "list modification", "marking operations",
                           "explicit chroma weights", "MBAFF", "15 references or more", "SEI payloadType 6", "SEI payloadType 137",
                           "SEI payloadType 144", "SEI units of several messages"}) {
    EXPECT_GT(kinds[kind], 0u) << kind;
  }
}

}  // namespace
