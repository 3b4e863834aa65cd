// H264_PS::AddNALU over an SPS and a PPS cut from any bytes: a big-endian 16-bit length of the SPS
// (clamped to what is left), the SPS, then the PPS taking the rest. Each unit's header is made to
// carry its type, so that the PPS decode is reached with an SPS that may be stored. Decoding may
// fail only with the exception family; whatever is stored must be sorted by id without
// duplicates, the records' accessors must hold, and their listings must nest properly.
#include <cstdlib>
#include <vector>

#include "Orvane/Exception.h"
#include "Orvane/Proc/CodecParsers/H264CodecParams.h"
#include "Orvane/Proc/CodecParsers/H26xBitstreamParser.h"
#include "Orvane/Proc/CodecParsers/SyntaxListing.h"
#include "ParameterSetInput.h"

using namespace Orvane::Proc::CodecParsers;

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t inputSize) {
  std::vector<std::vector<uint8_t>> units = fuzz_support::CutUnits(input, inputSize, 1);
  if (units.empty()) return 0;
  H264_PS ps;
  fuzz_support::AddParameterSets(ps, units, [](const NALU& nalu) {
    try {
      DescribeNALU(nalu);
    } catch (const Orvane::Exception&) {
    }
  });

  for (size_t i = 1; i < ps.sps_list.size(); ++i) {
    if (ps.sps_list[i - 1]->seq_parameter_set_id >= ps.sps_list[i]->seq_parameter_set_id) std::abort();
  }
  for (const auto& sps : ps.sps_list) {
    const auto [codedWidth, codedHeight] = sps->GetCodedSize();
    const auto [width, height] = sps->GetPictureSize();
    if (width == 0 || height == 0 || width > codedWidth || height > codedHeight) std::abort();
    if (sps->GetReorderDepth() > 16) std::abort();
    if (sps->GetMaxBitrate("high") < sps->GetMaxBitrate("main")) std::abort();
    sps->GetColourDescription();
    fuzz_support::CheckedListing listing;
    ListSyntax(*sps, listing);
  }
  for (const auto& pps : ps.pps_list) {
    const auto sps = ps.GetSPS(pps->seq_parameter_set_id);
    if (!sps) std::abort();
    if (pps->num_slice_groups_minus1 > 7 || pps->slice_group_map_type > 6) std::abort();
    if (!pps->slice_group_id.empty() && pps->slice_group_id.size() != (sps->pic_width_in_mbs_minus1 + 1u) *
                                                                           (sps->pic_height_in_map_units_minus1 + 1u)) {
      std::abort();
    }
    fuzz_support::CheckedListing listing;
    ListSyntax(*pps, *sps, listing);
  }
  return 0;
}
