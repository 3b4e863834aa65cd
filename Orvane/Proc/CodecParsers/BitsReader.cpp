#include "Orvane/Proc/CodecParsers/BitsReader.h"

#include <cstring>
#include <source_location>

#include "Orvane/Proc/CodecParsers/BitstreamException.h"
#include "Orvane/Proc/CodecParsers/ZeroZeroSearch.h"
#include "Orvane/Throw.h"

namespace Orvane::Proc::CodecParsers {
namespace {

constexpr const char kUnit[] = "Orvane/Proc/CodecParsers/BitsReader";

[[noreturn]] void ThrowBitstream(const char* function, const char* message,
                                 std::source_location at = std::source_location::current()) {
  ThrowException<BitstreamException>(kUnit, function, message, at);
}

}  // namespace

BitsReader& BitsReader::operator=(const BitsReader& other) {
  if (this == &other) return *this;
  owned = other.owned;
  data = owned.empty() ? other.data : owned.data();
  size = other.size;
  loadable = other.loadable;
  position = other.position;
  lenient = other.lenient;
  return *this;
}

uint64_t BitsReader::TailWindow() const {
  // Short units such as parameter sets make most of their reads here, so no library copy: the
  // last eight bytes of the range moved up to the current byte, zeros coming in behind, or for a
  // range of fewer than eight bytes its bytes one by one.
  const uint64_t byte = position >> 3;
  const uint64_t left = size - byte;  // 0 (at the end) to 7
  uint64_t window = 0;
  if (left == 0) return 0;
  if (size >= 8) {
    window = LoadBigEndian64(data + size - 8) << (8 * (8 - left));
  } else {
    for (uint64_t i = byte; i < size; ++i) window |= uint64_t{data[i]} << (56 - 8 * (i - byte));
  }
  return window << (position & 7);
}

uint32_t BitsReader::GetUEGolombSlow() {
  // In the last eight bytes, a code that ends before the end is taken from the tail window as
  // the inline path takes it from a full one.
  if (size - (position >> 3) < 8) {
    const uint64_t window = TailWindow();
    const auto zeros = static_cast<unsigned>(std::countl_zero(window));
    if (zeros <= 28 && 2 * zeros + 1 <= BitsLeft()) {
      position += 2 * zeros + 1;
      return static_cast<uint32_t>((window >> (63 - 2 * zeros)) - 1);
    }
  }
  // The prefix runs to the first one, however long: a code of more than 31 zeros is refused
  // only once it is known not to be cut short by the end.
  uint64_t zeros = 0;
  for (;;) {
    if (position == EndPosition()) {
      if (!lenient) ThrowBitstream("GetUEGolomb", "End of stream");
      return 0;
    }
    if (ShowBitAt(position++)) break;
    ++zeros;
    // Whole zero bytes at once: a fuzzed range may be megabytes of them.
    while ((position & 7) == 0 && position != EndPosition() && data[position >> 3] == 0) {
      position += 8;
      zeros += 8;
    }
  }
  if (zeros > 31) ThrowBitstream("GetUEGolomb", "Invalid unsigned Exp-Golomb code");
  if (zeros == 0) return 0;
  const auto z = static_cast<unsigned>(zeros);
  if (z < 31) return ((1u << z) - 1) + GetBits<uint32_t>(z);
  // 31 zeros leave room in 32 bits only for the code of 2^31 - 1 itself.
  if (GetBits<uint32_t>(31) != 0) ThrowBitstream("GetUEGolomb", "Invalid unsigned Exp-Golomb code");
  return 0x7FFFFFFFu;
}

uint32_t BitsReader::GetUEGolomb32() {
  uint64_t window;
  if (LoadWindow(window) && window != 0) {
    const unsigned zeros = static_cast<unsigned>(std::countl_zero(window));
    if (zeros <= 28 && 2 * zeros + 1 <= BitsLeft()) {
      position += 2 * zeros + 1;
      return static_cast<uint32_t>((window >> (63 - 2 * zeros)) - 1);
    }
  }
  for (unsigned z = 0; z < 32; ++z) {
    if (position == EndPosition()) {
      // A missing bit counts as a zero in lenient mode.
      if (!lenient) FailShowBits1();
    } else if (ShowBitAt(position++)) {
      return ((1u << z) - 1) + GetBits<uint32_t>(z);
    }
  }
  return 0xFFFFFFFFu;
}

uint64_t BitsReader::GetLEB128() {
  uint64_t value = 0;
  for (unsigned shift = 0;; shift += 7) {
    if (BitsLeft() < 8) {
      if (!lenient) FailShowBits();
      position = EndPosition();
      return value;
    }
    const uint64_t byte = Peek(8);
    position += 8;
    value |= (byte & 0x7F) << shift;
    // The eighth byte ends the value whatever its continuation bit says.
    if (byte < 0x80 || shift + 7 >= 56) return value;
  }
}

void BitsReader::FailShowBits() { ThrowBitstream("ShowBits", "End of stream"); }
void BitsReader::FailShowBits1() { ThrowBitstream("ShowBits1", "End of stream"); }
void BitsReader::FailShowBytes() { ThrowBitstream("ShowBytes", "End of stream"); }
void BitsReader::FailNotByteAligned() {
  ThrowBitstream("ShowBytes", "Position not on a byte boundary");
}
void BitsReader::FailSkipBits() { ThrowBitstream("SkipBits", "End of stream"); }

namespace {

// Hands the RBSP of the unit to `append` as runs of bytes [from, to), in order.
template <class Append>
void ForEachRBSPRun(const uint8_t* data, uint64_t size, UnitBytes range, Append append) {
  const uint8_t* p = data;
  const uint8_t* const end = data + size;
  while (p < end) {
    const uint8_t* match = detail::FindZeroZero(p, end, 0x03);
    if (match == end || (match + 3 == end && range == UnitBytes::kPrefix)) {
      append(p, end);
      break;
    }
    if (match + 3 == end) {
      append(p, match + 2);
      break;
    }
    if (match[3] <= 0x03) {
      // Drop the 03; the byte after it may itself start the next pattern.
      append(p, match + 2);
      p = match + 3;
    } else {
      append(p, match + 4);
      p = match + 4;
    }
  }
}

// Appends the RBSP of the unit to `out`, whose capacity the caller has made room in.
void AppendRBSP(const uint8_t* data, uint64_t size, UnitBytes range, std::vector<uint8_t>& out) {
  ForEachRBSPRun(data, size, range,
                 [&out](const uint8_t* from, const uint8_t* to) { out.insert(out.end(), from, to); });
}

}  // namespace

std::vector<uint8_t> RemoveEmulationPrevention(const uint8_t* data, uint64_t size) {
  std::vector<uint8_t> out;
  if (size == 0) return out;
  out.reserve(static_cast<size_t>(size));
  AppendRBSP(data, size, UnitBytes::kWhole, out);
  return out;
}

uint64_t RemoveEmulationPrevention(const uint8_t* data, uint64_t size, uint64_t zeroPadding,
                                   std::vector<uint8_t>& out, UnitBytes range) {
  out.clear();
  out.reserve(static_cast<size_t>(size + zeroPadding));
  if (size) AppendRBSP(data, size, range, out);
  const uint64_t rbspSize = out.size();
  out.resize(static_cast<size_t>(rbspSize + zeroPadding), 0);
  return rbspSize;
}

uint64_t RemoveEmulationPrevention(const uint8_t* data, uint64_t size, uint8_t* out, UnitBytes range) {
  uint8_t* at = out;
  ForEachRBSPRun(data, size, range, [&at](const uint8_t* from, const uint8_t* to) {
    std::memcpy(at, from, static_cast<size_t>(to - from));
    at += to - from;
  });
  return static_cast<uint64_t>(at - out);
}

}  // namespace Orvane::Proc::CodecParsers
