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
      h26x_syntax::DecodeMasteringDisplayColourVolume(r, m.mastering_display_colour_volume);
      break;
    }
    case SEIMessage::kContentLightLevel: {
      h26x_syntax::DecodeContentLightLevel(r, m.content_light_level);
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
  h26x_syntax::DecodeSEIMessages(r, messages, kMaxMessages, Fail, [&](auto& m) { return DecodeForm(m); });
}

}  // namespace Orvane::Proc::CodecParsers
