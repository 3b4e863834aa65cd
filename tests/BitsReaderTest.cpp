#include "Orvane/Proc/CodecParsers/BitsReader.h"

#include <gtest/gtest.h>

#include <memory>

#include "support/BitstreamTestKit.h"

namespace {

using codec_test::Bits;
using Orvane::Proc::CodecParsers::BitsReader;
using Bytes = std::vector<uint8_t>;

// Reads that yield a value or fail ("message in function"), and where they leave the position
// either way; strict and lenient, on readers with and without zero padding after the range.
TEST(BitsReader, Reads) {
  using Op = std::function<int64_t(BitsReader&)>;
  const Op ue = [](BitsReader& r) { return r.GetUEGolomb(); };
  const Op ue32 = [](BitsReader& r) { return r.GetUEGolomb32(); };
  const Op leb = [](BitsReader& r) { return static_cast<int64_t>(r.GetLEB128()); };
  const Op u8 = [](BitsReader& r) { return r.GetBits<uint8_t>(8); };
  const Op bytes = [](BitsReader& r) { return r.GetBytes(1)[0]; };
  const std::string eos = "End of stream in ", invalid = "Invalid unsigned Exp-Golomb code in GetUEGolomb";
  const struct Row { Bits bits; uint64_t skip; bool lenient; Op read; std::string expected; uint64_t position; } rows[] = {
      {Bits().u(8, 0xFF), 1, false, u8, eos + "ShowBits", 1},
      {Bits().u(8, 0xFF), 1, true, u8, "0", 8},
      {Bits().u(8, 0xD5), 1, false, [](BitsReader& r) { return r.ShowBits<int32_t>(3) * 100 + r.ShowBits<int32_t>(4) * 10 + r.ShowBits<int32_t>(0); },
       "-360", 1},  // signed: 101 and 1010
      {Bits().u(8, 0xFF), 1, true, [](BitsReader& r) { return r.ShowBits<uint8_t>(8); }, "0", 1},
      {Bits().u(8, 0xFF), 8, false, [](BitsReader& r) { return r.GetBits1(); }, eos + "ShowBits1", 8},
      {Bits().u(8, 0xFF), 8, true, [](BitsReader& r) { return r.GetBits1(); }, "0", 8},
      {Bits().u(16, 0xFFFF), 1, true, bytes, "Position not on a byte boundary in ShowBytes", 1},
      {Bits().u(16, 0x0102), 8, false, [](BitsReader& r) { return r.GetBytes(~uint64_t{0})[0]; }, eos + "ShowBytes", 8},
      {Bits().u(8, 0xFF), 2, false, [](BitsReader& r) { r.SkipBits(~uint64_t{0}); return 0; }, eos + "SkipBits", 2},
      {Bits().u(8, 0xFF), 2, true, [](BitsReader& r) { r.SkipBits(~uint64_t{0}); return 0; }, "0", 8},
      {Bits().u(7, 5).zeros(29).u(30, (1 << 29) | 7).zeros(8), 7, false, ue, std::to_string((1 << 29) + 6), 66},
      {Bits().zeros(31).u(1, 1).zeros(31), 0, false, ue, "2147483647", 63},
      {Bits().zeros(31).u(1, 1).zeros(30).u(1, 1), 0, false, ue, invalid, 63},
      {Bits().zeros(32).u(1, 1).zeros(32), 0, true, ue, invalid, 33},
      {Bits().zeros(16), 0, false, ue, eos + "GetUEGolomb", 16},
      {Bits().zeros(16), 0, true, ue, "0", 16},
      {Bits().bytes({0x81, 0x83}), 9, true, ue, "31", 16},
      {Bits().ue(0x7FFFFFFF), 0, false, [](BitsReader& r) { return r.GetSEGolomb(); }, "1073741824", 63},
      {Bits().u(8, 0x9F), 0, false, [](BitsReader& r) { const int64_t bit = r.GetBits1(); return bit * 10 + r.GetUEGolomb32(); }, "16", 6},
      {Bits().zeros(31).u(32, 0xFFFFFFFF), 0, false, ue32, "4294967294", 63},
      {Bits().zeros(32).u(8, 0xFF), 0, false, ue32, "4294967295", 32},
      {Bits().zeros(16), 0, true, ue32, "4294967295", 16},
      {Bits().u(3, 0).bytes({0xE5, 0x8E, 0x26}), 3, false, leb, "624485", 27},
      {Bits().bytes(Bytes(8, 0xFF)).u(8, 1), 0, false, leb, std::to_string((int64_t{1} << 56) - 1), 64},
      {Bits().bytes({0x81, 0x83}), 0, true, leb, "385", 16},
  };
  for (const bool padded : {false, true}) {
    for (const Row& row : rows) {
      SCOPED_TRACE(row.expected + (padded ? ", padded" : ""));
      Bytes withPadding = row.bits.out;
      withPadding.resize(withPadding.size() + 8, 0);
      BitsReader r = padded ? BitsReader(withPadding.data(), row.bits.out.size(), 8) : BitsReader(row.bits.out.data(), row.bits.out.size());
      r.SkipBits(row.skip);
      r.lenient = row.lenient;
      int64_t value = 0;
      const auto f = codec_test::Probe([&] { value = row.read(r); });
      EXPECT_EQ(f ? f->message + " in " + f->function : std::to_string(value), row.expected);
      EXPECT_TRUE(!f || (f->bitstream && f->hasCallStack && f->file == "Orvane/Proc/CodecParsers/BitsReader"));
      EXPECT_EQ(r.GetPosition(), row.position);
    }
  }
}

TEST(BitsReader, MoreRBSPDataAndOwnedBytes) {
  // 1000 0000 and 1100 0000; 9 zero bits; none left; 4 bits 1000; a stop bit before a zero byte.
  const std::vector<std::tuple<Bytes, uint64_t, bool>> rows = {{{0x80}, 0, false}, {{0xC0}, 0, true}, {{0, 0}, 7, false}, {{0x80}, 8, false},
                                                               {{0x08}, 4, false}, {{0x0C, 0}, 4, true}, {{0x0C, 0}, 5, false}};
  for (const auto& [bytes, skip, expected] : rows) {
    BitsReader r(bytes.data(), bytes.size());
    r.SkipBits(skip);
    EXPECT_EQ(r.MoreRBSPData(), expected) << int{bytes[0]} << " from " << skip;
  }
  // A reader that owns its bytes, and copies of it, read their own copy of them.
  BitsReader r = [] { return BitsReader(Bytes{0xDE, 0xAD, 0xBE, 0xEF, 1, 2, 3, 4}); }();
  EXPECT_EQ(r.GetBits<uint32_t>(32), 0xDEADBEEFu);
  const auto copy = std::make_unique<BitsReader>(r);
  r = BitsReader(Bytes{0xFF});
  EXPECT_EQ(copy->GetBits<uint32_t>(32), 0x01020304u);
}

TEST(RemoveEmulationPrevention, Patterns) {
  const std::vector<std::pair<Bytes, Bytes>> rows = {
      {{0, 0, 3, 1}, {0, 0, 1}}, {{0, 0, 3, 0, 0, 3, 0}, {0, 0, 0, 0, 0}}, {{0, 0, 3, 3, 7}, {0, 0, 3, 7}},
      {{0, 0, 3, 4}, {0, 0, 3, 4}}, {{0x25, 0, 0, 3}, {0x25, 0, 0}}, {{}, {}}};
  for (const auto& [input, expected] : rows) {
    EXPECT_EQ(Orvane::Proc::CodecParsers::RemoveEmulationPrevention(input.data(), input.size()), expected);
  }
}

}  // namespace
