#include "Orvane/Proc/CodecParsers/H26xBitstreamBuilder.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
#include <random>
#include <variant>

#include "Orvane/Proc/CodecParsers/BitsReader.h"
#include "Orvane/Proc/CodecParsers/H26xBitstreamParser.h"
#include "support/BitstreamTestKit.h"

namespace {

using codec_test::Bits;
using codec_test::Probe;
using Orvane::Proc::CodecParsers::BitsReader;
using Orvane::Proc::CodecParsers::H26xBitstreamBuilder;
using Orvane::Proc::CodecParsers::NALU;
using Orvane::Proc::CodecParsers::RemoveEmulationPrevention;
using Bytes = std::vector<uint8_t>;
using Builder = H26xBitstreamBuilder;

Bytes Output(const Builder& b) { return Bytes(b.data(), b.data() + b.BytesInBuffer()); }

TEST(H26xBitstreamBuilder, Output) {
  struct Row {
    const char* name;
    bool emulationPrevention;
    std::function<void(Builder&)> write;
    Bytes expected;
  };
  const Bytes zeros4 = {0, 0, 0, 0};
  const std::vector<Row> rows = {
      {"fields share a byte", false, [](Builder& b) { b.AppendU64(5, 3); b.AppendU64(1, 5); b.Flush(); }, {0xA1}},
      {"zero width writes nothing", false, [](Builder& b) { b.AppendU64(0xFF, 0); b.Flush(); }, {}},
      {"flush pads with zeros", false, [](Builder& b) { b.AppendBit(true); b.Flush(); }, {0x80}},
      {"64 bits at once", false, [](Builder& b) { b.AppendU64(0x0123456789ABCDEF, 64); b.AppendU64(0xF, 4); b.Flush(); },
       {0x01, 0x23, 0x45, 0x67, 0x89, 0xAB, 0xCD, 0xEF, 0xF0}},
      {"a field split by a full register", false, [](Builder& b) { b.AppendU64(0, 60); b.AppendU64(0xABC, 12); b.Flush(); },
       {0, 0, 0, 0, 0, 0, 0, 0x0A, 0xBC}},
      {"ue 0 1 2 7", false, [](Builder& b) { b.AppendUE(0); b.AppendUE(1); b.AppendUE(2); b.AppendUE(7); b.Flush(); },
       Bits().u(1, 1).u(3, 2).u(3, 3).u(7, 8).out},
      {"ue of 2^32 - 2", false, [](Builder& b) { b.AppendUE(0xFFFFFFFE); b.Flush(); }, Bits().zeros(31).u(32, 0xFFFFFFFF).out},
      {"se 1 -1 2", false, [](Builder& b) { b.AppendSE(1); b.AppendSE(-1); b.AppendSE(2); b.Flush(); },
       Bits().u(3, 2).u(3, 3).u(5, 4).out},
      {"se of INT32_MIN + 1", false, [](Builder& b) { b.AppendSE(-0x7FFFFFFF); b.Flush(); }, Bits().se(-0x7FFFFFFF).out},
      {"H.264 header", true, [](Builder& b) { b.BeginNALU(5, 3); b.FinishNALU(); }, {0x65, 0x80}},
      {"H.265 header", true, [](Builder& b) { b.BeginNALU(32); b.FinishNALU(); }, {0x40, 0x01, 0x80}},
      {"00 00 01 prevented", true, [](Builder& b) { b.BeginNALU(1, 0); b.AppendU64(0x000001, 24); b.FinishNALU(); },
       {0x01, 0x00, 0x00, 0x03, 0x01, 0x80}},
      {"00 00 04 needs nothing", true, [](Builder& b) { b.BeginNALU(1, 0); b.AppendU64(0x000004, 24); b.FinishNALU(); },
       {0x01, 0x00, 0x00, 0x04, 0x80}},
      {"four zeros then the trailing byte", true, [](Builder& b) { b.BeginNALU(1, 0); b.AppendU64(0, 32); b.FinishNALU(); },
       {0x01, 0x00, 0x00, 0x03, 0x00, 0x00, 0x80}},
      {"four zeros, no prevention", false, [](Builder& b) { b.BeginNALU(1, 0); b.AppendU64(0, 32); b.FinishNALU(); },
       {0x01, 0x00, 0x00, 0x00, 0x00, 0x80}},
      {"pattern across register flushes", true,
       [](Builder& b) { b.BeginNALU(1, 0); b.AppendU64(0x2A, 48); b.AppendU64(0, 16); b.AppendU64(0x02, 8); b.FinishNALU(); },
       {0x01, 0x00, 0x00, 0x03, 0x00, 0x00, 0x03, 0x00, 0x2A, 0x00, 0x00, 0x03, 0x02, 0x80}},
      {"prevention stops with the unit", true,
       [](Builder& b) { b.BeginNALU(1, 0); b.FinishNALU(); b.AppendU64(0x000001, 24); b.Flush(); },
       {0x01, 0x80, 0x00, 0x00, 0x01}},
      // A length field of 65536 ends in 00 00; the header byte 01 after it (nal_ref_idc 0, a
      // non-IDR slice) is the first byte of the unit, not the end of a pattern inside it.
      {"bytes before the unit are not its own", true,
       [](Builder& b) { b.AppendU64(0x00010000, 32); b.Flush(); b.BeginNALU(1, 0); b.FinishNALU(); },
       {0x00, 0x01, 0x00, 0x00, 0x01, 0x80}},
      {"start code and a unit as it stands", true,
       [zeros4](Builder& b) { b.AppendAnnexBStartCode(); b.AppendNALU({zeros4.data(), zeros4.size()}); },
       {0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x00}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Builder b(row.emulationPrevention);
    row.write(b);
    EXPECT_EQ(Output(b), row.expected);
  }
}

TEST(H26xBitstreamBuilder, Failures) {
  struct Row {
    const char* name;
    bool emulationPrevention;
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
      {"H.264 unit with bits pending", true, [](Builder& b) { b.AppendBit(true); b.BeginNALU(5, 3); }, pending, "BeginNALU"},
      {"H.265 unit inside an unfinished one", true, [](Builder& b) { b.BeginNALU(32); b.BeginNALU(33); }, pending, "BeginNALU"},
      {"start code with bits pending", false, [](Builder& b) { b.AppendBit(false); b.AppendAnnexBStartCode(); }, pending,
       "AppendAnnexBStartCode"},
      {"unit with bits pending", false, [unit](Builder& b) { b.AppendBit(false); b.AppendNALU({unit.data(), unit.size()}); },
       pending, "AppendNALU"},
      {"H.264 type 0", true, [](Builder& b) { b.BeginNALU(0, 3); }, "Invalid NALU", "BeginNALU"},
      {"12 bits flushed inside a unit", true, [](Builder& b) { b.BeginNALU(1, 0); b.AppendU64(0, 4); b.Flush(); },
       "Emulation prevention bytes only works on complete bytes being flushed", "FlushReg"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    Builder b(row.emulationPrevention);
    const auto f = Probe([&] { row.write(b); });
    ASSERT_TRUE(f.has_value());
    EXPECT_TRUE(f->bitstream);
    EXPECT_EQ(f->message, row.message);
    EXPECT_EQ(f->function, row.function);
    EXPECT_EQ(f->file, "Orvane/Proc/CodecParsers/H26xBitstreamBuilder");
  }
}

TEST(H26xBitstreamBuilder, KeepsWhatWasWrittenBeforeAFailure) {
  Builder b(true);
  b.BeginNALU(1, 0);
  b.AppendU64(0xABCD, 16);
  b.FinishNALU();
  EXPECT_TRUE(Probe([&] { b.BeginNALU(0, 2); }).has_value());
  // The three header bits of the refused unit stay pending.
  EXPECT_TRUE(Probe([&] { b.BytesInBuffer(); }).has_value());
}

TEST(H26xBitstreamBuilder, GrowsPastItsFirstBuffer) {
  Builder b(true);
  b.BeginNALU(1, 3);
  Bytes expected = {0x61};
  for (int i = 0; i < 10000; ++i) {
    b.AppendU64(0, 8);
    if (i >= 2 && i % 2 == 0) expected.push_back(0x03);  // after every second zero
    expected.push_back(0);
  }
  b.FinishNALU();
  expected.push_back(0x80);
  EXPECT_EQ(Output(b), expected);

  Bytes big(9000, 0x55);
  Builder raw(false);
  raw.AppendAnnexBStartCode();
  raw.AppendNALU({big.data(), big.size()});
  raw.AppendNALU({big.data(), big.size()});
  EXPECT_EQ(raw.BytesInBuffer(), 4u + 2 * big.size());
  EXPECT_EQ(Output(raw).back(), 0x55);
}

// Random fields written by the builder read back by the reader: directly without emulation
// prevention, and through RemoveEmulationPrevention with it.
TEST(H26xBitstreamBuilder, RoundTripsThroughTheReader) {
  struct U { uint32_t value; unsigned bits; };
  struct UE { uint32_t value; };
  struct UE32 { uint32_t value; };
  struct SE { int32_t value; };
  using Field = std::variant<U, UE, UE32, SE>;
  std::mt19937 rng(5);
  // Small values and zero bytes are frequent, so that emulation patterns come up often.
  auto pick = [&](unsigned bits) -> uint32_t {
    const uint32_t mask = bits == 32 ? 0xFFFFFFFF : (1u << bits) - 1;
    return rng() % 3 == 0 ? static_cast<uint32_t>(rng()) & mask : static_cast<uint32_t>(rng() % 4) & mask;
  };
  for (int round = 0; round < 300; ++round) {
    std::vector<Field> fields;
    for (int i = 0, n = static_cast<int>(rng() % 200); i < n; ++i) {
      switch (rng() % 4) {
        case 0: { const unsigned bits = rng() % 33; fields.push_back(U{pick(bits), bits}); break; }
        case 1: fields.push_back(UE{pick(31 - rng() % 31)}); break;
        case 2: fields.push_back(UE32{rng() % 5 == 0 ? 0xFFFFFFFE : std::min(pick(32), 0xFFFFFFFEu)}); break;
        default: fields.push_back(SE{static_cast<int32_t>(pick(30)) * (rng() % 2 ? 1 : -1)}); break;
      }
    }
    for (bool emulationPrevention : {false, true}) {
      SCOPED_TRACE(testing::Message() << "round " << round << " prevention " << emulationPrevention);
      Builder b(emulationPrevention);
      b.BeginNALU(33);
      for (const Field& f : fields) {
        std::visit([&b](const auto& x) {
          using T = std::decay_t<decltype(x)>;
          if constexpr (std::is_same_v<T, U>) b.AppendU64(x.value, x.bits);
          else if constexpr (std::is_same_v<T, SE>) b.AppendSE(x.value);
          else b.AppendUE(x.value);
        }, f);
      }
      b.FinishNALU();
      const Bytes written = Output(b);
      const Bytes rbsp = emulationPrevention ? RemoveEmulationPrevention(written.data(), written.size()) : written;
      if (emulationPrevention) {
        // No start code and no stray pattern may be left inside the unit.
        for (size_t i = 0; i + 2 < written.size(); ++i) {
          ASSERT_FALSE(written[i] == 0 && written[i + 1] == 0 && written[i + 2] <= 2) << "at " << i;
        }
      }
      BitsReader r(rbsp.data(), rbsp.size());
      ASSERT_EQ(r.GetBits<uint16_t>(16), 0x4201);
      for (const Field& f : fields) {
        std::visit([&r](const auto& x) {
          using T = std::decay_t<decltype(x)>;
          if constexpr (std::is_same_v<T, U>) ASSERT_EQ(r.GetBits<uint32_t>(x.bits), x.value);
          else if constexpr (std::is_same_v<T, UE>) ASSERT_EQ(r.GetUEGolomb(), x.value);
          else if constexpr (std::is_same_v<T, UE32>) ASSERT_EQ(r.GetUEGolomb32(), x.value);
          else ASSERT_EQ(r.GetSEGolomb(), x.value);
        }, f);
      }
      EXPECT_FALSE(r.MoreRBSPData());
      EXPECT_EQ(r.GetBits1(), 1u);  // rbsp_stop_one_bit
    }
  }
}

}  // namespace
