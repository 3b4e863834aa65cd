// The small H.264 tables: level limits with what an SPS derives from them, maximum bit rates by
// the host's profile tags, NAL unit type names and one-line descriptions of units.
#include <algorithm>
#include <array>
#include <cstring>
#include <string_view>

#include "Orvane/Conf/FormatCodec.h"
#include "Orvane/Proc/CodecParsers/H264CodecParams.h"
#include "Orvane/Proc/CodecParsers/H264SliceHeader.h"
#include "Orvane/Proc/CodecParsers/H264Syntax.h"

namespace Orvane::Proc::CodecParsers {

using namespace h264_syntax;

namespace {

struct LevelRow {
  uint32_t level_idc;
  LevelLimits limits;
};

// The level limits of the standard's level table, 9 standing for level 1b.
constexpr LevelRow kLevels[] = {
    {9, {1485, 99, 396, 128}},
    {10, {1485, 99, 396, 64}},
    {11, {3000, 396, 900, 192}},
    {12, {6000, 396, 2376, 384}},
    {13, {11880, 396, 2376, 768}},
    {20, {11880, 396, 2376, 2000}},
    {21, {19800, 792, 4752, 4000}},
    {22, {20250, 1620, 8100, 4000}},
    {30, {40500, 1620, 8100, 10000}},
    {31, {108000, 3600, 18000, 14000}},
    {32, {216000, 5120, 20480, 20000}},
    {40, {245760, 8192, 32768, 20000}},
    {41, {245760, 8192, 32768, 50000}},
    {42, {522240, 8704, 34816, 50000}},
    {50, {589824, 22080, 110400, 135000}},
    {51, {983040, 36864, 184320, 240000}},
    {52, {2073600, 36864, 184320, 240000}},
    {60, {4177920, 139264, 696320, 240000}},
    {61, {8355840, 139264, 696320, 480000}},
    {62, {16711680, 139264, 696320, 800000}},
};

// The bit-rate factor of each profile over the Baseline/Main/Extended rate, as a fraction.
struct ProfileFactor {
  const char* tag;
  uint32_t numerator, denominator;
};
using Video = Conf::IFormatCodecVideo;
constexpr ProfileFactor kProfileFactors[] = {
    {Video::TAG_X264_PROFILE_BASELINE, 1, 1}, {Video::TAG_X264_PROFILE_MAIN, 1, 1},
    {Video::TAG_X264_PROFILE_EXTENDED, 1, 1}, {Video::TAG_X264_PROFILE_HIGH, 5, 4},
    {Video::TAG_X264_PROFILE_HIGH10, 3, 1},   {Video::TAG_X264_PROFILE_HIGH422, 4, 1},
    {Video::TAG_X264_PROFILE_HIGH444, 4, 1},
};

// A decoded picture buffer never holds more than 16 frames.
constexpr uint32_t kMaxDpbFrames = 16;

constexpr std::array<std::string_view, 24> kNaluTypeNames = {
    "Unspecified 0",
    "Coded slice of a non-IDR picture",
    "Coded slice data partition A",
    "Coded slice data partition B",
    "Coded slice data partition C",
    "IDR",
    "SEI",
    "SPS",
    "PPS",
    "AUD",
    "End of sequence",
    "End of stream",
    "Filler data",
    "SPS extension",
    "Prefix",
    "Subset SPS",
    "Depth parameter set",
    "Reserved 17",
    "Reserved 18",
    "Auxiliary coded picture without partitioning",
    "Slice extension",
    "Slice extension for a depth view or a 3D-AVC texture view",
    "Reserved 22",
    "Reserved 23",
};

// Tags of the slice kinds, by slice_type modulo 5.
constexpr const char* kSliceKinds[] = {"[P]", "[B]", "[I]", "[SP]", "[SI]"};

}  // namespace

LevelLimits GetLevelLimits(uint32_t level_idc) {
  for (const LevelRow& row : kLevels) {
    if (row.level_idc == level_idc) return row.limits;
  }
  return {};
}

uint32_t H264_SPS::GetLevel() const {
  const bool constrainedProfile = profile_idc == 66 || profile_idc == 77 || profile_idc == 88;
  if (constrainedProfile && level_idc == 11 && constraint_set3_flag) return 9;
  return level_idc;
}

uint32_t H264_SPS::GetMaxMBPS() const { return GetLevelLimits(GetLevel()).MaxMBPS; }
uint32_t H264_SPS::GetMaxFS() const { return GetLevelLimits(GetLevel()).MaxFS; }
uint32_t H264_SPS::GetMaxDpbMbs() const { return GetLevelLimits(GetLevel()).MaxDpbMbs; }

uint32_t H264_SPS::GetMaxBitrate(const std::string& profileTag) const {
  for (const ProfileFactor& profile : kProfileFactors) {
    if (profileTag == profile.tag) {
      return GetLevelLimits(GetLevel()).MaxBR * profile.numerator / profile.denominator;
    }
  }
  return 0;
}

uint32_t H264_SPS::GetReorderDepth() const {
  if (pic_order_cnt_type == 2) return 0;
  // Whole frames: a field-coded SPS counts its map units (field macroblock pairs) twice. In 64 bits,
  // which no record's sizes overflow, so that the divisor is never 0.
  const uint64_t frameMbs = uint64_t{pic_width_in_mbs_minus1 + 1u} * (pic_height_in_map_units_minus1 + 1u) *
                            (frame_mbs_only_flag ? 1u : 2u);
  const auto frames = static_cast<uint32_t>(std::min<uint64_t>(GetMaxDpbMbs() / frameMbs, kMaxDpbFrames));
  if (vui_parameters_present_flag && vui.bitstream_restriction_flag) {
    return std::min<uint32_t>(frames, vui.max_num_reorder_frames);
  }
  // The intra-only profiles reorder nothing.
  const bool intraProfile = profile_idc == 44 || profile_idc == 86 || profile_idc == 100 || profile_idc == 110 ||
                            profile_idc == 122 || profile_idc == 244;
  if (constraint_set3_flag && intraProfile) return 0;
  return frames;
}

std::string H264NaluTypeName(uint32_t type) {
  if (type < kNaluTypeNames.size()) return std::string(kNaluTypeNames[type]);
  if (type < 32) return "Unspecified " + std::to_string(type);
  return {};
}

std::string DescribeNALU(const NALU& nalu) {
  // There is no header to tell the kind by.
  if (nalu.size == 0) ThrowBitstream("DescribeNALU", "Empty NAL unit");
  const uint32_t type = H264NaluType(nalu);
  std::string text = H264NaluTypeName(type);
  if (StartsWithSliceHeader(type)) {
    // The raw bytes: the first two codes of a slice are too short to hold an emulation pattern
    // (two zero bytes, then a byte of at most 3).
    BitsReader r(nalu.data, nalu.size);
    r.SkipBits(8);
    r.GetUEGolomb();  // first_mb_in_slice
    const uint32_t slice_type = r.GetUEGolomb();
    text += ' ';
    text += kSliceKinds[slice_type % 5];
  }
  return text;
}

}  // namespace Orvane::Proc::CodecParsers
