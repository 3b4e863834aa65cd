// HEVC_SPS::Decode, Append and Decode again over a VPS and an SPS taken from the input: a
// big-endian 16-bit length of the VPS (clamped to what is left), the VPS, and the SPS taking the
// rest, made to carry their types and the SPS nuh_layer_id 0, the only form the writer writes.
// Whatever decodes must be written (or refused for the extensions that the decode drops), and the
// written unit must decode to the same record: a mismatch is a finding. The reserved bits of the
// profile blocks are written as zeros, so the constraint bytes, which keep them as coded, are left
// out of the comparison.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <vector>

#include <glog/logging.h>

#include "Orvane/Exception.h"
#include "Orvane/Proc/CodecParsers/H26xBitstreamBuilder.h"
#include "Orvane/Proc/CodecParsers/H26xBitstreamParser.h"
#include "Orvane/Proc/CodecParsers/HEVCCodecParams.h"

using namespace Orvane::Proc::CodecParsers;

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

void ClearConstraintBytes(HEVC_SPS& sps) {
  std::memset(sps.profile_tier_level.general.constraint_bytes, 0, 6);
  for (HEVC_ProfileInfo& layer : sps.profile_tier_level.sub_layer) std::memset(layer.constraint_bytes, 0, 6);
}

std::vector<uint8_t> Written(const HEVC_SPS& sps) {
  H26xBitstreamBuilder b(true);
  sps.Append(b);
  return {b.data(), b.data() + b.BytesInBuffer()};
}

}  // namespace

// The VUI repair warns on every unit that needs it; the log would only slow the run down.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  FLAGS_minloglevel = google::GLOG_ERROR;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t inputSize) {
  if (inputSize < 2) return 0;
  const size_t vpsSize = std::min(size_t{input[0]} << 8 | input[1], inputSize - 2);
  std::vector<uint8_t> vps(input + 2, input + 2 + vpsSize);
  std::vector<uint8_t> sps(input + 2 + vpsSize, input + inputSize);
  if (vps.empty() || sps.size() < 2) return 0;
  vps[0] = static_cast<uint8_t>((vps[0] & 0x81) | 32 << 1);
  sps[0] = static_cast<uint8_t>((sps[0] & 0x80) | 33 << 1);  // nuh_layer_id 0
  sps[1] &= 0x07;

  HEVC_PS ps;
  try {
    ps.AddNALU(NALU{vps.data(), vps.size()});
  } catch (const Orvane::Exception&) {
    return 0;
  }
  auto original = std::make_unique<HEVC_SPS>();
  try {
    original->Decode(NALU{sps.data(), sps.size()}, ps);
  } catch (const Orvane::Exception&) {
    return 0;
  }

  std::vector<uint8_t> written;
  try {
    written = Written(*original);
  } catch (const Orvane::Exception&) {
    // Only what the decode reads past without keeping may be refused.
    Check(original->sps_multilayer_extension_flag || original->sps_3d_extension_flag || original->sps_extension_4bits);
    return 0;
  }
  Check(!original->sps_multilayer_extension_flag && !original->sps_3d_extension_flag && !original->sps_extension_4bits);

  auto again = std::make_unique<HEVC_SPS>();
  try {
    again->Decode(NALU{written.data(), written.size()}, ps);
  } catch (const Orvane::Exception&) {
    std::abort();
  }
  Check(Written(*again) == written);
  ClearConstraintBytes(*original);
  ClearConstraintBytes(*again);
  Check(*again == *original);
  return 0;
}
