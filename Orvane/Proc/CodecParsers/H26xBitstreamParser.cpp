#include "Orvane/Proc/CodecParsers/H26xBitstreamParser.h"

#include <array>
#include <string_view>

#include "Orvane/Proc/CodecParsers/BitsReader.h"
#include "Orvane/Proc/CodecParsers/H26xParserErrors.h"
#include "Orvane/Proc/CodecParsers/ZeroZeroSearch.h"

namespace Orvane::Proc::CodecParsers {
namespace {

// H.265 nal_unit_type names below the unspecified range. "RSV_VLC_R13" is the name the rest of
// the system and its logs know that type by.
constexpr std::array<std::string_view, 48> kHEVCNaluTypeNames = {
    "TRAIL_N",        "TRAIL_R",        "TSA_N",          "TSA_R",          "STSA_N",
    "STSA_R",         "RADL_N",         "RADL_R",         "RASL_N",         "RASL_R",
    "RSV_VCL_N10",    "RSV_VCL_R11",    "RSV_VCL_N12",    "RSV_VLC_R13",    "RSV_VCL_N14",
    "RSV_VCL_R15",    "BLA_W_LP",       "BLA_W_RADL",     "BLA_N_LP",       "IDR_W_RADL",
    "IDR_N_LP",       "CRA_NUT",        "RSV_IRAP_VCL22", "RSV_IRAP_VCL23", "RSV_VCL24",
    "RSV_VCL25",      "RSV_VCL26",      "RSV_VCL27",      "RSV_VCL28",      "RSV_VCL29",
    "RSV_VCL30",      "RSV_VCL31",      "VPS_NUT",        "SPS_NUT",        "PPS_NUT",
    "AUD_NUT",        "EOS_NUT",        "EOB_NUT",        "FD_NUT",         "PREFIX_SEI_NUT",
    "SUFFIX_SEI_NUT", "RSV_NVCL41",     "RSV_NVCL42",     "RSV_NVCL43",     "RSV_NVCL44",
    "RSV_NVCL45",     "RSV_NVCL46",     "RSV_NVCL47",
};

bool HasType(const NALU& nalu, NaluCodec codec, uint32_t type) {
  if (nalu.size == 0) return false;
  return (codec == NaluCodec::H264 ? H264NaluType(nalu) : HEVCNaluType(nalu)) == type;
}

}  // namespace

void FindAnnexBNalus(const uint8_t* data, uint64_t size, std::vector<NALU>& out) {
  if (size == 0) return;
  const uint8_t* const start = data;
  const uint8_t* const end = data + size;
  const uint8_t* unitStart = start;  // start itself: no unit open yet
  const uint8_t* from = start;
  for (;;) {
    const uint8_t* found = detail::FindZeroZero(from, end, 0x01);
    // One zero before 00 00 01 makes the four-byte start code.
    const uint64_t back = (found > start && found < end && found[-1] == 0) ? 1 : 0;
    if (unitStart != start) {
      const auto length = static_cast<uint64_t>(found - unitStart) - back;
      if (length != 0) out.push_back({unitStart, length});
    }
    if (found == end) return;
    unitStart = from = found + 3;
    if (from >= end) return;
  }
}

void FindMP4Nalus(const uint8_t* data, uint64_t size, std::vector<NALU>& out,
                  uint64_t lengthSize) {
  detail::CheckLengthSize("FindMP4Nalus", lengthSize);
  BitsReader reader(data, size);
  if (size == 0) return;
  const auto lengthBits = static_cast<unsigned>(lengthSize * 8);
  do {
    const uint32_t length = reader.GetBits<uint32_t>(lengthBits);
    if (length == 0) detail::ThrowParser("FindMP4Nalus", "The MP4 packet contains zero NALU length");
    out.push_back({reader.GetBytes(length), length});
  } while (reader.BitsLeft() != 0);
}

std::string HEVCNaluTypeName(uint32_t type) {
  if (type < kHEVCNaluTypeNames.size()) return std::string(kHEVCNaluTypeNames[type]);
  if (type < 64) return "UNSPEC" + std::to_string(type);
  return {};
}

NALU GetFirstNALU(const std::vector<NALU>& nalus, NaluCodec codec, uint32_t type) {
  for (const NALU& nalu : nalus) {
    if (HasType(nalu, codec, type)) return nalu;
  }
  detail::ThrowParser("GetFirstNALU", "Can't find nalu of type " + (codec == NaluCodec::H264
                                                                  ? std::to_string(type)
                                                                  : HEVCNaluTypeName(type)));
}

std::vector<NALU> GetNALUs(const std::vector<NALU>& nalus, NaluCodec codec, uint32_t type) {
  std::vector<NALU> matching;
  for (const NALU& nalu : nalus) {
    if (HasType(nalu, codec, type)) matching.push_back(nalu);
  }
  return matching;
}

}  // namespace Orvane::Proc::CodecParsers
