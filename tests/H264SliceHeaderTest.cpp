// H.264 slice headers and SEI units built by hand, for what encoders never write: each refusal of
// the header decode, the branches x264 does not take, the prefix a header is read from, the
// slice-kind probe and the SEI framing. Real streams against FFmpeg are in H264TraceTest.cpp.
#include <bit>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "Orvane/Proc/CodecParsers/BitsReader.h"
#include "Orvane/Proc/CodecParsers/H264SliceHeader.h"
#include "Orvane/Proc/CodecParsers/H264_SEI.h"
#include "Orvane/Proc/CodecParsers/H26xBitstreamParser.h"
#include "support/BitstreamTestKit.h"
#include "support/HEVCTestUnits.h"

namespace {

using namespace Orvane::Proc::CodecParsers;
using namespace codec_test;

// 1920x1088 4:2:0 8-bit CABAC: 4-bit frame_num, 6-bit POC LSBs, four reference frames,
// deblocking control; and a reference P slice, element by element.
struct Units {
  H264_SPS sps{};
  H264_PPS pps{};
  SyntaxUnit slice{U("forbidden_zero_bit", 1, 0), U("nal_ref_idc", 2, 2), U("nal_unit_type", 5, 1), UE("first_mb_in_slice", 0),
                   UE("slice_type", 5), UE("pic_parameter_set_id", 0), U("frame_num", 4, 1), U("pic_order_cnt_lsb", 6, 2),
                   U("num_ref_idx_active_override_flag", 1, 0), U("ref_pic_list_modification_flag_l0", 1, 0),
                   U("adaptive_ref_pic_marking_mode_flag", 1, 0), UE("cabac_init_idc", 0), SE("slice_qp_delta", 0),
                   UE("disable_deblocking_filter_idc", 0), SE("slice_alpha_c0_offset_div2", 0), SE("slice_beta_offset_div2", 0)};
  Units() {
    sps.profile_idc = 100, sps.chroma_format_idc = 1, sps.log2_max_pic_order_cnt_lsb_minus4 = 2, sps.max_num_ref_frames = 4;
    sps.pic_width_in_mbs_minus1 = 119, sps.pic_height_in_map_units_minus1 = 67, sps.frame_mbs_only_flag = 1;
    pps.entropy_coding_mode_flag = pps.deblocking_filter_control_present_flag = 1;
  }
  H264_PS Collection() const {
    return {{std::make_shared<H264_SPS>(sps)}, {std::make_shared<H264_PPS>(pps)}};
  }
};
using Edit = std::function<void(Units&)>;

Edit Set(const char* name, int64_t value) { return [=](Units& u) { u.slice.Set(name, value); }; }
// Elements after `at`, which is set to 1 first when it is a flag that brings them in.
Edit With(const char* at, std::vector<Element> added, Edit more = [](Units&) {}) {
  return [=](Units& u) {
    if (std::string(at).find("_flag") != std::string::npos) u.slice.Set(at, 1);
    u.slice.InsertAfter(at, added);
    more(u);
  };
}
// A B slice with `l1` + 1 active list-1 references.
Edit BSlice(int l1, Edit more = [](Units&) {}) {
  return With("num_ref_idx_active_override_flag", {UE("l0", 0), UE("num_ref_idx_l1_active_minus1", l1)}, [=](Units& u) {
    u.slice.Set("slice_type", 1).InsertAfter("pic_order_cnt_lsb", {U("direct_spatial_mv_pred_flag", 1, 1)});
    u.slice.InsertAfter("ref_pic_list_modification_flag_l0", {U("ref_pic_list_modification_flag_l1", 1, 0)});
    more(u);
  });
}
// `count` times the operation, then the end mark of its list unless `end` is false.
std::vector<Element> Ops(int count, std::vector<Element> op, bool end = true) {
  std::vector<Element> out;
  for (int i = 0; i < count; ++i) out.insert(out.end(), op.begin(), op.end());
  if (end) out.push_back(UE("end", op[0].name == "modification_of_pic_nums_idc" ? 3 : 0));
  return out;
}
const std::vector<Element> kShortTermOp = {UE("modification_of_pic_nums_idc", 0), UE("abs_diff_pic_num_minus1", 0)};
const std::vector<Element> kUnmarkOp = {UE("memory_management_control_operation", 1), UE("difference_of_pic_nums_minus1", 0)};
const char* kList0 = "ref_pic_list_modification_flag_l0";
const char* kMarking = "adaptive_ref_pic_marking_mode_flag";

// Each refusal at its first refused value (with the bound where an off-by-one is plausible), and
// the branches encoders do not take. A header that decodes must end where its elements end; where
// a row names fields, they must hold the values given.
TEST(H264SliceHeader, DecodeHeader) {
  using Fields = std::function<std::vector<int64_t>(const H264SliceHeader&)>;
  const struct Row {
    const char* name;
    Edit edit;
    std::string expected;  // "message in function", or empty when the header decodes
    Fields fields = nullptr;
    std::vector<int64_t> values = {};
  } rows[] = {
      {"reference P slice", Set("frame_num", 1), ""},
      {"SEI unit", Set("nal_unit_type", 6), "NALU is not a Slice in DecodeHeader"},
      {"partition B", Set("nal_unit_type", 3), "Slice data partitions B and C have no slice header in DecodeHeader"},
      {"partition C", Set("nal_unit_type", 4), "Slice data partitions B and C have no slice header in DecodeHeader"},
      {"first_mb_in_slice 139264", Set("first_mb_in_slice", 139264), "first_mb_in_slice out of range in DecodeHeader"},
      {"IDR P slice", Set("nal_unit_type", 5), "invalid slice tipe in header in DecodeHeader"},
      {"PPS id 256", Set("pic_parameter_set_id", 256), "pic_parameter_set_id out of range in DecodeHeader"},
      {"missing PPS", Set("pic_parameter_set_id", 1), "invalid pic_parameter_set_id in slice header in DecodeHeader"},
      {"PPS of a missing SPS", [](Units& u) { u.pps.seq_parameter_set_id = 1; }, "invalid seq_parameter_set_id in pps in DecodeHeader"},
      {"32 L0 references", With("num_ref_idx_active_override_flag", {UE("l0", 32)}), "num_ref_idx_l0_active_minus1 out of range in DecodeHeader"},
      {"32 L1 references", BSlice(32), "num_ref_idx_l1_active_minus1 out of range in DecodeHeader"},
      {"difference beyond MaxPicNum", With(kList0, Ops(1, {UE("modification_of_pic_nums_idc", 0), UE("abs_diff_pic_num_minus1", 17)})),
       "abs_diff_pic_num_minus1 out of range in operator ()"},
      {"long-term picture 4 of 4", With(kList0, Ops(1, {UE("modification_of_pic_nums_idc", 2), UE("long_term_pic_num", 4)})),
       "long_term_pic_num out of range in operator ()"},
      {"idc 4", With(kList0, {UE("modification_of_pic_nums_idc", 4)}), "modification_of_pic_nums_idc out of range in operator ()"},
      {"two operations for one reference", With(kList0, Ops(2, kShortTermOp)), "reference count overflow in operator ()"},
      {"operation 7", With(kMarking, {UE("memory_management_control_operation", 7)}), "memory_management_control_operation out of range in DecodeHeader"},
      {"operation 2, picture 4 of 4", With(kMarking, Ops(1, {UE("memory_management_control_operation", 2), UE("long_term_pic_num", 4)})),
       "long_term_pic_num out of range in DecodeHeader"},
      {"operation 6, index 4 of 4", With(kMarking, Ops(1, {UE("memory_management_control_operation", 6), UE("long_term_frame_idx", 4)})),
       "long_term_frame_idx out of range in DecodeHeader"},
      {"operation 4, 5 of 4", With(kMarking, Ops(1, {UE("memory_management_control_operation", 4), UE("max_long_term_frame_idx_plus1", 5)})),
       "max_long_term_frame_idx_plus1 out of range in DecodeHeader"},
      {"67 operations", With(kMarking, Ops(67, kUnmarkOp, false)), "Too many memory management control operations in DecodeHeader"},
      {"cabac_init_idc 3", Set("cabac_init_idc", 3), "cabac_init_idc out of range in DecodeHeader"},
      {"slice_qp_delta -52", Set("slice_qp_delta", -52), "slice_qp_delta out of range in DecodeHeader"},
      {"slice_qs_delta 52", With("slice_qp_delta", {U("sp_for_switch_flag", 1, 0), SE("slice_qs_delta", 52)}, Set("slice_type", 3)),
       "slice_qs_delta out of range in DecodeHeader"},
      {"disable_deblocking_filter_idc 3", Set("disable_deblocking_filter_idc", 3), "disable_deblocking_filter_idc out of range in DecodeHeader"},
      {"alpha offset 7", Set("slice_alpha_c0_offset_div2", 7), "slice_alpha_c0_offset_div2 out of range in DecodeHeader"},
      {"beta offset -7", Set("slice_beta_offset_div2", -7), "slice_beta_offset_div2 out of range in DecodeHeader"},
      {"cut before the offsets", [](Units& u) { u.slice.Remove("slice_alpha_c0_offset_div2").Remove("slice_beta_offset_div2"); },
       "End of stream in GetUEGolomb"},
      // What decodes, at the bounds and in the branches encoders do not take.
      {"last macroblock, qp -51, 66 operations", [](Units& u) { u.slice.Set("first_mb_in_slice", 139263).Set("slice_qp_delta", -51);
                                                               With(kMarking, Ops(66, kUnmarkOp))(u); },
       "", [](auto& h) { return std::vector<int64_t>{h.first_mb_in_slice, h.mmco[65].memory_management_control_operation, h.mmco[66].memory_management_control_operation}; },
       {139263, 1, 0}},
      {"qp 63 at 10 bits; defaults for both lists", [](Units& u) { u.sps.bit_depth_luma_minus8 = 2, u.pps.num_ref_idx_l1_default_active_minus1 = 3;
                                                                  u.slice.Set("slice_qp_delta", 63); },
       "", [](auto& h) { return std::vector<int64_t>{h.slice_qp_delta, h.num_ref_idx_l1_active_minus1}; }, {63, 3}},
      {"B with 32 operations on list 1", BSlice(31, With("ref_pic_list_modification_flag_l1", Ops(32, kShortTermOp))),
       "", [](auto& h) { return std::vector<int64_t>{h.ref_pic_list_modification_l1[32].modification_of_pic_nums_idc}; }, {3}},
      {"bottom field with separate planes: MaxPicNum doubled",
       [](Units& u) { u.sps.chroma_format_idc = 3, u.sps.separate_colour_plane_flag = 1, u.sps.frame_mbs_only_flag = 0;
                      u.slice.InsertAfter("pic_parameter_set_id", {U("colour_plane_id", 2, 2)}).InsertAfter("frame_num", {U("field_pic_flag", 1, 1), U("bottom_field_flag", 1, 1)});
                      With(kList0, {UE("modification_of_pic_nums_idc", 1), UE("abs_diff_pic_num_minus1", 32), UE("end", 3)})(u); },
       "", [](auto& h) { return std::vector<int64_t>{h.colour_plane_id, h.bottom_field_flag, h.ref_pic_list_modification_l0[0].abs_diff_pic_num_minus1}; },
       {2, 1, 32}},
      {"POC type 1 with the bottom delta, redundant picture count",
       [](Units& u) { u.sps.pic_order_cnt_type = 1, u.pps.bottom_field_pic_order_in_frame_present_flag = u.pps.redundant_pic_cnt_present_flag = 1;
                      u.slice.Remove("pic_order_cnt_lsb").InsertAfter("frame_num", {SE("delta_pic_order_cnt", -5), SE("d1", 7), UE("redundant_pic_cnt", 3)}); },
       "", [](auto& h) { return std::vector<int64_t>{h.delta_pic_order_cnt[0], h.delta_pic_order_cnt[1], h.redundant_pic_cnt}; }, {-5, 7, 3}},
      {"explicit weighted B; denominators 9 and 8 kept as 0; weights keep 8 bits",
       BSlice(1, [](Units& u) { u.pps.weighted_bipred_idc = 1;
                                u.slice.InsertAfter("ref_pic_list_modification_flag_l1",
                                                    {UE("luma_log2_weight_denom", 9), UE("chroma_log2_weight_denom", 8), U("luma_flag", 1, 1), SE("w", -128),
                                                     SE("o", 127), U("chroma_flag", 1, 0), U("luma_flag_l1", 1, 0), U("chroma_flag_l1", 1, 0), U("luma_flag_l1", 1, 0),
                                                     U("chroma_flag_l1", 1, 1), SE("cb_w", 3), SE("cb_o", -4), SE("cr_w", 5), SE("cr_o", 300)}); }),
       "", [](auto& h) { const auto& l1 = h.pred_weight_l1;
                         return std::vector<int64_t>{h.luma_log2_weight_denom, h.chroma_log2_weight_denom, h.pred_weight_l0.luma_weight[0],
                                                     l1.chroma_weight[1][0], l1.chroma_offset[1][0], l1.chroma_weight[1][1], l1.chroma_offset[1][1]}; },
       {0, 0, -128, 3, -4, 5, 300 - 256}},
      {"long-term marking operations 2, 3, 4, 6",
       With(kMarking, {UE("op", 2), UE("long_term_pic_num", 3), UE("op", 3), UE("difference_of_pic_nums_minus1", 70000), UE("long_term_frame_idx", 1),
                       UE("op", 4), UE("max_long_term_frame_idx_plus1", 4), UE("op", 6), UE("long_term_frame_idx", 2), UE("end", 0)}),
       "", [](auto& h) { return std::vector<int64_t>{h.mmco[0].long_term_pic_num, h.mmco[1].difference_of_pic_nums_minus1, h.mmco[1].long_term_frame_idx,
                                                     h.mmco[2].max_long_term_frame_idx_plus1, h.mmco[3].long_term_frame_idx}; },
       {3, 70000, 1, 4, 2}},
      {"IDR SI slice without deblocking offsets, slice group change cycle of 7 bits",
       [](Units& u) { u.pps.num_slice_groups_minus1 = 1, u.pps.slice_group_map_type = 4, u.pps.slice_group_change_rate_minus1 = 99;
                      for (const char* n : {"num_ref_idx_active_override_flag", kList0, kMarking, "cabac_init_idc", "slice_alpha_c0_offset_div2", "slice_beta_offset_div2"}) u.slice.Remove(n);
                      u.slice.Set("nal_unit_type", 5).Set("slice_type", 9).Set("disable_deblocking_filter_idc", 1).InsertAfter("frame_num", {UE("idr_pic_id", 65536 + 9)});
                      u.slice.InsertAfter("pic_order_cnt_lsb", {U("no_output_of_prior_pics_flag", 1, 1), U("long_term_reference_flag", 1, 1)});
                      u.slice.InsertAfter("slice_qp_delta", {SE("slice_qs_delta", -51)}).Append({U("slice_group_change_cycle", 7, 81)}); },
       "", [](auto& h) { return std::vector<int64_t>{h.Kind(), h.idr_pic_id, h.long_term_reference_flag, h.slice_qs_delta, h.slice_group_change_cycle}; },
       {kSliceSI, 9, 1, -51, 81}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Units units;
    row.edit(units);
    const H264_PS ps = units.Collection();
    const std::vector<uint8_t> rbsp = units.slice.RBSP();
    BitsReader r(rbsp.data(), rbsp.size());
    H264SliceHeader h{};
    const std::optional<Failure> failure = Probe([&] { h.DecodeHeader(r, ps); });
    EXPECT_EQ(failure ? failure->message + " in " + failure->function : "", row.expected);
    if (failure) {
      EXPECT_EQ(failure->file, failure->function == "GetUEGolomb" ? "Orvane/Proc/CodecParsers/BitsReader" : "Orvane/Proc/CodecParsers/H264CodecParams");
      continue;
    }
    EXPECT_FALSE(r.MoreRBSPData());
    if (row.fields) {
      EXPECT_EQ(row.fields(h), row.values);
    }
  }
}

// The prefix a header is read from, emulation prevention in it, and what a whole slice adds.
TEST(H264SliceHeader, PrefixAndWholeSlice) {
  // 32 list-0 references, the first ten weighted: a header of some 70 bytes, whose unweighted
  // entries make emulation patterns; then the CABAC alignment and two bytes of slice data.
  Units u;
  u.pps.weighted_pred_flag = 1;
  std::vector<Element> weights = {UE("luma_log2_weight_denom", 5), UE("chroma_log2_weight_denom", 5)};
  for (int i = 0; i < 32; ++i) {
    weights.push_back(U("luma_weight_l0_flag", 1, i < 10));
    if (i < 10) weights.insert(weights.end(), {SE("luma_weight_l0", 40 + i), SE("luma_offset_l0", -i)});
    weights.push_back(U("chroma_weight_l0_flag", 1, i < 10));
    for (int j = 0; i < 10 && j < 4; ++j) weights.push_back(SE("chroma", 10 * j - i));
  }
  With("num_ref_idx_active_override_flag", {UE("num_ref_idx_l0_active_minus1", 31)})(u);
  u.slice.InsertAfter(kList0, weights);
  const int alignment = (std::countr_zero(u.slice.RBSP().back()) + 1) % 8;  // up to the stop bit's byte end
  std::vector<uint8_t> bytes = u.slice.Append({U("cabac_alignment_one_bit", alignment, 0xFF), U("slice_data", 16, 0xABCD)}).Bytes(false);
  const H264_PS ps = u.Collection();
  const NALU nalu{bytes.data(), bytes.size()};
  ASSERT_LT(u.slice.RBSP(false).size() + 1, bytes.size());

  const auto slice = ps.DecodeSlice(nalu);
  const auto header = ps.DecodeSliceHeader(nalu);
  EXPECT_EQ(static_cast<const H264SliceHeader&>(*slice), *header);
  EXPECT_EQ(header->pred_weight_l0.luma_weight[9] * 100 + header->pred_weight_l0.chroma_offset[9][1], 49 * 100 + 30 - 9);
  EXPECT_EQ(slice->slice_data, (std::vector<uint8_t>{0xAB, 0xCD}));
  bytes[0] = 0x01;  // the same header in a non-reference slice, of which 60 bytes are read
  EXPECT_EQ(Probe([&] { ps.DecodeSliceHeader(nalu); }).value_or(Failure{}).message, "End of stream");
  EXPECT_EQ(ps.DecodeSlice(nalu)->pred_weight_l0.luma_offset[9], -9);

  // A non-reference header of exactly 60 bytes whose last byte, 01, follows an emulation pattern:
  // its 60-byte prefix ends in 00 00 03, an 03 that is no part of the header's last element.
  Units n;
  n.sps.chroma_format_idc = 0, n.sps.pic_width_in_mbs_minus1 = n.sps.pic_height_in_map_units_minus1 = 1055;
  n.pps.weighted_pred_flag = 1, n.pps.entropy_coding_mode_flag = n.pps.deblocking_filter_control_present_flag = 0;
  n.pps.num_slice_groups_minus1 = 1, n.pps.slice_group_map_type = 3;  // change rate 1: a 21-bit cycle
  for (const char* e : {kMarking, "cabac_init_idc", "disable_deblocking_filter_idc", "slice_alpha_c0_offset_div2", "slice_beta_offset_div2"}) n.slice.Remove(e);
  With("num_ref_idx_active_override_flag", {UE("num_ref_idx_l0_active_minus1", 30)})(n);
  std::vector<Element> luma = {UE("luma_log2_weight_denom", 0)};
  for (int i = 0; i < 31; ++i) luma.insert(luma.end(), {U("luma_weight_l0_flag", 1, 1), SE("luma_weight_l0", i < 3 ? 9 : 5), SE("luma_offset_l0", 2)});
  n.slice.Set("nal_ref_idc", 0).Set("slice_qp_delta", 32).InsertAfter(kList0, luma).Append({U("slice_group_change_cycle", 21, 1)});
  bytes = n.slice.Bytes();
  ASSERT_EQ(std::vector<uint8_t>(bytes.begin() + 56, bytes.end()), (std::vector<uint8_t>{0x08, 0, 0, 3, 1, 0x80}));
  EXPECT_EQ(Probe([&] { n.Collection().DecodeSliceHeader(NALU{bytes.data(), bytes.size()}); }).value_or(Failure{}).message, "End of stream");
  EXPECT_EQ(n.Collection().DecodeSlice(NALU{bytes.data(), bytes.size()})->slice_group_change_cycle, 1);

  // Partition A of a CAVLC stream: slice_id after the header, no slice data kept.
  u.pps.entropy_coding_mode_flag = 0;
  u.slice.Set("nal_unit_type", 2).Remove("cabac_init_idc").Remove("cabac_alignment_one_bit").Remove("slice_data");
  bytes = u.slice.Append({UE("slice_id", 4)}).Bytes();
  const H264_PS cavlc = u.Collection();
  const auto partitionA = cavlc.DecodeSlice(NALU{bytes.data(), bytes.size()});
  EXPECT_EQ(partitionA->slice_id + partitionA->slice_data.size(), 4u);
  for (uint8_t type : {3, 4}) {
    bytes[0] = static_cast<uint8_t>(0x20 | type);
    EXPECT_EQ(Probe([&] { cavlc.DecodeSlice(NALU{bytes.data(), bytes.size()}); }).value_or(Failure{}).message, "Slice data partitions B and C have no slice header");
    EXPECT_EQ(Probe([&] { cavlc.DecodeSliceHeader(NALU{bytes.data(), bytes.size()}); }).value_or(Failure{}).function, "DecodeHeader");
  }
  bytes[0] = 0x06;
  EXPECT_EQ(cavlc.DecodeSliceHeader(NALU{bytes.data(), bytes.size()}), nullptr);
}

TEST(H264SliceHeader, SliceKindProbe) {
  const std::vector<std::pair<std::vector<uint8_t>, uint32_t>> rows = {
      {{0x65, 0x88, 0x84}, kSliceI}, {{0x41, 0x9A, 0x80}, kSliceP}, {{0x22, 0x88, 0x80}, kSliceI},  // IDR 7, P 5, partition A
      {{0x65, 0x88}, kNoSliceKind}, {{0x41, 0x00}, kNoSliceKind}, {{0x65}, kNoSliceKind},           // cut after, inside, before
      {{0x23, 0x88, 0x84}, kNoSliceKind}, {{0x24, 0x88, 0x84}, kNoSliceKind}, {{0x06, 0x05, 0x01}, kNoSliceKind}};  // B, C, SEI
  for (const auto& [unit, kind] : rows) EXPECT_EQ(GetSliceType(NALU{unit.data(), unit.size()}), kind) << int{unit[0]};
}

// Each message as "type/size" and the fields of a decoded form.
std::string Summary(const H264_SEI& sei) {
  std::string out;
  for (const SEIMessage& m : sei.messages) {
    EXPECT_EQ(m.payload.size(), m.payloadSize);
    out += std::to_string(m.payloadType) + "/" + std::to_string(m.payloadSize);
    const auto& [rp, md, cll] = std::tie(m.recovery_point, m.mastering_display_colour_volume, m.content_light_level);
    std::vector<uint32_t> fields;
    if (m.payloadType == 6) fields = {rp.recovery_frame_cnt, rp.exact_match_flag, rp.broken_link_flag, rp.changing_slice_group_idc};
    if (m.payloadType == 137) fields = {md.display_primaries[0].display_primaries_x, md.display_primaries[2].display_primaries_y, md.white_point_y,
                                        md.max_display_mastering_luminance, md.min_display_mastering_luminance};
    if (m.payloadType == 144) fields = {cll.max_content_light_level, cll.max_pic_average_light_level};
    for (uint32_t f : fields) out += " " + std::to_string(f);
    out += "; ";
  }
  return out;
}

TEST(H264SEI, Messages) {
  using Bytes = std::vector<uint8_t>;
  const auto unit = [](std::vector<Bytes> messages, uint8_t header = 0x06) {
    Bytes out = {header};
    for (const Bytes& m : messages) out.insert(out.end(), m.begin(), m.end());
    out.push_back(0x80);  // rbsp_stop_one_bit
    return out;
  };
  const auto filled = [](Bytes typeAndSize, size_t n) { typeAndSize.insert(typeAndSize.end(), n, 0x11); return typeAndSize; };
  Bits mastering;
  mastering.bytes({137, 24});
  for (uint32_t v : {1, 2, 3, 4, 5, 6, 7, 8}) mastering.u(16, v);
  mastering.u(32, 10000000).u(32, 50);
  const Bytes cll = {144, 4, 0x03, 0xE8, 0x01, 0x90};
  const std::vector<std::pair<Bytes, std::string>> rows = {  // the unit, and its summary or failure
      {unit({filled({0xFF, 0x05, 0xFF, 0xFF, 0x00}, 510)}), "260/510; "},
      // recovery_frame_cnt 3, exact_match_flag 1, broken_link_flag 0, changing_slice_group_idc 10
      {unit({filled({5, 20}, 20), {6, 2, 0x25, 0x00}}), "5/20; 6/2 3 1 0 2; "},
      {unit({mastering.out, {5, 0}, cll}), "137/24 1 6 8 10000000 50; 5/0; 144/4 1000 400; "},
      {unit({filled({5, 1}, 1), {144, 3, 1, 2, 3}, cll}), "5/1; "},  // a form longer than its payload ends the unit
      {unit({filled({5, 1}, 1), filled({137, 2}, 2)}), "5/1; "},    // also at the unit's end
      {unit({filled({5, 10}, 3)}), "End of stream in ShowBytes"},
      {unit({cll}, 0x65), "NALU is not a SEI in Decode"},
      {unit(std::vector<Bytes>(70, filled({5, 1}, 1))), [] { std::string s; for (int i = 0; i < 65; ++i) s += "5/1; "; return s; }()},
  };
  H264_SEI all;
  for (const auto& row : rows) {
    const NALU nalu{row.first.data(), row.first.size()};
    H264_SEI sei;
    const std::optional<Failure> failure = Probe([&] { sei.Decode(nalu); });
    EXPECT_EQ(failure ? failure->message + " in " + failure->function : Summary(sei), row.second);
    if (!failure) all.Decode(nalu);
  }
  EXPECT_EQ(all.messages.size(), 1u + 2 + 3 + 1 + 1 + 65);  // appended unit after unit
}

}  // namespace
