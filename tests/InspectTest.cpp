// h26x-inspect end to end: the same units listed alike whether the stream is raw, in MP4 or in
// MPEG-TS (the containers made by FFmpeg), refused units listed with the decoders' own message,
// H.264 parameter sets, and the exit statuses.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <set>

#include <nlohmann/json.hpp>

#include "Orvane/Proc/CodecParsers/H264CodecParams.h"
#include "Orvane/Proc/CodecParsers/HEVCCodecParams.h"
#include "support/BitstreamTestKit.h"
#include "support/HEVCStreams.h"
#include "support/HostFakes.h"

namespace {

using namespace testing_support;
using Json = nlohmann::json;

const std::filesystem::path kStream = std::filesystem::path(HEVC_TEST_DATA) / "open_gop_cra.hevc";

std::string Quote(const std::filesystem::path& p) { return "'" + p.string() + "'"; }

int Status(const std::string& arguments) {
  return std::stoi(RunCommand(std::string(INSPECT_PATH) + " " + arguments + " >/dev/null 2>&1; echo $?"));
}

Json Listing(const std::filesystem::path& input) {
  return Json::parse(RunCommand(std::string(INSPECT_PATH) + " --json " + Quote(input)));
}

// The fields of the slices in order, and the distinct parameter sets: what every framing of the
// same stream must list alike, whatever parameter sets a container repeats.
std::pair<std::vector<Json>, std::set<std::string>> Decoded(const Json& listing) {
  std::pair<std::vector<Json>, std::set<std::string>> decoded;
  for (const Json& unit : listing["nal_units"]) {
    EXPECT_FALSE(unit.contains("error")) << unit.dump();
    const uint32_t type = unit["nal_unit_type"];
    if (type < 32 && unit.contains("fields")) decoded.first.push_back(unit["fields"]);
    if (type >= 32 && type <= 34) decoded.second.insert(unit["fields"].dump());
  }
  return decoded;
}

TEST(Inspect, RawMp4AndTransportStreamListTheSameFields) {
  TempDir dir;
  RunCommand("ffmpeg -nostdin -loglevel error -r 25 -i " + Quote(kStream) + " -c copy " + Quote(dir / "s.mp4"));
  RunCommand("ffmpeg -nostdin -loglevel error -i " + Quote(dir / "s.mp4") + " -c copy " + Quote(dir / "s.ts"));
  const Json raw = Listing(kStream);
  EXPECT_EQ(raw["codec"], "h265");
  EXPECT_EQ(raw["nal_units"].size(), codec_test::CountAnnexBNalus(codec_test::ReadFile(kStream)));
  const auto expected = Decoded(raw);
  EXPECT_EQ(expected.first.size(), 17u);  // every slice, with its header
  EXPECT_EQ(expected.second.size(), 3u);
  for (const char* name : {"s.mp4", "s.ts"}) {
    SCOPED_TRACE(name);
    const Json listing = Listing(dir / name);
    EXPECT_EQ(listing["codec"], "h265");
    EXPECT_EQ(Decoded(listing), expected);
  }
}

// H.264: every slice (decoded against the parameter sets in force), SEI unit and parameter set has
// fields.
TEST(Inspect, H264SlicesAndSEIAreListed) {
  const Json listing = Listing(std::filesystem::path(H264_TEST_DATA) / "hdr_sei.h264");
  std::map<uint32_t, int> listed;
  for (const Json& unit : listing["nal_units"]) {
    EXPECT_FALSE(unit.contains("error")) << unit.dump();
    if (unit.contains("fields")) ++listed[unit["nal_unit_type"]];
  }
  EXPECT_EQ(listed, (std::map<uint32_t, int>{{1, 5}, {5, 1}, {6, 10}, {7, 1}, {8, 1}}));
}

TEST(Inspect, ARefusedUnitIsListedWithTheDecodersMessageAndTheListingGoesOn) {
  TempDir dir;
  // An SPS cut after its first bytes, in front of the stream's own.
  const std::vector<uint8_t> cut = {0, 0, 0, 1, 0x42, 0x01, 0x01, 0x01};
  std::vector<uint8_t> bytes = codec_test::ReadFile(kStream);
  bytes.insert(bytes.begin(), cut.begin(), cut.end());
  std::ofstream(dir / "cut.hevc", std::ios::binary).write(reinterpret_cast<const char*>(bytes.data()), bytes.size());

  Orvane::Proc::CodecParsers::HEVC_PS ps;
  const auto failure = codec_test::Probe([&] { ps.AddNALU({cut.data() + 4, cut.size() - 4}); });
  ASSERT_TRUE(failure && failure->bitstream);
  const std::string message = failure->message;
  const Json listing = Listing(dir / "cut.hevc");
  ASSERT_EQ(listing["nal_units"].size(), codec_test::CountAnnexBNalus(bytes));
  EXPECT_EQ(listing["nal_units"][0]["error"], message);
  EXPECT_FALSE(listing["nal_units"][0].contains("fields"));
  EXPECT_EQ(Decoded(Json{{"nal_units", Json(listing["nal_units"].begin() + 1, listing["nal_units"].end())}}),
            Decoded(Listing(kStream)));
}

// An H.264 stream, raw and in MP4 (its parameter sets in the avcC record there): every unit named by
// its type, and the same SPS and PPS fields in both.
TEST(Inspect, H264ParameterSetsRawAndInMp4) {
  TempDir dir;
  const std::filesystem::path raw = std::filesystem::path(H264_TEST_DATA) / "high_hrd_colour.h264";
  RunCommand("ffmpeg -nostdin -loglevel error -r 25 -i " + Quote(raw) + " -c copy " + Quote(dir / "s.mp4"));
  std::vector<std::set<std::string>> parameterSets;
  for (const auto& input : {raw, dir / "s.mp4"}) {
    const Json listing = Listing(input);
    EXPECT_EQ(listing["codec"], "h264");
    parameterSets.emplace_back();
    for (const Json& unit : listing["nal_units"]) {
      EXPECT_EQ(unit["type_name"], Orvane::Proc::CodecParsers::H264NaluTypeName(unit["nal_unit_type"]));
      const uint32_t type = unit["nal_unit_type"];
      if (type == 7 || type == 8) parameterSets.back().insert(unit["fields"].dump());
    }
  }
  EXPECT_EQ(parameterSets[0].size(), 2u);
  EXPECT_EQ(parameterSets[0], parameterSets[1]);
}

TEST(Inspect, ExitStatuses) {
  TempDir dir;
  std::ofstream(dir / "text.txt") << "not a stream\n";
  const struct {
    std::string arguments;
    int status;
  } rows[] = {
      {Quote(kStream) + " --first 2 --types 32-34,1", 0},
      {Quote(dir / "missing.hevc"), 1},
      {Quote(dir / "text.txt"), 1},
      {"--codec vp9 " + Quote(kStream), 2},
      {"--types 64 " + Quote(kStream), 2},
      {"--first " + Quote(kStream), 2},
      {"", 2},
  };
  for (const auto& row : rows) EXPECT_EQ(Status(row.arguments), row.status) << row.arguments;
}

}  // namespace
