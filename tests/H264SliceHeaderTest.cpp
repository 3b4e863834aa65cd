// H.264 slice headers and SEI units built by hand, for what encoders never write: every refusal of
// the header decode, the branches x264 does not take (fields, POC type 1, long-term marking,
// SP/SI, explicit weighted B, slice groups), the prefix a header is read from, the slice-kind
// probe, and the SEI framing. The real-stream comparison with FFmpeg is in H264TraceTest.cpp.
#include <bit>
#include <functional>
#include <memory>
#include <optional>
#include <string>
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

// A 1920x1088 4:2:0 8-bit CABAC stream: 4-bit frame_num, 6-bit POC LSBs, four reference frames,
// deblocking control, no weighted prediction; and a reference P slice of it, element by element.
struct Units {
  H264_SPS sps{};
  H264_PPS pps{};
  SyntaxUnit slice{U("forbidden_zero_bit", 1, 0), U("nal_ref_idc", 2, 2), U("nal_unit_type", 5, 1),
                   UE("first_mb_in_slice", 0), UE("slice_type", 5), UE("pic_parameter_set_id", 0), U("frame_num", 4, 1),
                   U("pic_order_cnt_lsb", 6, 2), U("num_ref_idx_active_override_flag", 1, 0),
                   U("ref_pic_list_modification_flag_l0", 1, 0), U("adaptive_ref_pic_marking_mode_flag", 1, 0),
                   UE("cabac_init_idc", 0), SE("slice_qp_delta", 0), UE("disable_deblocking_filter_idc", 0),
                   SE("slice_alpha_c0_offset_div2", 0), SE("slice_beta_offset_div2", 0)};
  Units() {
    sps.profile_idc = 100, sps.chroma_format_idc = 1, sps.log2_max_pic_order_cnt_lsb_minus4 = 2;
    sps.max_num_ref_frames = 4, sps.pic_width_in_mbs_minus1 = 119, sps.pic_height_in_map_units_minus1 = 67;
    sps.frame_mbs_only_flag = 1;
    pps.entropy_coding_mode_flag = 1, pps.deblocking_filter_control_present_flag = 1;
  }
  H264_PS Collection() const {
    H264_PS ps;
    ps.sps_list.push_back(std::make_shared<H264_SPS>(sps));
    ps.pps_list.push_back(std::make_shared<H264_PPS>(pps));
    return ps;
  }
  Units& Insert(const char* after, std::vector<Element> e) { slice.InsertAfter(after, std::move(e)); return *this; }
};
using Edit = std::function<void(Units&)>;
using Check = std::function<void(const H264SliceHeader&)>;

Edit Set(const char* name, int64_t value) { return [=](Units& s) { s.slice.Set(name, value); }; }
// A B slice with `l1` active list-1 references (override), and whatever `more` adds.
Edit BSlice(int l1, Edit more = [](Units&) {}) {
  return [=](Units& s) {
    s.slice.Set("slice_type", 1).Set("num_ref_idx_active_override_flag", 1);
    s.Insert("pic_order_cnt_lsb", {U("direct_spatial_mv_pred_flag", 1, 1)});
    s.Insert("num_ref_idx_active_override_flag", {UE("num_ref_idx_l0_active_minus1", 0), UE("num_ref_idx_l1_active_minus1", l1)});
    s.Insert("ref_pic_list_modification_flag_l0", {U("ref_pic_list_modification_flag_l1", 1, 0)});
    more(s);
  };
}
Edit ListL0(std::vector<Element> ops) {
  return [=](Units& s) { s.slice.Set("ref_pic_list_modification_flag_l0", 1); s.Insert("ref_pic_list_modification_flag_l0", ops); };
}
Edit Marking(std::vector<Element> ops) {
  return [=](Units& s) { s.slice.Set("adaptive_ref_pic_marking_mode_flag", 1); s.Insert("adaptive_ref_pic_marking_mode_flag", ops); };
}
std::vector<Element> Ops(int count, std::vector<Element> op, bool end = true) {
  std::vector<Element> out;
  for (int i = 0; i < count; ++i) out.insert(out.end(), op.begin(), op.end());
  if (end) out.push_back(UE("end", op[0].name == "modification_of_pic_nums_idc" ? 3 : 0));
  return out;
}
const std::vector<Element> kShortTermOp = {UE("modification_of_pic_nums_idc", 0), UE("abs_diff_pic_num_minus1", 0)};
const std::vector<Element> kUnmarkOp = {UE("memory_management_control_operation", 1), UE("difference_of_pic_nums_minus1", 0)};

