#pragma once
// Raw Annex B streams cut into NAL units and access units in place, a window at a time, with the
// codec parsers' scan.
#include <string.h>  // memmem

#include <algorithm>
#include <cstdint>
#include <optional>
#include <thread>
#include <vector>

#include "Orvane/Proc/CodecParsers/H26xBitstreamParser.h"

namespace heifmux {

namespace cp = Orvane::Proc::CodecParsers;

// The NAL units of a byte range in order, scanned a window at a time so that a picture near the
// start is found without reading the whole file. The last unit of a window may go on beyond it,
// so it opens the next window instead; a unit longer than the window widens the window.
class NaluScan {
 public:
  // `window`: the bytes scanned at a time at first; `twoThreadsFrom`: the least that two threads scan.
  NaluScan(const uint8_t* data, uint64_t size, uint64_t window = 16 << 20, uint64_t twoThreadsFrom = 4 << 20)
      : from_(data), end_(data + size), span_(window), twoThreadsFrom_(twoThreadsFrom) {}

  std::optional<cp::NALU> Next() {
    if (next_ == window_.size()) {
      if (from_ == end_) return std::nullopt;
      Refill();
      if (window_.empty()) return std::nullopt;
    }
    return window_[next_++];
  }

 private:
  void Refill() {
    window_.clear();
    next_ = 0;
    for (;;) {
      const auto left = static_cast<uint64_t>(end_ - from_);
      const uint64_t length = std::min(span_, left);
      ScanInTwo(from_, length, window_);
      if (length == left) {
        from_ = end_;
        return;
      }
      if (window_.size() >= 2) {
        from_ = window_.back().data - 3;  // its start code
        window_.pop_back();
        return;
      }
      window_.clear();
      span_ *= 2;
    }
  }

  // A long range is scanned by two threads, cut at a start code past its middle: every 00 00 01 is
  // a start code, so each half scans to the units a single scan finds, provided the zero byte of a
  // four-byte start code goes with the second half.
  void ScanInTwo(const uint8_t* data, uint64_t size, std::vector<cp::NALU>& out) const {
    constexpr uint8_t kStartCode[] = {0, 0, 1};
    const auto* cut = size < twoThreadsFrom_ ? nullptr
                                       : static_cast<const uint8_t*>(memmem(data + size / 2, size - size / 2,
                                                                            kStartCode, sizeof kStartCode));
    if (!cut) return cp::FindAnnexBNalus(data, size, out);
    if (cut[-1] == 0) --cut;
    std::vector<cp::NALU> second;
    std::thread worker([&] { cp::FindAnnexBNalus(cut, static_cast<uint64_t>(data + size - cut), second); });
    cp::FindAnnexBNalus(data, static_cast<uint64_t>(cut - data), out);
    worker.join();
    out.insert(out.end(), second.begin(), second.end());
  }

  const uint8_t* from_;
  const uint8_t* const end_;
  uint64_t span_;
  const uint64_t twoThreadsFrom_;
  std::vector<cp::NALU> window_;
  size_t next_ = 0;
};

inline bool IsSlice(const cp::NALU& nalu) { return cp::HEVCNaluType(nalu) < 32; }

// Once an access unit holds a slice, the next one begins at an access unit delimiter, a parameter
// set, a prefix SEI or another unit that may only precede a picture, or at a slice that begins a
// picture (first_slice_segment_in_pic_flag). Units of layers above the base layer belong to the
// access unit of their base-layer picture.
inline bool BeginsAccessUnit(const cp::NALU& nalu) {
  if (nalu.size < 2) return false;
  const uint32_t nuh_layer_id = (nalu.data[0] & 1u) << 5 | nalu.data[1] >> 3;
  if (nuh_layer_id != 0) return false;
  const uint32_t type = cp::HEVCNaluType(nalu);
  if (type < 32) return nalu.size > 2 && (nalu.data[2] & 0x80) != 0;
  return (type >= 32 && type <= 35) || type == 39 || (type >= 41 && type <= 44) || (type >= 48 && type <= 55);
}

// The access units of a stream in decoding order, each as the bytes from its first start code to
// the end of its last NAL unit.
class AccessUnits {
 public:
  struct Unit {
    const uint8_t* begin = nullptr;
    const uint8_t* end = nullptr;
    bool hasPicture = false;
    std::vector<cp::NALU> nalus;
  };

  AccessUnits(const uint8_t* data, uint64_t size, uint64_t window = 16 << 20, uint64_t twoThreadsFrom = 4 << 20)
      : start_(data), scan_(data, size, window, twoThreadsFrom) {}

  bool Next(Unit& unit) {
    std::optional<cp::NALU> first = held_ ? held_ : scan_.Next();
    held_.reset();
    if (!first) return false;
    // A zero byte before 00 00 01 makes the four-byte start code.
    unit.begin = first->data - 3;
    if (unit.begin > start_ && unit.begin[-1] == 0) --unit.begin;
    unit.hasPicture = false;
    unit.nalus.clear();
    for (std::optional<cp::NALU> nalu = first; nalu; nalu = scan_.Next()) {
      if (unit.hasPicture && BeginsAccessUnit(*nalu)) {
        held_ = nalu;
        break;
      }
      unit.end = nalu->data + nalu->size;
      unit.hasPicture = unit.hasPicture || IsSlice(*nalu);
      unit.nalus.push_back(*nalu);
    }
    return true;
  }

 private:
  const uint8_t* const start_;
  NaluScan scan_;
  std::optional<cp::NALU> held_;
};

}  // namespace heifmux
