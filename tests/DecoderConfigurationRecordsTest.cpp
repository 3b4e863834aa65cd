#include "Orvane/Proc/CodecParsers/DecoderConfigurationRecords.h"

#include <gtest/gtest.h>

#include <functional>
#include <tuple>

#include "Orvane/Proc/CodecParsers/H26xParser.h"
#include "Orvane/Proc/Data.h"
#include "support/BitstreamTestKit.h"

namespace {

using namespace Orvane::Proc::CodecParsers;
using codec_test::Probe;
using Bytes = std::vector<uint8_t>;

// Units behind lengths of 1 to 4 bytes (0: behind start codes), or refused when a length does not
// fit; the 4-byte layout is read back by heifmux's end-to-end tests.
TEST(DecoderConfigurationRecords, Layouts) {
  const Bytes a(256, 0xAA), c = {0x40, 0x01};
  const std::vector<std::tuple<std::vector<NALU>, uint64_t, Bytes>> rows = {
      {{{a.data(), 255}}, 1, Bytes(1, 0xFF)},  // the layout's first byte: 255 bytes fit one length byte
      {{{a.data(), 256}}, 1, {}},              // 256 do not
      {{{a.data(), 256}, {c.data(), 2}}, 2, {0x01, 0x00, 0xAA}},
      {{{c.data(), 2}}, 3, {0, 0, 2, 0x40, 0x01}},
      {{{c.data(), 2}, {a.data(), 1}, {a.data(), 0}}, 0, {0, 0, 0, 1, 0x40, 0x01, 0, 0, 0, 1, 0xAA, 0, 0, 0, 1}},
      {std::vector<NALU>{}, 4, Bytes{}},
      {{{c.data(), 2}}, 5, {}}};  // refused: lengths are 1 to 4 bytes
  for (const auto& [nalus, lengthSize, head] : rows) {
    SCOPED_TRACE(lengthSize);
    Orvane::BlobPtr blob;
    const auto failure = Probe([&, &nalus = nalus, lengthSize = lengthSize] { blob = lengthSize ? MakeLengthPrefixedBlob(nalus, lengthSize) : MakeAnnexBBlob(nalus); });
    EXPECT_EQ(failure ? failure->message + " in " + failure->function : "",
              lengthSize > 4 ? "Invalid NAL length size in MakeLengthPrefixedBlob" : head.empty() && !nalus.empty() ? "NALU length is too high in BlobMp4Maker" : "");
    if (failure) continue;
    uint64_t size = 0;
    for (const NALU& nalu : nalus) size += nalu.size + (lengthSize ? lengthSize : 4);
    ASSERT_EQ(blob->GetSize(), size);
    EXPECT_EQ(Bytes(blob->GetData(), blob->GetData() + head.size()), head);
  }
}

// The shared parts of the stream parsers, without a codec's own.
struct PlainParser : H26xParser {
  explicit PlainParser(bool forCodecConfig) : H26xParser(forCodecConfig, NaluCodec::HEVC) {}
  std::shared_ptr<H26xParser> Rebuild(const NaluFilter&) const override { return nullptr; }
  std::shared_ptr<H26xParser> ParsePacket(const ConstBlobPtr&) const override { return nullptr; }
  uint32_t GetPictureFlags() const override { return 0; }
  bool HasParameterSets() const override { return false; }
};

TEST(H26xParser, ParsesWhatItIsFor) {
  const Bytes annexB = {0, 0, 1, 0x40, 0x01, 0x0c, 0, 0, 0, 1, 0x42, 0x01};
  const auto blob = Orvane::Proc::BlobFF::Create(annexB.data(), annexB.size());
  PlainParser config(true), packet(false);
  const std::vector<std::pair<std::function<void()>, const char*>> rows = {
      {[&] { config.ParsePacketData(blob, std::nullopt); }, "The parser is not suitable for parsing packet data in ParsePacketData"},
      {[&] { packet.ParseCodecConfigAsAnnexB(blob); }, "The parser is not suitable for parsing codec configuration in ParseCodecConfigAsAnnexB"},
      {[&] { packet.ParsePacketData(blob, 9); }, "Invalid NAL length size in ParsePacketData"},
      {[&] { config.ParseCodecConfigAsAnnexB(Orvane::Proc::BlobFF::Create(annexB.data(), 3)); },
       "Not enougth data to determine header type in ParseCodecConfigAsAnnexB"}};
  for (const auto& [call, expected] : rows) {
    const auto failure = Probe(call);
    EXPECT_EQ(failure ? failure->message + " in " + failure->function : "", expected);
  }
  EXPECT_EQ(Probe([&] { BlobMp4Maker(0, {}); }).value_or(codec_test::Failure{}).message, "Invalid NAL length size");
  // Annex B only behind a start code; the records point into the blob, which the parser keeps.
  EXPECT_FALSE(config.ParseCodecConfigAsAnnexB(Orvane::Proc::BlobFF::Create(annexB.data() + 3, 4)));
  ASSERT_TRUE(config.ParseCodecConfigAsAnnexB(blob));
  EXPECT_TRUE(!config.nalLengthSize() && config.source() == blob && config.nalus().size() == 2);
  EXPECT_EQ(config.nalus()[0].data, blob->GetData() + 3);
  packet.ParsePacketData(blob, std::nullopt);
  EXPECT_EQ(packet.GetNALUs(33).size(), 1u);
}

}  // namespace
