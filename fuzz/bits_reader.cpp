// A BitsReader driven through a sequence of reads that the input chooses, over bytes that the
// input also supplies. Each read is checked against the same read done one bit at a time: its
// value, where it leaves the position, and whether it fails. Failures may only be of the
// exception family.
#include <fuzzer/FuzzedDataProvider.h>

#include <cstdlib>
#include <optional>
#include <vector>

#include "Orvane/Exception.h"
#include "Orvane/Proc/CodecParsers/BitsReader.h"

using namespace Orvane::Proc::CodecParsers;

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

// The same reads, one bit at a time.
struct Reference {
  const std::vector<uint8_t>& bytes;
  bool lenient;

  uint64_t End() const { return bytes.size() * 8; }
  uint32_t Bit(uint64_t p) const { return (bytes[p / 8] >> (7 - p % 8)) & 1; }
  uint64_t Bits(uint64_t p, unsigned n) const {
    uint64_t v = 0;
    for (unsigned i = 0; i < n; ++i) v = v << 1 | Bit(p + i);
    return v;
  }

  struct Result {
    bool fails;
    uint64_t value;
    uint64_t position;
  };

  Result UE(uint64_t p) const {
    uint64_t zeros = 0;
    for (;;) {
      if (p == End()) return {!lenient, 0, p};
      if (Bit(p++)) break;
      ++zeros;
    }
    if (zeros > 31) return {true, 0, p};
    const auto z = static_cast<unsigned>(zeros);
    if (z > End() - p) return {!lenient, (uint64_t{1} << z) - 1, lenient ? End() : p};
    const uint64_t suffix = Bits(p, z);
    if (z == 31 && suffix != 0) return {true, 0, p + z};
    return {false, (uint64_t{1} << z) - 1 + suffix, p + z};
  }

  Result UE32(uint64_t p) const {
    for (unsigned z = 0; z < 32; ++z) {
      if (p == End()) {
        if (!lenient) return {true, 0, p};
        continue;
      }
      if (Bit(p++)) {
        if (z > End() - p) return {!lenient, (uint64_t{1} << z) - 1, lenient ? End() : p};
        return {false, static_cast<uint32_t>((uint64_t{1} << z) - 1 + Bits(p, z)), p + z};
      }
    }
    return {false, 0xFFFFFFFF, p};
  }
};

template <class T>
void FixedWidth(BitsReader& r, const Reference& ref, unsigned n, bool get) {
  const uint64_t before = r.GetPosition();
  const bool fits = n <= r.BitsLeft();
  std::optional<T> value;
  try {
    value = get ? r.GetBits<T>(n) : r.ShowBits<T>(n);
  } catch (const Orvane::Exception&) {
    Check(!fits && !ref.lenient && r.GetPosition() == before);
    return;
  }
  if (!fits) {
    Check(ref.lenient && *value == 0 && r.GetPosition() == (get ? ref.End() : before));
    return;
  }
  uint64_t expected = ref.Bits(before, n);
  if constexpr (std::is_same_v<T, int32_t>) {
    if (n != 0 && (expected >> (n - 1)) & 1) expected |= ~uint64_t{0} << n;
    Check(static_cast<int64_t>(*value) == static_cast<int64_t>(expected));
  } else {
    Check(*value == expected);
  }
  Check(r.GetPosition() == before + (get ? n : 0));
}

void Golomb(BitsReader& r, const Reference& ref, bool wide) {
  const Reference::Result expected = wide ? ref.UE32(r.GetPosition()) : ref.UE(r.GetPosition());
  std::optional<uint64_t> value;
  try {
    value = wide ? r.GetUEGolomb32() : r.GetUEGolomb();
  } catch (const Orvane::Exception&) {
  }
  Check(value.has_value() != expected.fails);
  if (value) Check(*value == expected.value);
  Check(r.GetPosition() == expected.position);
}

