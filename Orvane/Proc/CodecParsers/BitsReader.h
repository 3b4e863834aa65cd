#pragma once
// Bit-level reading of H.264 and H.265 syntax: fixed-width fields most significant bit first,
// Exp-Golomb codes, runs of whole bytes and more_rbsp_data(); and the copy that turns a NAL unit
// as it stands in the stream into its RBSP.
//
// The hot reads are inline. Where at least eight bytes remain from the current byte, a read
// loads them as one big-endian 64-bit window and takes its bits from there; only reads in the
// last few bytes of the range, and failures, leave the inline path.
#include <bit>
#include <cassert>
#include <cstdint>
#include <cstring>
#include <type_traits>
#include <vector>

#if defined(_MSC_VER) && !defined(__clang__)
#include <stdlib.h>  // _byteswap_uint64
#endif

namespace Orvane::Proc::CodecParsers {

class BitsReader {
 public:
  // Borrows `size` bytes at `data`; the caller keeps them alive while the reader is used.
  BitsReader(const uint8_t* data, uint64_t size) : data(data), size(size), loadable(size) {}
  // Borrows `size` bytes at `data` that `zeroPadding` readable zero bytes follow: reads in the
  // last bytes of the range then load whole windows too. Results and failures are the same.
  BitsReader(const uint8_t* data, uint64_t size, uint64_t zeroPadding)
      : data(data), size(size), loadable(size + zeroPadding) {}
  // Reads the bytes of `buffer`, which the reader keeps for its lifetime.
  explicit BitsReader(std::vector<uint8_t> buffer)
      : owned(std::move(buffer)), data(owned.data()), size(owned.size()), loadable(size) {}

  // A copy that owns its bytes must read its own copy of them, not the original's.
  BitsReader(const BitsReader& other) { *this = other; }
  BitsReader& operator=(const BitsReader& other);
  // Moving a vector keeps its storage, so `data` stays valid.
  BitsReader(BitsReader&&) noexcept = default;
  BitsReader& operator=(BitsReader&&) noexcept = default;
  ~BitsReader() = default;

  // The next n bits (0 to the width of T) as T; for int32_t the first of them is the sign.
  template <class T = uint32_t>
  T ShowBits(unsigned n) const {
    static_assert(IsResultType<T>, "ShowBits/GetBits yield uint8_t, uint16_t, uint32_t or int32_t");
    assert(n <= 8 * sizeof(T));
    if (n > BitsLeft()) {
      if (!lenient) FailShowBits();
      return 0;
    }
    return Convert<T>(Peek(n), n);
  }

  template <class T = uint32_t>
  T GetBits(unsigned n) {
    static_assert(IsResultType<T>, "ShowBits/GetBits yield uint8_t, uint16_t, uint32_t or int32_t");
    assert(n <= 8 * sizeof(T));
    if (n > BitsLeft()) {
      if (!lenient) FailShowBits();
      position = EndPosition();
      return 0;
    }
    const uint64_t bits = Peek(n);
    position += n;
    return Convert<T>(bits, n);
  }

  uint32_t ShowBits1() const {
    if (position == EndPosition()) {
      if (!lenient) FailShowBits1();
      return 0;
    }
    return ShowBitAt(position);
  }

  uint32_t GetBits1() {
    const uint32_t bit = ShowBits1();
    if (position != EndPosition()) ++position;
    return bit;
  }

  // Points at the byte at the position, valid for n bytes. Fails in both modes when the
  // position is not on a byte boundary or fewer than n bytes are left.
  const uint8_t* ShowBytes(uint64_t n) const {
    if (position & 7) FailNotByteAligned();
    if (n > size - (position >> 3)) FailShowBytes();
    return data + (position >> 3);
  }

  const uint8_t* GetBytes(uint64_t n) {
    const uint8_t* bytes = ShowBytes(n);
    position += 8 * n;
    return bytes;
  }

  void SkipBits(uint64_t n) {
    if (n > BitsLeft()) {
      if (!lenient) FailSkipBits();
      position = EndPosition();
      return;
    }
    position += n;
  }

  // Up to the next byte boundary; the end is always one.
  void ByteAlign() { position = (position + 7) & ~uint64_t{7}; }

  // ue(v) from 0 to 2^31 - 1.
  uint32_t GetUEGolomb() {
    // Codes of up to 28 leading zeros fit whole in the 57 bits a window always holds.
    uint64_t window;
    if (LoadWindow(window) && window != 0) {
      const unsigned zeros = static_cast<unsigned>(std::countl_zero(window));
      if (zeros <= 28 && 2 * zeros + 1 <= BitsLeft()) {
        position += 2 * zeros + 1;
        return static_cast<uint32_t>((window >> (63 - 2 * zeros)) - 1);
      }
    }
    return GetUEGolombSlow();
  }

  // se(v) from -(2^30 - 1) to 2^30.
  int32_t GetSEGolomb() {
    const uint32_t k = GetUEGolomb();
    return (k & 1) ? static_cast<int32_t>(k / 2 + 1) : -static_cast<int32_t>(k / 2);
  }

  // ue(v) up to 2^32 - 2, or 0xFFFFFFFF once 32 zeros come without a one; never fails on a
  // long code.
  uint32_t GetUEGolomb32();

