#pragma once
// H.265 SEI: the messages of a prefix or suffix SEI NAL unit, each with its raw payload, and the
// decoded form of the recovery point, both kinds of user data, the decoded picture hash, the time
// code and the colour and light messages (mastering display, content light level, alternative
// transfer characteristics, ambient viewing environment). Only the decoded picture hash depends on
// a parameter set: it holds one hash per colour component, and the SPS in force says how many.
#include <cstdint>
#include <span>
#include <vector>

#include "Orvane/Proc/CodecParsers/H264_SEI.h"

namespace Orvane::Proc::CodecParsers {

struct NALU;
struct HEVC_SPS;

// recovery_point (payloadType 6).
struct HEVC_RecoveryPoint {
  int32_t recovery_poc_cnt;
  uint8_t exact_match_flag;
  uint8_t broken_link_flag;
};

// user_data_registered_itu_t_t35 (payloadType 4); its itu_t_t35_payload_bytes are the payload's
// bytes after these (HEVC_SEIMessage::UserData).
struct HEVC_UserDataRegistered {
  uint8_t itu_t_t35_country_code;
  uint8_t itu_t_t35_country_code_extension_byte;  // coded only after a country code of 0xFF
};

// user_data_unregistered (payloadType 5); its user_data_payload_bytes are the payload's bytes after
// the UUID (HEVC_SEIMessage::UserData).
struct HEVC_UserDataUnregistered {
  uint8_t uuid_iso_iec_11578[16];
};

// decoded_picture_hash (payloadType 132): per colour component an MD5 (hash_type 0), a CRC (1) or
// a checksum (2).
struct HEVC_DecodedPictureHash {
  // Colour components hashed: 1 for a monochrome SPS, else 3. 0 when the message was decoded
  // without the SPS in force: then only its bytes are kept.
  uint8_t componentCount;
  uint8_t hash_type;
  uint8_t picture_md5[3][16];
  uint16_t picture_crc[3];
  uint32_t picture_checksum[3];
};

// time_code (payloadType 136): up to three clock timestamps.
struct HEVC_TimeCode {
  uint8_t num_clock_ts;
  uint8_t clock_timestamp_flag[3];
  uint8_t units_field_based_flag[3];
  uint8_t counting_type[3];
  uint8_t full_timestamp_flag[3];
  uint8_t discontinuity_flag[3];
  uint8_t cnt_dropped_flag[3];
  uint16_t n_frames[3];
  uint8_t seconds_flag[3];
  uint8_t seconds_value[3];
  uint8_t minutes_flag[3];
  uint8_t minutes_value[3];
  uint8_t hours_flag[3];
  uint8_t hours_value[3];
  uint8_t time_offset_length[3];
  int32_t time_offset_value[3];
};

// mastering_display_colour_volume (137) and content_light_level_info (144): the same syntax as
// H.264's.
using HEVC_MasteringDisplayColourVolume = H264_MasteringDisplayColourVolume;
using HEVC_ContentLightLevel = H264_ContentLightLevel;

// alternative_transfer_characteristics (payloadType 147).
struct HEVC_AlternativeTransferCharacteristics {
  uint8_t preferred_transfer_characteristics;
};

// ambient_viewing_environment (payloadType 148).
struct HEVC_AmbientViewingEnvironment {
  uint32_t ambient_illuminance;
  uint16_t ambient_light_x;
  uint16_t ambient_light_y;
};

struct HEVC_SEIMessage {
  static constexpr uint32_t kUserDataRegistered = 4;
  static constexpr uint32_t kUserDataUnregistered = 5;
  static constexpr uint32_t kRecoveryPoint = 6;
  static constexpr uint32_t kDecodedPictureHash = 132;
  static constexpr uint32_t kTimeCode = 136;
  static constexpr uint32_t kMasteringDisplayColourVolume = 137;
  static constexpr uint32_t kContentLightLevel = 144;
  static constexpr uint32_t kAlternativeTransferCharacteristics = 147;
  static constexpr uint32_t kAmbientViewingEnvironment = 148;

  uint32_t payloadType;
  uint32_t payloadSize;
  std::vector<uint8_t> payload;  // as it stands in the RBSP, whatever the type
  // The decoded form of the types above; only the one of payloadType is meaningful. The largest
  // comes first, so that a new message has all of them zero.
  union {
    HEVC_DecodedPictureHash decoded_picture_hash;
    HEVC_TimeCode time_code;
    HEVC_MasteringDisplayColourVolume mastering_display_colour_volume;
    HEVC_UserDataUnregistered user_data_unregistered;
    HEVC_UserDataRegistered user_data_registered_itu_t_t35;
    HEVC_RecoveryPoint recovery_point;
    HEVC_ContentLightLevel content_light_level_info;
    HEVC_AlternativeTransferCharacteristics alternative_transfer_characteristics;
    HEVC_AmbientViewingEnvironment ambient_viewing_environment;
  };

  // The bytes of a user data message after its country code or UUID; empty for other types.
  std::span<const uint8_t> UserData() const;
};

struct HEVC_SEI {
  // In the order of the units and of the messages in each.
  std::vector<HEVC_SEIMessage> messages;

  // Appends the messages of a prefix or suffix SEI unit, at most 65. `activeSps`, the SPS of the
  // picture the unit belongs to, gives the decoded picture hash its component count; without it
  // that message keeps only its bytes. A message whose decoded form needs more than its payload
  // holds ends the unit's messages there, without a failure; the messages before it stay. A unit
  // that fails to read keeps the messages appended before the failure.
  void Decode(const NALU& nalu, const HEVC_SPS* activeSps = nullptr);

  // The last message of this type, or null.
  const HEVC_SEIMessage* Find(uint32_t payloadType) const;
};

}  // namespace Orvane::Proc::CodecParsers
