#include <gtest/gtest.h>

#include <optional>
#include <tuple>

#include "Orvane/Proc/CodecParsers/H26xBitstreamParser.h"
#include "support/BitstreamTestKit.h"
#include "support/FramingKit.h"

namespace {

using namespace codec_test;
using namespace Orvane::Proc::CodecParsers;

// Streams cut into their NAL units, behind start codes or behind lengths of 1 to 4 bytes, and the
// refusals of length-prefixed ones (the units found before a failure stay).
TEST(NaluScan, StreamsCutIntoUnits) {
  Bytes long255(256, 0x41);
  long255[0] = 255;
  const std::optional<uint64_t> startCodes;
  const struct Row {
    const char* name;
    Bytes stream;
    std::optional<uint64_t> lengthSize;
    Units expected;
    std::string failure = "";  // message in function
  } rows[] = {
      {"four- and three-byte start codes", {0, 0, 0, 1, 0x67, 0xAA, 0, 0, 1, 0x68, 0xBB}, startCodes, {{0x67, 0xAA}, {0x68, 0xBB}}},
      {"leading garbage dropped", {0x11, 0x22, 0, 0, 1, 0x65}, startCodes, {{0x65}}},
      {"adjacent start codes", {0, 0, 1, 0, 0, 0, 1, 0x65}, startCodes, {{0x65}}},
      {"one zero belongs to the start code, others to the unit", {0, 0, 1, 0x65, 0, 0, 0, 0, 1, 0x41, 0, 0}, startCodes,
       {{0x65, 0}, {0x41, 0, 0}}},
      {"start code at the very end", {0, 0, 1, 0x65, 0, 0, 0, 1}, startCodes, {{0x65}}},
      {"no start code", {0x65, 0, 0, 2, 0x41, 0, 0}, startCodes, {}},
      {"empty", {}, startCodes, {}},
      {"one-byte length of 255", long255, 1, {Bytes(255, 0x41)}},
      {"length size 0", {0, 1, 0x65}, 0, {}, "Invalid NAL length size in FindMP4Nalus"},
      {"zero length", {0, 0, 0, 1, 0x65, 0, 0, 0, 0, 0x41}, 4, {{0x65}}, "The MP4 packet contains zero NALU length in FindMP4Nalus"},
      {"largest length", {0xFF, 0xFF, 0xFF, 0xFF, 0x65}, 4, {}, "End of stream in ShowBytes"},
      {"cut inside a length field", {0, 0, 0, 1, 0x65, 0, 0}, 4, {{0x65}}, "End of stream in ShowBits"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::vector<NALU> nalus;
    const auto f = Probe([&] {
      if (row.lengthSize) FindMP4Nalus(row.stream.data(), row.stream.size(), nalus, *row.lengthSize);
      else FindAnnexBNalus(row.stream.data(), row.stream.size(), nalus);
    });
    EXPECT_EQ(UnitsOf(nalus), row.expected);
    EXPECT_EQ(f ? f->message + " in " + f->function : "", row.failure);
    EXPECT_TRUE(!f || f->bitstream);
  }
}

// Names of H.265 types, and the lookups by type of the stream parsers: an empty record, whose
// header must not be read, points at a byte that would read as H.264 type 0.
TEST(NaluTypes, NamesAndLookups) {
  const std::vector<std::pair<uint32_t, const char*>> names = {{0, "TRAIL_N"}, {13, "RSV_VLC_R13"}, {47, "RSV_NVCL47"}, {48, "UNSPEC48"}, {64, ""}};
  for (const auto& [type, name] : names) EXPECT_EQ(HEVCNaluTypeName(type), name) << type;
  const Bytes h264 = {0x67, 0x00, 0x68, 0x27};
  const std::vector<NALU> units = {{&h264[0], 1}, {&h264[1], 0}, {&h264[2], 1}, {&h264[3], 1}};
  EXPECT_EQ(UnitsOf(GetNALUs(units, NaluCodec::H264, 7)), (Units{{0x67}, {0x27}}));
  EXPECT_EQ(GetFirstNALU(units, NaluCodec::HEVC, 19).data, &h264[3]);  // 0x27 >> 1 & 63
  for (const auto& [codec, type, message] : {std::tuple{NaluCodec::H264, 0u, "Can't find nalu of type 0"},
                                             std::tuple{NaluCodec::HEVC, 33u, "Can't find nalu of type SPS_NUT"}}) {
    const auto f = Probe([&units, codec = codec, type = type] { GetFirstNALU(units, codec, type); });
    EXPECT_EQ(f ? f->message + " in " + f->function : "", std::string(message) + " in GetFirstNALU");
  }
}

}  // namespace
