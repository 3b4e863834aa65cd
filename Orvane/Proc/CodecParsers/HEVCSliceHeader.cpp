// The slice segment header, decoded against the parameter sets of a stream up to the collocated
// picture.
#include "Orvane/Proc/CodecParsers/HEVCSliceHeader.h"

#include <algorithm>
#include <unordered_set>

// libavutil's headers ask C++ users to define this before they are included.
#ifndef __STDC_CONSTANT_MACROS
#define __STDC_CONSTANT_MACROS
#endif
extern "C" {
#include <libavutil/common.h>
}

#include "Orvane/Proc/CodecParsers/HEVCSyntax.h"
#include "Orvane/Proc/CodecParsers/ZeroZeroSearch.h"

namespace Orvane::Proc::CodecParsers {

using namespace hevc_syntax;

namespace {

// The nal_unit_type values of coded slice segments: TRAIL_N ... RASL_R and BLA_W_LP ... CRA_NUT.
// The reserved VCL types are not slices here. Built when the library is loaded and only read
// afterwards, so concurrent decodes share it without a lock.
const std::unordered_set<uint32_t> kSliceNalTypes = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 16, 17, 18, 19, 20, 21};

constexpr uint32_t kFirstIRAPType = 16;  // BLA_W_LP
constexpr uint32_t kLastIRAPType = 23;   // RSV_IRAP_VCL23
constexpr uint32_t kIDRWithRADL = 19;
constexpr uint32_t kIDRNoLeading = 20;

constexpr uint8_t kSliceB = 0;
constexpr uint8_t kSliceI = 2;

// A slice header that is not over after this many coded bytes is not one this decode takes:
// it stops there with "End of stream" instead of copying slice data it never reads.
constexpr uint64_t kMaxHeaderBytes = 1000;

// The widest slice_segment_address the field keeps: 65536 CTBs.
constexpr unsigned kMaxAddressBits = 16;

// Each short-term list holds at most 15 pictures.
constexpr int32_t kMaxPicsPerList = 15;
constexpr uint32_t kMaxRefIdxMinus1 = 14;

// The u(v) width that holds the values 0 ... count - 1, with FFmpeg's floor of log2 (0 for 0).
// For count 0 the subtraction wraps and the width becomes 32.
unsigned IndexBits(uint32_t count) { return static_cast<unsigned>(av_log2(count - 1u)) + 1u; }

// Picture width or height in CTBs, rounded up. Worked in 64 bits: the SPS admits CTB sizes up
// to 2^60, which no 32-bit shift can form.
uint64_t SizeInCtbs(uint32_t samples, uint32_t ctbLog2SizeY) {
  return (uint64_t{samples} + (uint64_t{1} << ctbLog2SizeY) - 1) >> ctbLog2SizeY;
}

}  // namespace

// ---------------------------------------------------------------------------------------------
// slice_segment_header, up to collocated_ref_idx

void HEVCSliceHeader::Decode(const NALU& nalu, const HEVC_PS& ps) {
  Reset(*this);
  // The type is told from the unit as it stands: a NAL unit header never holds an emulation
  // pattern, and a unit of another type is refused before anything is copied.
  BitsReader header(nalu.data, nalu.size);
  header.SkipBits(1);  // forbidden_zero_bit
  const uint32_t nal_unit_type = header.GetBits<uint32_t>(6);
  if (!kSliceNalTypes.contains(nal_unit_type)) Fail("NALU is not a Slice");
  header.SkipBits(6 + 3);  // nuh_layer_id, nuh_temporal_id_plus1
  DecodeAfterType(nalu, ps, nal_unit_type);
}

void HEVCSliceHeader::DecodeAfterType(const NALU& nalu, const HEVC_PS& ps, uint32_t nal_unit_type) {
  // The header is read from a short window first, then from the whole prefix if that fails;
  // Decode and CreateSliceHeader hand the record over cleared, a failed first try does not.
  bool cleared = true;
  h26x_syntax::DecodePrefixRBSP(nalu, kMaxHeaderBytes, [&](BitsReader& r) {
    if (!cleared) Reset(*this);
    cleared = false;
    DecodeRBSP(r, ps, nal_unit_type);
  });
}

