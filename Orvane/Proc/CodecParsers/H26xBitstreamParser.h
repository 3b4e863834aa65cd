#pragma once
// NAL units of H.264 and H.265 streams: the record by which the codec parsers refer to one
// unit, the scans that cut Annex B and length-prefixed byte ranges into such records, and the
// lookups by NAL unit type over a list of them.
#include <cstdint>
#include <string>
#include <vector>

namespace Orvane::Proc::CodecParsers {

// One NAL unit as it stands in the stream: header first, emulation-prevention bytes in place,
// without start code or length field. It points into bytes that somebody else keeps alive.
struct NALU {
  const uint8_t* data = nullptr;
  uint64_t size = 0;
};

// Every record of the Annex B byte range, appended to `out` in stream order. Bytes before the
// first start code are not a unit; a zero byte just before a start code belongs to the start
// code, any further trailing zeros stay with the unit before it. Never fails.
void FindAnnexBNalus(const uint8_t* data, uint64_t size, std::vector<NALU>& out);

// Every record of the range of big-endian `lengthSize`-byte (1 to 4) lengths, each followed by
// its unit, appended to `out` in stream order. Fails on another length size ("Invalid NAL length
// size"), on a length of 0 and on a range that ends
// inside a length field or a unit; the records found before the failure stay in `out`.
void FindMP4Nalus(const uint8_t* data, uint64_t size, std::vector<NALU>& out,
                  uint64_t lengthSize);

// nal_unit_type from the header; the record must not be empty.
inline uint32_t H264NaluType(const NALU& nalu) { return nalu.data[0] & 0x1Fu; }
inline uint32_t HEVCNaluType(const NALU& nalu) { return (nalu.data[0] >> 1) & 0x3Fu; }

// The name of an H.265 nal_unit_type; empty for 64 and above.
std::string HEVCNaluTypeName(uint32_t type);

// Which header a list of records is read with.
enum class NaluCodec { H264, HEVC };

// The lookups behind the stream parsers' GetFirstNALU and GetNALUs. Empty records have no header
// and never match.
// The first record of `type`; fails with "Can't find nalu of type " and the type (its decimal
// value for H.264, its name for H.265) when there is none.
NALU GetFirstNALU(const std::vector<NALU>& nalus, NaluCodec codec, uint32_t type);
// Every record of `type`, in list order.
std::vector<NALU> GetNALUs(const std::vector<NALU>& nalus, NaluCodec codec, uint32_t type);

}  // namespace Orvane::Proc::CodecParsers
