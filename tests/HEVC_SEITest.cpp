// H.265 SEI units: every one of x265 streams made at test time (tests/data/hevc/sei-streams.sh:
// HDR10, alternative transfer, the three picture hashes, x265's information message, user data
// registered, recovery points with repeated parameter sets, a spliced-in time code and ambient
// viewing environment) and of the sample streams, decoded, listed and compared element by element
// with FFmpeg's trace_headers; and the framing of units built by hand.
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "Orvane/Proc/CodecParsers/H26xBitstreamParser.h"
#include "Orvane/Proc/CodecParsers/HEVCCodecParams.h"
#include "Orvane/Proc/CodecParsers/HEVC_SEI.h"
#include "support/BitstreamTestKit.h"
#include "support/HEVCStreams.h"
#include "support/TraceOracle.h"

namespace {

using namespace Orvane::Proc::CodecParsers;
using namespace codec_test;

const TraceRules kSEIRules{
    {}, [](const std::string& name) { return name == "forbidden_zero_bit" || name == "nal_unit_type" || name.starts_with("nuh_"); }, {}};

TEST(HEVCSEIAgainstFFmpeg, EveryMessageOfEveryUnitAgrees) {
  std::string pattern = (std::filesystem::temp_directory_path() / "orvane-sei-XXXXXX").string();
  const std::filesystem::path dir = mkdtemp(pattern.data());
  const std::shared_ptr<void> removeDir(nullptr, [&dir](void*) { std::filesystem::remove_all(dir); });
  ASSERT_EQ(std::system(("bash " HEVC_TEST_DATA "/sei-streams.sh '" + dir.string() + "' >/dev/null 2>&1").c_str()), 0);
  std::map<uint32_t, size_t> types;  // messages decoded, by payloadType
  for (const auto& stream : SampleStreams(dir)) {
    SCOPED_TRACE(stream.filename().string());
    const std::vector<TraceUnit> trace = ReadTrace(std::filesystem::path(stream).replace_extension(".sei"));
    const std::vector<uint8_t> bytes = ReadFile(stream);
    std::vector<NALU> nalus;
    FindAnnexBNalus(bytes.data(), bytes.size(), nalus);
    HEVC_PS ps;
    size_t sei = 0;
    for (const NALU& nalu : nalus) {
      const uint32_t type = HEVCNaluType(nalu);
      ps.AddNALU(nalu);
      if (type != 39 && type != 40) continue;
      ASSERT_LT(sei, trace.size()) << "more SEI units than traced";
      HEVC_SEI decoded;
      // Every stream has one SPS, the one in force.
      decoded.Decode(nalu, ps.sps_list.empty() ? nullptr : ps.sps_list.back().get());
      FlatListing ours;
      ListSyntax(decoded, ours);
      Compare(trace[sei++], ours, kSEIRules);
      for (const HEVC_SEIMessage& m : decoded.messages) ++types[m.payloadType];
    }
    EXPECT_EQ(sei, trace.size()) << "fewer SEI units than traced";
  }
  for (uint32_t type : {4, 5, 6, 132, 136, 137, 144, 147, 148}) EXPECT_GT(types[type], 0u) << "payloadType " << type;
}

TEST(HEVCSEI, Framing) {
  using Bytes = std::vector<uint8_t>;
  const auto unit = [](std::vector<Bytes> messages, uint8_t type = 40) {
    Bytes out = {static_cast<uint8_t>(type << 1), 1};
    for (const Bytes& m : messages) out.insert(out.end(), m.begin(), m.end());
    out.push_back(0x80);  // rbsp_stop_one_bit
    return out;
  };
  const auto ffRun = [](Bytes v, Bytes rest) { v.insert(v.end(), 16843009, 0xFF); return v.insert(v.end(), rest.begin(), rest.end()), v; };
  const Bytes crc = {132, 7, 1, 0x12, 0x34, 0x56, 0x78, 0x9A, 0xBC};  // hash_type 1, three CRCs
  HEVC_SPS mono{};
  struct Row {
    const char* name;
    Bytes unit;
    const HEVC_SPS* sps;
    std::string expected;  // the listing, or the failure
  } rows[] = {
      {"hash without the SPS in force: bytes only", unit({crc}), nullptr, " payloadType=132 payloadSize=7 "},
      {"monochrome: one hash, the rest beyond its form", unit({crc}), &mono, " payloadType=132 payloadSize=7 hash_type=1 picture_crc[0]=4660 "},
      {"a form longer than its payload ends the unit", unit({{147, 0}, crc}), nullptr, " "},
      {"slice unit", unit({crc}, 1), nullptr, " NALU is not a SEI in Decode "},
      // 2^32 as 16.8 MB of 0xFF and a 1: neither wraps to a small value.
      {"payloadType 2^32", unit({ffRun({}, {1, 0})}), nullptr, " payloadType out of range in Decode "},
      {"payloadSize 2^32", unit({ffRun({5}, {1})}), nullptr, " End of stream in ShowBytes "},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    HEVC_SEI sei;
    const auto failure = Probe([&] { sei.Decode(NALU{row.unit.data(), row.unit.size()}, row.sps); });
    FlatListing listing;
    ListSyntax(sei, listing);
    std::string listed = " ";
    for (const auto& [name, value] : listing.elements) listed += name + "=" + std::to_string(value) + " ";
    EXPECT_EQ(failure ? " " + failure->message + " in " + failure->function + " " : listed, row.expected);
  }
  // At most 65 messages from one unit.
  const Bytes many = unit(std::vector<Bytes>(70, Bytes{147, 1, 18}));
  HEVC_SEI sei;
  sei.Decode(NALU{many.data(), many.size()});
  EXPECT_EQ(sei.messages.size(), 65u);
}

}  // namespace
