#include "Orvane/Proc/CodecParsers/H26xBitstreamBuilder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>

#include "Orvane/Proc/CodecParsers/BitsReader.h"
#include "Orvane/Proc/CodecParsers/H26xBitstreamParser.h"
#include "support/BitstreamTestKit.h"

namespace {

using codec_test::Bits;
using codec_test::Probe;
using namespace Orvane::Proc::CodecParsers;
using Bytes = std::vector<uint8_t>;
using Builder = H26xBitstreamBuilder;

Bytes Output(const Builder& b) { return Bytes(b.data(), b.data() + b.BytesInBuffer()); }

TEST(H26xBitstreamBuilder, Output) {
  struct Row {
    const char* name;
    bool prevention;
    std::function<void(Builder&)> write;
    Bytes expected;
  };
  const Bytes zeros = {0, 0, 0, 0};
  const std::vector<Row> rows = {
      {"fields share a byte", false, [](Builder& b) { b.AppendU64(5, 3); b.AppendU64(1, 5); b.Flush(); }, {0xA1}},
      {"a field split by a full register", false, [](Builder& b) { b.AppendU64(1, 60); b.AppendU64(0xABC, 12); b.Flush(); },
       {0, 0, 0, 0, 0, 0, 0, 0x1A, 0xBC}},
      {"ue 0 1 2 7", false, [](Builder& b) { b.AppendUE(0); b.AppendUE(1); b.AppendUE(2); b.AppendUE(7); b.Flush(); },
       Bits().u(1, 1).u(3, 2).u(3, 3).u(7, 8).out},
      {"se 1 -1 2", false, [](Builder& b) { b.AppendSE(1); b.AppendSE(-1); b.AppendSE(2); b.Flush(); }, Bits().u(3, 2).u(3, 3).u(5, 4).out},
      {"se -(2^31 - 1)", false, [](Builder& b) { b.AppendSE(-0x7FFFFFFF); b.Flush(); }, Bits().se(-0x7FFFFFFF).out},
      {"H.264 header", true, [](Builder& b) { b.BeginNALU(5, 3); b.FinishNALU(); }, {0x65, 0x80}},
      {"H.265 header", true, [](Builder& b) { b.BeginNALU(32); b.FinishNALU(); }, {0x40, 0x01, 0x80}},
      {"00 00 01 prevented", true, [](Builder& b) { b.BeginNALU(1, 0); b.AppendU64(1, 24); b.FinishNALU(); },
       {0x01, 0, 0, 3, 1, 0x80}},
      {"00 00 04 needs nothing", true, [](Builder& b) { b.BeginNALU(1, 0); b.AppendU64(4, 24); b.FinishNALU(); },
       {0x01, 0, 0, 4, 0x80}},
      {"four zeros and the trailing byte", true, [](Builder& b) { b.BeginNALU(1, 0); b.AppendU64(0, 32); b.FinishNALU(); },
       {0x01, 0, 0, 3, 0, 0, 0x80}},
      {"four zeros, no prevention", false, [](Builder& b) { b.BeginNALU(1, 0); b.AppendU64(0, 32); b.FinishNALU(); },
       {0x01, 0, 0, 0, 0, 0x80}},
      {"patterns across register flushes", true,
       [](Builder& b) { b.BeginNALU(1, 0); b.AppendU64(0x2A, 48); b.AppendU64(0, 16); b.AppendU64(2, 8); b.FinishNALU(); },
       {0x01, 0, 0, 3, 0, 0, 3, 0, 0x2A, 0, 0, 3, 2, 0x80}},
      // A length field of 65536 ends in 00 00; the header byte 01 after it (a non-reference
      // slice) starts the unit and is not the end of a pattern inside it.
      {"bytes before the unit are not its own", true,
       [](Builder& b) { b.AppendU64(0x10000, 32); b.Flush(); b.BeginNALU(1, 0); b.FinishNALU(); }, {0, 1, 0, 0, 1, 0x80}},
      {"a unit beyond the first 4096 bytes", true,
       [](Builder& b) { b.BeginNALU(1, 3); for (int i = 0; i < 5000; ++i) b.AppendU64(0x55, 8); b.FinishNALU(); },
       [] { Bytes e(5002, 0x55); e.front() = 0x61; e.back() = 0x80; return e; }()},
      {"start code and a unit as it stands", true, [&zeros](Builder& b) { b.AppendAnnexBStartCode(); b.AppendNALU({zeros.data(), 4}); },
       {0, 0, 0, 1, 0, 0, 0, 0}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Builder b(row.prevention);
    row.write(b);
    EXPECT_EQ(Output(b), row.expected);
  }
}

TEST(H26xBitstreamBuilder, Failures) {
  struct Row {
    const char* name;
    bool prevention;
    std::function<void(Builder&)> write;
    const char* message;
    const char* function;
  };
  const char* pending = "Pending bits not yet written to the buffer, call FinishNALU() first.";
  const Bytes unit = {0x40, 0x01};
  const std::vector<Row> rows = {
      {"65 bits", false, [](Builder& b) { b.AppendU64(0, 65); }, "Overflow error", "AppendU64"},
      {"ue without a code", false, [](Builder& b) { b.AppendUE(0xFFFFFFFF); }, "Overflow error", "AppendUE"},
      {"se without a code", false, [](Builder& b) { b.AppendSE(INT32_MIN); }, "Overflow error", "AppendSE"},
      {"size with a bit pending", false, [](Builder& b) { b.AppendBit(true); b.BytesInBuffer(); }, pending, "BytesInBuffer"},
      {"data with a bit pending", false, [](Builder& b) { b.AppendBit(true); b.data(); }, pending, "data"},
      {"H.264 unit, bits pending", true, [](Builder& b) { b.AppendBit(true); b.BeginNALU(5, 3); }, pending, "BeginNALU"},
      {"H.265 unit in an unfinished one", true, [](Builder& b) { b.BeginNALU(32); b.BeginNALU(33); }, pending, "BeginNALU"},
      {"start code, bits pending", false, [](Builder& b) { b.AppendBit(false); b.AppendAnnexBStartCode(); }, pending,
       "AppendAnnexBStartCode"},
      {"unit, bits pending", false, [&unit](Builder& b) { b.AppendBit(false); b.AppendNALU({unit.data(), 2}); }, pending, "AppendNALU"},
      {"H.264 type 0", true, [](Builder& b) { b.BeginNALU(0, 3); }, "Invalid NALU", "BeginNALU"},
      {"12 bits flushed in a unit", true, [](Builder& b) { b.BeginNALU(1, 0); b.AppendU64(0, 4); b.Flush(); },
       "Emulation prevention bytes only works on complete bytes being flushed", "FlushReg"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Builder b(row.prevention);
    const auto f = Probe([&] { row.write(b); });
    ASSERT_TRUE(f.has_value());
    EXPECT_TRUE(f->bitstream);
    EXPECT_EQ(f->message, row.message);
    EXPECT_EQ(f->function, row.function);
    EXPECT_EQ(f->file, "Orvane/Proc/CodecParsers/H26xBitstreamBuilder");
  }
}

// Random fields written by the builder read back by the reader: as written without emulation
// prevention, through RemoveEmulationPrevention with it.
TEST(H26xBitstreamBuilder, RoundTripsThroughTheReader) {
  enum Kind { kU, kUE, kUE32, kSE };
  struct Field {
    Kind kind;
    uint32_t value;
    unsigned bits;
  };
  std::mt19937 rng(5);
  // Mostly values of 0 to 3, so that emulation patterns come up often.
  auto pick = [&](unsigned bits) {
    const uint32_t v = rng() % 3 == 0 ? static_cast<uint32_t>(rng()) : rng() % 4;
    return bits == 32 ? v : v & ((1u << bits) - 1);
  };
  for (int round = 0; round < 300; ++round) {
    std::vector<Field> fields(rng() % 200);
    for (Field& f : fields) {
      f.kind = static_cast<Kind>(rng() % 4);
      f.bits = f.kind == kU ? rng() % 33 : f.kind == kUE ? 1 + rng() % 31 : f.kind == kUE32 ? 32 : 30;
      f.value = std::min(pick(f.bits), 0xFFFFFFFEu);
      if (f.kind == kSE && rng() % 2) f.value = static_cast<uint32_t>(-static_cast<int32_t>(f.value));
    }
    for (bool prevention : {false, true}) {
      SCOPED_TRACE(testing::Message() << "round " << round << " prevention " << prevention);
      Builder b(prevention);
      b.BeginNALU(33);
      for (const Field& f : fields) {
        if (f.kind == kU) b.AppendU64(f.value, f.bits);
        else if (f.kind == kSE) b.AppendSE(static_cast<int32_t>(f.value));
        else b.AppendUE(f.value);
      }
      b.FinishNALU();
      const Bytes written = Output(b);
      for (size_t i = 0; prevention && i + 2 < written.size(); ++i) {
        ASSERT_FALSE(written[i] == 0 && written[i + 1] == 0 && written[i + 2] <= 2) << "start code emulated at " << i;
      }
      const Bytes rbsp = prevention ? RemoveEmulationPrevention(written.data(), written.size()) : written;
      BitsReader r(rbsp.data(), rbsp.size());
      ASSERT_EQ(r.GetBits<uint16_t>(16), 0x4201);
      for (const Field& f : fields) {
        const uint32_t read = f.kind == kU    ? r.GetBits<uint32_t>(f.bits)
                              : f.kind == kUE ? r.GetUEGolomb()
                              : f.kind == kSE ? static_cast<uint32_t>(r.GetSEGolomb())
                                              : r.GetUEGolomb32();
        ASSERT_EQ(read, f.value) << "kind " << f.kind;
      }
      EXPECT_FALSE(r.MoreRBSPData());
      EXPECT_EQ(r.GetBits1(), 1u);  // rbsp_stop_one_bit
    }
  }
}

}  // namespace
