#include "Orvane/Proc/CodecParsers/DecoderConfigurationRecords.h"

#include <cstring>

#include "Orvane/Proc/CodecParsers/H26xParserErrors.h"
#include "Orvane/Proc/Data.h"

namespace Orvane::Proc::CodecParsers {

using detail::ThrowParser;

BlobMp4Maker::BlobMp4Maker(uint64_t lengthSize_, std::vector<NALU> nalus_)
    : lengthSize(lengthSize_), nalus(std::move(nalus_)) {
  detail::CheckLengthSize("BlobMp4Maker", lengthSize);
  const uint64_t limit = uint64_t{1} << (8 * lengthSize);
  for (const NALU& nalu : nalus) {
    if (nalu.size >= limit) ThrowParser("BlobMp4Maker", "NALU length is too high");
    totalSize += nalu.size + lengthSize;
  }
}

void BlobMp4Maker::Write(uint8_t* out) const {
  for (const NALU& nalu : nalus) {
    const auto size = static_cast<uint32_t>(nalu.size);
    for (uint64_t i = lengthSize; i-- > 0;) *out++ = static_cast<uint8_t>(size >> (8 * i));
    if (nalu.size) std::memcpy(out, nalu.data, nalu.size);
    out += nalu.size;
  }
}

BlobPtr MakeLengthPrefixedBlob(const std::vector<NALU>& nalus, uint64_t lengthSize) {
  detail::CheckLengthSize("MakeLengthPrefixedBlob", lengthSize);
  const BlobMp4Maker maker(lengthSize, nalus);
  auto blob = BlobFF::Create(maker.TotalSize());
  maker.Write(blob->GetWritableData());
  return blob;
}

uint64_t AnnexBSize(const std::vector<NALU>& nalus) {
  uint64_t total = 0;
  for (const NALU& nalu : nalus) total += 4 + nalu.size;
  return total;
}

void WriteAnnexB(const std::vector<NALU>& nalus, uint8_t* out) {
  for (const NALU& nalu : nalus) {
    static constexpr uint8_t kStartCode[4] = {0, 0, 0, 1};
    std::memcpy(out, kStartCode, 4);
    if (nalu.size) std::memcpy(out + 4, nalu.data, nalu.size);
    out += 4 + nalu.size;
  }
}

BlobPtr MakeAnnexBBlob(const std::vector<NALU>& nalus) {
  auto blob = BlobFF::Create(AnnexBSize(nalus));
  WriteAnnexB(nalus, blob->GetWritableData());
  return blob;
}

}  // namespace Orvane::Proc::CodecParsers
