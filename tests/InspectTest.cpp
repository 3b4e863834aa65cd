// h26x-inspect end to end: the same units of an HEVC and an H.264 stream listed alike whether the
// stream is raw, in MP4 or in MPEG-TS (the containers made by FFmpeg), refused units listed with
// the decoders' own message, and the exit statuses.
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <regex>
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

Json Listing(const std::filesystem::path& input) {
  return Json::parse(RunCommand(std::string(INSPECT_PATH) + " --json " + Quote(input)));
}

// The fields of the other units in order, and the distinct parameter sets: what every framing of
// the same stream must list alike, whatever parameter sets a container repeats. Every unit is
// named by its type.
std::pair<std::vector<Json>, std::set<std::string>> Decoded(const Json& listing) {
  using namespace Orvane::Proc::CodecParsers;
  const bool h264 = listing["codec"] == "h264";
  std::pair<std::vector<Json>, std::set<std::string>> decoded;
  for (const Json& unit : listing["nal_units"]) {
    EXPECT_FALSE(unit.contains("error")) << unit.dump();
    const uint32_t type = unit["nal_unit_type"];
    EXPECT_EQ(unit["type_name"], h264 ? H264NaluTypeName(type) : HEVCNaluTypeName(type));
    if (h264 ? type == 7 || type == 8 : type >= 32 && type <= 34) {
      decoded.second.insert(unit["fields"].dump());
    } else if (unit.contains("fields")) {
      decoded.first.push_back(unit["fields"]);
    }
  }
  return decoded;
}

// Each stream raw, in MP4 (its parameter sets in the configuration record there) and in MPEG-TS.
TEST(Inspect, RawMp4AndTransportStreamListTheSameFields) {
  const struct Row { std::filesystem::path stream; const char* codec; size_t withFields, parameterSets; const char* named; } rows[] = {
      {kStream, "h265", 17, 3, "/profile_tier_level/general_level_idc"},  // every slice, with its header
      {std::filesystem::path(HEVC_TEST_DATA) / "rext422_10_hdr.hevc", "h265", 5, 3,  // three slices, two SEI units
       "/sei_message/0/content_light_level_info/max_content_light_level"},
      {std::filesystem::path(H264_TEST_DATA) / "hdr_sei.h264", "h264", 16, 2,  // six slices and ten SEI units
       "/sei_message/0/mastering_display_colour_volume/display_primaries_x/2"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.stream.filename().string());
    TempDir dir;
    RunCommand("ffmpeg -nostdin -loglevel error -r 25 -i " + Quote(row.stream) + " -c copy " + Quote(dir / "s.mp4"));
    RunCommand("ffmpeg -nostdin -loglevel error -i " + Quote(dir / "s.mp4") + " -c copy " + Quote(dir / "s.ts"));
    const Json raw = Listing(row.stream);
    EXPECT_EQ(raw["nal_units"].size(), codec_test::CountAnnexBNalus(codec_test::ReadFile(row.stream)));
    const auto expected = Decoded(raw);
    EXPECT_TRUE(std::ranges::any_of(raw["nal_units"], [&](const Json& u) { return u.value("fields", Json()).contains(Json::json_pointer(row.named)); }));
    EXPECT_EQ(std::make_pair(expected.first.size(), expected.second.size()), std::make_pair(row.withFields, row.parameterSets));
    for (const Json& listing : {raw, Listing(dir / "s.mp4"), Listing(dir / "s.ts")}) {
      EXPECT_EQ(listing["codec"], row.codec);
      EXPECT_EQ(Decoded(listing), expected);
    }
  }
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
  EXPECT_EQ(Decoded(Json{{"codec", "h265"}, {"nal_units", Json(listing["nal_units"].begin() + 1, listing["nal_units"].end())}}),
            Decoded(Listing(kStream)));
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
  for (const auto& row : rows)
    EXPECT_EQ(std::stoi(RunCommand(INSPECT_PATH " " + row.arguments + " >/dev/null 2>&1; echo $?")), row.status) << row.arguments;
}

