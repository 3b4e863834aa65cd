// The muxer as the host drives it, its files read back with libheif. The loaded plug-in and
// heifmux are tested against independent readers in PluginTest.cpp and HeifmuxTest.cpp.
#include "MuxerHEIF.h"

#include <gtest/gtest.h>

#include <regex>
#include <sstream>

#include "Orvane/Conf/FormatCodec.h"
#include "Orvane/Proc/ProcException.h"
#include "support/HEVCTestUnits.h"
#include "support/HeifBoxReader.h"
#include "support/HostFakes.h"

namespace {

using namespace testing_support;
using namespace codec_test;
using Orvane::Conf::FormatCodecVideo;
using Orvane::Proc::DataOutput;
using Orvane::Proc::MuxerHEIF;

boost::intrusive_ptr<Orvane::Proc::IMuxer> NewMuxer(const std::filesystem::path& output, std::ostream* stream = nullptr) {
  return new MuxerHEIF(Orvane::Conf::FormatFile::Create("heic"), DataOutput::Create(Orvane::ioPath(output), stream));
}

// A video stream whose codec private data is the units in Annex B.
boost::intrusive_ptr<FormatCodecVideo> Video(uint32_t width = 64, uint32_t height = 48,
                                             const std::vector<SyntaxUnit>& units = {BaseVPS(), BaseSPS(), BasePPS()}) {
  const std::vector<uint8_t> bytes = AnnexB(units);
  auto codec = FormatCodecVideo::Create(width, height);
  if (!units.empty()) codec->SetPrivateData(Orvane::Proc::BlobFF::Create(bytes.data(), bytes.size()));
  return codec;
}

std::string Refusal(const std::function<void()>& call) {
  const auto f = Probe<Orvane::Proc::MuxerException>(call);
  return f ? f->message + " in " + f->function : "";
}

// Refusals change nothing; video streams become hvc1 items numbered from 1, the first packet of
// each its item's data, later ones are dropped with a warning. No file is written for a data
// output that supplies a stream of its own.
TEST(MuxerHEIF, StreamsAndPackets) {
  const auto format = Orvane::Conf::FormatFile::Create("heic");
  const auto output = DataOutput::Create(Orvane::ioPath("x.heic"));
  EXPECT_EQ(Refusal([&] { MuxerHEIF muxer(format, nullptr); }), "dataOutput is NULL. in MuxerHEIF");

  TempDir dir;
  auto muxer = NewMuxer(dir / "out.heic");
  EXPECT_EQ(Refusal([&] { muxer->WriteHeader(1); }), "No streams in WriteHeader");
  EXPECT_EQ(Refusal([&] { muxer->AddStream(Orvane::Conf::FormatCodecAudio::Create(48000, 2)); }), "Attempted to add non-video stream. in AddStream");
  const uint32_t a = muxer->AddStream(Video()), b = muxer->AddStream(Video());
  EXPECT_EQ(std::make_pair(a, b), std::make_pair(1u, 2u));
  muxer->WriteHeader(1);
  const auto noPayload = Orvane::Proc::DataPacketFF::Create(av_packet_alloc(), 0, 0, 0, 0);
  const std::vector<std::pair<boost::intrusive_ptr<Orvane::Proc::IData>, const char*>> refused = {
      {nullptr, "Input data is not instance of IDataPacket. in Write"},
      {noPayload, "Packet has no data in Write"},
      {MakePacket({0, 0, 0, 1, 0x26, 0x01, 0xaf}), "Packet is not in length-prefixed form in Write"}};
  EXPECT_EQ(Refusal([&] { muxer->Write(3, nullptr); }), "Invalid stream index in Write");
  for (const auto& [data, message] : refused) EXPECT_EQ(Refusal([&, &data = data] { muxer->Write(a, data); }), message);
  LogCapture log;
  for (const auto& [index, picture] : std::vector<std::pair<uint32_t, std::vector<uint8_t>>>{{a, {0, 0, 0, 1, 1}}, {b, {0, 0, 0, 1, 2}}, {a, {0, 0, 0, 1, 3}}}) {
    muxer->Write(index, MakePacket(picture));
  }
  muxer->Write(b, noPayload);
  EXPECT_EQ(log.lines, (std::vector<std::string>{"0 Image #1 colour properties: none", "0 Image #2 colour properties: none",
                                                 "1 Skip packet for image #1 because image sequences are not supported",
                                                 "1 Skip packet for image #2 because image sequences are not supported"}));
  const Orvane::Core::Property root = muxer->GetStatistic();
  EXPECT_EQ(root.begin()->FindChild("Count")->GetString() + " " + root.begin()->FindChild("Destination")->GetString(),
            "2 " + (dir / "out.heic").string());
  muxer->Close();
  const HeifFileView file = ReadHeif(dir / "out.heic");
  EXPECT_EQ(file.items.at(a).data, (std::vector<uint8_t>{0, 0, 0, 1, 1}));
  EXPECT_EQ(file.items.at(b).data, (std::vector<uint8_t>{0, 0, 0, 1, 2}));
  std::ostringstream hostStream;
  NewMuxer(dir / "stream.heic", &hostStream)->Close();
  EXPECT_FALSE(std::filesystem::exists(dir / "stream.heic"));
}

// A failure's call stack is taken as modules and offsets, and read as names: the stack of a refused
// WriteHeader names it, found by its module and offset whatever address the module had.
TEST(MuxerHEIF, CallStackReadsAsNames) {
  TempDir dir;
  auto muxer = NewMuxer(dir / "out.heic");
  std::string stack;
  try {
    muxer->WriteHeader(1);
  } catch (const Orvane::Proc::MuxerException& e) {
    stack = *boost::get_error_info<Orvane::ErrorCallStack>(e);
  }
  const std::string moved = std::regex_replace(stack, std::regex(" 0x[0-9a-f]+ "), " 0x1 ");
  ASSERT_NE(moved, stack);
  EXPECT_NE(Orvane::SymbolizeCallStack(moved).find("MuxerHEIF::WriteHeader"), std::string::npos) << moved;
}

// The primary image is the last stream flagged main, or the first; each image gets its size, its
// Exif item (from three-part names only) and its hvcC from the lowest-id VPS and SPS, with every
// unit of the configuration in its own order. A stream without a usable configuration fails, and
// the ones before it keep what they got.
TEST(MuxerHEIF, WriteHeader) {
  const std::vector<SyntaxUnit> units = {
      BaseVPS().Set("vps_video_parameter_set_id", 1).Set("general_profile_idc", 2).Set("general_level_idc", 150),
      BaseVPS().Set("general_constraint_43bits", 0x123456789ull),
      BaseSPS().Set("chroma_format_idc", 2).Set("bit_depth_luma_minus8", 2).Set("bit_depth_chroma_minus8", 2), BasePPS(),
      Unit(39, "payload:u16=0x0501")};
  const struct Row {
    std::vector<std::optional<bool>> mainFlags;
    std::vector<SyntaxUnit> lastUnits;
    uint32_t primary;
    std::string failure;  // of the last stream: its message, "bitstream" for the decode's
  } rows[] = {
      {{std::nullopt, std::nullopt}, units, 1, ""}, {{true, true}, units, 2, ""}, {{false, true}, units, 2, ""}, {{false, std::nullopt}, units, 1, ""},
      {{std::nullopt, true}, {}, 0, "Stream has no decoder configuration"}, {{std::nullopt, true}, {BaseVPS()}, 0, "Stream has no decoder configuration"},
      {{std::nullopt, true}, {BaseSPS()}, 0, "bitstream"},
  };
  const auto metadata = [](const char* name, const char* value) {
    Orvane::Core::Property entries("metadata");
    entries.Add(Orvane::Core::Property(name, value));
    return entries;
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.failure + std::to_string(row.primary));
    TempDir dir;
    auto muxer = NewMuxer(dir / "out.heic");
    auto first = Video(640, 360), last = Video(33, 17, row.lastUnits);
    first->SetStreamMetadata(metadata("Exif.Image.Make", "Maker"));
    last->SetStreamMetadata(metadata("Exif.Image", "skipped"));
    if (row.mainFlags[0]) first->SetMainStreamFlag(*row.mainFlags[0]);
    if (row.mainFlags[1]) last->SetMainStreamFlag(*row.mainFlags[1]);
    muxer->AddStream(first);
    muxer->AddStream(last);
    const auto failure = Probe([&] { muxer->WriteHeader(1); });
    EXPECT_EQ(failure ? (failure->bitstream ? "bitstream" : failure->message) : "", row.failure);
    muxer->Close();
    const HeifFileView file = ReadHeif(dir / "out.heic");
    EXPECT_EQ(file.items.at(1).properties, (std::vector<std::string>{"hvcC", "ispe"}));
    EXPECT_EQ(file.items.at(1).ispe, std::make_pair(640u, 360u));
    if (failure) {
      EXPECT_TRUE(file.items.at(2).properties.empty());
      continue;
    }
    EXPECT_EQ(file.primaryItem, row.primary);
    EXPECT_EQ(file.items.at(2).ispe, std::make_pair(33u, 17u));
    ASSERT_EQ(file.items.size(), 3u);  // one Exif item, added after the images
    EXPECT_EQ(file.items.at(3).type, "Exif");
    ASSERT_EQ(file.references.size(), 1u);
    EXPECT_EQ(file.references[0].type + " " + std::to_string(file.references[0].from) + " " + std::to_string(file.references[0].to.at(0)), "cdsc 3 1");
    // profile 1 with compatibility 0x60000000, no constraint flags, level 93, 4:2:2, 10 bits, one
    // temporal layer, nested, 4-byte lengths
    const HeifItem& item = file.items.at(2);
    EXPECT_EQ(std::vector<uint8_t>(item.hvcC.begin(), item.hvcC.begin() + 22),
              (std::vector<uint8_t>{1, 1, 0x60, 0, 0, 0, 0, 0, 0, 0, 0, 0, 93, 0xF0, 0, 0xFC, 0xFE, 0xFA, 0xFA, 0, 0, 0x0F}));
    std::vector<std::vector<uint8_t>> expected;
    for (const auto& unit : units) expected.push_back(unit.Bytes());
    EXPECT_EQ(item.hvcCUnits, expected);
  }
}

