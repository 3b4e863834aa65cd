#include "Orvane/Proc/CodecParsers/H26xBitstreamBuilder.h"

#include <gtest/gtest.h>

#include <functional>
#include <tuple>

#include "Orvane/Proc/CodecParsers/H26xBitstreamParser.h"
#include "support/BitstreamTestKit.h"

namespace {

using codec_test::Probe;
using namespace Orvane::Proc::CodecParsers;
using Bytes = std::vector<uint8_t>;
using Builder = H26xBitstreamBuilder;

Bytes Output(const Builder& b) { return Bytes(b.data(), b.data() + b.BytesInBuffer()); }

// What the builder writes, or its failure ("message in function"). It also writes every SPS of
// the sample streams back byte for byte (HEVCSerialisationTest.cpp).
TEST(H26xBitstreamBuilder, Output) {
  const Bytes unit = {0, 0, 0, 0};
  const std::string pending = "Pending bits not yet written to the buffer, call FinishNALU() first. in ";
  const std::vector<std::tuple<bool, std::function<void(Builder&)>, Bytes, std::string>> rows = {
      {false, [](Builder& b) { b.AppendU64(1, 60); b.AppendU64(0xABC, 12); b.Flush(); }, {0, 0, 0, 0, 0, 0, 0, 0x1A, 0xBC}, ""},
      {true, [](Builder& b) { b.BeginNALU(5, 3); b.FinishNALU(); }, {0x65, 0x80}, ""},  // H.264 header
      {true, [](Builder& b) { b.BeginNALU(1, 0); b.AppendU64(0x000001000004, 48); b.FinishNALU(); }, {0x01, 0, 0, 3, 1, 0, 0, 4, 0x80}, ""},
      {true, [](Builder& b) { b.BeginNALU(1, 0); b.AppendU64(0, 32); b.FinishNALU(); }, {0x01, 0, 0, 3, 0, 0, 0x80}, ""},
      {true, [](Builder& b) { b.BeginNALU(1, 0); b.AppendU64(0x2A, 48); b.AppendU64(0, 16); b.AppendU64(2, 8); b.FinishNALU(); },
       {0x01, 0, 0, 3, 0, 0, 3, 0, 0x2A, 0, 0, 3, 2, 0x80}, ""},  // patterns across register flushes
      // A length field of 65536 ends in 00 00; the unit's header byte 01 after it is no pattern in the unit.
      {true, [](Builder& b) { b.AppendU64(0x10000, 32); b.Flush(); b.BeginNALU(1, 0); b.FinishNALU(); }, {0, 1, 0, 0, 1, 0x80}, ""},
      {true, [](Builder& b) { b.BeginNALU(1, 3); for (int i = 0; i < 5000; ++i) b.AppendU64(0x55, 8); b.FinishNALU(); },
       [] { Bytes e(5002, 0x55); e.front() = 0x61; e.back() = 0x80; return e; }(), ""},  // beyond the first 4096 bytes
      {true, [&](Builder& b) { b.AppendAnnexBStartCode(); b.AppendNALU({unit.data(), 4}); }, {0, 0, 0, 1, 0, 0, 0, 0}, ""},
      {false, [](Builder& b) { b.AppendU64(0, 65); }, {}, "Overflow error in AppendU64"},
      {false, [](Builder& b) { b.AppendUE(0xFFFFFFFF); }, {}, "Overflow error in AppendUE"},
      {false, [](Builder& b) { b.AppendSE(INT32_MIN); }, {}, "Overflow error in AppendSE"},
      {true, [](Builder& b) { b.AppendBit(true); b.BeginNALU(5, 3); }, {}, pending + "BeginNALU"},
      {true, [](Builder& b) { b.BeginNALU(32); b.BeginNALU(33); }, {}, pending + "BeginNALU"},
      {false, [&](Builder& b) { b.AppendBit(false); b.AppendNALU({unit.data(), 2}); }, {}, pending + "AppendNALU"},
      {true, [](Builder& b) { b.BeginNALU(0, 3); }, {}, "Invalid NALU in BeginNALU"},
      {true, [](Builder& b) { b.BeginNALU(1, 0); b.AppendU64(0, 4); b.Flush(); }, {},
       "Emulation prevention bytes only works on complete bytes being flushed in FlushReg"},
  };
  for (const auto& [prevention, write, expected, failure] : rows) {
    SCOPED_TRACE(failure + testing::PrintToString(expected));
    Builder b(prevention);
    const auto f = Probe([&b, &write = write] { write(b); });
    EXPECT_EQ(f ? f->message + " in " + f->function : "", failure);
    EXPECT_TRUE(!f || (f->bitstream && f->file == "Orvane/Proc/CodecParsers/H26xBitstreamBuilder"));
    EXPECT_EQ(f ? expected : Output(b), expected);
  }
}

}  // namespace