std::optional<Failure> DecodeHeader(const Units& s, H264SliceHeader& h) {
  const H264_PS ps = s.Collection();
  const std::vector<uint8_t> rbsp = s.slice.RBSP();
  return Probe([&] {
    BitsReader r(rbsp.data(), rbsp.size());
    h.DecodeHeader(r, ps);
  });
}

// Each refusal at its first refused value, and the bound where an off-by-one is plausible.
TEST(H264SliceHeader, Refusals) {
  const struct Row {
    const char* name;
    Edit edit;
    std::string expected;  // empty: decodes
    std::string function = "DecodeHeader";
  } rows[] = {
      {"reference P slice", [](Units&) {}, ""},
      {"SEI unit", Set("nal_unit_type", 6), "NALU is not a Slice"},
      {"partition B", Set("nal_unit_type", 3), "Slice data partitions B and C have no slice header"},
      {"partition C", Set("nal_unit_type", 4), "Slice data partitions B and C have no slice header"},
      {"last macroblock of level 6", Set("first_mb_in_slice", 139263), ""},
      {"first_mb_in_slice 139264", Set("first_mb_in_slice", 139264), "first_mb_in_slice out of range"},
      {"IDR P slice", Set("nal_unit_type", 5), "invalid slice tipe in header"},
      {"PPS id 256", Set("pic_parameter_set_id", 256), "pic_parameter_set_id out of range"},
      {"missing PPS", Set("pic_parameter_set_id", 1), "invalid pic_parameter_set_id in slice header"},
      {"PPS of a missing SPS", [](Units& s) { s.pps.seq_parameter_set_id = 1; }, "invalid seq_parameter_set_id in pps"},
      {"32 L0 references", [](Units& s) { s.slice.Set("num_ref_idx_active_override_flag", 1);
                                          s.Insert("num_ref_idx_active_override_flag", {UE("l0", 32)}); },
       "num_ref_idx_l0_active_minus1 out of range"},
      {"32 L1 references", BSlice(32), "num_ref_idx_l1_active_minus1 out of range"},
      {"difference of MaxPicNum", ListL0({UE("modification_of_pic_nums_idc", 1), UE("abs_diff_pic_num_minus1", 16), UE("end", 3)}), ""},
      {"difference beyond MaxPicNum", ListL0(Ops(1, {UE("modification_of_pic_nums_idc", 0), UE("abs_diff_pic_num_minus1", 17)})),
       "abs_diff_pic_num_minus1 out of range", "operator ()"},
      {"long-term picture 4 of 4", ListL0(Ops(1, {UE("modification_of_pic_nums_idc", 2), UE("long_term_pic_num", 4)})),
       "long_term_pic_num out of range", "operator ()"},
      {"idc 4", ListL0({UE("modification_of_pic_nums_idc", 4)}), "modification_of_pic_nums_idc out of range", "operator ()"},
      {"two operations for one reference", ListL0(Ops(2, kShortTermOp)), "reference count overflow", "operator ()"},
      {"32 operations for 32 references, B list 1", BSlice(31, [](Units& s) { s.slice.Set("ref_pic_list_modification_flag_l1", 1);
                                                                               s.Insert("ref_pic_list_modification_flag_l1", Ops(32, kShortTermOp)); }),
       ""},
      {"operation 7", Marking({UE("memory_management_control_operation", 7)}), "memory_management_control_operation out of range"},
      {"operation 2, picture 4 of 4", Marking(Ops(1, {UE("memory_management_control_operation", 2), UE("long_term_pic_num", 4)})),
       "long_term_pic_num out of range"},
      {"operation 3, index 4 of 4",
       Marking(Ops(1, {UE("memory_management_control_operation", 3), UE("difference_of_pic_nums_minus1", 0), UE("long_term_frame_idx", 4)})),
       "long_term_frame_idx out of range"},
      {"operation 4, 5 of 4", Marking(Ops(1, {UE("memory_management_control_operation", 4), UE("max_long_term_frame_idx_plus1", 5)})),
       "max_long_term_frame_idx_plus1 out of range"},
      {"66 operations", Marking(Ops(66, kUnmarkOp)), ""},
      {"67 operations", Marking(Ops(67, kUnmarkOp, false)), "Too many memory management control operations"},
      {"cabac_init_idc 3", Set("cabac_init_idc", 3), "cabac_init_idc out of range"},
      {"slice_qp_delta -51", Set("slice_qp_delta", -51), ""},
      {"slice_qp_delta -52", Set("slice_qp_delta", -52), "slice_qp_delta out of range"},
      {"slice_qp_delta 63 at 10 bits", [](Units& s) { s.sps.bit_depth_luma_minus8 = 2; s.slice.Set("slice_qp_delta", 63); }, ""},
      {"slice_qs_delta 52", [](Units& s) { s.slice.Set("slice_type", 3);
                                           s.Insert("slice_qp_delta", {U("sp_for_switch_flag", 1, 0), SE("slice_qs_delta", 52)}); },
       "slice_qs_delta out of range"},
      {"disable_deblocking_filter_idc 3", Set("disable_deblocking_filter_idc", 3), "disable_deblocking_filter_idc out of range"},
      {"alpha offset 7", Set("slice_alpha_c0_offset_div2", 7), "slice_alpha_c0_offset_div2 out of range"},
      {"beta offset -7", Set("slice_beta_offset_div2", -7), "slice_beta_offset_div2 out of range"},
      {"cut before the deblocking offsets", [](Units& s) { s.slice.Remove("slice_alpha_c0_offset_div2").Remove("slice_beta_offset_div2"); },
       "End of stream", "GetUEGolomb"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Units s;
    row.edit(s);
    H264SliceHeader h{};
    const std::optional<Failure> failure = DecodeHeader(s, h);
    if (row.expected.empty()) {
      EXPECT_FALSE(failure) << failure->message;
      continue;
    }
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->message + " in " + failure->function, row.expected + " in " + row.function);
    EXPECT_EQ(failure->file, row.function == "GetUEGolomb" ? "Orvane/Proc/CodecParsers/BitsReader" : "Orvane/Proc/CodecParsers/H264CodecParams");
  }
}

