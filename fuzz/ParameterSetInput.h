#pragma once
// How the parameter-set fuzz targets read their input: `lengths` big-endian 16-bit unit lengths,
// then the units back to back (each clamped to what is left), one more unit taking the rest; the
// first units are the parameter sets (VPS, SPS, PPS of HEVC; SPS, PPS of H.264), their headers
// made to carry those types so that each decode is reached with the records before it possibly
// stored.
#include <algorithm>
#include <cstdlib>
#include <cstdint>
#include <vector>

#include "Orvane/Exception.h"
#include "Orvane/Proc/CodecParsers/H264CodecParams.h"
#include "Orvane/Proc/CodecParsers/H26xBitstreamParser.h"
#include "Orvane/Proc/CodecParsers/HEVCCodecParams.h"
#include "Orvane/Proc/CodecParsers/SyntaxListing.h"

namespace fuzz_support {

// Takes a record's listing and checks its shape: every nested record it opens is closed, nothing
// follows the close of one that was not opened, and the derived values come last, at the top.
class CheckedListing : public Orvane::Proc::CodecParsers::SyntaxListing {
 public:
  ~CheckedListing() override {
    if (depth_ != 0) std::abort();
  }

 protected:
  void OnElement(std::string_view name, std::span<const uint32_t>, int64_t) override {
    if (name.empty() || derivedDone_) std::abort();
  }
  void OnBeginRecord(std::string_view name, std::span<const uint32_t>) override {
    if (name.empty() || derivedDone_ || derived_) std::abort();
    if (name == Orvane::Proc::CodecParsers::kDerived) {
      if (depth_ != 0) std::abort();
      derived_ = true;
    }
    ++depth_;
  }
  void OnEndRecord() override {
    if (--depth_ < 0) std::abort();
    if (depth_ == 0 && derived_) derivedDone_ = true;
  }

 private:
  int depth_ = 0;
  bool derived_ = false, derivedDone_ = false;
};

// lengths + 1 units, or none when the input cannot hold the lengths. Exact copies, so that a read
// past either end of a unit is caught.
inline std::vector<std::vector<uint8_t>> CutUnits(const uint8_t* input, size_t size, size_t lengths) {
  if (size < 2 * lengths) return {};
  std::vector<std::vector<uint8_t>> units;
  size_t at = 2 * lengths;
  for (size_t i = 0; i <= lengths; ++i) {
    const size_t wanted = i < lengths ? (size_t{input[2 * i]} << 8 | input[2 * i + 1]) : size - at;
    const size_t n = std::min(wanted, size - at);
    units.emplace_back(input + at, input + at + n);
    at += n;
  }
  return units;
}

// Adds units[0..2] as VPS, SPS and PPS; a unit the decode refuses is left out.
inline void AddParameterSets(Orvane::Proc::CodecParsers::HEVC_PS& ps, std::vector<std::vector<uint8_t>>& units) {
  for (uint8_t type = 32; type <= 34; ++type) {
    std::vector<uint8_t>& unit = units[type - 32];
    if (!unit.empty()) unit[0] = static_cast<uint8_t>((unit[0] & 0x81) | type << 1);
    try {
      ps.AddNALU(Orvane::Proc::CodecParsers::NALU{unit.data(), unit.size()});
    } catch (const Orvane::Exception&) {
    }
  }
}

// Adds units[0..1] as SPS and PPS; a unit the decode refuses is left out. `also` runs on each unit
// after it was added or refused.
template <class Also>
void AddParameterSets(Orvane::Proc::CodecParsers::H264_PS& ps, std::vector<std::vector<uint8_t>>& units, Also also) {
  for (uint8_t type = 7; type <= 8; ++type) {
    std::vector<uint8_t>& unit = units[type - 7];
    if (!unit.empty()) unit[0] = static_cast<uint8_t>((unit[0] & 0xE0) | type);
    const Orvane::Proc::CodecParsers::NALU nalu{unit.data(), unit.size()};
    try {
      ps.AddNALU(nalu);
    } catch (const Orvane::Exception&) {
    }
    also(nalu);
  }
}

}  // namespace fuzz_support