// --summary against ffprobe -count_frames on every sample stream of both codecs, and on MP4 and
// MPEG-TS copies of two of them.
TEST(Inspect, SummaryAgreesWithFFprobe) {
  TempDir dir;
  std::vector<std::filesystem::path> inputs;
  for (const char* data : {HEVC_TEST_DATA, H264_TEST_DATA, HEIFMUX_TEST_DATA}) {
    for (const auto& entry : std::filesystem::directory_iterator(data)) {
      if (std::set<std::string>{".hevc", ".h264", ".mp4", ".mkv", ".ts"}.contains(entry.path().extension())) {
        inputs.push_back(entry.path());
      }
    }
  }
  for (const std::filesystem::path& stream : {kStream, std::filesystem::path(H264_TEST_DATA) / "hdr_sei.h264"}) {
    const std::filesystem::path mp4 = dir / (stream.stem().string() + ".mp4");
    RunCommand("ffmpeg -nostdin -loglevel error -r 25 -i " + Quote(stream) + " -c copy " + Quote(mp4));
    RunCommand("ffmpeg -nostdin -loglevel error -i " + Quote(mp4) + " -c copy " + Quote(dir / (stream.stem().string() + ".ts")));
    inputs.insert(inputs.end(), {mp4, dir / (stream.stem().string() + ".ts")});
  }
  ASSERT_GT(inputs.size(), 30u);
  for (const std::filesystem::path& input : inputs) {
    SCOPED_TRACE(input.string());
    const Json probe = Json::parse(RunCommand("ffprobe -v error -select_streams v:0 -count_frames -count_packets -show_streams -of json " +
                                              Quote(input)))["streams"][0];
    const Json ours = Json::parse(RunCommand(std::string(INSPECT_PATH) + " --summary --json " + Quote(input)));
    EXPECT_EQ(ours["refused_units"]["count"], 0);
    EXPECT_EQ(ours["width"], probe["width"]);
    EXPECT_EQ(ours["height"], probe["height"]);
    EXPECT_EQ(ours["level_idc"], probe["level"]);
    // What a raw stream's timing and frame count are to FFmpeg comes from the stream, as ours does;
    // in a container they come from its timestamps and edit lists.
    if (input.extension() == ".hevc" || input.extension() == ".h264") {
      EXPECT_EQ(ours["frames"], std::stoi(probe["nb_read_frames"].get<std::string>()));
      EXPECT_EQ(ours.value("frame_rate", "none"), probe["r_frame_rate"]);
    } else {
      EXPECT_EQ(ours["access_units"], std::stoi(probe["nb_read_packets"].get<std::string>()));
    }
    // FFmpeg names every Range Extensions profile alike.
    EXPECT_EQ(ours["profile_idc"] == 4 ? "Rext" : ours["profile"], probe["profile"]);

    // yuv420p10le: chroma format and bit depth; yuvj: full range. FFmpeg's H.264 decoder gives
    // 4:0:0 pictures grey chroma planes of 4:2:0.
    std::smatch format;
    const std::string pixFmt = probe["pix_fmt"];
    ASSERT_TRUE(std::regex_match(pixFmt, format, std::regex(R"((yuvj?(\d)(\d)(\d)|gray)p?(\d*)(le)?)")));
    const std::string chroma = format[1] == "gray" ? "4:0:0" : format[2].str() + ":" + format[3].str() + ":" + format[4].str();
    EXPECT_EQ(ours["chroma_format"] == "4:0:0" && ours["codec"] == "h264" ? "4:2:0" : ours["chroma_format"], chroma);
    EXPECT_EQ(ours["bit_depth_luma"], format[5].length() ? std::stoi(format[5]) : 8);

    // Colour as signalled; without a signal, FFmpeg's HEVC decoder assumes limited range.
    const Json colour = ours.value("colour", Json::object());
    const std::string range = probe.value("color_range", "unknown");
    EXPECT_EQ(colour.value("range", range == "tv" ? "limited" : "unknown"),
              range == "pc" ? "full" : range == "tv" ? "limited" : "unknown");
    EXPECT_EQ(colour.value("primaries", "unknown"), probe.value("color_primaries", "unknown"));
    EXPECT_EQ(colour.value("transfer", "unknown"), probe.value("color_transfer", "unknown"));
    EXPECT_EQ(colour.value("matrix", "unknown"), probe.value("color_space", "unknown"));
  }
}

}  // namespace
