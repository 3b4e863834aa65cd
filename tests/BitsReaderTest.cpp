#include "Orvane/Proc/CodecParsers/BitsReader.h"

#include <gtest/gtest.h>

#include <functional>
#include <random>

#include "support/BitstreamTestKit.h"

namespace {

using codec_test::Bits;
using codec_test::Probe;
using Orvane::Proc::CodecParsers::BitsReader;
using Orvane::Proc::CodecParsers::RemoveEmulationPrevention;
using Bytes = std::vector<uint8_t>;

constexpr char kUnit[] = "Orvane/Proc/CodecParsers/BitsReader";

// The bits of `bytes` from `from`, `n` of them, gathered one at a time.
uint64_t ReferenceBits(const Bytes& bytes, uint64_t from, unsigned n) {
  uint64_t v = 0;
  for (unsigned i = 0; i < n; ++i) {
    const uint64_t p = from + i;
    v = v << 1 | ((bytes[p / 8] >> (7 - p % 8)) & 1);
  }
  return v;
}

TEST(BitsReader, FixedWidthReads) {
  struct Row {
    const char* name;
    Bytes bytes;
    uint64_t skip;
    std::function<int64_t(BitsReader&)> read;
    int64_t expected;
    uint64_t position;
  };
  const std::vector<Row> rows = {
      {"u8 whole byte", {0xA5}, 0, [](BitsReader& r) { return r.GetBits<uint8_t>(8); }, 0xA5, 8},
      {"u8 across bytes", {0x0F, 0xF0}, 4, [](BitsReader& r) { return r.GetBits<uint8_t>(8); }, 0xFF, 12},
      {"u16 across three bytes", {0x01, 0x23, 0x45}, 4, [](BitsReader& r) { return r.GetBits<uint16_t>(16); }, 0x1234, 20},
      {"u32 over five bytes", {0x1F, 0xFF, 0xFF, 0xFF, 0xE0}, 3, [](BitsReader& r) { return r.GetBits<uint32_t>(32); }, 0xFFFFFFFF, 35},
      {"s32 sign from the first bit", {0x80}, 0, [](BitsReader& r) { return r.GetBits<int32_t>(5); }, -16, 5},
      {"s32 positive", {0x78}, 0, [](BitsReader& r) { return r.GetBits<int32_t>(5); }, 15, 5},
      {"s32 full width", {0xFF, 0xFF, 0xFF, 0xFE}, 0, [](BitsReader& r) { return r.GetBits<int32_t>(32); }, -2, 32},
      {"s32 one bit set is -1", {0x80}, 0, [](BitsReader& r) { return r.GetBits<int32_t>(1); }, -1, 1},
      {"zero width at the end", {0xFF}, 8, [](BitsReader& r) { return r.GetBits<uint8_t>(0); }, 0, 8},
      {"signed zero width", {0xFF}, 3, [](BitsReader& r) { return r.GetBits<int32_t>(0); }, 0, 3},
      {"exactly the last bit", {0x01}, 7, [](BitsReader& r) { return r.GetBits1(); }, 1, 8},
      {"show does not move", {0xC0}, 0, [](BitsReader& r) { return r.ShowBits<uint8_t>(2) + r.ShowBits1(); }, 4, 0},
      {"u32 tail of a long range", {0, 0, 0, 0, 0, 0, 0, 0, 0, 0x12, 0x34, 0x56, 0x78}, 72,
       [](BitsReader& r) { return r.GetBits<uint32_t>(32); }, 0x12345678, 104},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    BitsReader r(row.bytes.data(), row.bytes.size());
    r.SkipBits(row.skip);
    EXPECT_EQ(row.read(r), row.expected);
    EXPECT_EQ(r.GetPosition(), row.position);
  }
}

// Every width at every offset, near the end of the range and far from it, against the bits
// gathered one by one.
TEST(BitsReader, FixedWidthReadsMatchBitByBit) {
  std::mt19937 rng(7);
  Bytes bytes(24);
  for (auto& b : bytes) b = static_cast<uint8_t>(rng());
  for (uint64_t from = 0; from < bytes.size() * 8; ++from) {
    for (unsigned n = 0; n <= 32 && from + n <= bytes.size() * 8; ++n) {
      BitsReader r(bytes.data(), bytes.size());
      r.SkipBits(from);
      const uint64_t expected = ReferenceBits(bytes, from, n);
      ASSERT_EQ(r.ShowBits<uint32_t>(n), expected) << "from " << from << " n " << n;
      if (n <= 16) {
        ASSERT_EQ(r.ShowBits<uint16_t>(n), expected);
      }
      if (n <= 8) {
        ASSERT_EQ(r.ShowBits<uint8_t>(n), expected);
      }
      const auto signedExpected = n == 0 ? 0 : static_cast<int32_t>(static_cast<uint32_t>(expected << (32 - n))) >> (32 - n);
      ASSERT_EQ(r.ShowBits<int32_t>(n), signedExpected);
      ASSERT_EQ(r.GetBits<uint32_t>(n), expected);
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
    uint64_t position;  // after the failure
  };
  const std::vector<Row> rows = {
      {"u8 one bit short", {0xFF}, 1, false, [](BitsReader& r) { r.GetBits<uint8_t>(8); }, "End of stream", "ShowBits", 1},
      {"u16 past the end", {0xFF}, 0, false, [](BitsReader& r) { r.GetBits<uint16_t>(9); }, "End of stream", "ShowBits", 0},
      {"s32 past the end", {0xFF, 0xFF, 0xFF}, 0, false, [](BitsReader& r) { r.GetBits<int32_t>(25); }, "End of stream", "ShowBits", 0},
      {"show past the end", {}, 0, false, [](BitsReader& r) { r.ShowBits<uint32_t>(1); }, "End of stream", "ShowBits", 0},
      {"one more bit", {0xFF}, 8, false, [](BitsReader& r) { r.GetBits1(); }, "End of stream", "ShowBits1", 8},
      {"show one bit at the end", {0xFF}, 8, false, [](BitsReader& r) { r.ShowBits1(); }, "End of stream", "ShowBits1", 8},
      {"bytes off a boundary", {0xFF, 0xFF}, 1, false, [](BitsReader& r) { r.GetBytes(1); }, "Position not on a byte boundary", "ShowBytes", 1},
      {"boundary tested before the end", {0xFF}, 1, false, [](BitsReader& r) { r.ShowBytes(9); }, "Position not on a byte boundary", "ShowBytes", 1},
      {"bytes past the end", {1, 2, 3}, 8, false, [](BitsReader& r) { r.GetBytes(3); }, "End of stream", "ShowBytes", 8},
      {"bytes count that would wrap", {1, 2, 3}, 8, false, [](BitsReader& r) { r.GetBytes(~uint64_t{0}); }, "End of stream", "ShowBytes", 8},
      {"lenient bytes still fail", {0xFF}, 0, true, [](BitsReader& r) { r.ShowBytes(2); }, "End of stream", "ShowBytes", 0},
      {"lenient boundary still fails", {0xFF, 0}, 3, true, [](BitsReader& r) { r.GetBytes(1); }, "Position not on a byte boundary", "ShowBytes", 3},
      {"skip past the end", {0xFF}, 2, false, [](BitsReader& r) { r.SkipBits(7); }, "End of stream", "SkipBits", 2},
      {"skip count that would wrap", {0xFF}, 2, false, [](BitsReader& r) { r.SkipBits(~uint64_t{0}); }, "End of stream", "SkipBits", 2},
      {"leb128 cut short", {0x80, 0x80}, 0, false, [](BitsReader& r) { r.GetLEB128(); }, "End of stream", "ShowBits", 16},
      {"leb128 with 7 bits left", {0x80, 0x01}, 9, false, [](BitsReader& r) { r.GetLEB128(); }, "End of stream", "ShowBits", 9},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    BitsReader r(row.bytes.data(), row.bytes.size());
    r.SkipBits(row.skip);
    r.lenient = row.lenient;
    const auto f = Probe([&] { row.op(r); });
    ASSERT_TRUE(f.has_value());
    EXPECT_TRUE(f->bitstream);
    EXPECT_EQ(f->message, row.message);
    EXPECT_EQ(f->function, row.function);
    EXPECT_EQ(f->file, kUnit);
    EXPECT_TRUE(f->hasCallStack);
    EXPECT_EQ(r.GetPosition(), row.position);
  }
}

TEST(BitsReader, LenientReadsPastTheEnd) {
  struct Row {
    const char* name;
    uint64_t skip;  // into two bytes
    std::function<int64_t(BitsReader&)> read;
    int64_t expected;
    uint64_t position;
  };
  const std::vector<Row> rows = {
      {"u32 16 bits with 3 left", 13, [](BitsReader& r) { return r.GetBits<uint32_t>(16); }, 0, 16},
      {"s32 show keeps the position", 13, [](BitsReader& r) { return r.ShowBits<int32_t>(4); }, 0, 13},
      {"bit at the end", 16, [](BitsReader& r) { return r.GetBits1(); }, 0, 16},
      {"skip to the end", 3, [](BitsReader& r) { r.SkipBits(100); return 0; }, 0, 16},
      {"ue suffix cut short reads as zeros", 9, [](BitsReader& r) { return r.GetUEGolomb(); }, 31, 16},
      // 0x81 gives 1, 0x83 gives 3 << 7 and asks for a third byte.
      {"leb128 value so far", 0, [](BitsReader& r) { return static_cast<int64_t>(r.GetLEB128()); }, 385, 16},
  };
  const Bytes bytes = {0x81, 0x83};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    BitsReader r(bytes.data(), bytes.size());
    r.lenient = true;
    r.SkipBits(row.skip);
    EXPECT_EQ(row.read(r), row.expected);
    EXPECT_EQ(r.GetPosition(), row.position);
  }
  // Lenient or not, a range of bytes past the end is refused.
  BitsReader r(bytes.data(), bytes.size());
  r.lenient = true;
  r.SkipBits(13);
  EXPECT_EQ(r.GetBits<uint32_t>(16), 0u);
  EXPECT_TRUE(Probe([&] { r.ShowBytes(1); }).has_value());
}

TEST(BitsReader, ExpGolomb) {
  struct Row {
    const char* name;
    Bits bits;
    bool lenient;
    int64_t expected;  // ue(v), or -1 for a failure
    uint64_t position;
    const char* message = "";
    const char* function = "";
  };
  const uint32_t maxUE = 0x7FFFFFFF;
  const std::vector<Row> rows = {
      {"1 is 0", Bits().u(1, 1), false, 0, 1},
      {"010 is 1", Bits().u(3, 2), false, 1, 3},
      {"011 is 2", Bits().u(3, 3), false, 2, 3},
      {"00100 is 3", Bits().u(5, 4), false, 3, 5},
      {"28 zeros, the longest code read at once", Bits().zeros(28).u(29, (1u << 28) | 5).zeros(8), false, (1ll << 28) - 1 + 5, 57},
      {"29 zeros", Bits().zeros(29).u(30, (1u << 29) | 0x15555555).zeros(8), false, (1ll << 29) - 1 + 0x15555555, 59},
      {"30 zeros, all ones", Bits().zeros(30).u(31, 0x7FFFFFFF), false, 0x7FFFFFFE, 61},
      {"31 zeros, one and 31 zeros", Bits().zeros(31).u(1, 1).zeros(31), false, maxUE, 63},
      {"31 zeros with a suffix bit", Bits().zeros(31).u(1, 1).zeros(30).u(1, 1), false, -1, 63,
       "Invalid unsigned Exp-Golomb code", "GetUEGolomb"},
      {"32 zeros", Bits().zeros(32).u(1, 1).zeros(32), false, -1, 33, "Invalid unsigned Exp-Golomb code", "GetUEGolomb"},
      {"32 zeros, lenient", Bits().zeros(32).u(1, 1).zeros(32), true, -1, 33, "Invalid unsigned Exp-Golomb code", "GetUEGolomb"},
      {"prefix cut short", Bits().zeros(16), false, -1, 16, "End of stream", "GetUEGolomb"},
      {"prefix cut short, lenient", Bits().zeros(16), true, 0, 16},
      {"suffix cut short", Bits().zeros(5).u(1, 1).zeros(2), false, -1, 6, "End of stream", "ShowBits"},
      {"suffix cut short, lenient", Bits().zeros(5).u(1, 1).zeros(2), true, 31, 8},
      {"a megabyte of zeros", Bits().zeros(8 << 20), false, -1, 8 << 20, "End of stream", "GetUEGolomb"},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    BitsReader r(row.bits.out.data(), row.bits.out.size());
    r.lenient = row.lenient;
    if (row.expected >= 0) {
      EXPECT_EQ(r.GetUEGolomb(), row.expected);
    } else {
      const auto f = Probe([&] { r.GetUEGolomb(); });
      ASSERT_TRUE(f.has_value());
      EXPECT_EQ(f->message, row.message);
      EXPECT_EQ(f->function, row.function);
    }
    EXPECT_EQ(r.GetPosition(), row.position);
  }
}

TEST(BitsReader, SignedExpGolomb) {
  struct Row {
    uint64_t codeNum;
    int32_t expected;
  };
  const std::vector<Row> rows = {{0, 0},           {1, 1},          {2, -1},         {3, 2},
                                 {4, -2},          {0x7FFFFFFE, -0x3FFFFFFF}, {0x7FFFFFFF, 0x40000000}};
  for (const Row& row : rows) {
    SCOPED_TRACE(row.codeNum);
    Bits bits;
    bits.ue(row.codeNum);
    BitsReader r(bits.out.data(), bits.out.size());
    EXPECT_EQ(r.GetSEGolomb(), row.expected);
  }
}

TEST(BitsReader, ExpGolomb32) {
  struct Row {
    const char* name;
    Bits bits;
    bool lenient;
    int64_t expected;  // -1 for a failure
    uint64_t position;
    const char* function = "";
  };
  const std::vector<Row> rows = {
      {"small code", Bits().u(5, 4), false, 3, 5},
      {"32 zeros", Bits().zeros(32).u(8, 0xFF), false, 0xFFFFFFFF, 32},
      {"the largest code", Bits().zeros(31).u(32, 0xFFFFFFFF), false, 0xFFFFFFFE, 63},
      {"31 zeros and a one", Bits().zeros(31).u(1, 1).zeros(31), false, 0x7FFFFFFF, 63},
      {"prefix cut short", Bits().zeros(16), false, -1, 16, "ShowBits1"},
      {"prefix cut short, lenient", Bits().zeros(16), true, 0xFFFFFFFF, 16},
      {"suffix cut short", Bits().zeros(6).u(1, 1).u(1, 1), false, -1, 7, "ShowBits"},
      {"suffix cut short, lenient", Bits().zeros(6).u(1, 1).u(1, 1), true, 63, 8},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    BitsReader r(row.bits.out.data(), row.bits.out.size());
    r.lenient = row.lenient;
    if (row.expected >= 0) {
      EXPECT_EQ(r.GetUEGolomb32(), row.expected);
    } else {
      const auto f = Probe([&] { r.GetUEGolomb32(); });
      ASSERT_TRUE(f.has_value());
      EXPECT_EQ(f->message, "End of stream");
      EXPECT_EQ(f->function, row.function);
    }
    EXPECT_EQ(r.GetPosition(), row.position);
  }
}

// Codes of every length at every bit offset, each followed by other data or by the end.
TEST(BitsReader, ExpGolombAtAnyOffset) {
  std::mt19937 rng(3);
  for (int z = 0; z <= 31; ++z) {
    for (int offset = 0; offset < 8; ++offset) {
      for (bool followed : {false, true}) {
        const uint64_t suffix = z == 0 ? 0 : rng() & ((uint64_t{1} << z) - 1);
        const uint64_t value = (uint64_t{1} << z) - 1 + (z == 31 ? 0 : suffix);
        Bits bits;
        bits.u(offset, 0x55).ue(value);
        if (followed) bits.u(32, rng()).u(32, rng());
        SCOPED_TRACE(testing::Message() << "z " << z << " offset " << offset << " followed " << followed);
        BitsReader r(bits.out.data(), bits.out.size());
        r.SkipBits(offset);
        ASSERT_EQ(r.GetUEGolomb(), value);
        ASSERT_EQ(r.GetPosition(), offset + 2 * z + 1);
        BitsReader r32(bits.out.data(), bits.out.size());
        r32.SkipBits(offset);
        ASSERT_EQ(r32.GetUEGolomb32(), value);
      }
    }
  }
}

TEST(BitsReader, LEB128) {
  struct Row {
    const char* name;
    Bits bits;
    uint64_t skip;
    uint64_t expected;
    uint64_t position;
  };
  const std::vector<Row> rows = {
      {"one byte", Bits().bytes({0x05, 0xFF}), 0, 5, 8},
      {"two bytes", Bits().bytes({0x80, 0x01}), 0, 128, 16},
      {"off a byte boundary", Bits().u(3, 0).bytes({0xE5, 0x8E, 0x26}), 3, 624485, 27},
      {"the eighth byte ends it", Bits().bytes({0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0xFF, 0x01}), 0,
       (uint64_t{1} << 56) - 1, 64},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    BitsReader r(row.bits.out.data(), row.bits.out.size());
    r.SkipBits(row.skip);
    EXPECT_EQ(r.GetLEB128(), row.expected);
    EXPECT_EQ(r.GetPosition(), row.position);
  }
}

TEST(BitsReader, MoreRBSPData) {
  struct Row {
    const char* name;
    Bytes bytes;
    uint64_t skip;
    bool expected;
  };
  const std::vector<Row> rows = {
      {"8 bits 1000 0000", {0x80}, 0, false},
      {"8 bits 1100 0000", {0xC0}, 0, true},
      {"9 bits of zeros", {0x00, 0x00}, 7, true},
      {"nothing left", {0x80}, 8, false},
      {"stop bit mid-byte", {0x08}, 4, false},
      {"data before the stop bit", {0x0C}, 4, true},
      {"last bit only", {0x01}, 7, false},
      {"stop bit in a later byte", {0x80, 0x80}, 0, true},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    BitsReader r(row.bytes.data(), row.bytes.size());
    r.SkipBits(row.skip);
    EXPECT_EQ(r.MoreRBSPData(), row.expected);
    EXPECT_EQ(r.GetPosition(), row.skip);
  }
}

TEST(BitsReader, BytesAndAlignment) {
  const Bytes bytes = {0x11, 0x22, 0x33, 0x44};
  BitsReader r(bytes.data(), bytes.size());
  r.GetBits1();
  r.ByteAlign();
  EXPECT_EQ(r.GetPosition(), 8u);
  r.ByteAlign();
  EXPECT_EQ(r.GetPosition(), 8u);
  EXPECT_EQ(r.GetBytes(2), bytes.data() + 1);
  EXPECT_EQ(r.ShowBytes(1), bytes.data() + 3);
  EXPECT_EQ(r.GetBytes(1), bytes.data() + 3);
  EXPECT_EQ(r.GetBytes(0), bytes.data() + 4);
  EXPECT_EQ(r.BitsLeft(), 0u);
  EXPECT_EQ(r.ShowBitAt(7), 1u);
  EXPECT_EQ(r.ShowBitAt(6), 0u);
}

TEST(BitsReader, OwnsAMovedVector) {
  auto make = [] {
    Bytes bytes = {0xDE, 0xAD, 0xBE, 0xEF, 0x01, 0x02, 0x03, 0x04, 0x05};
    return BitsReader(std::move(bytes));
  };
  BitsReader r = make();
  EXPECT_EQ(r.GetBits<uint32_t>(32), 0xDEADBEEFu);
  // A copy reads its own bytes, so it outlives the reader it was copied from.
  auto copy = std::make_unique<BitsReader>(r);
  r = BitsReader(Bytes{0xFF});
  EXPECT_EQ(copy->GetBits<uint32_t>(32), 0x01020304u);
  EXPECT_EQ(copy->GetBits<uint8_t>(8), 0x05u);
  EXPECT_EQ(r.GetBits<uint8_t>(8), 0xFFu);
}

TEST(RemoveEmulationPrevention, Patterns) {
  struct Row {
    const char* name;
    Bytes input;
    Bytes expected;
  };
  const std::vector<Row> rows = {
      {"empty", {}, {}},
      {"no pattern", {0x40, 0x01, 0x0C}, {0x40, 0x01, 0x0C}},
      {"00 00 03 01", {0x00, 0x00, 0x03, 0x01}, {0x00, 0x00, 0x01}},
      {"two patterns sharing no zeros", {0x00, 0x00, 0x03, 0x00, 0x00, 0x03, 0x00}, {0x00, 0x00, 0x00, 0x00, 0x00}},
      {"03 after the pattern", {0x00, 0x00, 0x03, 0x03, 0x07}, {0x00, 0x00, 0x03, 0x07}},
      {"00 00 03 04 is not a pattern", {0x00, 0x00, 0x03, 0x04}, {0x00, 0x00, 0x03, 0x04}},
      {"pattern at the very end", {0x25, 0x00, 0x00, 0x03}, {0x25, 0x00, 0x00, 0x03}},
      {"00 03 is not a pattern", {0x00, 0x03, 0x01}, {0x00, 0x03, 0x01}},
      {"three zeros before 03", {0x00, 0x00, 0x00, 0x03, 0x02}, {0x00, 0x00, 0x00, 0x02}},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(row.name);
    EXPECT_EQ(RemoveEmulationPrevention(row.input.data(), row.input.size()), row.expected);
  }
}

// Long ranges, full of zeros and 03s, against the rule applied one byte at a time.
TEST(RemoveEmulationPrevention, MatchesByteByByte) {
  std::mt19937 rng(11);
  for (int round = 0; round < 2000; ++round) {
    Bytes input(rng() % 200);
    for (auto& b : input) {
      const uint32_t pick = rng() % 8;
      b = pick < 4 ? 0x00 : pick < 6 ? 0x03 : static_cast<uint8_t>(rng());
    }
    Bytes expected;
    size_t zeros = 0;
    for (size_t i = 0; i < input.size(); ++i) {
      const bool prevention = zeros >= 2 && input[i] == 0x03 && i + 1 < input.size() && input[i + 1] <= 0x03;
      if (prevention) {
        zeros = 0;
        continue;
      }
      expected.push_back(input[i]);
      // A 03 that is not removed ends the run of zeros like any other byte.
      zeros = input[i] == 0 ? zeros + 1 : 0;
    }
    ASSERT_EQ(RemoveEmulationPrevention(input.data(), input.size()), expected) << "round " << round;
  }
}

}  // namespace