// What the branches encoders do not take decode to; each row checks what its branch fills.
TEST(H264SliceHeader, Branches) {
  const struct Row {
    const char* name;
    Edit edit;
    Check check;
  } rows[] = {
      {"bottom field of 4:4:4 with separate planes; MaxPicNum doubled",
       [](Units& s) {
         s.sps.chroma_format_idc = 3, s.sps.separate_colour_plane_flag = 1, s.sps.frame_mbs_only_flag = 0;
         s.Insert("pic_parameter_set_id", {U("colour_plane_id", 2, 2)}).Insert("frame_num", {U("field_pic_flag", 1, 1), U("bottom_field_flag", 1, 1)});
         ListL0({UE("modification_of_pic_nums_idc", 0), UE("abs_diff_pic_num_minus1", 32), UE("end", 3)})(s);
       },
       [](const H264SliceHeader& h) {
         EXPECT_EQ(std::vector<uint32_t>({h.colour_plane_id, h.field_pic_flag, h.bottom_field_flag, h.ref_pic_list_modification_l0[0].abs_diff_pic_num_minus1,
                                          h.ref_pic_list_modification_l0[1].modification_of_pic_nums_idc}),
                   (std::vector<uint32_t>{2, 1, 1, 32, 3}));
       }},
      {"POC type 1 with the bottom delta, redundant picture count",
       [](Units& s) {
         s.sps.pic_order_cnt_type = 1, s.pps.bottom_field_pic_order_in_frame_present_flag = s.pps.redundant_pic_cnt_present_flag = 1;
         s.slice.Remove("pic_order_cnt_lsb");
         s.Insert("frame_num", {SE("delta_pic_order_cnt", -5), SE("delta_pic_order_cnt1", 7), UE("redundant_pic_cnt", 3)});
       },
       [](const H264SliceHeader& h) {
         EXPECT_EQ(std::vector<int>({h.delta_pic_order_cnt[0], h.delta_pic_order_cnt[1], h.redundant_pic_cnt}), (std::vector<int>{-5, 7, 3}));
       }},
      {"P without override takes both default counts", [](Units& s) { s.pps.num_ref_idx_l0_default_active_minus1 = 2, s.pps.num_ref_idx_l1_default_active_minus1 = 1; },
       [](const H264SliceHeader& h) { EXPECT_EQ(h.num_ref_idx_l0_active_minus1 * 10 + h.num_ref_idx_l1_active_minus1, 21); }},
      {"explicit weighted B, denominators 9 and 8 kept as 0",
       BSlice(1, [](Units& s) {
         s.pps.weighted_bipred_idc = 1;
         s.Insert("ref_pic_list_modification_flag_l1", {UE("luma_log2_weight_denom", 9), UE("chroma_log2_weight_denom", 8),
                                                       U("luma_weight_l0_flag", 1, 1), SE("luma_weight_l0", -128), SE("luma_offset_l0", 127),
                                                       U("chroma_weight_l0_flag", 1, 0), U("luma_weight_l1_flag", 1, 0), U("chroma_weight_l1_flag", 1, 0),
                                                       U("luma_weight_l1_flag1", 1, 0), U("chroma_weight_l1_flag1", 1, 1), SE("cb_weight", 3),
                                                       SE("cb_offset", -4), SE("cr_weight", 5), SE("cr_offset", 300)});
       }),
       [](const H264SliceHeader& h) {
         const H264_PredWeightTable &l0 = h.pred_weight_l0, &l1 = h.pred_weight_l1;
         EXPECT_EQ(std::vector<int>({h.luma_log2_weight_denom, h.chroma_log2_weight_denom, l0.luma_weight[0], l0.luma_offset[0], l1.chroma_weight_flag[1],
                                     l1.chroma_weight[1][0], l1.chroma_offset[1][0], l1.chroma_weight[1][1], l1.chroma_offset[1][1], h.direct_spatial_mv_pred_flag}),
                   (std::vector<int>{0, 0, -128, 127, 1, 3, -4, 5, 300 - 256, 1}));
       }},
      {"long-term marking: operations 2, 3, 4, 6",
       Marking({UE("memory_management_control_operation", 2), UE("long_term_pic_num", 3), UE("memory_management_control_operation", 3),
                UE("difference_of_pic_nums_minus1", 70000), UE("long_term_frame_idx", 1), UE("memory_management_control_operation", 4),
                UE("max_long_term_frame_idx_plus1", 4), UE("memory_management_control_operation", 6), UE("long_term_frame_idx", 2), UE("end", 0)}),
       [](const H264SliceHeader& h) {
         EXPECT_EQ(std::vector<uint32_t>({h.mmco[0].long_term_pic_num, h.mmco[1].difference_of_pic_nums_minus1, h.mmco[1].long_term_frame_idx,
                                          h.mmco[2].max_long_term_frame_idx_plus1, h.mmco[3].long_term_frame_idx, h.mmco[4].memory_management_control_operation}),
                   (std::vector<uint32_t>{3, 70000, 1, 4, 2, 0}));
       }},
      {"IDR SI slice, deblocking off, slice group change cycle of 7 bits",
       [](Units& s) {
         s.pps.num_slice_groups_minus1 = 1, s.pps.slice_group_map_type = 4, s.pps.slice_group_change_rate_minus1 = 99;
         s.slice.Set("nal_unit_type", 5).Set("slice_type", 9).Set("disable_deblocking_filter_idc", 1);
         s.slice.Remove("num_ref_idx_active_override_flag").Remove("ref_pic_list_modification_flag_l0").Remove("cabac_init_idc");
         s.slice.Remove("slice_alpha_c0_offset_div2").Remove("slice_beta_offset_div2").Remove("adaptive_ref_pic_marking_mode_flag");
         s.Insert("frame_num", {UE("idr_pic_id", 65536 + 9)}).Insert("pic_order_cnt_lsb", {U("no_output_of_prior_pics_flag", 1, 1), U("long_term_reference_flag", 1, 1)});
         s.Insert("slice_qp_delta", {SE("slice_qs_delta", -51)}).slice.Append({U("slice_group_change_cycle", 7, 81)});
       },
       [](const H264SliceHeader& h) {
         EXPECT_EQ(std::vector<int>({static_cast<int>(h.Kind()), h.idr_pic_id, h.no_output_of_prior_pics_flag, h.long_term_reference_flag, h.slice_qs_delta,
                                     h.slice_group_change_cycle, h.slice_alpha_c0_offset_div2}),
                   (std::vector<int>{kSliceSI, 9, 1, 1, -51, 81, 0}));
       }},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Units s;
    row.edit(s);
    H264SliceHeader h{};
    const std::optional<Failure> failure = DecodeHeader(s, h);
    ASSERT_FALSE(failure) << failure->message;
    row.check(h);
  }
}

