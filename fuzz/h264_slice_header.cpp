// H264_PS::DecodeSliceHeader and DecodeSlice against an SPS and a PPS taken from the input: two
// big-endian 16-bit lengths (SPS, PPS; clamped to what is left), the two units back to back, and
// the slice unit taking the rest. The parameter sets are made to carry their types so that they
// may be stored; the slice unit keeps whatever type it has. Decoding may fail only with the
// exception family; a slice that decodes must hold to the limits its decode enforces, and its
// header must be the one that DecodeSliceHeader finds, when that finds one.
#include <cstdlib>
#include <vector>

#include "Orvane/Exception.h"
#include "Orvane/Proc/CodecParsers/H264SliceHeader.h"
#include "Orvane/Proc/CodecParsers/H26xBitstreamParser.h"
#include "ParameterSetInput.h"

using namespace Orvane::Proc::CodecParsers;

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

void CheckHeader(const H264SliceHeader& h, const H264_PS& ps) {
  Check(h.sps && h.pps && ps.GetPPS(h.pps->pic_parameter_set_id) == h.pps);
  Check(h.nal_unit_type >= 1 && h.nal_unit_type <= 5 && h.nal_unit_type != 3 && h.nal_unit_type != 4);
  Check(h.first_mb_in_slice < 139264 && h.num_ref_idx_l0_active_minus1 <= 31 && h.num_ref_idx_l1_active_minus1 <= 31);
  Check(h.luma_log2_weight_denom <= 7 && h.chroma_log2_weight_denom <= 7 && h.cabac_init_idc <= 2);
  Check(h.disable_deblocking_filter_idc <= 2 && h.slice_alpha_c0_offset_div2 >= -6 && h.slice_alpha_c0_offset_div2 <= 6);
  if (h.nal_unit_type == 5) Check(h.Kind() == kSliceI || h.Kind() == kSliceSI);
  // Each list ends with its end mark, after at most one operation per reference and one more.
  const auto listEnds = [](const H264_RefPicListModification (&list)[33], uint32_t lastRefIdx) {
    for (uint32_t i = 0; i <= lastRefIdx + 2; ++i) {
      if (list[i].modification_of_pic_nums_idc == 3) return true;
    }
    return false;
  };
  if (h.ref_pic_list_modification_flag_l0) Check(listEnds(h.ref_pic_list_modification_l0, h.num_ref_idx_l0_active_minus1));
  if (h.ref_pic_list_modification_flag_l1) Check(listEnds(h.ref_pic_list_modification_l1, h.num_ref_idx_l1_active_minus1));
  for (const H264_MMCO& op : h.mmco) Check(op.memory_management_control_operation <= 6);
  Check(h.mmco[66].memory_management_control_operation == 0);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t inputSize) {
  std::vector<std::vector<uint8_t>> units = fuzz_support::CutUnits(input, inputSize, 2);
  if (units.empty()) return 0;
  H264_PS ps;
  fuzz_support::AddParameterSets(ps, units, [](const NALU&) {});
  const std::vector<uint8_t>& bytes = units[2];
  const NALU nalu{bytes.data(), bytes.size()};
  const bool slice = !bytes.empty() && IsSliceNalType(H264NaluType(nalu));

  std::shared_ptr<const H264SliceHeader> header;
  std::shared_ptr<const H264Slice> whole;
  try {
    header = ps.DecodeSliceHeader(nalu);
    Check(static_cast<bool>(header) == slice);
  } catch (const Orvane::Exception&) {
    Check(slice);
  }
  try {
    whole = ps.DecodeSlice(nalu);
    Check(static_cast<bool>(whole) == slice);
  } catch (const Orvane::Exception&) {
    Check(slice);
  }
  if (header) CheckHeader(*header, ps);
  if (whole) {
    CheckHeader(*whole, ps);
    Check(whole->pps->entropy_coding_mode_flag || whole->slice_data.empty());
    Check(whole->slice_data.size() < bytes.size());
  }
  // The prefix holds the whole header, so both decodes read the same.
  if (header && whole) Check(*header == static_cast<const H264SliceHeader&>(*whole));
  return 0;
}
