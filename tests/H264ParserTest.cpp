// The H.264 stream parser and the avcC record, over parameter sets of the x264 sample streams:
// the record's layout both ways, and the refusals of the parser, the record and the conversions.
// Real avcC records (ffmpeg's), and ours read back by FFmpeg, are in PacketConversionTest.
#include "Orvane/Proc/CodecParsers/H264Parser.h"

#include <gtest/gtest.h>

#include "Orvane/Proc/CodecParsers/DecoderConfigurationRecords.h"
#include "Orvane/Proc/CodecParsers/H264CodecParams.h"
#include "Orvane/Proc/CodecParsers/PacketConversion.h"
#include "support/BitstreamTestKit.h"
#include "support/FramingKit.h"
#include "support/HEVCStreams.h"
#include "support/HostFakes.h"

namespace {

using namespace Orvane::Proc::CodecParsers;
using namespace codec_test;

// The first SPS and PPS of a sample stream.
Units ConfigurationOf(const char* stream) {
  const Units units = UnitsOf(H264Parser::CreateFromCodecConfiguration(Blob(ReadFile(std::filesystem::path(H264_TEST_STREAMS) / stream)))->nalus());
  return {units[0], units[1]};
}
const Units kBase = ConfigurationOf("baseline_crop.h264");  // SPS id 0: 67 42 D0 0B ..., PPS
const Bytes kSPS = kBase[0], kPPS = kBase[1], kSPS5 = ConfigurationOf("main_ids.h264")[0];  // id 5: 67 4D 40 0A ...

// An avcC record laid out by hand: head (profile, compatibility, level), then the units.
Bytes AvcC(Bytes head, int lengthSize, const Units& sps, const Units& pps) {
  head.insert(head.begin(), 1);
  head.insert(head.end(), {uint8_t(0xFC | (lengthSize - 1)), uint8_t(0xE0 | sps.size())});
  for (const Units* list : {&sps, &pps}) {
    if (list == &pps) head.push_back(uint8_t(pps.size()));
    const Bytes units = Framed(*list, 2);
    head.insert(head.end(), units.begin(), units.end());
  }
  return head;
}

TEST(H264Parser, AvcCLayout) {
  const Bytes record = {1, 0x64, 0, 0x1F, 0xFF, 0xE1, 0, 4, 0x67, 0x64, 0, 0x1F, 1, 0, 2, 0x68, 0xEE};
  const auto parser = H264Parser::CreateFromCodecConfiguration(Blob(record));
  EXPECT_EQ(parser->nalLengthSize(), 4u);
  EXPECT_EQ(UnitsOf(parser->nalus()), (Units{{0x67, 0x64, 0, 0x1F}, {0x68, 0xEE}}));

  const struct {
    const char* name;
    Units input;
    int lengthSize;
    Bytes record;
  } rows[] = {
      {"SPS and PPS", kBase, 4, AvcC({0x42, 0xD0, 0x0B}, 4, {kSPS}, {kPPS})},
      {"1-byte lengths, other units left out", {{0x09, 0xF0}, kSPS, {0x06, 0x05, 0x80}, kPPS, {0x65, 0x88}}, 1,
       AvcC({0x42, 0xD0, 0x0B}, 1, {kSPS}, {kPPS})},
      {"head from the lowest SPS id, units in input order", {kSPS5, kSPS, kPPS}, 2, AvcC({0x42, 0xD0, 0x0B}, 2, {kSPS5, kSPS}, {kPPS})},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(BytesOf(NalusToAVCC(Views(row.input), row.lengthSize)), row.record);
  }
  EXPECT_EQ(H264Parser::CreateFromCodecConfiguration(Blob(rows[2].record))->GetParameterSets()->sps_list.size(), 2u);
}

TEST(H264Parser, PacketFramingCombinationsAndFilters) {
  const Bytes kSEI = {0x06, 0x05, 0x80}, kIDR = {0x65, 0x88, 0x80}, kP = {0x41, 0x9A, 0x80}, kFiller = {0x0C, 0, 0, 3, 1, 0x80};
  const NaluFilter dropSEI = [](const NALU& n, H26xBitstreamBuilder&) { return H264NaluType(n) == 6 ? 0 : 1; };
  // Each unit replaced by a filler unit whose 00 00 01 gets an emulation-prevention byte.
  const NaluFilter replace = [](const NALU&, H26xBitstreamBuilder& b) { b.BeginNALU(12, 0); b.AppendU64(1, 24); b.FinishNALU(); return 1; };
  const auto annexB = H264Parser::CreateFromCodecConfiguration(Blob(Framed(kBase, 0)));
  const auto width4 = annexB->ToLengthPrefixed(), width2 = H264Parser::CreateFromCodecConfiguration(NalusToAVCC(Views(kBase), 2));
  const struct {
    const char* name;
    std::shared_ptr<H264Parser> from, to;
    bool key;
    Units units, expected;  // expected empty: the same packet object comes back
    NaluFilter filter = nullptr;
  } rows[] = {
      {"Annex B, not key", annexB, annexB, false, {kP}, {}},
      {"Annex B key with its own SPS", annexB, annexB, true, {kSPS, kPPS, kIDR}, {}},
      {"Annex B key without", annexB, annexB, true, {kSEI, kIDR}, {kSPS, kPPS, kSEI, kIDR}},
      {"Annex B key to 2-byte lengths", annexB, width2, true, {kIDR}, {kIDR}},
      {"4-byte key to 4-byte", width4, width4, true, {kIDR}, {}},
      {"4-byte to 2-byte lengths", width4, width2, false, {kSEI, kP}, {kSEI, kP}},
      {"SEI dropped, 4-byte to 4-byte", width4, width4, false, {kSEI, kP}, {kP}, dropSEI},
      {"units replaced, Annex B key with SPS", annexB, annexB, true, {kSPS, kIDR}, {kFiller, kFiller}, replace},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const Bytes bytes = Framed(row.units, static_cast<int>(row.from->nalLengthSize().value_or(0)));
    AVPacket* av = Orvane::Proc::CreatePacket(bytes.size());
    std::copy(bytes.begin(), bytes.end(), av->data);
    av->flags = row.key ? AV_PKT_FLAG_KEY : 0;
    av->pts = 7;
    const boost::intrusive_ptr<Orvane::Proc::IDataPacket> in = Orvane::Proc::DataPacketFF::Create(av, 0, 1, 2, 3);
    const auto out = ConvertPacketFromSourceToDestinationFormat(in, row.from, row.to, row.filter);
    EXPECT_EQ(BytesOf(out->GetBlob()), row.expected.empty() ? bytes : Framed(row.expected, static_cast<int>(row.to->nalLengthSize().value_or(0))));
    EXPECT_EQ(out == in, row.expected.empty());
    EXPECT_EQ(std::tuple(out->GetPts(), out->GetDts(), out->GetDuration(), out->IsKeyFrame(), out->GetAVPacket()->pts),
              std::tuple(int64_t{1}, int64_t{2}, int64_t{3}, row.key, int64_t{7}));
  }
  // Parsers: 3-byte start codes rebuilt as four-byte ones; the parser itself where its framing is
  // already the one asked for.
  Bytes shortStartCode = Framed({kSEI, kP}, 0);
  shortStartCode.erase(shortStartCode.begin());
  const auto packet = annexB->ParsePacket(Blob(shortStartCode));
  EXPECT_EQ(BytesOf(packet->Rebuild(nullptr)->source()), Framed({kSEI, kP}, 0));
  EXPECT_EQ(UnitsOf(packet->Rebuild(dropSEI)->nalus()), Units{kP});
  EXPECT_EQ(annexB->ToAnnexB(), annexB);
  EXPECT_EQ(width4->ToLengthPrefixed(), width4);
}

TEST(H264Parser, Refusals) {
  Bytes reserved = AvcC({0x42, 0xD0, 0x0B}, 4, {kSPS}, {kPPS}), zeroLength = AvcC({0x42, 0xD0, 0x0B}, 4, {kSPS, {}}, {kPPS});
  reserved[4] = 0x03;
  Units bigSPS = {kSPS, kPPS}, manyPPS(33, kPPS);
  bigSPS[0].resize(65536);
  manyPPS[0] = kSPS;
  const auto annexB = H264Parser::CreateFromCodecConfiguration(Blob(Framed(kBase, 0)));
  const auto width2 = H264Parser::CreateFromCodecConfiguration(NalusToAVCC(Views(kBase), 2));
  const auto convert = [](const Bytes& bytes, const auto& from, const auto& to) {
    ConvertPacketFromSourceToDestinationFormat(testing_support::MakePacket(bytes), from, to, nullptr);
  };
  const struct {
    const char* name;
    std::function<void()> operation;
    const char* message;
    const char* function;
  } rows[] = {
      {"reserved bits not all ones", [&] { H264Parser::CreateFromCodecConfiguration(Blob(reserved)); }, "The avcC header contains invalid data", "ParseCodecConfiguration"},
      {"unit of length 0", [&] { H264Parser::CreateFromCodecConfiguration(Blob(zeroLength)); }, "The avcC header contains invalid data", "ParseCodecConfiguration"},
      {"empty", [] { H264Parser::CreateFromCodecConfiguration(Blob({})); }, "Not enougth data to determine h264 header type", "ParseCodecConfiguration"},
      {"neither avcC nor Annex B", [] { H264Parser::CreateFromCodecConfiguration(Blob({2, 0, 0, 0})); }, "Unable determine h264 header type", "ParseCodecConfiguration"},
      {"three bytes", [] { H264Parser::CreateFromCodecConfiguration(Blob({2, 0, 0})); }, "Not enougth data to determine header type", "ParseCodecConfigAsAnnexB"},
      {"packet parser", [] { std::make_shared<H264Parser>(false)->ParseCodecConfiguration(Blob(Framed(kBase, 0))); }, "The parser is not suitable for parsing codec configuration", "ParseCodecConfiguration"},
      {"no PPS", [] { NalusToAVCC(Views({kSPS}), 4); }, "No sps or pps found!", "NalusToAVCC"},
      {"32 PPS", [&] { NalusToAVCC(Views(manyPPS), 4); }, "PPS count is too high", "NalusToAVCC"},
      {"SPS above 65535 bytes", [&] { NalusToAVCC(Views(bigSPS), 4); }, "SPS length is too high", "NalusToAVCC"},
      {"unit too long for 2-byte lengths", [&] { convert(Framed({bigSPS[0]}, 0), annexB, width2); }, "NALU length is too high", "BlobMp4Maker"},
      {"Annex B wanted, destination is a packet parser",
       [&] { convert(Framed({kSPS}, 2), width2, std::static_pointer_cast<H264Parser>(annexB->ParsePacket(Blob({})))); },
       "Codec configuration is not available", "ConvertPacketFromSourceToDestinationFormat"},
      {"filter leaves a unit unfinished", [&] { annexB->Rebuild([](const NALU&, H26xBitstreamBuilder& b) { b.BeginNALU(12, 0); return 1; }); },
       "Pending bits not yet written to the buffer, call FinishNALU() first.", "BytesInBuffer"},
      {"filter leaves no parameter set", [&] { width2->Rebuild([](const NALU&, H26xBitstreamBuilder&) { return 0; }); },
       "No sps or pps found!", "NalusToAVCC"},
      {"length size 5", [] { H264Parser::CreateFromLengthPrefixed(kSPS.data(), kSPS.size(), 5); }, "Invalid NAL length size", "CreateFromLengthPrefixed"},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const auto failure = Probe(row.operation);
    ASSERT_TRUE(failure);
    EXPECT_EQ(std::tie(failure->message, failure->function), std::tie(row.message, row.function));
  }
}

}  // namespace