void HEVCSliceHeader::DecodeRBSP(BitsReader& r, const HEVC_PS& ps, uint32_t nal_unit_type) {
  r.SkipBits(16);  // the NAL unit header, read before
  const bool irap = nal_unit_type >= kFirstIRAPType && nal_unit_type <= kLastIRAPType;

  first_slice_segment_in_pic_flag = r.GetBits<uint8_t>(1);
  if (irap) no_output_of_prior_pics_flag = r.GetBits<uint8_t>(1);
  slice_pic_parameter_set_id = UE<uint8_t>(r, 63, "slice_pic_parameter_set_id out of range");
  // The collection, which the decode only reads, keeps both records alive until it ends.
  const HEVC_PPS* pps = FindStored(ps.pps_list, slice_pic_parameter_set_id, &HEVC_PPS::pps_pic_parameter_set_id);
  if (!pps) Fail("invalid slice_pic_parameter_set_id in slice header");
  const HEVC_SPS* sps = FindStored(ps.sps_list, pps->pps_seq_parameter_set_id, &HEVC_SPS::sps_seq_parameter_set_id);
  if (!sps) Fail("invalid pps_seq_parameter_set_id in pps");

  const uint32_t ctbLog2SizeY =
      sps->log2_min_luma_coding_block_size_minus3 + 3u + sps->log2_diff_max_min_luma_coding_block_size;
  // At most 65535 x 65535 CTBs (of 8 samples at least), which 32 bits hold.
  const auto picSizeInCtbsY = static_cast<uint32_t>(SizeInCtbs(sps->pic_width_in_luma_samples, ctbLog2SizeY) *
                                                    SizeInCtbs(sps->pic_height_in_luma_samples, ctbLog2SizeY));

  if (!first_slice_segment_in_pic_flag) {
    if (pps->dependent_slice_segments_enabled_flag) dependent_slice_segment_flag = r.GetBits<uint8_t>(1);
    // Pictures of more than 65536 CTBs (or of none) have addresses that the 16-bit field
    // cannot hold; they are refused rather than read wrongly.
    const unsigned addressBits = IndexBits(picSizeInCtbsY);
    if (addressBits > kMaxAddressBits) Fail("slice_segment_address too wide");
    const uint16_t address = r.GetBits<uint16_t>(addressBits);
    if (address >= picSizeInCtbsY) Fail("slice_segment_address out of range");
    slice_segment_address = address;
  }
  // The rest of a dependent segment's header is that of the segment it continues, which this
  // decode does not know.
  if (dependent_slice_segment_flag) return;

  for (uint32_t i = 0; i < pps->num_extra_slice_header_bits; ++i) slice_reserved_flag[i] = r.GetBits<uint8_t>(1);
  slice_type = UE<uint8_t>(r, 2, "slice_type out of range");
  // Only a picture that refers to itself may code inter slices in a random access point.
  if (irap && slice_type != kSliceI && !pps->pps_curr_pic_ref_enabled_flag) Fail("Inter slices in an IRAP frame");
  pic_output_flag = pps->output_flag_present_flag ? r.GetBits<uint8_t>(1) : 1;
  if (sps->separate_colour_plane_flag) colour_plane_id = r.GetBits<uint8_t>(2);

  uint32_t numPicTotalCurr = 0;
  if (nal_unit_type == kIDRWithRADL || nal_unit_type == kIDRNoLeading) {
    // An IDR picture has no picture order count and no reference sets, but a picture that refers
    // to itself is still its own reference: without it, P and B slices of such an IDR picture
    // would be refused as having no reference at all.
    numPicTotalCurr = pps->pps_curr_pic_ref_enabled_flag;
  } else {
    slice_pic_order_cnt_lsb = r.GetBits<uint16_t>(sps->log2_max_pic_order_cnt_lsb_minus4 + 4u);
    short_term_ref_pic_set_sps_flag = r.GetBits<uint8_t>(1);
    if (!short_term_ref_pic_set_sps_flag) {
      st_ref_pic_set.Decode(r, *sps, sps->num_short_term_ref_pic_sets);
    } else {
      if (sps->num_short_term_ref_pic_sets >= 2) {
        const uint32_t idx = r.GetBits<uint32_t>(IndexBits(sps->num_short_term_ref_pic_sets));
        if (idx >= sps->num_short_term_ref_pic_sets) Fail("short_term_ref_pic_set_idx out of range");
        short_term_ref_pic_set_idx = static_cast<uint8_t>(idx);
      }
      // Copied whole, prediction fields included: the record holds the set it applies.
      st_ref_pic_set = sps->st_ref_pic_set[short_term_ref_pic_set_idx];
    }

    // What the short-term set leaves of the 15 reference slots for long-term pictures. A picture
    // that refers to itself takes one more slot when it is filtered in the loop, since the
    // unfiltered picture is then kept as well.
    int32_t room = kMaxPicsPerList - st_ref_pic_set.num_negative_pics - st_ref_pic_set.num_positive_pics;
    if (pps->pps_curr_pic_ref_enabled_flag &&
        (sps->sample_adaptive_offset_enabled_flag || !pps->pps_deblocking_filter_disabled_flag ||
         pps->deblocking_filter_override_enabled_flag)) {
      if (room <= 0) {
        Fail("Invalid stream: short-term ref pic set contains too many pictures to use with current picture "
             "reference enabled");
      }
      --room;
    }
    for (uint32_t i = 0; i < st_ref_pic_set.num_negative_pics; ++i) numPicTotalCurr += st_ref_pic_set.used_by_curr_pic_s0_flag[i];
    for (uint32_t i = 0; i < st_ref_pic_set.num_positive_pics; ++i) numPicTotalCurr += st_ref_pic_set.used_by_curr_pic_s1_flag[i];

    if (sps->long_term_ref_pics_present_flag) {
      if (sps->num_long_term_ref_pics_sps > 0) {
        const uint32_t count = r.GetUEGolomb();
        // The room is compared in 8 bits: a short-term set of more than 15 pictures leaves
        // no room, and then num_long_term_pics below is refused whatever it is.
        if (count > std::min<uint32_t>(static_cast<uint8_t>(room), sps->num_long_term_ref_pics_sps)) {
          Fail("num_long_term_sps out of range");
        }
        num_long_term_sps = static_cast<uint8_t>(count);
      }
      room -= num_long_term_sps;
      const uint32_t pics = r.GetUEGolomb();
      if (int64_t{pics} > room) Fail("num_long_term_pics out of range");
      num_long_term_pics = static_cast<uint8_t>(pics);

      // Both counts fit in the room left by the short-term set, so at most 15 entries.
      const unsigned ltIdxBits = sps->num_long_term_ref_pics_sps > 1 ? IndexBits(sps->num_long_term_ref_pics_sps) : 0;
      const unsigned pocLsbBits = sps->log2_max_pic_order_cnt_lsb_minus4 + 4u;
      for (uint32_t i = 0; i < uint32_t{num_long_term_sps} + num_long_term_pics; ++i) {
        if (i < num_long_term_sps) {
          const uint8_t idx = r.GetBits<uint8_t>(ltIdxBits);
          if (idx >= sps->num_long_term_ref_pics_sps) Fail("lt_idx_sps out of range");
          lt_idx_sps[i] = idx;
          poc_lsb_lt[i] = sps->lt_ref_pic_poc_lsb_sps[idx];
          used_by_curr_pic_lt_flag[i] = sps->used_by_curr_pic_lt_sps_flag[idx];
        } else {
          poc_lsb_lt[i] = r.GetBits<uint16_t>(pocLsbBits);
          used_by_curr_pic_lt_flag[i] = r.GetBits<uint8_t>(1);
        }
        numPicTotalCurr += used_by_curr_pic_lt_flag[i];
        delta_poc_msb_present_flag[i] = r.GetBits<uint8_t>(1);
        if (delta_poc_msb_present_flag[i]) delta_poc_msb_cycle_lt[i] = r.GetUEGolomb();
      }
    }

    if (sps->sps_temporal_mvp_enabled_flag) slice_temporal_mvp_enabled_flag = r.GetBits<uint8_t>(1);
    numPicTotalCurr += pps->pps_curr_pic_ref_enabled_flag;
  }

  if (sps->sample_adaptive_offset_enabled_flag) {
    slice_sao_luma_flag = r.GetBits<uint8_t>(1);
    if (!sps->separate_colour_plane_flag && sps->chroma_format_idc != 0) slice_sao_chroma_flag = r.GetBits<uint8_t>(1);
  }
  if (slice_type == kSliceI) return;

  const bool b = slice_type == kSliceB;
  if (numPicTotalCurr == 0) Fail("Zero refs for a frame with P or B slices");
  num_ref_idx_l0_active_minus1 = pps->num_ref_idx_l0_default_active_minus1;
  num_ref_idx_l1_active_minus1 = pps->num_ref_idx_l1_default_active_minus1;
  num_ref_idx_active_override_flag = r.GetBits<uint8_t>(1);
  if (num_ref_idx_active_override_flag) {
    // Both counts are read before either is tested, so that a header cut short after them fails
    // as cut short.
    const uint32_t l0 = r.GetUEGolomb();
    const uint32_t l1 = b ? r.GetUEGolomb() : 0;
    if (l0 > kMaxRefIdxMinus1 || l1 > kMaxRefIdxMinus1) Fail("Too many refs");
    num_ref_idx_l0_active_minus1 = static_cast<uint8_t>(l0);
    if (b) num_ref_idx_l1_active_minus1 = static_cast<uint8_t>(l1);
  }

  if (pps->lists_modification_present_flag && numPicTotalCurr > 1) {
    const unsigned entryBits = IndexBits(numPicTotalCurr);
    ref_pic_list_modification_flag_l0 = r.GetBits<uint8_t>(1);
    if (ref_pic_list_modification_flag_l0) {
      for (uint32_t i = 0; i <= num_ref_idx_l0_active_minus1; ++i) {
        const uint8_t entry = r.GetBits<uint8_t>(entryBits);
        if (entry >= numPicTotalCurr) Fail("list_entry_l0 out of range");
        list_entry_l0[i] = entry;
      }
    }
    if (b) {
      ref_pic_list_modification_flag_l1 = r.GetBits<uint8_t>(1);
      if (ref_pic_list_modification_flag_l1) {
        for (uint32_t i = 0; i <= num_ref_idx_l1_active_minus1; ++i) {
          const uint8_t entry = r.GetBits<uint8_t>(entryBits);
          if (entry >= numPicTotalCurr) Fail("list_entry_l1 out of range");
          list_entry_l1[i] = entry;
        }
      }
    }
  }

  if (b) mvd_l1_zero_flag = r.GetBits<uint8_t>(1);
  if (pps->cabac_init_present_flag) cabac_init_flag = r.GetBits<uint8_t>(1);
  if (slice_temporal_mvp_enabled_flag) {
    // A P slice has only list 0 to take the collocated picture from.
    collocated_from_l0_flag = b ? r.GetBits<uint8_t>(1) : 1;
    const uint32_t lastRefIdx = collocated_from_l0_flag ? num_ref_idx_l0_active_minus1 : num_ref_idx_l1_active_minus1;
    if (lastRefIdx > 0) collocated_ref_idx = UE<uint8_t>(r, lastRefIdx, "collocated_ref_idx out of range");
  }
  // pred_weight_table and everything after it are not read.
}

std::shared_ptr<const HEVCSliceHeader> CreateSliceHeader(const HEVC_PS& ps, const NALU& nalu) {
  // A unit without even a header byte has no type, so it is no slice either.
  if (nalu.size == 0) return nullptr;
  const uint32_t nal_unit_type = HEVCNaluType(nalu);
  if (!kSliceNalTypes.contains(nal_unit_type)) return nullptr;
  // What Decode does, without looking the type up a second time.
  std::shared_ptr<HEVCSliceHeader> header = std::make_shared_for_overwrite<HEVCSliceHeader>();
  Reset(*header);
  BitsReader(nalu.data, nalu.size).SkipBits(16);  // a unit without a whole header fails as in Decode
  header->DecodeAfterType(nalu, ps, nal_unit_type);
  return header;
}

std::string HEVCSliceTypeName(uint32_t slice_type) {
  switch (slice_type) {
    case 0:
      return "[B]";
    case 1:
      return "[P]";
    case 2:
      return "[I]";
    default:
      return {};
  }
}

}  // namespace Orvane::Proc::CodecParsers
