#include "Orvane/Conf/Colour.h"

namespace Orvane::Conf {

bool IsValidColorPrimaries(ColorPrimaries value) {
  const auto v = static_cast<uint32_t>(value);
  return v == 1 || v == 2 || (v >= 4 && v <= 12) || v == 22;
}

bool IsValidTransferFunction(TransferFunction value) {
  const auto v = static_cast<uint32_t>(value);
  return v == 1 || v == 2 || (v >= 4 && v <= 18);
}

bool IsValidYCbCrMatrix(YCbCrMatrix value) {
  const auto v = static_cast<uint32_t>(value);
  return v <= 2 || (v >= 4 && v <= 14);
}

}  // namespace Orvane::Conf
