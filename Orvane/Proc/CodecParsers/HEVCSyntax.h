#pragma once
// What the decodes and writers of the HEVC syntax unit share, across its source files: the one
// throw of the unit, the reads that range-test a value as decoded and store it narrowed, the reset
// of a record and the RBSP that every parameter-set decode reads. Internal to the codec parsers.
#include <cstdint>
#include <cstring>
#include <memory>
#include <source_location>
#include <type_traits>
#include <vector>

#include "Orvane/Proc/CodecParsers/BitsReader.h"
#include "Orvane/Proc/CodecParsers/BitstreamException.h"
#include "Orvane/Proc/CodecParsers/H26xBitstreamParser.h"
#include "Orvane/Throw.h"

namespace Orvane::Proc::CodecParsers::hevc_syntax {

// Every failure of the unit names it by this one path, whichever file it was raised in.
inline constexpr char kUnit[] = "Orvane/Proc/CodecParsers/HEVCCodecParams";

[[noreturn]] inline void ThrowBitstream(const char* function, const char* message,
                                        std::source_location at = std::source_location::current()) {
  ThrowException<BitstreamException>(kUnit, function, message, at);
}

// A failure of a decode; the site is the caller's statement.
[[noreturn]] inline void Fail(const char* message,
                              std::source_location at = std::source_location::current()) {
  ThrowBitstream("Decode", message, at);
}

// A refusal of a writer; the site is the caller's statement.
[[noreturn]] inline void FailAppend(const char* message,
                                    std::source_location at = std::source_location::current()) {
  ThrowBitstream("Append", message, at);
}

// ue(v) kept in the low bits of T.
template <class T>
T UE(BitsReader& r) {
  return static_cast<T>(r.GetUEGolomb());
}

// ue(v) that fails with `message` above `max`; the test is on the value as decoded, so a value
// that would wrap into range in T is still refused.
template <class T>
T UE(BitsReader& r, uint32_t max, const char* message,
     std::source_location at = std::source_location::current()) {
  const uint32_t value = r.GetUEGolomb();
  if (value > max) Fail(message, at);
  return static_cast<T>(value);
}

// se(v) kept in the low bits of T.
template <class T>
T SE(BitsReader& r) {
  return static_cast<T>(r.GetSEGolomb());
}

// se(v) that fails with `message` outside [min, max].
template <class T>
T SE(BitsReader& r, int32_t min, int32_t max, const char* message,
     std::source_location at = std::source_location::current()) {
  const int32_t value = r.GetSEGolomb();
  if (value < min || value > max) Fail(message, at);
  return static_cast<T>(value);
}

// The initial state of a record: every field zero. For the fixed-size records the all-zero bytes
// are that state, and clearing them in place avoids building a temporary of several kilobytes.
template <class Record>
void Reset(Record& record) {
  static_assert(std::is_trivially_copyable_v<Record> && std::is_standard_layout_v<Record>);
  std::memset(static_cast<void*>(&record), 0, sizeof record);
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

// The RBSP of one NAL unit, header included, and a reader on it. The reader borrows the bytes,
// so copying it (to come back to a position) costs no allocation. Zero padding after the RBSP
// keeps reads in its last bytes on the reader's fast path: parameter sets are short, and most of
// their reads are there.
class UnitRBSP {
 public:
  explicit UnitRBSP(const NALU& nalu)
      : size(RemoveEmulationPrevention(nalu.data, nalu.size, kZeroPadding, bytes)),
        reader(bytes.data(), size, kZeroPadding) {}
  UnitRBSP(const UnitRBSP&) = delete;
  UnitRBSP& operator=(const UnitRBSP&) = delete;

  BitsReader& Reader() { return reader; }

 private:
  static constexpr uint64_t kZeroPadding = 8;
  std::vector<uint8_t> bytes;
  uint64_t size;
  BitsReader reader;
};

}  // namespace Orvane::Proc::CodecParsers::hevc_syntax
