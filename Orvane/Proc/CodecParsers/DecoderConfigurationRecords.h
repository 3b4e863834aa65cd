#pragma once
// New blobs written from NAL unit records: length-prefixed and Annex B streams, and the hvcC and
// avcC decoder configuration records.
#include <cstdint>
#include <vector>

#include "Orvane/Blob.h"
#include "Orvane/Proc/CodecParsers/H26xBitstreamParser.h"

namespace Orvane::Proc::CodecParsers {

// Sizes the length-prefixed layout (each unit behind its size in lengthSize big-endian bytes)
// before anything is written, so that the layout goes straight into its destination.
class BlobMp4Maker {
 public:
  // lengthSize 1 to 4, else fails with "Invalid NAL length size"; fails with "NALU length is too
  // high" for a unit the field cannot hold.
  BlobMp4Maker(uint64_t lengthSize, std::vector<NALU> nalus);
  uint64_t TotalSize() const { return totalSize; }
  // Writes TotalSize() bytes at `out`.
  void Write(uint8_t* out) const;

 private:
  uint64_t totalSize = 0;
  uint64_t lengthSize;
  std::vector<NALU> nalus;
};

BlobPtr MakeLengthPrefixedBlob(const std::vector<NALU>& nalus, uint64_t lengthSize);
// Each unit behind 00 00 00 01. Never fails.
BlobPtr MakeAnnexBBlob(const std::vector<NALU>& nalus);
// The same layout sized first and then written straight into a caller's buffer of that size.
uint64_t AnnexBSize(const std::vector<NALU>& nalus);
void WriteAnnexB(const std::vector<NALU>& nalus, uint8_t* out);

// An hvcC record: profile, tier and level from the lowest-id VPS, format and bit depths from the
// lowest-id SPS, then arrays of the VPS, SPS, PPS and SEI units in that order (other units are
// left out), each unit in input order. Fails without a VPS, SPS or PPS, with too many, or with a
// length size outside 1 to 4.
BlobPtr NalusToHVCC(const std::vector<NALU>& nalus, uint64_t lengthSize);

// An avcC record: profile, constraint flags and level from the lowest-id SPS, then the SPS units
// and the PPS units, each in input order (other units are left out); no profile extension fields.
// Fails without an SPS or a PPS, with too many, or with a length size outside 1 to 4.
BlobPtr NalusToAVCC(const std::vector<NALU>& nalus, uint64_t lengthSize);

}  // namespace Orvane::Proc::CodecParsers
