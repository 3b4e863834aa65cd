#include "Orvane/Proc/CodecParsers/CommonVUI.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <map>
#include <sstream>

#include "Orvane/Proc/CodecParsers/BitsReader.h"
#include "Orvane/Proc/CodecParsers/H26xBitstreamBuilder.h"
#include "Orvane/Proc/CodecParsers/H26xBitstreamParser.h"
#include "support/BitstreamTestKit.h"

namespace {

using codec_test::Bits;
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

// Every part present: aspect ratio, overscan, video signal with BT.2020 PQ colour, chroma
// sample locations.
Bits FullHead(uint8_t idc, uint64_t chromaTop, uint64_t chromaBottom) {
  Bits b;
  b.u(1, 1).u(8, idc);                             // aspect_ratio_info_present_flag, aspect_ratio_idc
  if (idc == 255) b.u(16, 40).u(16, 33);           // sar_width, sar_height
  b.u(1, 1).u(1, 1);                               // overscan_info_present_flag, overscan_appropriate_flag
  b.u(1, 1).u(3, 5).u(1, 1).u(1, 1);               // video_signal_type_present_flag ... colour_description_present_flag
  b.u(8, 9).u(8, 16).u(8, 9);                      // colour_primaries, transfer_characteristics, matrix_coefficients
  return b.u(1, 1).ue(chromaTop).ue(chromaBottom);  // chroma_loc_info_present_flag, both locations
}

// Video signal type present with format 5, no colour description; nothing else present.
const Bits kSignalNoColour = Bits().u(1, 0).u(1, 0).u(1, 1).u(3, 5).u(1, 0).u(1, 0).u(1, 0);

TEST(CommonVUI, SampleAspectRatio) {
  auto idc = [](uint8_t v) { return Bits().u(1, 1).u(8, v).zeros(3); };
  const std::vector<std::pair<Bits, std::pair<uint16_t, uint16_t>>> rows = {
      {Bits().zeros(4), {0, 1}}, {idc(0), {0, 1}},   {idc(1), {1, 1}},  {idc(2), {12, 11}},  {idc(13), {160, 99}},
      {idc(14), {4, 3}},         {idc(16), {2, 1}},  {idc(17), {0, 1}}, {idc(254), {0, 1}},
      {Bits().u(1, 1).u(8, 255).u(16, 40).u(16, 33).zeros(3), {40, 33}}};
  for (const auto& [bits, sar] : rows) {
    SCOPED_TRACE(testing::PrintToString(bits.out));
    const CommonVUI vui = Decode(bits);
    EXPECT_EQ(std::make_pair(vui.sar_width, vui.sar_height), sar);
  }
}

// Decode then append writes the same bits, except chroma locations above 255, which keep only
// their low 8 bits.
TEST(CommonVUI, AppendMirrorsDecode) {
  const std::vector<std::pair<Bits, Bits>> rows = {
      {Bits().zeros(4), Bits().zeros(4)},           {FullHead(255, 4, 5), FullHead(255, 4, 5)},
      {FullHead(13, 0, 1), FullHead(13, 0, 1)},     {kSignalNoColour, kSignalNoColour},
      {FullHead(1, 256 + 3, 511), FullHead(1, 3, 255)}};
  for (const auto& [bits, expected] : rows) {
    SCOPED_TRACE(testing::PrintToString(bits.out));
    H26xBitstreamBuilder b(false);
    AppendCommonVUI(Decode(bits), b);
    b.Flush();
    EXPECT_EQ(std::vector<uint8_t>(b.data(), b.data() + b.BytesInBuffer()), expected.out);
  }
}

TEST(CommonVUI, GetColourDescription) {
  const Bits bt709 = Bits().u(1, 0).u(1, 0).u(1, 1).u(3, 5).u(1, 0).u(1, 1).u(8, 1).u(8, 1).u(8, 1).u(1, 0);
  const std::vector<std::pair<Bits, std::vector<uint32_t>>> rows = {
      {Bits().zeros(4), {2, 2, 2}}, {kSignalNoColour, {2, 2, 2}}, {bt709, {1, 1, 1}}, {FullHead(1, 0, 0), {9, 16, 9}}};
  for (const auto& [bits, expected] : rows) {
    SCOPED_TRACE(testing::PrintToString(bits.out));
    const ColourDescription c = GetColourDescription(Decode(bits));
    EXPECT_EQ((std::vector<uint32_t>{uint32_t(c.primaries), uint32_t(c.transfer), uint32_t(c.matrix)}), expected);
  }
}

// A triple the host rejects leaves the head with a video signal type but no colour description,
// and the old colour values untouched.
TEST(CommonVUI, SetColourDescription) {
  auto colour = [](uint32_t p, uint32_t t, uint32_t m) {
    return ColourDescription{ColorPrimaries(p), TransferFunction(t), YCbCrMatrix(m)};
  };
  CommonVUI signalled{};
  signalled.video_signal_type_present_flag = signalled.video_format = signalled.video_full_range_flag = 1;
  signalled.colour_description_present_flag = 1;
  signalled.colour_primaries = signalled.transfer_characteristics = signalled.matrix_coefficients = 6;
  struct Row {
    CommonVUI before;
    ColourDescription colour;
    std::vector<int> expected;  // video_format, colour_description_present_flag, the three values
  };
  const std::vector<Row> rows = {
      {CommonVUI{}, colour(1, 1, 1), {5, 1, 1, 1, 1}},     {signalled, colour(1, 14, 9), {1, 1, 1, 14, 9}},
      {CommonVUI{}, colour(3, 1, 1), {5, 0, 0, 0, 0}},     {signalled, colour(1, 1, 3), {1, 0, 6, 6, 6}},
      {signalled, colour(1, 0x101, 1), {1, 0, 6, 6, 6}}};
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::PrintToString(row.expected));
    EXPECT_EQ(IsValidColourDescription(row.colour), row.expected[1] == 1);
    CommonVUI vui = row.before;
    SetColourDescription(vui, row.colour);
    EXPECT_EQ(vui.video_signal_type_present_flag, 1);
    EXPECT_EQ(vui.video_full_range_flag, row.before.video_full_range_flag);
    EXPECT_EQ((std::vector<int>{vui.video_format, vui.colour_description_present_flag, vui.colour_primaries,
                                vui.transfer_characteristics, vui.matrix_coefficients}),
              row.expected);
  }
}

