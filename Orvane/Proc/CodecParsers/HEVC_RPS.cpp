// Short-term reference picture sets (st_ref_pic_set), of the SPS and of slice headers.
#include <iterator>

#include "Orvane/Proc/CodecParsers/H26xBitstreamBuilder.h"
#include "Orvane/Proc/CodecParsers/HEVCCodecParams.h"
#include "Orvane/Proc/CodecParsers/HEVCSyntax.h"

namespace Orvane::Proc::CodecParsers {

using namespace hevc_syntax;

namespace {

// Each list of a set holds at most 15 pictures, whatever the DPB size.
constexpr uint32_t kMaxPicsPerList = 15;
constexpr uint32_t kMaxDeltaPocMinus1 = 32766;

// Whether stRpsIdx is an entry of the SPS or its slice headers' index, and the SPS's sets fit its
// array: only then are the sets a set may be predicted from inside it.
bool NamesASet(const HEVC_SPS& sps, uint32_t stRpsIdx) {
  return stRpsIdx <= sps.num_short_term_ref_pic_sets && sps.num_short_term_ref_pic_sets <= std::size(sps.st_ref_pic_set);
}

}  // namespace

void HEVC_ShortTermRPS::Decode(BitsReader& r, const HEVC_SPS& sps, uint32_t stRpsIdx) {
  const uint32_t numSets = sps.num_short_term_ref_pic_sets;
  if (!NamesASet(sps, stRpsIdx)) Fail("Invalid short term RPS index");
  const bool sliceHeaderSet = stRpsIdx == numSets;
  inter_ref_pic_set_prediction_flag = (stRpsIdx != 0 && numSets != 0) ? r.GetBits<uint8_t>(1) : 0;

  if (!inter_ref_pic_set_prediction_flag) {
    const uint32_t negative = r.GetUEGolomb();
    const uint32_t positive = r.GetUEGolomb();
    if (negative > kMaxPicsPerList || positive > kMaxPicsPerList) Fail("Too many refs in a short term RPS");
    num_negative_pics = static_cast<uint8_t>(negative);
    num_positive_pics = static_cast<uint8_t>(positive);
    for (uint32_t i = 0; i < num_negative_pics; ++i) {
      delta_poc_s0_minus1[i] = UE<uint16_t>(r, kMaxDeltaPocMinus1, "Invalid value of delta_poc_s0_minus1");
      used_by_curr_pic_s0_flag[i] = r.GetBits<uint8_t>(1);
    }
    for (uint32_t i = 0; i < num_positive_pics; ++i) {
      delta_poc_s1_minus1[i] = UE<uint16_t>(r, kMaxDeltaPocMinus1, "Invalid value of delta_poc_s1_minus1");
      used_by_curr_pic_s1_flag[i] = r.GetBits<uint8_t>(1);
    }
    return;
  }

  // Predicted from an earlier set: a slice header names it, an SPS entry uses the one before.
  delta_idx_minus1 = sliceHeaderSet
                         ? UE<uint8_t>(r, numSets - 1, "Invalid value of delta_idx_minus1 in slice header RPS")
                         : 0;
  const HEVC_ShortTermRPS& ref = sps.st_ref_pic_set[stRpsIdx - (delta_idx_minus1 + 1u)];
  const uint32_t numDeltaPocs = static_cast<uint8_t>(ref.num_negative_pics + ref.num_positive_pics);
  if (numDeltaPocs > kMaxPicsPerList) Fail("num_delta_pocs out of range");

  delta_rps_sign = r.GetBits<uint8_t>(1);
  abs_delta_rps_minus1 = UE<uint16_t>(r, kMaxDeltaPocMinus1, "Invalid value of abs_delta_rps_minus1");
  const int32_t deltaRps = (1 - 2 * delta_rps_sign) * (abs_delta_rps_minus1 + 1);
  uint32_t usedDeltas = 0;
  for (uint32_t j = 0; j <= numDeltaPocs; ++j) {
    used_by_curr_pic_flag[j] = r.GetBits<uint8_t>(1);
    use_delta_flag[j] = used_by_curr_pic_flag[j] ? 1 : r.GetBits<uint8_t>(1);
    usedDeltas += use_delta_flag[j];
  }
  if (usedDeltas > kMaxPicsPerList) Fail("Invalid stream: short-term ref pic set contains too many pictures");

  // The reference set's pictures as POC differences.
  int32_t refS0[16];
  int32_t refS1[16];
  for (int32_t i = 0, poc = 0; i < ref.num_negative_pics; ++i) refS0[i] = poc -= ref.delta_poc_s0_minus1[i] + 1;
  for (int32_t i = 0, poc = 0; i < ref.num_positive_pics; ++i) refS1[i] = poc += ref.delta_poc_s1_minus1[i] + 1;

  // Every picture of the reference set shifted by deltaRps, and the reference picture itself,
  // each taken where its use_delta_flag says so; negatives nearest first, then positives.
  int32_t s0[16];
  int32_t s1[16];
  uint8_t used0[16];
  uint8_t used1[16];
  uint32_t n0 = 0;
  uint32_t n1 = 0;
  const uint32_t refNeg = ref.num_negative_pics;
  const uint32_t refPos = ref.num_positive_pics;
  for (int32_t j = static_cast<int32_t>(refPos) - 1; j >= 0; --j) {
    const int32_t dPoc = refS1[j] + deltaRps;
    if (dPoc < 0 && use_delta_flag[refNeg + j]) {
      used0[n0] = used_by_curr_pic_flag[refNeg + j];
      s0[n0++] = dPoc;
    }
  }
  if (deltaRps < 0 && use_delta_flag[numDeltaPocs]) {
    used0[n0] = used_by_curr_pic_flag[numDeltaPocs];
    s0[n0++] = deltaRps;
  }
  for (uint32_t j = 0; j < refNeg; ++j) {
    const int32_t dPoc = refS0[j] + deltaRps;
    if (dPoc < 0 && use_delta_flag[j]) {
      used0[n0] = used_by_curr_pic_flag[j];
      s0[n0++] = dPoc;
    }
  }
  for (int32_t j = static_cast<int32_t>(refNeg) - 1; j >= 0; --j) {
    const int32_t dPoc = refS0[j] + deltaRps;
    if (dPoc > 0 && use_delta_flag[j]) {
      used1[n1] = used_by_curr_pic_flag[j];
      s1[n1++] = dPoc;
    }
  }
  if (deltaRps > 0 && use_delta_flag[numDeltaPocs]) {
    used1[n1] = used_by_curr_pic_flag[numDeltaPocs];
    s1[n1++] = deltaRps;
  }
  for (uint32_t j = 0; j < refPos; ++j) {
    const int32_t dPoc = refS1[j] + deltaRps;
    if (dPoc > 0 && use_delta_flag[refNeg + j]) {
      used1[n1] = used_by_curr_pic_flag[refNeg + j];
      s1[n1++] = dPoc;
    }
  }

  // Kept in the explicit form as well.
  num_negative_pics = static_cast<uint8_t>(n0);
  num_positive_pics = static_cast<uint8_t>(n1);
  for (uint32_t k = 0; k < n0; ++k) {
    delta_poc_s0_minus1[k] = static_cast<uint16_t>((k > 0 ? s0[k - 1] : 0) - s0[k] - 1);
    used_by_curr_pic_s0_flag[k] = used0[k];
  }
  for (uint32_t k = 0; k < n1; ++k) {
    delta_poc_s1_minus1[k] = static_cast<uint16_t>(s1[k] - (k > 0 ? s1[k - 1] : 0) - 1);
    used_by_curr_pic_s1_flag[k] = used1[k];
  }
}

void HEVC_ShortTermRPS::Append(H26xBitstreamBuilder& b, const HEVC_SPS& sps, uint32_t stRpsIdx) const {
  const uint32_t numSets = sps.num_short_term_ref_pic_sets;
  if (!NamesASet(sps, stRpsIdx)) FailAppend("Invalid short term RPS index");
  const bool sliceHeaderSet = stRpsIdx == numSets;
  // SPS entry 0, and a slice header's set when the SPS has none, have no set to be predicted
  // from: they are written explicit, whatever a record built by hand says.
  const bool predicted = stRpsIdx != 0 && numSets != 0 && inter_ref_pic_set_prediction_flag;
  if (stRpsIdx != 0 && numSets != 0) b.AppendBit(inter_ref_pic_set_prediction_flag);

  if (!predicted) {
    b.AppendUE(num_negative_pics);
    b.AppendUE(num_positive_pics);
    if (num_negative_pics > kMaxPicsPerList || num_positive_pics > kMaxPicsPerList) {
      FailAppend("Too many refs in a short term RPS");
    }
    for (uint32_t i = 0; i < num_negative_pics; ++i) {
      b.AppendUE(delta_poc_s0_minus1[i]);
      b.AppendBit(used_by_curr_pic_s0_flag[i]);
    }
    for (uint32_t i = 0; i < num_positive_pics; ++i) {
      b.AppendUE(delta_poc_s1_minus1[i]);
      b.AppendBit(used_by_curr_pic_s1_flag[i]);
    }
    return;
  }

  // The predicted form: the flags say which pictures of the reference set, shifted by deltaRps,
  // the set keeps; the explicit lists follow from them and are not written.
  uint32_t refIdx = stRpsIdx - 1;
  if (sliceHeaderSet) {
    b.AppendUE(delta_idx_minus1);
    if (delta_idx_minus1 >= numSets) FailAppend("Invalid value of delta_idx_minus1 in slice header RPS");
    refIdx = stRpsIdx - (delta_idx_minus1 + 1u);
  }
  const HEVC_ShortTermRPS& ref = sps.st_ref_pic_set[refIdx];
  const uint32_t numDeltaPocs = static_cast<uint8_t>(ref.num_negative_pics + ref.num_positive_pics);
  if (numDeltaPocs > kMaxPicsPerList) FailAppend("num_delta_pocs out of range");
  b.AppendBit(delta_rps_sign);
  b.AppendUE(abs_delta_rps_minus1);
  for (uint32_t j = 0; j <= numDeltaPocs; ++j) {
    b.AppendBit(used_by_curr_pic_flag[j]);
    if (!used_by_curr_pic_flag[j]) b.AppendBit(use_delta_flag[j]);
  }
}

}  // namespace Orvane::Proc::CodecParsers