  // Unsigned LEB128 of at most 8 bytes (56 significant bits), from any bit position.
  uint64_t GetLEB128();

  // more_rbsp_data(): whether anything but the rbsp_stop_one_bit and what follows it is left. The
  // stop bit is the last 1 bit of the range: zero bytes after it (trailing_zero_8bits, or the
  // cabac_zero_words some writers put there) are not data.
  bool MoreRBSPData() const {
    uint64_t last = size;  // one past the last non-zero byte
    while (last > (position >> 3) && data[last - 1] == 0) --last;
    if (last == (position >> 3)) return false;
    const uint64_t stopBit = 8 * last - 1 - static_cast<unsigned>(std::countr_zero(data[last - 1]));
    return position < stopBit;
  }

  // The bit at absolute index p, which must lie before the end.
  uint32_t ShowBitAt(uint64_t p) const {
    assert(p < EndPosition());
    return (data[p >> 3] >> (7 - (p & 7))) & 1u;
  }

  uint64_t GetPosition() const { return position; }
  uint64_t BitsLeft() const { return EndPosition() - position; }

 private:
  template <class T>
  static constexpr bool IsResultType = std::is_same_v<T, uint8_t> || std::is_same_v<T, uint16_t> ||
                                       std::is_same_v<T, uint32_t> || std::is_same_v<T, int32_t>;

  uint64_t EndPosition() const { return size * 8; }

  static uint64_t LoadBigEndian64(const uint8_t* p) {
    uint64_t raw;
    std::memcpy(&raw, p, 8);
    if constexpr (std::endian::native == std::endian::little) {
#if defined(_MSC_VER) && !defined(__clang__)
      raw = _byteswap_uint64(raw);
#else
      raw = __builtin_bswap64(raw);
#endif
    }
    return raw;
  }

  // The 64 bits from the current byte on, shifted so that the bit at the position is the most
  // significant; bits past the end of the range are zeros. False when fewer than eight bytes
  // may be loaded from the current byte.
  bool LoadWindow(uint64_t& window) const {
    const uint64_t byte = position >> 3;
    if (loadable - byte < 8) return false;
    window = LoadBigEndian64(data + byte) << (position & 7);
    return true;
  }

  // The n (0 to 32) bits at the position as the low bits of the result; position + n must not
  // pass the end.
  uint64_t Peek(unsigned n) const {
    if (n == 0) return 0;
    uint64_t window;
    if (!LoadWindow(window)) window = TailWindow();
    return window >> (64 - n);
  }

  // The window of LoadWindow for a position in the last eight bytes, zeros past the end.
  uint64_t TailWindow() const;

  template <class T>
  static T Convert(uint64_t bits, unsigned n) {
    if constexpr (std::is_same_v<T, int32_t>) {
      if (n == 0) return 0;
      const unsigned unused = 32 - n;
      return static_cast<int32_t>(static_cast<uint32_t>(bits) << unused) >> unused;
    } else {
      return static_cast<T>(bits);
    }
  }

  uint32_t GetUEGolombSlow();

  [[noreturn]] static void FailShowBits();
  [[noreturn]] static void FailShowBits1();
  [[noreturn]] static void FailShowBytes();
  [[noreturn]] static void FailNotByteAligned();
  [[noreturn]] static void FailSkipBits();

  std::vector<uint8_t> owned;
  const uint8_t* data = nullptr;
  uint64_t size = 0;
  // Bytes from `data` that a window may load: the range, and the zero padding after it.
  uint64_t loadable = 0;
  uint64_t position = 0;

 public:
  // Best-effort reading: reads past the end yield 0 instead of failing. Set directly after
  // construction by a caller that probes possibly truncated data.
  bool lenient = false;
};

// What a range of NAL unit bytes is: the whole unit, or its first bytes only. Whether a 00 00 03
// at the end of the range holds an emulation-prevention byte depends on the byte after it, which
// only the end of the unit settles: nothing follows, so it does.
enum class UnitBytes { kWhole, kPrefix };

// The RBSP of the `size` bytes of a NAL unit at `data`: every emulation-prevention byte (the 03
// of 00 00 03 followed by a byte of at most 03, or ending the unit, as after a final
// cabac_zero_word) removed. A 00 00 03 followed by a byte above 03 is not an emulation pattern
// and is copied as it stands, and so is one that ends a prefix.
std::vector<uint8_t> RemoveEmulationPrevention(const uint8_t* data, uint64_t size);
// The same RBSP with `zeroPadding` zero bytes after it (not counted in the RBSP's size, which
// the caller takes from the return value), for a reader made with that padding.
uint64_t RemoveEmulationPrevention(const uint8_t* data, uint64_t size, uint64_t zeroPadding,
                                   std::vector<uint8_t>& out, UnitBytes range = UnitBytes::kWhole);
// The same RBSP written to `out`, which has room for `size` bytes; returns the RBSP's size.
uint64_t RemoveEmulationPrevention(const uint8_t* data, uint64_t size, uint8_t* out,
                                   UnitBytes range = UnitBytes::kWhole);

}  // namespace Orvane::Proc::CodecParsers
