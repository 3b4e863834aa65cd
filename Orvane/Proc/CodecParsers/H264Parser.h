#pragma once
// The H.264 stream parser: codec configurations given as avcC records or Annex B parameter sets,
// and the packets of their tracks.
#include <memory>

#include "Orvane/Proc/CodecParsers/H26xParser.h"

namespace Orvane::Proc::CodecParsers {

struct H264_PS;

class H264Parser : public H26xParser, public std::enable_shared_from_this<H264Parser> {
 public:
  // Use std::make_shared; parsers are shared.
  explicit H264Parser(bool forCodecConfig) : H26xParser(forCodecConfig, NaluCodec::H264) {}

  // A configuration parser on which ParseCodecConfiguration(blob) has run.
  static std::shared_ptr<H264Parser> CreateFromCodecConfiguration(const ConstBlobPtr& blob);
  // A configuration parser over an avcC record (4-byte lengths) written from the parameter sets
  // of raw Annex B bytes, which are needed only during the call.
  static std::shared_ptr<H264Parser> CreateFromAnnexB(const uint8_t* data, uint64_t size);
  // The same from length-prefixed bytes; the record declares their width, 1 to 4.
  static std::shared_ptr<H264Parser> CreateFromLengthPrefixed(const uint8_t* data, uint64_t size, uint8_t lengthSize);

  // An avcC record (first byte 1) or Annex B parameter sets.
  void ParseCodecConfiguration(const ConstBlobPtr& blob);

  // Every SPS, then every PPS of the records, decoded into a new collection.
  std::shared_ptr<H264_PS> GetParameterSets() const;

  std::shared_ptr<H26xParser> Rebuild(const NaluFilter& filter) const override;
  std::shared_ptr<H26xParser> ParsePacket(const ConstBlobPtr& blob) const override;
  // 7 for an IDR picture, 1 for another picture with an I slice, decided by the first I slice;
  // 0 without one.
  uint32_t GetPictureFlags() const override;
  using H26xParser::HasParameterSets;
  bool HasParameterSets(const std::vector<NALU>& units) const override;

  // This parser when it is in Annex B framing, else a new one of the same kind that is.
  std::shared_ptr<H264Parser> ToAnnexB();
  // This parser when it is a length-prefixed configuration, else a configuration parser over an
  // avcC record written from its units (4-byte lengths, or a packet parser's own width).
  std::shared_ptr<H264Parser> ToLengthPrefixed();
};

}  // namespace Orvane::Proc::CodecParsers
