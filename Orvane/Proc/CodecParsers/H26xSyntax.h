#pragma once
// What the decodes and writers of the H.264 and HEVC syntax units share, across their source
// files: the throw of a unit, the reads that range-test a value as decoded and store it narrowed,
// the reset of a record, the parameter-set lists sorted by id, and the RBSP that every
// parameter-set decode reads. Internal to the codec parsers.
//
// A unit names every failure by its one path, whichever file raised it. Each unit binds the
// throws and the checked reads below to its path once (HEVCSyntax.h, H264Syntax.h); they are
// callable objects, so that the site a failure records is the caller's statement.
#include <algorithm>
#include <cstdint>
#include <cstring>
#include <iterator>
#include <memory>
#include <source_location>
#include <type_traits>
#include <vector>

#include "Orvane/Proc/CodecParsers/BitsReader.h"
#include "Orvane/Proc/CodecParsers/BitstreamException.h"
#include "Orvane/Proc/CodecParsers/H26xBitstreamParser.h"
#include "Orvane/Proc/CodecParsers/H264_SEI.h"
#include "Orvane/Proc/CodecParsers/ZeroZeroSearch.h"
#include "Orvane/Throw.h"

namespace Orvane::Proc::CodecParsers::h26x_syntax {

inline constexpr char kDecode[] = "Decode";
inline constexpr char kAppend[] = "Append";

// A failure of the unit from any function.
template <const char* Unit>
struct Thrower {
  [[noreturn]] void operator()(const char* function, const char* message,
                               std::source_location at = std::source_location::current()) const {
    ThrowException<BitstreamException>(Unit, function, message, at);
  }
};

// A failure of the unit from one function (a decode, a writer).
template <const char* Unit, const char* Function>
struct Failer {
  [[noreturn]] void operator()(const char* message, std::source_location at = std::source_location::current()) const {
    ThrowException<BitstreamException>(Unit, Function, message, at);
  }
};

// ue(v) kept in the low bits of T; with a bound, a value above it fails the decode (under the
// name `Function`). The test is on the value as decoded, so a value that would wrap into range in
// T is still refused.
template <const char* Unit, class T, const char* Function = kDecode>
struct UEReader {
  T operator()(BitsReader& r) const { return static_cast<T>(r.GetUEGolomb()); }
  T operator()(BitsReader& r, uint32_t max, const char* message,
               std::source_location at = std::source_location::current()) const {
    const uint32_t value = r.GetUEGolomb();
    if (value > max) Failer<Unit, Function>{}(message, at);
    return static_cast<T>(value);
  }
};

// se(v) kept in the low bits of T; with bounds, a value outside [min, max] fails the decode.
template <const char* Unit, class T, const char* Function = kDecode>
struct SEReader {
  T operator()(BitsReader& r) const { return static_cast<T>(r.GetSEGolomb()); }
  T operator()(BitsReader& r, int32_t min, int32_t max, const char* message,
               std::source_location at = std::source_location::current()) const {
    const int32_t value = r.GetSEGolomb();
    if (value < min || value > max) Failer<Unit, Function>{}(message, at);
    return static_cast<T>(value);
  }
};

// The initial state of a record: every field zero. For the fixed-size records the all-zero bytes
// are that state, and clearing them in place avoids building a temporary of several kilobytes.
template <class Record>
void Reset(Record& record) {
  static_assert(std::is_trivially_copyable_v<Record> && std::is_standard_layout_v<Record>);
  std::memset(static_cast<void*>(&record), 0, sizeof record);
}

// Zeroes the fields of a record from `from` up to, not including, `to`: the runs of fixed-size
// fields around the growable arrays of a record that Reset cannot clear whole.
inline void ZeroFields(void* from, void* to) {
  std::memset(from, 0, static_cast<size_t>(static_cast<char*>(to) - static_cast<char*>(from)));
}

// The record of `list` whose `key` is `id`, or null; the first one, as the collection's lookups
// find it. A decode reads its collection and never changes it, so the collection keeps the record
// alive for the whole decode without another reference being counted.
template <class Record, class Key>
const Record* FindStored(const std::vector<std::shared_ptr<const Record>>& list, uint8_t id, Key key) {
  for (const auto& record : list) {
    if ((*record).*key == id) return record.get();
  }
  return nullptr;
}

// The same record shared, for a collection's lookups.
template <class Record, class Key>
std::shared_ptr<const Record> FindShared(const std::vector<std::shared_ptr<const Record>>& list, uint8_t id,
                                         Key key) {
  for (const auto& record : list) {
    if ((*record).*key == id) return record;
  }
  return nullptr;
}

// Decodes a new record from `nalu` (with what its decode needs besides) and puts it at its place
// in the list, sorted by `key`: the last record of an id wins. Nothing is stored when the decode
// fails.
template <class Record, class Key, class... Context>
void DecodeAndStore(std::vector<std::shared_ptr<const Record>>& list, Key key, const NALU& nalu,
                    const Context&... context) {
  // Decode clears the record before it reads anything.
  std::shared_ptr<Record> record = std::make_shared_for_overwrite<Record>();
  record->Decode(nalu, context...);
  const uint8_t id = (*record).*key;
  const auto at = std::lower_bound(list.begin(), list.end(), id,
                                   [key](const auto& stored, uint8_t k) { return (*stored).*key < k; });
  if (at != list.end() && (**at).*key == id) {
    *at = std::move(record);
  } else {
    list.insert(at, std::move(record));
  }
}

// payloadType and payloadSize of an SEI message: 0xFF bytes adding 255 each, ended by the first byte
// below 0xFF; summed in 64 bits, where no run of them wraps. The sum stops growing once it passes
// `limit`.
inline uint64_t DecodeByteCodedValue(BitsReader& r, uint64_t limit) {
  uint64_t value = 0;
  uint8_t byte;
  while ((byte = r.GetBits<uint8_t>(8)) == 0xFF) {
    value += 255;
    if (value > limit) return value;
  }
  return value + byte;
}

// sei_rbsp of either codec, from the reader's position after the NAL unit header: at least one
// message, at most `maxMessages`, while more RBSP data follows. Each message's payload is kept;
// `decodeForm(message)` reads its decoded form from the reader at the payload's start and is false
// when the form takes more than the payload holds, which ends the unit's messages: what follows such
// a payload is not known to start a message. A size beyond what is left of the unit fails as soon as
// it is known, with the reader's own failure for a payload that runs past the end.
template <class Message, class Fail, class DecodeForm>
void DecodeSEIMessages(BitsReader& r, std::vector<Message>& messages, uint32_t maxMessages, const Fail& fail,
                       DecodeForm&& decodeForm) {
  for (uint32_t count = 1;; ++count) {
    Message m{};
    const uint64_t payloadType = DecodeByteCodedValue(r, UINT32_MAX);
    if (payloadType > UINT32_MAX) fail("payloadType out of range");
    m.payloadType = static_cast<uint32_t>(payloadType);
    const uint64_t payloadSize = DecodeByteCodedValue(r, r.BitsLeft() / 8);
    const uint8_t* payload = r.ShowBytes(payloadSize);
    m.payloadSize = static_cast<uint32_t>(payloadSize);
    m.payload.assign(payload, payload + payloadSize);
    if (!decodeForm(m)) return;
    r.SkipBits(payloadSize * 8);
    messages.push_back(std::move(m));
    if (count == maxMessages || !r.MoreRBSPData()) return;
  }
}

// mastering_display_colour_volume and content_light_level_info, whose syntax H.264 and H.265 share.
inline void DecodeMasteringDisplayColourVolume(BitsReader& r, H264_MasteringDisplayColourVolume& f) {
  for (auto& primary : f.display_primaries) {
    primary.display_primaries_x = r.GetBits<uint16_t>(16);
    primary.display_primaries_y = r.GetBits<uint16_t>(16);
  }
  f.white_point_x = r.GetBits<uint16_t>(16);
  f.white_point_y = r.GetBits<uint16_t>(16);
  f.max_display_mastering_luminance = r.GetBits<uint32_t>(32);
  f.min_display_mastering_luminance = r.GetBits<uint32_t>(32);
}

inline void DecodeContentLightLevel(BitsReader& r, H264_ContentLightLevel& f) {
  f.max_content_light_level = r.GetBits<uint16_t>(16);
  f.max_pic_average_light_level = r.GetBits<uint16_t>(16);
}

// The first `count` entries of an array field, as far as the record holds them, for the listings:
// a decoded record never counts more than its arrays hold, a record built by hand may.
template <class Array>
uint32_t Held(uint64_t count, const Array& array) {
  return static_cast<uint32_t>(std::min<uint64_t>(count, std::size(array)));
}

// The bytes of a unit up to its last non-zero byte. A NAL unit never ends in a zero byte (one that
// ends in a cabac_zero_word gets a final emulation-prevention byte), so zero bytes at the end of a
// unit's range are trailing_zero_8bits of an Annex B stream, which its scan leaves with the unit
// before them, and which a length-prefixed unit may carry as well: they are not part of the unit,
// and a decode that asks whether more data follows must not see them.
inline uint64_t UnitSize(const NALU& nalu) {
  uint64_t size = nalu.size;
  while (size != 0 && nalu.data[size - 1] == 0) --size;
  return size;
}

// The RBSP of one NAL unit, header included, or of the first bytes of one (the prefix a slice
// header is read from), and a reader on it. The reader borrows the bytes, so copying it (to come
// back to a position) costs no allocation. Zero padding after the RBSP keeps reads in its last
// bytes on the reader's fast path: parameter sets are short, and most of their reads are there.
// Units of ordinary size are copied to the stack, so that a decode allocates nothing for its RBSP.
class UnitRBSP {
 public:
  explicit UnitRBSP(const NALU& nalu, UnitBytes range = UnitBytes::kWhole)
      : size(Copy(range == UnitBytes::kWhole ? NALU{nalu.data, UnitSize(nalu)} : nalu, range)),
        reader(bytes, size, kZeroPadding) {}
  UnitRBSP(const UnitRBSP&) = delete;
  UnitRBSP& operator=(const UnitRBSP&) = delete;

