#pragma once
// NAL units as byte vectors for the stream-parser and conversion tests, and the two framings
// written by hand, independently of the library's writers.
#include <vector>

#include "Orvane/Proc/CodecParsers/H26xBitstreamParser.h"
#include "Orvane/Proc/Data.h"

namespace codec_test {

using Bytes = std::vector<uint8_t>;
using Units = std::vector<Bytes>;

inline Orvane::BlobPtr Blob(const Bytes& b) { return Orvane::Proc::BlobFF::Create(b.data(), b.size()); }
inline Bytes BytesOf(const Orvane::ConstBlobPtr& b) { return Bytes(b->GetData(), b->GetData() + b->GetSize()); }
inline Units UnitsOf(const std::vector<Orvane::Proc::CodecParsers::NALU>& nalus) {
  Units units;
  for (const auto& n : nalus) units.emplace_back(n.data, n.data + n.size);
  return units;
}
inline std::vector<Orvane::Proc::CodecParsers::NALU> Views(const Units& units) {
  std::vector<Orvane::Proc::CodecParsers::NALU> nalus;
  for (const Bytes& u : units) nalus.push_back({u.data(), u.size()});
  return nalus;
}
// Each unit behind a big-endian length of `width` bytes, or behind 00 00 00 01 for width 0.
inline Bytes Framed(const Units& units, uint64_t width) {
  Bytes out;
  for (const Bytes& u : units) {
    for (uint64_t i = width ? width : 4; i-- > 0;) out.push_back(static_cast<uint8_t>(width ? u.size() >> 8 * i : i == 0));
    out.insert(out.end(), u.begin(), u.end());
  }
  return out;
}

}  // namespace codec_test
