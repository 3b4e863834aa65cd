#include "Orvane/Proc/CodecParsers/HEVCParser.h"

#include <gtest/gtest.h>

#include <tuple>

#include "Orvane/Proc/CodecParsers/DecoderConfigurationRecords.h"
#include "Orvane/Proc/CodecParsers/HEVCCodecParams.h"
#include "Orvane/Proc/Data.h"
#include "support/FramingKit.h"
#include "support/HEVCTestUnits.h"

namespace {

using namespace Orvane::Proc::CodecParsers;
using namespace codec_test;

const Bytes kVPS = BaseVPS().Bytes(), kSPS = BaseSPS().Bytes(), kPPS = BasePPS().Bytes();
const Bytes kSEI = {0x4E, 0x01, 0x05, 0x01, 0x80}, kAUD = {0x46, 0x01, 0x50};

// An hvcC record written field by field, independently of NalusToHVCC.
Bytes HvcC(const std::vector<std::pair<int, Units>>& arrays, int version = 1, int lengthSize = 4) {
  Bits b;
  b.u(8, version).u(8, 1).u(32, 0x60000000).u(48, 0x900000000000).u(8, 93).u(16, 0xF000).u(16, 0xFCFD).u(16, 0xF8F8).u(16, 0);
  b.u(5, 1).u(1, 1).u(2, lengthSize - 1).u(8, arrays.size());
  for (const auto& [type, units] : arrays) {
    b.u(2, 0).u(6, type).u(16, units.size());
    for (const Bytes& unit : units) b.u(16, unit.size()).bytes(unit);
  }
  return b.out;
}

TEST(HEVCParser, ReadsConfigurations) {
  const Bytes annexB = AnnexB({BaseVPS(), BaseSPS(), BasePPS()});
  Bytes truncated = HvcC({{32, {kVPS}}, {33, {kSPS}}, {34, {kPPS}}});
  truncated.pop_back();
  const struct Row {
    const char* name;
    Bytes blob;
    std::optional<uint64_t> lengthSize;
    Units units;
    std::string failure = "";  // message in function
  } rows[] = {
      {"hvcC with 2-byte lengths, arrays in any order", HvcC({{34, {kPPS}}, {32, {kVPS}}, {33, {kSPS}}}, 1, 2), 2, {kPPS, kVPS, kSPS}},
      {"hvcC with an SEI array", HvcC({{32, {kVPS}}, {33, {kSPS}}, {34, {kPPS}}, {39, {kSEI}}}), 4, {kVPS, kSPS, kPPS, kSEI}},
      {"Annex B", annexB, std::nullopt, {kVPS, kSPS, kPPS}},
      {"unusual configurationVersion, rebuilt", HvcC({{32, {kVPS}}, {33, {kSPS}}, {34, {kPPS}}}, 0, 1), 1, {kVPS, kSPS, kPPS}},
      {"empty", {}, 0, {}, "Not enougth data to determine hevc header type in ParseCodecConfiguration"},
      {"unit type differs from its array's", HvcC({{32, {kVPS}}, {33, {kPPS}}}), 0, {}, "The hvcC header contains invalid data in ParseHVCC"},
      {"zero-length unit", HvcC({{32, {Bytes{}}}}), 0, {}, "The hvcC header contains invalid data in ParseHVCC"},
      {"truncated record", truncated, 0, {}, "End of stream in ShowBytes"},
      {"unusual version without PPS", HvcC({{32, {kVPS}}, {33, {kSPS}}}, 0), 0, {},
       "Unable determine hevc header type in ParseCodecConfiguration"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    std::shared_ptr<HEVCParser> parser;
    const auto failure = Probe([&] { parser = HEVCParser::CreateFromCodecConfiguration(Blob(row.blob)); });
    EXPECT_EQ(failure ? failure->message + " in " + failure->function : "", row.failure);
    if (failure) continue;
    EXPECT_EQ(parser->nalLengthSize(), row.lengthSize);
    EXPECT_EQ(UnitsOf(parser->nalus()), row.units);
    EXPECT_EQ(parser->source()->GetData()[0], row.lengthSize ? 1 : 0);  // a rebuilt record is version 1
    const auto ps = parser->GetParameterSets();
    EXPECT_EQ(ps->vps_list.size() + ps->sps_list.size() + ps->pps_list.size(), 3u);
  }
  const auto sei = HEVCParser::CreateFromCodecConfiguration(Blob(HvcC({{39, {kSEI}}})));
  EXPECT_FALSE(sei->HasParameterSets());
}

// NalusToHVCC read back by the parser: VPS, SPS, PPS and SEI arrays in that order, profile and
// level from the VPS with id 0; and the limits of the record.
TEST(HEVCParser, HvcCRecords) {
  const Bytes vps1 = BaseVPS().Set("vps_video_parameter_set_id", 1).Set("general_level_idc", 150).Bytes();
  const Bytes bigSEI = [] { Bytes b = {0x4E, 0x01}; b.resize(65536, 0x80); return b; }();
  const std::vector<std::tuple<Units, Units, std::string>> rows = {
      {{kAUD, kSEI, vps1, kVPS, kSPS, kPPS}, {vps1, kVPS, kSPS, kPPS, kSEI}, ""},
      {[] { Units v(16, kVPS); v.insert(v.end(), {kSPS, kPPS}); return v; }(), {}, "VPS count is too high in NalusToHVCC"},
      {{kVPS, kSPS, kPPS, bigSEI}, {}, "NALU length is too high in operator ()"},
      {{}, {}, "Invalid NAL length size in NalusToHVCC"}};  // with 5-byte lengths
  for (const auto& [input, expected, failure] : rows) {
    const std::vector<NALU> nalus = Views(input);
    Orvane::BlobPtr blob;
    const auto f = Probe([&] { blob = NalusToHVCC(nalus, nalus.empty() ? 5 : 2); });
    EXPECT_EQ(f ? f->message + " in " + f->function : "", failure);
    if (f) continue;
    const Bytes record(blob->GetData(), blob->GetData() + blob->GetSize()), head = HvcC({}, 1, 2);
    EXPECT_EQ(Bytes(record.begin(), record.begin() + 22), Bytes(head.begin(), head.end() - 1));
    EXPECT_EQ(UnitsOf(HEVCParser::CreateFromCodecConfiguration(Blob(record))->nalus()), expected);
  }
}

}  // namespace
