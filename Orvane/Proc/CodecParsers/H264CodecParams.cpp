// The H.264 parameter-set collection, and the scaling matrices that the SPS and the PPS share. The
// parameter sets themselves are decoded in H264_SPS.cpp and H264_PPS.cpp, the level tables and
// names are in H264Levels.cpp.
#include "Orvane/Proc/CodecParsers/H264CodecParams.h"

#include <cstring>

#include "Orvane/Proc/CodecParsers/H264Syntax.h"

namespace Orvane::Proc::CodecParsers {

using namespace h264_syntax;

namespace {

constexpr uint32_t kSPSType = 7;
constexpr uint32_t kPPSType = 8;

// The default lists (Default_4x4_Intra/Inter, Default_8x8_Intra/Inter) in scan order, as the
// standard gives them.
constexpr uint8_t kDefault4x4Scan[2][16] = {
    {6, 13, 13, 20, 20, 20, 28, 28, 28, 28, 32, 32, 32, 37, 37, 42},
    {10, 14, 14, 20, 20, 20, 24, 24, 24, 24, 27, 27, 27, 30, 30, 34}};
constexpr uint8_t kDefault8x8Scan[2][64] = {
    {6,  10, 10, 13, 11, 13, 16, 16, 16, 16, 18, 18, 18, 18, 18, 23, 23, 23, 23, 23, 23, 25,
     25, 25, 25, 25, 25, 25, 27, 27, 27, 27, 27, 27, 27, 27, 29, 29, 29, 29, 29, 29, 29, 31,
     31, 31, 31, 31, 31, 33, 33, 33, 33, 33, 36, 36, 36, 36, 38, 38, 38, 40, 40, 42},
    {9,  13, 13, 15, 13, 15, 17, 17, 17, 17, 19, 19, 19, 19, 19, 21, 21, 21, 21, 21, 21, 22,
     22, 22, 22, 22, 22, 22, 24, 24, 24, 24, 24, 24, 24, 24, 25, 25, 25, 25, 25, 25, 25, 27,
     27, 27, 27, 27, 27, 28, 28, 28, 28, 28, 30, 30, 30, 30, 32, 32, 32, 33, 33, 35}};

// The default lists at their raster positions, as the records keep lists.
template <size_t N>
struct RasterDefaults {
  uint8_t intra[N], inter[N];
};
template <size_t N>
constexpr RasterDefaults<N> ToRaster(const uint8_t (&scan)[2][N], const uint8_t (&zigzag)[N]) {
  RasterDefaults<N> out{};
  for (size_t j = 0; j < N; ++j) {
    out.intra[zigzag[j]] = scan[0][j];
    out.inter[zigzag[j]] = scan[1][j];
  }
  return out;
}
constexpr RasterDefaults<16> kDefault4x4 = ToRaster(kDefault4x4Scan, kZigZag4x4);
constexpr RasterDefaults<64> kDefault8x8 = ToRaster(kDefault8x8Scan, kZigZag8x8);

// One scaling_list(): the coded list, the default list when the first delta selects it, or the
// fall-back list when the list is not present. Returns the present flag shifted to bit `index`.
template <size_t N>
uint16_t DecodeScalingList(BitsReader& r, uint8_t (&list)[N], const uint8_t (&defaultList)[N],
                           const uint8_t (&fallBack)[N], uint32_t index, const uint8_t (&zigzag)[N]) {
  if (!r.GetBits<uint8_t>(1)) {
    std::memcpy(list, fallBack, N);
    return 0;
  }
  uint32_t lastScale = 8;
  uint32_t nextScale = 8;
  for (size_t j = 0; j < N; ++j) {
    if (nextScale != 0) {
      const int32_t delta_scale = r.GetSEGolomb();
      if (delta_scale < -128 || delta_scale > 127) ThrowBitstream("DecodeScalingList", "Delta scale is invalid");
      nextScale = (lastScale + static_cast<uint32_t>(delta_scale)) & 0xFF;
      // useDefaultScalingMatrixFlag
      if (j == 0 && nextScale == 0) {
        std::memcpy(list, defaultList, N);
        break;
      }
    }
    if (nextScale != 0) lastScale = nextScale;
    list[zigzag[j]] = static_cast<uint8_t>(lastScale);
  }
  return static_cast<uint16_t>(1u << index);
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// Collection

void H264_PS::AddNALU(const NALU& nalu) {
  // There is no header to tell the kind by.
  if (nalu.size == 0) ThrowBitstream("AddNALU", "Empty NAL unit");
  switch (H264NaluType(nalu)) {
    case kSPSType:
      DecodeAndStore(sps_list, &H264_SPS::seq_parameter_set_id, nalu);
      break;
    case kPPSType:
      DecodeAndStore(pps_list, &H264_PPS::pic_parameter_set_id, nalu, *this);
      break;
    default:
      break;
  }
}

std::shared_ptr<const H264_SPS> H264_PS::GetSPS(uint8_t id) const {
  return FindShared(sps_list, id, &H264_SPS::seq_parameter_set_id);
}
std::shared_ptr<const H264_PPS> H264_PS::GetPPS(uint8_t id) const {
  return FindShared(pps_list, id, &H264_PPS::pic_parameter_set_id);
}

// ---------------------------------------------------------------------------------------------
// Scaling matrices

uint16_t DecodeScalingMatrix(BitsReader& r, const H264_SPS& sps, const H264_PPS* pps, ScalingLists4x4& lists4x4,
                             ScalingLists8x8& lists8x8) {
  // Fall-back rule B: a PPS whose SPS carries a matrix falls back to the SPS's lists for the
  // first list of each kind; rule A falls back to the defaults.
  const bool ruleB = pps && sps.seq_scaling_matrix_present_flag;
  const auto& d4 = kDefault4x4;
  const auto& d8 = kDefault8x8;
  uint16_t mask = 0;
  mask |= DecodeScalingList(r, lists4x4[0], d4.intra, ruleB ? sps.ScalingList4x4[0] : d4.intra, 0, kZigZag4x4);
  mask |= DecodeScalingList(r, lists4x4[1], d4.intra, lists4x4[0], 1, kZigZag4x4);
  mask |= DecodeScalingList(r, lists4x4[2], d4.intra, lists4x4[1], 2, kZigZag4x4);
  mask |= DecodeScalingList(r, lists4x4[3], d4.inter, ruleB ? sps.ScalingList4x4[3] : d4.inter, 3, kZigZag4x4);
  mask |= DecodeScalingList(r, lists4x4[4], d4.inter, lists4x4[3], 4, kZigZag4x4);
  mask |= DecodeScalingList(r, lists4x4[5], d4.inter, lists4x4[4], 5, kZigZag4x4);
  if (pps && !pps->transform_8x8_mode_flag) return mask;

  // Lists 6 to 11, kept at 0, 3, 1, 4, 2, 5: intra Y, inter Y, then Cb and Cr of 4:4:4, each
  // falling back to the list of its kind two places before.
  mask |= DecodeScalingList(r, lists8x8[0], d8.intra, ruleB ? sps.ScalingList8x8[0] : d8.intra, 6, kZigZag8x8);
  mask |= DecodeScalingList(r, lists8x8[3], d8.inter, ruleB ? sps.ScalingList8x8[3] : d8.inter, 7, kZigZag8x8);
  if (sps.chroma_format_idc != 3) return mask;
  for (uint32_t i = 8; i < 12; ++i) {
    const bool intra = i % 2 == 0;
    mask |= DecodeScalingList(r, lists8x8[kScaling8x8Index[i - 6]], intra ? d8.intra : d8.inter,
                              lists8x8[kScaling8x8Index[i - 8]], i, kZigZag8x8);
  }
  return mask;
}

}  // namespace Orvane::Proc::CodecParsers