// The prefix a header is read from, emulation prevention in it, and what a whole slice adds.
TEST(H264SliceHeader, PrefixAndWholeSlice) {
  // 32 list-0 references, the first ten weighted: a header of about 100 bytes, whose unweighted
  // entries make emulation patterns.
  Units s;
  s.pps.weighted_pred_flag = 1;
  s.slice.Set("num_ref_idx_active_override_flag", 1);
  s.Insert("num_ref_idx_active_override_flag", {UE("num_ref_idx_l0_active_minus1", 31)});
  std::vector<Element> weights = {UE("luma_log2_weight_denom", 5), UE("chroma_log2_weight_denom", 5)};
  for (int i = 0; i < 32; ++i) {
    weights.insert(weights.end(), {U("luma_weight_l0_flag", 1, i < 10), U("chroma_weight_l0_flag", 1, i < 10)});
    if (i < 10) weights.insert(weights.end() - 1, {SE("luma_weight_l0", 40 + i), SE("luma_offset_l0", -i)});
    for (int j = 0; i < 10 && j < 4; ++j) weights.push_back(SE("chroma", 10 * j - i));
  }
  s.Insert("ref_pic_list_modification_flag_l0", weights);
  const int alignment = (std::countr_zero(s.slice.RBSP().back()) + 1) % 8;  // bits after the stop bit's place
  s.slice.Append({U("cabac_alignment_one_bits", alignment, 0xFF), U("slice_data", 16, 0xABCD)});
  std::vector<uint8_t> bytes = s.slice.Bytes(false);
  const H264_PS ps = s.Collection();
  const NALU nalu{bytes.data(), bytes.size()};
  ASSERT_GT(bytes.size(), 64u);
  ASSERT_LT(s.slice.RBSP(false).size(), bytes.size());

  const auto slice = ps.DecodeSlice(nalu);
  const auto header = ps.DecodeSliceHeader(nalu);
  EXPECT_EQ(static_cast<const H264SliceHeader&>(*slice), *header);
  EXPECT_EQ(header->pred_weight_l0.luma_weight[9] * 100 + header->pred_weight_l0.chroma_offset[9][1], 49 * 100 + 30 - 9);
  EXPECT_EQ(slice->slice_data, (std::vector<uint8_t>{0xAB, 0xCD}));

  bytes[0] = 0x01;  // the same header in a non-reference slice, read from 60 bytes only
  EXPECT_EQ(Probe([&] { ps.DecodeSliceHeader(nalu); })->message, "End of stream");
  EXPECT_EQ(ps.DecodeSlice(nalu)->pred_weight_l0.luma_offset[9], -9);

  // Partition A of a CAVLC stream: slice_id after the header, no slice data kept.
  s.pps.entropy_coding_mode_flag = 0;
  s.slice.Set("nal_unit_type", 2).Remove("cabac_init_idc").Remove("cabac_alignment_one_bits").Remove("slice_data");
  bytes = s.slice.Append({UE("slice_id", 4)}).Bytes();
  const H264_PS cavlc = s.Collection();
  const auto partitionA = cavlc.DecodeSlice(NALU{bytes.data(), bytes.size()});
  EXPECT_EQ(partitionA->slice_id, 4u);
  EXPECT_TRUE(partitionA->slice_data.empty());
  for (uint8_t type : {3, 4}) {
    bytes[0] = static_cast<uint8_t>(0x20 | type);
    EXPECT_EQ(Probe([&] { cavlc.DecodeSlice(NALU{bytes.data(), bytes.size()}); })->message,
              "Slice data partitions B and C have no slice header");
    EXPECT_EQ(Probe([&] { cavlc.DecodeSliceHeader(NALU{bytes.data(), bytes.size()}); })->function, "DecodeHeader");
  }
  bytes[0] = 0x06;
  EXPECT_EQ(cavlc.DecodeSliceHeader(NALU{bytes.data(), bytes.size()}), nullptr);
}

