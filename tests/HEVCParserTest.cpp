#include "Orvane/Proc/CodecParsers/HEVCParser.h"

#include <gtest/gtest.h>

#include "Orvane/Proc/CodecParsers/DecoderConfigurationRecords.h"
#include "Orvane/Proc/CodecParsers/HEVCCodecParams.h"
#include "Orvane/Proc/Data.h"
#include "support/BitstreamTestKit.h"
#include "support/HEVCTestUnits.h"

namespace {

using namespace Orvane::Proc::CodecParsers;
using codec_test::BasePPS;
using codec_test::BaseSPS;
using codec_test::BaseVPS;
using codec_test::Probe;
using Bytes = std::vector<uint8_t>;

ConstBlobPtr Blob(const Bytes& bytes) { return Orvane::Proc::BlobFF::Create(bytes.data(), bytes.size()); }
Bytes BytesOf(const ConstBlobPtr& blob) { return Bytes(blob->GetData(), blob->GetData() + blob->GetSize()); }
NALU View(const Bytes& bytes) { return {bytes.data(), bytes.size()}; }

std::vector<Bytes> Units(const std::vector<NALU>& nalus) {
  std::vector<Bytes> units;
  for (const NALU& n : nalus) units.emplace_back(n.data, n.data + n.size);
  return units;
}

const Bytes kVPS = BaseVPS().Bytes(), kSPS = BaseSPS().Bytes(), kPPS = BasePPS().Bytes();
const Bytes kSEI = {0x4E, 0x01, 0x05, 0x01, 0x80}, kAUD = {0x46, 0x01, 0x50};

// An hvcC record written field by field, independently of NalusToHVCC.
Bytes HvcC(const std::vector<std::pair<int, std::vector<Bytes>>>& arrays, int version = 1, int lengthSize = 4) {
  codec_test::Bits b;
  b.u(8, version).u(2, 0).u(1, 0).u(5, 1).u(32, 0x60000000).u(48, 0).u(8, 93);
  b.u(4, 15).u(12, 0).u(6, 63).u(2, 0).u(6, 63).u(2, 1).u(5, 31).u(3, 0).u(5, 31).u(3, 0);
  b.u(16, 0).u(2, 0).u(3, 1).u(1, 1).u(2, lengthSize - 1).u(8, arrays.size());
  for (const auto& [type, units] : arrays) {
    b.u(1, 0).u(1, 0).u(6, type).u(16, units.size());
    for (const Bytes& unit : units) b.u(16, unit.size()).bytes(unit);
  }
  return b.out;
}

TEST(HEVCParser, ReadsConfigurationsInEveryForm) {
  const Bytes annexB = [] {
    Bytes out;
    for (const Bytes* unit : {&kVPS, &kSPS, &kPPS}) {
      out.insert(out.end(), {0, 0, 0, 1});
      out.insert(out.end(), unit->begin(), unit->end());
    }
    return out;
  }();
  struct Row {
    const char* name;
    Bytes blob;
    std::optional<uint64_t> lengthSize;
    std::vector<Bytes> units;
  } rows[] = {
      {"hvcC", HvcC({{32, {kVPS}}, {33, {kSPS}}, {34, {kPPS}}}), 4, {kVPS, kSPS, kPPS}},
      {"hvcC with 2-byte lengths, arrays in any order", HvcC({{34, {kPPS}}, {32, {kVPS}}, {33, {kSPS}}}, 1, 2), 2,
       {kPPS, kVPS, kSPS}},
      {"hvcC with an SEI array", HvcC({{32, {kVPS}}, {33, {kSPS}}, {34, {kPPS}}, {39, {kSEI}}}), 4,
       {kVPS, kSPS, kPPS, kSEI}},
      {"Annex B", annexB, std::nullopt, {kVPS, kSPS, kPPS}},
      {"unusual configurationVersion is rebuilt", HvcC({{32, {kVPS}}, {33, {kSPS}}, {34, {kPPS}}}, 0, 1), 1,
       {kVPS, kSPS, kPPS}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const auto parser = HEVCParser::CreateFromCodecConfiguration(Blob(row.blob));
    EXPECT_TRUE(parser->forCodecConfig());
    EXPECT_EQ(parser->nalLengthSize(), row.lengthSize);
    EXPECT_EQ(Units(parser->nalus()), row.units);
    EXPECT_TRUE(parser->HasParameterSets());
    const auto ps = parser->GetParameterSets();
    EXPECT_EQ(ps->vps_list.size(), 1u);
    EXPECT_EQ(ps->sps_list.size(), 1u);
    EXPECT_EQ(ps->pps_list.size(), 1u);
  }
  // The rebuilt record is a version 1 record that the parser holds, not the caller's blob.
  const auto rebuilt = HEVCParser::CreateFromCodecConfiguration(Blob(HvcC({{32, {kVPS}}, {33, {kSPS}}, {34, {kPPS}}}, 0)));
  EXPECT_EQ(rebuilt->source()->GetData()[0], 1);
}

TEST(HEVCParser, RefusesBrokenConfigurations) {
  Bytes truncated = HvcC({{32, {kVPS}}, {33, {kSPS}}, {34, {kPPS}}});
  truncated.resize(truncated.size() - 1);
  Bytes unusualTruncated = truncated;
  unusualTruncated[0] = 0;
  struct Row {
    const char* name;
    Bytes blob;
    const char* message;
    const char* function;
  } rows[] = {
      {"empty", {}, "Not enougth data to determine hevc header type", "ParseCodecConfiguration"},
      {"three bytes, no record", {0, 0, 1}, "Not enougth data to determine header type", "ParseCodecConfigAsAnnexB"},
      {"unit type differs from its array's", HvcC({{32, {kVPS}}, {33, {kPPS}}}), "The hvcC header contains invalid data",
       "ParseHVCC"},
      {"zero-length unit", HvcC({{32, {Bytes{}}}}), "The hvcC header contains invalid data", "ParseHVCC"},
      {"truncated record", truncated, "End of stream", nullptr},
      {"unusual version without PPS", HvcC({{32, {kVPS}}, {33, {kSPS}}}, 0), "Unable determine hevc header type",
       "ParseCodecConfiguration"},
      {"unusual version, truncated", unusualTruncated, "Unable determine hevc header type",
       "ParseCodecConfiguration"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const auto failure = Probe([&] { HEVCParser::CreateFromCodecConfiguration(Blob(row.blob)); });
    ASSERT_TRUE(failure);
    EXPECT_TRUE(failure->bitstream);
    EXPECT_EQ(failure->message, row.message);
    if (row.function) {
      EXPECT_EQ(failure->function, row.function);
      EXPECT_EQ(failure->file, "Orvane/Proc/CodecParsers/H26xBitstreamParser");
    }
  }
  const auto config = HEVCParser::CreateFromCodecConfiguration(Blob(HvcC({{32, {kVPS}}})));
  const auto failure = Probe([&] { config->ParsePacketData(Blob({0, 0, 0, 1, 0x26}), 4); });
  ASSERT_TRUE(failure);
  EXPECT_EQ(failure->message, "The parser is not suitable for parsing packet data");
}

TEST(HEVCParser, PacketsArePictureClassified) {
  auto unit = [](int type) { return Bytes{uint8_t(type << 1), 0x01, 0xAF}; };
  struct Row {
    const char* name;
    std::vector<int> types;
    uint32_t flags;
  } rows[] = {
      {"AUD, SEI, CRA", {35, 39, 21}, 3},
      {"IDR_W_RADL", {19}, 7},
      {"IDR_N_LP after parameter sets", {32, 33, 34, 20}, 7},
      {"BLA", {16}, 3},
      {"trailing then RASL", {1, 8}, 24},
      {"RADL", {7}, 8},
      {"RASL before an IRAP decides", {9, 19}, 24},
      {"trailing only", {0, 1}, 0},
      {"nothing", {}, 0},
  };
  const auto config = HEVCParser::CreateFromCodecConfiguration(Blob(HvcC({{32, {kVPS}}, {33, {kSPS}}, {34, {kPPS}}})));
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Bytes packet;
    for (int type : row.types) {
      const Bytes u = unit(type);
      packet.insert(packet.end(), {0, 0, 0, uint8_t(u.size())});
      packet.insert(packet.end(), u.begin(), u.end());
    }
    const auto parsed = config->ParsePacket(Blob(packet));
    EXPECT_FALSE(parsed->forCodecConfig());
    EXPECT_EQ(parsed->nalLengthSize(), 4u);
    EXPECT_EQ(parsed->nalus().size(), row.types.size());
    EXPECT_EQ(parsed->GetPictureFlags(), row.flags);
  }
}

TEST(HEVCParser, HvcCRecordsRoundTrip) {
  const Bytes vps1 = BaseVPS().Set("vps_video_parameter_set_id", 1).Set("general_level_idc", 150).Bytes();
  struct Row {
    const char* name;
    std::vector<Bytes> input;
    uint64_t lengthSize;
    std::vector<Bytes> expected;  // the units in the record's order
  } rows[] = {
      {"parameter sets", {kVPS, kSPS, kPPS}, 4, {kVPS, kSPS, kPPS}},
      {"SEI goes last, AUD is left out", {kAUD, kSEI, kVPS, kSPS, kPPS}, 4, {kVPS, kSPS, kPPS, kSEI}},
      {"two VPS keep their order", {kVPS, vps1, kSPS, kPPS}, 1, {kVPS, vps1, kSPS, kPPS}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::vector<NALU> nalus;
    for (const Bytes& b : row.input) nalus.push_back(View(b));
    const Bytes record = BytesOf(NalusToHVCC(nalus, row.lengthSize));
    ASSERT_GE(record.size(), 23u);
    EXPECT_EQ(record[0], 1);
    EXPECT_EQ(record[12], 93);                       // level of the VPS with id 0
    EXPECT_EQ((record[21] & 3) + 1u, row.lengthSize);
    EXPECT_EQ(record[21] >> 3 & 7, 1);               // numTemporalLayers
    const auto parser = HEVCParser::CreateFromCodecConfiguration(Blob(record));
    EXPECT_EQ(parser->nalLengthSize(), row.lengthSize);
    EXPECT_EQ(Units(parser->nalus()), row.expected);
  }
  // Arrays begin with array_completeness 0 and their type.
  std::vector<NALU> withSEI = {View(kVPS), View(kSPS), View(kPPS), View(kSEI)};
  const Bytes record = BytesOf(NalusToHVCC(withSEI, 4));
  EXPECT_EQ(record[22], 4);
  EXPECT_EQ(record[23], 0x20);
}

TEST(HEVCParser, HvcCRecordLimits) {
  std::vector<NALU> base = {View(kVPS), View(kSPS), View(kPPS)};
  const Bytes bigSEI = [] {
    Bytes b = {0x4E, 0x01};
    b.resize(65536, 0x80);
    return b;
  }();
  struct Row {
    const char* name;
    std::vector<NALU> nalus;
    const char* message;
    const char* function;
  } rows[] = {
      {"no PPS", {View(kVPS), View(kSPS)}, "No vps or sps or pps found!", "NalusToHVCC"},
      {"16 VPS", std::vector<NALU>(16, View(kVPS)), "VPS count is too high", "NalusToHVCC"},
      {"unit above 65535 bytes", {View(kVPS), View(kSPS), View(kPPS), View(bigSEI)}, "NALU length is too high",
       "operator ()"},
  };
  rows[1].nalus.push_back(View(kSPS));
  rows[1].nalus.push_back(View(kPPS));
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const auto failure = Probe([&] { NalusToHVCC(row.nalus, 4); });
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->message, row.message);
    EXPECT_EQ(failure->function, row.function);
  }
  // 15 of each kind still fit.
  std::vector<NALU> fifteen;
  for (int i = 0; i < 15; ++i) fifteen.insert(fifteen.end(), base.begin(), base.end());
  EXPECT_FALSE(Probe([&] { NalusToHVCC(fifteen, 4); }));
}

}  // namespace
