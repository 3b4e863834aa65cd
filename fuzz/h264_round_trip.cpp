// H264_SPS::Append and H264Slice::Append between two decodes, over an SPS, a PPS and a slice unit
// taken from the input as the slice-header target takes them: two big-endian 16-bit lengths (SPS,
// PPS; clamped to what is left), the two units back to back, and the slice unit taking the rest.
// Whatever decodes must be written (an SPS with a scaling matrix and a CAVLC slice refused, the
// latter with nothing written), and what is written must decode to the same record and be written
// again the same: a mismatch is a finding.
#include <cstdlib>
#include <vector>

#include "Orvane/Exception.h"
#include "Orvane/Proc/CodecParsers/H264SliceHeader.h"
#include "Orvane/Proc/CodecParsers/H26xBitstreamBuilder.h"
#include "Orvane/Proc/CodecParsers/H26xBitstreamParser.h"
#include "ParameterSetInput.h"

using namespace Orvane::Proc::CodecParsers;

namespace {

void Check(bool condition) {
  if (!condition) std::abort();
}

template <class Record>
std::vector<uint8_t> Written(const Record& record) {
  H26xBitstreamBuilder b(true);
  record.Append(b);
  return {b.data(), b.data() + b.BytesInBuffer()};
}

// A decode that may fail only with the exception family.
template <class Decode>
bool Decoded(Decode&& decode) {
  try {
    decode();
    return true;
  } catch (const Orvane::Exception&) {
    return false;
  }
}

void SPSRoundTrip(const std::vector<uint8_t>& unit) {
  H264_SPS original{}, again{};
  if (!Decoded([&] { original.Decode(NALU{unit.data(), unit.size()}); })) return;
  std::vector<uint8_t> written;
  const bool refused = !Decoded([&] { written = Written(original); });
  Check(refused == static_cast<bool>(original.seq_scaling_matrix_present_flag));
  if (refused) return;
  Check(Decoded([&] { again.Decode(NALU{written.data(), written.size()}); }));
  Check(Written(again) == written);
  // Timing with a zero tick or clock is decoded as absent, with the values kept; written as absent,
  // they are gone.
  if (!original.vui.timing_info_present_flag) {
    original.vui.num_units_in_tick = original.vui.time_scale = original.vui.fixed_frame_rate_flag = 0;
  }
  Check(again == original);
}

// A NAL unit never holds 00 00 00, 00 00 01 or 00 00 02. The decodes read such bytes as they come,
// but an RBSP read from them may end in an odd run of zero bytes, which no unit can carry; the round
// trip is asked of units that are well formed.
bool WellFormed(const std::vector<uint8_t>& unit) {
  for (size_t i = 2; i < unit.size(); ++i) {
    if (unit[i - 2] == 0 && unit[i - 1] == 0 && unit[i] <= 2) return false;
  }
  return true;
}

void SliceRoundTrip(const std::vector<uint8_t>& unit, const H264_PS& ps) {
  if (!WellFormed(unit)) return;
  std::shared_ptr<const H264Slice> original, again;
  if (!Decoded([&] { original = ps.DecodeSlice(NALU{unit.data(), unit.size()}); }) || !original) return;
  H26xBitstreamBuilder b(true);
  const bool refused = !Decoded([&] { original->Append(b); });
  Check(refused == !original->pps->entropy_coding_mode_flag);
  if (refused) {
    Check(b.BytesInBuffer() == 0);
    return;
  }
  const std::vector<uint8_t> written(b.data(), b.data() + b.BytesInBuffer());
  Check(Decoded([&] { again = ps.DecodeSlice(NALU{written.data(), written.size()}); }));
  Check(again && *again == *original && Written(*again) == written);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* input, size_t inputSize) {
  std::vector<std::vector<uint8_t>> units = fuzz_support::CutUnits(input, inputSize, 2);
  if (units.empty()) return 0;
  H264_PS ps;
  fuzz_support::AddParameterSets(ps, units, [](const NALU&) {});
  if (!units[0].empty()) SPSRoundTrip(units[0]);
  SliceRoundTrip(units[2], ps);
  return 0;
}
