// The H.264 stream parser and the avcC record over parameter sets of the x264 sample streams, the
// packet framings real streams do not reach, and the refusals of the parser, record and conversions.
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
  const Units all = UnitsOf(H264Parser::CreateFromCodecConfiguration(Blob(ReadFile(std::filesystem::path(H264_TEST_STREAMS) / stream)))->nalus());
  return {all[0], all[1]};
}
const Units kBase = ConfigurationOf("baseline_crop.h264");                                  // SPS id 0: 67 42 D0 0B ...
const Bytes kSPS = kBase[0], kPPS = kBase[1], kSPS5 = ConfigurationOf("main_ids.h264")[0];  // id 5: 67 4D 40 0A ...
const Bytes kSEI = {0x06, 0x05, 0x80}, kIDR = {0x65, 0x88, 0x80}, kP = {0x41, 0x9A, 0x80};  // I and P slices

TEST(H264Parser, AvcCLayout) {
  const auto parsed = H264Parser::CreateFromCodecConfiguration(Blob({1, 0x64, 0, 0x1F, 0xFF, 0xE1, 0, 4, 0x67, 0x64, 0, 0x1F, 1, 0, 2, 0x68, 0xEE}));
  EXPECT_EQ(parsed->nalLengthSize(), 4u);
  EXPECT_EQ(UnitsOf(parsed->nalus()), (Units{{0x67, 0x64, 0, 0x1F}, {0x68, 0xEE}}));
  const struct {
    const char* name;
    Units input, units;  // the units read back from the record
    uint64_t lengthSize;
    Bytes head;  // the record's first six bytes
  } rows[] = {
      {"1-byte lengths, other units left out", {kSEI, kSPS, kPPS, kIDR}, kBase, 1, {1, 0x42, 0xD0, 0x0B, 0xFC, 0xE1}},
      {"head from the lowest SPS id, units in input order", {kSPS5, kSPS, kPPS}, {kSPS5, kSPS, kPPS}, 2, {1, 0x42, 0xD0, 0x0B, 0xFD, 0xE2}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const Bytes record = BytesOf(NalusToAVCC(Views(row.input), row.lengthSize));
    EXPECT_EQ(Bytes(record.begin(), record.begin() + 6), row.head);
    const auto parser = H264Parser::CreateFromCodecConfiguration(Blob(record));
    EXPECT_EQ(UnitsOf(parser->nalus()), row.units);
    EXPECT_EQ(parser->GetParameterSets()->sps_list.size(), row.units.size() - 1);
  }
}

TEST(H264Parser, PacketFramings) {
  const auto annexB = H264Parser::CreateFromCodecConfiguration(Blob(Framed(kBase, 0)));
  const auto width4 = annexB->ToLengthPrefixed();
  const NaluFilter dropParameterSets = [](const NALU& n, H26xBitstreamBuilder&) { return H264NaluType(n) == 7 || H264NaluType(n) == 8 ? 0 : 1; };
  const struct {
    const char* name;
    Units units, expected;  // expected empty: the same packet object comes back
    NaluFilter filter = nullptr;
  } rows[] = {
      {"Annex B key with its own SPS", {kSPS, kPPS, kIDR}, {}},
      {"Annex B key without", {kSEI, kIDR}, {kSPS, kPPS, kSEI, kIDR}},
      {"Annex B key whose own SPS and PPS the filter drops", {kSPS5, kPPS, kSEI, kIDR}, {kSPS, kPPS, kSEI, kIDR}, dropParameterSets},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const Bytes bytes = Framed(row.units, 0);
    const auto in = testing_support::MakePacket(bytes, true);
    const auto out = ConvertPacketFromSourceToDestinationFormat(in, annexB, annexB, row.filter);
    EXPECT_EQ(BytesOf(out->GetBlob()), row.expected.empty() ? bytes : Framed(row.expected, 0));
    EXPECT_EQ(out == in, row.expected.empty());
  }
  EXPECT_EQ(annexB->ToAnnexB(), annexB);
  EXPECT_EQ(width4->ToLengthPrefixed(), width4);
  EXPECT_EQ(annexB->ParsePacket(Blob(Framed({kP, kSEI, kIDR}, 0)))->GetPictureFlags(), 7u);  // P slices do not decide
}

TEST(H264Parser, Refusals) {
  Bytes reserved = BytesOf(NalusToAVCC(Views(kBase), 4)), bigSPS = kSPS;
  reserved[4] = 0x03;
  bigSPS.resize(65536);
  const auto annexB = H264Parser::CreateFromCodecConfiguration(Blob(Framed(kBase, 0)));
  const auto width2 = H264Parser::CreateFromCodecConfiguration(NalusToAVCC(Views(kBase), 2));
  const auto packetParser = std::static_pointer_cast<H264Parser>(annexB->ParsePacket(nullptr));
  const auto convert = [](const Bytes& bytes, const auto& from, const auto& to) {
    ConvertPacketFromSourceToDestinationFormat(testing_support::MakePacket(bytes), from, to, nullptr);
  };
  const auto parse = [](const Bytes& bytes) { H264Parser::CreateFromCodecConfiguration(Blob(bytes)); };
  const struct {
    const char* name;
    std::function<void()> operation;
    const char* message;
    const char* function;
  } rows[] = {
      {"reserved bits not all ones", [&] { parse(reserved); }, "The avcC header contains invalid data", "ParseCodecConfiguration"},
      {"empty", [&] { parse({}); }, "Not enougth data to determine h264 header type", "ParseCodecConfiguration"},
      {"neither avcC nor Annex B", [&] { parse({2, 0, 0, 0}); }, "Unable determine h264 header type", "ParseCodecConfiguration"},
      {"packet parser", [&] { packetParser->ParseCodecConfiguration(Blob(Framed(kBase, 0))); }, "The parser is not suitable for parsing codec configuration", "ParseCodecConfiguration"},
      {"no PPS", [] { NalusToAVCC(Views({kSPS}), 4); }, "No sps or pps found!", "NalusToAVCC"},
      {"32 PPS", [] { Units u(33, kPPS); u[0] = kSPS; NalusToAVCC(Views(u), 4); }, "PPS count is too high", "NalusToAVCC"},
      {"SPS above 65535 bytes", [&] { NalusToAVCC(Views({bigSPS, kPPS}), 4); }, "SPS length is too high", "NalusToAVCC"},
      {"unit too long for 2-byte lengths", [&] { convert(Framed({bigSPS}, 0), annexB, width2); }, "NALU length is too high", "BlobMp4Maker"},
      {"Annex B wanted from a packet parser", [&] { convert(Framed({kP}, 2), width2, packetParser); }, "Codec configuration is not available", "ConvertPacketFromSourceToDestinationFormat"},
      {"filter leaves a unit unfinished", [&] { annexB->Rebuild([](const NALU&, H26xBitstreamBuilder& b) { b.BeginNALU(12, 0); return 1; }); },
       "Pending bits not yet written to the buffer, call FinishNALU() first.", "BytesInBuffer"},
      {"Annex B packet without a start code", [&] { annexB->ParsePacket(Blob(kIDR)); }, "The Annex B packet contains no NALU", "ParsePacketData"},
      {"bytes before the first start code", [&] { convert(Bytes{0, 0x11, 0, 0, 1, 0x65, 0x88}, annexB, width2); },
       "The Annex B packet contains data before its first start code", "ParsePacketData"},
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
