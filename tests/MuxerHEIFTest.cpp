#include "MuxerHEIF.h"

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "Orvane/Conf/FormatCodec.h"
#include "Orvane/Proc/ProcException.h"
#include "Orvane/Proc/Statistics.h"
#include "support/HeifBoxReader.h"
#include "support/BitstreamTestKit.h"
#include "support/HEVCTestUnits.h"
#include "support/HostFakes.h"

namespace {

using namespace testing_support;
using codec_test::Probe;
using Orvane::ioPath;
using Orvane::Conf::FormatCodecAudio;
using Orvane::Conf::FormatCodecVideo;
using Orvane::Conf::FormatFile;
using Orvane::Proc::DataOutput;
using Orvane::Proc::IMuxer;
using Orvane::Proc::MuxerException;
using Orvane::Proc::MuxerHEIF;

constexpr const char kUnit[] = "Orvane/Proc/Muxers/MuxerHEIF/MuxerHEIF";

boost::intrusive_ptr<IMuxer> NewMuxer(const std::filesystem::path& output, std::ostream* stream = nullptr) {
  return new MuxerHEIF(FormatFile::Create("heic"), DataOutput::Create(ioPath(output), stream));
}

// Annex B parameter sets: the stream's codec private data.
boost::intrusive_ptr<Orvane::IBlob> Configuration(const std::vector<codec_test::SyntaxUnit>& units) {
  std::vector<uint8_t> bytes;
  for (const auto& unit : units) {
    bytes.insert(bytes.end(), {0, 0, 0, 1});
    const std::vector<uint8_t> nal = unit.Bytes();
    bytes.insert(bytes.end(), nal.begin(), nal.end());
  }
  return Orvane::Proc::BlobFF::Create(bytes.data(), bytes.size());
}

// A stream with a valid 64x64 Main-profile configuration.
boost::intrusive_ptr<FormatCodecVideo> Video(uint32_t width = 64, uint32_t height = 48) {
  auto codec = FormatCodecVideo::Create(width, height);
  codec->SetPrivateData(Configuration({codec_test::BaseVPS(), codec_test::BaseSPS(), codec_test::BasePPS()}));
  return codec;
}

// A coded picture as the hvcC box declares it: NAL units behind 4-byte lengths.
std::vector<uint8_t> Picture(std::vector<uint8_t> nalu) {
  const auto n = static_cast<uint32_t>(nalu.size());
  nalu.insert(nalu.begin(), {uint8_t(n >> 24), uint8_t(n >> 16), uint8_t(n >> 8), uint8_t(n)});
  return nalu;
}

Orvane::Core::Property Metadata(std::initializer_list<std::pair<const char*, const char*>> entries) {
  Orvane::Core::Property metadata("metadata");
  for (const auto& [name, value] : entries) metadata.Add(Orvane::Core::Property(name, value));
  return metadata;
}

HeifFileView CloseAndRead(IMuxer& muxer, const std::filesystem::path& output) {
  muxer.Close();
  return ReadHeif(ReadFileBytes(output.string()));
}

uint64_t StatisticCount(const IMuxer& muxer) {
  const Orvane::Core::Property root = muxer.GetStatistic();
  return std::stoull(root.begin()->FindChild("Count")->GetString());
}

TEST(MuxerHEIF, ConstructorRefusesMissingArguments) {
  const auto format = FormatFile::Create("heic");
  const auto output = DataOutput::Create(ioPath("x.heic"));
  struct Row {
    const char* name;
    Orvane::Conf::IFormatFile* format;
    Orvane::Proc::IDataOutput* output;
    const char* message;
  } rows[] = {
      {"no format", nullptr, output.get(), "formatFile is NULL."},
      {"no output", format.get(), nullptr, "dataOutput is NULL."},
      {"neither: the format is checked first", nullptr, nullptr, "formatFile is NULL."},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const ThrowReport r = ExpectThrow<MuxerException>([&] { MuxerHEIF muxer(row.format, row.output); });
    EXPECT_EQ(r.description, row.message);
    EXPECT_EQ(r.function, "MuxerHEIF");
    EXPECT_EQ(r.file, kUnit);
  }
  // The references taken before the refusal are dropped again.
  EXPECT_EQ(format->GetRefCount(), 1u);
  EXPECT_EQ(output->GetRefCount(), 1u);
}

TEST(MuxerHEIF, NewMuxerHandsBackItsArguments) {
  TempDir dir;
  const auto format = FormatFile::Create("heic");
  const auto output = DataOutput::Create(ioPath(dir / "x.heic"));
  boost::intrusive_ptr<IMuxer> muxer(new MuxerHEIF(format, output));
  EXPECT_TRUE(muxer->IsReady());
  EXPECT_EQ(muxer->GetFormatFile(), format);
  EXPECT_EQ(muxer->GetDataOutput(), output);
  EXPECT_EQ(muxer->GetRefCount(), 1u);
}

TEST(MuxerHEIF, StreamsBecomeImageItemsNumberedFromOne) {
  TempDir dir;
  auto muxer = NewMuxer(dir / "out.heic");
  const ThrowReport refused = ExpectThrow<MuxerException>([&] { muxer->AddStream(FormatCodecAudio::Create(48000, 2)); });
  EXPECT_EQ(refused.description, "Attempted to add non-video stream.");
  EXPECT_EQ(refused.function, "AddStream");
  EXPECT_THROW(muxer->AddStream(nullptr), MuxerException);

  // The refusals added no item: numbering starts at 1.
  EXPECT_EQ(muxer->AddStream(Video()), 1u);
  EXPECT_EQ(muxer->AddStream(Video()), 2u);
  const HeifFileView file = CloseAndRead(*muxer, dir / "out.heic");
  ASSERT_EQ(file.items.size(), 2u);
  EXPECT_EQ(file.items.at(1).type, "hvc1");
  EXPECT_EQ(file.items.at(2).type, "hvc1");
  EXPECT_EQ(file.majorBrand, "heic");
  EXPECT_EQ(file.compatibleBrands, (std::vector<std::string>{"mif1", "heic"}));
}

TEST(MuxerHEIF, FirstPacketOfEachStreamBecomesItsItemData) {
  TempDir dir;
  auto muxer = NewMuxer(dir / "out.heic");
  const uint32_t a = muxer->AddStream(Video());
  const uint32_t b = muxer->AddStream(Video());
  LogCapture log;
  muxer->Write(a, MakePacket(Picture({1, 2, 3})));
  muxer->Write(b, MakePacket(Picture({9, 8})));
  muxer->Write(a, MakePacket(Picture({4, 5})));
  muxer->Write(a, MakePacket(Picture({6})));
  muxer->Write(b, MakePacket(Picture({7})));

  const std::vector<std::string> expected = {
      "Skip packet for image #1 because image sequences are not supported",
      "Skip packet for image #1 because image sequences are not supported",
      "Skip packet for image #2 because image sequences are not supported"};
  std::vector<std::string> warnings;
  for (const auto& line : log.lines)
    if (line.severity == google::GLOG_WARNING) warnings.push_back(line.text);
  EXPECT_EQ(warnings, expected);
  EXPECT_EQ(StatisticCount(*muxer), 2u);

  const HeifFileView file = CloseAndRead(*muxer, dir / "out.heic");
  EXPECT_EQ(file.items.at(a).data, Picture({1, 2, 3}));
  EXPECT_EQ(file.items.at(b).data, Picture({9, 8}));
}

TEST(MuxerHEIF, WriteRefusals) {
  TempDir dir;
  auto muxer = NewMuxer(dir / "out.heic");
  const uint32_t id = muxer->AddStream(Video());
  boost::intrusive_ptr<Orvane::Proc::IData> notAPacket(new OtherData);
  struct Row {
    const char* name;
    uint32_t index;
    boost::intrusive_ptr<Orvane::Proc::IData> data;
    const char* message;
  } rows[] = {
      {"unknown index", id + 1, MakePacket({1}), "Invalid stream index"},
      {"unknown index is checked before the data", id + 1, notAPacket, "Invalid stream index"},
      {"not a packet", id, notAPacket, "Input data is not instance of IDataPacket."},
      {"no data at all", id, nullptr, "Input data is not instance of IDataPacket."},
      {"packet without payload", id, MakePacketWithoutPayload(), "Packet has no data"},
      {"Annex B picture", id, MakePacket({0, 0, 0, 1, 0x26, 0x01, 0xaf}), "Packet is not in length-prefixed form"},
      {"zero NAL length", id, MakePacket({0, 0, 0, 0, 0x26}), "Packet is not in length-prefixed form"},
      {"length beyond the packet", id, MakePacket({0, 0, 0, 9, 0x26}), "Packet is not in length-prefixed form"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const ThrowReport r = ExpectThrow<MuxerException>([&] { muxer->Write(row.index, row.data); });
    EXPECT_EQ(r.description, row.message);
    EXPECT_EQ(r.function, "Write");
  }
  // None of the refusals marked the stream written: the next packet is stored.
  EXPECT_EQ(StatisticCount(*muxer), 0u);
  muxer->Write(id, MakePacket(Picture({5, 6})));
  EXPECT_EQ(CloseAndRead(*muxer, dir / "out.heic").items.at(id).data, Picture({5, 6}));
}

TEST(MuxerHEIF, PacketsWithoutPayloadAfterTheFirstAreSkippedLikeAnyOther) {
  TempDir dir;
  auto muxer = NewMuxer(dir / "out.heic");
  const uint32_t id = muxer->AddStream(Video());
  muxer->Write(id, MakePacket({}));  // empty, but a payload: stored and marks the stream
  LogCapture log;
  muxer->Write(id, MakePacketWithoutPayload());
  ASSERT_EQ(log.lines.size(), 1u);
  EXPECT_EQ(StatisticCount(*muxer), 1u);
  EXPECT_TRUE(CloseAndRead(*muxer, dir / "out.heic").items.at(id).data.empty());
}

TEST(MuxerHEIF, WriteHeaderWithoutStreams) {
  TempDir dir;
  auto muxer = NewMuxer(dir / "out.heic");
  muxer->WriteHeader(0);  // only mode 1 does anything
  muxer->WriteHeader(2);
  const ThrowReport r = ExpectThrow<Orvane::Proc::ProcException>([&] { muxer->WriteHeader(1); });
  EXPECT_EQ(r.description, "No streams");
  EXPECT_EQ(r.function, "WriteHeader");
  EXPECT_EQ(r.file, kUnit);
  EXPECT_FALSE(r.callStack.empty());
}

TEST(MuxerHEIF, PrimaryItemFollowsTheMainStreamFlags) {
  struct Row {
    const char* name;
    std::vector<std::optional<bool>> mainFlags;
    uint32_t primary;
  } rows[] = {
      {"no flags: the first stream", {std::nullopt, std::nullopt}, 1},
      {"both flagged: the last flagged", {true, true}, 2},
      {"flag present but false is not main", {false, std::nullopt}, 1},
      {"only the second flagged", {false, true}, 2},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TempDir dir;
    auto muxer = NewMuxer(dir / "out.heic");
    for (const auto& flag : row.mainFlags) {
      auto codec = Video();
      if (flag) codec->SetMainStreamFlag(*flag);
      muxer->AddStream(codec);
    }
    muxer->WriteHeader(1);
    EXPECT_EQ(CloseAndRead(*muxer, dir / "out.heic").primaryItem, row.primary);
  }
}

TEST(MuxerHEIF, WriteHeaderGivesEachImageItsSizeAndExifItem) {
  TempDir dir;
  auto muxer = NewMuxer(dir / "out.heic");
  auto first = Video(640, 360);
  first->SetStreamMetadata(Metadata({{"Exif.Image.Make", "Maker"}, {"Exif.Image", "skipped"},
                                     {"Exif.Image.Model.Extra", "skipped"}}));
  auto second = Video(33, 17);
  second->SetStreamMetadata(Metadata({{"Exif.Image.Model", "Second"}}));
  auto third = Video(16, 16);
  third->SetStreamMetadata(Metadata({{"Exif.Image", "nothing becomes Exif"}}));
  for (auto& codec : {first, second, third}) muxer->AddStream(codec);
  muxer->WriteHeader(1);
  const HeifFileView file = CloseAndRead(*muxer, dir / "out.heic");

  EXPECT_EQ(file.items.at(1).ispe, std::make_pair(640u, 360u));
  EXPECT_EQ(file.items.at(2).ispe, std::make_pair(33u, 17u));
  // Exif items are added stream by stream, so the first stream's gets the first free ID.
  ASSERT_EQ(file.items.size(), 5u);
  EXPECT_EQ(file.items.at(4).type, "Exif");
  EXPECT_EQ(file.items.at(5).type, "Exif");
  ASSERT_EQ(file.references.size(), 2u);
  for (const auto& [exif, image] : {std::pair{4u, 1u}, std::pair{5u, 2u}}) {
    SCOPED_TRACE(exif);
    bool found = false;
    for (const auto& ref : file.references)
      if (ref.from == exif) {
        found = true;
        EXPECT_EQ(ref.type, "cdsc");
        EXPECT_EQ(ref.to, std::vector<uint32_t>{image});
      }
    EXPECT_TRUE(found);
    // The payload: a 32-bit offset to the TIFF header, then the block that starts there.
    const std::vector<uint8_t>& data = file.items.at(exif).data;
    ASSERT_GT(data.size(), 8u);
    const uint32_t offset = uint32_t(data[0]) << 24 | data[1] << 16 | data[2] << 8 | data[3];
    ASSERT_LT(offset + 4, data.size());
    const std::string tiff(data.begin() + 4 + offset, data.begin() + 8 + offset);
    EXPECT_TRUE(tiff == std::string("II*\0", 4) || tiff == std::string("MM\0*", 4));
  }
}

// The hvcC fields at their fixed places in the box payload.
struct HvcCHead {
  int profile_idc, level_idc, chroma_format, bit_depth_luma, temporal_layers, temporal_id_nested, length_size;
  uint32_t compatibility;
  std::vector<uint8_t> constraints;
};

HvcCHead ReadHvcCHead(const std::vector<uint8_t>& h) {
  EXPECT_GE(h.size(), 23u);
  if (h.size() < 23) return {};
  return {h[1] & 0x1F,
          h[12],
          h[16] & 3,
          (h[17] & 7) + 8,
          h[21] >> 3 & 7,
          h[21] >> 2 & 1,
          (h[21] & 3) + 1,
          uint32_t(h[2]) << 24 | h[3] << 16 | h[4] << 8 | h[5],
          std::vector<uint8_t>(h.begin() + 6, h.begin() + 12)};
}

TEST(MuxerHEIF, DecoderConfigurationComesFromTheLowestIdVpsAndSps) {
  using namespace codec_test;
  // VPS 1 claims another profile and level; the record must take VPS 0's.
  const SyntaxUnit vps1 = BaseVPS().Set("vps_video_parameter_set_id", 1).Set("general_profile_idc", 2)
                              .Set("general_profile_compatibility_flags", 0x20000000).Set("general_level_idc", 150);
  const SyntaxUnit vps0 = BaseVPS().Set("general_constraint_43bits", 0x123456789ull);
  const SyntaxUnit sps = BaseSPS().Set("chroma_format_idc", 2).Set("bit_depth_luma_minus8", 2).Set("bit_depth_chroma_minus8", 2);
  const SyntaxUnit sei = Concat({NalHeader(39), {U("payload", 16, 0x0501)}});
  const std::vector<SyntaxUnit> units = {vps1, vps0, sps, BasePPS(), sei};

  TempDir dir;
  auto muxer = NewMuxer(dir / "out.heic");
  auto codec = FormatCodecVideo::Create(64, 64);
  codec->SetPrivateData(Configuration(units));
  const uint32_t id = muxer->AddStream(codec);
  muxer->WriteHeader(1);
  const HeifItem item = CloseAndRead(*muxer, dir / "out.heic").items.at(id);

  const HvcCHead head = ReadHvcCHead(item.hvcC);
  EXPECT_EQ(head.profile_idc, 1);
  EXPECT_EQ(head.compatibility, 0x60000000u);  // flags 1 and 2, flag 0 in the top bit
  EXPECT_EQ(head.level_idc, 93);
  EXPECT_EQ(head.constraints, std::vector<uint8_t>(6, 0));
  EXPECT_EQ(head.chroma_format, 2);
  EXPECT_EQ(head.bit_depth_luma, 10);
  EXPECT_EQ(head.temporal_layers, 1);
  EXPECT_EQ(head.temporal_id_nested, 1);
  EXPECT_EQ(head.length_size, 4);
  // Every unit of the configuration, SEI included, in the configuration's own order.
  std::vector<std::vector<uint8_t>> expected;
  for (const auto& unit : units) expected.push_back(unit.Bytes());
  EXPECT_EQ(HvcCNalUnits(item.hvcC), expected);
  EXPECT_EQ(item.properties, (std::vector<std::string>{"hvcC", "ispe"}));
}

TEST(MuxerHEIF, StreamsWithoutAUsableConfiguration) {
  using namespace codec_test;
  struct Row {
    const char* name;
    boost::intrusive_ptr<Orvane::IBlob> privateData;
    const char* message;
  } rows[] = {
      {"no private data", nullptr, "Stream has no decoder configuration"},
      {"empty private data", Configuration({}), "Stream has no decoder configuration"},
      {"a VPS only", Configuration({BaseVPS()}), "Stream has no decoder configuration"},
      {"a PPS without its SPS", Configuration({BasePPS()}), nullptr},  // the PPS decode refuses it
      {"an SPS without its VPS", Configuration({BaseSPS()}), nullptr},  // the SPS decode refuses it
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    TempDir dir;
    auto muxer = NewMuxer(dir / "out.heic");
    const uint32_t good = muxer->AddStream(Video());
    auto codec = FormatCodecVideo::Create(64, 64);
    if (row.privateData) codec->SetPrivateData(row.privateData);
    const uint32_t bad = muxer->AddStream(codec);
    const auto failure = Probe([&] { muxer->WriteHeader(1); });
    ASSERT_TRUE(failure);
    if (row.message) {
      EXPECT_EQ(failure->message, row.message);
      EXPECT_EQ(failure->function, "WriteHeader");
      EXPECT_EQ(failure->file, kUnit);
    } else {
      EXPECT_TRUE(failure->bitstream);
    }
    // The stream before keeps what it got; the failing one has no hvcC.
    const HeifFileView file = CloseAndRead(*muxer, dir / "out.heic");
    EXPECT_EQ(file.items.at(good).properties, (std::vector<std::string>{"hvcC", "ispe"}));
    EXPECT_TRUE(file.items.at(bad).properties.empty());
  }
}

TEST(MuxerHEIF, FormatNameFollowsTheExtension) {
  struct Row {
    const char* path;
    const char* expected;
  } rows[] = {
      {"a.heif", "heif"}, {"a.HEIF", "heif"}, {"a.HeIf", "heif"}, {"a.heic", "heic"},
      {"a.HEIC", "heic"}, {"a.jpg", "heic"},  {"a", "heic"},      {"dir.heif/a", "heic"},
      {"a.heif.tmp", "heic"},
  };
  TempDir dir;
  std::filesystem::create_directory(dir / "dir.heif");
  for (const Row& row : rows) {
    SCOPED_TRACE(row.path);
    EXPECT_EQ(NewMuxer(dir / row.path)->GetFormatName(), row.expected);
  }
}

TEST(MuxerHEIF, StatisticsTree) {
  TempDir dir;
  const auto output = dir / "stats.heic";
  auto muxer = NewMuxer(output);
  for (int i = 0; i < 2; ++i) muxer->Write(muxer->AddStream(Video()), MakePacket(Picture({1, 2})));

  const Orvane::Core::Property root = muxer->GetStatistic();
  ASSERT_EQ(root.ChildCount(), 1u);
  const Orvane::Core::Property& stats = *root.begin();
  Orvane::Proc::Statistics::StatisticInfo info;
  info.name = "Orvane::Proc::MuxerHEIF::GetStatistic";
  info.count = 2;
  info.kind = 10;
  info.implementation = Orvane::Proc::ImplNames::LIBHEIF;
  info.timeNs = std::stoull(stats.FindChild("TimeNs")->GetString());
  Orvane::Core::Property expected = Orvane::Proc::Statistics::MakeStatistics(info);
  expected.SetChild("Destination", output.string());

  EXPECT_EQ(stats.Name(), expected.Name());
  std::vector<std::pair<std::string, std::string>> got, want;
  for (const auto& c : stats) got.emplace_back(c.Name(), c.GetString());
  for (const auto& c : expected) want.emplace_back(c.Name(), c.GetString());
  EXPECT_EQ(got, want);
}

TEST(MuxerHEIF, CloseWritesTheWholeFileEachTime) {
  TempDir dir;
  const auto output = dir / "twice.heic";
  auto muxer = NewMuxer(output);
  muxer->Write(muxer->AddStream(Video()), MakePacket(Picture({1})));
  muxer->Close();
  const auto firstBytes = ReadFileBytes(output.string());
  muxer->Write(muxer->AddStream(Video()), MakePacket(Picture({2, 2})));
  const HeifFileView second = CloseAndRead(*muxer, output);
  EXPECT_EQ(second.items.size(), 2u);
  EXPECT_GT(ReadFileBytes(output.string()).size(), firstBytes.size());
}

TEST(MuxerHEIF, CloseOutcomes) {
  TempDir dir;
  {
    SCOPED_TRACE("a host stream of its own: no file, no error");
    std::ostringstream hostStream;
    auto muxer = NewMuxer(dir / "stream.heic", &hostStream);
    muxer->AddStream(Video());
    EXPECT_NO_THROW(muxer->Close());
    EXPECT_FALSE(std::filesystem::exists(dir / "stream.heic"));
  }
  {
    SCOPED_TRACE("missing directory");
    auto muxer = NewMuxer(dir / "missing" / "out.heic");
    const ThrowReport r = ExpectThrow<MuxerException>([&] { muxer->Close(); });
    EXPECT_EQ(r.description, "Cannot open output file");
    EXPECT_EQ(r.function, "Close");
    // The state is unchanged: once the directory exists, Close succeeds.
    std::filesystem::create_directory(dir / "missing");
    EXPECT_NO_THROW(muxer->Close());
    EXPECT_TRUE(std::filesystem::exists(dir / "missing" / "out.heic"));
  }
  if (std::filesystem::exists("/dev/full")) {
    SCOPED_TRACE("a device that accepts no bytes");
    auto muxer = NewMuxer("/dev/full");
    muxer->Write(muxer->AddStream(Video()), MakePacket(Picture(std::vector<uint8_t>(1 << 16, 7))));
    const ThrowReport r = ExpectThrow<MuxerException>([&] { muxer->Close(); });
    EXPECT_EQ(r.description, "Cannot write output file");
    EXPECT_EQ(r.function, "Close");
  }
}

TEST(MuxerHEIF, ReleasingTheLastReferenceClosesAndLogsAFailure) {
  TempDir dir;
  {
    auto muxer = NewMuxer(dir / "released.heic");
    muxer->AddStream(Video());
  }
  EXPECT_TRUE(std::filesystem::exists(dir / "released.heic"));

  LogCapture log;
  {
    auto muxer = NewMuxer(dir / "missing" / "out.heic");
  }  // must not throw out of the destructor
  ASSERT_EQ(log.lines.size(), 1u);
  EXPECT_EQ(log.lines[0].severity, google::GLOG_ERROR);
  EXPECT_NE(log.lines[0].text.find("Cannot open output file"), std::string::npos);
}

}  // namespace
