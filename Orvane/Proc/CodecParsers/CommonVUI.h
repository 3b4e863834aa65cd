#pragma once
// The head that the VUI parameters of H.264 and H.265 share (aspect ratio, overscan, video
// signal type with the colour description, chroma sample location), and the colour triple as
// the host framework names it.
#include <cstdint>

#include "Orvane/Conf/Colour.h"

namespace Orvane::Proc::CodecParsers {

class BitsReader;
class H26xBitstreamBuilder;

struct CommonVUI {
  uint8_t aspect_ratio_info_present_flag;
  uint8_t aspect_ratio_idc;
  uint16_t sar_width;
  uint16_t sar_height;
  uint8_t overscan_info_present_flag;
  uint8_t overscan_appropriate_flag;
  uint8_t video_signal_type_present_flag;
  uint8_t video_format;
  uint8_t video_full_range_flag;
  uint8_t colour_description_present_flag;
  uint8_t colour_primaries;
  uint8_t transfer_characteristics;
  uint8_t matrix_coefficients;
  uint8_t chroma_loc_info_present_flag;
  uint8_t chroma_sample_loc_type_top_field;
  uint8_t chroma_sample_loc_type_bottom_field;

  bool operator==(const CommonVUI&) const = default;
};

// The VUI code points carried unchanged; 2 is unspecified in all three.
struct ColourDescription {
  Conf::ColorPrimaries primaries;
  Conf::TransferFunction transfer;
  Conf::YCbCrMatrix matrix;
};

// Reads the head from a reader standing at the first bit of vui_parameters().
void DecodeCommonVUI(CommonVUI& vui, BitsReader& reader);
void AppendCommonVUI(const CommonVUI& vui, H26xBitstreamBuilder& builder);

// The stored triple when the head carries one, else (2, 2, 2).
ColourDescription GetColourDescription(const CommonVUI& vui);
// Whether the host knows all three values.
bool IsValidColourDescription(const ColourDescription& colour);
// Makes the head signal the triple; a triple the host does not know leaves the head without a
// colour description rather than carrying values nobody can interpret.
void SetColourDescription(CommonVUI& vui, const ColourDescription& colour);

}  // namespace Orvane::Proc::CodecParsers
