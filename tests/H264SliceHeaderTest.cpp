// H.264 slice headers and SEI units built by hand, for what encoders never write: each refusal of
// the header decode, the branches x264 does not take, the prefix a header is read from, the
// slice-kind probe and the SEI framing. Real streams against FFmpeg are in H264TraceTest.cpp.
#include <functional>
#include <memory>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Orvane/Proc/CodecParsers/BitsReader.h"
#include "Orvane/Proc/CodecParsers/H264SliceHeader.h"
#include "Orvane/Proc/CodecParsers/H264_SEI.h"
#include "Orvane/Proc/CodecParsers/H26xBitstreamParser.h"
#include "support/BitstreamTestKit.h"
#include "support/HEVCTestUnits.h"
#include "support/TraceOracle.h"

namespace {

using namespace Orvane::Proc::CodecParsers;
using namespace codec_test;

// 1920x1088 4:2:0 8-bit CABAC: 4-bit frame_num, 6-bit POC LSBs, four reference frames, deblocking
// control; and a reference P slice, element by element.
struct Units {
  H264_SPS sps{};
  H264_PPS pps{};
  SyntaxUnit slice = SyntaxUnit().Append(E(
      "forbidden_zero_bit:u1=0 nal_ref_idc:u2=2 nal_unit_type:u5=1 first_mb_in_slice:ue=0 slice_type:ue=5 pic_parameter_set_id:ue=0"
      " frame_num:u4=1 pic_order_cnt_lsb:u6=2 num_ref_idx_active_override_flag:u1=0 ref_pic_list_modification_flag_l0:u1=0"
      " adaptive_ref_pic_marking_mode_flag:u1=0 cabac_init_idc:ue=0 slice_qp_delta:se=0 disable_deblocking_filter_idc:ue=0"
      " slice_alpha_c0_offset_div2:se=0 slice_beta_offset_div2:se=0"));
  Units() {
    sps.profile_idc = 100, sps.chroma_format_idc = 1, sps.log2_max_pic_order_cnt_lsb_minus4 = 2, sps.max_num_ref_frames = 4;
    sps.pic_width_in_mbs_minus1 = 119, sps.pic_height_in_map_units_minus1 = 67, sps.frame_mbs_only_flag = 1;
    pps.entropy_coding_mode_flag = pps.deblocking_filter_control_present_flag = 1;
  }
  H264_PS Collection() const { return {{std::make_shared<H264_SPS>(sps)}, {std::make_shared<H264_PPS>(pps)}}; }
};
using Edit = std::function<void(Units&)>;

const char* kList0 = "ref_pic_list_modification_flag_l0";
const char* kMarking = "adaptive_ref_pic_marking_mode_flag";
Edit Set(const char* name, int64_t value) { return [=](Units& u) { u.slice.Set(name, value); }; }
// Elements ("name:ue=1 ...") after `at`, a flag that is set to bring them in (any other element
// stays as it is), then `more`.
Edit With(const char* at, const std::string& added, Edit more = [](Units&) {}) {
  return [=](Units& u) {
    if (std::string(at).find("_flag") != std::string::npos) u.slice.Set(at, 1);
    u.slice.InsertAfter(at, E(added));
    more(u);
  };
}
// A B slice with `l1` + 1 active list-1 references.
Edit BSlice(int l1, Edit more = [](Units&) {}) {
  return With("num_ref_idx_active_override_flag", "l0:ue=0 num_ref_idx_l1_active_minus1:ue=" + std::to_string(l1), [=](Units& u) {
    u.slice.InsertAfter("pic_order_cnt_lsb", E("direct_spatial_mv_pred_flag:u1=1")).Set("slice_type", 1);
    u.slice.InsertAfter(kList0, E("ref_pic_list_modification_flag_l1:u1=0"));
    more(u);
  });
}
// `count` times the operation, then `end`.
std::string Ops(int count, const std::string& op, const std::string& end) {
  std::string out;
  for (int i = 0; i < count; ++i) out += op + " ";
  return out + end;
}
const std::string kShortTermOp = "modification_of_pic_nums_idc:ue=0 abs_diff_pic_num_minus1:ue=0", kListEnd = "idc:ue=3";
const std::string kUnmarkOp = "memory_management_control_operation:ue=1 difference_of_pic_nums_minus1:ue=0", kMarkEnd = "op:ue=0";

// A record's listing as " name=value " words.
template <class Record>
std::string Listed(const Record& record) {
  FlatListing flat;
  ListSyntax(record, flat);
  std::string out = " ";
  for (const auto& [name, value] : flat.elements) out += name + "=" + std::to_string(value) + " ";
  return out;
}

// Each refusal at its first refused value (with the bound where an off-by-one is plausible), and
// the branches encoders do not take. A header that decodes must end where its elements end, and
// list the `fields` given.
TEST(H264SliceHeader, DecodeHeader) {
  const struct Row {
    const char* name;
    Edit edit;
    std::string expected;  // "message in function", or empty when the header decodes
    std::string fields = "";
  } rows[] = {
      {"SEI unit", Set("nal_unit_type", 6), "NALU is not a Slice in DecodeHeader"},
      {"partition B", Set("nal_unit_type", 3), "Slice data partitions B and C have no slice header in DecodeHeader"},
      {"first_mb_in_slice 139264", Set("first_mb_in_slice", 139264), "first_mb_in_slice out of range in DecodeHeader"},
      {"IDR P slice", Set("nal_unit_type", 5), "invalid slice tipe in header in DecodeHeader"},
      {"PPS id 256", Set("pic_parameter_set_id", 256), "pic_parameter_set_id out of range in DecodeHeader"},
      {"missing PPS", Set("pic_parameter_set_id", 1), "invalid pic_parameter_set_id in slice header in DecodeHeader"},
      {"PPS of a missing SPS", [](Units& u) { u.pps.seq_parameter_set_id = 1; }, "invalid seq_parameter_set_id in pps in DecodeHeader"},
      {"32 L0 references", With("num_ref_idx_active_override_flag", "l0:ue=32"), "num_ref_idx_l0_active_minus1 out of range in DecodeHeader"},
      {"32 L1 references", BSlice(32), "num_ref_idx_l1_active_minus1 out of range in DecodeHeader"},
      {"difference beyond MaxPicNum", With(kList0, "idc:ue=0 diff:ue=17 end:ue=3"), "abs_diff_pic_num_minus1 out of range in operator ()"},
      {"long-term picture 4 of 4", With(kList0, "idc:ue=2 pic:ue=4 end:ue=3"), "long_term_pic_num out of range in operator ()"},
      {"idc 4", With(kList0, "idc:ue=4"), "modification_of_pic_nums_idc out of range in operator ()"},
      {"two operations for one reference", With(kList0, Ops(2, kShortTermOp, kListEnd)), "reference count overflow in operator ()"},
      {"operation 7", With(kMarking, "op:ue=7"), "memory_management_control_operation out of range in DecodeHeader"},
      {"operation 6, index 4 of 4", With(kMarking, "op:ue=6 idx:ue=4 end:ue=0"), "long_term_frame_idx out of range in DecodeHeader"},
      {"operation 4, 5 of 4", With(kMarking, "op:ue=4 max:ue=5 end:ue=0"), "max_long_term_frame_idx_plus1 out of range in DecodeHeader"},
      {"67 operations", With(kMarking, Ops(67, kUnmarkOp, "")), "Too many memory management control operations in DecodeHeader"},
      {"cabac_init_idc 3", Set("cabac_init_idc", 3), "cabac_init_idc out of range in DecodeHeader"},
      {"slice_qp_delta -52", Set("slice_qp_delta", -52), "slice_qp_delta out of range in DecodeHeader"},
      {"slice_qs_delta 52", With("slice_qp_delta", "sp_for_switch_flag:u1=0 qs:se=52", Set("slice_type", 3)), "slice_qs_delta out of range in DecodeHeader"},
      {"disable_deblocking_filter_idc 3", Set("disable_deblocking_filter_idc", 3), "disable_deblocking_filter_idc out of range in DecodeHeader"},
      {"alpha offset 7", Set("slice_alpha_c0_offset_div2", 7), "slice_alpha_c0_offset_div2 out of range in DecodeHeader"},
      {"beta offset -7", Set("slice_beta_offset_div2", -7), "slice_beta_offset_div2 out of range in DecodeHeader"},
      {"bottom delta -2^31", With("pic_order_cnt_lsb", "delta_pic_order_cnt_bottom:se=-2147483648", [](Units& u) {
         u.pps.bottom_field_pic_order_in_frame_present_flag = 1; }), "delta_pic_order_cnt_bottom out of range in DecodeHeader"},
      {"POC type 1 delta -2^31", With("frame_num", "d0:se=-2147483648", [](Units& u) { u.sps.pic_order_cnt_type = 1, u.slice.Remove("pic_order_cnt_lsb"); }),
       "delta_pic_order_cnt out of range in DecodeHeader"},
      {"cut before the offsets", [](Units& u) { u.slice.Remove("slice_alpha_c0_offset_div2 slice_beta_offset_div2"); }, "End of stream in GetUEGolomb"},
      // What decodes: bounds, and the branches encoders do not take.
      {"last macroblock, qp -51, 66 operations, both default counts",
       With(kMarking, Ops(66, kUnmarkOp, kMarkEnd), [](Units& u) {
         u.slice.Set("first_mb_in_slice", 139263).Set("slice_qp_delta", -51), u.pps.num_ref_idx_l1_default_active_minus1 = 3; }),
       "", "first_mb_in_slice=139263 slice_qp_delta=-51 memory_management_control_operation[66]=0"},
      {"qp 63 at 10 bits; B with 32 operations on list 1",
       BSlice(31, With("ref_pic_list_modification_flag_l1", Ops(32, kShortTermOp, kListEnd), [](Units& u) {
                u.sps.bit_depth_luma_minus8 = 2, u.slice.Set("slice_qp_delta", 63); })),
       "", "num_ref_idx_l1_active_minus1=31 modification_of_pic_nums_idc[1][32]=3 slice_qp_delta=63"},
      {"bottom field with separate planes: MaxPicNum doubled",
       With(kList0, "idc:ue=1 diff:ue=32 end:ue=3", [](Units& u) {
         u.sps.chroma_format_idc = 3, u.sps.separate_colour_plane_flag = 1, u.sps.frame_mbs_only_flag = 0;
         u.slice.InsertAfter("pic_parameter_set_id", E("colour_plane_id:u2=2")).InsertAfter("frame_num", E("f:u1=1 b:u1=1")); }),
       "", "colour_plane_id=2 field_pic_flag=1 bottom_field_flag=1 abs_diff_pic_num_minus1[0][0]=32"},
      {"POC type 1 with the bottom delta, redundant picture count",
       With("frame_num", "d0:se=-5 d1:se=7 redundant_pic_cnt:ue=3", [](Units& u) {
         u.sps.pic_order_cnt_type = 1, u.pps.bottom_field_pic_order_in_frame_present_flag = u.pps.redundant_pic_cnt_present_flag = 1;
         u.slice.Remove("pic_order_cnt_lsb"); }),
       "", "delta_pic_order_cnt[0]=-5 delta_pic_order_cnt[1]=7 redundant_pic_cnt=3"},
      {"bottom delta 2^30 + 1", With("pic_order_cnt_lsb", "delta_pic_order_cnt_bottom:se=1073741825", [](Units& u) {
         u.pps.bottom_field_pic_order_in_frame_present_flag = 1; }), "", "delta_pic_order_cnt_bottom=1073741825"},
      {"long-term picture 1 in fields of one reference frame", With(kList0, "idc:ue=2 pic:ue=1 end:ue=3", With(kMarking, "op:ue=2 pic:ue=1 end:ue=0", [](Units& u) {
         u.sps.frame_mbs_only_flag = 0, u.sps.max_num_ref_frames = 1, u.slice.InsertAfter("frame_num", E("field_pic_flag:u1=1 bottom_field_flag:u1=1")); })),
       "", "field_pic_flag=1 long_term_pic_num[0]=1 memory_management_control_operation[0]=2"},
      {"weighted P with separate colour planes: no chroma weights", [](Units& u) {
         u.sps.chroma_format_idc = 3, u.sps.separate_colour_plane_flag = 1, u.pps.weighted_pred_flag = 1, u.slice.InsertAfter("pic_parameter_set_id", E("colour_plane_id:u2=1"));
         u.slice.InsertAfter(kList0, E("luma_log2_weight_denom:ue=2 luma_weight_flag:u1=1 w:se=3 o:se=-2")); }, "", "luma_log2_weight_denom=2 luma_weight_l0[0]=3 luma_offset_l0[0]=-2"},
      {"explicit weighted B; denominators 9 and 8 kept as 0; weights keep 8 bits",
       BSlice(1, [](Units& u) { u.pps.weighted_bipred_idc = 1;
                                u.slice.InsertAfter("ref_pic_list_modification_flag_l1", E("luma_denom:ue=9 chroma_denom:ue=8 l:u1=1 w:se=-128 o:se=127"
                                                    " c:u1=0 l:u1=0 c:u1=0 l:u1=0 c:u1=1 cb_w:se=3 cb_o:se=-4 cr_w:se=5 cr_o:se=300")); }),
       "", "luma_log2_weight_denom=0 chroma_log2_weight_denom=0 luma_weight_l0[0]=-128 luma_offset_l0[0]=127 chroma_weight_l1[1][0]=3 "
           "chroma_offset_l1[1][0]=-4 chroma_offset_l1[1][1]=44"},
      {"long-term marking operations 2, 3, 4, 6", With(kMarking, "op:ue=2 pic:ue=3 op:ue=3 diff:ue=70000 idx:ue=1 op:ue=4 max:ue=4 op:ue=6 idx:ue=2 end:ue=0"),
       "", "long_term_pic_num[0]=3 difference_of_pic_nums_minus1[1]=70000 long_term_frame_idx[1]=1 max_long_term_frame_idx_plus1[2]=4 long_term_frame_idx[3]=2"},
      {"IDR SI slice without deblocking offsets, slice group change cycle of 7 bits",
       [](Units& u) { u.pps.num_slice_groups_minus1 = 1, u.pps.slice_group_map_type = 4, u.pps.slice_group_change_rate_minus1 = 99;
                      u.slice.Remove("num_ref_idx_active_override_flag ref_pic_list_modification_flag_l0 adaptive_ref_pic_marking_mode_flag"
                                     " cabac_init_idc slice_alpha_c0_offset_div2 slice_beta_offset_div2");
                      u.slice.Set("nal_unit_type", 5).Set("slice_type", 9).Set("disable_deblocking_filter_idc", 1).InsertAfter("frame_num", E("idr:ue=65545"));
                      u.slice.InsertAfter("pic_order_cnt_lsb", E("no_output_of_prior_pics_flag:u1=1 long_term_reference_flag:u1=1"));
                      u.slice.InsertAfter("slice_qp_delta", E("qs:se=-51")).Append(E("slice_group_change_cycle:u7=81")); },
       "", "slice_type=9 idr_pic_id=9 long_term_reference_flag=1 slice_qs_delta=-51 disable_deblocking_filter_idc=1 slice_group_change_cycle=81"},
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
    std::istringstream fields(row.fields);
    const std::string listed = Listed(h);
    for (std::string field; fields >> field;) EXPECT_NE(listed.find(" " + field + " "), std::string::npos) << field;
  }
}

// The prefix a header is read from, and emulation prevention in it: a non-reference CAVLC header
// of exactly 60 bytes whose last byte, 01, follows an emulation pattern. The 60-byte prefix ends
// in 00 00 03, an 03 that is no part of the header, which therefore does not fit.
TEST(H264SliceHeader, Prefix) {
  Units n;
  n.sps.chroma_format_idc = 0, n.sps.pic_width_in_mbs_minus1 = n.sps.pic_height_in_map_units_minus1 = 1055;
  n.pps.weighted_pred_flag = 1, n.pps.entropy_coding_mode_flag = n.pps.deblocking_filter_control_present_flag = 0;
  n.pps.num_slice_groups_minus1 = 1, n.pps.slice_group_map_type = 3;  // change rate 1: a 21-bit cycle
  n.slice.Remove("adaptive_ref_pic_marking_mode_flag cabac_init_idc disable_deblocking_filter_idc slice_alpha_c0_offset_div2 slice_beta_offset_div2");
  With("num_ref_idx_active_override_flag", "num_ref_idx_l0_active_minus1:ue=30")(n);
  std::string luma = "luma_log2_weight_denom:ue=0";
  for (int i = 0; i < 31; ++i) luma += i < 3 ? " l:u1=1 w:se=9 o:se=2" : " l:u1=1 w:se=5 o:se=2";
  n.slice.Set("nal_ref_idc", 0).Set("slice_qp_delta", 32).InsertAfter(kList0, E(luma)).Append(E("slice_group_change_cycle:u21=1"));
  std::vector<uint8_t> bytes = n.slice.Bytes();
  ASSERT_EQ(std::vector<uint8_t>(bytes.begin() + 56, bytes.end()), (std::vector<uint8_t>{0x08, 0, 0, 3, 1, 0x80}));
  const H264_PS cavlc = n.Collection();
  EXPECT_EQ(Probe([&] { cavlc.DecodeSliceHeader(NALU{bytes.data(), bytes.size()}); }).value_or(Failure{}).message, "End of stream");
  EXPECT_EQ(cavlc.DecodeSlice(NALU{bytes.data(), bytes.size()})->slice_group_change_cycle, 1);
  bytes[0] = 0x21;  // as a reference slice, read from 1000 bytes
  const auto slice = cavlc.DecodeSlice(NALU{bytes.data(), bytes.size()});
  EXPECT_EQ(*cavlc.DecodeSliceHeader(NALU{bytes.data(), bytes.size()}), static_cast<const H264SliceHeader&>(*slice));
}

// Records built by hand: without parameter sets nothing is listed; counts beyond the arrays list
// what the arrays hold.
TEST(H264SliceHeader, ListingOfRecordsBuiltByHand) {
  Units u;
  u.pps.weighted_pred_flag = 1;
  H264SliceHeader h{};
  h.slice_type = 5, h.num_ref_idx_l0_active_minus1 = 255, h.sps = u.Collection().sps_list[0], h.pps = u.Collection().pps_list[0];
  EXPECT_EQ(Listed(H264SliceHeader{}), " ");
  EXPECT_EQ(Listed(h).find("luma_weight_l0_flag[32]"), std::string::npos);
  EXPECT_NE(Listed(h).find("luma_weight_l0_flag[31]"), std::string::npos);
}

TEST(H264SliceHeader, SliceKindProbe) {
  const std::vector<std::pair<std::vector<uint8_t>, uint32_t>> rows = {
      {{0x65, 0x88, 0x84}, kSliceI}, {{0x41, 0x9A, 0x80}, kSliceP}, {{0x22, 0x88, 0x80}, kSliceI},  // IDR 7, P 5, partition A
      {{0x65, 0x88}, kNoSliceKind}, {{0x41, 0x00}, kNoSliceKind}, {{0x65}, kNoSliceKind},           // cut after, inside, before
      {{0x23, 0x88, 0x84}, kNoSliceKind}, {{0x24, 0x88, 0x84}, kNoSliceKind}, {{0x06, 0x05, 0x01}, kNoSliceKind}};  // B, C, SEI
  for (const auto& [unit, kind] : rows) EXPECT_EQ(GetSliceType(NALU{unit.data(), unit.size()}), kind) << int{unit[0]};
}

TEST(H264SEI, Messages) {
  using Bytes = std::vector<uint8_t>;
  const auto unit = [](std::vector<Bytes> messages, uint8_t header = 0x06, size_t trailingZeros = 0) {
    Bytes out = {header};
    for (const Bytes& m : messages) out.insert(out.end(), m.begin(), m.end());
    out.push_back(0x80);  // rbsp_stop_one_bit
    out.insert(out.end(), trailingZeros, 0);
    return out;
  };
  const auto filled = [](Bytes typeAndSize, size_t n) { typeAndSize.insert(typeAndSize.end(), n, 0x11); return typeAndSize; };
  const auto ffRun = [](Bytes v, Bytes rest) { v.insert(v.end(), 16843009, 0xFF); return v.insert(v.end(), rest.begin(), rest.end()), v; };
  const Bytes cll = {144, 4, 0x03, 0xE8, 0x01, 0x90};
  const std::vector<std::pair<Bytes, std::string>> rows = {  // the unit, and its listing or failure
      {unit({filled({0xFF, 0x05, 0xFF, 0xFF, 0x00}, 510)}), "payloadType=260 payloadSize=510"},
      {unit({filled({5, 1}, 1), {144, 3, 1, 2, 3}, cll}), "payloadType=5 payloadSize=1"},  // a form longer than its payload ends the unit
      {unit({filled({5, 10}, 3)}), "End of stream in ShowBytes"},
      {unit({filled({0, 5}, 5)}, 0x06, 2), "payloadType=0 payloadSize=5"},  // trailing zero bytes start no message
      {unit({ffRun({5}, {1})}), "End of stream in ShowBytes"},             // a size of 2^32: 16.8 MB of 0xFF, then 1
      {unit({ffRun({}, {1, 0})}), "payloadType out of range in Decode"},  // a type of 2^32
      {unit({cll}, 0x65), "NALU is not a SEI in Decode"},
  };
  H264_SEI all;
  for (const auto& row : rows) {
    const NALU nalu{row.first.data(), row.first.size()};
    H264_SEI sei;
    const std::optional<Failure> failure = Probe([&] { sei.Decode(nalu); });
    EXPECT_EQ(failure ? " " + failure->message + " in " + failure->function + " " : Listed(sei), " " + row.second + " ");
    for (const SEIMessage& m : sei.messages) EXPECT_EQ(m.payload.size(), m.payloadSize);
    if (!failure) all.Decode(nalu);
  }
  // At most 65 messages from one unit, appended to what the list holds.
  const Bytes many = unit(std::vector<Bytes>(70, filled({5, 1}, 1)));
  all.Decode(NALU{many.data(), many.size()});
  EXPECT_EQ(all.messages.size(), 1u + 1 + 1 + 65);
}

}  // namespace