  BitsReader& Reader() { return reader; }

 private:
  static constexpr uint64_t kZeroPadding = 8;
  static constexpr uint64_t kInlineSize = 512;

  uint64_t Copy(const NALU& nalu, UnitBytes range) {
    if (nalu.size + kZeroPadding > kInlineSize) {
      const uint64_t rbspSize = RemoveEmulationPrevention(nalu.data, nalu.size, kZeroPadding, large, range);
      bytes = large.data();
      return rbspSize;
    }
    const uint64_t rbspSize = RemoveEmulationPrevention(nalu.data, nalu.size, inlineBytes, range);
    std::memset(inlineBytes + rbspSize, 0, kZeroPadding);
    return rbspSize;
  }

  uint8_t inlineBytes[kInlineSize];
  std::vector<uint8_t> large;
  const uint8_t* bytes = inlineBytes;
  uint64_t size;
  BitsReader reader;
};

// Runs `decode` with a reader on the RBSP of the first `prefix` bytes of a slice unit (all of it
// when shorter), which hold its header. Headers are mostly a few dozen bytes long, slices hundreds
// or thousands, so the RBSP of a short window is read first: up to its last bytes it is the RBSP of
// the longer range too (only a 00 00 03 cut off at the window's end can come out differently), so
// a decode that succeeds without reading those has read what the full decode would read. Any
// failure is left to the decode of the whole prefix, which `decode` must start afresh. Bytes
// without an emulation pattern are their own RBSP and are read where they stand.
template <class Decode>
void DecodePrefixRBSP(const NALU& nalu, uint64_t prefix, Decode&& decode) {
  constexpr uint64_t kFirstTryBytes = 64;
  constexpr uint64_t kUnsureTailBytes = 2;
  constexpr uint8_t kEmulationPreventionByte = 0x03;
  const uint8_t* const data = nalu.data;
  uint64_t coded = std::min(nalu.size, prefix);
  if (coded > kFirstTryBytes) {
    const uint8_t* const windowEnd = data + kFirstTryBytes;
    std::vector<uint8_t> copy;
    const uint8_t* window = data;
    uint64_t windowSize = kFirstTryBytes;
    if (detail::FindZeroZero(data, windowEnd, kEmulationPreventionByte) != windowEnd) {
      copy = RemoveEmulationPrevention(data, kFirstTryBytes);
      window = copy.data();
      windowSize = copy.size();
    }
    BitsReader r(window, windowSize - kUnsureTailBytes);
    try {
      decode(r);
      return;
    } catch (const BitstreamException&) {
    }
  }
  // The same holds for the prefix: a 00 00 03 at its end that the unit goes on from with a byte of
  // at most 3 is an emulation pattern, whose 03 is no RBSP byte. Read as one, it would end the
  // header's last element with a byte the stream does not hold.
  if (coded < nalu.size && coded >= 3 && data[coded - 3] == 0 && data[coded - 2] == 0 &&
      data[coded - 1] == kEmulationPreventionByte && data[coded] <= 3) {
    --coded;
  }
  if (detail::FindZeroZero(data, data + coded, kEmulationPreventionByte) == data + coded) {
    BitsReader r(data, coded);
    decode(r);
    return;
  }
  UnitRBSP rbsp(NALU{data, coded}, coded < nalu.size ? UnitBytes::kPrefix : UnitBytes::kWhole);
  decode(rbsp.Reader());
}

}  // namespace Orvane::Proc::CodecParsers::h26x_syntax