TEST(H264SliceHeader, SliceKindProbe) {
  const struct Row {
    std::vector<uint8_t> unit;
    uint32_t expected;
  } rows[] = {
      {{0x65, 0x88, 0x84}, kSliceI},      // IDR, slice_type 7
      {{0x41, 0x9A, 0x80}, kSliceP},      // slice_type 5
      {{0x22, 0x88, 0x80}, kSliceI},      // partition A
      {{0x65, 0x88}, kNoSliceKind},       // ends right after slice_type
      {{0x41, 0x00}, kNoSliceKind},       // ends inside first_mb_in_slice
      {{0x65}, kNoSliceKind},             // header only
      {{0x23, 0x88, 0x84}, kNoSliceKind}, // partition B: slice_id, no slice_type
      {{0x24, 0x88, 0x84}, kNoSliceKind}, // partition C
      {{0x06, 0x05, 0x01}, kNoSliceKind}, // SEI
  };
  for (const Row& row : rows) EXPECT_EQ(GetSliceType(NALU{row.unit.data(), row.unit.size()}), row.expected) << int{row.unit[0]};
}

// An SEI unit of the given messages (each its payloadType, payloadSize and payload bytes).
std::vector<uint8_t> SEIUnit(const std::vector<std::vector<uint8_t>>& messages, uint8_t header = 0x06) {
  std::vector<uint8_t> unit = {header};
  for (const auto& m : messages) unit.insert(unit.end(), m.begin(), m.end());
  unit.push_back(0x80);
  return unit;
}
std::vector<uint8_t> Message(std::vector<uint8_t> typeAndSize, size_t payloadBytes, uint8_t fill = 0x11) {
  typeAndSize.insert(typeAndSize.end(), payloadBytes, fill);
  return typeAndSize;
}

