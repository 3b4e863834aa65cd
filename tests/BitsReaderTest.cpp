#include "Orvane/Proc/CodecParsers/BitsReader.h"

#include <gtest/gtest.h>

#include <random>

#include "support/BitstreamTestKit.h"

namespace {

using codec_test::Bits;
using codec_test::Probe;
using Orvane::Proc::CodecParsers::BitsReader;
using Orvane::Proc::CodecParsers::RemoveEmulationPrevention;
using Bytes = std::vector<uint8_t>;
using Op = std::function<int64_t(BitsReader&)>;

BitsReader At(const Bytes& bytes, uint64_t skip, bool lenient = false) {
  BitsReader r(bytes.data(), bytes.size());
  r.SkipBits(skip);
  r.lenient = lenient;
  return r;
}

// Every width at every offset, near the end (where no 64-bit window fits) and far from it,
// against the bits gathered one at a time.
TEST(BitsReader, FixedWidthReadsMatchBitByBit) {
  std::mt19937 rng(7);
  Bytes bytes(24);
  for (auto& b : bytes) b = static_cast<uint8_t>(rng());
  for (uint64_t from = 0; from < bytes.size() * 8; ++from) {
    for (unsigned n = 0; n <= 32 && from + n <= bytes.size() * 8; ++n) {
      uint64_t v = 0;
      for (uint64_t p = from; p < from + n; ++p) v = v << 1 | ((bytes[p / 8] >> (7 - p % 8)) & 1);
      const int32_t sign = n == 0 ? 0 : static_cast<int32_t>(static_cast<uint32_t>(v << (32 - n))) >> (32 - n);
      BitsReader r = At(bytes, from);
      ASSERT_EQ(r.ShowBits<int32_t>(n), sign) << from << " " << n;
      ASSERT_EQ(r.ShowBits<uint16_t>(std::min(n, 16u)), v >> (n - std::min(n, 16u)));
      ASSERT_EQ(r.ShowBits<uint8_t>(std::min(n, 8u)), v >> (n - std::min(n, 8u)));
      ASSERT_EQ(r.GetBits<uint32_t>(n), v);
      ASSERT_EQ(r.GetPosition(), from + n);
    }
  }
}

TEST(BitsReader, Failures) {
  struct Row {
    const char* name;
    Bytes bytes;
    uint64_t skip;
    bool lenient;
    std::function<void(BitsReader&)> op;
    const char* message;
    const char* function;
  };
  const char* eos = "End of stream";
  const char* unaligned = "Position not on a byte boundary";
  const std::vector<Row> rows = {
      {"u8 one bit short", {0xFF}, 1, false, [](BitsReader& r) { r.GetBits<uint8_t>(8); }, eos, "ShowBits"},
      {"s32 past the end", {1, 2, 3}, 0, false, [](BitsReader& r) { r.GetBits<int32_t>(25); }, eos, "ShowBits"},
      {"one bit more", {0xFF}, 8, false, [](BitsReader& r) { r.GetBits1(); }, eos, "ShowBits1"},
      {"bytes off a boundary", {0xFF, 0xFF}, 1, false, [](BitsReader& r) { r.GetBytes(1); }, unaligned, "ShowBytes"},
      {"boundary tested first", {0xFF}, 1, false, [](BitsReader& r) { r.ShowBytes(9); }, unaligned, "ShowBytes"},
      {"byte count that wraps", {1, 2}, 8, false, [](BitsReader& r) { r.GetBytes(~uint64_t{0}); }, eos, "ShowBytes"},
      {"lenient bytes", {0xFF}, 0, true, [](BitsReader& r) { r.ShowBytes(2); }, eos, "ShowBytes"},
      {"lenient boundary", {0xFF, 0}, 3, true, [](BitsReader& r) { r.GetBytes(1); }, unaligned, "ShowBytes"},
      {"skip count that wraps", {0xFF}, 2, false, [](BitsReader& r) { r.SkipBits(~uint64_t{0}); }, eos, "SkipBits"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    BitsReader r = At(row.bytes, row.skip, row.lenient);
    const auto f = Probe([&] { row.op(r); });
    ASSERT_TRUE(f.has_value());
    EXPECT_TRUE(f->bitstream && f->hasCallStack);
    EXPECT_EQ(f->message, row.message);
    EXPECT_EQ(f->function, row.function);
    EXPECT_EQ(f->file, "Orvane/Proc/CodecParsers/BitsReader");
    EXPECT_EQ(r.GetPosition(), row.skip);  // fixed-width and byte reads do not move on failure
  }
}

// Reads that yield a value, or fail with a message from a recorded function, and where they
// leave the position either way.
TEST(BitsReader, VariableLengthAndLenientReads) {
  struct Row {
    const char* name;
    Bits bits;
    uint64_t skip;
    bool lenient;
    Op read;
    int64_t expected;
    uint64_t position;
    const char* message = nullptr;
    const char* function = nullptr;
  };
  const Op ue = [](BitsReader& r) { return r.GetUEGolomb(); };
  const Op se = [](BitsReader& r) { return r.GetSEGolomb(); };
  const Op ue32 = [](BitsReader& r) { return r.GetUEGolomb32(); };
  const Op leb = [](BitsReader& r) { return static_cast<int64_t>(r.GetLEB128()); };
  const char* invalid = "Invalid unsigned Exp-Golomb code";
  const char* eos = "End of stream";
  const Bits tail = Bits().bytes({0x81, 0x83});
  const std::vector<Row> rows = {
      {"u32 16 bits with 3 left", tail, 13, true, [](BitsReader& r) { return r.GetBits<uint32_t>(16); }, 0, 16},
      {"1 is 0", Bits().u(1, 1), 0, false, ue, 0, 1},
      {"010 is 1", Bits().u(3, 2), 0, false, ue, 1, 3},
      {"00100 is 3", Bits().u(5, 4), 0, false, ue, 3, 5},
      {"28 zeros, read at once", Bits().zeros(28).u(29, (1 << 28) | 5).zeros(8), 0, false, ue, (1 << 28) + 4, 57},
      {"29 zeros at offset 7", Bits().u(7, 5).zeros(29).u(30, (1 << 29) | 7).zeros(8), 7, false, ue, (1 << 29) + 6, 66},
      {"31 zeros, one, 31 zeros", Bits().zeros(31).u(1, 1).zeros(31), 0, false, ue, 0x7FFFFFFF, 63},
      {"31 zeros, suffix bit set", Bits().zeros(31).u(1, 1).zeros(30).u(1, 1), 0, false, ue, 0, 63, invalid, "GetUEGolomb"},
      {"32 zeros, lenient", Bits().zeros(32).u(1, 1).zeros(32), 0, true, ue, 0, 33, invalid, "GetUEGolomb"},
      {"prefix cut short", Bits().zeros(16), 0, false, ue, 0, 16, eos, "GetUEGolomb"},
      {"prefix cut short, lenient", Bits().zeros(16), 0, true, ue, 0, 16},
      {"suffix cut short", Bits().zeros(5).u(1, 1).zeros(2), 0, false, ue, 0, 6, eos, "ShowBits"},
      {"suffix cut short, lenient", tail, 9, true, ue, 31, 16},
      {"se 2 is -1", Bits().u(3, 3), 0, false, se, -1, 3},
      {"se 2^31 - 1", Bits().ue(0x7FFFFFFF), 0, false, se, 0x40000000, 63},
      {"ue32 32 zeros", Bits().zeros(32).u(8, 0xFF), 0, false, ue32, 0xFFFFFFFF, 32},
      {"ue32 largest code", Bits().zeros(31).u(32, 0xFFFFFFFF), 0, false, ue32, 0xFFFFFFFE, 63},
      {"ue32 prefix cut short", Bits().zeros(16), 0, false, ue32, 0, 16, eos, "ShowBits1"},
      {"ue32 prefix cut short, lenient", Bits().zeros(16), 0, true, ue32, 0xFFFFFFFF, 16},
      {"ue32 suffix cut short", Bits().zeros(6).u(2, 3), 0, false, ue32, 0, 7, eos, "ShowBits"},
      {"leb128 off a byte boundary", Bits().u(3, 0).bytes({0xE5, 0x8E, 0x26}), 3, false, leb, 624485, 27},
      {"leb128 eighth byte ends it", Bits().bytes(Bytes(8, 0xFF)).u(8, 1), 0, false, leb, (int64_t{1} << 56) - 1, 64},
      {"leb128 cut short", Bits().bytes({0x80, 0x80}), 0, false, leb, 0, 16, eos, "ShowBits"},
      {"leb128 cut short, lenient", tail, 0, true, leb, 1 + (3 << 7), 16},
  };
  // Every row also on a reader told of zero padding after the range, which takes its fast path
  // up to the end: the results and failures must not change.
  for (const bool padded : {false, true}) {
    for (const Row& row : rows) {
      SCOPED_TRACE(std::string(row.name) + (padded ? ", padded" : ""));
      Bytes withPadding = row.bits.out;
      withPadding.resize(withPadding.size() + 8, 0);
      BitsReader r = padded ? BitsReader(withPadding.data(), row.bits.out.size(), 8) : At(row.bits.out, 0);
      r.SkipBits(row.skip);
      r.lenient = row.lenient;
      if (row.message == nullptr) {
        EXPECT_EQ(row.read(r), row.expected);
      } else {
        const auto f = Probe([&] { row.read(r); });
        ASSERT_TRUE(f.has_value());
        EXPECT_EQ(f->message, row.message);
        EXPECT_EQ(f->function, row.function);
      }
      EXPECT_EQ(r.GetPosition(), row.position);
    }
  }
}

TEST(BitsReader, MoreRBSPData) {
  struct Row {
    Bytes bytes;
    uint64_t skip;
    bool expected;
  };
  // 8 bits 1000 0000 and 1100 0000; 9 zero bits; none left; 4 bits 1000 and 1100; the last bit.
  const std::vector<Row> rows = {{{0x80}, 0, false}, {{0xC0}, 0, true}, {{0, 0}, 7, true}, {{0x80}, 8, false},
                                 {{0x08}, 4, false}, {{0x0C}, 4, true}, {{0x01}, 7, false}};
  for (const Row& row : rows) {
    SCOPED_TRACE(testing::Message() << int{row.bytes[0]} << " from " << row.skip);
    EXPECT_EQ(At(row.bytes, row.skip).MoreRBSPData(), row.expected);
  }
}

TEST(BitsReader, OwnsAMovedVector) {
  BitsReader r = [] { return BitsReader(Bytes{0xDE, 0xAD, 0xBE, 0xEF, 1, 2, 3, 4}); }();
  EXPECT_EQ(r.GetBits<uint32_t>(32), 0xDEADBEEFu);
  // A copy reads its own bytes, so it outlives the reader it was copied from.
  const auto copy = std::make_unique<BitsReader>(r);
  r = BitsReader(Bytes{0xFF});
  EXPECT_EQ(copy->GetBits<uint32_t>(32), 0x01020304u);
}

TEST(RemoveEmulationPrevention, Patterns) {
  const std::vector<std::pair<Bytes, Bytes>> rows = {
      {{0, 0, 3, 1}, {0, 0, 1}},       {{0, 0, 3, 0, 0, 3, 0}, {0, 0, 0, 0, 0}}, {{0, 0, 3, 3, 7}, {0, 0, 3, 7}},
      {{0, 0, 3, 4}, {0, 0, 3, 4}},    {{0x25, 0, 0, 3}, {0x25, 0, 0, 3}},       {{}, {}}};
  for (const auto& [input, expected] : rows) {
    SCOPED_TRACE(testing::PrintToString(input));
    EXPECT_EQ(RemoveEmulationPrevention(input.data(), input.size()), expected);
  }
}

}  // namespace
