// CreateSliceHeader against a VPS, an SPS and a PPS taken from the input: three big-endian 16-bit
// lengths (VPS, SPS, PPS; clamped to what is left), the three units back to back, and the slice
// unit taking the rest. The parameter sets are made to carry their types so that they may be
// stored; the slice unit keeps whatever type it has. Decoding may fail only with the exception
// family; a header that decodes must hold to the limits its decode enforces, and its listing must
// be well formed.
#include <algorithm>
#include <cstdlib>
#include <vector>

#include <glog/logging.h>

#include "Orvane/Exception.h"
#include "Orvane/Proc/CodecParsers/H26xBitstreamParser.h"
#include "Orvane/Proc/CodecParsers/HEVCCodecParams.h"
#include "Orvane/Proc/CodecParsers/HEVCSliceHeader.h"
#include "ParameterSetInput.h"

using namespace Orvane::Proc::CodecParsers;

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

bool IsSliceType(uint32_t type) { return type <= 9 || (type >= 16 && type <= 21); }

void CheckHeader(const HEVCSliceHeader& h, const HEVC_PS& ps) {
  const auto pps = ps.GetPPS(h.slice_pic_parameter_set_id);
  Check(pps != nullptr);
  const auto sps = ps.GetSPS(pps->pps_seq_parameter_set_id);
  Check(sps != nullptr);
  const uint64_t ctbLog2 = sps->log2_min_luma_coding_block_size_minus3 + 3u + sps->log2_diff_max_min_luma_coding_block_size;
  const uint64_t ctb = uint64_t{1} << ctbLog2;
  const uint64_t ctbs = (sps->pic_width_in_luma_samples + ctb - 1) / ctb * ((sps->pic_height_in_luma_samples + ctb - 1) / ctb);
  if (!h.first_slice_segment_in_pic_flag) Check(h.slice_segment_address < ctbs);
  if (h.dependent_slice_segment_flag) return;
  Check(h.slice_type <= 2);
  Check(!HEVCSliceTypeName(h.slice_type).empty());
  Check(h.st_ref_pic_set.num_negative_pics <= 15 && h.st_ref_pic_set.num_positive_pics <= 15);
  Check(h.num_long_term_sps + h.num_long_term_pics <= 15);
  for (uint32_t i = 0; i < h.num_long_term_sps; ++i) Check(h.lt_idx_sps[i] < sps->num_long_term_ref_pics_sps);
  if (h.slice_type == 2) return;
  Check(h.num_ref_idx_l0_active_minus1 <= 14 && h.num_ref_idx_l1_active_minus1 <= 14);
  const uint32_t lastRefIdx = h.collocated_from_l0_flag ? h.num_ref_idx_l0_active_minus1 : h.num_ref_idx_l1_active_minus1;
  Check(h.collocated_ref_idx <= lastRefIdx);
}

}  // namespace

// The VUI repair warns on every unit that needs it; the log would only slow the run down.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  FLAGS_minloglevel = google::GLOG_ERROR;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t inputSize) {
  std::vector<std::vector<uint8_t>> units = fuzz_support::CutUnits(input, inputSize, 3);
  if (units.empty()) return 0;
  HEVC_PS ps;
  fuzz_support::AddParameterSets(ps, units);
  const std::vector<uint8_t>& slice = units[3];

  const NALU nalu{slice.data(), slice.size()};
  std::shared_ptr<const HEVCSliceHeader> header;
  try {
    header = CreateSliceHeader(ps, nalu);
  } catch (const Orvane::Exception&) {
    Check(!slice.empty() && IsSliceType(HEVCNaluType(nalu)));
    return 0;
  }
  Check(static_cast<bool>(header) == (!slice.empty() && IsSliceType(HEVCNaluType(nalu))));
  if (!header) return 0;
  CheckHeader(*header, ps);
  const auto pps = ps.GetPPS(header->slice_pic_parameter_set_id);
  fuzz_support::CheckedListing listing;
  ListSyntax(*header, HEVCNaluType(nalu), *ps.GetSPS(pps->pps_seq_parameter_set_id), *pps, listing);
  return 0;
}
