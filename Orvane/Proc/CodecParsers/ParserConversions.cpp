// Parsers made from parsers: the packets of a configuration's track, and the transformations,
// which never change a filled parser but make a new one over a new blob (or answer with the
// parser itself when nothing would change). Both codecs share the steps; they differ only in the
// class made and the configuration record written.
#include <type_traits>

#include "Orvane/Proc/CodecParsers/DecoderConfigurationRecords.h"
#include "Orvane/Proc/CodecParsers/H264Parser.h"
#include "Orvane/Proc/CodecParsers/H26xParserErrors.h"
#include "Orvane/Proc/CodecParsers/HEVCParser.h"

namespace Orvane::Proc::CodecParsers {

namespace {

constexpr uint64_t kDefaultLengthSize = 4;

BlobPtr ConfigurationRecord(std::type_identity<H264Parser>, const std::vector<NALU>& nalus, uint64_t lengthSize) {
  return NalusToAVCC(nalus, lengthSize);
}
BlobPtr ConfigurationRecord(std::type_identity<HEVCParser>, const std::vector<NALU>& nalus, uint64_t lengthSize) {
  return NalusToHVCC(nalus, lengthSize);
}

// A new parser of that class over `blob`: a configuration parser parses it as one, a packet
// parser as packet data framed by `lengthSize`.
template <class Parser>
std::shared_ptr<Parser> NewParser(bool forCodecConfig, const ConstBlobPtr& blob, std::optional<uint64_t> lengthSize) {
  auto parser = std::make_shared<Parser>(forCodecConfig);
  if (forCodecConfig) {
    parser->ParseCodecConfiguration(blob);
  } else {
    parser->ParsePacketData(blob, lengthSize);
  }
  return parser;
}

template <class Parser>
std::shared_ptr<Parser> Rebuilt(const Parser& parser, const NaluFilter& filter) {
  const FilteredNalus filtered(parser.nalus(), filter);
  const std::optional<uint64_t>& lengthSize = parser.nalLengthSize();
  const BlobPtr blob = !lengthSize               ? MakeAnnexBBlob(filtered.nalus)
                       : parser.forCodecConfig() ? ConfigurationRecord(std::type_identity<Parser>(), filtered.nalus, *lengthSize)
                                                 : MakeLengthPrefixedBlob(filtered.nalus, *lengthSize);
  return NewParser<Parser>(parser.forCodecConfig(), blob, lengthSize);
}

template <class Parser>
std::shared_ptr<Parser> AsAnnexB(Parser& parser) {
  if (!parser.nalLengthSize()) return parser.shared_from_this();
  return NewParser<Parser>(parser.forCodecConfig(), MakeAnnexBBlob(parser.nalus()), std::nullopt);
}

template <class Parser>
std::shared_ptr<Parser> AsLengthPrefixed(Parser& parser) {
  if (parser.forCodecConfig() && parser.nalLengthSize()) return parser.shared_from_this();
  // A configuration here is in Annex B framing; a packet parser keeps its own width.
  const uint64_t lengthSize = parser.forCodecConfig() ? kDefaultLengthSize : parser.nalLengthSize().value_or(kDefaultLengthSize);
  return Parser::CreateFromCodecConfiguration(ConfigurationRecord(std::type_identity<Parser>(), parser.nalus(), lengthSize));
}

template <class Parser>
std::shared_ptr<Parser> FromAnnexB(const uint8_t* data, uint64_t size) {
  std::vector<NALU> nalus;
  FindAnnexBNalus(data, size, nalus);
  return Parser::CreateFromCodecConfiguration(ConfigurationRecord(std::type_identity<Parser>(), nalus, kDefaultLengthSize));
}

template <class Parser>
std::shared_ptr<Parser> FromLengthPrefixed(const uint8_t* data, uint64_t size, uint8_t lengthSize) {
  detail::CheckLengthSize("CreateFromLengthPrefixed", lengthSize);
  std::vector<NALU> nalus;
  FindMP4Nalus(data, size, nalus, lengthSize);
  return Parser::CreateFromCodecConfiguration(ConfigurationRecord(std::type_identity<Parser>(), nalus, lengthSize));
}

}  // namespace

FilteredNalus::FilteredNalus(const std::vector<NALU>& input, const NaluFilter& filter) {
  if (!filter) {
    nalus = input;
    return;
  }
  nalus.reserve(input.size());
  builders.push_back(std::make_unique<H26xBitstreamBuilder>(true));
  for (const NALU& nalu : input) {
    H26xBitstreamBuilder& b = *builders.back();
    const int32_t result = filter(nalu, b);
    // Fails when the callback left a unit unfinished.
    const uint64_t written = b.BytesInBuffer();
    if (written == 0) {
      if (result == 1) {
        nalus.push_back(nalu);
      } else {
        modified = true;
      }
      continue;
    }
    modified = true;
    if (result == 1) {
      nalus.push_back({b.data(), written});
      builders.push_back(std::make_unique<H26xBitstreamBuilder>(true));  // the replacement keeps its builder
    } else {
      builders.back() = std::make_unique<H26xBitstreamBuilder>(true);  // the dropped unit's bytes go
    }
  }
}

std::shared_ptr<H26xParser> H264Parser::ParsePacket(const ConstBlobPtr& blob) const {
  return NewParser<H264Parser>(false, blob, nalLengthSize());
}
std::shared_ptr<H26xParser> HEVCParser::ParsePacket(const ConstBlobPtr& blob) const {
  return NewParser<HEVCParser>(false, blob, nalLengthSize());
}

std::shared_ptr<H26xParser> H264Parser::Rebuild(const NaluFilter& filter) const { return Rebuilt(*this, filter); }
std::shared_ptr<H26xParser> HEVCParser::Rebuild(const NaluFilter& filter) const { return Rebuilt(*this, filter); }

std::shared_ptr<H264Parser> H264Parser::ToAnnexB() { return AsAnnexB(*this); }
std::shared_ptr<HEVCParser> HEVCParser::ToAnnexB() { return AsAnnexB(*this); }

std::shared_ptr<H264Parser> H264Parser::ToLengthPrefixed() { return AsLengthPrefixed(*this); }
std::shared_ptr<HEVCParser> HEVCParser::ToLengthPrefixed() { return AsLengthPrefixed(*this); }

std::shared_ptr<H264Parser> H264Parser::CreateFromAnnexB(const uint8_t* data, uint64_t size) {
  return FromAnnexB<H264Parser>(data, size);
}
std::shared_ptr<HEVCParser> HEVCParser::CreateFromAnnexB(const uint8_t* data, uint64_t size) {
  return FromAnnexB<HEVCParser>(data, size);
}

std::shared_ptr<H264Parser> H264Parser::CreateFromLengthPrefixed(const uint8_t* data, uint64_t size, uint8_t lengthSize) {
  return FromLengthPrefixed<H264Parser>(data, size, lengthSize);
}
std::shared_ptr<HEVCParser> HEVCParser::CreateFromLengthPrefixed(const uint8_t* data, uint64_t size, uint8_t lengthSize) {
  return FromLengthPrefixed<HEVCParser>(data, size, lengthSize);
}

}  // namespace Orvane::Proc::CodecParsers
