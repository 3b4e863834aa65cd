// HEVC_SEI::Decode over any bytes taken as an SEI unit, with an SPS in force chosen by the first
// byte (none, monochrome, 4:2:0), so that the decoded picture hash is read every way. Decoding may
// fail only with the exception family; the messages it keeps are at most 65, each with its whole
// payload inside the unit, and a user data message's bytes lie inside its payload.
#include <cstdlib>
#include <vector>

#include "Orvane/Exception.h"
#include "Orvane/Proc/CodecParsers/H26xBitstreamParser.h"
#include "Orvane/Proc/CodecParsers/HEVCCodecParams.h"
#include "Orvane/Proc/CodecParsers/HEVC_SEI.h"

using namespace Orvane::Proc::CodecParsers;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t size) {
  if (size < 1) return 0;
  HEVC_SPS sps{};
  sps.chroma_format_idc = input[0] % 3 == 1 ? 0 : 1;
  const HEVC_SPS* activeSps = input[0] % 3 == 0 ? nullptr : &sps;
  std::vector<uint8_t> unit(input + 1, input + size);
  // A prefix or a suffix unit, as the header's lowest type bit says.
  if (!unit.empty()) unit[0] = static_cast<uint8_t>((unit[0] & 0x81) | ((unit[0] & 2) ? 40 : 39) << 1);
  HEVC_SEI sei;
  try {
    sei.Decode(NALU{unit.data(), unit.size()}, activeSps);
  } catch (const Orvane::Exception&) {
  }
  if (sei.messages.size() > 65) std::abort();
  uint64_t bytes = 0;
  for (const HEVC_SEIMessage& m : sei.messages) {
    if (m.payload.size() != m.payloadSize) std::abort();
    const auto userData = m.UserData();
    if (!userData.empty() && (userData.data() < m.payload.data() || userData.data() + userData.size() != m.payload.data() + m.payload.size()))
      std::abort();
    bytes += m.payloadSize;
  }
  if (bytes > unit.size()) std::abort();
  return 0;
}
