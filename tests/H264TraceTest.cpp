// Every SPS, PPS, slice header and SEI unit of the sample streams in tests/data/h264, decoded by
// us, listed by the library's syntax listing and compared element by element, in order and both
// ways, with what FFmpeg's trace_headers printed for the same unit (the .trace, .slices and .sei
// files next to each stream, made by make-streams.sh; the SEI framing folded into payloadType and
// payloadSize); and each SPS's picture size after cropping with ffprobe's (sizes.txt). The scaling
// lists, which the records keep as the lists in force rather than as their coded deltas, are
// rebuilt here from the traced deltas with the fall-back rules and compared whole.
#include <array>
#include <filesystem>
#include <fstream>
#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Orvane/Proc/CodecParsers/H264CodecParams.h"
#include "Orvane/Proc/CodecParsers/H264SliceHeader.h"
#include "Orvane/Proc/CodecParsers/H264_SEI.h"
#include "support/HEVCStreams.h"
#include "support/TraceOracle.h"

namespace {

using namespace Orvane::Proc::CodecParsers;
using namespace codec_test;
using List = std::vector<int>;  // the weights of one scaling list in raster order

// Elements that no record keeps: the NAL unit header, reserved and trailing bits; and the deltas
// of the scaling lists, which are compared as the lists they make.
bool NotKept(const std::string& name) {
  for (const char* n : {"forbidden_zero_bit", "nal_ref_idc", "nal_unit_type", "reserved_zero_2bits", "rbsp_stop_one_bit",
                        "rbsp_alignment_zero_bit"}) {
    if (name == n) return true;
  }
  return name.starts_with("delta_scale[");
}
const TraceRules kRules{{{"gaps_in_frame_num_allowed_flag", "gaps_in_frame_num_value_allowed_flag"}}, NotKept, {}};

// The default list of H.264 list i (Tables 7-3 and 7-4) in scan order: constant along each
// anti-diagonal, but for the second weight of the second row of the 8x8 lists.
List Default(size_t i) {
  const bool intra = i < 6 ? i < 3 : i % 2 == 0;
  const std::array<std::array<int, 15>, 4> diagonals = {{{6, 13, 20, 28, 32, 37, 42}, {10, 14, 20, 24, 27, 30, 34},
                                                        {6, 10, 13, 16, 18, 23, 25, 27, 29, 31, 33, 36, 38, 40, 42},
                                                        {9, 13, 15, 17, 19, 21, 22, 24, 25, 27, 28, 30, 32, 33, 35}}};
  const int n = i < 6 ? 4 : 8;
  List list;
  for (int d = 0; d < 2 * n - 1; ++d) list.insert(list.end(), n - std::abs(n - 1 - d), diagonals[(i < 6 ? 0 : 2) + !intra][d]);
  if (n == 8) list[4] = intra ? 11 : 13;
  return list;
}

// The lists (H.264 order, scan order) of the matrix a traced unit codes, `flag`[i] by `flag`[i]: coded by its
// deltas in zig-zag order, the default one when the first delta makes 0, or, not present, the
// fall-back list: the default one (rule A) or that of `ruleB` for the first list of each kind,
// else the list of its kind before it.
std::vector<List> TracedLists(const TraceUnit& unit, const std::string& flag, const std::vector<List>* ruleB) {
  std::vector<std::pair<bool, std::vector<int>>> coded;  // present, deltas
  for (const auto& [name, value] : unit.elements) {
    if (name.starts_with(flag + "[")) coded.push_back({value != 0, {}});
    if (name.starts_with("delta_scale[")) coded.back().second.push_back(static_cast<int>(value));
  }
  std::vector<List> lists;
  for (size_t i = 0; i < coded.size(); ++i) {
    const auto& [present, deltas] = coded[i];
    const bool first = i == 0 || i == 3 || i == 6 || i == 7;
    if (!present) {
      lists.push_back(!first ? lists[i < 6 ? i - 1 : i - 2] : ruleB ? (*ruleB)[i] : Default(i));
      continue;
    }
    List list(i < 6 ? 16 : 64);
    int last = 8, next = 8;
    for (size_t j = 0, d = 0; j < list.size(); ++j) {
      if (next != 0) next = (last + deltas.at(d++) + 256) % 256;
      if (j == 0 && next == 0) {
        list = Default(i);
        break;
      }
      list[j] = last = next == 0 ? last : next;
    }
    lists.push_back(list);
  }
  return lists;
}

// The lists in force that a unit's listing derives, ScalingList4x4[i][j] then ScalingList8x8[i][j].
std::vector<List> ListedLists(const FlatListing& ours) {
  std::vector<List> lists;
  for (const auto& [name, value] : ours.derived) {
    if (lists.empty() || lists.back().size() == (lists.size() <= 6 ? 16u : 64u)) lists.emplace_back();
    const size_t i = lists.size() - 1, j = lists.back().size();
    EXPECT_EQ(name, (i < 6 ? "ScalingList4x4[" + std::to_string(i) : "ScalingList8x8[" + std::to_string(i - 6)) + "][" + std::to_string(j) + "]");
    lists.back().push_back(static_cast<int>(value));
  }
  return lists;
}

// Traced elements no record keeps; the SEI record keeps no NAL unit header.
TraceRules SliceRules(bool sei) {
  const std::set<std::string> notKept = {"forbidden_zero_bit", "cabac_alignment_one_bit", "rbsp_stop_one_bit",
                                         "rbsp_alignment_zero_bit", sei ? "nal_ref_idc" : "", sei ? "nal_unit_type" : ""};
  return TraceRules{{}, [notKept](const std::string& name) { return notKept.contains(name); }, {}};
}

TEST(H264SampleStreamsAgainstFFmpeg, EveryElementOfEveryUnitAgrees) {
  const std::vector<std::filesystem::path> streams = SampleStreams(H264_TEST_DATA, ".h264");
  ASSERT_GE(streams.size(), 12u);
  std::map<std::string, std::pair<uint32_t, uint32_t>> sizes;  // ffprobe's, by stream name
  std::ifstream sizeFile(std::filesystem::path(H264_TEST_DATA) / "sizes.txt");
  for (std::string name; sizeFile >> name >> sizes[name].first >> sizes[name].second;) {}
  const TraceRules sliceRules = SliceRules(false), seiRules = SliceRules(true);
  std::map<std::string, size_t> kinds;  // what the streams cover
  for (const auto& stream : streams) {
    SCOPED_TRACE(stream.filename().string());
    const std::vector<uint8_t> bytes = ReadFile(stream);
    const std::vector<TraceUnit> trace = ReadTrace(std::filesystem::path(stream).replace_extension(".trace"));
    const std::vector<TraceUnit> slices = ReadTrace(std::filesystem::path(stream).replace_extension(".slices"));
    const std::vector<TraceUnit> seis = ReadTrace(std::filesystem::path(stream).replace_extension(".sei"));
    std::vector<NALU> nalus;
    FindAnnexBNalus(bytes.data(), bytes.size(), nalus);
    H264_PS ps;
    std::map<int, std::vector<List>> spsLists;  // the lists of each SPS id, as the trace makes them
    size_t unit = 0, slice = 0, sei = 0;
    for (const NALU& nalu : nalus) {
      const uint32_t type = H264NaluType(nalu);
      if (type == 6) {
        ASSERT_LT(sei, seis.size()) << "more SEI units than traced";
        H264_SEI decoded;
        decoded.Decode(nalu);
        FlatListing ours;
        ListSyntax(decoded, ours);
        Compare(seis[sei++], ours, seiRules);
        for (const SEIMessage& m : decoded.messages) ++kinds["SEI payloadType " + std::to_string(m.payloadType)];
        kinds["SEI units of several messages"] += decoded.messages.size() > 1;
        continue;
      }
      if (type != 7 && type != 8) {
        const std::shared_ptr<const H264Slice> h = ps.DecodeSlice(nalu);
        if (!h) continue;
        ASSERT_LT(slice, slices.size()) << "more slices than traced";
        EXPECT_EQ(*ps.DecodeSliceHeader(nalu), static_cast<const H264SliceHeader&>(*h)) << "slice #" << slice;
        FlatListing ours({"ref_pic_list_modification", "dec_ref_pic_marking"});
        ListSyntax(*h, ours);
        Compare(slices[slice++], ours, sliceRules);
        ++kinds[std::string(h->pps->entropy_coding_mode_flag ? "CABAC " : "CAVLC ") + "PBIPI"[h->Kind()]];
        kinds["slices after the first of a picture"] += h->first_mb_in_slice > 0;
        kinds["list modification"] += h->ref_pic_list_modification_flag_l0 || h->ref_pic_list_modification_flag_l1;
        kinds["marking operations"] += h->adaptive_ref_pic_marking_mode_flag;
        kinds["explicit chroma weights"] += h->pred_weight_l0.chroma_weight_flag[0];
        kinds["MBAFF"] += h->sps->mb_adaptive_frame_field_flag;
        kinds["15 references or more"] += h->num_ref_idx_l0_active_minus1 >= 14;
        continue;
      }
      ASSERT_LT(unit, trace.size()) << "more parameter sets than the trace";
      const TraceUnit& expected = trace[unit++];
      SCOPED_TRACE(expected.heading + " #" + std::to_string(unit));
      FlatListing ours;
      std::vector<List> tracedLists;
      if (type == 7) {
        EXPECT_EQ(expected.heading, "Sequence Parameter Set");
        H264_SPS sps;
        sps.Decode(nalu);
        ListSyntax(sps, ours);
        EXPECT_EQ(sps.GetPictureSize(), sizes.at(stream.stem().string()));
        tracedLists = TracedLists(expected, "seq_scaling_list_present_flag", nullptr);
        spsLists[sps.seq_parameter_set_id] = tracedLists;
      } else {
        EXPECT_EQ(expected.heading, "Picture Parameter Set");
        auto pps = std::make_unique<H264_PPS>();
        pps->Decode(nalu, ps);
        const auto sps = ps.GetSPS(pps->seq_parameter_set_id);
        ListSyntax(*pps, *sps, ours);
        const std::vector<List>& inSps = spsLists.at(sps->seq_parameter_set_id);
        tracedLists = TracedLists(expected, "pic_scaling_list_present_flag", sps->seq_scaling_matrix_present_flag ? &inSps : nullptr);
      }
      ps.AddNALU(nalu);
      Compare(expected, ours, kRules);
      EXPECT_EQ(ListedLists(ours), tracedLists);
    }
    EXPECT_EQ(unit, trace.size()) << "fewer parameter sets than the trace";
    EXPECT_EQ(slice, slices.size()) << "fewer slices than traced";
    EXPECT_EQ(sei, seis.size()) << "fewer SEI units than traced";
  }
  for (const char* kind : {"CABAC B", "CAVLC B", "CABAC I", "slices after the first of a picture", "list modification", "marking operations",
                           "explicit chroma weights", "MBAFF", "15 references or more", "SEI payloadType 6", "SEI payloadType 137",
                           "SEI payloadType 144", "SEI units of several messages"}) {
    EXPECT_GT(kinds[kind], 0u) << kind;
  }
}

}  // namespace
