#pragma once
// Colour enumerations; the values are the code points of ITU-T H.273 as the VUI carries them.
#include <cstdint>

#include "Orvane/Export.h"

namespace Orvane::Conf {

enum class ColorPrimaries : uint32_t {
  BT709 = 1, Unspecified = 2, BT470M = 4, BT470BG = 5, SMPTE170M = 6, SMPTE240M = 7, Film = 8,
  BT2020 = 9, SMPTE428 = 10, SMPTE431 = 11, SMPTE432 = 12, EBU3213 = 22,
};

enum class TransferFunction : uint32_t {
  BT709 = 1, Unspecified = 2, Gamma22 = 4, Gamma28 = 5, SMPTE170M = 6, SMPTE240M = 7, Linear = 8,
  Log100 = 9, Log316 = 10, IEC61966_2_4 = 11, BT1361 = 12, SRGB = 13, BT2020_10 = 14,
  BT2020_12 = 15, PQ = 16, SMPTE428 = 17, HLG = 18,
};

enum class YCbCrMatrix : uint32_t {
  Identity = 0, BT709 = 1, Unspecified = 2, FCC = 4, BT470BG = 5, SMPTE170M = 6, SMPTE240M = 7,
  YCgCo = 8, BT2020NCL = 9, BT2020CL = 10, SMPTE2085 = 11, ChromaNCL = 12, ChromaCL = 13,
  ICtCp = 14,
};

// Whether the framework knows the value (reserved code points are not known).
ORVANE_API bool IsValidColorPrimaries(ColorPrimaries value);
ORVANE_API bool IsValidTransferFunction(TransferFunction value);
ORVANE_API bool IsValidYCbCrMatrix(YCbCrMatrix value);

}  // namespace Orvane::Conf
