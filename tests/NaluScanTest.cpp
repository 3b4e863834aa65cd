#include <gtest/gtest.h>

#include <random>
#include <tuple>

#include "Orvane/Proc/CodecParsers/H26xBitstreamParser.h"
#include "support/BitstreamTestKit.h"

namespace {

using codec_test::Probe;
using namespace Orvane::Proc::CodecParsers;
using Bytes = std::vector<uint8_t>;

std::vector<Bytes> Units(const std::vector<NALU>& nalus) {
  std::vector<Bytes> units;
  for (const NALU& n : nalus) units.emplace_back(n.data, n.data + n.size);
  return units;
}

std::vector<Bytes> AnnexB(const Bytes& stream) {
  std::vector<NALU> nalus;
  FindAnnexBNalus(stream.data(), stream.size(), nalus);
  return Units(nalus);
}

TEST(FindAnnexBNalus, Cases) {
  struct Row {
    const char* name;
    Bytes stream;
    std::vector<Bytes> expected;
  };
  const std::vector<Row> rows = {
      {"four- and three-byte start codes", {0, 0, 0, 1, 0x67, 0xAA, 0, 0, 1, 0x68, 0xBB}, {{0x67, 0xAA}, {0x68, 0xBB}}},
      {"leading garbage dropped", {0x11, 0x22, 0, 0, 1, 0x65}, {{0x65}}},
      {"adjacent start codes", {0, 0, 1, 0, 0, 0, 1, 0x65}, {{0x65}}},
      {"one zero belongs to the start code", {0, 0, 1, 0x65, 0, 0, 0, 0, 1, 0x41}, {{0x65, 0}, {0x41}}},
      {"trailing zeros stay with the last unit", {0, 0, 1, 0x65, 0x88, 0, 0}, {{0x65, 0x88, 0, 0}}},
      {"start code at the very end", {0, 0, 1, 0x65, 0, 0, 0, 1}, {{0x65}}},
      {"start code alone", {0, 0, 1}, {}},
      {"no start code", {0x65, 0, 0, 2, 0x41, 0, 0}, {}},
      {"empty", {}, {}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(AnnexB(row.stream), row.expected);
  }
}

// Streams of random units, so that start codes fall at every place relative to the vector
// search's steps, cut back exactly as they were put together.
TEST(FindAnnexBNalus, FindsEveryUnitOfALongStream) {
  std::mt19937 rng(13);
  for (int round = 0; round < 300; ++round) {
    Bytes stream;
    std::vector<Bytes> units(1 + rng() % 40);
    for (Bytes& unit : units) {
      stream.insert(stream.end(), {0, 0, 1});
      if (rng() % 2) stream.insert(stream.end() - 3, 0);
      // Units hold no 00 00 0x (x <= 3) and do not end in 00, as in a real stream.
      unit.resize(1 + rng() % 80);
      for (size_t k = 0; k < unit.size(); ++k) {
        unit[k] = rng() % 3 == 0 ? 0 : static_cast<uint8_t>(rng());
        if (k >= 2 && unit[k - 1] == 0 && unit[k - 2] == 0 && unit[k] <= 3) unit[k] = 0x80;
      }
      if (unit.back() == 0) unit.back() = 0x80;
      stream.insert(stream.end(), unit.begin(), unit.end());
    }
    ASSERT_EQ(AnnexB(stream), units) << "round " << round;
  }
}

TEST(FindMP4Nalus, Cases) {
  struct Row {
    const char* name;
    Bytes stream;
    uint64_t lengthSize;
    std::vector<Bytes> expected;   // before the failure, if any
    const char* function = "";     // that recorded the failure
    const char* message = "End of stream";
  };
  Bytes long255(256, 0x41);
  long255[0] = 255;
  const std::vector<Row> rows = {
      {"four-byte lengths", {0, 0, 0, 2, 0x65, 0x88, 0, 0, 0, 1, 0x41}, 4, {{0x65, 0x88}, {0x41}}},
      {"three-byte lengths", {0, 0, 2, 0x65, 0x88}, 3, {{0x65, 0x88}}},
      {"two-byte lengths", {0, 1, 0x65, 0, 1, 0x41}, 2, {{0x65}, {0x41}}},
      {"one-byte length of 255", long255, 1, {Bytes(255, 0x41)}},
      {"empty", {}, 4, {}},
      {"zero length", {0, 0, 0, 1, 0x65, 0, 0, 0, 0, 0x41}, 4, {{0x65}}, "FindMP4Nalus", "The MP4 packet contains zero NALU length"},
      {"length past the end", {0, 0, 0, 3, 0x65, 0x88}, 4, {}, "ShowBytes"},
      {"largest length", {0xFF, 0xFF, 0xFF, 0xFF, 0x65}, 4, {}, "ShowBytes"},
      {"cut inside a length field", {0, 0, 0, 1, 0x65, 0, 0}, 4, {{0x65}}, "ShowBits"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::vector<NALU> nalus;
    const auto f = Probe([&] { FindMP4Nalus(row.stream.data(), row.stream.size(), nalus, row.lengthSize); });
    EXPECT_EQ(Units(nalus), row.expected);
    ASSERT_EQ(f.has_value(), *row.function != 0);
    if (!f) continue;
    EXPECT_TRUE(f->bitstream);
    EXPECT_EQ(f->message, row.message);
    EXPECT_EQ(f->function, row.function);
    EXPECT_EQ(f->file, std::string("Orvane/Proc/CodecParsers/") +
                           (f->function == "FindMP4Nalus" ? "H26xBitstreamParser" : "BitsReader"));
  }
}

TEST(NaluTypes, HEVCNames) {
  const std::vector<std::pair<uint32_t, const char*>> rows = {
      {0, "TRAIL_N"}, {13, "RSV_VLC_R13"}, {14, "RSV_VCL_N14"}, {21, "CRA_NUT"}, {33, "SPS_NUT"},
      {47, "RSV_NVCL47"}, {48, "UNSPEC48"}, {63, "UNSPEC63"}, {64, ""}, {0xFFFFFFFF, ""}};
  for (const auto& [type, name] : rows) EXPECT_EQ(HEVCNaluTypeName(type), name) << type;
}

TEST(NaluTypes, Lookups) {
  // H.264 SPS, PPS, SPS, with an empty record, whose header must not be read, pointing at a byte
  // that would read as type 0; H.265 VPS, then SPS with the top bit of nuh_layer_id set.
  const Bytes h264 = {0x67, 0x00, 0x68, 0x27}, hevc = {0x40, 0x01, 0x43, 0x01};
  const std::vector<NALU> h264Units = {{&h264[0], 1}, {&h264[1], 0}, {&h264[2], 1}, {&h264[3], 1}};
  const std::vector<NALU> hevcUnits = {{&hevc[0], 2}, {&hevc[2], 2}};
  EXPECT_EQ(GetFirstNALU(hevcUnits, NaluCodec::HEVC, 33).data, &hevc[2]);
  const std::vector<NALU> sps = GetNALUs(h264Units, NaluCodec::H264, 7);
  EXPECT_TRUE(sps.size() == 2 && sps[0].data == &h264[0] && sps[1].data == &h264[3]);
  EXPECT_TRUE(GetNALUs(h264Units, NaluCodec::H264, 0).empty());
  const std::vector<std::tuple<const std::vector<NALU>*, NaluCodec, uint32_t, const char*>> rows = {
      {&hevcUnits, NaluCodec::H264, 7, "Can't find nalu of type 7"},
      {&h264Units, NaluCodec::H264, 0, "Can't find nalu of type 0"},
      {&h264Units, NaluCodec::HEVC, 33, "Can't find nalu of type SPS_NUT"},
      {&hevcUnits, NaluCodec::HEVC, 64, "Can't find nalu of type "}};
  for (const auto& [nalus, codec, type, message] : rows) {
    SCOPED_TRACE(message);
    const auto f = Probe([&units = *nalus, codec = codec, type = type] { GetFirstNALU(units, codec, type); });
    ASSERT_TRUE(f.has_value());
    EXPECT_TRUE(f->bitstream);
    EXPECT_EQ(f->message, message);
    EXPECT_EQ(f->function, "GetFirstNALU");
    EXPECT_EQ(f->file, "Orvane/Proc/CodecParsers/H26xBitstreamParser");
  }
}

}  // namespace
