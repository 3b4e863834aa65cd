#pragma once
// H.264 SEI: the messages of an SEI NAL unit, each with its raw payload, and the decoded form of
// the recovery point, the mastering display colour volume and the content light level. None of
// them depends on a parameter set.
#include <cstdint>
#include <vector>

namespace Orvane::Proc::CodecParsers {

struct NALU;

// mastering_display_colour_volume (payloadType 137).
struct H264_MasteringDisplayColourVolume {
  struct Primary {
    uint16_t display_primaries_x;
    uint16_t display_primaries_y;
  };
  Primary display_primaries[3];  // in coding order
  uint16_t white_point_x;
  uint16_t white_point_y;
  uint32_t max_display_mastering_luminance;
  uint32_t min_display_mastering_luminance;
};

// recovery_point (payloadType 6).
struct H264_RecoveryPoint {
  uint32_t recovery_frame_cnt;
  bool exact_match_flag;
  bool broken_link_flag;
  uint8_t changing_slice_group_idc;
};

// content_light_level_info (payloadType 144).
struct H264_ContentLightLevel {
  uint16_t max_content_light_level;
  uint16_t max_pic_average_light_level;
};

struct SEIMessage {
  static constexpr uint32_t kRecoveryPoint = 6;
  static constexpr uint32_t kMasteringDisplayColourVolume = 137;
  static constexpr uint32_t kContentLightLevel = 144;

  uint32_t payloadType;
  uint32_t payloadSize;
  std::vector<uint8_t> payload;  // as it stands in the RBSP, whatever the type
  // The decoded form of the three types above; only the one of payloadType is meaningful. The
  // largest comes first, so that a new message has all of them zero.
  union {
    H264_MasteringDisplayColourVolume mastering_display_colour_volume;
    H264_RecoveryPoint recovery_point;
    H264_ContentLightLevel content_light_level;
  };
};

struct H264_SEI {
  // In the order of the units and of the messages in each.
  std::vector<SEIMessage> messages;

  // Appends the messages of an SEI unit, at most 65. A message whose decoded form needs more
  // than its payload holds ends the unit's messages there, without a failure; the messages
  // before it stay. A unit that fails to read keeps the messages appended before the failure.
  void Decode(const NALU& nalu);
};

}  // namespace Orvane::Proc::CodecParsers