// Each message as "type/size" with the fields of a decoded form.
std::string Summary(const H264_SEI& sei) {
  std::string out;
  for (const SEIMessage& m : sei.messages) {
    EXPECT_EQ(m.payload.size(), m.payloadSize);
    out += std::to_string(m.payloadType) + "/" + std::to_string(m.payloadSize);
    const auto& rp = m.recovery_point;
    const auto& md = m.mastering_display_colour_volume;
    const auto& cll = m.content_light_level;
    std::vector<uint32_t> fields;
    if (m.payloadType == 6) fields = {rp.recovery_frame_cnt, rp.exact_match_flag, rp.broken_link_flag, rp.changing_slice_group_idc};
    if (m.payloadType == 137) {
      fields = {md.display_primaries[0].display_primaries_x, md.display_primaries[2].display_primaries_y, md.white_point_y,
                md.max_display_mastering_luminance, md.min_display_mastering_luminance};
    }
    if (m.payloadType == 144) fields = {cll.max_content_light_level, cll.max_pic_average_light_level};
    for (uint32_t f : fields) out += " " + std::to_string(f);
    out += "; ";
  }
  return out;
}

TEST(H264SEI, Messages) {
  Bits mastering;
  for (uint32_t v : {1u, 2u, 3u, 4u, 5u, 6u, 7u, 8u}) mastering.u(16, v);
  mastering.u(32, 10000000).u(32, 50);
  std::vector<uint8_t> mastering24 = {137, 24}, cll = {144, 4, 0x03, 0xE8, 0x01, 0x90};
  mastering24.insert(mastering24.end(), mastering.out.begin(), mastering.out.end());
  const struct Row {
    const char* name;
    std::vector<uint8_t> unit;
    std::string expected;  // the summary, or the failure's message and function
  } rows[] = {
      {"0xFF-extended type and size", SEIUnit({Message({0xFF, 0x05, 0xFF, 0xFF, 0x00}, 510)}), "260/510; "},
      // recovery_frame_cnt 3, exact_match_flag 1, broken_link_flag 0, changing_slice_group_idc 10
      {"user data, then a recovery point", SEIUnit({Message({5, 20}, 20), {6, 2, 0x25, 0x00}}), "5/20; 6/2 3 1 0 2; "},
      {"mastering display and content light level", SEIUnit({mastering24, cll}), "137/24 1 6 8 10000000 50; 144/4 1000 400; "},
      {"a form longer than its payload stops the unit", SEIUnit({Message({5, 1}, 1), {144, 3, 1, 2, 3}, cll}), "5/1; "},
      {"also at the unit's end", SEIUnit({Message({5, 1}, 1), Message({137, 2}, 2)}), "5/1; "},
      {"a payload past the unit's end", SEIUnit({Message({5, 10}, 3)}), "End of stream in ShowBytes"},
      {"an IDR slice", SEIUnit({cll}, 0x65), "NALU is not a SEI in Decode"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    H264_SEI sei;
    const std::optional<Failure> failure = Probe([&] { sei.Decode(NALU{row.unit.data(), row.unit.size()}); });
    EXPECT_EQ(failure ? failure->message + " in " + failure->function : Summary(sei), row.expected);
  }

  // At most 65 messages from one unit; a second unit appends its own.
  H264_SEI sei;
  const std::vector<uint8_t> many = SEIUnit(std::vector<std::vector<uint8_t>>(70, Message({5, 1}, 1)));
  sei.Decode(NALU{many.data(), many.size()});
  EXPECT_EQ(sei.messages.size(), 65u);
  const std::vector<uint8_t> one = SEIUnit({cll});
  sei.Decode(NALU{one.data(), one.size()});
  EXPECT_EQ(sei.messages.size(), 66u);
}

}  // namespace
