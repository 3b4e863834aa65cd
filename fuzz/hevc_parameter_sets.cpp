// HEVC_PS::AddNALU over a VPS, an SPS and a PPS cut from any bytes: two big-endian 16-bit lengths
// (VPS, SPS; clamped to what is left), then the units back to back, the PPS taking the rest. Each
// unit's header is made to carry its type, so that the SPS and PPS decodes are reached with a VPS
// and an SPS that may be stored. Decoding may fail only with the exception family; whatever is
// stored must be sorted by id without duplicates, its accessors must hold, and its listing must be
// well formed.
#include <algorithm>
#include <cstdlib>
#include <vector>

#include <glog/logging.h>

#include "Orvane/Exception.h"
#include "Orvane/Proc/CodecParsers/H26xBitstreamParser.h"
#include "Orvane/Proc/CodecParsers/HEVCCodecParams.h"
#include "ParameterSetInput.h"

using namespace Orvane::Proc::CodecParsers;

namespace {

template <class List, class Key>
void CheckSorted(const List& list, Key key) {
  for (size_t i = 1; i < list.size(); ++i) {
    if (key(*list[i - 1]) >= key(*list[i])) std::abort();
  }
}

}  // namespace

// The VUI repair warns on every unit that needs it; the log would only slow the run down.
extern "C" int LLVMFuzzerInitialize(int*, char***) {
  FLAGS_minloglevel = google::GLOG_ERROR;
  return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t inputSize) {
  std::vector<std::vector<uint8_t>> units = fuzz_support::CutUnits(input, inputSize, 2);
  if (units.empty()) return 0;
  HEVC_PS ps;
  fuzz_support::AddParameterSets(ps, units);

  CheckSorted(ps.vps_list, [](const HEVC_VPS& v) { return v.vps_video_parameter_set_id; });
  CheckSorted(ps.sps_list, [](const HEVC_SPS& s) { return s.sps_seq_parameter_set_id; });
  CheckSorted(ps.pps_list, [](const HEVC_PPS& p) { return p.pps_pic_parameter_set_id; });
  for (const auto& vps : ps.vps_list) {
    if (vps->GetMaxNumReorderPics() > 16) std::abort();
    fuzz_support::CheckedListing listing;
    ListSyntax(*vps, listing);
  }
  for (const auto& sps : ps.sps_list) {
    const auto [codedWidth, codedHeight] = sps->GetCodedSize();
    const auto [width, height] = sps->GetPictureSize();
    if (width == 0 && codedWidth != 0) std::abort();
    if (width > codedWidth || height > codedHeight) std::abort();
    if (sps->GetMaxNumReorderPics() > 16) std::abort();
    sps->GetColourDescription();
    fuzz_support::CheckedListing listing;
    ListSyntax(*sps, listing);
  }
  for (const auto& pps : ps.pps_list) {
    const auto sps = ps.GetSPS(pps->pps_seq_parameter_set_id);
    if (!sps) std::abort();
    fuzz_support::CheckedListing listing;
    ListSyntax(*pps, *sps, listing);
  }
  return 0;
}
