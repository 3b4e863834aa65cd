// The messages of an H.264 SEI unit and the three payloads decoded into fields.
#include "Orvane/Proc/CodecParsers/H264_SEI.h"

#include <algorithm>
#include <cstring>

#include "Orvane/Proc/CodecParsers/H264Syntax.h"

namespace Orvane::Proc::CodecParsers {

using namespace h264_syntax;

namespace {

constexpr uint32_t kSEIType = 6;

// A unit's messages beyond this many are not read.
constexpr uint32_t kMaxMessages = 65;

// Decodes the form of the message's type from its payload. False when that takes more bits than
// the payload holds. The form is read from a copy of the payload's first bytes, which hold every
// form whole, followed by ones: a code that runs past the payload ends in them at once, reads as
// too long and never as invalid, and nothing after the payload is looked at.
bool DecodeForm(SEIMessage& m) {
  uint8_t bytes[32];
  std::memset(bytes, 0xFF, sizeof bytes);
  // An empty payload has no bytes to copy, nor an address to copy them from.
  if (!m.payload.empty()) std::memcpy(bytes, m.payload.data(), std::min<size_t>(m.payload.size(), sizeof bytes));
  BitsReader r(bytes, sizeof bytes);
  switch (m.payloadType) {
    case SEIMessage::kRecoveryPoint: {
      H264_RecoveryPoint& f = m.recovery_point;
      f.recovery_frame_cnt = r.GetUEGolomb();
      f.exact_match_flag = r.GetBits1() != 0;
      f.broken_link_flag = r.GetBits1() != 0;
      f.changing_slice_group_idc = r.GetBits<uint8_t>(2);
      break;
    }
    case SEIMessage::kMasteringDisplayColourVolume: {
      H264_MasteringDisplayColourVolume& f = m.mastering_display_colour_volume;
      for (auto& primary : f.display_primaries) {
        primary.display_primaries_x = r.GetBits<uint16_t>(16);
        primary.display_primaries_y = r.GetBits<uint16_t>(16);
      }
      f.white_point_x = r.GetBits<uint16_t>(16);
      f.white_point_y = r.GetBits<uint16_t>(16);
      f.max_display_mastering_luminance = r.GetBits<uint32_t>(32);
      f.min_display_mastering_luminance = r.GetBits<uint32_t>(32);
      break;
    }
    case SEIMessage::kContentLightLevel: {
      H264_ContentLightLevel& f = m.content_light_level;
      f.max_content_light_level = r.GetBits<uint16_t>(16);
      f.max_pic_average_light_level = r.GetBits<uint16_t>(16);
      break;
    }
    default:
      return true;
  }
  return r.GetPosition() <= uint64_t{m.payloadSize} * 8;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// sei_rbsp

void H264_SEI::Decode(const NALU& nalu) {
  UnitRBSP rbsp(nalu);
  BitsReader& r = rbsp.Reader();
  r.SkipBits(3);  // forbidden_zero_bit, nal_ref_idc
  if (r.GetBits<uint32_t>(5) != kSEIType) Fail("NALU is not a SEI");

  // A unit holds at least one message.
  for (uint32_t count = 1;; ++count) {
    SEIMessage m{};
    const uint64_t payloadType = h26x_syntax::DecodeByteCodedValue(r, UINT32_MAX);
    if (payloadType > UINT32_MAX) Fail("payloadType out of range");
    m.payloadType = static_cast<uint32_t>(payloadType);
    // A size beyond what is left of the unit fails as soon as it is known, with the reader's own
    // failure for a payload that runs past the end.
    const uint64_t payloadSize = h26x_syntax::DecodeByteCodedValue(r, r.BitsLeft() / 8);
    const uint8_t* payload = r.ShowBytes(payloadSize);
    m.payloadSize = static_cast<uint32_t>(payloadSize);
    m.payload.assign(payload, payload + payloadSize);
    // A payload too short for its form ends the unit's messages: what follows it is not known
    // to start a message.
    if (!DecodeForm(m)) return;
    r.SkipBits(payloadSize * 8);
    messages.push_back(std::move(m));
    if (count == kMaxMessages || !r.MoreRBSPData()) return;
  }
}

}  // namespace Orvane::Proc::CodecParsers
