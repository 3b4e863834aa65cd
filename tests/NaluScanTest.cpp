#include <gtest/gtest.h>

#include <random>

#include "Orvane/Proc/CodecParsers/H26xBitstreamParser.h"
#include "Orvane/Proc/CodecParsers/ZeroZeroSearch.h"
#include "support/BitstreamTestKit.h"

namespace {

using codec_test::Probe;
using namespace Orvane::Proc::CodecParsers;
using Bytes = std::vector<uint8_t>;

constexpr char kUnit[] = "Orvane/Proc/CodecParsers/H26xBitstreamParser";

std::vector<Bytes> Units(const std::vector<NALU>& nalus) {
  std::vector<Bytes> units;
  for (const NALU& n : nalus) units.emplace_back(n.data, n.data + n.size);
  return units;
}

std::vector<Bytes> AnnexB(const Bytes& stream) {
  std::vector<NALU> nalus;
  FindAnnexBNalus(stream.data(), stream.size(), nalus);
  for (const NALU& n : nalus) EXPECT_GE(n.size, 1u);
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
      {"adjacent start codes give no empty unit", {0, 0, 1, 0, 0, 1, 0x65}, {{0x65}}},
      {"adjacent four-byte start codes", {0, 0, 0, 1, 0, 0, 0, 1, 0x65}, {{0x65}}},
      {"only one zero belongs to the start code", {0, 0, 1, 0x65, 0, 0, 0, 0, 1, 0x41}, {{0x65, 0}, {0x41}}},
      {"trailing zeros stay with the last unit", {0, 0, 1, 0x65, 0x88, 0, 0}, {{0x65, 0x88, 0, 0}}},
      {"start code at the very end", {0, 0, 1, 0x65, 0, 0, 1}, {{0x65}}},
      {"four-byte start code at the very end", {0, 0, 1, 0x65, 0, 0, 0, 1}, {{0x65}}},
      {"start code alone", {0, 0, 1}, {}},
      {"no start code", {0x65, 0, 0, 2, 0x41, 0, 0}, {}},
      {"empty", {}, {}},
      {"00 00 03 inside a unit", {0, 0, 1, 0x65, 0, 0, 3, 1, 0x22}, {{0x65, 0, 0, 3, 1, 0x22}}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(AnnexB(row.stream), row.expected);
  }
}

TEST(FindAnnexBNalus, AppendsToWhatIsThere) {
  const Bytes stream = {0, 0, 1, 0x65};
  std::vector<NALU> nalus = {{stream.data(), 1}};
  FindAnnexBNalus(stream.data(), stream.size(), nalus);
  ASSERT_EQ(nalus.size(), 2u);
  EXPECT_EQ(nalus[1].data, stream.data() + 3);
  EXPECT_EQ(nalus[1].size, 1u);
}

// Streams of random units, start codes at every alignment relative to the vector search, cut
// back exactly as they were put together.
TEST(FindAnnexBNalus, FindsEveryUnitOfALongStream) {
  std::mt19937 rng(13);
  for (int round = 0; round < 300; ++round) {
    Bytes stream;
    std::vector<Bytes> units;
    for (int i = 0, n = 1 + static_cast<int>(rng() % 40); i < n; ++i) {
      if (rng() % 2) stream.push_back(0);
      stream.insert(stream.end(), {0, 0, 1});
      Bytes unit(1 + rng() % 80);
      // Units are made so that they hold no 00 00 0x (x <= 3) and do not end in 00.
      for (size_t k = 0; k < unit.size(); ++k) {
        const uint8_t b = rng() % 3 == 0 ? 0 : static_cast<uint8_t>(rng());
        const bool afterTwoZeros = k >= 2 && unit[k - 1] == 0 && unit[k - 2] == 0;
        unit[k] = afterTwoZeros && b <= 3 ? 0x80 : b;
      }
      if (unit.back() == 0) unit.back() = 0x80;
      stream.insert(stream.end(), unit.begin(), unit.end());
      units.push_back(unit);
    }
    ASSERT_EQ(AnnexB(stream), units) << "round " << round;
  }
}

TEST(ZeroZeroSearch, VectorAndPortableFormsAgree) {
  std::mt19937 rng(17);
  for (int round = 0; round < 3000; ++round) {
    Bytes bytes(rng() % 120);
    for (auto& b : bytes) b = rng() % 4 == 0 ? static_cast<uint8_t>(rng()) : static_cast<uint8_t>(rng() % 4);
    const uint8_t third = rng() % 2 ? 0x01 : 0x03;
    const size_t from = bytes.empty() ? 0 : rng() % bytes.size();
    const uint8_t* begin = bytes.data() + from;
    const uint8_t* end = bytes.data() + bytes.size();
    const uint8_t* expected = end;
    for (const uint8_t* p = begin; end - p >= 3; ++p) {
      if (p[0] == 0 && p[1] == 0 && p[2] == third) { expected = p; break; }
    }
    ASSERT_EQ(detail::FindZeroZero(begin, end, third), expected) << "round " << round;
    ASSERT_EQ(detail::FindZeroZeroPortable(begin, end, third), expected) << "round " << round;
  }
}

TEST(FindMP4Nalus, Cases) {
  struct Row {
    const char* name;
    Bytes stream;
    uint64_t lengthSize;
    std::vector<Bytes> expected;
    const char* message = nullptr;  // a failure, after the units in `expected`
    const char* file = "";
    const char* function = "";
  };
  const char* reader = "Orvane/Proc/CodecParsers/BitsReader";
  Bytes long255 = {255};
  long255.resize(256, 0x41);
  const std::vector<Row> rows = {
      {"four-byte lengths", {0, 0, 0, 2, 0x65, 0x88, 0, 0, 0, 1, 0x41}, 4, {{0x65, 0x88}, {0x41}}},
      {"three-byte lengths", {0, 0, 2, 0x65, 0x88}, 3, {{0x65, 0x88}}},
      {"two-byte lengths", {0, 1, 0x65, 0, 1, 0x41}, 2, {{0x65}, {0x41}}},
      {"one-byte length of 255", long255, 1, {Bytes(255, 0x41)}},
      {"empty", {}, 4, {}},
      {"zero length", {0, 0, 0, 1, 0x65, 0, 0, 0, 0, 0x41}, 4, {{0x65}}, "The MP4 packet contains zero NALU length", kUnit,
       "FindMP4Nalus"},
      {"length past the end", {0, 0, 0, 3, 0x65, 0x88}, 4, {}, "End of stream", reader, "ShowBytes"},
      {"cut inside a length field", {0, 0, 0, 1, 0x65, 0, 0}, 4, {{0x65}}, "End of stream", reader, "ShowBits"},
      {"largest length", {0xFF, 0xFF, 0xFF, 0xFF, 0x65}, 4, {}, "End of stream", reader, "ShowBytes"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::vector<NALU> nalus;
    const auto f = Probe([&] { FindMP4Nalus(row.stream.data(), row.stream.size(), nalus, row.lengthSize); });
    EXPECT_EQ(Units(nalus), row.expected);
    if (row.message == nullptr) {
      EXPECT_FALSE(f.has_value());
      continue;
    }
    ASSERT_TRUE(f.has_value());
    EXPECT_TRUE(f->bitstream);
    EXPECT_EQ(f->message, row.message);
    EXPECT_EQ(f->file, row.file);
    EXPECT_EQ(f->function, row.function);
  }
}

TEST(HEVCNaluTypeName, Names) {
  struct Row {
    uint32_t type;
    const char* expected;
  };
  const std::vector<Row> rows = {{0, "TRAIL_N"},          {13, "RSV_VLC_R13"},   {14, "RSV_VCL_N14"},
                                 {19, "IDR_W_RADL"},      {21, "CRA_NUT"},       {33, "SPS_NUT"},
                                 {39, "PREFIX_SEI_NUT"},  {47, "RSV_NVCL47"},    {48, "UNSPEC48"},
                                 {63, "UNSPEC63"},        {64, ""},              {0xFFFFFFFF, ""}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.type);
    EXPECT_EQ(HEVCNaluTypeName(row.type), row.expected);
  }
}

TEST(NaluLookups, ByType) {
  // H.264: SPS, PPS, IDR slice, SPS; in between an empty record, whose header must not be read,
  // pointing at a byte that would read as type 0.
  const Bytes h264 = {0x67, 0x00, 0x68, 0x65, 0x27};
  const std::vector<NALU> h264Units = {{h264.data(), 1}, {h264.data() + 1, 0}, {h264.data() + 2, 1},
                                       {h264.data() + 3, 1}, {h264.data() + 4, 1}};
  // H.265: VPS, SPS with the top bit of nuh_layer_id set, PPS.
  const Bytes hevc = {0x40, 0x01, 0x43, 0x01, 0x44, 0x01};
  const std::vector<NALU> hevcUnits = {{hevc.data(), 2}, {hevc.data() + 2, 2}, {hevc.data() + 4, 2}};

  EXPECT_EQ(GetFirstNALU(h264Units, NaluCodec::H264, 7).data, h264.data());
  EXPECT_EQ(GetFirstNALU(h264Units, NaluCodec::H264, 8).data, h264.data() + 2);
  EXPECT_EQ(GetFirstNALU(hevcUnits, NaluCodec::HEVC, 33).data, hevc.data() + 2);
  EXPECT_EQ(GetNALUs(h264Units, NaluCodec::H264, 7).size(), 2u);
  EXPECT_EQ(GetNALUs(h264Units, NaluCodec::H264, 7)[1].data, h264.data() + 4);
  EXPECT_TRUE(GetNALUs(h264Units, NaluCodec::H264, 0).empty());
  EXPECT_TRUE(GetNALUs(hevcUnits, NaluCodec::HEVC, 39).empty());

  struct Row {
    const char* name;
    const std::vector<NALU>* nalus;
    NaluCodec codec;
    uint32_t type;
    const char* message;
  };
  const std::vector<Row> rows = {
      {"H.264 type as a number", &hevcUnits, NaluCodec::H264, 7, "Can't find nalu of type 7"},
      {"H.264 type 0 matches no empty record", &h264Units, NaluCodec::H264, 0, "Can't find nalu of type 0"},
      {"H.265 type by name", &h264Units, NaluCodec::HEVC, 33, "Can't find nalu of type SPS_NUT"},
      {"H.265 type without a name", &hevcUnits, NaluCodec::HEVC, 64, "Can't find nalu of type "},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const auto f = Probe([&] { GetFirstNALU(*row.nalus, row.codec, row.type); });
    ASSERT_TRUE(f.has_value());
    EXPECT_TRUE(f->bitstream);
    EXPECT_EQ(f->message, row.message);
    EXPECT_EQ(f->function, "GetFirstNALU");
    EXPECT_EQ(f->file, kUnit);
  }
}

}  // namespace
