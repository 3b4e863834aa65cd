#pragma once
// The H.265 stream parser: codec configurations given as hvcC records or Annex B parameter sets,
// and the packets of their tracks.
#include <memory>

#include "Orvane/Proc/CodecParsers/H26xParser.h"

namespace Orvane::Proc::CodecParsers {

struct HEVC_PS;

class HEVCParser : public H26xParser, public std::enable_shared_from_this<HEVCParser> {
 public:
  // Use std::make_shared; parsers are shared.
  explicit HEVCParser(bool forCodecConfig) : H26xParser(forCodecConfig, NaluCodec::HEVC) {}

  // A configuration parser on which ParseCodecConfiguration(blob) has run.
  static std::shared_ptr<HEVCParser> CreateFromCodecConfiguration(const ConstBlobPtr& blob);

  // An hvcC record (first byte 1), Annex B parameter sets, or else an hvcC record with an unusual
  // configurationVersion, which is rebuilt as a version 1 record.
  void ParseCodecConfiguration(const ConstBlobPtr& blob);
  void ParseHVCC(const ConstBlobPtr& blob);

  // Every VPS, then every SPS, then every PPS of the records, decoded into a new collection.
  std::shared_ptr<HEVC_PS> GetParameterSets() const;

  std::shared_ptr<H26xParser> ParsePacket(const ConstBlobPtr& blob) const override;
  uint32_t GetPictureFlags() const override;
  bool HasParameterSets() const override;
};

}  // namespace Orvane::Proc::CodecParsers
