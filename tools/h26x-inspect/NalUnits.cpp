#include "NalUnits.h"

#include "Orvane/Proc/CodecParsers/H264CodecParams.h"
#include "Orvane/Proc/CodecParsers/H264SliceHeader.h"
#include "Orvane/Proc/CodecParsers/H264_SEI.h"
#include "Orvane/Proc/CodecParsers/HEVCCodecParams.h"
#include "Orvane/Proc/CodecParsers/HEVCSliceHeader.h"
#include "Orvane/Proc/CodecParsers/HEVC_SEI.h"

namespace inspect {

namespace {

constexpr uint32_t kVPS = 32, kSPS = 33, kPPS = 34, kPrefixSEI = 39, kSuffixSEI = 40;
constexpr uint32_t kH264SEI = 6, kH264SPS = 7, kH264PPS = 8;

class HEVCDecoder : public UnitDecoder {
 public:
  uint32_t Type(const cp::NALU& nalu) const override { return cp::HEVCNaluType(nalu); }
  std::string TypeName(uint32_t type) const override { return cp::HEVCNaluTypeName(type); }

  // A parameter set is decoded for its listing and once more by the collection, which keeps
  // only what it decoded itself.
  bool Decode(const cp::NALU& nalu, cp::SyntaxListing& fields) override {
    switch (Type(nalu)) {
      case kVPS: {
        cp::HEVC_VPS vps;
        vps.Decode(nalu);
        ps_.AddNALU(nalu);
        cp::ListSyntax(vps, fields);
        return true;
      }
      case kSPS: {
        auto sps = std::make_unique<cp::HEVC_SPS>();
        sps->Decode(nalu, ps_);
        ps_.AddNALU(nalu);
        inForce_ = ps_.GetSPS(sps->sps_seq_parameter_set_id);
        cp::ListSyntax(*sps, fields);
        return true;
      }
      case kPPS: {
        auto pps = std::make_unique<cp::HEVC_PPS>();
        pps->Decode(nalu, ps_);
        ps_.AddNALU(nalu);
        // The SPS the PPS was decoded against, which the collection holds until another of its
        // id comes.
        cp::ListSyntax(*pps, *ps_.GetSPS(pps->pps_seq_parameter_set_id), fields);
        return true;
      }
      case kPrefixSEI:
      case kSuffixSEI: {
        cp::HEVC_SEI sei;
        sei.Decode(nalu, inForce_.get());
        cp::ListSyntax(sei, fields);
        return true;
      }
      default:
        return DecodeSlice(nalu, fields);
    }
  }

 private:
  bool DecodeSlice(const cp::NALU& nalu, cp::SyntaxListing& fields) {
    const std::shared_ptr<const cp::HEVCSliceHeader> header = cp::CreateSliceHeader(ps_, nalu);
    if (!header) return false;
    const auto pps = ps_.GetPPS(header->slice_pic_parameter_set_id);
    const auto sps = ps_.GetSPS(pps->pps_seq_parameter_set_id);
    inForce_ = sps;
    cp::ListSyntax(*header, Type(nalu), *sps, *pps, fields);
    return true;
  }

  cp::HEVC_PS ps_;
  // The SPS of the latest slice, or before the first slice the latest SPS: the one in force for
  // the SEI units around a picture, whose decoded picture hash needs its component count.
  std::shared_ptr<const cp::HEVC_SPS> inForce_;
};

// H.264: parameter sets with their fields, slices decoded against the parameter sets in force,
// and SEI messages.
class H264Decoder : public UnitDecoder {
 public:
  uint32_t Type(const cp::NALU& nalu) const override { return cp::H264NaluType(nalu); }
  std::string TypeName(uint32_t type) const override { return cp::H264NaluTypeName(type); }

  bool Decode(const cp::NALU& nalu, cp::SyntaxListing& fields) override {
    switch (Type(nalu)) {
      // As for H.265: decoded for the listing and once more by the collection.
      case kH264SPS: {
        auto sps = std::make_unique<cp::H264_SPS>();
        sps->Decode(nalu);
        ps_.AddNALU(nalu);
        cp::ListSyntax(*sps, fields);
        return true;
      }
      case kH264PPS: {
        auto pps = std::make_unique<cp::H264_PPS>();
        pps->Decode(nalu, ps_);
        ps_.AddNALU(nalu);
        cp::ListSyntax(*pps, *ps_.GetSPS(pps->seq_parameter_set_id), fields);
        return true;
      }
      case kH264SEI: {
        cp::H264_SEI sei;
        sei.Decode(nalu);
        cp::ListSyntax(sei, fields);
        return true;
      }
      default: {
        // The whole slice, so that a header longer than the prefix DecodeSliceHeader reads is
        // listed too, with the slice_id of a partition A.
        const std::shared_ptr<const cp::H264Slice> slice = ps_.DecodeSlice(nalu);
        if (!slice) return false;
        cp::ListSyntax(*slice, fields);
        return true;
      }
    }
  }

 private:
  cp::H264_PS ps_;
};

}  // namespace

const char* CodecName(Codec codec) { return codec == Codec::H264 ? "h264" : "h265"; }

std::unique_ptr<UnitDecoder> MakeDecoder(Codec codec) {
  if (codec == Codec::H264) return std::make_unique<H264Decoder>();
  return std::make_unique<HEVCDecoder>();
}

}  // namespace inspect
