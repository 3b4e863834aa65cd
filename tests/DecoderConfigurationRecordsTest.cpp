#include "Orvane/Proc/CodecParsers/DecoderConfigurationRecords.h"

#include <gtest/gtest.h>

#include "Orvane/Proc/CodecParsers/H26xParser.h"
#include "Orvane/Proc/Data.h"
#include "support/BitstreamTestKit.h"

namespace {

using namespace Orvane::Proc::CodecParsers;
using codec_test::Probe;

// The shared parts of the stream parsers, without a codec's own.
struct PlainParser : H26xParser {
  explicit PlainParser(bool forCodecConfig) : H26xParser(forCodecConfig, NaluCodec::HEVC) {}
  std::shared_ptr<H26xParser> ParsePacket(const ConstBlobPtr&) const override { return nullptr; }
  uint32_t GetPictureFlags() const override { return 0; }
  bool HasParameterSets() const override { return false; }
};

std::vector<uint8_t> BlobBytes(const Orvane::BlobPtr& blob) {
  return std::vector<uint8_t>(blob->GetData(), blob->GetData() + blob->GetSize());
}

TEST(DecoderConfigurationRecords, LengthPrefixedLayout) {
  const std::vector<uint8_t> a(255, 0xAA), b(256, 0xBB), c = {0x40, 0x01};
  struct Row {
    const char* name;
    std::vector<NALU> nalus;
    uint64_t lengthSize;
    std::vector<uint8_t> head;  // the first bytes of the layout
    uint64_t size;              // 0: must fail with "NALU length is too high"
  } rows[] = {
      {"255 bytes fit one length byte", {{a.data(), a.size()}}, 1, {0xFF, 0xAA}, 256},
      {"256 bytes do not", {{b.data(), b.size()}}, 1, {}, 0},
      {"two-byte lengths", {{b.data(), b.size()}}, 2, {0x01, 0x00, 0xBB}, 258},
      {"three-byte lengths", {{c.data(), c.size()}}, 3, {0, 0, 2, 0x40, 0x01}, 5},
      {"four-byte lengths, two units", {{c.data(), c.size()}, {a.data(), 1}}, 4, {0, 0, 0, 2, 0x40, 0x01, 0, 0, 0, 1, 0xAA}, 11},
  };
  EXPECT_EQ(MakeLengthPrefixedBlob({}, 4)->GetSize(), 0u);
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    if (row.size == 0) {
      const auto failure = Probe([&] { MakeLengthPrefixedBlob(row.nalus, row.lengthSize); });
      ASSERT_TRUE(failure);
      EXPECT_EQ(failure->message, "NALU length is too high");
      EXPECT_EQ(failure->function, "BlobMp4Maker");
      EXPECT_EQ(failure->file, "Orvane/Proc/CodecParsers/H26xBitstreamParser");
      continue;
    }
    const std::vector<uint8_t> out = BlobBytes(MakeLengthPrefixedBlob(row.nalus, row.lengthSize));
    EXPECT_EQ(out.size(), row.size);
    EXPECT_EQ(std::vector<uint8_t>(out.begin(), out.begin() + std::min(out.size(), row.head.size())), row.head);
  }
}

TEST(DecoderConfigurationRecords, AnnexBLayout) {
  EXPECT_EQ(MakeAnnexBBlob({})->GetSize(), 0u);
  const std::vector<uint8_t> vps = {0x40, 0x01, 0x0c}, trail = {0x02, 0x01, 0x00, 0x00};  // ends in zeros
  const auto blob = MakeAnnexBBlob({{vps.data(), vps.size()}, {trail.data(), trail.size()}});
  const std::vector<uint8_t> expected = {0, 0, 0, 1, 0x40, 0x01, 0x0c, 0, 0, 0, 1, 0x02, 0x01, 0x00, 0x00};
  EXPECT_EQ(BlobBytes(blob), expected);
}

TEST(H26xParser, RefusesTheWrongKindOfInput) {
  const std::vector<uint8_t> annexB = {0, 0, 1, 0x40, 0x01, 0x0c, 0, 0, 0, 1, 0x42, 0x01};
  const auto blob = Orvane::Proc::BlobFF::Create(annexB.data(), annexB.size());
  const auto shortBlob = Orvane::Proc::BlobFF::Create(annexB.data(), 3);
  PlainParser config(true), packet(false);
  struct Row {
    const char* name;
    std::function<void()> call;
    const char* message;
    const char* function;
  } rows[] = {
      {"packet data into a configuration parser", [&] { config.ParsePacketData(blob, std::nullopt); },
       "The parser is not suitable for parsing packet data", "ParsePacketData"},
      {"configuration into a packet parser", [&] { packet.ParseCodecConfigAsAnnexB(blob); },
       "The parser is not suitable for parsing codec configuration", "ParseCodecConfigAsAnnexB"},
      {"three bytes cannot hold a start code and a unit", [&] { config.ParseCodecConfigAsAnnexB(shortBlob); },
       "Not enougth data to determine header type", "ParseCodecConfigAsAnnexB"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    const auto failure = Probe(row.call);
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->message, row.message);
    EXPECT_EQ(failure->function, row.function);
  }
  EXPECT_TRUE(config.nalus().empty());
  EXPECT_FALSE(config.source());
}

TEST(H26xParser, TakesAnnexBConfigurationsOnlyBehindAStartCode) {
  const std::vector<uint8_t> annexB = {0, 0, 1, 0x40, 0x01, 0x0c, 0, 0, 0, 1, 0x42, 0x01};
  const std::vector<uint8_t> record = {1, 0x01, 0x60, 0, 0};
  PlainParser parser(true);
  EXPECT_FALSE(parser.ParseCodecConfigAsAnnexB(Orvane::Proc::BlobFF::Create(record.data(), record.size())));
  const auto blob = Orvane::Proc::BlobFF::Create(annexB.data(), annexB.size());
  ASSERT_TRUE(parser.ParseCodecConfigAsAnnexB(blob));
  EXPECT_FALSE(parser.nalLengthSize());
  EXPECT_EQ(parser.source(), blob);
  ASSERT_EQ(parser.nalus().size(), 2u);
  EXPECT_EQ(parser.nalus()[0].data, blob->GetData() + 3);  // points into the blob, no copy
  EXPECT_EQ(parser.nalus()[1].size, 2u);
}

}  // namespace
