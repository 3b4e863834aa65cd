// The VUI head shared by H.264 and H.265. Its decode and writer are also checked against every
// sample stream's SPS (HEVCTraceTest.cpp, HEVCSerialisationTest.cpp).
#include "Orvane/Proc/CodecParsers/CommonVUI.h"

#include <gtest/gtest.h>

#include "Orvane/Proc/CodecParsers/BitsReader.h"
#include "Orvane/Proc/CodecParsers/H26xBitstreamBuilder.h"
#include "support/BitstreamTestKit.h"

namespace {

using codec_test::Bits;
using namespace Orvane::Proc::CodecParsers;
using namespace Orvane::Conf;

// The sample aspect ratio aspect_ratio_idc stands for, the colour triple (2, 2, 2 without one),
// and the head written back, but for chroma locations above 255, which keep their low 8 bits.
TEST(CommonVUI, DecodeAndAppend) {
  const auto head = [](uint8_t idc, uint32_t colour, uint64_t chromaTop) {  // colour 0: no description
    Bits b;
    b.u(1, 1).u(8, idc).u(idc == 255 ? 32 : 0, 0x00280021).u(2, 0b11).u(6, colour ? 0b110111 : 0b110110).u(colour ? 24 : 0, colour);
    return b.u(1, 1).ue(chromaTop).ue(5);
  };
  const struct Row {
    Bits bits;
    std::vector<uint32_t> expected;  // sar_width, sar_height, colour_primaries, transfer, matrix
    Bits written;
  } rows[] = {{Bits().zeros(4), {0, 1, 2, 2, 2}, Bits().zeros(4)},       {head(13, 0x091009, 4), {160, 99, 9, 16, 9}, head(13, 0x091009, 4)},
              {head(17, 0, 4), {0, 1, 2, 2, 2}, head(17, 0, 4)},       {head(255, 0x010101, 259), {40, 33, 1, 1, 1}, head(255, 0x010101, 3)}};
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::PrintToString(row.bits.out));
    CommonVUI vui{};
    BitsReader r(row.bits.out.data(), row.bits.out.size());
    DecodeCommonVUI(vui, r);
    const ColourDescription c = GetColourDescription(vui);
    EXPECT_EQ((std::vector<uint32_t>{vui.sar_width, vui.sar_height, uint32_t(c.primaries), uint32_t(c.transfer), uint32_t(c.matrix)}), row.expected);
    H26xBitstreamBuilder b(false);
    AppendCommonVUI(vui, b);
    b.Flush();
    EXPECT_EQ(std::vector<uint8_t>(b.data(), b.data() + b.BytesInBuffer()), row.written.out);
  }
}

// A triple set into a head; one the host does not know leaves the head with a video signal type
// but no colour description.
TEST(CommonVUI, SetColourDescription) {
  CommonVUI signalled{};
  signalled.video_signal_type_present_flag = signalled.video_format = signalled.colour_description_present_flag = 1;
  signalled.colour_primaries = signalled.transfer_characteristics = signalled.matrix_coefficients = 6;
  const struct Row {
    CommonVUI before;
    uint32_t primaries, transfer, matrix;
    std::vector<int> expected;  // video_signal_type_present_flag, video_format, colour_description_present_flag, the three values
  } rows[] = {{CommonVUI{}, 1, 1, 1, {1, 5, 1, 1, 1, 1}}, {signalled, 1, 14, 9, {1, 1, 1, 1, 14, 9}}, {CommonVUI{}, 3, 1, 1, {1, 5, 0, 0, 0, 0}},
              {signalled, 1, 1, 3, {1, 1, 0, 6, 6, 6}},   {signalled, 1, 0x101, 1, {1, 1, 0, 6, 6, 6}}};
  for (const Row& row : rows) {
    CommonVUI vui = row.before;
    SetColourDescription(vui, {ColorPrimaries(row.primaries), TransferFunction(row.transfer), YCbCrMatrix(row.matrix)});
    EXPECT_EQ((std::vector<int>{vui.video_signal_type_present_flag, vui.video_format, vui.colour_description_present_flag,
                                vui.colour_primaries, vui.transfer_characteristics, vui.matrix_coefficients}),
              row.expected);
  }
}

}  // namespace