TEST(MuxerHEIF, FormatNameFollowsTheExtension) {
  TempDir dir;
  std::filesystem::create_directory(dir / "dir.heif");
  const std::vector<std::pair<const char*, const char*>> rows = {
      {"a.heif", "heif"}, {"a.HeIf", "heif"}, {"a.heic", "heic"}, {"a.jpg", "heic"}, {"a", "heic"}, {"dir.heif/a", "heic"}, {"a.heif.tmp", "heic"}};
  for (const auto& [path, expected] : rows) EXPECT_EQ(NewMuxer(dir / path)->GetFormatName(), expected) << path;
}

// mdcv and clli come from the configuration's SEI too, the picture's own message standing over
// it; an SEI unit of the picture that cannot be read is skipped with a warning, the picture kept.
TEST(MuxerHEIF, ColourOfTheConfigurationAndOfThePicture) {
  const auto cll = [](int max) { return Unit(39, "type:u8=144 size:u8=4 cll:u16=" + std::to_string(max) + " fall:u16=400"); };
  TempDir dir;
  auto muxer = NewMuxer(dir / "out.heic");
  const SyntaxUnit mdcv = Unit(39, "type:u8=137 size:u8=24 a:u64=1 b:u64=2 c:u64=3");
  muxer->AddStream(Video(64, 48, {BaseVPS(), BaseSPS(), BasePPS(), mdcv, cll(1000)}));
  muxer->WriteHeader(1);
  std::vector<uint8_t> picture;
  for (const std::vector<uint8_t>& unit : {cll(2000).Bytes(), Unit(39, "type:u8=144 size:u8=9").Bytes(), std::vector<uint8_t>{2, 1, 0xD0}}) {
    picture.insert(picture.end(), {0, 0, 0, static_cast<uint8_t>(unit.size())});
    picture.insert(picture.end(), unit.begin(), unit.end());
  }
  LogCapture log;
  muxer->Write(1, MakePacket(picture));
  muxer->Close();
  EXPECT_EQ(ReadHeif(dir / "out.heic").items.at(1).colour, (std::vector<std::string>{"mdcv 0 0 0 1 0 0 0 2 0 3", "clli 2000 400"}));
  EXPECT_EQ(log.lines.at(0), "1 Image #1: an SEI unit cannot be read (End of stream); its colour messages before that are used");
}

}  // namespace
