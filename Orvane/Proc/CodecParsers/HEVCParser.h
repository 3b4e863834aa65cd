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
  // A configuration parser over an hvcC record (4-byte lengths) written from the parameter sets
  // of raw Annex B bytes, which are needed only during the call.
  static std::shared_ptr<HEVCParser> CreateFromAnnexB(const uint8_t* data, uint64_t size);
  // The same from length-prefixed bytes; the record declares their width, 1 to 4.
  static std::shared_ptr<HEVCParser> CreateFromLengthPrefixed(const uint8_t* data, uint64_t size, uint8_t lengthSize);

  // An hvcC record (first byte 1), Annex B parameter sets, or else an hvcC record with an unusual
  // configurationVersion, which is rebuilt as a version 1 record.
  void ParseCodecConfiguration(const ConstBlobPtr& blob);
  void ParseHVCC(const ConstBlobPtr& blob);

  // Every VPS, then every SPS, then every PPS of the records, decoded into a new collection.
  std::shared_ptr<HEVC_PS> GetParameterSets() const;

  std::shared_ptr<H26xParser> Rebuild(const NaluFilter& filter) const override;
  std::shared_ptr<H26xParser> ParsePacket(const ConstBlobPtr& blob) const override;
  uint32_t GetPictureFlags() const override;
  using H26xParser::HasParameterSets;
  bool HasParameterSets(const std::vector<NALU>& units) const override;

  // This parser when it is in Annex B framing, else a new one of the same kind that is.
  std::shared_ptr<HEVCParser> ToAnnexB();
  // This parser when it is a length-prefixed configuration, else a configuration parser over an
  // hvcC record written from its units (4-byte lengths, or a packet parser's own width).
  std::shared_ptr<HEVCParser> ToLengthPrefixed();
};

}  // namespace Orvane::Proc::CodecParsers
