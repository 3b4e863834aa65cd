#include "Orvane/Proc/CodecParsers/CommonVUI.h"

#include <gtest/gtest.h>

#include <utility>

#include "Orvane/Proc/CodecParsers/BitsReader.h"
#include "Orvane/Proc/CodecParsers/H26xBitstreamBuilder.h"
#include "support/BitstreamTestKit.h"

namespace {

using codec_test::Bits;
using codec_test::Probe;
using namespace Orvane::Proc::CodecParsers;
using Orvane::Conf::ColorPrimaries;
using Orvane::Conf::TransferFunction;
using Orvane::Conf::YCbCrMatrix;

CommonVUI Decode(const Bits& bits) {
  CommonVUI vui{};
  BitsReader r(bits.out.data(), bits.out.size());
  DecodeCommonVUI(vui, r);
  return vui;
}

// A head with every part present: aspect ratio idc, overscan, video signal with colour, chroma
// sample location.
Bits FullHead(uint8_t idc, uint64_t chromaTop, uint64_t chromaBottom) {
  Bits b;
  b.u(1, 1).u(8, idc);                 // aspect_ratio_info_present_flag, aspect_ratio_idc
  if (idc == 255) b.u(16, 40).u(16, 33);  // sar_width, sar_height
  b.u(1, 1).u(1, 1);                   // overscan_info_present_flag, overscan_appropriate_flag
  b.u(1, 1).u(3, 5).u(1, 1).u(1, 1);   // video_signal_type_present_flag, video_format, video_full_range_flag, colour_description_present_flag
  b.u(8, 9).u(8, 16).u(8, 9);          // colour_primaries, transfer_characteristics, matrix_coefficients
  b.u(1, 1).ue(chromaTop).ue(chromaBottom);  // chroma_loc_info_present_flag, the two locations
  return b;
}

TEST(CommonVUI, SampleAspectRatio) {
  struct Row {
    const char* name;
    Bits bits;
    std::pair<uint16_t, uint16_t> expected;
  };
  auto idc = [](uint8_t v) { return Bits().u(1, 1).u(8, v).zeros(3); };
  const std::vector<Row> rows = {
      {"no aspect ratio", Bits().zeros(4), {0, 1}},
      {"idc 0", idc(0), {0, 1}},
      {"idc 1", idc(1), {1, 1}},
      {"idc 2", idc(2), {12, 11}},
      {"idc 13", idc(13), {160, 99}},
      {"idc 14", idc(14), {4, 3}},
      {"idc 16", idc(16), {2, 1}},
      {"idc 17 reserved", idc(17), {0, 1}},
      {"idc 254 reserved", idc(254), {0, 1}},
      {"Extended_SAR", Bits().u(1, 1).u(8, 255).u(16, 40).u(16, 33).zeros(3), {40, 33}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const CommonVUI vui = Decode(row.bits);
    EXPECT_EQ(std::make_pair(vui.sar_width, vui.sar_height), row.expected);
  }
}

TEST(CommonVUI, DecodesEveryField) {
  const Bits bits = FullHead(255, 2, 3);
  BitsReader r(bits.out.data(), bits.out.size());
  CommonVUI vui{};
  DecodeCommonVUI(vui, r);
  EXPECT_EQ(r.GetPosition(), bits.n);
  EXPECT_EQ(vui.aspect_ratio_idc, 255);
  EXPECT_EQ(vui.overscan_appropriate_flag, 1);
  EXPECT_EQ(vui.video_format, 5);
  EXPECT_EQ(vui.video_full_range_flag, 1);
  EXPECT_EQ(vui.colour_primaries, 9);
  EXPECT_EQ(vui.transfer_characteristics, 16);
  EXPECT_EQ(vui.matrix_coefficients, 9);
  EXPECT_EQ(vui.chroma_sample_loc_type_top_field, 2);
  EXPECT_EQ(vui.chroma_sample_loc_type_bottom_field, 3);
}

TEST(CommonVUI, ReaderFailuresPassThrough) {
  Bits cut = FullHead(1, 0, 0);
  cut.out.resize(3);
  const auto f = Probe([&] { Decode(cut); });
  ASSERT_TRUE(f.has_value());
  EXPECT_EQ(f->message, "End of stream");
}

// Decode then append writes the same bits, except chroma locations above 255, which keep only
// their low 8 bits.
TEST(CommonVUI, AppendMirrorsDecode) {
  struct Row {
    const char* name;
    Bits bits;
    Bits expected;
  };
  const std::vector<Row> rows = {
      {"nothing present", Bits().zeros(4), Bits().zeros(4)},
      {"everything present", FullHead(255, 4, 5), FullHead(255, 4, 5)},
      {"table idc", FullHead(13, 0, 1), FullHead(13, 0, 1)},
      {"video signal without colour", Bits().u(1, 0).u(1, 0).u(1, 1).u(3, 2).u(1, 0).u(1, 0).u(1, 0),
       Bits().u(1, 0).u(1, 0).u(1, 1).u(3, 2).u(1, 0).u(1, 0).u(1, 0)},
      {"chroma location above 255", FullHead(1, 256 + 3, 511), FullHead(1, 3, 255)},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    H26xBitstreamBuilder b(false);
    AppendCommonVUI(Decode(row.bits), b);
    b.Flush();
    Bits expected = row.expected;
    EXPECT_EQ(std::vector<uint8_t>(b.data(), b.data() + b.BytesInBuffer()), expected.out);
  }
}

TEST(CommonVUI, ColourDescription) {
  struct Row {
    const char* name;
    Bits bits;
    uint32_t primaries, transfer, matrix;
  };
  const std::vector<Row> rows = {
      {"no video signal", Bits().zeros(4), 2, 2, 2},
      {"video signal without colour", Bits().u(1, 0).u(1, 0).u(1, 1).u(3, 5).u(1, 0).u(1, 0).u(1, 0), 2, 2, 2},
      {"BT.709", Bits().u(1, 0).u(1, 0).u(1, 1).u(3, 5).u(1, 0).u(1, 1).u(8, 1).u(8, 1).u(8, 1).u(1, 0), 1, 1, 1},
      {"BT.2020 PQ", FullHead(1, 0, 0), 9, 16, 9},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const ColourDescription c = GetColourDescription(Decode(row.bits));
    EXPECT_EQ(static_cast<uint32_t>(c.primaries), row.primaries);
    EXPECT_EQ(static_cast<uint32_t>(c.transfer), row.transfer);
    EXPECT_EQ(static_cast<uint32_t>(c.matrix), row.matrix);
  }
}

TEST(CommonVUI, SetColourDescription) {
  struct Row {
    const char* name;
    CommonVUI before;
    ColourDescription colour;
    bool valid;
    uint8_t video_format, colour_description_present_flag, primaries, transfer, matrix;
  };
  CommonVUI none{};
  CommonVUI signalled{};
  signalled.video_signal_type_present_flag = 1;
  signalled.video_format = 1;
  signalled.video_full_range_flag = 1;
  signalled.colour_description_present_flag = 1;
  signalled.colour_primaries = signalled.transfer_characteristics = signalled.matrix_coefficients = 6;
  const ColourDescription bt709{ColorPrimaries::BT709, TransferFunction::BT709, YCbCrMatrix::BT709};
  const ColourDescription reservedPrimaries{static_cast<ColorPrimaries>(3), TransferFunction::BT709, YCbCrMatrix::BT709};
  const ColourDescription reservedMatrix{ColorPrimaries::BT709, TransferFunction::BT709, static_cast<YCbCrMatrix>(3)};
  const ColourDescription wideTransfer{ColorPrimaries::BT709, static_cast<TransferFunction>(0x101), YCbCrMatrix::BT709};
  const std::vector<Row> rows = {
      {"valid, no video signal before", none, bt709, true, 5, 1, 1, 1, 1},
      {"valid, video signal before", signalled, bt709, true, 1, 1, 1, 1, 1},
      {"rejected primaries, no video signal before", none, reservedPrimaries, false, 5, 0, 0, 0, 0},
      {"rejected matrix keeps the old values", signalled, reservedMatrix, false, 1, 0, 6, 6, 6},
      {"value beyond 8 bits is rejected", signalled, wideTransfer, false, 1, 0, 6, 6, 6},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(IsValidColourDescription(row.colour), row.valid);
    CommonVUI vui = row.before;
    SetColourDescription(vui, row.colour);
    EXPECT_EQ(vui.video_signal_type_present_flag, 1);
    EXPECT_EQ(vui.video_full_range_flag, row.before.video_full_range_flag);
    EXPECT_EQ(vui.video_format, row.video_format);
    EXPECT_EQ(vui.colour_description_present_flag, row.colour_description_present_flag);
    EXPECT_EQ(vui.colour_primaries, row.primaries);
    EXPECT_EQ(vui.transfer_characteristics, row.transfer);
    EXPECT_EQ(vui.matrix_coefficients, row.matrix);
  }
}

}  // namespace
