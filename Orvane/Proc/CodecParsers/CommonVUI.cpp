#include "Orvane/Proc/CodecParsers/CommonVUI.h"

#include <array>
#include <tuple>
#include <utility>

#include "Orvane/Proc/CodecParsers/BitsReader.h"
#include "Orvane/Proc/CodecParsers/H26xBitstreamBuilder.h"
#include "Orvane/Proc/CodecParsers/SyntaxListing.h"

namespace Orvane::Proc::CodecParsers {
namespace {

constexpr uint8_t kExtendedSAR = 255;
constexpr uint8_t kUnspecifiedVideoFormat = 5;

// Sample aspect ratios of aspect_ratio_idc 0 to 16 (Table E-1 of H.264 and H.265); 0 is
// unspecified, written 0:1.
constexpr std::array<std::pair<uint16_t, uint16_t>, 17> kSampleAspectRatios = {{
    {0, 1}, {1, 1}, {12, 11}, {10, 11}, {16, 11}, {40, 33}, {24, 11}, {20, 11}, {32, 11},
    {80, 33}, {18, 11}, {15, 11}, {64, 33}, {160, 99}, {4, 3}, {3, 2}, {2, 1},
}};

}  // namespace

void DecodeCommonVUI(CommonVUI& vui, BitsReader& r) {
  // Reserved idc values leave the ratio unspecified.
  vui.sar_width = 0;
  vui.sar_height = 1;
  vui.aspect_ratio_info_present_flag = r.GetBits<uint8_t>(1);
  if (vui.aspect_ratio_info_present_flag) {
    vui.aspect_ratio_idc = r.GetBits<uint8_t>(8);
    if (vui.aspect_ratio_idc == kExtendedSAR) {
      vui.sar_width = r.GetBits<uint16_t>(16);
      vui.sar_height = r.GetBits<uint16_t>(16);
    } else if (vui.aspect_ratio_idc < kSampleAspectRatios.size()) {
      std::tie(vui.sar_width, vui.sar_height) = kSampleAspectRatios[vui.aspect_ratio_idc];
    }
  }
  vui.overscan_info_present_flag = r.GetBits<uint8_t>(1);
  if (vui.overscan_info_present_flag) vui.overscan_appropriate_flag = r.GetBits<uint8_t>(1);
  vui.video_signal_type_present_flag = r.GetBits<uint8_t>(1);
  if (vui.video_signal_type_present_flag) {
    vui.video_format = r.GetBits<uint8_t>(3);
    vui.video_full_range_flag = r.GetBits<uint8_t>(1);
    vui.colour_description_present_flag = r.GetBits<uint8_t>(1);
    if (vui.colour_description_present_flag) {
      vui.colour_primaries = r.GetBits<uint8_t>(8);
      vui.transfer_characteristics = r.GetBits<uint8_t>(8);
      vui.matrix_coefficients = r.GetBits<uint8_t>(8);
    }
  }
  vui.chroma_loc_info_present_flag = r.GetBits<uint8_t>(1);
  if (vui.chroma_loc_info_present_flag) {
    // Legal values are 0 to 5; the field keeps the low 8 bits of whatever was coded.
    vui.chroma_sample_loc_type_top_field = static_cast<uint8_t>(r.GetUEGolomb());
    vui.chroma_sample_loc_type_bottom_field = static_cast<uint8_t>(r.GetUEGolomb());
  }
}

void AppendCommonVUI(const CommonVUI& vui, H26xBitstreamBuilder& b) {
  b.AppendBit(vui.aspect_ratio_info_present_flag);
  if (vui.aspect_ratio_info_present_flag) {
    b.AppendU64(vui.aspect_ratio_idc, 8);
    if (vui.aspect_ratio_idc == kExtendedSAR) {
      b.AppendU64(vui.sar_width, 16);
      b.AppendU64(vui.sar_height, 16);
    }
  }
  b.AppendBit(vui.overscan_info_present_flag);
  if (vui.overscan_info_present_flag) b.AppendBit(vui.overscan_appropriate_flag);
  b.AppendBit(vui.video_signal_type_present_flag);
  if (vui.video_signal_type_present_flag) {
    b.AppendU64(vui.video_format, 3);
    b.AppendBit(vui.video_full_range_flag);
    b.AppendBit(vui.colour_description_present_flag);
    if (vui.colour_description_present_flag) {
      b.AppendU64(vui.colour_primaries, 8);
      b.AppendU64(vui.transfer_characteristics, 8);
      b.AppendU64(vui.matrix_coefficients, 8);
    }
  }
  b.AppendBit(vui.chroma_loc_info_present_flag);
  if (vui.chroma_loc_info_present_flag) {
    b.AppendUE(vui.chroma_sample_loc_type_top_field);
    b.AppendUE(vui.chroma_sample_loc_type_bottom_field);
  }
}

ColourDescription GetColourDescription(const CommonVUI& vui) {
  if (vui.video_signal_type_present_flag && vui.colour_description_present_flag) {
    return {static_cast<Conf::ColorPrimaries>(vui.colour_primaries),
            static_cast<Conf::TransferFunction>(vui.transfer_characteristics),
            static_cast<Conf::YCbCrMatrix>(vui.matrix_coefficients)};
  }
  return {Conf::ColorPrimaries::Unspecified, Conf::TransferFunction::Unspecified,
          Conf::YCbCrMatrix::Unspecified};
}

bool IsValidColourDescription(const ColourDescription& colour) {
  return Conf::IsValidColorPrimaries(colour.primaries) &&
         Conf::IsValidTransferFunction(colour.transfer) && Conf::IsValidYCbCrMatrix(colour.matrix);
}

void SetColourDescription(CommonVUI& vui, const ColourDescription& colour) {
  if (!vui.video_signal_type_present_flag) vui.video_format = kUnspecifiedVideoFormat;
  vui.video_signal_type_present_flag = 1;
  if (!IsValidColourDescription(colour)) {
    vui.colour_description_present_flag = 0;
    return;
  }
  vui.colour_description_present_flag = 1;
  vui.colour_primaries = static_cast<uint8_t>(colour.primaries);
  vui.transfer_characteristics = static_cast<uint8_t>(colour.transfer);
  vui.matrix_coefficients = static_cast<uint8_t>(colour.matrix);
}

// The head in the shape of its decode, for the listings of both VUIs.
#define FIELD(field) out.Element(#field, vui.field)
void ListSyntax(const CommonVUI& vui, SyntaxListing& out) {
  FIELD(aspect_ratio_info_present_flag);
  if (vui.aspect_ratio_info_present_flag) {
    FIELD(aspect_ratio_idc);
    if (vui.aspect_ratio_idc == 255) {
      FIELD(sar_width);
      FIELD(sar_height);
    }
  }
  FIELD(overscan_info_present_flag);
  if (vui.overscan_info_present_flag) FIELD(overscan_appropriate_flag);
  FIELD(video_signal_type_present_flag);
  if (vui.video_signal_type_present_flag) {
    FIELD(video_format);
    FIELD(video_full_range_flag);
    FIELD(colour_description_present_flag);
    if (vui.colour_description_present_flag) {
      FIELD(colour_primaries);
      FIELD(transfer_characteristics);
      FIELD(matrix_coefficients);
    }
  }
  FIELD(chroma_loc_info_present_flag);
  if (vui.chroma_loc_info_present_flag) {
    FIELD(chroma_sample_loc_type_top_field);
    FIELD(chroma_sample_loc_type_bottom_field);
  }
}
#undef FIELD

}  // namespace Orvane::Proc::CodecParsers