// `base` is the first byte the reader reads, in its own vector when it owns one.
void Bytes(BitsReader& r, const Reference& ref, const uint8_t* base, uint64_t n, bool get) {
  const uint64_t before = r.GetPosition();
  const bool ok = before % 8 == 0 && n <= ref.bytes.size() - before / 8;
  const uint8_t* bytes = nullptr;
  try {
    bytes = get ? r.GetBytes(n) : r.ShowBytes(n);
  } catch (const Orvane::Exception&) {
    Check(!ok && r.GetPosition() == before);
    return;
  }
  Check(ok && bytes == base + before / 8);
  Check(r.GetPosition() == before + (get ? 8 * n : 0));
  // Touch every byte handed out, so that the sanitizer sees any that lie outside.
  volatile uint8_t sum = 0;
  for (uint64_t i = 0; i < n; ++i) sum = sum + bytes[i];
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider in(data, size);
  const bool owned = in.ConsumeBool();
  const bool lenient = in.ConsumeBool();
  const bool padded = in.ConsumeBool();
  // An exact copy of the bytes, so that a read past either end is caught.
  std::vector<uint8_t> bytes = in.ConsumeBytes<uint8_t>(in.ConsumeIntegralInRange<size_t>(0, in.remaining_bytes()));
  const std::vector<uint8_t> copy = bytes;
  // Moving the vector into the reader keeps its storage.
  const uint8_t* base = bytes.data();
  std::optional<BitsReader> reader;
  // Exactly the promised eight zeros after the range, so that a load beyond them is caught.
  std::vector<uint8_t> paddedBytes;
  if (owned) {
    reader.emplace(std::move(bytes));
  } else if (padded) {
    paddedBytes = bytes;
    paddedBytes.resize(bytes.size() + 8, 0);
    reader.emplace(paddedBytes.data(), bytes.size(), 8);
    base = paddedBytes.data();
  } else {
    reader.emplace(bytes.data(), bytes.size());
  }
  BitsReader& r = *reader;
  r.lenient = lenient;
  const Reference ref{copy, lenient};

  while (in.remaining_bytes() > 0) {
    const auto op = in.ConsumeIntegral<uint8_t>();
    const unsigned n = in.ConsumeIntegral<uint8_t>();
    const uint64_t before = r.GetPosition();
    try {
      switch (op % 20) {
        case 0: FixedWidth<uint8_t>(r, ref, n % 9, true); break;
        case 1: FixedWidth<uint16_t>(r, ref, n % 17, true); break;
        case 2: FixedWidth<uint32_t>(r, ref, n % 33, true); break;
        case 3: FixedWidth<int32_t>(r, ref, n % 33, true); break;
        case 4: FixedWidth<uint8_t>(r, ref, n % 9, false); break;
        case 5: FixedWidth<uint16_t>(r, ref, n % 17, false); break;
        case 6: FixedWidth<uint32_t>(r, ref, n % 33, false); break;
        case 7: FixedWidth<int32_t>(r, ref, n % 33, false); break;
        case 8: {
          const bool left = r.BitsLeft() > 0;
          const uint32_t bit = n % 2 ? r.GetBits1() : r.ShowBits1();
          Check(left ? bit == ref.Bit(before) : (lenient && bit == 0));
          Check(r.GetPosition() == before + (left && n % 2 ? 1 : 0));
          break;
        }
        case 9: Golomb(r, ref, false); break;
        case 10: Golomb(r, ref, true); break;
        case 11: r.GetSEGolomb(); break;
        case 12: Bytes(r, ref, base, n % 8 == 0 ? in.ConsumeIntegral<uint64_t>() : n % 64, n % 2); break;
        case 13: {
          const uint64_t skip = n % 8 == 0 ? in.ConsumeIntegral<uint64_t>() : n;
          const bool fits = skip <= r.BitsLeft();
          try {
            r.SkipBits(skip);
          } catch (const Orvane::Exception&) {
            Check(!fits && !lenient && r.GetPosition() == before);
            break;
          }
          Check(r.GetPosition() == (fits ? before + skip : ref.End()));
          break;
        }
        case 14:
          r.ByteAlign();
          Check(r.GetPosition() == (before + 7) / 8 * 8);
          break;
        case 15: {
          const uint64_t value = r.GetLEB128();
          Check(value < uint64_t{1} << 56);
          break;
        }
        case 16: {
          // Anything before the last 1 bit, the stop bit, is more data.
          const bool more = r.MoreRBSPData();
          uint64_t stop = ref.End();
          while (stop > 0 && !ref.Bit(stop - 1)) --stop;
          Check(r.GetPosition() == before && more == (stop > 0 && before < stop - 1));
          break;
        }
        case 17:
          if (ref.End() > 0) {
            const uint64_t p = in.ConsumeIntegral<uint64_t>() % ref.End();
            Check(r.ShowBitAt(p) == ref.Bit(p));
          }
          break;
        case 18: {
          // A copy reads the same bits from wherever it stands.
          const BitsReader other(r);
          Check(other.GetPosition() == before && other.BitsLeft() == r.BitsLeft());
          if (other.BitsLeft() >= 1) Check(other.ShowBits1() == r.ShowBits1());
          break;
        }
        default:
          Check(r.BitsLeft() == ref.End() - r.GetPosition());
          break;
      }
    } catch (const Orvane::Exception&) {
      // SEGolomb and LEB128 fail as their parts do; the position stays inside the range.
    }
    Check(r.GetPosition() <= ref.End());
  }
  return 0;
}