// The SPS of each x265/FFmpeg test stream, with FFmpeg's trace_headers listing of it as the
// oracle: the head decodes to the listed values, ends where the listing's next element begins,
// and is written back bit for bit.
TEST(CommonVUI, RealStreams) {
  int checked = 0;
  for (const auto& entry : std::filesystem::directory_iterator(HEVC_TEST_STREAMS)) {
    if (entry.path().extension() != ".trace") continue;
    SCOPED_TRACE(entry.path().filename().string());
    // "bit-offset name value" lines of the first SPS section.
    std::map<std::string, std::pair<uint64_t, int64_t>> sps;
    std::ifstream trace(entry.path());
    bool inSps = false;
    for (std::string line; std::getline(trace, line);) {
      if (line == "Picture Parameter Set") break;
      inSps = inSps || line == "Sequence Parameter Set";
      std::istringstream fields(line);
      uint64_t offset;
      std::string name;
      int64_t value;
      if (inSps && fields >> offset >> name >> value && !sps.count(name)) sps[name] = {offset, value};
    }
    if (!sps.count("aspect_ratio_info_present_flag")) continue;
    std::ifstream in(std::filesystem::path(entry.path()).replace_extension(".hevc"), std::ios::binary);
    const std::vector<uint8_t> stream((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::vector<NALU> nalus;
    FindAnnexBNalus(stream.data(), stream.size(), nalus);
    const NALU unit = GetFirstNALU(nalus, NaluCodec::HEVC, 33);
    const std::vector<uint8_t> rbsp = RemoveEmulationPrevention(unit.data, unit.size);
    BitsReader r(rbsp.data(), rbsp.size());
    const uint64_t start = sps["aspect_ratio_info_present_flag"].first;
    r.SkipBits(start);
    CommonVUI vui{};
    DecodeCommonVUI(vui, r);
    EXPECT_EQ(r.GetPosition(), sps["neutral_chroma_indication_flag"].first);
    const std::map<std::string, int64_t> decoded = {
        {"aspect_ratio_info_present_flag", vui.aspect_ratio_info_present_flag}, {"aspect_ratio_idc", vui.aspect_ratio_idc},
        {"overscan_info_present_flag", vui.overscan_info_present_flag}, {"overscan_appropriate_flag", vui.overscan_appropriate_flag},
        {"video_signal_type_present_flag", vui.video_signal_type_present_flag}, {"video_format", vui.video_format},
        {"video_full_range_flag", vui.video_full_range_flag}, {"colour_primaries", vui.colour_primaries},
        {"colour_description_present_flag", vui.colour_description_present_flag},
        {"transfer_characteristics", vui.transfer_characteristics}, {"matrix_coefficients", vui.matrix_coefficients},
        {"chroma_loc_info_present_flag", vui.chroma_loc_info_present_flag},
        {"chroma_sample_loc_type_top_field", vui.chroma_sample_loc_type_top_field},
        {"chroma_sample_loc_type_bottom_field", vui.chroma_sample_loc_type_bottom_field}};
    for (const auto& [name, value] : decoded) {
      if (sps.count(name)) {
        EXPECT_EQ(value, sps[name].second) << name;
      }
    }
    H26xBitstreamBuilder b(false);
    AppendCommonVUI(vui, b);
    b.Flush();
    BitsReader written(b.data(), b.BytesInBuffer()), original(rbsp.data(), rbsp.size());
    original.SkipBits(start);
    while (original.GetPosition() < r.GetPosition()) ASSERT_EQ(written.GetBits1(), original.GetBits1());
    ++checked;
  }
  EXPECT_GE(checked, 5);
}

}  // namespace
