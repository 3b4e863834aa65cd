// The H.264 stream parser and avcC record, parser rebuilding, and the framing combinations of the
// packet conversion, on parameter sets of the x264 sample streams and hand-built slices.
#include "Orvane/Proc/CodecParsers/H264Parser.h"

#include <gtest/gtest.h>

#include "Orvane/Proc/CodecParsers/DecoderConfigurationRecords.h"
#include "Orvane/Proc/CodecParsers/H264CodecParams.h"
#include "Orvane/Proc/CodecParsers/PacketConversion.h"
#include "support/BitstreamTestKit.h"
#include "support/HEVCStreams.h"
#include "support/HostFakes.h"

namespace {

using namespace Orvane::Proc::CodecParsers;
using codec_test::Probe;
using Bytes = std::vector<uint8_t>;
using Units = std::vector<Bytes>;

ConstBlobPtr Blob(const Bytes& b) { return Orvane::Proc::BlobFF::Create(b.data(), b.size()); }
Units UnitsOf(const std::vector<NALU>& nalus) {
  Units units;
  for (const NALU& n : nalus) units.emplace_back(n.data, n.data + n.size);
  return units;
}
std::vector<NALU> Views(const Units& units) {
  std::vector<NALU> nalus;
  for (const Bytes& u : units) nalus.push_back({u.data(), u.size()});
  return nalus;
}
// Each unit behind a big-endian length of `width` bytes, or behind 00 00 00 01 for width 0.
Bytes Framed(const Units& units, int width) {
  Bytes out;
  for (const Bytes& u : units) {
    for (int i = width ? width : 4; i-- > 0;) out.push_back(width ? uint8_t(u.size() >> 8 * i) : i == 0);
    out.insert(out.end(), u.begin(), u.end());
  }
  return out;
}
Units FirstSPSAndPPS(const char* stream) {
  const Units all = UnitsOf(H264Parser::CreateFromCodecConfiguration(
      Blob(codec_test::ReadFile(std::filesystem::path(H264_TEST_STREAMS) / stream)))->nalus());
  return {all[0], all[1]};
}

const Units kBase = FirstSPSAndPPS("baseline_crop.h264");  // SPS id 0: 67 42 D0 0B ...
const Units kMain = FirstSPSAndPPS("main_ids.h264");       // SPS id 5: 67 4D 40 0A ...
const Bytes kSPS = kBase[0], kPPS = kBase[1];
const Bytes kAUD = {0x09, 0xF0}, kSEI = {0x06, 0x05, 0x01, 0x00, 0x80};
// first_mb_in_slice 0, slice_type 7 (I) or 5 (P).
const Bytes kIDR = {0x65, 0x88, 0x80}, kI = {0x41, 0x88, 0x80}, kP = {0x41, 0x9A, 0x80};

// An avcC record as the format lays it out, written here by hand.
Bytes AvcC(Bytes head, int lengthSize, const Units& sps, const Units& pps) {
  head.insert(head.begin(), 1);
  head.push_back(uint8_t(0xFC | (lengthSize - 1)));
  head.push_back(uint8_t(0xE0 | sps.size()));
  for (const Units* list : {&sps, &pps}) {
    if (list == &pps) head.push_back(uint8_t(pps.size()));
    const Bytes units = Framed(*list, 2);
    head.insert(head.end(), units.begin(), units.end());
  }
  return head;
}

struct Refusal {
  const char* name;
  std::function<void()> operation;
  const char* message;
  const char* function;  // null: a message of the reader or the builder
};
void ExpectRefusals(const std::vector<Refusal>& rows) {
  for (const Refusal& row : rows) {
    SCOPED_TRACE(row.name);
    const auto failure = Probe(row.operation);
    ASSERT_TRUE(failure);
    EXPECT_EQ(failure->message, row.message);
    if (row.function) { EXPECT_EQ(failure->function, row.function); }
  }
}

TEST(H264Parser, ReadsAvcCAndAnnexBConfigurations) {
  const Bytes layout = {1, 0x64, 0, 0x1F, 0xFF, 0xE1, 0, 4, 0x67, 0x64, 0, 0x1F, 1, 0, 2, 0x68, 0xEE};
  const struct {
    const char* name;
    Bytes blob;
    std::optional<uint64_t> lengthSize;
    Units units;
  } rows[] = {
      {"avcC layout", layout, 4, {{0x67, 0x64, 0, 0x1F}, {0x68, 0xEE}}},
      {"avcC of 2-byte lengths with a High profile tail", [] { Bytes b = AvcC({0x64, 0, 0x1F}, 2, {kSPS}, {kPPS, kPPS}); b.insert(b.end(), {0xFD, 0xF8, 0xF8, 0}); return b; }(),
       2, {kSPS, kPPS, kPPS}},
      {"Annex B", Framed({kSPS, kPPS}, 0), std::nullopt, {kSPS, kPPS}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const auto parser = H264Parser::CreateFromCodecConfiguration(Blob(row.blob));
    EXPECT_EQ(parser->nalLengthSize(), row.lengthSize);
    EXPECT_EQ(UnitsOf(parser->nalus()), row.units);
  }
  const auto ps = H264Parser::CreateFromCodecConfiguration(Blob(AvcC({0x4D, 0x40, 0x0A}, 4, {kMain[0], kSPS}, {kPPS})))->GetParameterSets();
  EXPECT_EQ(ps->sps_list.size(), 2u);
  EXPECT_EQ(ps->pps_list.size(), 1u);

  Bytes reserved = layout, zeroLength = AvcC({0x42, 0xD0, 0x0B}, 4, {kSPS, {}}, {kPPS});
  reserved[4] = 0x03;
  ExpectRefusals({
      {"reserved bits not all ones", [&] { H264Parser::CreateFromCodecConfiguration(Blob(reserved)); }, "The avcC header contains invalid data", "ParseCodecConfiguration"},
      {"unit of length 0", [&] { H264Parser::CreateFromCodecConfiguration(Blob(zeroLength)); }, "The avcC header contains invalid data", "ParseCodecConfiguration"},
      {"record cut short", [&] { H264Parser::CreateFromCodecConfiguration(Blob(Bytes(layout.begin(), layout.end() - 1))); }, "End of stream", nullptr},
      {"empty", [] { H264Parser::CreateFromCodecConfiguration(Blob({})); }, "Not enougth data to determine h264 header type", "ParseCodecConfiguration"},
      {"neither", [] { H264Parser::CreateFromCodecConfiguration(Blob({2, 0, 0, 0})); }, "Unable determine h264 header type", "ParseCodecConfiguration"},
      {"three bytes", [] { H264Parser::CreateFromCodecConfiguration(Blob({2, 0, 0})); }, "Not enougth data to determine header type", "ParseCodecConfigAsAnnexB"},
      {"packet parser", [] { std::make_shared<H264Parser>(false)->ParseCodecConfiguration(Blob(Framed({kSPS}, 0))); }, "The parser is not suitable for parsing codec configuration", "ParseCodecConfiguration"},
  });
}

TEST(H264Parser, WritesAvcCRecords) {
  const Bytes bigSPS = [] { Bytes b = kSPS; b.resize(65536); return b; }();
  const struct {
    const char* name;
    Units units;
    int lengthSize;
    Bytes record;
  } rows[] = {
      {"SPS and PPS", {kSPS, kPPS}, 4, AvcC({0x42, 0xD0, 0x0B}, 4, {kSPS}, {kPPS})},
      {"2-byte lengths", {kSPS, kPPS}, 2, AvcC({0x42, 0xD0, 0x0B}, 2, {kSPS}, {kPPS})},
      {"1-byte lengths, other units left out", {kAUD, kSEI, kSPS, kPPS, kIDR}, 1, AvcC({0x42, 0xD0, 0x0B}, 1, {kSPS}, {kPPS})},
      {"head from the lowest SPS id, input order", {kMain[0], kSPS, kPPS}, 4, AvcC({0x42, 0xD0, 0x0B}, 4, {kMain[0], kSPS}, {kPPS})},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const ConstBlobPtr record = NalusToAVCC(Views(row.units), row.lengthSize);
    EXPECT_EQ(Bytes(record->GetData(), record->GetData() + record->GetSize()), row.record);
  }
  ExpectRefusals({
      {"SPS only", [] { NalusToAVCC(Views({kSPS}), 4); }, "No sps or pps found!", "NalusToAVCC"},
      {"32 PPS", [] { Units u(33, kPPS); u[0] = kSPS; NalusToAVCC(Views(u), 4); }, "PPS count is too high", "NalusToAVCC"},
      {"SPS above 65535 bytes", [&] { NalusToAVCC(Views({bigSPS, kPPS}), 4); }, "SPS length is too high", "NalusToAVCC"},
  });
}

TEST(H264Parser, PacketsArePictureClassified) {
  const struct {
    const char* name;
    Units units;
    uint32_t flags;
  } rows[] = {{"AUD, SEI, IDR", {kAUD, kSEI, kIDR}, 7}, {"P only", {kP}, 0}, {"P then I", {kP, kI}, 1}, {"parameter sets", {kSPS, kPPS}, 0}};
  const auto config = H264Parser::CreateFromCodecConfiguration(Blob(Framed({kSPS, kPPS}, 0)));
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(config->ParsePacket(Blob(Framed(row.units, 0)))->GetPictureFlags(), row.flags);
  }
}

TEST(ParserConversions, RebuildAndReframe) {
  const Units packet = {kAUD, kSEI, kIDR};
  const auto annexB = std::make_shared<H264Parser>(false);
  Bytes shortStartCodes = Framed(packet, 0);
  shortStartCodes.erase(shortStartCodes.begin() + 6);  // the second unit behind 00 00 01
  annexB->ParsePacketData(Blob(shortStartCodes), std::nullopt);
  const auto config = H264Parser::CreateFromCodecConfiguration(Blob(AvcC({0x42, 0xD0, 0x0B}, 4, {kSPS}, {kPPS})));
  const NaluFilter dropSEI = [](const NALU& n, H26xBitstreamBuilder&) { return H264NaluType(n) == 6 ? 0 : 1; };
  const NaluFilter replace = [](const NALU&, H26xBitstreamBuilder& b) { b.BeginNALU(12, 0); b.AppendU64(1, 24); b.FinishNALU(); return 1; };
  const Bytes filler = {0x0C, 0x00, 0x00, 0x03, 0x01, 0x80};  // 00 00 01 gets an emulation-prevention byte
  const struct {
    const char* name;
    std::shared_ptr<H26xParser> result;
    std::shared_ptr<H26xParser> same;  // the parser that must come back itself, if any
    bool forCodecConfig;
    std::optional<uint64_t> lengthSize;
    Units units;
  } rows[] = {
      {"rebuild, no filter", annexB->Rebuild(nullptr), nullptr, false, std::nullopt, packet},
      {"rebuild dropping SEI", annexB->Rebuild(dropSEI), nullptr, false, std::nullopt, {kAUD, kIDR}},
      {"rebuild replacing every unit", annexB->Rebuild(replace), nullptr, false, std::nullopt, {filler, filler, filler}},
      {"configuration rebuilt keeps its record form", config->Rebuild(nullptr), nullptr, true, 4, {kSPS, kPPS}},
      {"Annex B packet to Annex B", annexB->ToAnnexB(), annexB, false, std::nullopt, packet},
      {"avcC to Annex B", config->ToAnnexB(), nullptr, true, std::nullopt, {kSPS, kPPS}},
      {"avcC to length-prefixed", config->ToLengthPrefixed(), config, true, 4, {kSPS, kPPS}},
      {"Annex B configuration to avcC", config->ToAnnexB()->ToLengthPrefixed(), nullptr, true, 4, {kSPS, kPPS}},
      {"from 2-byte lengths", H264Parser::CreateFromLengthPrefixed(Framed({kSEI, kSPS, kPPS}, 2).data(), Framed({kSEI, kSPS, kPPS}, 2).size(), 2),
       nullptr, true, 2, {kSPS, kPPS}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    if (row.same) { EXPECT_EQ(row.result, row.same); }
    EXPECT_EQ(row.result->forCodecConfig(), row.forCodecConfig);
    EXPECT_EQ(row.result->nalLengthSize(), row.lengthSize);
    EXPECT_EQ(UnitsOf(row.result->nalus()), row.units);
  }
  const ConstBlobPtr rebuilt = annexB->Rebuild(nullptr)->source();
  EXPECT_EQ(Bytes(rebuilt->GetData(), rebuilt->GetData() + rebuilt->GetSize()), Framed(packet, 0));
  const FilteredNalus replaced(annexB->nalus(), replace);
  EXPECT_TRUE(replaced.modified);
  EXPECT_NE(replaced.nalus[0].data, replaced.nalus[1].data);
  ExpectRefusals({
      {"unfinished unit", [&] { annexB->Rebuild([](const NALU&, H26xBitstreamBuilder& b) { b.BeginNALU(12, 0); return 1; }); },
       "Pending bits not yet written to the buffer, call FinishNALU() first.", "BytesInBuffer"},
      {"no parameter set left", [&] { config->Rebuild([](const NALU&, H26xBitstreamBuilder&) { return 0; }); }, "No sps or pps found!", "NalusToAVCC"},
      {"length size 0", [] { H264Parser::CreateFromLengthPrefixed(kSPS.data(), kSPS.size(), 0); }, "Invalid NAL length size", "CreateFromLengthPrefixed"},
      {"length size 5", [] { HEVCParser::CreateFromLengthPrefixed(kSPS.data(), kSPS.size(), 5); }, "Invalid NAL length size", "CreateFromLengthPrefixed"},
  });
}

TEST(PacketConversion, FramingCombinations) {
  const auto annexB = H264Parser::CreateFromCodecConfiguration(Blob(Framed({kSPS, kPPS}, 0)));
  const auto width4 = annexB->ToLengthPrefixed();
  const auto width2 = H264Parser::CreateFromCodecConfiguration(NalusToAVCC(annexB->nalus(), 2));
  const auto packetParser = std::static_pointer_cast<H264Parser>(annexB->ParsePacket(Blob(Framed({kSPS}, 0))));
  const NaluFilter dropSEI = [](const NALU& n, H26xBitstreamBuilder&) { return H264NaluType(n) == 6 ? 0 : 1; };
  const Bytes big = [] { Bytes b = kP; b.resize(65536); return b; }();
  const struct {
    const char* name;
    std::shared_ptr<H264Parser> from, to;
    bool key;
    Units units;
    NaluFilter filter;
    Units expected;  // empty: the same packet object comes back
  } rows[] = {
      {"Annex B, not key", annexB, annexB, false, {kP}, nullptr, {}},
      {"Annex B key with its own SPS", annexB, annexB, true, {kSPS, kPPS, kIDR}, nullptr, {}},
      {"Annex B key without", annexB, annexB, true, {kSEI, kIDR}, nullptr, {kSPS, kPPS, kSEI, kIDR}},
      {"4-byte lengths to Annex B", width4, annexB, false, {kP, kP}, nullptr, {kP, kP}},
      {"4-byte key to Annex B", width4, annexB, true, {kIDR}, nullptr, {kSPS, kPPS, kIDR}},
      {"Annex B to 2-byte lengths", annexB, width2, true, {kIDR}, nullptr, {kIDR}},
      {"4-byte key to 4-byte", width4, width4, true, {kIDR}, nullptr, {}},
      {"4-byte to 2-byte lengths", width4, width2, false, {kSEI, kP}, nullptr, {kSEI, kP}},
      {"2-byte to 4-byte lengths", width2, width4, false, {kP}, nullptr, {kP}},
      {"filter on 4-byte to 4-byte", width4, width4, false, {kSEI, kP}, dropSEI, {kP}},
      {"filter on Annex B key with SPS", annexB, annexB, true, {kSPS, kSEI, kIDR}, dropSEI, {kSPS, kIDR}},
  };
  for (const auto& row : rows) {
    SCOPED_TRACE(row.name);
    const int fromWidth = static_cast<int>(row.from->nalLengthSize().value_or(0));
    const int toWidth = static_cast<int>(row.to->nalLengthSize().value_or(0));
    AVPacket* av = Orvane::Proc::CreatePacket(Framed(row.units, fromWidth).size());
    std::ranges::copy(Framed(row.units, fromWidth), av->data);
    av->flags = row.key ? AV_PKT_FLAG_KEY : 0;
    av->pts = 7;
    const auto in = Orvane::Proc::DataPacketFF::Create(av, 0, 1, 2, 3);
    const auto out = ConvertPacketFromSourceToDestinationFormat(in, row.from, row.to, row.filter);
    const ConstBlobPtr blob = out->GetBlob();
    const Bytes expected = Framed(row.expected.empty() ? row.units : row.expected, row.expected.empty() ? fromWidth : toWidth);
    EXPECT_EQ(Bytes(blob->GetData(), blob->GetData() + blob->GetSize()), expected);
    EXPECT_EQ(out == in, row.expected.empty());
    EXPECT_EQ(std::tuple(out->GetPts(), out->GetDts(), out->GetDuration(), out->IsKeyFrame(), out->GetAVPacket()->pts),
              std::tuple(int64_t{1}, int64_t{2}, int64_t{3}, row.key, int64_t{7}));
  }
  ExpectRefusals({
      {"unit too long for 2-byte lengths", [&] { ConvertPacketFromSourceToDestinationFormat(testing_support::MakePacket(Framed({big}, 0)), annexB, width2, nullptr); },
       "NALU length is too high", "BlobMp4Maker"},
      {"Annex B wanted, destination is a packet parser", [&] { ConvertPacketFromSourceToDestinationFormat(testing_support::MakePacket(Framed({kP}, 4)), width4, packetParser, nullptr); },
       "Codec configuration is not available", "ConvertPacketFromSourceToDestinationFormat"},
  });
}

}  // namespace
