// Every slice header and every SEI unit of the sample streams in tests/data/h264, decoded by us,
// listed by the library's syntax listing and compared element by element, in order, with what
// FFmpeg's trace_headers printed for the same unit (the .slices and .sei files next to each
// stream, made by make-streams.sh, which folds the SEI framing into payloadType and payloadSize).
#include <filesystem>
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Orvane/Proc/CodecParsers/H264SliceHeader.h"
#include "Orvane/Proc/CodecParsers/H264_SEI.h"
#include "Orvane/Proc/CodecParsers/H26xBitstreamParser.h"
#include "support/HEVCStreams.h"
#include "support/TraceOracle.h"

namespace {

using namespace Orvane::Proc::CodecParsers;
using namespace codec_test;

const char* const kKinds[] = {"P", "B", "I", "SP", "SI"};

bool NotKept(const std::string& name) {
  for (const char* n : {"forbidden_zero_bit", "cabac_alignment_one_bit", "rbsp_stop_one_bit", "rbsp_alignment_zero_bit"}) {
    if (name == n) return true;
  }
  return false;
}

// FFmpeg names the weights of list X luma_weight_lX_flag, chroma_offset_lX ...; ours are the
// fields of the record pred_weight_lX, which the listing below prefixes with "lX.".
TraceRules SliceRules() {
  TraceRules rules{{}, NotKept, {}};
  for (const std::string list : {"l0", "l1"}) {
    for (const std::string field : {"luma_weight", "luma_offset", "chroma_weight", "chroma_offset"}) {
      rules.renamed[field + "_" + list] = list + "." + field;
    }
    rules.renamed["luma_weight_" + list + "_flag"] = list + ".luma_weight_flag";
    rules.renamed["chroma_weight_" + list + "_flag"] = list + ".chroma_weight_flag";
  }
  return rules;
}

// The SEI record keeps no NAL unit header.
const TraceRules kSEIRules{{}, [](const std::string& n) { return NotKept(n) || n == "nal_ref_idc" || n == "nal_unit_type"; }, {}};

TEST(H264SlicesAndSEIAgainstFFmpeg, EveryElementOfEveryUnitAgrees) {
  const std::vector<std::filesystem::path> streams = SampleStreams(H264_TEST_DATA, ".h264");
  ASSERT_GE(streams.size(), 15u);
  const TraceRules sliceRules = SliceRules();
  std::map<std::string, size_t> kinds;  // what the streams cover, for the summary
  for (const auto& stream : streams) {
    SCOPED_TRACE(stream.filename().string());
    const std::vector<uint8_t> bytes = ReadFile(stream);
    const std::vector<TraceUnit> slices = ReadTrace(std::filesystem::path(stream).replace_extension(".slices"));
    const std::vector<TraceUnit> seis = ReadTrace(std::filesystem::path(stream).replace_extension(".sei"));
    std::vector<NALU> nalus;
    FindAnnexBNalus(bytes.data(), bytes.size(), nalus);
    H264_PS ps;
    size_t slice = 0, sei = 0, compared = 0;
    for (const NALU& nalu : nalus) {
      ps.AddNALU(nalu);
      if (H264NaluType(nalu) == 6) {
        ASSERT_LT(sei, seis.size()) << "more SEI units than the trace";
        SCOPED_TRACE("SEI unit #" + std::to_string(sei + 1));
        H264_SEI decoded;
        decoded.Decode(nalu);
        FlatListing ours(std::map<std::string, std::string>{{"display_primaries", ""}});
        ListSyntax(decoded, ours);
        compared += Compare(seis[sei++], ours, kSEIRules);
        for (const SEIMessage& m : decoded.messages) ++kinds["SEI payloadType " + std::to_string(m.payloadType)];
        if (decoded.messages.size() > 1) ++kinds["SEI units of several messages"];
        continue;
      }
      const std::shared_ptr<const H264Slice> whole = ps.DecodeSlice(nalu);
      if (!whole) continue;
      ASSERT_LT(slice, slices.size()) << "more slices than the trace";
      SCOPED_TRACE("slice #" + std::to_string(slice + 1));
      const H264SliceHeader& h = *whole;
      EXPECT_EQ(*ps.DecodeSliceHeader(nalu), h);
      FlatListing ours({{"pred_weight_l0", "l0."}, {"pred_weight_l1", "l1."}});
      ListSyntax(h, ours);
      compared += Compare(slices[slice++], ours, sliceRules);
      ++kinds[std::string(h.pps->entropy_coding_mode_flag ? "CABAC " : "CAVLC ") + kKinds[h.Kind()]];
      if (h.first_mb_in_slice > 0) ++kinds["slices after the first of a picture"];
      if (h.ref_pic_list_modification_flag_l0 || h.ref_pic_list_modification_flag_l1) ++kinds["list modification"];
      if (h.adaptive_ref_pic_marking_mode_flag) ++kinds["marking operations"];
      if (h.pred_weight_l0.chroma_weight_flag[0]) ++kinds["explicit chroma weights"];
      if (h.sps->mb_adaptive_frame_field_flag) ++kinds["MBAFF"];
      if (h.num_ref_idx_l0_active_minus1 >= 14) ++kinds["15 references or more"];
    }
    EXPECT_EQ(slice, slices.size()) << "fewer slices than the trace";
    EXPECT_EQ(sei, seis.size()) << "fewer SEI units than the trace";
    std::cout << stream.filename().string() << ": " << slice << " slices, " << sei << " SEI units, " << compared
              << " elements compared\n";
  }
  for (const auto& [kind, count] : kinds) std::cout << "  " << kind << ": " << count << "\n";
  for (const char* kind : {"CABAC B", "CAVLC B", "CABAC I", "slices after the first of a picture", "list modification",
                           "marking operations", "explicit chroma weights", "MBAFF", "15 references or more",
                           "SEI payloadType 6", "SEI payloadType 137", "SEI payloadType 144", "SEI units of several messages"}) {
    EXPECT_GT(kinds[kind], 0u) << kind;
  }
}

}  // namespace
