#include "Orvane/Proc/CodecParsers/DecoderConfigurationRecords.h"

#include <gtest/gtest.h>

#include <functional>

#include "Orvane/Proc/CodecParsers/H26xParser.h"
#include "Orvane/Proc/Data.h"
#include "support/BitstreamTestKit.h"
#include "support/FramingKit.h"

namespace {

using namespace Orvane::Proc::CodecParsers;
using namespace codec_test;

// Units behind lengths of 1 to 4 bytes (0: behind start codes) as the test kit frames them, or
// refused when a length does not fit.
TEST(DecoderConfigurationRecords, Layouts) {
  const Bytes a(256, 0xAA), c = {0x40, 0x01};
  const struct Row { Units units; uint64_t lengthSize; std::string failure = ""; } rows[] = {
      {{Bytes(255, 0xAA)}, 1},                             // 255 bytes fit one length byte
      {{a}, 1, "NALU length is too high in BlobMp4Maker"},  // 256 do not
      {{c}, 3},
      {{c, {0xAA}, {}}, 0},
      {{}, 4},
      {{c}, 5, "Invalid NAL length size in MakeLengthPrefixedBlob"}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.lengthSize);
    Orvane::BlobPtr blob;
    const auto failure = Probe([&] { blob = row.lengthSize ? MakeLengthPrefixedBlob(Views(row.units), row.lengthSize) : MakeAnnexBBlob(Views(row.units)); });
    EXPECT_EQ(failure ? failure->message + " in " + failure->function : "", row.failure);
    if (failure) continue;
    EXPECT_EQ(BytesOf(blob), Framed(row.units, row.lengthSize));
  }
}

// The shared parts of the stream parsers, without a codec's own.
struct PlainParser : H26xParser {
  explicit PlainParser(bool forCodecConfig) : H26xParser(forCodecConfig, NaluCodec::HEVC) {}
  std::shared_ptr<H26xParser> Rebuild(const NaluFilter&) const override { return nullptr; }
  std::shared_ptr<H26xParser> ParsePacket(const ConstBlobPtr&) const override { return nullptr; }
  uint32_t GetPictureFlags() const override { return 0; }
  bool HasParameterSets(const std::vector<NALU>&) const override { return false; }
};

TEST(H26xParser, ParsesWhatItIsFor) {
  const Bytes annexB = {0, 0, 1, 0x40, 0x01, 0x0c, 0, 0, 0, 1, 0x42, 0x01};
  const auto blob = Orvane::Proc::BlobFF::Create(annexB.data(), annexB.size());
  PlainParser config(true), packet(false);
  const std::vector<std::pair<std::function<void()>, const char*>> rows = {
      {[&] { config.ParsePacketData(blob, std::nullopt); }, "The parser is not suitable for parsing packet data in ParsePacketData"},
      {[&] { packet.ParseCodecConfigAsAnnexB(blob); }, "The parser is not suitable for parsing codec configuration in ParseCodecConfigAsAnnexB"},
      {[&] { config.ParseCodecConfigAsAnnexB(Orvane::Proc::BlobFF::Create(annexB.data(), 3)); },
       "Not enougth data to determine header type in ParseCodecConfigAsAnnexB"}};
  for (const auto& [call, expected] : rows) {
    const auto failure = Probe(call);
    EXPECT_EQ(failure ? failure->message + " in " + failure->function : "", expected);
  }
  // Annex B only behind a start code; the records point into the blob, which the parser keeps.
  EXPECT_FALSE(config.ParseCodecConfigAsAnnexB(Orvane::Proc::BlobFF::Create(annexB.data() + 3, 4)));
  ASSERT_TRUE(config.ParseCodecConfigAsAnnexB(blob));
  EXPECT_TRUE(!config.nalLengthSize() && config.source() == blob && config.nalus().size() == 2);
  EXPECT_EQ(config.nalus()[0].data, blob->GetData() + 3);
}

}  // namespace
