// The messages of an H.265 SEI unit and the payloads decoded into fields.
#include "Orvane/Proc/CodecParsers/HEVC_SEI.h"

#include <algorithm>
#include <cstring>

#include "Orvane/Proc/CodecParsers/HEVCCodecParams.h"
#include "Orvane/Proc/CodecParsers/HEVCSyntax.h"

namespace Orvane::Proc::CodecParsers {

using namespace hevc_syntax;

namespace {

constexpr uint32_t kPrefixSEIType = 39;
constexpr uint32_t kSuffixSEIType = 40;

// A unit's messages beyond this many are not read.
constexpr uint32_t kMaxMessages = 65;

// The first payload bytes a decoded form can take: the MD5 form of three components.
constexpr size_t kLongestForm = 64;

static_assert(sizeof(HEVC_DecodedPictureHash) >= sizeof(HEVC_TimeCode) &&
                  sizeof(HEVC_DecodedPictureHash) >= sizeof(HEVC_MasteringDisplayColourVolume),
              "the first member of the union must be the largest, so that a new message is all zero");

void DecodeTimeCode(BitsReader& r, HEVC_TimeCode& f) {
  f.num_clock_ts = r.GetBits<uint8_t>(2);
  for (uint32_t i = 0; i < f.num_clock_ts; ++i) {
    f.clock_timestamp_flag[i] = r.GetBits<uint8_t>(1);
    if (!f.clock_timestamp_flag[i]) continue;
    f.units_field_based_flag[i] = r.GetBits<uint8_t>(1);
    f.counting_type[i] = r.GetBits<uint8_t>(5);
    f.full_timestamp_flag[i] = r.GetBits<uint8_t>(1);
    f.discontinuity_flag[i] = r.GetBits<uint8_t>(1);
    f.cnt_dropped_flag[i] = r.GetBits<uint8_t>(1);
    f.n_frames[i] = r.GetBits<uint16_t>(9);
    if (f.full_timestamp_flag[i]) {
      f.seconds_value[i] = r.GetBits<uint8_t>(6);
      f.minutes_value[i] = r.GetBits<uint8_t>(6);
      f.hours_value[i] = r.GetBits<uint8_t>(5);
    } else {
      f.seconds_flag[i] = r.GetBits<uint8_t>(1);
      if (f.seconds_flag[i]) {
        f.seconds_value[i] = r.GetBits<uint8_t>(6);
        f.minutes_flag[i] = r.GetBits<uint8_t>(1);
        if (f.minutes_flag[i]) {
          f.minutes_value[i] = r.GetBits<uint8_t>(6);
          f.hours_flag[i] = r.GetBits<uint8_t>(1);
          if (f.hours_flag[i]) f.hours_value[i] = r.GetBits<uint8_t>(5);
        }
      }
    }
    f.time_offset_length[i] = r.GetBits<uint8_t>(5);
    if (f.time_offset_length[i] > 0) f.time_offset_value[i] = r.GetBits<int32_t>(f.time_offset_length[i]);
  }
}

// Decodes the form of the message's type from its payload. False when that takes more bits than
// the payload holds. The form is read from a copy of the payload's first bytes, which hold every
// form whole, followed by ones: a code that runs past the payload ends in them at once, reads as
// too long and never as invalid, and nothing after the payload is looked at.
bool DecodeForm(HEVC_SEIMessage& m, uint8_t componentCount) {
  uint8_t bytes[kLongestForm];
  std::memset(bytes, 0xFF, sizeof bytes);
  // An empty payload has no bytes to copy, nor an address to copy them from.
  if (!m.payload.empty()) std::memcpy(bytes, m.payload.data(), std::min(m.payload.size(), sizeof bytes));
  BitsReader r(bytes, sizeof bytes);
  switch (m.payloadType) {
    case HEVC_SEIMessage::kUserDataRegistered: {
      HEVC_UserDataRegistered& f = m.user_data_registered_itu_t_t35;
      f.itu_t_t35_country_code = r.GetBits<uint8_t>(8);
      if (f.itu_t_t35_country_code == 0xFF) f.itu_t_t35_country_code_extension_byte = r.GetBits<uint8_t>(8);
      break;
    }
    case HEVC_SEIMessage::kUserDataUnregistered:
      for (uint8_t& byte : m.user_data_unregistered.uuid_iso_iec_11578) byte = r.GetBits<uint8_t>(8);
      break;
    case HEVC_SEIMessage::kRecoveryPoint: {
      HEVC_RecoveryPoint& f = m.recovery_point;
      f.recovery_poc_cnt = r.GetSEGolomb();
      f.exact_match_flag = r.GetBits<uint8_t>(1);
      f.broken_link_flag = r.GetBits<uint8_t>(1);
      break;
    }
    case HEVC_SEIMessage::kDecodedPictureHash: {
      HEVC_DecodedPictureHash& f = m.decoded_picture_hash;
      // Without the SPS in force the number of hashes is not known.
      if (componentCount == 0) return true;
      f.componentCount = componentCount;
      f.hash_type = r.GetBits<uint8_t>(8);
      for (uint32_t c = 0; c < componentCount; ++c) {
        if (f.hash_type == 0) {
          for (uint8_t& byte : f.picture_md5[c]) byte = r.GetBits<uint8_t>(8);
        } else if (f.hash_type == 1) {
          f.picture_crc[c] = r.GetBits<uint16_t>(16);
        } else if (f.hash_type == 2) {
          f.picture_checksum[c] = r.GetBits<uint32_t>(32);
        }
      }
      break;
    }
    case HEVC_SEIMessage::kTimeCode:
      DecodeTimeCode(r, m.time_code);
      break;
    case HEVC_SEIMessage::kMasteringDisplayColourVolume: {
      h26x_syntax::DecodeMasteringDisplayColourVolume(r, m.mastering_display_colour_volume);
      break;
    }
    case HEVC_SEIMessage::kContentLightLevel: {
      h26x_syntax::DecodeContentLightLevel(r, m.content_light_level_info);
      break;
    }
    case HEVC_SEIMessage::kAlternativeTransferCharacteristics:
      m.alternative_transfer_characteristics.preferred_transfer_characteristics = r.GetBits<uint8_t>(8);
      break;
    case HEVC_SEIMessage::kAmbientViewingEnvironment: {
      HEVC_AmbientViewingEnvironment& f = m.ambient_viewing_environment;
      f.ambient_illuminance = r.GetBits<uint32_t>(32);
      f.ambient_light_x = r.GetBits<uint16_t>(16);
      f.ambient_light_y = r.GetBits<uint16_t>(16);
      break;
    }
    default:
      return true;
  }
  return r.GetPosition() <= uint64_t{m.payloadSize} * 8;
}

}  // namespace

std::span<const uint8_t> HEVC_SEIMessage::UserData() const {
  size_t formBytes = 0;
  if (payloadType == kUserDataRegistered) {
    formBytes = user_data_registered_itu_t_t35.itu_t_t35_country_code == 0xFF ? 2 : 1;
  } else if (payloadType == kUserDataUnregistered) {
    formBytes = sizeof user_data_unregistered.uuid_iso_iec_11578;
  }
  // A message built by hand may hold less than its form.
  if (formBytes == 0 || payload.size() < formBytes) return {};
  return std::span<const uint8_t>(payload).subspan(formBytes);
}

// ---------------------------------------------------------------------------------------------
// sei_rbsp

void HEVC_SEI::Decode(const NALU& nalu, const HEVC_SPS* activeSps) {
  UnitRBSP rbsp(nalu);
  BitsReader& r = rbsp.Reader();
  r.SkipBits(1);  // forbidden_zero_bit
  const uint32_t type = r.GetBits<uint32_t>(6);
  if (type != kPrefixSEIType && type != kSuffixSEIType) Fail("NALU is not a SEI");
  r.SkipBits(9);  // nuh_layer_id, nuh_temporal_id_plus1
  const uint8_t componentCount = !activeSps ? 0 : activeSps->chroma_format_idc == 0 ? 1 : 3;

  // A unit holds at least one message.
  h26x_syntax::DecodeSEIMessages(r, messages, kMaxMessages, Fail, [&](auto& m) { return DecodeForm(m, componentCount); });
}

const HEVC_SEIMessage* HEVC_SEI::Find(uint32_t payloadType) const {
  for (auto m = messages.rbegin(); m != messages.rend(); ++m) {
    if (m->payloadType == payloadType) return &*m;
  }
  return nullptr;
}

}  // namespace Orvane::Proc::CodecParsers
