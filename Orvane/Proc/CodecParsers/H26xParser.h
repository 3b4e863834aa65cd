#pragma once
// Stream parsers: the NAL units of one codec configuration or of one packet, with the bytes they
// point into and how they were framed.
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "Orvane/Blob.h"
#include "Orvane/Proc/CodecParsers/H26xBitstreamBuilder.h"
#include "Orvane/Proc/CodecParsers/H26xBitstreamParser.h"

namespace Orvane::Proc::CodecParsers {

using ConstBlobPtr = boost::intrusive_ptr<const IBlob>;

// Picture flags of a packet.
enum PictureFlags : uint32_t {
  PICTURE_INTRA = 1,
  PICTURE_RANDOM_ACCESS = 2,
  PICTURE_IDR = 4,
  PICTURE_LEADING = 8,
  PICTURE_SKIPPABLE_LEADING = 16,
};

// Decides, unit by unit, what a rewrite keeps. Returning 1 keeps the unit, or, when the callback
// wrote a complete NAL unit into the builder (BeginNALU ... FinishNALU, no start code), puts that
// unit in its place; any other result drops the unit and whatever was written. May be empty.
using NaluFilter = std::function<int32_t(const NALU& nalu, H26xBitstreamBuilder& builder)>;

// The units of a list that a filter keeps, in input order. Replacement units live in the builders
// (made with emulation prevention on); the records stay valid while this object and the bytes of
// the input live.
struct FilteredNalus {
  FilteredNalus(const std::vector<NALU>& input, const NaluFilter& filter);

  std::vector<NALU> nalus;
  std::vector<std::unique_ptr<H26xBitstreamBuilder>> builders;
  bool modified = false;  // a unit was dropped or replaced
};

class H26xParser {
 public:
  virtual ~H26xParser() = default;
  H26xParser(const H26xParser&) = delete;
  H26xParser& operator=(const H26xParser&) = delete;

  // A new parser of the same class and kind over a new blob holding the units the filter keeps,
  // framed as this parser's; a configuration record is written afresh from the remaining units.
  virtual std::shared_ptr<H26xParser> Rebuild(const NaluFilter& filter) const = 0;

  // A packet parser of the same kind over `blob`, framed as this parser's NAL units are.
  virtual std::shared_ptr<H26xParser> ParsePacket(const ConstBlobPtr& blob) const = 0;
  virtual uint32_t GetPictureFlags() const = 0;
  // Whether a VPS, SPS or PPS is among the parser's units, or among `units` of its codec.
  bool HasParameterSets() const { return HasParameterSets(nalus_); }
  virtual bool HasParameterSets(const std::vector<NALU>& units) const = 0;

  // Takes the blob as Annex B parameter sets when it begins with a start code; false otherwise.
  bool ParseCodecConfigAsAnnexB(const ConstBlobPtr& blob);
  // lengthSize present: big-endian length fields of that width, 1 to 4; absent: Annex B.
  void ParsePacketData(const ConstBlobPtr& blob, std::optional<uint64_t> lengthSize);

  NALU GetFirstNALU(uint32_t type) const { return CodecParsers::GetFirstNALU(nalus_, codec_, type); }
  std::vector<NALU> GetNALUs(uint32_t type) const { return CodecParsers::GetNALUs(nalus_, codec_, type); }

  bool forCodecConfig() const { return forCodecConfig_; }
  // Absent when the NAL units are in Annex B framing.
  const std::optional<uint64_t>& nalLengthSize() const { return nalLengthSize_; }
  const ConstBlobPtr& source() const { return source_; }
  // In stream order, none empty (the scans and the hvcC reader never make one); valid while the
  // parser lives.
  const std::vector<NALU>& nalus() const { return nalus_; }

 protected:
  H26xParser(bool forCodecConfig, NaluCodec codec) : forCodecConfig_(forCodecConfig), codec_(codec) {}

  // A parse replaces the framing, the bytes and the records together.
  void Store(std::optional<uint64_t> lengthSize, ConstBlobPtr source, std::vector<NALU> nalus) {
    nalLengthSize_ = lengthSize;
    source_ = std::move(source);
    nalus_ = std::move(nalus);
  }

 private:
  const bool forCodecConfig_;
  const NaluCodec codec_;
  std::optional<uint64_t> nalLengthSize_;
  ConstBlobPtr source_;
  std::vector<NALU> nalus_;
};

}  // namespace Orvane::Proc::CodecParsers
